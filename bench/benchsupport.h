#pragma once
// What the benchmarks share: camera-sized test photos and the peak memory of the process.

#include <QSize>
#include <QtGlobal>
#include <QString>
#include <QStringList>

namespace bench {

// The size of the generated photos: a camera's 6000 x 4000.
extern const QSize kPhotoSize;

// Peak resident memory of this process in MiB (-1 when unknown).
double peakRssMiB();

// Writes count photo-like JPEGs (quality 90, about as large and as slow to decode as a camera's) into
// dir as IMG_0001.jpg, IMG_0002.jpg, ...; every second one carries EXIF orientation 6, the others 1.
// False when one cannot be written.
bool generate(const QString &dir, int count);

// The paths of the JPEGs ("*.jpg") in dir, by name.
QStringList jpegsIn(const QString &dir);

// Files standing for the photos an order holds besides the ones a benchmark imports: count names
// "F00001.jpg", ... in each of the folders, of about a camera photo's size each, every size its own. Only
// their sizes matter to a look-up by bytes, so they are left sparse. False when one cannot be made.
bool addOrderFillers(const QStringList &folders, int from, int count);

// Makes every JPEG of the list exactly as large as the largest (plus a little), with comment segments
// behind its start, as re-saved or converted photos of one size are; returns that size (-1 on failure).
qint64 padToOneSize(const QStringList &files);

// Files of exactly size bytes standing for photos an order holds of the imported photos' size: count names
// "S00001.jpg", ... in each of the folders, each different in its first bytes, the rest left sparse. False
// when one cannot be made.
bool addSameSizeFillers(const QStringList &folders, qint64 size, int count);
// How many bytes larger than the imported photos the fillers of a held-files run are: 0 (the environment
// variable TESSALY_BENCH_FILLER_STEP unset), or that many, for an order of other photos.
qint64 fillerSizeStep();

// A message handler that drops the program's debug and info lines (they would drown the figures).
void quietDebug(QtMsgType type, const QMessageLogContext &context, const QString &text);

} // namespace bench
