// Raw-file download benchmark.
//
//   bench_rawdownload [N] [DIR]   N camera-raw files (default 2000, 1 MiB each, the shot time near the start)
//                           (in a temporary folder in DIR, by default the system's) beside N photos shot at the same moments; times the download through its window
//                           with the order's "ImageTime.txt", without it (every raw matched by scanning
//                           the photos), "cp -r" of the raws, and "cp -r" followed by one "sync" of the file
//                           system the copies are on, in one run, and prints the ratios.
//
// The download deletes each original only once its copy is on the disk, so its anchor is "cp -r" + "sync":
// the same bytes copied and made durable. Run it on a folder on a real disk (not /dev/shm, where a flush
// costs nothing). The raws are moved by the download, so each run gets them afresh as hard links to one
// master copy. A first untimed "cp -r" warms the page cache; each timed step starts after a "sync" of
// what is pending, and "cp -r" (with and without the sync) is timed before and after the downloads and
// the mean taken. A disk's file system may slow down creating files right after many were deleted, and
// other writers on the same disk add to any sync. Wants a release build.

#include "benchsupport.h"
#include "cr2downloadwindow.h"
#include "msgbox.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const qint64 kRawSize = 1 << 20;

// The shot time of the i-th frame: one a second from 09:00:00.
QByteArray shotTime(int i)
{
    return QStringLiteral("2023:05:12 %1:%2:%3")
        .arg(9 + i / 3600, 2, 10, QLatin1Char('0'))
        .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(i % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The raws in master, the photos and the list in order/ (the raws themselves are linked in per run).
bool makeOrder(const QString &master, const QString &order, int count)
{
    QDir().mkpath(master);
    QDir().mkpath(order + QStringLiteral("照片"));
    QByteArray filler(kRawSize, '\0');
    for (qint64 k = 0; k < kRawSize; ++k)
        filler[int(k)] = char((k * 131 + 7) & 0xff);
    QString list;
    for (int i = 0; i < count; ++i) {
        // Nothing but the date looks like "2" "0" in the bytes the scan reads.
        QByteArray raw = QByteArray("II*\0", 4) + QByteArray(60, 'r') + shotTime(i) + QByteArray(600, 'r');
        raw += filler.left(int(kRawSize - raw.size()));
        const QString name = QStringLiteral("P-%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        if (!writeFile(master + QStringLiteral("/IMG_%1.CR2").arg(i + 1, 4, 10, QLatin1Char('0')), raw))
            return false;
        const QByteArray photo = QByteArray("\xFF\xD8\xFF\xE1", 4) + QByteArray(40, 'e') + shotTime(i) + QByteArray(4000, 'p');
        if (!writeFile(order + QStringLiteral("照片/") + name + QStringLiteral(".jpg"), photo))
            return false;
        list += name + QLatin1Char('>') + QString::fromLatin1(shotTime(i).mid(2)) + QLatin1Char('|');
    }
    return writeFile(order + QStringLiteral("ImageTime.txt"), list.toUtf8());
}

bool linkRaws(const QString &master, const QString &rawDir)
{
    QDir().mkpath(rawDir);
    for (const QString &name : QDir(master).entryList(QDir::Files)) {
        const QString from = master + QLatin1Char('/') + name;
        const QString to = rawDir + QLatin1Char('/') + name;
#ifdef Q_OS_UNIX
        if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
            return false;
#else
        if (!QFile::copy(from, to))
            return false;
#endif
    }
    return true;
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Writes out what is pending on the file system holding path, so that a timed step starts clean.
bool syncFileSystem(const QString &path)
{
    return run(QStringLiteral("sync"), {QStringLiteral("-f"), path});
}

// "cp -r", and with durable a "sync" of the file system after it; -1 when a step failed.
double copyWithCp(const QString &from, const QString &to, bool durable)
{
    syncFileSystem(from);
    QElapsedTimer timer;
    timer.start();
    const bool ok = run(QStringLiteral("cp"), {QStringLiteral("-r"), from, to}) && (!durable || syncFileSystem(to));
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    QDir(to).removeRecursively();
    return ok ? seconds : -1;
}

double mean(double a, double b)
{
    return a > 0 && b > 0 ? (a + b) / 2 : -1;
}

// One download through the window; -1 when it did not end as it should.
double download(const QString &master, const QString &order, const QString &pairsFile, const QString &target, int count)
{
    if (!linkRaws(master, order + QStringLiteral("照片/新建文件夹")))
        return -1;
    MsgBox::clearShown();
    CR2DownLoadWindow window;
    window.show();
    syncFileSystem(order);
    QElapsedTimer timer;
    timer.start();
    window.startDownload(pairsFile, order + QStringLiteral("照片/"), target);
    testsupport::waitFor([&] { return !window.isRunning(); }, 3600 * 1000);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const QStringList copied = QDir(target).entryList({QStringLiteral("P-*.CR2")}, QDir::Files);
    const bool ok = MsgBox::lastShown().title == QStringLiteral("提示") && copied.size() == count
                    && !QFileInfo::exists(order + QStringLiteral("照片/新建文件夹"));
    if (!ok)
        std::fprintf(stderr, "download wrong: %d copies, box \"%s\" %s\n", copied.size(),
                     qPrintable(MsgBox::lastShown().title), qPrintable(MsgBox::lastShown().text.left(300)));
    QDir(target).removeRecursively();
    return ok ? seconds : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler(bench::quietDebug);
    MsgBox::setTestMode(true);
    const int count = app.arguments().value(1, QStringLiteral("2000")).toInt();
    QTemporaryDir work(app.arguments().size() > 2 ? app.arguments().at(2) + QStringLiteral("/bench_rawdownload-XXXXXX")
                                                  : QDir::tempPath() + QStringLiteral("/bench_rawdownload-XXXXXX"));
    const QString master = work.path() + QStringLiteral("/master");
    const QString order = work.path() + QStringLiteral("/order/");
    std::printf("making %d raws of 1 MiB and %d photos...\n", count, count);
    std::fflush(stdout);
    if (count <= 0 || !makeOrder(master, order, count))
        return 1;

    copyWithCp(master, work.path() + QStringLiteral("/warm"), false); // page cache
    const double cpBefore = copyWithCp(master, work.path() + QStringLiteral("/cp"), false);
    const double durableBefore = copyWithCp(master, work.path() + QStringLiteral("/cp"), true);
    const double withList = download(master, order, order + QStringLiteral("ImageTime.txt"), work.path() + QStringLiteral("/with"), count);
    const double withoutList = download(master, order, order + QStringLiteral("none.txt"), work.path() + QStringLiteral("/without"), count);
    const double cpAfter = copyWithCp(master, work.path() + QStringLiteral("/cp"), false);
    const double durableAfter = copyWithCp(master, work.path() + QStringLiteral("/cp"), true);
    const double cp = mean(cpBefore, cpAfter);
    const double durable = mean(durableBefore, durableAfter);

    auto verdict = [](bool ok) { return ok ? "ok" : "MISSED"; };
    std::printf("\n== %d raws of 1 MiB in %s\n", count, qPrintable(work.path()));
    std::printf("cp -r:                      %.2f s (%.2f s before, %.2f s after the downloads)\n", cp, cpBefore, cpAfter);
    std::printf("cp -r + sync:               %.2f s (%.2f s before, %.2f s after the downloads)\n", durable,
                durableBefore, durableAfter);
    std::printf("with ImageTime.txt:         %.2f s = %.2f x cp -r + sync (target <= 1.3) %s; %.2f x cp -r\n", withList,
                withList / durable, verdict(withList > 0 && withList <= 1.3 * durable), withList / cp);
    std::printf("without it (photos scanned): %.2f s = %.2f x with the list (target <= 1.5) %s\n", withoutList,
                withoutList / withList, verdict(withoutList > 0 && withoutList <= 1.5 * withList));
    return cp > 0 && durable > 0 && withList > 0 && withoutList > 0 ? 0 : 1;
}
