#include "batchdeleteorder.h"
#include "fileoperation.h"
#include "globals.h"
#include "importordermodel.h"
#include "importordersphotodlg.h"
#include "login.h"
#include "msgbox.h"
#include "multiselectcombobox.h"
#include "namedwindows.h"
#include "orderwindowtests.h"
#include "searchorder.h"
#include "searchorderwindow.h"
#include "selecttool.h"
#include "splitaftersample.h"
#include "studiofixture.h"
#include "toolregistry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

class TestSelectTool : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT
private:
    QList<QPointer<QWidget>> m_opened;
    int m_openCalls = 0;
    int m_shopSwitches = 0;
    QPointer<SelectTool> m_tool;

    QJsonObject fullReply() const
    {
        return QJsonObject{
            {"SHOPID", "12"},           {"SHOPNAME", "月影店"},      {"SUPERID", "7"},
            {"EID", "3003"},            {"picpath", "\\\\nas\\pic\\"}, {"bakpicpath", "D:/bak/"},
            {"homepicpath", "E:/home/"},
            {"stores", QJsonArray{QJsonObject{{"id", "21"}, {"name", "一店"}}, QJsonObject{{"id", 22}, {"name", "二店"}},
                                  QJsonObject{{"name", "无编号"}}, QJsonValue("bad"),
                                  QJsonObject{{"id", "23"}}}},
            {"isshow_subproduct", "1"}, {"yptbcp", 1},              {"xztp", QJsonValue::Null},
            {"sjfjxz", "0"},            {"dovrabigimg", QJsonObject{}}, {"dovraisdownloadall", "1"},
            {"separatemode", "2"},      {"markdirname", ""},         {"finisheddirname", 5},
            {"isdelphoto", "1"}};
    }
    void resetShop()
    {
        g_picPath = g_bakPicPath = g_homePicPath = "old";
        g_storeIds = g_storeNames = QStringList{"old"};
        g_isshow_subproduct = g_yptbcp = g_xztp = g_sjfjxz = g_dovrabigimg = g_dovraisdownloadall = "old";
        g_separateMode = g_markDirName = g_finishedDirName = "old";
        g_SHOPID = "11";
        g_SHOPNAME = "星光店";
        g_SUPERID = "5";
        g_EID = "2001";
    }
    void choose(int tool, int shopIndex)
    {
        m_tool->findChild<QComboBox *>("cb_shop")->setCurrentIndex(shopIndex);
        const char *names[] = {"", "rb_sjfj", "rb_dpgj", "rb_plsc", "rb_dovrafj", "", "rb_ysfj"};
        m_tool->findChild<QRadioButton *>(names[tool])->setChecked(true);
    }
    void start() { m_tool->findChild<QPushButton *>("pb_start")->click(); }
    // The switch to 月影店 as a shop whose ids, stores, roots, folder names and switches all differ from
    // 星光店's, without the deletion right.
    QJsonObject otherShopReply() const
    {
        return {{"SHOPID", "12"}, {"SHOPNAME", "月影店"}, {"SUPERID", "9"}, {"EID", "3003"},
                {"picpath", m_roots->path("b/pic/")}, {"bakpicpath", m_roots->path("b/bak/")},
                {"homepicpath", m_roots->path("b/home/")}, {"stores", QJsonArray{QJsonObject{{"id", "31"}, {"name", "月影一店"}}}},
                {"yptbcp", "1"}, {"xztp", "0"}, {"sjfjxz", "1"}, {"dovrabigimg", "1"}, {"dovraisdownloadall", "1"},
                {"separatemode", "Orlan分件"}, {"markdirname", "标记"}, {"finisheddirname", "精修"}, {"isdelphoto", "0"}};
    }
    bool waitReplyHandled()
    {
        return testsupport::waitFor([this] { return !m_tool->isBusy(); });
    }

    // Two tools whose windows are plain widgets, recorded as they open.
    void useRecordingTools()
    {
        auto opener = [this](QWidget *toolWindow, const ShopSettings &) -> QWidget * {
            ++m_openCalls;
            Q_ASSERT(toolWindow);
            QWidget *w = openToolWindow(new QWidget);
            m_opened << w;
            return w;
        };
        ToolRegistry::clear();
        ToolRegistry::add({ToolSeparate, "rb_sjfj", "设计分件", opener});
        ToolRegistry::add({ToolBatchDelete, "rb_plsc", "批量删除", opener});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(startServer());
        useRecordingTools();
        ToolRegistry::setShopSwitchHook([this](QWidget *) { ++m_shopSwitches; });
    }
    void init()
    {
        clearServer();
        resetShop();
        m_openCalls = 0;
        m_shopSwitches = 0;
        m_tool = new SelectTool({{"星光店", "11"}, {"月影店", "12"}});
        m_tool->setAttribute(Qt::WA_DeleteOnClose);
        m_tool->show();
    }
    void cleanup()
    {
        for (const QPointer<QWidget> &w : m_opened)
            delete w.data();
        m_opened.clear();
        delete m_tool.data();
    }

    void formShowsVersionShopsAndOnlyProvidedTools()
    {
        QVERIFY(m_tool->findChild<QLabel *>("lb_version")->text().contains("1.6.7"));
        QCOMPARE(m_tool->findChild<QComboBox *>("cb_shop")->count(), 2);
        QCOMPARE(m_tool->currentShop().id, QString("11")); // the login's shop
        QVERIFY(m_tool->findChild<QRadioButton *>("rb_sjfj")->isEnabled());
        QVERIFY(m_tool->findChild<QRadioButton *>("rb_plsc")->isEnabled());
        for (const char *name : {"rb_ysfj", "rb_dovrafj", "rb_dpgj"})
            QVERIFY2(!m_tool->findChild<QRadioButton *>(name)->isEnabled(), name);
        QCOMPARE(m_tool->chosenTool(), int(ToolSeparate));
        // a disabled tool cannot be started: nothing is posted
        m_tool->findChild<QRadioButton *>("rb_ysfj")->setChecked(true);
        start();
        QCOMPARE(MsgBox::lastShown().text, QString("请选择要使用的工具"));
        QTest::qWait(50);
        QCOMPARE(m_server.requestCount("changeshop"), 0);
    }

    void shopSwitchStoresEverySetting()
    {
        m_server.setReply("changeshop", standin::Reply::ok(fullReply()).withDelay(200));
        choose(ToolSeparate, 1);
        start();
        // busy: a second click sends nothing
        QVERIFY(!m_tool->findChild<QPushButton *>("pb_start")->isEnabled());
        start();
        QVERIFY(waitReplyHandled());
        QCOMPARE(m_server.requestCount("changeshop"), 1);
        const standin::Request req = m_server.lastRequest("changeshop");
        QCOMPARE(req.fieldNames(), (QStringList{"token", "uid", "shopid"}));
        QCOMPARE(req.field("token"), g_apiToken);
        QCOMPARE(req.field("uid"), QString("1001"));
        QCOMPARE(req.field("shopid"), QString("12"));

        QCOMPARE(g_SHOPID, QString("12"));
        QCOMPARE(g_SHOPNAME, QString("月影店"));
        QCOMPARE(g_SUPERID, QString("7"));
        QCOMPARE(g_EID, QString("3003"));
        QCOMPARE(g_picPath, QString("\\\\nas\\pic\\")); // kept as the service wrote it
        QCOMPARE(g_bakPicPath, QString("D:/bak/"));
        QCOMPARE(g_homePicPath, QString("E:/home/"));
        QCOMPARE(g_storeIds, (QStringList{"21", "22", "23"}));
        QCOMPARE(g_storeNames, (QStringList{"一店", "二店", ""}));
        QCOMPARE(g_isshow_subproduct, QString("1"));
        QCOMPARE(g_yptbcp, QString());
        QCOMPARE(g_xztp, QString());
        QCOMPARE(g_sjfjxz, QString("0"));
        QCOMPARE(g_dovrabigimg, QString());
        QCOMPARE(g_dovraisdownloadall, QString("1"));
        QCOMPARE(g_separateMode, QString("2"));
        QCOMPARE(g_markDirName, QString("标注"));
        QCOMPARE(g_finishedDirName, QString("成品"));
        QCOMPARE(m_shopSwitches, 1);
        QCOMPARE(m_openCalls, 1);
        QVERIFY(MsgBox::shown().isEmpty());

        // a bare reply: settings become empty, ids fall back to the chosen shop and the login
        m_server.setReply("changeshop", standin::Reply::ok({{"markdirname", "标记"}, {"finisheddirname", "精修"}}));
        choose(ToolSeparate, 0);
        start();
        QVERIFY(testsupport::waitFor([this] { return m_openCalls == 2; }));
        QCOMPARE(g_SHOPID, QString("11"));
        QCOMPARE(g_SHOPNAME, QString("星光店"));
        QCOMPARE(g_SUPERID, QString("7"));
        QVERIFY(g_picPath.isEmpty() && g_bakPicPath.isEmpty() && g_homePicPath.isEmpty());
        QVERIFY(g_storeIds.isEmpty() && g_storeNames.isEmpty());
        QVERIFY(g_isshow_subproduct.isEmpty() && g_dovraisdownloadall.isEmpty() && g_separateMode.isEmpty());
        QCOMPARE(g_markDirName, QString("标记"));
        QCOMPARE(g_finishedDirName, QString("精修"));
        QCOMPARE(m_shopSwitches, 2);
    }

    void batchDeletionNeedsTheRight()
    {
        QJsonObject denied = fullReply();
        for (const QJsonValue &right : {QJsonValue("0"), QJsonValue(1), QJsonValue()}) {
            MsgBox::clearShown();
            if (right.isUndefined())
                denied.remove("isdelphoto");
            else
                denied["isdelphoto"] = right;
            m_server.setReply("changeshop", standin::Reply::ok(denied));
            choose(ToolBatchDelete, 1);
            start();
            QVERIFY(testsupport::waitForBoxes());
            QCOMPARE(testsupport::lastBox(), QString("警告|您没有批量删除的权限！"));
            QCOMPARE(m_openCalls, 0);
            QCOMPARE(m_shopSwitches, 0);
            QCOMPARE(g_picPath, QString("old")); // nothing stored
            QCOMPARE(g_SHOPID, QString("11"));
            QVERIFY(m_tool->findChild<QPushButton *>("pb_start")->isEnabled());
        }
        // the same reply lets the other tools open
        choose(ToolSeparate, 1);
        start();
        QVERIFY(testsupport::waitFor([this] { return m_openCalls == 1; }));
        // with the right, batch deletion opens
        m_server.setReply("changeshop", standin::Reply::ok(fullReply()));
        choose(ToolBatchDelete, 1);
        start();
        QVERIFY(testsupport::waitFor([this] { return m_openCalls == 2; }));
    }

    // Each tool of the program opens its own window: parentless, maximized, gone when closed, and the tool
    // window stays open beside it.
    void standardToolsOpenTheirWindows_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("button"); // the text of its "pushButton_separate"
        // the search windows say which tool they belong to
        QTest::newRow("separation") << int(ToolSeparate) << "SearchOrder" << "检索订单 - 分件管理" << "开始分件";
        QTest::newRow("after sample") << int(ToolAfterSample) << "SplitAfterSample" << "检索订单 - 样后分件管理"
                                      << "开始分件";
        QTest::newRow("batch deletion") << int(ToolBatchDelete) << "BatchDeleteOrder" << "Form" << "批量删除";
        QTest::newRow("Dovra export") << int(ToolDovra) << "ExportDovraResult" << "检索订单 - Dovra分件" << "开始分件";
    }
    void standardToolsOpenTheirWindows()
    {
        QFETCH(int, tool);
        QFETCH(QString, className);
        QFETCH(QString, title);
        QFETCH(QString, button);
        registerStandardTools();
        delete m_tool.data(); // a tool window that offers every tool
        m_tool = new SelectTool({{"星光店", "11"}, {"月影店", "12"}});
        m_tool->show();
        m_server.setReply("changeshop", standin::Reply::ok(fullReply()));
        choose(tool, 1);
        start();
        QPointer<QWidget> w = testsupport::waitForWindow(qPrintable(className));
        useRecordingTools();
        QVERIFY(w);
        QVERIFY(w->parentWidget() == nullptr);
        QVERIFY(w->windowState() & Qt::WindowMaximized);
        QCOMPARE(w->windowTitle(), title);
        QCOMPARE(w->findChild<QPushButton *>("pushButton_separate")->text(), button);
        if (auto *afterSample = qobject_cast<SplitAfterSample *>(w))
            QCOMPARE(afterSample->toolName(), QString("样后分件管理"));
        if (auto *separation = qobject_cast<SearchOrder *>(w))
            QCOMPARE(separation->searchTypes().size(), 10); // "分件管理" keeps the separation's types
        w->close();
        QVERIFY(testsupport::waitFor([&] { return w.isNull(); }));
        QVERIFY(m_tool->isVisible());
    }

    void failedSwitchStoresNothing()
    {
        struct Case {
            standin::Reply reply;
            QString text;
        };
        const QList<Case> cases = {
            {standin::Reply::httpError(500), "网络请求错误\n服务器出错（HTTP 500）"},
            {standin::Reply::notJson(), "切换店铺失败：服务器返回的数据无法识别"},
            {standin::Reply::refused("店铺已停用"), "店铺已停用"},
            {standin::Reply::refused(""), "切换店铺失败"},
            // the work folders are named by these: a path is refused with its reason
            {standin::Reply::ok({{"finisheddirname", "../../../X"}}), "切换店铺失败：成品文件夹名称无效：../../../X"},
            {standin::Reply::ok({{"markdirname", ".."}}), "切换店铺失败：标注文件夹名称无效：.."},
            {standin::Reply::ok({{"markdirname", "D:\\标注"}}), "切换店铺失败：标注文件夹名称无效：D:\\标注"},
        };
        for (const Case &c : cases) {
            MsgBox::clearShown();
            m_server.queueReply("changeshop", c.reply);
            start();
            QVERIFY(testsupport::waitForBoxes());
            QCOMPARE(testsupport::lastBox(), "警告|" + c.text);
            QCOMPARE(g_picPath, QString("old"));
            QCOMPARE(g_storeIds, QStringList{"old"});
            QCOMPARE(m_openCalls, 0);
            QVERIFY(m_tool->findChild<QPushButton *>("pb_start")->isEnabled());
        }
    }

    void closingDuringTheRequestIsSafe()
    {
        m_server.setReply("changeshop", standin::Reply::ok(fullReply()).withDelay(300));
        start();
        m_tool->close(); // deleted on close, reply still on its way
        QVERIFY(testsupport::waitFor([this] { return m_tool.isNull(); }));
        QTest::qWait(500);
        QCOMPARE(m_openCalls, 0);
        QCOMPARE(g_picPath, QString("old"));
    }

    void sampleUserReachesTheToolsOfEachShop()
    {
        // the whole road against the sample studio: login, then one shop with and one without the right
        QVERIFY(newStudio());
        serveStudio();
        const QString oldDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_roots->base()));

        auto *login = new Login;
        login->show();
        testsupport::logIn(login, "demo", "123456", true);
        QVERIFY(testsupport::waitFor([&] { return login->toolWindow() != nullptr; }));
        delete m_tool.data();
        m_tool = login->toolWindow();
        QCOMPARE(g_UID, QString("1001"));
        QCOMPARE(Login::readRemembered().password, QString("123456"));

        choose(ToolBatchDelete, 1); // 月影店: no deletion right
        start();
        QVERIFY(testsupport::waitForBoxes());
        QCOMPARE(MsgBox::lastShown().text, QString("您没有批量删除的权限！"));
        QCOMPARE(m_openCalls, 0);

        choose(ToolBatchDelete, 0); // 星光店
        start();
        QVERIFY(testsupport::waitFor([this] { return m_openCalls == 1; }));
        QCOMPARE(g_SHOPID, QString("11"));
        QCOMPARE(g_picPath, m_studio->picRoot);
        QCOMPARE(g_storeNames.size(), g_storeIds.size());
        QVERIFY(!g_storeIds.isEmpty());

        delete login;
        QDir::setCurrent(oldDir);
    }

    // A window opened for 星光店 (by the tool window, or by name after the login) keeps that shop when the
    // tool window switches to 月影店: its searches and work carry 星光店's ids and stores, its files go into
    // 星光店's folders under its folder names, and only the program-wide values show 月影店.
    void windowKeepsTheShopItWasOpenedFor_data()
    {
        QTest::addColumn<int>("tool");            // the tool window's tool; 0: opened by name
        QTest::addColumn<QString>("window");      // the name given to --window
        QTest::addColumn<QString>("className");
        QTest::addColumn<QStringList>("actions"); // what its work posts
        QTest::addColumn<QString>("present");     // a path its work leaves ("OUT/": the save folder,
        QTest::addColumn<QString>("absent");      // "ORDER/": A1203's folder) and one it does not
        const QString a = "OUT/" + testsupport::today() + testsupport::kA1203Folder;
        const QString dovra = "OUT/" + testsupport::today() + "A1203-服务次1 张小宝-李梅-张伟/选版结果/";
        const QStringList run{"order_list", "ordergoods20230521", "getorderpic", "orderdetail", "getbarcodegen"};
        auto row = [](const char *name, int tool, const char *window, const char *className, const QStringList &actions,
                      const QString &present, const QString &absent) {
            QTest::newRow(name) << tool << window << className << actions << present << absent;
        };
        row("separation", ToolSeparate, "", "SearchOrder", run, a + "其它/成品/IMG_0001.jpg", a + "其它/精修");
        row("after sample", ToolAfterSample, "", "SplitAfterSample", run, a + "成品/IMG_0001.jpg", a + "精修");
        row("Dovra export", ToolDovra, "", "ExportDovraResult", {"order_list"}, dovra + "封面.psd", dovra + "说明.txt");
        row("batch deletion", ToolBatchDelete, "", "BatchDeleteOrder", {"order_list2", "order_photo_del"}, "", "ORDER/");
        row("batch import", ToolImport, "", "importOrdersPhotoDlg", {"updatepicpath"}, "ORDER/成品/k.jpg", "");
        row("single-order import", 0, "single-import", "SearchOrderWindow", {"order_list", "get_order_path"}, "", "");
        row("dispatch", 0, "dispatch", "FaJianDialog", {"order_list", "getorderbyid"}, "", "");
        row("receiving", 0, "receiving", "ShangJianDialog", {"order_list", "gotodigitalid_post"}, "", "");
    }
    void windowKeepsTheShopItWasOpenedFor()
    {
        QFETCH(int, tool);
        QFETCH(QString, window);
        QFETCH(QString, className);
        QFETCH(QStringList, actions);
        QFETCH(QString, present);
        QFETCH(QString, absent);
        QVERIFY(newServedStudio());
        QVERIFY(QDir::setCurrent(m_roots->base()));
        const QString out = m_roots->path("out/");
        QVERIFY(QDir().mkpath(out));
        const standin::SampleOrder &order = m_studio->orders.at(0);
        std::unique_ptr<Login> login;
        if (tool) {
            registerStandardTools();
            delete m_tool.data(); // a tool window that offers every tool
            m_tool = new SelectTool({{"星光店", "11"}, {"月影店", "12"}});
            m_tool->show();
            choose(tool, 0);
            start();
        } else {
            registerStandardWindows();
            login.reset(new Login);
            login->setStartWindow(window);
            login->show();
            testsupport::logIn(login.get(), "demo", "123456");
        }
        QPointer<QWidget> w = testsupport::waitForWindow(qPrintable(className));
        useRecordingTools();
        QVERIFY(w);
        m_server.queueReply("changeshop", standin::Reply::ok(otherShopReply()));
        choose(ToolSeparate, 1);
        start();
        QVERIFY(testsupport::waitFor([this] { return m_openCalls == 1; }));
        m_server.clearRequests();

        using testsupport::child;
        if (auto *run = qobject_cast<SeparationWindow *>(w)) {
            QVERIFY(testsupport::listAllOrders(w, m_server));
            testsupport::clickRow(w, 0);
            child<QLineEdit>(w, "pathLineEdit")->setText(out);
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([run] { return !run->isSeparating(); }));
        } else if (w->inherits("OrderSearchWindowBase")) { // the Dovra export and the batch deletion
            QVERIFY(w->findChild<QComboBox *>("comboBox") ? testsupport::listAllOrders(w, m_server)
                                                           : testsupport::searchAndWait(w, m_server, actions.first()));
            child<QPushButton>(w, "pushButton_selectAll")->click();
            if (QLineEdit *path = w->findChild<QLineEdit *>("pathLineEdit"))
                path->setText(out);
            MsgBox::clearShown();
            const bool deletion = w->inherits("BatchDeleteOrder");
            if (deletion)
                MsgBox::setNextAnswer(QMessageBox::Yes); // the deletion asks first
            child<QPushButton>(w, "pushButton_separate")->click();
            // the closing box: the export, or the deletion with every thread ended
            QVERIFY(testsupport::waitForBoxes(deletion ? 2 : 1));
        } else if (auto *import = qobject_cast<importOrdersPhotoDlg *>(w)) {
            auto *record = new ImportOrderModel(m_studio->orderJson(order));
            QVERIFY(testsupport::writeJpeg(m_roots->path("k.jpg"), QSize(64, 48), 1));
            record->setFinishedFiles({m_roots->path("k.jpg")});
            QVERIFY(QMetaObject::invokeMethod(w, "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, {record})));
            child<QPushButton>(w, "importAllBtn")->click();
            // the run's end: the order's closing report ("importype" 1) made and answered, the run over
            QVERIFY(testsupport::waitFor([&] {
                for (const standin::Request &r : m_server.requests("updatepicpath"))
                    if (r.field("importype") == "1")
                        return !import->isImporting() && !import->isRunning();
                return false;
            }));
        } else if (auto *picker = qobject_cast<SearchOrderWindow *>(w)) {
            child<QLineEdit>(w, "orderNumber")->setText(order.payForKey);
            QVERIFY(testsupport::searchAndWait(w, m_server));
            emit picker->addSelectOrderSigl({new ImportOrderModel(m_studio->orderJson(order))});
        } else { // a desk: a search by number, then a scan
            child<QLineEdit>(w, "lineEdit_orderid")->setText(order.payForKey);
            child<QPushButton>(w, "pushButton")->click();
            child<QLineEdit>(w, "lineEdit")->setText(order.id);
            QApplication::setActiveWindow(w);
            child<QLineEdit>(w, "lineEdit")->setFocus();
            QTest::keyClick(child<QLineEdit>(w, "lineEdit"), Qt::Key_Return);
        }
        QVERIFY(testsupport::waitFor([&] {
            for (const QString &action : actions)
                if (m_server.requestCount(action) == 0)
                    return false;
            return w->findChildren<QNetworkReply *>().isEmpty();
        }));

        const QMap<QString, QStringList> shopA{{"shopid", {"11"}},     {"superid", {"5"}},        {"eid", {"2001"}},
                                               {"personid", {"2001"}}, {"MANAGER_ID", {"2001"}}, {"storesids", {"11,13"}},
                                               {"uid", {"1001", "2001"}}};
        for (const standin::Request &r : m_server.requests())
            for (const auto &field : r.fields + r.queryFields)
                QVERIFY2(!shopA.contains(field.first) || shopA.value(field.first).contains(field.second),
                         qPrintable(r.action + " " + field.first));
        auto where = [&](QString path) { return path.replace("OUT/", out).replace("ORDER/", order.orderPath); };
        QVERIFY2(present.isEmpty() || QFileInfo::exists(where(present)), qPrintable(present));
        QVERIFY2(absent.isEmpty() || !QFileInfo::exists(where(absent)), qPrintable(absent));
        QCOMPARE(QStringList({g_SHOPID, g_SUPERID, g_EID, g_picPath, g_finishedDirName, g_storeIds.join(",")}),
                 QStringList({"12", "9", "3003", m_roots->path("b/pic/"), "精修", "31"}));

        testsupport::takeReportBox();
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top != m_tool && top->isVisible())
                top->close();
        QTest::qWait(50);
        delete w.data(); // a picker comes back when its import window has gone
    }
};

TESSALY_TEST_MAIN(TestSelectTool)
#include "tst_selecttool.moc"
