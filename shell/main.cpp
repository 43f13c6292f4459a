#include "globals.h"
#include "labelprinter.h"
#include "localization.h"
#include "login.h"
#include "namedwindows.h"
#include "toolregistry.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halven软件-Tessaly"));
    registerStandardTools();
    registerStandardWindows();
    const StartOptions options = readCommandLine(QCoreApplication::arguments());
    if (options.quit)
        return options.exitCode;
    useChinese(&app); // the command line's own messages stay as --help writes them
    initEndpoints(defaultApiBase());
    LabelPrinter::setUpFromEnvironment();

    Login login;
    login.setStartWindow(options.window);
    login.show();
    return app.exec();
}
