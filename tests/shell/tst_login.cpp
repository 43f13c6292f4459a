#include "globals.h"
#include "localization.h"
#include "login.h"
#include "msgbox.h"
#include "platformshell.h"
#include "selecttool.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "studiofixture.h"

using testsupport::streamString;

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

QJsonObject successReply()
{
    return QJsonObject{{"message", "登录成功"}, {"UID", "1001"},    {"USERNAME", "demo"},
                       {"SHOPID", "11"},        {"SHOPNAME", "星光店"}, {"SUPERID", "5"},
                       {"EID", "2001"},
                       {"shops", QJsonArray{QJsonObject{{"id", "11"}, {"name", "星光店"}},
                                            QJsonObject{{"id", 12}, {"name", "月影店"}},
                                            QJsonObject{{"name", "no id"}}}}};
}
} // namespace

using testsupport::logIn;

// A window that says "No" to its close, as an import does while it runs.
class RefusesToClose : public QWidget
{
protected:
    void closeEvent(QCloseEvent *event) override { event->ignore(); }
};

class TestLogin : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT
private:
    QTemporaryDir m_workDir;
    QStringList m_updaterStarts;
    int m_ends = 0;
    bool m_updaterResult = true;

    QString datPath() const { return m_workDir.path() + "/user_qvt.dat"; }
    QByteArray datBytes() const { return testsupport::bytesOf(datPath()); }
    // A dialog whose update check has been answered.
    Login *newLogin()
    {
        const int before = m_server.requestCount("check_update");
        auto *login = new Login;
        login->show();
        testsupport::waitFor([&] { return m_server.requestCount("check_update") > before; });
        QTest::qWait(50);
        return login;
    }
    void resetUser()
    {
        g_UID = g_USERNAME = g_SHOPID = g_SHOPNAME = g_SUPERID = g_EID = "old";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_workDir.isValid());
        QVERIFY(QDir::setCurrent(m_workDir.path()));
        QVERIFY(startServer());
        qputenv("TESSALY_UPDATER", "/opt/tessaly/updater");
        PlatformShell::setUpdaterHook([this](const QString &program) {
            m_updaterStarts << program;
            return m_updaterResult;
        });
        PlatformShell::setEndProgramHook([this] { ++m_ends; });
    }
    void init()
    {
        clearServer();
        m_server.setReply("check_update", standin::Reply::ok({{"update", "0"}}));
        QFile::remove(datPath());
        m_updaterStarts.clear();
        m_ends = 0;
        m_updaterResult = true;
        resetUser();
    }
    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<SelectTool *>(w) || qobject_cast<Login *>(w))
                delete w;
    }

    void successFillsUserAndRemembersLogin()
    {
        m_server.setReply("login", standin::Reply::ok(successReply()).withDelay(300));
        Login *login = newLogin();
        QStringList webLog;
        {
            testsupport::LogCapture log("tessaly.web");
            logIn(login, " demo ", "123456", true);
            webLog = log.lines();
        }
        // the request is logged with its token and password masked
        const QStringList loginLines = webLog.filter("username=demo");
        QCOMPARE(loginLines.size(), 1);
        QVERIFY2(loginLines.first().contains("token=***&") && loginLines.first().endsWith("password=***\""),
                 qPrintable(loginLines.first()));
        QVERIFY(!loginLines.first().contains(g_apiToken) && !loginLines.first().contains("123456"));
        // a second click while the request runs sends nothing
        QVERIFY(!login->findChild<QPushButton *>("pb_login")->isEnabled());
        login->findChild<QPushButton *>("pb_login")->click();
        QVERIFY(testsupport::waitFor([&] { return login->toolWindow() != nullptr; }));
        QCOMPARE(m_server.requestCount("login"), 1);

        const standin::Request req = m_server.lastRequest("login");
        QCOMPARE(req.fieldNames(), (QStringList{"token", "username", "password"}));
        QCOMPARE(req.field("token"), g_apiToken);
        QCOMPARE(req.field("username"), QString("demo"));
        QCOMPARE(req.field("password"), QString("123456"));

        QCOMPARE(g_UID, QString("1001"));
        QCOMPARE(g_USERNAME, QString("demo"));
        QCOMPARE(g_SHOPID, QString("11"));
        QCOMPARE(g_SHOPNAME, QString("星光店"));
        QCOMPARE(g_SUPERID, QString("5"));
        QCOMPARE(g_EID, QString("2001"));
        QVERIFY(MsgBox::shown().isEmpty());

        // the dialog is gone, the tool window has the user's shops (the entry without an id is dropped)
        QVERIFY(!login->isVisible());
        SelectTool *tool = login->toolWindow();
        QVERIFY(tool->isVisible());
        QCOMPARE(tool->shops().size(), 2);
        QCOMPARE(tool->shops().at(1).id, QString("12"));
        QCOMPARE(tool->shops().at(1).name, QString("月影店"));
        QCOMPARE(tool->findChild<QComboBox *>("cb_shop")->count(), 2);
        QCOMPARE(tool->currentShop().id, QString("11"));

        // two data-stream strings: the user name and the password in Base64
        QCOMPARE(datBytes(), streamString("demo") + streamString("MTIzNDU2"));
#ifndef Q_OS_WIN
        QCOMPARE(QFile::permissions(datPath()),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
#endif
        // read back by the next start
        Login *next = newLogin();
        QCOMPARE(next->findChild<QLineEdit *>("le_username")->text(), QString("demo"));
        QCOMPARE(next->findChild<QLineEdit *>("le_password")->text(), QString("123456"));
        QVERIFY(next->findChild<QCheckBox *>("cb_remember")->isChecked());
    }

    void unrememberedPasswordIsNotStored()
    {
        m_server.setReply("login", standin::Reply::ok(successReply()));
        // a remembered password from before is dropped when the box is unticked
        QVERIFY(Login::writeRemembered("demo", "秘密pw", true));
        QCOMPARE(Login::readRemembered().password, QString("秘密pw"));
        Login *login = newLogin();
        QVERIFY(login->findChild<QCheckBox *>("cb_remember")->isChecked());
        logIn(login, "demo", "123456", false);
        QVERIFY(testsupport::waitFor([&] { return login->toolWindow() != nullptr; }));
        QCOMPARE(datBytes(), streamString("demo") + streamString(""));
        QVERIFY(!datBytes().contains("MTIz"));

        const Login::Remembered r = Login::readRemembered();
        QCOMPARE(r.user, QString("demo"));
        QVERIFY(r.password.isEmpty());
        QVERIFY(!r.remember);

        // a full disk: the remembered login stays as it was, and the failed write is logged
        const QByteArray before = datBytes();
        testsupport::LogCapture log("tessaly.shell");
        {
            testsupport::FileSizeLimit full(4);
            QVERIFY(!Login::writeRemembered("李四", "pw", true));
        }
        QCOMPARE(datBytes(), before);
        QCOMPARE(log.warnings().size(), 1);
        QVERIFY(log.warnings().first().contains("cannot write"));

        // a file from an older writer holding a null second string reads the same
        QVERIFY(testsupport::put(datPath(), streamString("张三") + QByteArray("\xff\xff\xff\xff", 4)));
        QCOMPARE(Login::readRemembered().user, QString("张三"));
        QVERIFY(!Login::readRemembered().remember);
    }

    void damagedRememberedFileGivesEmptyFields()
    {
        const QList<QByteArray> damaged = {
            streamString("demo"),                                          // password string missing
            streamString("demo") + QByteArray("\x00\x00\x00\x40" "\x00", 5), // truncated password
            QByteArray("\x00\x00\x10\x00" "abc", 7),                         // length beyond the end
            streamString("demo") + streamString("@@not base64@@"),
            QByteArray("garbage"),
        };
        for (const QByteArray &bytes : damaged) {
            QVERIFY(testsupport::put(datPath(), bytes));
            const Login::Remembered r = Login::readRemembered();
            QVERIFY2(r.user.isEmpty() && r.password.isEmpty() && !r.remember, bytes.toHex().constData());
        }
        Login *login = newLogin();
        QVERIFY(login->findChild<QLineEdit *>("le_username")->text().isEmpty());
        QVERIFY(login->findChild<QLineEdit *>("le_password")->text().isEmpty());
    }

    void failedLoginsShowWhyAndKeepTheDialog()
    {
        struct Case {
            standin::Reply reply;
            QString text;
        };
        QJsonObject noUid = successReply();
        noUid.remove("UID");
        QJsonObject noShops = successReply();
        noShops.remove("shops");
        noShops.remove("SHOPID");
        const QList<Case> cases = {
            {standin::Reply::refused("用户名或密码错误"), "用户名或密码错误"},
            {standin::Reply::httpError(500), "网络请求错误\n服务器出错（HTTP 500）"},
            {standin::Reply::notJson(), "登录失败：服务器返回的数据无法识别"},
            {standin::Reply::ok(noUid), "登录失败：服务器返回的数据不完整（缺少用户编号）"},
            {standin::Reply::ok(noShops), "登录失败：该账号没有可以使用的店铺"},
            {standin::Reply::numericCode(1, "x"), "x"},
        };
        Login *login = newLogin();
        for (const Case &c : cases) {
            MsgBox::clearShown();
            m_server.queueReply("login", c.reply);
            logIn(login, "demo", "wrong", true);
            QVERIFY(testsupport::waitForBoxes());
            QCOMPARE(testsupport::lastBox(), "警告|" + c.text);
            QVERIFY(login->isVisible());
            QVERIFY(login->findChild<QPushButton *>("pb_login")->isEnabled());
            QVERIFY(login->toolWindow() == nullptr);
            QCOMPARE(g_UID, QString("old"));
            QCOMPARE(g_SHOPID, QString("old"));
            QVERIFY(!QFile::exists(datPath()));
        }
        // a dropped connection is a network error too
        MsgBox::clearShown();
        m_server.setReply("login", standin::Reply::closed());
        logIn(login, "demo", "123456", true);
        QVERIFY(testsupport::waitForBoxes());
        QVERIFY(MsgBox::lastShown().text.startsWith("网络请求错误\n"));

        // empty fields are not posted
        MsgBox::clearShown();
        const int posted = m_server.requestCount("login");
        logIn(login, "demo", "", true);
        QCOMPARE(MsgBox::lastShown().title, QString("温馨提示"));
        QTest::qWait(50);
        QCOMPARE(m_server.requestCount("login"), posted);
    }

    void updateCheckEndsTheProgramWhenOffered()
    {
        // offered and accepted: the updater starts, the program ends
        m_server.setReply("check_update", standin::Reply::ok({{"update", "1"}, {"message", "发现新版本1.7.0"}}));
        MsgBox::setNextAnswer(QMessageBox::Yes);
        Login *login = newLogin();
        QVERIFY(testsupport::waitFor([&] { return m_ends == 1; }));
        QCOMPARE(m_server.lastRequest("check_update").fieldNames(), QStringList{"version"});
        QCOMPARE(m_server.lastRequest("check_update").field("version"), QString("1.6.7"));
        QCOMPARE(MsgBox::shown().size(), 1);
        QCOMPARE(testsupport::lastBox(), QString("温馨提示|发现新版本1.7.0"));
        QCOMPARE(m_updaterStarts, QStringList{PlatformShell::updaterPath()});
        delete login;

        // declined: nothing starts, the program ends all the same; no message gives the default text
        MsgBox::clearShown();
        m_server.setReply("check_update", standin::Reply::ok({{"update", "1"}}));
        MsgBox::setNextAnswer(QMessageBox::No);
        login = newLogin();
        QVERIFY(testsupport::waitFor([&] { return m_ends == 2; }));
        QCOMPARE(MsgBox::lastShown().text, QString("发现新版本，是否更新？"));
        QCOMPARE(m_updaterStarts.size(), 1);
        delete login;

        // an updater that cannot start is reported, and the program still ends
        MsgBox::clearShown();
        m_updaterResult = false;
        MsgBox::setNextAnswer(QMessageBox::Yes);
        login = newLogin();
        QVERIFY(testsupport::waitFor([&] { return m_ends == 3; }));
        QCOMPARE(MsgBox::shown().size(), 2);
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        QVERIFY(MsgBox::lastShown().text.startsWith("无法启动更新程序"));
        delete login;

        // a window that refuses to close (an import answering "No") keeps the program running
        {
            MsgBox::clearShown();
            m_updaterResult = true;
            RefusesToClose busy;
            busy.show();
            MsgBox::setNextAnswer(QMessageBox::No);
            login = newLogin();
            QVERIFY(testsupport::waitFor([&] { return MsgBox::shown().size() == 1; }));
            QTest::qWait(50);
            QCOMPARE(m_ends, 3);
            QVERIFY(busy.isVisible());
            delete login;
        }

        // offered only once the login is done (the answer comes well after the login's, however busy the
        // machine): logged and ignored, the tool window works on
        MsgBox::clearShown();
        testsupport::LogCapture shellLog("tessaly.shell");
        m_server.setReply("check_update", standin::Reply::ok({{"update", "1"}}).withDelay(3000));
        m_server.setReply("login", standin::Reply::ok(successReply()));
        login = new Login;
        login->show();
        logIn(login, "demo", "123456");
        QVERIFY(testsupport::waitFor([&] { return login->toolWindow() != nullptr; }));
        QVERIFY(testsupport::waitFor(
            [&] { return !shellLog.lines().filter("update check answered after the login, ignored").isEmpty(); }));
        QCOMPARE(m_ends, 3);
        QVERIFY(MsgBox::shown().isEmpty());
        QVERIFY(login->toolWindow()->isVisible());
        delete login;

        // no update, or a failed check: login goes on
        for (const standin::Reply &reply : {standin::Reply::ok({{"update", "0"}}), standin::Reply::notJson(),
                                            standin::Reply::refused("busy")}) {
            MsgBox::clearShown();
            m_server.setReply("check_update", reply);
            login = newLogin();
            QTest::qWait(100);
            QCOMPARE(m_ends, 3);
            QVERIFY(MsgBox::shown().isEmpty());
            QVERIFY(login->isVisible());
            delete login;
        }
    }

    void missingUpdaterIsReported()
    {
        PlatformShell::setUpdaterHook(nullptr);
        const QByteArray old = qgetenv("TESSALY_UPDATER");
        qputenv("TESSALY_UPDATER", QByteArray(QFile::encodeName(m_workDir.path() + "/no-such-updater")));
        QString error;
        QVERIFY(!PlatformShell::startUpdater(&error));
        QVERIFY(error.contains("no-such-updater"));
#ifndef Q_OS_WIN
        qunsetenv("TESSALY_UPDATER");
        if (PlatformShell::updaterPath().isEmpty()) {
            QVERIFY(!PlatformShell::startUpdater(&error));
            QVERIFY(error.contains("没有配置更新程序"));
        }
#endif
        qputenv("TESSALY_UPDATER", old);
        PlatformShell::setUpdaterHook([this](const QString &program) {
            m_updaterStarts << program;
            return m_updaterResult;
        });
    }

    // What the program sets up at start: Qt's own button texts and the calendar speak Chinese.
    void qtTextsAreChinese_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("yes") << int(QMessageBox::Yes) << "是";
        QTest::newRow("no") << int(QMessageBox::No) << "否";
        QTest::newRow("ok") << int(QMessageBox::Ok) << "确定";
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << "取消";
    }
    void qtTextsAreChinese()
    {
        QFETCH(int, button);
        QFETCH(QString, text);
        QTranslator *translator = useChinese(qApp);
        const QLocale chinese = QLocale();
        QLocale::setDefault(QLocale::c());
        if (!translator)
            QSKIP("Qt's Chinese translations are not installed");
        QCOMPARE(chinese.standaloneMonthName(1), QString("一月"));

        QMessageBox box(QMessageBox::Question, "t", "x", QMessageBox::StandardButton(button));
        QString shown = box.button(QMessageBox::StandardButton(button))->text();
        shown.remove(QRegularExpression("\\(&.\\)$")); // the mnemonic, "是(&Y)"
        QCoreApplication::removeTranslator(translator);
        delete translator;
        QCOMPARE(shown, text);
    }
};

TESSALY_TEST_MAIN(TestLogin)
#include "tst_login.moc"
