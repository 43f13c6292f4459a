#include "importordersphotodlg.h"

#include "fileoperation.h"
#include "globals.h"
#include "imageoperation.h"
#include "importordermodel.h"
#include "logging.h"
#include "orderfolders.h"
#include "msgbox.h"
#include "pathlabel.h"
#include "platform.h"
#include "searchorderwindow.h"
#include "webapi.h"

#include <QAction>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyle>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cerrno>

namespace {

struct TypeTexts {
    const char *radio;
    const char *modeTitle;
    const char *rowButton;
};

const TypeTexts kTypeTexts[] = {
    {"导入原片", "导片模式：原片", "选择照片"},
    {"导入成品/精修", "导片模式：成品", "选择照片"},
    {"导入设计", "导片模式：设计", "选择照片"},
    {"试拍视频", "导片模式：试拍视频", "选择视频"},
    {"精修视频", "导片模式：精修视频", "选择视频"},
    {"导入Dovra", "导片模式：Dovra", "选择Dovra路径"},
};
constexpr int kTypeCount = int(sizeof(kTypeTexts) / sizeof(kTypeTexts[0]));

// Space around and between the widgets of an order row's cells; the narrowest progress bar.
constexpr int kCellMargin = 4;
constexpr int kBarMinimumWidth = 32;

const QStringList &photoFilters()
{
    static const QStringList filters{QStringLiteral("*.jpg"), QStringLiteral("*.png"), QStringLiteral("*.jpeg")};
    return filters;
}

const QStringList &videoFilters()
{
    static const QStringList filters{QStringLiteral("*.mp4"), QStringLiteral("*.avi"), QStringLiteral("*.m4v"),
                                     QStringLiteral("*.wmv")};
    return filters;
}

// Files in a folder matching the filters, letters in any case (as the studio's Windows shares see them).
int countFiles(const QString &folder, const QStringList &filters)
{
    QDir dir(Platform::localPath(folder));
    if (!dir.exists())
        return 0;
    dir.setNameFilters(filters);
    dir.setFilter(QDir::Files); // no CaseSensitive flag: "*.jpg" matches "A.JPG" as well
    dir.setSorting(QDir::Unsorted);
    return int(dir.count());
}

// The record's counters hold at most 65535.
quint16 clampCount(int count)
{
    return quint16(qBound(0, count, 0xFFFF));
}

// The root an order's storage hangs from: the drive ("D:/") of a Windows path; on Linux the top folder of
// an absolute path ("/mnt/"). Only a root ending in "/" is checked for existence.
QString orderRootPath(const QString &orderPath)
{
#ifdef Q_OS_WIN
    return FileOperation::driveRoot(orderPath);
#else
    if (orderPath.startsWith(QLatin1Char('/'))) {
        const int next = orderPath.indexOf(QLatin1Char('/'), 1);
        return next < 0 ? orderPath + QLatin1Char('/') : orderPath.left(next + 1);
    }
    return FileOperation::driveRoot(orderPath);
#endif
}

QLabel *titleLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setProperty("titleS", true);
    return label;
}

QLabel *valueLabel(const QString &objectName, QWidget *parent, QLabel *label = nullptr)
{
    if (label)
        label->setParent(parent);
    else
        label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setProperty("info", true);
    return label;
}

// A progress bar filled to value of maximum. Qt shows a bar of an empty range as busy, so a count of no
// files shows as an empty bar, or as a full one when the order is done.
void fillBar(QProgressBar *bar, int value, int maximum, bool done)
{
    if (maximum <= 0) {
        bar->setRange(0, 1);
        bar->setValue(done ? 1 : 0);
        return;
    }
    bar->setRange(0, maximum);
    bar->setValue(qBound(0, value, maximum));
}

QPushButton *makeButton(const QString &text, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// The row layout of a new cell frame ("tableFrame"), its margins fitting the column's fixed width.
QHBoxLayout *newCellLayout()
{
    auto *frame = new QFrame;
    frame->setObjectName(QStringLiteral("tableFrame"));
    auto *layout = new QHBoxLayout(frame);
    layout->setContentsMargins(kCellMargin, 0, kCellMargin, 0);
    layout->setSpacing(kCellMargin);
    return layout;
}

} // namespace

importOrdersPhotoDlg::importOrdersPhotoDlg(QWidget *parent, const ShopSettings &shop)
    : QDialog(parent, Qt::WindowFlags()), m_shop(shop)
{
    initUi();
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(QStringLiteral("#rightTitle{font-size: 16px;font-weight: bold;}"
                                 "QLabel[info=\"true\"]{font-size: 14px;font-weight: bold;}"
                                 "QLabel[titleS=\"true\"]{font-size: 14px;color: gray;}"));
    m_importType = ImportFinishedPhotos;
    m_photoSuffixEdit->setEnabled(false);
    m_reImportBtn->setEnabled(false);
    m_currentOrder = nullptr;
    m_currentRow = -1;
    m_totalCount = 0;
    m_lastSelectDir = QStringLiteral(".");
    // The program may end while a closed window's files are still being finished: they end first, and what
    // the order placed is kept.
    if (QCoreApplication *app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            if (!m_closedMidRun)
                return;
            m_run.stopAndWait();
            m_run.reportsOut = 0; // not waited for: the records they carry wait in the order folders
            finishClosedRun();
        });
    }
}

importOrdersPhotoDlg::~importOrdersPhotoDlg()
{
    // An order stopped on its way keeps what it placed for the next run's report.
    m_run.stopAndWait();
    keepStoppedOrder();
    // Selection checks and video-list requests still out must not reach a window that is half gone.
    if (m_manager) {
        for (QNetworkReply *reply : m_manager->findChildren<QNetworkReply *>())
            reply->disconnect(this);
        delete m_manager;
        m_manager = nullptr;
    }
    // The accepted records are children of the dialog and go with it.
    m_orderList.clear();
    m_currentOrder = nullptr;
    delete m_orderPrefixEdit;
    delete m_orderPrefixTitle;
}

importOrdersPhotoDlg *importOrdersPhotoDlg::openFromToolWindow(QWidget *toolWindow, const ShopSettings &shop)
{
    QStringList missing;
    for (const QString &root : {shop.picPath, shop.bakPicPath}) {
        if (root.trimmed().isEmpty() || !FileOperation::dirExists(root))
            missing << (root.isEmpty() ? QStringLiteral("(未设置)") : root);
    }
    if (!missing.isEmpty()) {
        qCWarning(lcImport) << "import tool refused, storage roots missing:" << missing;
        MsgBox::information(toolWindow, QStringLiteral("警告"),
                            QStringLiteral("店铺的导片根目录不存在：\n") + missing.join(QLatin1Char('\n')),
                            QMessageBox::Ok);
        return nullptr;
    }
    auto *dlg = new importOrdersPhotoDlg(nullptr, shop);
    dlg->setWindowFlags(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    dlg->showMaximized();
    return dlg;
}

// ---------------------------------------------------------------- layout

void importOrdersPhotoDlg::initUi()
{
    m_mainSplitter = new QSplitter(Qt::Horizontal, this);
    m_mainSplitter->setObjectName(QStringLiteral("mainSpliter"));
    m_mainLayout = new QHBoxLayout;

    auto *leftFrame = new QFrame(m_mainSplitter);
    leftFrame->setObjectName(QStringLiteral("leftFrame"));
    auto *rightFrame = new QFrame(m_mainSplitter);
    rightFrame->setObjectName(QStringLiteral("rightFrame"));
    m_mainSplitter->addWidget(leftFrame);
    m_mainSplitter->addWidget(rightFrame);
    m_mainSplitter->setStretchFactor(0, 4);
    m_mainSplitter->setStretchFactor(1, 2);
    m_mainLayout->addWidget(m_mainSplitter);
    setLayout(m_mainLayout);

    // ---- left: import types, order list, tick buttons
    auto *leftLayout = new QVBoxLayout(leftFrame);
    auto *typeBox = new QGroupBox(leftFrame);
    auto *typeLayout = new QHBoxLayout(typeBox);
    m_importTypeGroup = new QButtonGroup(this);
    for (int id = 0; id < kTypeCount; ++id) {
        auto *radio = new QRadioButton(QString::fromUtf8(kTypeTexts[id].radio), typeBox);
        radio->setObjectName(QStringLiteral("importTypeRadio%1").arg(id));
        typeLayout->addWidget(radio);
        m_importTypeGroup->addButton(radio, id);
    }
    connect(m_importTypeGroup, SIGNAL(buttonClicked(int)), this, SLOT(importTypeSlot(int)));
    m_importTypeGroup->button(ImportFinishedPhotos)->setChecked(true);
    leftLayout->addWidget(typeBox);
    leftLayout->addSpacing(20);

    auto *orderListLayout = new QVBoxLayout;
    initOrderListPanel(orderListLayout);
    leftLayout->addLayout(orderListLayout);

    auto *tickLayout = new QHBoxLayout;
    m_selectAllBtn = makeButton(QStringLiteral("全选"), QStringLiteral("selectAllBtn"), leftFrame);
    m_cancelAllBtn = makeButton(QStringLiteral("取消选中"), QStringLiteral("cancelAllBtn"), leftFrame);
    m_delOrdersBtn = makeButton(QStringLiteral("删除选中"), QStringLiteral("delOrdersBtn"), leftFrame);
    tickLayout->addWidget(m_selectAllBtn);
    tickLayout->addWidget(m_cancelAllBtn);
    tickLayout->addWidget(m_delOrdersBtn);
    tickLayout->addStretch();
    leftLayout->addLayout(tickLayout);
    connect(m_selectAllBtn, SIGNAL(clicked()), this, SLOT(selectAllSlot()));
    connect(m_cancelAllBtn, SIGNAL(clicked()), this, SLOT(cancelAllSlot()));
    connect(m_delOrdersBtn, SIGNAL(clicked()), this, SLOT(delAllOrdersSlot()));

    // ---- right: mode title, order information, name parts, file panels
    auto *rightLayout = new QVBoxLayout(rightFrame);
    m_modeTitle = new QLabel(QString::fromUtf8(kTypeTexts[ImportFinishedPhotos].modeTitle), rightFrame);
    m_modeTitle->setObjectName(QStringLiteral("rightTitle"));
    rightLayout->addWidget(m_modeTitle);
    rightLayout->addSpacing(20);

    auto *infoLayout = new QGridLayout;
    initOrderInfoPanel(infoLayout);
    rightLayout->addLayout(infoLayout);
    rightLayout->addSpacing(20);

    auto *nameBox = new QGroupBox(rightFrame);
    auto *nameLayout = new QGridLayout(nameBox);
    // The order prefix follows the order row; it is kept out of the window on purpose.
    m_orderPrefixTitle = new QLabel(QStringLiteral("订单前缀:"));
    m_orderPrefixEdit = new QLineEdit;
    m_orderPrefixEdit->setObjectName(QStringLiteral("orderPrefixEdit"));
    m_folderSuffixEdit = new QLineEdit(nameBox);
    m_folderSuffixEdit->setObjectName(QStringLiteral("folderSuffixEdit"));
    m_photoSuffixEdit = new QLineEdit(nameBox);
    m_photoSuffixEdit->setObjectName(QStringLiteral("photoSuffixEdit"));
    nameLayout->addWidget(new QLabel(QStringLiteral("文件夹后缀:"), nameBox), 0, 0, Qt::AlignRight);
    nameLayout->addWidget(m_folderSuffixEdit, 0, 1, Qt::AlignLeft);
    nameLayout->addWidget(new QLabel(QStringLiteral("照片后缀:"), nameBox), 0, 2, Qt::AlignRight);
    nameLayout->addWidget(m_photoSuffixEdit, 0, 3, Qt::AlignLeft);
    rightLayout->addWidget(nameBox);
    connect(m_orderPrefixEdit, &QLineEdit::textChanged, this, &importOrdersPhotoDlg::prefieOrderChangedSlot);
    connect(m_folderSuffixEdit, &QLineEdit::textChanged, this, &importOrdersPhotoDlg::prefieFolderChangedSlot);
    connect(m_photoSuffixEdit, &QLineEdit::textChanged, this, &importOrdersPhotoDlg::prefieImageChangedSlot);

    auto *filesLayout = new QHBoxLayout;
    auto *selectedLayout = new QVBoxLayout;
    auto *importedLayout = new QVBoxLayout;
    initSelectedListPanel(selectedLayout);
    initImportedListPanel(importedLayout);
    filesLayout->addLayout(selectedLayout, 1);
    filesLayout->addLayout(importedLayout, 3);
    rightLayout->addLayout(filesLayout);
}

void importOrdersPhotoDlg::initOrderListPanel(QVBoxLayout *layout)
{
    auto *head = new QHBoxLayout;
    head->addWidget(new QLabel(QStringLiteral("订单列表：")));
    head->addStretch();
    m_updateVideoBtn = makeButton(QStringLiteral("更新视频到选片系统"), QStringLiteral("updateVideoBtn"), this);
    m_updateVideoBtn->hide();
    m_addOrderBtn = makeButton(QStringLiteral("添加订单"), QStringLiteral("addOrderBtn"), this);
    m_importAllBtn = makeButton(QStringLiteral("批量导片"), QStringLiteral("importAllBtn"), this);
    head->addWidget(m_updateVideoBtn);
    head->addSpacing(20);
    head->addWidget(m_addOrderBtn);
    head->addSpacing(20);
    head->addWidget(m_importAllBtn);
    layout->addLayout(head);
    connect(m_updateVideoBtn, SIGNAL(clicked()), this, SLOT(upDataVideoUrlsBtnSlot()));
    connect(m_addOrderBtn, SIGNAL(clicked()), this, SLOT(addNewOrderBtnSlot()));
    connect(m_importAllBtn, SIGNAL(clicked()), this, SLOT(importAllOrdersBtnSlot()));

    m_ordersTable = new QTableWidget(this);
    m_ordersTable->setObjectName(QStringLiteral("ordersTable"));
    const QStringList headers{QStringLiteral("订单号"),   QStringLiteral("所属门店"), QStringLiteral("客户姓名"),
                              QStringLiteral("导片状态"), QStringLiteral("操作区"),   QStringLiteral("导片进度")};
    m_ordersTable->setColumnCount(headers.size());
    m_ordersTable->setHorizontalHeaderLabels(headers);
    fitOrderColumns();
    m_ordersTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_ordersTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ordersTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ordersTable->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(m_ordersTable);
    // While the running order waits for another program's or desk's import of it, the words say so whole
    // here, under the list: the row's bar is far too narrow for them.
    m_waitLabel = new QLabel(this);
    m_waitLabel->setObjectName(QStringLiteral("orderWaitLabel"));
    m_waitLabel->setWordWrap(true);
    m_waitLabel->hide();
    layout->addWidget(m_waitLabel);
    connect(m_ordersTable, SIGNAL(cellClicked(int, int)), this, SLOT(ordersTableWgtClickedSlot(int)));
    connect(m_ordersTable, SIGNAL(customContextMenuRequested(QPoint)), this, SLOT(showTableMouseRightButton(QPoint)));

    m_viewPhotoAction = new QAction(QStringLiteral("查看照片"), this);
    connect(m_viewPhotoAction, SIGNAL(triggered()), this, SLOT(tbOpenOrderPathAction()));
    m_ordersMenu = new QMenu(m_ordersTable);
    m_ordersMenu->setObjectName(QStringLiteral("ordersMenu"));
    m_ordersMenu->addAction(m_viewPhotoAction);
}

// Every column stays in view from about 1100 pixels of window width: the tick, status, choose and
// progress columns are as wide as their contents need (the choose column as its type's button) and keep
// that width, the store column starts narrow, and the customer names take what is left.
void importOrdersPhotoDlg::fitOrderColumns()
{
    const QFontMetrics fm(m_ordersTable->font());
    auto text = [&fm](const char *t) { return fm.horizontalAdvance(QString::fromUtf8(t)); };
    const int pad = 2 * kCellMargin + m_ordersTable->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) * 2;
    QPushButton probe(QString::fromUtf8(kTypeTexts[m_importType].rowButton)); // the current type's
    probe.setFont(m_ordersTable->font());
    const int tick = m_ordersTable->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 2 * kCellMargin;
    const int widths[] = {
        tick + text("A0000-00") + pad,
        qMax(text("所属门店"), text("星光二店")) + pad,
        text("张三三-李四四") + pad,
        qMax(text("导片状态"), text("已导入(0000)")) + pad,
        probe.sizeHint().width() + text("已选(0000)") + 3 * kCellMargin,
        kBarMinimumWidth + text("0000/0000") + 3 * kCellMargin,
    };
    const QHeaderView::ResizeMode modes[] = {QHeaderView::Fixed, QHeaderView::Interactive, QHeaderView::Stretch,
                                             QHeaderView::Fixed, QHeaderView::Fixed,       QHeaderView::Fixed};
    QHeaderView *header = m_ordersTable->horizontalHeader();
    for (int c = 0; c < m_ordersTable->columnCount(); ++c) {
        m_ordersTable->setColumnWidth(c, widths[c]);
        header->setSectionResizeMode(c, modes[c]);
    }
}

void importOrdersPhotoDlg::initSelectedListPanel(QVBoxLayout *layout)
{
    m_selectedTitle = new QLabel(QStringLiteral("选择的照片："), this);
    m_selectedTable = new QTableWidget(this);
    m_selectedTable->setObjectName(QStringLiteral("selectedTable"));
    m_selectedTable->setColumnCount(1);
    m_selectedTable->setHorizontalHeaderLabels({QStringLiteral("照片名")});
    m_selectedTable->setSelectionMode(QAbstractItemView::NoSelection);
    m_selectedTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_selectedTable->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_selectedTitle);
    layout->addWidget(m_selectedTable);
}

void importOrdersPhotoDlg::initImportedListPanel(QVBoxLayout *layout)
{
    m_importedTitle = new QLabel(QStringLiteral("已经导入的照片："), this);
    m_importedList = new QListWidget(this);
    m_importedList->setObjectName(QStringLiteral("importedList"));
    m_importedList->setIconSize(QSize(1000, 1000));
    m_importedList->setViewMode(QListView::IconMode);
    m_importedList->setResizeMode(QListView::Adjust);
    m_importedList->setMovement(QListView::Static);
    m_importedList->setDragEnabled(false);
    m_importedList->setSpacing(10);
    m_importedList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_importedList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_importedList, SIGNAL(customContextMenuRequested(QPoint)), this, SLOT(showLstWgtContextMenuSlot(QPoint)));
    layout->addWidget(m_importedTitle);
    layout->addWidget(m_importedList);

    m_importedMenu = new QMenu(m_importedList);
    m_importedMenu->setObjectName(QStringLiteral("importedMenu"));
    auto *openAction = new QAction(QStringLiteral("打开照片目录"), this);
    auto *deleteAction = new QAction(QStringLiteral("删除选中照片"), this);
    deleteAction->setObjectName(QStringLiteral("deleteImportedAction"));
    connect(openAction, SIGNAL(triggered()), this, SLOT(openImportedImgSlot()));
    connect(deleteAction, SIGNAL(triggered()), this, SLOT(deleteImportedImgSlot()));
    m_importedMenu->addAction(openAction);
    m_importedMenu->addSeparator();
    m_importedMenu->addAction(deleteAction);
}

void importOrdersPhotoDlg::initOrderInfoPanel(QGridLayout *layout)
{
    QWidget *owner = this;
    auto title = [owner](const char *text) { return titleLabel(QString::fromUtf8(text), owner); };
    m_orderNoLabel = valueLabel(QStringLiteral("orderNoLabel"), owner);
    m_photoTypeLabel = valueLabel(QStringLiteral("photoTypeLabel"), owner);
    m_serviceTimesLabel = valueLabel(QStringLiteral("serviceTimesLabel"), owner);
    m_babyNameLabel = valueLabel(QStringLiteral("babyNameLabel"), owner);
    m_womanNameLabel = valueLabel(QStringLiteral("womanNameLabel"), owner);
    m_manNameLabel = valueLabel(QStringLiteral("manNameLabel"), owner);
    m_comboNameLabel = valueLabel(QStringLiteral("comboNameLabel"), owner);
    m_bookStoreLabel = valueLabel(QStringLiteral("bookStoreLabel"), owner);
    m_dealDateLabel = valueLabel(QStringLiteral("dealDateLabel"), owner);
    m_photographerLabel = valueLabel(QStringLiteral("photographerLabel"), owner);
    m_makeupLabel = valueLabel(QStringLiteral("makeupLabel"), owner);
    m_guideLabel = valueLabel(QStringLiteral("guideLabel"), owner);
    m_babyNameTitle = title("宝宝姓名：");
    m_babyNameTitle->setObjectName(QStringLiteral("babyNameTitle"));
    // Shown or hidden per order without moving the rest of the panel.
    for (QLabel *baby : {m_babyNameTitle, m_babyNameLabel}) {
        QSizePolicy policy = baby->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        baby->setSizePolicy(policy);
    }
    m_orderPathLabel = valueLabel(QStringLiteral("orderPathLabel"), owner, new PathLabel);
    m_orderBakPathLabel = valueLabel(QStringLiteral("orderBakPathLabel"), owner, new PathLabel);
    m_orderDovraPathLabel = valueLabel(QStringLiteral("orderDovraPathLabel"), owner, new PathLabel);
    // What an order shows must not widen the panel (and move the splitter): long values are cut (paths in
    // the middle), their tooltips have them whole.
    for (QLabel *value : valueLabels())
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    const struct {
        QLabel *title;
        QLabel *value;
    } grid[4][3] = {
        {{title("订单号："), m_orderNoLabel}, {title("拍照类型："), m_photoTypeLabel}, {title("服务次数："), m_serviceTimesLabel}},
        {{title("女士姓名："), m_womanNameLabel}, {title("男士姓名："), m_manNameLabel}, {m_babyNameTitle, m_babyNameLabel}},
        {{title("套系名："), m_comboNameLabel}, {title("预约门店："), m_bookStoreLabel}, {title("成交日期："), m_dealDateLabel}},
        {{title("摄影师："), m_photographerLabel}, {title("化妆师："), m_makeupLabel}, {title("引逗师："), m_guideLabel}},
    };
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
            layout->addWidget(grid[r][c].title, r, c * 2, Qt::AlignRight);
            layout->addWidget(grid[r][c].value, r, c * 2 + 1);
        }
    }
    for (int c = 1; c < 6; c += 2) {
        layout->setColumnStretch(c, 1);
        layout->setColumnMinimumWidth(c, 40);
    }

    layout->addWidget(title("订单路径："), 4, 0, Qt::AlignRight);
    auto *pathRow = new QHBoxLayout;
    m_reImportBtn = makeButton(QStringLiteral("重新导片"), QStringLiteral("reImportBtn"), this);
    pathRow->addWidget(m_orderPathLabel, 1);
    pathRow->addSpacing(40);
    pathRow->addWidget(m_reImportBtn, 0, Qt::AlignLeft);
    layout->addLayout(pathRow, 4, 1, 1, 5);

    layout->addWidget(title("订单备份路径："), 5, 0, Qt::AlignRight);
    layout->addWidget(m_orderBakPathLabel, 5, 1, 1, 5);
    layout->addWidget(title("订单Dovra路径："), 6, 0, Qt::AlignRight);
    layout->addWidget(m_orderDovraPathLabel, 6, 1);

    auto *openRow = new QHBoxLayout;
    openRow->setContentsMargins(10, 10, 0, 0);
    m_openPathBtn = new QPushButton(QStringLiteral("打开路径"), this);
    m_openPathBtn->setObjectName(QStringLiteral("openPathBtn"));
    m_openOriginPathBtn = new QPushButton(QStringLiteral("打开原始档路径"), this);
    m_openOriginPathBtn->setObjectName(QStringLiteral("openOriginPathBtn"));
    openRow->addWidget(m_openPathBtn, 0, Qt::AlignLeft);
    openRow->addSpacing(20);
    openRow->addWidget(m_openOriginPathBtn, 0, Qt::AlignLeft);
    openRow->addStretch();
    layout->addLayout(openRow, 7, 0, 1, 5);

    connect(m_reImportBtn, &QAbstractButton::clicked, this, &importOrdersPhotoDlg::reImportBtnSlot);
    connect(m_openPathBtn, &QAbstractButton::clicked, this, &importOrdersPhotoDlg::openOrderPhotoPathBtnSlot);
    connect(m_openOriginPathBtn, &QAbstractButton::clicked, this, &importOrdersPhotoDlg::openOrderOriginPathBtnSlot);
}

// ---------------------------------------------------------------- order list

void importOrdersPhotoDlg::addOrderRows()
{
    m_ordersTable->setRowCount(m_orderList.size());
    if (m_orderList.isEmpty())
        return;

    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;
    for (int i = 0; i < m_orderList.size(); ++i) {
        ImportOrderModel *r = m_orderList.at(i);

        auto *keyItem = new QTableWidgetItem(r->orderKey());
        keyItem->setCheckState(Qt::Unchecked);
        m_ordersTable->setItem(i, 0, keyItem);
        auto *storeItem = new QTableWidgetItem(r->storesName());
        storeItem->setTextAlignment(int(centred));
        m_ordersTable->setItem(i, 1, storeItem);
        auto *nameItem = new QTableWidgetItem(r->customerNames());
        nameItem->setTextAlignment(int(centred));
        m_ordersTable->setItem(i, 2, nameItem);

        updateImgCount(r);
        updateVideoCount(r);

        const int shown = r->foundCount(m_importType);
        const int imported = r->importedCount(m_importType);
        const bool done = r->isImported(m_importType);
        const QString countText =
            m_importType == ImportDovraCopy ? QString() : QStringLiteral("%1/%1").arg(imported);

        auto *statusItem = new QTableWidgetItem(shown != 0 ? QStringLiteral("已导入(%1)").arg(shown)
                                                           : QStringLiteral("未导入"));
        statusItem->setTextAlignment(int(centred));
        m_ordersTable->setItem(i, 3, statusItem);

        // The cells' widgets fit the fixed widths of their columns (see fitOrderColumns).
        QHBoxLayout *selectLayout = newCellLayout();
        QWidget *selectFrame = selectLayout->parentWidget();
        auto *selectBtn = new QPushButton(QString::fromUtf8(kTypeTexts[m_importType].rowButton), selectFrame);
        selectBtn->setProperty("row", i);
        selectBtn->setEnabled(!m_running);
        connect(selectBtn, SIGNAL(clicked(bool)), this, SLOT(selectImgBtnSlot()));
        auto *selectLabel = new QLabel(QStringLiteral("未选"), selectFrame);
        selectLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // a chosen folder is cut
        selectLayout->addWidget(selectBtn);
        selectLayout->addWidget(selectLabel, 1);
        m_ordersTable->setCellWidget(i, 4, selectFrame);

        QHBoxLayout *progressLayout = newCellLayout();
        QWidget *progressFrame = progressLayout->parentWidget();
        auto *bar = new QProgressBar(progressFrame);
        bar->setTextVisible(false); // the count beside it says how far the order is
        bar->setMinimumWidth(kBarMinimumWidth);
        auto *countLabel = new QLabel(countText, progressFrame);
        countLabel->setMinimumWidth(countLabel->fontMetrics().horizontalAdvance(QStringLiteral("0000/0000")));
        progressLayout->addWidget(bar, 1);
        progressLayout->addWidget(countLabel);
        m_ordersTable->setCellWidget(i, 5, progressFrame);

        fillBar(bar, imported, imported, done);
        if (done)
            selectLabel->setText(QStringLiteral("已选(%1)").arg(imported));
    }
}

void importOrdersPhotoDlg::setRowProgress(int row, int value, int maximum)
{
    for (QWidget *w : cellWidgets(row, 5)) {
        if (auto *bar = qobject_cast<QProgressBar *>(w))
            fillBar(bar, value, maximum, maximum > 0 && value >= maximum);
        else if (auto *label = qobject_cast<QLabel *>(w))
            label->setText(QStringLiteral("%1/%2").arg(value).arg(maximum));
    }
}

QList<QLabel *> importOrdersPhotoDlg::valueLabels() const
{
    return {m_orderNoLabel,      m_photoTypeLabel, m_serviceTimesLabel, m_babyNameLabel,  m_womanNameLabel,
            m_manNameLabel,      m_comboNameLabel, m_bookStoreLabel,    m_dealDateLabel,  m_photographerLabel,
            m_makeupLabel,       m_guideLabel,     m_orderPathLabel,    m_orderBakPathLabel, m_orderDovraPathLabel};
}

QList<QWidget *> importOrdersPhotoDlg::cellWidgets(int row, int column) const
{
    QList<QWidget *> widgets;
    QWidget *cell = m_ordersTable->cellWidget(row, column);
    if (!cell || !cell->layout())
        return widgets;
    QLayout *layout = cell->layout();
    for (int i = 0; i < layout->count(); ++i)
        if (QWidget *w = layout->itemAt(i)->widget())
            widgets << w;
    return widgets;
}

void importOrdersPhotoDlg::setImportTypeEnabled(bool enabled)
{
    for (QAbstractButton *radio : m_importTypeGroup->buttons())
        radio->setEnabled(enabled);
    m_addOrderBtn->setEnabled(enabled);
    m_selectAllBtn->setEnabled(enabled);
    m_cancelAllBtn->setEnabled(enabled);
    m_delOrdersBtn->setEnabled(enabled);
    m_reImportBtn->setEnabled(enabled);
}

void importOrdersPhotoDlg::importTypeSlot(int id)
{
    m_updateVideoBtn->hide();
    if (id >= 0 && id < kTypeCount) {
        m_importType = ImportTypeEnum(id);
        m_photoSuffixEdit->setEnabled(id == ImportOriginPhotos);
        m_modeTitle->setText(QString::fromUtf8(kTypeTexts[id].modeTitle));
        if (id == ImportTrialVideos) {
            m_updateVideoBtn->setText(QStringLiteral("更新试拍视频到选片系统"));
            m_updateVideoBtn->show();
        } else if (id == ImportRetouchVideos) {
            m_updateVideoBtn->setText(QStringLiteral("更新精修视频到选片系统"));
            m_updateVideoBtn->show();
        }
    }
    fitOrderColumns();
    addOrderRows();
    refreshShownOrder(m_currentOrder); // the panel shows the current order as the new type sees it
}

void importOrdersPhotoDlg::refreshShownOrder(ImportOrderModel *order)
{
    const int row = order && order == m_currentOrder ? m_orderList.indexOf(order) : -1;
    if (row >= 0)
        ordersTableWgtClickedSlot(row);
}

void importOrdersPhotoDlg::addNewOrderBtnSlot()
{
    // One picker per window, kept above it (not modal) and closed with it; asking again brings it back.
    if (!m_picker) {
        m_picker = new SearchOrderWindow(this, m_shop);
        // A dialog-type window: window managers keep it above its import window (a plain window with a
        // parent is kept above it on Windows only).
        m_picker->setWindowFlags(Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
        connect(m_picker.data(), &SearchOrderWindow::addSelectOrderSigl, this, &importOrdersPhotoDlg::getNewOrderSlot);
    }
    pickerToFront();
}

void importOrdersPhotoDlg::pickerToFront()
{
    if (!m_picker)
        return;
    if (m_picker->isMinimized())
        m_picker->showNormal();
    else
        m_picker->show();
    m_picker->raise();
    m_picker->activateWindow();
}

void importOrdersPhotoDlg::getNewOrderSlot(QList<ImportOrderModel *> orderLst)
{
    if (isImporting()) {
        // A run takes its orders when it starts: one listed now would never be imported.
        for (ImportOrderModel *r : qAsConst(orderLst))
            if (r && !m_orderList.contains(r))
                r->deleteLater();
        MsgBox::information(this, QStringLiteral("警告"), QStringLiteral("正在导片，请在导片结束后再添加订单"),
                            QMessageBox::Ok);
        return;
    }
    QSet<QString> keys;
    for (ImportOrderModel *listed : qAsConst(m_orderList))
        keys.insert(listed->orderKey());

    QString repeated;
    QString missingRoots;
    for (ImportOrderModel *r : qAsConst(orderLst)) {
        if (!r)
            continue;
        const QString key = r->orderKey();
        // Refused as well when the same order comes twice in one hand-over.
        if (keys.contains(key)) {
            if (!repeated.isEmpty())
                repeated += QLatin1Char(',');
            repeated += key;
            if (!m_orderList.contains(r))
                r->deleteLater();
            continue;
        }
        const QString orderPath = r->orderPath();
        const QString root = orderRootPath(orderPath);
        qCDebug(lcImport) << "orderPath:" << orderPath;
        qCDebug(lcImport) << "orderRootPath:" << root;
        if (root.endsWith(QLatin1Char('/')) && !FileOperation::dirExists(root)) {
            if (!missingRoots.isEmpty())
                missingRoots += QLatin1Char(',');
            missingRoots += key + QLatin1Char(':') + root;
            r->deleteLater();
            continue;
        }
        // Its found count is taken by the row rebuild below, which counts every listed order.
        r->setParent(this); // the picker keeps no claim: the dialog owns what it lists
        m_orderList.append(r);
        keys.insert(key);
    }

    if (!repeated.isEmpty())
        MsgBox::information(this, QStringLiteral("订单已存在"), QStringLiteral("已经添加过订单：\n") + repeated,
                            QMessageBox::Ok);
    if (!missingRoots.isEmpty())
        MsgBox::information(this, QStringLiteral("订单导片路径不存在"),
                            QStringLiteral("以下订单导片根目录不存在：\n") + missingRoots, QMessageBox::Ok);
    addOrderRows();
    // A box leaves this window in front: the picker the orders came from goes on top again.
    if ((!repeated.isEmpty() || !missingRoots.isEmpty()) && m_picker && sender() == m_picker)
        pickerToFront();
}

void importOrdersPhotoDlg::selectAllSlot()
{
    for (int row = 0; row < m_ordersTable->rowCount(); ++row)
        if (QTableWidgetItem *item = m_ordersTable->item(row, 0))
            item->setCheckState(Qt::Checked);
}

void importOrdersPhotoDlg::cancelAllSlot()
{
    for (int row = 0; row < m_ordersTable->rowCount(); ++row)
        if (QTableWidgetItem *item = m_ordersTable->item(row, 0))
            item->setCheckState(Qt::Unchecked);
}

void importOrdersPhotoDlg::delAllOrdersSlot()
{
    if (m_running)
        return; // the run works through the list and owns its records until it ends
    QList<int> ticked;
    for (int row = 0; row < m_ordersTable->rowCount(); ++row) {
        QTableWidgetItem *item = m_ordersTable->item(row, 0);
        if (item && item->checkState() == Qt::Checked)
            ticked << row;
    }
    if (ticked.isEmpty()) {
        MsgBox::information(this, QStringLiteral("警告"), QStringLiteral("您还没有选择订单"), QMessageBox::Ok);
        return;
    }
    QList<ImportOrderModel *> leaving;
    for (int row : qAsConst(ticked))
        leaving << m_orderList.value(row);
    leaving.removeAll(nullptr);
    if (!confirmUnsentReports(leaving, QStringLiteral("确定要从列表中删除这些订单吗？")) || m_running)
        return;

    // Table row i shows element i: take both out together, bottom up, so they stay aligned.
    for (int i = ticked.size() - 1; i >= 0; --i) {
        const int row = ticked.at(i);
        if (row < m_orderList.size())
            m_orderList.takeAt(row)->deleteLater();
        m_ordersTable->removeRow(row);
    }
    for (int row = 0; row < m_ordersTable->rowCount(); ++row) {
        for (QWidget *w : cellWidgets(row, 4)) {
            if (qobject_cast<QPushButton *>(w)) {
                w->setProperty("row", row);
                break;
            }
        }
    }

    if (m_selectOrder && !m_orderList.contains(m_selectOrder)) {
        m_selectOrder = nullptr;
        m_selectRow = -1;
    }

    // The panel must never go on showing (or editing) a record that has left the list.
    const bool currentKept = m_currentOrder && m_orderList.contains(m_currentOrder);
    if (currentKept) {
        m_currentRow = m_orderList.indexOf(m_currentOrder);
    } else {
        m_currentOrder = nullptr;
        m_currentRow = -1;
    }

    const int tableRow = m_ordersTable->currentIndex().isValid() ? m_ordersTable->currentRow() : -1;
    if (m_orderList.isEmpty()) {
        clearOrderInfo();
        m_folderSuffixEdit->setEnabled(true);
    } else if (tableRow >= 0 && tableRow < m_orderList.size()) {
        ordersTableWgtClickedSlot(tableRow);
    } else if (!currentKept) {
        clearOrderInfo();
    }
}

// ---------------------------------------------------------------- current order

void importOrdersPhotoDlg::ordersTableWgtClickedSlot(int row)
{
    if (row < 0 || row >= m_orderList.size()) {
        qCWarning(lcImport) << "order row out of range:" << row << "of" << m_orderList.size();
        return;
    }
    m_currentRow = row;
    m_currentOrder = m_orderList.at(row);
    ImportOrderModel *order = m_currentOrder;
    // The highlighted row is the one shown (a row's button or a type switch leads here as well); the
    // current column stays, so the table does not scroll sideways.
    if (m_ordersTable->currentRow() != row)
        m_ordersTable->setCurrentCell(row, qMax(0, m_ordersTable->currentColumn()));

    m_orderNoLabel->setText(order->orderPayForKey());
    m_photoTypeLabel->setText(order->photoType());
    m_serviceTimesLabel->setText(order->serviceTimes());
    m_babyNameLabel->setText(order->bName());
    m_womanNameLabel->setText(order->wName());
    m_manNameLabel->setText(order->mName());
    m_comboNameLabel->setText(order->comboName());
    m_bookStoreLabel->setText(order->bookStore());
    m_dealDateLabel->setText(order->bookTime());
    m_photographerLabel->setText(order->role1());
    m_makeupLabel->setText(order->role2());
    m_guideLabel->setText(order->yinDouEr());
    m_orderPathLabel->setText(order->orderPath());
    m_orderBakPathLabel->setText(order->orderBakPath());
    m_orderDovraPathLabel->setText(order->dovraPath());
    for (QLabel *value : valueLabels())
        value->setToolTip(value->text());

    const bool baby = order->photoType2() == QStringLiteral("宝宝照") || !order->bName().isEmpty();
    m_babyNameTitle->setVisible(baby);
    m_babyNameLabel->setVisible(baby);

    QStringList files;
    if (ImportOrderModel::hasNameParts(m_importType)) {
        m_orderPrefixEdit->setText(order->orderKey());
        m_folderSuffixEdit->setText(order->folderSuffix(m_importType));
        m_photoSuffixEdit->setText(order->photoSuffix(m_importType));
        files = order->chosenFiles(m_importType);
    }

    const QStringList names = order->buildTargetNames(files, m_importType);
    m_selectedTable->setRowCount(names.size());
    for (int i = 0; i < names.size(); ++i)
        m_selectedTable->setItem(i, 0, new QTableWidgetItem(names.at(i)));

    showImportedFiles(order->orderPath());

    if (!order->orderPath().isEmpty()) {
        m_folderSuffixEdit->setEnabled(false);
        m_reImportBtn->setEnabled(true);
    } else {
        m_folderSuffixEdit->setEnabled(true);
        m_reImportBtn->setEnabled(!order->orderBakPath().isEmpty());
    }
    if (m_running) {
        m_folderSuffixEdit->setEnabled(false);
        m_reImportBtn->setEnabled(false);
    }
}

void importOrdersPhotoDlg::showImportedFiles(QString orderPath)
{
    if (orderPath.isEmpty()) {
        m_importedList->clear();
        return;
    }
    orderPath = OrderFolders::withSeparator(orderPath);
    QString folder = orderPath;
    if (m_importType == ImportFinishedPhotos)
        folder += QStringLiteral("成品缩略图100");
    else if (m_importType == ImportDesigns)
        folder += QStringLiteral("设计缩略图100");
    else
        folder += QStringLiteral("thumbnail100");

    const QString local = Platform::localPath(folder);
    QDir dir(local);
    if (!dir.exists()) {
        m_importedList->clear();
        return;
    }
    // The listing itself tells files from folders: no further look at each entry on the share.
    QStringList paths;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                                                    QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        if (entry.isFile())
            paths << local + QLatin1Char('/') + entry.fileName();
    }
    setImportedFiles(paths);
}

void importOrdersPhotoDlg::setImportedFiles(QStringList paths)
{
    fillImportedList(paths);
}

void importOrdersPhotoDlg::fillImportedList(const QStringList &paths)
{
    m_importedList->clear();
    for (const QString &path : paths) {
        auto *item = new QListWidgetItem(FileOperation::getFileName(path), m_importedList);
        item->setSizeHint(QSize(100, 120));
        item->setTextAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    }
    loadImportedIcons(paths);
}

void importOrdersPhotoDlg::loadImportedIcons(const QStringList &paths)
{
    for (int i = 0; i < paths.size() && i < m_importedList->count(); ++i) {
        QFile file(paths.at(i));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QImage image = QImage::fromData(file.readAll());
        if (image.isNull())
            continue;
        const QImage small = image.scaled(100, 100, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        m_importedList->item(i)->setIcon(QIcon(QPixmap::fromImage(ImageOperation::fitImageToCanvas(small))));
    }
}

void importOrdersPhotoDlg::clearOrderInfo()
{
    for (QLabel *label : valueLabels()) {
        label->clear();
        label->setToolTip(QString());
    }
    m_reImportBtn->setEnabled(false);
    m_folderSuffixEdit->setEnabled(true);
    {
        // Emptying the edit is no user edit: the current record keeps its folder suffix.
        const QSignalBlocker blocker(m_folderSuffixEdit);
        m_folderSuffixEdit->clear();
    }
    m_photoSuffixEdit->setEnabled(false);
    m_importedList->clear();
    m_selectedTable->setRowCount(0);
    m_selectedTable->clear();
    m_selectedTable->setHorizontalHeaderLabels({QStringLiteral("照片名")});
    if (m_running)
        m_folderSuffixEdit->setEnabled(false);
}

// ---------------------------------------------------------------- name parts

void importOrdersPhotoDlg::prefieOrderChangedSlot(const QString &text)
{
    const QString value = text.trimmed();
    // During a run the edits are locked and only echo the shown order; the running order's thread
    // reads its name parts, so nothing is written back to a record then.
    if (m_currentOrder && !m_running)
        m_currentOrder->setOrderPrefix(m_importType, value);
}

void importOrdersPhotoDlg::prefieFolderChangedSlot(const QString &text)
{
    const QString value = normalizeFileName(text.trimmed());
    m_folderSuffixEdit->setText(value);
    qCDebug(lcImport) << "修改后的路径是：" << value << "over";
    if (m_currentOrder && !m_running)
        m_currentOrder->setFolderSuffix(m_importType, value);
}

void importOrdersPhotoDlg::prefieImageChangedSlot(const QString &text)
{
    qCDebug(lcImport) << "修改前的路径是：" << text << "over";
    const QString value = normalizeFileName(text.trimmed());
    m_photoSuffixEdit->setText(value);
    if (m_currentOrder && !m_running)
        m_currentOrder->setPhotoSuffix(m_importType, value);
}

// ---------------------------------------------------------------- context menus

void importOrdersPhotoDlg::showTableMouseRightButton(QPoint pos)
{
    Q_UNUSED(pos)
    const int row = m_ordersTable->currentIndex().isValid() ? m_ordersTable->currentRow() : -1;
    if (row < 0 || row >= m_orderList.size())
        return; // nothing under the menu to look at
    m_ordersMenu->setEnabled(!m_orderList.at(row)->orderPath().isEmpty());
    m_ordersMenu->popup(QCursor::pos());
}

void importOrdersPhotoDlg::showLstWgtContextMenuSlot(QPoint pos)
{
    Q_UNUSED(pos)
    if (m_importedList->selectedItems().isEmpty())
        return;
    m_importedMenu->popup(QCursor::pos());
}

// ---------------------------------------------------------------- counting

void importOrdersPhotoDlg::updateImgCount(ImportOrderModel *order)
{
    if (m_importType == ImportOriginPhotos || m_importType == ImportFinishedPhotos || m_importType == ImportDesigns)
        refreshFoundCount(order);
}

void importOrdersPhotoDlg::updateVideoCount(ImportOrderModel *order)
{
    if (m_importType == ImportTrialVideos || m_importType == ImportRetouchVideos)
        refreshFoundCount(order);
}

void importOrdersPhotoDlg::refreshFoundCount(ImportOrderModel *order)
{
    if (!order || order->orderPath().isEmpty())
        return;
    // Photos count once the type's thumbnails have a folder, videos once their own folder is there.
    QString marker;
    QString mainDir;
    bool video = false;
    switch (m_importType) {
    case ImportOriginPhotos:
        marker = QStringLiteral("thumbnail");
        mainDir = QStringLiteral("照片");
        break;
    case ImportFinishedPhotos:
        marker = QStringLiteral("成品缩略图");
        mainDir = QStringLiteral("成品");
        break;
    case ImportDesigns:
        marker = QStringLiteral("设计缩略图");
        mainDir = QStringLiteral("设计");
        break;
    case ImportTrialVideos:
        marker = mainDir = QStringLiteral("试拍视频");
        video = true;
        break;
    case ImportRetouchVideos:
        marker = mainDir = QStringLiteral("精修视频");
        video = true;
        break;
    case ImportDovraCopy:
        return; // the copy for the Dovra system keeps no found count
    }
    const QString path = OrderFolders::withSeparator(order->orderPath());
    if (!FileOperation::dirExists(path + marker))
        return;
    order->setFoundCount(m_importType, clampCount(countFiles(path + mainDir, video ? videoFilters() : photoFilters())));
}

int importOrdersPhotoDlg::getImgCount(const QString &path) const
{
    // Everything the photo chooser accepts, so that before/after counts see each imported photo.
    return countFiles(path, photoFilters());
}

int importOrdersPhotoDlg::getVideoCount(const QString &path) const
{
    return countFiles(path, videoFilters());
}

void importOrdersPhotoDlg::resetOrderImportState(ImportOrderModel *order)
{
    if (!order)
        return;
    order->setOrderPath(QString());
    order->setOrderBakPath(QString());
    for (const ImportTypeEnum type : {ImportOriginPhotos, ImportFinishedPhotos, ImportDesigns}) {
        order->setChosenFiles(type, QStringList());
        order->setFoundCount(type, 0);
        order->setImportedCount(type, 0);
        order->setImported(type, false);
        order->setReportDue(type, ImportOrderModel::ReportDue());
    }
}

// ---------------------------------------------------------------- choosing a row's files

void importOrdersPhotoDlg::selectImgBtnSlot()
{
    auto *button = qobject_cast<QPushButton *>(sender());
    if (!button || m_running)
        return;
    bool ok = false;
    const int row = button->property("row").toInt(&ok);
    if (!ok || row < 0 || row >= m_orderList.size()) {
        qCWarning(lcImport) << "choose button without a listed order, row" << button->property("row");
        return;
    }
    m_selectRow = row;
    m_selectOrder = m_orderList.at(row);
    // The order whose files are chosen is the one highlighted and shown.
    if (m_ordersTable->currentRow() != row)
        m_ordersTable->setCurrentCell(row, 4);
    ordersTableWgtClickedSlot(row);
    if (m_importType == ImportFinishedPhotos)
        requestIsCanSelImg(row, m_selectOrder);
    else
        selImg(row, m_selectOrder);
}

void importOrdersPhotoDlg::requestIsCanSelImg(int row, ImportOrderModel *model)
{
    Q_UNUSED(row)
    if (!model)
        return;
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("shopid"), m_shop.shopId)
                                .add(QStringLiteral("superid"), m_shop.superId)
                                .add(QStringLiteral("order_photo_id"), model->orderPhotoId())
                                .add(QStringLiteral("eid"), m_shop.eid)
                                .add(QStringLiteral("personid"), m_shop.eid)
                                .add(QStringLiteral("uid"), m_shop.uid)
                                .toByteArray();
    QNetworkReply *reply = postForm(m_manager, g_url_order_isrole12finish, body);
    // Several checks may be out at once: each answer goes to the order it was asked for.
    const QPointer<ImportOrderModel> order(model);
    const ImportTypeEnum askedType = m_importType;
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, order, askedType]() { isCanSelImgSlot(reply, order, askedType); });
}

void importOrdersPhotoDlg::isCanSelImgSlot(QNetworkReply *reply, QPointer<ImportOrderModel> order,
                                           ImportTypeEnum askedType)
{
    reply->deleteLater();
    QJsonObject obj;
    if (!readJsonReply(reply, &obj, nullptr, QStringLiteral("请求失败")))
        return;
    qCDebug(lcImport).noquote() << "query order Json:" << QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Indented));
    if (!replyOk(obj)) {
        MsgBox::information(nullptr, QStringLiteral("警告"), QStringLiteral("请求失败：") + jsonString(obj, QStringLiteral("code")),
                            QMessageBox::Yes);
        return;
    }

    // The order may have left the list, or the user moved to another type or started a run meanwhile.
    if (!order || !m_orderList.contains(order) || askedType != m_importType) {
        qCDebug(lcImport) << "selection check answer dropped: the order or the import type changed";
        return;
    }
    if (m_running) {
        MsgBox::information(this, QStringLiteral("提示"), QStringLiteral("正在导片，请在导片结束后再选择照片"),
                            QMessageBox::Ok);
        return;
    }

    // A number is the documented form; a numeric text is taken as well rather than overwrite a finished selection.
    const QJsonValue flag = obj.value(QStringLiteral("isrole12finish"));
    const int finished = flag.isString() ? flag.toString().trimmed().toInt() : flag.toInt();
    if (finished != 0) {
        const QMessageBox::StandardButton answer = MsgBox::question(
            this, QStringLiteral("温馨提示"),
            QStringLiteral("该订单已选片完成，继续导片会覆盖之前的选片结果，确定要继续导片吗？"));
        if (answer != QMessageBox::Yes)
            return;
        if (!order)
            return;
    }
    selImg(m_orderList.indexOf(order), order);
}

void importOrdersPhotoDlg::selImg(int row, ImportOrderModel *model)
{
    const QPointer<ImportOrderModel> order(model);
    if (!order || row < 0 || row >= m_orderList.size() || m_orderList.at(row) != model)
        return;
    const ImportTypeEnum type = m_importType;
    const bool video = type == ImportTrialVideos || type == ImportRetouchVideos;

    QStringList files;
    QString folder;
    if (type == ImportDovraCopy) {
        folder = FileDialogs::getExistingDirectory(this, QStringLiteral("请选择文件路径..."), m_lastSelectDir);
    } else {
        files = FileDialogs::getOpenFileNames(this, video ? QStringLiteral("选择视频") : QStringLiteral("选择照片"),
                                              m_lastSelectDir,
                                              video ? QStringLiteral("Video File(*.mp4 *.avi)")
                                                    : QStringLiteral("Image File(*.jpg *.jpeg *.png)"));
    }

    // While the chooser was open the list, the type or the run state may have changed.
    row = order ? m_orderList.indexOf(order) : -1;
    if (row < 0 || type != m_importType || m_running) {
        qCDebug(lcImport) << "choice dropped: the order left the list, the type changed or a run started";
        return;
    }

    if (type == ImportDovraCopy) {
        if (folder.isEmpty()) {
            MsgBox::information(this, QStringLiteral("提示"), QStringLiteral("请重新选择路径"), QMessageBox::Ok);
            return;
        }
        // The whole folder is copied: a drive or file-system root would copy the entire disk.
        if (isFileSystemRoot(folder)) {
            MsgBox::information(this, QStringLiteral("提示"),
                                QStringLiteral("不能选择磁盘根目录：\n%1\n请重新选择路径").arg(folder), QMessageBox::Ok);
            return;
        }
        QDir dir(folder);
        dir.cdUp();
        const QString parentPath = dir.absolutePath();
        QString parent = parentPath;
        if (parent.endsWith(QLatin1Char('\\')) || parent.endsWith(QLatin1Char('/'))) {
            parent.chop(1);
            qCDebug(lcImport) << "最后一位是目录的符号";
        }
        qCDebug(lcImport) << "fatherPath=" << parent;
        order->setDovraSourceDir(folder);
        order->setFatherPath(parent.trimmed());
        order->setDovraImported(false);
        m_lastSelectDir = parentPath;
    } else {
        if (files.isEmpty()) {
            MsgBox::information(this, QStringLiteral("提示"), QStringLiteral("没有选择任何照片"), QMessageBox::Ok);
            return;
        }
        // Photos: start next time above the folder holding them (the customer's folder); videos: in it.
        QDir dir(files.first());
        for (int step = video ? 1 : 2; step > 0; --step) {
            QDir up(dir);
            if (up.cdUp())
                dir = up;
        }
        order->setChosenFiles(type, files);
        order->setImported(type, false);
        m_lastSelectDir = dir.absolutePath();
    }

    emit m_ordersTable->cellClicked(row, 0);

    const int count = type == ImportDovraCopy ? 0 : files.size();
    setRowProgress(row, 0, count);
    const QString chosen = type == ImportDovraCopy ? folder : QString::number(count);
    for (QWidget *w : cellWidgets(row, 4)) {
        if (auto *label = qobject_cast<QLabel *>(w)) {
            label->setText(QStringLiteral("已选(%1)").arg(chosen));
            label->setToolTip(type == ImportDovraCopy ? folder : QString());
        }
    }
}

// ---------------------------------------------------------------- imported files

void importOrdersPhotoDlg::openImportedImgSlot()
{
    if (!m_currentOrder)
        return;
    QString path = m_currentOrder->orderPath();
    qCDebug(lcImport) << "open orderPath:" << path;
    if (path.isEmpty())
        return;
    path = OrderFolders::withSeparator(path);
    QString folder;
    if (m_importType == ImportOriginPhotos)
        folder = path + QStringLiteral("照片");
    else if (m_importType == ImportFinishedPhotos)
        folder = path + QStringLiteral("成品");
    else if (m_importType == ImportDesigns)
        folder = path + QStringLiteral("设计");
    else
        return;
    openFolder(folder);
}

void importOrdersPhotoDlg::openFolder(const QString &folder)
{
    // A missing folder would open somewhere else, or nowhere, without a word.
    if (FileOperation::dirExists(folder) && FileOperation::openFileDir(folder))
        return;
    qCWarning(lcImport) << "folder not opened:" << folder;
    MsgBox::information(this, QStringLiteral("警告"), QStringLiteral("无法打开文件夹：\n") + folder, QMessageBox::Ok);
}

void importOrdersPhotoDlg::deleteImportedImgSlot()
{
    if (!m_currentOrder || m_running)
        return;
    QStringList names;
    for (QListWidgetItem *item : m_importedList->selectedItems())
        names << item->text();
    if (names.isEmpty())
        return;
    if (m_importType != ImportOriginPhotos && m_importType != ImportFinishedPhotos && m_importType != ImportDesigns) {
        MsgBox::information(this, QStringLiteral("提示"), QStringLiteral("视频和Dovra导片模式下不能删除照片"),
                            QMessageBox::Ok);
        return;
    }
    const QPointer<ImportOrderModel> order(m_currentOrder);
    const QMessageBox::StandardButton answer = MsgBox::question(
        this, QStringLiteral("温馨提示"),
        QStringLiteral("确定要删除选中的%1张照片吗？\n照片会从订单目录和缩略图目录中一起删除，删除后无法恢复。")
            .arg(names.size()));
    if (answer != QMessageBox::Yes || !order || order != m_currentOrder || m_running)
        return;
    delListFiles(&names);
}

void importOrdersPhotoDlg::delListFiles(const QStringList *names)
{
    if (!names || !m_currentOrder)
        return;
    const QString orderPath = m_currentOrder->orderPath();
    qCDebug(lcImport) << "delete orderPath:" << orderPath;

    QString mainDir;
    QString thumbDir;
    if (m_importType == ImportOriginPhotos) {
        mainDir = QStringLiteral("照片");
        thumbDir = QStringLiteral("thumbnail");
    } else if (m_importType == ImportFinishedPhotos) {
        mainDir = QStringLiteral("成品");
        thumbDir = QStringLiteral("成品缩略图");
    } else if (m_importType == ImportDesigns) {
        mainDir = QStringLiteral("设计");
        thumbDir = QStringLiteral("设计缩略图");
    }
    if (orderPath.isEmpty() || mainDir.isEmpty())
        return;

    const QString base = OrderFolders::withSeparator(orderPath);
    const QStringList folders{base + mainDir + QLatin1Char('/'), base + thumbDir + QLatin1Char('/'),
                              base + thumbDir + QStringLiteral("100/"), base + thumbDir + QStringLiteral("2250/")};
    QStringList failed;
    for (const QString &name : *names) {
        // Names come from the list; anything that is not one plain name stays untouched.
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/'))
            || name.contains(QLatin1Char('\\')))
            continue;
        for (const QString &folder : folders) {
            // A file missing from one folder is no failure; one still there after the attempt is.
            const QString path = folder + name;
            if (FileOperation::deleteFile(path))
                continue;
            const int error = errno;
            if (FileOperation::isFile(path))
                failed << path + QStringLiteral("（") + errorText(error) + QStringLiteral("）");
        }
    }
    showImportedFiles(orderPath);
    if (!failed.isEmpty())
        MsgBox::information(this, QStringLiteral("警告"), QStringLiteral("以下文件删除失败：\n") + failed.join(QLatin1Char('\n')),
                            QMessageBox::Ok);
}

// ---------------------------------------------------------------- re-import

void importOrdersPhotoDlg::reImportBtnSlot()
{
    if (!m_currentOrder || m_running)
        return;
    const QPointer<ImportOrderModel> order(m_currentOrder);
    const QMessageBox::StandardButton answer = MsgBox::question(
        this, QStringLiteral("温馨提示"),
        QStringLiteral("确定要重新导片吗？\n将清空该订单的订单路径、备份路径和已选照片，下次导片会重新建立订单目录"
                       "（已导入的文件不会删除）。"));
    if (answer != QMessageBox::Yes || !order || order != m_currentOrder || m_running)
        return;

    m_selectedTable->setRowCount(0);
    m_selectedTable->clear();
    m_selectedTable->setHorizontalHeaderLabels({QStringLiteral("照片名")});
    m_importedList->clear();
    resetOrderImportState(order);
    m_orderPathLabel->clear();
    m_orderBakPathLabel->clear();
    m_folderSuffixEdit->setEnabled(true);
    m_reImportBtn->setEnabled(false);

    qCDebug(lcImport) << "updateFinishInfo3----";
    updateFinishInfo(order, QStringLiteral("0"), 0, 0);

    if (m_currentRow != -1 && m_currentRow < m_ordersTable->rowCount()) {
        if (QTableWidgetItem *status = m_ordersTable->item(m_currentRow, 3))
            status->setText(QStringLiteral("未导入"));
        setRowProgress(m_currentRow, 0, 0);
        for (QWidget *w : cellWidgets(m_currentRow, 4))
            if (auto *label = qobject_cast<QLabel *>(w))
                label->setText(QStringLiteral("未选"));
    }
}

// ---------------------------------------------------------------- video list update

void importOrdersPhotoDlg::upDataVideoUrlsBtnSlot()
{
    const auto notice = [](const QString &text) {
        MsgBox::information(nullptr, QStringLiteral("温馨提示"), text, QMessageBox::Yes);
    };
    if (m_currentRow < 0 || m_currentRow >= m_orderList.size()) {
        notice(QStringLiteral("请选择更新视频的订单"));
        return;
    }
    ImportOrderModel *order = m_orderList.at(m_currentRow);
    if (order->orderPath().isEmpty()) {
        notice(QStringLiteral("此订单未导视频"));
        return;
    }

    QString folder;
    QString heading;
    QString clearQuestion;
    if (m_importType == ImportTrialVideos) {
        folder = OrderFolders::withSeparator(order->orderPath()) + QStringLiteral("试拍视频/");
        heading = QStringLiteral("是否要将<font color=\"red\">选片系统 试拍视频列表</font>更新为:  <br/> ");
        clearQuestion = QStringLiteral("  没有试拍视频， 是否要将<font color=\"red\">选片系统 试拍视频列表</font>列表清空？ ");
    } else if (m_importType == ImportRetouchVideos) {
        folder = OrderFolders::withSeparator(order->orderPath()) + QStringLiteral("精修视频/");
        heading = QStringLiteral("是否要将<font color=\"red\">选片系统 精修视频列表</font>更新为: <br/>");
        clearQuestion = QStringLiteral("  没有精修视频， 是否要将<font color=\"red\">选片系统 精修视频列表</font>列表清空？ ");
    } else {
        return; // the button is only shown in the two video types
    }

    const QString local = Platform::localPath(folder);
    QDir dir(local);
    if (!dir.exists()) {
        notice(QStringLiteral("此订单导片路径打不开，请检查服务器是否连接成功！"));
        return;
    }

    // Every file counts whatever its extension; hidden files and sub-folders do not.
    QString sentFolder = folder;
    sentFolder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (sentFolder.size() > 1 && sentFolder.endsWith(QLatin1Char('/')))
        sentFolder.chop(1);
    QStringList names;
    QStringList paths;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::Unsorted);
    for (const QFileInfo &info : entries) {
        if (Platform::isHidden(info.absoluteFilePath()))
            continue;
        names << info.fileName();
        paths << sentFolder + QLatin1Char('/') + info.fileName();
    }

    if (names.isEmpty()) {
        if (MsgBox::question(nullptr, QStringLiteral("温馨提示"), folder.toHtmlEscaped() + clearQuestion) == QMessageBox::Yes)
            updataVideoList(order, QString(), QString());
        return;
    }
    QString shown;
    for (const QString &name : qAsConst(names))
        shown += name.toHtmlEscaped() + QStringLiteral("<br/>");
    const QString question = heading + QStringLiteral("<font size='18' color='blue'>") + shown + QStringLiteral("</font>");
    if (MsgBox::question(nullptr, QStringLiteral("温馨提示"), question) != QMessageBox::Yes)
        return;
    updataVideoList(order, names.join(QLatin1Char('|')), paths.join(QLatin1Char('|')));
}

void importOrdersPhotoDlg::updataVideoList(ImportOrderModel *model, QString fileNames, QString filePaths)
{
    if (!model)
        return;
    FormBody form;
    form.add(QStringLiteral("timestamp"), QString::number(QDateTime::currentMSecsSinceEpoch()))
        .add(QStringLiteral("videopaths"), filePaths)
        .add(QStringLiteral("videofiles"), fileNames)
        .add(QStringLiteral("shopid"), m_shop.shopId)
        .add(QStringLiteral("order_photo_id"), model->orderPhotoId())
        .add(QStringLiteral("superid"), m_shop.superId)
        .add(QStringLiteral("eid"), m_shop.eid)
        .add(QStringLiteral("token"), g_apiToken);
    if (m_importType == ImportTrialVideos)
        form.add(QStringLiteral("typeid"), QStringLiteral("3"));
    else if (m_importType == ImportRetouchVideos)
        form.add(QStringLiteral("typeid"), QStringLiteral("4"));
    const QByteArray body = form.toByteArray();
    qCDebug(lcImport) << "更新选片视频地址:===" << g_url_updatevideo;
    qCDebug(lcImport) << "postData===" << maskSecrets(body);

    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    postForm(m_manager, g_url_updatevideo, body, this, &importOrdersPhotoDlg::videoListCallBack);
}

void importOrdersPhotoDlg::videoListCallBack(QNetworkReply *reply)
{
    QJsonObject obj;
    if (!readJsonReply(reply, &obj)) { // a network error has been shown
        // A reply that is no JSON object is told too, rather than left without an answer.
        if (reply->error() == QNetworkReply::NoError)
            MsgBox::information(nullptr, QStringLiteral("温馨提示"),
                                QStringLiteral("更新视频列表失败：服务器的回复无法识别"), QMessageBox::Yes);
        return;
    }
    qCDebug(lcImport) << "JsonObj:" << obj;
    httpUploadVideoListJson(obj);
}

void importOrdersPhotoDlg::httpUploadVideoListJson(QJsonObject infoJson)
{
    // A refusal must not look like a success.
    const QString message = replyMessage(infoJson, replyOk(infoJson) ? QString() : QStringLiteral("更新视频列表失败"));
    MsgBox::information(nullptr, QStringLiteral("温馨提示"), message, QMessageBox::Yes);
}

// ---------------------------------------------------------------- run lock

void importOrdersPhotoDlg::setRunning(bool running)
{
    m_running = running;
    setImportTypeEnabled(!running);
    for (int row = 0; row < m_ordersTable->rowCount(); ++row)
        for (QWidget *w : cellWidgets(row, 4))
            if (qobject_cast<QPushButton *>(w))
                w->setEnabled(!running);
    // Only deleting imported photos waits for the run; opening their folder and the video list do not.
    if (auto *deleteAction = findChild<QAction *>(QStringLiteral("deleteImportedAction")))
        deleteAction->setEnabled(!running);
    if (running) {
        m_orderPrefixEdit->setEnabled(false);
        m_folderSuffixEdit->setEnabled(false);
        m_photoSuffixEdit->setEnabled(false);
        m_reImportBtn->setEnabled(false);
        return;
    }
    m_orderPrefixEdit->setEnabled(true);
    m_photoSuffixEdit->setEnabled(m_importType == ImportOriginPhotos);
    if (m_currentOrder && m_orderList.contains(m_currentOrder)) {
        const bool hasFolder = !m_currentOrder->orderPath().isEmpty();
        m_folderSuffixEdit->setEnabled(!hasFolder);
        m_reImportBtn->setEnabled(hasFolder || !m_currentOrder->orderBakPath().isEmpty());
    } else {
        m_folderSuffixEdit->setEnabled(true);
        m_reImportBtn->setEnabled(false);
    }
}

