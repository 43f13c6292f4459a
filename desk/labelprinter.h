#pragma once
// Where the dispatch desk's barcode labels go: the system's default printer, without a print dialog; or,
// when a folder is set, one PDF file per print job in that folder, on a default page of a set size (tests,
// and the demo when TESSALY_LABEL_PDF_DIR names a folder).

#include <QPrinter>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <memory>

class QPainter;

class LabelPrinter
{
public:
    // A printer in screen-resolution mode for the default printer, or PDF output on the set default page.
    LabelPrinter();
    ~LabelPrinter();
    LabelPrinter(const LabelPrinter &) = delete;
    LabelPrinter &operator=(const LabelPrinter &) = delete;

    // False when labels have nowhere to go (no default printer).
    bool isValid() const;
    QPrinter *printer() const { return m_printer.get(); }
    // Opens the painter on the printer, which starts one print job (PDF: the next free "label-N.pdf").
    bool beginJob(QPainter *painter);
    // The PDF files written so far by this printer.
    QStringList files() const { return m_files; }

    // PDF mode: labels become PDF files in folder, on a page of pageMm (width x height, millimetres) with
    // no margins. An empty folder restores the default printer.
    static void setPdfFolder(const QString &folder, const QSizeF &pageMm = QSizeF(60, 40));
    static QString pdfFolder();
    // Takes the folder from the environment variable TESSALY_LABEL_PDF_DIR, when it is set.
    static void setUpFromEnvironment();

private:
    std::unique_ptr<QPrinter> m_printer;
    bool m_valid = false;
    QStringList m_files;
};
