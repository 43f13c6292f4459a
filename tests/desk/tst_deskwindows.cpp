#include "fajiandialog.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "globals.h"
#include "msgbox.h"
#include "shangjiandialog.h"
#include "studiofixture.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

using standin::Reply;
using standin::Request;
Q_DECLARE_METATYPE(standin::Reply)

namespace {
QJsonObject order(const QString &id, const QString &key, const QString &serviceTimes = "1")
{
    return QJsonObject{{"orderid", id},      {"order_photo_id", id}, {"orderpayforkey", key},
                       {"servicetimes", serviceTimes}, {"mname", "父" + id}, {"wname", "母" + id},
                       {"getphotodate", "2023-07-0" + id.right(1)}, {"urgentdate", "2023-06-2" + id.right(1)}};
}
QJsonObject product(const QString &id, const QString &name, const QString &shop = QString(),
                    const QString &factory = QString())
{
    return QJsonObject{{"id", id}, {"goodname", name}, {"printshopname", shop}, {"factoryname", factory}};
}
QJsonArray entries(const QStringList &names, int firstId)
{
    QJsonArray out;
    for (int i = 0; i < names.size(); ++i)
        out.append(QJsonObject{{"id", QString::number(firstId + i)}, {"name", names.at(i)}});
    return out;
}
// An order list as both desks read it: "order" for dispatch, "data" for receiving.
Reply orderList(const QJsonArray &orders, bool withLists = true)
{
    QJsonObject obj{{"order", orders}, {"data", orders}};
    if (withLists) {
        obj.insert("printshops", entries({"星光冲印", "快印坊"}, 1));
        obj.insert("factorys", entries({"后期一厂", "后期二厂"}, 3));
    }
    return Reply::ok(obj);
}
Reply goods(const QJsonArray &list, int delayMs = 0)
{
    return Reply::ok({{"order", QJsonObject{{"ordergoods0", list}, {"ordergoods2", QJsonArray()}}}}).withDelay(delayMs);
}
QStringList fieldList(const Request &request)
{
    QStringList out;
    for (const auto &field : request.fields)
        out << field.first + "=" + field.second;
    return out;
}
QStringList column(const QAbstractItemModel *model, int col, int firstRow = 0)
{
    QStringList out;
    for (int r = firstRow; r < model->rowCount(); ++r)
        out << model->index(r, col).data().toString();
    return out;
}
} // namespace

class TestDeskWindows : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT
private:
    QPointer<FaJianDialog> m_fajian;
    QPointer<ShangJianDialog> m_shangjian;

    template <typename T> T *child(QWidget *w, const char *name) { return w->findChild<T *>(QLatin1String(name)); }
    QWidget *desk(const QString &which)
    {
        if (which == "dispatch")
            return m_fajian ? m_fajian.data() : (m_fajian = new FaJianDialog(nullptr, ShopSettings::current())).data();
        return m_shangjian ? m_shangjian.data() : (m_shangjian = new ShangJianDialog(nullptr, ShopSettings::current())).data();
    }
    // Waits until every reply the desk asked for has been handled.
    bool settle(QWidget *w)
    {
        QTest::qWait(20);
        return testsupport::waitFor([w] { return w->findChildren<QNetworkReply *>().isEmpty(); });
    }
    void pressReturnIn(QWidget *w, const char *field)
    {
        QLineEdit *edit = child<QLineEdit>(w, field);
        QApplication::setActiveWindow(w);
        edit->setFocus();
        QVERIFY(edit->hasFocus());
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void searchByType(QWidget *w, int index, const QString &keyword)
    {
        child<QComboBox>(w, "comboBox")->setCurrentIndex(index);
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (!top->inherits("CalendarPicker") || !top->isVisible())
                continue;
            // the date picker is the desk's own window, opened right under the field it fills (moved
            // left as far as the screen asks)
            QCOMPARE(top->parentWidget(), w);
            QLineEdit *field = child<QLineEdit>(w, "lineEdit_orderid2");
            const QPoint under = field->mapToGlobal(QPoint(0, field->height()));
            QCOMPARE(top->y(), under.y());
            QVERIFY(top->x() <= under.x() && top->frameGeometry().right() >= under.x());
            top->close();
        }
        child<QLineEdit>(w, "lineEdit_orderid2")->setText(keyword);
        child<QPushButton>(w, "pushButton_2")->click();
    }
    void searchNumber(QWidget *w, const QString &number)
    {
        child<QLineEdit>(w, "lineEdit_orderid")->setText(number);
        child<QPushButton>(w, "pushButton")->click();
    }
    void clickLeft(int row)
    {
        QTableView *view = child<QTableView>(m_fajian, "tableView_left");
        QMetaObject::invokeMethod(m_fajian, "on_tableView_left_clicked", Q_ARG(QModelIndex, view->model()->index(row, 0)));
    }
    // Receiving searches answered by their search type, so that two searches in flight get their own reply.
    void answerBySearchType(const QMap<QString, Reply> &replies)
    {
        m_server.setHandler("order_list", [replies](const Request &r) { return replies.value(r.field("searchtype")); });
    }
    QTableWidget *products() { return child<QTableWidget>(m_fajian, "tableWidget"); }
    QComboBox *chooser(int row, int col) { return qobject_cast<QComboBox *>(products()->cellWidget(row, col)); }

private slots:
    void initTestCase() { QVERIFY(startStudioServer()); }
    void init()
    {
        clearServer();
        serveStudio();
    }
    void cleanup()
    {
        delete m_fajian.data();
        delete m_shangjian.data();
    }

    void requestBodies_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("how"); // "type<N>", "number", "scan"
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("fields");
        const QString t = "token=" + g_apiToken;
        QTest::newRow("dispatch 预约单号") << "dispatch" << "type0" << " a&shopid=9 " << "order_list"
                                       << QStringList{t, "uid=77", "shopid=11", "superid=5", "type=1", "orderpayforkey=a&shopid=9"};
        QTest::newRow("dispatch 拍摄日期") << "dispatch" << "type1" << "2023-05-12" << "order_list"
                                       << QStringList{t, "uid=77", "shopid=11", "superid=5", "type=2", "photodate=2023-05-12"};
        QTest::newRow("dispatch 看样日期") << "dispatch" << "type2" << "2023-05-13" << "order_list"
                                       << QStringList{t, "shopid=11", "superid=5", "type=3", "uid=77", "selectphotodate=2023-05-13"};
        QTest::newRow("dispatch 预约日期") << "dispatch" << "type3" << "2023-05-14" << "order_list"
                                       << QStringList{t, "shopid=11", "superid=5", "type=4", "selectphotodate=2023-05-14", "uid=77"};
        QTest::newRow("dispatch 发货日期") << "dispatch" << "type4" << "2023-05-15" << "order_list"
                                       << QStringList{t, "shopid=11", "superid=5", "type=5", "uid=77", "selectphotodate=2023-05-15"};
        QTest::newRow("dispatch 姓名") << "dispatch" << "type5" << "张 伟+" << "order_list"
                                     << QStringList{t, "uid=77", "shopid=11", "superid=5", "type=6", "orderpayforkey=张 伟+"};
        QTest::newRow("dispatch 电话") << "dispatch" << "type6" << "139" << "order_list"
                                     << QStringList{t, "uid=77", "shopid=11", "superid=5", "type=7", "orderpayforkey=139"};
        QTest::newRow("dispatch number as typed") << "dispatch" << "number" << " A1203 " << "order_list"
                                                  << QStringList{t, "uid=77", "shopid=11", "superid=5", "type=1", "orderpayforkey= A1203 "};
        QTest::newRow("dispatch scan") << "dispatch" << "scan" << "5001 " << "getorderbyid"
                                       << QStringList{t, "shopid=11", "orderid=5001 "};
        const QStringList types = {"1", "4", "5", "6", "7", "9", "2", "3"};
        for (int i = 0; i < types.size(); ++i) {
            const QString keyword = i == 0 ? " A1203 " : i >= 6 ? "王&芳" : "2023-06-0" + QString::number(i);
            const QStringList fields = i == 0 ? QStringList{t, "superid=5", "shopid=11", "searchtype=1", "keyword=" + keyword}
                                              : QStringList{t, "shopid=11", "searchtype=" + types.at(i), "keyword=" + keyword,
                                                            "superid=5"};
            QTest::newRow(qPrintable("receiving searchtype " + types.at(i)))
                << "receiving" << "type" + QString::number(i) << keyword << "order_list"
                << fields + QStringList{"uid=1001", "eid=77", "personid=77"};
        }
        QTest::newRow("receiving number") << "receiving" << "number" << "A1203 " << "order_list"
                                          << QStringList{t, "superid=5", "shopid=11", "searchtype=1", "keyword=A1203 ",
                                                         "uid=1001", "eid=77", "personid=77"};
        QTest::newRow("receiving scan") << "receiving" << "scan" << "5001" << "gotodigitalid_post"
                                        << QStringList{t, "uid=77", "shopid=11", "order_photo_id=5001", "superid=5",
                                                       "eid=77", "personid=77"};
    }
    void requestBodies()
    {
        QFETCH(QString, which);
        QFETCH(QString, how);
        QFETCH(QString, keyword);
        QFETCH(QString, action);
        QFETCH(QStringList, fields);
        QWidget *w = desk(which);
        w->show();
        if (how.startsWith("type"))
            searchByType(w, how.mid(4).toInt(), keyword);
        else if (how == "number")
            searchNumber(w, keyword);
        else {
            child<QLineEdit>(w, "lineEdit")->setText(keyword);
            pressReturnIn(w, "lineEdit");
        }
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount(action) == 1; }));
        QCOMPARE(fieldList(m_server.lastRequest(action)), fields);
        QVERIFY(settle(w));
    }

    void searchReplyPaths_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        for (const QString which : {"dispatch", "receiving"}) {
            QTest::newRow(qPrintable(which + " HTTP 500")) << which << Reply::httpError(500) << "警告" << "网络请求错误\n服务器出错（HTTP 500）";
            QTest::newRow(qPrintable(which + " refused")) << which << Reply::refused("不行", "0") << "警告" << "错误代码：0";
            QTest::newRow(qPrintable(which + " numeric code")) << which << Reply::numericCode(1) << "警告" << "错误代码：";
            QTest::newRow(qPrintable(which + " not JSON")) << which << Reply::notJson() << "" << "";
            QTest::newRow(qPrintable(which + " no orders")) << which << orderList({}) << "提示" << "没有查询到任何订单";
        }
    }
    void searchReplyPaths()
    {
        QFETCH(QString, which);
        QFETCH(Reply, reply);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QWidget *w = desk(which);
        w->show();
        searchNumber(w, "A1203");
        QVERIFY(settle(w));
        QTableView *left = child<QTableView>(w, "tableView_left");
        QCOMPARE(column(left->model(), 0).size(), 1);
        MsgBox::clearShown();

        m_server.queueReply("order_list", reply);
        searchNumber(w, "B2207");
        QCOMPARE(child<QPushButton>(w, "pushButton")->text(), QString("检索中..."));
        QVERIFY(settle(w));
        if (title.isEmpty())
            QCOMPARE(MsgBox::shown().size(), 0);
        else {
            QCOMPARE(MsgBox::shown().size(), 1);
            QCOMPARE(testsupport::lastBox(), title + "|" + text);
        }
        for (const char *name : {"pushButton", "pushButton_2"}) {
            QCOMPARE(child<QPushButton>(w, name)->text(), QString("检索"));
            QVERIFY(child<QPushButton>(w, name)->isEnabled());
        }
        QCOMPARE(column(left->model(), 0), QStringList{which == "dispatch" ? "A1203" : "A1203-1"});
    }

    // Product lists stay with their orders, whatever order the replies arrive in.
    void productsFollowTheirOrders()
    {
        const QMap<QString, int> delays{{"1", 400}, {"2", 800}, {"3", 0}, {"8", 300}, {"9", 900}};
        m_server.setHandler("ordergoods", [delays](const Request &r) {
            const QString id = r.field("orderid");
            return goods({product(id + "01", "P" + id)}, delays.value(id));
        });
        m_server.queueReply("order_list", orderList({order("1", "K1"), order("2", "K2"), order("3", "K3")}));
        FaJianDialog *w = qobject_cast<FaJianDialog *>(desk("dispatch"));
        w->show();
        searchByType(w, 1, "2023-07-01");
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("ordergoods") == 3; }));
        clickLeft(0); // before its products are there: shown once they arrive
        QVERIFY(settle(w));
        QCOMPARE(products()->item(1, 0)->text(), QString("P1"));
        QCOMPARE(child<QLabel>(w, "label_currentID")->text(), QString("当前订单号：K1"));
        for (int row : {2, 1}) {
            clickLeft(row);
            QCOMPARE(products()->item(1, 0)->text(), "P" + QString::number(row + 1));
        }
        // scanning a listed order asks for its products again and changes no other order
        clickLeft(0);
        m_server.queueReply("getorderbyid", Reply::ok({{"order", order("2", "K2")},
                                                       {"printshops", entries({"A"}, 1)}, {"factorys", entries({"B"}, 3)}}));
        child<QLineEdit>(w, "lineEdit")->setText("2");
        pressReturnIn(w, "lineEdit");
        QVERIFY(settle(w));
        QCOMPARE(products()->item(1, 0)->text(), QString("P1"));
        QCOMPARE(column(child<QTableView>(w, "tableView_left")->model(), 0), (QStringList{"K1", "K2", "K3"}));
        clickLeft(1);
        QCOMPARE(products()->item(1, 0)->text(), QString("P2"));

        // a reply that arrives after its order left the list is dropped
        m_server.queueReply("order_list", orderList({order("8", "K8")}));
        m_server.queueReply("order_list", orderList({order("9", "K9")}));
        searchByType(w, 2, "2023-07-02");
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("ordergoods") == 5; }));
        searchByType(w, 2, "2023-07-03");
        clickLeft(0);
        QVERIFY(settle(w));
        QCOMPARE(column(child<QTableView>(w, "tableView_left")->model(), 0), QStringList{"K9"});
        QCOMPARE(products()->item(1, 0)->text(), QString("P9"));
        QVERIFY(MsgBox::shown().isEmpty());
    }

    void submission_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");   // the refusal, or "" when posted
        QTest::addColumn<QString>("sendgoods"); // what is posted
        QTest::newRow("nothing shown") << "none" << "请先选择订单" << "";
        QTest::newRow("list emptied by a search") << "emptied" << "请先选择订单" << "";
        QTest::newRow("order without products") << "placeholder" << "该订单没有产品" << "";
        QTest::newRow("scan without shops") << "scan no lists" << "后台没有设置冲印公司或后期工厂" << "";
        QTest::newRow("unassigned print shop")
            << "search" << "" << R"([{"factoryid":"3","ordergoodid":"101","printshopid":"0"}])";
        QTest::newRow("scanned order keeps 请选择")
            << "scan" << "" << R"([{"factoryid":"3","ordergoodid":"101","printshopid":"0"},{"factoryid":"4","ordergoodid":"102","printshopid":"2"}])";
        QTest::newRow("apply to all")
            << "apply" << "" << R"([{"factoryid":"4","ordergoodid":"101","printshopid":"2"},{"factoryid":"4","ordergoodid":"102","printshopid":"2"}])";
    }
    void submission()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        QFETCH(QString, sendgoods);
        FaJianDialog *w = qobject_cast<FaJianDialog *>(desk("dispatch"));
        w->show();
        const QJsonArray two{product("101", "相册", "", "后期一厂"), product("102", "摆台", "快印坊", "后期二厂")};
        m_server.setReply("ordergoods", goods(setup == "placeholder" ? QJsonArray() : setup == "search" ? QJsonArray{two.at(0)} : two));
        if (setup.startsWith("scan")) {
            QJsonObject reply{{"order", order("7", "K7")}};
            if (setup == "scan") {
                reply.insert("printshops", entries({"星光冲印", "快印坊"}, 1));
                reply.insert("factorys", entries({"后期一厂", "后期二厂"}, 3));
            }
            m_server.queueReply("getorderbyid", Reply::ok(reply));
            child<QLineEdit>(w, "lineEdit")->setText("7");
            pressReturnIn(w, "lineEdit");
        } else if (setup != "none") {
            m_server.queueReply("order_list", orderList({order("7", "K7")}));
            searchNumber(w, "K7");
        }
        QVERIFY(settle(w));
        if (setup != "none")
            clickLeft(0);
        if (setup == "emptied")
            searchByType(w, 1, "");
        if (setup == "apply") {
            chooser(1, FaJianDialog::ColPrintShop)->setCurrentIndex(0); // rows follow row 0 only
            chooser(0, FaJianDialog::ColPrintShop)->setCurrentIndex(2);
            chooser(0, FaJianDialog::ColFactory)->setCurrentIndex(2);
        }
        MsgBox::clearShown();
        const int queries = m_server.requestCount("ordergoods");
        child<QPushButton>(w, "pushButton_submit")->click();
        if (!message.isEmpty()) {
            QCOMPARE(MsgBox::lastShown().text, message);
            QTest::qWait(50);
            QCOMPARE(m_server.requestCount("sendtoshop"), 0);
            return;
        }
        QVERIFY(settle(w));
        const Request sent = m_server.lastRequest("sendtoshop");
        QCOMPARE(sent.fieldNames(), (QStringList{"token", "uid", "shopid", "orderid", "sendgoodsinfo"}));
        QCOMPARE(sent.field("uid"), QString("77"));
        QCOMPARE(sent.field("orderid"), QString("7"));
        QCOMPARE(sent.field("sendgoodsinfo"), sendgoods);
        QCOMPARE(testsupport::lastBox(), QString("提示|发件成功!"));
        QCOMPARE(m_server.requestCount("ordergoods"), queries + 1); // the new send times are fetched
    }

    // Receiving: each search fills the table it was posted for; a registration changes the tables only
    // when the web service took it.
    void receivingTablesAndRegistration()
    {
        ShangJianDialog *w = qobject_cast<ShangJianDialog *>(desk("receiving"));
        w->show();
        QAbstractItemModel *left = child<QTableView>(w, "tableView_left")->model();
        QAbstractItemModel *right = child<QTableView>(w, "tableView_right")->model();
        answerBySearchType({{"1", orderList({order("1", "K1"), order("2", "K2")}).withDelay(400)},
                            {"2", orderList({order("3", "K3")})}});
        searchNumber(w, "K1");
        searchByType(w, 6, "姓名");
        QVERIFY(settle(w));
        QCOMPARE(column(left, 0), (QStringList{"K1-1", "K2-1"}));
        QCOMPARE(column(right, 0), QStringList{"K3-1"});

        // a double-click whose registration fails keeps the order
        m_server.queueReply("gotodigitalid_post", Reply::httpError(502));
        QMetaObject::invokeMethod(w, "on_tableView_left_doubleClicked", Q_ARG(QModelIndex, left->index(1, 0)));
        QVERIFY(settle(w));
        QCOMPARE(MsgBox::lastShown().text, QString("网络请求错误\n服务器出错（HTTP 502）"));
        QCOMPARE(column(left, 0), (QStringList{"K1-1", "K2-1"}));
        QCOMPARE(m_server.lastRequest("gotodigitalid_post").field("order_photo_id"), QString("2"));
        // one that goes through moves it to the right table
        m_server.queueReply("gotodigitalid_post", Reply::ok({{"message", "上件成功"}, {"order", order("2", "K2")}}));
        QMetaObject::invokeMethod(w, "on_tableView_left_doubleClicked", Q_ARG(QModelIndex, left->index(1, 0)));
        QVERIFY(settle(w));
        QCOMPARE(column(left, 0), QStringList{"K1-1"});
        QCOMPARE(column(right, 0), (QStringList{"K3-1", "K2-1"}));
        QCOMPARE(column(right, 4), (QStringList{"母3-父3", ""}));
    }

    void registrationReplies_data()
    {
        QTest::addColumn<bool>("scan");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("withOrder");
        QTest::addColumn<bool>("box");
        QTest::addColumn<QStringList>("rightRows");
        QTest::newRow("scanned, taken") << true << "1" << true << false << QStringList{"K5-2", "K6-1"};
        QTest::newRow("scanned, already there") << true << "1002" << true << true << QStringList{"K5-2", "K6-1"};
        QTest::newRow("double-click, taken") << false << "1" << true << true << QStringList{"K5-2", "K6-1"};
        QTest::newRow("taken, no order") << true << "1" << false << false << QStringList{"K5-2"};
        QTest::newRow("refused") << true << "0" << true << true << QStringList{"K5-2"};
    }
    void registrationReplies()
    {
        QFETCH(bool, scan);
        QFETCH(QString, code);
        QFETCH(bool, withOrder);
        QFETCH(bool, box);
        QFETCH(QStringList, rightRows);
        ShangJianDialog *w = qobject_cast<ShangJianDialog *>(desk("receiving"));
        w->show();
        // the right table holds K5 with service count 2; the registered order is K6-1
        answerBySearchType({{"3", orderList({order("5", "K5", "2")})}, {"1", orderList({order("6", "K6")})}});
        searchByType(w, 7, "139");
        searchNumber(w, "K6");
        QVERIFY(settle(w));
        MsgBox::clearShown();
        QJsonObject reply{{"code", code}, {"message", "信息" + code}};
        if (withOrder)
            reply.insert("order", QJsonObject{{"orderpayforkey", "K6"}, {"servicetimes", "1"}, {"momname", "母"},
                                              {"gotodigitaltime", "2023-08-01 09:30:00"}});
        m_server.queueReply("gotodigitalid_post", Reply::json(reply));
        if (scan) {
            child<QLineEdit>(w, "lineEdit")->setText("6");
            pressReturnIn(w, "lineEdit");
        } else {
            QAbstractItemModel *left = child<QTableView>(w, "tableView_left")->model();
            QMetaObject::invokeMethod(w, "on_tableView_left_doubleClicked", Q_ARG(QModelIndex, left->index(0, 0)));
        }
        QVERIFY(settle(w));
        QAbstractItemModel *right = child<QTableView>(w, "tableView_right")->model();
        QCOMPARE(column(right, 0), rightRows);
        if (rightRows.size() > 1)
            QCOMPARE(right->index(1, 3).data().toString(), QString("2023-08-01"));
        QCOMPARE(MsgBox::shown().size(), box ? 1 : 0);
        if (box)
            QCOMPARE(MsgBox::lastShown().text, "信息" + code);
        // only a double-click that went through takes the order off the left table
        const int leftRows = child<QTableView>(w, "tableView_left")->model()->rowCount();
        QCOMPARE(leftRows, !scan && code == "1" ? 0 : 1);
    }

    // The export writes the right table as shown, as CSV with a byte-order mark, a cell that a spreadsheet would
    // run as a formula behind a "'"; a failed write is reported.
    void exportAndKeys_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QByteArray>("firstLines");
        QTest::addColumn<bool>("diskFull"); // an earlier export is there and the disk is full
        QTest::newRow("dispatch") << "dispatch" << true
                                  << QByteArray("\xEF\xBB\xBF产品名称,尺寸,类别,数量,P数,发货日期,加急取件,备注,冲印公司,发冲印公司时间,"
                                                "后期工厂,发后期工厂时间,打印条码\r\n\"相册, \"\"大\"\"\",,,\"'-1\",,2023-07-07,否,"
                                                "\"'=HYPERLINK(\"\"http://x.example\"\",\"\"看\"\")\","
                                                "请选择,,后期一厂,,是\r\n") << false;
        QTest::newRow("receiving") << "receiving" << true
                                   << QByteArray("\xEF\xBB\xBF单号,所属门店,上件操作人,上件日期,客人姓名,选片时间,选片完成时间,"
                                                 "选片人,样后修片师,样前对比片,加急日期,发货日期\r\n007-1,,,,母7-父7,,,,,,2023-06-27,"
                                                 "2023-07-07\r\n") << false;
        QTest::newRow("dispatch, write fails") << "dispatch" << false << QByteArray() << false;
        QTest::newRow("receiving, write fails") << "receiving" << false << QByteArray() << false;
        QTest::newRow("receiving, disk full") << "receiving" << false << QByteArray() << true;
    }
    void exportAndKeys()
    {
        QFETCH(QString, which);
        QFETCH(bool, writable);
        QFETCH(QByteArray, firstLines);
        QFETCH(bool, diskFull);
        QWidget *w = desk(which);
        w->show();
        QJsonObject good = product("101", "相册, \"大\"", "", "后期一厂");
        good.insert("number", "-1");
        good.insert("descr", "=HYPERLINK(\"http://x.example\",\"看\")");
        m_server.setReply("ordergoods", goods({good}));
        m_server.setHandler("order_list", [](const Request &) { return orderList({order("7", "007")}); });
        if (which == "dispatch") {
            searchNumber(w, "K7");
            QVERIFY(settle(w));
            clickLeft(0);
        } else {
            searchByType(w, 6, "母7");
            QVERIFY(settle(w));
        }
        // the scan field has the first focus; Escape, or any key but Return, never closes a desk
        QApplication::setActiveWindow(w);
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(w, "lineEdit"));
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(w->isVisible());

        QTemporaryDir dir;
        QFile blocker(dir.path() + "/file");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString path = writable || diskFull ? dir.path() + "/导出" : blocker.fileName() + "/x.csv";
        if (diskFull)
            QVERIFY(testsupport::put(path + ".csv", "earlier export"));
        FileDialogs::clearAsked();
        FileDialogs::queueAnswer(path);
        {
            testsupport::FileSizeLimit full(diskFull ? 40 : 1 << 30);
            child<QPushButton>(w, which == "dispatch" ? "pushButton_excel" : "pushButton_3")->click();
        }
        QCOMPARE(FileDialogs::asked().size(), 1);
        QCOMPARE(FileDialogs::asked().first().filter, QString("CSV 文件(*.csv)"));
        if (!writable) {
            QCOMPARE(MsgBox::lastShown().title, QString("警告"));
            QVERIFY(MsgBox::lastShown().text.startsWith("导出失败"));
            // the reason in words: the disk, or a file where the path wants a folder
            QVERIFY2(MsgBox::lastShown().text.endsWith(diskFull ? "\n磁盘空间不足或文件过大" : "\n路径中有同名的文件"),
                     qPrintable(MsgBox::lastShown().text));
            if (diskFull) {
                QCOMPARE(testsupport::bytesOf(path + ".csv"), QByteArray("earlier export"));
                QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"file", "导出.csv"}));
            }
            return;
        }
        QFile written(path + ".csv");
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), firstLines);
        QVERIFY(MsgBox::shown().isEmpty());
    }
};

TESSALY_TEST_MAIN(TestDeskWindows)
#include "tst_deskwindows.moc"
