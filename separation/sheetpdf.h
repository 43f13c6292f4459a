#pragma once
// Prints an HTML sheet into a PDF file, the way every separation window prints its work sheet and
// express sheet: a QTextDocument on a PDF printer at screen resolution with the default page.

#include <QImage>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>

// Prints html into pdfPath and reports whether a whole PDF is there afterwards. images are
// pictures the document shows under these URLs instead of loading their files (for example a large
// photo already scaled to the size it is printed at). The document is printed into a temporary file
// beside pdfPath, checked whole and only then put in its place, so a failed print leaves an earlier file as it was.
// When it fails, *why (if given) says why in the user's words (errorText; "未能完整写入" for a print the
// printer left cut short). Any thread: it uses nothing but its own objects. stillWanted (when given) is
// asked just before the sheet takes its name: false leaves the file there as it was (Platform::writeIntoPlace).
bool printHtmlToPdf(const QString &html, const QString &pdfPath, const QList<QPair<QUrl, QImage>> &images = {},
                    QString *why = nullptr, const std::function<bool()> &stillWanted = {});
// Whether name is that of the temporary file the printer writes into beside a sheet (".printing-", six
// letters or digits, ".pdf"); one left in a folder is a print the program's end cut short.
bool isPrintTemporary(const QString &name);
