// The tool window's Dovra sync button: the store-path request, the store check on the Dovra worker and
// the sync dialog it opens, against the stand-in web service and the sample studio's Dovra folders.

#include "dovrasyncbaseinfodialog.h"
#include "dovrathread.h"
#include "globals.h"
#include "msgbox.h"
#include "selecttool.h"
#include "studiofixture.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>

Q_DECLARE_METATYPE(standin::Reply)

class TestSelectToolDovra : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT

    QPointer<SelectTool> m_tool;

    QPushButton *syncBtn() const { return m_tool->findChild<QPushButton *>("pb_synctodovra"); }
    static QList<DovraSyncBaseInfoDialog *> dialogs() { return testsupport::topLevels<DovraSyncBaseInfoDialog>(); }
    static QStringList names(const QJsonArray &stores)
    {
        QStringList out;
        for (const QJsonValue &s : stores)
            out << s.toObject().value("name").toString();
        return out;
    }

private slots:
    void initTestCase() { QVERIFY(startServer()); }
    void init()
    {
        testsupport::prepare();
        QVERIFY(newServedStudio());
        m_tool = new SelectTool({{"星光店", "11"}, {"月影店", "12"}});
        m_tool->show();
    }
    void cleanup()
    {
        qDeleteAll(dialogs());
        delete m_tool.data();
    }

    void syncButton_data()
    {
        QTest::addColumn<QList<int>>("served"); // the sample studio's stores in the reply
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("opened"); // the dialog's stores; empty: no dialog

        const QString notReached = "温馨提示|星光二店 的Dovra路径和本机不在同一局域网不能同步到Dovra";
        QTest::newRow("all reachable") << QList<int>{0, 2} << "" << "" << QStringList{"星光店", "月影店"};
        QTest::newRow("one unreachable, sync") << QList<int>{0, 1, 2} << "确定同步" << notReached
                                               << QStringList{"星光店", "月影店"};
        QTest::newRow("one unreachable, cancelled") << QList<int>{0, 1, 2} << "取消" << notReached << QStringList();
        QTest::newRow("none reachable")
            << QList<int>{1} << "" << "温馨提示|没有门店的Dovra服务路径在和本机在同一局域网中,不能同步到Dovra！"
            << QStringList();
    }
    void syncButton()
    {
        QFETCH(QList<int>, served);
        QFETCH(QString, answer);
        QFETCH(QString, box);
        QFETCH(QStringList, opened);
        QJsonArray stores;
        for (int i : served)
            stores.append(m_studio->dovraStores().at(i));
        m_server.setReply("getdovraset", standin::Reply::ok({{"stores", stores}}));
        if (!answer.isEmpty())
            MsgBox::setNextAnswer(answer);
        m_tool->findChild<QComboBox *>("cb_shop")->setCurrentIndex(1);

        syncBtn()->click();
        QVERIFY(m_tool->isBusy());
        syncBtn()->click(); // busy: nothing more is posted
        QVERIFY(testsupport::waitFor([&] {
            return !MsgBox::shown().isEmpty() || !dialogs().isEmpty();
        }));
        QTest::qWait(50);
        QCOMPARE(m_server.requestCount("getdovraset"), 1);
        const standin::Request req = m_server.lastRequest("getdovraset");
        QCOMPARE(req.fieldNames(), (QStringList{"token", "uid", "shopid"}));
        QCOMPARE(req.field("uid"), QString("1001"));
        QCOMPARE(req.field("shopid"), QString("12"));
        QCOMPARE(syncBtn()->text(), QString("同步全部员工/产品到Dovra"));
        QCOMPARE(MsgBox::shown().size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty())
            QCOMPARE(testsupport::lastBox(), box);

        QCOMPARE(dialogs().size(), opened.isEmpty() ? 0 : 1);
        if (opened.isEmpty())
            return;
        DovraSyncBaseInfoDialog *dialog = dialogs().first();
        QCOMPARE(names(dialog->stores), opened);
        QCOMPARE(dialog->shopId, QString("12"));
        QVERIFY(dialog->isModal());
        QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(!dialog->parent());
    }

    void requestRefusedOrFailed_data()
    {
        QTest::addColumn<standin::Reply>("reply");
        QTest::addColumn<QString>("box");
        QTest::newRow("refused") << standin::Reply::refused("没有Dovra设置") << "警告|没有Dovra设置";
        QTest::newRow("HTTP 500") << standin::Reply::httpError(500) << "警告|网络请求错误\n服务器出错（HTTP 500）";
        QTest::newRow("not JSON") << standin::Reply::notJson()
                                  << "警告|获取门店Dovra路径失败：服务器返回的数据无法识别";
    }
    void requestRefusedOrFailed()
    {
        QFETCH(standin::Reply, reply);
        QFETCH(QString, box);
        m_server.setReply("getdovraset", reply);
        syncBtn()->click();
        QVERIFY(testsupport::waitFor([&] { return !m_tool->isBusy(); }));
        QCOMPARE(testsupport::lastBox(), box);
        QCOMPARE(syncBtn()->text(), QString("同步全部员工/产品到Dovra"));
        QTest::qWait(50);
        QVERIFY(dialogs().isEmpty());
    }

    void noShopChosen()
    {
        m_tool->findChild<QComboBox *>("cb_shop")->setCurrentIndex(-1);
        syncBtn()->click();
        QCOMPARE(MsgBox::lastShown().text, QString("请选择店铺"));
        QTest::qWait(50);
        QCOMPARE(m_server.requestCount("getdovraset"), 0);
    }

    void windowDestroyedDuringTheCheck()
    {
        // enough stores that the check is still running when the window goes
        QJsonArray stores;
        for (int i = 0; i < 40000; ++i)
            stores.append(QJsonObject{{"name", QString("店%1").arg(i)}, {"dovrapath", m_studio->dovraRoot + "星光店"}});
        m_server.setReply("getdovraset", standin::Reply::ok({{"stores", stores}}));
        syncBtn()->click();
        QVERIFY(testsupport::waitFor([&] { return syncBtn()->text().endsWith("解析数据中,请稍后..."); }));
        delete m_tool.data();
        // the window went without waiting for the check, whose report then reaches no one
        QVERIFY(!Dovrathread::waitForUnowned(0));
        QVERIFY(Dovrathread::waitForUnowned(testsupport::kWaitMs));
        QTest::qWait(50);
        QVERIFY(dialogs().isEmpty());
        QVERIFY(MsgBox::shown().isEmpty());
    }
};

TESSALY_TEST_MAIN(TestSelectToolDovra)
#include "tst_selecttooldovra.moc"
