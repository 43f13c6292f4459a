#pragma once
// Pool job that downloads an order's photos from the storage into a local folder.
//
// When the source folder holds a sub-folder of camera-raw files (.cr2 / .nef), each raw file is copied
// under the name of the photo shot at the same moment (found in the order's shot-time list, else by
// scanning the photos of the source folder) and the raw files are then moved out of the storage: a raw
// file is removed only once its own copy (a target no other raw of the run used, of the same size),
// written and flushed to the disk by this run, has its name on the disk too (all copies first, side by
// side, then the removals), and the raw sub-folder only when nothing is left in it. Without a raw
// sub-folder every file of the source folder is copied under its own name. A file already in the local
// folder is never replaced by other bytes: the copy takes the next free "(n)" name, and a file there with
// the same bytes counts as the copy (for a raw, once it has been written afresh). Raw copies that found no
// room on the disk are tried again one at a time after the others, so that what fits lands. A raw that
// another download into the same folder took from the storage meanwhile counts as downloaded when that
// run's copy (its name, its size) is there, and a raw sub-folder that run removed is no failure. The
// message's first line counts the files downloaded and those not, which the lines below it name, each
// failed copy with its reason in words.
//
// The job is made on the GUI thread: it takes the storage roots then, for the guard in front of the raw
// sub-folder's removal.
//
// Reports go to the receiver by its slots onDownloadProcess(int max, int value) and
// onDownloadFinish(bool isSuccess, QString tip), queued, and never to a receiver destroyed meanwhile.

#include <QList>
#include <QPair>
#include <QPointer>
#include <QRunnable>
#include <QString>
#include <QStringList>

class CR2DownloadRunnable : public QRunnable
{
public:
    CR2DownloadRunnable(QObject *receiver, QString sourceDir, QString targetDir, QString pairsText);
    ~CR2DownloadRunnable() override;

    void run() override;

    // The download; message gets the text for the user. False when nothing could start or anything failed.
    bool downLoad(QString sourceDir, QString targetDir, QString &message);
    // Refills the pair list from a shot-time list text.
    void parseRedirectPairs(const QString &text);
    // True when the folder exists and lists more than "." and "..".
    static bool dirHasEntries(const QString &path);
    // The first sub-folder (one level down) holding a .cr2 or .nef file, in any letter case.
    static bool findRawDir(const QString &folder, QString &rawDir);
    // The raw files' shot-time scan.
    static bool getPicShotTime(const QString &path, QString &time);
    // The name the raw file gets: a pair's photo name, else the base name of the first photo of the
    // folder shot at the same time, else defaultName. A raw without a shot time always gets defaultName.
    QString findPicNameByShotTime(const QString &photoDir, const QString &rawPath, const QString &defaultName);

    QList<QPair<QString, QString>> pairs() const { return pairList; }

private:
    void progress(int max, int value);
    // The photos of the folder with their shot times, scanned once per job.
    const QList<QPair<QString, QString>> &photoTimes(const QString &photoDir);

    QString sourceDir;
    QString targetDir;
    QPointer<QObject> receiver;
    QString pairsText;
    QStringList storageRoots;
    QList<QPair<QString, QString>> pairList;

    QString scannedDir;
    bool scanned = false;
    QList<QPair<QString, QString>> scannedPhotos; // (base name, shot time) of readable files
};
