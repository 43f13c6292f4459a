// The "Dovra分件" window against the stand-in web service and the sample studio's Dovra tree: the rows'
// Dovra folders, the start guards, whole exports under both shops' switches, back-to-back runs and the
// refused close.

#include "exportdovraresult.h"
#include "fileoperation.h"
#include "globals.h"
#include "msgbox.h"
#include "platform.h"
#include "orderwindowtests.h"

#include <QComboBox>
#include <QDate>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

using testsupport::child;

using testsupport::fileTree;

} // namespace

class TestExportDovraResult : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT

    QPointer<ExportDovraResult> m_win;
    QString m_exportRoot;

    // Lists every sample order (each has a phone number with five zeros in a row) and ticks them all.
    bool listAndTickAll()
    {
        if (!testsupport::listAllOrders(m_win, m_server) || m_win->orderList().size() != 5)
            return false;
        child<QPushButton>(m_win, "pushButton_selectAll")->click();
        return true;
    }
    void start() { child<QPushButton>(m_win, "pushButton_separate")->click(); }
    int reports() const
    {
        int n = 0;
        for (const MsgBox::Shown &s : MsgBox::shown())
            n += s.title == "温馨提示";
        return n;
    }
    QString dateFolder() const
    {
        return m_exportRoot + "/" + QDate::currentDate().toString("yyyy-MM-dd") + "/";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(startServer());
        g_storeIds = QStringList{"11", "13"};
        g_storeNames = QStringList{"星光店", "星光二店"};
    }
    void init()
    {
        testsupport::prepare();
        QVERIFY(newServedStudio());
        QVERIFY(QDir::setCurrent(m_roots->base())); // the save-path list file lives here
        m_exportRoot = m_roots->path("导出 & #");
        QVERIFY(QDir().mkpath(m_exportRoot));
        QVERIFY(FileOperation::writeDatFile("path_separatePhotos.dat", {m_exportRoot, "older"}, false));
        g_dovraisdownloadall = "0";
        g_dovrabigimg = "0";
        m_win = new ExportDovraResult(nullptr, ShopSettings::current());
        m_win->resize(1200, 700);
        m_win->show();
    }
    void cleanup() { delete m_win.data(); }

    void rowsCarryTheirDovraFolders()
    {
        QCOMPARE(child<QLineEdit>(m_win, "pathLineEdit")->text(), m_exportRoot);
        QVERIFY(child<QGroupBox>(m_win, "groupBox")->isHidden());
        QVERIFY(listAndTickAll());
        const QString base = m_studio->dovraRoot + "星光店\\选版服务器\\";
        const OrderRowInfo a = m_win->orderList().at(0);
        QCOMPARE(a.dovraRelPath, m_studio->orders.at(0).dovraRel);
        QCOMPARE(a.dovraSelectedPath, base + "[已选]" + m_studio->orders.at(0).dovraRel);
        QVERIFY(m_win->orderList().at(4).dovraSelectedPath.isEmpty()); // not imported
    }

    void startGuards_data()
    {
        QTest::addColumn<bool>("tick");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("box");
        QTest::newRow("nothing ticked, path gone too") << false << "gone" << "|请选择订单";
        QTest::newRow("path gone") << true << "gone" << "警告|分件路径不存在";
        QTest::newRow("empty path") << true << "" << "警告|分件路径不存在";
    }
    void startGuards()
    {
        QFETCH(bool, tick);
        QFETCH(QString, path);
        QFETCH(QString, box);
        QVERIFY(listAndTickAll());
        if (!tick)
            child<QPushButton>(m_win, "pushButton_selectOpposite")->click();
        child<QLineEdit>(m_win, "pathLineEdit")->setText(path.isEmpty() ? QString() : m_roots->path(path));
        start();
        QCOMPARE(testsupport::lastBox(), box);
        QVERIFY(!m_win->isSeparating());
        QVERIFY(child<QGroupBox>(m_win, "groupBox")->isHidden());
        QTest::qWait(100);
        QCOMPARE(reports(), 0);
    }

    void exportUnderTheShopsSwitches_data()
    {
        QTest::addColumn<QString>("switches"); // g_dovraisdownloadall + g_dovrabigimg
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("page"); // the album's first page: Dovra's small photo or the finished one

        const QString a = "A1203-服务次1 张小宝-李梅-张伟/";
        const QString b = "B2207-服务次2 王芳-刘强/";
        QTest::newRow("first shop: restricted, Dovra's photos")
            << "00"
            << QStringList{a + "选版结果/封面.psd", a + "选版结果/相册/01/IMG_0001.jpg", a + "选版结果/相册/02/IMG_0002.jpg",
                           b + "选版结果/封面.psd", b + "选版结果/相册/01/DSC_1001.jpg", b + "选版结果/相册/02/DSC_1002.jpg"}
            << "small";
        QTest::newRow("second shop: everything, design data, finished photos")
            << "11"
            << QStringList{a + QString(m_studio->orders.at(0).dovraRel).replace('\\', '/') + "_待Dovra设计同步用数据/设计稿.psd",
                           a + "选版结果/封面.psd",
                           a + "选版结果/未入册照片/IMG_0004.JPG", a + "选版结果/未入册版面/IMG_0003.jpg",
                           a + "选版结果/相册/01/IMG_0001.jpg", a + "选版结果/相册/02/IMG_0002.jpg",
                           a + "选版结果/说明.txt", a + "选版结果/选版完成.ok", b + "选版结果/封面.psd",
                           b + "选版结果/未入册版面/DSC_1003.jpg", b + "选版结果/相册/01/DSC_1001.jpg",
                           b + "选版结果/相册/02/DSC_1002.jpg", b + "选版结果/说明.txt", b + "选版结果/选版完成.ok"}
            << "finished";
    }
    void exportUnderTheShopsSwitches()
    {
        QFETCH(QString, switches);
        QFETCH(QStringList, files);
        QFETCH(QString, page);
        const QByteArray listFile = [] {
            QFile f("path_separatePhotos.dat");
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        g_dovraisdownloadall = switches.left(1);
        g_dovrabigimg = switches.mid(1);
        delete m_win.data(); // a window takes the shop's switches when it opens
        m_win = new ExportDovraResult(nullptr, ShopSettings::current());
        m_win->show();
        QVERIFY(listAndTickAll());
        start();
        QVERIFY(m_win->isSeparating());
        QVERIFY(child<QGroupBox>(m_win, "groupBox")->isVisible());
        QVERIFY(child<QProgressBar>(m_win, "progressBar")->isHidden());
        QCOMPARE(child<QLabel>(m_win, "label")->text(), QString("开始导出Dovra结果..."));
        // behind the report box the progress line shows the end, not the last file copied; it keeps it
        // (looked at and answered from within the box's own event loop)
        MsgBox::holdNext();
        QString behindTheBox;
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            if (!MsgBox::held())
                return;
            const QLabel *line = child<QLabel>(m_win, "label");
            behindTheBox = (line->isVisible() ? "shown: " : "hidden: ") + line->text();
            MsgBox::answerHeld(QMessageBox::Ok);
        });
        look.start(10);
        QVERIFY(testsupport::waitFor([&] { return reports() == 1 && !m_win->isSeparating(); }));
        look.stop();
        QCOMPARE(behindTheBox, QString("shown: Dovra结果导出结束"));
        QVERIFY(child<QGroupBox>(m_win, "groupBox")->isHidden());
        QCOMPARE(child<QLabel>(m_win, "label")->text(), QString("Dovra结果导出结束"));

        const QString red = "<br><font color=\"#ff0000\">";
        const QString green = "<br><font color=\"#669900\">";
        QString report = "所选订单Dovra选版导出结果" + green + "A1203 服务次1</font>  Dovra导出完成";
        if (switches == "11")
            report += "<br>B2207 服务次2</font> Dovra路径下没有 待Dovra设计同步用数据 文件夹" + red
                      + "B2207 服务次2</font>  Dovra部分导出完成";
        else
            report += green + "B2207 服务次2</font>  Dovra导出完成";
        report += "<br>C3105 服务次1</font> Dovra选版未完成" + red + "D4410 服务次3</font> Dovra选版未完成或与本机不在同一局域网"
                  + red + "E5520 服务次1</font> 没有导入成品照片，所以产品文件夹里是Dovra的小图！" + red
                  + "E5520 服务次1</font> 没有Dovra选版完成路径";
        QCOMPARE(MsgBox::lastShown().text, report);
        files.sort();
        QCOMPARE(fileTree(dateFolder()), files);
        QFile first(dateFolder() + files.filter("相册/01/").first());
        QVERIFY(first.open(QIODevice::ReadOnly));
        const QImage img = QImage::fromData(first.readAll());
        QCOMPARE(img.width(), page == "finished" ? 640 : 160);
        // the window only reads the list file
        QFile f("path_separatePhotos.dat");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), listFile);
    }

    void backToBackAndRefusedClose()
    {
        QVERIFY(listAndTickAll());
        start();
        // a close while the export runs is refused, and the window stays
        m_win->close();
        QCOMPARE(testsupport::lastBox(), QString("通知|正在分件，请稍后"));
        QVERIFY(m_win->isVisible());
        start();
        QCOMPARE(MsgBox::lastShown().text, QString("正在分件，请稍后"));
        QVERIFY(testsupport::waitFor([&] { return reports() == 1; }));
        QVERIFY(!m_win->isSeparating());

        // The report of a run is its worker's last act, but the worker may not have ended yet when the
        // report is shown; a start then must still run. The gap is widened here: slow copies, and the
        // report handled while the worker still copies.
        Platform::slowWrites("选版结果", 150);
        QDir(dateFolder()).removeRecursively();
        start();
        QMetaObject::invokeMethod(m_win, "slt_exportDovraResult", Qt::DirectConnection,
                                  Q_ARG(QJsonObject, (QJsonObject{{"type", "all_finish"}, {"message", "early"}})));
        start();
        QVERIFY(testsupport::waitFor([&] { return reports() == 4; }));
        QTest::qWait(300);
        QStringList texts;
        for (const MsgBox::Shown &shown : MsgBox::shown())
            if (shown.title == "温馨提示")
                texts << shown.text;
        QCOMPARE(texts.size(), 4);
        QCOMPARE(texts.at(1), QString("early"));
        QCOMPARE(texts.at(2), texts.at(0));
        QCOMPARE(texts.at(3), texts.at(0)); // everything was there already: nothing copied twice, still done
        QCOMPARE(fileTree(dateFolder()).size(), 6);
        m_win->close();
        QVERIFY(testsupport::waitFor([&] { return m_win.isNull() || !m_win->isVisible(); }));
    }
};

TESSALY_TEST_MAIN(TestExportDovraResult)
#include "tst_exportdovraresult.moc"
