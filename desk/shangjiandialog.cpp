#include "shangjiandialog.h"
#include "logging.h"
#include "ui_shangjiandialog.h"

#include "csvexport.h"
#include "globals.h"
#include "msgbox.h"
#include "webapi.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QStandardItemModel>

namespace {
// Each request carries what its reply needs: the table a search fills, and which left row a double-click
// registers (none for a scan).
const char *const kLeftTable = "leftTable";
const char *const kLeftOrderNo = "leftOrderNo";

struct SearchType {
    const char *warning; // shown when the keyword is empty
    int searchtype;
};
// The items of comboBox, in order.
const SearchType kSearchTypes[] = {{"请输入订单号", 1}, {"请选择日期", 4}, {"请选择日期", 5}, {"请选择日期", 6},
                                   {"请选择日期", 7},   {"请选择日期", 9}, {"请输入姓名", 2}, {"请输入电话", 3}};
} // namespace

ShangJianDialog::ShangJianDialog(QWidget *parent, const ShopSettings &shop)
    : DeskDialog(parent, shop), ui(new Ui::ShangJianDialog)
{
    ui->setupUi(this);
    initUi();
    setDeskWidgets({ui->lineEdit, ui->lineEdit_orderid, ui->lineEdit_orderid2, ui->pushButton, ui->pushButton_2});
}

ShangJianDialog::~ShangJianDialog()
{
    delete ui;
}

void ShangJianDialog::initUi()
{
    setWindowFlags(Qt::Widget);
    setWindowTitle(QStringLiteral("上件管理"));

    leftModel = new QStandardItemModel(this);
    leftModel->setHorizontalHeaderLabels({QStringLiteral("单号"), QStringLiteral("所属门店"), QStringLiteral("姓名"),
                                          QStringLiteral("价位"), QStringLiteral("选片师"), QStringLiteral("二销"),
                                          QStringLiteral("欠款")});
    rightModel = new QStandardItemModel(this);
    rightModel->setHorizontalHeaderLabels(
        {QStringLiteral("单号"), QStringLiteral("所属门店"), QStringLiteral("上件操作人"), QStringLiteral("上件日期"),
         QStringLiteral("客人姓名"), QStringLiteral("选片时间"), QStringLiteral("选片完成时间"),
         QStringLiteral("选片人"), QStringLiteral("样后修片师"), QStringLiteral("样前对比片"),
         QStringLiteral("加急日期"), QStringLiteral("发货日期")});
    for (QTableView *view : {ui->tableView_left, ui->tableView_right}) {
        view->setModel(view == ui->tableView_left ? leftModel : rightModel);
        setUpTable(view);
    }
    ui->tableView_left->setColumnWidth(0, 200);
    ui->tableView_left->setColumnWidth(1, 150);
    ui->tableView_right->setColumnWidth(0, 200);
    ui->tableView_right->setColumnWidth(4, 150);
}

void ShangJianDialog::setLeftModelRow()
{
    QList<QStringList> rows;
    for (const ShangJianOrderInfo &o : qAsConst(leftDataList))
        rows.append({o.orderNo, o.storesname, o.customerNames, o.order_price, o.selectphotoname, o.twosales, o.debt});
    fillModel(leftModel, rows);
}

void ShangJianDialog::setRightModelRow()
{
    QList<QStringList> rows;
    for (const ShangJianRecordInfo &r : qAsConst(rightDataList))
        rows.append({r.orderNo, r.storesname, r.gotodigitalname, r.gotodigitaltime, r.customerNames, r.selectphotodate,
                     r.selectphototime, r.selectphotoname, r.tiaoxiname, r.tiaosename, r.urgentdate, r.getphotodate});
    fillModel(rightModel, rows);
}

void ShangJianDialog::scanned(const QString &code)
{
    postShangJian(code);
}

void ShangJianDialog::searchByNumber()
{
    on_pushButton_clicked();
}

void ShangJianDialog::searchByType()
{
    on_pushButton_2_clicked();
}

// ---- searches --------------------------------------------------------------------------------

void ShangJianDialog::on_pushButton_clicked()
{
    const QString keyword = ui->lineEdit_orderid->text();
    if (keyword.trimmed().isEmpty()) {
        warn(QStringLiteral("请输入订单号"));
        return;
    }
    queryOrderByNumber(keyword, true);
    setSearching(ui->pushButton);
}

void ShangJianDialog::on_pushButton_2_clicked()
{
    leftSearch = false;
    const QString keyword = ui->lineEdit_orderid2->text();
    const int index = ui->comboBox->currentIndex();
    if (index < 0 || index >= int(sizeof kSearchTypes / sizeof kSearchTypes[0]))
        return;
    const SearchType &type = kSearchTypes[index];
    if (keyword.isEmpty()) {
        warn(QString::fromUtf8(type.warning));
        return;
    }
    if (type.searchtype == 1)
        queryOrderByNumber(keyword, false);
    else if (type.searchtype == 9)
        queryOrderByShangjianDate(keyword);
    else
        postDataFunc(buildSearchBody(type.searchtype, keyword));
    setSearching(ui->pushButton_2);
}

QByteArray ShangJianDialog::buildSearchBody(int searchtype, const QString &keyword) const
{
    FormBody body = FormBody::withToken();
    if (searchtype == 1) {
        body.add(QStringLiteral("superid"), shop().superId).add(QStringLiteral("shopid"), shop().shopId);
        body.add(QStringLiteral("searchtype"), QStringLiteral("1")).add(QStringLiteral("keyword"), keyword);
    } else {
        body.add(QStringLiteral("shopid"), shop().shopId).add(QStringLiteral("searchtype"), QString::number(searchtype));
        body.add(QStringLiteral("keyword"), keyword).add(QStringLiteral("superid"), shop().superId);
    }
    body.add(QStringLiteral("uid"), shop().uid).add(QStringLiteral("eid"), shop().eid).add(QStringLiteral("personid"), shop().eid);
    return body.toByteArray();
}

void ShangJianDialog::queryOrderByNumber(const QString &keyword, bool left)
{
    const QByteArray body = buildSearchBody(1, keyword);
    leftSearch = left;
    postDataFunc(body);
}

void ShangJianDialog::queryOrderByShangjianDate(const QString &date)
{
    const QByteArray body = buildSearchBody(9, date);
    qCDebug(lcDesk) << "queryOrderByShangjianDate" << maskSecrets(body);
    postDataFunc(body);
}

void ShangJianDialog::postDataFunc(const QByteArray &body)
{
    // The reply goes to the table of the search that posted it, whatever was searched meanwhile.
    post(g_url_order_list, body, &ShangJianDialog::queryCallBack)->setProperty(kLeftTable, leftSearch);
    leftSearch = false;
}

void ShangJianDialog::queryCallBack(QNetworkReply *reply)
{
    const bool left = reply->property(kLeftTable).toBool();
    QJsonObject obj;
    if (!readSearchReply(reply, &obj))
        return;
    qCDebug(lcDesk).noquote() << "shangjian search Json:" << QJsonDocument(obj).toJson(QJsonDocument::Indented);
    const QJsonArray data = obj.value(QStringLiteral("data")).toArray();
    if (data.isEmpty()) {
        notice(QStringLiteral("没有查询到任何订单"));
        restoreSearchButtons();
        return;
    }
    if (left) {
        // An order already listed keeps its row as it is.
        for (const QJsonValue &value : data)
            appendUnlisted(leftDataList, ShangJianOrderInfo::fromJson(value.toObject()), &ShangJianOrderInfo::orderNo);
        setLeftModelRow();
    } else {
        // An order already listed gets the new values in its row.
        for (const QJsonValue &value : data)
            mergeIntoRight(ShangJianRecordInfo::fromJson(value.toObject()));
        setRightModelRow();
    }
    restoreSearchButtons();
}

void ShangJianDialog::on_comboBox_currentIndexChanged(int index)
{
    setKeywordIsDate(index >= 1 && index <= 5);
}

void ShangJianDialog::mergeIntoRight(const ShangJianRecordInfo &record)
{
    bool listed = false;
    for (ShangJianRecordInfo &known : rightDataList)
        if (known.orderNo == record.orderNo) {
            known = record;
            listed = true;
        }
    if (!listed)
        rightDataList.append(record);
}

// ---- registration ----------------------------------------------------------------------------

void ShangJianDialog::on_tableView_left_doubleClicked(const QModelIndex &index)
{
    const int row = index.row();
    if (row < 0 || row >= leftDataList.size())
        return;
    const ShangJianOrderInfo &order = leftDataList.at(row);
    qCDebug(lcDesk) << "leftDataList[row].orderID" << order.orderID;
    // The order leaves the left table once the web service has taken the registration.
    postShangJian(order.orderID, order.orderNo);
}

void ShangJianDialog::postShangJian(const QString &orderId, const QString &leftOrderNo)
{
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("uid"), shop().eid)
                                .add(QStringLiteral("shopid"), shop().shopId)
                                .add(QStringLiteral("order_photo_id"), orderId)
                                .add(QStringLiteral("superid"), shop().superId)
                                .add(QStringLiteral("eid"), shop().eid)
                                .add(QStringLiteral("personid"), shop().eid)
                                .toByteArray();
    QNetworkReply *reply = post(g_url_gotodigitalid_post, body, &ShangJianDialog::queryShangjianCallBack);
    reply->setProperty(kLeftOrderNo, leftOrderNo);
}

void ShangJianDialog::queryShangjianCallBack(QNetworkReply *reply)
{
    QJsonObject obj;
    if (!readScanReply(reply, &obj))
        return;
    qCDebug(lcDesk).noquote() << "shangjian back Json:" << QJsonDocument(obj).toJson(QJsonDocument::Indented);
    const QString code = jsonString(obj, QStringLiteral("code"));
    const QString message = jsonString(obj, QStringLiteral("message"));
    if (code != QLatin1String("1") && code != QLatin1String("1002")) {
        warn(message);
        return;
    }

    const QString leftOrderNo = reply->property(kLeftOrderNo).toString();
    if (!leftOrderNo.isEmpty()) {
        for (int i = leftDataList.size() - 1; i >= 0; --i)
            if (leftDataList.at(i).orderNo == leftOrderNo)
                leftDataList.removeAt(i);
        setLeftModelRow();
    }
    const QJsonObject order = obj.value(QStringLiteral("order")).toObject();
    if (!order.isEmpty()) {
        mergeIntoRight(ShangJianRecordInfo::fromRegistration(order));
        setRightModelRow();
    }
    restoreTypeSearchButton();
    // A scan that went through needs no box: the next scan follows at once.
    if (code == QLatin1String("1002") || !leftOrderNo.isEmpty())
        notice(message);
}

// ---- export ----------------------------------------------------------------------------------

void ShangJianDialog::on_pushButton_3_clicked()
{
    exportExcel(ui->tableView_right);
}

void ShangJianDialog::exportExcel(QWidget *parent)
{
    QList<QStringList> rows;
    for (int r = -1; r < rightModel->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < rightModel->columnCount(); ++c)
            row.append(r < 0 ? rightModel->headerData(c, Qt::Horizontal).toString() : rightModel->item(r, c)->text());
        rows.append(row);
    }
    CsvExport::exportRows(parent, rows);
}
