#pragma once
// The dispatch desk "发件管理": finds orders (by number, by a scanned order id, or by one of seven search
// types), lists each order's products, gives every product a print shop and a post-production factory,
// submits the assignment and prints a barcode label per ticked product.

#include "codeimageinfo.h"
#include "deskdialog.h"
#include "fajianrecords.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QModelIndex>
#include <QString>

class QComboBox;
class QNetworkReply;
class QStandardItemModel;

namespace Ui {
class FaJianDialog;
}

class FaJianDialog : public DeskDialog
{
    Q_OBJECT
public:
    // Columns of the product table (tableWidget); row 0 holds the apply-to-all choosers, product k row k+1.
    enum RightColumn {
        ColName = 0,
        ColSize = 1,
        ColType = 2,
        ColNumber = 3,
        ColPages = 4,
        ColDelivery = 5,
        ColUrgent = 6,
        ColRemark = 7,
        ColPrintShop = 8,
        ColPrintShopTime = 9,
        ColFactory = 10,
        ColFactoryTime = 11,
        ColPrint = 12,
        RightColumnCount = 13
    };

    explicit FaJianDialog(QWidget *parent, const ShopSettings &shop);
    ~FaJianDialog() override;

    // Prints one label per record, one print job each, on the label printer (see LabelPrinter); label i
    // carries pictures[i], its barcode drawn in memory (a null picture, or none, leaves the bars out). False,
    // after telling the user, when there is no printer or a job fails.
    bool printCodeImages(const QList<CodeImageInfo> &list, const QList<QImage> &pictures);
    // Prints an HTML text through a print dialog, on A4.
    void printHtml(const QString &html);

protected:
    void paintEvent(QPaintEvent *event) override;
    void scanned(const QString &code) override;
    void searchByNumber() override;
    void searchByType() override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_excel_clicked();
    void on_pushButton_2_clicked();
    void on_comboBox_currentIndexChanged(int index);
    void onEnterScanCodeEdit();
    void queryCallBack(QNetworkReply *reply);
    void queryProductsCallBack(QNetworkReply *reply);
    void querySendToShopCallBack(QNetworkReply *reply);
    void on_tableView_left_clicked(const QModelIndex &index);
    void on_pushButton_submit_clicked();
    void on_pushButton_print_clicked();
    void queryOrderIDCallBack(QNetworkReply *reply);
    void setAllPrintShop(int index);
    void setAllFactory(int index);

private:
    void initUi();
    void setLeftModelRow();
    int getRowOfOrder(const QString &orderid) const;
    void postDataFunc(const QByteArray &body);
    QByteArray buildSearchBody(int type, const QString &keyword) const;
    void postQueryOrderID(const QString &orderid);
    void postQueryProducts(const QString &orderid);
    void refreshRightTable(int row);
    void exportExcel(QWidget *parent);

    void setChooserLists(const QList<PrintShopInfo> &shops, const QList<FactoryInfo> &factories);
    // Sets every product row's chooser in the column to the index.
    void applyToAll(int column, int index);
    // The shown order's row, or -1 (after telling the user "请先选择订单") when no order is shown.
    int shownRowOrWarn();

    Ui::FaJianDialog *ui;
    QStandardItemModel *leftModel = nullptr;
    QList<FaJianOrderInfo> leftList;
    QList<FaJianGoodsInfo> rightList;
    // The product list of each listed order, by order id (a reply is placed by the order it was asked for).
    QHash<QString, QList<FaJianGoodsInfo>> productsByOrderId;
    QList<PrintShopInfo> printShopList;
    QList<FactoryInfo> factoryList;
    int currentRow = 0;
    QModelIndex leftIndex;
    QString m_shownOrderId; // the order the product table shows
};
