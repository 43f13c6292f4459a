#include "globals.h"
#include "login.h"
#include "toolregistry.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halven软件-Tessaly"));
    initEndpoints(defaultApiBase());
    registerStandardTools();

    Login login;
    login.show();
    return app.exec();
}
