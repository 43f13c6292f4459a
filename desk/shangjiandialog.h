#pragma once
// The receiving desk "上件管理": finds orders by number (left table) or by one of eight search types (right
// table) and registers orders as received, by a scanned code or by a double-click on a found order; the
// registered orders join the right table.

#include "deskdialog.h"
#include "shangjianrecords.h"

#include <QList>
#include <QString>

class QNetworkReply;
class QStandardItemModel;

namespace Ui {
class ShangJianDialog;
}

class ShangJianDialog : public DeskDialog
{
    Q_OBJECT
public:
    explicit ShangJianDialog(QWidget *parent, const ShopSettings &shop);
    ~ShangJianDialog() override;

protected:
    void scanned(const QString &code) override;
    void searchByNumber() override;
    void searchByType() override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_2_clicked();
    void on_comboBox_currentIndexChanged(int index);
    void queryCallBack(QNetworkReply *reply);
    void queryShangjianCallBack(QNetworkReply *reply);
    void on_tableView_left_doubleClicked(const QModelIndex &index);

private:
    void initUi();
    void setLeftModelRow();
    void setRightModelRow();
    QByteArray buildSearchBody(int searchtype, const QString &keyword) const;
    // The order-number search; left: its reply fills the left table (else the right one).
    void queryOrderByNumber(const QString &keyword, bool left);
    void queryOrderByShangjianDate(const QString &date);
    void postDataFunc(const QByteArray &body);
    // Registers the order; leftOrderNo names the left row a double-click registers, empty for a scan.
    void postShangJian(const QString &orderId, const QString &leftOrderNo = QString());
    void exportExcel(QWidget *parent);
    // The record takes the place of every right-table row of its order number, or is added.
    void mergeIntoRight(const ShangJianRecordInfo &record);

    bool leftSearch = false; // the search being posted fills the left table
    Ui::ShangJianDialog *ui;
    QStandardItemModel *leftModel = nullptr;
    QStandardItemModel *rightModel = nullptr;
    QList<ShangJianOrderInfo> leftDataList;
    QList<ShangJianRecordInfo> rightDataList;
};
