#include "barcodedownload.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "fileoperation.h"
#include "globals.h"
#include "importordermodel.h"
#include "importordersphotodlg.h"
#include "importphototoserver.h"
#include "messageboxdialog.h"
#include "mounts.h"
#include "msgbox.h"
#include "platform.h"
#include "runoutput.h"
#include "searchorder.h"
#include "separationattempt.h"
#include "shownwhole.h"
#include "singleorderopeners.h"
#include "orderwindowtests.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTableView>
#include <QDeadlineTimer>
#include <QThread>
#include <QThreadPool>

#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

Q_DECLARE_METATYPE(standin::Reply)

// Qt's own end of the program: the routines that run once the event loop is over, as the application
// object goes.
void qt_call_post_routines();

namespace {

using testsupport::child;

using testsupport::fileTree;
using testsupport::kA1203Folder;
using testsupport::takeReportBox;
using testsupport::today;

// The names and bytes of the files in a folder.
QMap<QString, QByteArray> filesOf(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        files.insert(name, testsupport::bytesOf(folder + name));
    return files;
}

// The order a request of the run is about: its "order_photo_id", in the body or (the barcode) the query.
QString orderIdOf(const standin::Request &r)
{
    for (const auto &field : r.queryFields) {
        if (field.first == "order_photo_id")
            return field.second;
    }
    return r.field("order_photo_id");
}

} // namespace

class TestSeparationRun : public QObject, protected testsupport::SeparationRunFixture
{
    Q_OBJECT

    QMap<QString, QByteArray> m_planted; // files a redo's change put or moved, with their bytes
    QStringList m_cutShort;              // temporary files a redo's change put as a kill leaves them
    std::shared_ptr<testsupport::Mounted> m_busy; // a copy held busy during a run, until a redo's change

    SearchOrder *open() { return openWindow<SearchOrder>(); }
    // A day after the sample order A1203 was shot, as yyyy-MM-dd.
    QString aDay(int days) const
    {
        return QDate::fromString(m_studio->orders.at(0).shotDate, Qt::ISODate).addDays(days).toString(Qt::ISODate);
    }
    // The product folders' label of the sample order A1203; its pick-up day unless said otherwise.
    QString label(const QString &express, QString date = QString(), bool doubled = false) const
    {
        if (date.isEmpty())
            date = aDay(40);
        return QString(" A1203") + (doubled ? "  " : " ") + "张小宝-李梅-张伟 " + date + "取  【" + express + "】";
    }
    // Another window separates the order Z9001, whose many finished photos have no previews yet and carry
    // A1203's names (IMG_0001.jpg on), into a save folder of its own, and is closed (是) while its
    // thumbnail job makes them; *previews gets Z9001's preview folder.
    bool closeAnotherOrderDuringItsThumbnails(QString *previews)
    {
        standin::SampleStudio studio = *m_studio;
        standin::SampleOrder z = studio.orders.at(0);
        z.id = "9001";
        z.payForKey = "Z9001";
        z.orderPath = studio.picRoot + "Z9001/";
        z.finished.clear();
        const QByteArray photo = testsupport::jpegWithOrientation(QSize(3000, 2000), 0);
        for (int i = 1; i <= 200; ++i) {
            z.finished.append({QString("IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')), QSize(3000, 2000), 0, false});
            if (!testsupport::put(z.orderPath + "成品/" + z.finished.last().name, photo))
                return false;
        }
        *previews = z.orderPath + "成品缩略图/";
        const QString elsewhere = m_roots->path("elsewhere");
        if (!QDir().mkpath(*previews) || !QDir().mkpath(elsewhere))
            return false;
        studio.orders.append(z);
        studio.installReplies(m_server);

        SearchOrder *other = open();
        if (!testsupport::listAllOrders(other, m_server))
            return false;
        for (int row = 0; row < other->orderList().size(); ++row) {
            if (other->orderList().at(row).orderpayforkey == z.payForKey)
                testsupport::clickRow(other, row);
        }
        child<QLineEdit>(other, "pathLineEdit")->setText(elsewhere);
        child<QPushButton>(other, "pushButton_separate")->click();
        if (!testsupport::waitFor([&] { return !QDir(*previews).entryList(QDir::Files).isEmpty(); }))
            return false;
        MsgBox::setNextAnswer(QMessageBox::Yes);
        other->close();
        MsgBox::clearShown();
        m_server.clearRequests();
        return true;
    }

    // Another window separates A1203 into the same save folder and is closed (是) while its copy of the
    // album's photo `slow` is still under way (slowed down, as on a slow share); the copy lands later.
    // stalled: the copy hangs instead, as on a share that stalls, until Platform::releaseWrites().
    // *closed gets that window's guard.
    bool closeTheSameOrderDuringItsProductCopies(const QString &slow, std::shared_ptr<WindowGuard> *closed,
                                                 bool stalled = false)
    {
        const QString album = dated() + kA1203Folder + "后期一厂" + label("快递") + "/水晶相册 相册 1/";
        if (stalled)
            Platform::holdWrites("水晶相册 相册 1/" + slow);
        else
            Platform::slowWrites("水晶相册 相册 1/" + slow, 4000);
        SearchOrder *other = open();
        if (!listAndTick(other, {0}))
            return false;
        *closed = other->guard();
        child<QPushButton>(other, "pushButton_separate")->click();
        // its product copies have started, none waits in the pool; a stalled one is the last under way
        if (!testsupport::waitFor([&] { return !QDir(album).entryList(QDir::Files).isEmpty(); })
            || !testsupport::waitFor([&] { return (*closed)->queuedJobs() == 0; })
            || (stalled && !testsupport::waitFor([&] { return (*closed)->runningJobs() == 1; })))
            return false;
        MsgBox::setNextAnswer(QMessageBox::Yes);
        other->close();
        MsgBox::clearShown();
        m_server.clearRequests();
        return true;
    }
    // Another desk, separating the order with goods of before, copies IMG_0002 into the folder of 实木摆台
    // (which holds IMG_0001 alone) once the copies of w's run have ended, before its end, and records it in
    // the journal beside the record. busy: that copy is then held busy (m_busy), so that it cannot be removed.
    void anotherDeskCopiesDuringTheRun(SearchOrder *w, bool busy = false)
    {
        const std::shared_ptr<WindowGuard> guard = w->guard();
        const QString folder = "后期一厂/实木摆台" + label("自取") + "/";
        const QString order = dated() + kA1203Folder;
        const standin::SampleStudio studio = *m_studio;
        std::shared_ptr<testsupport::Mounted> *held = busy ? &m_busy : nullptr;
        m_server.setHandler("orderdetail", [studio, guard, folder, order, held](const standin::Request &r) {
            QDeadlineTimer deadline(testsupport::kWaitMs); // the run's copies have written their facts
            while (guard->runningJobs() > 0 && !deadline.hasExpired())
                QThread::msleep(10);
            const QString copy = order + folder + "IMG_0002.jpg";
            QFile::copy(order + "其它/成品/IMG_0002.jpg", copy);
            // its facts go into the journal beside the record, as a copy's do once it is in place
            const QJsonObject fact{{"folder", folder}, {"name", "IMG_0002.jpg"}, {"size", double(QFileInfo(copy).size())},
                                   {"time", double(QFileInfo(copy).lastModified().toMSecsSinceEpoch())}};
            QFile journal(order + ".分件记录.jsonl");
            if (journal.open(QIODevice::Append))
                journal.write("\n" + QJsonDocument(fact).toJson(QJsonDocument::Compact) + "\n");
            if (held)
                *held = std::make_shared<testsupport::Mounted>(copy, testsupport::Mounted::Busy);
            return standin::Reply::json(studio.detailReply(*studio.orderFor(r)));
        });
    }
    // A window closed while its copy into folder is under way, until release is released: its guard.
    std::shared_ptr<WindowGuard> closedWindowCopyingInto(const QString &folder, QSemaphore *release)
    {
        const std::shared_ptr<WindowGuard> guard = WindowGuard::create(this);
        guard->startJob([release] { release->acquire(); }, 0, folder);
        if (!testsupport::waitFor([&] { return guard->runningJobs() == 1; }))
            return nullptr;
        guard->close();
        return guard;
    }
    // The window's bar says it waits for a closed window's copies.
    static bool saysItWaits(SearchOrder *w)
    {
        return child<QProgressBar>(w, "progressBar")->text().startsWith("等待已关闭的分件窗口复制完该订单的文件");
    }
    // What the window's bar says.
    static QString barText(SearchOrder *w) { return child<QProgressBar>(w, "progressBar")->text(); }
    // A1203's claim in the save folder, and a claim as another desk writes it.
    QString claimOfA1203() const { return dated() + kA1203Folder + ".分件进行中"; }
    static QByteArray anotherDesksClaim() { return R"({"desk":"前台2","program":"4242-1k9x"})"; }

private slots:
    void initTestCase() { QVERIFY(startWrittenStudio()); }
    void init()
    {
        QVERIFY(prepareRun());
        g_isshow_subproduct = "1";
        g_xztp = "1";
        g_sjfjxz = "0";
        g_separateMode.clear();
        g_markDirName = "标注";
        g_finishedDirName = "成品";
    }
    void cleanup() { QVERIFY(closeWindows()); }

    void oneOrderTree_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("rejected"); // g_xztp
        QTest::addColumn<QString>("raws");     // g_sjfjxz
        QTest::addColumn<QString>("factory");  // the factory as the goods reply's JSON text has it ("" as sampled)
        QTest::addColumn<QStringList>("files");
        // What happens in another window just before or during the run: "closed", Z9001 closed while its
        // thumbnails are made; "import", B2207's import window opened through its opener; "same order",
        // A1203 closed while its product copies are under way ("…, album cut": its copy of a photo the
        // goods then drop); "… copy held", a window closed while its copy into that order's folder runs on.
        QTest::addColumn<QString>("meanwhile");

        const QString O = today() + kA1203Folder;
        const QString W = O + "其它/";
        const QString express = "后期一厂" + label("快递") + "/";
        const QString pickup = "后期一厂" + label("自取") + "/";
        const QStringList finished{"IMG_0001.jpg", "IMG_0002.jpg", "IMG_0003.jpg", "IMG_0004.JPG"};
        // the product folders below the order folder, with or without their factory levels
        auto products = [&](const QString &expressLevel, const QString &pickupLevel, const QString &homeLevel) {
            QStringList p;
            for (const QString &f : finished)
                p << O + expressLevel + "水晶相册 相册 1/" + f;
            p << O + homeLevel + "实木摆台" + label("自取") + "/IMG_0001.jpg"
              << O + expressLevel + "全家福套装 套装 1/挂画 挂画 1/IMG_0002.jpg"
              << O + expressLevel + "全家福套装 套装 1/挂画(1) 挂画 1/IMG_0001.jpg"
              << O + expressLevel + "相框x大 相框 1/IMG_0002.jpg" << O + expressLevel + "相框x大 相框 1/IMG_0003.jpg"
              << O + pickupLevel + "光盘U盘 光盘 1/" << O + pickupLevel + "设计服务 设计 1/"
              << O + pickupLevel + "入册加片 加片 1/IMG_0004.JPG"
              << O + homeLevel + "加急摆台" + label("快递", aDay(44) + "急", true) + "/IMG_0001.jpg"
              << O + pickupLevel + "相框x大(1) 相框 1/IMG_0001.jpg";
            return p;
        };
        // the sheets of the order in its work folder: barcode, thumbnails (named ".jpg"), marked pictures
        auto sheets = [&](const QString &work) {
            QStringList s{work + "条形码.jpg", work + "明细制作单.pdf", work + "快递产品信息.pdf",
                          work + "制作单缩略图/marks/IMG_0002.jpg"};
            for (const QString &f : finished)
                s << work + "制作单缩略图/" + f.chopped(4) + ".jpg";
            return s;
        };
        QStringList work = sheets(W);
        for (const QString &f : finished)
            work << W + "成品/" + f;
        work << W + "标注/IMG_0002.jpg";
        const QStringList normal = products(express, pickup, "后期一厂/");
        // the whole tree of the order separated with its rejected photos
        const QStringList whole = normal + work + QStringList{W + "汰片/IMG_0009.jpg"};

        QTest::newRow("normal") << "" << "1" << "0" << "" << whole << "";
        QTest::newRow("no rejected photos") << "" << "0" << "0" << "" << normal + work + QStringList{W + "汰片/"} << "";
        // a factory name that climbs, with a lone surrogate ("\ud800" in the reply): it stays one folder name
        QTest::newRow("factory name that climbs")
            << "" << "1" << "0" << "../../ESCAPED\\ud800"
            << products("....ESCAPED" + label("快递") + "/", "....ESCAPED" + label("自取") + "/", "....ESCAPED/") + work
                   + QStringList{W + "汰片/IMG_0009.jpg"}
            << "";
        QTest::newRow("raw siblings")
            << "" << "1" << "1" << ""
            << normal + work
                   + QStringList{W + "汰片/IMG_0009.jpg", W + "成品/IMG_0001.CR2", W + "成品/IMG_0002.CR2",
                                 W + "成品/IMG_0003.CR2"}
            << "";
        QStringList orlan = products("", "", "") + sheets(O);
        for (const QString &f : finished)
            orlan << O + "成品/" + f;
        orlan << O + "标注/IMG_0002.jpg";
        QTest::newRow("Orlan分件") << "Orlan分件" << "1" << "0" << "" << orlan << "";
        QTest::newRow("another window's order closed during its thumbnails")
            << "" << "1" << "0" << "" << whole << "closed";
        QTest::newRow("another order's import window opened during the run")
            << "" << "1" << "0" << "" << whole << "import";
        // its late copy and the run's own land on one name: no photo twice
        QTest::newRow("the same order's window closed during its product copies")
            << "" << "1" << "0" << "" << whole << "same order";
        // the goods then cut the album to its first photo: the closed window's late copy of IMG_0003 lands
        // before the redo's product stage looks at the album, so the redo takes it out
        QStringList cut = normal;
        for (const char *dropped : {"IMG_0002.jpg", "IMG_0003.jpg", "IMG_0004.JPG"})
            QVERIFY(cut.removeOne(O + express + "水晶相册 相册 1/" + dropped));
        // that window's copy hangs on a stalled share past the claim's expiry: the claim is no longer written
        // anew; the run goes on under it (this program's), once the share does
        QTest::newRow("the same order's window closed while its copy hung on a stalled share")
            << "" << "1" << "0" << "" << whole << "same order, copy stalled";
        QTest::newRow("the same order's window closed during its copy of a photo the goods then drop")
            << "" << "1" << "0" << "" << cut + work + QStringList{W + "汰片/IMG_0009.jpg"} << "same order, album cut";
        // the run's product stage waits for it (and says so); another order's copy is not waited for
        QTest::newRow("the same order's copy held by a closed window")
            << "" << "1" << "0" << "" << whole << "same order's copy held";
        QTest::newRow("another order's copy held by a closed window")
            << "" << "1" << "0" << "" << whole << "B2207's copy held";
        // that copy holds the pool's one thread, and the run's jobs wait behind it past a claim's expiry: jobs
        // waiting their turn are no stalled copy, the run's claim is written anew
        QTest::newRow("the run's jobs waiting behind another order's copy")
            << "" << "1" << "0" << "" << whole << "pool's one thread, B2207's copy held";
        // another desk, separating the order with goods of before, copies a photo the run's plan does not
        // hold into one of its folders, and records it in the journal after the run's copies: taken out at the
        // finish
        QTest::newRow("another desk's copy the plan does not hold recorded during the run")
            << "" << "1" << "0" << "" << whole << "another desk";
        // another desk separates the order: the run waits (and says so) without writing beside it, and goes
        // on once that desk has finished
        QTest::newRow("another desk separating the order")
            << "" << "1" << "0" << "" << whole << "another desk's claim";
        // another program imports a finished photo into the order on a slow share as the run starts: the run
        // waits for it (and says so), then separates the order with that photo, as a fresh run would
        QTest::newRow("another program importing the order")
            << "" << "1" << "0" << "" << whole + QStringList{W + "成品/IMG_0005.jpg", W + "制作单缩略图/IMG_0005.jpg"}
            << "another program's import";
        // the same with the batch import of this program
        QTest::newRow("this program importing the order")
            << "" << "1" << "0" << "" << whole + QStringList{W + "成品/IMG_0005.jpg", W + "制作单缩略图/IMG_0005.jpg"}
            << "this program's import";
        // the other way round: this program's batch import and single-order window import finished photos
        // into the order while the run holds it (its order details held back): both wait, saying so, and
        // import into the order as the run left it once it is done; the run reads none of their photos
        QTest::newRow("this program's imports of the order started during the run")
            << "" << "1" << "0" << "" << whole << "this program's imports wait";
        // the same with another program of this desk, still running
        QTest::newRow("this desk's other program separating the order")
            << "" << "1" << "0" << "" << whole << "this desk's claim, this program";
        // the order's folder lies on a share that stalls as the run writes its claim: the window goes on
        // taking its events meanwhile, and the run goes on once the share does
        QTest::newRow("the order's claim written on a share that stalls")
            << "" << "1" << "0" << "" << whole << "claim held";
        // a desk that ended during its attempt left its claim, not written anew for 10 minutes: taken over
        QTest::newRow("a claim left by a desk that ended")
            << "" << "1" << "0" << "" << whole << "stale claim";
        // the program ended (its last window closed) while a closed window's copy of the order was under way:
        // the copy lands and the claim goes with the program; separated again, the order is finished
        QTest::newRow("the program ended while a closed window's copy of the order was under way")
            << "" << "1" << "0" << "" << whole << "program ended";
        // that copy hangs on a stalled share past the claim's expiry: the program's end waits no longer, and
        // leaves the claim as it was, to age (this desk's next start takes it over)
        QTest::newRow("the program ended while a closed window's copy of the order hung on a stalled share")
            << "" << "1" << "0" << "" << whole << "program ended, copy stalled";
        // a claim of this desk whose program is no longer running (killed, then the program started again):
        // taken over at once, fresh as it is; also when its process id now runs another program
        QTest::newRow("a fresh claim left by this desk's program that ended")
            << "" << "1" << "0" << "" << whole << "this desk's ended claim";
        // an empty file under the claim's name: a program cut off between its claim's making and its bytes;
        // taken over at once
        QTest::newRow("an empty claim left by a program cut off while it made it")
            << "" << "1" << "0" << "" << whole << "empty claim file";
        QTest::newRow("a fresh claim of this desk whose process id runs another program")
            << "" << "1" << "0" << "" << whole
            << "this desk's claim, another program";
        // that program was writing its claim anew on a stalled share: the write's temporary lands in the order's
        // folder once the run has begun (the share catching up); the run that took the order over removes it
        // with what else that program cut short
        QTest::newRow("a fresh claim left by this desk's program that ended, its cut write landing late")
            << "" << "1" << "0" << "" << whole << "this desk's ended claim, its write landing late";
    }
    void oneOrderTree()
    {
        QFETCH(QString, mode);
        QFETCH(QString, rejected);
        QFETCH(QString, raws);
        QFETCH(QString, factory);
        QFETCH(QStringList, files);
        QFETCH(QString, meanwhile);
        g_separateMode = mode;
        g_xztp = rejected;
        g_sjfjxz = raws;
        if (testsupport::ImportingProgram::runAsChild(m_studio->orderJson(m_studio->orders.at(0))))
            return; // the other program, importing into the order
        const auto sampledAgain = qScopeGuard([this] { serveStudio(); });
        // A1203's previews on the store: current, so the run leaves them as they are
        const QString previews = m_studio->orders.at(0).orderPath + "成品缩略图/";
        const QMap<QString, QByteArray> previewsBefore = filesOf(previews);
        QVERIFY(!previewsBefore.isEmpty());
        if (meanwhile.startsWith("program ended")) {
            const bool stalled = meanwhile.endsWith("stalled");
            const QString given = qEnvironmentVariable("TESSALY_SEPARATION_OUT");
            if (!given.isEmpty()) { // the program that ends, separating into the save folder given
                m_out = given;
                std::shared_ptr<WindowGuard> closed;
                QVERIFY(closeTheSameOrderDuringItsProductCopies("IMG_0001.jpg", &closed, stalled));
                QVERIFY(Platform::isRegularFile(claimOfA1203()) && closed->runningJobs() > 0);
                if (!stalled)
                    return; // nothing more runs its event loop
                // the copy has made no progress for longer than a claim's expiry, by the folder's clock, and
                // the program ends (as once its last window has closed); the test's own clean-up would wait
                // for the copy
                Platform::skewFolderClocks(4 * 60 * 1000);
                std::printf("claim written at %lld\n",
                            QFileInfo(claimOfA1203()).lastModified().toMSecsSinceEpoch());
                std::fflush(stdout);
                qt_call_post_routines();
                QFAIL("the program's end came back while a copy hung");
            }
            QProcess program;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TESSALY_SEPARATION_OUT", m_out);
            program.setProcessEnvironment(env);
            program.setProcessChannelMode(QProcess::MergedChannels);
            program.start(QCoreApplication::applicationFilePath(),
                          {QString("oneOrderTree:") + QTest::currentDataTag()});
            QVERIFY(program.waitForFinished(testsupport::kWaitMs)); // also when a copy hangs
            const QByteArray said = program.readAll();
            QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0, said.right(2000).constData());
            const QString late = album(dated() + kA1203Folder) + "IMG_0001.jpg";
            if (stalled) {
                // the copy never landed; the claim is left as it was when the program's end began, not
                // written anew since
                QVERIFY(!QFileInfo::exists(late));
                const QRegularExpressionMatch written = QRegularExpression("claim written at (\\d+)").match(said);
                QVERIFY2(written.hasMatch(), said.right(2000).constData());
                QVERIFY(Platform::isRegularFile(claimOfA1203()));
                QCOMPARE(QFileInfo(claimOfA1203()).lastModified().toMSecsSinceEpoch(), written.captured(1).toLongLong());
            } else {
                // its late copy landed before it ended, and its claim went with it
                QVERIFY(QFileInfo(late).isFile());
                QVERIFY(!QFileInfo::exists(claimOfA1203()) && !QFileInfo(claimOfA1203()).isSymLink());
            }
        }
        QString closedPreviews;
        if (meanwhile == "closed")
            QVERIFY(closeAnotherOrderDuringItsThumbnails(&closedPreviews));
        std::shared_ptr<WindowGuard> closedWindow; // a closed window whose copy into an order folder runs on
        if (meanwhile == "same order")
            QVERIFY(closeTheSameOrderDuringItsProductCopies("IMG_0001.jpg", &closedWindow));
        if (meanwhile == "same order, copy stalled") {
            auto shareGoesOn = qScopeGuard([] { Platform::releaseWrites(); }); // should a check fail
            QVERIFY(closeTheSameOrderDuringItsProductCopies("IMG_0001.jpg", &closedWindow, true));
            testsupport::LogCapture log("tessaly.separation");
            // its copy has made no progress for longer than a claim's expiry, by the folder's clock
            Platform::skewFolderClocks(4 * 60 * 1000);
            const qint64 written = QFileInfo(claimOfA1203()).lastModified().toMSecsSinceEpoch();
            QVERIFY(testsupport::waitFor([&] { return !log.warnings().filter("no longer written anew").isEmpty(); }));
            QCOMPARE(QFileInfo(claimOfA1203()).lastModified().toMSecsSinceEpoch(), written);
            Platform::skewFolderClocks(0);
            shareGoesOn.dismiss();
        }
        if (meanwhile == "same order, album cut") {
            QVERIFY(closeTheSameOrderDuringItsProductCopies("IMG_0003.jpg", &closedWindow));
            redoChange("one photo", dated() + kA1203Folder);
        }
        if (closedWindow) // its claim on the order stays while its copy is under way; the run goes on under it
            QVERIFY(Platform::isRegularFile(claimOfA1203()) && closedWindow->runningJobs() > 0);
        if (meanwhile == "same order, copy stalled")
            Platform::releaseWrites(); // the share goes on
        QSemaphore held;
        const auto letGo = qScopeGuard([&] {
            held.release();
            QThreadPool::globalInstance()->waitForDone();
        });
        QThreadPool *pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        const auto threadsBack = qScopeGuard([pool, threads] { pool->setMaxThreadCount(threads); });
        if (meanwhile.startsWith("pool's one thread"))
            pool->setMaxThreadCount(1);
        if (meanwhile.endsWith("copy held")) {
            const QString order = meanwhile.startsWith("same") ? kA1203Folder : QString("B2207-服务2 王芳-刘强 快递/");
            closedWindow = closedWindowCopyingInto(dated() + order, &held);
            QVERIFY(closedWindow);
        }
        if (!factory.isEmpty()) {
            const standin::SampleStudio studio = *m_studio;
            m_server.setHandler("ordergoods20230521", [studio, factory](const standin::Request &r) {
                QByteArray body = QJsonDocument(studio.goodsReply(*studio.orderFor(r))).toJson(QJsonDocument::Compact);
                body.replace(QString("\"后期一厂\"").toUtf8(), "\"" + factory.toUtf8() + "\"");
                return standin::Reply::raw(200, body, "application/json");
            });
        }

        QPointer<ImportPhotoToServer> importWindow;
        const auto importClosed = qScopeGuard([&] { delete importWindow.data(); });
        if (meanwhile == "import") {
            const standin::SampleStudio studio = *m_studio;
            m_server.setHandler("ordergoods20230521", [studio](const standin::Request &r) {
                return standin::Reply::json(studio.goodsReply(*studio.orderFor(r))).withDelay(300);
            });
        }

        if (meanwhile.endsWith("claim")) {
            QVERIFY(testsupport::put(claimOfA1203(), anotherDesksClaim()));
            if (meanwhile == "stale claim") // its time lies 10 minutes back on the folder's clock
                Platform::skewFolderClocks(10 * 60 * 1000);
        }
        if (meanwhile == "empty claim file")
            QVERIFY(testsupport::put(claimOfA1203(), QByteArray()));
        QProcess otherProgram; // runs while the run looks at the claim naming it
        const auto otherEnded = qScopeGuard([&] {
            otherProgram.kill();
            otherProgram.waitForFinished();
        });
        if (meanwhile.startsWith("this desk's")) {
            if (meanwhile.endsWith("another program")) {
                otherProgram.start("sleep", {"60"});
                QVERIFY(otherProgram.waitForStarted());
            } else if (meanwhile.endsWith("this program")) { // a program file of this program's name
                const QString folder = m_roots->path("program-%1/").arg(m_outs);
                const QString named = folder + QFileInfo(QCoreApplication::applicationFilePath()).fileName();
                QVERIFY(QDir().mkpath(folder) && QFile::copy(QStandardPaths::findExecutable("sleep"), named));
                QVERIFY(QFile::setPermissions(named, QFile::ReadOwner | QFile::ExeOwner));
                otherProgram.start(named, {"60"});
                QVERIFY(otherProgram.waitForStarted());
            } else { // a process that has ended, and been collected
                otherProgram.start("true", QStringList());
                QVERIFY(otherProgram.waitForStarted());
            }
            const qint64 pid = otherProgram.processId();
            QVERIFY(pid > 0);
            if (meanwhile.contains("ended claim"))
                QVERIFY(otherProgram.waitForFinished() && otherProgram.processId() == 0);
            const QJsonObject claim{{"desk", QSysInfo::machineHostName()},
                                    {"machine", QString::fromLatin1(QSysInfo::machineUniqueId())},
                                    {"program", QString::number(pid) + "-2k7x9q"}};
            QVERIFY(testsupport::put(claimOfA1203(), QJsonDocument(claim).toJson(QJsonDocument::Compact)));
        }

        // What an import of the row adds to the order goes once it has ended: the next rows separate the order
        // as sampled.
        const QString store = m_studio->orders.at(0).orderPath;
        const QStringList storeBefore = fileTree(store);
        const auto storeAsSampled = qScopeGuard([&] {
            for (const QString &added : fileTree(store)) {
                if (!storeBefore.contains(added) && !added.endsWith('/'))
                    QFile::remove(store + added);
            }
        });
        testsupport::ImportingProgram importer; // its copy into the order held until it goes
        const QString photo = m_roots->path("card/IMG_0005.jpg");
        if (meanwhile == "another program's import") {
            QVERIFY(testsupport::put(photo, testsupport::jpegWithOrientation(QSize(300, 200), 0)));
            QVERIFY(importer.start("oneOrderTree", m_studio->orders.at(0).orderPath, photo,
                                   m_studio->picRoot + '|' + m_studio->bakRoot, m_roots->path(QString("signals%1/").arg(m_outs))));
        }
        ImportOrderModel record(m_studio->orderJson(m_studio->orders.at(0)));
        std::unique_ptr<ImportOrderThread> ownImport; // this program's, its copy held until released
        const auto ownImportEnded = qScopeGuard([&] {
            Platform::releaseWrites();
            if (ownImport)
                ownImport->wait();
        });
        if (meanwhile == "this program's import") {
            QVERIFY(testsupport::put(photo, testsupport::jpegWithOrientation(QSize(300, 200), 0)));
            record.setFinishedFiles({photo});
            Platform::holdWrites("成品/");
            const QString picRoot = g_picPath;
            const QString bakRoot = g_bakPicPath;
            g_picPath = m_studio->picRoot; // the run's roots
            g_bakPicPath = m_studio->bakRoot;
            ownImport.reset(new ImportOrderThread(&record, ImportFinishedPhotos));
            g_picPath = picRoot;
            g_bakPicPath = bakRoot;
            ownImport->setParallelPhotos(1);
            ownImport->start();
            QVERIFY2(testsupport::waitFor([&] { return Platform::heldWrites() > 0 || ownImport->isFinished(); })
                         && Platform::heldWrites() > 0,
                     qPrintable(ownImport->errorText()));
        }

        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0}));
        if (meanwhile == "another desk")
            anotherDeskCopiesDuringTheRun(w);
        testsupport::LogCapture log("tessaly.separation");
        if (meanwhile == "import") {
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([this] { return m_server.requestCount("ordergoods20230521") == 1; }));
            importWindow = SingleOrder::openImportWindow(ImportOrderModel(m_studio->orderJson(m_studio->orders.at(1))),
                                                         ShopSettings::current());
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
            QVERIFY(importWindow && importWindow->isVisible());
        } else if (meanwhile.endsWith("'s import")) {
            // the bar names the order and that another program (or this one's import) imports it, whole, and that
            // closing the window stops the wait; nothing of the order is read or made meanwhile
            const QString says = meanwhile.startsWith("another")
                                     ? "订单A1203正在本机的另一个程序中导片，等待其导片完成（可关闭窗口停止等待）"
                                     : "订单A1203正在本程序的导片窗口中导片，等待其导片完成（可关闭窗口停止等待）";
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([w, says] { return barText(w) == says; }));
            QTest::qWait(600); // it looks again, and waits on
            QVERIFY(w->isSeparating());
            const QProgressBar *bar = child<QProgressBar>(w, "progressBar");
            QCOMPARE(barText(w), says);
            QVERIFY(bar->isVisible());
            QVERIFY2(bar->fontMetrics().horizontalAdvance(says) < bar->width(),
                     qPrintable(QString("%1 > %2").arg(bar->fontMetrics().horizontalAdvance(says)).arg(bar->width())));
            QCOMPARE(fileTree(m_out), QStringList{today() + kA1203Folder + ".分件进行中"});
            QCOMPARE(m_server.requestCount("getorderpic"), 0);
            if (ownImport) {
                Platform::releaseWrites();
                QVERIFY(ownImport->wait(testsupport::kWaitMs));
                QCOMPARE(ownImport->failures(), QStringList());
            } else {
                QVERIFY(importer.go());
            }
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        } else if (meanwhile == "this program's imports wait") {
            const standin::SampleStudio studio = *m_studio;
            standin::Gate detailsHeld;
            m_server.setHandler("orderdetail", [studio, detailsHeld](const standin::Request &r) {
                return standin::Reply::json(studio.detailReply(*studio.orderFor(r))).heldBy(detailsHeld);
            });
            const auto detailsGo = qScopeGuard([&] { detailsHeld.open(); }); // should a check fail
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([this] { return m_server.requestCount("orderdetail") == 1; }));
            QVERIFY(w->isSeparating());
            const QString batchPhoto = m_roots->path("card/IMG_0005.jpg");
            const QString singlePhoto = m_roots->path("card/IMG_0006.jpg");
            QVERIFY(testsupport::put(batchPhoto, testsupport::jpegWithOrientation(QSize(300, 200), 0)));
            QVERIFY(testsupport::writeJpeg(singlePhoto, QSize(300, 200), 0, false, QColor(30, 140, 90)));
            // the batch import window, on the shop's roots
            const QString picRoot = g_picPath;
            const QString bakRoot = g_bakPicPath;
            const auto rootsBack = qScopeGuard([&] {
                g_picPath = picRoot;
                g_bakPicPath = bakRoot;
            });
            g_picPath = m_studio->picRoot;
            g_bakPicPath = m_studio->bakRoot;
            const std::unique_ptr<importOrdersPhotoDlg> batch(new importOrdersPhotoDlg(nullptr, ShopSettings::current()));
            const QPointer<ImportOrderModel> added(new ImportOrderModel(m_studio->orderJson(m_studio->orders.at(0))));
            batch->show();
            QVERIFY(QMetaObject::invokeMethod(batch.get(), "getNewOrderSlot", Q_ARG(QList<ImportOrderModel *>, {added.data()})));
            batch->findChild<QRadioButton *>("importTypeRadio1")->click();
            added->setFinishedFiles({batchPhoto});
            QPushButton *batchStart = batch->findChild<QPushButton *>("importAllBtn");
            batchStart->click();
            // the single-order window
            importWindow = SingleOrder::openImportWindow(ImportOrderModel(m_studio->orderJson(m_studio->orders.at(0))),
                                                         ShopSettings::current());
            QVERIFY(importWindow);
            auto singleReady = [&] {
                return !importWindow->isLoading() && !importWindow->isImporting()
                       && importWindow->findChild<QPushButton *>("importPic2")->isEnabled();
            };
            QVERIFY(testsupport::waitFor(singleReady));
            FileDialogs::queueAnswer({singlePhoto});
            importWindow->findChild<QPushButton *>("selectButton")->click();
            importWindow->findChild<QPushButton *>("importButton")->click();
            // both say whole that the run keeps the order, and nothing of theirs is in it
            const QString says = "订单A1203-1正在本程序的分件窗口中分件，等待其分件完成（可关闭窗口停止等待）";
            for (const QWidget *window : {static_cast<const QWidget *>(batch.get()), static_cast<const QWidget *>(importWindow.data())}) {
                QVERIFY(testsupport::waitFor([&] { return !testsupport::showsNone(window, says); }));
                QString cutText;
                QVERIFY2(testsupport::showsWhole(window, says, &cutText), qPrintable(cutText));
            }
            const QString store = m_studio->orders.at(0).orderPath;
            QVERIFY(!QFileInfo::exists(store + "成品/IMG_0005.jpg") && !QFileInfo::exists(store + "成品/IMG_0006.jpg"));
            detailsHeld.open();
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
            // then each imports its photo into the order
            QVERIFY(testsupport::waitFor([&] {
                return !batch->isImporting() && batchStart->isEnabled() && singleReady() && MsgBox::shown().size() == 2;
            }));
            QStringList boxes;
            for (const MsgBox::Shown &box : MsgBox::shown())
                boxes << box.title + "|" + box.text;
            boxes.sort();
            QCOMPARE(boxes.size(), 2);
            QCOMPARE(boxes.at(0), QString("导入完成|1个订单已经全部导完"));
            QVERIFY2(boxes.at(1).startsWith("导片成功!|"), qPrintable(boxes.at(1)));
            MsgBox::clearShown();
            QCOMPARE(testsupport::bytesOf(store + "成品/IMG_0005.jpg"), testsupport::bytesOf(batchPhoto));
            QVERIFY(QFileInfo(store + "成品/IMG_0006.jpg").isFile());
            for (const QWidget *window : {static_cast<const QWidget *>(batch.get()), static_cast<const QWidget *>(importWindow.data())})
                QVERIFY(testsupport::showsNone(window, says));
        } else if (meanwhile == "same order's copy held") {
            // the run waits before its product stage, and says so: no product folder is made meanwhile
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([w] { return saysItWaits(w); }));
            QVERIFY(w->isSeparating());
            QCOMPARE(fileTree(m_out).filter("后期一厂"), QStringList());
            held.release();
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        } else if (meanwhile.startsWith("pool's one thread")) {
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([w] { return w->guard()->queuedJobs() > 0; }));
            // they wait longer than a claim's expiry, by the folder's clock, until its next freshening
            const qint64 written = QFileInfo(claimOfA1203()).lastModified().toMSecsSinceEpoch();
            Platform::skewFolderClocks(4 * 60 * 1000);
            const bool freshened = testsupport::waitFor(
                [&] { return QFileInfo(claimOfA1203()).lastModified().toMSecsSinceEpoch() != written; });
            Platform::skewFolderClocks(0);
            QVERIFY(freshened);
            QVERIFY(log.warnings().filter("no longer written anew").isEmpty());
            held.release();
            pool->setMaxThreadCount(threads);
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        } else if (meanwhile.endsWith("write landing late")) {
            // it lands during the work folder's copies, after the run's start removed what a kill left
            auto shareGoesOn = qScopeGuard([] { Platform::releaseWrites(); }); // should a check fail
            Platform::holdWrites("其它/成品/");
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([] { return Platform::heldWrites() > 0; }));
            QVERIFY(testsupport::put(dated() + kA1203Folder + ".writing-0dead0claim", QByteArray()));
            Platform::releaseWrites();
            shareGoesOn.dismiss();
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        } else if (meanwhile == "claim held") {
            Platform::holdWrites(".分件进行中");
            QSemaphore answered; // should the window not answer, the share stalls no longer than the test waits
            std::thread watchdog([&answered] {
                if (!answered.tryAcquire(1, testsupport::kWaitMs))
                    Platform::releaseWrites();
            });
            child<QPushButton>(w, "pushButton_separate")->click();
            const bool heldAside = testsupport::waitFor([] { return Platform::heldWrites() == 1; });
            answered.release();
            watchdog.join();
            QVERIFY(heldAside);
            QVERIFY(w->isSeparating() && fileTree(m_out).filter("后期一厂").isEmpty());
            Platform::releaseWrites();
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        } else if (meanwhile == "another desk's claim" || meanwhile.endsWith("this program")) {
            // the bar names the order and who separates it, and that closing the window stops the wait
            const QString says = meanwhile.endsWith("this program")
                                     ? "订单A1203正在本机的另一个程序中分件，等待其分件完成（可关闭窗口停止等待）"
                                     : "订单A1203正在前台2上分件，等待其分件完成（可关闭窗口停止等待）";
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([w, says] { return barText(w) == says; }));
            QTest::qWait(1500); // it looks again, and waits on
            QVERIFY(w->isSeparating());
            QCOMPARE(barText(w), says);
            QCOMPARE(fileTree(m_out), QStringList{today() + kA1203Folder + ".分件进行中"}); // nothing made beside it
            QVERIFY(QFile::remove(claimOfA1203())); // that desk has finished
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        } else {
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        }
        // a closed window's copy of the run's order ended before the run's end, another order's runs on
        if (closedWindow)
            QCOMPARE(closedWindow->runningJobs(), meanwhile.startsWith("B2207") ? 1 : 0);
        held.release();
        QVERIFY(MsgBox::shown().isEmpty());
        QThreadPool::globalInstance()->waitForDone(); // a closed window's copy still under way included
        testsupport::waitFor([this] { return !QFileInfo::exists(claimOfA1203()); }); // it goes after the run's end
        files.sort();
        if (fileTree(m_out) != files)
            qDebug().noquote() << fileTree(m_out).join("\n");
        QCOMPARE(fileTree(m_out), files);
        // the run's diagnostic lines, and never the token
        for (const char *line : {"postOrder Json:", "markPath====", "HTML的数据", "子产品名称：", "imgName=", "picinfo"})
            QVERIFY2(!log.lines().filter(QString::fromUtf8(line)).isEmpty(), line);
        QVERIFY(log.lines().filter(g_apiToken).isEmpty());

        const testsupport::ReportBox report = takeReportBox();
        QVERIFY(report.shown);
        QCOMPARE(report.text, QString("订单A1203:\n不存在的照片:加急摆台:IMG_9999.jpg\n空产品:全家福套装、光盘U盘\n\n"));
        QCOMPARE(report.file, dated() + "A1203、A1203分件结果.txt");
        QCOMPARE(FileOperation::readDatFile("path_separatePhotos.dat", 2), QStringList{m_out.chopped(1)});

        const standin::Request goods = m_server.lastRequest("ordergoods20230521");
        QCOMPARE(goods.fieldNames(), (QStringList{"token", "order_photo_id", "shopid", "superid", "personid", "uid",
                                                  "is_qu"}));
        QCOMPARE(goods.field("order_photo_id"), QString("5001"));
        QCOMPARE(goods.field("is_qu"), QString("1"));
        // every request of the run is about its order
        for (const char *action : {"ordergoods20230521", "getbarcodegen", "getorderpic", "orderdetail"}) {
            QCOMPARE(m_server.requestCount(action), 1);
            QCOMPARE(orderIdOf(m_server.lastRequest(action)), QString("5001"));
        }
        // nothing of another order reached A1203's previews (a job of a closed window included)
        QThreadPool::globalInstance()->waitForDone();
        QMap<QString, QByteArray> previewsAfter = filesOf(previews);
        if (meanwhile.endsWith("'s import") || meanwhile.endsWith("imports wait")) // the imports' own previews
            QVERIFY(previewsAfter.remove("IMG_0005.jpg") == 1);
        if (meanwhile.endsWith("imports wait"))
            QVERIFY(previewsAfter.remove("IMG_0006.jpg") == 1);
        QCOMPARE(previewsAfter.keys(), previewsBefore.keys());
        QVERIFY(previewsAfter == previewsBefore);
        // the closed window's job made no more of its own order's previews either
        if (!closedPreviews.isEmpty())
            QVERIFY(QDir(closedPreviews).entryList(QDir::Files).size() < 100);
        for (const char *hidden : {"groupBox", "progressBar", "label_finishOrdersNum"})
            QVERIFY2(child(w, hidden)->isHidden(), hidden);
        QVERIFY(!saysItWaits(w));
        QVERIFY(!w->orderList().at(0).processed);
    }

    void secondRunMakesNumberedTwins()
    {
        const QString O = dated() + kA1203Folder;
        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0}));
        QVERIFY(runToEnd(w));
        takeReportBox();
        QVERIFY(runToEnd(w));
        takeReportBox();
        QVERIFY(!QFileInfo::exists(O + ".分件记录.json")); // a finished order leaves no record of its attempt
        // a finished order separated again from another window gets its twins too
        QPointer<SearchOrder> closed(w);
        w->close();
        QVERIFY(testsupport::waitFor([&] { return closed.isNull(); }));
        w = open();
        QVERIFY(listAndTick(w, {0}));
        QVERIFY(runToEnd(w));
        takeReportBox();

        const QString express = O + "后期一厂" + label("快递") + "/";
        const QString pickup = O + "后期一厂" + label("自取") + "/";
        for (const QString &twin :
             {express + "水晶相册 (1) 相册 1/IMG_0004.JPG", express + "水晶相册 (2) 相册 1/IMG_0004.JPG",
              O + "后期一厂/实木摆台 (1)" + label("自取") + "/IMG_0001.jpg",
              O + "后期一厂/加急摆台 (2)" + label("快递", aDay(44) + "急") + "/IMG_0001.jpg",
              express + "挂画 (1)/IMG_0002.jpg", express + "挂画(1) (2)/IMG_0001.jpg", pickup + "光盘U盘 (2) 光盘 1",
              pickup + "相框x大(1) (1) 相框 1/IMG_0001.jpg"})
            QVERIFY2(QFileInfo::exists(twin), qPrintable(twin));
        // the work folder's copies are replaced, not numbered
        QCOMPARE(QDir(O + "其它/成品").entryList(QDir::Files).size(), 4);
    }

    void failuresAreReported_data()
    {
        QTest::addColumn<QString>("copyFails");
        QTest::addColumn<QString>("mkdirFails");
        QTest::addColumn<QByteArray>("broken"); // a finished photo IMG_0005.jpg of these bytes (none when null)
        QTest::addColumn<QString>("box");    // a warning instead of the report
        QTest::addColumn<QString>("report"); // the order's one block
        // the save folder on a "full" or "read-only" disk, or what else is in the order's folder's way: its
        // claim a link or a FIFO before the run, its record removed or replaced or its claim taken over during the run
        QTest::addColumn<QString>("disk");

        const QString O = today() + kA1203Folder;
        const QByteArray jpeg = testsupport::jpegWithOrientation(QSize(400, 300), 0);
        const QString missing = "订单A1203:\n不存在的照片:加急摆台:IMG_9999.jpg";
        const QString empty = "\n空产品:全家福套装、光盘U盘\n";
        QTest::newRow("an empty finished photo") << "" << "" << QByteArray("") << ""
                                                 << missing + empty + "无法读取的照片:IMG_0005.jpg" << "";
        QTest::newRow("a cut-off finished photo") << "" << "" << jpeg.left(jpeg.size() / 2) << ""
                                                  << missing + empty + "无法读取的照片:IMG_0005.jpg" << "";
        // an order with a failure keeps the record of its product folders, and says so
        const QString kept = "订单A1203:\n有文件未完成，分件记录已保留，再次分件该订单时沿用本次的产品文件夹：{out}" + O
                             + ".分件记录.json\n不存在的照片:加急摆台:IMG_9999.jpg";
        // each failure with its reason in words
        QTest::newRow("a finished copy") << "其它/成品/IMG_0003.jpg" << "" << QByteArray() << ""
                                         << kept + "、水晶相册:IMG_0003.jpg、相框x大:IMG_0003.jpg" + empty
                                                + "复制失败:{out}" + O + "其它/成品/IMG_0003.jpg（没有权限）" << "";
        QTest::newRow("a product copy") << "入册加片 加片 1/IMG_0004.JPG" << "" << QByteArray() << ""
                                        << kept + empty + "复制失败:{out}" + O + "后期一厂" + label("自取")
                                               + "/入册加片 加片 1/IMG_0004.JPG（没有权限）" << "";
        QTest::newRow("the work folder") << "" << "其它" << QByteArray()
                                         << "分件文件夹创建失败：{out}" + O + "其它/（没有权限）" << "" << "";
        QTest::newRow("a read-only save folder") << "" << "" << QByteArray()
                                                 << "分件文件夹创建失败：{out}" + today() + "（磁盘只读或有写保护）" << ""
                                                 << "read-only";
        // every copy, thumbnail, mark, sheet and the barcode: "复制失败:" names each with its reason
        QTest::newRow("a full save folder") << "" << "" << QByteArray() << "" << "" << "full";
        QTest::newRow("product folders on a disk out of entries") << "" << "" << QByteArray() << "" << "" << "entries";
        // something not written as a claim is in the claim's place: it is not read, the order not separated
        const QString unsure = "订单A1203:\n该订单未分件：分件标记无法读取（%1），无法确定其它电脑是否正在分件该订单，"
                               "请删除该文件后重新分件：{out}" + O + ".分件进行中";
        QTest::newRow("the order's claim a link") << "" << "" << QByteArray() << "" << unsure.arg("是链接") << "claim a link";
        QTest::newRow("the order's claim a FIFO") << "" << "" << QByteArray() << "" << unsure.arg("不是普通文件")
                                                  << "claim a FIFO";
        // someone else changed the order's folders during the run: it is not checked against the plan nor
        // reported done; separated again, it is finished
        const QString recordChanged = "订单A1203:\n分件期间该订单的分件记录被删除、移走或替换，产品文件夹未按本次分件核对：{out}"
                                      + O + ".分件记录.json\n不存在的照片:加急摆台:IMG_9999.jpg" + empty.chopped(1);
        QTest::newRow("the record removed during the run") << "" << "" << QByteArray() << "" << recordChanged
                                                           << "record removed";
        // put back by another desk's attempt, the same bytes in a new file
        QTest::newRow("the record replaced during the run") << "" << "" << QByteArray() << "" << recordChanged
                                                            << "record replaced";
        // the run writes nothing more into the order's folder: neither its sheets nor, taken over during the
        // product copies (a desk asleep that wakes up), its barcode and thumbnails
        const QString takenOver = "订单A1203:\n分件期间该订单的分件标记被删除或被其它电脑接手，产品文件夹未按本次分件核对：{out}" + O
                                  + ".分件进行中\n分件已停止，该订单其余的文件未写入：{out}" + O
                                  + "\n不存在的照片:加急摆台:IMG_9999.jpg" + empty.chopped(1);
        QTest::newRow("the claim taken over by another desk during the run")
            << "" << "" << QByteArray() << "" << takenOver << "claim taken over";
        QTest::newRow("the claim taken over by another desk during the product copies")
            << "" << "" << QByteArray() << "" << takenOver << "claim taken over during the product copies";
        QTest::newRow("the claim taken over by another desk before the thumbnails")
            << "" << "" << QByteArray() << "" << takenOver << "claim taken over before the thumbnails";
        // found lost once the order is finished, its record gone: the order is done all the same, and the
        // claim named beside that
        QTest::newRow("the claim taken over by another desk right after the order was finished")
            << "" << "" << QByteArray() << ""
            << "订单A1203:\n该订单已分件完成；完成后发现该订单的分件标记被删除、无法读取或被其它电脑接手：{out}" + O
                   + ".分件进行中\n不存在的照片:加急摆台:IMG_9999.jpg" + empty.chopped(1)
            << "claim lost once finished";
        // the run's claim was being written anew on a share that stalled past its expiry, and another desk took
        // the order over meanwhile: the late write does not land over that desk's claim
        QTest::newRow("the claim taken over by another desk while its rewrite was held up")
            << "" << "" << QByteArray() << "" << takenOver << "claim taken over during its rewrite";
        // and its attempt's record replaced by the other desk's, the copies not yet begun stay out of its folders:
        // each named with why
        QTest::newRow("the order taken over by another desk with its product copies queued")
            << "" << "" << QByteArray() << "" << "" << "order taken over, copies queued";
        // nor one under way when the order was taken over (the desk woke up in its write), nor a journal line
        QTest::newRow("the order taken over by another desk with a product copy under way")
            << "" << "" << QByteArray() << "" << "" << "order taken over, a copy under way";
        // two attempts at one order, the second (other goods) going on in the first one's folders before the
        // first finishes: the first takes nothing of the second's out, and says so; the second finishes
        QTest::newRow("another attempt at the order going on before the attempt finishes")
            << "" << "" << QByteArray() << ""
            << "分件期间该订单的分件记录被删除、移走或替换，产品文件夹未按本次分件核对：{order}.分件记录.json"
            << "two attempts";
    }
    void failuresAreReported()
    {
        QFETCH(QString, copyFails);
        QFETCH(QString, mkdirFails);
        QFETCH(QByteArray, broken);
        QFETCH(QString, box);
        QFETCH(QString, report);
        QFETCH(QString, disk);
        const QString brokenPhoto = m_studio->orders.at(0).orderPath + "成品/IMG_0005.jpg";
        const auto removeBroken = qScopeGuard([&] { QFile::remove(brokenPhoto); });
        if (!broken.isNull())
            QVERIFY(testsupport::put(brokenPhoto, broken)); // still copied, and named
        if (!copyFails.isEmpty())
            Platform::failCopies(copyFails);
        if (!mkdirFails.isEmpty())
            Platform::failMkDirs(mkdirFails);
        const testsupport::Mounted readOnly(disk == "read-only" ? m_out : QString(), testsupport::Mounted::ReadOnly);
        // room for the work folder and the record alone: date, order, 其它, 成品 and its 4 copies, 汰片 and
        // 标注 with one each, the order's claim and the record
        const testsupport::Mounted entries(disk == "entries" ? m_out : QString(), testsupport::Mounted::Full, 14);
        if ((disk == "read-only" && !readOnly.active()) || (disk == "entries" && !entries.active()))
            QSKIP("no mounts here (a mount needs root and a system that allows it)");

        const QString order = dated() + kA1203Folder;
        if (disk == "two attempts") {
            // A: the album with photo 1; B, a moment later: the album with photos 1 to 3 and a frame with 2
            const QString work = order + "其它/成品/";
            QVERIFY(QDir().mkpath(work));
            for (int i = 1; i <= 3; ++i)
                QVERIFY(testsupport::writeJpeg(work + QString("IMG_000%1.jpg").arg(i), QSize(40 + i, 30)));
            auto wanted = [](const QString &folder, const QStringList &photos) {
                return SeparationAttempt::Wanted{folder, [folder](int n) { return folder.chopped(1) + QString(" (%1)/").arg(n); },
                                                 photos};
            };
            auto copyAll = [&](SeparationAttempt *attempt, const QList<SeparationAttempt::Wanted> &plan) {
                QList<SeparationAttempt::Placed> placed = attempt->place(plan);
                attempt->makeFolders(&placed);
                for (int i = 0; i < plan.size(); ++i) {
                    for (int j = 0; j < plan.at(i).photos.size(); ++j) {
                        QString failure;
                        QVERIFY2(attempt->copy(i, j, work + plan.at(i).photos.at(j), &failure), qPrintable(failure));
                    }
                }
                attempt->writeCopies();
            };
            SeparationAttempt a(order, true);
            copyAll(&a, {wanted("相册/", {"IMG_0001.jpg"})});
            SeparationAttempt b(order, true);
            copyAll(&b, {wanted("相册/", {"IMG_0001.jpg", "IMG_0002.jpg", "IMG_0003.jpg"}), wanted("摆台/", {"IMG_0002.jpg"})});
            const QStringList copies{".分件记录.json", ".分件记录.jsonl", "摆台/IMG_0002.jpg", "相册/IMG_0001.jpg",
                                     "相册/IMG_0002.jpg", "相册/IMG_0003.jpg"};
            QCOMPARE(fileTree(order).filter(QRegularExpression("^(?!其它/)")), copies);
            QStringList notes;
            QVERIFY(!a.finish(&notes));
            QCOMPARE(notes, QStringList{report.replace("{order}", order)});
            QCOMPARE(fileTree(order).filter(QRegularExpression("^(?!其它/)")), copies);
            notes.clear();
            QVERIFY(b.finish(&notes));
            QCOMPARE(notes, QStringList());
            QCOMPARE(fileTree(order).filter(QRegularExpression("^(?!其它/)")), copies.mid(2));
            return;
        }
        const QString outside = m_roots->path("outside-claim-%1").arg(m_outs);
        if (disk == "claim a link") { // to a file outside the order folder
            QVERIFY(testsupport::put(outside, anotherDesksClaim()));
            QVERIFY(QDir().mkpath(order));
            QVERIFY(QFile::link(outside, claimOfA1203()));
        }
        if (disk == "claim a FIFO") {
            QVERIFY(QDir().mkpath(order));
            QCOMPARE(::mkfifo(QFile::encodeName(claimOfA1203()).constData(), 0600), 0);
        }
        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0}));
        const bool beforeThumbnails = disk == "claim taken over before the thumbnails";
        const bool duringRewrite = disk == "claim taken over during its rewrite";
        if (disk.startsWith("record ") || disk == "claim taken over" || beforeThumbnails || duringRewrite) { // once the run's copies have ended
            const std::shared_ptr<WindowGuard> guard = w->guard();
            const standin::SampleStudio studio = *m_studio;
            const QString changed = disk.startsWith("record ") ? order + ".分件记录.json" : claimOfA1203();
            const QByteArray claim = anotherDesksClaim();
            const bool replaced = disk == "record replaced";
            standin::Gate takenOver; // before the thumbnails: the barcode comes after the other desk took the order
            if (beforeThumbnails)
                m_server.setReply("getbarcodegen", standin::Reply::raw(200, testsupport::jpegWithOrientation(QSize(300, 80), 0),
                                                                       "image/jpeg").heldBy(takenOver));
            m_server.setHandler(beforeThumbnails ? "getorderpic" : "orderdetail", [studio, guard, changed, claim, replaced,
                                                                                 beforeThumbnails, takenOver, duringRewrite](const standin::Request &r) mutable {
                QDeadlineTimer deadline(testsupport::kWaitMs);
                while (guard->runningJobs() > 0 && !deadline.hasExpired())
                    QThread::msleep(10);
                if (duringRewrite) { // the next time the claim is written anew, its write waits
                    Platform::holdWrites(".分件进行中");
                    while (Platform::heldWrites() == 0 && !deadline.hasExpired())
                        QThread::msleep(10);
                }
                const auto rewriteGoesOn = qScopeGuard([duringRewrite] {
                    if (duringRewrite)
                        Platform::releaseWrites();
                });
                const QByteArray record = testsupport::bytesOf(changed);
                QFile::remove(changed);
                if (changed.endsWith(".分件进行中")) // written anew by the desk that took it over
                    testsupport::put(changed, claim);
                if (replaced)
                    testsupport::put(changed, record);
                takenOver.open();
                const standin::SampleOrder &order = *studio.orderFor(r);
                return standin::Reply::json(beforeThumbnails ? studio.cropReply(order) : studio.detailReply(order));
            });
        }
        if (disk.startsWith("order taken over")) {
            // queued: one copy at a time, the first under way (begun, its journal line written), the rest
            // queued; a copy under way: the others landed before
            const bool queued = disk.endsWith("queued");
            QThreadPool *pool = QThreadPool::globalInstance();
            const int threads = pool->maxThreadCount();
            const auto restored = qScopeGuard([pool, threads] { pool->setMaxThreadCount(threads); });
            if (queued)
                pool->setMaxThreadCount(1);
            Platform::holdWrites(queued ? kA1203Folder + "后期一厂" : QString("入册加片"));
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([] { return Platform::heldWrites() > 0; }));
            const QRegularExpression productCopy("^后期一厂.*[^/]$");
            if (!queued)
                QVERIFY(testsupport::waitFor([&] { return fileTree(order).filter(productCopy).size() == 11; }));
            QVERIFY(QFile::remove(claimOfA1203()));
            QVERIFY(testsupport::put(claimOfA1203(), anotherDesksClaim()));
            const QString record = order + ".分件记录.json";
            const QByteArray bytes = testsupport::bytesOf(record);
            QVERIFY(QFile::remove(record) && testsupport::put(record, bytes));
            const QByteArray journal = testsupport::bytesOf(record + "l"); // now the other desk's
            Platform::releaseWrites();
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
            const QString text = takeReportBox().text;
            const QRegularExpressionMatch failed = QRegularExpression("\n复制失败:([^\n]*)").match(text);
            QVERIFY2(failed.hasMatch(), qPrintable(text));
            const QStringList entries = failed.captured(1).split("、");
            QCOMPARE(entries.size(), queued ? 12 : 1);
            for (const QString &entry : entries)
                QVERIFY2(entry.startsWith(order + "后期一厂") && entry.endsWith("（分件记录已被删除或替换，未复制）"),
                         qPrintable(entry));
            QVERIFY2(text.contains("分件已停止，该订单其余的文件未写入"), qPrintable(text));
            QCOMPARE(fileTree(order).filter(productCopy).size(), queued ? 0 : 11);
            QVERIFY(fileTree(order).filter(QRegularExpression("/\\.copying-")).isEmpty());
            QCOMPARE(testsupport::bytesOf(record + "l"), journal);
            return;
        }
        if (disk == "claim lost once finished") {
            // The order's last job (its folders checked, its record removed) waits in the one pool thread behind
            // the test's; once it has run, and before the window hears of it, another desk takes the order over.
            QThreadPool *pool = QThreadPool::globalInstance();
            const int threads = pool->maxThreadCount();
            const auto restored = qScopeGuard([pool, threads] { pool->setMaxThreadCount(threads); });
            pool->setMaxThreadCount(1);
            const std::shared_ptr<WindowGuard> guard = w->guard();
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([&] {
                return QFileInfo::exists(order + "其它/明细制作单.pdf") && QFileInfo::exists(order + "其它/快递产品信息.pdf");
            }));
            const auto go = std::make_shared<QSemaphore>();
            const auto released = qScopeGuard([go] { go->release(); }); // should a check fail
            pool->start([go] { go->acquire(); });
            QVERIFY(testsupport::waitFor([&] { return guard->queuedJobs() > 0; }));
            go->release();
            const QString record = order + ".分件记录.json";
            QDeadlineTimer deadline(testsupport::kWaitMs); // no event taken meanwhile
            while ((QFileInfo::exists(record) || guard->runningJobs() > 0) && !deadline.hasExpired())
                QThread::msleep(10);
            QVERIFY(!QFileInfo::exists(record));
            QVERIFY(QFile::remove(claimOfA1203()));
            QVERIFY(testsupport::put(claimOfA1203(), anotherDesksClaim()));
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        } else if (disk == "claim taken over during the product copies") { // once one of them is under way
            Platform::holdWrites("入册加片");
            child<QPushButton>(w, "pushButton_separate")->click();
            QVERIFY(testsupport::waitFor([] { return Platform::heldWrites() > 0; }));
            QVERIFY(QFile::remove(claimOfA1203()));
            QVERIFY(testsupport::put(claimOfA1203(), anotherDesksClaim()));
            Platform::releaseWrites();
            QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        } else {
            const std::unique_ptr<testsupport::FileSizeLimit> full(disk == "full" ? new testsupport::FileSizeLimit(0)
                                                                                   : nullptr);
            QVERIFY(runToEnd(w));
        }
        const testsupport::ReportBox shown = takeReportBox();
        if (disk == "entries") { // each of the 11 product folders named once with why, and none of its photos
            const QRegularExpressionMatch failed = QRegularExpression("\n复制失败:([^\n]*)").match(shown.text);
            QVERIFY2(failed.hasMatch(), qPrintable(shown.text));
            const QStringList entries = failed.captured(1).split("、");
            QVERIFY2(entries.filter("文件或文件夹不存在").isEmpty(), qPrintable(shown.text));
            QStringList products = entries.filter(dated() + kA1203Folder + "后期一厂");
            QCOMPARE(products.removeDuplicates(), 0);
            QCOMPARE(products.size(), 11);
            QCOMPARE(products.filter(QRegularExpression("/（" + errorText(ENOSPC) + "）$")), products);
            QVERIFY(QFileInfo(dated() + kA1203Folder + ".分件记录.json").isFile()); // for the next attempt
            return;
        }
        if (disk == "full") {
            const QRegularExpressionMatch failed = QRegularExpression("\n复制失败:([^\n]*)").match(shown.text);
            QVERIFY2(failed.hasMatch(), qPrintable(shown.text));
            const QStringList entries = failed.captured(1).split("、");
            const QString full = "（" + errorText(EFBIG) + "）";
            for (const QString &entry : entries) // a sheet the printer left cut short says so
                QVERIFY2(entry.endsWith(full) || entry.endsWith(".pdf（未能完整写入）"), qPrintable(entry));
            for (const char *file : {"其它/成品/IMG_0003.jpg", "其它/制作单缩略图/IMG_0003.jpg",
                                     "其它/制作单缩略图/marks/IMG_0002.jpg", "其它/条形码.jpg"})
                QVERIFY2(entries.contains(dated() + kA1203Folder + file + full), file);
            return;
        }
        if (!box.isEmpty()) {
            QVERIFY(!shown.shown);
            QCOMPARE(MsgBox::lastShown().title, QString("警告"));
            QCOMPARE(MsgBox::lastShown().text, box.replace("{out}", m_out));
            return;
        }
        QVERIFY(MsgBox::shown().isEmpty());
        // one block for the order; the copy jobs report missing photos in the order they end
        QString text = shown.text;
        const QRegularExpression missing("(不存在的照片:)([^\n]*)");
        const QRegularExpressionMatch m = missing.match(text);
        if (m.hasMatch()) {
            QStringList names = m.captured(2).split("、");
            names.sort();
            text.replace(m.capturedStart(2), m.capturedLength(2), names.join("、"));
        }
        QCOMPARE(text, report.replace("{out}", m_out) + "\n\n");
        if (disk.startsWith("claim a")) { // nothing written beside it, and it is left as it is
            QCOMPARE(fileTree(order).filter(QRegularExpression("[^/]$")),
                     disk == "claim a link" ? QStringList{".分件进行中"} : QStringList()); // a FIFO is no file
            struct stat claim;
            QCOMPARE(::lstat(QFile::encodeName(claimOfA1203()).constData(), &claim), 0);
            QVERIFY(disk == "claim a link" ? S_ISLNK(claim.st_mode) : S_ISFIFO(claim.st_mode));
            QCOMPARE(testsupport::bytesOf(outside), disk == "claim a link" ? anotherDesksClaim() : QByteArray("<missing>"));
            return;
        }
        if (disk.startsWith("claim taken over")) { // the other desk's claim stays; once it has finished, the order is redone
            QCOMPARE(testsupport::bytesOf(claimOfA1203()), anotherDesksClaim());
            QStringList sheets{"其它/明细制作单.pdf", "其它/快递产品信息.pdf"};
            if (disk.endsWith("product copies"))
                sheets << "其它/条形码.jpg";
            if (beforeThumbnails) { // the barcode came when the run had stopped
                BarcodeDownload *barcode = w->findChild<BarcodeDownload *>();
                QVERIFY(barcode && testsupport::waitFor([barcode] { return barcode->isFinished(); }));
                sheets << "其它/条形码.jpg";
            }
            if (disk.endsWith("product copies") || beforeThumbnails)
                sheets << "其它/制作单缩略图/";
            for (const QString &f : sheets)
                QVERIFY2(!QFileInfo::exists(order + f), qPrintable(f));
            QVERIFY(QFile::remove(claimOfA1203()));
        }
        if (disk.startsWith("claim taken over") || disk == "record replaced")
            serveStudio(); // nothing changes during the redo

        // separated again from a new window, as after a restart: what failed is filled in, in the same folders
        const QString record = dated() + kA1203Folder + ".分件记录.json";
        QCOMPARE(QFileInfo::exists(record), report.contains("复制失败") || disk.startsWith("claim taken over")
                                                || disk == "record replaced");
        if (!QFileInfo::exists(record))
            return;
        Platform::clearFaults();
        QPointer<SearchOrder> closed(w);
        w->close();
        QVERIFY(testsupport::waitFor([&] { return closed.isNull(); }));
        SearchOrder *again = open();
        QVERIFY(listAndTick(again, {0}));
        QVERIFY(runToEnd(again));
        QVERIFY(!takeReportBox().text.contains("复制失败"));
        const QRegularExpression twin(" \\(\\d+\\)|\\(\\d+\\)\\.jpg$", QRegularExpression::CaseInsensitiveOption);
        QCOMPARE(fileTree(dated()).filter(twin), QStringList());
        QVERIFY(QFileInfo::exists(dated() + kA1203Folder + "后期一厂" + label("自取") + "/入册加片 加片 1/IMG_0004.JPG"));
        QVERIFY(!QFileInfo::exists(record));
    }

    // The dated folder of the day before today in the save folder.
    QString earlierDay() const { return m_out + QDate::currentDate().addDays(-1).toString(Qt::ISODate) + "/"; }
    // A1203's express folder level and its album folder in the order folder order.
    QString expressLevel(const QString &order) const { return order + "后期一厂" + label("快递") + "/"; }
    QString album(const QString &order) const { return expressLevel(order) + "水晶相册 相册 1/"; }
    // The goods the web service answers from now on: the studio's, with edit applied to "ordergoods0".
    void serveGoods(const std::function<void(QJsonArray *)> &edit)
    {
        const standin::SampleStudio studio = *m_studio;
        m_server.setHandler("ordergoods20230521", [studio, edit](const standin::Request &r) {
            QJsonObject reply = studio.goodsReply(*studio.orderFor(r));
            QJsonObject goods = reply.value("order").toObject();
            QJsonArray first = goods.value("ordergoods0").toArray();
            edit(&first);
            goods.insert("ordergoods0", first);
            reply.insert("order", goods);
            return standin::Reply::json(reply);
        });
    }
    // A1203's goods with the album as it is (a), a product "水晶相册 (1)" beside it, named as the album's
    // first twin, with two of its photos (b), both or neither.
    void serveAlbumAndItsNamesake(bool a, bool b)
    {
        serveGoods([a, b](QJsonArray *goods) {
            for (int i = 0; i < goods->size(); ++i) {
                QJsonObject album = goods->at(i).toObject();
                if (album.value("goodname").toString() != "水晶相册")
                    continue;
                QJsonObject namesake = album;
                namesake.insert("id", "500199");
                namesake.insert("goodname", "水晶相册 (1)");
                namesake.insert("picpath", "IMG_0002.jpg|IMG_0003.jpg");
                goods->removeAt(i);
                if (b)
                    goods->insert(i, namesake);
                if (a)
                    goods->insert(i, album);
                return;
            }
        });
    }
    // Before the first run of an order whose redo is tested (sheetsOfAnOrder).
    void redoSetup(const QString &redo, const QString &order)
    {
        if (redo == "a photo named IMG:4.jpg") { // a legal name on Linux
            QVERIFY(testsupport::writeJpeg(m_studio->orders.at(0).orderPath + "成品/IMG:4.jpg", QSize(40, 30)));
            serveGoods([](QJsonArray *goods) {
                QJsonObject album = goods->at(0).toObject();
                album.insert("picpath", album.value("picpath").toString() + "|IMG:4.jpg");
                (*goods)[0] = album;
            });
        }
        if (redo.contains("album named 243 bytes")) // its folder takes 252 bytes, its first twin 256
            serveGoods([](QJsonArray *goods) {
                QJsonObject album = goods->at(0).toObject();
                album.insert("goodname", QString("水").repeated(81));
                (*goods)[0] = album;
            });
        if (redo.contains("times refused")) // a share that keeps no date: the album's copies get the time of the copy
            Platform::refuseMetadata("水晶相册 相册 1/");
        if (redo == "three attempts") { // the album's folder is taken: it gets its first twin, as its namesake
            QVERIFY(QDir().mkpath(album(order)));
            serveAlbumAndItsNamesake(true, true);
        }
    }
    // What changes before an order whose run ended early is separated again (order: its folder of the run).
    // Files it puts or moves (in or out of the order folder) go into m_planted, to be found as they are.
    void redoChange(const QString &redo, const QString &order)
    {
        const QString record = order + ".分件记录.json";
        auto plant = [this](const QString &path, const QByteArray &bytes) {
            QVERIFY(testsupport::put(path, bytes));
            m_planted.insert(path, bytes);
        };
        if (redo == "a file of the user's")
            plant(album(order) + "客人自选.jpg", "the user's");
        if (redo.startsWith("express level immutable")) { // it is lifted; the clerk makes the album's folder, empty
            QCOMPARE(QProcess::execute("chattr", {"-i", expressLevel(order)}), 0);
            QVERIFY(QDir().mkpath(album(order)));
        }
        auto journalLine = [&](const QJsonObject &fact) {
            QFile journal(record + "l");
            QVERIFY(journal.open(QIODevice::Append));
            journal.write("\n" + QJsonDocument(fact).toJson(QJsonDocument::Compact) + "\n");
        };
        if (redo == "journal left, no products") { // a line of the album's first copy, as the attempt wrote it
            const Platform::FileFacts copy = Platform::fileFacts(album(order) + "IMG_0001.jpg");
            journalLine({{"folder", album(QString())}, {"name", "IMG_0001.jpg"}, {"size", double(copy.size)},
                         {"time", double(copy.modified)}, {"changed", copy.changed}, {"id", copy.id}});
            const standin::SampleStudio studio = *m_studio;
            m_server.setHandler("ordergoods20230521", [studio](const standin::Request &r) {
                QJsonObject reply = studio.goodsReply(*studio.orderFor(r));
                QJsonObject goods = reply.value("order").toObject();
                for (const char *list : {"ordergoods0", "ordergoods2"})
                    goods.insert(list, QJsonArray());
                reply.insert("order", goods);
                return standin::Reply::json(reply);
            });
        }
        if (redo == "a journal of many lines for one name") { // each a copy about to land, of another size
            QFile journal(record + "l");
            QVERIFY(journal.open(QIODevice::Append));
            const QByteArray folder = album(QString()).toUtf8();
            QByteArray lines("\n");
            for (int i = 0; i < 20000; ++i)
                lines += "{\"folder\":\"" + folder + "\",\"name\":\"IMG_0002.jpg\",\"size\":" + QByteArray::number(i)
                         + ",\"time\":1,\"pending\":true,\"source\":\"其它/成品/IMG_0002.jpg\"}\n";
            QCOMPARE(journal.write(lines), qint64(lines.size()));
        }
        if (redo == "the journal of a large order") { // each copy of the album as it landed, then in place
            QFile journal(record + "l");
            QVERIFY(journal.open(QIODevice::Append));
            const QByteArray folder = album(QString()).toUtf8();
            QByteArray lines("\n");
            for (int i = 0; i < 42000; ++i) {
                const QByteArray name = "P" + QByteArray::number(100000 + i) + ".jpg";
                const QByteArray size = QByteArray::number(3000000 + i);
                lines += "{\"folder\":\"" + folder + "\",\"name\":\"" + name + "\",\"size\":" + size
                         + ",\"time\":1714000000000,\"pending\":true,\"source\":\"其它/成品/" + name + "\"}\n";
                lines += "{\"folder\":\"" + folder + "\",\"name\":\"" + name + "\",\"size\":" + size
                         + ",\"time\":1714000000000,\"changed\":\"1714000000.123456789\",\"id\":\"2049:"
                         + QByteArray::number(7000000 + i) + "\"}\n";
            }
            QVERIFY(lines.size() > 12 * 1024 * 1024);
            QCOMPARE(journal.write(lines), qint64(lines.size()));
        }
        if (redo == "a journal line naming a finished copy") { // with its size and time, as a copy's earlier form
            const QFileInfo finished(order + "其它/成品/IMG_0001.jpg");
            journalLine({{"folder", "其它/成品/"}, {"name", "IMG_0001.jpg"}, {"size", double(finished.size())},
                         {"time", double(finished.lastModified().toMSecsSinceEpoch())}});
        }
        if (redo == "a journal line with a source outside") { // the clerk's file, the same bytes as the source
            const QString source = m_studio->orders.at(0).orderPath + "成品/IMG_0001.jpg";
            plant(album(order) + "客人自选.jpg", testsupport::bytesOf(source));
            journalLine({{"folder", album(QString())}, {"name", "客人自选.jpg"}, {"size", double(QFileInfo(source).size())},
                         {"time", double(QFileInfo(source).lastModified().toMSecsSinceEpoch())}, {"pending", true},
                         {"source", source}});
        }
        if (redo.contains("the clerk's IMG_0003")) // in place of the attempt's copy
            plant(album(order) + "IMG_0003.jpg", "the clerk's own photo");
        if (redo == "an edited photo") // a retoucher edits the copy in place
            plant(expressLevel(order) + "全家福套装 套装 1/挂画 挂画 1/IMG_0002.jpg", "retouched");
        if (redo.contains("an edit keeping its size and date")) { // in place, as a lossless rotation does
            const QString edited = album(order) + "IMG_0002.jpg";
            struct stat was;
            QCOMPARE(::stat(QFile::encodeName(edited).constData(), &was), 0);
            QFile f(edited);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray bytes = f.readAll();
            bytes[bytes.size() / 2] = char(~bytes.at(bytes.size() / 2));
            QVERIFY(f.seek(0) && f.write(bytes) == bytes.size());
            f.close();
            const struct timespec times[2] = {was.st_atim, was.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(edited).constData(), times, 0), 0);
            QCOMPARE(QFileInfo(edited).size(), qint64(was.st_size));
            m_planted.insert(edited, bytes);
        }
        if (redo.startsWith("killed")) {
            // What a kill leaves as the copies land: the record as the attempt wrote it before its first
            // copy (it lists none), and in its journal what each copy put there before it could land,
            // nothing of a copy in place.
            QJsonObject doc = QJsonDocument::fromJson(testsupport::bytesOf(record)).object();
            QJsonArray folders = doc.value("folders").toArray();
            for (int i = 0; i < folders.size(); ++i) {
                QJsonObject f = folders.at(i).toObject();
                f.insert("files", QJsonArray());
                folders[i] = f;
            }
            doc.insert("folders", folders);
            QVERIFY(testsupport::put(record, QJsonDocument(doc).toJson()));
            // A kill as the product folders were made: what the journal had of the levels about to be made,
            // the folders made, empty.
            const bool asMade = redo.contains("as its folders were made");
            QByteArray before;
            for (const QByteArray &line : testsupport::bytesOf(record + "l").split('\n')) {
                const QJsonObject fact = QJsonDocument::fromJson(line).object();
                if (asMade ? fact.contains("created") && fact.value("pending").toBool()
                            : fact.contains("created") || fact.value("pending").toBool())
                    before += line + '\n';
            }
            for (const QString &file : fileTree(order)) {
                if (asMade && !file.startsWith("其它/") && !file.endsWith("/") && !file.startsWith(".分件"))
                    QVERIFY(QFile::remove(order + file));
            }
            if (redo.contains("journal cut short")) // the kill came as the last line was written
                before += before.mid(before.lastIndexOf('\n', -2) + 1).left(40);
            QVERIFY(testsupport::put(record + "l", before));
        }
        if (redo.contains("cut short in the album")) { // a copy cut short as it was written
            QVERIFY(testsupport::put(album(order) + ".copying-2x9q0k7m1abcd", "half a pho"));
            if (redo.contains("claim not written")) // another desk may be writing it: it stays
                m_planted.insert(album(order) + ".copying-2x9q0k7m1abcd", "half a pho");
        }
        if (redo.contains("claim not written"))
            Platform::refuseOpens(".分件进行中");
        if (redo.contains("cut short in the work folders")) { // a finished copy, a thumbnail, a sheet, the record
            m_cutShort = QStringList{order + "其它/成品/.copying-3k9x0a1b2c", order + "其它/制作单缩略图/.writing-1q2w3e4r5t",
                                     order + "其它/.printing-Ab3dEf.pdf", order + ".writing-9z8y7x"};
            for (const QString &file : qAsConst(m_cutShort))
                QVERIFY(testsupport::put(file, "cut sh"));
            QVERIFY(QFile::link(order + "其它/.printing-Ab3dEf.pdf", order + "其它/成品/.writing-2b3c")); // no file
            QVERIFY(testsupport::put(order + "其它/.printing-notes.pdf", "the clerk's")); // no such name
        }
        if (redo.contains("IMG_0002 delivered again")) { // the retoucher's new version, bytes and date
            QVERIFY(testsupport::put(m_studio->orders.at(0).orderPath + "成品/IMG_0002.jpg",
                                     testsupport::jpegWithOrientation(QSize(64, 48), 0)));
            m_planted.insert(m_studio->orders.at(0).orderPath + "成品/IMG_0002.jpg",
                             testsupport::jpegWithOrientation(QSize(64, 48), 0));
        }
        if (redo == "journal is a FIFO") {
            QFile::remove(record + "l");
            QCOMPARE(::mkfifo(QFile::encodeName(record + "l").constData(), 0600), 0);
        }
        if (redo == "journal is a link") { // to a file outside the order folder
            const QString outside = m_roots->path("outside-journal-%1.jsonl").arg(m_outs);
            QVERIFY(testsupport::put(outside, testsupport::bytesOf(record + "l")));
            QFile::remove(record + "l");
            QVERIFY(QFile::link(outside, record + "l"));
            m_planted.insert(outside, testsupport::bytesOf(outside));
        }
        if (redo.contains("damaged record"))
            QVERIFY(testsupport::put(record, "{\"folders\": [{\"folder\": \"../../"));
        if (redo.endsWith("copy busy")) { // free again, and that desk done
            m_busy.reset();
            serveStudio();
        }
        if (redo.endsWith("IMG_0003 held"))
            Platform::failRemovals("水晶相册 相册 1/IMG_0003.jpg");
        if (redo == "next day") // the attempt was made the day before
            QVERIFY(QDir().rename(dated(), earlierDay()));
        if (redo.contains("album a link")) { // the album's folder moved out of the save folder, a link in its place
            const QString outside = m_roots->path("outside-album-%1/").arg(m_outs);
            QVERIFY(QDir().rename(album(order), outside));
            QVERIFY(QFile::link(outside.chopped(1), album(order).chopped(1)));
            for (const QString &name : QDir(outside).entryList(QDir::Files))
                m_planted.insert(outside + name, testsupport::bytesOf(outside + name));
        }
        if (redo == "record is a link") { // to a record outside the order folder
            const QString outside = m_roots->path("outside-record-%1.json").arg(m_outs);
            QVERIFY(QDir().rename(record, outside));
            QVERIFY(QFile::link(outside, record));
            m_planted.insert(outside, testsupport::bytesOf(outside));
        }
        if (redo == "record is a FIFO") {
            QVERIFY(QFile::remove(record));
            QCOMPARE(::mkfifo(QFile::encodeName(record).constData(), 0600), 0);
        }
        if (redo == "a record of more folders than any of ours") { // read as damaged at once, not gone through
            QJsonObject doc = QJsonDocument::fromJson(testsupport::bytesOf(record)).object();
            QJsonArray folders = doc.value("folders").toArray();
            for (int i = 0; i < 10000; ++i)
                folders.append(QJsonObject{{"planned", QString("x/%1/").arg(i)}, {"folder", QString("x/%1/").arg(i)},
                                           {"created", QJsonArray{"x/"}}, {"files", QJsonArray()}});
            doc.insert("folders", folders);
            QVERIFY(testsupport::put(record, QJsonDocument(doc).toJson()));
        }
        if (redo == "a record naming one folder twice" || redo == "copies not in the record") {
            QJsonObject doc = QJsonDocument::fromJson(testsupport::bytesOf(record)).object();
            QJsonArray folders = doc.value("folders").toArray();
            QVERIFY(folders.size() > 1);
            for (int i = 0; i < folders.size(); ++i) {
                QJsonObject f = folders.at(i).toObject();
                if (redo == "copies not in the record") // the program ended before it wrote them
                    f.insert("files", QJsonArray());
                else if (i == 1)
                    f.insert("folder", folders.at(0).toObject().value("folder"));
                folders[i] = f;
            }
            doc.insert("folders", folders);
            QVERIFY(testsupport::put(record, QJsonDocument(doc).toJson()));
        }
        if (redo == "three attempts") {
            // a stopped run leaves a file in the album's twin folder; the album and its namesake leave the
            // plan, then the namesake comes back alone (each attempt ends early), then both come back
            plant(expressLevel(order) + "水晶相册 (1) 相册 1/Thumbs.db", "thumbs");
            for (const bool namesake : {false, true}) {
                serveAlbumAndItsNamesake(false, namesake);
                m_server.queueReply("getorderpic", standin::Reply::refused("no", "0"));
                SearchOrder *between = open();
                QVERIFY(listAndTick(between, {0}));
                QVERIFY(runToEnd(between));
                QVERIFY(takeReportBox().text.contains("分件未完成（查询裁剪信息错误）"));
                QPointer<SearchOrder> closed(between);
                between->close();
                QVERIFY(testsupport::waitFor([&] { return closed.isNull(); }));
            }
            serveAlbumAndItsNamesake(true, true);
        }
        if (redo.contains("one photo") || redo.endsWith("dropped"))
            serveGoods([redo](QJsonArray *first) {
                for (int i = first->size() - 1; i >= 0; --i) {
                    QJsonObject good = first->at(i).toObject();
                    const QString name = good.value("goodname").toString();
                    if ((redo.endsWith("set dropped") && name == "全家福套装") || (redo == "frame dropped" && name == "相框*大")
                        || (redo.endsWith("album dropped") && name == "水晶相册")) {
                        first->removeAt(i);
                    } else if (redo.contains("one photo") && name == "水晶相册") {
                        good.insert("picpath", good.value("picpath").toString().section('|', 0, 0));
                        (*first)[i] = good;
                    }
                }
            });
    }
    // The order's window w (its run over) is closed, redoChange changes what the attempt left, and the
    // order is separated again from a new window. It goes on in the order's own product folders: no
    // numbered twins (twins: the record was of no use, and nothing of the first attempt is lost), no photo
    // twice, what the changed goods no longer hold taken out; every planted file stays as it was, and the
    // report holds note ({order}: the order's folder).
    void redoFromANewWindow(SearchOrder *w, const QString &redo, bool twins, QString note)
    {
        const QString order = dated() + kA1203Folder;
        const QString record = order + ".分件记录.json";
        auto products = [this] { return fileTree(dated()).filter(QRegularExpression("^(?!.*/其它/)")); };
        // the run's claim on the order goes once its last copy job has written the record
        QVERIFY(testsupport::waitFor([&] { return !QFileInfo::exists(claimOfA1203()); }));
        const QStringList made = products();
        QPointer<SearchOrder> closed(w);
        w->close();
        QVERIFY(testsupport::waitFor([&] { return closed.isNull(); }));
        m_planted.clear();
        m_cutShort.clear();
        redoChange(redo, order);
        if (QTest::currentTestFailed())
            return;
        m_server.setReply("getbarcodegen", standin::Reply::raw(200, testsupport::jpegWithOrientation(QSize(300, 80), 0),
                                                               "image/jpeg"));
        SearchOrder *again = open();
        QVERIFY(listAndTick(again, {0}));
        QVERIFY(runToEnd(again));
        const testsupport::ReportBox redone = takeReportBox();
        QVERIFY(redone.shown);
        note.replace("{order}", order).replace("{earlier}", earlierDay() + kA1203Folder);
        QVERIFY2(redone.text.contains(note), qPrintable(redone.text));
        QVERIFY(QFileInfo::exists(order + "其它/明细制作单.pdf"));
        QStringList plantedHere; // in the order's folder, as products() lists it
        for (auto file = m_planted.cbegin(); file != m_planted.cend(); ++file) {
            QVERIFY2(testsupport::bytesOf(file.key()) == file.value(), qPrintable(file.key()));
            if (file.key().startsWith(order))
                plantedHere << file.key().mid(dated().size());
        }
        for (const QString &file : qAsConst(m_cutShort))
            QVERIFY2(!QFileInfo::exists(file), qPrintable(file));
        if (redo.contains("naming a finished copy"))
            QVERIFY(QFileInfo(order + "其它/成品/IMG_0001.jpg").isFile());
        if (redo.contains("cut short in the work folders")) { // a link or another name is no temporary file
            QVERIFY(QFileInfo(order + "其它/成品/.writing-2b3c").isSymLink());
            QCOMPARE(testsupport::bytesOf(order + "其它/.printing-notes.pdf"), QByteArray("the clerk's"));
        }
        // gone with the finished order; kept while it lists what stayed or was not gone into, for the next
        // attempt
        QCOMPARE(QFileInfo::exists(record), redo == "record is a folder" || redo.endsWith("IMG_0003 held")
                                                || redo.contains("album a link") || redo.contains("claim not written"));
        Platform::clearFaults();
        const QStringList after = products();
        // a photo copied beside a file kept under its name
        const QStringList beside{redo == "an edited photo" ? expressLevel(kA1203Folder) + "全家福套装 套装 1/挂画 挂画 1/IMG_0002(1).jpg"
                                 : redo.endsWith("an edit keeping its size and date") ? album(kA1203Folder) + "IMG_0002(1).jpg"
                                                                                      : QString()};
        if (redo.contains("delivered again")) { // every copy of the photo is the new one (beside the edit)
            const QByteArray delivered = testsupport::jpegWithOrientation(QSize(64, 48), 0);
            QCOMPARE(testsupport::bytesOf(album(order) + (beside.first().isEmpty() ? "IMG_0002.jpg" : "IMG_0002(1).jpg")),
                     delivered);
            QCOMPARE(testsupport::bytesOf(expressLevel(order) + "全家福套装 套装 1/挂画 挂画 1/IMG_0002.jpg"), delivered);
        }
        const QRegularExpression twin(" \\(\\d+\\)|\\(\\d+\\)\\.jpg$", QRegularExpression::CaseInsensitiveOption);
        QStringList numbered = after.filter(twin);
        numbered.removeAll(beside.first());
        QCOMPARE(!numbered.isEmpty(), twins);
        if (redo.endsWith("no products")) { // nothing of the finished order changed, nothing of its attempt left
            QCOMPARE(after, made);
            QVERIFY(!QFileInfo::exists(record + "l"));
            return;
        }
        if (redo == "three attempts") { // no two products share a folder
            const QString express = expressLevel(order);
            QCOMPARE(filesOf(express + "水晶相册 (1) 相册 1/").keys(),
                     (QStringList{"IMG_0001.jpg", "IMG_0002.jpg", "IMG_0003.jpg", "IMG_0004.JPG", "Thumbs.db"}));
            QCOMPARE(filesOf(express + "水晶相册 (1) (1) 相册 1/").keys(), (QStringList{"IMG_0002.jpg", "IMG_0003.jpg"}));
        }
        if (twins) { // nothing of the first attempt lost
            for (const QString &file : made)
                QVERIFY2(QFileInfo::exists(dated() + file) || file.contains(".分件记录.json"), qPrintable(file));
            return;
        }
        // the tree a fresh separation of the same goods makes, and what the user put there
        QVERIFY(newSaveFolder());
        SearchOrder *fresh = open();
        QVERIFY(listAndTick(fresh, {0}));
        QVERIFY(runToEnd(fresh));
        takeReportBox();
        QStringList expected = products() + plantedHere;
        if (!beside.first().isEmpty())
            expected << beside.first();
        if (redo.contains("the clerk's folder"))
            expected << album(kA1203Folder);
        if (redo.endsWith("IMG_0003 held"))
            expected << album(kA1203Folder) + "IMG_0003.jpg";
        if (redo.endsWith("IMG_0003 held") || redo.contains("claim not written")) // kept for the next attempt
            expected << QString(kA1203Folder) + ".分件记录.json" << QString(kA1203Folder) + ".分件记录.jsonl";
        expected.removeDuplicates();
        expected.sort();
        QCOMPARE(after, expected);
    }

    void sheetsOfAnOrder_data()
    {
        QTest::addColumn<standin::Reply>("barcode");
        QTest::addColumn<standin::Reply>("crop");   // HTTP 204: the studio's own reply
        QTest::addColumn<standin::Reply>("detail"); // the same
        QTest::addColumn<QString>("pdfFails");
        QTest::addColumn<QString>("box");    // a warning that ends the run, or ""
        QTest::addColumn<QString>("failed"); // the report's failures
        // After a run that ended early the order is separated again from a new window; before that:
        QTest::addColumn<QString>("redo");  // what changes (redoChange), "" nothing
        QTest::addColumn<bool>("twins");    // the redo makes numbered twins (the record was of no use)
        QTest::addColumn<QString>("note");  // a line the redo's report holds ({order}: the order's folder)

        const QByteArray picture = testsupport::jpegWithOrientation(QSize(300, 80), 0);
        const standin::Reply served = standin::Reply::httpError(204);
        const standin::Reply jpeg = standin::Reply::raw(200, picture, "image/jpeg");
        QTest::newRow("all there") << jpeg << served << served << "" << "" << "" << "" << false << "";
        QTest::newRow("barcode chunked and late")
            << standin::Reply::raw(200, picture, "image/jpeg").asChunked().withDelay(800) << served << served << ""
            << "" << "" << "" << false << "";
        // what was not written is named with its reason
        QTest::newRow("barcode 404") << standin::Reply::raw(404, "<html>no</html>", "text/html") << served << served
                                     << "" << "" << "条形码.jpg（未能下载：HTTP 404）" << "" << false << "";
        const QString full = "（" + errorText(ENOSPC) + "）";
        QTest::newRow("work sheet not written") << jpeg << served << served << "明细制作单.pdf" << ""
                                                << "明细制作单.pdf" + full << "" << false << "";
        QTest::newRow("a thumbnail not written") << jpeg << served << served << "制作单缩略图/IMG_0002.jpg" << ""
                                                 << "制作单缩略图/IMG_0002.jpg" + full << "" << false << "";
        QTest::newRow("a marked picture not written") << jpeg << served << served << "制作单缩略图/marks/IMG_0002.jpg"
                                                      << "" << "制作单缩略图/marks/IMG_0002.jpg" + full << "" << false << "";
        QTest::newRow("barcode not written") << jpeg << served << served << "条形码.jpg" << "" << "条形码.jpg" + full << ""
                                             << false << "";
        QTest::newRow("crop refused") << jpeg << standin::Reply::refused("no", "0") << served << "" << "查询裁剪信息错误：0"
                                      << "" << "" << false << "";
        QTest::newRow("crop numeric code") << jpeg << standin::Reply::numericCode(1) << served << ""
                                           << "查询裁剪信息错误：" << "" << "" << false << "";
        QTest::newRow("crop not JSON") << jpeg << standin::Reply::notJson() << served << ""
                                       << "查询裁剪信息错误：服务器返回的数据无法识别" << "" << "" << false << "";
        QTest::newRow("detail HTTP 500") << jpeg << served << standin::Reply::httpError(500) << ""
                                         << "网络请求错误\n服务器出错（HTTP 500）" << "" << "" << false << "";
        QTest::newRow("detail with its code alone")
            << jpeg << served << standin::Reply::json(QJsonObject{{"code", "1"}}) << "" << "" << "" << "" << false << "";
        // the redo goes on in the folders of the unfinished attempt, whatever window makes it
        const QString album = "{order}后期一厂" + label("快递") + "/水晶相册 相册 1/";
        const standin::Reply refused = standin::Reply::refused("no", "0");
        // a finished order's journal left without its record (the program ended between the two removals):
        // a later run that places no product takes it out all the same
        QTest::newRow("a journal left of the finished attempt, then a run without products")
            << jpeg << served << served << "" << "" << "" << "journal left, no products" << false << "";
        // the album's folder refused (its express level made immutable before the run): a folder the clerk makes
        // there once it can be made is not the attempt's, and stays when the album leaves the goods
        QTest::newRow("the album's folder refused, then the clerk's folder in its place, and the album dropped")
            << jpeg << served << served << "" << "" << "" << "express level immutable, the clerk's folder, album dropped"
            << false << "";
        QTest::newRow("crop refused, then the album cut to one photo")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "one photo" << false << "";
        QTest::newRow("crop refused, then the set dropped")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "set dropped" << false << "";
        QTest::newRow("crop refused, then a frame dropped: the later frame takes its name")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "frame dropped" << false << "";
        QTest::newRow("crop refused, then a file of the user's in a folder of the attempt")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "a file of the user's" << false
            << "产品文件夹中有不是分件复制的文件，未改动：" + album + "客人自选.jpg";
        // separated again on the next day, into another dated folder: the unfinished one is named
        QTest::newRow("crop refused, then the redo on the next day")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "next day" << false
            << "该订单在其它日期有未分完的文件夹，其中的产品照片与本次重复，未改动：{earlier}";
        // a copy another desk put into a folder of the run cannot be taken out at its end (busy): the record
        // stays, with the run's folders; once the copy is free, the redo goes on in them and takes it out
        QTest::newRow("another desk's copy busy at the end of the run")
            << jpeg << served << served << "" << "" << "" << "another desk's copy busy" << false << "";
        QTest::newRow("crop refused, then a stale copy that cannot be taken out")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "one photo, IMG_0003 held" << false
            << "上次分件复制的文件未能删除（文件正被其它程序使用）：" + album + "IMG_0003.jpg";
        // a record that cannot be used: nothing is lost, the redo makes twins as for a finished order
        QTest::newRow("crop refused, then the record damaged")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "damaged record" << true
            << "上次未完成的分件记录无法读取（记录已损坏），本次不沿用其产品文件夹，已有的另建编号文件夹：{order}.分件记录.json";
        // the record holds the copies as they were made: a file the clerk put or edited under a planned name
        // stays as it is and is named (the photo goes beside it)
        QTest::newRow("crop refused, then the clerk's own file in place of a copy, and the album cut to one photo")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "one photo, the clerk's IMG_0003"
            << false << "产品文件夹中有不是分件复制的文件，未改动：" + album + "IMG_0003.jpg";
        QTest::newRow("barcode 404, then a copy edited in place")
            << standin::Reply::raw(404, "<html>no</html>", "text/html") << served << served << "" << "" << ""
            << "an edited photo" << false
            << "产品文件夹中有不是分件复制的同名文件，未改动，照片另存为编号名称：{order}后期一厂" + label("快递")
                   + "/全家福套装 套装 1/挂画 挂画 1/IMG_0002.jpg（未改动）→ IMG_0002(1).jpg";
        // an edit that put its size and date back is no copy either: it survives, named, whether the photo
        // stays or leaves the album
        QTest::newRow("crop refused, then a copy edited keeping its size and date")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "an edit keeping its size and date"
            << false << "产品文件夹中有不是分件复制的同名文件，未改动，照片另存为编号名称：" + album
                            + "IMG_0002.jpg（未改动）→ IMG_0002(1).jpg";
        QTest::newRow("crop refused, then a copy edited keeping its size and date, and the album cut to one photo")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << ""
            << "an edit keeping its size and date, one photo" << false
            << "产品文件夹中有不是分件复制的文件，未改动：" + album + "IMG_0002.jpg";
        // the program killed as its copies landed: they are its own all the same, taken out or replaced
        // (the tree a fresh separation makes), and a copy it cut short goes
        QTest::newRow("crop refused, then killed as its copies landed, and the album cut to one photo")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "killed, one photo" << false << "";
        QTest::newRow("crop refused, then killed as its copies landed, and a photo delivered again retouched")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "killed, IMG_0002 delivered again"
            << false << "";
        // a copy landed unconfirmed and then edited keeping its size and date stays, though its photo was
        // delivered again (the copy's source has changed by the time its folder is gone on in)
        QTest::newRow("crop refused, then killed as its copies landed, a photo delivered again, and its copy edited keeping its size and date")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << ""
            << "killed, IMG_0002 delivered again, an edit keeping its size and date" << false
            << "产品文件夹中有不是分件复制的同名文件，未改动，照片另存为编号名称：" + album + "IMG_0002.jpg（未改动）→ IMG_0002(1).jpg";
        QTest::newRow("crop refused, then killed as its folders were made, and the set dropped")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << ""
            << "killed as its folders were made, set dropped" << false << "";
        QTest::newRow("crop refused, then killed as its copies landed, and the set dropped")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "killed, set dropped" << false << "";
        // where the copies could not keep their date, their bytes tell them
        QTest::newRow("crop refused on a share keeping no dates, then killed as its copies landed, and the album cut to one photo")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "killed, times refused, one photo" << false
            << "";
        QTest::newRow("crop refused, then killed with a copy cut short in the album")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "killed, a copy cut short in the album"
            << false << "";
        // so do those of the finished copies, the sheets' thumbnails and printer, and the record's write
        QTest::newRow("crop refused, then killed with temporary files cut short in the work folders")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << ""
            << "killed, temporary files cut short in the work folders" << false << "";
        // without a claim of its own, another desk may be copying into the order's folders: the redo leaves
        // what could be that desk's copy under way, and names the claim not written
        QTest::newRow("crop refused, then killed with a copy cut short in the album, and the redo's claim not written")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << ""
            << "killed, a copy cut short in the album, claim not written" << false
            << "复制失败:{order}.分件进行中（" + errorText(EACCES) + "）";
        QTest::newRow("crop refused, then killed as the journal's last line was written, and the album cut to one photo")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "killed, journal cut short, one photo"
            << false << "";
        // a copy in place holding the photo's bytes is the photo, also when the record does not list it
        QTest::newRow("crop refused, then the copies missing from the record")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "copies not in the record" << false << "";
        // nothing is removed or written through a link: the folder stays as it is, with the record
        QTest::newRow("crop refused, then the album a link to a folder outside, and cut to one photo")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "one photo, album a link" << true
            << "产品文件夹经过链接或挂载的磁盘，其中的文件未改动，分件记录保留：" + album.chopped(1) + " 是链接";
        // no folder is given to two products: the album's namesake "水晶相册 (1)" takes the next twin
        QTest::newRow("crop refused, three attempts with the album's namesake")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "three attempts" << true
            << "产品文件夹中有不是分件复制的文件，未改动：{order}后期一厂" + label("快递") + "/水晶相册 (1) 相册 1/Thumbs.db";
        const QString damaged = "上次未完成的分件记录无法读取（记录已损坏），本次不沿用其产品文件夹，已有的另建编号文件夹："
                                "{order}.分件记录.json";
        QTest::newRow("crop refused, then a record naming one folder twice")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "a record naming one folder twice"
            << true << damaged;
        QTest::newRow("crop refused, then a record of more folders than any of ours")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << ""
            << "a record of more folders than any of ours" << true << damaged;
        // the record is read only as a regular file: a FIFO does not block the window
        QTest::newRow("crop refused, then the record a FIFO")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "record is a FIFO" << true << damaged;
        QTest::newRow("crop refused, then the record a link")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "record is a link" << true << damaged;
        QTest::newRow("crop refused, then the journal a FIFO")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "journal is a FIFO" << true << damaged;
        QTest::newRow("crop refused, then the journal a link")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "journal is a link" << true << damaged;
        // a journal line of no attempt's: passed over and named, what it names stays (the work folder's finished
        // copy; a clerk's file holding the bytes of a file outside the order's folder)
        const QString passedOver = "分件记录中有1条记录不属于该订单的分件（所指的文件夹不在记录中，或复制来源不在订单文件夹内），"
                                   "已略过，其所指的文件未改动：{order}.分件记录.json";
        QTest::newRow("crop refused, then a journal line naming the work folder's finished copy")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "a journal line naming a finished copy"
            << false << passedOver;
        QTest::newRow("crop refused, then an unconfirmed journal line with its source outside the order")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "a journal line with a source outside"
            << false << passedOver;
        // a journal crafted with many lines of one name: what attempts leave of it is read (one line in place, 15
        // beside it), the rest passed over, at once; the record serves
        QTest::newRow("crop refused, then a journal of 20000 lines for one name")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "a journal of many lines for one name"
            << false << "分件记录中有19985条记录不属于该订单的分件";
        // the journal of an order of 42,000 copies (more than its earlier bound took): the record serves
        QTest::newRow("crop refused, then the journal of a large order")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "the journal of a large order" << false << "";
        // every name the plan chooses is read back
        QTest::newRow("crop refused, with a photo named IMG:4.jpg")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "a photo named IMG:4.jpg" << false << "";
        QTest::newRow("crop refused, then the record damaged, with a twin too long")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "damaged record, album named 243 bytes"
            << true << "产品文件夹名称过长：" + QString("水").repeated(81) + " (1) 相册 1";
        QTest::newRow("crop refused, the record cannot be written")
            << jpeg << refused << served << "" << "查询裁剪信息错误：0" << "" << "record is a folder" << true
            << "分件记录无法写入（" + errorText(EISDIR) + "），再次分件该订单时产品文件夹将另建编号文件夹：{order}.分件记录.json";
    }
    void sheetsOfAnOrder()
    {
        QFETCH(standin::Reply, barcode);
        QFETCH(standin::Reply, crop);
        QFETCH(standin::Reply, detail);
        QFETCH(QString, pdfFails);
        QFETCH(QString, box);
        QFETCH(QString, failed);
        QFETCH(QString, redo);
        QFETCH(bool, twins);
        QFETCH(QString, note);
        m_server.setReply("getbarcodegen", barcode);
        if (crop.status != 204)
            m_server.queueReply("getorderpic", crop);
        if (detail.status != 204)
            m_server.queueReply("orderdetail", detail);
        if (!pdfFails.isEmpty()) { // the file is neither written nor copied into place
            Platform::failWrites(pdfFails);
            Platform::failCloses(pdfFails);
        }
        const QString order = dated() + kA1203Folder;
        const QString record = order + ".分件记录.json";
        if (redo == "record is a folder")
            QVERIFY(QDir().mkpath(record));
        const QString oddPhoto = m_studio->orders.at(0).orderPath + "成品/IMG:4.jpg";
        const auto removeOddPhoto = qScopeGuard([&] { QFile::remove(oddPhoto); });
        // a photo delivered again is the studio's own one after the test
        const QString photo2 = m_studio->orders.at(0).orderPath + "成品/IMG_0002.jpg";
        const bool again = redo.contains("delivered again");
        QVERIFY(!again || (QFile::rename(photo2, photo2 + ".before") && QFile::copy(photo2 + ".before", photo2)));
        const auto putPhoto2Back = qScopeGuard([&] {
            if (again && QFile::remove(photo2))
                QFile::rename(photo2 + ".before", photo2);
        });
        redoSetup(redo, order);
        // no folder can be made in the album's express level (even by root) until the redo lifts it
        const bool immutable = redo.startsWith("express level immutable");
        const auto lifted = qScopeGuard([&] {
            if (immutable)
                QProcess::execute("chattr", {"-i", expressLevel(order)});
        });
        if (immutable && !(QDir().mkpath(expressLevel(order)) && QProcess::execute("chattr", {"+i", expressLevel(order)}) == 0))
            QSKIP("no immutable folders here (chattr needs root and a file system that keeps the attribute)");

        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0}));
        const auto freed = qScopeGuard([this] { m_busy.reset(); });
        if (redo.endsWith("copy busy"))
            anotherDeskCopiesDuringTheRun(w, true);
        QVERIFY(runToEnd(w));
        const QString work = order + "其它/";
        const testsupport::ReportBox report = takeReportBox();
        const bool busy = redo.endsWith("copy busy");
        if (busy && !(m_busy && m_busy->active()))
            QSKIP("no mounts here (a mount needs root and a system that allows it)");
        if (!box.isEmpty()) {
            QCOMPARE(MsgBox::shown().size(), 1);
            QCOMPARE(MsgBox::lastShown().title, QString("警告"));
            QCOMPARE(MsgBox::lastShown().text, box);
            QString text = report.text;
            if (redo == "record is a folder") { // said at once
                QVERIFY2(text.contains(note.replace("{order}", order)), qPrintable(text));
                text.remove(QRegularExpression("[^\n]*分件记录[^\n]*\n"));
            }
            QVERIFY2(text.contains(QRegularExpression("^订单A1203:\n分件未完成（查询(裁剪|订单)信息错误），"
                                                      "再次点击“开始分件”将重新分件该订单\n不存在的照片:加急摆台:"
                                                      "IMG_9999.jpg\n空产品:全家福套装、光盘U盘\n\n$")),
                     qPrintable(report.text));
            QVERIFY(!w->orderList().at(0).processed);
            QVERIFY(!QFileInfo::exists(work + "明细制作单.pdf"));
            QVERIFY(!QFileInfo::exists(work + "快递产品信息.pdf"));
            // the bar stays where the order stopped
            QVERIFY(child(w, "progressBar")->isVisible());
            QVERIFY(child<QProgressBar>(w, "progressBar")->text().startsWith("订单A1203分件未完成 "));
            QCOMPARE(child<QLabel>(w, "label_finishOrdersNum")->text(), QString("已完成订单个数：0/1"));
            // the unfinished attempt is recorded beside its folders, hidden
            QCOMPARE(QFileInfo(record).isFile(), redo != "record is a folder");
            QVERIFY(Platform::isHidden(record));

            // the window is closed; the redo from a new window goes on in the order's own product folders
            redoFromANewWindow(w, redo, twins, note);
            return;
        }
        QVERIFY(MsgBox::shown().isEmpty());
        QVERIFY(report.shown);
        // a sheet or a picture of it not written, a copy not taken out: the record stays for the order's next
        // attempt
        const bool kept = report.text.contains("复制失败:") || busy;
        QCOMPARE(report.text.contains("上次分件复制的文件未能删除（" + errorText(EBUSY) + "）：" + order + "后期一厂/实木摆台"
                                      + label("自取") + "/IMG_0002.jpg"),
                 busy);
        QCOMPARE(QFileInfo::exists(record), kept);
        QCOMPARE(report.text.contains("分件记录已保留"), kept);
        QCOMPARE(report.text.contains(work + "明细制作单.pdf"), failed.startsWith("明细制作单.pdf"));
        if (!failed.isEmpty())
            QVERIFY2(report.text.contains(work + failed), qPrintable(report.text));
        const bool barcodeThere = barcode.status == 200 && !failed.startsWith("条形码.jpg");
        QCOMPARE(report.text.contains(work + "条形码.jpg"), !barcodeThere); // a sheet without its barcode

        // goods, then crop information beside the barcode, then the detail
        QStringList actions;
        for (const standin::Request &r : m_server.requests()) {
            if (r.action != "order_list")
                actions << r.action;
        }
        QCOMPARE(actions.first(), QString("ordergoods20230521"));
        QCOMPARE(actions.last(), QString("orderdetail"));
        QStringList middle = actions.mid(1, 2);
        middle.sort();
        QCOMPARE(middle, (QStringList{"getbarcodegen", "getorderpic"}));
        QCOMPARE(m_server.lastRequest("orderdetail").fieldNames(),
                 (QStringList{"token", "order_photo_id", "shopid", "superid", "eid", "uid", "personid"}));
        QCOMPARE(m_server.lastRequest("getorderpic").fieldNames(),
                 (QStringList{"token", "order_photo_id", "shopid", "superid"}));

        const QString barcodeFile = work + "条形码.jpg";
        if (barcodeThere) {
            QFile f(barcodeFile);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), barcode.body);
            // the sheet is printed after the download ended
            QVERIFY(QFileInfo(work + "快递产品信息.pdf").lastModified() >= QFileInfo(barcodeFile).lastModified());
        } else {
            QVERIFY(!QFileInfo::exists(barcodeFile));
        }
        QVERIFY(!Platform::isHidden(barcodeFile)); // a new folder: the barcode stays visible

        const QString thumbs = work + "制作单缩略图";
        QVERIFY(Platform::isHidden(thumbs));
        QCOMPARE(QDir(thumbs).entryList(QDir::Files).size(), failed.startsWith("制作单缩略图/IMG") ? 3 : 4); // none left cut off
        QCOMPARE(QDir(thumbs + "/marks").entryList(QDir::Files | QDir::Hidden),
                 failed.contains("marks/") || detail.status != 204 ? QStringList() : QStringList{"IMG_0002.jpg"});
        for (const QString &name : QDir(thumbs).entryList(QDir::Files))
            QCOMPARE(QImage(thumbs + "/" + name).size(), QSize(88, 88));

        QVERIFY(testsupport::pdfText(work + "快递产品信息.pdf").contains("快递产品信息"));
        if (failed.startsWith("明细制作单.pdf")) {
            QVERIFY(!QFileInfo::exists(work + "明细制作单.pdf"));
            return;
        }
        QVERIFY(testsupport::pdfText(work + "明细制作单.pdf").contains("A1203"));
        // the pictures printed: thumbnails, the marked photo at print size, and the barcode when it came
        QProcess images;
        images.start("pdfimages", {"-list", work + "明细制作单.pdf"});
        QVERIFY(images.waitForFinished(testsupport::kWaitMs));
        QSet<QString> sizes;
        for (const QString &line : QString::fromUtf8(images.readAllStandardOutput()).split('\n').mid(2)) {
            const QStringList columns = line.simplified().split(' ');
            if (columns.size() > 4)
                sizes << columns.at(3) + "x" + columns.at(4);
        }
        QVERIFY(sizes.contains("88x88"));
        QCOMPARE(sizes.contains("300x80"), barcodeThere);
        QCOMPARE(sizes.contains("270x360"), detail.status == 204 && !failed.contains("marks/")); // the mark, or a gap
        QCOMPARE(sizes.contains("16x16"), false); // no broken-picture icon
        if (!redo.isEmpty()) // the order kept its record: the redo the report invites
            redoFromANewWindow(w, redo, twins, note);
    }

    void anEmptySaveFolderIsAskedForOnce()
    {
        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0, 1}));
        child<QLineEdit>(w, "pathLineEdit")->clear();
        FileDialogs::clearAsked();
        FileDialogs::queueAnswer(m_out.chopped(1));
        QVERIFY(runToEnd(w));
        QCOMPARE(FileDialogs::asked().size(), 1);
        QCOMPARE(child<QLineEdit>(w, "pathLineEdit")->text(), m_out.chopped(1));
        QVERIFY(takeReportBox().file.startsWith(dated() + "A1203、"));
    }

    void threeOrdersOneAfterAnother()
    {
        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0, 1, 2}));
        QStringList progress; // the finished-orders text whenever it changes
        auto *finished = child<QLabel>(w, "label_finishOrdersNum");
        auto sample = [&] {
            if (progress.value(progress.size() - 1) != finished->text())
                progress << finished->text();
        };
        QTimer watch;
        connect(&watch, &QTimer::timeout, sample);
        watch.start(1);
        QVERIFY(runToEnd(w));
        watch.stop();
        sample();
        QCOMPARE(goodsRequests(), (QStringList{"5001", "5002", "5003"}));
        QCOMPARE(progress.mid(progress.indexOf("已完成订单个数：0/3")),
                 (QStringList{"已完成订单个数：0/3", "已完成订单个数：1/3", "已完成订单个数：2/3", "已完成订单个数：3/3"}));
        const testsupport::ReportBox report = takeReportBox();
        QVERIFY(report.text.startsWith("订单A1203:"));
        QVERIFY(report.text.contains("订单B2207:"));
        QVERIFY(report.text.contains("订单C3105:"));
        QVERIFY(report.file.endsWith("/A1203、A1203、B2207、B2207、C3105、C3105分件结果.txt"));
        QVERIFY(QFileInfo(dated() + "C3105-服务1 陈果果 自取/其它/成品/P0002.jpg")
                    .isFile());

        // a new click runs the same ticked orders again; the program's shared pool stays as it is set up
        QThreadPool::globalInstance()->setMaxThreadCount(3);
        m_server.clearRequests();
        QVERIFY(runToEnd(w));
        QCOMPARE(goodsRequests(), (QStringList{"5001", "5002", "5003"}));
        QCOMPARE(QThreadPool::globalInstance()->maxThreadCount(), 3);
        setUpJobPool();
    }

    void aFailedReplyStopsTheRun_data()
    {
        QTest::addColumn<QString>("action"); // of the second order, refused once
        QTest::addColumn<standin::Reply>("reply");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stage");
        QTest::addColumn<bool>("newWindow"); // the next start is made in a new window (the first one closed)
        const QString goods = "ordergoods20230521";
        QTest::newRow("goods HTTP 500") << goods << standin::Reply::httpError(500) << "网络请求错误\n服务器出错（HTTP 500）" << "查询产品信息错误" << false;
        QTest::newRow("goods not JSON") << goods << standin::Reply::notJson() << "查询产品信息错误：服务器返回的数据无法识别"
                                        << "查询产品信息错误" << false;
        QTest::newRow("goods refused") << goods << standin::Reply::refused("no", "0") << "查询产品信息错误：0"
                                       << "查询产品信息错误" << false;
        QTest::newRow("goods numeric code") << goods << standin::Reply::numericCode(1) << "查询产品信息错误："
                                            << "查询产品信息错误" << false;
        QTest::newRow("crop refused") << "getorderpic" << standin::Reply::refused("no", "0") << "查询裁剪信息错误：0"
                                      << "查询裁剪信息错误" << false;
        // closing the window after the early end (as its close question advises) loses nothing of the attempt
        QTest::newRow("crop refused, the next start in a new window")
            << "getorderpic" << standin::Reply::refused("no", "0") << "查询裁剪信息错误：0" << "查询裁剪信息错误" << true;
        // a product whose folder would be no name: the order is refused before anything is written for it
        QJsonObject noName = m_studio->goodsReply(m_studio->orders.at(1));
        QJsonObject order = noName.value("order").toObject();
        QJsonArray products = order.value("ordergoods0").toArray();
        products[0] = QJsonObject{{"goodname", ".."}, {"ishomemade", "0"}, {"parentid", "0"}};
        order.insert("ordergoods0", products);
        noName.insert("order", order);
        QTest::newRow("goods with a folder that is no name") << goods << standin::Reply::json(noName)
                                                            << "产品文件夹名称无效：..  " << "名称不能用作文件夹名" << false;
    }
    // The run ends at the order that failed and reports what it did; the next start separates that order.
    void aFailedReplyStopsTheRun()
    {
        QFETCH(QString, action);
        QFETCH(standin::Reply, reply);
        QFETCH(QString, text);
        QFETCH(QString, stage);
        QFETCH(bool, newWindow);
        const standin::SampleStudio studio = *m_studio;
        auto refused = std::make_shared<bool>(false);
        m_server.setHandler(action, [studio, reply, action, refused](const standin::Request &r) {
            const standin::SampleOrder *o = studio.orderFor(r);
            if (o->id == "5002" && !*refused) {
                *refused = true;
                return reply;
            }
            return standin::Reply::json(action == "getorderpic" ? studio.cropReply(*o) : studio.goodsReply(*o));
        });
        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0, 1, 2}));
        QVERIFY(runToEnd(w));
        QCOMPARE(MsgBox::shown().size(), 1);
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        QCOMPARE(MsgBox::lastShown().text, text);
        const testsupport::ReportBox stopped = takeReportBox();
        QVERIFY(stopped.text.startsWith("订单A1203:\n不存在的照片:加急摆台:IMG_9999.jpg"));
        // the order that stopped in one block, and the order not started
        QVERIFY2(stopped.text.contains(QRegularExpression("\n\n订单B2207:\n分件未完成（" + stage
                                                          + "），再次点击“开始分件”将重新分件该订单\n([^\n]+\n)*\n"
                                                            "订单C3105:\n未开始分件，再次点击“开始分件”将分件该订单\n\n$")),
                 qPrintable(stopped.text));
        QCOMPARE(stopped.text.count("订单B2207:"), 1);
        QVERIFY(stopped.file.endsWith("/A1203、A1203、B2207、B2207、C3105、C3105分件结果.txt"));
        QVERIFY(child<QPushButton>(w, "searchButton")->isEnabled());
        QVERIFY(!w->orderList().at(1).processed);
        if (action != "getorderpic") // refused with its goods: nothing was written for it
            QVERIFY(testsupport::fileTree(dated()).filter(QRegularExpression("^B2207")).isEmpty());
        QCOMPARE(child<QLabel>(w, "label_finishOrdersNum")->text(), QString("已完成订单个数：1/3"));
        QVERIFY(child<QProgressBar>(w, "progressBar")->text().startsWith("订单B2207分件未完成 "));
        const QStringList firstTree = testsupport::fileTree(dated());

        // the next click separates the order that failed, then the third
        if (newWindow) { // there the orders not finished are ticked again
            QPointer<SearchOrder> closed(w);
            w->close();
            QVERIFY(testsupport::waitFor([&] { return closed.isNull(); }));
            w = open();
            QVERIFY(listAndTick(w, {1, 2}));
        }
        QVERIFY(runToEnd(w));
        QCOMPARE(goodsRequests(), (QStringList{"5001", "5002", "5002", "5003"}));
        QCOMPARE(child<QLabel>(w, "label_finishOrdersNum")->text(), QString(newWindow ? "已完成订单个数：2/2" : "已完成订单个数：3/3"));
        const testsupport::ReportBox report = takeReportBox();
        QVERIFY(report.text.startsWith("订单B2207:"));
        QVERIFY(report.file.endsWith("/B2207、B2207、C3105、C3105分件结果.txt"));
        QCOMPARE(testsupport::fileTree(dated()).filter(QRegularExpression("^B2207.*/明细制作单.pdf$")).size(), 1);
        // the redo resumed in the product folders it made: nothing numbered twice
        const QRegularExpression twin(" \\(\\d+\\)|\\(\\d+\\)\\.jpg$", QRegularExpression::CaseInsensitiveOption);
        QCOMPARE(testsupport::fileTree(dated()).filter(twin), firstTree.filter(twin));
    }

    void clicksDuringARunChangeNothing()
    {
        const standin::SampleStudio studio = *m_studio;
        standin::Gate clicked; // the second order's goods come after the clicks
        m_server.setHandler("ordergoods20230521", [studio, clicked](const standin::Request &r) {
            const standin::SampleOrder *o = studio.orderFor(r);
            standin::Reply reply = standin::Reply::json(studio.goodsReply(*o));
            return o->id == "5002" ? reply.heldBy(clicked) : reply;
        });
        SearchOrder *w = open();
        SearchOrder *other = open();
        QVERIFY(listAndTick(w, {0, 1}));
        QVERIFY(listAndTick(other, {2}));
        child<QPushButton>(w, "pushButton_separate")->click();
        QVERIFY(testsupport::waitFor([&] { return m_server.requestCount("ordergoods20230521") == 2; }));
        QCOMPARE(w->messageList().size(), 2);
        QVERIFY(!child<QPushButton>(w, "searchButton")->isEnabled());

        child<QPushButton>(w, "pushButton_separate")->click();
        child<QPushButton>(other, "pushButton_separate")->click();
        QCOMPARE(MsgBox::shown().size(), 2);
        for (const MsgBox::Shown &box : MsgBox::shown()) {
            QCOMPARE(box.title, QString("通知"));
            QCOMPARE(box.text, QString("正在分件，请稍后"));
        }
        QCOMPARE(w->messageList().size(), 2);
        clicked.open();
        QVERIFY(testsupport::waitFor([w] { return !w->isSeparating(); }));
        QVERIFY(takeReportBox().text.startsWith("订单A1203:"));
        QCOMPARE(goodsRequests(), (QStringList{"5001", "5002"}));

        // once the run is over the other window may run
        QVERIFY(runToEnd(other));
        QCOMPARE(goodsRequests(), (QStringList{"5001", "5002", "5003"}));
    }

    // A large order: each folder of the order is listed once, not once per photo.
    void foldersAreListedOncePerOrder()
    {
        const QString order = m_out + "store/B0001/";
        for (const char *sub : {"成品", "marks", "成品缩略图", "照片/新建文件夹"})
            QVERIFY(QDir().mkpath(order + sub));
        QStringList photos;
        for (int i = 1; i <= 200; ++i) {
            const QString name = QString("IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
            QVERIFY(testsupport::writeJpeg(order + "成品/" + name, QSize(40, 30)));
            if (i % 3 == 0)
                QVERIFY(testsupport::put(order + "照片/新建文件夹/" + name.left(8) + ".CR2", "raw"));
            photos << (i % 10 == 0 ? name.left(8) + ".JPG" : name); // named in another letter case
        }
        QVERIFY(testsupport::writeJpeg(order + "marks/IMG_0001.jpg", QSize(40, 30)));
        const QJsonObject row{{"order_photo_id", "1"}, {"orderpayforkey", "B0001"}, {"servicetimes", "1"},
                              {"bname", "王"}, {"pickuptime", "2024-06-01"}, {"pickuptype", "0"}, {"orderpath", order}};
        m_server.setReply("order_list", standin::Reply::ok({{"data", QJsonArray{row}}}));
        QJsonArray goods;
        for (int first = 0; first < photos.size(); first += 50)
            goods.append(QJsonObject{{"id", QString::number(first)}, {"goodname", QString("册%1").arg(first)},
                                     {"goodtypeid", "15"}, {"goodamount", "1"}, {"isurgent", "0"}, {"parentid", "0"},
                                     {"picpath", photos.mid(first, 50).join('|')}});
        m_server.setReply("ordergoods20230521", standin::Reply::ok({{"order", QJsonObject{{"ordergoods0", goods}}}}));
        m_server.setReply("getorderpic", standin::Reply::ok());
        m_server.setReply("orderdetail", standin::Reply::ok({{"orderpicdescr", QJsonArray{QJsonObject{
                                                                 {"picname", "IMG_0001.jpg"}, {"mark", QJsonArray{"1-2-3-4-5"}}}}}}));
        g_sjfjxz = "1";

        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0}));
        const int before = Platform::folderListings();
        QVERIFY(runToEnd(w));
        const int listings = Platform::folderListings() - before;
        qInfo("folder listings of a 200-photo order: %d", listings);
        QCOMPARE(listings, 6); // 成品, marks, the raw folder, 成品缩略图 and 成品 for the thumbnails, marks for the sheet
        const testsupport::ReportBox report = takeReportBox();
        QVERIFY2(report.text.isEmpty() || report.text == "分件成功!", qPrintable(report.text));
        QCOMPARE(QDir(dated() + "B0001-服务1 王 自取/其它/成品").entryList(QDir::Files).size(), 200 + 66);
    }

    // A search still out would replace the rows of the run when its reply comes.
    void aStartWhileASearchIsOut()
    {
        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0, 1, 2}));
        m_server.queueReply("order_list", standin::Reply::ok().withDelay(500));
        child<QPushButton>(w, "searchButton")->click();
        child<QPushButton>(w, "pushButton_separate")->click();
        QCOMPARE(MsgBox::lastShown().text, QString("正在检索订单，请在检索结束后再开始"));
        QVERIFY(!w->isSeparating());
        QVERIFY(testsupport::waitFor([w] { return child<QPushButton>(w, "searchButton")->isEnabled(); }));
        QCOMPARE(goodsRequests(), QStringList());
    }

    void aClickWithEveryTickedRowTaken()
    {
        const standin::SampleStudio studio = *m_studio;
        m_server.setHandler("ordergoods20230521", [studio](const standin::Request &r) {
            const standin::SampleOrder *o = studio.orderFor(r);
            return o->id == "5003" ? standin::Reply::httpError(500) : standin::Reply::json(studio.goodsReply(*o));
        });
        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {1, 2}));
        QVERIFY(runToEnd(w));
        takeReportBox();
        testsupport::clickRow(w, 2); // the order that failed is unticked: every ticked row is taken
        MsgBox::clearShown();
        child<QPushButton>(w, "pushButton_separate")->click();
        QCOMPARE(MsgBox::lastShown().title, QString("提示"));
        QVERIFY(!w->isSeparating());
        QVERIFY(!w->orderList().at(1).processed);
        QVERIFY(runToEnd(w));
        QCOMPARE(goodsRequests(), (QStringList{"5002", "5003", "5002"}));
        QVERIFY(takeReportBox().text.startsWith("订单B2207:"));
        QCOMPARE(child<QLabel>(w, "label_finishOrdersNum")->text(), QString("已完成订单个数：1/1"));

        // after an early end a new search's rows are counted afresh
        QVERIFY(listAndTick(w, {1, 2}));
        QVERIFY(runToEnd(w));
        takeReportBox();
        QVERIFY(listAndTick(w, {1}));
        QVERIFY(runToEnd(w));
        QCOMPARE(child<QLabel>(w, "label_finishOrdersNum")->text(), QString("已完成订单个数：1/1"));
    }

    // A window closed while its jobs wait or run: nothing reaches it afterwards, other jobs go on, and
    // another window may run.
    void closingDuringARun()
    {
        testsupport::BusyPool busy;
        QAtomicInt otherRan = 0;
        busy.guard()->startJob([&] { otherRan = 1; });

        SearchOrder *w = open();
        QVERIFY(listAndTick(w, {0}));
        child<QPushButton>(w, "pushButton_separate")->click();
        QVERIFY(testsupport::waitFor([&] { return w->guard()->queuedJobs() > 0; }));
        const std::shared_ptr<WindowGuard> guard = w->guard();
        w->close(); // asked first: "No" keeps the window and its run
        QCOMPARE(MsgBox::lastShown().text, QString("正在分件，确定要关闭窗口吗？\n关闭后分件停止，没有分完的订单需要重新分件。"));
        QVERIFY(w->isVisible() && w->isSeparating() && guard->queuedJobs() > 0);
        MsgBox::setNextAnswer(QMessageBox::Yes);
        w->close();
        QVERIFY(testsupport::waitFor([&] { return m_windows.first().isNull(); }));
        QCOMPARE(guard->queuedJobs(), 0);
        busy.release();
        QCOMPARE(int(otherRan), 1);

        SearchOrder *next = open();
        QVERIFY(listAndTick(next, {0}));
        QVERIFY(runToEnd(next));
        QVERIFY(takeReportBox().shown);

        // a close question still open when the run ends closes itself: the window stays, the report shows
        bool askedAfterTheEnd = false;
        QTimer watch; // runs while the question is open
        connect(&watch, &QTimer::timeout, [&] {
            if (!next->isSeparating() && MsgBox::held()) {
                askedAfterTheEnd = true;
                MsgBox::answerHeld(QMessageBox::No);
            }
        });
        watch.start(1);
        child<QPushButton>(next, "pushButton_separate")->click();
        MsgBox::clearShown();
        MsgBox::holdNext();
        next->close(); // returns once the question is gone
        watch.stop();
        QCOMPARE(MsgBox::lastShown().text, QString("正在分件，确定要关闭窗口吗？\n关闭后分件停止，没有分完的订单需要重新分件。"));
        QVERIFY(!askedAfterTheEnd);
        QVERIFY(next->isVisible() && !next->isSeparating());
        QVERIFY(takeReportBox().shown);

        // a run waiting for a closed window's copy into its order's folder is closed (是): it ends quietly,
        // nothing is shown once the copy has ended
        QSemaphore held;
        const auto letGo = qScopeGuard([&] {
            held.release();
            QThreadPool::globalInstance()->waitForDone();
        });
        QVERIFY(closedWindowCopyingInto(dated() + kA1203Folder, &held));
        SearchOrder *waiting = open();
        QVERIFY(listAndTick(waiting, {0}));
        child<QPushButton>(waiting, "pushButton_separate")->click();
        QVERIFY(testsupport::waitFor([waiting] { return saysItWaits(waiting); }));
        QPointer<SearchOrder> gone(waiting);
        MsgBox::clearShown();
        MsgBox::setNextAnswer(QMessageBox::Yes);
        waiting->close();
        QVERIFY(testsupport::waitFor([&] { return gone.isNull(); }));
        held.release();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(MsgBox::shown().size(), 1); // the close question
        QVERIFY(!takeReportBox().shown);
    }
};

TESSALY_TEST_MAIN(TestSeparationRun)
#include "tst_separationrun.moc"
