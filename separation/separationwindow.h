#pragma once
// What the two separating order windows ("设计分件" and "样后分件") share: the run that takes the ticked
// orders one after another. For each order the run fetches its goods, makes the dated order folder,
// checks the goods' photos and copies the order's finished photos (with their camera-raw siblings);
// then the window goes on with what it adds, and the order ends through separateNextOrder(), which
// takes the next ticked order or, after the last, shows the report of the run.
//
// A window derives from SeparationWindow, sets its rules in its constructor and gives the points where
// it differs: how it reads the goods, the folders inside the order folder, its further photo lists and
// what follows the finished copies.

#include "expresshtml.h"
#include "folderindex.h"
#include "importclaim.h"
#include "ordersearchwindowbase.h"
#include "separatethread.h"
#include "separationclaim.h"
#include "worksheet.h"

#include <QHash>
#include <QPair>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class BarcodeDownload;
class QElapsedTimer;
class SeparationAttempt;
class QJsonObject;

class SeparationWindow : public OrderSearchWindowBase
{
    Q_OBJECT
public:
    // The findings of the current (or last) run.
    QList<SeparateMessageInfo> messageList() const { return m_messageList; }
    bool isSeparating() const { return runActive(); }

public slots:
    // Reports of the separation jobs (SeparateThread), by name.
    void fenjian_photoIsFileSlot_1(int num);
    void fenjian_finalPhotoSlot_2();
    // The order's finished photos with their crop information, listed by the crop job.
    void fenjian_analysisPhotoInfo(QList<Image> finishedPhotos);
    // Report of the work-sheet thumbnail job (ThumbnailThread).
    void onFinishSaveThumb();
    // Reports of the sheet jobs: what the sheet shows from disk is gathered; both sheets are printed.
    void onSheetPrepared();
    void onSheetsPrinted();

protected slots:
    // One step of the current order is done: the progress bar moves on.
    void onFinishSeparateImage();

protected:
    SeparationWindow(QWidget *parent, const ShopSettings &shop);

    struct SeparationRules {
        bool goodsIsQu = true;      // the goods request ends with "&is_qu=1"
        bool listDotEntries = true; // the listing of "成品/" holds "." and ".." (each gets a copy job)
        bool copyRaws = false;      // finished copies take their camera-raw siblings whatever the shop says
                                    // (otherwise as the shop's raw-copy switch says)
        bool hideBarcode = false;   // "条形码.jpg" is hidden even when it is new
        WorkSheetKind sheetKind = WorkSheetKind::Separation;
    };
    void setSeparationRules(const SeparationRules &rules) { m_rules = rules; }
    // Closing during a run asks first; "No" keeps the window and its run.
    void closeEvent(QCloseEvent *event) override;

    // ---- what a window gives ----
    // Reads the goods reply ("code" checked) into m_orderGoodsList and whatever else the window keeps.
    // Returns why the order's folders cannot be made from it ("" when they can).
    virtual QString readGoods(const QJsonObject &reply) = 0;
    // The folder between the order folder and the work folder ("" or e.g. "其它/"), and the folders made
    // inside the work folder.
    virtual QString workSubFolder() const { return QString(); }
    virtual QStringList workFolders() const;
    // Further photo lists of the order, taken when the checks are in (they count in the progress).
    virtual QStringList rejectedPhotos() const { return QStringList(); }
    virtual QStringList markedPhotos() const { return QStringList(); }
    // Every finished photo has been copied.
    virtual void finalPhotosCopied() = 0;
    // True when a progress step that reaches the bar's maximum ends the order.
    virtual bool orderComplete() const { return false; }

    // ---- the run ----
    // The click on "开始分件": refused during a run, without ticked rows or with a save folder that does not
    // exist; after a run that ended early with every ticked row taken, the rows are offered afresh.
    void startSeparation();
    // Takes the next ticked row not yet taken and asks for its goods; true when there is none.
    bool startNextOrder();
    // The order is done: counts it and takes the next one, or ends the run with its report.
    void separateNextOrder();
    // A reply of the run: true, with *obj, for a JSON object whose "code" is "1". Otherwise the user is told
    // (a network error, a reply that cannot be read, or errorPrefix and the code) and the run ends here
    // (endRunEarly).
    // The reply is logged after logLabel.
    bool acceptRunReply(QNetworkReply *reply, const QString &errorPrefix, QJsonObject *obj, const char *logLabel);
    // The current order cannot be finished: the run ends here. The order is offered again by the next
    // start, and the report of what the run did so far (its orders' findings, this order named with why,
    // and the ticked orders not started) is shown when the run did anything. The progress bar stays where
    // the order stopped, saying so.
    void endRunEarly(const QString &why);
    // The current order's names cannot be made folder names (why says which): the user is told, nothing
    // is written for the order, and the run ends there (endRunEarly).
    void refuseOrder(const QString &why);
    // The report box of the run's findings.
    void showReport();
    // The row of the current order is no longer taken.
    void untakeCurrentOrder();
    // The report's default file: save folder, today's date, then separateReportName().
    QString reportFileName() const;
    // The current order's folder is claimed for the run (SeparationClaim), and still was when its claim was
    // last read: no other desk writes into it. No file is read.
    bool orderFolderClaimed() const;
    // The current order's folder is a full path the run may read from.
    bool orderPathUsable() const;
    // The entries of a folder of the order, as the window lists them (names()); a missing folder lists
    // nothing. The folder is listed once.
    FolderIndex listing(const QString &folder) const;
    // One copy job (SeparateThread of the type) per name, from the folder `from` into the folder `to`,
    // replacing what is there; finished photos take their camera-raw siblings when the rules say so.
    void startCopies(const QStringList &names, const QString &from, const QString &to, SeparateThread::Type type);
    // A copy of the stage's list has reported (none has when the list is empty): counts it in *reported
    // and moves the progress on. True once every copy of the list has reported.
    bool copyReported(const QStringList &list, int *reported);
    // Calls start(i) for every i from 0 to count - 1 (each starts one job of the order), as many as take a
    // few milliseconds in each turn of the event loop: starting the ten thousand jobs of a large order never
    // holds the window. What is left is not started once the run has ended or gone on to another order.
    void startInSlices(int count, std::function<void(int)> start);
    // Runs work on the pool as a job writing into the order's folder (folders made there, say), then next on
    // the GUI thread, unless the run has ended or gone on to another order meanwhile: while the order's claim
    // is held (whileClaimHeld), or, the second form, whatever the claim was found to be (held tells).
    void offGuiThen(std::function<void()> work, std::function<void()> next);
    void offGuiThen(std::function<void()> work, std::function<void(bool held)> next);
    // Calls next once no copy of another window into the order's folder is under way: a window closed
    // during its run of the same order may still be copying, and the product stage must see what those
    // copies leave. Meanwhile it looks again every 100 ms, saying so in the bar after a second; nothing
    // follows once the run has ended (the window closed). Another order's copies are not waited for.
    void afterOtherCopies(std::function<void()> next);

    // ---- the sheets, after a window's copies ----
    // The order's barcode download starts, its crop information is stored, the work-sheet thumbnails are
    // saved and its detail fetched; then the work sheet and the express sheet are printed into the work
    // folder ("明细制作单.pdf", "快递产品信息.pdf") once the barcode download has ended, and the order ends
    // through separateNextOrder(). A sheet not written is listed with the order's failures.
    void prepareSheetAndBarcode();
    // The order-detail key of the consumption statement.
    virtual QString consumptionKey() const { return QStringLiteral("consumption_statement"); }
    // The order's detail has been read into m_sheet; the sheet is built next.
    virtual void orderDetailRead() {}

    QList<SeparateMessageInfo> m_messageList;
    // The order in hand: a copy of its row, taken when the run starts it. Every stage, request, folder name
    // and job of the order reads it here, so nothing another window does reaches the run.
    OrderRowInfo m_order;
    QList<OrderGoodsInfo> m_orderGoodsList; // the order's products, in reply order
    QList<Image> m_finishedPhotos;          // the order's finished photos, from the crop job
    QString workDir;  // the save folder, then the work folder of the order being separated
    QString orderDir; // the order's folder: save folder, date, order
    QString expressSheetHtml;
    QStringList finalPhotoList;
    FolderIndex m_finishedIndex; // the order's "成品/", as finalPhotoList was listed
    QStringList delPhotoList;
    QStringList markPhotoList;
    int readyNum = 0;
    bool isSheetDone = false;
    ExpressHtml expressHtml;
    WorkSheetData m_sheet; // the current order's sheet
    QString sheetHtml;
    QString barPath;
    // The attempt at the current order's product folders (null before its product stage). Its record is
    // checked against the plan and removed when the order is finished whole; an order that ends early, or
    // with something not done (a failure of its report, or m_attemptLeftBehind), leaves it for the order's
    // next attempt.
    std::shared_ptr<SeparationAttempt> m_attempt;
    bool m_attemptLeftBehind = false; // the attempt could not take out all the record told it to

private slots:
    // The replies of the run's requests: the goods, the crop information and the order detail.
    void queryProductsCallBack(QNetworkReply *reply);
    void queryPicInfoCallBack(QNetworkReply *reply);
    void queryOrderInfoCallBack(QNetworkReply *reply);
    // The work of offGuiThen() numbered step is done.
    void onOffGuiDone(int step);

private:
    void postQueryProducts(const QString &orderPhotoId);
    // Stage 0: the order's folder, claimed (claimOrder); then the work folders (checkPhotos) and one check
    // per goods photo (checkGoodsPhotos).
    void startSeparatePhotos();
    // The order's folder and its work folders, from which the temporary files of copies, writes and prints
    // the program's end cut short are removed before the run writes there; none when they are not to be.
    QStringList cutTemporaryFolders() const;
    // Makes the folders one after another; the first that cannot be made is shown, and the run ends.
    bool makeFolders(const QStringList &folders);
    // Claims the order's folder (SeparationClaim, off the GUI thread) for the order of the round, then goes
    // on (claimTaken): while another desk separates the order, looks again every second, saying so in the
    // bar.
    void claimOrder(int round);
    void claimTaken(int round, const SeparationClaim::Taking &taking);
    // Then holds the import claim of the order's folder on the store (ImportClaim) while the run reads the
    // order's photos, so that it copies no photo an import is placing and no import of another program or
    // desk places one meanwhile: while another program, desk or a run of this program imports the order,
    // it looks again every quarter second, saying so in the bar; then checkPhotos(). Where no claim can be
    // written (a store this desk only reads) the order is read as it is.
    void holdOrderImport(int round);
    // The bar says the run waits, and why (text shown as it is).
    void showWaiting(QString text);
    void checkPhotos();
    // Then one check per goods photo.
    void checkGoodsPhotos();
    // Stage 1, once "成品/" is listed (m_finishedIndex): the further lists are taken, and the finished photos
    // copied.
    void copyFinishedPhotos();
    // "已完成订单个数：" with the orders finished and all the run takes, counted from the rows.
    QString finishedLabelText() const;
    void getPicInfo();
    void postQueryOrderInfo();
    // Prints both sheets, off the GUI thread, once the sheet is built and the barcode download ended.
    void writeSheetPdfs();
    // One slice of startInSlices(): from the job from on, for the order of round.
    void startSlice(int round, int from, int count, std::shared_ptr<std::function<void(int)>> start);
    // One look of afterOtherCopies() at the order folder it waits for.
    void lookForOtherCopies(const QString &folder, const QElapsedTimer &waited, std::function<void()> next);
    // Goes on with next once the current order's claim, if it has one, has been read (off the GUI thread) and
    // is still this program's. Otherwise (another desk took it over while this one seemed gone, asleep say,
    // or someone removed it) the run writes nothing more into the order's folder: claimLost(). Nothing
    // follows once the run has ended or gone on to another order meanwhile. Before each step that writes
    // there.
    void whileClaimHeld(std::function<void()> next);
    // The same look, then next with what it found, whatever that was.
    void afterClaimLook(std::function<void(bool held)> next);
    // The order ends here, its report naming what changed and that the rest was not written.
    void claimLost();

    SeparationRules m_rules;
    std::shared_ptr<SeparationClaim> m_claim; // the current order's folder is this program's
    std::shared_ptr<ImportClaim::Hold> m_importHold; // no import runs in the current order's folder on the store
    int m_orderRound = 0;                     // counts the orders the window started claiming
    int m_offGuiStep = 0;                     // counts the steps offGuiThen() started
    std::function<void(bool)> m_afterOffGui;  // what follows the last of them, given whether the claim is held
    int m_currentRow = -1; // the row of the order in hand; -1 between orders
    int m_orderEntries = 0; // where the entries of the order in hand begin in m_messageList
    int m_checkJobCount = 0;
    int m_checkReturnCount = 0;
    int m_finalReturnCount = 0;
    // What the sheet jobs of the current order hand back (filled on a pool thread before their report).
    struct SheetJobs;
    std::shared_ptr<SheetJobs> m_sheetJobs;
    QPointer<BarcodeDownload> m_barcode;
    std::shared_ptr<QStringList> m_thumbsNotWritten; // filled by the thumbnail job before its report
    bool m_sheetBuilt = false;
    bool m_printing = false;
};
