#pragma once
// What a separation run leaves behind, as the tests look at it: the files it wrote, the text of its
// sheets and the report box it ended with.

#include <QString>
#include <QStringList>

namespace testsupport {

// Every file below dir, and every empty folder (ending in "/"), relative to dir, sorted; hidden ones too.
QStringList fileTree(const QString &dir);

// The text of a PDF as pdftotext reads it; "" when it cannot be read.
QString pdfText(const QString &pdf);

// The report box a run ends with: its text and the file it offers; the box is closed.
struct ReportBox {
    bool shown = false;
    QString text;
    QString file;
};
ReportBox takeReportBox();

} // namespace testsupport
