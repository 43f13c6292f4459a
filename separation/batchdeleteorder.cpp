#include "batchdeleteorder.h"
#include "ui_batchdeleteorder.h"

#include "globals.h"
#include "logging.h"
#include "msgbox.h"
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
    // The progress panel keeps its place while hidden: the table does not move under the pointer when
    // a deletion starts or ends.
    for (QWidget *w : {static_cast<QWidget *>(ui->groupBox), static_cast<QWidget *>(ui->progressBar),
                       static_cast<QWidget *>(ui->label), static_cast<QWidget *>(ui->label_finishOrdersNum)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
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
    int ticked = 0;
    for (const OrderRowInfo &row : orderList())
        ticked += row.checked ? 1 : 0;
    // Nothing deleted can be brought back: the user says so first (the default answer keeps everything).
    if (MsgBox::question(this, QStringLiteral("警告"),
                         QStringLiteral("确定要删除选中的%1个订单的照片吗？此操作无法撤销").arg(ticked))
        != QMessageBox::Yes)
        return;
    startDeleteBatch();
}

void BatchDeleteOrder::closeEvent(QCloseEvent *event)
{
    qCDebug(lcSeparation) << "要关闭窗口了";
    // A deletion under way goes on without the window and still logs every deleted folder.
    OrderSearchWindowBase::closeEvent(event);
}
