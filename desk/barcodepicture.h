#pragma once
// The barcode picture of a dispatch label: a text drawn as Code 128 (libzint), the bars over the top 74
// pixel rows, which is the part of the picture that the label shows.

#include <QImage>
#include <QString>

namespace BarcodePicture {

// Rows of the picture that the label shows, and the width it draws them into.
constexpr int kBarRows = 74;
constexpr int kLabelWidth = 208;

// The picture of the text: white, with whole-pixel modules and a quiet zone of ten modules on each side,
// at least kLabelWidth pixels wide so that the label draws it without scaling across. A null image, with
// *error, when the text cannot be encoded (empty, or characters Code 128 does not hold).
QImage draw(const QString &text, QString *error = nullptr);

// Draws the picture and saves it as PNG; false, with *error, when either fails.
bool write(const QString &text, const QString &path, QString *error = nullptr);

} // namespace BarcodePicture
