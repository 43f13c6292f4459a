#pragma once
// The single-order import window: imports the photos as shot ("照片"), the finished photos ("成品") or the
// designs ("设计") of the order it was made for into the order's folders on the photo storage, with
// upright main files, reduced copies, list icons, a backup of the photos as shot and the order's shot-time
// list, and reports the folder and the counts to the web service.
//
// Each type switch asks the web service where the order's folders lie, tests the folder off the GUI
// thread (CheckDirThread), reads the append names back from it and lists the photos imported so far with
// their icons. "选择照片" picks photos (photos as shot get running names after the highest number in the
// order's "照片/" folder); "导入" creates the order folder tree when the order has none yet, claims the order
// folder (ImportClaim: while another program or desk imports the order, the bar says so and the run waits),
// and runs one import job per photo on the window's own pool. A photo as shot the order holds already keeps its name
// there; only the new ones take the names planned, in the order they were chosen (PhotoNumbering).
//
// The window is given its order when it is made and keeps it and its import type to itself: a window
// opened for another order meanwhile changes nothing here, and nothing of this window reaches another.
// A run takes its order (id, order number, type, folders) when it starts and reports with those.
//
// The jobs report through a guard, so they never reach a destroyed window, and through their run, so a
// late report never counts for another run. Closing the window drops the jobs not yet started (asking
// first while an import runs); the photos under way still report, and the run ends with the last of them
// (shot-time list written, counts posted). The window's destruction waits for the photos under way.
//
// The counts of a run wait in the order folder, as the batch import keeps them (UnsentReport): counted
// there as each photo lands (a run cut off by a power cut leaves them there), carried by the end report
// together with what earlier imports of the order and type (in either import, on any desk) still owe, and
// removed once the web service took it; what
// the order owes for the other two types goes beside it, each in a report of its own type. The end reports
// go when the last photo is in, before the end box, which then says whether the service took them; one it
// did not take, or a record whose claim was refused, waits for the next import of the order. Counts the
// order folder cannot keep stay with the window for its next report of the order. Closing the window while
// the order owes a report, or while the end reports are out, asks first; a window closed during its run or
// with its end reports out keeps the finishing notice (FinishingNotice) until they are answered. A run still
// under way when the program ends (its window closed) or the window goes ends with the photos under way,
// and what it placed waits in the order folder likewise.
// The window emits showSearch() when it closes and refreshSearchTable() when the web service accepted a
// new photo date.

#include "shopsettings.h"
#include "unsentreport.h"

#include <QFileInfo>
#include <QHash>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QSemaphore>
#include <QSet>
#include <QStringList>
#include <QThreadPool>

#include <memory>

namespace FinishingNotice {
class Hold;
}
namespace ImportClaim {
class Hold;
}

class BackupPhotos;
class IconListing;
class ImportRunGate;
class ImportRunReports;
class QAction;
class QButtonGroup;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QModelIndex;
class QNetworkAccessManager;
class QNetworkReply;
class QStandardItemModel;
class Ui_ImportPhotoToServer;

// The order an import window works for, handed to it when it is made.
struct SingleImportOrder {
    QString orderPhotoId;   // "order_photo_id"
    QString orderPayForKey; // the order number
    QString serviceTimes;
    QString shotDate; // yyyy-MM-dd
    QString customerName;
    QString role1; // photographer
    QString role2; // make-up artist
};

class ImportPhotoToServer : public QMainWindow
{
    Q_OBJECT
public:
    // The window works for the order and the shop its opener gives; every request carries their ids.
    ImportPhotoToServer(const SingleImportOrder &order, QWidget *parent, const ShopSettings &shop);
    const ShopSettings &shop() const { return m_shop; }
    ~ImportPhotoToServer() override;

    // ---- naming (static: the same rules wherever a name is made or read back) ----
    // The running number of a photo: the run of digits that ends its base name ("DSC_042" 42, "IMG_0007"
    // 7, "x-1000" 1000); 0 without one.
    static int photoNumberOf(const QFileInfo &file);
    // Highest running number among the "*.jpg" files of a folder (0 for none or a missing folder).
    static int highestPhotoNumber(const QString &folder);
    // The order prefix of a shot date yyyy-MM-dd: the month without a leading zero, then the day as
    // written ("2024-05-06" -> "506"); "" unless the date has exactly three "-" parts.
    static QString orderPrefixOf(const QString &shotDate);
    // A new name of a photo as shot: prefix and order number, "-", the append name and "-" when there is
    // one, the number (at least three digits), ".jpg". Web and typed text are made file-name safe.
    static QString newPhotoName(const QString &prefix, const QString &orderNumber, const QString &appendName, int number);
    // The order folder's name: prefix and order number, "-" and the append name when there is one, "-"
    // and the service count.
    static QString orderFolderName(const QString &prefix, const QString &orderNumber, const QString &appendName,
                                   const QString &serviceTimes);
    // The folder append name read back from an order folder's name; false when the name holds none.
    static bool appendNameOfFolder(const QString &folderName, const QString &serviceTimes, QString *appendName);
    // The photo append name read back from a photo's file name ("x-abc-001.jpg" -> "abc").
    static bool appendNameOfPhoto(const QString &fileName, QString *appendName);

    // ---- steps (called by the slots and by tests) ----
    void queryOrderPath();
    void writeOrderAppendPath();
    void refreshImportedList(QString path);
    void refreshTableView();
    void startThumbJobs(QStringList paths);
    void showThumbList(QStringList paths);
    // Ends the loading state of the type buttons; with wait, once the current listing's icons are in.
    void refreshBtn(bool wait);
    int countJpgFiles(QString dir);
    QString currentTimeString();
    void queryServerPath();
    // Builds the order folder tree on both roots and sets orderPath / orderBakPath; false (the user told
    // why) when the order folder could not be made.
    bool createOrderDir(QString serverRoot, QString backupRoot);
    // Claims the order folder (ImportClaim), waiting while another program or desk imports the order (a line
    // under the bar says for whom; closing the window stops the wait), then starts the run.
    void import();
    void postOrderPath(QString orderFolder, int picCount, int bakCount);
    void postOrderPath_2(QString orderFolder);
    bool writeImageTimeFile(QString text);
    void postPhotoDate();

    // ---- state, for the opener and tests ----
    QString currentOrderPath() const { return orderPath; }
    QString currentOrderBakPath() const { return orderBakPath; }
    QStringList chosenPhotoNames() const { return *newPhotoNames; }
    bool isLoading() const { return m_loading; }
    // True from "导入" until the run's end report is answered.
    // (Also while it waits for another program or desk importing the order.)
    bool isImporting() const { return m_running || m_reportOut || m_claimWaiting; }
    QThreadPool *pool() { return &m_pool; }
    QLabel *loadingLabelWidget() const { return loadingLabel; }
    QListWidget *thumbListWidget() const { return thumbList; }

signals:
    void showSearch();
    void refreshSearchTable();

public slots:
    void updateThumbIcon(int index, QPixmap pic);
    void onIsPathExist(bool exist);
    void importBtnAction();
    void clickImportPhoto();
    void clickSelectPhoto();
    void clickClearPhoto();
    void selectRow(const QModelIndex &index);
    void selectItem(QListWidgetItem *item);
    void onFinishImportImage(QString imageTime);
    void submitPicPath(QNetworkReply *reply);
    void backServerPath(QNetworkReply *reply);
    void backOrderPath(QNetworkReply *reply);
    void openSelfPhotoDir();
    void openOrderPhotoDir();
    void delListPhotoAction();
    void delListFiles(const QStringList *files);
    void tableShowMouseRightButton(const QPoint);
    void listShowMouseRightButton(const QPoint);
    void on_reimportButton_clicked();
    void on_refreshPushButton_clicked();
    void on_pushButton_photodate_clicked();
    void on_newPhotoDateDate(QString date);
    void queryPostPhotoDate(QNetworkReply *reply);
    void on_lineEdit_folderAppendName_textChanged(QString arg1);
    void on_lineEdit_folderAppendName_editingFinished();
    void on_lineEdit_picAppendName_editingFinished();
    void submitPicPath_2(QNetworkReply *reply);
    // The failures of one import job, before its onFinishImportImage.
    void onImportFailures(QStringList failures);
    // A photo of an import job that could not be read (copied as it is, no reduced copies), named by its
    // source and the name it has in the order ("ZERO_03.jpg → 1205E5520-005.jpg"), before its
    // onFinishImportImage.
    void onUnreadablePhoto(QString name);
    // The name the run's numbering gave a photo of an import job ("" for none) and the name it got in the
    // order ("" when it was not placed), whether its main file and its backup are new files, and whether the
    // order held it already (nothing written), before its onFinishImportImage.
    void onPhotoPlaced(QString planned, QString given, QString placed, bool mainAdded, bool backupAdded,
                       bool importedBefore);

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    friend class IconListing;
    friend class ImportRunReports;

    // The order a report is made for.
    struct ReportedOrder
    {
        QString id;        // "order_photo_id"
        QString key;       // order number and service count, as a box names the order
        int type = 0;      // import type
        QString folder;    // the order folder on the server storage
        QString bakFolder; // and on the backup storage
    };
    ReportedOrder windowOrder() const;
    static QByteArray pathReportBody(const ShopSettings &shop, const ReportedOrder &order, const QString &orderFolder,
                                     qint64 picCount, qint64 bakCount);
    void postPathReport(const ReportedOrder &order, const QString &orderFolder, int picCount, int bakCount);
    // One report of a run's end: of the run's type, or of another photo type the order owes counts for.
    struct EndReport
    {
        int type = 0;
        bool sent = false;
        UnsentReport::Counts posted; // what it counts
        UnsentReport::Counts held;   // records of the type whose claim was refused: they wait, not posted
        int heldError = 0;           // why the file system refused it (errno)
        QString why;                 // why the web service did not take it ("": taken)
        bool maybeTaken = false;     // not taken: it went out whole and no answer came (sentWithoutAnswer)
        QStringList stuck;           // records it carried that stay though the service took it
    };
    // Ends the run's record in the order folder (its files were counted there as they landed) with what the
    // window kept of earlier runs, claims what the order folder owes of the run's type and posts the end
    // report carrying it all, and a report of its own for each other photo type the order owes
    // (UnsentReport::carriedWith); once all are answered, endReportAnswered has them, the run's first. The
    // file work in the order folder runs off the GUI thread; the reports are posted, and their records
    // settled, even when the window has gone meanwhile.
    void sendEndReport();
    void endReportAnswered(int serial, const QList<EndReport> &reports);
    // The question before the window closes while its order owes the web service a report; true to close.
    // reportOut: the end report is out and not answered yet.
    bool confirmOwedReports(bool reportOut = false);
    QString windowOwedKey(int type) const;

    void initTableView();
    void initListWidget();
    void initImportButtons();
    QNetworkReply *post(const QString &url, const QByteArray &body, void (ImportPhotoToServer::*slot)(QNetworkReply *));
    // A reply of the web service: false after a network error, a body that is not JSON (notJsonText shown) or
    // a code other than "1" (shown as refusalText and the code).
    bool readAcceptedReply(QNetworkReply *reply, QJsonObject *obj, const QString &notJsonText,
                           const QString &refusalText = QStringLiteral("错误代码："));
    // The lookup ended (well or not): the loading label goes, the buttons come back.
    void endLookup(bool releaseNow);
    void iconsIn();
    void releaseTypeButtons();
    void restoreAfterRunStart();
    // Gives the chosen photos as shot running numbers after the highest one in the order folder (as the run's
    // look-up holds it, when it has one).
    void renumberChosenPhotos();
    void finishRun();
    // Takes the order folder's claim for the import started in round, and starts the run once it has it.
    void claimOrder(int round);
    // The line under the bar (and the bar's tooltip): what the import waits for, whole; hidden when empty.
    void showWait(const QString &words);
    void startRun();
    // Ends a run under way at once (the program ends, the window goes): the photos under way are waited
    // for, and what the run placed is kept in the order folder for the next import of the order.
    void keepRunUnderWay();
    // The imported-photo caption of the run's type with the given count.
    void showImportedCount(int count);
    // A photo of the run starts / stops waiting for another import of the order placing the same photo: the
    // bar says so while one waits.
    void onWaitingForOther(bool waiting);
    void updatePhotoDateButton();
    QString typeFolder() const;

    QButtonGroup *importTypeGroup = nullptr;
    bool picAppendNameEdited = false;
    int orderPhotoCount = 0;
    QAction *tableOpenDirAction = nullptr;
    QAction *listOpenDirAction = nullptr;
    QAction *listDeleteAction = nullptr;
    QMenu *tableMenu = nullptr;
    QMenu *listMenu = nullptr;
    Ui_ImportPhotoToServer *ui = nullptr;
    QStandardItemModel *tableModel = nullptr;
    QStringList *newPhotoNames = nullptr;
    QStringList selectedPhotoPaths;
    QListWidget *thumbList = nullptr;
    QLabel *loadingLabel = nullptr;
    QString orderPath;
    QString orderBakPath;
    QString serverPath;
    QString backupPath;
    QString selectDirPath;
    QString picAppendPart;
    int importedCount = 0;
    int oriOrderPicCount = 0;
    int oriBackPicCount = 0;
    QPointer<QNetworkAccessManager> manager;
    QString imageTimeText;

    // Beside the members above.
    // The order the window was opened for.
    QString m_orderId;
    QString m_orderNumber;
    QString m_serviceTimes;
    QString m_shotDate;
    int m_type = 1;
    ReportedOrder m_run; // the running (or last) import's order, taken when it started
    QString m_chosenPrefix;      // prefix and order number the chosen photos as shot were named with
    int m_firstChosenNumber = 0; // running number of the first of them
    QString m_choiceFolder;       // the order folder the current choice was imported into
    QSet<QString> m_choiceNames;  // the names it wrote there (file-system case): a retry keeps its names
    int m_lookupSerial = 0;      // only the latest order-folder lookup acts
    bool m_lookupOk = false;     // the latest lookup ended with an answer
    bool m_loading = false;
    bool m_releaseAfterIcons = false;
    IconListing *m_iconListing = nullptr;
    bool m_running = false;
    bool m_claimWaiting = false; // "导入" waits for the order folder's claim
    int m_claimRound = 0;        // only the latest wait acts
    std::shared_ptr<ImportClaim::Hold> m_claim; // held from the run's start until its photos are in
    QString m_runClaimNote; // the claim could not be written, the run went on without it: a note, no failure
    QStringList m_runFailures;
    QStringList m_runUnreadable;
    QStringList m_runPlanned;    // the names the run's photos were planned under, in the order of the choice
    QStringList m_runRenumbered; // "planned → placed" of the photos that got another number in this run
    int m_runImportedBefore = 0; // photos the order held already
    int m_runMainAdded = 0;      // new files the run placed in the type folder
    int m_runBackupAdded = 0;    // and in the backup
    // The run's record in the order folder: its jobs count each file there as it lands.
    std::shared_ptr<UnsentReport::RunRecord> m_runRecord;
    ImportRunReports *m_runReports = nullptr; // the running import's jobs report here, and only it counts
    std::shared_ptr<ImportRunGate> m_runGate;
    // The running import's look-up of the order's photos as shot: its one listing of "照片/" and of the
    // backup's, with what was placed since, gives the running numbers and the counts before and after.
    std::shared_ptr<const BackupPhotos> m_runPhotos;
    int m_expectedReports = 0;
    int m_waitingForOther = 0;    // photos of the run waiting for another import of the order
    bool m_reportOut = false;     // the run's end report is posted, its answer (and the end box) awaited
    int m_reportSerial = 0;       // the latest end report; only its answer ends the run
    // The run's start report ("updatepicpath2"): the run does not wait for it, its end reports do.
    QPointer<QNetworkReply> m_startReport;
    // It went out whole and no answer came (sentWithoutAnswer): the service may take it after the end report,
    // and the end box says so.
    bool m_startUnanswered = false;
    bool m_endPosted = false;     // the end reports of the latest run are posted (not waiting for the start)
    QString m_runCountsText;      // the counts before and after, for the end box
    QString m_runUnrecorded;      // why the run's counts could not be kept in the order folder ("": they were)
    QStringList m_runDamaged;     // records in the order folder with counts no import makes, passed over
    QStringList m_runWaiting;     // counts another program's report carries now, and when they go
    // Counts the order folder could not keep, by order folder and type (windowOwedKey): the next end report
    // of that order from this window carries them.
    QHash<QString, UnsentReport::Counts> m_windowOwed;
    bool m_closingRun = false;    // the window closed during the run: it ends without its box
    bool m_deleteAfterRun = false; // and the window, deleted on close, goes after it
    std::shared_ptr<FinishingNotice::Hold> m_finishing; // the notice while its photos under way are finished
    QSemaphore m_pixelBudget;
    ShopSettings m_shop; // its home-template root as the storage-root reply gives it
    // Declared last: destroyed first, so no job of the window outlives what it works with.
    QThreadPool m_pool;
};
