#include "importphototoserver.h"
#include "logging.h"
#include "ui_importphototoserver.h"

#include "calendarpicker.h"
#include "checkdirthread.h"
#include "fileoperation.h"
#include "finishingnotice.h"
#include "globals.h"
#include "guardedcall.h"
#include "importclaim.h"
#include "msgbox.h"
#include "orderfolders.h"
#include "photoimport.h"
#include "platform.h"
#include "shottime.h"
#include "storagelisting.h"
#include "thumbnailthread1.h"
#include "unsentreport.h"
#include "webapi.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QDate>
#include <QDir>
#include <QDebug>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QStandardItemModel>
#include <QTime>
#include <QTimer>

#include <cerrno>
#include <future>

using OrderFolders::withSeparator;

namespace {

// What each import type works on under the order folder.
struct TypeInfo
{
    QString button;       // the button's text
    QString loadingText;  // its text while the lookup runs
    QString title;        // the window title
    QString folder;       // the photo folder, ending in "/"
    QString thumbFolder;  // the 1000-pixel folder the icon list shows, ending in "/"
    QString caption;      // the imported-photo caption
    QStringList deleted;  // the folders a deletion removes a name from, main folder first
    QString typeId;       // "typeid" of the path report
};

const TypeInfo &typeInfo(int type)
{
    static const TypeInfo types[3] = {
        {QStringLiteral("导入照片"), QStringLiteral("导入照片(加载中)"), QStringLiteral("导入照片(原片)"),
         QStringLiteral("照片/"), QStringLiteral("thumbnail/"), QStringLiteral("订单已导入照片"),
         {QStringLiteral("照片/"), QStringLiteral("thumbnail/"), QStringLiteral("thumbnail100/"),
          QStringLiteral("thumbnail2250/")},
         QStringLiteral("1")},
        {QStringLiteral("导入成品"), QStringLiteral("导入成品(加载中)"), QStringLiteral("导入照片(成品)"),
         QStringLiteral("成品/"), QStringLiteral("成品缩略图/"), QStringLiteral("订单已导入成品"),
         {QStringLiteral("成品/"), QStringLiteral("成品缩略图/"), QStringLiteral("成品缩略图100/"),
          QStringLiteral("成品缩略图2250/")},
         QStringLiteral("2")},
        {QStringLiteral("导入设计"), QStringLiteral("导入设计(加载中)"), QStringLiteral("导入照片(设计)"),
         QStringLiteral("设计/"), QStringLiteral("设计缩略图/"), QStringLiteral("订单已导入设计"),
         {QStringLiteral("设计/"), QStringLiteral("设计缩略图/"), QStringLiteral("设计缩略图100/"),
          QStringLiteral("设计缩略图2250/")},
         QStringLiteral("3")},
    };
    return types[type == 1 || type == 2 ? type : 0];
}

// Typed or web text as one part of a file or folder name: safe for the file system, and without the "-"
// that separates the parts when a name is read back.
QString namePart(const QString &text)
{
    return normalizeFileName(text).remove(QLatin1Char('-'));
}

// A file name as the file system compares names.
QString fileKey(const QString &name)
{
    return Platform::pathCase() == Qt::CaseInsensitive ? name.toLower() : name;
}

// Order numbers keep their own "-" (they are read back from the front of a name), only unsafe characters go.
QString orderNumberPart(const QString &prefix, const QString &orderNumber)
{
    return normalizeFileName(prefix + orderNumber);
}

} // namespace

// The icons of one listing: its jobs report here, and a listing that is replaced is deleted with its
// jobs' late reports. It tells the window once every icon of the listing is in.
class IconListing : public QObject
{
    Q_OBJECT
public:
    IconListing(ImportPhotoToServer *window, int count) : QObject(window), m_window(window), m_pending(count) {}
    int pending() const { return m_pending; }

public slots:
    void updateThumbIcon(int index, QPixmap pic)
    {
        m_window->updateThumbIcon(index, pic);
        if (--m_pending == 0)
            m_window->iconsIn();
    }

private:
    ImportPhotoToServer *m_window;
    int m_pending;
};

// The reports of one import run: a run that ended drops the late ones of its jobs.
class ImportRunReports : public QObject
{
    Q_OBJECT
public:
    explicit ImportRunReports(ImportPhotoToServer *window) : QObject(window), m_window(window) {}

public slots:
    void onImportFailures(QStringList failures)
    {
        if (m_window->m_runReports == this)
            m_window->onImportFailures(failures);
    }
    void onUnreadablePhoto(QString name)
    {
        if (m_window->m_runReports == this)
            m_window->onUnreadablePhoto(name);
    }
    void onPhotoPlaced(QString planned, QString given, QString placed, bool mainAdded, bool backupAdded,
                       bool importedBefore)
    {
        if (m_window->m_runReports == this)
            m_window->onPhotoPlaced(planned, given, placed, mainAdded, backupAdded, importedBefore);
    }
    void onFinishImportImage(QString imageTime)
    {
        if (m_window->m_runReports == this)
            m_window->onFinishImportImage(imageTime);
    }
    void onWaitingForOther(bool waiting)
    {
        if (m_window->m_runReports == this)
            m_window->onWaitingForOther(waiting);
    }

private:
    ImportPhotoToServer *m_window;
};

// ---------------------------------------------------------------- naming

int ImportPhotoToServer::photoNumberOf(const QFileInfo &file)
{
    // The digits that end the base name, however many ("DSC_042" 42, "x-1000" 1000); none, or more
    // than any running number has, count as 0.
    static const QRegularExpression digits(QStringLiteral("(?<![0-9])[0-9]{1,9}$"));
    const QRegularExpressionMatch match = digits.match(file.baseName());
    return match.hasMatch() ? match.captured().toInt() : 0;
}

namespace {

// The "*.jpg" names (any letter case) among those of folder's files, hidden ones left out, as the storage
// listing counts them.
QStringList jpgsAmong(const QString &folder, const QStringList &names)
{
    const bool anyHidden = !Platform::hiddenPaths().isEmpty();
    QStringList out;
    for (const QString &name : names) {
        if (name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive)
            && !(anyHidden && Platform::isHidden(QFileInfo(folder + name).absoluteFilePath())))
            out << name;
    }
    return out;
}

} // namespace

int ImportPhotoToServer::highestPhotoNumber(const QString &folder)
{
    int highest = 0;
    const QFileInfoList photos = StorageListing::files(folder, {QStringLiteral("*.jpg")});
    qCDebug(lcSingleImport) << "服务器订单文件夹下已有照片数量" << photos.size();
    for (const QFileInfo &photo : photos)
        highest = qMax(highest, photoNumberOf(photo));
    return highest;
}

QString ImportPhotoToServer::orderPrefixOf(const QString &shotDate)
{
    const QStringList parts = shotDate.split(QLatin1Char('-'));
    qCDebug(lcSingleImport) << "sepratePhotoName" << parts;
    if (parts.size() != 3)
        return QString();
    return QString::number(parts.at(1).toInt()) + parts.at(2);
}

QString ImportPhotoToServer::newPhotoName(const QString &prefix, const QString &orderNumber,
                                          const QString &appendName, int number)
{
    const QString append = namePart(appendName);
    const QString middle = append.isEmpty() ? QStringLiteral("-") : QLatin1Char('-') + append + QLatin1Char('-');
    return orderNumberPart(prefix, orderNumber) + middle + QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'))
           + QStringLiteral(".jpg");
}

QString ImportPhotoToServer::orderFolderName(const QString &prefix, const QString &orderNumber,
                                             const QString &appendName, const QString &serviceTimes)
{
    const QString append = namePart(appendName);
    return orderNumberPart(prefix, orderNumber) + (append.isEmpty() ? QString() : QLatin1Char('-') + append)
           + QLatin1Char('-') + namePart(serviceTimes);
}

bool ImportPhotoToServer::appendNameOfFolder(const QString &folderName, const QString &serviceTimes,
                                             QString *appendName)
{
    const QStringList parts = folderName.split(QLatin1Char('-'));
    if (parts.size() >= 2 && !serviceTimes.isEmpty() && parts.last() == serviceTimes) {
        // prefix+number, [append name,] service count
        *appendName = parts.mid(1, parts.size() - 2).join(QLatin1Char('-'));
        return true;
    }
    if (parts.size() == 2) {
        *appendName = parts.at(1);
        return true;
    }
    return false;
}

bool ImportPhotoToServer::appendNameOfPhoto(const QString &fileName, QString *appendName)
{
    const QStringList parts = fileName.split(QLatin1Char('-'));
    qCDebug(lcSingleImport) << "sepratePhotoName" << parts;
    if (parts.size() != 3)
        return false;
    *appendName = parts.at(1);
    return true;
}

// ---------------------------------------------------------------- window

ImportPhotoToServer::ImportPhotoToServer(const SingleImportOrder &order, QWidget *parent, const ShopSettings &shop)
    : QMainWindow(parent), newPhotoNames(new QStringList), m_orderId(order.orderPhotoId),
      m_orderNumber(order.orderPayForKey), m_serviceTimes(order.serviceTimes), m_shotDate(order.shotDate),
      m_pixelBudget(kPhotoPixelBudgetMiB), m_shop(shop)
{
    ui = new Ui_ImportPhotoToServer;
    ui->setupUi(this);

    ui->lineEdit_dresser->setText(order.role2);
    ui->lineEdit_cameraman->setText(order.role1);
    ui->pushButton_photodate->setText(m_shotDate);
    ui->lineEdit_otherdate->setText(m_serviceTimes);
    ui->label_id->setText(m_orderNumber);
    ui->label_name->setText(order.customerName);
    ui->refreshPushButton->hide();

    loadingLabel = new QLabel;
    loadingLabel->setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    loadingLabel->setText(QStringLiteral("正在加载..."));
    QFont font = loadingLabel->font();
    font.setPointSize(20);
    loadingLabel->setFont(font);
    loadingLabel->setAttribute(Qt::WA_TranslucentBackground);
    loadingLabel->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->geometry();
        loadingLabel->move((desk.width() - loadingLabel->width()) / 2, (desk.height() - loadingLabel->height()) / 2);
    }

    connect(ui->importButton, &QPushButton::clicked, this, &ImportPhotoToServer::clickImportPhoto);
    connect(ui->selectButton, &QPushButton::clicked, this, &ImportPhotoToServer::clickSelectPhoto);
    ui->tableView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->tableView, &QWidget::customContextMenuRequested, this, &ImportPhotoToServer::tableShowMouseRightButton);
    tableOpenDirAction = new QAction(QStringLiteral("打开照片目录"), this);
    connect(tableOpenDirAction, &QAction::triggered, this, &ImportPhotoToServer::openSelfPhotoDir);
    tableMenu = new QMenu(ui->tableView);
    tableMenu->addAction(tableOpenDirAction);

    ui->reimportButton->hide();
    ui->selectButton->hide();
    ui->progressBar->hide();
    ui->waitLabel->hide();

    // The type switch starts a lookup, which may end at once: the widgets it touches exist by then.
    initListWidget();
    initTableView();
    ui->importButton->setEnabled(false);
    QPalette red = ui->reimportButton->palette();
    red.setColor(QPalette::ButtonText, QColor(255, 0, 0));
    ui->reimportButton->setPalette(red);
    ui->lineEdit_orderPRName->setReadOnly(true);
    ui->lineEdit_orderPRName->setText(orderPrefixOf(m_shotDate));
    initImportButtons();
    // The program may end while the run of a closed window goes on.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &ImportPhotoToServer::keepRunUnderWay);
}

ImportPhotoToServer::~ImportPhotoToServer()
{
    m_deleteAfterRun = false; // going now
    keepRunUnderWay();
    m_pool.clear();
    m_pool.waitForDone();
    delete loadingLabel;
    delete newPhotoNames;
    delete ui;
}

void ImportPhotoToServer::initListWidget()
{
    thumbList = new QListWidget(this);
    thumbList->setIconSize(QSize(1000, 1000));
    thumbList->setResizeMode(QListView::Adjust);
    thumbList->setViewMode(QListView::IconMode);
    thumbList->setMovement(QListView::Static);
    thumbList->setDragEnabled(false);
    thumbList->setSpacing(10);
    thumbList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(thumbList, &QListWidget::itemDoubleClicked, this, &ImportPhotoToServer::selectItem);
    ui->verticalLayout->addWidget(thumbList);
    thumbList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(thumbList, &QWidget::customContextMenuRequested, this, &ImportPhotoToServer::listShowMouseRightButton);
    listMenu = new QMenu(thumbList);
    listOpenDirAction = new QAction(QStringLiteral("打开照片目录"), this);
    connect(listOpenDirAction, &QAction::triggered, this, &ImportPhotoToServer::openOrderPhotoDir);
    listDeleteAction = new QAction(QStringLiteral("删除选中照片"), this);
    connect(listDeleteAction, &QAction::triggered, this, &ImportPhotoToServer::delListPhotoAction);
    listMenu->addAction(listOpenDirAction);
    listMenu->addSeparator();
    listMenu->addAction(listDeleteAction);
}

void ImportPhotoToServer::initTableView()
{
    tableModel = new QStandardItemModel(this);
    tableModel->setHorizontalHeaderItem(0, new QStandardItem(QStringLiteral("照片")));
    ui->tableView->setModel(tableModel);
    ui->tableView->setColumnWidth(0, ui->tableView->width());
    ui->tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->tableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(ui->tableView, &QTableView::doubleClicked, this, &ImportPhotoToServer::selectRow);
}

void ImportPhotoToServer::initImportButtons()
{
    importTypeGroup = new QButtonGroup(this);
    const QList<QPushButton *> buttons{ui->importPic1, ui->importPic2, ui->importPic3};
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton *button = buttons.at(i);
        button->setCheckable(true);
        button->setFlat(true);
        importTypeGroup->addButton(button, i + 1);
        // A click on another button unchecks the old one too: only the newly checked button switches.
        connect(button, &QPushButton::toggled, this, [this](bool checked) {
            if (checked)
                importBtnAction();
        });
    }
    ui->importPic2->setChecked(true);
}

QString ImportPhotoToServer::typeFolder() const
{
    return typeInfo(m_type).folder;
}

// ---------------------------------------------------------------- type switch

void ImportPhotoToServer::importBtnAction()
{
    const int id = importTypeGroup->checkedId();
    if (id < 1 || id > 3)
        return;
    m_type = id - 1;
    const TypeInfo &type = typeInfo(m_type);
    const QList<QPushButton *> buttons{ui->importPic1, ui->importPic2, ui->importPic3};
    for (int i = 0; i < buttons.size(); ++i)
        buttons.at(i)->setEnabled(i == id - 1);
    buttons.at(id - 1)->setText(type.loadingText);
    loadingLabel->show();
    m_loading = true;

    setWindowTitle(type.title);
    ui->pushButton_photodate->setEnabled(false);
    const bool asShot = m_type == 0;
    ui->lineEdit_orderPRName->setReadOnly(!asShot);
    ui->lineEdit_folderAppendName->setVisible(asShot);
    ui->label_6->setVisible(asShot);
    ui->label_8->setText(asShot ? QStringLiteral("照片附加名") : QStringLiteral("订单附加名"));
    ui->lineEdit_picAppendName->setReadOnly(!asShot);

    // A choice belongs to the type it was named for.
    clickClearPhoto();
    queryOrderPath();
    ui->importButton->setEnabled(false);
}

void ImportPhotoToServer::releaseTypeButtons()
{
    const QList<QPushButton *> buttons{ui->importPic1, ui->importPic2, ui->importPic3};
    for (int i = 0; i < buttons.size(); ++i) {
        buttons.at(i)->setText(typeInfo(i).button);
        buttons.at(i)->setEnabled(!isImporting());
    }
}

void ImportPhotoToServer::refreshBtn(bool wait)
{
    if (wait && m_iconListing && m_iconListing->pending() > 0) {
        m_releaseAfterIcons = true;
        return;
    }
    m_releaseAfterIcons = false;
    releaseTypeButtons();
}

void ImportPhotoToServer::iconsIn()
{
    if (!m_releaseAfterIcons)
        return;
    m_releaseAfterIcons = false;
    qCDebug(lcSingleImport) << "wait is done";
    releaseTypeButtons();
}

void ImportPhotoToServer::endLookup(bool releaseNow)
{
    m_loading = false;
    loadingLabel->hide();
    if (releaseNow)
        refreshBtn(false);
    updatePhotoDateButton();
}

void ImportPhotoToServer::updatePhotoDateButton()
{
    // The date still shapes the order folder only while the order has none.
    ui->pushButton_photodate->setEnabled(m_lookupOk && !isImporting() && (orderPath.isEmpty() || orderBakPath.isEmpty()));
}

// ---------------------------------------------------------------- web requests

QNetworkReply *ImportPhotoToServer::post(const QString &url, const QByteArray &body,
                                         void (ImportPhotoToServer::*slot)(QNetworkReply *))
{
    manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, slot);
    connect(manager, &QNetworkAccessManager::finished, manager, &QObject::deleteLater);
    return postForm(manager, url, body);
}

bool ImportPhotoToServer::readAcceptedReply(QNetworkReply *reply, QJsonObject *obj, const QString &notJsonText,
                                            const QString &refusalText)
{
    if (!readJsonReply(reply, obj, nullptr, notJsonText))
        return false;
    qCDebug(lcSingleImport) << "reply of" << reply->url().path() << *obj;
    const QString code = jsonString(*obj, QStringLiteral("code"));
    if (code == QLatin1String("1"))
        return true;
    MsgBox::information(nullptr, QStringLiteral("警告"), refusalText + code, QMessageBox::Yes);
    return false;
}

void ImportPhotoToServer::queryOrderPath()
{
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("order_photo_id"), m_orderId)
                                .add(QStringLiteral("shopid"), m_shop.shopId)
                                .add(QStringLiteral("superid"), m_shop.superId)
                                .toByteArray();
    m_lookupOk = false;
    QNetworkReply *reply = post(g_url_get_order_path, body, &ImportPhotoToServer::backOrderPath);
    reply->setProperty("lookup", ++m_lookupSerial);
    qCDebug(lcSingleImport) << "query order url:" << g_url_get_order_path;
    qCDebug(lcSingleImport) << "query order paras:" << maskSecrets(body);
}

void ImportPhotoToServer::backOrderPath(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->property("lookup").toInt() != m_lookupSerial)
        return; // a later lookup is under way and answers for the window
    QJsonObject obj;
    if (!readAcceptedReply(reply, &obj, QStringLiteral("查询订单目录失败：服务器的回复无法识别"))) {
        endLookup(true);
        return;
    }
    const QJsonObject data = obj.value(QStringLiteral("data")).toObject();
    orderPath = jsonString(data, QStringLiteral("orderpath"));
    orderBakPath = jsonString(data, QStringLiteral("orderbakpicpath"));
    // A relative path, a root or a storage root is no order's folder: listing, importing into it or
    // re-reading it would work on other files. The order is taken as one without a folder.
    if (!orderPath.isEmpty()) {
        const QStringList roots = m_shop.storageRoots() + QStringList{serverPath, backupPath};
        QString problem = OrderFolders::folderProblem(orderPath, QStringLiteral("订单路径"), roots);
        if (problem.isEmpty() && !orderBakPath.isEmpty())
            problem = OrderFolders::folderProblem(orderBakPath, QStringLiteral("订单备份路径"), roots);
        if (!problem.isEmpty()) {
            orderPath.clear();
            orderBakPath.clear();
            const QPointer<ImportPhotoToServer> self(this);
            MsgBox::information(nullptr, QStringLiteral("警告"), problem, QMessageBox::Yes);
            if (!self || reply->property("lookup").toInt() != m_lookupSerial)
                return;
        }
    }
    m_lookupOk = true;
    ui->selectButton->show();

    if (!orderPath.isEmpty()) {
        ui->reimportButton->show();
        auto *check = new CheckDirThread(orderPath);
        const int serial = m_lookupSerial;
        connect(check, &CheckDirThread::onFinishCheck, this, [this, serial](bool exists) {
            if (serial == m_lookupSerial)
                onIsPathExist(exists);
        });
        check->start();
        return;
    }
    ui->reimportButton->hide();
    ui->lineEdit_folderAppendName->setReadOnly(false);
    ui->lineEdit_picAppendName->setReadOnly(false);
    refreshImportedList(orderPath);
    endLookup(true);
}

void ImportPhotoToServer::onIsPathExist(bool exist)
{
    qCDebug(lcSingleImport) << "onIsPathExist" << (exist ? "true" : "false");
    if (exist) {
        writeOrderAppendPath();
        refreshImportedList(orderPath);
        refreshBtn(true);
        endLookup(false);
        return;
    }
    endLookup(true);
}

void ImportPhotoToServer::writeOrderAppendPath()
{
    ui->lineEdit_folderAppendName->setReadOnly(true);
    ui->lineEdit_picAppendName->setReadOnly(true);
    if (m_running)
        return; // the running import names its photos from these fields
    QString appendName;
    const QString folderName = QFileInfo(QDir::cleanPath(OrderFolders::fsPath(orderPath))).fileName();
    if (appendNameOfFolder(folderName, m_serviceTimes, &appendName))
        ui->lineEdit_folderAppendName->setText(appendName);

    const QFileInfoList photos = StorageListing::files(withSeparator(orderPath) + typeFolder(), {QStringLiteral("*.jpg")});
    if (photos.isEmpty())
        return;
    qCDebug(lcSingleImport) << "photoName" << photos.first().fileName();
    if (appendNameOfPhoto(photos.first().fileName(), &appendName))
        ui->lineEdit_picAppendName->setText(appendName);
}

// ---------------------------------------------------------------- imported photos

void ImportPhotoToServer::refreshImportedList(QString path)
{
    const TypeInfo &type = typeInfo(m_type);
    const QString noneCaption = type.caption + QStringLiteral("（0张）");
    if (path.trimmed().isEmpty()) {
        // No order folder: nothing to look at (an empty path would name the root or the working folder).
        ui->label_4->setText(noneCaption);
        startThumbJobs({});
        return;
    }
    path = withSeparator(path);
    const QString thumbDir = path + type.thumbFolder;
    const QString photoDir = path + type.folder;
    if (!FileOperation::dirExists(thumbDir)) {
        ui->label_4->setText(noneCaption);
        startThumbJobs({});
        return;
    }
    // One listing of each folder, however many photos: the storage is a share.
    const QFileInfoList photos = StorageListing::files(photoDir);
    QSet<QString> photoNames;
    int jpgCount = 0;
    for (const QFileInfo &photo : photos) {
        photoNames.insert(fileKey(photo.fileName()));
        if (photo.suffix().compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0)
            ++jpgCount;
    }
    QStringList shown;
    for (const QFileInfo &thumb : StorageListing::files(thumbDir)) {
        if (photoNames.contains(fileKey(thumb.fileName())))
            shown << thumbDir + thumb.fileName();
    }
    startThumbJobs(shown);
    orderPhotoCount = jpgCount;
    ui->label_4->setText(type.caption + QStringLiteral("（") + QString::number(jpgCount) + QStringLiteral("张)"));
}

void ImportPhotoToServer::on_refreshPushButton_clicked()
{
    refreshImportedList(orderPath);
}

void ImportPhotoToServer::showThumbList(QStringList paths)
{
    thumbList->clear();
    for (const QString &path : paths) {
        auto *item = new QListWidgetItem(FileOperation::getFileName(path));
        item->setSizeHint(QSize(100, 120));
        item->setTextAlignment(Qt::AlignBottom);
        thumbList->addItem(item);
    }
}

void ImportPhotoToServer::startThumbJobs(QStringList paths)
{
    // The icons of an earlier listing are not wanted any more.
    delete m_iconListing;
    m_iconListing = new IconListing(this, paths.size());
    showThumbList(paths);
    for (int i = 0; i < paths.size(); ++i)
        m_pool.start(new ThumbnailThread1(paths.at(i), i, m_iconListing, 100), 0);
    if (paths.isEmpty())
        iconsIn();
}

void ImportPhotoToServer::updateThumbIcon(int index, QPixmap pic)
{
    if (QListWidgetItem *item = thumbList->item(index))
        item->setIcon(QIcon(pic));
}

void ImportPhotoToServer::selectItem(QListWidgetItem *item)
{
    qCDebug(lcSingleImport) << "双击缩略图" << (item ? item->text() : QString());
}

// ---------------------------------------------------------------- chosen photos

void ImportPhotoToServer::clickClearPhoto()
{
    selectedPhotoPaths.clear();
    newPhotoNames->clear();
    m_choiceFolder.clear();
    m_choiceNames.clear();
    ui->progressBar->setValue(0);
    ui->progressBar->hide();
    refreshTableView();
}

void ImportPhotoToServer::refreshTableView()
{
    tableModel->removeRows(0, tableModel->rowCount());
    for (int i = 0; i < newPhotoNames->size(); ++i)
        tableModel->setItem(i, 0, new QStandardItem(newPhotoNames->at(i)));
    ui->label_importPhotoCount->setText(QStringLiteral("导入照片: %1张").arg(newPhotoNames->size()));
}

void ImportPhotoToServer::clickSelectPhoto()
{
    if (isImporting())
        return;
    clickClearPhoto();
    const bool asShot = m_type == 0;
    const int highest = asShot && !orderPath.isEmpty() ? highestPhotoNumber(withSeparator(orderPath) + QStringLiteral("照片/")) : 0;

    const QStringList chosen = FileDialogs::getOpenFileNames(this, QStringLiteral("选择照片"),
                                                             QDir(g_lastSelectDir).path(), QStringLiteral("JPG(*.jpg*)"));
    for (const QString &path : chosen) {
        if (!Platform::isHidden(path))
            selectedPhotoPaths << path;
    }
    if (selectedPhotoPaths.isEmpty())
        return;

    if (!asShot) {
        // Finished photos and designs keep their names: two of one name would end in one file.
        QMap<QString, QStringList> byName;
        for (const QString &path : qAsConst(selectedPhotoPaths)) {
            const QString name = QFileInfo(path).fileName();
            byName[fileKey(name)] << path;
        }
        QStringList clashes;
        for (const QStringList &paths : qAsConst(byName)) {
            if (paths.size() > 1)
                clashes << paths;
        }
        if (!clashes.isEmpty()) {
            selectedPhotoPaths.clear();
            MsgBox::information(this, QStringLiteral("警告"),
                                QStringLiteral("以下照片同名，导入后会相互覆盖，请只选择其中一张：\n") + clashes.join(QLatin1Char('\n')),
                                QMessageBox::Yes);
            return;
        }
    }

    g_lastSelectDir = selectedPhotoPaths.first();
    selectDirPath = QFileInfo(selectedPhotoPaths.first()).path();

    if (asShot) {
        const QString append = namePart(ui->lineEdit_picAppendName->text());
        picAppendPart = append.isEmpty() ? QStringLiteral("-") : QLatin1Char('-') + append + QLatin1Char('-');
        m_chosenPrefix = ui->lineEdit_orderPRName->text();
        m_firstChosenNumber = highest + 1;
        for (int k = 0; k < selectedPhotoPaths.size(); ++k)
            *newPhotoNames << newPhotoName(m_chosenPrefix, m_orderNumber, append, m_firstChosenNumber + k);
    } else {
        for (const QString &path : qAsConst(selectedPhotoPaths))
            *newPhotoNames << QFileInfo(path).fileName();
    }
    refreshTableView();
    ui->importButton->setEnabled(true);
}

void ImportPhotoToServer::renumberChosenPhotos()
{
    if (m_type != 0 || newPhotoNames->isEmpty())
        return;
    // The choice imported into this folder before goes in again under its own names: the placing finds its
    // photos there as they are and steps past numbers other desks took meanwhile, so nothing is written
    // twice. A choice not imported here yet goes after the photos that arrived in the folder since it was
    // made (a folder found later, a re-read order) instead of over them.
    if (m_choiceFolder == orderPath && !m_choiceNames.isEmpty())
        return;
    const QString folder = withSeparator(orderPath) + QStringLiteral("照片/");
    int highest = 0;
    if (m_runPhotos) {
        for (const QString &name : jpgsAmong(folder, m_runPhotos->mainNames()))
            highest = qMax(highest, photoNumberOf(QFileInfo(name)));
    } else {
        highest = highestPhotoNumber(folder);
    }
    if (highest < m_firstChosenNumber)
        return;
    m_firstChosenNumber = highest + 1;
    const QString append = picAppendPart.size() > 1 ? picAppendPart.mid(1, picAppendPart.size() - 2) : QString();
    for (int k = 0; k < newPhotoNames->size(); ++k)
        (*newPhotoNames)[k] = newPhotoName(m_chosenPrefix, m_orderNumber, append, m_firstChosenNumber + k);
    refreshTableView();
}

void ImportPhotoToServer::selectRow(const QModelIndex &index)
{
    if (index.row() >= 0 && index.row() < selectedPhotoPaths.size())
        FileOperation::openFileDir(selectedPhotoPaths.at(index.row()));
}

// ---------------------------------------------------------------- deleting imported photos

void ImportPhotoToServer::delListPhotoAction()
{
    qCDebug(lcSingleImport) << "orderPath:" << orderPath;
    QStringList names;
    for (const QListWidgetItem *item : thumbList->selectedItems())
        names << item->data(Qt::DisplayRole).toString();
    if (isImporting()) {
        MsgBox::information(this, QStringLiteral("警告"), QStringLiteral("正在导入照片，请导入完成后再删除"), QMessageBox::Yes);
        return;
    }
    // Nothing selected deletes nothing and asks nothing; the folder is looked up again all the same.
    if (names.isEmpty()) {
        delListFiles(&names);
        return;
    }
    const QPointer<ImportPhotoToServer> self(this);
    const auto answer = MsgBox::question(this, QStringLiteral("提示"),
                                         QStringLiteral("确定删除选中的%1张照片？删除后无法恢复。").arg(names.size()),
                                         QMessageBox::No);
    if (!self || answer != QMessageBox::Yes)
        return;
    delListFiles(&names);
}

void ImportPhotoToServer::delListFiles(const QStringList *files)
{
    // Without an order folder there is nothing to delete (an empty path would name the working folder).
    const QStringList names = files && !orderPath.trimmed().isEmpty() ? *files : QStringList();
    const QString order = withSeparator(orderPath);
    const QStringList folders = typeInfo(m_type).deleted;
    QStringList failed;
    for (const QString &name : names) {
        if (!OrderFolders::isSingleName(name))
            continue;
        for (const QString &folder : folders) {
            const QString path = order + folder + name;
            if (FileOperation::deleteFile(path))
                continue;
            const int error = errno;
            if (folder == folders.first() && FileOperation::isFile(path))
                failed << name + QStringLiteral("（") + errorText(error) + QStringLiteral("）");
        }
    }
    if (!failed.isEmpty())
        MsgBox::information(this, QStringLiteral("警告"), QStringLiteral("以下文件删除失败：\n") + failed.join(QLatin1Char('\n')),
                            QMessageBox::Yes);
    queryOrderPath();
}

// ---------------------------------------------------------------- menus and folders

void ImportPhotoToServer::tableShowMouseRightButton(const QPoint)
{
    tableMenu->exec(QCursor::pos());
}

void ImportPhotoToServer::listShowMouseRightButton(const QPoint)
{
    listMenu->exec(QCursor::pos());
}

void ImportPhotoToServer::openSelfPhotoDir()
{
    if (!selectDirPath.isEmpty())
        FileOperation::openFileDir(withSeparator(selectDirPath));
}

void ImportPhotoToServer::openOrderPhotoDir()
{
    if (!orderPath.isEmpty())
        FileOperation::openFileDir(withSeparator(orderPath) + typeFolder());
}

// ---------------------------------------------------------------- append names

void ImportPhotoToServer::on_lineEdit_folderAppendName_textChanged(QString arg1)
{
    if (!picAppendNameEdited)
        ui->lineEdit_picAppendName->setText(arg1);
}

void ImportPhotoToServer::on_lineEdit_folderAppendName_editingFinished()
{
    ui->lineEdit_folderAppendName->setText(ui->lineEdit_folderAppendName->text().remove(QLatin1Char('-')));
}

void ImportPhotoToServer::on_lineEdit_picAppendName_editingFinished()
{
    picAppendNameEdited = true;
    ui->lineEdit_picAppendName->setText(ui->lineEdit_picAppendName->text().remove(QLatin1Char('-')));
}

// ---------------------------------------------------------------- the import run

int ImportPhotoToServer::countJpgFiles(QString dir)
{
    return dir.isEmpty() ? 0 : StorageListing::countJpg(dir);
}

QString ImportPhotoToServer::currentTimeString()
{
    const QTime now = QTime::currentTime();
    return QStringLiteral("%1:%2:%3:%4").arg(now.hour()).arg(now.minute()).arg(now.second()).arg(now.msec());
}

void ImportPhotoToServer::restoreAfterRunStart()
{
    ui->importButton->setText(QStringLiteral("导入"));
    ui->importButton->setEnabled(!newPhotoNames->isEmpty());
    releaseTypeButtons();
}

void ImportPhotoToServer::clickImportPhoto()
{
    if (isImporting())
        return;
    ui->importButton->setEnabled(false);
    ui->importButton->setText(QStringLiteral("导入照片中..."));
    ui->importPic1->setEnabled(false);
    ui->importPic2->setEnabled(false);
    ui->importPic3->setEnabled(false);
    if (newPhotoNames->isEmpty()) {
        const QPointer<ImportPhotoToServer> self(this);
        MsgBox::information(this, QStringLiteral("警告"), QStringLiteral("请先添加照片"), QMessageBox::Yes);
        if (self)
            restoreAfterRunStart();
        return;
    }
    if (orderPath.isEmpty() || orderBakPath.isEmpty()) {
        queryServerPath();
        return;
    }
    import();
}

void ImportPhotoToServer::queryServerPath()
{
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("shopid"), m_shop.shopId)
                                .add(QStringLiteral("superid"), m_shop.superId)
                                .toByteArray();
    post(g_url_get_order_pic_path, body, &ImportPhotoToServer::backServerPath);
    qCDebug(lcSingleImport) << "server path url:" << g_url_get_order_pic_path;
    qCDebug(lcSingleImport) << "server path paras:" << maskSecrets(body);
}

void ImportPhotoToServer::backServerPath(QNetworkReply *reply)
{
    reply->deleteLater();
    const QPointer<ImportPhotoToServer> self(this);
    QJsonObject obj;
    if (!readJsonReply(reply, &obj, nullptr, QStringLiteral("查询服务器路径失败：服务器的回复无法识别"))) {
        if (self)
            restoreAfterRunStart();
        return;
    }
    if (!replyOk(obj)) {
        MsgBox::information(nullptr, QStringLiteral("警告"), replyMessage(obj), QMessageBox::Yes);
        if (self)
            restoreAfterRunStart();
        return;
    }
    serverPath = jsonString(obj, QStringLiteral("picpath"));
    backupPath = jsonString(obj, QStringLiteral("bakpicpath"));
    m_shop.homePicPath = jsonString(obj, QStringLiteral("homepicpath"));
    qCDebug(lcSingleImport) << "服务器路径" << serverPath;
    qCDebug(lcSingleImport) << "备份服务器路径" << backupPath;
    qCDebug(lcSingleImport) << "家居模板路径" << m_shop.homePicPath;
    // "选择照片" stays open while the roots are asked for: a choice cancelled meanwhile leaves nothing to
    // import (a run without photos would never end) and no reason to make the order's folders.
    if (newPhotoNames->isEmpty()) {
        restoreAfterRunStart();
        return;
    }
    if (!createOrderDir(serverPath, backupPath)) {
        if (self)
            restoreAfterRunStart();
        return;
    }
    import();
}

bool ImportPhotoToServer::createOrderDir(QString serverRoot, QString backupRoot)
{
    const QPointer<ImportPhotoToServer> self(this);
    auto refuse = [](const QString &text) {
        MsgBox::information(nullptr, QStringLiteral("警告"), text, QMessageBox::Yes);
        return false;
    };
    // Everything is joined to the roots: a relative or missing root would put the order beside the
    // program or at the top of a drive.
    for (const QString &root : {serverRoot, backupRoot}) {
        if (!OrderFolders::isAbsolute(root.trimmed()) || OrderFolders::hasDotDotPart(root))
            return refuse((root == serverRoot ? QStringLiteral("服务器路径错误：") : QStringLiteral("备份服务器路径错误：")) + root);
    }
    QString month;
    QString day;
    if (!QDate::fromString(m_shotDate, QStringLiteral("yyyy-MM-dd")).isValid()
        || !OrderFolders::dateLevels(m_shotDate, &month, &day))
        return refuse(QStringLiteral("拍摄日期格式错误，无法建立订单目录：") + m_shotDate);
    const QString appendName = m_type == 0 ? ui->lineEdit_folderAppendName->text() : ui->lineEdit_picAppendName->text();
    const QString name = orderFolderName(ui->lineEdit_orderPRName->text(), m_orderNumber, appendName, m_serviceTimes);
    QString nameProblem;
    if (!OrderFolders::isSingleName(name, &nameProblem))
        return refuse(QStringLiteral("订单目录") + nameProblem + QStringLiteral("，无法建立订单目录：") + name);

    serverRoot = withSeparator(serverRoot.trimmed());
    backupRoot = withSeparator(backupRoot.trimmed());
    auto because = [](int error) { return QStringLiteral("（") + errorText(error) + QStringLiteral("）"); };
    if (!FileOperation::mkDir(serverRoot)) {
        const int error = errno;
        qCDebug(lcSingleImport) << "路径错误:" << serverRoot;
        return refuse(QStringLiteral("服务器路径错误") + because(error));
    }
    OrderFolders::LevelMaker levels;
    auto make = [&levels](const QString &root, const QString &relative) { levels.make(root, relative); };
    const QString orderRel = month + QLatin1Char('/') + day + QLatin1Char('/') + name + QLatin1Char('/');
    make(serverRoot, month + QLatin1Char('/'));
    make(serverRoot, month + QLatin1Char('/') + day + QLatin1Char('/'));
    make(serverRoot, orderRel);
    for (const QString &sub : {QStringLiteral("照片/"), QStringLiteral("成品/"), QStringLiteral("汰片/"), QStringLiteral("设计/")})
        make(serverRoot + orderRel, sub);
    OrderFolders::makeHiddenGroups(serverRoot + orderRel);

    if (!FileOperation::mkDir(backupRoot)) {
        const int error = errno;
        qCDebug(lcSingleImport) << "备份路径：" << backupRoot;
        return refuse(QStringLiteral("备份服务器路径错误。") + because(error));
    }
    make(backupRoot, month + QLatin1Char('/'));
    make(backupRoot, month + QLatin1Char('/') + day + QLatin1Char('/'));
    make(backupRoot, orderRel);
    make(backupRoot + orderRel, QStringLiteral("照片/"));

    // A folder that could not be made is said at once, not found out photo by photo, with the reason of
    // the first level on its way that failed.
    for (const QString &folder : {serverRoot + orderRel + typeFolder(), backupRoot + orderRel + QStringLiteral("照片/")}) {
        if (!FileOperation::dirExists(folder))
            return refuse(QStringLiteral("无法建立订单目录：") + folder + because(levels.errorOf(folder)));
    }
    if (!self)
        return false;
    orderPath = serverRoot + orderRel;
    orderBakPath = backupRoot + orderRel;
    updatePhotoDateButton();
    return true;
}

void ImportPhotoToServer::import()
{
    ui->progressBar->setMaximum(newPhotoNames->size());
    ui->progressBar->setValue(0);
    ui->progressBar->resetFormat();
    ui->progressBar->show();
    m_claimWaiting = true;
    claimOrder(++m_claimRound);
}

void ImportPhotoToServer::showWait(const QString &words)
{
    ui->waitLabel->setText(words);
    ui->waitLabel->setVisible(!words.isEmpty());
    ui->progressBar->setToolTip(words);
}

void ImportPhotoToServer::claimOrder(int round)
{
    const QString key = windowOrder().key;
    // The answer reaches the window through its guard: the window is looked at on the GUI thread, where it
    // goes, never on the claim's.
    const QPointer<ImportPhotoToServer> self(this);
    ImportClaim::take(orderPath, QCoreApplication::instance(),
                      [this, self, round, key](const ImportClaim::Taking &taking, const std::shared_ptr<ImportClaim::Hold> &hold) {
        if (!self || round != m_claimRound || !m_claimWaiting)
            return; // the window went or closed meanwhile: a claim taken goes again
        if (taking.outcome == FolderClaim::Busy) {
            showWait(ImportClaim::waitingText(key, taking));
            QTimer::singleShot(ImportClaim::kLookAgainMs, this, [this, round] {
                if (round == m_claimRound && m_claimWaiting)
                    claimOrder(round);
            });
            return;
        }
        m_claimWaiting = false;
        showWait(QString());
        if (taking.outcome == FolderClaim::Refused || ImportClaim::folderGone(taking)) {
            // (a folder gone: the order was deleted while the run waited; no half order is made anew)
            ui->progressBar->hide();
            MsgBox::information(this, QStringLiteral("警告"),
                                taking.outcome == FolderClaim::Refused ? ImportClaim::refusedText(taking)
                                                                       : QStringLiteral("订单目录不存在：") + orderPath,
                                QMessageBox::Yes);
            if (self)
                restoreAfterRunStart();
            return;
        }
        m_claim = hold;
        startRun();
        // The run goes on without a claim: no file failed, the box says so beside the result.
        if (taking.outcome == FolderClaim::NotWritten)
            m_runClaimNote = ImportClaim::notWrittenText(taking);
    });
}

void ImportPhotoToServer::startRun()
{
    // A photo as shot whose bytes the order holds was imported before (by an earlier run, a closed window,
    // another desk): the jobs look in the backup and the order's folder, off the GUI thread, through the
    // look-up every run of the order in this program shares (a window closed while its photos finish, the
    // batch import), and wait for a photo of the same bytes another of them is placing. Under the claim its
    // one listing of each folder, with what was placed since, is what the folders hold: the running numbers
    // and the counts come from it too.
    m_runPhotos.reset();
    std::future<QStringList> backupsListed;
    if (m_type == 0) {
        const ReportedOrder run = windowOrder();
        m_runPhotos = BackupPhotos::forOrder(withSeparator(run.bakFolder) + QStringLiteral("照片/"),
                                             withSeparator(run.folder) + QStringLiteral("照片/"),
                                             !m_claim || m_claim->anew());
        // The backup is listed beside the order's folder.
        const std::shared_ptr<const BackupPhotos> photos = m_runPhotos;
        backupsListed = std::async(std::launch::async, [photos] { return photos->backupNames(); });
    }
    renumberChosenPhotos();
    if (m_choiceFolder != orderPath) {
        m_choiceFolder = orderPath;
        m_choiceNames.clear();
    }
    for (const QString &name : qAsConst(*newPhotoNames))
        m_choiceNames.insert(fileKey(name));
    m_run = windowOrder();
    const QString order = withSeparator(m_run.folder);
    const QString backup = withSeparator(m_run.bakFolder);
    if (m_runPhotos) {
        oriOrderPicCount = jpgsAmong(order + QStringLiteral("照片/"), m_runPhotos->mainNames()).size();
        oriBackPicCount = jpgsAmong(backup + QStringLiteral("照片/"), backupsListed.get()).size();
    } else {
        oriOrderPicCount = countJpgFiles(order + typeFolder());
    }
    qCDebug(lcSingleImport) << "oriOrderPicCount" << oriOrderPicCount;
    qCDebug(lcSingleImport) << "oriBackPicCount" << oriBackPicCount;

    ui->progressBar->setMaximum(newPhotoNames->size());
    ui->progressBar->setValue(0);
    m_waitingForOther = 0;
    importedCount = 0;
    imageTimeText.clear();
    m_runFailures.clear();
    m_runClaimNote.clear();
    m_runUnreadable.clear();
    m_runPlanned = *newPhotoNames;
    m_runRenumbered.clear();
    m_runImportedBefore = 0;
    m_runMainAdded = 0;
    m_runBackupAdded = 0;
    m_running = true;
    m_closingRun = false;
    m_expectedReports = newPhotoNames->size();
    m_runReports = new ImportRunReports(this);
    m_runGate = std::make_shared<ImportRunGate>();
    // What lands is counted in the order folder at once: a run cut off (a power cut) leaves it counted there.
    // The records of a program whose claim on the order this run took over are this run's to carry.
    m_runRecord = std::make_shared<UnsentReport::RunRecord>(m_run.folder, ImportTypeEnum(m_run.type), m_run.bakFolder,
                                                            m_claim ? m_claim->tookOver() : QByteArray());
    updatePhotoDateButton();
    m_startUnanswered = false;
    postOrderPath_2(orderPath);
    keepLargeBuffersOutOfArenas();
    // The names planned go to the photos new to the order, in the order chosen.
    const std::shared_ptr<const BackupPhotos> backupPhotos = m_runPhotos;
    std::shared_ptr<PhotoNumbering> numbering;
    if (backupPhotos)
        numbering = std::make_shared<PhotoNumbering>(*newPhotoNames);
    for (int i = 0; i < newPhotoNames->size(); ++i) {
        auto *job = new ThumbnailThread1(selectedPhotoPaths.at(i), newPhotoNames->at(i), order, backup, m_runReports, 1000);
        job->setPixelBudget(&m_pixelBudget);
        job->setRunGate(m_runGate);
        job->setImportType(m_run.type);
        job->setBackupPhotos(backupPhotos);
        job->setRunRecord(m_runRecord);
        if (m_claim)
            job->setClaimHeld(m_claim->heldCheck());
        job->setRemovesDeadTemporaries(i == 0);
        if (numbering)
            job->setNumbering(numbering, i);
        m_pool.start(job);
    }
}

void ImportPhotoToServer::onImportFailures(QStringList failures)
{
    if (m_running)
        m_runFailures << failures;
}

void ImportPhotoToServer::onUnreadablePhoto(QString name)
{
    if (m_running)
        m_runUnreadable << name;
}

void ImportPhotoToServer::showImportedCount(int count)
{
    ui->label_4->setText(typeInfo(m_run.type).caption + QStringLiteral("（") + QString::number(count) + QStringLiteral("张)"));
}

void ImportPhotoToServer::onPhotoPlaced(QString planned, QString given, QString placed, bool mainAdded,
                                        bool backupAdded, bool importedBefore)
{
    if (!m_running)
        return;
    // The list shows the name the photo has in the order (one numbered but not placed: its number), and a
    // retry of the choice keeps it.
    const QString shown = placed.isEmpty() ? given : placed;
    const int row = m_runPlanned.indexOf(planned);
    if (!shown.isEmpty() && shown != planned && row >= 0 && row < newPhotoNames->size()
        && newPhotoNames->at(row) == planned) {
        (*newPhotoNames)[row] = shown;
        if (QStandardItem *item = tableModel->item(row))
            item->setText(shown);
    }
    if (!placed.isEmpty()) {
        // A retry of this choice finds the photo under the name it got, and does not number after it.
        m_choiceNames.insert(fileKey(placed));
        // Only a number taken now is a renumbering of this run; a photo found under another name was
        // numbered when it was placed.
        const QString numbered = given.isEmpty() ? planned : given;
        if (placed != numbered && mainAdded)
            m_runRenumbered << numbered + QStringLiteral(" → ") + placed;
    }
    m_runMainAdded += mainAdded ? 1 : 0;
    m_runBackupAdded += backupAdded ? 1 : 0;
    m_runImportedBefore += importedBefore ? 1 : 0;
}

void ImportPhotoToServer::onWaitingForOther(bool waiting)
{
    if (!m_running)
        return;
    m_waitingForOther = qMax(0, m_waitingForOther + (waiting ? 1 : -1));
    showWait(m_waitingForOther > 0 ? QStringLiteral("等待本订单的另一次导入放好同一张照片") : QString());
}

void ImportPhotoToServer::onFinishImportImage(QString imageTime)
{
    if (!m_running)
        return;
    imageTimeText += imageTime;
    ++importedCount;
    ui->progressBar->setValue(importedCount);
    // The photos the folder holds: one imported again is counted once.
    showImportedCount(oriOrderPicCount + m_runMainAdded);
    if (importedCount < m_expectedReports)
        return;
    finishRun();
}

void ImportPhotoToServer::finishRun()
{
    // A question about the run (closing the window) does not outlive it: it closes unanswered.
    MsgBox::closeOpen(this);
    errno = 0;
    if (!writeImageTimeFile(imageTimeText)) {
        const int error = errno;
        m_runFailures << ShotTimeList::fileName() + QStringLiteral("：写入失败")
                             + (error == 0 ? QString() : QStringLiteral("（") + errorText(error) + QStringLiteral("）"));
    }
    imageTimeText.clear();
    m_running = false;
    m_claim.reset(); // the run's photos are in
    m_runReports->deleteLater();
    m_runReports = nullptr;
    m_runGate.reset();

    ui->importButton->setEnabled(false);
    ui->progressBar->setValue(0);
    ui->progressBar->setMaximum(0);
    ui->progressBar->hide();
    showWait(QString());

    const QString order = withSeparator(m_run.folder);
    QString text;
    if (m_runPhotos) {
        // What the folders held at the start and what the run placed since, all under the claim.
        const int after = jpgsAmong(order + QStringLiteral("照片/"), m_runPhotos->mainNames()).size();
        const int bakAfter = jpgsAmong(withSeparator(m_run.bakFolder) + QStringLiteral("照片/"),
                                       m_runPhotos->backupNames()).size();
        m_runPhotos.reset();
        showImportedCount(after);
        text = QStringLiteral("导入前正式库照片：%1张\n\n导入后正式库照片：%2张\n\n导入前备份库照片：%3张\n\n导入后备份库照片：%4张    \n")
                   .arg(oriOrderPicCount)
                   .arg(after)
                   .arg(oriBackPicCount)
                   .arg(bakAfter);
    } else {
        const int after = countJpgFiles(order + typeInfo(m_run.type).folder);
        showImportedCount(after);
        text = QStringLiteral("导入前正式库照片：%1张\n\n导入后正式库照片：%2张    \n").arg(oriOrderPicCount).arg(after);
    }
    m_runCountsText = text;
    if (m_closingRun) {
        // Nobody looks at the window any more: the counts go to the web service, and wait in the order
        // folder until it took them. The window, and the notice that its photos are being finished, go
        // with the answer: the program does not end with the report under way.
        m_reportOut = true;
        if (m_finishing)
            m_finishing->setStage(FinishingNotice::Stage::Answer);
        sendEndReport();
        return;
    }
    // The counts go before the box, which says whether the web service took them.
    m_reportOut = true;
    ui->importButton->setText(QStringLiteral("等待服务器回复..."));
    sendEndReport();
}

void ImportPhotoToServer::keepRunUnderWay()
{
    if (!m_running)
        return;
    // The photos not started are dropped; those under way end, and what the run placed (their reports
    // will not arrive) waits in the order folder for the next import of the order, as a report not taken.
    m_pool.clear();
    m_runGate->close();
    m_pool.waitForDone();
    m_finishing.reset();
    const ImportRunGate::Placed placed = m_runGate->placed();
    m_running = false;
    m_claim.reset();
    m_closingRun = false;
    m_runReports->deleteLater();
    m_runReports = nullptr;
    m_runGate.reset();
    m_runPhotos.reset();
    if (!ShotTimeList::append(m_run.folder, placed.shotTimes))
        qCWarning(lcSingleImport) << "shot-time list of a stopped run not written:" << m_run.folder;
    // The run's record, where its photos were counted as they landed, and what the window kept of earlier
    // runs wait in the order folder for the next report.
    const QString key = windowOwedKey(m_run.type);
    UnsentReport::Counts due = m_windowOwed.take(key);
    if (m_runRecord) {
        const UnsentReport::RunRecord::End own = m_runRecord->finish(due);
        if (!own.path.isEmpty())
            UnsentReport::release({own.path});
        due = own.unwritten;
        m_runRecord.reset();
    }
    if ((due.files != 0 || due.backups != 0)
        && UnsentReport::add(m_run.folder, ImportTypeEnum(m_run.type), due).isEmpty()) {
        qCWarning(lcSingleImport) << "counts of a stopped run not kept:" << m_run.folder << due.files << due.backups;
        m_windowOwed.insert(key, due);
    }
    qCDebug(lcSingleImport) << "run stopped, its counts kept:" << m_run.folder << due.files << due.backups;
    if (m_deleteAfterRun)
        deleteLater();
}

QString ImportPhotoToServer::windowOwedKey(int type) const
{
    return withSeparator(m_run.folder) + QLatin1Char('|') + QString::number(type);
}

namespace {

// The end reports' file work (the run's record finished, the records claimed, then dropped or given back): off
// the GUI thread, one job at a time in the order started, and on to its end when the window has gone
// meanwhile.
QThreadPool *endReportPool()
{
    static QThreadPool *pool = newOneThreadPool();
    return pool;
}

// Runs work on the end reports' thread, then next on the GUI thread (whether or not a window still lives:
// next looks).
void endReportFilesThen(std::function<void()> work, std::function<void()> next)
{
    endReportPool()->start([work = std::move(work), next = std::move(next)] {
        work();
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, next, Qt::QueuedConnection);
    });
}

} // namespace

void ImportPhotoToServer::sendEndReport()
{
    // The window's types are the batch import's first three: photos as shot, finished photos, designs.
    const ImportTypeEnum type = ImportTypeEnum(m_run.type);
    const QString key = windowOwedKey(type);
    const UnsentReport::Counts due = m_windowOwed.take(key);
    // The run's own report goes whatever it counts; one of another type only when the order owes some.
    QList<ImportTypeEnum> types = UnsentReport::carriedWith(type);
    types.prepend(type);
    QList<UnsentReport::Counts> kept; // what the window kept of each other type
    for (ImportTypeEnum reported : qAsConst(types))
        kept << (reported == type ? UnsentReport::Counts() : m_windowOwed.value(windowOwedKey(reported)));
    const std::shared_ptr<UnsentReport::RunRecord> runRecord = std::move(m_runRecord);
    m_runRecord.reset();
    m_runUnrecorded.clear();
    m_runDamaged.clear(); // passed over, and named in the end box
    m_runWaiting.clear();
    const ReportedOrder run = m_run;
    const ShopSettings shop = m_shop;
    const int serial = ++m_reportSerial;
    const QPointer<QObject> self(this);
    const QPointer<QNetworkReply> start = m_startReport;
    m_endPosted = false;

    // The run counted the files it placed in its record as they landed; what the window kept joins them
    // there, and the report carries the record as the run claimed it. What no record could hold waits in
    // a record of its own, or else with the window. All of it is file work in the order folder.
    struct Found
    {
        UnsentReport::RunRecord::End own;
        UnsentReport::Counts unrecorded; // the window keeps it
        int unrecordedError = -1;        // errno of the record that could not hold it (-1: none)
        QStringList damaged;
        QStringList waiting;
        QList<EndReport> reports;
        QList<QStringList> carried;
    };
    const auto found = std::make_shared<Found>();
    auto work = [found, runRecord, due, type, types, kept, folder = run.folder, bakFolder = run.bakFolder] {
        Platform::delayWrite(withSeparator(folder) + UnsentReport::namePrefix()); // a share that stalls
        Found &f = *found;
        f.own.unwritten = due;
        if (runRecord)
            f.own = runRecord->finish(due);
        const UnsentReport::Counts unwritten = f.own.unwritten;
        if (unwritten.files != 0 || unwritten.backups != 0) {
            int error = 0;
            if (UnsentReport::add(folder, type, unwritten, &error).isEmpty()) {
                f.unrecorded = unwritten;
                f.unrecordedError = error;
            }
        }
        for (int i = 0; i < types.size(); ++i) {
            const ImportTypeEnum reported = types.at(i);
            UnsentReport::Owed claimed = UnsentReport::claim(folder, reported, bakFolder);
            if (reported == type && !f.own.path.isEmpty()) {
                claimed.paths << f.own.path;
                claimed.counts.files += f.own.counts.files;
                claimed.counts.backups += f.own.counts.backups;
            }
            f.damaged << claimed.damaged;
            if (!UnsentReport::waitingText(claimed).isEmpty())
                f.waiting << UnsentReport::waitingText(claimed);
            const UnsentReport::Counts windowKept = reported == type ? f.unrecorded : kept.at(i);
            EndReport report;
            report.type = reported;
            report.posted = {claimed.counts.files + windowKept.files, claimed.counts.backups + windowKept.backups};
            report.held = claimed.heldCounts;
            report.heldError = claimed.heldError;
            report.sent = reported == type || !claimed.paths.isEmpty() || windowKept.files != 0 || windowKept.backups != 0;
            if (report.sent || !claimed.held.isEmpty()) {
                f.reports << report;
                f.carried << claimed.paths;
            }
        }
    };

    // The requests and the records they carry are settled even when the window has gone meanwhile; the
    // window hears of them once all are answered. They go once the run's start report has been answered or
    // has failed (or went with the window): the web service takes the order's start before its end.
    auto send = [found, run, shop, serial, self] {
        // (on the GUI thread, from the event loop)
        if (auto *window = qobject_cast<ImportPhotoToServer *>(self.data()))
            window->m_endPosted = window->m_endPosted || serial == window->m_reportSerial;
        const QList<EndReport> &reports = found->reports;
        auto *reportManager = new QNetworkAccessManager;
        auto answers = std::make_shared<QList<EndReport>>(reports);
        auto pending = std::make_shared<int>(0);
        for (int i = 0; i < reports.size(); ++i) {
            if (!reports.at(i).sent)
                continue;
            ReportedOrder order = run;
            order.type = reports.at(i).type;
            const QByteArray body =
                pathReportBody(shop, order, run.folder, reports.at(i).posted.files, reports.at(i).posted.backups);
            qCDebug(lcSingleImport) << "提交路径地址2 url" << g_url_updatepicpath;
            qCDebug(lcSingleImport) << "copyF post paras" << maskSecrets(body) << "records:" << found->carried.at(i).size();
            QNetworkReply *reply = postForm(reportManager, g_url_updatepicpath, body);
            ++*pending;
            const QStringList records = found->carried.at(i);
            connect(reply, &QNetworkReply::finished, reportManager,
                    [reply, reportManager, records, i, answers, pending, serial, self] {
                        QJsonObject obj;
                        QString why = replyProblem(reply, &obj);
                        if (why.isEmpty() && !replyOk(obj))
                            why = QStringLiteral("服务器没有接受：")
                                  + replyMessage(obj, QStringLiteral("错误代码：") + jsonString(obj, QStringLiteral("code")));
                        qCDebug(lcSingleImport) << "end report answered:" << (why.isEmpty() ? QStringLiteral("taken") : why);
                        (*answers)[i].why = why;
                        (*answers)[i].maybeTaken = sentWithoutAnswer(reply);
                        // The records it carried go (taken) or are given back (not taken), off the GUI thread.
                        const auto stuck = std::make_shared<QStringList>();
                        endReportFilesThen(
                            [records, taken = why.isEmpty(), stuck] {
                                if (taken)
                                    *stuck = UnsentReport::drop(records);
                                else
                                    UnsentReport::release(records);
                            },
                            [reportManager, i, answers, pending, stuck, serial, self] {
                                (*answers)[i].stuck = *stuck;
                                if (--*pending > 0)
                                    return;
                                reportManager->deleteLater();
                                callIfAlive(self, [serial, answers](QObject *window) {
                                    static_cast<ImportPhotoToServer *>(window)->endReportAnswered(serial, *answers);
                                });
                            });
                    });
        }
    };
    auto post = [found, key, self, start, send] {
        if (auto *window = qobject_cast<ImportPhotoToServer *>(self.data())) {
            if (found->unrecordedError >= 0) {
                window->m_windowOwed.insert(key, found->unrecorded);
                window->m_runUnrecorded = errorText(found->unrecordedError);
            }
            window->m_runDamaged = found->damaged;
            window->m_runWaiting = found->waiting;
        }
        afterReply(start.data(), QCoreApplication::instance(), send);
    };
    endReportFilesThen(std::move(work), std::move(post));
}

void ImportPhotoToServer::endReportAnswered(int serial, const QList<EndReport> &reports)
{
    if (serial != m_reportSerial)
        return;
    for (const EndReport &report : reports) {
        if (report.sent && report.why.isEmpty())
            m_windowOwed.remove(windowOwedKey(report.type));
    }
    if (!m_reportOut)
        return; // a report of a run that ended without its box
    m_reportOut = false;
    // A question about closing (the counts not taken yet) does not outlive the answer: it closes unanswered.
    MsgBox::closeOpen(this);
    const EndReport &own = reports.first();
    const bool taken = own.why.isEmpty();
    auto countsText = [](int type, const UnsentReport::Counts &counts) {
        return type == 0 ? QStringLiteral("照片%1张，备份%2张").arg(counts.files).arg(counts.backups)
                         : QStringLiteral("%1张").arg(counts.files);
    };
    QStringList stuck;
    QStringList held;
    int heldError = 0;
    bool othersTaken = true;
    for (const EndReport &report : reports) {
        stuck << report.stuck;
        if (report.held.files != 0 || report.held.backups != 0) {
            held << (report.type == 0 ? QString() : typeInfo(report.type).folder.chopped(1))
                        + countsText(report.type, report.held);
            if (heldError == 0 || UnsentReport::heldPasses(heldError))
                heldError = report.heldError; // a lasting refusal is the one to name
        }
        othersTaken = othersTaken && (!report.sent || report.why.isEmpty());
    }
    if (m_closingRun) {
        // The window closed while the report was out: the run ends quietly.
        m_closingRun = false;
        m_finishing.reset();
        restoreAfterRunStart();
        if (m_deleteAfterRun)
            deleteLater();
        return;
    }
    const QPointer<ImportPhotoToServer> self(this);
    QStringList notes;
    if (!m_runFailures.isEmpty())
        notes << QStringLiteral("订单号:%1 有%2个文件未能导入：\n%3")
                     .arg(m_run.key)
                     .arg(m_runFailures.size())
                     .arg(m_runFailures.join(QLatin1Char('\n')));
    if (!m_runUnreadable.isEmpty())
        notes << unreadablePhotosText(m_runUnreadable) + QStringLiteral("\n（已按原样复制，没有生成缩略图）");
    if (!m_runDamaged.isEmpty())
        notes << UnsentReport::damagedText() + m_runDamaged.join(QLatin1Char('\n'));
    if (!held.isEmpty())
        notes << UnsentReport::heldText(heldError)
                     + (UnsentReport::heldPasses(heldError) ? QStringLiteral("下次导入该订单时会一并上报：")
                                                            : QStringLiteral("排除原因后，下次导入该订单时会一并上报："))
                     + held.join(QStringLiteral("；"));
    notes << m_runWaiting;
    const bool allWell = notes.isEmpty() && taken && othersTaken && stuck.isEmpty() && !m_startUnanswered;
    if (!m_runClaimNote.isEmpty())
        notes << m_runClaimNote;
    if (!m_runRenumbered.isEmpty())
        notes << QStringLiteral("以下照片的编号已被占用，已改用其他编号：\n") + m_runRenumbered.join(QLatin1Char('\n'));
    if (m_runImportedBefore > 0)
        notes << importedBeforeText(m_runImportedBefore);
    notes << m_runCountsText;
    const UnsentReport::Counts posted = own.posted;
    const QString counts = countsText(m_run.type, posted);
    const bool nothingPosted = posted.files == 0 && posted.backups == 0;
    // A report that went out with no answer may have been taken: its counts wait all the same, and are sent
    // again, so the box says that the service then counts them twice.
    const QString mayHaveTaken = QStringLiteral("已发给服务器，但没有收到服务器的回复，服务器可能已收下");
    const QString countedTwice = QStringLiteral("服务器若已收下这次上报，这些照片会被重复计数。");
    if (taken) {
        if (!nothingPosted || held.isEmpty())
            notes << QStringLiteral("导片数量已上报服务器：") + counts;
    } else if (nothingPosted) {
        notes << (own.maybeTaken ? QStringLiteral("导片信息") + mayHaveTaken
                                 : QStringLiteral("导片信息没有报给服务器（%1）").arg(own.why));
    } else if (own.maybeTaken && m_runUnrecorded.isEmpty()) {
        notes << QStringLiteral("导片数量") + mayHaveTaken + QStringLiteral("：%1\n这些数量仍记在订单目录中，"
                                                                          "下次导入该订单时（任一导片窗口）会再次上报；")
                                                                  .arg(counts)
                     + countedTwice;
    } else if (own.maybeTaken) {
        notes << QStringLiteral("导片数量") + mayHaveTaken
                     + QStringLiteral("：%1\n这些数量无法记在订单目录中（%2），只保存在本窗口：下次在本窗口导入该订单时会再次上报"
                                      "（关闭窗口后不再上报）；")
                           .arg(counts, m_runUnrecorded)
                     + countedTwice;
    } else if (m_runUnrecorded.isEmpty()) {
        notes << QStringLiteral("导片数量没有报给服务器（%1）：%2\n已记在订单目录中，下次导入该订单时会一并上报。").arg(own.why, counts);
    } else {
        notes << QStringLiteral("导片数量没有报给服务器（%1）：%2\n也无法记在订单目录中（%3），只保存在本窗口："
                                "下次在本窗口导入该订单时一并上报，关闭窗口后不再上报。")
                     .arg(own.why, counts, m_runUnrecorded);
    }
    // A start report taken after its time limit comes after the end report: the service then shows the order
    // as not imported, and an import of it again, whose photos are all there, posts its start and end anew.
    if (m_startUnanswered)
        notes << QStringLiteral("开始导片的信息已发给服务器，但没有收到服务器的回复；服务器若稍后才收下，会把该订单显示为"
                                "未导入，再次导入该订单即可改正（已在订单中的照片不会重复导入，也不会重复计数）。");
    // The counts of the order's other types its earlier imports owed.
    for (const EndReport &report : reports.mid(1)) {
        if (!report.sent)
            continue;
        const QString what = QStringLiteral("该订单之前未上报的") + typeInfo(report.type).folder.chopped(1) + QStringLiteral("数量");
        const QString posted = countsText(report.type, report.posted);
        if (report.why.isEmpty())
            notes << what + QStringLiteral("已一并上报服务器：") + posted;
        else if (report.maybeTaken)
            notes << what + mayHaveTaken + QStringLiteral("：%1\n下次导入该订单时会再次上报；").arg(posted) + countedTwice;
        else
            notes << what + QStringLiteral("没有报给服务器（%1）：%2\n下次导入该订单时会一并上报。").arg(report.why, posted);
    }
    if (!stuck.isEmpty())
        notes << QStringLiteral("服务器已收到导片数量，但订单目录中的记录无法删除，请删除该文件"
                                "（本程序不再上报，其它电脑或重新打开程序后会重复上报）：\n")
                     + stuck.join(QLatin1Char('\n'));
    MsgBox::information(nullptr, allWell ? QStringLiteral("导片成功!") : QStringLiteral("警告"),
                        notes.join(QStringLiteral("\n\n")), QMessageBox::Yes);
    if (!self)
        return;
    restoreAfterRunStart();
    updatePhotoDateButton();
    if (taken && !isImporting())
        queryOrderPath(); // the folders and photos as they are now
}

bool ImportPhotoToServer::writeImageTimeFile(QString text)
{
    return ShotTimeList::append(m_run.folder, text);
}

ImportPhotoToServer::ReportedOrder ImportPhotoToServer::windowOrder() const
{
    return {m_orderId, m_orderNumber + QLatin1Char('-') + m_serviceTimes, m_type, orderPath, orderBakPath};
}

void ImportPhotoToServer::postOrderPath(QString orderFolder, int picCount, int bakCount)
{
    postPathReport(windowOrder(), orderFolder, picCount, bakCount);
}

QByteArray ImportPhotoToServer::pathReportBody(const ShopSettings &shop, const ReportedOrder &order,
                                               const QString &orderFolder, qint64 picCount, qint64 bakCount)
{
    return FormBody::withToken()
        .add(QStringLiteral("order_photo_id"), order.id)
        .add(QStringLiteral("shopid"), shop.shopId)
        .add(QStringLiteral("orderpicpath"), orderFolder)
        .add(QStringLiteral("orderbakpicpath"), order.bakFolder)
        .add(QStringLiteral("picnumber"), QString::number(picCount))
        .add(QStringLiteral("picbaknumber"), QString::number(bakCount))
        .add(QStringLiteral("MANAGER_ID"), shop.eid)
        .add(QStringLiteral("typeid"), typeInfo(order.type).typeId)
        .toByteArray();
}

void ImportPhotoToServer::postPathReport(const ReportedOrder &order, const QString &orderFolder, int picCount,
                                         int bakCount)
{
    const QByteArray body = pathReportBody(m_shop, order, orderFolder, picCount, bakCount);
    post(g_url_updatepicpath, body, &ImportPhotoToServer::submitPicPath);
    qCDebug(lcSingleImport) << "提交路径地址2 url" << g_url_updatepicpath;
    qCDebug(lcSingleImport) << "copyF post paras" << maskSecrets(body);
}

void ImportPhotoToServer::submitPicPath(QNetworkReply *reply)
{
    reply->deleteLater();
    QJsonObject obj;
    if (readAcceptedReply(reply, &obj, QStringLiteral("提交订单目录失败：服务器的回复无法识别")))
        queryOrderPath();
}

void ImportPhotoToServer::postOrderPath_2(QString orderFolder)
{
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("orderid"), m_orderId)
                                .add(QStringLiteral("shopid"), m_shop.shopId)
                                .add(QStringLiteral("orderpicpath"), orderFolder)
                                .add(QStringLiteral("orderbakpicpath"), orderBakPath)
                                .toByteArray();
    m_startReport = post(g_url_updatepicpath2, body, &ImportPhotoToServer::submitPicPath_2);
}

void ImportPhotoToServer::submitPicPath_2(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError && sentWithoutAnswer(reply)) {
        // Not a box of its own: the end box names it, with what the service may make of it.
        qCWarning(lcSingleImport) << "start report unanswered:" << reply->error() << reply->errorString();
        m_startUnanswered = true;
        return;
    }
    QJsonObject obj;
    readAcceptedReply(reply, &obj, QStringLiteral("上传路径失败：服务器的回复无法识别"), QStringLiteral("上传路径错误代码："));
}

void ImportPhotoToServer::on_reimportButton_clicked()
{
    if (isImporting()) {
        MsgBox::information(this, QStringLiteral("警告"), QStringLiteral("正在导入照片，请导入完成后再重新读卡"),
                            QMessageBox::Yes);
        return;
    }
    const QPointer<ImportPhotoToServer> self(this);
    const auto answer = MsgBox::question(nullptr, QStringLiteral("注意"),
                                         QStringLiteral("是否要重新读该订单？若是点击后请自行删除订单原文件夹"),
                                         QMessageBox::Yes);
    if (!self || answer != QMessageBox::Yes || isImporting())
        return;
    if (!orderPath.trimmed().isEmpty())
        FileOperation::deleteFile(withSeparator(orderPath) + ShotTimeList::fileName());
    postOrderPath(QString(), 0, 0);
}

// ---------------------------------------------------------------- photo date

void ImportPhotoToServer::on_pushButton_photodate_clicked()
{
    auto *picker = new CalendarPicker(nullptr);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    connect(picker, &CalendarPicker::urgentDate, this, &ImportPhotoToServer::on_newPhotoDateDate);
    picker->show();
}

void ImportPhotoToServer::on_newPhotoDateDate(QString date)
{
    // "清除" gives no date: an order keeps the one it has.
    if (date.isEmpty())
        return;
    ui->pushButton_photodate->setText(date);
    postPhotoDate();
    const QString prefix = orderPrefixOf(date);
    if (!prefix.isEmpty())
        ui->lineEdit_orderPRName->setText(prefix);
}

void ImportPhotoToServer::postPhotoDate()
{
    const QString date = ui->pushButton_photodate->text();
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("orderid"), m_orderId)
                                .add(QStringLiteral("shopid"), m_shop.shopId)
                                .add(QStringLiteral("photodate"), date)
                                .add(QStringLiteral("superid"), m_shop.superId)
                                .toByteArray();
    QNetworkReply *reply = post(g_url_updatephotodate, body, &ImportPhotoToServer::queryPostPhotoDate);
    reply->setProperty("photodate", date);
}

void ImportPhotoToServer::queryPostPhotoDate(QNetworkReply *reply)
{
    reply->deleteLater();
    const QPointer<ImportPhotoToServer> self(this);
    QJsonObject obj;
    const bool accepted = readAcceptedReply(reply, &obj, QStringLiteral("修改拍摄日期失败：服务器的回复无法识别"));
    if (!self)
        return;
    // The window shows the date the order has: the one this reply accepted (the button may show another
    // picked meanwhile), or the old one when refused.
    if (accepted)
        m_shotDate = reply->property("photodate").toString();
    ui->pushButton_photodate->setText(m_shotDate);
    const QString prefix = orderPrefixOf(m_shotDate);
    if (!prefix.isEmpty())
        ui->lineEdit_orderPRName->setText(prefix);
    if (accepted)
        emit refreshSearchTable();
}

// ---------------------------------------------------------------- window events

void ImportPhotoToServer::paintEvent(QPaintEvent *event)
{
    ui->tableView->setColumnWidth(0, ui->tableView->width());
    QMainWindow::paintEvent(event);
}

bool ImportPhotoToServer::confirmOwedReports(bool reportOut)
{
    bool inWindow = false;
    for (const UnsentReport::Counts &counts : qAsConst(m_windowOwed))
        inWindow = inWindow || counts.files != 0 || counts.backups != 0;
    const QList<UnsentReport::Record> inFolder =
        orderPath.trimmed().isEmpty() ? QList<UnsentReport::Record>() : UnsentReport::records(orderPath);
    if (!inWindow && inFolder.isEmpty())
        return true;
    const QString line = QStringLiteral("订单号:") + windowOrder().key
                         + (inWindow ? QStringLiteral("（只记在本窗口中，关闭后不再上报）") : QString());
    // While the report is out, its counts are with the web service and not answered yet, or wait for the answer
    // to the start report before they go: a refusal gives them back to the order folder (the window, closed,
    // still takes the answer).
    UnsentReport::OwedLines lines;
    (!reportOut ? lines.notSent : m_endPosted ? lines.out : lines.waitingForStart) << line;
    const QString text = UnsentReport::owedQuestion(lines, inFolder, QStringLiteral("确定要关闭窗口吗？"));
    const QPointer<ImportPhotoToServer> self(this);
    const auto answer = MsgBox::question(this, QStringLiteral("警告"), text);
    return self && answer == QMessageBox::Yes;
}

void ImportPhotoToServer::closeEvent(QCloseEvent *event)
{
    if (m_claimWaiting) {
        // Nothing of the run has begun: closing stops its wait for another import of the order.
        m_claimWaiting = false;
        ++m_claimRound;
        showWait(QString());
        ui->progressBar->hide();
        restoreAfterRunStart();
    }
    if (m_running && !m_closingRun) {
        const QPointer<ImportPhotoToServer> self(this);
        const auto answer = MsgBox::question(this, QStringLiteral("提示"),
                                             QStringLiteral("照片正在导入，关闭窗口将停止导入（已开始的照片会导完）。是否关闭？"),
                                             QMessageBox::No);
        if (!self)
            return;
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    } else if (!isImporting() || (m_reportOut && !m_closingRun)) {
        // While the end report is out its counts are not taken yet: the question names the order, says the
        // report is out and what a refusal does with its counts.
        const QPointer<ImportPhotoToServer> self(this);
        const bool close = confirmOwedReports(m_reportOut && !m_closingRun);
        if (!self)
            return;
        if (!close) {
            event->ignore();
            return;
        }
    }
    emit showSearch();
    m_pool.clear();
    // The icons still being made are not wanted by a closed window.
    delete m_iconListing;
    m_iconListing = nullptr;
    iconsIn();
    loadingLabel->hide();
    event->accept();
    if (!isImporting() || m_closingRun)
        return;
    // The photos not started yet are dropped; the run ends with the reports of those under way (the
    // window, hidden by then, keeps taking them) or, once they are in, with the answer to its end report,
    // and a window deleted on close goes after that.
    m_closingRun = true;
    if (testAttribute(Qt::WA_DeleteOnClose)) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        m_deleteAfterRun = true;
    }
    // The notice stays until the answer to the end report (endReportAnswered): closing the last window
    // does not end the program with the report under way, its records claimed.
    m_finishing = FinishingNotice::hold(this, m_running ? FinishingNotice::Stage::Photos : FinishingNotice::Stage::Answer);
    if (!m_running)
        return;
    m_expectedReports = m_runGate->close();
    if (importedCount >= m_expectedReports)
        QMetaObject::invokeMethod(this, [this] { finishRun(); }, Qt::QueuedConnection);
}

#include "importphototoserver.moc"
