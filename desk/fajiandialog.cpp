#include "fajiandialog.h"
#include "logging.h"
#include "ui_fajiandialog.h"

#include "barcodepicture.h"
#include "csvexport.h"
#include "globals.h"
#include "imageoperation.h"
#include "labelprinter.h"
#include "msgbox.h"
#include "webapi.h"

#include <QComboBox>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QNetworkReply>
#include <QPainter>
#include <QPrintDialog>
#include <QStandardItemModel>
#include <QTableWidgetItem>
#include <QTextDocument>

namespace {
const char *const kOrderIdProperty = "orderid";

// A chooser of the entries' names, each with its id; the entry named presetName is chosen (else the first).
template <typename Entry>
QComboBox *newChooser(const QList<Entry> &entries, const QString &presetName)
{
    auto *chooser = new QComboBox;
    int preset = -1;
    for (int i = 0; i < entries.size(); ++i) {
        chooser->addItem(entries.at(i).name, entries.at(i).id);
        if (preset < 0 && entries.at(i).name == presetName)
            preset = i;
    }
    chooser->setCurrentIndex(qMax(preset, 0));
    return chooser;
}

QTableWidgetItem *centred(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

// The search types of comboBox, in its order: the keyword's warning when empty.
const char *const kEmptyKeywordWarnings[] = {"请输入订单号", "请选择日期", "请选择日期", "请选择日期",
                                             "请选择日期",   "请输入姓名", "请输入电话"};
} // namespace

FaJianDialog::FaJianDialog(QWidget *parent, const ShopSettings &shop)
    : DeskDialog(parent, shop), ui(new Ui::FaJianDialog)
{
    ui->setupUi(this);
    initUi();
    setDeskWidgets({ui->lineEdit, ui->lineEdit_orderid, ui->lineEdit_orderid2, ui->pushButton, ui->pushButton_2});
}

FaJianDialog::~FaJianDialog()
{
    delete ui;
}

void FaJianDialog::initUi()
{
    setWindowFlags(Qt::Widget);
    setWindowTitle(QStringLiteral("发件管理"));

    leftModel = new QStandardItemModel(this);
    leftModel->setHorizontalHeaderLabels({QStringLiteral("单号"), QStringLiteral("姓名"), QStringLiteral("价位"),
                                          QStringLiteral("设计师"), QStringLiteral("设计完成日期")});
    ui->tableView_left->setModel(leftModel);
    setUpTable(ui->tableView_left);

    ui->tableWidget->setColumnCount(RightColumnCount);
    ui->tableWidget->setRowCount(0);
    ui->tableWidget->setHorizontalHeaderLabels(
        {QStringLiteral("产品名称"), QStringLiteral("尺寸"), QStringLiteral("类别"), QStringLiteral("数量"),
         QStringLiteral("P数"), QStringLiteral("发货日期"), QStringLiteral("加急取件"), QStringLiteral("备注"),
         QStringLiteral("冲印公司"), QStringLiteral("发冲印公司时间"), QStringLiteral("后期工厂"),
         QStringLiteral("发后期工厂时间"), QStringLiteral("打印条码")});
    setUpTable(ui->tableWidget);
}

void FaJianDialog::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // Widths follow the table's width at every paint; columns 8 to 11 keep 150 pixels.
    QTableWidget *table = ui->tableWidget;
    const double w = table->width() - 15;
    table->setColumnWidth(0, int(w * 0.133));
    for (int c = 1; c <= 4; ++c)
        table->setColumnWidth(c, int(w * 0.073));
    for (int c = 5; c < table->columnCount(); ++c) {
        if (c >= 8 && c <= 11)
            table->setColumnWidth(c, 150);
        else
            table->setColumnWidth(c, int(w * (c == 6 ? 0.073 : 0.083)));
    }
}

void FaJianDialog::scanned(const QString &code)
{
    postQueryOrderID(code);
}

void FaJianDialog::searchByNumber()
{
    on_pushButton_clicked();
}

void FaJianDialog::searchByType()
{
    on_pushButton_2_clicked();
}

// ---- order search ------------------------------------------------------------------------------

void FaJianDialog::on_pushButton_2_clicked()
{
    const QString keyword = ui->lineEdit_orderid2->text().trimmed();
    leftList.clear();
    productsByOrderId.clear();
    rightList.clear();
    const int index = ui->comboBox->currentIndex();
    if (index < 0 || index > 6)
        return;
    if (keyword.isEmpty()) {
        warn(QString::fromUtf8(kEmptyKeywordWarnings[index]));
        return;
    }
    postDataFunc(buildSearchBody(index + 1, keyword));
    setSearching(ui->pushButton_2);
}

void FaJianDialog::on_pushButton_clicked()
{
    const QString text = ui->lineEdit_orderid->text();
    if (text.trimmed().isEmpty()) {
        warn(QStringLiteral("请输入订单号"));
        return;
    }
    ui->lineEdit_orderid->selectAll();
    postDataFunc(buildSearchBody(1, text));
    setSearching(ui->pushButton);
}

QByteArray FaJianDialog::buildSearchBody(int type, const QString &keyword) const
{
    FormBody body = FormBody::withToken();
    const QString typeText = QString::number(type);
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        body.add(QStringLiteral("uid"), shop().eid).add(QStringLiteral("shopid"), shop().shopId);
        body.add(QStringLiteral("superid"), shop().superId).add(QStringLiteral("type"), typeText);
        body.add(type == 2 ? QStringLiteral("photodate") : QStringLiteral("orderpayforkey"), keyword);
        break;
    case 3:
    case 4:
    case 5:
        // The three day searches send the same fields; the reservation day (4) sends the user last.
        body.add(QStringLiteral("shopid"), shop().shopId).add(QStringLiteral("superid"), shop().superId);
        body.add(QStringLiteral("type"), typeText);
        if (type != 4)
            body.add(QStringLiteral("uid"), shop().eid);
        body.add(QStringLiteral("selectphotodate"), keyword);
        if (type == 4)
            body.add(QStringLiteral("uid"), shop().eid);
        break;
    default:
        break;
    }
    return body.toByteArray();
}

void FaJianDialog::postDataFunc(const QByteArray &body)
{
    post(g_url_order_list, body, &FaJianDialog::queryCallBack);
}

void FaJianDialog::postQueryOrderID(const QString &orderid)
{
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("shopid"), shop().shopId)
                                .add(QStringLiteral("orderid"), orderid)
                                .toByteArray();
    post(g_url_getorderbyid, body, &FaJianDialog::queryOrderIDCallBack);
}

void FaJianDialog::setChooserLists(const QList<PrintShopInfo> &shops, const QList<FactoryInfo> &factories)
{
    // "请选择" leads both lists, so that a product nobody assigned yet is never sent with a real shop.
    printShopList = QList<PrintShopInfo>{unchosenPrintShop()} + shops;
    factoryList = QList<FactoryInfo>{unchosenFactory()} + factories;
}

void FaJianDialog::queryCallBack(QNetworkReply *reply)
{
    QJsonObject obj;
    if (!readSearchReply(reply, &obj))
        return;
    setChooserLists(printShopsFromJson(obj.value(QStringLiteral("printshops"))),
                    factoriesFromJson(obj.value(QStringLiteral("factorys"))));

    const QJsonArray orders = obj.value(QStringLiteral("order")).toArray();
    qCDebug(lcDesk) << "order_list" << orders.size();
    if (orders.isEmpty()) {
        notice(QStringLiteral("没有查询到任何订单"));
        restoreSearchButtons();
        return;
    }
    for (const QJsonValue &value : orders)
        appendUnlisted(leftList, FaJianOrderInfo::fromJson(value.toObject()), &FaJianOrderInfo::orderpayforkey);
    productsByOrderId.clear();
    rightList.clear();
    for (const FaJianOrderInfo &order : qAsConst(leftList))
        postQueryProducts(order.orderid);
    setLeftModelRow();
    restoreSearchButtons();
}

void FaJianDialog::queryOrderIDCallBack(QNetworkReply *reply)
{
    QJsonObject obj;
    if (!readScanReply(reply, &obj))
        return;
    qCDebug(lcDesk) << "obj" << obj;
    if (!replyOk(obj)) {
        warn(jsonString(obj, QStringLiteral("message")));
        return;
    }
    const QJsonArray shops = obj.value(QStringLiteral("printshops")).toArray();
    const QJsonArray factories = obj.value(QStringLiteral("factorys")).toArray();
    if (!shops.isEmpty() && !factories.isEmpty())
        setChooserLists(printShopsFromJson(shops), factoriesFromJson(factories));
    else
        notice(QStringLiteral("后台没有设置冲印公司或后期工厂"));

    const QJsonObject orderObj = obj.value(QStringLiteral("order")).toObject();
    if (orderObj.isEmpty()) {
        notice(QStringLiteral("没有查询到任何订单"));
        restoreTypeSearchButton();
        return;
    }
    const FaJianOrderInfo order = FaJianOrderInfo::fromJson(QJsonObject{
        {"orderpayforkey", orderObj.value("orderpayforkey")}, {"order_price", orderObj.value("order_price")},
        {"sheji", orderObj.value("sheji")}, {"shejitime", orderObj.value("shejitime")},
        {"orderid", orderObj.value("orderid")}, {"mname", orderObj.value("mname")},
        {"wname", orderObj.value("wname")}});
    appendUnlisted(leftList, order, &FaJianOrderInfo::orderpayforkey);
    postQueryProducts(order.orderid);
    setLeftModelRow();
    restoreTypeSearchButton();
}

void FaJianDialog::setLeftModelRow()
{
    QList<QStringList> rows;
    for (const FaJianOrderInfo &o : qAsConst(leftList))
        rows.append({o.orderpayforkey, o.name, o.order_price, o.sheji, o.shejitime});
    fillModel(leftModel, rows);
}

int FaJianDialog::getRowOfOrder(const QString &orderid) const
{
    qCDebug(lcDesk) << "leftList count is:" << leftList.size();
    for (int i = 0; i < leftList.size(); ++i)
        if (leftList.at(i).orderid == orderid)
            return i;
    return leftList.size();
}

void FaJianDialog::on_comboBox_currentIndexChanged(int index)
{
    setKeywordIsDate(index >= 1 && index <= 4);
}

void FaJianDialog::onEnterScanCodeEdit()
{
    qCDebug(lcDesk) << "received";
}

// ---- products --------------------------------------------------------------------------------

void FaJianDialog::postQueryProducts(const QString &orderid)
{
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("orderid"), orderid)
                                .add(QStringLiteral("shopid"), shop().shopId)
                                .toByteArray();
    qCDebug(lcDesk) << "post request row is:" << getRowOfOrder(orderid);
    // The reply is placed by the order it was asked for, whatever order the replies arrive in.
    post(g_url_ordergoods, body, &FaJianDialog::queryProductsCallBack)->setProperty(kOrderIdProperty, orderid);
}

void FaJianDialog::queryProductsCallBack(QNetworkReply *reply)
{
    const QString orderid = reply->property(kOrderIdProperty).toString();
    QJsonObject obj;
    const bool read = readJsonReply(reply, &obj);
    restoreTypeSearchButton();
    if (read) {
        qCDebug(lcDesk) << "productInfO:0803" << orderid;
        if (!replyOk(obj)) {
            const QString code = jsonString(obj, QStringLiteral("code"));
            qCDebug(lcDesk) << "code is:" << code;
            warn(QStringLiteral("查询产品信息错误：") + code);
            return;
        }
        if (getRowOfOrder(orderid) >= leftList.size()) {
            qCDebug(lcDesk) << "products of an order no longer listed, dropped:" << orderid;
            return;
        }
        productsByOrderId.insert(orderid, goodsFromReply(obj.value(QStringLiteral("order")).toObject()));
    } else if (reply->error() != QNetworkReply::NoError) {
        return;
    }
    // A row clicked before its products arrived, or the shown order after a re-query, is shown now.
    const int clicked = leftIndex.row();
    if (leftIndex.isValid() && clicked < leftList.size() && leftList.at(clicked).orderid == orderid)
        on_tableView_left_clicked(leftIndex);
}

void FaJianDialog::on_tableView_left_clicked(const QModelIndex &index)
{
    leftIndex = index;
    const int row = index.row();
    const auto found = row >= 0 && row < leftList.size() ? productsByOrderId.constFind(leftList.at(row).orderid)
                                                         : productsByOrderId.constEnd();
    if (found == productsByOrderId.constEnd()) {
        qCDebug(lcDesk) << "noright";
        return;
    }
    if (found->isEmpty() || !found->last().loaded) {
        qCDebug(lcDesk) << "rightisnotok";
        return;
    }
    currentRow = row;
    refreshRightTable(row);
}

void FaJianDialog::refreshRightTable(int row)
{
    const FaJianOrderInfo order = leftList.value(currentRow);
    ui->label_currentID->setText(QStringLiteral("当前订单号：") + order.orderpayforkey);
    rightList = productsByOrderId.value(leftList.value(row).orderid);
    m_shownOrderId = leftList.value(row).orderid;
    qCDebug(lcDesk) << "page" << row << (rightList.isEmpty() ? QString() : rightList.first().goodname);
    if (rightList.isEmpty())
        return;

    QTableWidget *table = ui->tableWidget;
    table->setRowCount(0); // drops the items and choosers of the order shown before
    table->setRowCount(rightList.size() + 1);
    const FaJianGoodsInfo &first = rightList.first();
    // Row 0: the apply-to-all choosers, connected only after presetting so that presetting changes no row.
    if (!printShopList.isEmpty()) {
        QComboBox *all = newChooser(printShopList, first.printshopname);
        table->setCellWidget(0, ColPrintShop, all);
        connect(all, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &FaJianDialog::setAllPrintShop);
    }
    if (!factoryList.isEmpty()) {
        QComboBox *all = newChooser(factoryList, first.factoryname);
        table->setCellWidget(0, ColFactory, all);
        connect(all, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &FaJianDialog::setAllFactory);
    }
    for (int k = 0; k < rightList.size(); ++k) {
        const FaJianGoodsInfo &good = rightList.at(k);
        const int r = k + 1;
        const bool urgent = good.isurgent == QLatin1String("1");
        table->setItem(r, ColName, centred(good.goodname));
        table->setItem(r, ColSize, centred(good.goodsizename));
        table->setItem(r, ColType, centred(good.goodtype));
        table->setItem(r, ColNumber, centred(good.number));
        table->setItem(r, ColPages, centred(good.goodtypeid == QLatin1String("15") ? good.pnumber : QString()));
        table->setItem(r, ColDelivery, centred(urgent ? order.urgentdate : order.getphotodate));
        table->setItem(r, ColUrgent, centred(urgent ? QStringLiteral("是") : QStringLiteral("否")));
        table->setItem(r, ColRemark, centred(good.descr));
        if (!printShopList.isEmpty())
            table->setCellWidget(r, ColPrintShop, newChooser(printShopList, good.printshopname));
        if (!factoryList.isEmpty())
            table->setCellWidget(r, ColFactory, newChooser(factoryList, good.factoryname));
        table->setItem(r, ColPrintShopTime, new QTableWidgetItem(good.sendToPrintshopTime2));
        table->setItem(r, ColFactoryTime, new QTableWidgetItem(good.sendToFactoryTime2));
        auto *tick = centred(QString());
        tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        tick->setCheckState(Qt::Checked);
        table->setItem(r, ColPrint, tick);
    }
}

void FaJianDialog::setAllPrintShop(int index)
{
    qCDebug(lcDesk) << "printShop:" << index;
    applyToAll(ColPrintShop, index);
}

void FaJianDialog::setAllFactory(int index)
{
    qCDebug(lcDesk) << "factory:" << index;
    applyToAll(ColFactory, index);
}

void FaJianDialog::applyToAll(int column, int index)
{
    for (int r = 1; r <= rightList.size(); ++r)
        if (auto *chooser = qobject_cast<QComboBox *>(ui->tableWidget->cellWidget(r, column)))
            chooser->setCurrentIndex(index);
}

int FaJianDialog::shownRowOrWarn()
{
    const bool shown = !rightList.isEmpty() && currentRow >= 0 && currentRow < leftList.size()
                       && leftList.at(currentRow).orderid == m_shownOrderId
                       && ui->tableWidget->rowCount() == rightList.size() + 1;
    if (!shown) {
        warn(QStringLiteral("请先选择订单"));
        return -1;
    }
    return currentRow;
}

// ---- submission ------------------------------------------------------------------------------

void FaJianDialog::on_pushButton_submit_clicked()
{
    if (shownRowOrWarn() < 0)
        return;
    QJsonArray goods;
    bool listsMissing = false;
    for (int k = 0; k < rightList.size(); ++k) {
        const FaJianGoodsInfo &good = rightList.at(k);
        if (good.isPlaceholder())
            continue;
        const auto *shop = qobject_cast<QComboBox *>(ui->tableWidget->cellWidget(k + 1, ColPrintShop));
        const auto *factory = qobject_cast<QComboBox *>(ui->tableWidget->cellWidget(k + 1, ColFactory));
        if (!shop || !factory) {
            listsMissing = true;
            continue;
        }
        // Keys in alphabetical order, every value a string.
        goods.append(QJsonObject{{"factoryid", factory->currentData().toString()},
                                 {"ordergoodid", good.id},
                                 {"printshopid", shop->currentData().toString()}});
    }
    if (goods.isEmpty() && !listsMissing) {
        warn(QStringLiteral("该订单没有产品"));
        return;
    }
    if (listsMissing) {
        warn(QStringLiteral("后台没有设置冲印公司或后期工厂"));
        return;
    }
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("uid"), shop().eid)
                                .add(QStringLiteral("shopid"), shop().shopId)
                                .add(QStringLiteral("orderid"), m_shownOrderId)
                                .add(QStringLiteral("sendgoodsinfo"),
                                     QString::fromUtf8(QJsonDocument(goods).toJson(QJsonDocument::Compact)))
                                .toByteArray();
    qCDebug(lcDesk) << "postData" << maskSecrets(body);
    post(g_url_sendtoshop, body, &FaJianDialog::querySendToShopCallBack)->setProperty(kOrderIdProperty, m_shownOrderId);
}

void FaJianDialog::querySendToShopCallBack(QNetworkReply *reply)
{
    const QString orderid = reply->property(kOrderIdProperty).toString();
    QJsonObject obj;
    const bool read = readJsonReply(reply, &obj);
    restoreTypeSearchButton();
    if (!read)
        return;
    qCDebug(lcDesk) << "obj1111" << obj;
    if (!replyOk(obj)) {
        warn(QStringLiteral("提交发件错误：") + jsonString(obj, QStringLiteral("code")));
        return;
    }
    // The re-query shows the new send times once it is answered.
    if (getRowOfOrder(orderid) < leftList.size())
        postQueryProducts(orderid);
    notice(QStringLiteral("发件成功!"));
}

// ---- labels ----------------------------------------------------------------------------------

void FaJianDialog::on_pushButton_print_clicked()
{
    const int row = shownRowOrWarn();
    if (row < 0)
        return;
    QList<CodeImageInfo> list;
    QList<QImage> pictures;
    QStringList withoutBarcode;
    for (int k = 0; k < rightList.size(); ++k) {
        const FaJianGoodsInfo &good = rightList.at(k);
        const QTableWidgetItem *tick = ui->tableWidget->item(k + 1, ColPrint);
        if (good.isPlaceholder() || !tick || tick->checkState() != Qt::Checked)
            continue;
        qCDebug(lcDesk) << "i" << k;
        CodeImageInfo info;
        info.topLine1 = good.goodname;
        info.topLine2 = good.goodsizename;
        info.bottomLine1 = good.id + QStringLiteral("  ") + leftList.at(row).orderpayforkey;
        info.bottomLine2 = shop().shopName;
        // Each label's bars are drawn in memory from its own id: two ids that would make one file name, or a
        // file another user left in a shared folder, never put one product's bars on another's label.
        QString error;
        const QImage picture = BarcodePicture::draw(good.id, &error);
        if (picture.isNull()) {
            qCWarning(lcDesk) << "barcode not drawn, the label has no bars:" << good.id << error;
            withoutBarcode.append(good.id);
        }
        list.append(info);
        pictures.append(picture);
    }
    if (printCodeImages(list, pictures) && !withoutBarcode.isEmpty())
        warn(QStringLiteral("以下产品的条码无法生成，标签上没有条码：\n") + withoutBarcode.join(QLatin1Char('\n')));
}

bool FaJianDialog::printCodeImages(const QList<CodeImageInfo> &list, const QList<QImage> &pictures)
{
    if (list.isEmpty())
        return true;
    LabelPrinter labels;
    if (!labels.isValid()) {
        warn(QStringLiteral("没有默认打印机，无法打印条码"));
        return false;
    }
    QPrinter *printer = labels.printer();
    // The page is the printer's own page, 2.5 mm higher, without margins.
    const int widthMM = printer->widthMM();
    const double heightMM = printer->heightMM() + 2.5;
    qCDebug(lcDesk) << "widthMM" << widthMM << "heightMM" << heightMM << "logicalDpiX" << printer->logicalDpiX()
             << "logicalDpiY" << printer->logicalDpiY() << "printer.width()" << printer->width()
             << "printer.height()" << printer->height() << "printer.pageSize()" << printer->pageLayout().pageSize().name();
    printer->setPageOrientation(QPageLayout::Portrait);
    printer->setFullPage(true);
    printer->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    printer->setPageSize(QPageSize(QSizeF(widthMM, heightMM), QPageSize::Millimeter, QString(), QPageSize::ExactMatch));

    for (int i = 0; i < list.size(); ++i) {
        const QImage label = ImageOperation::makeBarcodeLabel(list.at(i), pictures.value(i));
        QPainter painter;
        if (!labels.beginJob(&painter)) {
            warn(QStringLiteral("打印条码失败"));
            return false;
        }
        // The label fills as much of the page as it can with its proportions kept, from the top-left corner.
        const QRect area = painter.viewport();
        const QSize size = label.size().scaled(area.size(), Qt::KeepAspectRatio);
        painter.setViewport(area.x(), area.y(), size.width(), size.height());
        painter.setWindow(label.rect());
        painter.drawImage(0, 0, label);
        qCDebug(lcDesk) << "i" << i;
        if (!painter.end() || printer->printerState() == QPrinter::Error) {
            warn(QStringLiteral("打印条码失败"));
            return false;
        }
    }
    return true;
}

void FaJianDialog::printHtml(const QString &html)
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QTextDocument document;
    document.setHtml(html);
    document.print(&printer);
}

// ---- export ----------------------------------------------------------------------------------

void FaJianDialog::on_pushButton_excel_clicked()
{
    exportExcel(ui->tableWidget);
}

void FaJianDialog::exportExcel(QWidget *parent)
{
    // The product rows as shown: the chosen names of the choosers, "是" / "否" for the print tick.
    const QTableWidget *table = ui->tableWidget;
    QList<QStringList> rows;
    QStringList header;
    for (int c = 0; c < table->columnCount(); ++c)
        header.append(table->horizontalHeaderItem(c) ? table->horizontalHeaderItem(c)->text() : QString());
    rows.append(header);
    for (int r = 1; r < table->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            if (const auto *chooser = qobject_cast<const QComboBox *>(table->cellWidget(r, c)))
                row.append(chooser->currentText());
            else if (c == ColPrint)
                row.append(item && item->checkState() == Qt::Checked ? QStringLiteral("是") : QStringLiteral("否"));
            else
                row.append(item ? item->text() : QString());
        }
        rows.append(row);
    }
    CsvExport::exportRows(parent, rows);
}
