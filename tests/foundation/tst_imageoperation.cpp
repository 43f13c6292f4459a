#include "imagedata.h"
#include "imageoperation.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "platform.h"
#include "testsupport.h"

using testsupport::put;

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>

namespace {

// The dark blue of a mark, told apart from the grey gradient and the red corner of the test photos.
bool isMarkBlue(QRgb c)
{
    return qBlue(c) > qRed(c) + 25 && qRed(c) < 140;
}

bool markNear(const QImage &img, int x, int y, int radius = 2)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (img.valid(x + dx, y + dy) && isMarkBlue(img.pixel(x + dx, y + dy)))
                return true;
    return false;
}

bool sameColour(QRgb a, QColor b, int tolerance = 12)
{
    return qAbs(qRed(a) - b.red()) <= tolerance && qAbs(qGreen(a) - b.green()) <= tolerance
        && qAbs(qBlue(a) - b.blue()) <= tolerance;
}

// One JPEG segment: marker, big-endian length, payload.
QByteArray segment(uchar marker, const QByteArray &payload)
{
    const int length = payload.size() + 2;
    return QByteArray(1, char(0xFF)) + char(marker) + char(length >> 8) + char(length & 0xff) + payload;
}

bool writeSolid(const QString &path, QSize size, QColor colour)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    return img.save(path);
}

} // namespace

class TestImageOperation : public QObject
{
    Q_OBJECT
private slots:
    void orientationIsFoundInBothByteOrders()
    {
        testsupport::TempRoots roots;
        for (bool motorola : {false, true}) {
            for (int orientation : {1, 3, 6, 8}) {
                const QString path = roots.path(QString("o%1%2.jpg").arg(orientation).arg(motorola));
                QVERIFY(testsupport::writeJpeg(path, QSize(64, 32), orientation, motorola));
                QCOMPARE(ImageOperation::getDirection(path), orientation);
            }
        }
        const QString plain = roots.path("plain.jpg");
        QVERIFY(testsupport::writeJpeg(plain, QSize(64, 32), 0));
        QCOMPARE(ImageOperation::getDirection(plain), 1);
        QCOMPARE(ImageOperation::getDirection(roots.path("missing.jpg")), 1);
        QCOMPARE(ImageOperation::getDirection(roots.path("")), 1); // a folder, not a file
    }

    void damagedTagsGiveUpright()
    {
        testsupport::TempRoots roots;
        const QByteArray jpeg = testsupport::jpegWithOrientation(QSize(64, 32), 6, false);
        const int tag = jpeg.indexOf(QByteArray("\x12\x01\x03\x00", 4));
        QVERIFY(tag > 0);

        // cut inside the entry: the value is not there
        QVERIFY(put(roots.path("cut.jpg"), jpeg.left(tag + 6)));
        QCOMPARE(ImageOperation::getDirection(roots.path("cut.jpg")), 1);
        QVERIFY(put(roots.path("empty.jpg"), QByteArray()));
        QCOMPARE(ImageOperation::getDirection(roots.path("empty.jpg")), 1);

        // a chance "12 01" before the real entry is passed over
        QByteArray noise("\xFF\xFE\x00\x08\x12\x01\x07\x00\x00\x00", 10);
        QVERIFY(put(roots.path("noise.jpg"), jpeg.left(2) + noise + jpeg.mid(2)));
        QCOMPARE(ImageOperation::getDirection(roots.path("noise.jpg")), 6);
    }

    void exifAfterOtherSegmentsIsFound_data()
    {
        // Segments that cameras and editors write before the EXIF segment, each longer than the first
        // two thousand bytes; the ICC profile carries a chance orientation entry of its own.
        const QByteArray icc = segment(0xE2, QByteArray("ICC_PROFILE\0\x01\x01", 14) + QByteArray(1200, 'p')
                                                 + QByteArray("\x12\x01\x03\x00\x01\x00\x00\x00\x03\x00", 10)
                                                 + QByteArray(2000, 'p'));
        const QByteArray xmp = segment(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/\0", 29)
                                                 + "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">" + QByteArray(2500, ' ')
                                                 + "</x:xmpmeta>");
        const QByteArray app0 = segment(0xE0, QByteArray("JFXX\0\x10", 6) + QByteArray(6000, 't'));
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("motorola");
        QTest::addColumn<int>("orientation");
        QTest::newRow("ICC and XMP, Intel") << icc + xmp << false << 6;
        QTest::newRow("ICC and XMP, Motorola") << icc + xmp << true << 8;
        QTest::newRow("large APP0, Motorola") << app0 << true << 5;
        QTest::newRow("comment and fill bytes, Intel") << QByteArray(3, char(0xFF)) + segment(0xFE, QByteArray(2400, 'x'))
                                                       << false << 3;
    }
    void exifAfterOtherSegmentsIsFound()
    {
        QFETCH(QByteArray, before);
        QFETCH(bool, motorola);
        QFETCH(int, orientation);
        testsupport::TempRoots roots;
        const QByteArray jpeg = testsupport::jpegWithOrientation(QSize(64, 32), orientation, motorola);
        const QString path = roots.path("late.jpg");
        QVERIFY(put(path, jpeg.left(2) + before + jpeg.mid(2)));
        QCOMPARE(ImageOperation::getDirection(path), orientation);
        QVERIFY(!QImage(path).isNull());
    }

    void orientationIsUndoneAsShown_data()
    {
        // A 8 x 4 picture in four quadrants: r(ed) top left, g(reen) top right, b(lue) bottom left,
        // y(ellow) bottom right. The result's corners, read top left, top right, bottom left, bottom right.
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QString>("corners");
        QTest::addColumn<bool>("quarter");
        QTest::newRow("0 none") << 0 << "rgby" << false;
        QTest::newRow("1 upright") << 1 << "rgby" << false;
        QTest::newRow("2 mirrored") << 2 << "gryb" << false;
        QTest::newRow("3 half turn") << 3 << "ybgr" << false;
        QTest::newRow("4 upside-down mirror") << 4 << "byrg" << false;
        QTest::newRow("5 transposed") << 5 << "rbgy" << true;
        QTest::newRow("6 clockwise") << 6 << "bryg" << true;
        QTest::newRow("7 transversed") << 7 << "ygbr" << true;
        QTest::newRow("8 counter-clockwise") << 8 << "gyrb" << true;
        QTest::newRow("9 out of range") << 9 << "rgby" << false;
    }
    void orientationIsUndoneAsShown()
    {
        QFETCH(int, orientation);
        QFETCH(QString, corners);
        QFETCH(bool, quarter);
        const QHash<QChar, QColor> colours{{'r', Qt::red}, {'g', Qt::green}, {'b', Qt::blue}, {'y', Qt::yellow}};
        QImage src(8, 4, QImage::Format_RGB32);
        QPainter p(&src);
        p.fillRect(0, 0, 4, 2, colours['r']);
        p.fillRect(4, 0, 4, 2, colours['g']);
        p.fillRect(0, 2, 4, 2, colours['b']);
        p.fillRect(4, 2, 4, 2, colours['y']);
        p.end();

        const QImage out = ImageOperation::rotateImage(src, orientation);
        QCOMPARE(out.size(), quarter ? QSize(4, 8) : QSize(8, 4));
        const int r = out.width() - 1, b = out.height() - 1;
        const QList<QPoint> at{{0, 0}, {r, 0}, {0, b}, {r, b}};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(sameColour(out.pixel(at[i]), colours[corners[i]], 0), qPrintable(QString("corner %1").arg(i)));
        QVERIFY(ImageOperation::rotateImage(QImage(), orientation).isNull());
    }

    void canvasIsAFramedWhiteSquareWithTheImageCentred()
    {
        QImage wide(100, 50, QImage::Format_RGB32);
        wide.fill(Qt::blue);
        const QImage c = ImageOperation::fitImageToCanvas(wide);
        QCOMPARE(c.size(), QSize(100, 100));
        const QColor frame = ImageOperation::frameColor();
        for (QPoint p : {QPoint(0, 0), QPoint(1, 1), QPoint(99, 99), QPoint(98, 50), QPoint(50, 1)})
            QVERIFY2(sameColour(c.pixel(p), frame, 0), qPrintable(QString("frame at %1,%2").arg(p.x()).arg(p.y())));
        QVERIFY(sameColour(c.pixel(50, 10), Qt::white, 0));  // above the image
        QVERIFY(sameColour(c.pixel(50, 89), Qt::white, 0));  // below it
        QVERIFY(sameColour(c.pixel(50, 50), Qt::blue));
        QVERIFY(sameColour(c.pixel(3, 30), Qt::blue));       // the image reaches the frame at the sides
        QVERIFY(sameColour(c.pixel(50, 30), Qt::blue));      // the top of a centred 49-pixel strip
        QVERIFY(sameColour(c.pixel(50, 23), Qt::white, 0));

        QImage tall(20, 60, QImage::Format_RGB32);
        tall.fill(Qt::blue);
        const QImage t = ImageOperation::fitImageToCanvas(tall);
        QCOMPARE(t.size(), QSize(60, 60));
        QVERIFY(sameColour(t.pixel(30, 30), Qt::blue));
        QVERIFY(sameColour(t.pixel(10, 30), Qt::white, 0));

        QVERIFY(ImageOperation::fitImageToCanvas(QImage()).isNull());
        QCOMPARE(ImageOperation::fitImageToCanvas(QImage(1, 2, QImage::Format_RGB32)).size(), QSize(2, 2));
    }

    void sheetThumbDrawsTheMarkAndKeepsThePreview()
    {
        testsupport::TempRoots roots;
        const QString root = roots.picRoot();
        QVERIFY(QDir(root).mkpath("成品"));
        const ImagePath order(root);
        const QString fine = order.getFinePath();
        const QString previews = order.getFineThumbPath();
        QVERIFY(testsupport::writeJpeg(root + "成品/a.jpg", QSize(1000, 1000), 0, false, Qt::white));

        // no preview folder: the thumbnail is still made, and no preview
        QCOMPARE(ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "a.jpg"), 88, fine, previews).size(),
                 QSize(88, 88));
        QVERIFY(!QFile::exists(root + "成品缩略图/a.jpg"));
        QVERIFY(QDir(root).mkpath("成品缩略图"));

        // 1000 px photo -> 88 px picture (x 0.088) -> 86 px on the canvas, one pixel in from the edge.
        Image rectImage(PHOTOTYPE_FINE, "a.jpg");
        rectImage.setRect(QRect(500, 500, 300, 300), false);
        const QImage r = ImageOperation::getWebViewThumb(rectImage, 88, fine, previews).toImage();
        QCOMPARE(r.size(), QSize(88, 88));
        QVERIFY(sameColour(r.pixel(0, 0), ImageOperation::frameColor(), 0));
        QVERIFY(markNear(r, 44, 44));   // the rectangle's corner
        QVERIFY(markNear(r, 44, 57));   // the middle of its left side
        QVERIFY(!markNear(r, 30, 30));

        Image ellipseImage = rectImage;
        ellipseImage.setRect(QRect(500, 500, 300, 300), true);
        const QImage e = ImageOperation::getWebViewThumb(ellipseImage, 88, fine, previews).toImage();
        QCOMPARE(e.size(), QSize(88, 88));
        QVERIFY(!markNear(e, 44, 44, 1)); // an ellipse leaves the corner of its box alone
        QVERIFY(markNear(e, 44, 57));

        // no crop information: no mark at all
        const QImage plain =
            ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "a.jpg"), 88, fine, previews).toImage();
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                QVERIFY(!isMarkBlue(plain.pixel(x, y)));

        // the preview was made once, at 1000 px
        const QImage preview(root + "成品缩略图/a.jpg");
        QCOMPARE(preview.size(), QSize(1000, 1000));

        // an existing preview is used as it is and not replaced
        QVERIFY(testsupport::writeJpeg(root + "成品/b.jpg", QSize(1200, 600), 0, false, Qt::white));
        QVERIFY(writeSolid(root + "成品缩略图/b.jpg", QSize(300, 300), Qt::green));
        // written after its photo as the file system counts time too, though it may be in the same clock tick
        const QDateTime bChanged = QFileInfo(root + "成品/b.jpg").metadataChangeTime();
        if (QFileInfo(root + "成品缩略图/b.jpg").lastModified() <= bChanged) {
            QFile later(root + "成品缩略图/b.jpg");
            QVERIFY(later.open(QIODevice::ReadWrite));
            QVERIFY(later.setFileTime(bChanged.addMSecs(1), QFileDevice::FileModificationTime));
        }
        const QImage g = ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "b.jpg"), 88, fine, previews).toImage();
        QVERIFY(sameColour(g.pixel(44, 44), Qt::green, 30));
        QCOMPARE(QImage(root + "成品缩略图/b.jpg").size(), QSize(300, 300));

        // a missing preview of a wide photo is made fitting 1000 x 1000
        QVERIFY(testsupport::writeJpeg(root + "成品/c.jpg", QSize(1200, 600), 0, false, Qt::white));
        const QImage c = ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "c.jpg"), 88, fine, previews).toImage();
        QCOMPARE(c.size(), QSize(88, 88));
        QCOMPARE(QImage(root + "成品缩略图/c.jpg").size(), QSize(1000, 500));
        QVERIFY(sameColour(c.pixel(44, 10), Qt::white, 0)); // above the centred wide picture

        // a photo whose extension is upper case on disk is still found
        QVERIFY(testsupport::writeJpeg(root + "成品/d.JPG", QSize(200, 100)));
        QVERIFY(!ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "d.jpg"), 88, fine, previews).isNull());

        // a preview cut short, or older than its photo, is made again from the photo
        const QString thumbs = root + "成品缩略图/";
        QVERIFY(testsupport::writeJpeg(root + "成品/e.jpg", QSize(1200, 600), 0, false, Qt::white));
        QVERIFY(writeSolid(thumbs + "e.jpg", QSize(300, 300), Qt::green));
        QVERIFY(put(thumbs + "e.jpg", testsupport::bytesOf(thumbs + "e.jpg").left(400)));
        QVERIFY(testsupport::writeJpeg(root + "成品/f.jpg", QSize(1200, 600), 0, false, Qt::white));
        QVERIFY(writeSolid(thumbs + "f.jpg", QSize(300, 300), Qt::green));
        QFile stale(thumbs + "f.jpg");
        QVERIFY(stale.open(QIODevice::ReadWrite));
        QVERIFY(stale.setFileTime(QFileInfo(root + "成品/f.jpg").lastModified().addSecs(-60), QFileDevice::FileModificationTime));
        stale.close();
        for (const char *name : {"e.jpg", "f.jpg"}) {
            const QImage t = ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, name), 88, fine, previews).toImage();
            QVERIFY2(!t.isNull() && !sameColour(t.pixel(44, 44), Qt::green, 60), name);
            QCOMPARE(QImage(thumbs + name).size(), QSize(1000, 500));
        }
        // a photo replaced by a copy of a file saved earlier (a copy keeps that older time), of other bytes:
        // its preview is made again
        QVERIFY(writeSolid(root + "成品/i.jpg", QSize(1200, 600), Qt::blue));
        QVERIFY(sameColour(ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "i.jpg"), 88, fine, previews).toImage().pixel(44, 44),
                           Qt::blue, 30));
        QVERIFY(sameColour(QImage(thumbs + "i.jpg").pixel(500, 250), Qt::blue, 30));
        const QString earlier = roots.path("earlier.jpg");
        QVERIFY(writeSolid(earlier, QSize(1200, 600), Qt::red));
        QFile saved(earlier);
        QVERIFY(saved.open(QIODevice::ReadWrite));
        const QDateTime savedAt = QFileInfo(thumbs + "i.jpg").lastModified().addDays(-1);
        QVERIFY(saved.setFileTime(savedAt, QFileDevice::FileModificationTime));
        saved.close();
        QVERIFY(Platform::copyIntoPlace(earlier, root + "成品/i.jpg", Platform::Placing::Replace));
        QCOMPARE(QFileInfo(root + "成品/i.jpg").lastModified(), savedAt);
        QVERIFY(sameColour(ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "i.jpg"), 88, fine, previews).toImage().pixel(44, 44),
                           Qt::red, 30));
        QVERIFY(sameColour(QImage(thumbs + "i.jpg").pixel(500, 250), Qt::red, 30));
        // a photo replaced at the time its preview was written, as the file system counts it (a second on some
        // shares): the preview may be of the photo before, and is made again
        const QString later = roots.path("later.jpg");
        QVERIFY(writeSolid(later, QSize(1200, 600), Qt::green));
        QVERIFY(Platform::copyIntoPlace(later, root + "成品/i.jpg", Platform::Placing::Replace));
        QFile sameTime(thumbs + "i.jpg");
        QVERIFY(sameTime.open(QIODevice::ReadWrite));
        QVERIFY(sameTime.setFileTime(QFileInfo(root + "成品/i.jpg").metadataChangeTime(), QFileDevice::FileModificationTime));
        sameTime.close();
        QVERIFY(sameColour(ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "i.jpg"), 88, fine, previews).toImage().pixel(44, 44),
                           Qt::green, 30));
        QVERIFY(sameColour(QImage(thumbs + "i.jpg").pixel(500, 250), Qt::green, 30));
        QVERIFY(Platform::copyIntoPlace(earlier, root + "成品/i.jpg", Platform::Placing::Replace));
        QVERIFY(sameColour(ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "i.jpg"), 88, fine, previews).toImage().pixel(44, 44),
                           Qt::red, 30));
        // the preview records the size and time of the photo it was made from (Windows judges it by them)
        QImageReader stamped(thumbs + "i.jpg");
        QCOMPARE(stamped.text("photo"), QString("%1 %2").arg(QFileInfo(earlier).size()).arg(savedAt.toMSecsSinceEpoch()));
        // no preview from a photo cut short: no thumbnail either
        QVERIFY(testsupport::writeJpeg(root + "成品/g.jpg", QSize(1200, 600)));
        QVERIFY(put(root + "成品/g.jpg", testsupport::bytesOf(root + "成品/g.jpg").left(2000)));
        QVERIFY(ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "g.jpg"), 88, fine, previews).isNull());
        QVERIFY(!QFile::exists(thumbs + "g.jpg"));
        // a full disk: the thumbnail is made, no cut preview is left behind
        QVERIFY(testsupport::writeJpeg(root + "成品/h.jpg", QSize(1200, 600)));
        {
            testsupport::FileSizeLimit full(1000);
            QVERIFY(!ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "h.jpg"), 88, fine, previews).isNull());
        }
        QCOMPARE(QDir(thumbs).entryList({"h*", ".*"}, QDir::Files | QDir::Hidden), QStringList());

        // nothing to read: an empty pixmap; not a finished photo: made all the same
        QVERIFY(ImageOperation::getWebViewThumb(Image(PHOTOTYPE_FINE, "none.jpg"), 88, fine, previews).isNull());
        QVERIFY(!ImageOperation::getWebViewThumb(Image(PHOTOTYPE_PHOTO, "a.jpg"), 88, fine, previews).isNull());
    }

    void labelLayoutAndMissingBarcode()
    {
        testsupport::TempRoots roots;
        QImage code(300, 100, QImage::Format_RGB32);
        code.fill(Qt::black);
        QVERIFY(code.save(roots.path("101.png")));

        CodeImageInfo info;
        info.topLine1 = "相框 12寸";
        info.topLine2 = "30x40";
        info.imagePath = roots.path("101.png");
        info.bottomLine1 = "101  A20240101";
        info.bottomLine2 = "一号店";
        const QImage label = ImageOperation::makeBarcodeLabel(info);
        QCOMPARE(label.size(), QSize(218, 150));
        QVERIFY(sameColour(label.pixel(100, 75), Qt::black, 0));
        QVERIFY(sameColour(label.pixel(6, 41), Qt::black, 0));
        QVERIFY(sameColour(label.pixel(3, 75), Qt::white, 0));   // left of the barcode box
        QVERIFY(sameColour(label.pixel(215, 75), Qt::white, 0)); // right of it

        auto darkPixels = [](const QImage &img, const QRect &area) {
            int n = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    n += qGray(img.pixel(x, y)) < 128;
            return n;
        };
        QVERIFY(darkPixels(label, QRect(0, 0, 218, 40)) > 0);
        QVERIFY(darkPixels(label, QRect(0, 110, 218, 40)) > 0);

        info.imagePath = roots.path("missing.png");
        const QImage blank = ImageOperation::makeBarcodeLabel(info);
        QCOMPARE(blank.size(), QSize(218, 150));
        QCOMPARE(darkPixels(blank, QRect(5, 40, 208, 70)), 0);
        QVERIFY(darkPixels(blank, QRect(0, 0, 218, 40)) > 0);

        const QImage empty = ImageOperation::makeBarcodeLabel(CodeImageInfo());
        QCOMPARE(darkPixels(empty, empty.rect()), 0);

#ifndef Q_OS_WIN
        // a path written with a back-slash before the file name still finds the picture
        info.imagePath = roots.base().chopped(1) + "\\101.png";
        QVERIFY(sameColour(ImageOperation::makeBarcodeLabel(info).pixel(100, 75), Qt::black, 0));
#endif
    }

    // The check of every finished photo the separation copies, read from the file as far as needed.
    void wholePictures_data()
    {
        QTest::addColumn<bool>("whole");
        QTest::addColumn<qint64>("size");       // of a sparse file: the photo's bytes, then zeros up to the size
        QTest::addColumn<QByteArray>("before"); // put before the scan's marker
        QTest::addColumn<QString>("cut");       // where the data is cut short: "half", "scan" (its middle), "before"
        const QByteArray none;
        QTest::newRow("JPEG") << true << qint64(0) << none << "";
        QTest::newRow("JPEG cut short") << false << qint64(0) << none << "half";
        QTest::newRow("JPEG with its end 8 MiB on") << true << qint64(8 << 20) << none << "";
        QTest::newRow("JPEG cut short 8 MiB on") << false << qint64(8 << 20) << none << "";
        QTest::newRow("JPEG over 2 GiB") << true << (qint64(3) << 30) << none << "";
        // fill bytes (0xFF) are legal before any marker; a long run spans several of the pieces read
        const QByteArray fill(200000, char(0xFF));
        QTest::newRow("fill bytes before the scan") << true << qint64(0) << fill << "";
        QTest::newRow("one fill byte before the scan") << true << qint64(0) << QByteArray(1, char(0xFF)) << "";
        QTest::newRow("fill bytes around a marker without length")
            << true << qint64(0) << fill + QByteArray("\xFF\x01\xFF\xD0", 4) + fill << "";
        QTest::newRow("fill bytes, cut short in the scan") << false << qint64(0) << fill << "scan";
        QTest::newRow("cut short in the fill bytes") << false << qint64(0) << fill << "before";
    }
    void wholePictures()
    {
        QFETCH(bool, whole);
        QFETCH(qint64, size);
        QFETCH(QByteArray, before);
        QFETCH(QString, cut);
        testsupport::TempRoots roots;
        const QString path = roots.path("a.jpg");
        QByteArray jpeg = testsupport::jpegWithOrientation(QSize(64, 48), 0);
        int scan = 2; // the scan's marker, found by the segments' lengths
        while (uchar(jpeg.at(scan + 1)) != 0xDA)
            scan += 2 + ((uchar(jpeg.at(scan + 2)) << 8) | uchar(jpeg.at(scan + 3)));
        jpeg.insert(scan, before);
        scan += before.size();
        if (cut == "half")
            jpeg = jpeg.left(jpeg.size() / 2);
        else if (cut == "scan")
            jpeg = jpeg.left(scan + (jpeg.size() - scan) / 2);
        else if (cut == "before")
            jpeg = jpeg.left(scan - before.size() / 2);
        QVERIFY(put(path, size > 0 ? jpeg.chopped(2) : jpeg));
        QFile file(path);
        if (size > 0) // its end marker, if any, at the end of the file
            QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(size)
                    && (!whole || (file.seek(size - 2) && file.write("\xFF\xD9", 2) == 2)));
        file.close();
        QCOMPARE(ImageOperation::isReadablePicture(path), whole);
        if (size == 0)
            QCOMPARE(ImageOperation::jpegIsWhole(jpeg), whole);
    }

    void loadImageGoesByContent()
    {
        testsupport::TempRoots roots;
        QVERIFY(testsupport::writeJpeg(roots.path("photo.png"), QSize(30, 20))); // JPEG bytes, PNG name
        QCOMPARE(ImageOperation::loadImage(roots.path("photo.png")).size(), QSize(30, 20));
        QVERIFY(put(roots.path("junk.jpg"), "not a picture"));
        QVERIFY(ImageOperation::loadImage(roots.path("junk.jpg")).isNull());
        QVERIFY(ImageOperation::loadImage(roots.path("missing.jpg")).isNull());
    }
};

TESSALY_TEST_MAIN(TestImageOperation)
#include "tst_imageoperation.moc"
