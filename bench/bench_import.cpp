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

#include "globals.h"
#include "importordermodel.h"
#include "importorderthread.h"
#include "importstate.h"
#include "testsupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace {

const QSize kPhotoSize(6000, 4000);

// Peak resident memory of this process in MiB.
double peakRssMiB()
{
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return -1;
    return double(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
#else
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return -1;
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
#endif
}

// A photo-like picture: gradients, shapes and fine grain, so that the JPEG is about as large and as
// slow to decode as a camera's.
QImage makePicture(int index)
{
    QImage img(kPhotoSize, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, kPhotoSize.width(), kPhotoSize.height());
    g.setColorAt(0, QColor::fromHsv((index * 37) % 360, 120, 230));
    g.setColorAt(1, QColor::fromHsv((index * 37 + 120) % 360, 160, 90));
    p.fillRect(img.rect(), g);
    QRandomGenerator rng(quint32(index + 1));
    for (int i = 0; i < 400; ++i) {
        const QColor c = QColor::fromHsv(int(rng.bounded(360)), 150, 200, 120);
        p.setBrush(c);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(rng.bounded(kPhotoSize.width()), rng.bounded(kPhotoSize.height())),
                      rng.bounded(20, 600), rng.bounded(20, 600));
    }
    p.fillRect(QRect(0, 0, kPhotoSize.width() / 4, kPhotoSize.height() / 4), Qt::red);
    p.end();
    for (int y = 0; y < img.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int n = int(rng.bounded(24)) - 12;
            const QRgb v = line[x];
            line[x] = qRgb(qBound(0, qRed(v) + n, 255), qBound(0, qGreen(v) + n, 255), qBound(0, qBlue(v) + n, 255));
        }
    }
    return img;
}

// The EXIF block of a small test JPEG with the orientation, to splice behind another JPEG's start.
QByteArray exifBlock(int orientation)
{
    const QByteArray small = testsupport::jpegWithOrientation(QSize(8, 8), orientation);
    const int length = (quint8(small.at(4)) << 8) | quint8(small.at(5));
    return small.mid(2, 2 + length);
}

bool generate(const QString &dir, int count)
{
    QDir().mkpath(dir);
    for (int i = 0; i < count; ++i) {
        QByteArray jpeg;
        QBuffer buf(&jpeg);
        buf.open(QIODevice::WriteOnly);
        if (!makePicture(i).save(&buf, "JPG", 90))
            return false;
        const int orientation = i % 2 ? 6 : 1;
        jpeg = jpeg.left(2) + exifBlock(orientation) + jpeg.mid(2);
        QFile f(QDir(dir).filePath(QStringLiteral("IMG_%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0'))));
        if (!f.open(QIODevice::WriteOnly) || f.write(jpeg) != jpeg.size())
            return false;
        std::printf("made %s (%lld KiB, orientation %d)\n", qPrintable(f.fileName()),
                    static_cast<long long>(jpeg.size() / 1024), orientation);
        std::fflush(stdout);
    }
    return true;
}

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
