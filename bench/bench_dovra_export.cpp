// Dovra export benchmark: a finished selection of camera-sized JPEGs in a nested tree, exported by the
// real Dovra worker and copied by `cp -r`, in the same run with a warm cache, best of two.
//
//   bench_dovra_export [N]                 N photos (default 300) in the selection tree
//   bench_dovra_export --generate DIR K    only make K distinct photos into DIR (run by the benchmark in a
//                                          process of its own, so the peak memory below is the export's)
//
// The tree holds the photos in album folders of ten, a few in a not-in-album folder, a note and the "*.ok"
// marker; the order's finished folder holds a photo of every name. Modes: unrestricted (the shop copies
// everything), restricted with the finished photos in place of Dovra's, and `cp -r` of the selection
// folder. While the worker runs, a 10 ms timer on the GUI thread measures how late it fires, and the
// receiver sets a label for every file, as the export window does. A last export into a finished tree must
// copy nothing, still report the order complete and take less time than `cp -r`.

#include "benchsupport.h"
#include "dovrathread.h"

#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// Takes the worker's reports as the export window does: a label per progress line, the report at the end.
class Receiver : public QObject
{
    Q_OBJECT
public:
    QLabel label;
    QString report;
    int lines = 0;
    bool finished = false;
public slots:
    void slt_exportDovraResult(QJsonObject obj)
    {
        if (obj.value("type").toString() == QLatin1String("update_msg")) {
            label.setText(obj.value("alert").toString());
            ++lines;
        } else {
            report = obj.value("message").toString();
            finished = true;
        }
    }
};

struct Run
{
    double seconds = 0;
    double worstLateMs = 0;
    int lines = 0;
    QString report;
};

struct Tree
{
    QString selected; // the order's "[已选]" folder, in the service's back-slash form below the work folder
    QString result;   // its "选版结果" folder, local
    QString orderDir; // the order's folder on the photo storage, ending in "/"
    QString rel;
    int files = 0;
};

// Writes back what earlier steps left in the cache, so that every timed copy starts alike: sources in the
// cache, nothing of another run still being written out.
void settle()
{
    QProcess::execute(QStringLiteral("sync"), {});
}

bool copyFile(const QString &from, const QString &to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    return QFile::copy(from, to);
}

bool makeTree(const QString &work, const QStringList &photos, int count, Tree *tree)
{
    tree->rel = QStringLiteral("2024-03\\A17-1");
    const QString server = work + QStringLiteral("/dovra/选版服务器/");
    tree->selected = server + QStringLiteral("[已选]") + tree->rel;
    tree->result = server + QStringLiteral("[已选]2024-03/A17-1/选版结果/");
    tree->orderDir = work + QStringLiteral("/pic/A17-1/");
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("IMG_%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0'));
        const QString folder = i % 50 == 49 ? QStringLiteral("未入册照片/")
                                            : QStringLiteral("相册/%1/").arg(i / 10 + 1, 2, 10, QLatin1Char('0'));
        const QString photo = photos.at(i % photos.size());
        if (!copyFile(photo, tree->result + folder + name) || !copyFile(photo, tree->orderDir + "成品/" + name))
            return false;
    }
    QFile note(tree->result + QStringLiteral("说明.txt"));
    QFile marker(tree->result + QStringLiteral("选版完成.ok"));
    tree->files = count + 2;
    return note.open(QIODevice::WriteOnly) && note.write("选版说明") > 0 && marker.open(QIODevice::WriteOnly);
}

Run exportOnce(const Tree &tree, const QString &root, const QString &downloadAll, const QString &bigImg)
{
    QDir().mkpath(root);
    OrderRowInfo row;
    row.checked = true;
    row.orderpayforkey = QStringLiteral("A17");
    row.servicetimes = QStringLiteral("1");
    row.customerName = QStringLiteral("基准");
    row.orderpath = tree.orderDir;
    row.dovraRelPath = tree.rel;
    row.dovraSelectedPath = tree.selected;

    Receiver receiver;
    Dovrathread thread(&receiver, nullptr);
    thread.mode = QStringLiteral("exportDovraresult");
    thread.exportRoot = root;
    thread.orders = {row};
    thread.downloadAll = downloadAll;
    thread.bigImg = bigImg;

    Run run;
    settle();
    QElapsedTimer clock;
    qint64 lastTick = 0;
    QTimer timer;
    timer.setInterval(10);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        run.worstLateMs = std::max(run.worstLateMs, double(now - lastTick) / 1e6 - 10.0);
        lastTick = now;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (receiver.finished)
            loop.quit();
    });
    clock.start();
    timer.start();
    poll.start(1);
    thread.start();
    loop.exec();
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    timer.stop();
    thread.wait();
    run.lines = receiver.lines;
    run.report = receiver.report;
    return run;
}

double cpOnce(const QString &source, const QString &target)
{
    QDir().mkpath(target);
    settle();
    QElapsedTimer clock;
    clock.start();
    QProcess cp;
    cp.start(QStringLiteral("cp"), {QStringLiteral("-r"), source, target + QStringLiteral("/选版结果")});
    cp.waitForFinished(-1);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return cp.exitCode() == 0 ? seconds : -1;
}

// Every file below root with its modification time.
QMap<QString, QDateTime> stamps(const QString &root)
{
    QMap<QString, QDateTime> out;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out.insert(path, it.fileInfo().lastModified());
    }
    return out;
}

int fileCount(const QString &root)
{
    return stamps(root).size();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--generate") && args.size() >= 3)
        return bench::generate(args.at(1), args.at(2).toInt()) ? 0 : 1;

    const int count = args.isEmpty() ? 300 : args.at(0).toInt();
    QTemporaryDir work;
    if (count <= 0 || !work.isValid())
        return 1;
    // A few distinct photos, made in a process of their own, then copied to every name of the tree.
    const QString gen = work.path() + QStringLiteral("/gen");
    const int distinct = std::min(count, 8);
    QProcess maker;
    maker.setProcessChannelMode(QProcess::ForwardedChannels);
    maker.start(app.applicationFilePath(), {QStringLiteral("--generate"), gen, QString::number(distinct)});
    if (!maker.waitForFinished(-1) || maker.exitCode() != 0)
        return 1;
    QStringList photos;
    for (const QString &name : QDir(gen).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
        photos << gen + QLatin1Char('/') + name;
    Tree tree;
    if (!makeTree(work.path(), photos, count, &tree)) {
        std::fprintf(stderr, "cannot write the selection tree\n");
        return 1;
    }
    qint64 bytes = 0;
    QDirIterator it(tree.result, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    std::printf("selection: %d photos, %.0f MiB, in %s\n", count, double(bytes) / (1 << 20), qPrintable(tree.result));

    const QString out = work.path() + QStringLiteral("/out");
    const QString date = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString exported = QStringLiteral("/") + date + QStringLiteral("/A17-服务次1 基准/选版结果");
    cpOnce(tree.result, out + QStringLiteral("/warm")); // warms the cache
    QDir(out).removeRecursively();

    struct Mode {
        const char *name;
        QString downloadAll;
        QString bigImg;
        double best = 1e9;
        double late = 0;
        int files = 0;
    };
    Mode modes[] = {{"unrestricted", QString(), QString()},
                    {"restricted, finished photos in place", QStringLiteral("0"), QStringLiteral("1")}};
    double cpBest = 1e9;
    double again = -1;
    bool ok = true;
    for (int round = 0; round < 2; ++round) {
        const double cp = cpOnce(tree.result, out + QStringLiteral("/cp"));
        ok = ok && cp > 0;
        cpBest = std::min(cpBest, cp);
        QDir(out).removeRecursively();
        for (Mode &m : modes) {
            const QString root = out + QStringLiteral("/") + QString::number(round);
            const Run r = exportOnce(tree, root, m.downloadAll, m.bigImg);
            m.best = std::min(m.best, r.seconds);
            m.late = std::max(m.late, r.worstLateMs);
            m.files = fileCount(root + exported);
            ok = ok && r.report.contains(QStringLiteral("Dovra导出完成"));
            if (round == 1 && m.downloadAll.isEmpty()) {
                // again into the finished tree: nothing is copied, the order is still complete
                const QMap<QString, QDateTime> before = stamps(root);
                const Run second = exportOnce(tree, root, m.downloadAll, m.bigImg);
                const bool untouched = stamps(root) == before;
                const bool complete = second.report.contains(QStringLiteral("Dovra导出完成"));
                std::printf("re-export: %s, %s\n", untouched ? "nothing copied" : "FILES CHANGED",
                            complete ? "reported complete" : "NOT COMPLETE");
                again = second.seconds;
                ok = ok && untouched && complete;
            }
            QDir(root).removeRecursively();
        }
    }

    std::printf("cp -r: %.2f s (%.0f MiB/s)\n", cpBest, double(bytes) / (1 << 20) / cpBest);
    for (const Mode &m : modes) {
        const double ratio = m.best / cpBest;
        std::printf("%s: %.2f s, %d files, %.2f x cp -r%s; GUI timer at most %.1f ms late%s\n", m.name, m.best, m.files,
                    ratio, ratio <= 1.2 ? "" : " [over 1.2]", m.late, m.late < 50 ? "" : " [over 50 ms]");
        ok = ok && ratio <= 1.2 && m.late < 50;
    }
    if (again >= 0) {
        std::printf("re-export into the finished tree: %.2f s, %.2f x cp -r%s\n", again, again / cpBest,
                    again < cpBest ? "" : " [not faster than cp -r]");
        ok = ok && again < cpBest;
    }
    const double rss = bench::peakRssMiB();
    std::printf("peak RSS: %.0f MiB%s\n", rss, rss < 200 ? "" : " [over 200 MiB]");
    return ok && rss < 200 ? 0 : 1;
}

#include "bench_dovra_export.moc"
