#include "namedwindows.h"

#include "toolregistry.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QWidget>

#include <cstdio>

namespace NamedWindows {
namespace {
QList<NamedWindow> &table()
{
    static QList<NamedWindow> list;
    return list;
}
} // namespace

void add(const NamedWindow &entry)
{
    QList<NamedWindow> &list = table();
    for (int i = 0; i < list.size(); ++i)
        if (list.at(i).name == entry.name) {
            list[i] = entry;
            return;
        }
    list.append(entry);
}

void clear()
{
    table().clear();
}

const NamedWindow *find(const QString &name)
{
    for (const NamedWindow &entry : table())
        if (entry.name == name)
            return &entry;
    return nullptr;
}

QList<NamedWindow> all()
{
    return table();
}

QWidget *open(const QString &name, const ShopSettings &shop)
{
    const NamedWindow *entry = find(name);
    if (!entry || !entry->create)
        return nullptr;
    return openToolWindow(entry->create(shop));
}

} // namespace NamedWindows

StartOptions readCommandLine(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString program = QStringLiteral("tessaly");

    QString windowList;
    for (const NamedWindow &entry : NamedWindows::all())
        windowList += QStringLiteral("\n  %1  %2").arg(entry.name, -14).arg(entry.title);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Opens the login; after it the tool window, or the window named "
                                                    "with --window.\n\nWindows:")
                                     + windowList);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    const QCommandLineOption window(QStringLiteral("window"),
                                    QStringLiteral("Opens the named window after the login instead of the tool window."),
                                    QStringLiteral("name"));
    parser.addOption(help);
    parser.addOption(window);

    StartOptions options;
    if (!parser.parse(arguments)) {
        err << program << ": " << parser.errorText() << "\n\n" << parser.helpText();
        options.quit = true;
        options.exitCode = 2;
        return options;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        options.quit = true;
        return options;
    }
    if (parser.isSet(window)) {
        options.window = parser.value(window);
        if (!NamedWindows::find(options.window)) {
            err << program << ": unknown window '" << options.window << "'. Windows:" << windowList << "\n";
            options.quit = true;
            options.exitCode = 2;
        }
    }
    return options;
}
