#pragma once
// One file of an order's copy for the Dovra system, copied on a pool thread. The job reports to the
// import dialog only by queued calls of the dialog's slots by name:
//   slt_dovrathreadmsg(QString)                         what the copy did about the target folder;
//   importCopyDovraFailedSlot(int, QString, QString)    row, source, why: the file was not copied;
//   importCopyDovraKeptSlot(int, QString)               row, target: a different file of the same name
//                                                       was there and is kept; the file counts as copied;
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
    // existing target is never replaced and counts as copied: when it holds other bytes than the source,
    // *kept (if given) is set. False when the copy failed and nothing is at the target; *why (if given)
    // then says why.
    bool copyFile(QString fromFile, QString toFile, QString *why = nullptr, bool *kept = nullptr);

private:
    void report(const char *slot, const QString &text);

    int row;
    int currentCount;
    int totalCount;
    QString toDir;
    DovraFileInfo fileInfo;
    QObject *receiver;
};
