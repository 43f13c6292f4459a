#pragma once
// Pool job that saves the work-sheet thumbnails of an order's finished photos into the hidden folder
// "制作单缩略图/" of the order's output folder (g_separateWorkDir), then calls the receiver's slot
// onFinishSaveThumb() by name, queued. A receiver destroyed in the meantime is never called.

#include "imagedata.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRunnable>

class ThumbnailThread : public QRunnable
{
public:
    // images: a copy of the finished photos; receiver: the window to report to; size: the thumbnail side.
    ThumbnailThread(const QList<Image> &images, QObject *receiver, int size);

    void run() override;

    // The work itself, without the report: output folder, thumbnail folder, one thumbnail per image.
    // Returns the number of thumbnails saved.
    int saveWorkSheetThumbs();

    // Name of the thumbnail folder inside the output folder.
    static QString sheetThumbDirName();

private:
    void reportFinished();

    QList<Image> m_images;
    QPointer<QObject> m_receiver;
    int m_size;
};
