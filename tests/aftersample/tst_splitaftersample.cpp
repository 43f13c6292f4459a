#include "globals.h"
#include "msgbox.h"
#include "splitaftersample.h"
#include "orderwindowtests.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDataStream>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

#include <algorithm>

namespace {

using testsupport::child;
using testsupport::orderModelOf;
using testsupport::storesOf;
using testsupport::ticksOf;

} // namespace

class TestSplitAfterSample : public QObject, protected testsupport::OrderWindowFixture<SplitAfterSample>
{
    Q_OBJECT

    // Every message of the program while a test runs.
    std::unique_ptr<testsupport::LogCapture> m_log;

    QStringList warnings() const
    {
        QStringList out = m_log->warnings();
        // the offscreen platform's own complaint is not the window's
        out.erase(std::remove_if(out.begin(), out.end(), [](const QString &m) { return m.contains("propagateSizeHints"); }),
                  out.end());
        return out;
    }

private slots:
    void initTestCase() { QVERIFY(startWindowStudio()); }
    void init()
    {
        m_log.reset(new testsupport::LogCapture);
        prepareWindowTest();
    }
    void cleanup()
    {
        closeWindowTest();
        m_log.reset();
    }

    void formBindsItsSlotsByName()
    {
        SplitAfterSample *w = open();
        QVERIFY2(warnings().isEmpty(), qPrintable(warnings().join('\n')));
        QCOMPARE(w->windowTitle(), QString("检索订单"));
        // the reply handlers are slots under these signatures
        for (const char *slot : {"queryProductsCallBack(QNetworkReply*)", "queryPicInfoCallBack(QNetworkReply*)",
                                 "queryOrderInfoCallBack(QNetworkReply*)", "fenjian_productPhotoSlot_4(QString)"})
            QVERIFY2(w->metaObject()->indexOfSlot(slot) >= 0, slot);

        // the store box is made last in its group, yet sits on top
        auto *group = child<QGroupBox>(w, "groupBox_2");
        QCOMPARE(group->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).last()->objectName(),
                 QString("cb_shops"));
        auto *grid = qobject_cast<QGridLayout *>(group->layout());
        int row = -1, column, span;
        grid->getItemPosition(grid->indexOf(child(w, "cb_shops")), &row, &column, &span, &span);
        QCOMPARE(row, 0);
        // the save path is never typed: it and four buttons never take the focus
        QStringList noFocus;
        for (QWidget *wd : w->findChildren<QWidget *>()) {
            const QString parent = wd->parent()->objectName();
            if (wd->parent() != w && parent != "groupBox" && parent != "groupBox_2")
                continue; // the insides of the calendar and the store box
            const bool takesFocusByDefault = qobject_cast<QAbstractButton *>(wd) || qobject_cast<QLineEdit *>(wd) ||
                                             qobject_cast<QComboBox *>(wd) || qobject_cast<QAbstractItemView *>(wd) ||
                                             qobject_cast<QCalendarWidget *>(wd);
            if (takesFocusByDefault && wd->focusPolicy() == Qt::NoFocus)
                noFocus << wd->objectName();
        }
        noFocus.sort();
        QCOMPARE(noFocus, (QStringList{"pathLineEdit", "pushButton_selectAll", "pushButton_selectOpposite",
                                       "pushButton_separate", "selectPathButton"}));

        QVERIFY(testsupport::listAllOrders(w, m_server));
        QCOMPARE(ticksOf(w), QString("-----"));
        child<QPushButton>(w, "pushButton_selectAll")->click();
        QCOMPARE(ticksOf(w), QString("XXXXX"));
        auto *view = child<QTableView>(w, "tableView");
        const QModelIndex cell = view->model()->index(1, 4);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
        QCOMPARE(ticksOf(w), QString("X-XXX"));
        QCOMPARE(view->styleSheet(), kUntickedRowStyle);
        child<QPushButton>(w, "pushButton_selectOpposite")->click();
        QCOMPARE(ticksOf(w), QString("-X---"));

        FileDialogs::queueAnswer(QString("/out/chosen"));
        child<QPushButton>(w, "selectPathButton")->click();
        FileDialogs::queueAnswer(QString()); // cancelled: the path stays
        child<QPushButton>(w, "selectPathButton")->click();
        QCOMPARE(FileDialogs::asked().size(), 2);
        QCOMPARE(FileDialogs::asked().first().caption, QString("选择分件保存路径"));
        QCOMPARE(child<QLineEdit>(w, "pathLineEdit")->text(), QString("/out/chosen"));
        QVERIFY2(warnings().isEmpty(), qPrintable(warnings().join('\n')));
    }

    void searchesByDateAndStores()
    {
        SplitAfterSample *w = open();
        storesOf(w)->item(1)->setCheckState(Qt::Unchecked);

        // a name search without a name posts nothing
        child<QComboBox>(w, "comboBox")->setCurrentText("姓名");
        child<QPushButton>(w, "searchButton")->click();
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        QCOMPARE(MsgBox::lastShown().text, QString("请输入姓名"));
        QCOMPARE(child<QPushButton>(w, "searchButton")->text(), QString("检索"));

        child<QComboBox>(w, "comboBox")->setCurrentText("转数码日期");
        child<QLineEdit>(w, "orderNumber")->setText("ignored");
        const QString day = m_studio->orders.at(3).shotDate; // C3105 and D4410
        child<QCalendarWidget>(w, "calendar")->setSelectedDate(QDate::fromString(day, Qt::ISODate));
        QVERIFY(testsupport::searchAndWait(w, m_server));
        QCOMPARE(m_server.requestCount("order_list"), 1);
        const standin::Request r = m_server.lastRequest("order_list");
        QCOMPARE(r.fieldNames(), (QStringList{"token", "shopid", "searchtype", "eid", "superid", "keyword",
                                              "personid", "uid", "storesids"}));
        QCOMPARE(r.field("searchtype"), QString("13"));
        QCOMPARE(r.field("keyword"), day);
        QCOMPARE(r.field("storesids"), QString("21,23"));

        QStandardItemModel *m = orderModelOf(w);
        QCOMPARE(m->rowCount(), 2);
        QCOMPARE(m->horizontalHeaderItem(13)->text(), QString("上件日期"));
        QCOMPARE(m->item(1, 1)->text(), QString("D4410"));
        QCOMPARE(m->item(1, 13)->text(), day + " 18:00:00");
    }

    void urgentState_data()
    {
        QTest::addColumn<QStringList>("isurgent"); // of the order's goods
        QTest::addColumn<int>("state");
        QTest::newRow("no goods") << QStringList() << 1;
        QTest::newRow("none urgent") << QStringList{"0", "", "2"} << 0;
        QTest::newRow("all urgent") << QStringList{"1", "1"} << 1;
        QTest::newRow("some urgent") << QStringList{"1", "0"} << 2;
    }
    void urgentState()
    {
        QFETCH(QStringList, isurgent);
        QFETCH(int, state);
        QList<OrderGoodsInfo> goods;
        for (const QString &u : isurgent) {
            OrderGoodsInfo g;
            g.isurgent = u;
            goods << g;
        }
        QCOMPARE(SplitAfterSample::urgentStateOf(goods), state);
    }

    void savedPathAndClosing_data()
    {
        QTest::addColumn<QByteArray>("file"); // the list file's bytes; empty: no file
        QTest::addColumn<QString>("path");
        QByteArray saved;
        {
            QDataStream out(&saved, QIODevice::WriteOnly);
            out << QString("/out/saved") << QString("/out/older");
        }
        QTest::newRow("none") << QByteArray() << "";
        QTest::newRow("saved") << saved << "/out/saved";
        QTest::newRow("truncated") << saved.left(9) << "";
    }
    void savedPathAndClosing()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, path);
        if (!file.isEmpty()) {
            QFile f("path_separatePhotos.dat");
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
        }
        SplitAfterSample *w = open();
        QCOMPARE(child<QLineEdit>(w, "pathLineEdit")->text(), path);
        w->setAttribute(Qt::WA_DeleteOnClose);
        QVERIFY(w->isWindowShow());
        child<QPushButton>(w, "cancelButton")->click();
        QVERIFY(testsupport::waitFor([&] { return m_win.isNull(); }));
        QVERIFY(m_log->lines().contains("要关闭窗口了"));
        QVERIFY2(warnings().isEmpty(), qPrintable(warnings().join('\n')));
    }
};

TESSALY_TEST_MAIN(TestSplitAfterSample)
#include "tst_splitaftersample.moc"
