#include "sheetpdf.h"

#include "logging.h"
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryFile>
#include <QTextDocument>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cstdio>
#endif

namespace {

// Puts the finished file in the target's place in one step, replacing an earlier one; on failure the
// earlier file stays as it was.
bool replaceWith(const QString &finished, const QString &target)
{
    if (Platform::writeShouldFail(target))
        return false;
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(finished).utf16()),
                       reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
           != 0;
#else
    return std::rename(QFile::encodeName(finished).constData(), QFile::encodeName(target).constData()) == 0;
#endif
}

const QFile::Permissions kNewFilePermissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
                                               | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
} // namespace

bool printHtmlToPdf(const QString &html, const QString &pdfPath, const QList<QPair<QUrl, QImage>> &images)
{
    const QString target = Platform::localPath(pdfPath);
    QString temporaryName;
    {
        // Only reserves a free name beside the target; the printer writes the file.
        QTemporaryFile reserve(QFileInfo(target).absolutePath() + QStringLiteral("/.printing-XXXXXX.pdf"));
        if (!reserve.open()) {
            qCDebug(lcSeparation) << "no temporary file for" << target;
            return false;
        }
        reserve.setAutoRemove(false);
        // A temporary file is private to its owner; the sheet is read by others at the shop like any file
        // written there, so it takes the earlier sheet's permissions or those of a new file.
        reserve.setPermissions(QFile::exists(target) ? QFile::permissions(target) : kNewFilePermissions);
        temporaryName = reserve.fileName();
    }

    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(temporaryName);
    QTextDocument document;
    for (const auto &image : images)
        document.addResource(QTextDocument::ImageResource, image.first, image.second);
    document.setHtml(html);
    document.print(&printer);

    const bool printed = QFileInfo(temporaryName).size() > 0;
    if (!printed || !replaceWith(temporaryName, target)) {
        QFile::remove(temporaryName);
        qCDebug(lcSeparation) << "sheet not written:" << target;
        return false;
    }
    return true;
}
