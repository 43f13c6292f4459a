#include "selecttool.h"
#include "logging.h"
#include "ui_selecttool.h"

#include "dovrasyncbaseinfodialog.h"
#include "dovrathread.h"
#include "globals.h"
#include "msgbox.h"
#include "toolregistry.h"
#include "webapi.h"

#include <QButtonGroup>
#include <QDebug>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRadioButton>

namespace {
const QString kWarning = QStringLiteral("警告");
const QString kNotice = QStringLiteral("温馨提示");
const QString kSyncText = QStringLiteral("同步全部员工/产品到Dovra");

// Radio buttons of the form and the tool each stands for.
struct ToolRadio {
    const char *objectName;
    int id;
};
const ToolRadio kRadios[] = {
    {"rb_sjfj", ToolSeparate},   {"rb_ysfj", ToolAfterSample}, {"rb_dovrafj", ToolDovra},
    {"rb_dpgj", ToolImport},     {"rb_plsc", ToolBatchDelete},
};
} // namespace

SelectTool::SelectTool(const QList<ShopEntry> &shops, QWidget *parent)
    : QWidget(parent), ui(new Ui::SelectTool), m_tools(new QButtonGroup(this)),
      m_manager(new QNetworkAccessManager(this)), m_shops(shops)
{
    ui->setupUi(this);
    if (!QCoreApplication::applicationName().isEmpty())
        setWindowTitle(QCoreApplication::applicationName());
    ui->lb_version->setText(QStringLiteral("版本：") + g_appVersion);

    for (const ShopEntry &shop : m_shops)
        ui->cb_shop->addItem(shop.name.isEmpty() ? shop.id : shop.name, shop.id);
    // Start on the shop the user logged in with, when it is in the list.
    for (int i = 0; i < m_shops.size(); ++i)
        if (m_shops.at(i).id == g_SHOPID) {
            ui->cb_shop->setCurrentIndex(i);
            break;
        }

    m_tools->setExclusive(true);
    for (const ToolRadio &radio : kRadios) {
        auto *button = findChild<QRadioButton *>(QLatin1String(radio.objectName));
        if (!button)
            continue;
        m_tools->addButton(button, radio.id);
        const ToolEntry *entry = ToolRegistry::find(radio.id);
        const bool available = entry && entry->open && entry->radioName == QLatin1String(radio.objectName);
        button->setEnabled(available);
        if (!available)
            button->setToolTip(QStringLiteral("该工具暂不可用"));
    }
    for (QAbstractButton *button : m_tools->buttons())
        if (button->isEnabled()) {
            button->setChecked(true);
            break;
        }
    connect(ui->pb_synctodovra, &QPushButton::clicked, this, &SelectTool::req_syncToDovraPath);
}

SelectTool::~SelectTool()
{
    // A store check still running is not waited for: its report reaches no one once the window has gone.
    delete ui;
}

ShopEntry SelectTool::currentShop() const
{
    const int index = ui->cb_shop->currentIndex();
    return index >= 0 && index < m_shops.size() ? m_shops.at(index) : ShopEntry();
}

int SelectTool::chosenTool() const
{
    QAbstractButton *button = m_tools->checkedButton();
    return button && button->isEnabled() ? m_tools->id(button) : 0;
}

void SelectTool::on_pb_start_clicked()
{
    if (m_busy)
        return;
    const ShopEntry shop = currentShop();
    if (shop.id.isEmpty()) {
        MsgBox::information(this, kNotice, QStringLiteral("请选择店铺"));
        return;
    }
    const int tool = chosenTool();
    if (!ToolRegistry::find(tool)) {
        MsgBox::information(this, kNotice, QStringLiteral("请选择要使用的工具"));
        return;
    }
    m_pendingTool = tool;
    m_pendingShop = shop;
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("uid"), g_UID)
                                .add(QStringLiteral("shopid"), shop.id)
                                .toByteArray();
    qCDebug(lcShell) << "change shop url:" << g_url_changeshop << "shop:" << shop.id;
    setBusy(true);
    postForm(m_manager, g_url_changeshop, body, this, &SelectTool::changeShopCallBack);
}

void SelectTool::changeShopCallBack(QNetworkReply *reply)
{
    setBusy(false);
    QJsonObject obj;
    if (!readJsonReply(reply, &obj, this, QStringLiteral("切换店铺失败：服务器返回的数据无法识别")))
        return;
    if (!replyOk(obj)) {
        warn(replyMessage(obj, QStringLiteral("切换店铺失败")));
        return;
    }
    const ShopSettings settings = parseShopSwitchReply(obj, m_pendingShop);
    if (m_pendingTool == ToolBatchDelete && !settings.mayDelete) {
        warn(QStringLiteral("您没有批量删除的权限！"));
        return;
    }
    applyShopSettings(settings);
    ToolRegistry::runShopSwitchHook(this);

    const ToolEntry *found = ToolRegistry::find(m_pendingTool);
    if (!found || !found->open)
        return;
    const ToolEntry entry = *found; // the opener may change the table
    QWidget *window = entry.open(this);
    if (window)
        qCDebug(lcShell) << "tool opened:" << entry.name;
}

SelectTool::ShopSettings SelectTool::parseShopSwitchReply(const QJsonObject &obj, const ShopEntry &chosen)
{
    auto str = [&obj](const char *key) { return jsonString(obj, QLatin1String(key)); };
    auto orElse = [](const QString &value, const QString &fallback) {
        return value.isEmpty() ? fallback : value;
    };
    ShopSettings s;
    s.shopId = orElse(str("SHOPID"), chosen.id);
    s.shopName = orElse(str("SHOPNAME"), chosen.name);
    s.superId = orElse(str("SUPERID"), g_SUPERID);
    s.eid = orElse(str("EID"), g_EID);
    s.picPath = str("picpath");
    s.bakPicPath = str("bakpicpath");
    s.homePicPath = str("homepicpath");
    const QJsonArray stores = obj.value(QStringLiteral("stores")).toArray();
    for (const QJsonValue &value : stores) {
        const QJsonObject store = value.toObject();
        const QString id = shopIdText(store);
        if (id.isEmpty())
            continue; // an entry without an id cannot be searched for
        s.storeIds.append(id);
        s.storeNames.append(jsonString(store, QStringLiteral("name")));
    }
    s.isshowSubproduct = str("isshow_subproduct");
    s.yptbcp = str("yptbcp");
    s.xztp = str("xztp");
    s.sjfjxz = str("sjfjxz");
    s.dovrabigimg = str("dovrabigimg");
    s.dovraisdownloadall = str("dovraisdownloadall");
    s.separateMode = str("separatemode");
    s.markDirName = orElse(str("markdirname"), QStringLiteral("标注"));
    s.finishedDirName = orElse(str("finisheddirname"), QStringLiteral("成品"));
    s.mayDelete = str("isdelphoto") == QLatin1String("1");
    return s;
}

void SelectTool::applyShopSettings(const ShopSettings &s)
{
    g_SHOPID = s.shopId;
    g_SHOPNAME = s.shopName;
    g_SUPERID = s.superId;
    g_EID = s.eid;
    g_picPath = s.picPath;
    g_bakPicPath = s.bakPicPath;
    g_homePicPath = s.homePicPath;
    g_storeIds = s.storeIds;
    g_storeNames = s.storeNames;
    g_isshow_subproduct = s.isshowSubproduct;
    g_yptbcp = s.yptbcp;
    g_xztp = s.xztp;
    g_sjfjxz = s.sjfjxz;
    g_dovrabigimg = s.dovrabigimg;
    g_dovraisdownloadall = s.dovraisdownloadall;
    g_separateMode = s.separateMode;
    g_markDirName = s.markDirName;
    g_finishedDirName = s.finishedDirName;
}

void SelectTool::req_syncToDovraPath()
{
    if (ui->pb_synctodovra->text() != kSyncText || m_busy)
        return;
    const ShopEntry shop = currentShop();
    if (shop.id.isEmpty()) {
        MsgBox::information(this, kNotice, QStringLiteral("请选择店铺"));
        return;
    }
    m_syncShopId = shop.id;
    setBusy(true);
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("uid"), g_UID)
                                .add(QStringLiteral("shopid"), shop.id)
                                .toByteArray();
    qCDebug(lcShell) << "dovra stores url:" << g_url_getdovraset << "shop:" << shop.id;
    postForm(m_manager, g_url_getdovraset, body, this, &SelectTool::query_storesdovrapaths);
}

void SelectTool::query_storesdovrapaths(QNetworkReply *reply)
{
    setBusy(false);
    QJsonObject obj;
    if (!readJsonReply(reply, &obj, this, QStringLiteral("获取门店Dovra路径失败：服务器返回的数据无法识别")))
        return;
    if (!replyOk(obj)) {
        warn(replyMessage(obj));
        return;
    }
    ui->pb_synctodovra->setText(kSyncText + QStringLiteral(",解析数据中,请稍后..."));
    // One unreachable share can hold a check for long: the check belongs to no window.
    auto *check = new Dovrathread(this, nullptr);
    check->stores = obj.value(QStringLiteral("stores")).toArray();
    check->mode = QStringLiteral("stores");
    check->startUnowned();
}

void SelectTool::slt_dovrastores(QJsonArray storeables, QString msg)
{
    ui->pb_synctodovra->setText(kSyncText);
    if (storeables.isEmpty()) {
        MsgBox::information(nullptr, kNotice,
                            QStringLiteral("没有门店的Dovra服务路径在和本机在同一局域网中,不能同步到Dovra！"));
        return;
    }
    if (!msg.isEmpty()) {
        const QString answer =
            MsgBox::choose(nullptr, kNotice, msg + QStringLiteral(" 的Dovra路径和本机不在同一局域网不能同步到Dovra"),
                           {{QStringLiteral("确定同步"), QMessageBox::YesRole},
                            {QStringLiteral("取消"), QMessageBox::NoRole}});
        if (answer == QStringLiteral("取消"))
            return;
    }
    auto *dialog = new DovraSyncBaseInfoDialog(nullptr);
    dialog->stores = storeables;
    dialog->shopId = m_syncShopId;
    dialog->setModal(true);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void SelectTool::setBusy(bool busy)
{
    m_busy = busy;
    ui->pb_start->setEnabled(!busy);
    ui->cb_shop->setEnabled(!busy);
    ui->gb_tools->setEnabled(!busy);
}

void SelectTool::warn(const QString &text)
{
    MsgBox::information(this, kWarning, text);
}
