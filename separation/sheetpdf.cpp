#include "sheetpdf.h"

#include "fileoperation.h"
#include "logging.h"
#include "platform.h"

#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryFile>
#include <QTextDocument>

#include <algorithm>
#include <cerrno>

namespace {

// Whether the printer's file is a whole PDF. The printer ignores failed writes (a full disk, a share gone),
// so a file cut short would otherwise pass: a whole one ends with "%%EOF" after a "startxref" that points at
// its cross-reference table.
bool pdfIsWhole(const QByteArray &pdf)
{
    if (!pdf.trimmed().endsWith("%%EOF"))
        return false;
    const int at = pdf.lastIndexOf("startxref");
    if (at < 0)
        return false;
    bool ok = false;
    const qint64 offset = pdf.mid(at + 9, 24).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    return ok && offset >= 0 && offset < at && pdf.mid(int(offset), 4) == "xref";
}

// The start of the name of the file the printer writes into.
const QString kPrinting = QStringLiteral(".printing-");

// The words for a file not written whole when no failed call says why (as the whole writes say it).
const QString kNotWhole = QStringLiteral("未能完整写入");
// The largest sheet read back: a work sheet of thousands of thumbnails stays far below it.
constexpr qint64 kLargestSheet = qint64(1) << 30;

} // namespace

bool printHtmlToPdf(const QString &html, const QString &pdfPath, const QList<QPair<QUrl, QImage>> &images,
                    QString *why, const std::function<bool()> &stillWanted)
{
    const QString target = Platform::localPath(pdfPath);
    // The printer writes a file of its own; it is read back, checked whole and only then put in the
    // target's place in one step, so a failed print leaves an earlier sheet as it was.
    QTemporaryFile printed(QFileInfo(target).absolutePath() + QLatin1Char('/') + kPrinting + QStringLiteral("XXXXXX.pdf"));
    if (!printed.open()) {
        const int error = errno;
        qCDebug(lcSeparation) << "no temporary file for" << target;
        if (why)
            *why = error != 0 ? errorText(error) : kNotWhole;
        return false;
    }
    printed.close();
    FileOperation::setFileHidden(printed.fileName()); // one a kill leaves is no sheet of the clerk's

    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printed.fileName());
    QTextDocument document;
    for (const auto &image : images)
        document.addResource(QTextDocument::ImageResource, image.first, image.second);
    document.setHtml(html);
    document.print(&printer);

    // The file the printer wrote is read back by its name, to its end: the temporary's own handle was
    // opened before the print, and a share may give it the file as it was then (a FUSE mount gave 4096
    // of its 7632 bytes).
    const QString printedPath = printed.fileName();
    if (Platform::lastWriteShouldFail(target))
        QFile::resize(printedPath, QFileInfo(printedPath).size() / 2); // as a disk that filled up during the print leaves it
    QByteArray pdf;
    int error = 0;
    const bool read = Platform::readRegularFile(printedPath, kLargestSheet, &pdf, &error);
    // The printer says nothing of a failed write: a print cut short is named as such.
    QString failure = read || error == EFBIG ? kNotWhole : errorText(error);
    const bool written = read && pdfIsWhole(pdf) && Platform::writeIntoPlace(target, [&pdf](QIODevice &file) {
                             return file.write(pdf) == pdf.size();
                         }, &failure, nullptr, stillWanted);
    if (!written)
        qCDebug(lcSeparation) << "sheet not written:" << target << failure;
    if (why)
        *why = written ? QString() : failure;
    return written;
}

bool isPrintTemporary(const QString &name)
{
    if (!name.startsWith(kPrinting) || !name.endsWith(QLatin1String(".pdf")) || name.size() != kPrinting.size() + 10)
        return false;
    return std::all_of(name.begin() + kPrinting.size(), name.end() - 4, [](QChar c) {
        return c.unicode() < 128 && c.isLetterOrNumber();
    });
}
