#pragma once
// What a work sheet needs from disk, gathered on a pool thread before the sheet is built: the widths of
// the thumbnails its goods tables show, and the marked pictures of "调修要求", copied into the thumbnail
// folder's "marks/" with their sizes and a copy at the size they are printed at.

#include "worksheet.h"

#include <QImage>
#include <QList>
#include <QPair>
#include <QUrl>

// The side, in pixels, a marked picture is given to the printed document at (the sheet shows it 120
// pixels wide or high at screen resolution; this leaves room for a sharp print).
int markPrintSide();

// What the printed document shows for a picture that is not there: nothing (a transparent pixel, where
// the text engine would draw a broken-image icon).
QImage noPicture();

// Fills data.thumbWidths (every photo of data.goods and their sub-products) and data.markSizes, and
// copies every marked picture of data.picsMarkArr from marksSource (the order's "marks/" folder; "" for
// none) into data.thumbFolder + "marks/": a JPEG byte for byte, another picture re-encoded as JPEG. A name with folder
// parts, or a picture that cannot be read, gets no copy and no size. A copy is put in place only when whole:
// one that cannot be written leaves an earlier copy as it was, gets no size either, and its path goes to
// notWritten with the reason in words ("…/marks/a.jpg（磁盘空间不足）"). printImages receives each copied
// picture scaled to markPrintSide(), under the URL the sheet refers to it by, and noPicture() for every
// thumbnail or marked picture that is not there. Any thread.
void prepareSheetFiles(WorkSheetData *data, const QString &marksSource, QList<QPair<QUrl, QImage>> *printImages,
                       QStringList *notWritten = nullptr);
