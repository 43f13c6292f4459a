#pragma once
// The data of one barcode label of the dispatch desk: two lines above the barcode picture, the picture's
// file and two lines below it. A plain value record; all texts are empty when constructed.

#include <QMetaType>
#include <QString>

struct CodeImageInfo
{
    QString topLine1;    // product name
    QString topLine2;    // product size
    QString imagePath;   // the barcode picture's file
    QString bottomLine1; // product id, two blanks, order number
    QString bottomLine2; // shop name
};
Q_DECLARE_METATYPE(CodeImageInfo)
