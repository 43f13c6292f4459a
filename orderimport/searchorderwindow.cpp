#include "searchorderwindow.h"
#include "logging.h"
#include "ui_searchorderwindow.h"

#include "fileoperation.h"
#include "globals.h"
#include "importordermodel.h"
#include "msgbox.h"
#include "webapi.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QCursor>
#include <QDebug>
#include <QGuiApplication>
#include <QHeaderView>
#include <QJsonArray>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScreen>
#include <QSet>
#include <QStandardItemModel>

namespace {

const int kColumnCount = 13;
const int kPathColumn = 7;

const QString kSearchText = QStringLiteral("检索");
const QString kSearchingText = QStringLiteral("检索中...");

// The web service's number for each search kind, in the order of the kind box.
const int kSearchType[] = {1, 4, 5, 6, 7, 9, 2, 3};

} // namespace

SearchOrderWindow::SearchOrderWindow(QWidget *parent, const ShopSettings &shop)
    : QDialog(parent), ui(new Ui_SearchOrderWindow), m_shop(shop)
{
    ui->setupUi(this);
    // A modeless window of its own: nobody holds it, so it goes when it is closed.
    setAttribute(Qt::WA_DeleteOnClose);
    setFocus(Qt::OtherFocusReason);
    ui->orderNumber->setFocus(Qt::OtherFocusReason);
    ui->selectPathButton->hide();
    ui->pathLineEdit->hide();

    ui->searchButton->setDefault(true); // Enter in the search field searches
    connect(ui->calendar, &QCalendarWidget::clicked, this, &SearchOrderWindow::calendarClickAction);
    connect(ui->addOrdersBtn, &QPushButton::clicked, this, &SearchOrderWindow::addOrdersBtnSlot);

    // One manager serves every search of the window; at most one search is under way at a time.
    m_manager = new QNetworkAccessManager(this);
    connect(m_manager, &QNetworkAccessManager::finished, this, &SearchOrderWindow::queryCallBack);

    initTable();
    loadCopyPath();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->geometry();
        resize(int(desk.width() * 0.8), int(desk.height() * 0.8));
    }
}

SearchOrderWindow::~SearchOrderWindow()
{
    // Replies still under way are dropped with the manager and must not reach a window being torn down.
    if (m_manager) {
        disconnect(m_manager, nullptr, this, nullptr);
        delete m_manager;
        m_manager = nullptr;
    }
    releaseOrderList();
    m_selectList.clear();
    delete m_rightMenu;
    delete ui;
}

void SearchOrderWindow::initTable()
{
    setWindowFlags(Qt::WindowFlags());
    setWindowTitle(QStringLiteral("检索订单 (双击添加订单)"));

    m_model = new QStandardItemModel(this);
    m_model->setHorizontalHeaderLabels({
        QStringLiteral("预约单号"), QStringLiteral("所属门店"), QStringLiteral("服务次数"),
        QStringLiteral("客人姓名"), QStringLiteral("摄影师"), QStringLiteral("化妆师"),
        QStringLiteral("样前对比片师"), QStringLiteral("订单路径"), QStringLiteral("样后修片师"),
        QStringLiteral("套系"), QStringLiteral("套系金额"), QStringLiteral("订单现售价"),
        QStringLiteral("上件日期"),
    });
    ui->tableView->setModel(m_model);
    ui->tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_model, &QStandardItemModel::itemChanged, this, &SearchOrderWindow::selectAllOrderSlot);

    ui->tableView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->tableView, &QWidget::customContextMenuRequested, this, &SearchOrderWindow::showMouseRightButton);

    m_openDirAction = new QAction(QStringLiteral("打开订单目录"), this);
    connect(m_openDirAction, &QAction::triggered, this, &SearchOrderWindow::openOrderDir);
    m_rightMenu = new QMenu(ui->tableView);
    m_rightMenu->addAction(m_openDirAction);

    connect(ui->searchButton, &QPushButton::clicked, this, &SearchOrderWindow::clickSearch);
    connect(ui->cancelButton, &QPushButton::clicked, this, &SearchOrderWindow::clickCancel);
}

void SearchOrderWindow::loadCopyPath()
{
    const QStringList paths = FileOperation::readDatFile(QStringLiteral("path_copyPhotos.dat"), 1);
    if (!paths.isEmpty())
        ui->pathLineEdit->setText(paths.first());
}

// ---- search ----

void SearchOrderWindow::clickSearch()
{
    const QString date = ui->calendar->selectedDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString typed = ui->orderNumber->text();
    const int kind = ui->comboBox->currentIndex();

    auto missing = [](const QString &text) {
        MsgBox::information(nullptr, QStringLiteral("警告"), text, QMessageBox::Yes);
    };

    QString keyword;
    switch (kind) {
    case ByOrderNumber:
        if (typed.isEmpty())
            return missing(QStringLiteral("请输入订单号"));
        keyword = typed.trimmed();
        break;
    case ByName:
        if (typed.isEmpty())
            return missing(QStringLiteral("请输入姓名"));
        keyword = typed; // names are sent as typed
        break;
    case ByPhone:
        if (typed.isEmpty())
            return missing(QStringLiteral("请输入电话"));
        keyword = typed.trimmed();
        break;
    case ByShotDate:
    case BySelectDate:
    case ByBookDate:
    case ByShipDate:
    case ByUploadDate:
        keyword = date;
        break;
    default:
        return;
    }

    searchByType(kind, keyword);
    ui->searchButton->setEnabled(false);
    ui->searchButton->setText(kSearchingText);
}

void SearchOrderWindow::searchByType(int kind, const QString &keyword)
{
    if (kind < ByOrderNumber || kind > ByPhone)
        return;
    FormBody body = FormBody::withToken();
    body.add(QStringLiteral("shopid"), m_shop.shopId)
        .add(QStringLiteral("searchtype"), QString::number(kSearchType[kind]))
        .add(QStringLiteral("keyword"), keyword)
        .add(QStringLiteral("superid"), m_shop.superId);

    const QString uid = QStringLiteral("uid");
    const QString eid = QStringLiteral("eid");
    const QString personid = QStringLiteral("personid");
    QStringList tail;
    switch (kind) {
    case ByOrderNumber:
    case ByShipDate:
    case ByUploadDate:
        tail = QStringList{uid, eid, personid};
        break;
    case ByShotDate:
    case ByBookDate:
        tail = QStringList{eid, personid, uid};
        break;
    case BySelectDate:
        tail = QStringList{eid, uid};
        break;
    case ByName:
    case ByPhone:
        tail = QStringList{eid, personid};
        break;
    default:
        return;
    }
    for (const QString &key : tail)
        body.add(key, key == uid ? m_shop.uid : m_shop.eid); // the employee id goes as both "eid" and "personid"

    QByteArray bytes = body.toByteArray();
    postDataFunc(bytes);
}

void SearchOrderWindow::postDataFunc(QByteArray &body)
{
    postForm(m_manager, g_url_order_list, body);
    qCDebug(lcImport) << "query order url:" << g_url_order_list;
    qCDebug(lcImport) << "query order paras:" << maskSecrets(body);
}

void SearchOrderWindow::queryCallBack(QNetworkReply *reply)
{
    if (!reply)
        return;
    reply->deleteLater();
    ui->searchButton->setEnabled(true);
    ui->searchButton->setText(kSearchText);

    QJsonObject obj;
    if (!readJsonReply(reply, &obj)) // a body that is not JSON is only logged
        return;
    const QString code = jsonString(obj, QStringLiteral("code"));
    if (code != QLatin1String("1")) {
        MsgBox::information(nullptr, QStringLiteral("警告"), QStringLiteral("错误代码：") + code, QMessageBox::Yes);
        return;
    }

    // A reply without a "data" array, or with entries that are not orders, lists nothing.
    QList<QJsonObject> orders;
    const QJsonArray data = obj.value(QStringLiteral("data")).toArray();
    for (const QJsonValue &v : data) {
        if (v.isObject())
            orders.append(v.toObject());
    }
    if (orders.isEmpty()) {
        MsgBox::information(nullptr, QStringLiteral("提示"), QStringLiteral("没有查询到任何订单"), QMessageBox::Yes);
        return;
    }

    releaseOrderList();
    for (const QJsonObject &order : orders) {
        auto *record = new ImportOrderModel(order);
        m_orderList.append(record);
        m_orderJson.append(order);
        m_guards.append(QPointer<ImportOrderModel>(record));
        m_handedOver.append(false);
    }
    fillOrderTable();
}

// ---- table ----

void SearchOrderWindow::fillOrderTable()
{
    m_model->removeRows(0, m_model->rowCount());

    auto *all = new QStandardItem(QStringLiteral("全选"));
    all->setCheckable(true);
    all->setCheckState(Qt::Unchecked);
    m_model->appendRow(all);

    for (int i = 0; i < m_orderList.size(); ++i) {
        const ImportOrderModel *r = m_orderList.at(i);
        const QStringList texts{
            r->orderPayForKey(), r->storesName(), r->serviceTimes(), r->customerNames(),
            r->role1(), r->role2(), r->tiaoSeName(), r->orderPath(), r->tiaoXiName(),
            r->comboName(), r->orderBasePrice(), r->orderPrice(), r->gotoDigitalTime(),
        };
        QList<QStandardItem *> items;
        for (const QString &t : texts)
            items.append(new QStandardItem(t));
        items.first()->setCheckable(true);
        items.first()->setCheckState(Qt::Unchecked);
        m_model->appendRow(items);
        const int row = i + 1;
        for (int c = 1; c < kColumnCount; ++c) {
            if (c == kPathColumn)
                continue;
            m_model->item(row, c)->setData(int(Qt::AlignHCenter | Qt::AlignVCenter), Qt::TextAlignmentRole);
        }
    }
}

void SearchOrderWindow::selectAllOrderSlot(QStandardItem *item)
{
    if (m_orderList.isEmpty() || !m_model->item(1, 0) || item != m_model->item(0, 0))
        return;
    const int state = item->data(Qt::CheckStateRole).toInt();
    Qt::CheckState target;
    if (state == Qt::Checked) {
        qCDebug(lcImport) << "select all!";
        target = Qt::Checked;
    } else if (state == Qt::Unchecked) {
        qCDebug(lcImport) << "unselect all!";
        target = Qt::Unchecked;
    } else {
        return;
    }
    for (int row = 1; row <= m_orderList.size(); ++row) {
        if (QStandardItem *it = m_model->item(row, 0))
            it->setCheckState(target);
    }
}

// ---- hand-over ----

ImportOrderModel *SearchOrderWindow::recordForRow(int row)
{
    const int i = row - 1;
    if (i < 0 || i >= m_orderList.size())
        return nullptr;
    if (m_guards.at(i).isNull()) {
        // The receiver has let go of the record it was given: hand over a fresh one of the same order.
        auto *record = new ImportOrderModel(m_orderJson.at(i));
        m_orderList[i] = record;
        m_guards[i] = record;
        m_handedOver[i] = false;
    }
    return m_orderList.at(i);
}

void SearchOrderWindow::handOver(const QList<int> &rows)
{
    m_selectList.clear();
    QSet<QString> keys;
    for (int row : rows) {
        ImportOrderModel *record = recordForRow(row);
        if (!record)
            continue;
        const QString key = record->orderKey();
        if (keys.contains(key)) {
            qCDebug(lcImport) << "order listed twice, handed over once:" << key;
            continue;
        }
        keys.insert(key);
        m_selectList.append(record);
        m_handedOver[row - 1] = true;
    }
    if (m_selectList.isEmpty())
        return;
    const QList<ImportOrderModel *> out = m_selectList;
    m_selectList.clear(); // the records are the receiver's now
    emit addSelectOrderSigl(out);
}

void SearchOrderWindow::addOrdersBtnSlot()
{
    m_selectList.clear();
    QList<int> rows;
    for (int row = 1; row <= m_orderList.size(); ++row) {
        const QStandardItem *it = m_model->item(row, 0);
        if (it && it->data(Qt::CheckStateRole).toInt() == Qt::Checked)
            rows.append(row);
    }
    if (rows.isEmpty()) {
        MsgBox::information(this, QStringLiteral("提示"), QStringLiteral("请选择导入的订单"), QMessageBox::Ok,
                            QMessageBox::NoButton);
        return;
    }
    handOver(rows);
}

void SearchOrderWindow::on_tableView_doubleClicked(const QModelIndex &index)
{
    m_selectList.clear();
    const int row = index.row();
    qCDebug(lcImport) << "index====" << row;
    if (row < 1 || row > m_orderList.size())
        return;
    qCDebug(lcImport) << "orderpath====" << m_model->item(row, kPathColumn)->text();
    handOver({row});
}

void SearchOrderWindow::releaseOrderList()
{
    for (int i = 0; i < m_orderList.size(); ++i) {
        if (!m_handedOver.value(i) && !m_guards.value(i).isNull())
            delete m_orderList.at(i);
    }
    m_orderList.clear();
    m_orderJson.clear();
    m_guards.clear();
    m_handedOver.clear();
}

// ---- context menu ----

void SearchOrderWindow::showMouseRightButton(const QPoint &pos)
{
    Q_UNUSED(pos)
    const int row = ui->tableView->currentIndex().row();
    qCDebug(lcImport) << "selectedRow===" << row;
    if (row < 1 || row > m_orderList.size())
        return;
    const QStandardItem *pathItem = m_model->item(row, kPathColumn);
    m_openDirAction->setEnabled(pathItem && !pathItem->text().isEmpty());
    m_rightMenu->popup(QCursor::pos());
}

void SearchOrderWindow::openOrderDir()
{
    const int row = ui->tableView->currentIndex().row();
    if (row < 1 || row > m_orderList.size())
        return;
    const QString path = m_model->item(row, kPathColumn)->text();
    if (!path.isEmpty())
        FileOperation::openFileDir(path);
}

// ---- the rest of the window ----

void SearchOrderWindow::clickCancel()
{
    close();
}

void SearchOrderWindow::reject()
{
    close();
}

void SearchOrderWindow::importClosed()
{
    show();
}

void SearchOrderWindow::calendarClickAction()
{
    ui->searchButton->setFocus(Qt::OtherFocusReason);
}

void SearchOrderWindow::on_selectPathButton_clicked()
{
    const QString dir = FileDialogs::getExistingDirectory(this, QStringLiteral("选择分件保存路径"), QString());
    if (!dir.isEmpty())
        ui->pathLineEdit->setText(dir);
}

void SearchOrderWindow::paintEvent(QPaintEvent *event)
{
    const int w = ui->tableView->width();
    QTableView *t = ui->tableView;
    if (int(0.13 * w) >= 130) {
        t->setColumnWidth(0, int(0.13 * w));
        for (int c = 1; c <= 5; ++c)
            t->setColumnWidth(c, int(0.1 * w));
        t->setColumnWidth(6, int(0.13 * w));
        t->setColumnWidth(7, int(0.32 * w));
        t->setColumnWidth(8, int(0.11 * w));
        t->setColumnWidth(9, int(0.13 * w));
        for (int c = 10; c <= 12; ++c)
            t->setColumnWidth(c, int(0.11 * w));
    } else {
        const int r = w - 130;
        t->setColumnWidth(0, 130);
        t->setColumnWidth(1, int(0.1113 * r));
        for (int c = 2; c <= 5; ++c)
            t->setColumnWidth(c, int(0.113 * r));
        t->setColumnWidth(6, int(0.1243 * r));
        t->setColumnWidth(7, int(0.4 * r));
        for (int c = 8; c <= 12; ++c)
            t->setColumnWidth(c, int(0.1243 * r));
    }
    QDialog::paintEvent(event);
}

void SearchOrderWindow::closeEvent(QCloseEvent *event)
{
    emit closeSignal();
    QWidget::closeEvent(event);
}
