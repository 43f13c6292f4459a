#include "ordersearchwindowbase.h"

#include "fileoperation.h"
#include "globals.h"
#include "logging.h"
#include "msgbox.h"
#include "multiselectcombobox.h"
#include "orderdeletebatch.h"
#include "webapi.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDebug>
#include <QGroupBox>
#include <QKeyEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

const QString kTickedRowStyle = QStringLiteral("selection-background-color: rgb(135, 206, 250);selection-color:black;");
const QString kUntickedRowStyle = QStringLiteral("selection-background-color: rgb(248, 248, 255);selection-color:black;");

namespace {

const QString kSearchText = QStringLiteral("检索");
const QString kSearchingText = QStringLiteral("检索中...");
const QString kSavePathFile = QStringLiteral("path_separatePhotos.dat");

// The go-to-digital date's column, which the batch deletion's table leaves out.
const int kDigitalDateColumn = 13;

} // namespace

// ---- columns ----

const QList<OrderColumn> &separationColumns()
{
    static const QList<OrderColumn> columns{
        {QStringLiteral("分件"), nullptr},
        {QStringLiteral("预约单号"), &OrderRowInfo::orderpayforkey},
        {QStringLiteral("所属门店"), &OrderRowInfo::storesname},
        {QStringLiteral("服务次数"), &OrderRowInfo::servicetimes},
        {QStringLiteral("客人姓名"), &OrderRowInfo::customerName},
        {QStringLiteral("摄影师"), &OrderRowInfo::role1},
        {QStringLiteral("化妆师"), &OrderRowInfo::role2},
        {QStringLiteral("设计师"), &OrderRowInfo::role10},
        {QStringLiteral("样前对比片师"), &OrderRowInfo::tiaosename},
        {QStringLiteral("样后修片师"), &OrderRowInfo::tiaoxiname},
        {QStringLiteral("套系"), &OrderRowInfo::comboname},
        {QStringLiteral("套系金额"), &OrderRowInfo::orderbaseprice},
        {QStringLiteral("订单现售价"), &OrderRowInfo::order_price},
        {QStringLiteral("上件日期"), &OrderRowInfo::gotodigitaltime},
        {QStringLiteral("订单路径"), &OrderRowInfo::orderpath, false},
    };
    return columns;
}

const QList<OrderColumn> &batchDeleteColumns()
{
    static const QList<OrderColumn> columns = [] {
        QList<OrderColumn> c = separationColumns();
        c.removeAt(kDigitalDateColumn);
        return c;
    }();
    return columns;
}

QList<int> orderColumnWidths(int tableWidth, int columnCount)
{
    const double w = tableWidth;
    QList<int> widths;
    if (tableWidth >= 1000) {
        const double d = w - 60;
        const int c2 = int(d * 0.09);
        const int c8 = int(d * 0.1);
        widths = {60, int(d * 0.13), c2, int(d * 0.06), c2, c2, c2, c2, c8, c8, c8, c8, c8, c8, int(d * 0.32)};
    } else {
        const double d = w - 190;
        const int c2 = int(d * 0.113);
        const int c8 = int(d * 0.12143);
        widths = {60, 130, c2, int(d * 0.06), c2, c2, c2, int(d * 0.1243), c8, c8, c8, c8, c8, c8, int(d * 0.4)};
    }
    if (columnCount == widths.size() - 1)
        widths.removeAt(kDigitalDateColumn);
    return widths;
}

// ---- search types ----

const QList<OrderSearchType> &orderSearchTypes()
{
    static const QList<OrderSearchType> types = [] {
        // The fields after "token", which always comes first; the order is part of each request.
        const QString eid = QStringLiteral("eid"), shopid = QStringLiteral("shopid"),
                      type = QStringLiteral("searchtype"), superid = QStringLiteral("superid"),
                      keyword = QStringLiteral("keyword"), personid = QStringLiteral("personid"),
                      uid = QStringLiteral("uid");
        const QStringList dates{shopid, type, superid, keyword, eid, personid, uid};      // 4 to 7
        const QStringList laterDates{shopid, type, eid, superid, keyword, personid, uid}; // 8, 10, 11, 13
        const QStringList nameOrder{shopid, type, eid, personid, uid, superid, keyword};  // 2, 9, 12
        return QList<OrderSearchType>{
            {QStringLiteral("预约单号"), 1, QStringLiteral("请输入订单号"), {eid, shopid, type, superid, keyword, personid, uid}},
            {QStringLiteral("姓名"), 2, QStringLiteral("请输入姓名"), nameOrder},
            {QStringLiteral("电话"), 3, QStringLiteral("请输入电话"), {shopid, type, superid, keyword, eid, uid, personid}},
            {QStringLiteral("拍摄日期"), 4, QString(), dates},
            {QStringLiteral("选片日期"), 5, QString(), dates},
            {QStringLiteral("预约日期"), 6, QString(), dates},
            {QStringLiteral("发货日期"), 7, QString(), dates},
            {QStringLiteral("选片完成日期"), 8, QString(), laterDates},
            {QStringLiteral("上件日期"), 9, QString(), nameOrder},
            {QStringLiteral("取件完成日期"), 10, QString(), laterDates},
            {QStringLiteral("品管安排日期"), 11, QString(), laterDates},
            {QStringLiteral("转设计时间"), 12, QString(), nameOrder},
            {QStringLiteral("转数码日期"), 13, QString(), laterDates},
        };
    }();
    return types;
}

const OrderSearchType *findOrderSearchType(const QString &label)
{
    for (const OrderSearchType &t : orderSearchTypes()) {
        if (t.label == label)
            return &t;
    }
    return nullptr;
}

QStringList normalSearchLabels()
{
    return {QStringLiteral("转数码日期"), QStringLiteral("预约单号"), QStringLiteral("拍摄日期"),
            QStringLiteral("选片日期"),   QStringLiteral("选片完成日期"), QStringLiteral("上件日期"),
            QStringLiteral("预约日期"),   QStringLiteral("发货日期"), QStringLiteral("姓名"),
            QStringLiteral("电话")};
}

QStringList deleteSearchLabels()
{
    return {QStringLiteral("预约单号"), QStringLiteral("拍摄日期"), QStringLiteral("选片日期"),
            QStringLiteral("预约日期"), QStringLiteral("发货日期"), QStringLiteral("取件完成日期"),
            QStringLiteral("姓名"),     QStringLiteral("电话")};
}

QByteArray orderSearchBody(const OrderSearchType &type, const QString &keyword, const QString &storesIds,
                           const ShopSettings &shop)
{
    FormBody body = FormBody::withToken();
    for (const QString &field : type.fields) {
        QString value;
        if (field == QLatin1String("eid") || field == QLatin1String("personid"))
            value = shop.eid;
        else if (field == QLatin1String("shopid"))
            value = shop.shopId;
        else if (field == QLatin1String("searchtype"))
            value = QString::number(type.searchType);
        else if (field == QLatin1String("superid"))
            value = shop.superId;
        else if (field == QLatin1String("keyword"))
            value = keyword;
        else if (field == QLatin1String("uid"))
            value = shop.uid;
        body.add(field, value);
    }
    body.add(QStringLiteral("storesids"), storesIds);
    return body.toByteArray();
}

// ---- the window ----

OrderSearchWindowBase::OrderSearchWindowBase(QWidget *parent, const ShopSettings &shop)
    : QDialog(parent), m_manager(new QNetworkAccessManager(this)), m_shop(shop), m_guard(WindowGuard::create(this))
{
}

OrderSearchWindowBase::~OrderSearchWindowBase()
{
    // Jobs still running keep the guard; closed, it lets none of them reach this window.
    m_guard->close();
    SeparationRun::release(this);
    // Replies still under way must not reach a window that is going.
    const QList<QNetworkReply *> replies = m_manager->findChildren<QNetworkReply *>();
    for (QNetworkReply *reply : replies)
        reply->disconnect(this);
    delete m_manager;
    delete m_tableMenu;
    delete m_openDirAction;
}

void OrderSearchWindowBase::setUpOrderWindow(const OrderWindowSetup &setup)
{
    m_rowSource = setup.rowSource;
    m_columns = setup.columns;

    m_tableView = findChild<QTableView *>(QStringLiteral("tableView"));
    m_searchButton = findChild<QPushButton *>(QStringLiteral("searchButton"));
    m_cancelButton = findChild<QPushButton *>(QStringLiteral("cancelButton"));
    m_startButton = findChild<QPushButton *>(QStringLiteral("pushButton_separate"));
    m_searchTypeBox = findChild<QComboBox *>(QStringLiteral("comboBox"));
    m_keywordEdit = findChild<QLineEdit *>(QStringLiteral("orderNumber"));
    m_calendar = findChild<QCalendarWidget *>(QStringLiteral("calendar"));
    m_storeBox = findChild<MultiSelectComboBox *>(QStringLiteral("cb_shops"));
    m_pathButton = findChild<QPushButton *>(QStringLiteral("selectPathButton"));
    m_pathEdit = findChild<QLineEdit *>(QStringLiteral("pathLineEdit"));
    m_progressGroup = findChild<QGroupBox *>(QStringLiteral("groupBox"));
    m_progressBar = findChild<QProgressBar *>(QStringLiteral("progressBar"));
    m_statusLabel = findChild<QLabel *>(QStringLiteral("label"));
    m_finishedLabel = findChild<QLabel *>(QStringLiteral("label_finishOrdersNum"));
    Q_ASSERT(m_tableView && m_searchButton && m_cancelButton);

    if (m_keywordEdit)
        m_keywordEdit->setFocus(Qt::OtherFocusReason);
    // An ordinary top-level window frame rather than a dialog's.
    setWindowFlags(Qt::Widget);

    if (m_searchTypeBox)
        setSearchTypes(setup.searchTypes);

    m_orderModel = new QStandardItemModel(this);
    for (int c = 0; c < m_columns.size(); ++c)
        m_orderModel->setHorizontalHeaderItem(c, new QStandardItem(m_columns.at(c).header));
    m_tableView->setModel(m_orderModel);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);

    connect(m_searchButton, &QPushButton::clicked, this, &OrderSearchWindowBase::clickSearch);
    connect(m_cancelButton, &QPushButton::clicked, this, &OrderSearchWindowBase::clickCancel);

    m_tableView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tableView, &QWidget::customContextMenuRequested, this, &OrderSearchWindowBase::showMouseRightButton);
    m_openDirAction = new QAction(QStringLiteral("打开订单目录"), this);
    connect(m_openDirAction, &QAction::triggered, this, &OrderSearchWindowBase::openOrderDir);
    m_tableMenu = new QMenu(m_tableView);
    m_tableMenu->addAction(m_openDirAction);

    for (QCalendarWidget *calendar : findChildren<QCalendarWidget *>())
        calendar->installEventFilter(this);

    if (m_progressBar) {
        m_progressBar->setValue(0);
        m_progressBar->hide();
    }
    for (QWidget *w : {static_cast<QWidget *>(m_statusLabel), static_cast<QWidget *>(m_finishedLabel),
                       static_cast<QWidget *>(m_progressGroup)}) {
        if (w)
            w->hide();
    }

    if (m_storeBox) {
        m_storeBox->appendItems(m_shop.storeNames);
        m_storeBox->setButtonText(QStringLiteral("点击选择店铺"));
        m_storeBox->activateAllItems();
    }

    loadSeparatePath();
}

bool OrderSearchWindowBase::eventFilter(QObject *watched, QEvent *event)
{
    // The year field leaves its Return to its parents; the dialog would click its default button with it.
    if (event->type() == QEvent::KeyPress && qobject_cast<QCalendarWidget *>(watched)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void OrderSearchWindowBase::showToolName(const QString &name)
{
    setWindowTitle(name.isEmpty() ? QStringLiteral("检索订单") : QStringLiteral("检索订单 - ") + name);
}

void OrderSearchWindowBase::inform(const QString &title, const QString &text)
{
    MsgBox::information(nullptr, title, text, QMessageBox::Yes, QMessageBox::Yes);
}

void OrderSearchWindowBase::storeSavePath(const QString &path)
{
    FileOperation::writeDatFile(kSavePathFile, QStringList{path}, true);
}

void OrderSearchWindowBase::loadSeparatePath()
{
    if (!m_pathEdit)
        return;
    const QStringList saved = FileOperation::readDatFile(kSavePathFile, 1);
    if (!saved.isEmpty())
        m_pathEdit->setText(saved.first());
}

void OrderSearchWindowBase::setSearchTypes(const QStringList &labels)
{
    m_searchTypes = labels;
    if (!m_searchTypeBox)
        return;
    m_searchTypeBox->clear();
    m_searchTypeBox->insertItems(0, labels);
}

bool OrderSearchWindowBase::hasCheckedOrder() const
{
    for (const OrderRowInfo &row : m_orderList) {
        if (row.checked)
            return true;
    }
    return false;
}

QString OrderSearchWindowBase::checkedStoreIds() const
{
    if (!m_storeBox)
        return QString();
    QStringList ids;
    for (int row : m_storeBox->checkedItems()) {
        if (row < m_shop.storeIds.size())
            ids << m_shop.storeIds.at(row);
    }
    return ids.join(QLatin1Char(','));
}

// ---- search ----

bool OrderSearchWindowBase::searchRequest(SearchRequest *request)
{
    const QString date = m_calendar ? m_calendar->selectedDate().toString(QStringLiteral("yyyy-MM-dd")) : QString();
    const OrderSearchType *type = m_searchTypeBox ? findOrderSearchType(m_searchTypeBox->currentText()) : nullptr;
    if (!type)
        return false;
    QString keyword = date;
    if (type->byKeyword()) {
        keyword = m_keywordEdit ? m_keywordEdit->text() : QString(); // as typed: a blank is a keyword
        if (keyword.isEmpty()) {
            inform(QStringLiteral("警告"), type->emptyPrompt);
            return false;
        }
    }
    request->url = g_url_order_list;
    request->body = orderSearchBody(*type, keyword, checkedStoreIds(), m_shop);
    return true;
}

void OrderSearchWindowBase::clickSearch()
{
    if (m_searching || m_runActive) // a search during a run would replace the rows it works on
        return;
    SearchRequest request;
    if (!searchRequest(&request))
        return;
    postRequest("Query OrderID", request.url, request.body, &OrderSearchWindowBase::queryCallBack);
    m_searching = true;
    setSearchEnabled(false);
    m_searchButton->setText(kSearchingText);
}

void OrderSearchWindowBase::setSearchEnabled(bool enabled)
{
    if (!enabled) {
        if (m_searchButton->isEnabled())
            m_searchHadFocus = focusWidget() == m_searchButton;
        m_searchButton->setEnabled(false);
        return;
    }
    m_searchButton->setEnabled(true);
    if (m_searchHadFocus && focusWidget() == m_cancelButton)
        m_searchButton->setFocus();
    m_searchHadFocus = false;
}

void OrderSearchWindowBase::logRequest(const char *what, const QString &url, const QByteArray &body)
{
    qCDebug(lcSeparation) << what << "Url:" << url;
    qCDebug(lcSeparation) << what << "Paras:" << maskSecrets(body);
}

void OrderSearchWindowBase::queryCallBack(QNetworkReply *reply)
{
    // Whatever the reply, the search is over.
    m_searching = false;
    if (!m_runActive)
        setSearchEnabled(true);
    m_searchButton->setText(kSearchText);
    if (!reply)
        return;

    QJsonObject obj;
    if (!readJsonReply(reply, &obj)) // a network error is shown; a body that is not JSON only logged
        return;
    qCDebug(lcSeparation).noquote() << "query order Json:" << QJsonDocument(obj).toJson(QJsonDocument::Indented);

    const QString code = jsonString(obj, QStringLiteral("code"));
    if (code != QLatin1String("1")) {
        inform(QStringLiteral("警告"), QStringLiteral("检索错误：") + code);
        return;
    }
    const QJsonArray data = obj.value(QStringLiteral("data")).toArray();
    m_orderList = OrderRowInfo::listFromJson(data, m_rowSource);
    for (const OrderRowInfo &row : qAsConst(m_orderList))
        qCDebug(lcSeparation) << "store_picpath" << row.picpath;
    fillOrderTable();
    if (m_orderList.isEmpty())
        inform(QStringLiteral("提示"), QStringLiteral("没有查询到任何订单"));
}

// ---- table ----

QStandardItem *OrderSearchWindowBase::tickItem(bool checked)
{
    auto *item = new QStandardItem;
    item->setData(checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    return item;
}

void OrderSearchWindowBase::fillOrderTable()
{
    m_orderModel->removeRows(0, m_orderModel->rowCount());
    for (int r = 0; r < m_orderList.size(); ++r) {
        const OrderRowInfo &row = m_orderList.at(r);
        for (int c = 0; c < m_columns.size(); ++c) {
            const OrderColumn &column = m_columns.at(c);
            QStandardItem *item = column.field ? new QStandardItem(row.*column.field) : tickItem(row.checked);
            if (column.centred)
                item->setData(int(Qt::AlignCenter), Qt::TextAlignmentRole);
            m_orderModel->setItem(r, c, item);
        }
    }
}

void OrderSearchWindowBase::setRowChecked(int row, bool checked)
{
    if (row < 0 || row >= m_orderList.size())
        return;
    m_orderList[row].checked = checked;
    m_orderModel->setItem(row, 0, tickItem(checked));
}

void OrderSearchWindowBase::on_tableView_clicked(const QModelIndex &index)
{
    const int row = index.row();
    if (row < 0 || row >= m_orderList.size())
        return;
    const bool checked = !m_orderList.at(row).checked;
    setRowChecked(row, checked);
    // The selected row shows light blue only while it is ticked.
    m_tableView->setStyleSheet(checked ? kTickedRowStyle : kUntickedRowStyle);
}

void OrderSearchWindowBase::on_pushButton_selectAll_clicked()
{
    for (int row = 0; row < m_orderList.size(); ++row)
        setRowChecked(row, true);
}

void OrderSearchWindowBase::on_pushButton_selectOpposite_clicked()
{
    for (int row = 0; row < m_orderList.size(); ++row)
        setRowChecked(row, !m_orderList.at(row).checked);
}

void OrderSearchWindowBase::on_tableView_doubleClicked(const QModelIndex &index)
{
    Q_UNUSED(index)
}

void OrderSearchWindowBase::on_pushButton_separate_clicked()
{
    startClicked();
}

// ---- deletion ----

OrderDeleteBatch *OrderSearchWindowBase::startDeleteBatch()
{
    if (m_deleteBatch)
        return nullptr;
    QList<OrderRowInfo> ticked;
    for (const OrderRowInfo &row : qAsConst(m_orderList)) {
        if (row.checked)
            ticked.append(row);
    }
    // The batch outlives the window; what it reports reaches only a window still there.
    auto *batch = new OrderDeleteBatch(ticked, m_shop);
    m_deleteBatch = batch;
    m_startButton->setEnabled(false);
    m_progressBar->setRange(0, 0); // busy until the folders are counted
    m_progressBar->show();
    m_progressGroup->show();
    m_statusLabel->setText(QStringLiteral("正在删除订单路径下的照片"));
    m_statusLabel->show();
    connect(batch, &OrderDeleteBatch::counted, m_progressBar, [this](int total) { m_progressBar->setRange(0, total); });
    connect(batch, &OrderDeleteBatch::progressed, m_progressBar, &QProgressBar::setValue);
    connect(batch, &OrderDeleteBatch::ended, this, [this] {
        m_deleteBatch = nullptr;
        m_progressGroup->hide();
        m_progressBar->hide();
        m_startButton->setEnabled(true);
    });
    batch->start();
    return batch;
}

// ---- context menu ----

void OrderSearchWindowBase::showMouseRightButton(const QPoint &pos)
{
    Q_UNUSED(pos)
    const int row = m_tableView->currentIndex().row();
    if (row < 0 || row >= m_orderList.size())
        return;
    m_openDirAction->setEnabled(!m_orderList.at(row).orderpath.isEmpty());
    m_tableMenu->popup(QCursor::pos());
}

void OrderSearchWindowBase::openOrderDir()
{
    const int row = m_tableView->currentIndex().row();
    if (row < 0 || row >= m_orderList.size())
        return;
    const QString path = m_orderList.at(row).orderpath;
    if (!path.isEmpty())
        FileOperation::openFileDir(path);
}

// ---- the rest ----

void OrderSearchWindowBase::chooseSavePath()
{
    const QString dir = FileDialogs::getExistingDirectory(this, QStringLiteral("选择分件保存路径"), QString());
    if (!dir.isEmpty() && m_pathEdit)
        m_pathEdit->setText(dir);
}

void OrderSearchWindowBase::clickCancel()
{
    close();
}

void OrderSearchWindowBase::showWidget()
{
    show();
}

void OrderSearchWindowBase::reject()
{
    close();
}

void OrderSearchWindowBase::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    // The columns follow the table's width at every paint, even after the user dragged one.
    const QList<int> widths = orderColumnWidths(m_tableView->width(), m_columns.size());
    for (int c = 0; c < widths.size() && c < m_columns.size(); ++c)
        m_tableView->setColumnWidth(c, widths.at(c));
}

// ---- runs and pool jobs ----

bool OrderSearchWindowBase::beginRun()
{
    if (m_searching) {
        // Its reply would replace the rows the run takes its orders from.
        inform(QStringLiteral("通知"), QStringLiteral("正在检索订单，请在检索结束后再开始"));
        return false;
    }
    if (m_runActive || !SeparationRun::take(this)) {
        inform(QStringLiteral("通知"), QStringLiteral("正在分件，请稍后"));
        return false;
    }
    m_runActive = true;
    setSearchEnabled(false);
    return true;
}

void OrderSearchWindowBase::endRun()
{
    SeparationRun::release(this);
    m_runActive = false;
    MsgBox::closeOpen(this); // a question about the run (closing the window) does not outlive it
    if (!m_searching)
        setSearchEnabled(true);
}

void OrderSearchWindowBase::startJob(QRunnable *job, int priority)
{
    m_guard->startJob(job, priority);
}

void OrderSearchWindowBase::resetJobPool()
{
    m_guard->dropQueuedJobs();
}

void OrderSearchWindowBase::closeEvent(QCloseEvent *event)
{
    // Jobs that start from now on do nothing, queued ones are dropped, no report arrives any more;
    // running copies finish on their threads without the window waiting for them.
    m_guard->close();
    if (m_runActive)
        endRun();
    SeparationRun::release(this);
    event->accept();
}
