#pragma once
// Pool job that saves the work-sheet thumbnails of an order's finished photos into the hidden folder
// "制作单缩略图/" of the order's output folder, then calls the receiver's slot onFinishSaveThumb() by name,
// queued. A receiver destroyed in the meantime is never called. The job is given its order's folders when
// it is made and reads no other.

#include "imagedata.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRunnable>
#include <QStringList>

#include <functional>
#include <memory>

class ThumbnailThread : public QRunnable
{
public:
    // images: a copy of the finished photos; finishedDir and previewDir: the order's "成品/" and "成品缩略图/"
    // (ImagePath); outDir: the order's output folder (ending in "/"); receiver: the window to report to;
    // size: the thumbnail side.
    ThumbnailThread(const QList<Image> &images, const QString &finishedDir, const QString &previewDir,
                    const QString &outDir, QObject *receiver, int size);

    void run() override;

    // The work itself, without the report: output folder, thumbnail folder, one thumbnail per image.
    // Returns the number of thumbnails saved.
    int saveWorkSheetThumbs();

    // Name of the thumbnail folder inside the output folder.
    static QString sheetThumbDirName();

    // Receives, before the report, the thumbnails made but not written whole (a full disk, a share
    // gone), each path with the reason in words ("…/IMG_0001.jpg（磁盘空间不足）"); none of them is left
    // under its name. A photo that cannot be read has no thumbnail to write and is not listed.
    void setNotWrittenList(std::shared_ptr<QStringList> list) { m_notWritten = std::move(list); }
    // Asked before each photo and again before its thumbnail takes its name (any thread): once it answers
    // true (the window that wants the thumbnails has closed), no further thumbnail or preview is made or
    // put in place.
    void setStopWhen(std::function<bool()> stopped) { m_stopped = std::move(stopped); }

private:
    void reportFinished();

    QList<Image> m_images;
    QString m_finishedDir;
    QString m_previewDir;
    QString m_outDir;
    QPointer<QObject> m_receiver;
    int m_size;
    std::shared_ptr<QStringList> m_notWritten;
    std::function<bool()> m_stopped;
};
