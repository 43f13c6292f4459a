#include "globals.h"
#include "login.h"
#include "msgbox.h"
#include "namedwindows.h"
#include "studiofixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

class TestNamedWindows : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT
private:
    QTemporaryDir m_workDir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_workDir.isValid());
        QVERIFY(QDir::setCurrent(m_workDir.path()));
        QVERIFY(startStudioServer());
        registerStandardWindows();
    }

    // The program itself: what it prints and whether it ends before showing the login.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<bool>("display"); // false: no window system at all
        QStringList windows;
        for (const NamedWindow &entry : NamedWindows::all())
            windows << entry.name;
        QTest::newRow("help lists the windows") << QStringList{"--help"} << 0 << "--window <name>\n" + windows.join("|")
                                                << QString() << true;
        QTest::newRow("unknown window") << QStringList{"--window", "nosuch"} << 2 << QString()
                                        << "unknown window 'nosuch'\n" + windows.join("|") << true;
        QTest::newRow("missing name") << QStringList{"--window"} << 2 << QString() << "Missing value after '--window'"
                                      << true;
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << QString() << "Unknown option 'frobnicate'"
                                        << true;
        QTest::newRow("help, no display") << QStringList{"--help"} << 0 << "--window <name>\n" + windows.join("|")
                                          << QString() << false;
        QTest::newRow("unknown window, no display") << QStringList{"--window", "nosuch"} << 2 << QString()
                                                    << "unknown window 'nosuch'" << false;
        // only Qt's own option names are left to the application object, which needs a display
        QTest::newRow("-?, no display") << QStringList{"-?"} << 2 << QString() << "Unknown option '?'\nUsage:" << false;
        QTest::newRow("-v, no display") << QStringList{"-v"} << 2 << QString() << "Unknown option 'v'\nUsage:" << false;
        QTest::newRow("Qt's own option, then help") << QStringList{"-platform", "offscreen", "--help"} << 0
                                                    << "--window <name>" << QString() << true;
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(bool, display);
        QProcess program;
        if (!display) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("DISPLAY");
            env.remove("WAYLAND_DISPLAY");
            env.insert("QT_QPA_PLATFORM", "xcb");
            program.setProcessEnvironment(env);
        }
        program.start(QStringLiteral(TESSALY_PROGRAM), arguments);
        if (!program.waitForFinished(testsupport::kWaitMs)) {
            program.kill();
            program.waitForFinished();
            QFAIL("the program did not end: it went on to the login");
        }
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString stdOut = QString::fromUtf8(program.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(program.readAllStandardError());
        // every line of the expected text is found in the stream; "|" separates parts of one line's list
        for (const QString &part : out.split(QRegularExpression("[\n|]"), Qt::SkipEmptyParts))
            QVERIFY2(stdOut.contains(part), qPrintable(part + " not in: " + stdOut));
        for (const QString &part : err.split(QRegularExpression("[\n|]"), Qt::SkipEmptyParts))
            QVERIFY2(stdErr.contains(part), qPrintable(part + " not in: " + stdErr));
    }

    void loginOpensTheNamedWindowInsteadOfTheToolWindow_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("employeeField"); // where the desk's number search sends the employee
        QTest::addColumn<QString>("refusal");       // the switch's refusal ("": none)
        QTest::newRow("dispatch") << "dispatch" << "FaJianDialog" << "发件管理" << "uid" << "";
        QTest::newRow("receiving") << "receiving" << "ShangJianDialog" << "上件管理" << "eid" << "";
        QTest::newRow("switch refused") << "dispatch" << "" << "" << "" << "店铺已停用";
    }
    void loginOpensTheNamedWindowInsteadOfTheToolWindow()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, title);
        QFETCH(QString, employeeField);
        QFETCH(QString, refusal);
        m_server.clearRequests();
        m_server.queueReply("changeshop", refusal.isEmpty() ? standin::Reply::ok({{"SUPERID", "6"}, {"EID", "2002"}})
                                                            : standin::Reply::refused(refusal));
        Login login;
        login.setStartWindow(name);
        login.show();
        testsupport::logIn(&login, "demo", "123456");
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("changeshop") == 1; }));
        QCOMPARE(m_server.lastRequest("changeshop").field("shopid"), QString("11"));
        if (!refusal.isEmpty()) {
            QVERIFY(testsupport::waitForBoxes());
            QCOMPARE(testsupport::lastBox(), "警告|" + refusal);
            QVERIFY(login.isVisible() && testsupport::topLevels<QWidget>("FaJianDialog").isEmpty());
            return;
        }
        QPointer<QWidget> opened = testsupport::waitForWindow(qPrintable(className));
        QVERIFY(opened);
        QCOMPARE(opened->windowTitle(), title);
        QVERIFY(!login.isVisible());
        QVERIFY(!login.toolWindow());
        QCOMPARE(g_SHOPID, QString("11"));

        testsupport::child<QLineEdit>(opened, "lineEdit_orderid")->setText("A1203");
        testsupport::child<QPushButton>(opened, "pushButton")->click();
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("order_list") == 1; }));
        const standin::Request search = m_server.lastRequest("order_list");
        QCOMPARE(QStringList({search.field("shopid"), search.field("superid"), search.field(employeeField)}),
                 QStringList({"11", "6", "2002"}));

        opened->close();
        QVERIFY(testsupport::waitFor([&] { return opened.isNull(); }));
    }
};

TESSALY_TEST_MAIN(TestNamedWindows)
#include "tst_namedwindows.moc"
