#pragma once
// Windows that the tool window offers no button for (the dispatch and receiving desk, ...). They open by
// name with "tessaly --window <name>" once the login has succeeded and switched to the login's shop,
// instead of the tool window. Each such window adds one entry to the table in windowtable.cpp.

#include "shopsettings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

struct NamedWindow {
    QString name;  // the name given to --window, e.g. "dispatch"
    QString title; // what --help says about it
    // Creates the window with no parent for the shop of the settings, which the window keeps (nullptr when
    // it refuses to open, having told the user why).
    std::function<QWidget *(const ShopSettings &shop)> create;
};

namespace NamedWindows {

// Adds an entry, replacing one with the same name.
void add(const NamedWindow &entry);
void clear();
const NamedWindow *find(const QString &name);
QList<NamedWindow> all();

// Creates the named window for the shop, lets it delete itself when closed and shows it maximized.
// nullptr when the name is unknown or the window refused to open.
QWidget *open(const QString &name, const ShopSettings &shop);

} // namespace NamedWindows

// Registers the named windows this build provides; main() calls it once before reading the command line.
void registerStandardWindows();

// What the command line asks for. quit: the program ends at once with exitCode (after --help, an unknown
// option or an unknown window name); otherwise window names the window to open after the login ("" for
// the tool window).
struct StartOptions {
    QString window;
    bool quit = false;
    int exitCode = 0;
};
// Reads the program's arguments (the first one is the program). --help goes to standard output, every
// refusal to standard error.
StartOptions readCommandLine(const QStringList &arguments);
