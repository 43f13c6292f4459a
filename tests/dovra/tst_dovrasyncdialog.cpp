// The staff and product sync dialog against the stand-in web service and the sample studio's Dovra
// folders: a whole sync, the failed replies, Retry, Cancel and closing while the worker writes.

#include "dovrasyncbaseinfodialog.h"
#include "dovrathread.h"
#include "globals.h"
#include "msgbox.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "mounts.h"
#include "platform.h"
#include "studiofixture.h"

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTextLayout>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

Q_DECLARE_METATYPE(standin::Reply)

class TestDovraSyncDialog : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT

    QPointer<DovraSyncBaseInfoDialog> m_dialog;
    QList<int> m_progress;

    QString label() const { return m_dialog->findChild<QLabel *>("lb_message")->text(); }
    QProgressBar *bar() const { return m_dialog->findChild<QProgressBar *>("progressBar"); }
    QPushButton *button(const char *name) const { return m_dialog->findChild<QPushButton *>(name); }
    QStringList visibleButtons() const
    {
        QStringList out;
        for (const char *name : {"pb_syncpeo", "pb_syncpro", "pb_retry", "pb_cancel"})
            if (button(name)->isVisible())
                out << name;
        return out;
    }
    QString staffFile(const QString &store) const { return m_studio->dovraRoot + store + "/产品/VgStaff.xml"; }
    bool waitLabel(const QString &text, int ms = testsupport::kWaitMs)
    {
        const bool ok = testsupport::waitFor([&] { return label() == text; }, ms);
        if (!ok)
            qWarning() << "label:" << label();
        return ok;
    }
    static QString doneText(const QString &kind, bool failing)
    {
        return doneText(kind, failing ? QStringList{"月影店"} : QStringList());
    }
    // The end text when the stores named in failed were not written.
    static QString doneText(const QString &kind, const QStringList &failed)
    {
        QStringList written;
        for (const char *store : {"星光店", "月影店"})
            if (!failed.contains(store))
                written << store;
        QStringList lines;
        if (!failed.isEmpty())
            lines << failed.join(',') + " 门店的" + kind + "数据导入Dovra失败！";
        if (!written.isEmpty())
            lines << written.join(',') + " 门店的" + kind + "数据导入Dovra成功！";
        return lines.join('\n');
    }
    // The label's text as it shows at the label's size, line by line of its text: the lines it lays out
    // (wrapped when it wraps), each cut at the label's width, without the lines that fall outside its height.
    static QStringList visibleText(const QLabel *label)
    {
        const QRect area = label->contentsRect();
        const QFontMetrics metrics(label->font());
        const QStringList paragraphs = label->text().split('\n');
        QList<QPair<int, QString>> lines; // paragraph, shown text
        for (int p = 0; p < paragraphs.size(); ++p) {
            QTextLayout layout(paragraphs.at(p), label->font());
            QTextOption option;
            option.setWrapMode(label->wordWrap() ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
                line.setLineWidth(area.width());
                QString text = paragraphs.at(p).mid(line.textStart(), line.textLength());
                while (metrics.horizontalAdvance(text.trimmed()) > area.width())
                    text.chop(1);
                lines.append({p, text});
            }
            layout.endLayout();
        }
        const int rows = qMin(lines.size(), area.height() / metrics.lineSpacing()); // centred: the middle ones
        QStringList shown;
        for (int i = (lines.size() - rows) / 2, end = i + rows; i < end; ++i) {
            if (shown.size() <= lines.at(i).first)
                shown.append(QString());
            shown.last() += lines.at(i).second;
        }
        return shown;
    }

private slots:
    void initTestCase() { QVERIFY(startServer()); }
    void init()
    {
        testsupport::prepare();
        QVERIFY(newServedStudio());
        m_dialog = new DovraSyncBaseInfoDialog;
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        const QJsonArray all = m_studio->dovraStores();
        m_dialog->stores = QJsonArray{all.at(0), all.at(2)}; // the reachable ones
        m_dialog->shopId = "11";
        m_dialog->show();
        m_progress.clear();
        connect(bar(), &QProgressBar::valueChanged, this, [this](int v) { m_progress << v; });
    }
    void cleanup()
    {
        delete m_dialog.data();
        Platform::clearFaults();
    }

    void staffSyncWritesEveryStore_data()
    {
        QTest::addColumn<QString>("fault");         // "refused": 月影店's file cannot be written; "full": the disk is full;
                                                    // "read-only": 月影店's files are read-only and another user's;
                                                    // "no entries": 月影店's folder takes no new file, its files
                                                    // are there (a disk whose entries are used up)
        QTest::addColumn<QStringList>("failed");    // the stores not written
        QTest::addColumn<QList<int>>("progress");   // the bar's values from 1 on
        QTest::addColumn<QString>("box");           // the box naming the failures, in words
        QTest::newRow("every store written") << "" << QStringList() << QList<int>{1, 2, 3, 4} << "";
        QTest::newRow("a store not written") << "refused" << QStringList{"月影店"} << QList<int>{1, 2, 3}
                                             << "温馨提示|\n月影店 文件写入失败，错误原因：磁盘读写出错";
        QTest::newRow("the disk full") << "full" << QStringList{"星光店", "月影店"} << QList<int>{1, 2, 3, 2}
                                       << "温馨提示|\n星光店 文件写入失败，错误原因：磁盘空间不足或文件过大"
                                          "\n月影店 文件写入失败，错误原因：磁盘空间不足或文件过大";
        QTest::newRow("a store's files read-only, another user's") << "read-only" << QStringList{"月影店"}
                                                                    << QList<int>{1, 2, 3}
                                                                    << "温馨提示|\n月影店 文件打开失败，错误原因：没有权限";
        QTest::newRow("a store folder that takes no new file, its files written in place")
            << "no entries" << QStringList() << QList<int>{1, 2, 3, 4} << "";
    }
    void staffSyncWritesEveryStore()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, failed);
        QFETCH(QList<int>, progress);
        QFETCH(QString, box);
        if (fault == "refused")
            Platform::failWrites("月影店");
        std::unique_ptr<testsupport::FileSizeLimit> fullDisk;
        if (fault == "full")
            fullDisk.reset(new testsupport::FileSizeLimit(64));
        // 月影店's files from an earlier sync
        const QString products = m_studio->dovraRoot + "月影店/产品";
        const QByteArray old = "earlier sync";
        std::unique_ptr<testsupport::Mounted> noEntries;
        if (fault == "no entries") {
            noEntries.reset(new testsupport::Mounted(products, testsupport::Mounted::Full, 2));
            if (!noEntries->active())
                QSKIP("no disk can be mounted here");
        }
        if (fault == "read-only" || fault == "no entries") {
            for (const char *file : {"/VgStaff.xml", "/productList.xml"}) {
                QVERIFY(QDir().mkpath(products) && testsupport::put(products + file, old));
#ifdef Q_OS_UNIX
                if (fault == "read-only")
                    QVERIFY(::chown(QFile::encodeName(products + file).constData(), 65534, 65534) == 0
                            && ::chmod(QFile::encodeName(products + file).constData(), 0444) == 0);
#endif
            }
            if (fault == "no entries")
                QVERIFY(!testsupport::put(products + "/another", "x")); // the disk takes no new file
        }
        QCOMPARE(m_dialog->windowTitle(), QString("同步员工/产品信息到Dovra系统"));
        QCOMPARE(visibleButtons(), (QStringList{"pb_syncpeo", "pb_syncpro"}));
        button("pb_syncpeo")->click();
        QCOMPARE(label(), QString("正在获取员工信息..."));
        QCOMPARE(visibleButtons(), QStringList{"pb_cancel"});
        QVERIFY(waitLabel(doneText("员工", failed)));

        const standin::Request req = m_server.lastRequest("getpersons");
        QCOMPARE(req.fieldNames(), (QStringList{"token", "shopid", "uid"}));
        QCOMPARE(req.field("token"), g_apiToken);
        QCOMPARE(req.field("shopid"), QString("11"));
        QCOMPARE(req.field("uid"), QString("1001"));
        // the whole text at the dialog's own width; a store not written never shows a full bar
        QCOMPARE(m_dialog->width(), 400);
        QCOMPARE(visibleText(m_dialog->findChild<QLabel *>("lb_message")), doneText("员工", failed).split('\n'));
        QCOMPARE(bar()->maximum(), 4);
        QCOMPARE(m_progress.mid(m_progress.indexOf(1)), progress);
        QCOMPARE(visibleButtons(), (QStringList{"pb_syncpeo", "pb_syncpro"}));
        QCOMPARE(MsgBox::shown().size(), int(!box.isEmpty()));
        QCOMPARE(box.isEmpty() ? QString() : testsupport::lastBox(), box);
        // 月影店 had no 产品 folder: it was made; a store's file holds the list only when it was written
        for (const char *store : {"星光店", "月影店"})
            QVERIFY2(failed.contains(store)
                         != testsupport::bytesOf(staffFile(store)).contains("<name>A&amp;B&lt;小组&gt;</name>"),
                     store);

        // the product list next, in the same dialog
        button("pb_syncpro")->click();
        QVERIFY(waitLabel(doneText("产品", failed)));
        const QString productList = products + "/productList.xml";
        QCOMPARE(QFile::exists(productList) && testsupport::bytesOf(productList) != old, !failed.contains("月影店"));
        if (fault == "read-only") {
            for (const char *file : {"/VgStaff.xml", "/productList.xml"})
                QCOMPARE(testsupport::bytesOf(products + file), old);
            QCOMPARE(QDir(products).entryList(QDir::Files | QDir::Hidden, QDir::Name), (QStringList{"VgStaff.xml", "productList.xml"}));
        }
    }

    void failedRepliesWriteNothing_data()
    {
        QTest::addColumn<standin::Reply>("reply");
        QTest::addColumn<QString>("labelText");
        QTest::addColumn<QString>("boxText"); // "" for no box

        QTest::newRow("closed connection") << standin::Reply::closed() << "网络请求错误！" << "网络请求错误\n请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求";
        QTest::newRow("HTTP 500") << standin::Reply::httpError(500) << "网络请求错误！" << "网络请求错误\n服务器出错（HTTP 500）";
        QTest::newRow("not JSON") << standin::Reply::notJson() << "数据格式错误100！" << "";
        QTest::newRow("an array") << standin::Reply::raw(200, "[]", "application/json") << "数据格式错误101！" << "";
        QTest::newRow("numeric code") << standin::Reply::numericCode(1, "编号不是文本") << "编号不是文本"
                                      << "编号不是文本";
        QTest::newRow("no staff list") << standin::Reply::ok() << "数据格式错误102！" << "";
        QTest::newRow("staff list not an array")
            << standin::Reply::ok({{"persons", QJsonObject{{"id", "1"}}}}) << "数据格式错误102！" << "";
    }
    void failedRepliesWriteNothing()
    {
        QFETCH(standin::Reply, reply);
        QFETCH(QString, labelText);
        QFETCH(QString, boxText);
        m_server.queueReply("getpersons", reply);
        button("pb_syncpeo")->click();
        QVERIFY(waitLabel(labelText));
        QTest::qWait(100);
        QCOMPARE(MsgBox::shown().size(), boxText.isEmpty() ? 0 : 1);
        if (!boxText.isEmpty())
            QCOMPARE(testsupport::lastBox(), "警告|" + boxText);
        QCOMPARE(visibleButtons(), (QStringList{"pb_retry", "pb_cancel"}));
        QVERIFY(!QFile::exists(staffFile("星光店")));
        QVERIFY(!QFile::exists(m_studio->dovraRoot + "月影店/产品"));

        // Retry asks again for the same list, and this time it is written
        const int asked = m_server.requestCount("getpersons");
        button("pb_retry")->click();
        QVERIFY(waitLabel(doneText("员工", false)));
        QCOMPARE(m_server.requestCount("getpersons"), asked + 1);
        QCOMPARE(m_server.requests("getpersons").last().body, m_server.requests("getpersons").first().body);
        QVERIFY(QFile::exists(staffFile("月影店")));
    }

    void cancelDropsTheRequest()
    {
        standin::Gate cancelled; // the answer comes after the Cancel
        m_server.queueReply("getpersons", standin::Reply::ok({{"persons", QJsonArray{}}}).heldBy(cancelled));
        button("pb_syncpeo")->click();
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("getpersons") == 1; }));
        button("pb_cancel")->click();
        QCOMPARE(label(), QString("请点击需要同步的数据类型"));
        QCOMPARE(visibleButtons(), (QStringList{"pb_syncpeo", "pb_syncpro"}));
        cancelled.open();
        QTest::qWait(300);
        QCOMPARE(label(), QString("请点击需要同步的数据类型"));
        QCOMPARE(bar()->value(), 0);
        QVERIFY(MsgBox::shown().isEmpty());
        QVERIFY(!QFile::exists(staffFile("星光店")));
    }

    void stopDuringTheWrite_data()
    {
        QTest::addColumn<bool>("close");
        QTest::addColumn<bool>("late"); // the last store's report is queued before the Cancel is handled
        QTest::newRow("cancel") << false << false;
        QTest::newRow("close the window") << true << false;
        QTest::newRow("cancel during the last store's write") << false << true;
    }
    void stopDuringTheWrite()
    {
        QFETCH(bool, close);
        QFETCH(bool, late);
        // a write long enough for the Cancel to come during it, however busy the machine
        Platform::slowWrites(late ? "月影店" : "VgStaff", late ? 600 : 3000);
        button("pb_syncpeo")->click();
        // the document is built: the first store's file (late: the last one's) is being written
        QVERIFY(testsupport::waitFor([&] { return bar()->value() == (late ? 3 : 2); }));
        if (late) // the write ends and its report, the worker's last act, waits unhandled behind the Cancel
            QVERIFY(m_dialog->findChild<Dovrathread *>()->wait(testsupport::kWaitMs));
        if (close) {
            m_dialog->close();
            QVERIFY(testsupport::waitFor([&] { return m_dialog.isNull(); }));
        } else {
            button("pb_cancel")->click();
            QCOMPARE(label(), QString("请点击需要同步的数据类型"));
            QTest::qWait(200);
            QCOMPARE(label(), QString("请点击需要同步的数据类型"));
            QCOMPARE(bar()->value(), 0);
        }
        // the window did not wait for the worker; the store in hand is finished, the next one never started
        QVERIFY(late || !Dovrathread::waitForUnowned(0));
        QVERIFY(Dovrathread::waitForUnowned(testsupport::kWaitMs));
        QVERIFY(QFile::exists(staffFile("星光店")));
        QCOMPARE(QFile::exists(staffFile("月影店")), late);
    }
};

TESSALY_TEST_MAIN(TestDovraSyncDialog)
#include "tst_dovrasyncdialog.moc"
