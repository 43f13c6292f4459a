#include "fileoperation.h"
#include "globals.h"
#include "msgbox.h"
#include "platform.h"
#include "runoutput.h"
#include "searchorder.h"
#include "splitaftersample.h"
#include "filebytes.h"
#include "orderwindowtests.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>

Q_DECLARE_METATYPE(standin::Reply)

namespace {

using testsupport::child;

using testsupport::kA1203Folder;
const QString kD = "D4410-服务3 赵敏 自取/";

} // namespace

class TestAfterSampleRun : public QObject, protected testsupport::SeparationRunFixture
{
    Q_OBJECT

    template <typename Window = SplitAfterSample>
    Window *open()
    {
        return openWindow<Window>();
    }

private slots:
    void initTestCase() { QVERIFY(startWrittenStudio()); }
    void init()
    {
        QVERIFY(prepareRun());
        g_sjfjxz = "0"; // the shop does not copy raw files; the stage after the sample does all the same
        g_finishedDirName = "02底片";
        g_markDirName = "标注"; // for the separation window beside it
    }
    void cleanup() { QVERIFY(closeWindows()); }

    void twoOrders()
    {
        // a late barcode: the sheets wait for it
        const QByteArray barcode = testsupport::jpegWithOrientation(QSize(300, 80), 0);
        m_server.setReply("getbarcodegen", standin::Reply::raw(200, barcode, "image/jpeg").asChunked().withDelay(600));
        SplitAfterSample *w = open();
        QVERIFY(listAndTick(w, {0, 3}));
        QVERIFY(runToEnd(w));

        // per order: goods, then the barcode beside the crop information, then the detail
        QStringList actions;
        for (const standin::Request &r : m_server.requests()) {
            if (r.action != "order_list")
                actions << r.action + (r.action == "getbarcodegen" ? r.queryFields.value(3).second
                                                                   : r.field("order_photo_id"));
        }
        for (int i : {1, 5})
            std::sort(actions.begin() + i, actions.begin() + i + 2);
        QCOMPARE(actions, (QStringList{"ordergoods202305215001", "getbarcodegen5001", "getorderpic5001", "orderdetail5001",
                                       "ordergoods202305215004", "getbarcodegen5004", "getorderpic5004",
                                       "orderdetail5004"}));
        QCOMPARE(m_server.lastRequest("ordergoods20230521").fieldNames(),
                 (QStringList{"token", "order_photo_id", "shopid", "superid", "personid", "uid"}));

        const QStringList sheets{"制作单缩略图/", "快递产品信息.pdf", "明细制作单.pdf", "条形码.jpg"};
        QStringList files;
        for (const QString &f : QStringList{"02底片/IMG_0001.CR2", "02底片/IMG_0001.jpg", "02底片/IMG_0002.CR2",
                                            "02底片/IMG_0002.jpg", "02底片/IMG_0003.CR2", "02底片/IMG_0003.jpg",
                                            "02底片/IMG_0004.JPG", "制作单缩略图/IMG_0001.jpg", "制作单缩略图/IMG_0002.jpg",
                                            "制作单缩略图/IMG_0003.jpg", "制作单缩略图/IMG_0004.jpg",
                                            "制作单缩略图/marks/IMG_0002.jpg", "快递产品信息.pdf", "明细制作单.pdf", "条形码.jpg"})
            files << kA1203Folder + f;
        for (const QString &f : QStringList{"02底片/IMG_2001.CR2", "02底片/IMG_2001.NEF", "02底片/IMG_2001.jpg",
                                            "02底片/IMG_2002.png", "制作单缩略图/IMG_2001.jpg", "快递产品信息.pdf",
                                            "明细制作单.pdf", "条形码.jpg"})
            files << kD + f;
        QCOMPARE(testsupport::fileTree(dated()), files);

        // the retouched PNG, not the original of the same name
        using testsupport::bytesOf;
        QCOMPARE(bytesOf(dated() + kD + "02底片/IMG_2002.png"), bytesOf(m_studio->orders.at(3).orderPath + "成品/IMG_2002.png"));
        const QString work = dated() + kA1203Folder;
        QCOMPARE(bytesOf(work + "条形码.jpg"), barcode);
        QVERIFY(Platform::isHidden(work + "条形码.jpg"));
        QVERIFY(Platform::isHidden(work + "制作单缩略图"));
        QVERIFY(QFileInfo(work + "明细制作单.pdf").lastModified() >= QFileInfo(work + "条形码.jpg").lastModified());
        const QString sheet = testsupport::pdfText(work + "明细制作单.pdf");
        QVERIFY(sheet.contains("A1203"));
        QVERIFY(sheet.contains("样后消费：加选精修十张")); // the after-sample statement, not the separation's
        QVERIFY(!sheet.contains("套系消费"));
        QCOMPARE(FileOperation::readDatFile("path_separatePhotos.dat", 2), QStringList{m_out.chopped(1)});

        QCOMPARE(testsupport::takeReportBox().text, QString("分件成功!"));
        QCOMPARE(child<QLabel>(w, "label_finishOrdersNum")->text(), QString("已完成订单个数：2/2"));
        QVERIFY(runToEnd(w)); // the same ticks once more
        QCOMPARE(goodsRequests().size(), 4);
        QCOMPARE(testsupport::takeReportBox().text, QString("分件成功!"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("action"); // a reply of the first order's that fails ("" for none)
        QTest::addColumn<standin::Reply>("reply");
        // "mkdir:", "copy:" or "write:" and the path part that fails once; "claim:link", the order folder's claim a
        // link
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("box");    // the warning that stops the run; "" for none
        // the first order's failure in the report, when the run goes on (a claim's: its line, %1 the order folder)
        QTest::addColumn<QString>("failed");

        const standin::Reply none;
        const QString goods = "ordergoods20230521";
        QTest::newRow("goods HTTP 500") << goods << standin::Reply::httpError(500) << "" << "网络请求错误\n服务器出错（HTTP 500）" << "";
        QTest::newRow("goods not JSON") << goods << standin::Reply::notJson() << ""
                                        << "查询产品信息错误：服务器返回的数据无法识别" << "";
        QTest::newRow("crop numeric code") << "getorderpic" << standin::Reply::numericCode(1) << ""
                                           << "查询裁剪信息错误：" << "";
        QTest::newRow("detail not JSON") << "orderdetail" << standin::Reply::notJson() << ""
                                         << "查询订单信息错误：服务器返回的数据无法识别" << "";
        // each with its reason in words
        QTest::newRow("order folder") << "" << none << "mkdir:A1203-" << "分件文件夹创建失败：%1（没有权限）" << "";
        QTest::newRow("a raw copy") << "" << none << "copy:IMG_0002.CR2" << "" << "02底片/IMG_0002.CR2（没有权限）";
        QTest::newRow("work sheet") << "" << none << "write:明细制作单" << "" << "明细制作单.pdf（磁盘读写出错）";
        QTest::newRow("barcode 404") << "getbarcodegen" << standin::Reply::raw(404, "<html>no</html>", "text/html") << ""
                                     << "" << "条形码.jpg（未能下载：HTTP 404）";
        // not read: the order is not separated, the next one is
        QTest::newRow("the order folder's claim a link")
            << "" << none << "claim:link" << ""
            << "该订单未分件：分件标记无法读取（是链接），无法确定其它电脑是否正在分件该订单，请删除该文件后重新分件：%1.分件进行中";
    }
    void failures()
    {
        QFETCH(QString, action);
        QFETCH(standin::Reply, reply);
        QFETCH(QString, fault);
        QFETCH(QString, box);
        QFETCH(QString, failed);

        if (!action.isEmpty())
            m_server.queueReply(action, reply);
        const QString part = fault.section(':', 1);
        if (fault.startsWith("mkdir:"))
            Platform::failMkDirs(part, 1);
        else if (fault.startsWith("copy:"))
            Platform::failCopies(part, 1);
        else if (fault.startsWith("write:"))
            Platform::failWrites(part, 1);
        const QString work = dated() + kA1203Folder;
        if (fault == "claim:link") {
            QVERIFY(QDir().mkpath(work));
            QVERIFY(QFile::link(m_roots->path("outside-claim"), work + ".分件进行中"));
        }
        SplitAfterSample *w = open();
        QVERIFY(listAndTick(w, {0, 3}));
        QVERIFY(runToEnd(w));
        QVERIFY(!SeparationRun::holder());
        if (!box.isEmpty()) {
            QCOMPARE(MsgBox::shown().size(), 1);
            QCOMPARE(MsgBox::lastShown().title, QString("警告"));
            QCOMPARE(MsgBox::lastShown().text, box.arg(work));
            QCOMPARE(goodsRequests(), QStringList{"5001"});
            // after its copies the order is reported as not done; nothing was done before a goods or folder failure
            const testsupport::ReportBox stopped = testsupport::takeReportBox();
            QCOMPARE(stopped.shown, action == "getorderpic" || action == "orderdetail");
            QVERIFY(!stopped.shown || stopped.text.startsWith("订单A1203:\n分件未完成（"));
            QVERIFY(!QFileInfo::exists(work + "明细制作单.pdf"));
            QVERIFY(runToEnd(w)); // the next start takes the order that failed again, then the next
            QCOMPARE(goodsRequests(), (QStringList{"5001", "5001", "5004"}));
            QVERIFY(QFileInfo::exists(work + "明细制作单.pdf"));
            QCOMPARE(testsupport::takeReportBox().text, QString("分件成功!"));
            return;
        }
        QVERIFY(MsgBox::shown().isEmpty());
        QCOMPARE(goodsRequests(), (QStringList{"5001", "5004"}));
        QCOMPARE(testsupport::takeReportBox().text,
                 "订单A1203:\n" + (fault.startsWith("claim:") ? failed.arg(work) : "复制失败:" + work + failed) + "\n\n");
        if (fault.startsWith("claim:")) // nothing of the order was copied
            QCOMPARE(QDir(work + "02底片").entryList(QDir::Files), QStringList());
    }

    // No save folder given when asked: the order is not passed over by the next start, which asks again.
    void aCancelledSaveFolderTakesNoOrder()
    {
        SplitAfterSample *w = open();
        QVERIFY(listAndTick(w, {0, 3}));
        child<QLineEdit>(w, "pathLineEdit")->clear();
        FileDialogs::queueAnswer(QString()); // cancelled
        QVERIFY(runToEnd(w));
        QVERIFY(MsgBox::shown().isEmpty());
        QVERIFY(!testsupport::takeReportBox().shown);
        FileDialogs::queueAnswer(m_out.chopped(1));
        QVERIFY(runToEnd(w));
        QVERIFY(MsgBox::shown().isEmpty());
        QCOMPARE(goodsRequests(), (QStringList{"5001", "5001", "5004"}));
        QCOMPARE(child<QLabel>(w, "label_finishOrdersNum")->text(), QString("已完成订单个数：2/2"));
        QVERIFY(QFileInfo::exists(dated() + kA1203Folder + "明细制作单.pdf"));
        QCOMPARE(testsupport::takeReportBox().text, QString("分件成功!"));
    }

    // An order the web service knows no folder of: nothing is read from the program's folder (which holds a
    // "成品/" and a "marks/" here), the sheets are written all the same and the report says why it is empty.
    void anOrderWithoutAFolder()
    {
        for (const char *sub : {"成品/", "marks/"}) {
            QVERIFY(QDir().mkpath(m_roots->base() + sub));
            QVERIFY(testsupport::writeJpeg(m_roots->base() + sub + "IMG_0002.jpg", QSize(40, 30)));
        }
        SplitAfterSample *w = open();
        QVERIFY(listAndTick(w, {4})); // E5520
        QVERIFY(runToEnd(w));
        const QString work = dated() + "E5520-服务1 孙悟-孙大圣 自取/";
        QCOMPARE(testsupport::fileTree(work),
                 (QStringList{"02底片/", "制作单缩略图/", "快递产品信息.pdf", "明细制作单.pdf", "条形码.jpg"}));
        const testsupport::ReportBox report = testsupport::takeReportBox();
        QCOMPARE(report.text, QString("订单E5520:\n订单路径为空或不完整，未读取订单照片：\n\n"));
        QCOMPARE(report.file, dated() + "E5520、E5520分件结果.txt");
        for (const char *sub : {"成品/", "marks/"})
            QVERIFY(QDir(m_roots->base() + sub).removeRecursively());
    }

    // One separation run at a time, whichever window starts it; a window closed while its jobs wait
    // hears nothing more of them and lets the next run start.
    void oneRunAtATime()
    {
        testsupport::BusyPool busy;

        SplitAfterSample *w = open();
        QVERIFY(listAndTick(w, {0}));
        child<QPushButton>(w, "pushButton_separate")->click();
        QVERIFY(testsupport::waitFor([&] { return w->guard()->queuedJobs() > 0; }));

        auto *other = open<SearchOrder>();
        QVERIFY(listAndTick(other, {1}));
        MsgBox::clearShown();
        child<QPushButton>(other, "pushButton_separate")->click();
        QCOMPARE(MsgBox::lastShown().text, QString("正在分件，请稍后"));
        QVERIFY(!other->isSeparating());

        const std::shared_ptr<WindowGuard> guard = w->guard();
        MsgBox::setNextAnswer(QMessageBox::Yes);
        w->close();
        QVERIFY(testsupport::waitFor([&] { return m_windows.first().isNull(); }));
        QVERIFY(!SeparationRun::holder());
        QCOMPARE(guard->queuedJobs(), 0);
        busy.release();

        child<QPushButton>(other, "pushButton_separate")->click();
        QVERIFY(testsupport::waitFor([&] { return !other->isSeparating(); }));
        QVERIFY(testsupport::takeReportBox().shown);
    }

    // Closed while the barcode is still loading and the sheet jobs run: nothing reaches the window.
    void closingWhileTheBarcodeLoads()
    {
        m_server.setReply("getbarcodegen", standin::Reply::raw(200, "late", "image/jpeg").withDelay(1500));
        SplitAfterSample *w = open();
        QVERIFY(listAndTick(w, {0}));
        child<QPushButton>(w, "pushButton_separate")->click();
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("getbarcodegen") > 0; }));
        MsgBox::setNextAnswer(QMessageBox::Yes);
        w->close();
        QVERIFY(testsupport::waitFor([&] { return m_windows.first().isNull(); }));
        QVERIFY(!SeparationRun::holder());
        QTest::qWait(2000); // the reply arrives and the jobs end with no window to tell
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QVERIFY(!testsupport::takeReportBox().shown);
        QCOMPARE(MsgBox::shown().size(), 1); // only the question before the close
    }
};

TESSALY_TEST_MAIN(TestAfterSampleRun)
#include "tst_aftersamplerun.moc"
