#pragma once
// The tools the tool window offers. Each tool window registers one entry (see tooltable.cpp): its id,
// the object name of its radio button in the tool window and the function that opens its window.
// A radio button without an entry stays disabled.

#include "shopsettings.h"

#include <QString>

#include <functional>

class QWidget;

// Tool ids (also the ids of the radio buttons in the tool window's button group).
enum ToolId {
    ToolSeparate = 1,    // "设计分件"
    ToolImport = 2,      // "导片工具"
    ToolBatchDelete = 3, // "批量删除": refused unless the shop switch grants the deletion right
    ToolDovra = 4,       // "Dovra分件"
    ToolAfterSample = 6, // "样后分件"
};

struct ToolEntry {
    int id = 0;
    QString radioName; // object name of the radio button, e.g. "rb_plsc"
    QString name;      // the tool's name as the user sees it
    // Creates and shows the tool's window once the chosen shop's settings are stored. The window has no
    // parent; the opener usually ends with openToolWindow(). Returns the window, or nullptr when the tool
    // refused to open (having told the user why). toolWindow is the tool window, for message boxes only;
    // shop is the switch's settings, which the window keeps as its own.
    std::function<QWidget *(QWidget *toolWindow, const ShopSettings &shop)> open;
};

namespace ToolRegistry {

// Adds an entry, replacing one with the same id.
void add(const ToolEntry &entry);
void remove(int id);
void clear();
// The entry with the id, or nullptr.
const ToolEntry *find(int id);

// Run on every shop switch, after the shop's settings are stored, before the chosen tool opens. One
// hook; nullptr removes it. The program sets none (the desks open by name, not on a shop switch).
void setShopSwitchHook(std::function<void(QWidget *toolWindow)> hook);
void runShopSwitchHook(QWidget *toolWindow);

} // namespace ToolRegistry

// The usual way a tool window is shown: deleted when closed, maximized. Returns the window.
QWidget *openToolWindow(QWidget *window);

// Registers the tool windows this build provides; main() calls it once before the tool window opens.
void registerStandardTools();
