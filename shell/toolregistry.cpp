#include "toolregistry.h"

#include <QList>
#include <QWidget>

namespace ToolRegistry {
namespace {
QList<ToolEntry> &table()
{
    static QList<ToolEntry> list;
    return list;
}
std::function<void(QWidget *)> &shopSwitchHook()
{
    static std::function<void(QWidget *)> hook;
    return hook;
}
} // namespace

void add(const ToolEntry &entry)
{
    remove(entry.id);
    table().append(entry);
}

void remove(int id)
{
    QList<ToolEntry> &list = table();
    for (int i = list.size() - 1; i >= 0; --i)
        if (list.at(i).id == id)
            list.removeAt(i);
}

void clear()
{
    table().clear();
}

const ToolEntry *find(int id)
{
    for (const ToolEntry &entry : table())
        if (entry.id == id)
            return &entry;
    return nullptr;
}

void setShopSwitchHook(std::function<void(QWidget *)> hook)
{
    shopSwitchHook() = std::move(hook);
}

void runShopSwitchHook(QWidget *toolWindow)
{
    if (shopSwitchHook())
        shopSwitchHook()(toolWindow);
}

} // namespace ToolRegistry

QWidget *openToolWindow(QWidget *window)
{
    if (!window)
        return nullptr;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->showMaximized();
    return window;
}
