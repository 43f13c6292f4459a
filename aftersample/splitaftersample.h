#pragma once
// The after-sample window of the tool "样后分件": the order search, table and save folder of the
// separation windows on a form of its own. "开始分件" separates the ticked orders one by one: each
// order's finished photos, with their camera-raw siblings, go into the dated order folder under the
// shop's finished-folder name, beside its barcode, work-sheet thumbnails, work sheet and express sheet.

#include "separationwindow.h"

class Ui_SplitAfterSample;

class SplitAfterSample : public SeparationWindow
{
    Q_OBJECT
public:
    explicit SplitAfterSample(QWidget *parent, const ShopSettings &shop);
    ~SplitAfterSample() override;

    // Kept for the tool window; the window reads it nowhere.
    void setToolName(const QString &name);
    QString toolName() const { return m_toolName; }

    // The goods the work sheet shows, with their photo count and how urgent the order's goods are.
    void setSheetGoods(const QList<OrderGoodsInfo> &goods);
    int sheetPhotoCount() const { return m_sheetPhotoCount; }
    int urgentState() const { return m_urgentState; }
    // 0 when no goods of the order are urgent ("isurgent" "1"), 1 when all are (or there are none),
    // 2 when some are.
    static int urgentStateOf(const QList<OrderGoodsInfo> &orderGoods);

public slots:
    // The reports of the rejected, marked and product copy jobs, which this window never starts: they
    // are there, under their names, for every window the separation jobs report to, and change nothing.
    void fenjian_delPhotoSlot_3() {}
    void fenjian_markPhoto_3_1() {}
    void fenjian_productPhotoSlot_4(QString fullPicName) { Q_UNUSED(fullPicName) }

private slots:
    void on_selectPathButton_clicked();
    void on_comboBox_currentIndexChanged(int index);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void startClicked() override { startSeparation(); }
    QString readGoods(const QJsonObject &reply) override;
    void finalPhotosCopied() override;
    QString consumptionKey() const override { return QStringLiteral("m_consumption_statement"); }
    void orderDetailRead() override { setSheetGoods(m_orderGoodsList); }

    Ui_SplitAfterSample *ui;
    QString m_toolName;
    QList<OrderGoodsInfo> m_sheetGoods;
    int m_sheetPhotoCount = 0;
    int m_urgentState = 1;
};
