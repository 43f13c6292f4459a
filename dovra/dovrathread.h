#pragma once
// The worker thread of the link to the Dovra photo-selection system. One run does one job, chosen by
// `mode`, which the owning window writes together with the job's inputs before it starts the thread:
//   "stores"            which stores' Dovra folders this computer reaches (the tool window); only an
//                       absolute folder counts, as only such a folder is written by "xml";
//   "xml"               the staff (dataType 0) or product (1) list as XML into every store's folder
//                       (the sync dialog);
//   "exportDovraresult" the finished selections of the ticked orders into a dated export tree
//                       (the export dialog).
//
// The thread has no signals. It reports only by queued calls, by name, of the receiver's slots:
//   slt_dovrastores(QJsonArray reachable, QString unreachableNames)   once per store check;
//   slt_threademit(QJsonObject)        "数据配置完成", then one "门店数据导入成功" per store and
//                                      "全部导入成功" for the last one, each naming its "store" and
//                                      whether its file was "written"; every one carries the "run";
//   slt_exportDovraResult(QJsonObject) "update_msg" progress lines, then one "all_finish" report.
//
// The receiver is not owned. A report reaches it only while it lives: the call is made on the GUI thread
// and dropped there once the receiver has gone. The export window passes itself as receiver and parent
// and stops and waits for its thread before it goes; a store check runs unowned (startUnowned) and a sync
// the user cancels or leaves is abandoned (abandon): neither is waited for by its window. Only the XML job
// looks at the stop flag, between stores; the store check and the export always run to their end.

#include "orderrecords.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <memory>

class WindowGuard;

class Dovrathread : public QThread
{
    Q_OBJECT
public:
    Dovrathread(QObject *receiver, QObject *parent);
    ~Dovrathread() override;

    // ---- inputs, written by the owner while the thread is not running ----
    QString mode;
    int dataType = 0;          // "xml": 0 staff, 1 products
    QJsonArray datas;          // "xml": the list to write
    QJsonArray stores;         // "stores": the stores to test; "xml": the stores to write into
    QString exportRoot;        // "exportDovraresult": the export root folder
    QList<OrderRowInfo> orders; // "exportDovraresult": the dialog's rows, ticked or not
    // The switches of the shop the export is for, given at its start.
    QString downloadAll; // "dovraisdownloadall": "0" restricted copy, "1" design data exported too
    QString bigImg;      // "dovrabigimg": "1" copies the order's finished photo in place of Dovra's
    int runTag = 0;      // "xml": the owner's number for this run, carried by every report under "run"

    std::atomic<bool> stopRequested{false};
    QString currentOrderDir; // the order being exported (worker only)
    QString xmlStr;          // the last finished staff or product document (worker only)
    QObject *receiver;

    // Asks a running XML job to end at its next check; returns at once.
    void stop();
    // stop(), then waits without a time limit until the run has returned (the owners' way to end it).
    void stopAndWait();
    // The export's start: waits for the end of a previous run (whose last report may have arrived
    // already), sets the inputs and the shop's two Dovra switches and starts the thread.
    void startExport(const QString &root, const QList<OrderRowInfo> &rows, const QString &shopDownloadAll,
                     const QString &shopBigImg);
    // Starts a run that no window waits for (the thread must have no parent): the thread deletes itself
    // once it has ended, and the program's end waits for it at most kEndWaitMs.
    void startUnowned();
    // stop(), and the thread no longer belongs to its window: the window goes on (or goes) at once, while
    // the store in hand is finished; the thread then deletes itself, and the program's end waits for it at
    // most kEndWaitMs. Its reports reach nobody any more. GUI thread; the caller drops its pointer.
    void abandon();
    // Waits for the unowned runs still going, at most ms in all; true when none is left. GUI thread.
    static bool waitForUnowned(int ms);
    static constexpr int kEndWaitMs = 3000;

    // ---- the jobs, on the worker thread ----
    void checkStorePaths();
    void buildStaffXml();
    void buildProductXml();
    void writeToFile();
    void exportSelectionResults();

    // What a folder copy did with the files it tried.
    struct CopyCount {
        int copied = 0;
        int alreadyThere = 0; // the same bytes were in the target already
        int failed = 0;       // not copied; an existing target with other bytes stays as it is
        QStringList keptOther; // the targets of those failed ones that hold other bytes and were kept
        QList<QPair<QString, QString>> firstFailures; // the first other failures: target, "（reason）"
    };
    // Copies the folder tree source into target (created with its parents), under the shop's restricted
    // mode and big-image substitution; never replaces a file. One "正在拷贝" line per file tried.
    CopyCount copyDirectory(const QString &source, const QString &target);

    bool emitExportResult(const QJsonObject &obj);
    void sendUpdateMsg(const QString &text);

    // The export's folder names from an order's web text: the order's folder below the dated folder,
    // "K-服务次T C" cleaned as one name, and the design folder's path below it, each part of the relative
    // Dovra path cleaned (empty and ".." parts dropped), the last one carrying the design suffix. The
    // export checks each name (isSafeName) before it joins it.
    static QString orderFolderName(const OrderRowInfo &row);
    static QString designFolderPath(const QString &relPath);

protected:
    void run() override;

private:
    void buildXml(int type);
    void sendThreadReport(QJsonObject obj);
    void copyTree(const QString &source, const QString &target, QStringList &walk, CopyCount &count);

    void goUnowned(); // deletes itself once ended; the program's end waits for it
    std::shared_ptr<WindowGuard> m_reports; // posts to the receiver while it lives
    QHash<QString, QString> m_finished;    // the order's finished photos during a copy: name key -> path
};
