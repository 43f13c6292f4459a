#include "globals.h"
#include "importdialogfixture.h"
#include "msgbox.h"

#include <QDir>
#include <QSet>

class TestVideoUpdate : public ImportDialogFixture
{
    Q_OBJECT

    // Lists one sample order whose folder holds the given files (folders for names ending in "/"),
    // switches to the video type and clicks the order.
    QString listOrder(int sampleIndex, int type, const QString &name, const QStringList &files)
    {
        const QString order = m_roots->path("orders/" + name + "/");
        QDir().mkpath(order);
        for (const QString &f : files) {
            QDir().mkpath(QFileInfo(order + f).absolutePath());
            QFile file(order + f);
            if (!f.endsWith('/') && !file.open(QIODevice::WriteOnly))
                return QString();
        }
        if (!handOver({recordWithPath(sampleIndex, name.isEmpty() ? QString() : order)}))
            return QString();
        chooseType(type);
        emit table()->cellClicked(table()->rowCount() - 1, 0);
        return order;
    }
    void press(QMessageBox::StandardButton answer)
    {
        MsgBox::setNextAnswer(answer);
        button("updateVideoBtn")->click();
    }
    bool waitForPosts(int count)
    {
        return testsupport::waitFor([&] { return m_server.requestCount("updatevideo") >= count; });
    }

private slots:
    void initTestCase() { QVERIFY(startStudioServer()); }
    void init()
    {
        MsgBox::clearShown();
        m_server.clearRequests();
        openDialog();
    }
    void cleanup()
    {
        closeDialog();
        serveStudio();
    }

    void nothingToSendIsExplained()
    {
        chooseType(3);
        press(QMessageBox::Yes); // no order clicked yet
        QCOMPARE(MsgBox::lastShown().title + MsgBox::lastShown().text, QString("温馨提示请选择更新视频的订单"));
        listOrder(4, 3, QString(), {}); // no order folder
        press(QMessageBox::Yes);
        QCOMPARE(MsgBox::lastShown().text, QString("此订单未导视频"));
        listOrder(0, 4, "bare", {}); // an order folder without its video folder
        press(QMessageBox::Yes);
        QCOMPARE(MsgBox::lastShown().text, QString("此订单导片路径打不开，请检查服务器是否连接成功！"));
        QCOMPARE(MsgBox::shown().size(), 3);
        QTest::qWait(200);
        QCOMPARE(m_server.requestCount("updatevideo"), 0);
    }

    void folderListIsConfirmedThenPosted()
    {
        const QStringList files{"a 1.mp4", "b&c#.avi", "试拍.mov"};
        const QString order = listOrder(0, 3, "trial",
                                        {"试拍视频/a 1.mp4", "试拍视频/b&c#.avi", "试拍视频/试拍.mov",
                                         "试拍视频/sub/", "试拍视频/.hidden.mp4"});
        press(QMessageBox::No);
        const QString question = MsgBox::lastShown().text;
        QVERIFY(question.startsWith(
            "是否要将<font color=\"red\">选片系统 试拍视频列表</font>更新为:  <br/> <font size='18' color='blue'>"));
        QVERIFY(question.contains("a 1.mp4<br/>") && question.contains("b&amp;c#.avi<br/>"));
        QVERIFY(!question.contains("hidden") && !question.contains("sub<br/>"));
        QTest::qWait(200);
        QCOMPARE(m_server.requestCount("updatevideo"), 0);

        MsgBox::clearShown();
        press(QMessageBox::Yes);
        QVERIFY(waitForPosts(1));
        const standin::Request post = m_server.lastRequest("updatevideo");
        QCOMPARE(post.fieldNames(), (QStringList{"timestamp", "videopaths", "videofiles", "shopid", "order_photo_id",
                                                 "superid", "eid", "token", "typeid"}));
        QCOMPARE(post.field("typeid") + post.field("order_photo_id") + post.field("token"), "35001" + g_apiToken);
        QVERIFY(post.field("timestamp").toLongLong() > 1600000000000LL);
        const QStringList names = post.field("videofiles").split('|');
        const QStringList paths = post.field("videopaths").split('|');
        QCOMPARE(QSet<QString>(names.begin(), names.end()), QSet<QString>(files.begin(), files.end()));
        QCOMPARE(paths.size(), names.size());
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(paths[i], order + "试拍视频/" + names[i]); // both lists in the same order
        QVERIFY(testsupport::waitForBoxes(2));
        QCOMPARE(MsgBox::lastShown().text, QString("更新成功"));
    }

    void emptyFolderClearsTheList()
    {
        const QString order = listOrder(3, 4, "retouch", {"精修视频/.only-hidden.mp4", "精修视频/folder.mp4/"});
        press(QMessageBox::No);
        QVERIFY(MsgBox::lastShown().text.startsWith(order + "精修视频/  没有精修视频"));
        press(QMessageBox::Yes);
        QVERIFY(waitForPosts(1));
        const standin::Request post = m_server.lastRequest("updatevideo");
        QVERIFY(post.fieldNames().contains("videopaths") && post.fieldNames().contains("videofiles"));
        QCOMPARE(post.field("videopaths") + post.field("videofiles"), QString());
        QCOMPARE(post.field("typeid") + post.field("order_photo_id"), QString("45004"));
    }

    void everyReplyReachesTheUser()
    {
        listOrder(0, 3, "replies", {"试拍视频/v.mp4"});
        const QList<QPair<standin::Reply, QString>> cases{
            {standin::Reply::refused("失败"), "温馨提示失败"},
            {standin::Reply::refused(QString()), "温馨提示更新视频列表失败"},
            {standin::Reply::httpError(500), "警告网络请求错误\n服务器出错（HTTP 500）"},
            {standin::Reply::notJson(), "温馨提示更新视频列表失败：服务器的回复无法识别"},
        };
        int posts = 0;
        for (const auto &c : cases) {
            MsgBox::clearShown();
            m_server.queueReply("updatevideo", c.first);
            press(QMessageBox::Yes);
            QVERIFY(waitForPosts(++posts));
            QVERIFY(testsupport::waitForBoxes(2));
            QCOMPARE(MsgBox::lastShown().title + MsgBox::lastShown().text, c.second);
            QTest::qWait(100);
            QCOMPARE(MsgBox::shown().size(), 2); // one box per reply
        }

        // a reply still out when the window goes is dropped with it: nothing is shown afterwards
        MsgBox::clearShown();
        standin::Gate closed; // the reply comes after the window went
        m_server.queueReply("updatevideo", standin::Reply::notJson().heldBy(closed));
        press(QMessageBox::Yes);
        QVERIFY(waitForPosts(++posts));
        closeDialog();
        closed.open();
        QTest::qWait(500);
        QCOMPARE(MsgBox::shown().size(), 1); // the question only
    }
};

TESSALY_TEST_MAIN(TestVideoUpdate)
#include "tst_videoupdate.moc"
