// The single-order import window over the sample studio and the stand-in web service.

#include "cr2downloadwindow.h"
#include "filebytes.h"
#include "fileoperation.h"
#include "finishingnotice.h"
#include "importordermodel.h"
#include "importordersphotodlg.h"
#include "importorderthread.h"
#include "importphototoserver.h"
#include "mounts.h"
#include "msgbox.h"
#include "orderrecords.h"
#include "photoimport.h"
#include "platform.h"
#include "runoutput.h"
#include "searchorderwindow.h"
#include "shownwhole.h"
#include "singleorderopeners.h"
#include "studiofixture.h"
#include "unsentreport.h"
#include "webapi.h"

#include "globals.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QNetworkReply>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QDirIterator>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

// A child program's desk goes to sleep (the program stops where it is) and wakes again; false where a
// program cannot be stopped from outside (the rows that need it run on Unix only).
static bool stopProgram(QProcess &program)
{
#ifdef Q_OS_UNIX
    return ::kill(pid_t(program.processId()), SIGSTOP) == 0;
#else
    Q_UNUSED(program)
    return false;
#endif
}
static bool continueProgram(QProcess &program)
{
#ifdef Q_OS_UNIX
    return ::kill(pid_t(program.processId()), SIGCONT) == 0;
#else
    Q_UNUSED(program)
    return false;
#endif
}

using testsupport::bytesOf;
using testsupport::put;

namespace {

enum Lookup { NetworkError, CodeZero, NumericCode, NotJson, EmptyFolder, MissingFolder, ExistingFolder, Relative, Root, Bare };

standin::Reply folderReply(const QString &orderPath, const QString &bakPath = QString())
{
    return standin::Reply::ok({{"data", QJsonObject{{"orderpath", orderPath}, {"orderbakpicpath", bakPath}}}});
}

// Runs the program's own event loop until done() holds (at most testsupport::kWaitMs) and tells how often
// Qt found the last window shown closed meanwhile, which ends the program.
int lastWindowClosedUntil(const std::function<bool()> &done)
{
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.hasExpired(testsupport::kWaitMs))
            qApp->exit();
    });
    poll.start(20);
    qApp->exec();
    return lastClosed.count();
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// What the window makes of a sample order's shot day: the prefix of its photo names ("2023-07-08" gives
// "708") and the day's folder levels ("2023-07/08/").
QString dayPrefix(const QString &day)
{
    const QDate d = QDate::fromString(day, Qt::ISODate);
    return QString::number(d.month()) + d.toString("dd");
}
QString dayLevels(const QString &day)
{
    return day.left(7) + '/' + day.mid(8, 2) + '/';
}

} // namespace

class TestImportPhotoToServer : public QObject, protected testsupport::StudioFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void lookup_data();
    void lookup();
    void oneLookupPerClick();
    void readBack_data();
    void readBack();
    void choosing_data();
    void choosing();
    void createOrderDir_data();
    void createOrderDir();
    void run_data();
    void run();
    void reimportNumbersAfterTheFolder();
    void choiceCancelledWhileRootsAsked();
    void closingMidRun_data();
    void closingMidRun();
    void cutOffAfterEachFileThenImportedAgain_data();
    void cutOffAfterEachFileThenImportedAgain();
    void twoProgramsImportOneOrder_data();
    void twoProgramsImportOneOrder();
    void deleteImported_data();
    void deleteImported();
    void photoDate_data();
    void photoDate();
    void openers_data();
    void openers();

private:
    ImportPhotoToServer *open(int order);
    bool ready() const;
    // Opens the window on the sample order and waits for its lookup; asShot switches to the photos as shot.
    bool openReady(int order, bool asShot = false);
    bool runEnded(int reports);
    template <typename T>
    T *widget(const char *name) const
    {
        return m_window ? m_window->findChild<T *>(QString::fromLatin1(name)) : nullptr;
    }
    void chooseAndImport(const QStringList &photos);
    // chooseAndImport with the answer to the run's start report held by the stand-in until its end report is
    // due (it waits for the start, as log says, or has reached the stand-in); then the answer (startReply)
    // goes. Tells what went wrong: an end report recorded while the start was held.
    QString importWithStartHeld(const QStringList &photos, const testsupport::LogCapture &log,
                                standin::Reply startReply = standin::Reply::ok());
    // The last start report recorded came before the last end report.
    bool startBeforeEnd() const;

    QPointer<ImportPhotoToServer> m_window;
    // Changes to the order handed to the window.
    std::function<void(SingleImportOrder &)> m_beforeWindow;
};

void TestImportPhotoToServer::init()
{
    testsupport::prepare();
    m_beforeWindow = nullptr;
    QVERIFY(startServer());
    QVERIFY(newServedStudio());
}

void TestImportPhotoToServer::cleanup()
{
    delete m_window.data(); // waits for its jobs
    QCoreApplication::sendPostedEvents();
    m_server.stop();
}

ImportPhotoToServer *TestImportPhotoToServer::open(int order)
{
    const ImportOrderModel record(m_studio->orderJson(m_studio->orders.at(order)));
    SingleImportOrder values = SingleOrder::importOrderOf(record);
    if (m_beforeWindow)
        m_beforeWindow(values);
    m_window = new ImportPhotoToServer(values, nullptr, ShopSettings::current());
    m_window->show();
    return m_window;
}

bool TestImportPhotoToServer::openReady(int order, bool asShot)
{
    open(order);
    if (!testsupport::waitFor([&] { return ready(); }))
        return false;
    if (!asShot)
        return true;
    widget<QPushButton>("importPic1")->click();
    return testsupport::waitFor([&] { return ready(); });
}

// The lookup has ended and the type buttons are back (after the icons of the listing).
bool TestImportPhotoToServer::ready() const
{
    return m_window && !m_window->isLoading() && widget<QPushButton>("importPic1")->isEnabled()
           && widget<QPushButton>("importPic2")->isEnabled() && widget<QPushButton>("importPic3")->isEnabled();
}

// The run is over, its report made and answered (no request of the window left under way) and the lookup
// that answer starts is done.
bool TestImportPhotoToServer::runEnded(int reports)
{
    return testsupport::waitFor([&] {
        return !m_window->isImporting() && m_server.requestCount("updatepicpath") == reports
               && m_window->findChildren<QNetworkReply *>().isEmpty() && ready();
    });
}

void TestImportPhotoToServer::chooseAndImport(const QStringList &photos)
{
    FileDialogs::queueAnswer(photos);
    widget<QPushButton>("selectButton")->click();
    m_window->pool()->setMaxThreadCount(1); // the jobs report in the order of the photos
    widget<QPushButton>("importButton")->click();
}

QString TestImportPhotoToServer::importWithStartHeld(const QStringList &photos, const testsupport::LogCapture &log,
                                                    standin::Reply startReply)
{
    standin::Gate startAnswered;
    m_server.queueReply("updatepicpath2", startReply.heldBy(startAnswered));
    const int before = m_server.requestCount("updatepicpath");
    auto waits = [&] { return log.lines().filter("waiting for the answer to").filter("updatepicpath2").size(); };
    const int waitsBefore = waits();
    chooseAndImport(photos);
    QString problem;
    if (!testsupport::waitFor([&] { return m_server.requestCount("updatepicpath") > before || waits() > waitsBefore; }))
        problem = "no end report came due";
    else if (m_server.requestCount("updatepicpath") > before)
        problem = "the end report was recorded while the start report was held";
    startAnswered.open();
    return problem;
}

bool TestImportPhotoToServer::startBeforeEnd() const
{
    int start = -1;
    int end = -1;
    const QList<standin::Request> all = m_server.requests();
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).action == "updatepicpath2")
            start = i;
        else if (all.at(i).action == "updatepicpath")
            end = i;
    }
    return start >= 0 && start < end;
}

// ---------------------------------------------------------------- lookup

void TestImportPhotoToServer::lookup_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("box");      // text of the one message box ("" = none; %1 = the storage root)
    QTest::addColumn<QString>("caption");  // label_4 afterwards
    QTest::addColumn<int>("icons");
    QTest::addColumn<bool>("dateEnabled");

    QTest::newRow("HTTP 500") << int(NetworkError) << "网络请求错误\n服务器出错（HTTP 500）" << "订单照片" << 0 << false;
    QTest::newRow("code 0") << int(CodeZero) << "错误代码：0" << "订单照片" << 0 << false;
    QTest::newRow("numeric code") << int(NumericCode) << "错误代码：" << "订单照片" << 0 << false;
    QTest::newRow("not JSON") << int(NotJson) << "查询订单目录失败：服务器的回复无法识别" << "订单照片" << 0 << false;
    QTest::newRow("no folder yet") << int(EmptyFolder) << "" << "订单已导入成品（0张）" << 0 << true;
    QTest::newRow("folder missing") << int(MissingFolder) << "" << "订单照片" << 0 << false;
    QTest::newRow("folder with photos") << int(ExistingFolder) << "" << "订单已导入成品（4张)" << 4 << false;
    QTest::newRow("folder made, nothing in it yet") << int(Bare) << "" << "订单已导入成品（0张）" << 0 << false;
    QTest::newRow("relative folder: none") << int(Relative) << "订单路径无效：pic/A-1/" << "订单已导入成品（0张）" << 0 << true;
    QTest::newRow("storage root: none") << int(Root) << "订单路径无效：%1" << "订单已导入成品（0张）" << 0 << true;
}

void TestImportPhotoToServer::lookup()
{
    QFETCH(int, kind);
    QFETCH(QString, box);
    QFETCH(QString, caption);
    QFETCH(int, icons);
    QFETCH(bool, dateEnabled);
    switch (kind) {
    case NetworkError: m_server.queueReply("get_order_path", standin::Reply::httpError(500)); break;
    case CodeZero: m_server.queueReply("get_order_path", standin::Reply::refused("x", "0")); break;
    case NumericCode: m_server.queueReply("get_order_path", standin::Reply::numericCode(1)); break;
    case NotJson: m_server.queueReply("get_order_path", standin::Reply::notJson()); break;
    case EmptyFolder: m_server.queueReply("get_order_path", folderReply("")); break;
    case MissingFolder:
        m_server.queueReply("get_order_path", folderReply(m_roots->path("gone/A-1/"), m_roots->path("gone-bak/A-1/")));
        break;
    case Bare:
        QVERIFY(QDir().mkpath(m_roots->path("bare/A-1/")));
        m_server.queueReply("get_order_path", folderReply(m_roots->path("bare/A-1/"), m_roots->path("bare-bak/A-1/")));
        break;
    case Relative: m_server.queueReply("get_order_path", folderReply("pic/A-1/", "bak/A-1/")); break;
    case Root:
        g_picPath = m_studio->picRoot;
        box = box.arg(g_picPath);
        m_server.queueReply("get_order_path", folderReply(g_picPath, m_studio->bakRoot + "A-1/"));
        break;
    default: break;
    }
    open(0);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("导入照片(成品)"));
    QCOMPARE(widget<QPushButton>("importPic2")->text(), QStringLiteral("导入成品(加载中)"));
    QVERIFY(testsupport::waitFor([&] { return ready(); }));

    QCOMPARE(m_server.requestCount("get_order_path"), 1);
    QCOMPARE(MsgBox::shown().size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty())
        QCOMPARE(MsgBox::lastShown().title + MsgBox::lastShown().text, QStringLiteral("警告") + box);
    QCOMPARE(widget<QPushButton>("importPic2")->text(), QStringLiteral("导入成品"));
    QVERIFY(!m_window->loadingLabelWidget()->isVisible());
    QCOMPARE(widget<QLabel>("label_4")->text(), caption);
    QCOMPARE(widget<QPushButton>("pushButton_photodate")->isEnabled(), dateEnabled);
    QCOMPARE(widget<QPushButton>("reimportButton")->isVisible(), kind == MissingFolder || kind == ExistingFolder || kind == Bare);
    QListWidget *list = m_window->thumbListWidget();
    QCOMPARE(list->count(), icons);
    for (int i = 0; i < list->count(); ++i)
        QVERIFY2(!list->item(i)->icon().isNull(), qPrintable(list->item(i)->text()));
}

void TestImportPhotoToServer::oneLookupPerClick()
{
    QVERIFY(openReady(0));
    m_server.clearRequests();
    QTest::mouseClick(widget<QPushButton>("importPic1"), Qt::LeftButton);
    QCOMPARE(widget<QPushButton>("importPic1")->text(), QStringLiteral("导入照片(加载中)"));
    QVERIFY(!widget<QPushButton>("importPic2")->isEnabled());
    QVERIFY(testsupport::waitFor([&] { return ready(); }));
    QCOMPARE(m_server.requestCount("get_order_path"), 1);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("导入照片(原片)"));
    QCOMPARE(widget<QLabel>("label_4")->text(), QStringLiteral("订单已导入照片（3张)"));
}

void TestImportPhotoToServer::readBack_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("photo");
    QTest::addColumn<QString>("serviceTimes");
    QTest::addColumn<QString>("folderAppend");
    QTest::addColumn<QString>("photoAppend");
    QTest::newRow("0012-abc") << "0012-abc" << "x-abc-001.jpg" << "1" << "abc" << "abc";
    QTest::newRow("service count is no append name") << "305K12-2" << "305K12-007.jpg" << "2" << "" << "";
    QTest::newRow("305K12-ab-2") << "305K12-ab-2" << "305K12-cd-003.jpg" << "2" << "ab" << "cd";
    QTest::newRow("other names leave the fields") << "305K12-a-b" << "x-abc-001.jpg" << "9" << "" << "abc";
}

void TestImportPhotoToServer::readBack()
{
    QFETCH(QString, folder);
    QFETCH(QString, photo);
    QFETCH(QString, serviceTimes);
    QFETCH(QString, folderAppend);
    QFETCH(QString, photoAppend);
    const QString order = m_roots->path(folder + "/");
    QVERIFY(put(order + "照片/" + photo, "x"));
    QVERIFY(QDir().mkpath(order + "thumbnail"));
    m_server.setReply("get_order_path", folderReply(order, m_roots->path("bak/") + folder + "/"));
    m_beforeWindow = [&](SingleImportOrder &o) { o.serviceTimes = serviceTimes; };
    open(4);
    QVERIFY(testsupport::waitFor([&] { return ready(); }));
    widget<QPushButton>("importPic1")->click();
    QVERIFY(testsupport::waitFor([&] { return ready(); }));
    QCOMPARE(widget<QLineEdit>("lineEdit_folderAppendName")->text(), folderAppend);
    QCOMPARE(widget<QLineEdit>("lineEdit_picAppendName")->text(), photoAppend);
}

// ---------------------------------------------------------------- choosing and numbering

void TestImportPhotoToServer::choosing_data()
{
    QTest::addColumn<int>("type");               // 0 photos as shot, 1 finished
    QTest::addColumn<QStringList>("existing");   // in the order's photo folder
    QTest::addColumn<QString>("append");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("switchTo"); // the type switched to after choosing (-1: none)

    const QStringList two{"/in/a.jpg", "/in/b.jpg"};
    QTest::newRow("after 8") << 0 << QStringList{"512K12-008.jpg"} << "" << two
                             << QStringList{"512K12-009.jpg", "512K12-010.jpg"} << "" << -1;
    QTest::newRow("after 98") << 0 << QStringList{"512K12-098.jpg"} << "" << two
                              << QStringList{"512K12-099.jpg", "512K12-100.jpg"} << "" << -1;
    QTest::newRow("after 999") << 0 << QStringList{"512K12-999.jpg"} << "" << two
                               << QStringList{"512K12-1000.jpg", "512K12-1001.jpg"} << "" << -1;
    QTest::newRow("1000 to 1005 present")
        << 0 << QStringList{"512K12-1003.jpg", "512K12-1000.jpg", "512K12-1005.jpg", "512K12-1004.JPG"} << ""
        << QStringList{"/in/a.jpg"} << QStringList{"512K12-1006.jpg"} << "" << -1;
    QTest::newRow("append name, made safe") << 0 << QStringList{} << "a/b:c" << QStringList{"/in/a.jpg"}
                                            << QStringList{"512K12-abc-001.jpg"} << "" << -1;
    QTest::newRow("hidden file neither listed nor numbered")
        << 0 << QStringList{} << "" << QStringList{"/in/a.jpg", "/in/.b.jpg", "/in/c.jpg"}
        << QStringList{"512K12-001.jpg", "512K12-002.jpg"} << "" << -1;
    QTest::newRow("the digits ending a name count") << 0 << QStringList{"IMG_0007.jpg", "DSC_042.JPG", "512K12-099(1).jpg"}
                                                    << "" << QStringList{"/in/a.jpg"} << QStringList{"512K12-043.jpg"} << ""
                                                    << -1;
    QTest::newRow("finished photos keep their names") << 1 << QStringList{} << "" << QStringList{"/in/a.jpg", "/x/B.JPG"}
                                                      << QStringList{"a.jpg", "B.JPG"} << "" << -1;
    QTest::newRow("finished photos of one name refused")
        << 1 << QStringList{} << "" << QStringList{"/in/a.jpg", "/x/a.jpg", "/in/c.jpg"} << QStringList{}
        << "以下照片同名，导入后会相互覆盖，请只选择其中一张：\n/in/a.jpg\n/x/a.jpg" << -1;
    QTest::newRow("a choice is dropped by a type switch, with its count")
        << 0 << QStringList{} << "" << two << QStringList{} << "" << 1;
}

void TestImportPhotoToServer::choosing()
{
    QFETCH(int, type);
    QFETCH(QStringList, existing);
    QFETCH(QString, append);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, names);
    QFETCH(QString, box);
    QFETCH(int, switchTo);
    const QString order = m_roots->path("512K12-1/");
    for (const QString &name : existing)
        QVERIFY(put(order + (type == 0 ? "照片/" : "成品/") + name, "x"));
    m_server.setReply("get_order_path", folderReply(order, m_roots->path("bak/512K12-1/")));
    m_beforeWindow = [](SingleImportOrder &o) { o.orderPayForKey = "K12"; };
    QVERIFY(openReady(4, type == 0));
    widget<QLineEdit>("lineEdit_orderPRName")->setText("512");
    widget<QLineEdit>("lineEdit_picAppendName")->setText(append);

    FileDialogs::queueAnswer(chosen);
    widget<QPushButton>("selectButton")->click();
    if (switchTo >= 0) {
        widget<QPushButton>(QByteArray("importPic" + QByteArray::number(switchTo + 1)).constData())->click();
        QVERIFY(testsupport::waitFor([&] { return ready(); }));
    }
    QCOMPARE(m_window->chosenPhotoNames(), names);
    QCOMPARE(widget<QLabel>("label_importPhotoCount")->text(), QStringLiteral("导入照片: %1张").arg(names.size()));
    QCOMPARE(widget<QPushButton>("importButton")->isEnabled(), !names.isEmpty());
    QCOMPARE(MsgBox::shown().size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty())
        QCOMPARE(MsgBox::lastShown().text, box);
}

// ---------------------------------------------------------------- order folder

void TestImportPhotoToServer::createOrderDir_data()
{
    QTest::addColumn<QString>("shotDate");
    QTest::addColumn<QString>("append");
    QTest::addColumn<QString>("failMkDir"); // part of the path whose creation fails; "read-only": the disk is
    QTest::addColumn<QString>("box");       // "" = created
    QTest::addColumn<QString>("folder");    // the order folder below each root; when refused, how the box ends

    QTest::newRow("tree") << "2024-05-06" << "ab" << "" << "" << "2024-05/06/305K12-ab-2/";
    QTest::newRow("unsafe append name") << "2024-05-06" << "a/b:c" << "" << "" << "2024-05/06/305K12-abc-2/";
    // a folder not made is named with the reason in words
    QTest::newRow("server root cannot be made") << "2024-05-06" << "ab" << "newpic" << "服务器路径错误" << "（没有权限）";
    QTest::newRow("backup root cannot be made") << "2024-05-06" << "ab" << "newbak" << "备份服务器路径错误。" << "（没有权限）";
    QTest::newRow("order folder cannot be made") << "2024-05-06" << "ab" << "305K12" << "无法建立订单目录："
                                                 << "/2024-05/06/305K12-ab-2/照片/（没有权限）";
    QTest::newRow("order folder on a read-only disk") << "2024-05-06" << "ab" << "read-only" << "无法建立订单目录："
                                                      << "/2024-05/06/305K12-ab-2/照片/（磁盘只读或有写保护）";
    QTest::newRow("bad shot date") << "2024/05/06" << "ab" << "" << "拍摄日期格式错误，无法建立订单目录：2024/05/06" << "";
    // longer than the file system takes a name: said so before anything is made
    QTest::newRow("order folder name too long") << "2024-05-06" << QString(90, QChar(0x957F)) << ""
                                                << "订单目录名称过长，无法建立订单目录：305K12-" << "";
}

void TestImportPhotoToServer::createOrderDir()
{
    QFETCH(QString, shotDate);
    QFETCH(QString, append);
    QFETCH(QString, failMkDir);
    QFETCH(QString, box);
    QFETCH(QString, folder);
    m_beforeWindow = [&](SingleImportOrder &o) {
        o.orderPayForKey = "K12";
        o.serviceTimes = "2";
        o.shotDate = shotDate;
    };
    QVERIFY(openReady(4, true));
    widget<QLineEdit>("lineEdit_orderPRName")->setText("305");
    widget<QLineEdit>("lineEdit_folderAppendName")->setText(append);
    const QString pic = m_roots->path("newpic/");
    const QString bak = m_roots->path("newbak/");
    const testsupport::Mounted readOnly(failMkDir == "read-only" ? pic : QString(), testsupport::Mounted::ReadOnly);
    if (failMkDir == "read-only" && !readOnly.active())
        QSKIP("no mounts here (a mount needs root and a system that allows it)");
    else if (!failMkDir.isEmpty() && failMkDir != "read-only")
        Platform::failMkDirs(failMkDir);

    QCOMPARE(m_window->createOrderDir(pic, bak), box.isEmpty());
    if (!box.isEmpty()) {
        QVERIFY2(MsgBox::lastShown().text.startsWith(box), qPrintable(MsgBox::lastShown().text));
        QVERIFY2(MsgBox::lastShown().text.endsWith(folder), qPrintable(MsgBox::lastShown().text));
        QVERIFY(m_window->currentOrderPath().isEmpty());
        if (failMkDir != "newbak" && failMkDir != "305K12" && failMkDir != "read-only")
            QVERIFY(!QFileInfo::exists(bak + "2024-05"));
        return;
    }
    QCOMPARE(m_window->currentOrderPath(), pic + folder);
    QCOMPARE(m_window->currentOrderBakPath(), bak + folder);
    const QStringList subs = QDir(pic + folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(sorted(subs), sorted({"照片", "成品", "汰片", "设计", "thumbnail", "thumbnail100", "thumbnail2250", "成品缩略图",
                                    "成品缩略图100", "成品缩略图2250", "设计缩略图", "设计缩略图100", "设计缩略图2250"}));
    QStringList hidden;
    for (const QString &sub : subs) {
        if (Platform::isHidden(pic + folder + sub))
            hidden << sub;
    }
    QCOMPARE(hidden.size(), 9);
    QVERIFY(!hidden.contains("照片") && !hidden.contains("成品") && !hidden.contains("汰片") && !hidden.contains("设计"));
    QCOMPARE(QDir(bak + folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"照片"});
}

// ---------------------------------------------------------------- the import run

void TestImportPhotoToServer::run_data()
{
    QTest::addColumn<QString>("failCopy");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    const QString counts = "导入前正式库照片：0张\n\n导入后正式库照片：3张\n\n导入前备份库照片：0张\n\n导入后备份库照片：3张    \n";
    const QString unreadable = "无法读取的照片：bad&#照片.jpg → {E}-003.jpg\n（已按原样复制，没有生成缩略图）\n\n";
    const QString taken = "\n\n导片数量已上报服务器：照片3张，备份3张";
    QTest::newRow("turned, upright and undecodable photos") << "" << "警告" << unreadable + counts + taken;
    QTest::newRow("a copy that fails is reported")
        << "thumbnail2250/{E}-002" << "警告"
        << "订单号:E5520-1 有1个文件未能导入：\nIMG_7302.jpg：缩略图保存失败 %1thumbnail2250/{E}-002.jpg（写入失败）\n\n"
               + unreadable + counts + taken;
    // "folder:" a folder of the name stands where the file goes
    QTest::newRow("the shot-time list cannot be written: the reason in words")
        << "folder:ImageTime.txt" << "警告"
        << "订单号:E5520-1 有1个文件未能导入：\nImageTime.txt：写入失败（同名的文件夹已存在）\n\n" + unreadable + counts + taken;
    // "hold": the end box stays open, as a real one does, until the test answers it
    QTest::newRow("end box left open: the counts were posted before it") << "hold" << "警告" << unreadable + counts + taken;
    // "refuse": the end report answered HTTP 500; the order is then closed and imported again
    QTest::newRow("report refused: the counts wait in the order folder for its next import")
        << "refuse" << "警告"
        << unreadable + counts
               + "\n\n导片数量没有报给服务器（网络请求错误：服务器出错（HTTP 500））：照片3张，备份3张\n"
                 "已记在订单目录中，下次导入该订单时会一并上报。";
    // "closed": the end report's connection closed once the report went out, no answer came; then as "refuse"
    const QString maybeTaken = unreadable + counts
                               + "\n\n导片数量已发给服务器，但没有收到服务器的回复，服务器可能已收下：照片3张，备份3张\n"
                                 "这些数量仍记在订单目录中，下次导入该订单时（任一导片窗口）会再次上报；"
                                 "服务器若已收下这次上报，这些照片会被重复计数。";
    QTest::newRow("report went out, connection closed: the service may have the counts, the next import sends them again")
        << "closed" << "警告" << maybeTaken;
    // "closed, finished": as "closed", and the finished photo's import carries them in a report whose
    // connection closes the same way
    QTest::newRow("report went out unanswered twice: the box of the import that carried it says the same")
        << "closed, finished" << "警告" << maybeTaken;
    // "refuse, damaged": beside the record, one with a count no import makes
    // "again": the card chosen again with one photo more (beside a copy under way that has just put back its
    // source's old time: it stays); "batch": the card then imported by the batch import
    QTest::newRow("the card again with one photo more: the new one takes the next number")
        << "again" << "警告" << unreadable + counts + taken;
    // "again, listings": as "again", the folder listings of the second run counted until its counts went out
    QTest::newRow("the card again: the run lists the order's photo folder and its backup once each")
        << "again, listings" << "警告" << unreadable + counts + taken;
    QTest::newRow("the card then through the batch import with one photo more, then here again: each stored once")
        << "batch" << "警告" << unreadable + counts + taken;
    // "batch, leftovers": as "batch", and before each later import, temporaries a kill left two hours ago in
    // the folders it writes (a folder-clock probe among them), beside one another run is writing now
    QTest::newRow("temporaries a kill left go with the next import in either window; one being written stays")
        << "batch, leftovers" << "警告" << unreadable + counts + taken;
    // "batch finished": as "batch", the batch window at a shop that also puts photos as shot into "成品/"
    QTest::newRow("the card then through the batch import at a shop that copies photos as shot into 成品/: all get there")
        << "batch finished" << "警告" << unreadable + counts + taken;
    // "batch finished, backup full": as "batch finished", this window's backups refused by a full disk
    QTest::newRow("backups refused by a full disk, the card then through the batch import into 成品/ too: all get there")
        << "batch finished, backup full" << "警告"
        << "订单号:E5520-1 有3个文件未能导入：\n"
           "IMG_7301.jpg：备份复制失败（复制失败：{B}照片/{E}-001.jpg（磁盘空间不足））\n"
           "IMG_7302.jpg：备份复制失败（复制失败：{B}照片/{E}-002.jpg（磁盘空间不足））\n"
           "bad&#照片.jpg：备份复制失败（复制失败：{B}照片/{E}-003.jpg（磁盘空间不足））\n\n"
               + unreadable + QString(counts).replace("备份库照片：3张", "备份库照片：0张")
               + "\n\n导片数量已上报服务器：照片3张，备份0张";
    QTest::newRow("report refused, a damaged record beside: it is named, the counts go all the same")
        << "refuse, damaged" << "警告"
        << unreadable + counts
               + "\n\n导片数量没有报给服务器（网络请求错误：服务器出错（HTTP 500））：照片3张，备份3张\n"
                 "已记在订单目录中，下次导入该订单时会一并上报。";
    // "refuse, finished": as "refuse", and the new window imports a finished photo instead
    QTest::newRow("report refused, then a finished photo imported: its report carries the counts as shot once")
        << "refuse, finished" << "警告"
        << unreadable + counts
               + "\n\n导片数量没有报给服务器（网络请求错误：服务器出错（HTTP 500））：照片3张，备份3张\n"
                 "已记在订单目录中，下次导入该订单时会一并上报。";
    // "claim once": the claim of the run's own record refused once, as by a scanner holding the new file
    QTest::newRow("claim of the run's record refused once: the counts go") << "claim once" << "警告" << unreadable + counts + taken;
    // "claim refused": refused always (no permission); the record waits in the order folder for the next
    // import once the cause is mended; "claim busy": as by another program holding the file
    QTest::newRow("claim of the run's record refused always: the box says the counts wait, and why")
        << "claim refused" << "警告"
        << unreadable + "订单目录中的导片记录无法取用（没有权限），这次没有上报，仍记在订单目录中，"
                        "排除原因后，下次导入该订单时会一并上报：照片3张，备份3张\n\n" + counts;
    QTest::newRow("claim of the run's record refused always, the file held: the next import carries the counts")
        << "claim busy" << "警告"
        << unreadable + "订单目录中的导片记录无法取用（文件正被其它程序使用），这次没有上报，仍记在订单目录中，"
                        "下次导入该订单时会一并上报：照片3张，备份3张\n\n" + counts;
    // "read-only": the order's folders are there, on a read-only disk (its claim cannot be written either)
    QTest::newRow("order folder on a read-only disk: the box counts the files, the claim not written beside them")
        << "read-only" << "警告"
        << "订单号:E5520-1 有4个文件未能导入：\n"
           "IMG_7301.jpg：复制失败 %1照片/{E}-001.jpg（磁盘只读或有写保护）\n"
           "IMG_7302.jpg：复制失败 %1照片/{E}-002.jpg（磁盘只读或有写保护）\n"
           "bad&#照片.jpg：复制失败 %1照片/{E}-003.jpg（磁盘只读或有写保护）\n"
           "ImageTime.txt：写入失败（磁盘只读或有写保护）\n\n"
           "导片标记无法写入，无法阻止其它电脑同时导入该订单：%1.导片进行中（磁盘只读或有写保护）\n\n"
               + QString(counts).replace("3张", "0张") + "\n\n导片数量已上报服务器：照片0张，备份0张";
    // "files held": the share stalls the end report's file work in the order folder (its records) until the
    // window's event loop has turned meanwhile
    QTest::newRow("end report's records on a stalled share: the window goes on answering meanwhile")
        << "files held" << "警告" << unreadable + counts + taken;
    // "start held": the stand-in answers the start report of each run only once its end report is due; the
    // card is then imported again, its photos all found; "start held, refused": the second start is refused,
    // and its box left open
    QTest::newRow("start report answered late, the card then again: each end report after its start")
        << "start held" << "警告" << unreadable + counts + taken;
    QTest::newRow("start report answered late, the second refused and its box left open: the end report goes")
        << "start held, refused" << "警告" << unreadable + counts + taken;
    // "start late": the stand-in answers the first start report only after its time limit (2 s for the row),
    // after the end report; then as "start held"
    QTest::newRow("start report answered past its time limit: the end box says so, the card again sets it right")
        << "start late" << "警告"
        << unreadable + counts + taken
               + "\n\n开始导片的信息已发给服务器，但没有收到服务器的回复；服务器若稍后才收下，会把该订单显示为未导入，"
                 "再次导入该订单即可改正（已在订单中的照片不会重复导入，也不会重复计数）。";
    // "close while out": the window is closed while the stand-in holds the answer to its end report, which
    // then refuses it
    QTest::newRow("closed while the report is out, then refused: the close question named the order")
        << "close while out" << "警告"
        << "以下订单的导片数量已报给服务器，还没有收到回复：\n订单号:E5520-1\n"
           "服务器没有接受时，这些数量仍记在订单目录中，下次导入该订单时会一并上报。\n确定要关闭窗口吗？";
    // "close while start out": as "close while out", the stand-in holding the answer to the start report, for
    // which the end report waits
    QTest::newRow("closed while the end report waits for the start's answer, then refused: the question says so")
        << "close while start out" << "警告"
        << "以下订单的导片数量要等服务器回复开始导片的信息后才上报，还没有发给服务器：\n订单号:E5520-1\n"
           "服务器没有接受时，这些数量仍记在订单目录中，下次导入该订单时会一并上报。\n确定要关闭窗口吗？";
}

void TestImportPhotoToServer::run()
{
    QFETCH(QString, failCopy);
    QFETCH(QString, title);
    QFETCH(QString, text);
    const standin::SampleOrder &e = m_studio->orders.at(4);
    const QString E = dayPrefix(e.shotDate) + "E5520"; // the photos' names begin so
    failCopy.replace("{E}", E);
    text.replace("{E}", E);
    const QString bad = m_roots->path("in/bad&#照片.jpg");
    QVERIFY(put(bad, "not a photo at all"));
    QVERIFY(openReady(4, true)); // no order folder yet
    const QString order = m_studio->picRoot + dayLevels(e.shotDate) + E + "-1/";
    const bool folderInTheWay = failCopy.startsWith("folder:");
    const bool hold = failCopy == "hold";
    const bool damaged = failCopy == "refuse, damaged";
    const bool closed = failCopy.startsWith("closed");
    const bool finished = failCopy == "refuse, finished" || failCopy == "closed, finished";
    const bool claimBusy = failCopy == "claim busy";
    const bool claimRefused = failCopy == "claim refused" || claimBusy;
    const bool closedWhileOut = failCopy.startsWith("close while");
    const bool startOut = failCopy == "close while start out";
    const bool filesHeld = failCopy == "files held";
    // (each leaves the counts in the order folder for the next import)
    const bool refuse = failCopy == "refuse" || damaged || finished || claimRefused || closedWhileOut || closed;
    standin::Gate answerHeld;
    const bool again = failCopy.startsWith("again");
    const bool listings = failCopy == "again, listings";
    const bool backupFull = failCopy.endsWith("backup full");
    const bool batchFinished = failCopy.startsWith("batch finished");
    const bool batch = failCopy.startsWith("batch");
    const bool leftovers = failCopy.endsWith("leftovers");
    const bool readOnly = failCopy == "read-only";
    const bool startLate = failCopy == "start late";
    const bool startHeld = failCopy.startsWith("start held") || startLate;
    const bool startRefused = failCopy == "start held, refused";
    if (again || batch || readOnly || filesHeld || startHeld)
        failCopy.clear();
    standin::Gate takenLate;
    const int timeLimit = requestTimeoutMs();
    const auto timeLimitBack = qScopeGuard([&] {
        takenLate.open();
        setRequestTimeoutMs(timeLimit);
    });
    if (startLate) {
        setRequestTimeoutMs(2000);
        m_server.queueReply("updatepicpath2", standin::Reply::ok().heldBy(takenLate));
    }
    if (folderInTheWay)
        QVERIFY(QDir().mkpath(order + failCopy.mid(7)));
    else if (claimRefused || failCopy == "claim once")
        Platform::failRenames(".claim-", claimRefused ? -1 : 1, claimBusy ? EBUSY : EPERM);
    else if (startOut) {
        m_server.queueReply("updatepicpath2", standin::Reply::ok().heldBy(answerHeld));
        m_server.queueReply("updatepicpath", standin::Reply::httpError(500));
    } else if (closedWhileOut)
        m_server.queueReply("updatepicpath", standin::Reply::httpError(500).heldBy(answerHeld));
    else if (closed)
        m_server.queueReply("updatepicpath", standin::Reply::closed());
    else if (refuse)
        m_server.queueReply("updatepicpath", standin::Reply::httpError(500));
    else if (!hold && !failCopy.isEmpty())
        Platform::failCopies(failCopy);
    auto records = [&] { return QDir(order).entryList({".tessaly-unsent-*"}, QDir::Files | QDir::Hidden); };
    m_server.clearRequests();
    QStringList log;
    bool ended = false;
    bool postedBeforeTheBox = !hold;
    bool turnedWhileHeld = false;
    const testsupport::LogCapture *logged = nullptr;
    // While the clerk leaves the end box open, the web service has the counts and took them.
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        if (MsgBox::held()) {
            postedBeforeTheBox = m_server.requestCount("updatepicpath") == 1 && records().isEmpty();
            MsgBox::answerHeld(QMessageBox::Yes);
        }
        // The clerk closes the window while it waits for the answer, and lets it go; then the answer comes.
        // (or, the start's answer held, once the end report waits for it)
        const bool endDue = startOut ? logged && !logged->lines().filter("waiting for the answer to").filter("updatepicpath2").isEmpty()
                                     : m_server.requestCount("updatepicpath") == 1;
        if (closedWhileOut && m_window->isVisible() && !m_window->isLoading() && endDue && m_window->isImporting()) {
            MsgBox::setNextAnswer(QMessageBox::Yes);
            m_window->close();
            answerHeld.open();
        }
        if (filesHeld && Platform::heldWrites() > 0) {
            turnedWhileHeld = true;
            Platform::releaseWrites();
        }
    });
    // Should the window wait for the held files on its own thread, they are let go after a while, so that the
    // row ends (and fails).
    std::atomic<bool> over{false};
    std::thread breaker;
    if (filesHeld) {
        breaker = std::thread([&over] {
            while (!over && Platform::heldWrites() == 0)
                QThread::msleep(5);
            QElapsedTimer held;
            held.start();
            while (!over && Platform::heldWrites() > 0 && held.elapsed() < 10000)
                QThread::msleep(5);
            Platform::releaseWrites();
        });
    }
    QLoggingCategory::setFilterRules(QStringLiteral("tessaly.singleimport.debug=true\ntessaly.web.debug=true"));
    const QString backup = m_studio->bakRoot + dayLevels(e.shotDate) + E + "-1/";
    const QStringList firstCard{m_studio->incomingRoot + "IMG_7301.jpg", m_studio->incomingRoot + "IMG_7302.jpg", bad};
    QString startHeldProblem;
    text.replace("{B}", backup);
    {
        const testsupport::Mounted backupDisk(backupFull ? backup + "照片" : QString(), testsupport::Mounted::Full);
        QVERIFY(!backupFull || backupDisk.active());
        for (const char *folder : {"照片", "成品", "汰片", "设计"})
            QVERIFY(!readOnly || QDir().mkpath(order + folder));
        QVERIFY(!readOnly || QDir().mkpath(backup + "照片"));
        const testsupport::Mounted orderDisk(readOnly ? order : QString(), testsupport::Mounted::ReadOnly);
        QVERIFY(!readOnly || orderDisk.active());
        testsupport::LogCapture capture;
        logged = &capture;
        if (hold) {
            MsgBox::holdNext();
            watch.start(5);
        }
        if (closedWhileOut)
            watch.start(5);
        if (filesHeld) {
            Platform::holdWrites(UnsentReport::namePrefix());
            watch.start(5);
        }
        if (startHeld && !startLate)
            startHeldProblem = importWithStartHeld(firstCard, capture);
        else
            chooseAndImport(firstCard);
        ended = runEnded(1);
        watch.stop();
        over = true;
        if (breaker.joinable())
            breaker.join();
        log = capture.lines();
        logged = nullptr;
    }
    // (the service takes the late start now, after the end report)
    takenLate.open();
    setRequestTimeoutMs(timeLimit);
    QLoggingCategory::setFilterRules(QString());
    QVERIFY(postedBeforeTheBox);
    QVERIFY2(startHeldProblem.isEmpty(), qPrintable(startHeldProblem));
    QVERIFY(ended);
    QVERIFY(!startHeld || startBeforeEnd());
    QVERIFY(!filesHeld || turnedWhileHeld);
    // the requests of the run are logged, their token masked
    QVERIFY(!log.filter("orderpicpath=").isEmpty());
    QCOMPARE(log.filter(g_apiToken), QStringList());

    QCOMPARE(testsupport::lastBox(), title + "|" + text.arg(order));
    if (readOnly)
        return;
    if (!folderInTheWay)
        QCOMPARE(bytesOf(order + "ImageTime.txt"),
                 (E + "-001>" + m_studio->incomingShotTime(0).mid(2) + "|" + E + "-002>"
                  + m_studio->incomingShotTime(1).mid(2) + "|").toUtf8());
    QCOMPARE(QImage(order + "照片/" + E + "-002.jpg").size(), QSize(800, 1200)); // orientation 6, turned
    // readable by the other desks as the chosen photo is, though encoded through a private temporary file
    QCOMPARE(QFile::permissions(order + "照片/" + E + "-002.jpg"),
             QFile::permissions(m_studio->incomingRoot + "IMG_7302.jpg"));
    QCOMPARE(bytesOf(order + "照片/" + E + "-003.jpg"), QByteArray("not a photo at all"));
    QVERIFY(!QFile::exists(order + "thumbnail/" + E + "-003.jpg"));
    if (backupFull)
        QVERIFY(!QFileInfo::exists(backup + "照片/" + E + "-002.jpg"));
    else
        QCOMPARE(bytesOf(backup + "照片/" + E + "-002.jpg"), bytesOf(m_studio->incomingRoot + "IMG_7302.jpg"));

    const standin::Request start = m_server.lastRequest("updatepicpath2");
    QCOMPARE(start.fieldNames(), QStringList({"token", "orderid", "shopid", "orderpicpath", "orderbakpicpath"}));
    QCOMPARE(start.field("orderpicpath"), order);
    const standin::Request end = m_server.lastRequest("updatepicpath");
    QCOMPARE(end.fieldNames(), QStringList({"token", "order_photo_id", "shopid", "orderpicpath", "orderbakpicpath",
                                            "picnumber", "picbaknumber", "MANAGER_ID", "typeid"}));
    QCOMPARE(QStringList({end.field("orderpicpath"), end.field("orderbakpicpath"), end.field("picnumber"),
                          end.field("picbaknumber"), end.field("MANAGER_ID"), end.field("typeid")}),
             QStringList({order, backup, claimRefused ? "0" : "3", claimRefused || backupFull ? "0" : "3", "77", "1"}));
    if (refuse) {
        // The counts wait in the order folder; the window asks before it lets them go.
        QCOMPARE(records().size(), 1);
        QCOMPARE(m_window->isVisible(), !closedWhileOut);
        if (closedWhileOut)
            m_window->show(); // the window, hidden, is shown again
        MsgBox::setNextAnswer(QMessageBox::No);
        m_window->close();
        QCOMPARE(testsupport::lastBox(), QStringLiteral("警告|以下订单的导片信息尚未上报服务器：\n订单号:E5520-1\n"
                                                        "记在订单目录中的导片数量会在下次导入该订单时一并上报。\n确定要关闭窗口吗？"));
        QVERIFY(m_window->isVisible());
        Platform::clearFaults();
        if (startOut)
            return; // (the stand-in answered the start without taking its folder)
        // A new window imports the same photos and one more: its report carries the owed counts once.
        delete m_window.data();
        const QString damagedRecord = order + ".tessaly-unsent-0-bad";
        if (damaged)
            QVERIFY(put(damagedRecord, R"({"typeid":0,"picnumber":1000000000,"picbacknumber":1000000000})"));
        if (finished) {
            // Days later a finished photo of the order comes in: a report of its own type, and one of the
            // photos as shot with their number and fields; then neither again. A video's count waits for the
            // batch import, and the question before closing says so.
            QVERIFY(openReady(4));
            MsgBox::clearShown();
            if (closed) {
                m_server.setHandler("updatepicpath", [](const standin::Request &r) {
                    // the photos as shot's report
                    return r.field("typeid") == "1" ? standin::Reply::closed() : standin::Reply::ok();
                });
            }
            chooseAndImport({m_studio->incomingRoot + "IMG_7304.jpg"});
            QVERIFY(runEnded(3));
            QStringList sent;
            for (const standin::Request &r : m_server.requests("updatepicpath").mid(1)) {
                QCOMPARE(r.fieldNames(), end.fieldNames());
                sent << r.field("typeid") + ":" + r.field("picnumber") + "/" + r.field("picbaknumber") + " "
                            + r.field("orderpicpath") + " " + r.field("orderbakpicpath");
            }
            sent.sort(); // (the two requests go side by side)
            QCOMPARE(sent, QStringList({"1:3/3 " + order + " " + backup, "2:1/0 " + order + " " + backup}));
            if (closed) {
                QVERIFY2(testsupport::lastBox().startsWith("警告|"), qPrintable(testsupport::lastBox()));
                QVERIFY2(testsupport::lastBox().endsWith(
                             "导片数量已上报服务器：1张\n\n该订单之前未上报的照片数量已发给服务器，但没有收到服务器的回复，"
                             "服务器可能已收下：照片3张，备份3张\n下次导入该订单时会再次上报；服务器若已收下这次上报，"
                             "这些照片会被重复计数。"),
                         qPrintable(testsupport::lastBox()));
                // As the box says, the next import sends those counts again.
                QCOMPARE(records().size(), 1);
                m_server.setReply("updatepicpath", standin::Reply::ok());
                m_server.clearRequests();
                chooseAndImport({m_studio->incomingRoot + "IMG_7301.jpg"});
                QVERIFY(runEnded(2)); // its own report and the one it carries
                QStringList again;
                for (const standin::Request &r : m_server.requests("updatepicpath"))
                    again << r.field("typeid") + ":" + r.field("picnumber") + "/" + r.field("picbaknumber");
                QVERIFY2(again.contains("1:3/3"), qPrintable(again.join(',')));
                QCOMPARE(records(), QStringList());
                return;
            }
            QVERIFY2(testsupport::lastBox().startsWith("导片成功!|"), qPrintable(testsupport::lastBox()));
            QVERIFY(testsupport::lastBox().endsWith("导片数量已上报服务器：1张\n\n该订单之前未上报的照片数量已一并上报服务器："
                                                    "照片3张，备份3张"));
            QCOMPARE(records(), QStringList());
            QVERIFY(put(order + ".tessaly-unsent-3-v", R"({"typeid":3,"picnumber":1,"picbacknumber":0})"));
            chooseAndImport({m_studio->incomingRoot + "IMG_7301.jpg"});
            QVERIFY(runEnded(4));
            QCOMPARE(m_server.lastRequest("updatepicpath").field("typeid"), QStringLiteral("2"));
            MsgBox::setNextAnswer(QMessageBox::No);
            m_window->close();
            QCOMPARE(testsupport::lastBox(), QStringLiteral("警告|以下订单的导片信息尚未上报服务器：\n订单号:E5520-1\n"
                                                            "记在订单目录中的视频数量只在用“批量导片”再次导入该订单的同类视频时上报。\n"
                                                            "确定要关闭窗口吗？"));
            return;
        }
        QVERIFY(openReady(4, true));
        QCOMPARE(m_window->currentOrderPath(), order);
        MsgBox::clearShown();
        const QStringList again{m_studio->incomingRoot + "IMG_7301.jpg", m_studio->incomingRoot + "IMG_7302.jpg",
                                m_studio->incomingRoot + "IMG_7304.jpg"};
        chooseAndImport(again);
        QVERIFY(runEnded(2));
        const standin::Request redo = m_server.lastRequest("updatepicpath");
        QCOMPARE(QStringList({redo.field("picnumber"), redo.field("picbaknumber")}), QStringList({"4", "4"}));
        // (the damaged record named first, as a thing not done)
        QVERIFY2(testsupport::lastBox().startsWith(
                     (damaged ? "警告|" + UnsentReport::damagedText() + damagedRecord + "\n\n" : QStringLiteral("导片成功!|"))
                     + "已在订单中的照片：2张（未重复导入）\n\n"),
                 qPrintable(testsupport::lastBox()));
        QVERIFY(testsupport::lastBox().endsWith("导片数量已上报服务器：照片4张，备份4张"));
        QCOMPARE(records(), damaged ? QStringList{QFileInfo(damagedRecord).fileName()} : QStringList());
        QFile::remove(damagedRecord);
        // A third import carries nothing again, and the window closes without a question.
        chooseAndImport(again);
        QVERIFY(runEnded(3));
        const standin::Request third = m_server.lastRequest("updatepicpath");
        QCOMPARE(QStringList({third.field("picnumber"), third.field("picbaknumber")}), QStringList({"0", "0"}));
        MsgBox::clearShown();
        m_window->close();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(MsgBox::shown().size(), 0);
        return;
    }
    // The lookup after the report lists the run's photos that have reduced copies.
    QVERIFY(testsupport::waitFor([&] { return m_window->thumbListWidget()->count() == 2; }));
    QCOMPARE(widget<QLabel>("label_4")->text(), QStringLiteral("订单已导入照片（3张)"));
    const QStringList inOrder{E + "-001.jpg", E + "-002.jpg", E + "-003.jpg"};
    if (startHeld) {
        // The card again: its photos are all in the order and the run ends at once; its end report still
        // waits for the answer to its start. A refusal of the start shows its box, which the clerk leaves
        // open: the end report goes meanwhile (its answer held until the box is answered).
        m_server.clearRequests();
        MsgBox::clearShown();
        standin::Gate endAnswered;
        bool endWhileBoxOpen = false;
        QElapsedTimer boxOpen;
        QTimer boxWatch;
        connect(&boxWatch, &QTimer::timeout, [&] {
            if (!MsgBox::held())
                return;
            if (!boxOpen.isValid())
                boxOpen.start();
            // (should the end report never come, the box is answered after a long while and the row fails)
            if (m_server.requestCount("updatepicpath") == 0 && !boxOpen.hasExpired(testsupport::kWaitMs / 2))
                return;
            endWhileBoxOpen = m_server.requestCount("updatepicpath") > 0;
            MsgBox::answerHeld(QMessageBox::Yes);
            endAnswered.open();
        });
        if (startRefused) {
            m_server.queueReply("updatepicpath", standin::Reply::ok().heldBy(endAnswered));
            MsgBox::holdNext();
            boxWatch.start(5);
        }
        QString problem;
        QLoggingCategory::setFilterRules(QStringLiteral("tessaly.web.debug=true"));
        {
            testsupport::LogCapture capture("tessaly.web");
            problem = importWithStartHeld(firstCard, capture,
                                          startRefused ? standin::Reply::refused("订单不存在", "7") : standin::Reply::ok());
        }
        QLoggingCategory::setFilterRules(QString());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(runEnded(1));
        boxWatch.stop();
        QVERIFY(startBeforeEnd());
        if (startRefused) {
            QVERIFY(endWhileBoxOpen);
            QCOMPARE(MsgBox::shown().first().text, QStringLiteral("上传路径错误代码：7"));
        }
        QVERIFY2(testsupport::lastBox().contains("\n\n已在订单中的照片：3张（未重复导入）\n\n"), qPrintable(testsupport::lastBox()));
        QCOMPARE(m_server.lastRequest("updatepicpath").field("picnumber"), QStringLiteral("0"));
        return;
    }
    if (again) {
        // Chosen anew, numbered after the order's photos: the three found there keep their names, the new
        // photo takes the first number planned. Another run's copy has just given its temporary the time of
        // a photo shot two years ago: it was changed just now, and stays.
        const QString underWay = order + "照片/.copying-timeputback";
        QVERIFY(put(underWay, "half a photo"));
        {
            QFile file(underWay);
            QVERIFY(file.open(QIODevice::ReadWrite)
                    && file.setFileTime(QDateTime::currentDateTime().addYears(-2), QFileDevice::FileModificationTime));
        }
        MsgBox::clearShown();
        const QStringList card{m_studio->incomingRoot + "IMG_7301.jpg", m_studio->incomingRoot + "IMG_7302.jpg", bad,
                               m_studio->incomingRoot + "IMG_7304.jpg"};
        if (listings) {
            // (the lookup the answer starts lists the folder for the icons: it is not the run's)
            standin::Gate answer;
            m_server.queueReply("updatepicpath", standin::Reply::ok().heldBy(answer));
            FileDialogs::queueAnswer(card);
            widget<QPushButton>("selectButton")->click();
            m_window->pool()->setMaxThreadCount(1);
            const int before = Platform::folderListings();
            widget<QPushButton>("importButton")->click();
            QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("updatepicpath") == 2; }));
            const int listed = Platform::folderListings() - before;
            answer.open();
            QCOMPARE(listed, 2);
        } else {
            chooseAndImport(card);
        }
        QVERIFY(runEnded(2));
        QCOMPARE(bytesOf(underWay), QByteArray("half a photo"));
        QCOMPARE(m_window->chosenPhotoNames(), inOrder + QStringList{E + "-004.jpg"});
        QCOMPARE(QDir(order + "照片").entryList({"*.jpg"}), inOrder + QStringList{E + "-004.jpg"});
        QCOMPARE(QDir(backup + "照片").entryList(QDir::Files), inOrder + QStringList{E + "-004.jpg"});
        QVERIFY(bytesOf(order + "ImageTime.txt").endsWith((E + "-004>" + m_studio->incomingShotTime(3).mid(2) + "|").toUtf8()));
        QVERIFY2(testsupport::lastBox().contains("\n\n已在订单中的照片：3张（未重复导入）\n\n"), qPrintable(testsupport::lastBox()));
        QVERIFY2(!testsupport::lastBox().contains("编号已被占用"), qPrintable(testsupport::lastBox()));
        QCOMPARE(m_server.lastRequest("updatepicpath").field("picnumber"), QStringLiteral("1"));
    }
    if (batch) {
        // The clerk lists the order in the batch import (the service gives the folders this window made) and
        // imports the card's photos as shot and one more: the two are in the order already, under this
        // window's names, the new one keeps its own.
        // Temporaries a kill left: cut copies and writes of two hours ago on the folders' clock, in the
        // folders the imports write, and one that another run writes now (touched at the folders' present).
        const QByteArray cut = bytesOf(m_studio->incomingRoot + "IMG_7301.jpg").left(5000);
        QStringList dead;
        QStringList live;
        auto leaveTemporaries = [&](const QString &tag) {
            Platform::skewFolderClocks(2 * 3600 * 1000);
            dead = QStringList{order + "照片/.copying-" + tag + "a", order + "thumbnail/.writing-" + tag + "b",
                               order + "thumbnail2250/.writing-" + tag + "c", backup + "照片/.copying-" + tag + "d",
                               order + ".writing-" + tag + "e", order + ".tessaly-clock-" + tag + "f"};
            live = QStringList{order + "照片/.copying-" + tag + "live", order + "thumbnail/.writing-" + tag + "live"};
            for (const QString &path : dead + live)
                if (!put(path, cut))
                    return false;
            const QDateTime present = QDateTime::currentDateTime().addSecs(2 * 3600);
            for (const QString &path : live) {
                QFile file(path);
                if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(present, QFileDevice::FileModificationTime))
                    return false;
            }
            return true;
        };
        auto leftAsItShould = [&] {
            for (const QString &path : dead)
                if (QFileInfo::exists(path))
                    return false;
            for (const QString &path : live)
                if (bytesOf(path) != cut)
                    return false;
            return true;
        };
        if (leftovers)
            QVERIFY(leaveTemporaries("x"));
        QJsonObject json = m_studio->orderJson(e);
        json["orderpath"] = order;
        json["orderbakpicpath"] = backup;
        ShopSettings shop = ShopSettings::current();
        if (batchFinished)
            shop.yptbcp = "1";
        const std::unique_ptr<importOrdersPhotoDlg> dialog(new importOrdersPhotoDlg(nullptr, shop));
        const QPointer<ImportOrderModel> record(new ImportOrderModel(json)); // the dialog takes it
        dialog->show();
        QVERIFY(QMetaObject::invokeMethod(dialog.get(), "getNewOrderSlot",
                                          Q_ARG(QList<ImportOrderModel *>, {record.data()})));
        dialog->findChild<QRadioButton *>("importTypeRadio0")->click();
        record->setOriginFiles({m_studio->incomingRoot + "IMG_7301.jpg", m_studio->incomingRoot + "IMG_7302.jpg",
                                m_studio->incomingRoot + "IMG_7304.jpg"});
        m_server.clearRequests();
        MsgBox::clearShown();
        QPushButton *start = dialog->findChild<QPushButton *>("importAllBtn");
        start->click();
        QVERIFY(testsupport::waitFor([&] { return !dialog->isImporting() && start->isEnabled() && !MsgBox::shown().isEmpty(); }));
        QCOMPARE(testsupport::lastBox(), QStringLiteral("导入完成|1个订单已经全部导完\n订单号:E5520-1 已在订单中的照片：2张（未重复导入）"));
        // Each photo once in the order, its backup and its reduced copies; only the new one counted (and the
        // backups the batch import made).
        const QStringList all = inOrder + QStringList{"IMG_7304.jpg"};
        QCOMPARE(QDir(order + "照片").entryList(QDir::Files), all);
        QCOMPARE(QDir(backup + "照片").entryList(QDir::Files),
                 backupFull ? QStringList({inOrder.at(0), inOrder.at(1), "IMG_7304.jpg"}) : all);
        for (const char *folder : {"thumbnail", "thumbnail100", "thumbnail2250"})
            QCOMPARE(QDir(order + folder).entryList(QDir::Files), QStringList({inOrder.at(0), inOrder.at(1), "IMG_7304.jpg"}));
        QStringList counts;
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            if (r.field("importype") == "1")
                counts << r.field("picnumber") + "/" + r.field("picbacknumber");
        QCOMPARE(counts, QStringList{backupFull ? "1/3" : "1/1"});
        QCOMPARE(dialog->findChild<QTableWidget *>("ordersTable")->item(0, 3)->text(), QStringLiteral("已导入(4)"));
        QVERIFY(!leftovers || leftAsItShould());
        if (leftovers)
            QVERIFY(leaveTemporaries("y"));
        if (batchFinished) {
            // the photos this window imported got their copies there too, as the one the batch placed
            QCOMPARE(QDir(order + "成品").entryList(QDir::Files), QStringList({inOrder.at(0), inOrder.at(1), "IMG_7304.jpg"}));
            QCOMPARE(bytesOf(order + "成品/" + inOrder.at(1)), bytesOf(order + "照片/" + inOrder.at(1)));
        }

        // The whole card here once more: every photo is found, the one the batch import placed under its name.
        m_server.clearRequests();
        chooseAndImport({m_studio->incomingRoot + "IMG_7301.jpg", m_studio->incomingRoot + "IMG_7302.jpg", bad,
                         m_studio->incomingRoot + "IMG_7304.jpg"});
        QVERIFY(runEnded(1));
        QCOMPARE(m_window->chosenPhotoNames(), inOrder + QStringList{"IMG_7304.jpg"});
        QCOMPARE(QDir(order + "照片").entryList(QDir::Files), all);
        QCOMPARE(QDir(backup + "照片").entryList(QDir::Files), all);
        QVERIFY2(testsupport::lastBox().contains("\n\n已在订单中的照片：4张（未重复导入）\n\n"), qPrintable(testsupport::lastBox()));
        QCOMPARE(m_server.lastRequest("updatepicpath").field("picnumber"), QStringLiteral("0"));
        QVERIFY(!leftovers || leftAsItShould());
    }
}

void TestImportPhotoToServer::reimportNumbersAfterTheFolder()
{
    QVERIFY(openReady(4, true));
    chooseAndImport({m_studio->incomingRoot + "IMG_7301.jpg", m_studio->incomingRoot + "IMG_7302.jpg"});
    QVERIFY(runEnded(1));
    const QString day = m_studio->orders.at(4).shotDate;
    const QString E = dayPrefix(day) + "E5520";
    const QString order = m_studio->picRoot + dayLevels(day) + E + "-1/";
    const QByteArray first = bytesOf(order + "照片/" + E + "-001.jpg");
    const QByteArray listed = (E + "-001>" + m_studio->incomingShotTime(0).mid(2) + "|" + E + "-002>"
                               + m_studio->incomingShotTime(1).mid(2) + "|").toUtf8();
    // "导入" again: the same photos under the same names, nothing written twice; the header counts the
    // folder (the refused report leaves it as the run set it).
    m_server.queueReply("updatepicpath", standin::Reply::refused("no", "0"));
    widget<QPushButton>("importButton")->click();
    QVERIFY(runEnded(2));
    QCOMPARE(QDir(order + "照片").entryList({"*.jpg"}), (QStringList{E + "-001.jpg", E + "-002.jpg"}));
    QCOMPARE(QDir(m_studio->bakRoot + dayLevels(day) + E + "-1/照片").entryList(QDir::Files),
             (QStringList{E + "-001.jpg", E + "-002.jpg"}));
    QCOMPARE(bytesOf(order + "ImageTime.txt"), listed);
    QCOMPARE(widget<QLabel>("label_4")->text(), QStringLiteral("订单已导入照片（2张)"));
    QCOMPARE(m_server.lastRequest("updatepicpath").field("picnumber"), QStringLiteral("0"));

    MsgBox::setNextAnswer(QMessageBox::Yes);
    widget<QPushButton>("reimportButton")->click();
    QVERIFY(runEnded(3));
    QVERIFY(!QFileInfo::exists(order + "ImageTime.txt"));
    const standin::Request reset = m_server.lastRequest("updatepicpath");
    QCOMPARE(QStringList({reset.field("orderpicpath"), reset.field("picnumber"), reset.field("picbaknumber")}),
             QStringList({"", "0", "0"}));
    QVERIFY(testsupport::waitFor([&] { return m_window->currentOrderPath().isEmpty() && ready(); }));

    // Chosen while the order has no folder: numbered from 1, then after the photos the folder holds.
    FileDialogs::queueAnswer(QStringList{m_studio->incomingRoot + "IMG_7304.jpg"});
    widget<QPushButton>("selectButton")->click();
    QCOMPARE(m_window->chosenPhotoNames(), QStringList{E + "-001.jpg"});
    widget<QPushButton>("importButton")->click();
    QVERIFY(runEnded(4));
    QCOMPARE(m_window->chosenPhotoNames(), QStringList{E + "-003.jpg"});
    QCOMPARE(bytesOf(order + "照片/" + E + "-001.jpg"), first);
    QVERIFY(QFileInfo::exists(order + "照片/" + E + "-003.jpg"));
    QCOMPARE(bytesOf(order + "ImageTime.txt"), (E + "-003>" + m_studio->incomingShotTime(3).mid(2) + "|").toUtf8());

    // Another desk's photo took E-003 meanwhile: "导入" again keeps it, this photo moves on to the next
    // free number, and the box names it.
    const QByteArray other = bytesOf(m_studio->incomingRoot + "IMG_7301.jpg");
    QVERIFY(put(order + "照片/" + E + "-003.jpg", other));
    QVERIFY(put(m_studio->bakRoot + dayLevels(day) + E + "-1/照片/" + E + "-003.jpg", other));
    widget<QPushButton>("importButton")->click();
    QVERIFY(runEnded(5));
    QCOMPARE(m_window->chosenPhotoNames(), QStringList{E + "-004.jpg"}); // the name it got
    QCOMPARE(bytesOf(order + "照片/" + E + "-003.jpg"), other);
    QVERIFY(QFileInfo::exists(order + "照片/" + E + "-004.jpg"));
    QVERIFY(bytesOf(order + "ImageTime.txt").endsWith((E + "-004>" + m_studio->incomingShotTime(3).mid(2) + "|").toUtf8()));
    QCOMPARE(testsupport::lastBox().section("\n\n", 0, 0),
             QStringLiteral("导片成功!|以下照片的编号已被占用，已改用其他编号：\n%1-003.jpg → %1-004.jpg").arg(E));
    QCOMPARE(m_server.lastRequest("updatepicpath").field("picnumber"), QStringLiteral("1"));

    // Another desk's photo came in after this one's: "导入" again writes nothing twice.
    const QStringList before = QDir(order + "照片").entryList({"*.jpg"});
    QVERIFY(put(order + "照片/" + E + "-005.jpg", other));
    widget<QPushButton>("importButton")->click();
    QVERIFY(runEnded(6));
    QCOMPARE(QDir(order + "照片").entryList({"*.jpg"}), before + QStringList{E + "-005.jpg"});
    QCOMPARE(m_server.lastRequest("updatepicpath").field("picnumber"), QStringLiteral("0"));
    // Its box names no renumbering: none was done by this run.
    QCOMPARE(testsupport::lastBox().section("\n\n", 0, 0), QStringLiteral("导片成功!|已在订单中的照片：1张（未重复导入）"));
    QCOMPARE(m_window->chosenPhotoNames(), QStringList{E + "-004.jpg"});

    // Deleted from the order since (its backup stays): the photo goes back under the name it had.
    for (const char *folder : {"照片/", "thumbnail/", "thumbnail100/", "thumbnail2250/"})
        QVERIFY(QFile::remove(order + folder + E + "-004.jpg"));
    widget<QPushButton>("importButton")->click();
    QVERIFY(runEnded(7));
    QVERIFY(QFileInfo::exists(order + "照片/" + E + "-004.jpg"));
    QVERIFY(QFileInfo::exists(order + "thumbnail/" + E + "-004.jpg"));
    QCOMPARE(QStringList({m_server.lastRequest("updatepicpath").field("picnumber"),
                          m_server.lastRequest("updatepicpath").field("picbaknumber")}),
             QStringList({"1", "0"}));
}

void TestImportPhotoToServer::choiceCancelledWhileRootsAsked()
{
    QVERIFY(openReady(4, true)); // no order folder: "导入" asks for the storage roots first
    FileDialogs::queueAnswer(QStringList{m_studio->incomingRoot + "IMG_7301.jpg"});
    widget<QPushButton>("selectButton")->click();
    m_server.queueReply("get_order_pic_path", standin::Reply::ok({{"picpath", m_studio->picRoot},
                                                                   {"bakpicpath", m_studio->bakRoot}})
                                                  .withDelay(300));
    widget<QPushButton>("importButton")->click();
    FileDialogs::queueAnswer(QStringList{}); // chosen again, and cancelled, before the roots are in
    widget<QPushButton>("selectButton")->click();
    QVERIFY(testsupport::waitFor([&] {
        return m_server.requestCount("get_order_pic_path") == 1 && m_window->findChildren<QNetworkReply *>().isEmpty()
               && ready();
    }));
    QVERIFY(!m_window->isImporting());
    QCOMPARE(widget<QPushButton>("importButton")->text(), QStringLiteral("导入"));
    QCOMPARE(m_server.requestCount("updatepicpath2"), 0);
    QVERIFY(m_window->currentOrderPath().isEmpty()); // no folders made for nothing
}

void TestImportPhotoToServer::closingMidRun_data()
{
    // 0 close, answer No; 1 close, answer Yes; 2 delete the window; 3 "重新读卡"; 4 close one deleted on close;
    // 5 close, and a window for another order imports at once
    QTest::addColumn<int>("how");
    QTest::newRow("close refused: the run goes on") << 0;
    QTest::newRow("close: the photos under way end the run") << 1;
    QTest::newRow("close of a window deleted on close: it goes after the run") << 4;
    QTest::newRow("deleted mid-run") << 2;
    QTest::newRow("re-read refused: the run goes on") << 3;
    QTest::newRow("closed, another order's window opened: each reports its own order") << 5;
    // 6 close, answer Yes, then the same photos from a new window on the order; 7 close refused, then the
    // same photos chosen again in the window; 8 the close question still open when the run ends; 9 opened
    // from the order picker, closed, and another order's window opened from the picker meanwhile
    QTest::newRow("closed, redone from a new window: nothing written twice") << 6;
    QTest::newRow("the same card chosen again: nothing written twice") << 7;
    QTest::newRow("close question open at the run's end: closed unanswered") << 8;
    QTest::newRow("closed window's run ends: no picker over the next window") << 9;
    // 10 as 6, but the first run's reduced copies and shot-time entries are gone before the redo (as when
    // the program ended before it wrote them)
    QTest::newRow("closed, reduced copies and list not written, redone: they are made") << 10;
    // 11 as 6, but the backup lacks the first run's photos (out of reach then)
    QTest::newRow("closed, backup missing, redone: nothing written twice, backup made, no number left unused") << 11;
    // 12 as 7, with a copy of a photo on the card chosen beside it
    QTest::newRow("a photo and its copy chosen: one photo in the order") << 12;
    // 13 as 9, but the clerk then closes the picker and the program is ended (the desk logs off)
    QTest::newRow("closed, the program ends before its run: the counts wait in the order folder") << 13;
    // 14 as 9, with the photos held by a stalled share, and the clerk then closes the picker, the last window
    QTest::newRow("closed, the last window closed: a notice until the run has ended, then the program ends") << 14;
    // 15 as 9, but closed once the photos are in, while the stand-in holds the answer to the end report
    // (then refused), and the clerk then closes the picker, the last window
    QTest::newRow("closed while the report is out, the last window closed: a notice until the answer") << 15;
    // 16 the program cut off (a power cut) while the share holds the first photo's backup, its main file in:
    // what it left in the order's folders is put back after its window went, and a new window imports the
    // same photos once the run's claim is old; 17 as 16, and the batch import imports them at once, the
    // program that made the claim having ended on this desk
    QTest::newRow("cut off, redone in a new window later: each photo reported once") << 16;
    QTest::newRow("cut off, redone at once through the batch import: each photo reported once") << 17;
    // 18 the share holds the order's photo writes; the window is closed with its photo under way and the
    // card, chosen the other way round, imported at once in a new window; 19 the batch import of the card
    // held so, and the card imported at once here
    QTest::newRow("closed with its photo held, the card again at once in a new window: each photo once, counted once") << 18;
    QTest::newRow("the batch import and this window on one card at once: each photo once, counted once") << 19;
    // 20 as 17, but cut off once every photo is in, its end report out (the service never got it); 21 as 20,
    // the report out being another desk's
    QTest::newRow("cut off while its report is out, the batch import at once carries the counts") << 20;
    QTest::newRow("another desk's report out, the batch import at once names the counts it carries and when") << 21;
    // 22 as 17, the run's record claimed by a run of another desk (not the program whose claim on the order
    // the batch import takes over)
    QTest::newRow("another desk's run record, the batch import at once names the counts that wait and when") << 22;
}

void TestImportPhotoToServer::cutOffAfterEachFileThenImportedAgain_data()
{
    QTest::addColumn<bool>("batch"); // the batch import at a shop that also puts photos as shot into "成品/"
    QTest::addColumn<bool>("finished"); // finished photos, else photos as shot
    QTest::newRow("this window") << false << false;
    QTest::newRow("the batch import, photos as shot also into 成品/") << true << false;
    QTest::newRow("the batch import, finished photos") << true << true;
}

// A card of four photos, two of them turned, imported by a program of its own that is cut off (as by a power
// cut) right after its n-th file takes its name in the studio's folders, for every n until it runs to its
// end; after each, the card imported again in the same kind of window: each photo once in every folder, and
// the web service told of as many as one import that was not cut off tells it of.
void TestImportPhotoToServer::cutOffAfterEachFileThenImportedAgain()
{
    QFETCH(bool, batch);
    QFETCH(bool, finished);
    const QString given = qEnvironmentVariable("TESSALY_IMPORT_CUT_IN");
    const QString base = given.isEmpty() ? m_roots->base() : given;
    QStringList card;
    for (int i = 0; i < 4; ++i)
        card << base + QStringLiteral("card/c%1.jpg").arg(i);
    // Imports the card into A1203 and adds the counts its end reports posted to posted.
    auto importCard = [&](QPair<int, int> *posted) {
        m_server.clearRequests();
        MsgBox::clearShown();
        if (batch) {
            ShopSettings shop = ShopSettings::current();
            shop.yptbcp = "1";
            const std::unique_ptr<importOrdersPhotoDlg> dialog(new importOrdersPhotoDlg(nullptr, shop));
            const QPointer<ImportOrderModel> record(new ImportOrderModel(m_studio->orderJson(m_studio->orders.at(0))));
            dialog->show();
            if (!QMetaObject::invokeMethod(dialog.get(), "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, {record.data()})))
                return false;
            dialog->findChild<QRadioButton *>(finished ? "importTypeRadio1" : "importTypeRadio0")->click();
            if (finished)
                record->setFinishedFiles(card);
            else
                record->setOriginFiles(card);
            QPushButton *start = dialog->findChild<QPushButton *>("importAllBtn");
            start->click();
            if (!testsupport::waitFor([&] { return !dialog->isImporting() && start->isEnabled() && !MsgBox::shown().isEmpty(); }))
                return false;
        } else {
            delete m_window.data();
            if (!openReady(0, true))
                return false;
            chooseAndImport(card);
            if (!runEnded(1))
                return false;
        }
        for (const standin::Request &r : m_server.requests("updatepicpath")) {
            if (batch && r.field("importype") != "1")
                continue;
            posted->first += r.field("picnumber").toInt();
            posted->second += r.field(batch ? "picbacknumber" : "picbaknumber").toInt();
        }
        return true;
    };
    if (!given.isEmpty()) { // the program cut off, on the studio of the test that started it
        m_studio.reset(new standin::SampleStudio(given + "studio"));
        clearServer();
        serveStudio();
        Platform::stopAfterPlacing(m_studio->folder, qEnvironmentVariableIntValue("TESSALY_IMPORT_CUT_AFTER"));
        QPair<int, int> posted;
        QVERIFY(importCard(&posted));
        QCOMPARE(posted, qMakePair(4, finished ? 0 : 4));
        return;
    }
    for (int i = 0; i < 4; ++i)
        QVERIFY(put(card.at(i), testsupport::jpegWithOrientation(QSize(600, 400), i % 2 ? 6 : 1, false,
                                                                 QColor(30 * i, 90, 160),
                                                                 QStringLiteral("2023:05:12 11:00:0%1").arg(i))));
    const QString order = m_studio->orders.at(0).orderPath;
    const QString backup = m_studio->orders.at(0).orderBakPath;
    const QMap<QString, QByteArray> orderBefore = testsupport::filesBelow(order);
    const QMap<QString, QByteArray> backupBefore = testsupport::filesBelow(backup);
    const QString main = order + (finished ? "成品/" : "照片/");
    const QStringList mainBefore = QDir(main).entryList(QDir::Files);
    for (int n = 1;; ++n) {
        QVERIFY(testsupport::putBack(order, orderBefore) && testsupport::putBack(backup, backupBefore));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TESSALY_IMPORT_CUT_IN", m_roots->base());
        env.insert("TESSALY_IMPORT_CUT_AFTER", QString::number(n));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QCoreApplication::applicationFilePath(),
                      {QString("cutOffAfterEachFileThenImportedAgain:") + QTest::currentDataTag()});
        QVERIFY(program.waitForFinished(testsupport::kWaitMs));
        const QByteArray said = program.readAll();
        if (program.exitStatus() == QProcess::NormalExit) {
            // It ran to its end: it was cut off after each of its files before.
            QVERIFY2(program.exitCode() == 0, said.right(2000).constData());
            QVERIFY(n > (finished ? 16 : 20)); // at least every photo's main file and reduced copies
            break;
        }
        QPair<int, int> posted;
        QVERIFY(importCard(&posted));
        const QString round = QStringLiteral("cut off after file %1: ").arg(n);
        QVERIFY2(posted == qMakePair(4, finished ? 0 : 4),
                 qPrintable(round + QStringLiteral("posted %1/%2").arg(posted.first).arg(posted.second)));
        // Each photo once in the order's main folder, with its reduced copies (and its copy in "成品/"), and
        // once in the backup.
        QStringList added = QDir(main).entryList(QDir::Files);
        for (const QString &name : mainBefore)
            added.removeOne(name);
        QSet<QByteArray> seen;
        const QStringList thumbnails = finished ? QStringList{"成品缩略图/", "成品缩略图100/", "成品缩略图2250/"}
                                                : QStringList{"thumbnail/", "thumbnail100/", "thumbnail2250/"};
        for (const QString &name : added) {
            seen.insert(bytesOf(main + name));
            for (const QString &thumbs : thumbnails)
                QVERIFY2(QFileInfo(order + thumbs + name).isFile(), qPrintable(round + thumbs + name));
            if (batch && !finished)
                QVERIFY2(bytesOf(order + "成品/" + name) == bytesOf(main + name), qPrintable(round + name));
        }
        QVERIFY2(added.size() == 4 && seen.size() == 4, qPrintable(round + added.join(',')));
        for (const QString &photo : finished ? QStringList() : card) {
            int backups = 0;
            for (const QString &name : QDir(backup + "照片").entryList(QDir::Files))
                backups += bytesOf(backup + "照片/" + name) == bytesOf(photo) ? 1 : 0;
            QVERIFY2(backups == 1, qPrintable(round + photo + ": " + QString::number(backups)));
        }
        const QStringList left = QDir(order).entryList({".tessaly-*"}, QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(round + left.join(',')));
    }
}

void TestImportPhotoToServer::closingMidRun()
{
    QFETCH(int, how);
    // A small photo, then large ones that take a while each.
    QStringList photos{m_studio->incomingRoot + "IMG_7301.jpg"};
    for (int i = 1; i <= 3; ++i) {
        photos << m_roots->path(QStringLiteral("in/big%1.jpg").arg(i));
        QVERIFY(put(photos.last(), testsupport::jpegWithOrientation(QSize(3000, 2000), 6, false, QColor(10 * i, 20, 30),
                                                                    QStringLiteral("2023:05:12 11:00:0%1").arg(i))));
    }
    const QString order = m_studio->orders.at(0).orderPath;
    const QByteArray listBefore = bytesOf(order + "ImageTime.txt");
    const bool unfinished = how == 10;
    const bool noBackup = how == 11;
    const bool twin = how == 12;
    const bool programEnds = how == 13;
    const bool lastWindow = how == 14;
    const bool reportOut = how == 15;
    const int reportCut = how == 20 || how == 21 ? how : 0;
    const bool runElsewhere = how == 22;
    const int cutOff = how == 16 || how == 17 ? how - 15 : reportCut || runElsewhere ? 2 : 0;
    const int inOrderBefore = QDir(order + "照片").entryList(QDir::Files).size();
    standin::Gate answerHeld;
    if (programEnds) {
        // Each photo takes a while: the one under way is still being written when the program ends.
        Platform::slowWrites("thumbnail100/", 3000);
        how = 9;
    }
    if (lastWindow || cutOff) {
        if (reportCut) // the end report's answer, which never comes
            m_server.queueReply("updatepicpath", standin::Reply::ok().heldBy(answerHeld));
        else
            Platform::holdWrites(m_studio->bakRoot); // the backups, written once a photo is in place
        how = lastWindow ? 9 : 1;
    }
    if (reportOut) {
        m_server.queueReply("updatepicpath", standin::Reply::httpError(500).heldBy(answerHeld));
        how = 9;
    }
    if (unfinished || noBackup)
        how = 6;
    if (twin) {
        photos << m_roots->path("in/big2 - 副本.jpg");
        QVERIFY(QFile::copy(photos.at(2), photos.last()));
        how = 7;
    }
    const int distinct = photos.size() - (twin ? 1 : 0); // photos of different bytes
    if (how == 18 || how == 19) {
        // (the batch import: its copy of the upright photo alone; its turned photos' writes go on)
        Platform::holdWrites(order + "照片/" + (how == 19 ? "IMG_7301" : ""));
        std::unique_ptr<ImportPhotoToServer> closed;
        std::unique_ptr<importOrdersPhotoDlg> dialog;
        QPushButton *start = nullptr;
        const auto released = qScopeGuard([] { Platform::releaseWrites(); }); // a failed check leaves no run held
        int heldFirst = 1; // photos of the first run under way
        if (how == 18) {
            QVERIFY(openReady(0, true));
            chooseAndImport(photos);
            QVERIFY(testsupport::waitFor([&] { return Platform::heldWrites() == heldFirst; }));
            MsgBox::setNextAnswer(QMessageBox::Yes);
            m_window->close();
            QVERIFY(!m_window->isVisible());
            closed.reset(m_window.data());
        } else {
            dialog.reset(new importOrdersPhotoDlg(nullptr, ShopSettings::current()));
            const QPointer<ImportOrderModel> record(new ImportOrderModel(m_studio->orderJson(m_studio->orders.at(0))));
            dialog->show();
            QVERIFY(QMetaObject::invokeMethod(dialog.get(), "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, {record.data()})));
            dialog->findChild<QRadioButton *>("importTypeRadio0")->click();
            record->setOriginFiles(photos.mid(1) + photos.mid(0, 1)); // the upright photo last
            start = dialog->findChild<QPushButton *>("importAllBtn");
            start->click();
            // The copy of the upright photo is held; the turned ones are written and land.
            QVERIFY(testsupport::waitFor([&] {
                return Platform::heldWrites() == heldFirst && QDir(order + "照片").entryList({"big*"}).size() == 3;
            }));
        }
        // The card chosen the other way round, its photos side by side: planned under other names.
        QVERIFY(openReady(0, true));
        chooseAndImport(QStringList(photos.rbegin(), photos.rend()));
        m_window->pool()->setMaxThreadCount(int(photos.size()));
        // The photo the first run is placing is waited for, and the window says so, whole; otherwise it would
        // be on its way into the order a second time (with the photos new to the order, in a new window).
        const QString waiting = "等待本订单的另一次导入放好同一张照片";
        const int heldOtherwise = heldFirst + (how == 18 ? int(photos.size()) : 1);
        QVERIFY(testsupport::waitFor([&] {
            return !testsupport::showsNone(m_window, waiting) || Platform::heldWrites() >= heldOtherwise;
        }));
        QString cut;
        QVERIFY2(testsupport::showsWhole(m_window, waiting, &cut), qPrintable(cut));
        Platform::releaseWrites();
        QVERIFY(testsupport::waitFor([&] {
            return !m_window->isImporting() && ready() && (!closed || !closed->isImporting())
                   && (!dialog || (!dialog->isImporting() && start->isEnabled()));
        }));
        QVERIFY(testsupport::waitFor([&] { return m_window->findChildren<QNetworkReply *>().isEmpty(); }));
        const QString backup = m_studio->orders.at(0).orderBakPath + "照片/";
        QSet<QByteArray> seen;
        for (const QString &name : QDir(order + "照片").entryList(QDir::Files)) {
            const QByteArray bytes = bytesOf(order + "照片/" + name);
            QVERIFY2(!seen.contains(bytes), qPrintable(name + " twice"));
            seen.insert(bytes);
        }
        QCOMPARE(seen.size(), inOrderBefore + distinct);
        for (const QString &photo : photos) {
            int backups = 0;
            for (const QString &name : QDir(backup).entryList(QDir::Files))
                backups += bytesOf(backup + name) == bytesOf(photo) ? 1 : 0;
            QVERIFY2(backups == 1, qPrintable(photo + ": " + QString::number(backups)));
        }
        // told to the web service once over both runs (the batch import's first report counts nothing)
        int posted = 0;
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            posted += r.field("importype") == "0" ? 0 : r.field("picnumber").toInt();
        QCOMPARE(posted, distinct);
        QVERIFY(testsupport::showsNone(m_window, waiting));
        return;
    }
    enum { NoRedo, NewWindow, SameWindow } redo = how == 6 ? NewWindow : how == 7 ? SameWindow : NoRedo;
    const bool fromPicker = how == 9;
    if (redo != NoRedo)
        how = redo == NewWindow ? 1 : 0;

    QPointer<SearchOrderWindow> picker;
    if (fromPicker) {
        picker = SingleOrder::openImportPicker(ShopSettings::current());
        picker->show();
        emit picker->addSelectOrderSigl({new ImportOrderModel(m_studio->orderJson(m_studio->orders.at(0)))});
        m_window = testsupport::waitForWindow<ImportPhotoToServer>();
        QVERIFY(m_window && testsupport::waitFor([&] { return ready(); }));
        widget<QPushButton>("importPic1")->click();
        QVERIFY(testsupport::waitFor([&] { return ready(); }));
        how = 4; // deleted on close
    } else {
        QVERIFY(openReady(0, true)); // the order has its folder: "导入" starts the jobs at once
    }
    chooseAndImport(photos);
    QVERIFY(testsupport::waitFor(
        [&] { return lastWindow || (cutOff && !reportCut) ? Platform::heldWrites() > 0
                     : reportOut || reportCut ? m_server.requestCount("updatepicpath") == 1
                                 : widget<QProgressBar>("progressBar")->value() >= 1; }));
    QVERIFY(m_window->isImporting());
    if (cutOff) {
        // The program is cut off now; what its window does from here on never happened to the order's folders.
        const QString bakOrder = m_studio->orders.at(0).orderBakPath;
        const QMap<QString, QByteArray> leftInOrder = testsupport::filesBelow(order);
        const QMap<QString, QByteArray> leftInBackup = testsupport::filesBelow(bakOrder);
        Platform::releaseWrites();
        answerHeld.open();
        QVERIFY(runEnded(1));
        delete m_window.data();
        QVERIFY(testsupport::putBack(order, leftInOrder) && testsupport::putBack(bakOrder, leftInBackup));
        m_server.clearRequests();
        MsgBox::clearShown();
        QStringList counts;
        if (cutOff == 1) {
            Platform::skewFolderClocks(20 * 60 * 1000); // the run's claim is older than any report takes
            QVERIFY(openReady(0, true));
            chooseAndImport(photos);
            QVERIFY(runEnded(1));
            QVERIFY2(testsupport::lastBox().startsWith("导片成功!|已在订单中的照片：1张（未重复导入）"), qPrintable(testsupport::lastBox()));
            for (const standin::Request &r : m_server.requests("updatepicpath"))
                counts << r.field("typeid") + ":" + r.field("picnumber") + "/" + r.field("picbaknumber");
        } else {
            QVERIFY(testsupport::claimOfEndedProgram(order, ".tessaly-unsent-0-*.claim-*", reportCut == 21 || runElsewhere));
            const std::unique_ptr<importOrdersPhotoDlg> dialog(new importOrdersPhotoDlg(nullptr, ShopSettings::current()));
            const QPointer<ImportOrderModel> record(new ImportOrderModel(m_studio->orderJson(m_studio->orders.at(0))));
            dialog->show();
            QVERIFY(QMetaObject::invokeMethod(dialog.get(), "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, {record.data()})));
            dialog->findChild<QRadioButton *>("importTypeRadio0")->click();
            record->setOriginFiles(photos);
            QPushButton *start = dialog->findChild<QPushButton *>("importAllBtn");
            start->click();
            QVERIFY(testsupport::waitFor([&] { return !dialog->isImporting() && start->isEnabled() && !MsgBox::shown().isEmpty(); }));
            QCOMPARE(testsupport::lastBox(),
                     QStringLiteral("导入完成|1个订单已经全部导完\n订单号:A1203-1 已在订单中的照片：%1张（未重复导入）")
                             .arg(reportCut ? distinct : 1)
                         + (reportCut == 21 ? QStringLiteral("\n\n订单号:A1203-1 另一个程序正在上报的导片数量（照片4张，备份4张）"
                                                             "这次没有上报；若其未能送达，15分钟后下次导入该订单时一并上报")
                            : runElsewhere ? QStringLiteral("\n\n订单号:A1203-1 另一个程序导入该订单时记下的导片数量（照片1张）"
                                                            "这次没有上报，15分钟后下次导入该订单时一并上报")
                                            : QString()));
            for (const standin::Request &r : m_server.requests("updatepicpath"))
                if (r.field("importype") == "1")
                    counts << r.field("typeid") + ":" + r.field("picnumber") + "/" + r.field("picbacknumber");
        }
        // Each photo once in the order and its backup, and the web service told of each once over the two runs.
        QCOMPARE(QStringList(counts), QStringList{QString(cutOff == 1 ? "1:" : "0:")
                                                  + (reportCut == 21 ? "0/0" : runElsewhere ? "3/4" : "4/4")});
        QSet<QByteArray> seen;
        for (const QString &name : QDir(order + "照片").entryList(QDir::Files))
            seen.insert(bytesOf(order + "照片/" + name));
        QCOMPARE(seen.size(), QDir(order + "照片").entryList(QDir::Files).size());
        QCOMPARE(seen.size(), inOrderBefore + distinct);
        for (const QString &photo : photos) {
            int backups = 0;
            for (const QString &name : QDir(bakOrder + "照片").entryList(QDir::Files))
                backups += bytesOf(bakOrder + "照片/" + name) == bytesOf(photo) ? 1 : 0;
            QVERIFY2(backups == 1, qPrintable(photo + ": " + QString::number(backups)));
        }
        QCOMPARE(QDir(order).entryList({".tessaly-unsent-*"}, QDir::Files | QDir::Hidden).size(),
                 reportCut == 21 || runElsewhere ? 1 : 0);
        return;
    }
    QSignalSpy shown(m_window.data(), &ImportPhotoToServer::showSearch);

    // Every photo written is listed and counted; the photos not started when the window closed are not imported.
    auto writtenNow = [&] {
        return QDir(order + "照片").entryList({dayPrefix(m_studio->orders.at(0).shotDate) + "A1203-*.jpg"});
    };
    auto listedNow = [&] {
        const QByteArray added = bytesOf(order + "ImageTime.txt").mid(listBefore.size());
        QStringList listed;
        for (const QByteArray &entry : added.split('|').mid(0, added.count('|')))
            listed << QString::fromUtf8(entry.split('>').first()) + ".jpg";
        return sorted(listed);
    };
    // What a run cut short placed waits in the order folder, and its photos are listed.
    auto keptInTheFolder = [&] {
        const QStringList written = writtenNow();
        const UnsentReport::Owed kept = UnsentReport::owed(order, ImportOriginPhotos);
        return !written.isEmpty() && written.size() < distinct && kept.counts.files == written.size()
               && kept.counts.backups == written.size() && listedNow() == written
               && m_server.requestCount("updatepicpath") == 0;
    };
    if (how == 2) {
        delete m_window.data(); // waits for the photo under way
        QVERIFY2(keptInTheFolder(), qPrintable(writtenNow().join(',')));
        QCoreApplication::sendPostedEvents();
        return;
    }
    if (how == 3) {
        MsgBox::setNextAnswer(QMessageBox::Yes); // were the question asked, it would be answered yes
        widget<QPushButton>("reimportButton")->click();
        QCOMPARE(testsupport::lastBox(), QStringLiteral("警告|正在导入照片，请导入完成后再重新读卡"));
        how = 0;
    } else if (how == 8) {
        // The question stays open, as a real box does, while the photos under way end the run: it closes
        // unanswered then, so no key of the clerk meant for it answers the box of the run's end.
        bool askedAfterTheEnd = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (!m_window->isImporting() && MsgBox::held()) {
                askedAfterTheEnd = true;
                MsgBox::answerHeld(QMessageBox::No);
            }
        });
        watch.start(1);
        MsgBox::clearShown();
        MsgBox::holdNext();
        m_window->close(); // returns once the question is gone
        watch.stop();
        QVERIFY(!askedAfterTheEnd);
        QVERIFY(testsupport::waitFor([&] { return !m_window->isImporting(); })); // the end report answered
        QStringList titles;
        for (const MsgBox::Shown &box : MsgBox::shown())
            titles << box.title;
        QCOMPARE(titles, QStringList({"提示", "导片成功!"}));
        how = 0; // the window stays, its run went on
    } else {
        MsgBox::setNextAnswer(how == 0 ? QMessageBox::No : QMessageBox::Yes);
        m_window->setAttribute(Qt::WA_DeleteOnClose, how == 4);
        m_window->close();
    }
    QCOMPARE(m_window->isVisible(), how == 0);
    QCOMPARE(shown.count(), how == 0 ? 0 : 1);
    // The picker is back on the screen: no notice over it while the program goes on anyway.
    if (lastWindow || reportOut)
        QVERIFY(!FinishingNotice::shown());
    auto noticeText = [] {
        QWidget *notice = FinishingNotice::shown();
        QLabel *words = notice ? notice->findChild<QLabel *>("finishingText") : nullptr;
        return words ? words->text() : QString();
    };
    if (how == 5) {
        // B2207's window opens before A1203's run has ended, and imports a photo of its own.
        const std::unique_ptr<ImportPhotoToServer> closed(m_window.data());
        QVERIFY(openReady(1, true));
        chooseAndImport({m_studio->incomingRoot + "IMG_7304.jpg"});
        QVERIFY(runEnded(2));
        QVERIFY(testsupport::waitFor([&] { return !closed->isImporting(); }));
        const standin::SampleOrder &b = m_studio->orders.at(1);
        const QList<standin::Request> reports = m_server.requests("updatepicpath");
        QCOMPARE(reports.size(), 2);
        QStringList got;
        for (const standin::Request &r : reports)
            got << r.field("order_photo_id") + ' ' + r.field("orderpicpath") + ' ' + r.field("typeid");
        QCOMPARE(sorted(got), sorted({m_studio->orders.at(0).id + ' ' + order + " 1", b.id + ' ' + b.orderPath + " 1"}));
        QCOMPARE(QDir(b.orderPath + "照片").entryList({dayPrefix(b.shotDate) + "B2207-*.jpg"}).size(), 1);
    }
    if (programEnds) {
        // The picker closes and the program ends while the closed window's run goes on.
        QTimer::singleShot(0, picker.data(), &QWidget::close);
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCOMPARE(testsupport::execUntilProgramEnds(), 0);
        QVERIFY2(keptInTheFolder(), qPrintable(writtenNow().join(',')));
        return;
    }
    if (lastWindow) {
        // The picker is the last window: a notice stays while the photos under way are finished and their
        // counts posted; then it goes, and the program ends.
        bool noticeWhileHeld = false;
        QString words;
        QTimer::singleShot(0, picker.data(), [&] {
            picker->close();
            noticeWhileHeld = FinishingNotice::shown() && Platform::heldWrites() > 0;
            words = noticeText();
            Platform::releaseWrites();
        });
        const int exitCode = testsupport::execUntilProgramEnds();
        Platform::releaseWrites();
        QCOMPARE(exitCode, 0);
        QVERIFY(noticeWhileHeld);
        QCOMPARE(words, QStringLiteral("正在完成已开始的照片并上报导片数量，完成后程序会自动退出…"));
        QVERIFY(!FinishingNotice::shown());
        const QList<standin::Request> reports = m_server.requests("updatepicpath");
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first().field("picnumber").toInt(), writtenNow().size());
        QVERIFY(!writtenNow().isEmpty());
        QCOMPARE(listedNow(), writtenNow());
        QCOMPARE(UnsentReport::owed(order, ImportOriginPhotos).counts.files, 0);
        return;
    }
    if (reportOut) {
        // The close asked (the counts not taken yet); the picker is the last window: a notice stays until
        // the answer has come, which gives the refused counts back to the order folder; then the program ends.
        QCOMPARE(testsupport::lastBox().section('\n', 0, 0), QStringLiteral("警告|以下订单的导片数量已报给服务器，还没有收到回复："));
        bool noticeWhileHeld = false;
        QString words;
        QTimer::singleShot(0, picker.data(), [&] {
            picker->close();
            noticeWhileHeld = FinishingNotice::shown() != nullptr;
            words = noticeText();
            answerHeld.open();
        });
        QCOMPARE(testsupport::execUntilProgramEnds(), 0);
        QVERIFY(noticeWhileHeld);
        QCOMPARE(words, QStringLiteral("正在等待服务器回复导片数量，完成后程序会自动退出…"));
        QVERIFY(!FinishingNotice::shown());
        QCOMPARE(writtenNow().size(), distinct);
        const UnsentReport::Owed kept = UnsentReport::owed(order, ImportOriginPhotos);
        QCOMPARE(QStringList({QString::number(kept.counts.files), QString::number(kept.counts.backups)}),
                 QStringList({QString::number(distinct), QString::number(distinct)}));
        return;
    }
    QPointer<ImportPhotoToServer> next;
    if (fromPicker) {
        // The clerk got the picker back and opens another order's window from it before the run has ended.
        QVERIFY(picker->isVisible());
        emit picker->addSelectOrderSigl({new ImportOrderModel(m_studio->orderJson(m_studio->orders.at(1)))});
        QVERIFY(!picker->isVisible());
        for (ImportPhotoToServer *w : testsupport::topLevels<ImportPhotoToServer>())
            if (w != m_window && w->isVisible())
                next = w;
        QVERIFY(next);
    }
    // The run ends with the photos under way (the window deleted on close goes after it) and posts its counts.
    if (how == 0)
        QVERIFY(runEnded(1));
    if (twin)
        QVERIFY2(testsupport::lastBox().contains("已在订单中的照片：1张（未重复导入）"), qPrintable(testsupport::lastBox()));
    else if (how != 5)
        QVERIFY(testsupport::waitFor([&] {
            return m_server.requestCount("updatepicpath") == 1 && (how == 4 ? m_window.isNull() : !m_window->isImporting());
        }));
    const QStringList written = writtenNow();
    QCOMPARE(listedNow(), written);
    standin::Request end;
    for (const standin::Request &r : m_server.requests("updatepicpath")) {
        if (r.field("order_photo_id") == m_studio->orders.at(0).id)
            end = r;
    }
    QCOMPARE(QStringList({end.field("orderpicpath"), end.field("picnumber")}),
             QStringList({order, QString::number(written.size())}));
    QVERIFY2(how == 0 ? written.size() == distinct : written.size() < distinct, qPrintable(written.join(',')));
    if (fromPicker) {
        // The closed window went quietly: the picker stays behind the window the clerk has now.
        QVERIFY(!picker->isVisible());
        QVERIFY(next->isVisible());
        m_window = next.data();
        delete picker.data();
    }
    if (redo == NoRedo)
        return;

    const QStringList thumbnails{"thumbnail/", "thumbnail100/", "thumbnail2250/"};
    if (unfinished) {
        QVERIFY(!written.isEmpty());
        for (const QString &folder : thumbnails)
            for (const QString &name : written)
                QVERIFY(QFile::remove(order + folder + name));
        QVERIFY(put(order + "ImageTime.txt", listBefore));
    }
    const QString backup = m_studio->orders.at(0).orderBakPath + "照片/";
    if (noBackup) {
        QVERIFY(!written.isEmpty());
        for (const QString &name : written)
            QVERIFY(QFile::remove(backup + name));
    }

    // The same photos once more: those imported already keep the names they got and are not written again.
    std::unique_ptr<ImportPhotoToServer> closed;
    if (redo == NewWindow) {
        closed.reset(m_window.data());
        QVERIFY(openReady(0, true));
    }
    MsgBox::clearShown();
    chooseAndImport(photos);
    QVERIFY(runEnded(2));
    QSet<QByteArray> seen;
    for (const QString &name : QDir(order + "照片").entryList(QDir::Files)) {
        const QByteArray bytes = bytesOf(order + "照片/" + name);
        QVERIFY2(!seen.contains(bytes), qPrintable(name + " twice"));
        seen.insert(bytes);
    }
    for (const QString &photo : photos) {
        int backups = 0;
        for (const QString &name : QDir(backup).entryList(QDir::Files))
            backups += bytesOf(backup + name) == bytesOf(photo) ? 1 : 0;
        QVERIFY2(backups == 1, qPrintable(photo + ": " + QString::number(backups)));
    }
    QCOMPARE(writtenNow().size(), distinct);
    // The photos new to the order take the numbers right after those it holds: none goes unused.
    QStringList numberedOn;
    const QString firstName = writtenNow().first();
    for (int k = 0; k < distinct; ++k)
        numberedOn << firstName.left(firstName.lastIndexOf('-') + 1)
                          + QString::number(ImportPhotoToServer::photoNumberOf(QFileInfo(firstName)) + k).rightJustified(3, '0')
                          + ".jpg";
    QCOMPARE(writtenNow(), numberedOn);
    QCOMPARE(listedNow(), writtenNow());
    for (const QString &folder : thumbnails)
        for (const QString &name : writtenNow())
            QVERIFY2(QFile::exists(order + folder + name), qPrintable(folder + name));
    QCOMPARE(m_server.lastRequest("updatepicpath").field("picnumber"), QString::number(distinct - written.size()));
    // The box says how many were there; the list shows the name each photo has in the order.
    QCOMPARE(testsupport::lastBox().section("\n\n", 0, 0),
             QStringLiteral("导片成功!|已在订单中的照片：%1张（未重复导入）").arg(photos.size() - (distinct - written.size())));
    QStringList shownNames = sorted(m_window->chosenPhotoNames());
    shownNames.removeDuplicates();
    QCOMPARE(shownNames, writtenNow());
}

// ---------------------------------------------------------------- deleting imported photos

// Two programs of this desk import one card into one order at the same moment: the second waits while the
// first holds the order, its bar saying so, and then finds every photo the first placed. Each photo is in the
// order, its backup and its reduced copies once, and counted once. The first is a child program (this test
// program again, with the row's name) whose copies are held until this program has seen its own run wait.
// Stopped: the child is another desk (another host name) that stops (SIGSTOP) once its first photo is in
// place, its second being written, past its claim's age (this program's folder clock moved on): this program
// takes the order over and imports the card; then the other desk goes on, and its late files are not placed.
void TestImportPhotoToServer::twoProgramsImportOneOrder_data()
{
    QTest::addColumn<QString>("first");  // the child program's import: "batch" (the batch import's thread) or
                                         // "single" (this window)
    QTest::addColumn<QString>("second"); // this program's: "single" or "batch" (the batch import window)
    // "killed": the child runs on another desk (another host name) and is killed (SIGKILL) right after its
    // second photo took its name in "照片/"; this program takes the order over at once (the folder clock moved
    // past the claim's age) and imports the card. "stopped": as killed, but a write of the child's third photo
    // is held once its main file is in, and the child stopped (SIGSTOP) instead; once this program's run has
    // ended it goes on and ends its own.
    QTest::addColumn<QString>("cut");
    QTest::newRow("another program's batch import holds the order: this window waits") << "batch" << "single" << "";
    QTest::newRow("another program's single-order import holds the order: the batch import waits")
        << "single" << "batch" << "";
    QTest::newRow("another program's batch import holds the order: the batch import waits") << "batch" << "batch" << "";
    QTest::newRow("another desk's batch import killed mid-import: this window takes the order over, posts its counts once")
        << "batch" << "single" << "killed";
    QTest::newRow("another desk's single-order import killed mid-import: the batch import takes over, posts its counts once")
        << "single" << "batch" << "killed";
    QTest::newRow("another desk's batch import stopped mid-import, then going on: what it counted is posted once")
        << "batch" << "batch" << "stopped";
    // ", other user": the child runs as another user, who may write the order's sub-folders and its shot-time
    // list but not the order folder itself, so its claim cannot be written; it imports the card to its end
    // (its box and counts read), then this program imports the card
    QTest::newRow("another user's batch import, the order folder refusing its claim: all done, counted, the claim a note")
        << "batch window, other user" << "single" << "";
    QTest::newRow("another user's single-order import, the order folder refusing its claim: done, counted, the claim a note")
        << "single, other user" << "batch" << "";
    // "cut short": the child program, of this desk, is killed mid-copy (its temporaries of a copy and of whole
    // writes in the order's folders) while this program writes a file into the order's thumbnails: this program
    // takes the order over at once, the dead program's temporaries go with its import, its own write under way
    // stays, and so does a temporary touched after the takeover (another desk's copy going on)
    QTest::newRow("another program's batch import killed mid-copy: this window takes the order, its temporaries go")
        << "batch" << "single" << "cut short";
    QTest::newRow("another program's single-order import killed mid-copy: the batch import takes the order, its temporaries go")
        << "single" << "batch" << "cut short";
    // "killed writing": the child program, of this desk, is held while it places its second photo (a turned one)
    // from the upright copy it wrote into its temporary folder, and is killed (SIGKILL) there: the clean-up at a
    // program's start keeps that copy while the child runs and removes it once the child has ended; a link, a
    // FIFO, a folder and files of other names beside it stay; this program takes the order over at once
    QTest::newRow("another program's single-order import killed writing a turned photo: its upright copy goes at a start")
        << "single" << "batch" << "killed writing";
    // "deletion": another desk deletes the order under its claim (removed last) while this window waits for it:
    // the window stops on the folder gone and makes none of the order's folders anew
    QTest::newRow("another desk deletes the order: this window waits, then stops") << "deletion" << "single" << "";
    // "deletion here": a deletion of this program holds the order (its walk held at its first removal) as this
    // program's import starts; the import waits for it, saying so, and stops the same way
    QTest::newRow("this program deletes the order: this window waits, then stops") << "deletion here" << "single" << "";
    QTest::newRow("this program deletes the order: the batch import waits, then stops")
        << "deletion here" << "batch" << "";
    // (an order listed before its first import elsewhere: the batch window makes its folders, none inside the
    // deletion; "through a link": the import reaches the order by a link in the storage root, the deletion by the
    // folder's own path)
    QTest::newRow("this program deletes the order: the batch import of a record without its folder waits, then stops")
        << "deletion here" << "batch" << "no folder";
    QTest::newRow("this program deletes the order: this window reaching it through a link waits, then stops")
        << "deletion here" << "single" << "through a link";
    QTest::newRow("this program deletes the order: the batch import reaching it through a link waits, then stops")
        << "deletion here" << "batch" << "through a link";
    // "slept": the child runs on another desk, its second photo's main file held (the first is in place); the desk
    // stops (SIGSTOP) past its claim's age while this program takes the order over and imports the card to its
    // end; then the desk goes on, and its late copy is not placed ("slept, turned": that photo is to be turned)
    QTest::newRow("another desk's batch import stopped past its claim's age, this window takes over: its late copy not placed")
        << "batch" << "single" << "slept";
    // (a batch import that takes over copies into "成品/" too, as the other desk's batch import)
    QTest::newRow("another desk's single-order import stopped past its claim's age, the batch import takes over (成品/)")
        << "single" << "batch" << "slept";
    QTest::newRow("another desk's batch import stopped writing a turned photo, the batch import takes over: counted once (成品/)")
        << "batch" << "batch" << "slept, turned";
}

void TestImportPhotoToServer::twoProgramsImportOneOrder()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, cut);
    const bool crashed = cut == "killed";
    const bool stopped = cut == "stopped";
    const bool cutShort = cut == "cut short";
    const bool slept = cut.startsWith("slept");
    const bool killedWriting = cut == "killed writing";
    const QString lostLine = "：导片期间该订单被其它程序接手导入，未导入";
    const bool finished = slept && second == "batch"; // the batch imports copy into "成品/" too
    const QString signals_ = qEnvironmentVariable("TESSALY_IMPORT_CHILD");
    const QString order = qEnvironmentVariable("TESSALY_IMPORT_ORDER");
    const QString backup = qEnvironmentVariable("TESSALY_IMPORT_BACKUP");
    const QStringList card = qEnvironmentVariable("TESSALY_IMPORT_CARD").split('|', Qt::SkipEmptyParts);
    const bool otherUser = first.endsWith(", other user");
    // The batch import window importing the photos as shot of order E5520 with the folders given; started.
    // (alsoFinished: at a shop that puts photos as shot into "成品/" too)
    auto startBatch = [this](const QString &folder, const QString &bak, const QStringList &photos, bool alsoFinished = false) {
        QJsonObject json = m_studio->orderJson(m_studio->orders.at(4));
        json["orderpath"] = folder;
        json["orderbakpicpath"] = bak;
        ShopSettings shop = ShopSettings::current();
        if (alsoFinished)
            shop.yptbcp = "1";
        std::unique_ptr<importOrdersPhotoDlg> dialog(new importOrdersPhotoDlg(nullptr, shop));
        const QPointer<ImportOrderModel> record(new ImportOrderModel(json)); // the dialog takes it
        dialog->show();
        if (!QMetaObject::invokeMethod(dialog.get(), "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, {record.data()})))
            return std::unique_ptr<importOrdersPhotoDlg>();
        dialog->findChild<QRadioButton *>("importTypeRadio0")->click();
        record->setOriginFiles(photos);
        m_server.clearRequests();
        MsgBox::clearShown();
        dialog->findChild<QPushButton *>("importAllBtn")->click();
        return dialog;
    };
    auto batchEnded = [](importOrdersPhotoDlg *dialog) {
        QPushButton *start = dialog->findChild<QPushButton *>("importAllBtn");
        return testsupport::waitFor([&] { return !dialog->isImporting() && start->isEnabled() && !MsgBox::shown().isEmpty(); });
    };
    auto batchPosted = [this] {
        int sum = 0;
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            if (r.field("importype") == "1")
                sum += r.field("picnumber").toInt();
        return QString::number(sum);
    };
    if (!signals_.isEmpty() && otherUser) { // the child program: its import to its end, then what it said
        QString posted;
        if (first.startsWith("batch")) {
            const std::unique_ptr<importOrdersPhotoDlg> dialog = startBatch(order, backup, card);
            QVERIFY(dialog && batchEnded(dialog.get()));
            posted = batchPosted();
        } else {
            m_server.setHandler("get_order_path", [=](const standin::Request &) { return folderReply(order, backup); });
            QVERIFY(openReady(4, true));
            chooseAndImport(card);
            QVERIFY(runEnded(1));
            posted = m_server.lastRequest("updatepicpath").field("picnumber");
        }
        std::printf("posted %s\nbox %s\n", qPrintable(posted), testsupport::lastBox().toUtf8().toBase64().constData());
        std::fflush(stdout);
        return;
    }
    if (!signals_.isEmpty()) { // the child program: its copies wait until this program says go
        // (cut short: what its copy and writes under way leave, cut short, before it is killed)
        auto heldThenGo = [&] {
            if (!testsupport::waitFor([] { return Platform::heldWrites() > 0; }))
                return false;
            if (cutShort) {
                for (const QString &cut : {order + "照片/.copying-k1", order + "thumbnail/.writing-k2",
                                           order + "thumbnail2250/.writing-k3", backup + "照片/.copying-k4",
                                           order + ".writing-k5"})
                    if (!put(cut, "cut short"))
                        return false;
            }
            return put(signals_ + "held", "") && testsupport::waitFor([&] { return QFile::exists(signals_ + "go"); });
        };
        if (crashed) // cut off as by a crash once its second photo is in the order
            Platform::stopAfterPlacing(order + "照片/", 2);
        else
            Platform::holdWrites(stopped ? backup + "照片/IMG_7303" // (its main files in place, the last backup held)
                                 : !slept && !killedWriting ? QString("照片/")
                                 // slept: its second photo's main file is held (the first is in place), and
                                 // written once this program took the order over (killed writing: never)
                                 : first == "batch" ? order + "照片/IMG_7302" : QString("-002.jpg")); // (numbered)
        if (first == "batch") {
            ImportOrderModel record(m_studio->orderJson(m_studio->orders.at(4)));
            record.setOrderPath(order);
            record.setOrderBakPath(backup);
            record.setOriginFiles(card);
            g_picPath = qEnvironmentVariable("TESSALY_IMPORT_ROOTS").section('|', 0, 0);
            g_bakPicPath = qEnvironmentVariable("TESSALY_IMPORT_ROOTS").section('|', 1, 1);
            g_yptbcp = finished ? "1" : "0";
            ImportOrderThread run(&record, ImportOriginPhotos);
            run.setParallelPhotos(1);
            run.start();
            QVERIFY(crashed || heldThenGo());
            Platform::releaseWrites();
            QVERIFY(run.wait(testsupport::kWaitMs));
            // slept or stopped: the photos its run placed no more are named, once each
            QCOMPARE(run.failures(), slept     ? QStringList({"IMG_7302.jpg" + lostLine, "IMG_7303.jpg" + lostLine})
                                     : stopped ? QStringList({"IMG_7303.jpg" + lostLine})
                                               : QStringList());
            std::printf("posted 0\n"); // its counts wait in the order folder for the next report
        } else {
            m_server.setHandler("get_order_path", [=](const standin::Request &) { return folderReply(order, backup); });
            QVERIFY(openReady(4, true));
            chooseAndImport(card);
            QVERIFY(crashed || heldThenGo());
            Platform::releaseWrites();
            QVERIFY(runEnded(1));
            if (slept)
                QVERIFY2(testsupport::lastBox().contains("IMG_7302.jpg" + lostLine), qPrintable(testsupport::lastBox()));
            std::printf("posted %s\n", qPrintable(m_server.lastRequest("updatepicpath").field("picnumber")));
        }
        std::fflush(stdout);
        return;
    }

    QString picRoot = m_studio->picRoot;
    QString bakRoot = m_studio->bakRoot;
    QStringList photos{m_studio->incomingRoot + "IMG_7301.jpg", m_studio->incomingRoot + "IMG_7302.jpg",
                       m_studio->incomingRoot + "IMG_7303.jpg"};
    // Another user reaches no private temporary folder: the storage and the card are where it can pass.
    std::unique_ptr<QTemporaryDir> shared;
    if (otherUser) {
#ifdef Q_OS_UNIX
        if (::geteuid() != 0)
            QSKIP("another user needs root");
        const QString reachable = testsupport::reachableByOthers();
        if (reachable.isEmpty())
            QSKIP(qPrintable("no folder another user can reach (tried " + QDir::tempPath() + ", /tmp, /var/tmp, /dev/shm)"));
        shared.reset(new QTemporaryDir(reachable + "/tessaly-import-XXXXXX"));
        QVERIFY(shared->isValid() && ::chmod(QFile::encodeName(shared->path()).constData(), 0755) == 0);
        picRoot = shared->path() + "/pic/";
        bakRoot = shared->path() + "/bak/";
        QVERIFY(QDir().mkpath(picRoot) && QDir().mkpath(bakRoot) && QDir().mkpath(shared->path() + "/card"));
        for (QString &photo : photos) {
            const QString copy = shared->path() + "/card/" + QFileInfo(photo).fileName();
            QVERIFY(QFile::copy(photo, copy));
            photo = copy;
        }
#else
        QSKIP("another user of this system is made on Unix only");
#endif
    }
    // The order's folders, as the service names them to both programs.
    const standin::SampleOrder &e = m_studio->orders.at(4);
    ImportOrderModel made(m_studio->orderJson(e));
    g_picPath = picRoot;
    g_bakPicPath = bakRoot;
    ImportOrderThread(&made, ImportOriginPhotos).createOrderDir(g_picPath, g_bakPicPath);
    const QString folder = made.orderPath();
    const QString bak = made.orderBakPath();
    QVERIFY(QDir(folder + "照片").exists() && QDir(bak + "照片").exists());
    m_server.setHandler("get_order_path", [=](const standin::Request &) { return folderReply(folder, bak); });
    if (first.startsWith("deletion")) {
        const bool here = first == "deletion here";
        const QStringList backupBefore = testsupport::fileTree(bak);
        const auto deleted = std::make_shared<int>(0);
        const auto deletionEnds = qScopeGuard([] { Platform::releaseWrites(); });
        if (here) {
            // this program's deletion, as the batch deletion starts it: it holds the order, and its walk waits
            // at the order's one photo, the first thing it removes
            QVERIFY(put(folder + "照片/IMG_0001.jpg", testsupport::jpegWithOrientation(QSize(60, 40), 0)));
            Platform::holdRemovals(folder + "照片/IMG_0001.jpg");
            OrderRowInfo row;
            row.order_photo_id = e.id;
            row.orderpath = folder;
            auto *deletion = new ImportOrderThread(row); // goes when it has ended
            connect(deletion, &ImportOrderThread::deleteSucceed, this, [deleted] { ++*deleted; });
            deletion->start();
            QVERIFY(testsupport::waitFor([] { return Platform::heldWrites() > 0; }));
        } else {
            QVERIFY(put(folder + ".导片进行中", R"({"desk":"前台2","machine":"m-2","program":"4242-x"})"));
        }
        // the order as the import reaches it
        QString shownFolder = folder;
        QString shownBak = bak;
        const QString link = QDir::cleanPath(picRoot) + "-link";
        const auto linkGoes = qScopeGuard([link] { QFile::remove(link); });
        if (cut == "through a link") {
            QVERIFY(QFile::link(QDir::cleanPath(picRoot), link));
            shownFolder = link + '/' + folder.mid(picRoot.size());
            m_server.setHandler("get_order_path", [=](const standin::Request &) { return folderReply(shownFolder, bak); });
        } else if (cut == "no folder") {
            shownBak.clear();
        }
        std::unique_ptr<importOrdersPhotoDlg> dialog;
        if (second == "single") {
            QVERIFY(openReady(4, true));
            m_server.clearRequests();
            MsgBox::clearShown();
            chooseAndImport(photos);
        } else {
            dialog = startBatch(cut == "no folder" ? QString() : shownFolder, shownBak, photos);
            QVERIFY(dialog);
        }
        const QWidget *window = second == "single" ? static_cast<QWidget *>(m_window.data()) : dialog.get();
        const QString deleting = here ? "订单E5520-1正在本程序中删除，等待其删除完成（可关闭窗口停止等待）"
                                      : "订单E5520-1正在前台2上导片，等待其导片完成（可关闭窗口停止等待）";
        QVERIFY(testsupport::waitFor([&] { return !testsupport::showsNone(window, deleting); }));
        QString cutText;
        QVERIFY2(testsupport::showsWhole(window, deleting, &cutText), qPrintable(cutText));
        if (here) {
            QVERIFY(testsupport::fileTree(folder).contains(".导片进行中")); // the deletion's, nothing of the import's
            QCOMPARE(QDir(folder + "照片").entryList(QDir::Files), QStringList{"IMG_0001.jpg"});
            Platform::releaseWrites();
            QVERIFY(testsupport::waitFor([&] { return *deleted == 1; }));
        } else {
            QVERIFY(FileOperation::removeDir(folder, {m_studio->picRoot, m_studio->bakRoot}, nullptr, ".导片进行中"));
        }
        if (dialog)
            QVERIFY(batchEnded(dialog.get()));
        else
            QVERIFY(testsupport::waitFor([&] { return !MsgBox::shown().isEmpty() && !m_window->isImporting(); }));
        QVERIFY2(testsupport::lastBox().contains("订单目录不存在：" + shownFolder), qPrintable(testsupport::lastBox()));
        QVERIFY(testsupport::showsNone(window, deleting));
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(testsupport::fileTree(bak), backupBefore);
        // nothing counted; the batch import reports the order as not done (its path, no photo), as any order it
        // stopped; one whose folder it never made has no path to report
        QCOMPARE(m_server.requestCount("updatepicpath"), dialog && cut != "no folder" ? 1 : 0);
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            QVERIFY(r.field("importype") == "0" && r.field("picnumber") == "0" && r.field("picbacknumber") == "0");
        return;
    }
    QTemporaryDir signalDir;
    const QString signalled = signalDir.path() + '/';
    if (slept) {
        // the photo the other desk is writing when it stops: upright (a byte copy), or to be turned
        QVERIFY(QDir().mkpath(signalled + "card"));
        photos[1] = signalled + "card/IMG_7302.jpg";
        QVERIFY(testsupport::writeJpeg(photos[1], QSize(640, 480), cut.endsWith("turned") ? 6 : 1, false,
                                       QColor(30, 140, 90)));
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TESSALY_IMPORT_CHILD", signalled);
    env.insert("TESSALY_IMPORT_ORDER", folder);
    env.insert("TESSALY_IMPORT_BACKUP", bak);
    env.insert("TESSALY_IMPORT_CARD", photos.join('|'));
    env.insert("TESSALY_IMPORT_ROOTS", picRoot + '|' + bakRoot);
    if (otherUser) {
#ifdef Q_OS_UNIX
        // The order folder stays root's (0755); everything in it and the backup's order folder are the other
        // user's, and so is the shot-time list an earlier import left. The folders on the way may be passed.
        QVERIFY(put(folder + "ImageTime.txt", ""));
        QStringList theirs{bak};
        for (const QFileInfo &in : QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            theirs << in.filePath();
        for (const QString &top : qAsConst(theirs)) {
            QDirIterator it(top, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            QStringList paths{top};
            while (it.hasNext())
                paths << it.next();
            for (const QString &path : qAsConst(paths))
                QVERIFY2(::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0, qPrintable(path));
        }
        for (QString up : {QString(folder).chopped(1), QString(bak).chopped(1), photos.first()}) {
            for (up = QFileInfo(up).path(); up.startsWith(shared->path() + '/'); up = QFileInfo(up).path())
                QVERIFY(::chmod(QFile::encodeName(up).constData(), 0755) == 0);
        }
        for (const QString &photo : qAsConst(photos))
            QVERIFY(::chmod(QFile::encodeName(photo).constData(), 0644) == 0);
        QVERIFY(::chown(QFile::encodeName(folder).constData(), 0, 0) == 0 && ::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        // the child's own studio, home and working folder
        const QString own = shared->path() + "/own";
        QVERIFY(QDir().mkpath(own) && ::chown(QFile::encodeName(own).constData(), 65534, 65534) == 0);
        env.insert("TMPDIR", own);
        env.insert("HOME", own);
        env.remove("XDG_RUNTIME_DIR");
        child.setWorkingDirectory(own);
#endif
    }
    // (killed writing: the temporary folder given to the child, which makes its own folder in it)
    const QString childTemporary = signalled + "tmp";
    if (killedWriting) {
#ifndef Q_OS_UNIX
        QSKIP("a FIFO is made on Unix only");
#endif
        QVERIFY(QDir().mkpath(childTemporary));
        env.insert("TMPDIR", childTemporary);
    }
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    const auto childEnded = qScopeGuard([&] {
        if ((stopped || slept) && child.state() != QProcess::NotRunning)
            continueProgram(child);
        put(signalled + "go", "");
        child.waitForFinished(testsupport::kWaitMs);
    });
    const QString row = QString("twoProgramsImportOneOrder:") + QTest::currentDataTag();
    if (otherUser) {
        child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--", QCoreApplication::applicationFilePath(), row});
    } else if (crashed || stopped || slept) {
        // Another desk: the child runs under a host name of its own (its claims name that desk).
        if (QProcess::execute("unshare", {"--uts", "true"}) != 0)
            QSKIP("no host name of its own for a child here (unshare --uts needs root)");
        child.start("unshare", QStringList{"--uts", "sh", "-c", "hostname desk-b && exec \"$0\" \"$@\"",
                                           QCoreApplication::applicationFilePath(), row});
    } else {
        child.start(QCoreApplication::applicationFilePath(), {row});
    }
    QVERIFY(child.waitForStarted());
    QByteArray said;
    if (otherUser) {
        // its import ends before this program's starts
        QVERIFY(child.waitForFinished(testsupport::kWaitMs));
        said = child.readAll();
    } else if (crashed) {
        // It is cut off with two photos in the order, its claim on the order, its run's record and the record's
        // journal left; the claim is another desk's, so this program takes the order over once it aged.
        QVERIFY(child.waitForFinished(testsupport::kWaitMs));
        QVERIFY2(child.exitStatus() == QProcess::CrashExit, child.readAll().right(2000).constData());
        QCOMPARE(QDir(folder + "照片").entryList(QDir::Files).size(), 2);
        QVERIFY(QFileInfo::exists(folder + ".导片进行中"));
        QCOMPARE(QDir(folder).entryList({".tessaly-unsent-*.claim-*"}, QDir::Files | QDir::Hidden).size(), 1);
        QCOMPARE(QDir(folder).entryList({".tessaly-notes-*"}, QDir::Files | QDir::Hidden).size(), 1);
        Platform::skewFolderClocks(4 * 60 * 1000);
    } else if (stopped) {
        // Its photos are in, a write of the third held: the desk stops, and its claim ages on the folder's clock.
        QVERIFY(testsupport::waitFor([&] { return QFile::exists(signalled + "held") || child.state() == QProcess::NotRunning; }));
        QVERIFY2(QFile::exists(signalled + "held"), child.readAll().right(2000).constData());
        QCOMPARE(QDir(folder + "照片").entryList(QDir::Files).size(), 3);
        QVERIFY(stopProgram(child));
        Platform::skewFolderClocks(4 * 60 * 1000);
    } else if (slept) {
        // Its first photo is in, the second's main file held: the desk sleeps; to this program its claim is
        // past its age.
        QVERIFY(testsupport::waitFor([&] { return QFile::exists(signalled + "held") || child.state() == QProcess::NotRunning; }));
        QVERIFY2(QFile::exists(signalled + "held"), child.readAll().right(2000).constData());
        QVERIFY(stopProgram(child));
        Platform::skewFolderClocks(4 * 60 * 1000);
    } else {
        QVERIFY(testsupport::waitFor([&] { return QFile::exists(signalled + "held") || child.state() == QProcess::NotRunning; }));
        QVERIFY2(QFile::exists(signalled + "held"), child.readAll().right(2000).constData());
    }
    if (killedWriting) {
        // The upright copies the child wrote into its temporary folder, named after it, and beside them what
        // is no such copy of an ended program, named after the child as well
        const QString pid = QString::number(child.processId());
        QStringList copies;
        QDirIterator inTemporary(childTemporary, {".tessaly-photo-*"}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (inTemporary.hasNext())
            copies << inTemporary.next();
        QVERIFY(!copies.isEmpty());
        const QString temporary = QFileInfo(copies.first()).path() + '/';
        for (const QString &copy : qAsConst(copies))
            QVERIFY2(copy.startsWith(temporary + ".tessaly-photo-" + pid + '-'), qPrintable(copy));
        QVERIFY(put(signalled + "elsewhere.jpg", "elsewhere"));
        QVERIFY(QFile::link(signalled + "elsewhere.jpg", temporary + ".tessaly-photo-" + pid + "-link"));
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(QFile::encodeName(temporary + ".tessaly-photo-" + pid + "-fifo").constData(), 0600), 0);
#endif
        QVERIFY(QDir().mkpath(temporary + ".tessaly-photo-" + pid + "-folder"));
        for (const QString &other : {"tessaly-photo-" + pid + "-shown", ".tessaly-photo-" + pid + "-x.jpg",
                                     ".tessaly-photos-" + pid + "-other", ".tessaly-photo-" + pid + "-",
                                     ".tessaly-photo-" + pid + "-x\n", QString(".tessaly-photo-2147483648-x"),
                                     ".tessaly-photo-" + pid + "-0x", ".tessaly-photo-" + pid + "-3w5e11264sgsg"})
            QVERIFY(put(temporary + other, "other"));
        // one more named after the child, and an earlier version's, named after no program: that one stays
        // while it may still be written
        QVERIFY(put(temporary + ".tessaly-photo-" + pid + "-y", "upright"));
        copies << temporary + ".tessaly-photo-" + pid + "-y";
        QVERIFY(put(temporary + ".tessaly-photo-earlier", "earlier"));
        auto left = [&] {
            return QDir(temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        };
        QStringList expected = left();
        // a program starts while the child writes: all stays
        removeUprightPhotosLeftBehind(temporary);
        QCOMPARE(left(), expected);
        child.kill();
        QVERIFY(child.waitForFinished(testsupport::kWaitMs));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        // one starts once the child has ended, two hours later: the child's copies go, and the earlier
        // version's, untouched since; nothing else
        Platform::skewFolderClocks(2 * 60 * 60 * 1000);
        // (one that is closing as it starts leaves them all for a later start; one that closes after its first
        // removal leaves the rest)
        removeUprightPhotosLeftBehind(temporary, [] { return false; });
        QCOMPARE(left(), expected);
        removeUprightPhotosLeftBehind(temporary, [&] { return left() == expected; });
        QCOMPARE(left().size(), expected.size() - 1);
        removeUprightPhotosLeftBehind(temporary);
        Platform::skewFolderClocks(0);
        for (const QString &copy : qAsConst(copies))
            expected.removeOne(QFileInfo(copy).fileName());
        expected.removeOne(".tessaly-photo-earlier");
        QCOMPARE(left(), expected);
        QCOMPARE(bytesOf(signalled + "elsewhere.jpg"), QByteArray("elsewhere"));
    }
    // A write of this program into the order's thumbnails, under way while the order is taken over.
    QSemaphore writing;
    QSemaphore writeGoesOn;
    std::thread liveWrite;
    const auto liveWriteEnds = qScopeGuard([&] {
        writeGoesOn.release();
        if (liveWrite.joinable())
            liveWrite.join();
    });
    const QString goingOn = folder + "thumbnail100/.copying-goingon"; // touched after the takeover
    if (cutShort) {
        child.kill();
        QVERIFY(child.waitForFinished(testsupport::kWaitMs));
        liveWrite = std::thread([&] {
            Platform::writeIntoPlace(folder + "thumbnail/live.jpg", [&](QIODevice &file) {
                writing.release();
                writeGoesOn.acquire();
                return file.write("live") == 4;
            });
        });
        writing.acquire();
        QVERIFY(put(goingOn, "going on"));
        QFile touched(goingOn);
        QVERIFY(touched.open(QIODevice::ReadWrite)
                && touched.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
    }
    auto writesOfThisProgram = [&] {
        QStringList names = QDir(folder + "thumbnail").entryList({".writing-*"}, QDir::Files | QDir::Hidden);
        for (const QString &name : names)
            if (!Platform::isWriteUnderWay(name))
                return QStringList();
        return names;
    };

    const QString waiting = "订单E5520-1正在本机的另一个程序中导片，等待其导片完成（可关闭窗口停止等待）";
    QString posted; // what this program reported, as picnumber/picbacknumber
    QString postedBackups;
    std::unique_ptr<importOrdersPhotoDlg> dialog;
    if (second == "single") {
        QVERIFY(openReady(4, true));
        m_server.clearRequests();
        chooseAndImport(photos);
        QVERIFY(otherUser || crashed || stopped || cutShort || slept || killedWriting || testsupport::waitFor([&] { return !testsupport::showsNone(m_window, waiting); }));
    } else {
        dialog = startBatch(folder, bak, photos, finished);
        QVERIFY(dialog);
        auto *table = dialog->findChild<QTableWidget *>("ordersTable");
        const bool waits = !otherUser && !crashed && !stopped && !cutShort && !slept && !killedWriting;
        if (waits) {
            QVERIFY(testsupport::waitFor([&] { return !testsupport::showsNone(dialog.get(), waiting); }));
            QCOMPARE(table->cellWidget(0, 5)->findChild<QProgressBar *>()->toolTip(), waiting);
        }
    }
    const bool childEndsFirst = !otherUser && !crashed && !stopped && !cutShort && !slept && !killedWriting;
    const QWidget *window = second == "single" ? static_cast<QWidget *>(m_window.data()) : dialog.get();
    if (childEndsFirst) {
        // the clerk reads the words whole where the window shows them
        QString cutText;
        QVERIFY2(testsupport::showsWhole(window, waiting, &cutText), qPrintable(cutText));
        // nothing of this program's run is in the order while it waits
        QCOMPARE(QDir(folder + "照片").entryList(QDir::Files), QStringList());
        QVERIFY(put(signalled + "go", ""));
        QVERIFY(child.waitForFinished(testsupport::kWaitMs));
        said = child.readAll();
    }
    QString childPosted = "0"; // the crashed or stopped child posted nothing yet
    if (otherUser || childEndsFirst) {
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, said.right(2000).constData());
        const QRegularExpressionMatch match = QRegularExpression("posted (\\d+)").match(QString::fromUtf8(said));
        QVERIFY2(match.hasMatch(), said.right(2000).constData());
        childPosted = match.captured(1);
    }
    if (otherUser) {
        // The other user's box: its order imported, the claim named beside it, no file among those not imported.
        const QRegularExpressionMatch box = QRegularExpression("box (\\S+)").match(QString::fromUtf8(said));
        QVERIFY2(box.hasMatch(), said.right(2000).constData());
        const QString shown = QString::fromUtf8(QByteArray::fromBase64(box.captured(1).toLatin1()));
        const QString note = "导片标记无法写入，无法阻止其它电脑同时导入该订单：" + folder + ".导片进行中（没有权限）";
        if (first.startsWith("batch"))
            QCOMPARE(shown, "导入完成|1个订单已经全部导完\n订单号:E5520-1 " + note);
        else
            QVERIFY2(shown.startsWith("导片成功!|" + note + "\n\n") && shown.endsWith("导片数量已上报服务器：照片3张，备份3张"),
                     qPrintable(shown));
        QVERIFY2(!shown.contains("未能导入"), qPrintable(shown));
        QCOMPARE(childPosted, QString("3"));
    }
    // (cut short: the killed program placed no photo, and this one imports them all)
    const QString inOrder = cutShort || slept ? QString() : QStringLiteral("已在订单中的照片：%1张（未重复导入）").arg(crashed ? 2 : killedWriting ? 1 : 3);
    if (second == "single") {
        QVERIFY(runEnded(1));
        QVERIFY2(testsupport::lastBox().contains(inOrder), qPrintable(testsupport::lastBox()));
        posted = m_server.lastRequest("updatepicpath").field("picnumber");
        postedBackups = m_server.lastRequest("updatepicpath").field("picbaknumber");
    } else {
        QVERIFY(batchEnded(dialog.get()));
        QVERIFY2(testsupport::lastBox().contains(inOrder), qPrintable(testsupport::lastBox()));
        posted = batchPosted();
        int backups = 0;
        for (const standin::Request &r : m_server.requests("updatepicpath"))
            if (r.field("importype") == "1")
                backups += r.field("picbacknumber").toInt();
        postedBackups = QString::number(backups);
    }
    if (slept) {
        // this program's run ended while the other desk slept; then the other desk goes on: its late copy does
        // not land, and the photos it placed no more are named
        QVERIFY(continueProgram(child));
        QVERIFY(put(signalled + "go", ""));
        QVERIFY(child.waitForFinished(testsupport::kWaitMs));
        said = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, said.right(2000).constData());
        const QRegularExpressionMatch match = QRegularExpression("posted (\\d+)").match(QString::fromUtf8(said));
        QVERIFY2(match.hasMatch(), said.right(2000).constData());
        childPosted = match.captured(1);
    }
    // each photo once in every folder, counted once between the two programs (what neither posted yet waits
    // in the order folder for the next report)
    for (const QString &in : {folder + "照片", bak + "照片", folder + "thumbnail", folder + "thumbnail100", folder + "thumbnail2250"})
        QCOMPARE(QDir(in).entryList(QDir::Files).size(), 3);
    if (finished)
        QCOMPARE(QDir(folder + "成品").entryList(QDir::Files).size(), 3);
    int unposted = 0;
    if (slept) {
        for (const UnsentReport::Record &r : UnsentReport::records(folder))
            unposted += r.type == ImportOriginPhotos ? r.counts.files : 0;
    }
    QCOMPARE(posted.toInt() + childPosted.toInt() + unposted, 3);
    QVERIFY(!QFileInfo::exists(folder + ".导片进行中"));
    if (crashed || stopped) {
        // The crashed run's counts went with this run's end report, its backups too, and its record with them.
        QCOMPARE(postedBackups, QString("3"));
        QCOMPARE(QDir(folder).entryList({".tessaly-unsent-*", ".tessaly-notes-*"}, QDir::Files | QDir::Hidden), QStringList());
    }
    if (cutShort) {
        // the dead program's temporaries in the folders only imports write are gone; the one in the order
        // folder itself (which a separation writes too) waits for its age; this program's write and the
        // temporary touched since stay
        for (const QString &left : {folder + "照片/.copying-k1", folder + "thumbnail/.writing-k2",
                                    folder + "thumbnail2250/.writing-k3", bak + "照片/.copying-k4"})
            QVERIFY2(!QFileInfo::exists(left), qPrintable(left));
        QVERIFY(QFileInfo::exists(folder + ".writing-k5"));
        QCOMPARE(bytesOf(goingOn), QByteArray("going on"));
        QCOMPARE(writesOfThisProgram().size(), 1);
        writeGoesOn.release();
        liveWrite.join();
        QCOMPARE(bytesOf(folder + "thumbnail/live.jpg"), QByteArray("live"));
        QCOMPARE(QDir(folder + "thumbnail").entryList({".writing-*"}, QDir::Files | QDir::Hidden), QStringList());
    }
    if (stopped) {
        // The desk goes on: it finds its record taken, and what it counts from then on is only what lands
        // from then on: every photo in the order counted once over the two runs.
        QVERIFY(continueProgram(child));
        QVERIFY(put(signalled + "go", ""));
        QVERIFY(child.waitForFinished(testsupport::kWaitMs));
        said = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, said.right(2000).constData());
        int left = 0;
        for (const UnsentReport::Record &record : UnsentReport::records(folder))
            left += record.counts.files;
        QCOMPARE(posted.toInt() + left, QDir(folder + "照片").entryList(QDir::Files).size());
    }
    if (childEndsFirst)
        QVERIFY(testsupport::showsNone(window, waiting)); // the wait is over: its words are gone
}

void TestImportPhotoToServer::deleteImported_data()
{
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("readOnly"); // the photo folder is on a read-only disk
    QTest::newRow("asked, answered no") << true << false << false;
    QTest::newRow("asked, answered yes") << true << true << false;
    QTest::newRow("nothing selected: not asked, looked up again") << false << false << false;
    QTest::newRow("a photo on a read-only disk: named with the reason") << true << true << true;
}

void TestImportPhotoToServer::deleteImported()
{
    QFETCH(bool, selected);
    QFETCH(bool, yes);
    QFETCH(bool, readOnly);
    const QString order = m_studio->orders.at(0).orderPath;
    const testsupport::Mounted disk(readOnly ? order + "成品/" : QString(), testsupport::Mounted::ReadOnly);
    if (readOnly && !disk.active())
        QSKIP("no mounts here (a mount needs root and a system that allows it)");
    QVERIFY(openReady(0));
    QListWidget *list = m_window->thumbListWidget();
    list->findItems("IMG_0001.jpg", Qt::MatchExactly).first()->setSelected(selected);
    MsgBox::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
    m_server.clearRequests();
    QVERIFY(QMetaObject::invokeMethod(m_window, "delListPhotoAction"));
    if (readOnly)
        QCOMPARE(testsupport::lastBox(), "警告|以下文件删除失败：\nIMG_0001.jpg（" + errorText(EROFS) + "）");
    else
        QCOMPARE(testsupport::lastBox().section('|', 0, 0), selected ? QStringLiteral("提示") : QString());
    for (const char *folder : {"成品/", "成品缩略图/", "成品缩略图100/"})
        QCOMPARE(QFileInfo::exists(order + folder + "IMG_0001.jpg"), !yes || (readOnly && folder == QString("成品/")));
    QVERIFY(QFileInfo::exists(order + "照片/IMG_0001.jpg"));
    const bool gone = yes && !readOnly;
    if (yes || !selected)
        QVERIFY(testsupport::waitFor(
            [&] { return m_server.requestCount("get_order_path") == 1 && ready() && list->count() == (gone ? 3 : 4); }));
    else
        QCOMPARE(m_server.requestCount("get_order_path"), 0);

    // Without an order folder no file is looked at, not even one relative to the working folder.
    m_server.setReply("get_order_path", folderReply(""));
    m_window->queryOrderPath();
    QVERIFY(testsupport::waitFor([&] { return ready() && m_window->currentOrderPath().isEmpty(); }));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_roots->base()));
    QVERIFY(put(m_roots->path("成品/IMG_0002.jpg"), "x"));
    const QStringList names{"IMG_0002.jpg"};
    m_window->delListFiles(&names);
    QDir::setCurrent(before);
    QVERIFY(QFileInfo::exists(m_roots->path("成品/IMG_0002.jpg")));
}

// ---------------------------------------------------------------- photo date

void TestImportPhotoToServer::photoDate_data()
{
    QTest::addColumn<QString>("picked");  // dates picked one after the other, the first answered last
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("shown");  // button text afterwards
    QTest::addColumn<QString>("prefix");
    QTest::newRow("accepted") << "2024-03-05" << true << "2024-03-05" << "305";
    // {shot}: the order's own shot day, {prefix} what the window makes of it
    QTest::newRow("refused: rolled back") << "2024-12-25" << false << "{shot}" << "{prefix}";
    QTest::newRow("cleared: nothing posted") << "" << true << "{shot}" << "{prefix}";
    QTest::newRow("answers out of order: the button shows the date kept")
        << "2024-03-05,2024-12-25" << true << "2024-03-05" << "305";
}

void TestImportPhotoToServer::photoDate()
{
    QFETCH(QString, picked);
    QFETCH(bool, accepted);
    QFETCH(QString, shown);
    QFETCH(QString, prefix);
    const QStringList picks = picked.split(',');
    const QString shot = m_studio->orders.at(4).shotDate;
    for (QString *value : {&shown, &prefix})
        value->replace("{shot}", shot).replace("{prefix}", dayPrefix(shot));
    standin::Gate lastAnswered; // the first answer comes after the last one has been handled
    if (!accepted)
        m_server.queueReply("updatephotodate", standin::Reply::refused("no", "0"));
    else if (picks.size() > 1)
        m_server.queueReply("updatephotodate", standin::Reply::ok().heldBy(lastAnswered));
    QVERIFY(openReady(4));
    QVERIFY(widget<QPushButton>("pushButton_photodate")->isEnabled());
    QStringList atEmit;
    // the date the window shows when it has the picker search again
    connect(m_window.data(), &ImportPhotoToServer::refreshSearchTable, this,
            [&] { atEmit << widget<QPushButton>("pushButton_photodate")->text(); });

    for (int i = 0; i < picks.size(); ++i) {
        QVERIFY(QMetaObject::invokeMethod(m_window, "on_newPhotoDateDate", Q_ARG(QString, picks.at(i))));
        QVERIFY(picked.isEmpty() || testsupport::waitFor([&] { return m_server.requestCount("updatephotodate") == i + 1; }));
    }
    if (accepted && picks.size() > 1) {
        QVERIFY(testsupport::waitFor([&] { return atEmit.size() == picks.size() - 1; }));
        lastAnswered.open();
    }
    QVERIFY(testsupport::waitFor(
        [&] { return picked.isEmpty() || (accepted ? atEmit.size() == picks.size() : !MsgBox::shown().isEmpty()); }));
    QCOMPARE(widget<QPushButton>("pushButton_photodate")->text(), shown);
    QCOMPARE(widget<QLineEdit>("lineEdit_orderPRName")->text(), prefix);
    QStringList answered(picks.crbegin(), picks.crend());
    QCOMPARE(atEmit, accepted && !picked.isEmpty() ? answered : QStringList());
    if (!picked.isEmpty())
        QCOMPARE(m_server.lastRequest("updatephotodate").field("photodate"), picks.last());
}

// ---------------------------------------------------------------- opening from the order picker

void TestImportPhotoToServer::openers_data()
{
    QTest::addColumn<bool>("rawDownload");
    QTest::addColumn<QList<int>>("orders"); // sample orders handed over
    QTest::addColumn<QString>("box");       // title and text of the box shown ("" = none)
    QTest::addColumn<QString>("orderPath"); // the orders' folder as the web service gives it ("" = the studio's)
    QTest::newRow("import: the order becomes current") << false << QList<int>{0} << "" << "";
    QTest::newRow("import: several orders") << false << QList<int>{0, 1} << "提示请只选择一个订单" << "";
    QTest::newRow("raw download of an order without a folder")
        << true << QList<int>{4} << "警告订单E5520-1还没有订单目录，无法下载原图" << "";
    QTest::newRow("raw download of a relative folder")
        << true << QList<int>{1} << "警告订单路径无效：pic/B-1/" << "pic/B-1/";
    QTest::newRow("raw download of the order's folder") << true << QList<int>{1} << "提示下载完毕！共下" << "";
}

void TestImportPhotoToServer::openers()
{
    QFETCH(bool, rawDownload);
    QFETCH(QList<int>, orders);
    QFETCH(QString, box);
    QFETCH(QString, orderPath);
    QPointer<SearchOrderWindow> picker = rawDownload ? SingleOrder::openRawDownloadPicker(ShopSettings::current())
                                                     : SingleOrder::openImportPicker(ShopSettings::current());
    picker->show();
    const QString target = m_roots->path("local");
    FileDialogs::queueAnswer(target);
    QList<ImportOrderModel *> records;
    for (int i : orders) {
        QJsonObject json = m_studio->orderJson(m_studio->orders.at(i));
        json["shotdate"] = json["shotdate"].toString() + " 09:30:00";
        if (!orderPath.isEmpty())
            json["orderpath"] = orderPath;
        records << new ImportOrderModel(json);
    }
    emit picker->addSelectOrderSigl(records); // the records are the receiver's now

    const bool opens = box.isEmpty() || box.startsWith("提示下载");
    QCOMPARE(picker->isVisible(), !opens);
    if (!opens) {
        QCOMPARE(MsgBox::lastShown().title + MsgBox::lastShown().text, box);
    } else if (!rawDownload) {
        const standin::SampleOrder &o = m_studio->orders.at(orders.first());
        m_window = testsupport::waitForWindow<ImportPhotoToServer>();
        QVERIFY(m_window);
        QVERIFY(testsupport::waitFor([&] { return ready(); }));
        // the window works for the order handed over (its shot day without the time)
        QCOMPARE(QStringList({m_server.lastRequest("get_order_path").field("order_photo_id"),
                              widget<QLineEdit>("label_id")->text(), widget<QLineEdit>("lineEdit_otherdate")->text(),
                              widget<QPushButton>("pushButton_photodate")->text(),
                              widget<QLineEdit>("label_name")->text(), widget<QLineEdit>("lineEdit_cameraman")->text(),
                              widget<QLineEdit>("lineEdit_dresser")->text()}),
                 QStringList({o.id, o.payForKey, o.serviceTimes, o.shotDate, o.customerNames(), o.role1, o.role2}));
        // A box without parent (as the run's end shows) closing over the window does not end the program.
        QWidget box;
        box.show();
        QTimer::singleShot(0, &box, &QWidget::close);
        QCOMPARE(lastWindowClosedUntil([&] { return !box.isVisible(); }), 0);
        // deleted when closed; the picker comes back
        QTimer::singleShot(0, m_window.data(), &QWidget::close);
        QCOMPARE(lastWindowClosedUntil([&] { return !m_window && picker->isVisible(); }), 0);
        QVERIFY(picker->isVisible());
    } else {
        // The download runs, ends with its box, closes and goes; the picker comes back.
        QCOMPARE(lastWindowClosedUntil([&] { return picker->isVisible(); }), 0);
        QVERIFY(picker->isVisible());
        QCOMPARE(MsgBox::lastShown().title + MsgBox::lastShown().text.left(7), box);
        QCOMPARE(FileDialogs::asked().last().caption, QStringLiteral("选择本地目录"));
        QVERIFY(QFileInfo::exists(target + "/DSC_1001.CR2"));
    }
    delete picker.data();
}

TESSALY_TEST_MAIN(TestImportPhotoToServer)
#include "tst_importphototoserver.moc"
