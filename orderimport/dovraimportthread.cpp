#include "dovraimportthread.h"

#include "fileoperation.h"
#include "logging.h"
#include "platform.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QStringList>

#include <cerrno>

DovraImportThread::DovraImportThread(int row, int currentCount, int totalCount, QString toDir,
                                     DovraFileInfo fileInfo, QObject *receiver)
    : row(row), currentCount(currentCount), totalCount(totalCount), toDir(std::move(toDir)),
      fileInfo(std::move(fileInfo)), receiver(receiver)
{
    setAutoDelete(true);
}

DovraImportThread::~DovraImportThread() = default;

void DovraImportThread::run()
{
    importFile();
}

void DovraImportThread::importFile()
{
    QString why;
    bool kept = false;
    if (!copyFile(fileInfo.getFilePath(), fileInfo.getToFilePath(), &why, &kept)) {
        qCWarning(lcImport) << "Dovra copy failed:" << fileInfo.getFilePath() << why;
        if (receiver)
            QMetaObject::invokeMethod(receiver, "importCopyDovraFailedSlot", Qt::QueuedConnection, Q_ARG(int, row),
                                      Q_ARG(QString, fileInfo.getFilePath()), Q_ARG(QString, why));
    } else if (kept) {
        qCWarning(lcImport) << "Dovra copy kept a different file at" << fileInfo.getToFilePath();
        if (receiver)
            QMetaObject::invokeMethod(receiver, "importCopyDovraKeptSlot", Qt::QueuedConnection, Q_ARG(int, row),
                                      Q_ARG(QString, fileInfo.getToFilePath()));
    }
    if (receiver)
        QMetaObject::invokeMethod(receiver, "importCopyDovraProgressSlot", Qt::QueuedConnection, Q_ARG(int, row),
                                  Q_ARG(int, currentCount), Q_ARG(int, totalCount), Q_ARG(QString, toDir));
}

void DovraImportThread::report(const char *slot, const QString &text)
{
    if (receiver)
        QMetaObject::invokeMethod(receiver, slot, Qt::QueuedConnection, Q_ARG(QString, text));
}

bool DovraImportThread::copyFile(QString fromFile, QString toFile, QString *why, bool *kept)
{
    auto fail = [why](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    if (fromFile == toFile)
        return true;
    const QString source = Platform::localPath(fromFile);
    if (!QFile::exists(source))
        return fail(QStringLiteral("源文件不存在"));

    // The share's own form of the target, then the local form at the file-system boundary.
    toFile.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QStringList parts = toFile.split(QLatin1Char('\\'));
    parts.removeLast();
    const QString folder = parts.join(QLatin1Char('\\'));
    const QString localTarget = Platform::localPath(toFile);
    const QString localFolder = Platform::localPath(folder);

    QString message;
    int folderError = ENOENT; // a folder there at first and gone since
    if (QDir(localFolder).exists()) {
        message = QStringLiteral("不用创建目录") + folder;
    } else {
        message = QStringLiteral("复制文件需要创建目录 原目录：") + toFile + QStringLiteral(" 配置的目录：") + folder;
        // Several jobs may make the same folder at once: mkPath allows that.
        if (!FileOperation::mkPath(localFolder))
            folderError = errno;
    }
    report("slt_dovrathreadmsg", message);
    qCDebug(lcImport) << folder;

    if (!QFileInfo::exists(localTarget) && !QDir(localFolder).exists())
        return fail(QStringLiteral("无法创建目录：") + localFolder + QStringLiteral("（") + errorText(folderError)
                    + QStringLiteral("）"));
    // Never replaced. The same bytes mean an earlier run copied it already; other bytes are kept.
    switch (FileOperation::copyNoReplace(source, localTarget, why)) {
    case FileOperation::KeptOther:
        if (kept)
            *kept = true;
        return true;
    case FileOperation::CopyFailed:
        return false;
    default:
        return true;
    }
}
