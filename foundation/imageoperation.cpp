#include "imageoperation.h"

#include "fileoperation.h"
#include "folderindex.h"
#include "logging.h"
#include "platform.h"

#include <QBuffer>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QTransform>

namespace {

const int kScanWords = 999;     // two-byte words looked at from the file start
const quint16 kOrientationTag = 0x0112;
const quint16 kTypeShort = 3;
const int kPreviewSide = 1000;  // side of the finished photos' preview in "成品缩略图/"
const int kFrameWidth = 2;

quint16 read16(const uchar *p, bool bigEndian)
{
    return bigEndian ? quint16((p[0] << 8) | p[1]) : quint16((p[1] << 8) | p[0]);
}

quint32 read32(const uchar *p, bool bigEndian)
{
    return bigEndian ? (quint32(read16(p, true)) << 16) | read16(p + 2, true)
                     : (quint32(read16(p + 2, false)) << 16) | read16(p, false);
}

// The orientation entry of a TIFF block's first image directory (the EXIF payload after "Exif\0\0");
// 0 when there is none or the block is damaged.
int tiffOrientation(const QByteArray &tiff)
{
    const uchar *b = reinterpret_cast<const uchar *>(tiff.constData());
    const qint64 size = tiff.size();
    if (size < 8)
        return 0;
    bool bigEndian;
    if (b[0] == 'I' && b[1] == 'I')
        bigEndian = false;
    else if (b[0] == 'M' && b[1] == 'M')
        bigEndian = true;
    else
        return 0;
    if (read16(b + 2, bigEndian) != 42)
        return 0;
    const qint64 ifd = read32(b + 4, bigEndian);
    if (ifd < 8 || ifd + 2 > size)
        return 0;
    const int entries = read16(b + ifd, bigEndian);
    for (int i = 0; i < entries; ++i) {
        const qint64 at = ifd + 2 + qint64(i) * 12;
        if (at + 12 > size)
            return 0;
        if (read16(b + at, bigEndian) != kOrientationTag)
            continue;
        const quint16 value = read16(b + at + 8, bigEndian);
        if (read16(b + at + 2, bigEndian) == kTypeShort && read32(b + at + 4, bigEndian) == 1 && value >= 1
            && value <= 8)
            return value;
        return 0;
    }
    return 0;
}

// Walks a JPEG file's segments up to the image data and reads the orientation of its EXIF segment,
// wherever that lies (ICC profiles, XMP or a large APP0 may come first). 1 when there is none.
int jpegOrientation(QFile &file)
{
    const QByteArray exifHeader("Exif\0\0", 6);
    file.seek(2); // past the start-of-image marker
    for (;;) {
        char c;
        if (!file.getChar(&c))
            return 1;
        if (uchar(c) != 0xFF)
            return 1; // not a marker: the structure is damaged
        uchar marker;
        do { // fill bytes may repeat 0xFF
            if (!file.getChar(&c))
                return 1;
            marker = uchar(c);
        } while (marker == 0xFF);
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // no length follows
        if (marker == 0xDA || marker == 0xD9)
            return 1; // the image data (or its end) comes before any EXIF segment
        const QByteArray lengthBytes = file.read(2);
        if (lengthBytes.size() != 2)
            return 1;
        const int length = read16(reinterpret_cast<const uchar *>(lengthBytes.constData()), true);
        if (length < 2)
            return 1;
        if (marker == 0xE1) {
            const QByteArray payload = file.read(length - 2);
            if (payload.startsWith(exifHeader)) {
                const int value = tiffOrientation(payload.mid(exifHeader.size()));
                return value ? value : 1;
            }
            continue; // XMP or another APP1
        }
        if (!file.seek(file.pos() + length - 2))
            return 1;
    }
}

// Reads a picture by its content, scaled while it is decoded to fit side x side (proportions kept, as
// QImage::scaled would fit it); *storedSize gets its size as stored. A null image when it cannot be read.
QImage readFitting(const QString &path, int side, QSize *storedSize)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QSize stored = reader.size();
    if (storedSize)
        *storedSize = stored;
    if (!stored.isValid())
        return QImage();
    reader.setScaledSize(stored.scaled(side, side, Qt::KeepAspectRatio));
    return reader.read();
}

// The key under which a preview records the photo it was made from.
QString photoStampKey()
{
    return QStringLiteral("photo");
}

// A photo's size and modification time, as its preview records them ("" for no photo).
QString photoStamp(const QString &photo)
{
    if (photo.isEmpty())
        return QString();
    const QFileInfo info(photo);
    return QString::number(info.size()) + QLatin1Char(' ') + QString::number(info.lastModified().toMSecsSinceEpoch());
}

// Whether a photo's preview can stand for it: made from the photo as it is now (when the photo is there) and
// whole. A copy keeps its source's modification time, so a photo replaced by a file saved earlier would
// look older than its preview; what a copy cannot keep decides instead. On Linux that is the photo's change
// time, set by every write and rename: the preview must have been written after it. One written at the same
// time, as the file system counts it (a clock tick, on some shares a whole second), may have been made from
// the photo before the change, so it is made again. Windows keeps no such
// time: there the photo's size and modification time, recorded in the preview when it was made, must
// still be the photo's (a preview without the record is made again).
bool previewIsCurrent(const QString &preview, const QString &photo)
{
    if (!photo.isEmpty()) {
#ifdef Q_OS_WIN
        QImageReader reader(preview);
        reader.setDecideFormatFromContent(true);
        if (reader.text(photoStampKey()) != photoStamp(photo))
            return false;
#else
        if (QFileInfo(preview).lastModified() <= QFileInfo(photo).metadataChangeTime())
            return false;
#endif
    }
    return ImageOperation::isReadablePicture(preview);
}

// Whether the bytes of the device from `from` up to `to` hold the end marker FF D9 (one starting before
// `to`). Read in pieces: the memory used does not grow with the file.
bool holdsEndMarker(QIODevice &device, qint64 from, qint64 to)
{
    constexpr qint64 kPiece = 1 << 20;
    if (from >= to || !device.seek(from))
        return false;
    const QByteArray marker = QByteArray::fromRawData("\xFF\xD9", 2);
    QByteArray carried; // the last byte of the previous piece: a marker may straddle two pieces
    for (qint64 at = from; at < to;) {
        const QByteArray piece = device.read(qMin(kPiece, to + 1 - at));
        if (piece.isEmpty())
            return false;
        if ((carried + piece).indexOf(marker) >= 0)
            return true;
        carried = piece.right(1);
        at += piece.size();
    }
    return false;
}

// Reads a device from a position on, a piece at a time, and only ever forward: a run of bytes is passed
// over in the piece already read, a longer step is one seek ahead.
class ForwardReader
{
public:
    ForwardReader(QIODevice &device, qint64 from) : m_device(device), m_pos(from), m_ok(device.seek(from)) {}

    // The position of the next byte.
    qint64 pos() const { return m_pos; }

    // The next byte; false at the end of the data or when it cannot be read.
    bool next(uchar *c)
    {
        if (m_at == m_piece.size() && !fill())
            return false;
        *c = uchar(m_piece.at(m_at++));
        ++m_pos;
        return true;
    }

    // The next byte that is not 0xFF, passing over a run of them; false when the data ends first.
    bool nextNotFill(uchar *c)
    {
        for (;;) {
            if (m_at == m_piece.size() && !fill())
                return false;
            const char *begin = m_piece.constData() + m_at;
            const char *end = m_piece.constData() + m_piece.size();
            const char *p = begin;
            while (p != end && uchar(*p) == 0xFF)
                ++p;
            m_at += int(p - begin);
            m_pos += p - begin;
            if (p != end)
                return next(c);
        }
    }

    // Passes over n bytes.
    bool skip(qint64 n)
    {
        if (n <= m_piece.size() - m_at) {
            m_at += int(n);
            m_pos += n;
            return true;
        }
        m_pos += n;
        m_piece.clear();
        m_at = 0;
        m_ok = m_pos <= m_device.size() && m_device.seek(m_pos);
        return m_ok;
    }

private:
    bool fill()
    {
        constexpr qint64 kPiece = 64 * 1024;
        if (!m_ok)
            return false;
        m_piece = m_device.read(kPiece);
        m_at = 0;
        return !m_piece.isEmpty();
    }

    QIODevice &m_device;
    qint64 m_pos;
    bool m_ok;
    QByteArray m_piece;
    int m_at = 0;
};

// Whether JPEG data runs on to the end of its image. A file cut short (a card pulled out too early, a copy
// that stopped) decodes without an error, its missing part grey. The segments before the first scan
// give their lengths; the end marker must follow that scan, where the coded data cannot hold one. It is
// looked for in the last bytes first, where a whole photo has it, then in the rest. Data not laid out as
// expected is left to the decoder. The segments are read forward only: fill bytes (any run of 0xFF before
// a marker) and markers without a length cost no step back, however many there are.
bool jpegReachesItsEnd(QIODevice &device)
{
    constexpr qint64 kTail = 64 * 1024;
    const qint64 n = device.size();
    // A marker, or what stands in for one, counts only with four bytes from its position on in the data.
    auto room = [n](qint64 at) { return at + 4 <= n; };
    ForwardReader in(device, 2);
    for (;;) {
        uchar c;
        if (!in.next(&c))
            return false; // it ends before its first scan
        if (c != 0xFF)
            return room(in.pos() - 1);
        uchar code;
        if (!in.nextNotFill(&code))
            return false;
        const qint64 at = in.pos() - 2; // the last 0xFF before the marker's code
        if (!room(at))
            return false;
        if (code == 0xDA) {
            const qint64 tail = qMax(at + 2, n - kTail);
            return holdsEndMarker(device, tail, n) || holdsEndMarker(device, at + 2, tail);
        }
        if (code == 0xD9)
            return true;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7))
            continue;
        uchar high, low;
        if (!in.next(&high) || !in.next(&low))
            return false;
        const int length = (high << 8) | low;
        if (length < 2) // the next marker would begin inside this length, which is no 0xFF
            return room(at + 2 + length);
        if (!in.skip(length - 2))
            return false;
    }
}

bool isJpeg(QIODevice &device)
{
    const QByteArray start = device.peek(3);
    return start.size() == 3 && uchar(start.at(0)) == 0xFF && uchar(start.at(1)) == 0xD8 && uchar(start.at(2)) == 0xFF;
}

} // namespace

QColor ImageOperation::markColor()
{
    return QColor(32, 45, 98);
}

QColor ImageOperation::frameColor()
{
    return QColor(Qt::gray);
}

bool ImageOperation::jpegIsWhole(const QByteArray &data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return !isJpeg(buffer) || jpegReachesItsEnd(buffer);
}

bool ImageOperation::isReadablePicture(const QString &path)
{
    static const QStringList pictures{QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"),
                                      QStringLiteral("bmp"), QStringLiteral("tif"), QStringLiteral("tiff")};
    if (!pictures.contains(QFileInfo(path).suffix().toLower()))
        return true;
    // Read from the file as far as needed: the header by the image reader, a JPEG's segments and its end.
    QFile file(Platform::localPath(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return false;
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (!reader.size().isValid() || !file.seek(0))
        return false;
    return !isJpeg(file) || jpegReachesItsEnd(file);
}

QImage ImageOperation::loadImage(const QString &path)
{
    if (path.isEmpty())
        return QImage();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray bytes = file.readAll();
    file.close();
    return QImage::fromData(bytes);
}

int ImageOperation::getDirection(const QString &path)
{
    if (path.isEmpty())
        return 1;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray start = file.peek(2);
    if (start.size() == 2 && uchar(start[0]) == 0xFF && uchar(start[1]) == 0xD8)
        return jpegOrientation(file);

    // Other files: a scan of the first words. The tag, its type (2 bytes), count (4) and value (2) of the
    // last word looked at.
    const QByteArray data = file.read(kScanWords * 2 + 8);
    file.close();
    const uchar *bytes = reinterpret_cast<const uchar *>(data.constData());
    const int size = data.size();

    for (int i = 0; i < kScanWords; ++i) {
        const int pos = i * 2;
        if (pos + 2 > size)
            break;
        bool bigEndian;
        if (read16(bytes + pos, false) == kOrientationTag)
            bigEndian = false; // Intel: 12 01
        else if (read16(bytes + pos, true) == kOrientationTag)
            bigEndian = true;  // Motorola: 01 12
        else
            continue;
        if (pos + 10 > size)
            break;
        // Only a well-formed entry counts: one SHORT holding a valid orientation. Anything else is a
        // chance match in other data, and the scan goes on.
        const quint16 type = read16(bytes + pos + 2, bigEndian);
        const quint32 count = read32(bytes + pos + 4, bigEndian);
        const quint16 value = read16(bytes + pos + 8, bigEndian);
        if (type == kTypeShort && count == 1 && value >= 1 && value <= 8)
            return value;
    }
    return 1;
}

QImage ImageOperation::rotateImage(const QImage &image, int orientation)
{
    // Turn first, then mirror: 2 and 4 only mirror, 5 and 7 turn a quarter and then mirror left-right.
    qreal angle = 0;
    bool leftRight = false;
    bool topBottom = false;
    switch (orientation) {
    case 2:
        leftRight = true;
        break;
    case 3:
        angle = 180;
        break;
    case 4:
        topBottom = true;
        break;
    case 5:
        angle = 90; // clockwise on screen
        leftRight = true;
        break;
    case 6:
        angle = 90;
        break;
    case 7:
        angle = -90;
        leftRight = true;
        break;
    case 8:
        angle = -90;
        break;
    default:
        return image;
    }
    if (image.isNull())
        return image;
    QImage upright = image;
    if (angle != 0) {
        QTransform turn;
        turn.rotate(angle);
        upright = upright.transformed(turn, Qt::SmoothTransformation);
    }
    if (leftRight || topBottom)
        upright = upright.mirrored(leftRight, topBottom);
    return upright;
}

QImage ImageOperation::fitImageToCanvas(const QImage &image)
{
    if (image.isNull())
        return image;
    const int side = qMax(image.width(), image.height());
    QImage canvas(side, side, QImage::Format_RGB32);
    canvas.fill(Qt::white);

    QPainter painter(&canvas);
    const int inner = side - kFrameWidth;
    if (inner > 0) {
        const QImage scaled = image.scaled(inner, inner, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawImage((side - scaled.width()) / 2, (side - scaled.height()) / 2, scaled);
    }
    // The frame goes on last so that it shows whole on every side.
    const int w = qMin(kFrameWidth, side);
    painter.fillRect(0, 0, side, w, frameColor());
    painter.fillRect(0, side - w, side, w, frameColor());
    painter.fillRect(0, 0, w, side, frameColor());
    painter.fillRect(side - w, 0, w, side, frameColor());
    painter.end();
    return canvas;
}

QImage ImageOperation::webViewThumbImage(const Image &image, int size, const QString &finishedDir,
                                         const QString &previewDir, const FolderIndex *previews,
                                         const FolderIndex *finished)
{
    if (image.getType() != PHOTOTYPE_FINE)
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "出错：网页中的照片不是来自成品！";
    const QString name = image.getFileName();
    if (!isSafeName(name) || size <= 0) // the preview is written under that name
        return QImage();

    // (1) The 1000-pixel preview, kept in "成品缩略图/" for next time. One is used only when whole and made
    // from its photo as it is now; otherwise it is made again, and only from a whole photo. Both are decoded
    // straight at the size they are used at (a JPEG decoder scales while it decodes).
    const QString &thumbDir = previewDir;
    const QString &fineDir = finishedDir;
    QImage picture;
    QSize pictureSize; // the size of the picture the mark's rectangle belongs to
    const QString preview = previews ? previews->filePath(name) : Platform::findFileNoCase(thumbDir, name);
    const QString source = finished ? finished->filePath(name) : Platform::findFileNoCase(fineDir, name);
    if (!preview.isEmpty() && previewIsCurrent(preview, source))
        picture = readFitting(preview, size, &pictureSize);
    if (picture.isNull()) {
        if (!preview.isEmpty())
            qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "preview not whole or not of its photo as it is, made again:" << preview;
        const QString stamp = photoStamp(source); // as it is before it is read
        QImage previewPicture = source.isEmpty() || !isReadablePicture(source)
                                    ? QImage()
                                    : readFitting(source, kPreviewSide, nullptr);
        if (previewPicture.isNull()) {
            qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "finished photo missing or not whole:" << fineDir + name;
            return QImage();
        }
        // Written whole or not at all, with the record of its photo; the thumbnail is made all the same.
        previewPicture.setText(photoStampKey(), stamp);
        const QString previewPath = preview.isEmpty() ? thumbDir + name : preview;
        const QByteArray format = QFileInfo(previewPath).suffix().toLower().toLatin1();
        if (!Platform::writeIntoPlace(previewPath, [&](QIODevice &file) {
                return previewPicture.save(&file, format.constData());
            }))
            qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "preview not saved:" << previewPath;
        pictureSize = previewPicture.size();
        picture = previewPicture.scaled(size, size, Qt::KeepAspectRatio, Qt::FastTransformation);
    }

    // (2) At the thumbnail's size now.
    const int oldWidth = pictureSize.width();
    const int oldHeight = pictureSize.height();
    picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);

    // (3) The mark, carried over to the scaled picture.
    const QRect rect = image.getRect();
    if (!rect.isNull() && oldWidth > 0 && oldHeight > 0) {
        const double rx = double(picture.width()) / oldWidth;
        const double ry = double(picture.height()) / oldHeight;
        const QRect mark(int(rect.left() * rx), int(rect.top() * ry), int(rect.width() * rx),
                         int(rect.height() * ry));
        QPainter painter(&picture);
        painter.setPen(QPen(markColor(), 2));
        painter.setBrush(Qt::NoBrush);
        if (image.isMark())
            painter.drawEllipse(mark);
        else
            painter.drawRect(mark);
        painter.end();
    }

    // (4) Centred on a framed white square.
    return fitImageToCanvas(picture);
}

QPixmap ImageOperation::getWebViewThumb(const Image &image, int size, const QString &finishedDir,
                                        const QString &previewDir)
{
    const QImage thumb = webViewThumbImage(image, size, finishedDir, previewDir);
    return thumb.isNull() ? QPixmap() : QPixmap::fromImage(thumb);
}

QImage ImageOperation::makeBarcodeLabel(const CodeImageInfo &info)
{
    QImage code = loadImage(info.imagePath);
    if (code.isNull() && info.imagePath.contains(QLatin1Char('\\')))
        code = loadImage(Platform::localPath(info.imagePath));
    if (code.isNull())
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "barcode picture cannot be read:" << info.imagePath;
    return makeBarcodeLabel(info, code);
}

QImage ImageOperation::makeBarcodeLabel(const CodeImageInfo &info, const QImage &picture)
{
    QImage label(218, 150, QImage::Format_RGB32);
    label.fill(Qt::white);

    QPainter painter(&label);
    painter.setFont(QFont());
    painter.setPen(QPen(Qt::black, 2));
    painter.drawText(QRect(5, 0, 218, 20), Qt::AlignLeft | Qt::AlignTop, info.topLine1);
    painter.drawText(QRect(5, 20, 218, 20), Qt::AlignLeft | Qt::AlignTop, info.topLine2);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawText(QRect(0, 110, 218, 20), Qt::AlignCenter, info.bottomLine1);
    painter.drawText(QRect(0, 130, 218, 20), Qt::AlignCenter, info.bottomLine2);
    if (!picture.isNull())
        painter.drawImage(QRect(5, 40, 208, 70), picture, QRect(0, 0, picture.width(), 74));
    painter.end();
    return label;
}
