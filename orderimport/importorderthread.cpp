#include "importorderthread.h"

#include "fileoperation.h"
#include "globals.h"
#include "importordermodel.h"
#include "orderrecords.h"

#include <QDebug>
#include <limits>

namespace {
const QString kImportMode = QStringLiteral("importordersphotodlg");
const QString kDeleteMode = QStringLiteral("searchorder");

// The counts travel as 16-bit values; a longer list is counted as the most they can hold.
quint16 countOf(const QStringList &files)
{
    const int most = std::numeric_limits<quint16>::max();
    return static_cast<quint16>(qMin(files.size(), most));
}
} // namespace

ImportOrderThread::ImportOrderThread(ImportOrderModel *model, ImportTypeEnum type, QObject *parent)
    : QThread(parent), mModel(model), mImportType(type), mMode(kImportMode)
{
    qDebug() << "thread-start";
    if (!mModel)
        return;
    switch (mImportType) {
    case ImportOriginPhotos:
        mTotalCount = countOf(mModel->originFiles());
        break;
    case ImportFinishedPhotos:
        mTotalCount = countOf(mModel->finishedFiles());
        break;
    case ImportDesigns:
        mTotalCount = countOf(mModel->designFiles());
        break;
    case ImportTrialVideos:
        mTotalCount = countOf(mModel->trialVideoFiles());
        break;
    case ImportRetouchVideos:
        mTotalCount = countOf(mModel->retouchVideoFiles());
        break;
    case ImportDovraCopy:
        break;
    }
}

ImportOrderThread::ImportOrderThread(const OrderRowInfo &info, QObject *parent)
    : QThread(parent), deleteDir(info.orderpath), mMode(kDeleteMode), mOrderid(info.order_photo_id)
{
    // The search windows start many of these side by side and keep no handle on them: a delete-mode
    // thread cleans up after itself once its job is done.
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

ImportOrderThread::~ImportOrderThread()
{
    qDebug() << "import thread delete";
}

void ImportOrderThread::run()
{
    if (mMode == kImportMode) {
        if (mImportType != ImportDovraCopy)
            createOrderDir(g_picPath, g_bakPicPath);
        importOrderFiles();
        return;
    }
    if (mMode == kDeleteMode) {
        qDebug() << "deleteDir==" << deleteDir;
        startDelete();
        return;
    }
}

void ImportOrderThread::startDelete()
{
    // A search row can carry any path at all; only an order folder may go, never a storage root,
    // a drive or share root, or a path relative to wherever the program happens to run.
    QString why;
    if (!FileOperation::isSafeToDelete(deleteDir, &why)) {
        qWarning() << "order folder not deleted:" << why;
        return;
    }
    if (!FileOperation::dirExists(deleteDir))
        return;
    const bool ok = FileOperation::removeDir(deleteDir);
    qDebug() << "isDelete" << (ok ? "true" : "false");
    if (ok)
        emit deleteSucceed(mOrderid, deleteDir);
}

// ---- import mode: folder tree, file import and the Dovra copy come with the import run ----

void ImportOrderThread::createOrderDir(QString picPath, QString bakPath)
{
    // To come with the import run: builds the order folder tree. Does nothing yet.
    Q_UNUSED(picPath)
    Q_UNUSED(bakPath)
}

void ImportOrderThread::importOrderFiles()
{
    // To come with the import run: copies the chosen files. Emits nothing yet.
    mImportedCount = 0;
}

void ImportOrderThread::createDovraDir(QString path)
{
    // To come with the Dovra copy. Does nothing yet.
    Q_UNUSED(path)
}

void ImportOrderThread::copyDovraDirToSer(QString dovraDir)
{
    // To come with the Dovra copy. Does nothing yet.
    Q_UNUSED(dovraDir)
}

void ImportOrderThread::copyDir(QString fromDir, QString toDir)
{
    // To come with the Dovra copy. Does nothing yet.
    Q_UNUSED(fromDir)
    Q_UNUSED(toDir)
}

void ImportOrderThread::copyDir2(QString fromDir, QString toDir)
{
    // To come with the Dovra copy. Does nothing yet.
    Q_UNUSED(fromDir)
    Q_UNUSED(toDir)
}

void ImportOrderThread::importImage(QString orderPath, QString orderBakPath, QString filePath, QString targetName)
{
    Q_UNUSED(orderPath)
    Q_UNUSED(orderBakPath)
    Q_UNUSED(filePath)
    Q_UNUSED(targetName)
}

void ImportOrderThread::copyVideoFiles(QString orderPath, QString orderBakPath, QString filePath, QString targetName)
{
    Q_UNUSED(orderPath)
    Q_UNUSED(orderBakPath)
    Q_UNUSED(filePath)
    Q_UNUSED(targetName)
}

bool ImportOrderThread::copyFile(QString fromFile, QString toFile)
{
    Q_UNUSED(fromFile)
    Q_UNUSED(toFile)
    return false;
}

bool ImportOrderThread::judgeMemorySize(QString filePath)
{
    Q_UNUSED(filePath)
    return true;
}

bool ImportOrderThread::judgeDiskSize(qint64 size, QString path)
{
    Q_UNUSED(size)
    Q_UNUSED(path)
    return true;
}

QStringList ImportOrderThread::failures() const
{
    QMutexLocker locker(&mLock);
    return mFailures;
}

QString ImportOrderThread::errorText() const
{
    QMutexLocker locker(&mLock);
    return mErrorText;
}
