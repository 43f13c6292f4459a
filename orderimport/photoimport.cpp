#include "photoimport.h"

#include "fileoperation.h"
#include "imageoperation.h"
#include "logging.h"
#include "orderfolders.h"
#include "platform.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSemaphore>

#include <mutex>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace OrderFolders;

namespace {

// Thumbnail boxes, largest first; each smaller one is scaled from the one before.
const int kBox2250 = 2250;
const int kBox1000 = 1000;
const int kBox200 = 200;

QSize fitBox(const QSize &size, int box)
{
    return size.scaled(box, box, Qt::KeepAspectRatio);
}

QImage fitImage(const QImage &image, int box)
{
    return image.scaled(box, box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Writes the image to the target, encoded as the target's suffix says, replacing a file of that name
// only once the new one is complete.
bool saveImage(const QImage &image, const QString &target, int quality, QString *why)
{
    if (Platform::copyShouldFail(target)) {
        *why = QStringLiteral("写入失败");
        return false;
    }
    const QByteArray format = QFileInfo(target).suffix().toLower().toLatin1();
    static const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    if (format.isEmpty() || !writable.contains(format)) {
        *why = QStringLiteral("不支持的图片格式");
        return false;
    }
    // No sync to disk per file: on a studio share that would be a round trip for every thumbnail.
    why->clear();
    const bool written = Platform::writeIntoPlace(fsPath(target), [&](QIODevice &file) {
        QImageWriter writer(&file, format);
        writer.setQuality(quality);
        if (writer.write(image))
            return true;
        *why = writer.errorString();
        return false;
    });
    if (!written && why->isEmpty())
        *why = QStringLiteral("写入失败");
    return written;
}

// Folders of one photo import type, relative to the order folder.
struct PhotoFolders
{
    QString main;
    QString thumb2250;
    QString thumb1000;
    QString thumb200;
};

PhotoFolders photoFolders(ImportTypeEnum type)
{
    // The thumbnail folders as the order folder has them: photos as shot, finished photos, designs.
    const QList<QStringList> groups = thumbnailGroups();
    switch (type) {
    case ImportOriginPhotos:
        return {QStringLiteral("照片/"), groups[0][2], groups[0][0], groups[0][1]};
    case ImportDesigns:
        return {QStringLiteral("设计/"), groups[2][2], groups[2][0], groups[2][1]};
    default:
        return {QStringLiteral("成品/"), groups[1][2], groups[1][0], groups[1][1]};
    }
}

// Holds part of the order's pixel budget while a photo is decoded and written.
class BudgetHold
{
public:
    explicit BudgetHold(QSemaphore *budget) : m_budget(budget) {}
    ~BudgetHold()
    {
        if (m_budget && m_units)
            m_budget->release(m_units);
    }
    // Waits until the bytes fit into the budget; a photo larger than all of it waits for all of it.
    void acquire(qint64 bytes)
    {
        if (!m_budget || m_units)
            return;
        const qint64 mib = (bytes >> 20) + 1;
        m_units = int(qBound<qint64>(1, mib, kPhotoPixelBudgetMiB));
        m_budget->acquire(m_units);
    }
    BudgetHold(const BudgetHold &) = delete;
    BudgetHold &operator=(const BudgetHold &) = delete;

private:
    QSemaphore *m_budget;
    int m_units = 0;
};

// How much the JPEG decoder reduces a photo when asked for the given smaller size (1, 2, 4 or 8).
int reducedDecodeFactor(const QSize &full, const QSize &wanted)
{
    const int ratio = qMin(full.width() / qMax(1, wanted.width()), full.height() / qMax(1, wanted.height()));
    return ratio >= 8 ? 8 : ratio >= 4 ? 4 : ratio >= 2 ? 2 : 1;
}

// The photo as ImageOperation::rotateImage shows it for its orientation (turned and mirrored as the
// value says), as 8-bit RGB. Works tile by tile so both images stay in cache.
QImage turnedRgb888(const QImage &src, int orientation)
{
    const int w = src.width();
    const int h = src.height();
    const bool quarter = orientation >= 5 && orientation <= 8;
    QImage dst(quarter ? h : w, quarter ? w : h, QImage::Format_RGB888);
    if (dst.isNull())
        return dst;
    uchar *const out = dst.bits();
    const qsizetype outLine = dst.bytesPerLine();
    const int tile = 64;
    for (int ty = 0; ty < h; ty += tile) {
        const int yEnd = qMin(h, ty + tile);
        for (int tx = 0; tx < w; tx += tile) {
            const int xEnd = qMin(w, tx + tile);
            for (int y = ty; y < yEnd; ++y) {
                const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
                for (int x = tx; x < xEnd; ++x) {
                    int dx = x;
                    int dy = y;
                    switch (orientation) {
                    case 2:
                        dx = w - 1 - x;
                        break;
                    case 4:
                        dy = h - 1 - y;
                        break;
                    case 5:
                        dx = y;
                        dy = x;
                        break;
                    case 7:
                        dx = h - 1 - y;
                        dy = w - 1 - x;
                        break;
                    case 6:
                        dx = h - 1 - y;
                        dy = x;
                        break;
                    case 8:
                        dx = y;
                        dy = w - 1 - x;
                        break;
                    case 3:
                        dx = w - 1 - x;
                        dy = h - 1 - y;
                        break;
                    default:
                        break;
                    }
                    uchar *p = out + dy * outLine + dx * 3;
                    const QRgb v = line[x];
                    p[0] = uchar(qRed(v));
                    p[1] = uchar(qGreen(v));
                    p[2] = uchar(qBlue(v));
                }
            }
        }
    }
    return dst;
}

} // namespace

QString unreadablePhotosText(const QStringList &names)
{
    return names.isEmpty() ? QString() : QStringLiteral("无法读取的照片：") + names.join(QStringLiteral("、"));
}

// Imports one photo: backup copy, upright main file, three thumbnails. Returns the failures.
QStringList importOnePhoto(const PhotoTask &task, QSemaphore *budget, bool *unreadable)
{
    QStringList failures;
    if (unreadable)
        *unreadable = false;
    const QString name = shortName(task.filePath);
    auto fail = [&](const QString &what) { failures << name + QStringLiteral("：") + what; };

    const PhotoFolders folders = photoFolders(task.type);
    QStringList mainTargets{task.orderPath + folders.main + task.targetName};
    if (task.alsoFinished)
        mainTargets << task.orderPath + QStringLiteral("成品/") + task.targetName;
    const QString t2250 = task.orderPath + folders.thumb2250 + task.targetName;
    const QString t1000 = task.orderPath + folders.thumb1000 + task.targetName;
    const QString t200 = task.orderPath + folders.thumb200 + task.targetName;

    QFile source(fsPath(task.filePath));
    if (!source.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("无法读取源文件"));
        return failures;
    }
    QByteArray bytes = source.readAll();
    source.close();

    // The backup keeps the photo as chosen; a name taken there gets a numbered free name.
    if (task.type == ImportOriginPhotos) {
        const QString backup = task.orderBakPath + QStringLiteral("照片/") + task.targetName;
        if (!FileOperation::copyFile(task.filePath, backup, false))
            fail(QStringLiteral("备份复制失败"));
    }

    const int orientation = ImageOperation::getDirection(fsPath(task.filePath));
    const bool turn = orientation != 1;

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    reader.setDecideFormatFromContent(true);
    const QSize fullSize = reader.size();

    QImage thumb; // the 2250 thumbnail, upright
    bool decoded = false;
    // A JPEG cut short is not decoded: its reduced copies would show a grey part as the photo.
    const bool cutShort = !ImageOperation::jpegIsWhole(bytes);
    BudgetHold hold(budget);
    if (!turn || cutShort) {
        for (const QString &target : mainTargets) {
            if (!FileOperation::copyFile(task.filePath, target, true))
                fail(QStringLiteral("复制失败 ") + target);
        }
    }
    if (cutShort) {
        // nothing to decode
    } else if (!turn && fullSize.isValid() && fitBox(fullSize, kBox2250).width() < fullSize.width()
        && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // The main file is a byte copy: only the 2250 size is needed, which the JPEG decoder makes
        // from a reduced decode.
        const QSize size2250 = fitBox(fullSize, kBox2250);
        const int denom = reducedDecodeFactor(fullSize, size2250);
        hold.acquire(qint64(fullSize.width() / denom) * (fullSize.height() / denom) * 4
                     + qint64(size2250.width()) * size2250.height() * 4);
        reader.setScaledSize(size2250);
        thumb = reader.read();
        if (!thumb.isNull() && thumb.size() != size2250)
            thumb = thumb.scaled(size2250, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        decoded = !thumb.isNull();
    } else {
        // Decoded in full once. A turned photo is written from a copy without alpha in 3 bytes a pixel
        // (which also encodes faster) when it has no alpha to keep.
        const bool compact = reader.imageFormat() == QImage::Format_RGB32;
        const qint64 pixels = fullSize.isValid() ? qint64(fullSize.width()) * fullSize.height() : qint64(6000) * 4000;
        hold.acquire(pixels * (turn ? (compact ? 7 : 8) : 4) + qint64(kBox2250) * kBox2250 * 4);
        QImage full = reader.read();
        bytes.clear();
        if (!full.isNull()) {
            decoded = true;
            // The square box makes "scale, then turn" give the same size as "turn, then scale".
            thumb = ImageOperation::rotateImage(fitImage(full, kBox2250), orientation);
            if (turn) {
                const QImage upright = full.format() == QImage::Format_RGB32
                                           ? turnedRgb888(full, orientation)
                                           : ImageOperation::rotateImage(full, orientation);
                full = QImage();
                for (const QString &target : mainTargets) {
                    QString why;
                    if (!saveImage(upright, target, 100, &why))
                        fail(QStringLiteral("保存失败 ") + target + QStringLiteral("（") + why + QStringLiteral("）"));
                }
            }
        }
    }
    bytes.clear();

    if (!decoded) {
        // Not a photo the program can read: the file is kept as it is, turned or not, so nothing is lost,
        // but no reduced copy is made of it, and reduced copies of an earlier photo of that name go.
        if (turn && !cutShort) {
            for (const QString &target : mainTargets) {
                if (!FileOperation::copyFile(task.filePath, target, true))
                    fail(QStringLiteral("复制失败 ") + target);
            }
        }
        for (const QString &target : {t2250, t1000, t200})
            QFile::remove(fsPath(target));
        if (unreadable)
            *unreadable = true;
        return failures;
    }

    QString why;
    if (!saveImage(thumb, t2250, -1, &why))
        fail(QStringLiteral("缩略图保存失败 ") + t2250 + QStringLiteral("（") + why + QStringLiteral("）"));
    thumb = fitImage(thumb, kBox1000);
    if (!saveImage(thumb, t1000, -1, &why))
        fail(QStringLiteral("缩略图保存失败 ") + t1000 + QStringLiteral("（") + why + QStringLiteral("）"));
    thumb = fitImage(thumb, kBox200);
    if (!saveImage(thumb, t200, -1, &why))
        fail(QStringLiteral("缩略图保存失败 ") + t200 + QStringLiteral("（") + why + QStringLiteral("）"));
    return failures;
}

// glibc serves a freed block of up to 32 MiB from then on out of its per-thread arenas, where image
// buffers freed by one pool thread stay reserved for that thread: the process would keep several photos'
// worth of memory per thread. A fixed threshold sends every large buffer back to the system when it is
// freed. (The Windows heap returns large blocks by itself.)
void keepLargeBuffersOutOfArenas()
{
#if defined(Q_OS_LINUX) && defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024); });
#endif
}
