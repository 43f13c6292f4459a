// Import benchmark: large camera-sized JPEGs through the real order import thread.
//
//   bench_import [N]                      make N photos (default 24) in a temporary folder and import them
//   bench_import --generate DIR [N]       only make the photos, into DIR
//   bench_import --import DIR             only import the photos found in DIR (a fresh process, so the
//                                         peak memory figure belongs to the import alone)
//
// The photos are 6000 x 4000, JPEG quality 90, every second one carrying EXIF orientation 6 (to be
// turned), the others upright. Each run imports them as photos as shot (type 0, with the backup copy)
// and as finished photos (type 1), and prints photos per second and the peak resident memory.

#include "benchsupport.h"
#include "globals.h"
#include "importordermodel.h"
#include "importorderthread.h"
#include "importstate.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using bench::generate;
using bench::peakRssMiB;

struct RunResult
{
    bool ok = false;
    double seconds = 0;
    int progress = 0;
    int failures = 0;
};

RunResult importAll(const QStringList &files, const QString &root, ImportTypeEnum type)
{
    RunResult result;
    const QString picRoot = root + QStringLiteral("/pic/");
    const QString bakRoot = root + QStringLiteral("/bak/");
    QDir().mkpath(picRoot);
    QDir().mkpath(bakRoot);
    g_picPath = picRoot;
    g_bakPicPath = bakRoot;
    g_yptbcp = QStringLiteral("0");

    ImportOrderModel model(QJsonObject{{"order_photo_id", "1"},
                                       {"orderpayforkey", QStringLiteral("B%1").arg(int(type))},
                                       {"servicetimes", "1"},
                                       {"shotdate", "2024-03-09"}});
    if (type == ImportOriginPhotos)
        model.setOriginFiles(files);
    else
        model.setFinishedFiles(files);

    auto *thread = new ImportOrderThread(&model, type);
    thread->createOrderDir(g_picPath, g_bakPicPath);
    int ends = 0;
    bool inOrder = true;
    QObject::connect(thread, &ImportOrderThread::hasImportedImgCount, [&](quint16 done, quint16) {
        inOrder = inOrder && done == result.progress + 1;
        result.progress = done;
    });
    QObject::connect(thread, &ImportOrderThread::hasFinishedImportSigl, [&](quint16) { ++ends; });
    QObject::connect(thread, &ImportOrderThread::importFailedFilesSigl,
                     [&](const QStringList &list) { result.failures = list.size(); });
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);

    QElapsedTimer timer;
    timer.start();
    thread->start();
    loop.exec();
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    QCoreApplication::processEvents();
    result.ok = ends == 1 && inOrder && result.progress == files.size();
    delete thread;
    return result;
}

int runImports(const QString &sourceDir, const QString &workDir)
{
    QStringList files;
    const QStringList names = QDir(sourceDir).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        files << QDir(sourceDir).filePath(name);
    if (files.isEmpty()) {
        std::fprintf(stderr, "no photos in %s\n", qPrintable(sourceDir));
        return 1;
    }
    std::printf("threads: %d\n", QThread::idealThreadCount());
    int status = 0;
    for (ImportTypeEnum type : {ImportOriginPhotos, ImportFinishedPhotos}) {
        QTemporaryDir out(workDir + QStringLiteral("/out-XXXXXX"));
        const RunResult r = importAll(files, out.path(), type);
        std::printf("type %d: %d photos in %.2f s = %.2f photos/s (%.3f s per photo)%s, failures %d\n", int(type),
                    files.size(), r.seconds, files.size() / r.seconds, r.seconds / files.size(),
                    r.ok ? "" : " [SIGNALS WRONG]", r.failures);
        std::fflush(stdout);
        if (!r.ok || r.failures)
            status = 1;
    }
    std::printf("peak RSS: %.0f MiB\n", peakRssMiB());
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--generate") && args.size() >= 2)
        return generate(args.at(1), args.value(2, QStringLiteral("24")).toInt()) ? 0 : 1;
    if (args.value(0) == QLatin1String("--import") && args.size() >= 2)
        return runImports(args.at(1), args.at(1));

    const int count = args.isEmpty() ? 24 : args.at(0).toInt();
    QTemporaryDir work;
    if (count <= 0 || !work.isValid() || !generate(work.path() + QStringLiteral("/src"), count))
        return 1;
    std::printf("(peak memory below includes making the photos)\n");
    return runImports(work.path() + QStringLiteral("/src"), work.path());
}
