#pragma once
// The barcode picture of a dispatch label: a text drawn as Code 128 (libzint), the bars over the top 74
// pixel rows, which is the part of the picture that the label shows.

#include <QImage>
#include <QString>

namespace BarcodePicture {

// Rows of the picture that the label shows, and the width it draws them into.
constexpr int kBarRows = 74;
constexpr int kLabelWidth = 208;

// The picture of the text: kLabelWidth pixels wide, white, with whole-pixel modules and a quiet zone of ten
// modules on each side, so that the label draws it without scaling across. A null image, with *error, when
// the text cannot be drawn: empty, a character outside printable ASCII (scanners read Code 128's Latin-1
// letters as others; text that is not valid UTF-16 is refused too), or a symbol that with its quiet zones
// is wider than kLabelWidth at one pixel per module (squeezed, its bars would no longer scan).
QImage draw(const QString &text, QString *error = nullptr);

} // namespace BarcodePicture
