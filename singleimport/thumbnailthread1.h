#pragma once
// Pool job of the single-order import window, one of three tasks:
//   1 import one chosen photo into the order folders (through the batch import's per-photo routine) and
//     hand back its shot-time entry by onFinishImportImage(QString); the failures, if any, go first by
//     onImportFailures(QStringList), an unreadable photo by onUnreadablePhoto(QString), and the name the
//     photo got by onPhotoPlaced(QString planned, QString given (the name the run's numbering gave it, ""
//     for none), QString placed ("" when not placed), bool mainAdded, bool backupAdded, bool importedBefore).
//     A photo the order held already (importedBefore) hands back its entry as well, which the list takes
//     only when it lacks it. Every import job that passed its run's gate
//     reports, also one given empty paths.
//   2 make the list icon of one photo and hand it back by updateThumbIcon(int, QPixmap);
//   3 test whether a folder exists and hand the answer back by onIsPathExist(bool).
// Reports are queued calls of the receiver's slots by name, never made to a receiver destroyed meanwhile;
// an import job reports only when it passed its run's gate.

#include <QImage>
#include <QMutex>
#include <QPointer>
#include <QRunnable>
#include <QString>

#include <functional>
#include <memory>

class BackupPhotos;
class PhotoNumbering;
class QSemaphore;
namespace UnsentReport {
class RunRecord;
}

// The door of one import run's jobs: a job passes it when it starts, until the run closes it; a job that
// finds it closed does nothing and reports nothing. Closing tells how many jobs passed, the reports
// still to come. A job that passed tells it what it placed as it ends, so that a run stopped before the
// jobs' reports arrive still knows it.
class ImportRunGate
{
public:
    bool enter();
    int close();

    struct Placed
    {
        int mains = 0;     // new main files
        int backups = 0;   // new backups
        QString shotTimes; // the shot-time entries of the photos in the order
    };
    void leave(bool mainAdded, bool backupAdded, const QString &shotTime);
    Placed placed() const;

private:
    mutable QMutex m_mutex;
    bool m_closed = false;
    int m_entered = 0;
    Placed m_placed;
};

class ThumbnailThread1 : public QRunnable
{
public:
    // Task 1. size is kept for the form of the call and not used.
    ThumbnailThread1(const QString &srcPath, const QString &newName, const QString &serverDir,
                     const QString &backupDir, QObject *receiver, int size);
    // Task 2: the icon of the photo at path for list row `row`, fitted into a square of `size` pixels.
    ThumbnailThread1(const QString &path, int row, QObject *receiver, int size);
    // Task 3.
    ThumbnailThread1(const QString &path, QObject *receiver);
    ~ThumbnailThread1() override;

    // The pixel budget shared by the import jobs of one run (see importOnePhoto); none by default.
    void setPixelBudget(QSemaphore *budget) { pixelBudget = budget; }
    // The run's gate (task 1); none by default.
    void setRunGate(std::shared_ptr<ImportRunGate> gate) { runGate = std::move(gate); }
    // The import type of the run (task 1): 0 photos as shot (the default), 1 finished photos, 2 designs.
    void setImportType(int type) { importType = type; }
    // The order's backup of the run, shared by its jobs (task 1, photos as shot): a photo found there was
    // imported before. None by default.
    void setBackupPhotos(std::shared_ptr<const BackupPhotos> photos) { backupPhotos = std::move(photos); }
    // The run's numbering and the photo's place in the choice (task 1, photos as shot): a photo new to the
    // order takes its name from it. The job passes it however it ends, also when it never runs.
    void setNumbering(std::shared_ptr<PhotoNumbering> run, int index)
    {
        numbering = std::move(run);
        numberingIndex = index;
    }
    // The run's record in the order folder (task 1): the files placed are counted there as they land.
    void setRunRecord(std::shared_ptr<UnsentReport::RunRecord> record) { runRecord = std::move(record); }
    // Whether the run still holds its order's claim (task 1, PhotoTask::claimHeld); none by default.
    void setClaimHeld(std::function<bool()> held) { claimHeld = std::move(held); }
    // Task 1: the job first removes what an import cut off left half written in the run's folders
    // (OrderFolders::removeDeadTemporaries); one job of a run does it.
    void setRemovesDeadTemporaries(bool removes) { removesDeadTemporaries = removes; }

    void run() override;

    void importImage();
    void makeThumbIcon();
    void checkPathExist();
    // The import's shot-time scan (see ShotTimeScan::forImport).
    static bool getPicShotTime(QString path, QString &time);
    // The icon image of a photo: fitted into size x size and squared on a white canvas; null when the
    // file cannot be read or decoded.
    static QImage iconImage(const QString &path, int size);

private:
    QString iconPath;
    int row = 0;
    QString serverDir;
    QString backupDir;
    QString newName;
    QString srcPath;
    QPointer<QObject> receiver;
    int iconSize = 0;
    int task = 0;
    QString checkPath;
    QSemaphore *pixelBudget = nullptr;
    std::shared_ptr<ImportRunGate> runGate;
    int importType = 0;
    std::shared_ptr<const BackupPhotos> backupPhotos;
    std::shared_ptr<PhotoNumbering> numbering;
    int numberingIndex = -1;
    std::shared_ptr<UnsentReport::RunRecord> runRecord;
    std::function<bool()> claimHeld;
    bool removesDeadTemporaries = false;
};
