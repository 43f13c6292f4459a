#include "fileoperation.h"
#include "globals.h"
#include "importordermodel.h"
#include "msgbox.h"
#include "platform.h"
#include "searchorderwindow.h"
#include "studiofixture.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

using testsupport::searchAndWait;

namespace {

struct Picked {
    QList<QList<ImportOrderModel *>> lists;
};

QStandardItemModel *modelOf(SearchOrderWindow *w)
{
    return qobject_cast<QStandardItemModel *>(w->findChild<QTableView *>("tableView")->model());
}

QPushButton *searchButton(SearchOrderWindow *w)
{
    return w->findChild<QPushButton *>("searchButton");
}


void setKind(SearchOrderWindow *w, int kind, const QString &text)
{
    w->findChild<QComboBox *>("comboBox")->setCurrentIndex(kind);
    w->findChild<QLineEdit *>("orderNumber")->setText(text);
}

void tick(SearchOrderWindow *w, int row, Qt::CheckState state)
{
    modelOf(w)->item(row, 0)->setCheckState(state);
}

} // namespace

class TestSearchOrderWindow : public QObject, protected testsupport::StudioFixture
{
    Q_OBJECT

    QString m_oldCurrent;
    QPointer<SearchOrderWindow> m_win;
    Picked m_picked;

    // A fresh picker wired to record every hand-over.
    SearchOrderWindow *open()
    {
        m_picked = Picked();
        m_win = new SearchOrderWindow(nullptr, ShopSettings::current());
        connect(m_win.data(), &SearchOrderWindow::addSelectOrderSigl, this,
                [this](QList<ImportOrderModel *> list) { m_picked.lists.append(list); });
        m_win->show();
        return m_win;
    }

    // Lists every sample order: a search the service answers with all of them.
    bool listAll(SearchOrderWindow *w)
    {
        m_server.queueReply("order_list", standin::Reply::json(m_studio->orderListReply(standin::Request())));
        setKind(w, SearchOrderWindow::ByUploadDate, QString());
        return searchAndWait(w, m_server);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(startStudioServer());
        m_oldCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_roots->base()));
    }
    void cleanupTestCase()
    {
        QDir::setCurrent(m_oldCurrent);
    }
    void init()
    {
        MsgBox::clearShown();
        m_server.clearRequests();
    }
    void cleanup()
    {
        delete m_win.data();
        for (const auto &list : m_picked.lists)
            for (ImportOrderModel *r : list)
                delete r; // a receiver owns what it was given; repeats are the same objects
        m_picked = Picked();
        serveStudio();
    }

    void eachKindPostsItsFieldsInOrder()
    {
        struct Case {
            int kind;
            QString typed;
            QString searchType;
            QString keyword;
            QStringList tail;
        };
        const QString date = "2024-03-05";
        const QList<Case> cases{
            {0, " A1&b=2 ", "1", "A1&b=2", {"uid", "eid", "personid"}},
            {1, "ignored", "4", date, {"eid", "personid", "uid"}},
            {2, "", "5", date, {"eid", "uid"}},
            {3, "", "6", date, {"eid", "personid", "uid"}},
            {4, "", "7", date, {"uid", "eid", "personid"}},
            {5, "", "9", date, {"uid", "eid", "personid"}},
            {6, " 张 三 ", "2", " 张 三 ", {"eid", "personid"}},
            {7, " 138 ", "3", "138", {"eid", "personid"}},
        };
        SearchOrderWindow *w = open();
        w->findChild<QCalendarWidget *>("calendar")->setSelectedDate(QDate(2024, 3, 5));
        for (const Case &c : cases) {
            setKind(w, c.kind, c.typed);
            QVERIFY2(searchAndWait(w, m_server), qPrintable(QString::number(c.kind)));
            const standin::Request r = m_server.lastRequest("order_list");
            QCOMPARE(r.fieldNames(), QStringList({"token", "shopid", "searchtype", "keyword", "superid"}) + c.tail);
            QCOMPARE(r.field("token"), g_apiToken);
            QCOMPARE(r.field("shopid"), QString("11"));
            QCOMPARE(r.field("superid"), QString("5"));
            QCOMPARE(r.field("searchtype"), c.searchType);
            QCOMPARE(r.field("keyword"), c.keyword);
            for (const QString &k : c.tail)
                QCOMPARE(r.field(k), k == "uid" ? QString("1001") : QString("77"));
        }
        // the keyword is percent-encoded, so "&" and "=" cannot make fields of their own
        const standin::Request first = m_server.requests("order_list").first();
        QVERIFY(first.body.contains("keyword=A1%26b%3D2&superid="));
    }

    void emptySearchTextIsRefusedBeforePosting()
    {
        SearchOrderWindow *w = open();
        const QList<QPair<int, QString>> cases{{0, "请输入订单号"}, {6, "请输入姓名"}, {7, "请输入电话"}};
        for (const auto &c : cases) {
            MsgBox::clearShown();
            setKind(w, c.first, QString());
            searchButton(w)->click();
            QCOMPARE(testsupport::lastBox(), "警告|" + c.second);
            QVERIFY(searchButton(w)->isEnabled());
            QCOMPARE(searchButton(w)->text(), QString("检索"));
        }
        QTest::qWait(100);
        QCOMPARE(m_server.requestCount("order_list"), 0);

        // blanks pass the test: the order number is trimmed, the name is not
        setKind(w, 0, "  ");
        QVERIFY(searchAndWait(w, m_server));
        QCOMPARE(m_server.lastRequest("order_list").field("keyword"), QString(""));
        setKind(w, 6, "  ");
        QVERIFY(searchAndWait(w, m_server));
        QCOMPARE(m_server.lastRequest("order_list").field("keyword"), QString("  "));
    }

    void enterInTheSearchFieldSearches()
    {
        SearchOrderWindow *w = open();
        setKind(w, SearchOrderWindow::ByOrderNumber, "B2207");
        QTest::keyClick(w->findChild<QLineEdit *>("orderNumber"), Qt::Key_Return);
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("order_list") == 1 && searchButton(w)->isEnabled(); }));
        QCOMPARE(m_server.lastRequest("order_list").field("keyword"), QString("B2207"));
        QCOMPARE(modelOf(w)->rowCount(), 2); // the tick-all row and the one order found
    }

    void replyFillsTheTableAndTickAllTicksEveryRow()
    {
        SearchOrderWindow *w = open();
        QStandardItemModel *m = modelOf(w);
        QCOMPARE(m->rowCount(), 0); // nothing, not even the tick-all row, before a search
        QVERIFY(listAll(w));

        const int n = m_studio->orders.size();
        QCOMPARE(w->orderList().size(), n);
        QCOMPARE(m->rowCount(), n + 1);
        QCOMPARE(m->item(0, 0)->text(), QString("全选"));
        QVERIFY(m->item(0, 0)->isCheckable());
        for (int i = 0; i < n; ++i) {
            const standin::SampleOrder &o = m_studio->orders.at(i);
            QCOMPARE(m->item(i + 1, 0)->text(), o.payForKey);
            QVERIFY(m->item(i + 1, 0)->isCheckable());
            QCOMPARE(m->item(i + 1, 1)->text(), o.storesName);
            QCOMPARE(m->item(i + 1, 2)->text(), o.serviceTimes);
            QCOMPARE(m->item(i + 1, 3)->text(), o.customerNames());
            QCOMPARE(m->item(i + 1, 7)->text(), w->orderList().at(i)->orderPath());
            QCOMPARE(w->orderList().at(i)->orderKey(), o.key());
        }

        tick(w, 0, Qt::Checked);
        for (int r = 1; r <= n; ++r)
            QCOMPARE(m->item(r, 0)->checkState(), Qt::Checked);
        tick(w, 2, Qt::Unchecked); // one row off: "全选" stays on
        QCOMPARE(m->item(0, 0)->checkState(), Qt::Checked);
        QCOMPARE(m->item(1, 0)->checkState(), Qt::Checked);
        tick(w, 0, Qt::Unchecked);
        for (int r = 1; r <= n; ++r)
            QCOMPARE(m->item(r, 0)->checkState(), Qt::Unchecked);

        // a second search clears every tick and rebuilds the rows
        tick(w, 0, Qt::Checked);
        setKind(w, 0, "B2207");
        QVERIFY(searchAndWait(w, m_server));
        QCOMPARE(m->rowCount(), 2);
        QCOMPARE(m->item(0, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(m->item(1, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(m->item(1, 0)->text(), QString("B2207"));
    }

    void handOverGivesTheTickedOrdersOnce()
    {
        SearchOrderWindow *w = open();
        auto *add = w->findChild<QPushButton *>("addOrdersBtn");
        QVERIFY(listAll(w));
        const QList<ImportOrderModel *> listed = w->orderList();

        add->click(); // nothing ticked
        QCOMPARE(testsupport::lastBox(), QString("提示|请选择导入的订单"));
        QVERIFY(m_picked.lists.isEmpty());

        tick(w, 1, Qt::Checked);
        tick(w, 3, Qt::Checked);
        add->click();
        QCOMPARE(m_picked.lists.size(), 1);
        QCOMPARE(m_picked.lists.at(0), QList<ImportOrderModel *>({listed.at(0), listed.at(2)}));
        // ticks stay, the window stays
        QCOMPARE(modelOf(w)->item(1, 0)->checkState(), Qt::Checked);
        QVERIFY(w->isVisible());

        auto *view = w->findChild<QTableView *>("tableView");
        emit view->doubleClicked(modelOf(w)->index(0, 0)); // the tick-all row hands nothing over
        QCOMPARE(m_picked.lists.size(), 1);
        emit view->doubleClicked(modelOf(w)->index(2, 3)); // an unticked row, exactly that order
        QCOMPARE(m_picked.lists.size(), 2);
        QCOMPARE(m_picked.lists.at(1), QList<ImportOrderModel *>({listed.at(1)}));

        // a reply that lists one order twice: ticking both rows hands it over once
        QJsonObject order = m_studio->orderJson(m_studio->orders.at(0));
        m_server.queueReply("order_list", standin::Reply::ok({{"data", QJsonArray{order, order}}}));
        setKind(w, 0, "A1203");
        QVERIFY(searchAndWait(w, m_server));
        tick(w, 0, Qt::Checked);
        add->click();
        QCOMPARE(m_picked.lists.size(), 3);
        QCOMPARE(m_picked.lists.at(2).size(), 1);
        QCOMPARE(m_picked.lists.at(2).first()->orderKey(), m_studio->orders.at(0).key());
    }

    void handedOverRecordsOutliveThePickerAndTheRestAreFreed()
    {
        SearchOrderWindow *w = open();
        QVERIFY(listAll(w));
        QList<QPointer<ImportOrderModel>> first;
        for (ImportOrderModel *r : w->orderList())
            first.append(r);
        auto *view = w->findChild<QTableView *>("tableView");
        emit view->doubleClicked(modelOf(w)->index(1, 0));
        QCOMPARE(m_picked.lists.size(), 1);

        // the receiver lets go of its record; handing the row over again gives a live record of the order
        delete m_picked.lists.takeFirst().first();
        emit view->doubleClicked(modelOf(w)->index(1, 0));
        QCOMPARE(m_picked.lists.size(), 1);
        QPointer<ImportOrderModel> again = m_picked.lists.first().first();
        QVERIFY(again);
        QCOMPARE(again->orderKey(), m_studio->orders.at(0).key());

        // a new search frees the records nobody was given
        setKind(w, 0, "C3105");
        QVERIFY(searchAndWait(w, m_server));
        for (int i = 1; i < first.size(); ++i)
            QVERIFY(first.at(i).isNull());
        QVERIFY(again);
        QPointer<ImportOrderModel> listedOnly = w->orderList().first();

        w->close(); // deleted on close
        QVERIFY(testsupport::waitFor([this] { return m_win.isNull(); }));
        QVERIFY(listedOnly.isNull());
        QVERIFY(again);
        QCOMPARE(again->orderKey(), m_studio->orders.at(0).key());
    }

    void failedRepliesShowTheirTextsAndKeepTheList()
    {
        SearchOrderWindow *w = open();
        QVERIFY(listAll(w));
        const int rows = modelOf(w)->rowCount();
        const QList<ImportOrderModel *> listed = w->orderList();

        struct Case {
            standin::Reply reply;
            QString title;
            QString text; // empty title: no box at all
        };
        const QList<Case> cases{
            {standin::Reply::refused("no such shop", "7"), "警告", "错误代码：7"},
            {standin::Reply::numericCode(1), "警告", "错误代码："},
            {standin::Reply::httpError(500), "警告", "网络请求错误\n服务器出错（HTTP 500）"},
            {standin::Reply::ok({{"data", QJsonArray()}}), "提示", "没有查询到任何订单"},
            {standin::Reply::ok(), "提示", "没有查询到任何订单"},
            {standin::Reply::ok({{"data", "none"}}), "提示", "没有查询到任何订单"},
            {standin::Reply::notJson(), "", ""},
        };
        for (const Case &c : cases) {
            MsgBox::clearShown();
            m_server.queueReply("order_list", c.reply);
            setKind(w, 0, "A1203");
            QVERIFY(searchAndWait(w, m_server));
            if (c.title.isEmpty()) {
                QVERIFY(MsgBox::shown().isEmpty());
            } else {
                QCOMPARE(MsgBox::shown().size(), 1);
                QCOMPARE(testsupport::lastBox(), c.title + "|" + c.text);
            }
            QCOMPARE(modelOf(w)->rowCount(), rows);
            QCOMPARE(w->orderList(), listed);
        }
    }

    void closeMenuAndRememberedPath()
    {
        QVERIFY(FileOperation::writeDatFile("path_copyPhotos.dat", {"D:/拷贝"}, false));
        SearchOrderWindow *w = open();
        QCOMPARE(w->findChild<QLineEdit *>("pathLineEdit")->text(), QString("D:/拷贝"));
        QFile::remove("path_copyPhotos.dat");
        QCOMPARE(w->windowTitle(), QString("检索订单 (双击添加订单)"));

        auto *menu = w->findChild<QMenu *>();
        QVERIFY(menu);
        QAction *openDir = menu->actions().value(0);
        QVERIFY(openDir);
        w->showMouseRightButton(QPoint(1, 1)); // no rows, no current row
        QVERIFY(!menu->isVisible());

        QVERIFY(listAll(w));
        auto *view = w->findChild<QTableView *>("tableView");
        view->setCurrentIndex(modelOf(w)->index(0, 0));
        w->showMouseRightButton(QPoint(1, 1)); // the tick-all row
        QVERIFY(!menu->isVisible());

        const int unimported = m_studio->orders.size(); // the last sample order has no folder yet
        view->setCurrentIndex(modelOf(w)->index(unimported, 0));
        w->showMouseRightButton(QPoint(1, 1));
        QVERIFY(!openDir->isEnabled());
        menu->hide();

        view->setCurrentIndex(modelOf(w)->index(1, 0));
        w->showMouseRightButton(QPoint(1, 1));
        QVERIFY(openDir->isEnabled());
        menu->hide();
        Platform::clearOpenedPaths();
        openDir->trigger();
        QCOMPARE(Platform::openedPaths().size(), 1);

        // Escape closes like the close button: the caller hears of it and the window goes
        QSignalSpy closed(w, &SearchOrderWindow::closeSignal);
        QTest::keyClick(w, Qt::Key_Escape);
        QCOMPARE(closed.count(), 1);
        QVERIFY(testsupport::waitFor([this] { return m_win.isNull(); }));

        // the cancel button closes it too
        w = open();
        QSignalSpy closed2(w, &SearchOrderWindow::closeSignal);
        w->findChild<QPushButton *>("cancelButton")->click();
        QCOMPARE(closed2.count(), 1);
        QVERIFY(testsupport::waitFor([this] { return m_win.isNull(); }));
    }
};

TESSALY_TEST_MAIN(TestSearchOrderWindow)
#include "tst_searchorderwindow.moc"
