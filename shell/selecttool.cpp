#include "selecttool.h"
#include "logging.h"
#include "ui_selecttool.h"

#include "dovrasyncbaseinfodialog.h"
#include "dovrathread.h"
#include "globals.h"
#include "msgbox.h"
#include "shopswitch.h"
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
      m_manager(new QNetworkAccessManager(this)), m_shopSwitch(new ShopSwitch(this)), m_shops(shops)
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
    connect(m_shopSwitch, &ShopSwitch::switched, this, &SelectTool::shopSwitched);
    connect(m_shopSwitch, &ShopSwitch::failed, this, [this] { setBusy(false); });
}

SelectTool::~SelectTool()
{
    // A store check still running reports to this window: it ends first.
    for (const QPointer<Dovrathread> &check : qAsConst(m_storeChecks))
        if (check)
            check->wait();
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
    setBusy(true);
    m_shopSwitch->post(shop);
}

void SelectTool::shopSwitched(const ShopSettings &settings)
{
    setBusy(false);
    if (m_pendingTool == ToolBatchDelete && !settings.mayDelete) {
        warn(QStringLiteral("您没有批量删除的权限！"));
        return;
    }
    settings.store();
    ToolRegistry::runShopSwitchHook(this);

    const ToolEntry *found = ToolRegistry::find(m_pendingTool);
    if (!found || !found->open)
        return;
    const ToolEntry entry = *found; // the opener may change the table
    // The window gets a copy of the shop's settings and keeps it: a later switch does not reach it.
    QWidget *window = entry.open(this, settings);
    if (window)
        qCDebug(lcShell) << "tool opened:" << entry.name;
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
    auto *check = new Dovrathread(this, this);
    check->stores = obj.value(QStringLiteral("stores")).toArray();
    check->mode = QStringLiteral("stores");
    m_storeChecks.removeAll(nullptr);
    m_storeChecks.append(check);
    check->start(QThread::InheritPriority);
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
