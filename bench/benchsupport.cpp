#include "benchsupport.h"

#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace bench {

const QSize kPhotoSize(6000, 4000);

QStringList jpegsIn(const QString &dir)
{
    QStringList files;
    for (const QString &name : QDir(dir).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
        files << QDir(dir).filePath(name);
    return files;
}

bool addOrderFillers(const QStringList &folders, int from, int count)
{
    for (const QString &folder : folders) {
        QDir().mkpath(folder);
        for (int i = from; i < from + count; ++i) {
            QFile file(QDir(folder).filePath(QStringLiteral("F%1.jpg").arg(i, 5, 10, QLatin1Char('0'))));
            if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(5000000) + qint64(i) * 4099))
                return false;
        }
    }
    return true;
}

void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

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

namespace {

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

} // namespace

qint64 padToOneSize(const QStringList &files)
{
    qint64 largest = 0;
    for (const QString &path : files)
        largest = qMax(largest, QFileInfo(path).size());
    const qint64 size = largest + 4096;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        QByteArray jpeg = file.readAll();
        file.close();
        QByteArray comments;
        qint64 missing = size - jpeg.size();
        while (missing > 0) {
            // a segment of 4 bytes at least, 65537 at most; what is left never falls under 4
            qint64 take = qMin<qint64>(missing, 65537);
            if (missing - take > 0 && missing - take < 4)
                take -= 4;
            const int length = int(take - 2);
            comments += QByteArray("\xff\xfe", 2) + char(length >> 8) + char(length & 0xff) + QByteArray(length - 2, 'c');
            missing -= take;
        }
        // behind the EXIF block, which readers look for right behind the start
        int at = 2;
        if (jpeg.size() > 6 && quint8(jpeg.at(2)) == 0xff && quint8(jpeg.at(3)) == 0xe1)
            at = 4 + ((quint8(jpeg.at(4)) << 8) | quint8(jpeg.at(5)));
        jpeg.insert(at, comments);
        if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size())
            return -1;
    }
    return size;
}

bool addSameSizeFillers(const QStringList &folders, qint64 size, int count)
{
    for (const QString &folder : folders) {
        QDir().mkpath(folder);
        for (int i = 0; i < count; ++i) {
            QFile file(QDir(folder).filePath(QStringLiteral("S%1.jpg").arg(i, 5, 10, QLatin1Char('0'))));
            const QByteArray head = QByteArray("\xff\xd8", 2) + QByteArray::number(i).rightJustified(16, '0');
            if (!file.open(QIODevice::WriteOnly) || file.write(head) != head.size() || !file.resize(size))
                return false;
        }
    }
    return true;
}

qint64 fillerSizeStep()
{
    return qEnvironmentVariableIntValue("TESSALY_BENCH_FILLER_STEP");
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

} // namespace bench
