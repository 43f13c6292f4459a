#pragma once
// Pool job that imports one file of an order into the order's folder tree and then calls its receiver's
// slot solaImgImport(QString), queued (never a receiver destroyed meanwhile).
//
// Photos (codes 0 photo as shot, 1 finished, 2 design) go through the same per-photo routine as the
// single-order import, so both write exactly the same files. Other codes are videos: 3 a trial-shoot
// video into "试拍视频/", anything else a retouched video into "精修视频/", copied without replacing a file.
// The receiver gets the target path for a trial-shoot video and the source path otherwise. A file not (or not
// wholly) placed is told first, by a queued call of onImportFailures(QStringList): one line per failure
// ("<file name>：<why>", the reason in words). A video is placed as the batch import places one: never over a
// file, the same video there already counting as placed, so the job run again after a failure places it once.

#include <QPointer>
#include <QRunnable>
#include <QString>

class CopyPicThread : public QRunnable
{
public:
    // Photos: the order folder on the photo root and on the backup root, the source, the name it gets.
    CopyPicThread(QString serverPath, QString backupPath, QString filePath, QString fileName, int type,
                  QObject *receiver);
    // Videos (a photo code given here does nothing: there is no backup folder).
    CopyPicThread(QString serverPath, QString filePath, QString fileName, int type, QObject *receiver);
    ~CopyPicThread() override;

    void run() override;
    void importImg();
    void importVideo();
    // Copies without replacing: false when the target exists or the source is missing.
    bool copyFile(QString fromPath, QString toDir);
    // The photo copy's shot-time scan (see ShotTimeScan::forPhotoCopy).
    bool getPicShotTime(QString path, QString &time);

private:
    // The failures (if any), then the end of the job, to the receiver.
    void report(const QStringList &failures, const QString &done);

    QPointer<QObject> receiver;
    QString serverPath;
    QString backupPath;
    QString filePath;
    QString fileName;
    qint32 type;
};
