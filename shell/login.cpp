#include "login.h"
#include "logging.h"
#include "ui_login.h"

#include "fileoperation.h"
#include "globals.h"
#include "httprequest.h"
#include "msgbox.h"
#include "namedwindows.h"
#include "platformshell.h"
#include "selecttool.h"
#include "shopswitch.h"
#include "webapi.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>

// The login images live in this static library; the resource must be pulled in by hand.
static void initLoginResources()
{
    Q_INIT_RESOURCE(login);
}

namespace {
const QString kWarning = QStringLiteral("警告");
const QString kNotice = QStringLiteral("温馨提示");

ShopEntry shopFromJson(const QJsonValue &value)
{
    const QJsonObject obj = value.toObject();
    ShopEntry shop;
    shop.id = shopIdText(obj);
    shop.name = jsonString(obj, QStringLiteral("name"));
    return shop;
}
} // namespace

Login::Login(QWidget *parent)
    : QDialog(parent), ui(new Ui::Login), m_manager(new QNetworkAccessManager(this))
{
    initLoginResources();
    ui->setupUi(this);
    setWindowTitle(QCoreApplication::applicationName().isEmpty() ? QStringLiteral("登录")
                                                                 : QCoreApplication::applicationName());

    const Remembered remembered = readRemembered();
    ui->le_username->setText(remembered.user);
    ui->le_password->setText(remembered.password);
    ui->cb_remember->setChecked(remembered.remember);
    if (remembered.user.isEmpty())
        ui->le_username->setFocus();
    else
        ui->le_password->setFocus();

    checkForUpdate();
}

Login::~Login()
{
    delete ui;
}

SelectTool *Login::toolWindow() const
{
    return m_toolWindow.data();
}

void Login::setStartWindow(const QString &name)
{
    m_startWindow = name;
}

QString Login::rememberedFileName()
{
    return QStringLiteral("user_qvt.dat");
}

Login::Remembered Login::readRemembered()
{
    Remembered result;
    const QStringList strings = FileOperation::readDatFile(rememberedFileName(), 2);
    if (strings.size() < 2)
        return result; // missing, truncated or damaged
    if (!strings.at(1).isEmpty()) {
        const auto decoded = QByteArray::fromBase64Encoding(strings.at(1).toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.isEmpty()) {
            qCDebug(lcShell) << "user_qvt.dat: damaged password, ignored";
            return result;
        }
        result.password = QString::fromUtf8(decoded.decoded);
        result.remember = true;
    }
    result.user = strings.at(0);
    return result;
}

bool Login::writeRemembered(const QString &user, const QString &password, bool remember)
{
    const QString path = QDir::currentPath() + QLatin1Char('/') + rememberedFileName();
    const QString stored = remember && !password.isEmpty()
                               ? QString::fromLatin1(password.toUtf8().toBase64())
                               : QStringLiteral("");
#ifndef Q_OS_WIN
    // Create the file owner-only before the password goes in; the replacement keeps these rights.
    {
        QFile file(path);
        if (!file.exists() && file.open(QIODevice::WriteOnly))
            file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
#endif
    const bool ok = FileOperation::writeDatFile(rememberedFileName(), {user, stored}, true);
#ifndef Q_OS_WIN
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
    if (!ok)
        qCWarning(lcShell) << "cannot write" << path;
    return ok;
}

bool Login::parseLoginReply(const QJsonObject &obj, LoginReply *out, QString *error)
{
    LoginReply reply;
    reply.uid = jsonString(obj, QStringLiteral("UID"));
    reply.userName = jsonString(obj, QStringLiteral("USERNAME"));
    reply.shopId = jsonString(obj, QStringLiteral("SHOPID"));
    reply.shopName = jsonString(obj, QStringLiteral("SHOPNAME"));
    reply.superId = jsonString(obj, QStringLiteral("SUPERID"));
    reply.eid = jsonString(obj, QStringLiteral("EID"));
    const QJsonArray shops = obj.value(QStringLiteral("shops")).toArray();
    for (const QJsonValue &value : shops) {
        const ShopEntry shop = shopFromJson(value);
        if (!shop.id.isEmpty())
            reply.shops.append(shop);
    }
    // A reply without a shop list still names the user's own shop.
    if (reply.shops.isEmpty() && !reply.shopId.isEmpty())
        reply.shops.append({reply.shopName, reply.shopId});

    if (reply.uid.isEmpty()) {
        if (error)
            *error = QStringLiteral("登录失败：服务器返回的数据不完整（缺少用户编号）");
        return false;
    }
    if (reply.shops.isEmpty()) {
        if (error)
            *error = QStringLiteral("登录失败：该账号没有可以使用的店铺");
        return false;
    }
    if (out)
        *out = reply;
    return true;
}

void Login::checkForUpdate()
{
    const QByteArray body = FormBody().add(QStringLiteral("version"), g_appVersion).toByteArray();
    qCDebug(lcShell) << "check update url:" << g_url_check_update;
    HttpRequest *request = HttpRequest::startNetRequest(g_url_check_update, body);
    connect(request, &HttpRequest::netSuccessInfo, this, &Login::checkUpdateCallBack);
    connect(request, &HttpRequest::netErrorInfo, this,
            [](const QString &error) { qCWarning(lcShell) << "update check failed:" << error; });
}

void Login::checkUpdateCallBack(const QJsonObject &obj)
{
    // The answer counts only while the login is still to be done: once a window of the program works,
    // ending it would leave that work half-done.
    if (m_loggedIn || !isVisible()) {
        qCInfo(lcShell) << "update check answered after the login, ignored; update:"
                        << jsonString(obj, QStringLiteral("update")) << jsonString(obj, QStringLiteral("message"));
        return;
    }
    if (!replyOk(obj) || jsonString(obj, QStringLiteral("update")) != QLatin1String("1")) {
        if (!replyOk(obj))
            qCWarning(lcShell) << "update check refused:" << jsonString(obj, QStringLiteral("message"));
        return;
    }
    if (m_updateAsked)
        return;
    m_updateAsked = true;
    const QString text = replyMessage(obj, QStringLiteral("发现新版本，是否更新？"));
    if (MsgBox::question(this, kNotice, text, QMessageBox::Yes) == QMessageBox::Yes) {
        QString error;
        if (!PlatformShell::startUpdater(&error))
            MsgBox::information(this, kWarning, error);
    }
    // The old version does not go on, whatever the answer (unless a window refuses to close).
    PlatformShell::endProgram();
}

void Login::on_pb_login_clicked()
{
    if (m_busy)
        return;
    const QString user = ui->le_username->text().trimmed();
    const QString password = ui->le_password->text();
    if (user.isEmpty() || password.isEmpty()) {
        MsgBox::information(this, kNotice, QStringLiteral("请输入用户名和密码"));
        return;
    }
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("username"), user)
                                .add(QStringLiteral("password"), password)
                                .toByteArray();
    qCDebug(lcShell) << "login url:" << g_url_login << "user:" << user;
    setBusy(true);
    postForm(m_manager, g_url_login, body, this, &Login::loginCallBack);
}

void Login::loginCallBack(QNetworkReply *reply)
{
    setBusy(false);
    QJsonObject obj;
    if (!readJsonReply(reply, &obj, this, QStringLiteral("登录失败：服务器返回的数据无法识别")))
        return;
    if (!replyOk(obj)) {
        warn(replyMessage(obj, QStringLiteral("登录失败")));
        return;
    }
    LoginReply data;
    QString error;
    if (!parseLoginReply(obj, &data, &error)) {
        warn(error);
        return;
    }

    g_UID = data.uid;
    g_USERNAME = data.userName;
    g_SHOPID = data.shopId;
    g_SHOPNAME = data.shopName;
    g_SUPERID = data.superId;
    g_EID = data.eid;

    if (!writeRemembered(ui->le_username->text().trimmed(), ui->le_password->text(),
                         ui->cb_remember->isChecked()))
        qCWarning(lcShell) << "the login could not be remembered";

    if (!m_startWindow.isEmpty()) {
        openStartWindow({data.shopName, data.shopId});
        return;
    }

    auto *tool = new SelectTool(data.shops);
    tool->setAttribute(Qt::WA_DeleteOnClose);
    tool->show();
    m_toolWindow = tool;
    m_loggedIn = true;
    accept();
}

void Login::openStartWindow(const ShopEntry &shop)
{
    // The window works for the shop the login chose, with that shop's settings from its switch, as the
    // tool window opens its tools. A failed switch or a window that refuses keeps the login open.
    if (!m_shopSwitch) {
        m_shopSwitch = new ShopSwitch(this);
        connect(m_shopSwitch, &ShopSwitch::failed, this, [this] { setBusy(false); });
        connect(m_shopSwitch, &ShopSwitch::switched, this, [this](const ShopSettings &settings) {
            setBusy(false);
            settings.store();
            if (NamedWindows::open(m_startWindow, settings)) {
                m_loggedIn = true;
                accept();
            }
        });
    }
    setBusy(true);
    m_shopSwitch->post(shop);
}

void Login::setBusy(bool busy)
{
    m_busy = busy;
    ui->pb_login->setEnabled(!busy);
    ui->le_username->setEnabled(!busy);
    ui->le_password->setEnabled(!busy);
    ui->cb_remember->setEnabled(!busy);
}

void Login::warn(const QString &text)
{
    MsgBox::information(this, kWarning, text);
}
