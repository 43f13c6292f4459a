#pragma once
// The import of one photo into an order folder, shared by the batch import and the single-order import:
// the backup copy of a photo as shot, the upright main file (a byte copy, or a new encoding at quality
// 100 when the photo must be turned), the three reduced copies each scaled from the one before (2250,
// 1000, 200 pixels), and a file that cannot be read as a photo (empty, cut short, not an image) kept
// unchanged without reduced copies. Safe to run on several pool threads at once for distinct target names.

#include "importtype.h"

#include <QString>
#include <QStringList>

class QSemaphore;

// Everything one photo needs, copied so that a pool thread can work on it alone.
struct PhotoTask
{
    ImportTypeEnum type;  // 0 photos as shot, 1 finished photos, 2 designs
    QString orderPath;    // the order folder on the photo root, ending in a separator
    QString orderBakPath; // the order folder on the backup root (photos as shot only)
    QString filePath;     // the chosen photo
    QString targetName;   // the name it gets in every folder
    bool alsoFinished;    // photos as shot also go into "成品/"
};

// Pixel memory (MiB) that the photos of one import may hold at the same time, which keeps the whole
// program well under 600 MiB. A 6000 x 4000 photo that must be turned holds 96 MiB decoded plus 72 MiB
// turned; an upright one needs only its reduced decode (24 MiB) and its 2250 thumbnail. An import that
// runs photos side by side makes one semaphore of this many units and hands it to every photo.
constexpr int kPhotoPixelBudgetMiB = 480;

// Imports one photo; budget (may be null) is the import's pixel budget. Returns the failures, one line
// each ("<file name>：<why>"); empty when everything was written. *unreadable (when given) tells whether
// the file could not be read as a photo: it was copied as it is, and no reduced copy was made from it.
QStringList importOnePhoto(const PhotoTask &task, QSemaphore *budget, bool *unreadable = nullptr);

// The text naming the photos that could not be read ("无法读取的照片：a.jpg、b.jpg"), "" for none.
QString unreadablePhotosText(const QStringList &names);

// Makes large image buffers go back to the system when freed (glibc would keep them per pool thread).
// Called once before photos are imported side by side.
void keepLargeBuffersOutOfArenas();

