#include "splitaftersample.h"
#include "ui_splitaftersample.h"

#include "globals.h"
#include "goodsplan.h"
#include "logging.h"

#include <QCloseEvent>

SplitAfterSample::SplitAfterSample(QWidget *parent, const ShopSettings &shop)
    : SeparationWindow(parent, shop), ui(new Ui_SplitAfterSample)
{
    ui->setupUi(this);
    setUpOrderWindow(OrderWindowSetup());
    SeparationRules rules;
    rules.goodsIsQu = false;
    rules.listDotEntries = false;
    rules.copyRaws = true; // the stage after the sample always takes the raw files along
    rules.hideBarcode = true;
    rules.sheetKind = WorkSheetKind::AfterSample;
    setSeparationRules(rules);
}

SplitAfterSample::~SplitAfterSample()
{
    delete ui;
}

void SplitAfterSample::setToolName(const QString &name)
{
    m_toolName = name;
    showToolName(name);
}

void SplitAfterSample::on_selectPathButton_clicked()
{
    chooseSavePath();
}

void SplitAfterSample::on_comboBox_currentIndexChanged(int index)
{
    Q_UNUSED(index) // the type is read when a search starts
}

QString SplitAfterSample::readGoods(const QJsonObject &reply)
{
    m_orderGoodsList = planGoods(reply, PickupOrder(), QString(), GoodsRules::AfterSample).goods;
    return QString(); // no product folders
}

void SplitAfterSample::finalPhotosCopied()
{
    SeparateMessageInfo result;
    result.orderNumber = m_order.orderpayforkey;
    result.failures = guard()->takeFailures();
    result.unreadablePhotos = guard()->takeUnreadable();
    m_messageList.append(result);
    prepareSheetAndBarcode();
}

void SplitAfterSample::setSheetGoods(const QList<OrderGoodsInfo> &goods)
{
    m_sheetGoods = goods;
    m_sheetPhotoCount = 0;
    for (const OrderGoodsInfo &g : goods)
        m_sheetPhotoCount += g.photoNames.size();
    m_urgentState = urgentStateOf(m_orderGoodsList);
}

int SplitAfterSample::urgentStateOf(const QList<OrderGoodsInfo> &orderGoods)
{
    int urgent = 0;
    for (const OrderGoodsInfo &g : orderGoods) {
        if (g.isurgent == QLatin1String("1"))
            ++urgent;
    }
    return urgent == orderGoods.size() ? 1 : urgent == 0 ? 0 : 2;
}

void SplitAfterSample::closeEvent(QCloseEvent *event)
{
    qCDebug(lcSeparation) << "要关闭窗口了";
    SeparationWindow::closeEvent(event);
}
