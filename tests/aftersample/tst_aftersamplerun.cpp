#include "fileoperation.h"
#include "globals.h"
#include "msgbox.h"
#include "platform.h"
#include "runoutput.h"
#include "searchorder.h"
#include "splitaftersample.h"
#include "studiofixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSemaphore>
#include <QThreadPool>

Q_DECLARE_METATYPE(standin::Reply)

namespace {

using testsupport::child;

const QString kA = "A1203-服务1 张小宝-李梅-张伟 自取/";
const QString kD = "D4410-服务3 赵敏 自取/";

} // namespace

class TestAfterSampleRun : public QObject, protected testsupport::StudioFixture
{
    Q_OBJECT

    QList<QPointer<OrderSearchWindowBase>> m_windows;
    QString m_out;
    int m_outs = 0;

    template <typename Window = SplitAfterSample>
    Window *open()
    {
        auto *w = new Window;
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->resize(1200, 700);
        w->show();
        m_windows << w;
        return w;
    }
    // Lists every sample order (A1203, B2207, C3105, D4410, E5520) and ticks the given rows.
    bool listAndTick(OrderSearchWindowBase *w, const QList<int> &rows)
    {
        child<QComboBox>(w, "comboBox")->setCurrentText("电话");
        child<QLineEdit>(w, "orderNumber")->setText("00000");
        auto *button = child<QPushButton>(w, "searchButton");
        const int before = m_server.requestCount("order_list");
        button->click();
        if (!testsupport::waitFor([&] { return m_server.requestCount("order_list") > before && button->isEnabled(); }))
            return false;
        for (int row : rows)
            testsupport::clickRow(w, row);
        child<QLineEdit>(w, "pathLineEdit")->setText(m_out.chopped(1));
        return true;
    }
    bool runToEnd(SplitAfterSample *w)
    {
        child<QPushButton>(w, "pushButton_separate")->click();
        return testsupport::waitFor([w] { return !w->isSeparating(); }, 20000);
    }
    QStringList goodsRequests() const
    {
        QStringList ids;
        for (const standin::Request &r : m_server.requests("ordergoods20230521"))
            ids << r.field("order_photo_id");
        return ids;
    }
    QString dated() const { return m_out + QDate::currentDate().toString("yyyy-MM-dd") + "/"; }

private slots:
    void initTestCase()
    {
        QVERIFY(startServer());
        QString error;
        QVERIFY2(newStudio(true, &error), qPrintable(error));
        serveStudio();
        QVERIFY(QDir::setCurrent(m_roots->base()));
    }
    void init()
    {
        MsgBox::clearShown();
        Platform::clearFaults();
        m_server.clearRequests();
        g_storeIds = QStringList{"11"};
        g_storeNames = QStringList{"星光店"};
        g_sjfjxz = "0"; // the shop does not copy raw files; the stage after the sample does all the same
        g_finishedDirName = "02底片";
        m_out = m_roots->path(QString("out%1/").arg(++m_outs));
        QVERIFY(QDir().mkpath(m_out));
    }
    void cleanup()
    {
        for (const QPointer<OrderSearchWindowBase> &w : qAsConst(m_windows)) {
            if (w)
                w->close();
        }
        QVERIFY(testsupport::waitFor([this] {
            for (const QPointer<OrderSearchWindowBase> &w : qAsConst(m_windows)) {
                if (w)
                    return false;
            }
            return true;
        }));
        m_windows.clear();
        testsupport::takeReportBox();
        QThreadPool::globalInstance()->waitForDone();
        Platform::clearFaults();
        serveStudio();
    }

    void twoOrders()
    {
        SplitAfterSample *w = open();
        QVERIFY(listAndTick(w, {0, 3}));
        QVERIFY(runToEnd(w));

        QCOMPARE(goodsRequests(), (QStringList{"5001", "5004"}));
        QCOMPARE(m_server.lastRequest("ordergoods20230521").fieldNames(),
                 (QStringList{"token", "order_photo_id", "shopid", "superid", "personid", "uid"}));
        const QStringList photos{kA + "02底片/IMG_0001.CR2", kA + "02底片/IMG_0001.jpg", kA + "02底片/IMG_0002.CR2",
                                 kA + "02底片/IMG_0002.jpg", kA + "02底片/IMG_0003.CR2", kA + "02底片/IMG_0003.jpg",
                                 kA + "02底片/IMG_0004.JPG", kD + "02底片/IMG_2001.CR2", kD + "02底片/IMG_2001.NEF",
                                 kD + "02底片/IMG_2001.jpg", kD + "02底片/IMG_2002.png"};
        QCOMPARE(testsupport::fileTree(dated()), photos);
        // the retouched PNG, not the original of the same name
        const QString png = "成品/IMG_2002.png";
        QFile copied(dated() + kD + "02底片/IMG_2002.png"), source(m_studio->orders.at(3).orderPath + png);
        QVERIFY(copied.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), source.readAll());
        QCOMPARE(FileOperation::readDatFile("path_separatePhotos.dat", 2), QStringList{m_out.chopped(1)});

        QCOMPARE(testsupport::takeReportBox().text, QString("分件成功!"));
        QCOMPARE(child<QLabel>(w, "label_finishOrdersNum")->text(), QString("已完成订单个数：2/2"));
        QVERIFY(runToEnd(w)); // the same ticks once more
        QCOMPARE(goodsRequests().size(), 4);
        QVERIFY(testsupport::takeReportBox().shown);
    }

    void failures_data()
    {
        QTest::addColumn<standin::Reply>("goods"); // the first goods reply
        QTest::addColumn<QString>("mkDirFault");
        QTest::addColumn<QString>("copyFault");
        QTest::addColumn<QString>("box");    // the warning shown; "" for none
        QTest::addColumn<bool>("stops");     // the run stops at the first order
        QTest::addColumn<QString>("report"); // the report's text when the run ends

        const standin::Reply served;
        QTest::newRow("goods HTTP 500") << standin::Reply::httpError(500) << "" << "" << "网络请求错误\n500" << true << "";
        QTest::newRow("goods not JSON") << standin::Reply::notJson() << "" << ""
                                        << "查询产品信息错误：服务器返回的数据无法识别" << true << "";
        QTest::newRow("goods numeric code") << standin::Reply::numericCode(1) << "" << "" << "查询产品信息错误：" << true
                                            << "";
        QTest::newRow("order folder") << served << "A1203-" << "" << "分件文件夹创建失败：%1" << true << "";
        QTest::newRow("a copy") << served << "" << "IMG_0002.CR2" << "" << false
                                << "订单A1203:\n复制失败:%1" + kA + "02底片/IMG_0002.CR2\n\n";
    }
    void failures()
    {
        QFETCH(standin::Reply, goods);
        QFETCH(QString, mkDirFault);
        QFETCH(QString, copyFault);
        QFETCH(QString, box);
        QFETCH(bool, stops);
        QFETCH(QString, report);

        if (goods.status != 200 || !goods.body.isEmpty())
            m_server.queueReply("ordergoods20230521", goods);
        if (!mkDirFault.isEmpty())
            Platform::failMkDirs(mkDirFault, 1);
        if (!copyFault.isEmpty())
            Platform::failCopies(copyFault, 1);
        SplitAfterSample *w = open();
        QVERIFY(listAndTick(w, {0, 3}));
        QVERIFY(runToEnd(w));
        QCOMPARE(MsgBox::shown().isEmpty(), box.isEmpty());
        if (!box.isEmpty())
            QCOMPARE(MsgBox::lastShown().text, box.arg(dated() + kA));
        QVERIFY(!SeparationRun::holder());
        if (stops) {
            QCOMPARE(goodsRequests(), QStringList{"5001"});
            QVERIFY(!testsupport::takeReportBox().shown);
            QVERIFY(runToEnd(w)); // the next start goes on with the order not yet taken
            QCOMPARE(goodsRequests(), (QStringList{"5001", "5004"}));
            QCOMPARE(testsupport::takeReportBox().text, QString("分件成功!"));
        } else {
            QCOMPARE(goodsRequests(), (QStringList{"5001", "5004"}));
            QCOMPARE(testsupport::takeReportBox().text, report.arg(dated()));
        }
    }

    // One separation run at a time, whichever window starts it; a window closed while its jobs wait
    // hears nothing more of them and lets the next run start.
    void oneRunAtATime()
    {
        QThreadPool::globalInstance()->setMaxThreadCount(10);
        QSemaphore release;
        QObject busyReceiver;
        std::shared_ptr<WindowGuard> busy = WindowGuard::create(&busyReceiver);
        for (int i = 0; i < 10; ++i)
            busy->startJob([&] { release.acquire(); });

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
        w->close();
        QVERIFY(testsupport::waitFor([&] { return m_windows.first().isNull(); }));
        QVERIFY(!SeparationRun::holder());
        QCOMPARE(guard->queuedJobs(), 0);
        release.release(10);
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        busy->close();

        child<QPushButton>(other, "pushButton_separate")->click();
        QVERIFY(testsupport::waitFor([&] { return !other->isSeparating(); }, 20000));
        QVERIFY(testsupport::takeReportBox().shown);
    }
};

TESSALY_TEST_MAIN(TestAfterSampleRun)
#include "tst_aftersamplerun.moc"
