#pragma once
// The worker thread of one order. Import mode (made by the batch import dialog) builds the order's
// folder tree and copies the chosen files of one import type into it, or walks the folder chosen for
// the Dovra system. Delete mode (made by the order search windows) deletes the order's photo folder and
// reports it by deleteSucceed.
//
// Lifetime: the object may only be destroyed after `finished`. Delete-mode threads delete themselves
// once they have finished (finished -> deleteLater), so callers only connect deleteSucceed and start
// them. Import-mode callers connect finished -> deleteLater themselves.
//
// How an import-mode run ends. A run of types 0 to 4 ends with exactly one of these signals:
//   hasFinishedImportSigl        every chosen file was handled (failed ones included, see below);
//   importImageThreadError       code 1: the photo root cannot be made, code 2: the backup root cannot;
//   checkOrderPicPathSigl        the order folder is missing after creation (stop state set to "no");
//                                for these two errorText() names the folder and says why in words;
//   checkDiskSizeSigl            a photo does not fit on the photo root's disk (stop state set to "no");
//   importOrderStoppedSigl       the order was refused (bad roots, date or paths, too many files) or
//                                stopped by the stop state; the text says why.
// A run of type 5 ends with exactly one of startImportDirDovraThreadSigl (the list may be empty) or
// importDirDovraThreadError (errorText() says why).
// Files that could not be written are listed by importFailedFilesSigl, emitted once directly before the
// end signal and only when something failed; failures() returns the same list afterwards. Photos that
// could not be read were kept as they are without reduced copies: unreadablePhotos() names them. Photos as
// shot the order holds already are not written again: importedBefore() counts them.
// Progress signals of one order arrive in file order, before its end signal. A run of photos or videos holds
// the order folder's claim (ImportClaim) while it places its files; while another program or desk holds it,
// the run waits (waitingForOrderSigl says for whom), and stops when its stop state says so. A claim the folder
// does not take is no failure of the order: the run goes on without it and claimNote() says so.

#include "dovrafileinfo.h"
#include "importclaim.h"
#include "importstate.h"
#include "importtype.h"
#include "photoimport.h"

#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>

class ImportOrderModel;
struct OrderRowInfo;

class ImportOrderThread : public QThread
{
    Q_OBJECT
public:
    // The most files one order's import of one type can count (the progress signals carry 16 bits);
    // a longer selection is refused.
    static constexpr int kMaxFiles = 65535;

    // What a thread reads of the program-wide state, taken in the GUI thread before the start. The
    // thread reads only these, so a shop switch or another import window during the run changes nothing
    // for it.
    struct RunSettings
    {
        QString picPath;         // the photo root (g_picPath)
        QString bakPicPath;      // the backup root (g_bakPicPath)
        QString homePicPath;     // the template root (g_homePicPath)
        QString dovraServerPath; // the order's folder on the Dovra server (g_dovraServerPath)
        QString yptbcp;          // "1": photos as shot also go into "成品/" (g_yptbcp)
        ImportStopHandle stop;   // the run's go/stop state
        // The globals as they stand, with a stop state of its own that says "go".
        static RunSettings fromGlobals();
        // The roots no deletion may take (FileOperation::removeDir).
        QStringList storageRoots() const { return {picPath, bakPicPath, homePicPath}; }
    };

    // Import mode: one order, one import type; the record is not owned and must outlive the run.
    // The thread takes RunSettings::fromGlobals() when it is made.
    ImportOrderThread(ImportOrderModel *model, ImportTypeEnum type, QObject *parent = nullptr);
    // Delete mode: deletes the row's "orderpath" folder and reports it with the row's order id. The
    // deletion guard checks against the roots of RunSettings::fromGlobals(), taken when the thread is
    // made.
    explicit ImportOrderThread(const OrderRowInfo &info, QObject *parent = nullptr);
    ~ImportOrderThread() override;

    // Delete job; run() calls it in delete mode.
    void startDelete();

    // Builds the order's folder tree under the photo root and the backup root. The folders of an order whose
    // record has none yet are made once no deletion or separation of this program keeps the order (the run
    // waits for it, and stops should the order be gone then); orderFolderMade says so. A worker thread.
    void createOrderDir(QString picPath, QString bakPath);
    // Copies the chosen files of the import type into the order's folders.
    void importOrderFiles();
    // Why the record's order folders (as they stand) may not be imported into; "" when they may.
    QString orderFoldersProblem() const;
    // Photos as shot: makes the backup's "照片/" folder of the order when it is missing below the backup root;
    // "" when it is there, else the line naming it with the reason of the first level that could not be made.
    QString makeBackupFolder(const QString &orderBakPath) const;
    // One photo of type 0, 1 or 2 / one video of type 3 or 4, handled at once on the calling thread.
    void importImage(QString orderPath, QString orderBakPath, QString filePath, QString targetName);
    void copyVideoFiles(QString orderPath, QString orderBakPath, QString filePath, QString targetName);
    // Whether the file fits on the photo root's disk beside the bytes of photos queued or being written
    // (which the free space does not show yet) / whether bytes fit on the disk holding path.
    bool judgeMemorySize(QString filePath, qint64 bytesInFlight = 0);
    bool judgeDiskSize(qint64 size, QString path);

    // Copy for the Dovra system.
    void createDovraDir(QString path);
    void copyDovraDirToSer(QString dovraDir);
    void copyDir(QString fromDir, QString toDir);
    void copyDir2(QString fromDir, QString toDir);

    // Replaces the settings taken when the thread was made; only before the start.
    void setRunSettings(const RunSettings &settings);
    const RunSettings &runSettings() const { return mRun; }

    QString mode() const { return mMode; }
    quint16 totalCount() const { return mTotalCount; }
    // Files of this run that could not be written, one line each ("<source>: <why>").
    QStringList failures() const;
    // Photos of this run that could not be read as photos (file names; "<file> → <name kept under>…"
    // for one kept beside a readable photo of its name).
    QStringList unreadablePhotos() const;
    // Files this run placed under a name that was free, in the type's folder / in the backup: what the
    // folders grew by through this run, whatever other imports did beside it.
    int placedFiles() const;
    int placedBackups() const;
    // Photos as shot of this run the order held already (found by their bytes), not written again.
    int importedBefore() const;
    // The order's claim could not be written and the run went on without one: the line saying so
    // (ImportClaim::notWrittenText), a note beside the order's result, never one of its failures; "" when the
    // claim was taken.
    QString claimNote() const;
    // The run's record in the order folder, where each file placed was counted as it landed (none before
    // the files are gone into, and for the Dovra copy); the caller ends it (RunRecord::finish).
    std::shared_ptr<UnsentReport::RunRecord> runRecord() const { return mRunRecord; }
    // Why the run ended without finishing (empty while nothing went wrong).
    QString errorText() const;

    // How many photos one order works on at the same time (at least 1). 0 picks from the machine.
    void setParallelPhotos(int count) { mParallelPhotos = count; }

signals:
    void hasImportedImgCount(quint16 done, quint16 total);
    void hasFinishedImportSigl(quint16 count);
    void importImageThreadError(quint8 errorCode);
    void checkDiskSizeSigl(QString picPath);
    void checkOrderPicPathSigl();
    void deleteSucceed(QString mOrderid, QString deleteDir);
    // Delete mode: the folder did not go (the deletion guard refused it, it was gone, or something in it
    // stayed); why says so (FileOperation::removeDir).
    void deleteRefused(QString mOrderid, QString deleteDir, QString why);
    void importDirDovraThreadError();
    void importDirDovraThreadSigl(QString picPath);
    void startImportDirDovraThreadSigl(QList<DovraFileInfo> list, QString toDir);
    void emit_msg(QString str);
    // The order was refused or stopped before its end; reason is a message for the user.
    void importOrderStoppedSigl(QString reason);
    // Files of the order that could not be written; emitted once, right before the order's end signal.
    void importFailedFilesSigl(QStringList failures);
    // The run waits while another program or desk imports the order (ImportClaim): why, for the row's bar;
    // "" once it goes on.
    void waitingForOrderSigl(QString why);
    // The run made the folders of an order whose record had none (createOrderDir): the record names them now.
    void orderFolderMade();

protected:
    void run() override;

private:
    void resetRun();
    void addFailures(const QStringList &lines);
    // Counts what one file's import placed; unreadableFile names a file that could not be read as a photo.
    void addPlaced(const PhotoOutcome &outcome, const QString &unreadableFile, const QString &targetName);
    // Marks the run as ended and sends the failures; false when it had ended already (only the first
    // end of a run is emitted).
    bool beginEnd(const QString &why);
    void endFinished();
    void endStopped(const QString &reason);
    // The root's text with the reason in words (error: errno of the failed call).
    void endImageError(quint8 code, int error);
    void endDiskFull(const QString &filePath);
    void endDovraError(const QString &why);

    void driveInOrder(const QStringList &files, const QStringList &targets, const QString &orderPath,
                      const QString &orderBakPath);
    void drivePhotos(const QStringList &files, const QStringList &targets, const QString &orderPath,
                     const QString &orderBakPath, int threads);
    void reportFileDone();
    // Takes the order folder's claim, waiting while another program or desk holds it; false when the run
    // ended meanwhile (stopped, or the claim refused).
    bool takeOrderClaim(const QString &orderPath, std::shared_ptr<ImportClaim::Hold> *hold);
    // Waits while a deletion or separation of this program keeps the order folder (orderPath, perhaps not
    // made yet) away from imports, its bar saying so; making (when it returns true) counts this run as at work
    // in the folder from then on, so that such a tool beginning meanwhile does not go on. false: the run has
    // ended (stopped, or the order gone once the tool was done).
    bool waitUntilNotKept(const QString &orderPath, std::unique_ptr<ImportClaim::Working> *making);
    // One step of either wait: the bar says for whom (waiting: what it says now), then a short sleep; false
    // when a stop ended the run meanwhile.
    bool waitAWhile(const ImportClaim::Taking &taking, QString *waiting);
    bool stopRequested() const;
    // Sets the run's stop state (and the program-wide record) to "no".
    void stopRun();

    static bool dovraServerPathOk(const QString &path, QString *why);
    void walkDovra(const QString &fromDir, const QString &toDir);

    RunSettings mRun;
    ImportOrderModel *mModel = nullptr;
    ImportTypeEnum mImportType = ImportFinishedPhotos;
    quint16 mTotalCount = 0;
    quint16 mImportedCount = 0;
    QList<DovraFileInfo> mDovraFileList;
    QString deleteDir;
    QString mMode;
    QString mOrderid;

    QString mDovraSource; // chosen folder, cleaned
    QString mDovraTarget; // server path + "/" + the chosen folder's name
    QSet<QString> mVisitedDirs;

    int mParallelPhotos = 0;
    QString mBackupFolderProblem; // photos as shot: why the backup folder is missing ("" when it is there)
    std::shared_ptr<const BackupPhotos> mOrderPhotos; // photos as shot: the order's, looked up by their bytes
    std::function<bool()> mClaimHeld;                 // whether the run still holds the order's claim
    std::shared_ptr<UnsentReport::RunRecord> mRunRecord;
    bool mEnded = false;
    mutable QMutex mLock; // guards mFailures, mUnreadable, mErrorText, mClaimNote and the placed counts
    QStringList mFailures;
    QStringList mUnreadable;
    QString mErrorText;
    QString mClaimNote;
    int mPlacedFiles = 0;
    int mPlacedBackups = 0;
    int mImportedBefore = 0;
};
