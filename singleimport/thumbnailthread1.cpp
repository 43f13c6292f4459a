#include "thumbnailthread1.h"

#include "fileoperation.h"
#include "guardedcall.h"
#include "imageoperation.h"
#include "importclaim.h"
#include "orderfolders.h"
#include "photoimport.h"
#include "platform.h"
#include "shottime.h"

#include <QDebug>
#include <QImageReader>
#include <QPixmap>

bool ImportRunGate::enter()
{
    QMutexLocker lock(&m_mutex);
    if (m_closed)
        return false;
    ++m_entered;
    return true;
}

int ImportRunGate::close()
{
    QMutexLocker lock(&m_mutex);
    m_closed = true;
    return m_entered;
}

void ImportRunGate::leave(bool mainAdded, bool backupAdded, const QString &shotTime)
{
    QMutexLocker lock(&m_mutex);
    m_placed.mains += mainAdded ? 1 : 0;
    m_placed.backups += backupAdded ? 1 : 0;
    m_placed.shotTimes += shotTime;
}

ImportRunGate::Placed ImportRunGate::placed() const
{
    QMutexLocker lock(&m_mutex);
    return m_placed;
}

ThumbnailThread1::ThumbnailThread1(const QString &srcPath, const QString &newName, const QString &serverDir,
                                   const QString &backupDir, QObject *receiver, int size)
    : serverDir(serverDir), backupDir(backupDir), newName(newName), srcPath(srcPath), receiver(receiver),
      iconSize(size), task(1)
{
    setAutoDelete(true);
}

ThumbnailThread1::ThumbnailThread1(const QString &path, int row, QObject *receiver, int size)
    : iconPath(path), row(row), receiver(receiver), iconSize(size), task(2)
{
    setAutoDelete(true);
}

ThumbnailThread1::ThumbnailThread1(const QString &path, QObject *receiver)
    : receiver(receiver), task(3), checkPath(path)
{
    setAutoDelete(true);
}

ThumbnailThread1::~ThumbnailThread1()
{
    // A job dropped before it ran, or one that did not pass its run's gate, holds up no other photo.
    if (numbering)
        numbering->pass(numberingIndex);
}

void ThumbnailThread1::run()
{
    switch (task) {
    case 1:
        importImage();
        break;
    case 2:
        makeThumbIcon();
        break;
    case 3:
        checkPathExist();
        break;
    default:
        break;
    }
}

bool ThumbnailThread1::getPicShotTime(QString path, QString &time)
{
    return ShotTimeScan::forImport().run(path, time);
}

void ThumbnailThread1::importImage()
{
    if (runGate && !runGate->enter())
        return;
    QString entry;
    QStringList failures;
    bool unreadable = false;
    PhotoOutcome outcome;
    const int type = importType;
    if (serverDir.isEmpty() || backupDir.isEmpty() || srcPath.isEmpty()) {
        failures << FileOperation::getFileName(srcPath) + QStringLiteral("：订单路径为空，未导入");
    } else {
        const ImportTypeEnum photoType = type == 1 ? ImportFinishedPhotos : type == 2 ? ImportDesigns : ImportOriginPhotos;
        if (removesDeadTemporaries)
            OrderFolders::removeDeadTemporaries(serverDir, photoType == ImportOriginPhotos ? backupDir : QString(),
                                                photoType, false, ImportClaim::msSinceEndedProgram(serverDir));
        QString time;
        if (type == 0)
            getPicShotTime(srcPath, time);
        // Photos as shot carry running numbers: one taken meanwhile (another desk importing into the
        // order) moves the photo on to the next free number, never over the other photo.
        const MainPlacing placing = type == 0 ? MainPlacing::Numbered : MainPlacing::ReplaceSameName;
        PhotoTask photo{photoType, serverDir, backupDir, srcPath, newName, false, placing, backupPhotos};
        photo.numbering = numbering;
        photo.numberingIndex = numberingIndex;
        photo.runRecord = runRecord;
        photo.claimHeld = claimHeld;
        // The bar says why a photo waits for another import of the order placing the same photo.
        const QPointer<QObject> reports = receiver;
        photo.waitingForOther = [reports](bool waiting) { invokeIfAlive(reports, "onWaitingForOther", waiting); };
        failures = importOnePhoto(photo, pixelBudget, &unreadable, &outcome);
        // A photo imported before hands its entry back too: the list takes no second entry of a name with
        // its time, and gets the one an import that ended before writing it never wrote.
        if (!outcome.placedName.isEmpty())
            entry = ShotTimeList::entry(outcome.placedName, time);
    }
    if (runGate)
        runGate->leave(outcome.mainAdded, outcome.backupAdded, entry);
    if (!failures.isEmpty())
        invokeIfAlive(receiver, "onImportFailures", failures);
    // The clerk finds the photo under the name it has in the order.
    const QString source = FileOperation::getFileName(srcPath);
    if (unreadable)
        invokeIfAlive(receiver, "onUnreadablePhoto",
                      outcome.placedName.isEmpty() ? source : source + QStringLiteral(" → ") + outcome.placedName);
    invokeIfAlive(receiver, "onPhotoPlaced", newName, outcome.givenName, outcome.placedName, outcome.mainAdded,
                  outcome.backupAdded, outcome.importedBefore);
    invokeIfAlive(receiver, "onFinishImportImage", entry);
}

QImage ThumbnailThread1::iconImage(const QString &path, int size)
{
    QImageReader reader(Platform::localPath(path));
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    // The decoder reduces a large photo while reading it; the result is the same fitted image.
    const QSize full = reader.size();
    if (full.isValid() && (full.width() > 2 * size || full.height() > 2 * size))
        reader.setScaledSize(full.scaled(2 * size, 2 * size, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull())
        return image;
    image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return ImageOperation::fitImageToCanvas(image);
}

void ThumbnailThread1::makeThumbIcon()
{
    // A listing that was replaced no longer wants its icons.
    if (receiver.isNull())
        return;
    const QImage icon = iconImage(iconPath, iconSize);
    // The pixmap is made on the GUI thread, where every platform allows it.
    const int index = row;
    callIfAlive(receiver, [index, icon](QObject *r) {
        QMetaObject::invokeMethod(r, "updateThumbIcon", Qt::DirectConnection, Q_ARG(int, index),
                                  Q_ARG(QPixmap, QPixmap::fromImage(icon)));
    });
}

void ThumbnailThread1::checkPathExist()
{
    const bool exists = !checkPath.trimmed().isEmpty() && FileOperation::dirExists(checkPath);
    invokeIfAlive(receiver, "onIsPathExist", exists);
}
