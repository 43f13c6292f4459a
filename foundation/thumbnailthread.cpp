#include "thumbnailthread.h"

#include "fileoperation.h"
#include "folderindex.h"
#include "guardedcall.h"
#include "imageoperation.h"
#include "logging.h"
#include "platform.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QMutex>
#include <QDebug>
#include <QThread>
#include <QThreadPool>

#include <cerrno>

ThumbnailThread::ThumbnailThread(const QList<Image> &images, const QString &finishedDir, const QString &previewDir,
                                 const QString &outDir, QObject *receiver, int size)
    : m_images(images), m_finishedDir(finishedDir), m_previewDir(previewDir), m_outDir(outDir), m_receiver(receiver),
      m_size(size)
{
    setAutoDelete(true);
}

QString ThumbnailThread::sheetThumbDirName()
{
    return QStringLiteral("制作单缩略图");
}

void ThumbnailThread::run()
{
    saveWorkSheetThumbs();
    reportFinished();
}

int ThumbnailThread::saveWorkSheetThumbs()
{
    if (m_stopped && m_stopped())
        return 0; // not even a folder
    const QString outDir = m_outDir;
    if (outDir.isEmpty()) {
        // Without an output folder the thumbnails would land in the working directory.
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "no output folder, no work-sheet thumbnails";
        return 0;
    }
    // A folder that cannot be made gives the reason of every thumbnail that then cannot be written.
    int folderError = 0;
    if (!FileOperation::dirExists(outDir) && !FileOperation::mkDir(outDir)) {
        folderError = errno;
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "output folder not created:" << outDir;
    }

    const QString thumbDir = outDir + sheetThumbDirName() + QLatin1Char('/');
    if (!FileOperation::mkDir(thumbDir)) {
        folderError = folderError != 0 ? folderError : errno;
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "thumbnail folder not created:" << thumbDir;
    }
    FileOperation::setFileHidden(thumbDir);

    // The photos and their previews are looked up in one listing of each folder.
    const QString previewDir = m_previewDir;
    const QString finishedDir = m_finishedDir;
    const FolderIndex previews(previewDir);
    const FolderIndex finished(finishedDir);
    const std::function<bool()> stopped = m_stopped;
    // The thumbnails are made side by side on a pool of this job's own; the job ends when all are done.
    QAtomicInt saved = 0;
    QMutex notWrittenLock;
    QStringList notWritten;
    QThreadPool workers;
    workers.setMaxThreadCount(QThread::idealThreadCount());
    for (const Image &image : qAsConst(m_images)) {
        const QString name = image.getFileName();
        if (!isSafeName(name)) {
            qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "not a file name, skipped:" << name;
            continue;
        }
        const int size = m_size;
        workers.start([image, size, thumbDir, name, folderError, &saved, &previewDir, &finishedDir, &previews, &finished,
                       &stopped, &notWrittenLock, &notWritten] {
            if (stopped && stopped())
                return;
            const QImage thumb = ImageOperation::webViewThumbImage(image, size, finishedDir, previewDir, &previews,
                                                                   &finished);
            // A thumbnail that cannot be made or saved leaves a gap on the sheet; the others go on. One is
            // written beside its name and takes it only when whole.
            if (thumb.isNull()) {
                qCDebug(lcFiles) << __FILE__ << __LINE__ << "no work-sheet thumbnail of:" << name;
                return;
            }
            const QString path = thumbDir + name;
            const QByteArray format = QFileInfo(name).suffix().toLatin1();
            QString why;
            // the stop is asked again just before the thumbnail takes its name
            const bool written = Platform::writeIntoPlace(
                Platform::localPath(path), [&](QIODevice &file) { return thumb.save(&file, format.constData()); }, &why,
                nullptr, [&stopped] { return !stopped || !stopped(); });
            if (!written) {
                qCDebug(lcFiles) << __FILE__ << __LINE__ << "work-sheet thumbnail not saved:" << path << why;
                if (folderError != 0)
                    why = errorText(folderError);
                QMutexLocker lock(&notWrittenLock);
                notWritten << path + QStringLiteral("（") + why + QStringLiteral("）");
                return;
            }
            saved.ref();
        });
    }
    workers.waitForDone();
    if (m_notWritten)
        *m_notWritten = notWritten;
    return saved.loadAcquire();
}

void ThumbnailThread::reportFinished()
{
    invokeIfAlive(m_receiver, "onFinishSaveThumb");
}
