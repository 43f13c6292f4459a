#pragma once
// The order picker: searches the studio's orders on the web service, lists them under a tick-all row
// and hands the ticked orders (or one double-clicked order) to its receiver by addSelectOrderSigl.
//
// The picker is a modeless top-level window that deletes itself when closed.
// Ownership of the records: every record handed over belongs to the receiver from then on, and the
// picker never deletes it; records that were listed but never handed over are deleted by the picker
// when a later search replaces them or when the picker goes. If the receiver deletes a record it was
// given, handing that row over again gives a fresh record of the same order.

#include "shopsettings.h"

#include <QDialog>
#include <QJsonObject>
#include <QList>
#include <QPointer>

class ImportOrderModel;
class QAction;
class QMenu;
class QModelIndex;
class QNetworkAccessManager;
class QNetworkReply;
class QStandardItem;
class QStandardItemModel;
class Ui_SearchOrderWindow;

class SearchOrderWindow : public QDialog
{
    Q_OBJECT
public:
    // Searches the orders of the shop its opener gives.
    explicit SearchOrderWindow(QWidget *parent, const ShopSettings &shop);
    const ShopSettings &shop() const { return m_shop; }
    ~SearchOrderWindow() override;

    // The records of the last search that returned orders; table row r (r >= 1) shows element r - 1.
    QList<ImportOrderModel *> orderList() const { return m_orderList; }

    // Search kinds, in the order of the kind box.
    enum SearchKind {
        ByOrderNumber = 0,
        ByShotDate,
        BySelectDate,
        ByBookDate,
        ByShipDate,
        ByUploadDate,
        ByName,
        ByPhone,
    };

signals:
    void closeSignal();
    void addSelectOrderSigl(QList<ImportOrderModel *> selectLst);

public slots:
    void clickCancel();
    void clickSearch();
    void queryCallBack(QNetworkReply *reply);
    void openOrderDir();
    void showMouseRightButton(const QPoint &pos);
    void on_selectPathButton_clicked();
    void importClosed();
    void calendarClickAction();
    void addOrdersBtnSlot();
    void selectAllOrderSlot(QStandardItem *item);
    void on_tableView_doubleClicked(const QModelIndex &index);
    // Escape closes the picker like its close button (a hidden picker would keep its caller waiting).
    void reject() override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void initTable();
    void loadCopyPath();
    void fillOrderTable();
    void searchByType(int kind, const QString &keyword);
    void postDataFunc(QByteArray &body);

    // The record shown in order row `row` (1..N), ready to be handed over; nullptr for other rows.
    ImportOrderModel *recordForRow(int row);
    // Hands the records of the rows over, each order once, and gives up the picker's claim on them.
    void handOver(const QList<int> &rows);
    // Deletes the listed records that were never handed over and empties the list.
    void releaseOrderList();

    QAction *m_openDirAction = nullptr;
    QMenu *m_rightMenu = nullptr;
    QList<ImportOrderModel *> m_orderList;
    QList<ImportOrderModel *> m_selectList;
    Ui_SearchOrderWindow *ui = nullptr;
    QStandardItemModel *m_model = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    const ShopSettings m_shop;

    QList<QJsonObject> m_orderJson;                 // the order object behind each listed record
    QList<QPointer<ImportOrderModel>> m_guards;     // notices records a receiver has deleted
    QList<bool> m_handedOver;                       // the row's record now belongs to a receiver
};
