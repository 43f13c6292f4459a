// The copy for the Dovra system: the copy job on its own, and whole runs of the dialog's import type 5
// against the stand-in web service and temporary folders.

#include "dovraimportthread.h"
#include "filebytes.h"
#include "importrunfixture.h"
#include "mounts.h"
#include "unsentreport.h"

using testsupport::bytesOf;

#include <QUrl>

// Stands in for the dialog: takes the job's reports by name, as the dialog does.
class JobReports : public QObject
{
    Q_OBJECT
public:
    QStringList log;
    QStringList reasons; // of the failures, whole
public slots:
    void slt_dovrathreadmsg(QString str) { log << "msg " + str; }
    void importCopyDovraFailedSlot(int row, QString source, QString reason)
    {
        log << QString("failed %1 %2 %3").arg(row).arg(QFileInfo(source).fileName(), reason.split(QStringLiteral("：")).first());
        reasons << reason;
    }
    void importCopyDovraKeptSlot(int row, QString target)
    {
        log << QString("kept %1 %2").arg(row).arg(QFileInfo(target).fileName());
    }
    void importCopyDovraProgressSlot(int row, int current, int total, QString toDir)
    {
        log << QString("progress %1 %2/%3 %4").arg(row).arg(current).arg(total).arg(toDir);
    }
};

class TestDovraCopy : public ImportRunFixture
{
    Q_OBJECT

    QString serverPath() { return m_studio->dovraRoot + "星光店\\选版服务器"; }
    QString localServerPath() { return m_studio->dovraRoot + "星光店/选版服务器"; }

    // A chosen folder with sub-folders two levels deep and hidden files.
    QString nestedFolder(const QString &name)
    {
        files("src/" + name, {"a.jpg", ".hidden.jpg"}, "A ");
        files("src/" + name + "/sub", {"b.jpg"}, "B ");
        files("src/" + name + "/sub/深 层", {"c&#.jpg", ".h2"}, "C ");
        return m_roots->path("src/" + name);
    }

    ImportOrderModel *dovraOrder(int sample, const QString &folder, const std::function<void(QJsonObject &)> &tweak = {})
    {
        ImportOrderModel *r = record(sample, tweak);
        r->setDovraSourceDir(folder);
        r->setFatherPath(QFileInfo(folder).absolutePath());
        return r;
    }

    int boxesWith(const QString &part)
    {
        int n = 0;
        for (const MsgBox::Shown &s : MsgBox::shown())
            n += s.text.contains(part);
        return n;
    }

private slots:
    void copyJobReportsWhatItDid()
    {
        JobReports reports;
        const QString src = files("job", {"one.jpg"}, "ONE ").first();
        const QString target = m_roots->path("out/x/y/one.jpg");
        auto runJob = [&](const QString &from, const QString &to) {
            DovraImportThread job(4, 2, 7, "T", DovraFileInfo(from, to), &reports);
            job.run();
            QCoreApplication::processEvents();
        };

        // a missing folder is made with its parents
        runJob(src, target);
        QCOMPARE(bytesOf(target), bytesOf(src));
        QCOMPARE(reports.log.size(), 2);
        QVERIFY(reports.log[0].startsWith("msg 复制文件需要创建目录 原目录："));
        QCOMPARE(reports.log[1], QString("progress 4 2/7 T"));

        // the same bytes already there: counted as copied, nothing replaced
        reports.log.clear();
        runJob(src, target);
        QVERIFY(reports.log[0].startsWith("msg 不用创建目录"));
        QCOMPARE(reports.log.size(), 2);

        // a different file at the target is kept and reported as kept, not as a failure
        QFile::remove(target);
        files("out/x/y", {"one.jpg"}, "OTHER ");
        const QByteArray kept = bytesOf(target);
        reports.log.clear();
        runJob(src, target);
        QCOMPARE(bytesOf(target), kept);
        QCOMPARE(reports.log.size(), 3);
        QCOMPARE(reports.log[1], QString("kept 4 one.jpg"));
        QCOMPARE(reports.log[2], QString("progress 4 2/7 T"));

        // a missing source and a failing copy are reported, and still counted
        reports.log.clear();
        runJob(m_roots->path("job/gone.jpg"), m_roots->path("out/gone.jpg"));
        QCOMPARE(reports.log, (QStringList{"failed 4 gone.jpg 源文件不存在", "progress 4 2/7 T"}));
        reports.log.clear();
        Platform::failCopies("two.jpg");
        runJob(src, m_roots->path("out/two.jpg"));
        QCOMPARE(reports.log.size(), 3);
        QCOMPARE(reports.log[1], QString("failed 4 one.jpg 复制失败"));
        QVERIFY(!QFileInfo::exists(m_roots->path("out/two.jpg")));

        // a folder that cannot be made on a full disk says why
        const testsupport::Mounted full(m_roots->path("full"), testsupport::Mounted::Full);
        if (!full.active())
            QSKIP("no disk can be mounted here");
        reports.log.clear();
        reports.reasons.clear();
        runJob(src, m_roots->path("full/x/one.jpg"));
        QCOMPARE(reports.log.size(), 3);
        QCOMPARE(reports.reasons, QStringList{"无法创建目录：" + m_roots->path("full/x") + "（磁盘空间不足）"});
    }

    void nestedFolderCopiedAndPathSaved()
    {
        const QString folder = nestedFolder("相册 A&#");
        ImportOrderModel *r = dovraOrder(0, folder);
        QVERIFY(handOver({r}));
        chooseType(5);
        QVERIFY(runToEnd());
        QVERIFY(waitRequests("savedovrapath", 1));

        const QString target = localServerPath() + "/相册 A&#/";
        QCOMPARE(bytesOf(target + "a.jpg"), bytesOf(folder + "/a.jpg"));
        QCOMPARE(bytesOf(target + "sub/b.jpg"), bytesOf(folder + "/sub/b.jpg"));
        QCOMPARE(bytesOf(target + "sub/深 层/c&#.jpg"), bytesOf(folder + "/sub/深 层/c&#.jpg"));
        QVERIFY(!QFileInfo::exists(target + ".hidden.jpg"));
        QVERIFY(!QFileInfo::exists(target + "sub/深 层/.h2"));
        QCOMPARE(progressText(0), QString("3/3"));
        QCOMPARE(progressBar(0)->maximum(), 3);
        QCOMPARE(progressBar(0)->value(), 3);
        QCOMPARE(status(0), QString("已导入"));
        QVERIFY(r->isDovraImported());
        const QString toDir = serverPath() + "\\相册 A&#";
        QCOMPARE(r->dovraPath(), toDir);
        QCOMPARE(testsupport::lastBox(), QString("导入完成|1个订单已经全部导完"));
        QVERIFY(m_server.requests("updatepicpath").isEmpty());

        const standin::Request save = m_server.lastRequest("savedovrapath");
        QCOMPARE(save.fieldNames(), (QStringList{"token", "orderphotoid", "dovrapath", "superid", "eid", "shopid"}));
        QCOMPARE(field(save, "token"), QString("9d41b7e2a05c38f6d1e7b4a92c0f5e83"));
        QCOMPARE(field(save, "orderphotoid"), QString("5001"));
        QCOMPARE(field(save, "dovrapath"), toDir);
        QCOMPARE(field(save, "shopid"), QString("11"));
        QVERIFY(save.body.contains("dovrapath=" + QUrl::toPercentEncoding(toDir) + "&"));
        QVERIFY(save.body.contains("%5C%E7%9B%B8%E5%86%8C%20A%26%23")); // "\相册 A&#"
        QCOMPARE(m_server.requestCount("savedovrapath"), 1);
    }

    void existingTargetKeptAndNamedOrderCopied()
    {
        const QString folder = nestedFolder("相册B");
        ImportOrderModel *r = dovraOrder(0, folder);
        QVERIFY(handOver({r}));
        chooseType(5);
        const QString target = localServerPath() + "/相册B/";
        QDir().mkpath(target);
        QFile old(target + "a.jpg");
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("older photo") > 0);
        old.close();

        QVERIFY(runToEnd());
        QCOMPARE(bytesOf(target + "a.jpg"), QByteArray("older photo"));
        QCOMPARE(bytesOf(target + "sub/b.jpg"), bytesOf(folder + "/sub/b.jpg"));
        QCOMPARE(progressText(0), QString("3/3"));
        // the order counts as copied and its path is saved; the end box names the file kept
        QVERIFY(r->isDovraImported());
        QCOMPARE(status(0), QString("已导入"));
        QVERIFY(waitRequests("savedovrapath", 1));
        QCOMPARE(MsgBox::shown().size(), 1);
        QCOMPARE(MsgBox::lastShown().title, QString("导入完成"));
        QVERIFY(MsgBox::lastShown().text.startsWith("1个订单已经全部导完\n"));
        QVERIFY(MsgBox::lastShown().text.endsWith(serverPath() + "/相册B/a.jpg"));
    }

    void emptyFolderFinishesAndRefusedRootLeavesOrderPending()
    {
        // no Dovra root for the first order: refused, the run goes on with the next order
        ImportOrderModel *noRoot = dovraOrder(1, nestedFolder("C1"), [](QJsonObject &json) {
            QJsonObject roots = json["picpathnew"].toObject();
            roots["dovrapath"] = "";
            json["picpathnew"] = roots;
        });
        // only hidden files: nothing to copy, the order finishes at once
        files("src/空", {".only-hidden"}, "H ");
        ImportOrderModel *empty = dovraOrder(0, m_roots->path("src/空"));
        QVERIFY(handOver({noRoot, empty}));
        chooseType(5);
        m_server.setReply("savedovrapath", standin::Reply::refused("路径无效")); // and the path is not saved
        QVERIFY(runToEnd());
        QVERIFY(waitRequests("savedovrapath", 1));

        QVERIFY(!noRoot->isDovraImported());
        QCOMPARE(status(0), QString("未导入"));
        QVERIFY(empty->isDovraImported());
        QCOMPARE(status(1), QString("已导入"));
        QCOMPARE(progressText(1), QString("0/0"));
        QVERIFY(QFileInfo(localServerPath() + "/空").isDir());
        QCOMPARE(field(m_server.lastRequest("savedovrapath"), "orderphotoid"), QString("5001"));
        QCOMPARE(boxesWith("订单号:B2207-2 没有导完"), 2);
        QVERIFY(MsgBox::lastShown().text.startsWith("1个订单已经导完，1个订单没有导完"));
        QVERIFY(MsgBox::lastShown().text.endsWith("导片信息没有报给服务器（其它电脑上仍显示未导入），请在服务器恢复后再点“批量导片”"
                                                  "重新上报（不再复制文件）：\n"
                                                  "订单号:A1203-1 服务器没有接受：路径无效"));
        QVERIFY(radio(1)->isEnabled());

        // as the box says, the next press sends the refused report again and copies nothing
        const QString saved = field(m_server.lastRequest("savedovrapath"), "dovrapath");
        m_server.setReply("savedovrapath", standin::Reply::ok());
        m_server.clearRequests();
        QVERIFY(runToEnd());
        QVERIFY(waitRequests("savedovrapath", 1));
        QCOMPARE(m_server.requestCount("savedovrapath"), 1);
        QCOMPARE(field(m_server.lastRequest("savedovrapath"), "dovrapath"), saved);
        QCOMPARE(empty->reportDue(ImportDovraCopy).unreported, false);

        // a Dovra server on a read-only disk: the order stays pending, the box names the folder and why
        const testsupport::Mounted readOnly(localServerPath(), testsupport::Mounted::ReadOnly);
        if (!readOnly.active())
            QSKIP("no disk can be mounted here");
        files("src/相册R", {"r.jpg"}, "R ");
        ImportOrderModel *locked = dovraOrder(2, m_roots->path("src/相册R"));
        QVERIFY(handOver({locked}));
        MsgBox::clearShown();
        QVERIFY(runToEnd());
        QVERIFY(!locked->isDovraImported());
        QCOMPARE(boxesWith("无法创建Dovra目录：" + serverPath() + "\\相册R（磁盘只读或有写保护）"), 2);
    }

    // The reports of a run went out and their connections closed before any answer: the service may have
    // them. The end box says so, and what the next press does: it sends them again, copying nothing (counts
    // the service had taken it counts twice).
    void reportsGoneOutUnanswered_data()
    {
        // A1203's folder holds counts of finished photos not reported yet: this many files (-1: none)
        QTest::addColumn<int>("owesCounts");
        QTest::addColumn<QString>("named");   // the end box after its first line
        const QString closed = "网络请求错误：请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求";
        const QString path = "以下订单的Dovra路径已发给服务器，但没有收到服务器的回复，服务器可能已收下；"
                             "再点“批量导片”会再次上报同一路径（不再复制文件）：\n订单号:A1203-1 " + closed;
        QTest::newRow("the Dovra path") << -1 << path;
        QTest::newRow("the Dovra path and the counts the order owed")
            << 2
            << "以下订单的导片数量已发给服务器，但没有收到服务器的回复，服务器可能已收下；程序仍保留这些数量，"
               "再点“批量导片”或下次在任一导片窗口导入该订单时会再次上报；服务器若已收下这次上报，会重复计数：\n"
               "订单号:A1203-1 " + closed + "\n\n" + path;
        // (as a redo that found every photo leaves it): nothing to count twice
        QTest::newRow("the Dovra path and a report of no counts the order owed")
            << 0
            << "以下订单的导片信息已发给服务器，但没有收到服务器的回复，服务器可能已收下；这次上报的导片数量为0，"
               "再点“批量导片”或下次在任一导片窗口导入该订单时会再次上报，不会重复计数：\n"
               "订单号:A1203-1 " + closed + "\n\n" + path;
    }
    void reportsGoneOutUnanswered()
    {
        QFETCH(int, owesCounts);
        QFETCH(QString, named);
        const QString folder = nestedFolder("相册U");
        ImportOrderModel *r = dovraOrder(0, folder);
        if (owesCounts >= 0)
            QVERIFY(!UnsentReport::add(r->orderPath(), ImportFinishedPhotos, {owesCounts, 0}).isEmpty());
        QVERIFY(handOver({r}));
        chooseType(5);
        m_server.setReply("savedovrapath", standin::Reply::closed());
        m_server.setReply("updatepicpath", standin::Reply::closed());
        QVERIFY(runToEnd());
        QCOMPARE(testsupport::lastBox(), "导入结束|1个订单已经导完\n" + named);
        QCOMPARE(m_server.requestCount("savedovrapath"), 1);
        QCOMPARE(m_server.requestCount("updatepicpath"), owesCounts >= 0 ? 1 : 0);

        // the next press: the same reports once more, nothing copied again
        const QString target = localServerPath() + "/相册U/a.jpg";
        const QDateTime copied = QFileInfo(target).lastModified();
        QVERIFY(QFile::remove(folder + "/a.jpg"));
        const standin::Request path = m_server.lastRequest("savedovrapath");
        m_server.setReply("savedovrapath", standin::Reply::ok());
        m_server.setReply("updatepicpath", standin::Reply::ok());
        m_server.clearRequests();
        MsgBox::clearShown();
        QVERIFY(runToEnd());
        QCOMPARE(testsupport::lastBox(), QString("导入完成|1个订单已经全部导完"));
        QCOMPARE(m_server.requestCount("savedovrapath"), 1);
        QCOMPARE(m_server.lastRequest("savedovrapath").fields, path.fields);
        QCOMPARE(m_server.requestCount("updatepicpath"), owesCounts >= 0 ? 1 : 0);
        if (owesCounts >= 0)
            QCOMPARE(QStringList({field(m_server.lastRequest("updatepicpath"), "typeid"),
                                  field(m_server.lastRequest("updatepicpath"), "picnumber")}),
                     QStringList({"1", QString::number(owesCounts)}));
        QCOMPARE(QFileInfo(target).lastModified(), copied);
    }

    void closingDuringCopyStopsAndWaits()
    {
        QStringList names;
        for (int i = 0; i < 300; ++i)
            names << QString("f%1.jpg").arg(i);
        files("src/大", names, QByteArray(200 * 1024, 'x'));
        ImportOrderModel *r = dovraOrder(0, m_roots->path("src/大"));
        QVERIFY(handOver({r}));
        chooseType(5);
        startButton()->click();
        QVERIFY(testsupport::waitFor([this] { return !progressText(0).isEmpty() && !progressText(0).startsWith("0/"); }));
        const bool busy = m_dlg->isImporting();
        MsgBox::clearShown();
        MsgBox::setNextAnswer(QMessageBox::Yes);
        m_dlg->close();
        if (busy)
            QVERIFY(boxesWith("正在导片") == 1);
        QVERIFY(testsupport::waitFor([this] { return m_dlg.isNull(); }));
        // the jobs not started were dropped and the running ones waited for: nothing is copied any more
        const QString target = localServerPath() + "/大";
        const int copied = QDir(target).entryList(QDir::Files).size();
        QVERIFY(copied < 300 || !busy);
        QTest::qWait(150);
        QCoreApplication::processEvents();
        QCOMPARE(QDir(target).entryList(QDir::Files).size(), copied);
        if (busy)
            QCOMPARE(m_server.requestCount("savedovrapath"), 0);
    }
};

TESSALY_TEST_MAIN(TestDovraCopy)
#include "tst_dovracopy.moc"
#include "moc_importrunfixture.cpp"

