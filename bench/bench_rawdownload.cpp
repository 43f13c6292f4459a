// Raw-file download benchmark.
//
//   bench_rawdownload [N] [DIR]   N camera-raw files (default 2000, 1 MiB each, the shot time near the start)
//                           (in a temporary folder in DIR, by default the system's) beside N photos shot at the same moments; times the download through its window
//                           with the order's "ImageTime.txt", without it (every raw matched by scanning
//                           the photos), and "cp -r" of the raws, in one run, and prints the ratios.
//
// The raws are moved by the download, so each run gets them afresh as hard links to one master copy. A
// first untimed "cp -r" warms the page cache; "cp -r" is timed before and after the downloads and the mean
// taken. A folder in memory (DIR /dev/shm on Linux) gives the steadiest figures: a disk's file system may
// slow down creating files right after many were deleted. Wants a release build.

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

double copyWithCp(const QString &from, const QString &to)
{
    QElapsedTimer timer;
    timer.start();
    QProcess cp;
    cp.start(QStringLiteral("cp"), {QStringLiteral("-r"), from, to});
    cp.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    QDir(to).removeRecursively();
    return cp.exitCode() == 0 ? seconds : -1;
}

// One download through the window; -1 when it did not end as it should.
double download(const QString &master, const QString &order, const QString &pairsFile, const QString &target, int count)
{
    if (!linkRaws(master, order + QStringLiteral("照片/新建文件夹")))
        return -1;
    MsgBox::clearShown();
    CR2DownLoadWindow window;
    window.show();
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

    copyWithCp(master, work.path() + QStringLiteral("/warm")); // page cache
    const double cpBefore = copyWithCp(master, work.path() + QStringLiteral("/cp"));
    const double withList = download(master, order, order + QStringLiteral("ImageTime.txt"), work.path() + QStringLiteral("/with"), count);
    const double withoutList = download(master, order, order + QStringLiteral("none.txt"), work.path() + QStringLiteral("/without"), count);
    const double cpAfter = copyWithCp(master, work.path() + QStringLiteral("/cp"));
    const double cp = cpBefore > 0 && cpAfter > 0 ? (cpBefore + cpAfter) / 2 : -1;

    auto verdict = [](bool ok) { return ok ? "ok" : "MISSED"; };
    std::printf("\n== %d raws of 1 MiB\n", count);
    std::printf("cp -r:                      %.2f s (%.2f s before, %.2f s after the downloads)\n", cp, cpBefore, cpAfter);
    std::printf("with ImageTime.txt:         %.2f s = %.2f x cp -r (target <= 1.3) %s\n", withList, withList / cp,
                verdict(withList > 0 && withList <= 1.3 * cp));
    std::printf("without it (photos scanned): %.2f s = %.2f x with the list (target <= 1.5) %s\n", withoutList,
                withoutList / withList, verdict(withoutList > 0 && withoutList <= 1.5 * withList));
    return cp > 0 && withList > 0 && withoutList > 0 ? 0 : 1;
}
