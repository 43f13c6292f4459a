// Import benchmark: large camera-sized JPEGs through the real order import thread.
//
//   bench_import [N] [R]                  make N photos (default 24) in a temporary folder and import them,
//                                         each figure the best of R runs (default 1)
//   bench_import --generate DIR [N]       only make the photos, into DIR
//   bench_import --import DIR [R]         only import the photos found in DIR (a fresh process, so the
//                                         peak memory figure belongs to the import alone)
//   bench_import --held DIR H [R]         import the photos found in DIR, all of one size, as photos as shot
//                                         into a new order whose folders hold H files more of exactly that
//                                         size, or of another size (bench::fillerSizeStep; bench_singleimport
//                                         --same-size and --held-files drive it); prints the time and the
//                                         folder listings the run made
//   bench_import --pair DIR               two programs import two cards of one order at once, a third of the
//                                         photos of DIR on both (the second waits for the first), beside one
//                                         program importing the union (target: the pair <= 1.1 x the union)
//   bench_import --into ROOT LIST         (for --pair) the photos named in the file LIST into the order under ROOT
//
// The photos are 6000 x 4000, JPEG quality 90, every second one carrying EXIF orientation 6 (to be
// turned), the others upright. Each run imports them as photos as shot (type 0, with the backup copy)
// and as finished photos (type 1), and prints photos per second and the peak resident memory. The photos
// as shot are then imported again into the order that holds them, beside 200 and then 2000 photos more
// ("type 0 again"): every photo is found there by its bytes and nothing is written; the time per photo
// should be no more than the first import's, and the same for both order sizes.

#include "benchsupport.h"
#include "globals.h"
#include "platform.h"
#include "importordermodel.h"
#include "importorderthread.h"
#include "importstate.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QEventLoop>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

using bench::generate;
using bench::peakRssMiB;

struct RunResult
{
    bool ok = false;
    double seconds = 0;
    int progress = 0;
    int failures = 0;
    int placed = 0;         // new main files
    int importedBefore = 0; // photos as shot the order held already
};

// One run of the order's thread over the files chosen in the model.
RunResult runOrder(ImportOrderModel &model, ImportTypeEnum type, int files)
{
    RunResult result;
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
    result.ok = ends == 1 && inOrder && result.progress == files;
    result.placed = thread->placedFiles();
    result.importedBefore = thread->importedBefore();
    delete thread;
    return result;
}

// An order of its own under root for the files, of the type.
std::unique_ptr<ImportOrderModel> newOrder(const QStringList &files, const QString &root, ImportTypeEnum type)
{
    const QString picRoot = root + QStringLiteral("/pic/");
    const QString bakRoot = root + QStringLiteral("/bak/");
    QDir().mkpath(picRoot);
    QDir().mkpath(bakRoot);
    g_picPath = picRoot;
    g_bakPicPath = bakRoot;
    g_yptbcp = QStringLiteral("0");
    std::unique_ptr<ImportOrderModel> model(new ImportOrderModel(QJsonObject{{"order_photo_id", "1"},
                                                                             {"orderpayforkey", QStringLiteral("B%1").arg(int(type))},
                                                                             {"servicetimes", "1"},
                                                                             {"shotdate", "2024-03-09"}}));
    if (type == ImportOriginPhotos)
        model->setOriginFiles(files);
    else
        model->setFinishedFiles(files);
    return model;
}

void printRun(const char *what, int files, const RunResult &r)
{
    std::printf("%s: %d photos in %.2f s = %.2f photos/s (%.3f s per photo)%s, failures %d\n", what, files, r.seconds,
                files / r.seconds, r.seconds / files, r.ok ? "" : " [SIGNALS WRONG]", r.failures);
    std::fflush(stdout);
}

// The card imported again into the order that holds it, beside `fillers` photos more (best of `rounds`):
// nothing is written, every photo is found by its bytes.
bool importAgain(ImportOrderModel &model, int files, int fillers, int had, int rounds)
{
    if (!bench::addOrderFillers({model.orderPath() + QStringLiteral("照片/"), model.orderBakPath() + QStringLiteral("照片/")},
                                had, fillers - had))
        return false;
    RunResult best;
    bool ok = true;
    for (int i = 0; i < rounds; ++i) {
        const RunResult r = runOrder(model, ImportOriginPhotos, files);
        ok = ok && r.ok && r.failures == 0 && r.placed == 0 && r.importedBefore == files;
        if (i == 0 || r.seconds < best.seconds)
            best = r;
    }
    const QByteArray what = QStringLiteral("type 0 again, order of %1 more").arg(fillers).toUtf8();
    printRun(what.constData(), files, best);
    if (!ok)
        std::printf("  [the card was not found whole in the order]\n");
    return ok;
}

// The photos of sourceDir (of one size) into a new order holding `held` files of exactly their size in its
// "照片/" and its backup (best of `rounds`): each new photo reads each held file at most once.
int runHeld(const QString &sourceDir, int held, int rounds)
{
    const QStringList files = bench::jpegsIn(sourceDir);
    if (files.isEmpty())
        return 1;
    const qint64 size = QFileInfo(files.first()).size();
    QTemporaryDir out(sourceDir + QStringLiteral("/../held-XXXXXX"));
    RunResult best;
    bool ok = true;
    int listings = 0;
    for (int i = 0; i < rounds; ++i) {
        std::unique_ptr<ImportOrderModel> order = newOrder(files, out.path() + QStringLiteral("/%1").arg(i), ImportOriginPhotos);
        ImportOrderThread(order.get(), ImportOriginPhotos).createOrderDir(g_picPath, g_bakPicPath);
        ok = ok && bench::addSameSizeFillers({order->orderPath() + QStringLiteral("照片/"), order->orderBakPath() + QStringLiteral("照片/")},
                                             size + bench::fillerSizeStep(), held);
        const int listedBefore = Platform::folderListings();
        const RunResult r = runOrder(*order, ImportOriginPhotos, files.size());
        listings = Platform::folderListings() - listedBefore;
        ok = ok && r.ok && r.failures == 0 && r.placed == files.size();
        if (i == 0 || r.seconds < best.seconds)
            best = r;
    }
    std::printf("RESULT batch_held_%d_seconds=%.3f\n", held, best.seconds);
    std::printf("RESULT batch_held_%d_listings=%d\n", held, listings);
    const QByteArray what = QStringLiteral("type 0, %1 photos of one size, order holding %2 of it").arg(files.size()).arg(held).toUtf8();
    printRun(what.constData(), files.size(), best);
    return ok ? 0 : 1;
}

// The photos of the list file as photos as shot into the order of its own under root (another program of
// --pair may import into the same order at once); prints the time and the files it placed.
int runInto(const QString &root, const QString &list)
{
    QFile file(list);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QStringList files = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::unique_ptr<ImportOrderModel> order = newOrder(files, root, ImportOriginPhotos);
    const RunResult r = runOrder(*order, ImportOriginPhotos, files.size());
    std::printf("RESULT into_seconds=%.3f placed=%d before=%d\n", r.seconds, r.placed, r.importedBefore);
    return r.ok && r.failures == 0 ? 0 : 1;
}

// Two programs import two cards of one order (a third of the photos on both) at the same moment: the
// second waits for the first, then finds the photos they share. Beside it, one program imports the union
// of the two cards into an order of its own. Target: the pair no more than 1.1 x the union.
int runPair(const QString &sourceDir)
{
    const QStringList files = bench::jpegsIn(sourceDir);
    const int n = files.size();
    QTemporaryDir work(sourceDir + QStringLiteral("/../pair-XXXXXX"));
    if (n < 3 || !work.isValid())
        return 1;
    auto listOf = [&](const QString &name, const QStringList &chosen) {
        QFile file(work.path() + QLatin1Char('/') + name);
        return file.open(QIODevice::WriteOnly) && file.write(chosen.join(QLatin1Char('\n')).toUtf8()) > 0 ? file.fileName()
                                                                                                        : QString();
    };
    const QString all = listOf(QStringLiteral("all.txt"), files);
    const QString first = listOf(QStringLiteral("a.txt"), files.mid(0, 2 * n / 3));
    const QString second = listOf(QStringLiteral("b.txt"), files.mid(n / 3));
    auto placedOf = [](QProcess &p) {
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        return out.section(QStringLiteral("placed="), 1).section(QLatin1Char(' '), 0, 0).toInt();
    };
    const QString self = QCoreApplication::applicationFilePath();
    QElapsedTimer timer;
    timer.start();
    QProcess one;
    one.start(self, {QStringLiteral("--into"), work.path() + QStringLiteral("/union"), all});
    const bool unionOk = one.waitForFinished(-1) && one.exitCode() == 0;
    const double unionSeconds = double(timer.nsecsElapsed()) / 1e9;
    const int unionPlaced = placedOf(one);
    timer.restart();
    QProcess a;
    QProcess b;
    a.start(self, {QStringLiteral("--into"), work.path() + QStringLiteral("/pair"), first});
    b.start(self, {QStringLiteral("--into"), work.path() + QStringLiteral("/pair"), second});
    const bool pairOk = a.waitForFinished(-1) && b.waitForFinished(-1) && a.exitCode() == 0 && b.exitCode() == 0;
    const double pairSeconds = double(timer.nsecsElapsed()) / 1e9;
    const int pairPlaced = placedOf(a) + placedOf(b);
    std::printf("one program, the union of %d photos: %.2f s, %d placed%s\n", n, unionSeconds, unionPlaced,
                unionOk ? "" : " [FAILED]");
    std::printf("two programs at once, %d and %d photos (%d on both): %.2f s, %d placed%s\n", 2 * n / 3, n - n / 3,
                2 * n / 3 - n / 3, pairSeconds, pairPlaced, pairOk ? "" : " [FAILED]");
    std::printf("pair / union: %.2f x (target <= 1.10: %s); each photo placed once: %s\n", pairSeconds / unionSeconds,
                pairSeconds <= 1.1 * unionSeconds ? "ok" : "MISSED", pairPlaced == n && unionPlaced == n ? "yes" : "NO");
    return unionOk && pairOk && pairPlaced == n ? 0 : 1;
}

int runImports(const QString &sourceDir, const QString &workDir, int rounds)
{
    const QStringList files = bench::jpegsIn(sourceDir);
    if (files.isEmpty()) {
        std::fprintf(stderr, "no photos in %s\n", qPrintable(sourceDir));
        return 1;
    }
    std::printf("threads: %d\n", QThread::idealThreadCount());
    int status = 0;
    for (ImportTypeEnum type : {ImportOriginPhotos, ImportFinishedPhotos}) {
        // Best of the rounds, each into an order of its own; the last one's order stays for the runs again.
        QTemporaryDir out(workDir + QStringLiteral("/out-XXXXXX"));
        std::unique_ptr<ImportOrderModel> kept;
        RunResult best;
        for (int i = 0; i < rounds; ++i) {
            kept = newOrder(files, out.path() + QStringLiteral("/%1").arg(i), type);
            const RunResult r = runOrder(*kept, type, files.size());
            if (!r.ok || r.failures)
                status = 1;
            if (i == 0 || r.seconds < best.seconds)
                best = r;
        }
        const QByteArray what = QStringLiteral("type %1").arg(int(type)).toUtf8();
        printRun(what.constData(), files.size(), best);
        if (type == ImportOriginPhotos) {
            int had = 0;
            for (int fillers : {200, 2000}) {
                if (!importAgain(*kept, files.size(), fillers, had, rounds))
                    status = 1;
                had = fillers;
            }
        }
    }
    std::printf("peak RSS: %.0f MiB\n", peakRssMiB());
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler(bench::quietDebug);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--generate") && args.size() >= 2)
        return generate(args.at(1), args.value(2, QStringLiteral("24")).toInt()) ? 0 : 1;
    if (args.value(0) == QLatin1String("--held") && args.size() >= 3)
        return runHeld(args.at(1), args.at(2).toInt(), qMax(1, args.value(3, QStringLiteral("1")).toInt()));
    if (args.value(0) == QLatin1String("--into") && args.size() >= 3)
        return runInto(args.at(1), args.at(2));
    if (args.value(0) == QLatin1String("--pair") && args.size() >= 2)
        return runPair(args.at(1));
    if (args.value(0) == QLatin1String("--import") && args.size() >= 2)
        return runImports(args.at(1), args.at(1), args.value(2, QStringLiteral("1")).toInt());

    const int count = args.isEmpty() ? 24 : args.at(0).toInt();
    const int rounds = args.value(1, QStringLiteral("1")).toInt();
    QTemporaryDir work;
    if (count <= 0 || rounds <= 0 || !work.isValid() || !generate(work.path() + QStringLiteral("/src"), count))
        return 1;
    std::printf("(peak memory below includes making the photos)\n");
    return runImports(work.path() + QStringLiteral("/src"), work.path(), rounds);
}
