#include "globals.h"
#include "labelprinter.h"
#include "localization.h"
#include "login.h"
#include "namedwindows.h"
#include "photoimport.h"
#include "toolregistry.h"

#include <QApplication>
#include <QDir>
#include <QThreadPool>

#include <atomic>
#include <memory>

namespace {

// Qt's own options (-platform, -style, ...) are known only to the application object that takes them. Only
// their names count: any other single-dash word ("-?", "-v") is read here and answered with the usage,
// before a window system is needed.
bool isQtOption(const QString &argument)
{
    static const QStringList names{
        QStringLiteral("platform"),   QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),     QStringLiteral("qwindowgeometry"),    QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"), QStringLiteral("reverse"),          QStringLiteral("session"),
        QStringLiteral("display"),    QStringLiteral("geometry"),           QStringLiteral("name"),
        QStringLiteral("title"),      QStringLiteral("icon"),               QStringLiteral("visual"),
        QStringLiteral("ncols"),      QStringLiteral("cmap"),               QStringLiteral("dialogs"),
        QStringLiteral("style"),      QStringLiteral("stylesheet"),         QStringLiteral("widgetcount"),
        QStringLiteral("nograb"),     QStringLiteral("dograb"),             QStringLiteral("sync"),
        QStringLiteral("qmljsdebugger"), QStringLiteral("testability"),     QStringLiteral("fn"),
        QStringLiteral("font"),       QStringLiteral("bg"),                 QStringLiteral("background"),
        QStringLiteral("fg"),         QStringLiteral("foreground"),         QStringLiteral("btn"),
        QStringLiteral("button"),     QStringLiteral("im"),                 QStringLiteral("inputstyle")};
    if (!argument.startsWith(QLatin1Char('-')) || argument.startsWith(QLatin1String("--")))
        return false;
    return names.contains(argument.mid(1).section(QLatin1Char('='), 0, 0)); // "-style=fusion" too
}

bool hasQtOption(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        if (isQtOption(arguments.at(i)))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    registerStandardTools();
    registerStandardWindows();
    // The command line is answered before any window system is needed: "--help" and refused names work
    // without a display. One holding Qt's own options is read once the application has taken them.
    StartOptions options;
    bool read = false;
    {
        QCoreApplication early(argc, argv);
        const QStringList arguments = QCoreApplication::arguments();
        if (!hasQtOption(arguments)) {
            options = readCommandLine(arguments);
            read = true;
        }
    }
    if (options.quit)
        return options.exitCode;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halven软件-Tessaly"));
    if (!read) {
        options = readCommandLine(QCoreApplication::arguments());
        if (options.quit)
            return options.exitCode;
    }
    useChinese(&app); // the command line's own messages stay as --help writes them
    initEndpoints(defaultApiBase());
    setUpJobPool();
    // The clean-up ends when the program closes (the application waits for the pool): what it did not reach
    // goes at the next start.
    const auto closing = std::make_shared<std::atomic<bool>>(false);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [closing] { *closing = true; });
    QThreadPool::globalInstance()->start(
        [closing] { removeUprightPhotosLeftBehind(QDir::tempPath(), [closing] { return !*closing; }); });
    LabelPrinter::setUpFromEnvironment();

    Login login;
    login.setStartWindow(options.window);
    login.show();
    return app.exec();
}
