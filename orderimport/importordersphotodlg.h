#pragma once
// The batch import tool window ("导片工具"): the orders picked with the order picker, one import type
// for the whole list, per order the files to import, the order-information panel with the name parts
// of the order's folder and photos, and the files already imported for the current order.

#include "dovrafileinfo.h"
#include "importordermodel.h"
#include "importrunstate.h"
#include "importtype.h"
#include "shopsettings.h"
#include "unsentreport.h"

#include <QDialog>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

namespace FinishingNotice {
class Hold;
}
class HttpRequest;
class QAction;
class QButtonGroup;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QSplitter;
class QTableWidget;
class QVBoxLayout;
class SearchOrderWindow;

class importOrdersPhotoDlg : public QDialog
{
    Q_OBJECT
public:
    using ImportTypeEnum = ::ImportTypeEnum;

    // The window works for the shop its opener gives; its picker, checks, runs and reports take that shop's
    // ids and switches.
    explicit importOrdersPhotoDlg(QWidget *parent, const ShopSettings &shop);
    ~importOrdersPhotoDlg() override;

    // Opens the window for the shop the way the tool window does: only when the shop's photo root and
    // backup root exist (otherwise the user is told and nullptr returned); no parent, minimize / maximize /
    // close hints only, maximized. toolWindow is the parent of the message box only.
    static importOrdersPhotoDlg *openFromToolWindow(QWidget *toolWindow, const ShopSettings &shop);
    const ShopSettings &shop() const { return m_shop; }

    ImportTypeEnum importType() const { return m_importType; }
    QList<ImportOrderModel *> orders() const { return m_orderList; }
    ImportOrderModel *currentOrder() const { return m_currentOrder; }
    int currentRow() const { return m_currentRow; }

    // Rebuilds every row of the order table for the current type.
    void addOrderRows();
    // Enables or disables the type radios and the buttons that change the order list.
    void setImportTypeEnabled(bool enabled);
    // Empties the order-information panel and both file panels.
    void clearOrderInfo();
    // Refresh the record's found count of the current type from its order folder.
    void updateImgCount(ImportOrderModel *order);
    void updateVideoCount(ImportOrderModel *order);
    // Files of a folder that an import can bring in (photos / videos); 0 for a missing folder.
    int getImgCount(const QString &path) const;
    int getVideoCount(const QString &path) const;
    // Prepares a record for a new import of its photos: no order folders, no files, no counts.
    void resetOrderImportState(ImportOrderModel *order);
    // Locks (running == true) or unlocks every control that changes the order list, the type, a row's
    // files or the imported files while an import runs. The start button is left to the run itself.
    void setRunning(bool running);
    bool isRunning() const { return m_running; }

    // ---- import run (importrun.cpp) ----
    // Reports an order's folder paths and the files an import added ("0": the order starts or was
    // reset, "1": it ended) to the web service. records: the order folder's records of unsent counts
    // (UnsentReport), claimed for this report, that the counts include; they are removed once the web
    // service took the report, and given back when it did not.
    void updateFinishInfo(ImportOrderModel *model, QString importState, int fileCount, int backupCount,
                          const QStringList &records = QStringList());
    // Tells the web service where the order's copy for the Dovra system now is.
    void updateDovraInfo(ImportOrderModel *model, QString picPath);
    // True while an import run goes on or its thread or copy jobs are still at work.
    bool isImporting() const;

    // Closing the window while an import runs asks first; a confirmed close stops the run, and the window
    // leaves the screen at once: it goes once the files under way are written (FinishingNotice).
    // Closing it while orders owe the web service a report asks first as well (confirmUnsentReports).
    // (An override of the dialog's slot, not a slot of this class.)
    void reject() override;

public slots:
    // Messages of the copy jobs of the Dovra system.
    void slt_dovrathreadmsg(QString str);

    // The import run's slots live in importrun.cpp; the order of the declarations is the order of the
    // class's meta-object table.
private slots:
    void importTypeSlot(int id);
    void selectAllSlot();
    void cancelAllSlot();
    void delAllOrdersSlot();
    void addNewOrderBtnSlot();
    void importAllOrdersBtnSlot();
    void reImportBtnSlot();
    void openOrderPhotoPathBtnSlot();
    void openOrderOriginPathBtnSlot();
    void upDataVideoUrlsBtnSlot();
    void getNewOrderSlot(QList<ImportOrderModel *> orderLst);
    void ordersTableWgtClickedSlot(int row);
    void selectImgBtnSlot();
    void importProgressSlot(quint16 imgCount, quint16 totalCount);
    void finishedImportOrderSlot(quint16 totalCount);
    void finishedImportOrderDovraSlot(int row, QString picPath);
    void handleImportImageError(quint8 errorCode);
    void importCopyDovraProgressSlot(int row, int currentCount, int totalCount, QString toDir);
    void startImportCopyDovraProgressSlot(QList<DovraFileInfo> list, QString toDir);
    void prefieOrderChangedSlot(const QString &text);
    void prefieFolderChangedSlot(const QString &text);
    void prefieImageChangedSlot(const QString &text);
    void showLstWgtContextMenuSlot(QPoint pos);
    void openImportedImgSlot();
    void deleteImportedImgSlot();
    void lookDiskSizeSlot(QString picPath);
    void lookPicPathSlot();
    void httpUploadOrderInfoJson(QJsonObject infoJson);
    void httpUploadVideoListJson(QJsonObject infoJson);
    void showTableMouseRightButton(QPoint pos);
    void tbOpenOrderPathAction();
    void httpUploadDovraInfoJson(QJsonObject infoJson);
    // Further reports of the order's thread and of the copy jobs.
    void importStoppedSlot(QString reason);
    void importFailedFilesSlot(QStringList failures);
    // The running order waits while another program or desk imports it: the line under the order list says
    // why, the row's bar as its tooltip ("" once it goes on).
    void orderWaitingSlot(QString why);
    void importThreadFinishedSlot();
    void importCopyDovraFailedSlot(int row, QString source, QString reason);
    void importDovraErrorSlot();
    void importCopyDovraKeptSlot(int row, QString target);

private:
    void initUi();
    void initOrderListPanel(QVBoxLayout *layout);
    void initSelectedListPanel(QVBoxLayout *layout);
    void initImportedListPanel(QVBoxLayout *layout);
    void initOrderInfoPanel(QGridLayout *layout);
    // Choosing a row's files: the finished-photo type first asks the web service whether the order's
    // selection is finished; the answer is bound to the record it was asked for.
    void requestIsCanSelImg(int row, ImportOrderModel *model);
    void isCanSelImgSlot(QNetworkReply *reply, QPointer<ImportOrderModel> order, ImportTypeEnum askedType);
    void selImg(int row, ImportOrderModel *model);
    // Deletes the named imported photos of the current order from its main and thumbnail folders.
    void delListFiles(const QStringList *names);
    void updataVideoList(ImportOrderModel *model, QString fileNames, QString filePaths);
    // The reply to the video-list request: its message, or why there is none.
    void videoListCallBack(QNetworkReply *reply);
    void showImportedFiles(QString orderPath);
    void setImportedFiles(QStringList paths);
    void fillImportedList(const QStringList &paths);
    void loadImportedIcons(const QStringList &paths);
    // The found count of the current type from a count of the type's main folder.
    void refreshFoundCount(ImportOrderModel *order);
    // Opens one of the order's folders in the file browser; a "警告" box names it when that fails.
    void openFolder(const QString &folder);
    // Shows the order again when it is the one in the panel (its folders or files have changed).
    void refreshShownOrder(ImportOrderModel *order);
    // The order table's column widths and how they follow the window.
    void fitOrderColumns();
    // The value labels of the order-information panel, the three path labels last.
    QList<QLabel *> valueLabels() const;
    // The widgets of a row's selection cell (column 4) and progress cell (column 5).
    QList<QWidget *> cellWidgets(int row, int column) const;

    ImportOrderModel *m_selectOrder = nullptr;
    int m_selectRow = -1;
    int m_dovraCopyCount = 0;
    QNetworkAccessManager *m_manager = nullptr;
    QButtonGroup *m_importTypeGroup = nullptr;
    QSplitter *m_mainSplitter = nullptr;
    QHBoxLayout *m_mainLayout = nullptr;
    QTableWidget *m_ordersTable = nullptr;
    QLabel *m_waitLabel = nullptr; // under the order list: what the running order waits for, whole
    QPushButton *m_addOrderBtn = nullptr;
    QPushButton *m_importAllBtn = nullptr;
    QPushButton *m_updateVideoBtn = nullptr;
    QPushButton *m_selectAllBtn = nullptr;
    QPushButton *m_cancelAllBtn = nullptr;
    QPushButton *m_delOrdersBtn = nullptr;
    QPushButton *m_reImportBtn = nullptr;
    QPushButton *m_openPathBtn = nullptr;
    QPushButton *m_openOriginPathBtn = nullptr;
    ImportTypeEnum m_importType = ImportFinishedPhotos;
    QLabel *m_orderNoLabel = nullptr;
    QLabel *m_photoTypeLabel = nullptr;
    QLabel *m_serviceTimesLabel = nullptr;
    QLabel *m_babyNameLabel = nullptr;
    QLabel *m_womanNameLabel = nullptr;
    QLabel *m_manNameLabel = nullptr;
    QLabel *m_comboNameLabel = nullptr;
    QLabel *m_bookStoreLabel = nullptr;
    QLabel *m_dealDateLabel = nullptr;
    QLabel *m_photographerLabel = nullptr;
    QLabel *m_makeupLabel = nullptr;
    QLabel *m_guideLabel = nullptr;
    QAction *m_viewPhotoAction = nullptr;
    QMenu *m_ordersMenu = nullptr;
    QLabel *m_babyNameTitle = nullptr;
    QLabel *m_orderPathLabel = nullptr;
    QLabel *m_orderBakPathLabel = nullptr;
    QLabel *m_orderDovraPathLabel = nullptr;
    QLineEdit *m_orderPrefixEdit = nullptr;
    QLineEdit *m_folderSuffixEdit = nullptr;
    QLineEdit *m_photoSuffixEdit = nullptr;
    QLabel *m_selectedTitle = nullptr;
    QLabel *m_modeTitle = nullptr;
    QTableWidget *m_selectedTable = nullptr;
    QLabel *m_importedTitle = nullptr;
    QListWidget *m_importedList = nullptr;
    QMenu *m_importedMenu = nullptr;
    ImportOrderModel *m_currentOrder = nullptr;
    int m_currentRow = -1;
    QList<ImportOrderModel *> m_orderList;
    quint16 m_finishCount = 0;
    quint16 m_totalCount = 0;
    QString m_lastSelectDir;
    bool m_running = false;

    // The window's one order picker: a window of its own above the dialog, closed with it.
    QPointer<SearchOrderWindow> m_picker;
    const ShopSettings m_shop;
    void pickerToFront();

    // The prefix edit and its label are never placed in the window; the dialog owns them itself.
    QLabel *m_orderPrefixTitle = nullptr;

    // ---- import run (importrun.cpp) ----
    bool checkBeforeRun();
    void startOrder(ImportOrderModel *order);
    void startNextOrder();
    void endRun();
    void showEndOfRun();
    // Follows a report of the run to its end; owed: the order's report due of the type (see
    // ImportOrderModel) is cleared when it arrives, and the records (see updateFinishInfo) are removed.
    // counted: the report counts files or backups (a report of none can count nothing twice).
    void followReport(HttpRequest *request, ImportOrderModel *model, ImportTypeEnum type, bool owed,
                      const QStringList &records = QStringList(), bool counted = false);
    // updateFinishInfo for the type (a report the order owes for another type than the run's).
    void reportFinishInfo(ImportOrderModel *model, ImportTypeEnum type, const QString &importState, int fileCount,
                          int backupCount, const QStringList &records);
    // The order still has files to import or a report to send again, for the run's type or one of
    // otherReportTypes.
    bool hasWorkLeft(ImportOrderModel *order) const;
    // The types other than the run's whose reports any run of an order sends again: those the counts make
    // up alone (photos as shot, finished photos, designs). A video type's report names its run's videos and
    // waits for a run of that type.
    QList<ImportTypeEnum> otherReportTypes() const;
    // Those of types for which the order owes the web service a report: what the record keeps, or records
    // in its order folder that no report under way carries.
    QList<ImportTypeEnum> typesOwed(ImportOrderModel *order, const QList<ImportTypeEnum> &types) const;
    bool reportOwed(ImportOrderModel *order, ImportTypeEnum type) const;
    // Sends an imported order's report again with the counts it owes; nothing is copied.
    void reportAgain(ImportOrderModel *order);
    // The end report of an order for the type, with everything the order owes for it; own: the record of
    // the order's run that ended (keepUnsent), carried too.
    void sendEndReport(ImportOrderModel *order, ImportTypeEnum type,
                       const UnsentReport::RunRecord::End &own = UnsentReport::RunRecord::End());
    // The reports the order owes for otherReportTypes, sent when the run comes to the order; true when
    // there were any.
    bool sendOtherOwedReports(ImportOrderModel *order);
    // Ends the record of the order's run (thread), which counted each file as it landed, adding what the
    // order's record keeps; what no record could hold the order's record keeps. complete: the order is
    // imported, and the run's record is returned for its end report to carry; otherwise it is given back for
    // the next report.
    UnsentReport::RunRecord::End keepUnsent(ImportOrderModel *order, ImportOrderThread *thread, bool complete);
    // Before orders leave the window: when some of them owe the web service a report, a question names
    // them and ends with question; true when none owes one or the answer is Yes.
    bool confirmUnsentReports(const QList<ImportOrderModel *> &orders, const QString &question);
    // The order the run's thread works on ended without being imported (the run stopped, the window
    // closed): the thread is stopped and waited for, and the files it placed are kept for a report
    // (keepUnsent), as an order some of whose files failed.
    void keepStoppedOrder();
    void stopRun(const QString &why);
    // The window closed during its run (or while its end box waits for the run's reports): once the order's
    // thread and the copy jobs have ended and the reports are answered, what the order placed is kept and
    // the window goes (if it is deleted on close). Looks again a moment later while they work.
    void finishClosedRun();
    bool m_closedMidRun = false;
    bool m_deleteAfterRun = false;
    std::shared_ptr<FinishingNotice::Hold> m_finishing; // the notice while the closed window's files are finished
    // order key -> the reply of the order's last start report (importype "0"), over the runs: the order's
    // end reports are posted once it has been answered or has failed, so that the web service takes the
    // start first.
    QHash<QString, QPointer<QNetworkReply>> m_startReports;
    // order key -> its end reports (importype "1") not handled yet: posted (a reply) or waiting for the start
    // report's answer (none yet).
    QMultiHash<QString, QPointer<HttpRequest>> m_endReports;
    void orderFailed(int row, const QString &why);
    // The order's thread ended without importing it: a Dovra copy goes on with the next order (see
    // orderFailed), any other run stops with stopText (%1 the order, %2 why).
    void orderNotImported(int row, const QString &why, const QString &stopText);
    void showRefusal(const QJsonObject &reply);
    // A row's progress cell: value of maximum files, as the count and as the bar.
    void setRowProgress(int row, int value, int maximum);
    // The line under the order list: why the running order waits, hidden when why is empty.
    void showOrderWait(const QString &why);
    ImportOrderThread *runningSender() const;

    // Last member on purpose: destroyed first, it stops and waits for the run's thread and copy jobs.
    ImportRunState m_run;
};
