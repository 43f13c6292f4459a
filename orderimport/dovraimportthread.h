#pragma once
// One file of an order's copy for the Dovra system, copied on a pool thread. The job reports to the
// import dialog only by queued calls of the dialog's slots by name:
//   slt_dovrathreadmsg(QString)                         what the copy did about the target folder;
//   importCopyDovraFailedSlot(int, QString, QString)    row, source, why: the file was not copied;
//   importCopyDovraProgressSlot(int, int, int, QString) row, position, count, target folder: done.
// The failure report, when there is one, comes before the progress report of the same file.
//
// The receiver is not owned. It must outlive the job: the dialog runs its jobs on a pool of its own
// and waits for that pool before it goes away.

#include "dovrafileinfo.h"

#include <QObject>
#include <QRunnable>
#include <QString>

class DovraImportThread : public QRunnable
{
public:
    DovraImportThread(int row, int currentCount, int totalCount, QString toDir, DovraFileInfo fileInfo,
                      QObject *receiver);
    void run() override;
    ~DovraImportThread() override;

    // Copies the file and reports to the receiver.
    void importFile();
    // Copies source to target, making the target's folder with all parents when it is missing. An
    // existing target is never replaced: it counts as copied when it holds the same bytes as the source
    // (a copy that was made before), otherwise the copy fails. False when nothing usable is at the
    // target; *why (if given) then says why.
    bool copyFile(QString fromFile, QString toFile, QString *why = nullptr);

private:
    void report(const char *slot, const QString &text);

    int row;
    int currentCount;
    int totalCount;
    QString toDir;
    DovraFileInfo fileInfo;
    QObject *receiver;
};
