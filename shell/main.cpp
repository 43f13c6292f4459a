#include "globals.h"
#include "labelprinter.h"
#include "localization.h"
#include "login.h"
#include "namedwindows.h"
#include "toolregistry.h"

#include <QApplication>

namespace {

// Qt's own options (-platform, -style, ...) are known only to the application object that takes them.
bool hasQtOption(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a.startsWith(QLatin1Char('-')) && !a.startsWith(QLatin1String("--")) && a != QLatin1String("-h"))
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
    LabelPrinter::setUpFromEnvironment();

    Login login;
    login.setStartWindow(options.window);
    login.show();
    return app.exec();
}
