#include "globals.h"
#include "msgbox.h"
#include "multiselectcombobox.h"
#include "platform.h"
#include "searchorder.h"
#include "orderwindowtests.h"
#include "ui_exportdovraresult.h"
#include "ui_searchorder.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>

Q_DECLARE_METATYPE(standin::Reply)

namespace {

using testsupport::child;
using testsupport::clickRow;
using testsupport::kStoreIds;
using testsupport::orderModelOf;
using testsupport::searchAndWait;
using testsupport::storesOf;
using testsupport::ticksOf;

} // namespace

class TestSearchOrder : public QObject, protected testsupport::OrderWindowFixture<SearchOrder>
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(startWindowStudio()); }
    void init() { prepareWindowTest(); }
    void cleanup() { closeWindowTest(); }

    void searchBodies_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("searchType");
        QTest::addColumn<QStringList>("fields"); // after token, before storesids
        QTest::addColumn<QString>("prompt");     // keyword types
        QTest::addColumn<QList<int>>("stores");  // ticked rows of the store box
        QTest::addColumn<QString>("storesids");

        const QStringList f1{"eid", "shopid", "searchtype", "superid", "keyword", "personid", "uid"};
        const QStringList f2{"shopid", "searchtype", "eid", "personid", "uid", "superid", "keyword"};
        const QStringList f3{"shopid", "searchtype", "superid", "keyword", "eid", "uid", "personid"};
        const QStringList f4{"shopid", "searchtype", "superid", "keyword", "eid", "personid", "uid"};
        const QStringList f8{"shopid", "searchtype", "eid", "superid", "keyword", "personid", "uid"};
        const QList<int> all{0, 1, 2}, none, outer{0, 2};
        QTest::newRow("预约单号") << "预约单号" << "1" << f1 << "请输入订单号" << all << "21,22,23";
        QTest::newRow("姓名") << "姓名" << "2" << f2 << "请输入姓名" << none << "";
        QTest::newRow("电话") << "电话" << "3" << f3 << "请输入电话" << outer << "21,23";
        QTest::newRow("拍摄日期") << "拍摄日期" << "4" << f4 << "" << outer << "21,23";
        QTest::newRow("选片日期") << "选片日期" << "5" << f4 << "" << all << "21,22,23";
        QTest::newRow("预约日期") << "预约日期" << "6" << f4 << "" << none << "";
        QTest::newRow("发货日期") << "发货日期" << "7" << f4 << "" << all << "21,22,23";
        QTest::newRow("选片完成日期") << "选片完成日期" << "8" << f8 << "" << all << "21,22,23";
        QTest::newRow("上件日期") << "上件日期" << "9" << f2 << "" << all << "21,22,23";
        QTest::newRow("取件完成日期") << "取件完成日期" << "10" << f8 << "" << all << "21,22,23";
        QTest::newRow("品管安排日期") << "品管安排日期" << "11" << f8 << "" << all << "21,22,23";
        QTest::newRow("转设计时间") << "转设计时间" << "12" << f2 << "" << all << "21,22,23";
        QTest::newRow("转数码日期") << "转数码日期" << "13" << f8 << "" << outer << "21,23";
    }
    void searchBodies()
    {
        QFETCH(QString, label);
        QFETCH(QString, searchType);
        QFETCH(QStringList, fields);
        QFETCH(QString, prompt);
        QFETCH(QList<int>, stores);
        QFETCH(QString, storesids);

        SearchOrder *w = open();
        auto *box = child<QComboBox>(w, "comboBox");
        if (box->findText(label) < 0)
            box->addItem(label); // types no list offers are still searched by their label
        box->setCurrentText(label);
        child<QCalendarWidget>(w, "calendar")->setSelectedDate(QDate(2024, 3, 5));
        for (int r = 0; r < kStoreIds.size(); ++r)
            storesOf(w)->item(r)->setCheckState(stores.contains(r) ? Qt::Checked : Qt::Unchecked);
        const QString typed = " 张&b=+%三 ";
        if (!prompt.isEmpty()) {
            child<QPushButton>(w, "searchButton")->click();
            QCOMPARE(MsgBox::lastShown().title, QString("警告"));
            QCOMPARE(MsgBox::lastShown().text, prompt);
            QCOMPARE(child<QPushButton>(w, "searchButton")->text(), QString("检索"));
        }
        child<QLineEdit>(w, "orderNumber")->setText(typed);
        QVERIFY(searchAndWait(w, m_server));
        QCOMPARE(m_server.requestCount("order_list"), 1); // the prompt posted nothing

        const standin::Request r = m_server.lastRequest("order_list");
        QCOMPARE(r.fieldNames(), QStringList{"token"} + fields + QStringList{"storesids"});
        const QMap<QString, QString> expected{
            {"token", g_apiToken}, {"eid", "77"},         {"personid", "77"}, {"shopid", "11"},
            {"superid", "5"},      {"uid", "1001"},       {"searchtype", searchType},
            {"keyword", prompt.isEmpty() ? "2024-03-05" : typed}, {"storesids", storesids}};
        for (const auto &field : r.fields)
            QCOMPARE(field.second, expected.value(field.first));
    }

    void replyOutcomes_data()
    {
        QTest::addColumn<standin::Reply>("reply");
        QTest::addColumn<QString>("title"); // "" when no box is shown
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rows"); // -1: the earlier rows and ticks stay

        QJsonObject numbers{{"order_photo_id", 7}, {"orderpath", QJsonValue::Null}, {"role10", "0"}};
        QTest::newRow("HTTP 500") << standin::Reply::httpError(500) << "警告" << "网络请求错误\n服务器出错（HTTP 500）" << -1;
        QTest::newRow("connection closed") << standin::Reply::closed() << "警告" << "网络请求错误\n请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求" << -1;
        QTest::newRow("not JSON") << standin::Reply::notJson() << "" << "" << -1;
        QTest::newRow("code 0") << standin::Reply::refused("拒绝", "0") << "警告" << "检索错误：0" << -1;
        QTest::newRow("numeric code") << standin::Reply::numericCode(1) << "警告" << "检索错误：" << -1;
        QTest::newRow("empty data") << standin::Reply::ok({{"data", QJsonArray()}}) << "提示" << "没有查询到任何订单"
                                    << 0;
        QTest::newRow("no data") << standin::Reply::ok() << "提示" << "没有查询到任何订单" << 0;
        QTest::newRow("odd orders") << standin::Reply::ok({{"data", QJsonArray{"text", numbers}}}) << "" << "" << 2;
    }
    void replyOutcomes()
    {
        QFETCH(standin::Reply, reply);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(int, rows);

        SearchOrder *w = open();
        QVERIFY(testsupport::listAllOrders(w, m_server));
        const int listed = w->orderList().size();
        QCOMPARE(listed, m_studio->orders.size());
        clickRow(w, 1);
        MsgBox::clearShown();

        m_server.queueReply("order_list", reply);
        QVERIFY(searchAndWait(w, m_server));
        if (title.isEmpty()) {
            QVERIFY(MsgBox::shown().isEmpty());
        } else {
            QCOMPARE(MsgBox::shown().size(), 1);
            QCOMPARE(MsgBox::lastShown().title, title);
            QCOMPARE(MsgBox::lastShown().text, text);
        }
        if (rows < 0) {
            QCOMPARE(orderModelOf(w)->rowCount(), listed);
            QVERIFY(w->orderList().at(1).checked);
            QCOMPARE(orderModelOf(w)->item(1, 0)->data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        } else {
            QCOMPARE(orderModelOf(w)->rowCount(), rows);
            QCOMPARE(w->orderList().size(), rows);
            QVERIFY(!w->hasCheckedOrder());
            for (int r = 0; r < rows; ++r) {
                for (int c = 1; c < 15; ++c)
                    QCOMPARE(orderModelOf(w)->item(r, c)->text(), QString());
                QCOMPARE(w->orderList().at(r).pickupTypeText, QString("自取"));
            }
        }
        QCOMPARE(w->findChildren<QNetworkAccessManager *>().size(), 1); // one for every search
    }

    // "检索" is disabled while its search is out; the keyboard focus it had comes back to it and does not
    // stay on "取消", where Return would close the window.
    void searchGivesTheFocusBack()
    {
        SearchOrder *w = open();
        QVERIFY(QTest::qWaitForWindowActive(w, testsupport::kWaitMs));
        auto *searchButton = child<QPushButton>(w, "searchButton");
        searchButton->setFocus();
        QVERIFY(testsupport::listAllOrders(w, m_server));
        QCOMPARE(w->focusWidget(), searchButton);
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        QVERIFY(w->isVisible());
    }

    // Return confirms the year typed into the calendar; it does not search with the date still picked.
    void returnInTheCalendarsYearSearchesNothing()
    {
        SearchOrder *w = open();
        QVERIFY(QTest::qWaitForWindowActive(w, testsupport::kWaitMs));
        auto *calendar = child<QCalendarWidget>(w, "calendar");
        calendar->setSelectedDate(QDate(2023, 5, 12));
        auto *year = calendar->findChild<QSpinBox *>();
        QVERIFY(year);
        year->show();
        year->setFocus();
        year->setValue(2022);
        QTest::keyClick(year, Qt::Key_Return);
        QTest::qWait(200);
        QVERIFY(m_server.requests("order_list").isEmpty());
        QCOMPARE(calendar->yearShown(), 2022);
        QVERIFY(w->isVisible());
    }

    void tableShowsTheOrders()
    {
        SearchOrder *w = open();
        QStandardItemModel *m = orderModelOf(w);
        QCOMPARE(m->columnCount(), 15);
        QCOMPARE(m->horizontalHeaderItem(13)->text(), QString("上件日期"));
        QCOMPARE(m->horizontalHeaderItem(14)->text(), QString("订单路径"));
        QVERIFY(testsupport::listAllOrders(w, m_server));
        for (int r = 0; r < m_studio->orders.size(); ++r) {
            const standin::SampleOrder &o = m_studio->orders.at(r);
            QCOMPARE(m->item(r, 0)->data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
            QVERIFY(!(m->item(r, 0)->flags() & Qt::ItemIsUserCheckable));
            QCOMPARE(m->item(r, 1)->text(), o.payForKey);
            QCOMPARE(m->item(r, 13)->text(), o.shotDate + " 18:00:00");
            QCOMPARE(m->item(r, 14)->text(), o.orderPath);
            for (int c = 0; c < 14; ++c)
                QCOMPARE(m->item(r, c)->data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
            QVERIFY(!m->item(r, 14)->data(Qt::TextAlignmentRole).isValid());
        }

        // the searches of the demo: by order number and by shooting day
        child<QComboBox>(w, "comboBox")->setCurrentText("预约单号");
        child<QLineEdit>(w, "orderNumber")->setText("A1203");
        QVERIFY(searchAndWait(w, m_server));
        QCOMPARE(m->rowCount(), 1);
        QCOMPARE(m->item(0, 1)->text(), QString("A1203"));
        child<QComboBox>(w, "comboBox")->setCurrentText("拍摄日期");
        child<QCalendarWidget>(w, "calendar")->setSelectedDate(QDate::fromString(m_studio->orders.at(3).shotDate, Qt::ISODate));
        QVERIFY(searchAndWait(w, m_server));
        QCOMPARE(m->rowCount(), 2);
        QCOMPARE(m->item(1, 1)->text(), QString("D4410"));
    }

    void columnWidths_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QList<int>>("widths");
        QTest::newRow("999, 15") << 999 << 15 << QList<int>{60, 130, 91, 48, 91, 91, 91, 100, 98, 98, 98, 98, 98, 98, 323};
        QTest::newRow("1000, 15") << 1000 << 15 << QList<int>{60, 122, 84, 56, 84, 84, 84, 84, 94, 94, 94, 94, 94, 94, 300};
        QTest::newRow("800, 15") << 800 << 15 << QList<int>{60, 130, 68, 36, 68, 68, 68, 75, 74, 74, 74, 74, 74, 74, 244};
        QTest::newRow("999, 14") << 999 << 14 << QList<int>{60, 130, 91, 48, 91, 91, 91, 100, 98, 98, 98, 98, 98, 323};
        QTest::newRow("1000, 14") << 1000 << 14 << QList<int>{60, 122, 84, 56, 84, 84, 84, 84, 94, 94, 94, 94, 94, 300};
    }
    void columnWidths()
    {
        QFETCH(int, width);
        QFETCH(int, columns);
        QFETCH(QList<int>, widths);
        QCOMPARE(orderColumnWidths(width, columns), widths);
    }

    void windowKeepsTheWidthsOnPaint()
    {
        SearchOrder *w = open();
        QVERIFY(QTest::qWaitForWindowExposed(w, testsupport::kWaitMs));
        auto *view = child<QTableView>(w, "tableView");
        view->setColumnWidth(3, 5); // as if dragged
        w->repaint();
        const QList<int> expected = orderColumnWidths(view->width(), 15);
        for (int c = 0; c < 15; ++c)
            QCOMPARE(view->columnWidth(c), expected.at(c));
    }

    void tickingAndInverting()
    {
        SearchOrder *w = open();
        QVERIFY(testsupport::listAllOrders(w, m_server));
        auto *view = child<QTableView>(w, "tableView");
        QCOMPARE(w->orderList().size(), 5);

        clickRow(w, 2);
        QCOMPARE(ticksOf(w), QString("--X--"));
        QCOMPARE(view->styleSheet(), kTickedRowStyle);
        QVERIFY(w->hasCheckedOrder());
        clickRow(w, 2, 0); // any column of the row
        QCOMPARE(ticksOf(w), QString("-----"));
        QCOMPARE(view->styleSheet(), kUntickedRowStyle);
        QVERIFY(!w->hasCheckedOrder());

        clickRow(w, 1);
        QCOMPARE(ticksOf(w), QString("-X---"));
        child<QPushButton>(w, "pushButton_selectOpposite")->click();
        QCOMPARE(ticksOf(w), QString("X-XXX"));
        child<QPushButton>(w, "pushButton_selectOpposite")->click();
        QCOMPARE(ticksOf(w), QString("-X---"));
        child<QPushButton>(w, "pushButton_selectAll")->click();
        QCOMPARE(ticksOf(w), QString("XXXXX"));
        QCOMPARE(view->styleSheet(), kTickedRowStyle); // the buttons leave the colours alone
        for (const OrderRowInfo &row : w->orderList())
            QVERIFY(!row.processed);
    }

    void contextMenuOpensTheOrderFolder()
    {
        const QString path = m_studio->picRoot + "A1203/";
        QJsonObject withPath{{"orderpayforkey", "A1"}, {"orderpath", path}};
        QJsonObject withoutPath{{"orderpayforkey", "A2"}, {"orderpath", 12}};
        m_server.queueReply("order_list", standin::Reply::ok({{"data", QJsonArray{withoutPath, withPath}}}));
        SearchOrder *w = open();
        QVERIFY(testsupport::listAllOrders(w, m_server));
        auto *view = child<QTableView>(w, "tableView");
        auto *menu = view->findChild<QMenu *>();
        QVERIFY(menu);
        QAction *open = menu->actions().value(0);
        QCOMPARE(open->text(), QString("打开订单目录"));

        emit view->customContextMenuRequested(QPoint(5, 5)); // no current row: no menu
        QVERIFY(!menu->isVisible());
        clickRow(w, 0);
        emit view->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(menu->isVisible());
        QVERIFY(!open->isEnabled());
        menu->hide();
        clickRow(w, 1);
        emit view->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(open->isEnabled());
        open->trigger();
        menu->hide();
        QCOMPARE(Platform::openedPaths(), QStringList{Platform::localPath(path)});
    }

    void toolNameSwitchesTheMode()
    {
        g_storeNames.clear(); // a shop without stores, no save path kept
        g_storeIds.clear();
        SearchOrder *w = open();
        w->setToolName("分件管理");
        auto *stores = child<MultiSelectComboBox>(w, "cb_shops");
        QCOMPARE(stores->count(), 0);
        QCOMPARE(stores->overlayButton()->text(), QString("点击选择店铺"));
        QCOMPARE(child<QLineEdit>(w, "pathLineEdit")->text(), QString());
        for (const char *hidden : {"groupBox", "progressBar", "label", "label_finishOrdersNum"})
            QVERIFY2(child(w, hidden)->isHidden(), hidden);
        auto *box = child<QComboBox>(w, "comboBox");
        QCOMPARE(box->currentText(), QString("转数码日期"));
        QCOMPARE(child<QPushButton>(w, "pushButton_separate")->text(), QString("开始分件"));

        w->setToolName("批量删除");
        w->setToolName("批量删除");
        QCOMPARE(box->count(), 8);
        QCOMPARE(box->currentText(), QString("预约单号"));
        QVERIFY(child(w, "selectPathButton")->isHidden());
        QVERIFY(child(w, "pathLineEdit")->isHidden());
        QCOMPARE(child<QPushButton>(w, "pushButton_separate")->text(), QString("批量删除"));
    }

    void shopSwitchLeavesTheWindowsStores()
    {
        SearchOrder *w = open();
        storesOf(w)->item(1)->setCheckState(Qt::Unchecked);
        g_storeIds = QStringList{"91"}; // the tool window switched to a shop with one store
        g_storeNames = QStringList{"别店"};
        QVERIFY(testsupport::listAllOrders(w, m_server));
        QCOMPARE(m_server.lastRequest("order_list").field("storesids"), QString("21,23"));
    }

    void closingDropsTheReplyStillOut()
    {
        m_server.queueReply("order_list", standin::Reply::ok().withDelay(300));
        SearchOrder *w = open();
        w->setAttribute(Qt::WA_DeleteOnClose);
        child<QComboBox>(w, "comboBox")->setCurrentText("拍摄日期");
        child<QPushButton>(w, "searchButton")->click();
        QTest::keyClick(w, Qt::Key_Escape); // closes like the close button
        QVERIFY(testsupport::waitFor([&] { return m_win.isNull(); }));
        QTest::qWait(500);
        QVERIFY(MsgBox::shown().isEmpty());
    }

    void twinFormIsTheSameForm()
    {
        QDialog search, dovra;
        Ui_SearchOrder searchUi;
        searchUi.setupUi(&search);
        Ui_ExportDovraResult dovraUi;
        dovraUi.setupUi(&dovra);
        auto tree = [](QDialog &d) {
            QStringList out;
            for (QObject *o : d.findChildren<QObject *>())
                out << o->objectName() + ":" + o->metaObject()->className();
            return out;
        };
        QCOMPARE(tree(dovra), tree(search));
        QCOMPARE(dovra.windowTitle(), QString("检索订单"));
        // only the search and cancel buttons take the keyboard focus
        for (QWidget *wd : search.findChildren<QWidget *>()) {
            if (qobject_cast<QPushButton *>(wd) || wd->objectName() == "pathLineEdit") {
                const bool focusable = wd->objectName() == "searchButton" || wd->objectName() == "cancelButton";
                QVERIFY2((wd->focusPolicy() == Qt::NoFocus) != focusable, qPrintable(wd->objectName()));
            }
        }
    }
};

TESSALY_TEST_MAIN(TestSearchOrder)
#include "tst_searchorder.moc"
