// The import run of the batch import dialog against the stand-in web service and temporary storage
// roots: checks before a run, order-by-order sequencing, the path-and-count reports, the end box,
// the stops that end a run, closing the window during a run, and the open-folder shortcuts.

#include "filebytes.h"
#include "filesizelimit.h"
#include "finishingnotice.h"
#include "importrunfixture.h"
#include "mounts.h"
#include "orderfolders.h"
#include "unsentreport.h"
#include "runoutput.h"
#include "webapi.h"

#include <QAbstractItemModel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QScopeGuard>
#include <QLoggingCategory>
#include <QTimer>

#include <future>
#include <memory>
#include <thread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

Q_DECLARE_METATYPE(standin::Reply)

class TestImportRun : public ImportRunFixture
{
    Q_OBJECT

    QStringList m_fieldOrder{"picnumber", "picbacknumber", "importype", "token", "order_photo_id", "orderpicpath",
                             "orderbakpicpath", "superid", "eid", "shopid", "timestamp"};

    // The records of unsent reports in an order folder, as a listing of the folder sees them.
    static QStringList unsentRecords(const QString &orderPath)
    {
        return QDir(orderPath).entryList({".tessaly-unsent-*"}, QDir::Files | QDir::Hidden, QDir::Name);
    }
    // The end reports posted: "<order id>:<picnumber>", sorted.
    QStringList endReports()
    {
        QStringList sent;
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            if (field(r, "importype") == "1")
                sent << field(r, "order_photo_id") + ":" + field(r, "picnumber");
        sent.sort();
        return sent;
    }

    // Presses the start button while the stand-in holds the answers to the run's start reports until an end
    // report is due (one that waits for its order's start, or one that reached the stand-in), then lets them go
    // and waits for the end box. Tells what went wrong: an end report that reached the stand-in while the
    // starts were held, or one recorded before its order's start.
    QString runToEndWithStartsHeld()
    {
        standin::Gate startsAnswered;
        m_server.setHandler("updatepicpath", [startsAnswered](const standin::Request &r) {
            return r.field("importype") == "0" ? standin::Reply::ok().heldBy(startsAnswered) : standin::Reply::ok();
        });
        const int before = m_server.requestCount("updatepicpath");
        auto ends = [&] {
            QStringList sent;
            for (const standin::Request &r : m_server.requests("updatepicpath").mid(before))
                if (field(r, "importype") == "1")
                    sent << field(r, "order_photo_id");
            return sent;
        };
        QString problem;
        QLoggingCategory::setFilterRules(QStringLiteral("tessaly.web.debug=true"));
        {
            testsupport::LogCapture log("tessaly.web");
            startButton()->click();
            if (!testsupport::waitFor([&] { return !ends().isEmpty() || !log.lines().filter("waiting for the answer to").isEmpty(); }))
                problem = "no end report came due; ";
        }
        QLoggingCategory::setFilterRules(QString());
        if (!ends().isEmpty())
            problem += "end reports recorded while the start reports were held: " + ends().join(", ") + "; ";
        startsAnswered.open();
        if (!testsupport::waitFor([this] { return idle(); }))
            problem += "the run did not end; ";
        QStringList started;
        for (const standin::Request &r : m_server.requests("updatepicpath").mid(before)) {
            const QString order = field(r, "order_photo_id");
            if (field(r, "importype") == "0")
                started << order;
            else if (!started.contains(order))
                problem += "end report of " + order + " recorded before its start; ";
        }
        m_server.setReply("updatepicpath", standin::Reply::ok());
        return problem;
    }

private slots:
    void checksBeforeRun()
    {
        startButton()->click();
        QCOMPARE(MsgBox::lastShown().text, QString("没有需要导入的订单"));

        ImportOrderModel *a = record(0);
        ImportOrderModel *b = record(1);
        QVERIFY(handOver({a, b}));
        a->setFinishedFiles(photos("src", {"x.jpg"}));
        startButton()->click();
        QCOMPARE(testsupport::lastBox(), QString("警告|有订单没有选择照片"));

        chooseType(3);
        a->setTrialVideoFiles({"/v/a.mp4"});
        startButton()->click();
        QCOMPARE(MsgBox::lastShown().text, QString("有订单没有选择视频"));
        chooseType(5);
        startButton()->click();
        QCOMPARE(MsgBox::lastShown().text, QString("有订单没有选择Dovra路径"));

        // every order imported already
        chooseType(1);
        b->setFinishedFiles(a->finishedFiles());
        a->setFinishedImported(true);
        b->setFinishedImported(true);
        startButton()->click();
        QCOMPARE(MsgBox::lastShown().text, QString("没有需要导入的订单"));

        // order folders whose finished-photo folder is missing, listed in one box
        b->setFinishedImported(false);
        QVERIFY(QDir(a->orderPath() + "成品").removeRecursively());
        QVERIFY(QDir(b->orderPath() + "成品").removeRecursively());
        startButton()->click();
        QCOMPARE(MsgBox::lastShown().text, QString("订单号:A1203-1\n订单号:B2207-2\n路径不存在"));

        // the write probe leaves a folder of the old probe's name alone and leaves nothing behind
        const QString halven = m_studio->picRoot + "Halven";
        QVERIFY(QDir().mkpath(halven + "/kept"));
        const QStringList before = QDir(m_studio->picRoot).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        MsgBox::clearShown();
        startButton()->click();
        QCOMPARE(MsgBox::shown().size(), 1);
        QVERIFY(QFileInfo::exists(halven + "/kept"));
        QCOMPARE(QDir(m_studio->picRoot).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        QVERIFY(startButton()->isEnabled());
        QCOMPARE(startButton()->text(), QString("批量导片"));
        QVERIFY(m_server.requests("updatepicpath").isEmpty());

        // a root that refuses the user (the permission refused through the seam, as the tests run as root),
        // and a root on a full disk: the box says which
        Platform::refuseOpens(m_studio->picRoot);
        startButton()->click();
        QCOMPARE(MsgBox::lastShown().text, "您没有服务器写入权限：" + m_studio->picRoot);
        Platform::clearFaults();
        {
            const testsupport::Mounted full(m_studio->picRoot, testsupport::Mounted::Full);
            if (full.active()) {
                startButton()->click();
                QCOMPARE(MsgBox::lastShown().text, "服务器路径无法写入：" + m_studio->picRoot + "（磁盘空间不足）");
            }
        }
        QVERIFY(m_server.requests("updatepicpath").isEmpty());

#ifdef Q_OS_LINUX
        // a root on a disk full by its blocks, its entries free (the usual full share): the start passes, as a
        // probe file takes no block, and the run stops on the space for the first photo
        {
            const QString fullRoot = m_roots->path("studio/full/pic/");
            const testsupport::Mounted disk(fullRoot, testsupport::Mounted::Roomy);
            if (disk.active()) {
                QVERIFY(QDir().mkpath(fullRoot + "order/成品"));
                {
                    QFile fill(fullRoot + "fill");
                    QVERIFY(fill.open(QIODevice::WriteOnly));
                    const QByteArray block(64 * 1024, 'x');
                    while (fill.write(block) == block.size() && fill.flush()) {
                    }
                }
                { // an entry is made, no byte goes in
                    QFile more(fullRoot + "more");
                    QVERIFY(more.open(QIODevice::WriteOnly));
                    QVERIFY(more.write("x") != 1 || !more.flush());
                }
                QVERIFY(QFile::remove(fullRoot + "more"));
                b->setFinishedImported(true); // a and b have nothing left to import, their folders whole
                QVERIFY(QDir().mkpath(a->orderPath() + "成品") && QDir().mkpath(b->orderPath() + "成品"));
                ImportOrderModel *onFull = record(3, [&](QJsonObject &json) {
                    QJsonObject roots = json["picpathnew"].toObject();
                    roots["picpath"] = fullRoot;
                    json["picpathnew"] = roots;
                    json["orderpath"] = fullRoot + "order/";
                });
                onFull->setFinishedFiles(a->finishedFiles());
                QVERIFY(handOver({onFull}));
                MsgBox::clearShown();
                QVERIFY(runToEnd());
                QCOMPARE(testsupport::lastBox(), QString("警告|服务器空间不足，请清理空间后再导入"));
                QVERIFY(!onFull->isFinishedImported());
                onFull->setFinishedImported(true); // out of the way
            }
        }

        // a root nothing can be written into: on a read-only disk where a disk can be mounted, else /proc/;
        // the box says why
        const QString readOnlyRoot = m_roots->path("studio/ro/pic/");
        const testsupport::Mounted readOnly(readOnlyRoot, testsupport::Mounted::ReadOnly);
        const QString lockedRoot = readOnly.active() ? readOnlyRoot : QString("/proc/");
        ImportOrderModel *locked = record(2, [&](QJsonObject &json) {
            QJsonObject roots = json["picpathnew"].toObject();
            roots["picpath"] = lockedRoot;
            json["picpathnew"] = roots;
            json["orderpath"] = "";
        });
        locked->setFinishedFiles(a->finishedFiles());
        QVERIFY(handOver({locked}));
        startButton()->click();
        QCOMPARE(MsgBox::lastShown().text, "服务器路径无法写入：" + lockedRoot
                                               + (readOnly.active() ? "（磁盘只读或有写保护）" : "（文件或文件夹不存在）"));
#endif
    }

    void wholeRunOfFinishedPhotos()
    {
        ImportOrderModel *a = record(0); // has an order folder with four finished photos
        ImportOrderModel *b = record(1); // imported already: passed over
        ImportOrderModel *e = record(4); // no order folder yet
        a->setFinishedFiles(photos("src/a", {"新 1.jpg", "a&b#2.jpg", "c.jpg"}));
        b->setFinishedFiles(photos("src/b", {"b.jpg"}));
        b->setFinishedImported(true);
        e->setFinishedFiles(photos("src/e", {"e1.jpg", "e2.jpg"}));
        QVERIFY(handOver({a, b, e}));
        const QString bFolderBefore = QDir(b->orderPath() + "成品").entryList(QDir::Files).join(",");

        // sequencing: when the first order's status changes, the last one has not been started
        QStringList statusLog;
        connect(table()->model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex &index) {
            if (index.column() == 3)
                statusLog << QString("%1:%2:%3").arg(index.row()).arg(index.data().toString()).arg(e->orderPath().isEmpty() ? "true" : "false");
        });

        emit table()->cellClicked(2, 0); // the order shown while it is imported
        startButton()->click();
        QCOMPARE(startButton()->text(), QString("导片中..."));
        QVERIFY(!startButton()->isEnabled());
        QVERIFY(!radio(0)->isEnabled());
        QVERIFY(!chooseButton(0)->isEnabled());
        QVERIFY(testsupport::waitFor([this] { return idle(); }));
        QVERIFY(waitRequests("updatepicpath", 4));
        disconnect(table()->model(), nullptr, this, nullptr);

        QCOMPARE(statusLog, (QStringList{"0:已导入(7):true", "2:已导入(2):false"}));
        QCOMPARE(testsupport::lastBox(), QString("导入完成|2个订单已经全部导完"));
        QCOMPARE(MsgBox::shown().size(), 1);
        QCOMPARE(startButton()->text(), QString("批量导片"));
        QVERIFY(radio(0)->isEnabled());
        QVERIFY(chooseButton(0)->isEnabled());
        QVERIFY(!m_dlg->findChild<QLineEdit *>("folderSuffixEdit")->isEnabled());

        QVERIFY(a->isFinishedImported());
        QVERIFY(e->isFinishedImported());
        QCOMPARE(int(a->finishedImportedCount()), 3);
        QCOMPARE(int(e->finishedImportedCount()), 2);
        QCOMPARE(status(1), QString("已导入(3)")); // untouched
        QCOMPARE(progressText(0), QString("3/3"));
        QCOMPARE(progressText(2), QString("2/2"));
        QCOMPARE(progressBar(2)->value(), 2);
        QCOMPARE(progressBar(2)->maximum(), 2); // the bar says what the count says
        QCOMPARE(QDir(b->orderPath() + "成品").entryList(QDir::Files).join(","), bFolderBefore);
        QVERIFY(e->orderPath().startsWith(m_studio->picRoot + QString(e->shotDate()).replace(7, 1, '/') + "/"));
        QVERIFY(e->orderPath().endsWith("/"));
        // the panel shows the imported order as it is now: its new folder and its photos
        QCOMPARE(m_dlg->findChild<QLabel *>("orderPathLabel")->text(), e->orderPath());
        QCOMPARE(m_dlg->findChild<QListWidget *>("importedList")->count(), 2);

        // one start and one end per order, start before end, the first order's end before the next start
        const QList<standin::Request> reports = m_server.requests("updatepicpath");
        QCOMPARE(reports.size(), 4);
        QMap<QString, QList<standin::Request>> byOrder;
        for (const standin::Request &r : reports) {
            QCOMPARE(r.fieldNames(), m_fieldOrder + QStringList("typeid"));
            QCOMPARE(field(r, "token"), g_apiToken);
            QCOMPARE(field(r, "superid"), QString("9"));
            QCOMPARE(field(r, "eid"), QString("77"));
            QCOMPARE(field(r, "shopid"), QString("11"));
            QCOMPARE(field(r, "typeid"), QString("1"));
            byOrder[field(r, "order_photo_id")] << r;
        }
        QCOMPARE(byOrder.keys(), (QStringList{"5001", "5005"}));
        auto ts = [](const standin::Request &r) { return r.field("timestamp").toLongLong(); };
        for (QList<standin::Request> &list : byOrder)
            std::sort(list.begin(), list.end(), [](auto &x, auto &y) { return x.field("importype") < y.field("importype"); });
        const standin::Request aStart = byOrder["5001"][0], aEnd = byOrder["5001"][1];
        const standin::Request eStart = byOrder["5005"][0], eEnd = byOrder["5005"][1];
        QCOMPARE(field(aStart, "importype"), QString("0"));
        QCOMPARE(field(aStart, "picnumber"), QString("0"));
        QCOMPARE(field(aStart, "picbacknumber"), QString("0"));
        QCOMPARE(field(aEnd, "importype"), QString("1"));
        QCOMPARE(field(aEnd, "picnumber"), QString("3"));
        QCOMPARE(field(aEnd, "picbacknumber"), QString("0"));
        QCOMPARE(field(aEnd, "orderpicpath"), a->orderPath());
        QCOMPARE(field(aEnd, "orderbakpicpath"), a->orderBakPath());
        QCOMPARE(field(eStart, "orderpicpath"), e->orderPath()); // the folder just built
        QCOMPARE(field(eStart, "orderbakpicpath"), e->orderBakPath());
        QCOMPARE(field(eEnd, "picnumber"), QString("2"));
        QVERIFY(ts(aStart) <= ts(aEnd) && ts(aEnd) <= ts(eStart) && ts(eStart) <= ts(eEnd));
        // the service took the reports: nothing waits in the order folders
        QCOMPARE(unsentRecords(a->orderPath()) + unsentRecords(e->orderPath()), QStringList());

        // a second press finds nothing left to import
        MsgBox::clearShown();
        startButton()->click();
        QCOMPARE(MsgBox::lastShown().text, QString("没有需要导入的订单"));
    }

    // The end box names what was not done, once the run's reports are answered; what stays pending is
    // taken by the next run: files not imported are imported, a report that did not arrive is sent again
    // with the counts of the run it stands for, and nothing is copied again. The counts wait in the order
    // folder, so the redo may come from a new window or after the order left the list and came back.
    void endBoxNamesWhatWasNotDone_data()
    {
        QTest::addColumn<QString>("fault");        // "folder": A1203's folder takes no file; "photos": two unreadable;
                                                   // "over whole": a cut-short photo named as a whole one there;
                                                   // "record": the counts cannot be written into the order folders
                                                   // "full": the disk is full; "full turned": so, the photos
                                                   // held sideways; "full shot": 20 photos as shot,
                                                   // the main files of 5 fit; "backup": photos as shot, a file
                                                   // where A1203's backup folder goes; "one shot": photos as shot,
                                                   // the main file of one cannot be written; "finished
                                                   // shot": photos as shot at a shop that also puts them
                                                   // into "成品/", which is on a read-only disk for the run;
                                                   // "finished turned": as "finished shot", the photos held
                                                   // sideways, "成品/" and the backup on full disks;
                                                   // "rated shot": as "one shot", w1 held sideways, and a
                                                   // viewer writes into it on the card before the redo;
                                                   // "read-only": A1203's folder on a read-only disk (its
                                                   // claim cannot be written either)
        QTest::addColumn<standin::Reply>("reply"); // to the path-and-count reports
        QTest::addColumn<QString>("named");        // in the end box (each of its lines)
        QTest::addColumn<bool>("imported");        // A1203 counts as imported
        QTest::addColumn<int>("reports");          // path-and-count reports of the run
        QTest::addColumn<QString>("redo");         // where unsent reports are sent again: "window" (the same),
                                                   // "new window" (this one closed), "rows removed" (and listed again),
                                                   // "two desks" (this one, while another window imports the order),
                                                   // "other type" (a new window importing A1203's photos as shot);
                                                   // after ", ": what else there is to it ("removal refused once",
                                                   // "removal refused", "record stays": the records of the report
                                                   // taken cannot be removed / nor renamed; "fifo and link",
                                                   // "huge records": files named as records beside A1203's
                                                   // ("huge records, first named m": A1203's record of the
                                                   // first run under a name that sorts after them all);
                                                   // "server clock behind": the folders' clock 20 minutes behind;
                                                   // "starts held": each run's start reports answered only
                                                   // once an end report of the run is due; "starts past time
                                                   // limit": the first run's answered only after their time
                                                   // limit, 2 s for the row, then the redo's held as "starts held")
        const standin::Reply ok = standin::Reply::ok();
        const standin::Reply http500 = standin::Reply::httpError(500);
        const QString e500 = "订单号:E5520-1 网络请求错误：服务器出错（HTTP 500）";
        // (a photo whose main file failed gets no reduced copies: one line per photo)
        QTest::newRow("order folder not writable") << "folder" << ok << "订单号:A1203-1 有2个文件未能导入：" << false << 3
                                                   << "window";
        QTest::newRow("order folder on a read-only disk: the box counts the files, the claim not written beside them")
            << "read-only" << ok
            << "订单号:A1203-1 有2个文件未能导入：\n"
               "w1.jpg：复制失败 {A}成品/w1.jpg（磁盘只读或有写保护）\nw2.jpg：复制失败 {A}成品/w2.jpg（磁盘只读或有写保护）\n\n"
               "订单号:A1203-1 导片标记无法写入，无法阻止其它电脑同时导入该订单：{A}.导片进行中（磁盘只读或有写保护）"
            << false << 3 << "window";
        QTest::newRow("disk full") << "full" << ok
                                   << "订单号:A1203-1 有2个文件未能导入：\n"
                                      "w1.jpg：复制失败 \n成品/w1.jpg（磁盘空间不足或文件过大）\n"
                                      "w2.jpg：复制失败 \n成品/w2.jpg（磁盘空间不足或文件过大）"
                                   << false << 2 << "window";
        QTest::newRow("disk full, finished photos held sideways: their upright main files cut short, none left")
            << "full turned" << ok
            << "订单号:A1203-1 有2个文件未能导入：\n"
               "w1.jpg：保存失败 \n成品/w1.jpg（磁盘空间不足或文件过大）\n"
               "w2.jpg：保存失败 \n成品/w2.jpg（磁盘空间不足或文件过大）"
            << false << 2 << "window";
        QTest::newRow("disk full, main files of 5 of 20 photos as shot fit")
            << "full shot" << ok
            << "订单号:A1203-1 有15个文件未能导入：\n"
               "CAM_002.jpg：保存失败 \n照片/CAM_002.jpg（磁盘空间不足或文件过大）\n"
               "CAM_020.jpg：保存失败 \n照片/CAM_020.jpg（磁盘空间不足或文件过大）"
            << false << 3 << "window";
        QTest::newRow("backup folder cannot be made, named with the reason")
            << "backup" << ok
            << "订单号:A1203-1 有2个文件未能导入：\n"
               "w1.jpg：备份复制失败（无法建立订单备份目录：\n/照片/（文件已存在））\n"
               "w2.jpg：备份复制失败（无法建立订单备份目录："
            << false << 3 << "window";
        QTest::newRow("photos as shot, one not written: the redo writes it alone, the other named as in the order")
            << "one shot" << ok << "订单号:A1203-1 有1个文件未能导入：\nw2.jpg：复制失败 \n照片/w2.jpg（没有权限）" << false << 3
            << "window";
        QTest::newRow("photos as shot, one not written, the other changed on the card in its metadata: the redo ends it")
            << "rated shot" << ok << "订单号:A1203-1 有1个文件未能导入：\nw2.jpg：复制失败 \n照片/w2.jpg（没有权限）" << false << 3
            << "window";
        QTest::newRow("photos as shot, their copies in 成品/ refused: the redo makes them")
            << "finished shot" << ok << "订单号:A1203-1 有2个文件未能导入：\nw1.jpg：复制失败 \n成品/w1.jpg（" << false << 3
            << "window";
        QTest::newRow("photos as shot, their copies in 成品/ refused, the start reports answered late: each end after its start")
            << "finished shot" << ok << "订单号:A1203-1 有2个文件未能导入：\nw1.jpg：复制失败 \n成品/w1.jpg（" << false << 3
            << "window, starts held";
        QTest::newRow("photos as shot held sideways, their copies in 成品/ and backups refused by full disks: the redo makes them")
            << "finished turned" << ok
            << "订单号:A1203-1 有4个文件未能导入：\nw1.jpg：保存失败 \n成品/w1.jpg（磁盘空间不足）\n"
               "w1.jpg：备份复制失败（复制失败：\n/照片/w1.jpg（磁盘空间不足））\nw2.jpg：保存失败 \n成品/w2.jpg（"
            << false << 3 << "window";
        QTest::newRow("empty and cut-short photos") << "photos" << ok
                                                    << "订单号:A1203-1 无法读取的照片：empty.jpg、cut.jpg" << true << 4
                                                    << "window";
        QTest::newRow("cut-short photo over a whole one")
            << "over whole" << ok << "订单号:A1203-1 无法读取的照片：cut.jpg → cut(1).jpg（同名的完好照片已保留）" << true << 4
            << "window";
        QTest::newRow("report refused, answered late") << "" << standin::Reply::refused("订单不存在").withDelay(1500)
                                                       << "订单号:A1203-1 服务器没有接受：订单不存在" << true << 4 << "window";
        QTest::newRow("report HTTP 500") << "" << http500 << e500 << true << 4 << "window";
        QTest::newRow("report not JSON") << "" << standin::Reply::notJson() << "订单号:A1203-1 服务器的回复无法读取"
                                         << true << 4 << "window";
        // the reports went out and no answer came: the service may have them, and the next press sends them again
        QTest::newRow("report's connection closed once it went out")
            << "" << standin::Reply::closed()
            << "以下订单的导片数量已发给服务器，但没有收到服务器的回复，服务器可能已收下；程序仍保留这些数量，"
               "再点“批量导片”或下次在任一导片窗口导入该订单时会再次上报；服务器若已收下这次上报，会重复计数：\n"
               "订单号:A1203-1 网络请求错误：请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求\n"
               "订单号:E5520-1 网络请求错误：请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求"
            << true << 4 << "window";
        // the same where no answer came within the reports' time limit (a reply held past a minute; the limit
        // shortened for the row)
        const QString timedOut = "网络请求错误：服务器3秒内没有回应（请求超时），请稍后再试";
        QTest::newRow("report's time limit passed once it went out")
            << "" << standin::Reply::ok().withDelay(60 * 1000)
            << "以下订单的导片数量已发给服务器，但没有收到服务器的回复，服务器可能已收下；程序仍保留这些数量，"
               "再点“批量导片”或下次在任一导片窗口导入该订单时会再次上报；服务器若已收下这次上报，会重复计数：\n"
               "订单号:A1203-1 " + timedOut + "\n订单号:E5520-1 " + timedOut
            << true << 4 << "window";
        QTest::newRow("report HTTP 500, sent from a new window") << "" << http500 << e500 << true << 4 << "new window";
        const QString closedWhy = "网络请求错误：请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求";
        QTest::newRow("report's connection closed once it went out, sent from a new window: asked as maybe taken")
            << "" << standin::Reply::closed()
            << "以下订单的导片数量已发给服务器，但没有收到服务器的回复，服务器可能已收下；程序仍保留这些数量，"
               "再点“批量导片”或下次在任一导片窗口导入该订单时会再次上报；服务器若已收下这次上报，会重复计数：\n"
               "订单号:A1203-1 " + closedWhy
            << true << 4 << "new window";
        // the start reports taken only after their time limit, after the end reports: the service may then
        // show the orders as not imported, and the next press sets them right
        const QString startsLate = "以下订单开始导片的信息已发给服务器，但没有收到服务器的回复；服务器若稍后才收下，"
                                   "会把该订单显示为未导入，再点“批量导片”或在任一导片窗口再次导入该订单即可改正"
                                   "（不会重复复制照片，也不会重复计数）：\n";
        const QString startTimedOut = "网络请求错误：服务器2秒内没有回应（请求超时），请稍后再试";
        QTest::newRow("start reports answered past their time limit: named, the next press posts start then end, no counts")
            << "" << ok << startsLate + "订单号:A1203-1 " + startTimedOut + "\n订单号:E5520-1 " + startTimedOut << true
            << 4 << "window, starts past time limit";
        QTest::newRow("report HTTP 500, rows removed and listed again") << "" << http500 << e500 << true << 4
                                                                        << "rows removed";
        QTest::newRow("report HTTP 500, sent again while another desk imports the order")
            << "" << http500 << e500 << true << 4 << "two desks";
        QTest::newRow("report HTTP 500, sent by the next run of another type")
            << "" << http500 << e500 << true << 4 << "other type";
        QTest::newRow("report HTTP 500, sent again, the removal of its records refused once")
            << "" << http500 << e500 << true << 4 << "window, removal refused once";
        QTest::newRow("report HTTP 500, sent again, its records never removed: renamed")
            << "" << http500 << e500 << true << 4 << "window, removal refused";
        QTest::newRow("report HTTP 500, sent again, its records neither removed nor renamed")
            << "" << http500 << e500 << true << 4 << "window, record stays";
        QTest::newRow("report HTTP 500, sent from a new window, a FIFO and a link named as records")
            << "" << http500 << e500 << true << 4 << "new window, fifo and link";
        QTest::newRow("report HTTP 500, sent from a new window, damaged records and more than one report carries")
            << "" << http500 << e500 << true << 4 << "new window, huge records";
        QTest::newRow("report HTTP 500, sent from a new window, damaged records, the first run's named like them")
            << "" << http500 << e500 << true << 4 << "new window, huge records, first named m";
        QTest::newRow("report HTTP 500, sent again while another desk imports the order, the folders' clock behind")
            << "" << http500 << e500 << true << 4 << "two desks, server clock behind";
        // "claim once": the claim of A1203's new record refused once (a scanner holds the file); "claim
        // refused": every claim refused, the records wait in the order folders for the next press
        QTest::newRow("report HTTP 500, the claim of A1203's new record refused once: the counts go")
            << "claim once" << http500 << e500 << true << 4 << "window";
        QTest::newRow("claim of the run's records refused always: the box says the counts wait, and why")
            << "claim refused" << ok
            << "订单目录中的导片记录无法取用（没有权限），这次没有上报，仍记在订单目录中，请排除原因后再点“批量导片”上报：\n"
               "订单号:A1203-1 \n订单号:E5520-1 " << true << 4
            << "window";
        // "claim busy": as "claim refused", another program holding the records (a sharing violation)
        QTest::newRow("claim of the run's records refused always, the files held: the box says to press again later")
            << "claim busy" << ok
            << "订单目录中的导片记录无法取用（文件正被其它程序使用），这次没有上报，仍记在订单目录中，请稍后再点“批量导片”上报：\n"
               "订单号:A1203-1 \n订单号:E5520-1 " << true << 4
            << "window";
        QTest::newRow("report HTTP 500, counts not kept in the order folders")
            << "record" << http500 << "以下订单的导片数量无法记在订单目录中，只保存在本窗口（关闭窗口后不再上报）：\n"
                                      "订单号:A1203-1 " << true << 4 << "window";
        QTest::newRow("report's connection closed, counts not kept in the order folders: only this window sends them")
            << "record" << standin::Reply::closed()
            << "以下订单的导片数量已发给服务器，但没有收到服务器的回复，服务器可能已收下；这些数量只保存在本窗口，"
               "再点“批量导片”会再次上报（关闭窗口后不再上报）；服务器若已收下这次上报，会重复计数：\n"
               "订单号:A1203-1 " + closedWhy
            << true << 4 << "window";
    }
    void endBoxNamesWhatWasNotDone()
    {
        QFETCH(QString, fault);
        QFETCH(standin::Reply, reply);
        QFETCH(QString, named);
        QFETCH(bool, imported);
        QFETCH(int, reports);
        QFETCH(QString, redo);
        const QString beside = redo.section(", ", 1);
        redo = redo.section(", ", 0, 0);
        m_server.setReply("updatepicpath", reply);
        ImportOrderModel *a = record(0);
        ImportOrderModel *e = record(4);
        const bool shot = fault == "full shot";
        const bool full = fault == "full" || fault == "full turned";
        const bool finishedTurned = fault == "finished turned";
        const bool finishedShot = fault == "finished shot" || finishedTurned;
        const bool rated = fault == "rated shot";
        const ImportTypeEnum type = shot || fault == "backup" || fault == "one shot" || rated || finishedShot
                                        ? ImportOriginPhotos
                                        : ImportFinishedPhotos;
        if (finishedShot) {
            // a window of a shop whose switch puts photos as shot into "成品/" too
            delete m_dlg.data();
            g_yptbcp = "1";
            openDialog();
            g_yptbcp = "0";
        }
        QStringList chosen = photos("src/a", {"w1.jpg", "w2.jpg"}, QSize(300, 200));
        const QByteArray whole = testsupport::bytesOf(chosen.first());
        if (shot) {
            // Photos of about 80 KB; the 15 held sideways are written upright at full quality, about 170 KB,
            // their thumbnails under 60 KB.
            chosen.clear();
            for (int i = 1; i <= 20; ++i) {
                chosen << m_roots->path(QString("src/a/CAM_%1.jpg").arg(i, 3, 10, QChar('0')));
                QVERIFY(testsupport::writeJpeg(chosen.last(), QSize(2400, 1600), i % 4 == 1 ? 1 : 6, false,
                                               QColor(40 + i, 120, 200)));
            }
        }
        const QColor ratedColour(200, 90, 40);
        if (rated)
            QVERIFY(testsupport::writeJpeg(chosen.first(), QSize(300, 200), 6, false, ratedColour));
        if (finishedTurned || fault == "full turned") {
            for (const QString &path : qAsConst(chosen))
                QVERIFY(testsupport::writeJpeg(path, QSize(300, 200), 6, false, QColor(qHash(path) & 0xff, 90, 160)));
        }
        if (fault == "photos" || fault == "over whole") {
            QVERIFY(testsupport::put(m_roots->path("src/a/empty.jpg"), QByteArray()));
            QVERIFY(testsupport::put(m_roots->path("src/a/cut.jpg"), whole.left(whole.size() / 2)));
            chosen << m_roots->path("src/a/cut.jpg");
            if (fault == "photos")
                chosen.insert(2, m_roots->path("src/a/empty.jpg"));
        }
        a->setChosenFiles(type, chosen);
        e->setChosenFiles(type, photos("src/e", {"e1.jpg"}));
        QVERIFY(handOver({a, e}));
        if (type == ImportOriginPhotos)
            chooseType(0);
        const QString inTheWay = QString(a->orderBakPath()).chopped(1);
        if (fault == "backup")
            QVERIFY(QDir(inTheWay).removeRecursively() && testsupport::put(inTheWay, "not a folder"));
        if (fault == "folder")
            Platform::failCopies(a->orderPath());
        if (fault == "one shot" || rated)
            Platform::failCopies(a->orderPath() + "照片/w2.jpg");
        if (fault == "over whole") {
            QVERIFY(testsupport::put(a->orderPath() + "成品/cut.jpg", whole));
            QVERIFY(testsupport::put(a->orderPath() + "成品缩略图/cut.jpg", whole));
        }
        if (fault == "record")
            Platform::failWrites(UnsentReport::namePrefix());
        if (fault.startsWith("claim"))
            Platform::failRenames(".claim-", fault == "claim once" ? 1 : -1, fault == "claim busy" ? EBUSY : EPERM);
        {
            // a full disk: no file of the run grows past a few hundred bytes
            std::unique_ptr<testsupport::FileSizeLimit> fullDisk;
            if (full)
                fullDisk.reset(new testsupport::FileSizeLimit(300));
            if (shot)
                fullDisk.reset(new testsupport::FileSizeLimit(120 * 1024));
            std::unique_ptr<testsupport::Mounted> finishedDisk;
            std::unique_ptr<testsupport::Mounted> backupFull;
            std::unique_ptr<testsupport::Mounted> orderDisk;
            if (fault == "read-only") {
                orderDisk.reset(new testsupport::Mounted(a->orderPath(), testsupport::Mounted::ReadOnly));
                QVERIFY(orderDisk->active());
            }
            if (finishedShot) {
                finishedDisk.reset(new testsupport::Mounted(a->orderPath() + "成品", finishedTurned ? testsupport::Mounted::Full
                                                                                                : testsupport::Mounted::ReadOnly));
                QVERIFY(finishedDisk->active());
            }
            if (finishedTurned) {
                backupFull.reset(new testsupport::Mounted(a->orderBakPath() + "照片", testsupport::Mounted::Full));
                QVERIFY(backupFull->active());
            }
            const int timeLimit = requestTimeoutMs();
            const auto timeLimitBack = qScopeGuard([timeLimit] { setRequestTimeoutMs(timeLimit); });
            if (reply.delayMs >= 60 * 1000)
                setRequestTimeoutMs(3000);
            standin::Gate takenLate;
            if (beside == "starts past time limit") {
                setRequestTimeoutMs(2000);
                m_server.setHandler("updatepicpath", [takenLate](const standin::Request &r) {
                    return r.field("importype") == "0" ? standin::Reply::ok().heldBy(takenLate) : standin::Reply::ok();
                });
            }
            const auto answeredLate = qScopeGuard([&takenLate] { takenLate.open(); });
            if (beside == "starts held") {
                const QString problem = runToEndWithStartsHeld();
                QVERIFY2(problem.isEmpty(), qPrintable(problem));
            } else {
                QVERIFY(runToEnd());
            }
        }

        QCOMPARE(MsgBox::shown().size(), 1);
        QCOMPARE(m_server.requestCount("updatepicpath"), reports);
        QCOMPARE(MsgBox::lastShown().title, QString("导入结束"));
        const QString end = MsgBox::lastShown().text;
        named.replace("{A}", a->orderPath());
        for (const QString &line : named.split('\n'))
            QVERIFY2(end.contains(line), qPrintable(end));
        // the claim is named beside the files, not among them
        QVERIFY2(fault != "read-only" || end.contains(named), qPrintable(end));
        QVERIFY(!end.contains("全部导完"));
        QCOMPARE(e->isImported(type), !full);
        // a file the full disk cut short is left neither under its name nor beside it
        if (full)
            QCOMPARE(QDir(a->orderPath() + "成品").entryList({"w*", ".writing-*", ".copying-*"}, QDir::Files | QDir::Hidden),
                     QStringList());
        QCOMPARE(a->isImported(type), imported);
        // the row's status counts the files the box counts
        QCOMPARE(status(0).startsWith("未导完("), !imported);
        QVERIFY(imported || named.contains("有" + status(0).section('(', 1).section("个", 0, 0) + "个文件"));
        if (shot) {
            // The photos whose main files failed have no backup and no reduced copy, and the window does not
            // show them among the imported ones.
            QStringList inOrder;
            for (const QString &name : QDir(a->orderPath() + "照片").entryList(QDir::Files))
                if (name.startsWith("CAM_"))
                    inOrder << name;
            QCOMPARE(inOrder, (QStringList{"CAM_001.jpg", "CAM_005.jpg", "CAM_009.jpg", "CAM_013.jpg", "CAM_017.jpg"}));
            QCOMPARE(QDir(a->orderBakPath() + "照片").entryList({"CAM_*"}, QDir::Files), inOrder);
            for (const char *thumbs : {"thumbnail", "thumbnail100", "thumbnail2250"})
                QCOMPARE(QDir(a->orderPath() + thumbs).entryList({"CAM_*"}, QDir::Files), inOrder);
            emit table()->cellClicked(0, 0);
            QStringList shown;
            const QListWidget *list = m_dlg->findChild<QListWidget *>("importedList");
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i)->text().startsWith("CAM_"))
                    shown << list->item(i)->text();
            QCOMPARE(shown, inOrder);
        }
        if (fault == "photos")
            QVERIFY(QFile::exists(a->orderPath() + "成品/cut.jpg") && !QFile::exists(a->orderPath() + "成品缩略图/cut.jpg"));
        if (fault == "over whole") {
            // the whole photo stays with its reduced copy; the cut-short file is kept beside it
            QCOMPARE(testsupport::bytesOf(a->orderPath() + "成品/cut.jpg"), whole);
            QVERIFY(QFile::exists(a->orderPath() + "成品缩略图/cut.jpg"));
            QCOMPARE(testsupport::bytesOf(a->orderPath() + "成品/cut(1).jpg"), whole.left(whole.size() / 2));
        }
        // an order with files not imported is not reported imported
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            QVERIFY(imported || field(r, "order_photo_id") != a->orderPhotoId() || field(r, "importype") == "0");
        const QList<standin::Request> ends = m_server.requests("updatepicpath");
        // the end reports carry the run's counts, unless the box says they wait
        if (fault.startsWith("claim"))
            QCOMPARE(endReports(), (fault == "claim once" ? QStringList{"5001:2", "5005:1"} : QStringList{"5001:0", "5005:0"}));

        // the next run takes the order again, as the box said
        Platform::clearFaults();
        if (fault == "backup")
            QVERIFY(QFile::remove(inTheWay));
        if (rated) // the same pixels, a shot time more
            QVERIFY(testsupport::writeJpeg(chosen.first(), QSize(300, 200), 6, false, ratedColour, "2024:03:05 10:11:12"));
        m_server.setReply("updatepicpath", standin::Reply::ok());
        m_server.clearRequests();
        MsgBox::clearShown();
        if (!imported) {
            // The photos as shot the first run placed are in the order: the redo does not write them again
            // (their files keep a time put back here) and names them in its box.
            const QDateTime putBack = QDateTime::currentDateTime().addDays(-3).addMSecs(-1234);
            QStringList firstRun;
            if (fault == "one shot") {
                for (const char *folder : {"照片/", "thumbnail/", "thumbnail100/", "thumbnail2250/"})
                    firstRun << a->orderPath() + folder + "w1.jpg";
                firstRun << a->orderBakPath() + "照片/w1.jpg";
                for (const QString &path : qAsConst(firstRun)) {
                    QFile file(path);
                    QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(putBack, QFileDevice::FileModificationTime));
                }
            }
            if (beside == "starts held") {
                // the redo finds both photos and ends at once: its end report still waits for its start
                const QString problem = runToEndWithStartsHeld();
                QVERIFY2(problem.isEmpty(), qPrintable(problem));
            } else {
                QVERIFY(runToEnd());
            }
            const int there = shot ? 5 : fault == "backup" || finishedShot ? 2 : fault == "one shot" || rated ? 1 : 0;
            QCOMPARE(testsupport::lastBox(),
                     QString("导入完成|%1个订单已经全部导完").arg(full ? 2 : 1)
                         + (there ? QString("\n订单号:A1203-1 已在订单中的照片：%1张（未重复导入）").arg(there) : QString()));
            QVERIFY(a->isImported(type));
            // what both runs placed (the first run placed nothing, or the 5 photos that fitted), main files
            // and backups alike
            QString placed;
            for (const standin::Request &r : m_server.requests("updatepicpath"))
                if (field(r, "order_photo_id") == a->orderPhotoId())
                    placed = field(r, "picnumber") + (type == ImportOriginPhotos ? "/" + field(r, "picbacknumber") : QString());
            // (the photo changed on the card has its new bytes in the backup beside the old)
            QCOMPARE(placed, QString::number(chosen.size())
                                 + (type == ImportOriginPhotos ? "/" + QString::number(chosen.size() + (rated ? 1 : 0)) : ""));
            if (rated) {
                QCOMPARE(QDir(a->orderBakPath() + "照片").entryList({"w*"}, QDir::Files),
                         (QStringList{"w1(1).jpg", "w1.jpg", "w2.jpg"}));
                QCOMPARE(testsupport::bytesOf(a->orderBakPath() + "照片/w1(1).jpg"), testsupport::bytesOf(chosen.first()));
                QCOMPARE(QDir(a->orderPath() + "照片").entryList({"w*"}, QDir::Files), (QStringList{"w1.jpg", "w2.jpg"}));
            }
            for (const QString &folder : {a->orderBakPath() + "照片", a->orderPath() + "thumbnail100"})
                QVERIFY(!shot || QDir(folder).entryList({"CAM_*"}, QDir::Files).size() == 20);
            if (fault == "backup" || fault == "one shot") {
                // the backups made by the redo, once; the main files and reduced copies not doubled
                // (A1203's backup holds photos of its own beside them, unless the row made it anew)
                const QStringList ours = fault == "backup" ? QStringList() : QStringList{"w*"};
                QCOMPARE(QDir(a->orderBakPath() + "照片").entryList(ours, QDir::Files), (QStringList{"w1.jpg", "w2.jpg"}));
                QCOMPARE(testsupport::bytesOf(a->orderBakPath() + "照片/w2.jpg"), testsupport::bytesOf(chosen.last()));
                for (const char *folder : {"照片", "thumbnail", "thumbnail100", "thumbnail2250"})
                    QCOMPARE(QDir(a->orderPath() + folder).entryList({"w*"}, QDir::Files), (QStringList{"w1.jpg", "w2.jpg"}));
            }
            for (const QString &path : qAsConst(firstRun))
                QCOMPARE(QFileInfo(path).lastModified(), putBack);
            if (finishedShot) {
                // the photos found in the order got the copies it lacked
                QCOMPARE(QDir(a->orderPath() + "成品").entryList({"w*"}, QDir::Files), (QStringList{"w1.jpg", "w2.jpg"}));
                QCOMPARE(testsupport::bytesOf(a->orderPath() + "成品/w2.jpg"),
                         testsupport::bytesOf(finishedTurned ? a->orderPath() + "照片/w2.jpg" : chosen.last()));
                QCOMPARE(QDir(a->orderBakPath() + "照片").entryList({"w*"}, QDir::Files), (QStringList{"w1.jpg", "w2.jpg"}));
            }
        } else if (!fault.isEmpty() && fault != "record" && !fault.startsWith("claim")) {
            startButton()->click();
            QCOMPARE(MsgBox::lastShown().text, QString("没有需要导入的订单"));
        } else if (beside == "starts past time limit") {
            // As the box said: the next press posts each order's start again and its end only once the start is
            // answered, counting nothing again, and copies nothing; then nothing is left to do.
            const QDateTime written = QFileInfo(a->orderPath() + "成品/w1.jpg").lastModified();
            const QString problem = runToEndWithStartsHeld();
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            QCOMPARE(testsupport::lastBox(), QString("导入完成|2个订单已经全部导完"));
            QStringList sent;
            for (const standin::Request &r : m_server.requests("updatepicpath"))
                sent << field(r, "order_photo_id") + ":" + field(r, "importype") + ":" + field(r, "picnumber") + "/"
                            + field(r, "picbacknumber");
            QCOMPARE(sent.filter("5001:"), (QStringList{"5001:0:0/0", "5001:1:0/0"}));
            QCOMPARE(sent.filter("5005:"), (QStringList{"5005:0:0/0", "5005:1:0/0"}));
            QCOMPARE(QFileInfo(a->orderPath() + "成品/w1.jpg").lastModified(), written);
            MsgBox::clearShown();
            startButton()->click();
            QCOMPARE(MsgBox::lastShown().text, QString("没有需要导入的订单"));
        } else if (redo == "two desks") {
            // This window sends the owed reports again, slowly; meanwhile another desk imports the same order
            // and reports at once: its report carries only what it placed, never what this one carries.
            QCOMPARE(unsentRecords(a->orderPath()).size(), 1);
            // Beside it, a record claimed by a report of a program that ended an hour ago (taken again), and
            // one a third desk's report carries now (left to it).
            // Claims are judged on the folder's clock, whatever the desks' clocks say.
            if (beside == "server clock behind")
                Platform::skewFolderClocks(-20 * 60 * 1000);
            const qint64 now = Platform::folderClock(a->orderPath());
            const QString abandoned = ".tessaly-unsent-1-old.claim-" + QString::number(now - 3600000, 36) + "-x";
            const QString underWay = ".tessaly-unsent-1-new.claim-" + QString::number(now, 36) + "-y";
            QVERIFY(testsupport::put(a->orderPath() + abandoned, R"({"typeid":1,"picnumber":3,"picbacknumber":0})"));
            QVERIFY(testsupport::put(a->orderPath() + underWay, R"({"typeid":1,"picnumber":7,"picbacknumber":0})"));
            standin::Gate otherDeskDone; // this window's reports are answered after the other desk's run
            m_server.setReply("updatepicpath", standin::Reply::ok().heldBy(otherDeskDone));
            startButton()->click();
            QVERIFY(waitRequests("updatepicpath", 2));
            m_server.setReply("updatepicpath", standin::Reply::ok());
            QPointer<importOrdersPhotoDlg> otherDesk(new importOrdersPhotoDlg(nullptr, ShopSettings::current()));
            otherDesk->show();
            ImportOrderModel *a2 = record(0);
            a2->setFinishedFiles(chosen);
            QVERIFY(QMetaObject::invokeMethod(otherDesk, "getNewOrderSlot",
                                              Q_ARG(QList<ImportOrderModel *>, {a2})));
            otherDesk->findChild<QPushButton *>("importAllBtn")->click();
            QVERIFY(testsupport::waitFor([&] { return !otherDesk->isImporting() && !otherDesk->isRunning(); }));
            otherDeskDone.open();
            QVERIFY(testsupport::waitFor([this] { return idle(); }));
            QCOMPARE(endReports(), (QStringList{"5001:0", "5001:5", "5005:1"}));
            QCOMPARE(unsentRecords(a->orderPath()) + unsentRecords(e->orderPath()), QStringList{underWay});
            delete otherDesk.data();
        } else if (redo == "other type") {
            // Weeks later the photos as shot of A1203 are imported in a new window: its run sends the report of
            // the finished photos A1203 still owes too; E5520, not listed, keeps its record.
            const QString aPath = a->orderPath(), ePath = e->orderPath();
            MsgBox::setNextAnswer(QMessageBox::Yes);
            m_dlg->close();
            QVERIFY(testsupport::waitFor([this] { return m_dlg.isNull(); }));
            openDialog();
            ImportOrderModel *a2 = record(0);
            QVERIFY(handOver({a2}));
            chooseType(0);
            a2->setOriginFiles(photos("src/shot", {"s1.jpg"}));
            MsgBox::clearShown();
            QVERIFY(runToEnd());
            QCOMPARE(testsupport::lastBox(), QString("导入完成|1个订单已经全部导完"));
            QStringList sent;
            for (const standin::Request &r : m_server.requests("updatepicpath"))
                if (field(r, "importype") == "1")
                    sent << field(r, "order_photo_id") + ":" + field(r, "typeid") + ":" + field(r, "picnumber");
            sent.sort();
            QCOMPARE(sent, (QStringList{"5001:0:1", "5001:1:2"}));
            QCOMPARE(unsentRecords(aPath), QStringList());
            QCOMPARE(unsentRecords(ePath).size(), 1);
        } else if (redo != "window") {
            // The counts wait in the order folders, beside a file of another program that only looks like
            // a record; the question before the orders leave the window names them, "No" keeps them.
            QCOMPARE(unsentRecords(a->orderPath()).size(), 1);
            QCOMPARE(unsentRecords(e->orderPath()).size(), 1);
            QString firstRun = unsentRecords(a->orderPath()).first(); // A1203's 2 photos
            QVERIFY(testsupport::put(a->orderPath() + ".tessaly-unsent-1-foreign", "{\"picnumber\": 40}"));
            // A FIFO (read without waiting for a writer) and a link to a record elsewhere (not counted), or
            // records with counts no import makes (passed over and named, no count past what an int holds)
            // beside sound ones that add up to more than one report carries (the rest wait for the next).
            const QByteArray forty = R"({"typeid":1,"picnumber":40,"picbacknumber":0})";
            const QByteArray huge = R"({"typeid":1,"picnumber":1000000000,"picbacknumber":0})";
            const QByteArray million = R"({"typeid":1,"picnumber":1000000,"picbacknumber":1000000})";
            int listedBeside = 0;
            QStringList millions; // the names of the records that count a million each
            if (beside == "fifo and link") {
#ifdef Q_OS_UNIX
                QVERIFY(::mkfifo(QFile::encodeName(a->orderPath() + ".tessaly-unsent-1-fifo").constData(), 0644) == 0);
#endif
                QVERIFY(testsupport::put(m_roots->path("elsewhere/.tessaly-unsent-1-x"), forty));
                QVERIFY(QFile::link(m_roots->path("elsewhere/.tessaly-unsent-1-x"), a->orderPath() + ".tessaly-unsent-1-link"));
                listedBeside = 1; // the link (a FIFO is no file to a listing of files)
            } else if (beside.startsWith("huge records")) {
                for (const char *name : {"h1", "h2", "h3"})
                    QVERIFY(testsupport::put(a->orderPath() + ".tessaly-unsent-1-" + name, huge));
                QVERIFY(testsupport::put(a->orderPath() + ".tessaly-unsent-1-h4", R"({"typeid":1,"picnumber":-3,"picbacknumber":0})"));
                for (int i = 0; i < UnsentReport::maxCount() / UnsentReport::maxRecordCount(); ++i) {
                    millions << ".tessaly-unsent-1-m" + QString::number(i);
                    QVERIFY(testsupport::put(a->orderPath() + millions.last(), million));
                }
                if (beside.endsWith("first named m")) {
                    // a random part the program may well draw: it sorts after the million-count records,
                    // so this record is the one left for the next report
                    const QString named = ".tessaly-unsent-1-mz" + firstRun.section('-', 3);
                    QVERIFY(QFile::rename(a->orderPath() + firstRun, a->orderPath() + named));
                    firstRun = named;
                }
                listedBeside = 4 + UnsentReport::maxCount() / UnsentReport::maxRecordCount();
            }
            const QString question = (named.contains("可能已收下") ? "以下订单的导片数量已发给服务器，但没有收到服务器的回复，服务器可能已收下：\n"
                                                                    : "以下订单的导片信息尚未上报服务器：\n")
                                     + QString("订单号:A1203-1\n订单号:E5520-1\n记在订单目录中的导片数量会在下次导入该订单时一并上报。\n");
            const QString aPath = a->orderPath(), ePath = e->orderPath();
            const QStringList eChosen = e->finishedFiles();
            MsgBox::setNextAnswer(QMessageBox::No);
            if (redo == "new window") {
                m_dlg->close();
                QCOMPARE(testsupport::lastBox(), "警告|" + question + "确定要关闭窗口吗？");
                QVERIFY(m_dlg && m_dlg->isVisible());
                MsgBox::setNextAnswer(QMessageBox::Yes);
                m_dlg->close();
                QVERIFY(testsupport::waitFor([this] { return m_dlg.isNull(); }));
                openDialog();
            } else {
                button("selectAllBtn")->click();
                button("delOrdersBtn")->click();
                QCOMPARE(testsupport::lastBox(), "警告|" + question + "确定要从列表中删除这些订单吗？");
                QCOMPARE(table()->rowCount(), 2);
                MsgBox::setNextAnswer(QMessageBox::Yes);
                button("delOrdersBtn")->click();
                QCOMPARE(table()->rowCount(), 0);
            }
            QCOMPARE(unsentRecords(aPath).size(), 2 + listedBeside);
            QCOMPARE(unsentRecords(ePath).size(), 1);

            // The same orders and photos listed anew (E5520 again without a folder, as the service does
            // not know it): the end reports carry what the first run placed, and the records go once the
            // service took them; a record another desk writes meanwhile stays.
            ImportOrderModel *a2 = record(0);
            ImportOrderModel *e2 = record(4);
            a2->setFinishedFiles(chosen);
            e2->setFinishedFiles(eChosen);
            QVERIFY(handOver({a2, e2}));
            const QStringList listedBefore = unsentRecords(aPath);
            standin::Gate recordWritten; // the reports are answered after another desk wrote its record
            m_server.setReply("updatepicpath", standin::Reply::ok().heldBy(recordWritten));
            MsgBox::clearShown();
            startButton()->click();
            QVERIFY(waitRequests("updatepicpath", 2));
            const QString otherDesk = UnsentReport::add(aPath, ImportFinishedPhotos, {5, 0});
            QVERIFY(!otherDesk.isEmpty());
            recordWritten.open();
            QVERIFY(testsupport::waitFor([this] { return idle(); }));
            QCOMPARE(e2->orderPath(), ePath);
            QStringList kept{".tessaly-unsent-1-foreign", QFileInfo(otherDesk).fileName()};
            if (beside.startsWith("huge records")) {
                // The damaged records stay as they are and are named; the sound ones are carried, as many as
                // one report carries, and the rest wait for the next report.
                QStringList damaged;
                for (const char *name : {"h1", "h2", "h3", "h4"})
                    damaged << aPath + ".tessaly-unsent-1-" + name;
                QCOMPARE(testsupport::lastBox(), "导入结束|2个订单已经导完\n" + UnsentReport::damagedText()
                                                     + "订单号:A1203-1 " + damaged.join("、"));
                qint64 files = 0, backups = 0, waiting = 0;
                for (const standin::Request &r : m_server.requests("updatepicpath")) {
                    if (field(r, "order_photo_id") != a2->orderPhotoId() || field(r, "importype") != "1")
                        continue;
                    files = field(r, "picnumber").toLongLong();
                    backups = field(r, "picbacknumber").toLongLong();
                }
                QVERIFY(files <= UnsentReport::maxCount() && backups <= UnsentReport::maxCount());
                for (const QString &name : unsentRecords(aPath))
                    if (millions.contains(name))
                        waiting += UnsentReport::maxRecordCount();
                QCOMPARE(files + waiting + (unsentRecords(aPath).contains(firstRun) ? 2 : 0),
                         qint64(UnsentReport::maxCount()) + 2);
                QVERIFY(files > 2);
                for (const QString &name : kept + QStringList{".tessaly-unsent-1-h1", ".tessaly-unsent-1-h4"})
                    QVERIFY2(unsentRecords(aPath).contains(name), qPrintable(name));
            } else {
                QCOMPARE(testsupport::lastBox(), QString("导入完成|2个订单已经全部导完"));
                QCOMPARE(endReports(), (QStringList{"5001:2", "5005:1"}));
                if (beside == "fifo and link") {
                    kept << ".tessaly-unsent-1-link";
                    QCOMPARE(testsupport::bytesOf(m_roots->path("elsewhere/.tessaly-unsent-1-x")), forty);
                }
                kept.sort();
                QCOMPARE(unsentRecords(aPath), kept);
            }
            QCOMPARE(unsentRecords(ePath), QStringList());
        } else {
            // The reports that did not arrive go again with their runs' counts; nothing is copied again. Those
            // the service may have taken are not called unreported, nor is a redo asked for them.
            const bool maybeTaken = named.contains("可能已收下");
            QVERIFY2(!maybeTaken || (!end.contains("没有报给服务器") && !end.contains("重新上报")),
                     qPrintable(end));
            QVERIFY(maybeTaken
                    || end.contains(fault == "claim refused" ? "请排除原因后再点“批量导片”上报"
                                    : fault == "claim busy"  ? "请稍后再点“批量导片”上报"
                                                             : "请在服务器恢复后再点“批量导片”重新上报"));
            QCOMPARE(unsentRecords(a->orderPath()).size(), fault == "record" ? 0 : 1);
            if (fault == "record") {
                // the question before closing says the counts are kept in the window only
                MsgBox::setNextAnswer(QMessageBox::No);
                m_dlg->close();
                QVERIFY2(MsgBox::lastShown().text.contains("订单号:E5520-1（只记在本窗口中，关闭后不再上报）"),
                         qPrintable(MsgBox::lastShown().text));
                QVERIFY(m_dlg && m_dlg->isVisible());
                MsgBox::clearShown();
            }
            const QDateTime written = QFileInfo(a->orderPath() + "成品/w1.jpg").lastModified();
            for (const QString &file : chosen + e->finishedFiles())
                QVERIFY(QFile::remove(file));
            // The records of the report the service takes are held by another program for a moment, for
            // good, or cannot even be renamed.
            if (!beside.isEmpty())
                Platform::failRemovals(UnsentReport::namePrefix(), beside == "removal refused once" ? 1 : -1);
            if (beside == "record stays")
                Platform::failRenames(".tessaly-sent-");
            QVERIFY(runToEnd());
            if (beside == "record stays") {
                // Named in the end box; this program never sends them again.
                for (const char *line : {"服务器已收到，但订单目录中的记录无法删除", "订单号:A1203-1 ", "订单号:E5520-1 "})
                    QVERIFY2(testsupport::lastBox().contains(line), qPrintable(testsupport::lastBox()));
            } else {
                QCOMPARE(testsupport::lastBox(), QString("导入完成|2个订单已经全部导完"));
            }
            QCOMPARE(QFileInfo(a->orderPath() + "成品/w1.jpg").lastModified(), written);
            QStringList sent, before, starts;
            // (a start that went out unanswered too goes again first)
            for (const standin::Request &r : m_server.requests("updatepicpath")) {
                if (field(r, "importype") == "0")
                    starts << field(r, "order_photo_id");
                else
                    QVERIFY(!maybeTaken || starts.contains(field(r, "order_photo_id")));
                if (field(r, "importype") != "0")
                    sent << field(r, "order_photo_id") + ":" + field(r, "importype") + ":" + field(r, "picnumber");
            }
            starts.sort();
            QCOMPARE(starts, maybeTaken ? (QStringList{"5001", "5005"}) : QStringList());
            for (const standin::Request &r : ends)
                if (field(r, "importype") == "1")
                    before << field(r, "order_photo_id") + ":1:" + field(r, "picnumber");
            sent.sort();
            before.sort();
            if (fault != "claim refused" && fault != "claim busy")
                QCOMPARE(sent, before);
            QCOMPARE(sent.join(','), QString("5001:1:2,5005:1:1"));
            // More than 15 minutes later (on the folders' clock) a claim is given up; what the service took
            // is never sent again all the same.
            for (const QString &folder : {a->orderPath(), e->orderPath()}) {
                const QString aged = ".claim-" + QString::number(Platform::folderClock(folder) - 20 * 60 * 1000, 36) + "-x";
                for (const QString &name : QDir(folder).entryList({"*.claim-*"}, QDir::Files | QDir::Hidden))
                    QVERIFY(QFile::rename(folder + name, folder + name.section(".claim-", 0, 0) + aged));
            }
            QCOMPARE((unsentRecords(a->orderPath()) + unsentRecords(e->orderPath())).size(), beside == "record stays" ? 2 : 0);
            QCOMPARE(QDir(a->orderPath()).entryList({".tessaly-sent-*"}, QDir::Files | QDir::Hidden).size(),
                     beside == "removal refused" ? 1 : 0);
            MsgBox::clearShown();
            startButton()->click();
            QCOMPARE(MsgBox::lastShown().text, QString("没有需要导入的订单"));
            QCOMPARE(m_server.requestCount("updatepicpath"), maybeTaken ? 4 : 2);
            // nothing owed any more: the window closes without a question
            m_dlg->close();
            QVERIFY(testsupport::waitFor([this] { return m_dlg.isNull(); }));
            QCOMPARE(MsgBox::shown().size(), 1);
        }
    }

    void videoTypesReportOnlyAtTheEnd()
    {
        ImportOrderModel *e = record(4);
        QVERIFY(handOver({e}));
        chooseType(3);
        const QStringList videos = files("src/v", {"片 1&#.mp4", "clip2.mp4"}, "video ");
        e->setTrialVideoFiles(videos);
        QVERIFY(runToEnd());
        QVERIFY(waitRequests("updatepicpath", 1));
        QTest::qWait(50);
        const QList<standin::Request> reports = m_server.requests("updatepicpath");
        QCOMPARE(reports.size(), 1); // nothing at the start
        const standin::Request end = reports.first();
        QCOMPARE(end.fieldNames(), m_fieldOrder + QStringList({"videopaths", "videofiles", "typeid"}));
        QCOMPARE(field(end, "importype"), QString("1"));
        QCOMPARE(field(end, "picnumber"), QString("2"));
        QCOMPARE(field(end, "picbacknumber"), QString("0"));
        const QString folder = e->orderPath() + "试拍视频/";
        QCOMPARE(field(end, "videopaths"), folder + "片 1&#.mp4|" + folder + "clip2.mp4");
        QCOMPARE(field(end, "videofiles"), QString("片 1&#.mp4|clip2.mp4"));
        QCOMPARE(field(end, "typeid"), QString("3"));
        QCOMPARE(status(0), QString("已导入(2)"));
        QVERIFY(e->isTrialVideoImported());
    }

    void stopsEndTheRunAndTheNextRunStartsAfresh()
    {
        // not enough space: the run ends, the order stays pending, no end report, no end box
        ImportOrderModel *a = record(0);
        a->setFinishedFiles(photos("src/a", {"s1.jpg", "s2.jpg"}));
        QVERIFY(handOver({a}));
        Platform::setFreeDiskBytesOverride(0);
        QVERIFY(runToEnd());
        QCOMPARE(MsgBox::lastShown().text, QString("服务器空间不足，请清理空间后再导入"));
        QVERIFY(!a->isFinishedImported());
        QCOMPARE(startButton()->text(), QString("批量导片"));
        QVERIFY(radio(2)->isEnabled());
        QVERIFY(chooseButton(0)->isEnabled());
        QTest::qWait(50);
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            QCOMPARE(field(r, "importype"), QString("0"));

        // space again: the next run is not held up by the old stop
        Platform::setFreeDiskBytesOverride(-1);
        MsgBox::clearShown();
        QVERIFY(runToEnd());
        QCOMPARE(MsgBox::lastShown().text, QString("1个订单已经全部导完"));
        QVERIFY(a->isFinishedImported());

        // a backup root that cannot be made: the box, the run ends, the order stays pending
        ImportOrderModel *e = record(4, [this](QJsonObject &json) {
            QJsonObject roots = json["picpathnew"].toObject();
            roots["bakpicpath"] = m_roots->path("studio/missing/parent/bak/");
            json["picpathnew"] = roots;
        });
        e->setFinishedFiles(a->finishedFiles());
        QVERIFY(handOver({e}));
        MsgBox::clearShown();
        QVERIFY(runToEnd());
        QVERIFY(!MsgBox::shown().isEmpty());
        QCOMPARE(MsgBox::shown().first().text, QString("备份服务器路径错误。（文件或文件夹不存在）"));
        QVERIFY(!e->isFinishedImported());
        QVERIFY(radio(0)->isEnabled());

        // an order folder that cannot be made: the question, then idle with the order pending, and the
        // web service is not told of an import that never began
        Platform::clearFaults();
        e->setFinishedImported(true); // out of the way
        ImportOrderModel *c = record(4, [](QJsonObject &json) { json["order_photo_id"] = "5099"; json["orderpayforkey"] = "X1"; });
        c->setFinishedFiles(a->finishedFiles());
        QVERIFY(handOver({c}));
        // its day folder on a read-only disk (where a disk can be mounted), the box names the folder and why
        QString month, day;
        QVERIFY(OrderFolders::dateLevels(c->shotDate(), &month, &day));
        const QString dayFolder = m_studio->picRoot + month + "/" + day + "/";
        {
            const testsupport::Mounted readOnly(dayFolder, testsupport::Mounted::ReadOnly);
            if (!readOnly.active())
                Platform::failMkDirs("/X1-1-");
            MsgBox::clearShown();
            QVERIFY(runToEnd());
            const QString box = MsgBox::lastShown().text;
            QVERIFY2(box.startsWith("无法建立订单目录：" + dayFolder + "X1-1-"), qPrintable(box));
            QVERIFY2(box.endsWith(readOnly.active() ? "/（磁盘只读或有写保护）" : "/（没有权限）"), qPrintable(box));
        }
        QVERIFY(!c->isFinishedImported());
        QVERIFY(c->orderPath().isEmpty());
        QVERIFY(radio(0)->isEnabled());
        QCOMPARE(startButton()->text(), QString("批量导片"));
        QTest::qWait(50);
        // the earlier runs' reports may still be on their way: only one about this order counts
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            QVERIFY(field(r, "order_photo_id") != c->orderPhotoId());

        // an order folder name longer than the file system takes (a long list of customers): said so, and
        // nothing is made
        c->setFinishedImported(true); // out of the way
        ImportOrderModel *l = record(4, [](QJsonObject &json) {
            json["order_photo_id"] = "5100";
            json["orderpayforkey"] = "L1";
            json["bname"] = QString(90, QChar(0x957F));
        });
        l->setFinishedFiles(a->finishedFiles());
        QVERIFY(handOver({l}));
        const QStringList made = testsupport::fileTree(m_studio->folder);
        MsgBox::clearShown();
        QVERIFY(runToEnd());
        QVERIFY2(MsgBox::lastShown().text.contains("订单目录名称过长，无法建立订单目录：L1"), qPrintable(MsgBox::lastShown().text));
        QVERIFY(!l->isFinishedImported());
        QVERIFY(l->orderPath().isEmpty());
        QCOMPARE(testsupport::fileTree(m_studio->folder), made);
    }

    void anotherWindowsStopAndAShopSwitchDoNotReachTheRun()
    {
        g_yptbcp = "0"; // photos as shot stay out of "成品/" for this run
        ImportOrderModel *a = record(0);
        QStringList names;
        for (int i = 0; i < 200; ++i)
            names << QString("p%1.jpg").arg(i);
        QVERIFY(handOver({a}));
        chooseType(0);
        a->setOriginFiles(photos("src/a", names, QSize(400, 300)));
        const QStringList finishedBefore = QDir(a->orderPath() + "成品").entryList(QDir::Files);
        startButton()->click();
        QVERIFY(testsupport::waitFor([this] { return progressText(0) != "0/0"; }));

        // Orders handed over by a picker meanwhile are refused; the running row is left alone.
        QPointer<ImportOrderModel> late = record(4);
        MsgBox::clearShown();
        QVERIFY(handOver({late}));
        QCOMPARE(MsgBox::lastShown().text, QString("正在导片，请在导片结束后再添加订单"));
        QCOMPARE(m_dlg->orders().size(), 1);
        QCOMPARE(table()->rowCount(), 1);
        QVERIFY(progressText(0) != "0/0");

        // A second import window starts a run of its own and is closed at once: its run stops.
        QPointer<importOrdersPhotoDlg> other = new importOrdersPhotoDlg(nullptr, ShopSettings::current());
        ImportOrderModel *d = record(3);
        d->setFinishedFiles(photos("src/d", {"d1.jpg", "d2.jpg"}));
        QVERIFY(QMetaObject::invokeMethod(other, "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, {d})));
        other->findChild<QPushButton *>("importAllBtn")->click();
        delete other.data();
        // The tool window switches to a shop with other roots and the "成品/" copy on.
        const QString picPath = g_picPath, bakPicPath = g_bakPicPath;
        g_picPath = m_roots->path("other/pic/");
        g_bakPicPath = m_roots->path("other/bak/");
        g_yptbcp = "1";
        QVERIFY(m_dlg->isImporting());

        QVERIFY(testsupport::waitFor([this] { return idle(); }));
        g_picPath = picPath;
        g_bakPicPath = bakPicPath;
        g_yptbcp = "0";
        QCOMPARE(MsgBox::lastShown().text, QString("1个订单已经全部导完"));
        QCOMPARE(progressText(0), QString("200/200"));
        QVERIFY(late.isNull()); // the refused record was freed
        for (const QString &name : names)
            QVERIFY2(QFile::exists(a->orderPath() + "照片/" + name), qPrintable(name));
        QCOMPARE(QDir(a->orderPath() + "成品").entryList(QDir::Files), finishedBefore);
        QVERIFY(!QFileInfo::exists(m_roots->path("other")));
    }

    void windowGoingDuringRunWaitsForTheThread_data()
    {
        QTest::addColumn<bool>("closed"); // closed by the user after the question, or deleted outright
        QTest::addColumn<bool>("stalled"); // the share holds the writes of the order's files until released
        // closed once the files are in, while the stand-in holds the answer to the end report (then refused):
        // 1 as the last window; 2 the close question still open when the answer comes; 3 as 1, the end report
        // still waiting for the answer to the start report, which the stand-in holds
        QTest::addColumn<int>("reportOut");
        // the program cut off (a power cut) while the share holds the last photo, the others in: what it left in
        // the order folder is put back after its window went, and a new window imports the order again;
        // 1 once the run's claim is old, 2 at once, the program that made it having ended on this desk
        QTest::addColumn<int>("cutOff");
        QTest::newRow("closed") << true << false << 0 << 0;
        QTest::newRow("deleted") << false << false << 0 << 0;
        QTest::newRow("closed while the share holds a photo") << true << true << 0 << 0;
        QTest::newRow("closed while the report is out, the last window: a notice until the answer") << true << false << 1 << 0;
        QTest::newRow("close question open when the answer comes: closed unanswered, the end box shown")
            << true << false << 2 << 0;
        QTest::newRow("closed while the end report waits for the start's answer: the question says so")
            << true << false << 3 << 0;
        QTest::newRow("cut off while the share holds a photo, redone later: each photo reported once")
            << true << true << 0 << 1;
        QTest::newRow("cut off while the share holds a photo, redone at once on the desk: each photo reported once")
            << true << true << 0 << 2;
        QTest::newRow("the desk asleep while the share holds a photo, its record carried by another desk: reported once")
            << true << true << 0 << 3;
        // 4 as 2, its record's journal holding besides lines no run writes: one cut short, and others naming
        // a file outside the order's folders that holds a noted photo's bytes
        QTest::newRow("cut off, its journal holding damaged lines and names outside the order: each photo reported once")
            << true << true << 0 << 4;
        // 5 as 4, a line noting as a backup a noted photo's bytes in the order's own "照片/"; 6 one noting
        // its bytes in "设计/" with a size of a fraction more
        QTest::newRow("cut off, its journal noting a backup in the order's own photo folder: no backup counted")
            << true << true << 0 << 5;
        QTest::newRow("cut off, its journal noting a size that is no whole number: not counted") << true << true << 0 << 6;
    }
    void windowGoingDuringRunWaitsForTheThread()
    {
        QFETCH(bool, closed);
        QFETCH(bool, stalled);
        QFETCH(int, reportOut);
        QFETCH(int, cutOff);
        ImportOrderModel *a = record(0);
        QStringList names;
        for (int i = 0; i < (reportOut ? 3 : cutOff ? 6 : 150); ++i)
            names << QString("p%1.jpg").arg(i);
        a->setFinishedFiles(photos("src/many", names, QSize(400, 300)));
        QVERIFY(handOver({a}));
        const QString orderPath = a->orderPath();
        const QString folder = orderPath + "成品";
        const int before = QDir(folder).entryList(QDir::Files).size();
        // A share that stalls: the photos under way wait until it is released (by the test, or after a long
        // while by the watchdog, so that a window that waits for them ends the test instead of hanging it).
        std::promise<void> testDone;
        std::thread watchdog;
        if (stalled) {
            Platform::holdWrites(folder + "/" + (cutOff ? names.last() : QString()));
            watchdog = std::thread([done = testDone.get_future()] {
                if (done.wait_for(std::chrono::seconds(30)) == std::future_status::timeout)
                    Platform::releaseWrites();
            });
        }
        standin::Gate answerHeld;
        if (reportOut == 3) {
            m_server.queueReply("updatepicpath", standin::Reply::ok().heldBy(answerHeld)); // the order's start
            m_server.queueReply("updatepicpath", standin::Reply::httpError(500));
        } else if (reportOut) {
            m_server.queueReply("updatepicpath", standin::Reply::ok()); // the order's start
            m_server.queueReply("updatepicpath", standin::Reply::httpError(500).heldBy(answerHeld));
        }
        startButton()->click();
        QVERIFY(testsupport::waitFor([&] { return stalled ? Platform::heldWrites() > 0 : progressText(0) != "0/0"; }));

        if (cutOff) {
            // The photos before the held one are in, with their reduced copies; the program is cut off now.
            QVERIFY(testsupport::waitFor([&] {
                for (const QString &name : names.mid(0, names.size() - 1))
                    for (const char *thumbs : {"成品缩略图/", "成品缩略图100/", "成品缩略图2250/"})
                        if (!QFile::exists(orderPath + thumbs + name))
                            return false;
                return true;
            }));
            if (cutOff == 3) {
                // The desk sleeps: the run's claim on its record is old on the folder's clock, not on the
                // run's. Another desk imports a photo into the order; its end report carries the record.
                Platform::skewFolderClocks(16 * 60 * 1000);
                QPointer<importOrdersPhotoDlg> otherDesk(new importOrdersPhotoDlg(nullptr, ShopSettings::current()));
                otherDesk->show();
                ImportOrderModel *a2 = record(0);
                a2->setFinishedFiles(photos("src/other", {"o1.jpg"}));
                QVERIFY(QMetaObject::invokeMethod(otherDesk, "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, {a2})));
                otherDesk->findChild<QPushButton *>("importAllBtn")->click();
                const bool otherDone = testsupport::waitFor([&] { return !otherDesk->isImporting() && !otherDesk->isRunning(); });
                // The desk wakes: the held photo lands, the run ends and reports.
                Platform::releaseWrites();
                testDone.set_value();
                watchdog.join();
                QVERIFY(otherDone);
                QVERIFY(testsupport::waitFor([this] { return idle(); }));
                delete otherDesk.data();
                int reported = 0;
                for (const standin::Request &r : m_server.requests("updatepicpath"))
                    if (field(r, "importype") == "1")
                        reported += field(r, "picnumber").toInt();
                QCOMPARE(QDir(folder).entryList(QDir::Files).size(), before + names.size() + 1);
                QCOMPARE(reported, names.size() + 1); // each photo once, over the two desks
                QCOMPARE(unsentRecords(orderPath), QStringList());
                return;
            }
            const QMap<QString, QByteArray> leftBehind = testsupport::filesBelow(orderPath);
            Platform::releaseWrites();
            testDone.set_value();
            watchdog.join();
            // What the window does from here on never happened to the order folder.
            QVERIFY(testsupport::waitFor([this] { return idle(); }));
            const QStringList chosen = a->finishedFiles();
            closeDialog();
            QVERIFY(testsupport::putBack(orderPath, leftBehind));
            if (cutOff >= 4) {
                const QStringList journals = QDir(orderPath).entryList({".tessaly-notes-*"}, QDir::Files | QDir::Hidden);
                QCOMPARE(journals.size(), 1);
                const QString journal = orderPath + journals.first();
                QByteArray lines = testsupport::bytesOf(journal);
                const QJsonObject noted = QJsonDocument::fromJson(lines.split('\n').value(1)).object();
                const QString name = noted.value("n").toString();
                QVERIFY(!name.isEmpty());
                // the photo's bytes where the lines lead, out of the order's photo folders
                const QString outside = QDir::cleanPath(orderPath + "../elsewhere/成品") + "/";
                for (const QString &copy : {outside, orderPath + "elsewhere/成品/"})
                    QVERIFY(testsupport::put(copy + name, testsupport::bytesOf(folder + "/" + name)));
                auto line = [&](const char *key, const QString &value) {
                    QJsonObject o = noted;
                    o.insert(key, value);
                    return '\n' + QJsonDocument(o).toJson(QJsonDocument::Compact);
                };
                lines += line("f", "成品/../../elsewhere/成品/") + line("n", "../elsewhere/成品/" + name)
                         + line("f", outside) + line("k", "b") + '\n' + lines.split('\n').value(1) // once more
                         + '\n' + line("n", name).mid(1, 30);
                if (cutOff == 5) {
                    QVERIFY(testsupport::put(orderPath + "照片/" + name, testsupport::bytesOf(folder + "/" + name)));
                    QJsonObject o = noted;
                    o.insert("k", "b");
                    o.insert("f", orderPath + "照片/");
                    lines += '\n' + QJsonDocument(o).toJson(QJsonDocument::Compact);
                } else if (cutOff == 6) {
                    QVERIFY(testsupport::put(orderPath + "设计/" + name, testsupport::bytesOf(folder + "/" + name)));
                    QJsonObject o = noted;
                    o.insert("f", "设计/");
                    o.insert("s", noted.value("s").toDouble() + 0.5);
                    lines += '\n' + QJsonDocument(o).toJson(QJsonDocument::Compact);
                }
                QVERIFY(testsupport::put(journal, lines));
            }
            m_server.clearRequests();
            if (cutOff == 1) {
                Platform::skewFolderClocks(20 * 60 * 1000); // the run's claim is older than any report takes
            } else {
                QVERIFY(testsupport::claimOfEndedProgram(orderPath, ".tessaly-unsent-1-*.claim-*"));
            }
            openDialog();
            ImportOrderModel *again = record(0);
            again->setFinishedFiles(chosen);
            QVERIFY(handOver({again}));
            MsgBox::clearShown();
            QVERIFY(runToEnd());
            QCOMPARE(testsupport::lastBox(), QString("导入完成|1个订单已经全部导完"));
            // Each photo once in the order, and the web service told of each once over the two runs.
            QCOMPARE(QDir(folder).entryList(QDir::Files).size(), before + names.size());
            QStringList counts;
            for (const standin::Request &r : m_server.requests("updatepicpath"))
                if (field(r, "importype") == "1")
                    counts << field(r, "picnumber") + '/' + field(r, "picbacknumber");
            QCOMPARE(counts, QStringList{QString::number(names.size()) + "/0"});
            QCOMPARE(unsentRecords(orderPath), QStringList());
            return;
        }

        if (reportOut) {
            // The end box waits for the answer; the close asks (the counts not taken yet), the window goes,
            // and as it was the last one a notice stays until the answer has come, which gives the refused
            // counts back to the order folder. Then the program ends.
            QVERIFY(testsupport::waitFor([&] { return startButton()->text() == "等待服务器回复..."; }));
            QVERIFY(reportOut == 3 || waitRequests("updatepicpath", 2)); // the end report is out
            MsgBox::clearShown();
            if (reportOut == 2) {
                // The question stays open, as a real box does, while the answer comes: it closes unanswered
                // then, so that no key of the clerk meant for it answers the end box.
                bool askedAfterTheEnd = false;
                QTimer watch;
                connect(&watch, &QTimer::timeout, [&] {
                    if (MsgBox::held())
                        answerHeld.open();
                    if (MsgBox::held() && startButton()->text() == "批量导片") {
                        askedAfterTheEnd = true;
                        MsgBox::answerHeld(QMessageBox::No);
                    }
                });
                watch.start(5);
                MsgBox::holdNext();
                m_dlg->close(); // returns once the question is gone
                watch.stop();
                QVERIFY(!askedAfterTheEnd);
                QVERIFY(m_dlg && m_dlg->isVisible());
                QStringList boxes;
                for (const MsgBox::Shown &box : MsgBox::shown())
                    boxes << box.title;
                QCOMPARE(boxes, QStringList({"警告", "导入结束"}));
                return;
            }
            MsgBox::setNextAnswer(QMessageBox::Yes);
            bool noticeWhileHeld = false;
            QString words;
            QTimer::singleShot(0, qApp, [&] {
                m_dlg->close();
                noticeWhileHeld = m_dlg && !m_dlg->isVisible() && FinishingNotice::shown();
                if (QLabel *label = noticeWhileHeld ? FinishingNotice::shown()->findChild<QLabel *>("finishingText") : nullptr)
                    words = label->text();
                answerHeld.open();
            });
            QCOMPARE(testsupport::execUntilProgramEnds(), 0);
            QVERIFY2(MsgBox::lastShown().text.startsWith(reportOut == 3 ? "以下订单的导片数量要等服务器回复开始导片的信息后才上报，"
                                                                          "还没有发给服务器：\n订单号:A1203-1\n"
                                                                        : "以下订单的导片数量已报给服务器，还没有收到回复："
                                                                          "\n订单号:A1203-1\n"),
                     qPrintable(MsgBox::lastShown().text));
            QVERIFY(noticeWhileHeld);
            QCOMPARE(words, QStringLiteral("正在等待服务器回复导片数量，完成后程序会自动退出…"));
            QVERIFY(!FinishingNotice::shown());
            QCOMPARE(MsgBox::shown().size(), 1); // no end box after the window went
            QCOMPARE(UnsentReport::owed(orderPath, ImportFinishedPhotos).counts.files, names.size());
            QVERIFY(testsupport::waitFor([this] { return m_dlg.isNull(); }));
            return;
        }
        if (closed) {
            // "No" keeps the window and the run
            const bool busy = m_dlg->isImporting();
            MsgBox::clearShown();
            MsgBox::setNextAnswer(QMessageBox::No);
            m_dlg->close();
            if (busy) {
                QCOMPARE(MsgBox::lastShown().title, QString("警告"));
                QVERIFY(m_dlg->isVisible());
            }
            QVERIFY(m_dlg);
            // "Yes" stops the run and closes the window at once; it goes once the photos under way are in
            MsgBox::setNextAnswer(QMessageBox::Yes);
            m_dlg->close();
            if (stalled) {
                // the close returned before the share let the held photos go on; a notice says they are finished
                const bool stillHeld = Platform::heldWrites() > 0;
                const bool gone = m_dlg && !m_dlg->isVisible();
                QWidget *notice = FinishingNotice::shown();
                QLabel *label = notice ? notice->findChild<QLabel *>("finishingText") : nullptr;
                const QString words = label ? label->text() : QString();
                Platform::releaseWrites();
                testDone.set_value();
                watchdog.join();
                QVERIFY(stillHeld);
                QVERIFY(gone);
                QVERIFY(notice && notice->isVisible());
                QCOMPARE(words, QStringLiteral("正在完成已开始的照片并上报导片数量，完成后程序会自动退出…"));
                QVERIFY(testsupport::waitFor([] { return !FinishingNotice::shown(); }));
            }
            QVERIFY(testsupport::waitFor([this] { return m_dlg.isNull(); }));
        } else {
            delete m_dlg.data(); // while the thread works on the order's records
        }
        // the thread was waited for: nothing is written any more, nothing arrives at the window
        const int written = QDir(folder).entryList(QDir::Files).size();
        QTest::qWait(150);
        QCoreApplication::processEvents();
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), written);
        // What the stopped run placed waits in the order folder for the next run's report (what an end
        // report the service took counted is not kept twice).
        int reported = 0;
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            if (field(r, "importype") == "1")
                reported += field(r, "picnumber").toInt();
        QVERIFY(written > before);
        QCOMPARE(UnsentReport::owed(orderPath, ImportFinishedPhotos).counts.files + reported, written - before);
    }

    void openFolderShortcuts()
    {
        ImportOrderModel *a = record(0);
        QVERIFY(handOver({a, record(4)}));
        m_dlg->findChild<QPushButton *>("openPathBtn")->click();
        m_dlg->findChild<QPushButton *>("openOriginPathBtn")->click();
        QVERIFY(Platform::openedPaths().isEmpty()); // no order shown: nothing to open

        table()->setCurrentCell(0, 0);
        emit table()->cellClicked(0, 0);
        m_dlg->findChild<QPushButton *>("openPathBtn")->click();
        m_dlg->findChild<QPushButton *>("openOriginPathBtn")->click();
        QVERIFY(QMetaObject::invokeMethod(m_dlg, "tbOpenOrderPathAction"));
        table()->setCurrentCell(1, 0); // no order folder: nothing to look at
        QVERIFY(QMetaObject::invokeMethod(m_dlg, "tbOpenOrderPathAction"));
        const QStringList expected{a->orderPath(), a->orderPath() + "照片/新建文件夹", a->orderPath() + "成品"};
        QCOMPARE(Platform::openedPaths(), expected);
        QVERIFY(MsgBox::shown().isEmpty());

        // a folder that cannot be opened is named in a warning
        QVERIFY(QDir(a->orderPath() + "照片/新建文件夹").removeRecursively());
        m_dlg->findChild<QPushButton *>("openOriginPathBtn")->click();
        QCOMPARE(testsupport::lastBox(), QString("警告|无法打开文件夹：\n" + a->orderPath() + "照片/新建文件夹"));
        QCOMPARE(Platform::openedPaths(), expected);
    }
};

TESSALY_TEST_MAIN(TestImportRun)
#include "tst_importrun.moc"
#include "moc_importrunfixture.cpp"
