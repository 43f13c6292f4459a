#pragma once
// Static image operations: loading by content, the orientation stored in a photo's metadata and the
// turn that makes it upright, square canvases for icons and thumbnails, the work-sheet thumbnail of a
// finished photo and the dispatch desk's barcode label. Everything here works on QImage and may run on
// any thread, but for getWebViewThumb, which hands out a QPixmap.

#include "codeimageinfo.h"
#include "imagedata.h"

#include <QImage>
#include <QPixmap>
#include <QString>

class FolderIndex;

class ImageOperation
{
public:
    // Reads the whole file and decodes it, the format found from the content. A file that cannot be
    // opened or decoded gives a null image.
    static QImage loadImage(const QString &path);

    // False for JPEG data cut short (a card pulled out too early, a copy that stopped): such a file
    // decodes without an error, its missing part grey. True for whole JPEG data and for data of any other
    // kind, which is left to the decoder.
    static bool jpegIsWhole(const QByteArray &data);
    // False for a picture file that cannot be shown: empty, a header that cannot be read, or a JPEG cut
    // short. Files that are no pictures by their suffix count as readable.
    static bool isReadablePicture(const QString &path);

    // The orientation value (1 to 8) of the photo's metadata, in Intel or Motorola byte order. A JPEG's
    // segments are walked to its EXIF segment, wherever it lies; other files are scanned in their first
    // 999 two-byte words for the orientation tag (0x0112). 1 when the file cannot be opened or holds no
    // such tag.
    static int getDirection(const QString &path);

    // The image as a viewer shows it for the orientation value: 3 half a turn, 6 a quarter turn clockwise,
    // 8 counter-clockwise; 2 mirrored left-right, 4 top-bottom; 5 a quarter turn clockwise then mirrored
    // left-right, 7 counter-clockwise then mirrored left-right. 1 and any other value: unchanged.
    static QImage rotateImage(const QImage &image, int orientation);

    // A white square whose side is the larger of the image's width and height, the image scaled to fit
    // the side less 2 pixels (aspect ratio kept) and centred, inside a grey frame 2 pixels wide.
    // A null image comes back unchanged.
    static QImage fitImageToCanvas(const QImage &image);

    // The work-sheet thumbnail of a finished photo of an order whose finished photos lie in finishedDir
    // ("…/成品/") and their previews in previewDir ("…/成品缩略图/"): the photo's 1000-pixel preview (made
    // from the photo and saved in previewDir, whole or not at all, when it is missing, not whole or not made
    // from the photo as it is now), scaled to fit size x size, its mark drawn (ellipse when marked, else rectangle), then
    // squared by fitImageToCanvas. A photo that cannot be read or is not whole (and has no current preview)
    // gives a null image / an empty pixmap.
    // previews and finished, when given, are the listings of previewDir and finishedDir to look the photo
    // up in, so that many thumbnails list each folder once.
    static QImage webViewThumbImage(const Image &image, int size, const QString &finishedDir, const QString &previewDir,
                                    const FolderIndex *previews = nullptr, const FolderIndex *finished = nullptr);
    static QPixmap getWebViewThumb(const Image &image, int size, const QString &finishedDir, const QString &previewDir);

    // The 218 x 150 label of one barcode: two top lines (left-aligned, at the top of their boxes), the top
    // 74 rows of the barcode picture read from info.imagePath scaled into 208 x 70 pixels, two bottom lines.
    // A missing picture leaves its box white.
    static QImage makeBarcodeLabel(const CodeImageInfo &info);
    // The same label with a picture drawn in memory (info.imagePath is not read); a null picture leaves the
    // box white.
    static QImage makeBarcodeLabel(const CodeImageInfo &info, const QImage &picture);

    // The colour and width of the mark drawn on work-sheet thumbnails, and the frame of square canvases.
    static QColor markColor();
    static QColor frameColor();
};
