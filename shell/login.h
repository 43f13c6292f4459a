#pragma once
// The login dialog: remembered credentials, the update check, the login request, then the tool window.

#include "shopentry.h"

#include <QDialog>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class SelectTool;
class ShopSwitch;

namespace Ui {
class Login;
}

class Login : public QDialog
{
    Q_OBJECT
public:
    explicit Login(QWidget *parent = nullptr);
    ~Login() override;

    // The remembered login, the list file "user_qvt.dat" in the working directory: two strings,
    // the user name and then the password in Base64 (UTF-8 bytes), the second one empty when
    // "记住密码" was not ticked. A ticked box is a non-empty second string.
    struct Remembered {
        QString user;
        QString password;
        bool remember = false;
    };
    static QString rememberedFileName();
    // A missing, truncated or damaged file gives empty fields.
    static Remembered readRemembered();
    // Writes the file owner-only (Linux); false when it could not be written.
    static bool writeRemembered(const QString &user, const QString &password, bool remember);

    // The user data of a successful login reply.
    struct LoginReply {
        QString uid;
        QString userName;
        QString shopId;
        QString shopName;
        QString superId;
        QString eid;
        QList<ShopEntry> shops;
    };
    // Checks the reply before anything is stored: false with *error when "UID" or every shop is missing.
    static bool parseLoginReply(const QJsonObject &obj, LoginReply *out, QString *error);

    // Posts the update check (the constructor does it once).
    void checkForUpdate();
    // The tool window opened by the last successful login.
    SelectTool *toolWindow() const;
    // A successful login switches to the login's shop and opens this named window (NamedWindows) with the
    // shop's settings instead of the tool window.
    void setStartWindow(const QString &name);

private slots:
    void on_pb_login_clicked();
    void checkUpdateCallBack(const QJsonObject &obj);
    void loginCallBack(QNetworkReply *reply);

private:
    void setBusy(bool busy);
    void warn(const QString &text);
    void openStartWindow(const ShopEntry &shop);

    Ui::Login *ui;
    QNetworkAccessManager *m_manager;
    QPointer<SelectTool> m_toolWindow;
    ShopSwitch *m_shopSwitch = nullptr; // the switch before the named window opens
    QString m_startWindow;
    bool m_busy = false;
    bool m_updateAsked = false;
    bool m_loggedIn = false; // a login succeeded: an update answer arriving later is ignored
};
