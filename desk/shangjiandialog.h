#pragma once
// The receiving desk "上件管理": finds orders by number (left table) or by one of eight search types (right
// table) and registers orders as received, by a scanned code or by a double-click on a found order; the
// registered orders join the right table.

#include "shangjianrecords.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QString>

class CalendarPicker;
class QNetworkAccessManager;
class QNetworkReply;
class QStandardItemModel;

namespace Ui {
class ShangJianDialog;
}

class ShangJianDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ShangJianDialog(QWidget *parent = nullptr);
    ~ShangJianDialog() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_2_clicked();
    void on_comboBox_currentIndexChanged(int index);
    void on_newDate(const QString &date);
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
    void postShangJian(const QString &orderId, const QString &leftOrderNo = QString());
    void showCalendar();
    void exportExcel(QWidget *parent);
    void restoreTypeSearchButton();
    void restoreSearchButtons();

    bool leftSearch = false; // the search being posted fills the left table
    Ui::ShangJianDialog *ui;
    bool fromScan = false; // the latest registration came from the scan field
    QStandardItemModel *leftModel = nullptr;
    QStandardItemModel *rightModel = nullptr;
    QNetworkAccessManager *manager;
    QList<ShangJianOrderInfo> leftDataList;
    QList<ShangJianRecordInfo> rightDataList;
    QPointer<CalendarPicker> m_picker;
};
