#include "copypicthread.h"

#include "fileoperation.h"
#include "guardedcall.h"
#include "logging.h"
#include "orderfolders.h"
#include "photoimport.h"
#include "shottime.h"

#include <QDebug>

CopyPicThread::CopyPicThread(QString serverPath, QString backupPath, QString filePath, QString fileName, int type,
                             QObject *receiver)
    : receiver(receiver), serverPath(std::move(serverPath)), backupPath(std::move(backupPath)),
      filePath(std::move(filePath)), fileName(std::move(fileName)), type(type)
{
    setAutoDelete(true);
}

CopyPicThread::CopyPicThread(QString serverPath, QString filePath, QString fileName, int type, QObject *receiver)
    : receiver(receiver), serverPath(std::move(serverPath)), filePath(std::move(filePath)),
      fileName(std::move(fileName)), type(type)
{
    setAutoDelete(true);
}

CopyPicThread::~CopyPicThread() = default;

void CopyPicThread::run()
{
    if (quint32(type) <= 2)
        importImg();
    else
        importVideo();
}

bool CopyPicThread::getPicShotTime(QString path, QString &time)
{
    return ShotTimeScan::forPhotoCopy().run(path, time);
}

void CopyPicThread::importImg()
{
    if (serverPath.isEmpty() || backupPath.isEmpty() || filePath.isEmpty())
        return;
    if (type == 0) {
        // Read as the import reads it; nothing here keeps a shot-time list.
        QString time;
        getPicShotTime(filePath, time);
    }
    fileName.replace(QStringLiteral(".JPG"), QStringLiteral(".jpg"));
    qCDebug(lcSingleImport) << "--!开始读取照片: " << filePath;
    const ImportTypeEnum photoType = type == 0 ? ImportOriginPhotos : type == 1 ? ImportFinishedPhotos : ImportDesigns;
    const QStringList failures = importOnePhoto({photoType, serverPath, backupPath, filePath, fileName, false}, nullptr);
    qCDebug(lcSingleImport) << "--!发送完成消息";
    report(failures, filePath);
}

void CopyPicThread::importVideo()
{
    if (serverPath.isEmpty() || filePath.isEmpty())
        return;
    const ImportTypeEnum videoType = type == 3 ? ImportTrialVideos : ImportRetouchVideos;
    const QString target =
        serverPath + (type == 3 ? QStringLiteral("试拍视频/") : QStringLiteral("精修视频/")) + fileName;
    const QString failure = importOneVideo(videoType, serverPath, filePath, fileName);
    report(failure.isEmpty() ? QStringList() : QStringList(failure), type == 3 ? target : filePath);
}

void CopyPicThread::report(const QStringList &failures, const QString &done)
{
    for (const QString &line : failures)
        qCWarning(lcSingleImport) << "file copy:" << line;
    if (!failures.isEmpty())
        invokeIfAlive(receiver, "onImportFailures", failures);
    invokeIfAlive(receiver, "solaImgImport", done);
}

bool CopyPicThread::copyFile(QString fromPath, QString toDir)
{
    // Never over a file there; the same video copied again counts as copied.
    const FileOperation::CopyOutcome outcome =
        FileOperation::copyNoReplace(OrderFolders::fsPath(fromPath), OrderFolders::fsPath(toDir));
    return outcome == FileOperation::Copied || outcome == FileOperation::AlreadyThere;
}
