// Separation benchmark: the copies of one large order through the real separation window, against cp.
//
//   bench_separation [N] [DIR]   an order of N finished photos (default 300, about 8 MB each) in DIR
//                                (default: a temporary folder on the system's temporary file system)
//
// The order has N finished photos (made from a few camera-sized pictures of the benchmarks' generator),
// 20 rejected and 10 marked ones, a camera-raw ".CR2" beside every third photo, and goods that cover every
// finished photo (products of 30 photos). The window separates it from
// the click on "开始分件" to the end of its product copies (the stand-in web service answers the goods,
// and refuses the crop request that would follow, which ends the run there). In the same process and on
// the same file system, cp copies the same bytes: "cp -r" of the source folders into the work folder, the
// raw siblings beside the finished copies, then each product's photos into a folder of its own. Caches are
// warm (every source file is read once first); each side runs three times, the best time counts. A 10 ms
// timer on the GUI thread measures the longest gap between its ticks while the window works, and (on Linux)
// how the GUI thread spent that gap: on a CPU, waiting for one, and its page faults that read the disk (the
// rest it was blocked: in a system call, or on a lock).
//
//   bench_separation --small [N] [DIR]
//                                the same with photos of about 60 KB (600 x 400), so that an order of
//                                10,000 photos fits a disk: the separation's own work per photo (its
//                                record included) weighs more beside the bytes. Prints the time per photo,
//                                to be set beside that of a smaller order made the same way.
//
//   bench_separation --crafted-record [--small] [N] [DIR]
//                                before the timed runs, the order is separated once and its record (left
//                                by the run's early end) and the journal beside it are replaced by files
//                                of the largest size read, crafted to cost the most per byte (the journal
//                                begins with 99,000 lines for one name); the timed runs read them, and
//                                their longest GUI gap shows what it costs the window. The record lists
//                                the most folders a record may, 10,000, below one shared level; the journal
//                                has the levels of each about to be made, and they are there on disk, the
//                                shared one holding a file of the clerk's as well (so that the run decides
//                                for every folder which of its levels were made). The time the run takes
//                                to read the record and settle its folders (beyond the run that left it)
//                                is printed, and the process's peak memory after each run.
//
//   bench_separation --after-sample [N] [DIR]
//                                the after-sample window instead: N finished photos (default 300, about
//                                8 MB each), each with a ".CR2" of about 25 MB, from the click on "开始分件"
//                                to the end of the order's finished copies; cp copies "成品/" and
//                                "照片/新建文件夹/" with "cp -r".

#include "benchsupport.h"
#include "globals.h"
#include "msgbox.h"
#include "searchorder.h"
#include "separationbench.h"
#include "splitaftersample.h"
#include "standin.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

const int kPhotosPerProduct = 30;
const QString kOrderKey = QStringLiteral("B0001");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

struct Order {
    QString path; // the order folder, ending in "/"
    QStringList finished;
    QJsonArray goods;
    qint64 bytes = 0;
};

// Writes the order's storage tree below root. A few distinct pictures make every photo; each file gets
// bytes of its own after the picture's end, so no two files are equal. small: the pictures at 600 x 400.
bool makeOrder(const QString &root, int count, Order *order, bool afterSample, bool small)
{
    order->path = root + QStringLiteral("/pic/2024-05/09/B0001-1-王小明/");
    for (const char *sub : {"成品", "汰片", "marks", "照片/新建文件夹"}) {
        if (!QDir().mkpath(order->path + QString::fromUtf8(sub)))
            return false;
    }
    QList<QByteArray> pictures;
    const QString bases = root + QStringLiteral("/bases/");
    if (!bench::generate(bases, 4))
        return false;
    for (const QString &name : QDir(bases).entryList(QDir::Files, QDir::Name)) {
        QFile f(bases + name);
        if (!f.open(QIODevice::ReadOnly))
            return false;
        pictures << f.readAll();
        if (small) {
            QByteArray jpeg;
            QBuffer out(&jpeg);
            out.open(QIODevice::WriteOnly);
            if (!QImage::fromData(pictures.last()).scaled(600, 400).save(&out, "JPG", 90))
                return false;
            pictures.last() = jpeg;
        }
    }
    auto file = [&](const QString &path, int i, int copies = 1) {
        QByteArray bytes = pictures.at(i % pictures.size()).repeated(copies);
        bytes += QByteArray::number(i).repeated(64);
        order->bytes += bytes.size();
        return writeFile(path, bytes);
    };
    // a camera-raw file of about 25 MB
    const int rawCopies = afterSample ? qMax(1, int((25 << 20) / qMax(1, pictures.first().size()))) : 1;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("IMG_%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0'));
        order->finished << name;
        if (!file(order->path + QStringLiteral("成品/") + name, i))
            return false;
        if ((afterSample || i % 3 == 0)
            && !file(order->path + QStringLiteral("照片/新建文件夹/") + name.left(8) + ".CR2", i + 7, rawCopies))
            return false;
    }
    for (int i = 0; i < 20; ++i) {
        if (!file(order->path + QStringLiteral("汰片/DEL_%1.jpg").arg(i), i + 3))
            return false;
    }
    for (int i = 0; i < 10; ++i) {
        if (!file(order->path + QStringLiteral("marks/") + order->finished.value(i), i + 5))
            return false;
    }
    for (int first = 0, n = 1; first < count; first += kPhotosPerProduct, ++n) {
        order->goods.append(QJsonObject{
            {"id", QString::number(900 + n)}, {"goodname", QStringLiteral("相册%1").arg(n)}, {"goodtypename", "相册"},
            {"goodtypeid", "15"}, {"goodamount", "1"}, {"factoryname", "后期一厂"}, {"isems", "1"}, {"isurgent", "0"},
            {"ishomemade", "0"}, {"parentid", "0"}, {"picpath", order->finished.mid(first, kPhotosPerProduct).join('|')}});
    }
    std::printf("order: %d finished photos, %lld MiB in all\n", count, order->bytes >> 20);
    return true;
}

void readAll(const QString &dir)
{
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly)) {
            while (!f.read(1 << 22).isEmpty()) {
            }
        }
    }
}

// The GUI thread's own account of its time, where the system keeps one (Linux): on a CPU, waiting for one
// (runnable, but others ran), in ms; and the page faults that had to read from the disk.
struct ThreadTimes {
    double onCpuMs = 0;
    double waitingMs = 0;
    qint64 majorFaults = 0;
};
ThreadTimes threadTimes()
{
    ThreadTimes t;
#ifdef Q_OS_LINUX
    QFile sched(QStringLiteral("/proc/thread-self/schedstat"));
    if (sched.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> f = sched.readAll().simplified().split(' ');
        t.onCpuMs = f.value(0).toDouble() / 1e6;
        t.waitingMs = f.value(1).toDouble() / 1e6;
    }
    QFile stat(QStringLiteral("/proc/thread-self/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        t.majorFaults = f.value(9).toLongLong(); // majflt, the 12th field
    }
#endif
    return t;
}

struct WindowRun {
    double seconds = -1;
    int longestStallMs = 0;
    ThreadTimes inStall; // what the GUI thread's time was in the longest gap
};

WindowRun runWindow(standin::Server &server, const QString &saveDir, bool afterSample)
{
    std::shared_ptr<std::atomic<qint64>> stageEnd = std::make_shared<std::atomic<qint64>>(-1);
    QElapsedTimer clock;
    server.setHandler("getorderpic", [stageEnd, &clock](const standin::Request &) {
        stageEnd->store(clock.nsecsElapsed());
        return standin::Reply::refused(QStringLiteral("bench"), QStringLiteral("0"));
    });

    const ShopSettings shop = ShopSettings::current();
    SeparationWindow *w = afterSample ? static_cast<SeparationWindow *>(new SplitAfterSample(nullptr, shop))
                                      : new SearchOrder(nullptr, shop);
    bench::tickOrder(w, kOrderKey, saveDir);

    WindowRun run;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    ThreadTimes lastTick = threadTimes();
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const int gap = int(sinceTick.restart());
        const ThreadTimes now = threadTimes();
        if (gap > run.longestStallMs) {
            run.longestStallMs = gap;
            run.inStall = {now.onCpuMs - lastTick.onCpuMs, now.waitingMs - lastTick.waitingMs,
                           now.majorFaults - lastTick.majorFaults};
        }
        lastTick = now;
    });
    clock.start();
    sinceTick.start();
    ticker.start();
    w->findChild<QPushButton *>("pushButton_separate")->click();
    while (w->isSeparating() && stageEnd->load() < 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 end = stageEnd->load() >= 0 ? stageEnd->load() : clock.nsecsElapsed();
    ticker.stop();
    run.seconds = double(end) / 1e9;
    while (w->isSeparating())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    delete w;
    for (QWidget *top : QApplication::topLevelWidgets())
        top->deleteLater();
    QCoreApplication::processEvents();
    return run;
}

// The after-sample copy stage's bytes: the finished photos and the raw files.
double runCpAfterSample(const Order &order, const QString &out)
{
    QElapsedTimer clock;
    clock.start();
    QDir().mkpath(out);
    const bool ok = QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-r"), order.path + QStringLiteral("成品"),
                                                            order.path + QStringLiteral("照片/新建文件夹"), out})
                    == 0;
    return ok ? double(clock.nsecsElapsed()) / 1e9 : -1;
}

// Replaces the record a run left in saveDir, and its journal, by what costs the most to read within the
// bounds a record is read in: the most folders, 10,000, each with copies, all below one level they share,
// and just under the most facts of copies. In the journal first the levels of every folder about to be
// made (both there on disk, the shared one holding a file of the clerk's too, so that it is not the
// attempt's and each folder's look at it comes to nothing), then 99,000 copies about to land under one
// name, each of another size, then lines with long names up to its largest size, spread over the folders;
// false when there is no record or a folder cannot be made.
bool craftRecord(const QString &saveDir)
{
    QDirIterator it(saveDir, {QStringLiteral(".分件记录.json")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    if (!it.hasNext())
        return false;
    const QString record = it.next();
    const QString orderDir = QFileInfo(record).path() + QLatin1Char('/');
    const int folders = 10000;
    const int perFolder = 5;
    const int oneName = 99000;
    const qint64 journalBound = 64 * 1024 * 1024;
    const int journalLines = 500000 - folders * perFolder - folders - oneName - 100;
    QByteArray bytes = "{\"folders\":[";
    QByteArray journal;
    for (int i = 0; i < folders; ++i) {
        const QByteArray folder = "x/f" + QByteArray::number(i) + "/";
        bytes += (i ? "," : "") + QByteArray("{\"planned\":\"") + folder + "\",\"folder\":\"" + folder
                 + "\",\"created\":[],\"files\":[";
        for (int n = 0; n < perFolder; ++n)
            bytes += (n ? "," : "") + QByteArray("{\"name\":\"I") + QByteArray::number(n) + ".jpg\",\"size\":1,\"time\":1}";
        bytes += "]}";
        journal += "{\"folder\":\"" + folder + "\",\"created\":[\"x/\",\"" + folder + "\"],\"pending\":true}\n";
        if (!QDir().mkpath(orderDir + QString::fromUtf8(folder)))
            return false;
    }
    bytes += "]}";
    if (!writeFile(orderDir + QStringLiteral("x/clerk.txt"), "the clerk's"))
        return false;
    for (int i = 0; i < oneName; ++i)
        journal += "{\"folder\":\"x/f0/\",\"name\":\"J.jpg\",\"size\":" + QByteArray::number(i)
                   + ",\"time\":1,\"pending\":true,\"source\":\"其它/成品/J.jpg\"}\n";
    const int lineBytes = int((journalBound - 4096 - journal.size()) / journalLines);
    for (int i = 0; i < journalLines; ++i) {
        QByteArray line = "{\"folder\":\"x/f" + QByteArray::number(i % folders) + "/\",\"size\":1,\"time\":1,\"changed\":\"1\",\"id\":\"1\",\"name\":\"J"
                          + QByteArray::number(i);
        line += QByteArray(qMax(0, lineBytes - line.size() - 8), 'x') + ".jpg\"}\n";
        journal += line;
    }
    std::printf("crafted record: %lld bytes, journal %lld bytes (%d lines for one name)\n", qint64(bytes.size()),
                qint64(journal.size()), oneName);
    return writeFile(record, bytes) && writeFile(record + QLatin1Char('l'), journal);
}

double runCp(const Order &order, const QString &out)
{
    const QString work = out + QStringLiteral("/work/");
    QElapsedTimer clock;
    clock.start();
    QDir().mkpath(work);
    auto cp = [](const QStringList &args) { return QProcess::execute(QStringLiteral("cp"), args) == 0; };
    bool ok = cp({QStringLiteral("-r"), order.path + QStringLiteral("成品"), order.path + QStringLiteral("汰片"),
                  order.path + QStringLiteral("marks"), work});
    QStringList raws;
    for (const QString &raw : QDir(order.path + QStringLiteral("照片/新建文件夹")).entryList(QDir::Files))
        raws << order.path + QStringLiteral("照片/新建文件夹/") + raw;
    ok = ok && cp(raws + QStringList{work + QStringLiteral("成品/")});
    for (int first = 0, n = 1; first < order.finished.size(); first += kPhotosPerProduct, ++n) {
        const QString product = out + QStringLiteral("/相册%1/").arg(n);
        QDir().mkpath(product);
        QStringList args;
        for (const QString &name : order.finished.mid(first, kPhotosPerProduct))
            args << work + QStringLiteral("成品/") + name;
        ok = ok && cp(args + QStringList{product});
    }
    return ok ? double(clock.nsecsElapsed()) / 1e9 : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::quietWindows();
    QStringList args = app.arguments().mid(1);
    const bool afterSample = args.removeAll(QStringLiteral("--after-sample")) > 0;
    const bool small = args.removeAll(QStringLiteral("--small")) > 0;
    const bool crafted = args.removeAll(QStringLiteral("--crafted-record")) > 0;
    const int count = args.value(0, QStringLiteral("300")).toInt();
    QTemporaryDir base(args.size() > 1 ? args.at(1) + QStringLiteral("/bench-separation-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/bench-separation-XXXXXX"));
    Order order;
    if (count <= 0 || !base.isValid() || !makeOrder(base.path(), count, &order, afterSample, small))
        return 1;

    standin::Server server;
    if (!server.start())
        return 1;
    initEndpoints(server.baseUrl());
    setUpJobPool(); // as the program's start sets it
    const QJsonObject row{{"order_photo_id", "1"}, {"orderpayforkey", kOrderKey}, {"servicetimes", "1"},
                          {"bname", "王小明"}, {"pickuptime", "2024-06-01"}, {"pickuptype", "0"},
                          {"orderpath", order.path}};
    server.setReply("order_list", standin::Reply::ok({{"data", QJsonArray{row}}}));
    server.setReply("ordergoods20230521",
                    standin::Reply::ok({{"shop_set", QJsonObject{{"fenjian_ishaveordergoodid", "0"}}},
                                        {"order", QJsonObject{{"ordergoods0", order.goods}}}}));
    g_finishedDirName = QStringLiteral("成品");
    g_markDirName = QStringLiteral("标注");
    g_xztp = QStringLiteral("1");
    g_sjfjxz = QStringLiteral("1");
    g_isshow_subproduct = QStringLiteral("0");
    QDir::setCurrent(base.path());

    readAll(order.path);
    bench::settleDisk();
    double bestWindow = -1, bestCp = -1;
    int stall = 0;
    for (int i = 0; i < 3; ++i) {
        const QString out = base.path() + QStringLiteral("/window%1").arg(i);
        QDir().mkpath(out);
        const double leftIt = crafted ? runWindow(server, out, afterSample).seconds : 0;
        if (crafted && (leftIt < 0 || !craftRecord(out)))
            return 1;
        const WindowRun w = runWindow(server, out, afterSample);
        if (crafted) // the same order and plan, but for the crafted record: what reading and settling it took
            std::printf("crafted record read and settled: %.2f s (the run %.2f s, the run that left the record %.2f s)\n",
                        w.seconds - leftIt, w.seconds, leftIt);
        // what the run's early end left of its record for the next attempt
        for (QDirIterator it(out, {QStringLiteral(".分件记录.json*")}, QDir::Files | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            it.next();
            std::printf("%s: %lld bytes\n", qPrintable(it.fileName()), it.fileInfo().size());
        }
        QDir(out).removeRecursively();
        bench::settleDisk();
        const QString cpOut = base.path() + QStringLiteral("/cp%1").arg(i);
        const double c = afterSample ? runCpAfterSample(order, cpOut) : runCp(order, cpOut);
        QDir(cpOut).removeRecursively();
        bench::settleDisk();
        long peakKiB = 0;
#ifdef Q_OS_UNIX
        struct rusage usage;
        if (::getrusage(RUSAGE_SELF, &usage) == 0)
            peakKiB = usage.ru_maxrss;
#endif
        std::printf("run %d: window %.2f s (longest GUI gap %d ms: on a CPU %.0f ms, waiting for one %.0f ms, "
                    "%lld page faults read from disk), cp %.2f s; peak memory %ld MiB\n",
                    i + 1, w.seconds, w.longestStallMs, w.inStall.onCpuMs, w.inStall.waitingMs, w.inStall.majorFaults, c,
                    peakKiB >> 10);
        std::fflush(stdout);
        if (w.seconds < 0 || c < 0)
            return 1;
        bestWindow = bestWindow < 0 ? w.seconds : qMin(bestWindow, w.seconds);
        bestCp = bestCp < 0 ? c : qMin(bestCp, c);
        stall = qMax(stall, w.longestStallMs);
    }
    std::printf("best: window %.2f s, cp %.2f s, ratio %.2f (target <= 1.30); longest GUI gap %d ms (target <= 100); "
                "%.3f ms per photo\n",
                bestWindow, bestCp, bestWindow / bestCp, stall, bestWindow * 1000 / count);
    return 0;
}
