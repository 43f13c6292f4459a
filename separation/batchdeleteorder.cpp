#include "batchdeleteorder.h"
#include "ui_batchdeleteorder.h"

#include "globals.h"
#include "logging.h"
#include "webapi.h"


BatchDeleteOrder::BatchDeleteOrder(QWidget *parent, const ShopSettings &shop)
    : OrderSearchWindowBase(parent, shop), ui(new Ui_BatchDeleteOrder)
{
    ui->setupUi(this);
    OrderWindowSetup setup;
    setup.rowSource = OrderRowSource::BatchDelete;
    setup.columns = batchDeleteColumns();
    setup.searchTypes.clear();
    setUpOrderWindow(setup);
}

BatchDeleteOrder::~BatchDeleteOrder()
{
    delete ui;
}

bool BatchDeleteOrder::searchRequest(SearchRequest *request)
{
    const QString format = QStringLiteral("yyyy-MM-dd");
    request->url = g_url_order_list2;
    request->body = FormBody::withToken()
                        .add(QStringLiteral("shopid"), shop().shopId)
                        .add(QStringLiteral("eid"), shop().eid)
                        .add(QStringLiteral("personid"), shop().eid)
                        .add(QStringLiteral("uid"), shop().uid)
                        .add(QStringLiteral("superid"), shop().superId)
                        .add(QStringLiteral("starttime"), ui->calendar->selectedDate().toString(format))
                        .add(QStringLiteral("endtime"), ui->calendar_2->selectedDate().toString(format))
                        .toByteArray();
    return true;
}

void BatchDeleteOrder::startClicked()
{
    if (!hasCheckedOrder()) {
        inform(QString(), QStringLiteral("请选择订单"));
        return;
    }
    startDeleteBatch(); // no confirmation: the button deletes at once
}

void BatchDeleteOrder::closeEvent(QCloseEvent *event)
{
    qCDebug(lcSeparation) << "要关闭窗口了";
    // A deletion under way goes on without the window and still logs every deleted folder.
    OrderSearchWindowBase::closeEvent(event);
}
