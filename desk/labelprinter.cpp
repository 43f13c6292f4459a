#include "labelprinter.h"

#include <QDir>
#include <QMarginsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinterInfo>

namespace {
struct PdfMode {
    QString folder;
    QSizeF pageMm;
};
PdfMode &pdfMode()
{
    static PdfMode mode;
    return mode;
}
} // namespace

LabelPrinter::LabelPrinter()
{
    const PdfMode &mode = pdfMode();
    if (!mode.folder.isEmpty()) {
        m_printer.reset(new QPrinter(QPrinter::ScreenResolution));
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setPageSize(QPageSize(mode.pageMm, QPageSize::Millimeter));
        m_printer->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        QDir().mkpath(mode.folder); // a folder that cannot be made fails the first job
        m_valid = true;
        return;
    }
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    m_printer.reset(info.isNull() ? new QPrinter(QPrinter::ScreenResolution)
                                  : new QPrinter(info, QPrinter::ScreenResolution));
    m_valid = !info.isNull() && m_printer->isValid();
}

LabelPrinter::~LabelPrinter() = default;

bool LabelPrinter::isValid() const
{
    return m_valid;
}

bool LabelPrinter::beginJob(QPainter *painter)
{
    if (!m_valid)
        return false;
    const QString folder = pdfMode().folder;
    if (!folder.isEmpty()) {
        const QDir dir(folder);
        QString path;
        for (int n = 1;; ++n) {
            path = dir.filePath(QStringLiteral("label-%1.pdf").arg(n));
            if (!QFile::exists(path) && !m_files.contains(path))
                break;
        }
        m_printer->setOutputFileName(path);
        if (!painter->begin(m_printer.get()))
            return false;
        m_files.append(path);
        return true;
    }
    return painter->begin(m_printer.get());
}

void LabelPrinter::setPdfFolder(const QString &folder, const QSizeF &pageMm)
{
    pdfMode() = {folder, pageMm};
}

QString LabelPrinter::pdfFolder()
{
    return pdfMode().folder;
}

void LabelPrinter::setUpFromEnvironment()
{
    const QString folder = qEnvironmentVariable("TESSALY_LABEL_PDF_DIR");
    if (!folder.isEmpty())
        setPdfFolder(folder);
}
