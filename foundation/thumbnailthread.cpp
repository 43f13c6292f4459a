#include "thumbnailthread.h"

#include "fileoperation.h"
#include "guardedcall.h"
#include "imageoperation.h"
#include "logging.h"

#include <QDebug>

ThumbnailThread::ThumbnailThread(const QList<Image> &images, QObject *receiver, int size)
    : m_images(images), m_receiver(receiver), m_size(size)
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
    const QString outDir = g_separateWorkDir;
    ImagePath::orderOutPath = outDir;
    if (outDir.isEmpty()) {
        // Without an output folder the thumbnails would land in the working directory.
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "no output folder, no work-sheet thumbnails";
        return 0;
    }
    if (!FileOperation::dirExists(outDir) && !FileOperation::mkDir(outDir))
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "output folder not created:" << outDir;

    const QString thumbDir = outDir + sheetThumbDirName() + QLatin1Char('/');
    ImagePath::setSheetThumbPath(thumbDir);
    if (!FileOperation::mkDir(thumbDir))
        qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "thumbnail folder not created:" << thumbDir;
    FileOperation::setFileHidden(thumbDir);

    int saved = 0;
    for (const Image &image : qAsConst(m_images)) {
        const QString name = image.getFileName();
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))) {
            qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "not a file name, skipped:" << name;
            continue;
        }
        const QImage thumb = ImageOperation::webViewThumbImage(image, m_size);
        // A thumbnail that cannot be made or saved leaves a gap on the sheet; the others go on.
        if (thumb.isNull() || !thumb.save(thumbDir + name))
            qCDebug(lcFiles) << __FILE__ << __LINE__ << Q_FUNC_INFO << "work-sheet thumbnail not saved:" << thumbDir + name;
        else
            ++saved;
    }
    return saved;
}

void ThumbnailThread::reportFinished()
{
    invokeIfAlive(m_receiver, "onFinishSaveThumb");
}
