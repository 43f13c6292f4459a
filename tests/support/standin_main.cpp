// standin-webservice: serves the sample studio on 127.0.0.1 for trying the program by hand.

#include "samplestudio.h"
#include "standin.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

const char *const kUsage =
    "Usage: standin-webservice --port N --studio DIR\n"
    "\n"
    "Writes the sample studio into DIR (unless it is there already) and answers the web-API\n"
    "actions for it on http://127.0.0.1:N until interrupted. Port 0 picks a free port; the\n"
    "line \"listening on http://127.0.0.1:N\" tells which one.\n"
    "Sample login: user \"demo\", password \"123456\"; SMS code \"123456\".\n";

#ifdef Q_OS_WIN
void onSignal(int)
{
    QMetaObject::invokeMethod(qApp, "quit", Qt::QueuedConnection);
}
#else
int g_signalPipe[2] = {-1, -1};
void onSignal(int)
{
    const char c = 1;
    (void)!write(g_signalPipe[1], &c, 1);
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    // The JPEGs of the sample tree are painted, which wants a GUI application (offscreen is enough).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    int port = -1;
    QString dir;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == "--help" || a == "-h") {
            out << kUsage;
            return 0;
        }
        if (a == "--port" && i + 1 < args.size()) {
            bool ok = false;
            port = args.at(++i).toInt(&ok);
            if (!ok || port < 0 || port > 65535)
                port = -2;
        } else if (a == "--studio" && i + 1 < args.size()) {
            dir = args.at(++i);
        } else {
            err << "unknown argument: " << a << "\n" << kUsage;
            return 2;
        }
    }
    if (port < 0 || dir.isEmpty()) {
        err << kUsage;
        return 2;
    }

    const standin::SampleStudio studio(dir);
    if (!studio.treeExists()) {
        QString error;
        if (!studio.writeTree(&error)) {
            err << "cannot write the sample studio: " << error << "\n";
            return 1;
        }
    }

    standin::Server server;
    studio.installReplies(server);
    if (!server.start(port)) {
        err << "cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }

#ifndef Q_OS_WIN
    if (pipe(g_signalPipe) != 0) {
        err << "cannot set up signal handling\n";
        return 1;
    }
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
#endif
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    // The calendars open on today: these are the days to pick.
    out << "sample orders shot on:";
    for (const standin::SampleOrder &order : studio.orders)
        out << " " << order.payForKey << " " << order.shotDate;
    out << "\n";
    out << "listening on " << server.baseUrl() << "\n";
    out.flush();
    const int rc = app.exec();
    server.stop();
    return rc;
}
