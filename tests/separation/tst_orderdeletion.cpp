#include "batchdeleteorder.h"
#include "fileoperation.h"
#include "globals.h"
#include "messagedialog.h"
#include "msgbox.h"
#include "orderdeletebatch.h"
#include "platform.h"
#include "orderwindowtests.h"
#include "searchorder.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

#include <algorithm>
#include <cerrno>

namespace {

using testsupport::child;
using testsupport::clickRow;
using testsupport::searchAndWait;

// Waits until the deletion started by the action button has ended.
bool batchEnded(QWidget *w)
{
    return testsupport::waitFor([w] {
        return child<QPushButton>(w, "pushButton_separate")->isEnabled() && child(w, "groupBox")->isHidden();
    });
}

// Every entry below dir, as absolute paths.
QStringList tree(const QString &dir)
{
    QStringList all;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        all << it.next();
    all.sort();
    return all;
}

// What is left of before once the folders went.
QStringList without(QStringList before, const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QString f = QDir::cleanPath(folder);
        before.erase(std::remove_if(before.begin(), before.end(),
                                    [&](const QString &p) { return p == f || p.startsWith(f + "/"); }),
                     before.end());
    }
    return before;
}

QList<MessageDialog *> codeDialogs()
{
    QList<MessageDialog *> open;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *d = qobject_cast<MessageDialog *>(w); d && d->isVisible())
            open << d;
    }
    return open;
}

// The n-th ticked row of a batch: order id 100 + n, number "K<n>".
OrderRowInfo deletionRow(int n, const QString &path)
{
    OrderRowInfo row;
    row.order_photo_id = QString::number(100 + n);
    row.orderpayforkey = QString("K%1").arg(n);
    row.orderpath = path;
    return row;
}

// The log entry of one deleted folder, field by field.
QList<QPair<QString, QString>> logEntry(const QString &orderId, const QString &path)
{
    return {{"token", g_apiToken}, {"shopid", "11"}, {"superid", "5"},
            {"orderphotoid", orderId}, {"path", path}, {"MANAGER_ID", "77"}};
}

} // namespace

Q_DECLARE_METATYPE(standin::Reply)

class TestOrderDeletion : public QObject, protected testsupport::OrderWindowFixture<OrderSearchWindowBase>
{
    Q_OBJECT

    BatchDeleteOrder *openBatchWindow() { return open<BatchDeleteOrder>(); }
    QString orderPath(int i) const { return m_studio->orders.at(i).orderPath; }
    // count order folders "<level>O0/", "<level>O1/", ... below the photo root, each with its "照片/" and
    // "成品/" holding `photos` small pictures; each is added to *folders, with its row to *rows.
    bool addOrderFolders(const QString &level, int count, int photos, QList<OrderRowInfo> *rows, QStringList *folders)
    {
        for (int i = 0; i < count; ++i) {
            const QString folder = m_studio->picRoot + level + QString("O%1/").arg(i);
            for (const char *sub : {"照片/", "成品/"}) {
                if (!QDir().mkpath(folder + sub))
                    return false;
                for (int f = 0; f < photos; ++f) {
                    if (!testsupport::writeJpeg(folder + sub + QString("%1.jpg").arg(f), QSize(8, 8)))
                        return false;
                }
            }
            rows->append(deletionRow(rows->size(), folder));
            folders->append(folder);
        }
        return true;
    }

private slots:
    void initTestCase() { QVERIFY(startServer()); }
    void init()
    {
        QString error;
        QVERIFY2(newStudio(true, &error), qPrintable(error));
        serveStudio();
        QVERIFY(QDir::setCurrent(m_studio->folder));
        g_picPath = m_studio->picRoot;
        g_bakPicPath = m_studio->bakRoot;
        g_homePicPath = m_studio->homeRoot;
        MsgBox::clearShown();
        m_server.clearRequests();
    }
    void cleanup()
    {
        delete m_win.data();
        for (MessageDialog *d : codeDialogs())
            delete d;
        Platform::clearFaults();
    }

    void searchesByClosingDateAndDeletesTwice()
    {
        BatchDeleteOrder *w = openBatchWindow();
        QCOMPARE(w->windowTitle(), QString("Form"));
        child<QCalendarWidget>(w, "calendar")->setSelectedDate(QDate(2023, 5, 20));
        child<QCalendarWidget>(w, "calendar_2")->setSelectedDate(QDate(2023, 5, 1)); // before the start: sent so
        QVERIFY(searchAndWait(w, m_server, "order_list2"));
        const QList<QPair<QString, QString>> body{{"token", g_apiToken}, {"shopid", "11"}, {"eid", "77"},
                                                  {"personid", "77"}, {"uid", "1001"}, {"superid", "5"},
                                                  {"starttime", "2023-05-20"}, {"endtime", "2023-05-01"}};
        QCOMPARE(m_server.lastRequest("order_list2").fields, body);
        auto *model = qobject_cast<QStandardItemModel *>(child<QTableView>(w, "tableView")->model());
        QCOMPARE(model->columnCount(), 14);
        QCOMPARE(model->rowCount(), m_studio->orders.size());
        QCOMPARE(model->item(0, 13)->text(), orderPath(0));

        // an existing folder, a missing one and an order without a folder
        const QStringList before = tree(m_studio->folder);
        QVERIFY(QDir(orderPath(1)).removeRecursively());
        const QStringList missing = without(before, {orderPath(1)});
        QVERIFY(m_studio->orders.at(4).orderPath.isEmpty());
        for (int row : {0, 1, 4})
            clickRow(w, row);
        // asked first; No (the default) deletes nothing
        child<QPushButton>(w, "pushButton_separate")->click();
        QCOMPARE(testsupport::lastBox(), QString("警告|确定要删除选中的3个订单的照片吗？此操作无法撤销"));
        QTest::qWait(50);
        QCOMPARE(tree(m_studio->folder), missing);
        QVERIFY(child(w, "groupBox")->isHidden());
        // Yes: the progress panel shows in its own place, the table stays where it was
        const int tableTop = child<QTableView>(w, "tableView")->mapTo(w, QPoint()).y();
        MsgBox::clearShown();
        MsgBox::setNextAnswer(QMessageBox::Yes);
        child<QPushButton>(w, "pushButton_separate")->click();
        QVERIFY(!child(w, "groupBox")->isHidden());
        QCoreApplication::processEvents();
        QCOMPARE(child<QTableView>(w, "tableView")->mapTo(w, QPoint()).y(), tableTop);
        child<QPushButton>(w, "pushButton_separate")->click(); // refused while the batch runs
        QVERIFY(batchEnded(w));
        QCOMPARE(child<QTableView>(w, "tableView")->mapTo(w, QPoint()).y(), tableTop);
        QCOMPARE(tree(m_studio->folder), without(missing, {orderPath(0)}));
        QCOMPARE(child<QProgressBar>(w, "progressBar")->maximum(), 1);
        QVERIFY(testsupport::waitFor([this] { return m_server.requestCount("order_photo_del") == 1; }));
        QCOMPARE(m_server.lastRequest("order_photo_del").fields, logEntry("5001", orderPath(0)));
        QCOMPARE(MsgBox::shown().size(), 2); // the question, the end box
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        // the rows without a folder are named
        QCOMPARE(MsgBox::lastShown().text, QString("已删除 1 个订单的照片，以下 2 个订单的照片未删除：\n"
                                                   "B2207  %1（目录不存在）\nE5520  （没有照片目录）")
                                               .arg(orderPath(1)));

        // the next batch starts from nothing: it ends after its own one folder
        clickRow(w, 2);
        MsgBox::setNextAnswer(QMessageBox::Yes);
        child<QPushButton>(w, "pushButton_separate")->click();
        QVERIFY(batchEnded(w));
        QVERIFY(!QFileInfo::exists(orderPath(2)));
        QVERIFY(QFileInfo::exists(orderPath(3)));
        QCOMPARE(child<QProgressBar>(w, "progressBar")->maximum(), 1);
        QCOMPARE(MsgBox::shown().size(), 4);
        // the rows still ticked are named again, the first one's folder gone now
        QVERIFY(MsgBox::lastShown().text.startsWith("已删除 1 个订单的照片，以下 3 个订单的照片未删除：\nA1203  "));
        QVERIFY(testsupport::waitFor([this] { return m_server.requestCount("order_photo_del") == 2; }));
        QCOMPARE(m_server.lastRequest("order_photo_del").field("orderphotoid"), QString("5003"));
    }

    void refusedAndFailedFolders_data()
    {
        // Paths: {A} and {B} the first two sample orders' folders ({B-name} the last part of {B}'s), {pic}
        // the photo root, {amp} an order folder whose name holds "&", "=" and a blank, {docs} a folder of
        // documents that is no order folder, {link} a link to {B} beside the orders, "#" an "orderpath" that is
        // a JSON number; "importing:" before a path: another program is importing into that folder as the
        // batch starts (its copy held until the batch has ended).
        QTest::addColumn<QStringList>("paths");      // one ticked row each, order ids and numbers K1, K2, ...
        QTest::addColumn<QList<int>>("deleted");     // the rows whose folders go
        QTest::addColumn<QList<int>>("named");       // the rows the end box names
        QTest::addColumn<QString>("failRemovalsIn"); // removals under this path fail
        QTest::addColumn<standin::Reply>("logReply");
        QTest::addColumn<QString>("notLogged");      // why the end box says the deleted folders were not logged
        QTest::addColumn<QStringList>("why");        // what the end box's line of the first named row says

        const standin::Reply ok = standin::Reply::ok();
        QTest::newRow("relative path") << QStringList{"{A}", "pic/2023-05/"} << QList<int>{0} << QList<int>{1} << ""
                                       << ok << "" << QStringList{"（此路径不允许删除）"};
        QTest::newRow("root") << QStringList{"/", "{B}"} << QList<int>{1} << QList<int>{0} << "" << ok << "" << QStringList();
        QTest::newRow("storage root") << QStringList{"{pic}", "{A}"} << QList<int>{1} << QList<int>{0} << "" << ok << ""
                                      << QStringList{"（此路径不允许删除）"};
        QTest::newRow("no order folder") << QStringList{"{docs}", "{A}"} << QList<int>{1} << QList<int>{0} << "" << ok << ""
                                         << QStringList{"{docs}（此路径不是订单目录）"};
        // a link to another order's folder: the link and what it leads to stay, and the box says why
        QTest::newRow("linked order folder") << QStringList{"{link}", "{A}"} << QList<int>{1} << QList<int>{0} << "" << ok
                                             << "" << QStringList{"{link}（此路径是链接，不允许删除）"};
        QTest::newRow("dot-dot") << QStringList{"{A}../../20/{B-name}"} << QList<int>{} << QList<int>{0} << "" << ok << "" << QStringList();
        QTest::newRow("one folder twice") << QStringList{"{A}", "{A}/.", "{A}"} << QList<int>{0} << QList<int>{1} << ""
                                          << ok << "" << QStringList();
        QTest::newRow("same folder, two spellings") << QStringList{"{B}", "{B-no-slash}"} << QList<int>{0}
                                                    << QList<int>{} << "" << ok << "" << QStringList();
        // another program is importing into {A}: it is passed over and named, nothing of it removed, and the
        // import ends well afterwards
        QTest::newRow("an order another program is importing")
            << QStringList{"importing:{A}", "{B}"} << QList<int>{1} << QList<int>{0} << "" << ok << ""
            << QStringList{"K1  {A}（该订单正在导片，未删除）"};
        QTest::newRow("removal fails") << QStringList{"{A}", "{B}"} << QList<int>{0} << QList<int>{1} << "{B}" << ok << ""
                                       << QStringList{"{B}（有", "项未能删除，如 ", "（" + errorText(EBUSY) + "）"};
        QTest::newRow("number path") << QStringList{"#", "{A}"} << QList<int>{1} << QList<int>{0} << "" << ok << "" << QStringList();
        QTest::newRow("ampersand") << QStringList{"{amp}"} << QList<int>{0} << QList<int>{} << "" << ok << "" << QStringList();
        QTest::newRow("log refused") << QStringList{"{A}"} << QList<int>{0} << QList<int>{} << ""
                                     << standin::Reply::refused("记录失败", "0") << "服务器没有接受：记录失败\t0" << QStringList();
        QTest::newRow("log HTTP 500") << QStringList{"{A}"} << QList<int>{0} << QList<int>{} << ""
                                      << standin::Reply::httpError(500) << "网络请求错误：服务器出错（HTTP 500）" << QStringList();
        QTest::newRow("web service down") << QStringList{"{A}"} << QList<int>{0} << QList<int>{} << ""
                                          << standin::Reply::closed()
                                          << "网络请求错误：请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求" << QStringList();
    }
    void refusedAndFailedFolders()
    {
        QFETCH(QStringList, paths);
        QFETCH(QList<int>, deleted);
        QFETCH(QList<int>, named);
        QFETCH(QString, failRemovalsIn);
        QFETCH(standin::Reply, logReply);
        QFETCH(QString, notLogged);
        QFETCH(QStringList, why);
        if (testsupport::ImportingProgram::runAsChild(m_studio->orderJson(m_studio->orders.at(0))))
            return; // the other program, importing into {A}

        const QString amp = m_studio->picRoot + "2023-09/01/H&K=1 x/";
        for (const char *sub : {"照片", "成品"})
            QVERIFY(QDir().mkpath(amp + QString::fromUtf8(sub)));
        const QString docs = m_studio->picRoot + "Documents/";
        QVERIFY(QDir().mkpath(docs + "报告"));
        QVERIFY(testsupport::writeJpeg(docs + "报告/封面.jpg", QSize(8, 8)));
        const QString link = m_studio->picRoot + "2023-09/link";
        if (paths.contains("{link}"))
            QVERIFY(QFile::link(orderPath(1), link));
        auto expand = [&](QString p) {
            return p.remove("importing:")
                .replace("{A}", orderPath(0))
                .replace("{link}", link)
                .replace("{B-no-slash}", orderPath(1).chopped(1))
                .replace("{B}", orderPath(1))
                .replace("{B-name}", m_studio->orders.at(1).folderName())
                .replace("{pic}", m_studio->picRoot)
                .replace("{amp}", amp)
                .replace("{docs}", docs);
        };
        QJsonArray orders;
        for (int i = 0; i < paths.size(); ++i) {
            const QJsonValue path = paths.at(i) == "#" ? QJsonValue(12) : QJsonValue(expand(paths.at(i)));
            orders.append(QJsonObject{{"order_photo_id", QString::number(i + 1)},
                                      {"orderpayforkey", QString("K%1").arg(i + 1)}, {"orderpath", path}});
        }
        m_server.queueReply("order_list2", standin::Reply::ok({{"data", orders}}));
        m_server.setReply("order_photo_del", logReply);
        if (!failRemovalsIn.isEmpty())
            Platform::failRemovals(expand(failRemovalsIn));
        testsupport::ImportingProgram importer;
        for (const QString &path : paths) {
            if (!path.startsWith("importing:"))
                continue;
            const QString photo = m_roots->path("card/IMG_0005.jpg");
            QVERIFY(testsupport::put(photo, testsupport::jpegWithOrientation(QSize(300, 200), 0)));
            QVERIFY(importer.start("refusedAndFailedFolders", expand(path), photo,
                                   m_studio->picRoot + '|' + m_studio->bakRoot, m_roots->path("signals/")));
        }
        const QStringList before = tree(m_studio->folder);

        BatchDeleteOrder *w = openBatchWindow();
        QVERIFY(searchAndWait(w, m_server, "order_list2"));
        child<QPushButton>(w, "pushButton_selectAll")->click();
        MsgBox::setNextAnswer(QMessageBox::Yes);
        child<QPushButton>(w, "pushButton_separate")->click();
        MsgBox::clearShown(); // the question
        QVERIFY(batchEnded(w));

        QStringList gone;
        for (int row : deleted)
            gone << expand(paths.at(row));
        QStringList left = without(before, gone);
        if (!failRemovalsIn.isEmpty()) { // the claim the deletion held it with: its removal fails as the rest
            left << QDir::cleanPath(expand(failRemovalsIn) + "/.导片进行中");
            left.sort();
        }
        QCOMPARE(tree(m_studio->folder), left);
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("order_photo_del") == deleted.size(); }));
        for (int i = 0; i < deleted.size(); ++i) {
            const int row = deleted.at(i);
            QCOMPARE(m_server.requests("order_photo_del").at(i).fields,
                     logEntry(QString::number(row + 1), expand(paths.at(row))));
        }
        // one box, after the log replies
        QTest::qWait(50);
        QCOMPARE(MsgBox::shown().size(), 1);
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        const QString end = MsgBox::lastShown().text;
        if (named.isEmpty() && notLogged.isEmpty())
            QCOMPARE(end, QString("订单照片删除成功"));
        QCOMPARE(end.contains(QString("以下 %1 个订单的照片未删除").arg(named.size())), !named.isEmpty());
        for (int row = 0; row < paths.size(); ++row)
            QCOMPARE(end.contains(QString("K%1  ").arg(row + 1)), named.contains(row) || !notLogged.isEmpty());
        if (!notLogged.isEmpty()) {
            // a log that went out with no answer may have been taken: it is not called unreported
            const bool maybeTaken = notLogged.contains("可能已收下");
            const QString head = maybeTaken ? "以下 %1 个订单的照片已删除，删除记录已发给服务器，但没有收到服务器的回复，"
                                              "服务器可能已收下（删除记录不会再次上报）：\n"
                                            : "以下 %1 个订单的照片已删除，但删除记录没有报给服务器：\n";
            QVERIFY2(end.contains(head.arg(deleted.size())), qPrintable(end));
            QVERIFY2(!maybeTaken || !end.contains("没有报给服务器"), qPrintable(end));
            for (int row : deleted)
                QVERIFY2(end.contains(QString("K%1  %2（%3）").arg(row + 1).arg(expand(paths.at(row)), notLogged)),
                         qPrintable(end));
        }
        // the first named row's line says why its folder stayed
        if (!why.isEmpty()) {
            const QString key = QString("K%1  ").arg(named.first() + 1);
            const int at = end.indexOf("\n" + key);
            QVERIFY2(at >= 0, qPrintable(end));
            const QString line = end.mid(at + 1).section('\n', 0, 0);
            for (const QString &part : why)
                QVERIFY2(line.contains(expand(part)), qPrintable(line));
        }
        // an import under way when the batch began ends well, into the folder it found
        for (const QString &path : paths) {
            if (path.startsWith("importing:")) {
                QVERIFY(importer.go());
                QVERIFY(QFileInfo(expand(path) + "成品/IMG_0005.jpg").isFile());
            }
        }
    }

    void atMostFourThreadsAtATime()
    {
        QList<OrderRowInfo> rows;
        QStringList folders;
        QVERIFY(addOrderFolders("2024-01/02/", 12, 20, &rows, &folders));
        const QStringList before = tree(m_studio->folder);
        auto *batch = new OrderDeleteBatch(rows, ShopSettings::current());
        int peak = -1;
        QList<int> progress;
        connect(batch, &OrderDeleteBatch::progressed, [&](int done) { progress << done; });
        connect(batch, &OrderDeleteBatch::ended, [&] { peak = batch->peakRunning(); });
        batch->start();
        QVERIFY(testsupport::waitFor([&] { return peak >= 0; }));
        QCOMPARE(peak, OrderDeleteBatch::kMaxThreads);
        QCOMPARE(progress.size(), 12);
        QCOMPARE(progress.last(), 12);
        QCOMPARE(tree(m_studio->folder), without(before, folders));
        QCOMPARE(MsgBox::lastShown().text, QString("订单照片删除成功"));
        QVERIFY(testsupport::waitFor([this] { return m_server.requestCount("order_photo_del") == 12; }));
    }

    void shopSwitchDuringABatchChangesNothing()
    {
        // Eight order folders, and two rows refused with this shop's roots: its photo root and a day level
        // holding an order that is not ticked.
        QList<OrderRowInfo> rows;
        QStringList folders;
        QVERIFY(addOrderFolders("2024-02/03/", 8, 1, &rows, &folders));
        const QString dayLevel = m_studio->picRoot + "2024-03/04/";
        QVERIFY(QDir().mkpath(dayLevel + "T1/照片"));
        rows << deletionRow(8, m_studio->picRoot) << deletionRow(9, dayLevel);
        const QStringList before = tree(m_studio->folder);

        // Other shops whose roots are folders of the batch, or hold them.
        const QList<QStringList> otherShops{{folders.at(5), folders.at(7), m_studio->folder + "pic/2024-02"},
                                            {folders.at(6), m_studio->folder, folders.at(4)}};
        int switches = 0;
        auto switchShop = [&] {
            const QStringList &roots = otherShops.at(switches++ % otherShops.size());
            g_picPath = roots.at(0);
            g_bakPicPath = roots.at(1);
            g_homePicPath = roots.at(2);
        };
        auto *batch = new OrderDeleteBatch(rows, ShopSettings::current());
        bool ended = false;
        connect(batch, &OrderDeleteBatch::progressed, switchShop); // while threads delete
        connect(batch, &OrderDeleteBatch::ended, [&] { ended = true; });
        batch->start();
        switchShop(); // while the folders are picked
        QVERIFY(testsupport::waitFor([&] { return ended; }));

        QCOMPARE(tree(m_studio->folder), without(before, folders));
        QVERIFY(QDir(dayLevel + "T1/照片").exists());
        QVERIFY(testsupport::waitFor([this] { return m_server.requestCount("order_photo_del") == 8; }));
        QCOMPARE(MsgBox::shown().size(), 1);
        const QString end = MsgBox::lastShown().text;
        QVERIFY2(end.startsWith("已删除 8 个订单的照片，以下 2 个订单的照片未删除"), qPrintable(end));
        QCOMPARE(end.count("此路径不允许删除"), 1);
        QCOMPARE(end.count("此路径不是订单目录"), 1); // the day level
        for (const char *key : {"K8  ", "K9  "})
            QVERIFY2(end.contains(key), qPrintable(end));
    }

    void closingDuringABatchStillLogs()
    {
        m_server.setReply("order_photo_del", standin::Reply::ok().withDelay(200));
        BatchDeleteOrder *w = openBatchWindow();
        w->setAttribute(Qt::WA_DeleteOnClose);
        QVERIFY(searchAndWait(w, m_server, "order_list2"));
        child<QPushButton>(w, "pushButton_selectAll")->click();
        MsgBox::setNextAnswer(QMessageBox::Yes);
        child<QPushButton>(w, "pushButton_separate")->click();
        MsgBox::clearShown(); // the question
        w->close();
        QVERIFY(testsupport::waitFor([this] { return m_win.isNull(); }));
        QVERIFY(testsupport::waitFor([this] { return m_server.requestCount("order_photo_del") == 4; }));
        QStringList logged;
        for (const standin::Request &r : m_server.requests("order_photo_del"))
            logged << r.field("path");
        logged.sort();
        QCOMPARE(logged, (QStringList{orderPath(0), orderPath(1), orderPath(2), orderPath(3)}));
        QVERIFY(testsupport::waitFor([] { return MsgBox::shown().size() == 1; }));
        QCOMPARE(MsgBox::lastShown().text, QString("已删除 4 个订单的照片，以下 1 个订单的照片未删除：\nE5520  （没有照片目录）"));
        QTest::qWait(400); // the delayed log replies reach a batch that is still there
    }

    void separationWindowAsksForTheCode_data()
    {
        QTest::addColumn<QString>("code"); // "" closes the dialog
        QTest::addColumn<bool>("deletes");
        QTest::newRow("right code") << "123456" << true;
        QTest::newRow("wrong code") << "000000" << false;
        QTest::newRow("dialog closed") << "" << false;
    }
    void separationWindowAsksForTheCode()
    {
        QFETCH(QString, code);
        QFETCH(bool, deletes);
        m_studio->addUnsafeOrders(); // a relative path and the photo root
        serveStudio();
        auto *w = open<SearchOrder>();
        w->setToolName("批量删除");
        QVERIFY(testsupport::listAllOrders(w, m_server));
        QCOMPARE(w->orderList().size(), 7);

        child<QPushButton>(w, "pushButton_separate")->click();
        QCOMPARE(MsgBox::lastShown().text, QString("请选择订单"));
        QVERIFY(codeDialogs().isEmpty());

        const QStringList before = tree(m_studio->folder);
        clickRow(w, 0);
        child<QPushButton>(w, "pushButton_separate")->click();
        child<QPushButton>(w, "pushButton_separate")->click();
        QCOMPARE(codeDialogs().size(), 1);
        MessageDialog *dialog = codeDialogs().first();
        for (int row : {5, 6}) // ticked after the dialog opened: taken when the code is accepted
            clickRow(w, row);
        MsgBox::clearShown();
        if (code.isEmpty()) {
            dialog->close();
        } else {
            child<QLineEdit>(dialog, "lineEdit_code")->setText(code);
            child<QPushButton>(dialog, "pushButton_ok")->click();
            QVERIFY(testsupport::waitFor([] { return !MsgBox::shown().isEmpty(); }));
        }
        if (deletes) {
            QVERIFY(batchEnded(w));
            QCOMPARE(tree(m_studio->folder), without(before, {orderPath(0)}));
            QVERIFY(testsupport::waitFor([this] { return m_server.requestCount("order_photo_del") == 1; }));
            QCOMPARE(m_server.lastRequest("order_photo_del").fields, logEntry("5001", orderPath(0)));
            QVERIFY(MsgBox::lastShown().text.contains("以下 2 个订单的照片未删除"));
            QVERIFY(MsgBox::lastShown().text.contains("F6601  pic/F6601-1/"));
            QVERIFY(MsgBox::lastShown().text.contains("G7702  " + m_studio->picRoot));
            QCOMPARE(child<QLabel>(w, "label")->text(), QString("删除成功"));
        } else {
            QTest::qWait(200);
            QCOMPARE(tree(m_studio->folder), before);
            QCOMPARE(m_server.requestCount("order_photo_del"), 0);
            QCOMPARE(codeDialogs().size(), code.isEmpty() ? 0 : 1);
        }
    }
};

TESSALY_TEST_MAIN(TestOrderDeletion)
#include "tst_orderdeletion.moc"
