#include "filebytes.h"
#include "fileoperation.h"
#include "globals.h"
#include "importordermodel.h"
#include "importorderthread.h"
#include "importstate.h"
#include "mounts.h"
#include "platform.h"
#include "runoutput.h"
#include "testsupport.h"

#include <QJsonObject>
#include <QSignalSpy>

using testsupport::fileTree;

namespace {

ImportOrderModel *order(const QString &shotDate, const QString &key = "A1203", const QString &times = "2")
{
    auto *m = new ImportOrderModel(QJsonObject{{"order_photo_id", "77"},
                                               {"orderpayforkey", key},
                                               {"servicetimes", times},
                                               {"shotdate", shotDate}});
    m->setFinishedFolderSuffix(QString());
    return m;
}

// Every end signal of a run, in one place.
struct Ends
{
    explicit Ends(ImportOrderThread *t)
        : error(t, &ImportOrderThread::importImageThreadError), orderPath(t, &ImportOrderThread::checkOrderPicPathSigl),
          stopped(t, &ImportOrderThread::importOrderStoppedSigl), finished(t, &ImportOrderThread::hasFinishedImportSigl)
    {
    }
    int total() const { return error.count() + orderPath.count() + stopped.count() + finished.count(); }
    QSignalSpy error, orderPath, stopped, finished;
};

const QStringList kPlain{"照片", "照片/新建文件夹", "成品", "汰片", "设计", "试拍视频", "精修视频"};
const QStringList kHidden{"thumbnail",  "thumbnail100",  "thumbnail2250",  "成品缩略图", "成品缩略图100",
                          "成品缩略图2250", "设计缩略图", "设计缩略图100", "设计缩略图2250"};

} // namespace

class TestOrderDir : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        Platform::clearFaults();
        Platform::clearHiddenPaths();
    }

    void buildsTheTreeOnBothRoots()
    {
        testsupport::TempRoots roots;
        QScopedPointer<ImportOrderModel> m(order("2016-05-12"));
        ImportOrderThread t(m.data(), ImportFinishedPhotos);
        Ends ends(&t);
        t.createOrderDir(roots.picRoot(), roots.bakRoot());

        const QString orderDir = roots.picRoot() + "2016-05/12/A1203-2/";
        QCOMPARE(m->orderPath(), orderDir);
        QCOMPARE(m->orderBakPath(), roots.bakRoot() + "2016-05/12/A1203-2/");
        QCOMPARE(ends.total(), 0);
        for (const QString &sub : kPlain + kHidden)
            QVERIFY2(QDir(orderDir + sub).exists(), qPrintable(sub));
        for (const QString &sub : kHidden)
            QVERIFY2(Platform::isHidden(orderDir + sub), qPrintable(sub));
        for (const QString &sub : kPlain)
            QVERIFY2(!Platform::isHidden(orderDir + sub), qPrintable(sub));
        QCOMPARE(Platform::hiddenPaths().size(), kHidden.size());
        QCOMPARE(fileTree(roots.bakRoot()), QStringList{"2016-05/12/A1203-2/照片/"});

        // Existing folders: a second record of the same order gets the same paths and the hidden marks.
        Platform::clearHiddenPaths();
        QScopedPointer<ImportOrderModel> again(order("2016-05-12"));
        ImportOrderThread t2(again.data(), ImportOriginPhotos);
        t2.createOrderDir(roots.picRoot(), roots.bakRoot());
        QCOMPARE(again->orderPath(), orderDir);
        QCOMPARE(Platform::hiddenPaths().size(), kHidden.size());
    }

    void namesFoldersFromKeySuffixAndDate()
    {
        struct Case
        {
            QString shotDate, times, suffix, expected;
        };
        const QList<Case> cases{{"2016-05-12", "2", "Li-Wang", "2016-05/12/A1203-2-Li-Wang/"},
                                {"2016-05-12", "2", "?", "2016-05/12/A1203-2-/"},
                                {"2016-05-12", "2", "...", "2016-05/12/A1203-2-/"},
                                {"2016-05-12", "1/2", "", "2016-05/12/A1203-12/"},
                                {"2016-05-12 10:30:00", "2", "", "2016-05/12/A1203-2/"},
                                // text that is not valid UTF-16 is cleaned as well: nothing climbs
                                {"2016-05-12", QString("..") + QChar(0xD800) + "/..", QChar(0xDC00) + QString("../x"),
                                 "2016-05/12/A1203--..x/"}};
        for (const Case &c : cases) {
            testsupport::TempRoots roots;
            QScopedPointer<ImportOrderModel> m(order(c.shotDate, "A1203", c.times));
            m->setFinishedFolderSuffix(c.suffix);
            ImportOrderThread t(m.data(), ImportFinishedPhotos);
            t.createOrderDir(roots.picRoot(), roots.bakRoot());
            QCOMPARE(m->orderPath(), roots.picRoot() + c.expected);
            QVERIFY(QDir(m->orderPath() + "成品").exists());
        }
    }

    void leavesARecordWithPathsAlone()
    {
        testsupport::TempRoots roots;
        QScopedPointer<ImportOrderModel> m(order("2016-05-12"));
        m->setOrderPath(roots.picRoot() + "given/");
        ImportOrderThread t(m.data(), ImportFinishedPhotos);
        Ends ends(&t);
        t.createOrderDir(roots.picRoot(), roots.bakRoot());
        QCOMPARE(m->orderPath(), roots.picRoot() + "given/");
        QVERIFY(m->orderBakPath().isEmpty());
        QVERIFY(fileTree(roots.picRoot()).isEmpty());
        QCOMPARE(ends.total(), 0);
    }

    void reportsRootsThatCannotBeMade()
    {
        testsupport::TempRoots roots;
        // A photo root below a plain file cannot be made.
        QFile blocker(roots.path("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QScopedPointer<ImportOrderModel> m(order("2016-05-12"));
        {
            ImportOrderThread t(m.data(), ImportFinishedPhotos);
            Ends ends(&t);
            t.createOrderDir(roots.path("file/pic/"), roots.bakRoot());
            QCOMPARE(ends.total(), 1);
            QCOMPARE(ends.error.at(0).at(0).value<quint8>(), quint8(1));
            QCOMPARE(t.errorText(), QString("服务器路径错误（路径中有同名的文件）"));
        }
        {
            // Backup root whose parent is missing: code 2, nothing below either root.
            ImportOrderThread t(m.data(), ImportFinishedPhotos);
            Ends ends(&t);
            t.createOrderDir(roots.path("newpic/"), roots.path("missing/bak/"));
            QCOMPARE(ends.total(), 1);
            QCOMPARE(ends.error.at(0).at(0).value<quint8>(), quint8(2));
            QCOMPARE(t.errorText(), QString("备份服务器路径错误。（文件或文件夹不存在）"));
            QVERIFY(QDir(roots.path("newpic")).exists());
            QVERIFY(fileTree(roots.path("newpic/")).isEmpty());
            QVERIFY(m->orderPath().isEmpty());
            QVERIFY(!t.runSettings().stop->isStopped());
        }
        {
            // Backup root whose parent exists is made; a root without its separator is completed.
            ImportOrderThread t(m.data(), ImportFinishedPhotos);
            Ends ends(&t);
            t.createOrderDir(roots.path("newpic"), roots.path("newbak/"));
            QCOMPARE(ends.total(), 0);
            QCOMPARE(m->orderPath(), roots.path("newpic/2016-05/12/A1203-2/"));
            QVERIFY(QDir(roots.path("newbak/2016-05/12/A1203-2/照片")).exists());
        }
#ifdef Q_OS_WIN
        {
            // A photo root on a drive that is not there: neither made nor taken as there; the run goes no
            // further than the root.
            const QString freeDrive = testsupport::missingDriveRoot();
            QVERIFY(!freeDrive.isEmpty());
            QScopedPointer<ImportOrderModel> w(order("2016-05-12", "W1"));
            ImportOrderThread t(w.data(), ImportFinishedPhotos);
            Ends ends(&t);
            t.createOrderDir(freeDrive, roots.path("bak3/"));
            QCOMPARE(ends.total(), 1);
            QCOMPARE(ends.error.at(0).at(0).value<quint8>(), quint8(1));
            QCOMPARE(t.errorText(), QString("服务器路径错误（文件或文件夹不存在）"));
            QVERIFY(!QFileInfo::exists(roots.path("bak3")));
            QVERIFY(w->orderPath().isEmpty() && w->orderBakPath().isEmpty());
            QVERIFY(!t.runSettings().stop->isStopped());
        }
#endif
        // On a read-only disk: a photo root that is not there yet, and an order folder in a day folder.
        const testsupport::Mounted readOnly(roots.path("ro"), testsupport::Mounted::ReadOnly);
        if (!readOnly.active())
            QSKIP("no disk can be mounted here");
        QScopedPointer<ImportOrderModel> other(order("2016-05-12", "B7"));
        {
            ImportOrderThread t(other.data(), ImportFinishedPhotos);
            Ends ends(&t);
            t.createOrderDir(roots.path("ro/pic/"), roots.bakRoot());
            QCOMPARE(ends.error.count(), 1);
            QCOMPARE(t.errorText(), QString("服务器路径错误（磁盘只读或有写保护）"));
        }
        const testsupport::Mounted readOnlyDay(roots.path("pic/2016-05/12"), testsupport::Mounted::ReadOnly);
        QVERIFY(readOnlyDay.active());
        ImportOrderThread t(other.data(), ImportFinishedPhotos);
        Ends ends(&t);
        t.createOrderDir(roots.picRoot(), roots.bakRoot());
        QCOMPARE(ends.orderPath.count(), 1);
        QCOMPARE(t.errorText(), "无法建立订单目录：" + roots.path("pic/2016-05/12/B7-2/") + "（磁盘只读或有写保护）");
    }

    void refusesRootsAndDatesThatWouldLeaveTheRoots()
    {
        testsupport::TempRoots roots;
        struct Case
        {
            QString pic, bak, shotDate;
        };
        const QList<Case> cases{{"", roots.bakRoot(), "2016-05-12"},
                                {"  ", roots.bakRoot(), "2016-05-12"},
                                {"pic/", roots.bakRoot(), "2016-05-12"},
                                {roots.picRoot(), "", "2016-05-12"},
                                {roots.picRoot(), roots.path("x/../bak/"), "2016-05-12"},
                                {roots.picRoot(), roots.bakRoot(), ""},
                                {roots.picRoot(), roots.bakRoot(), "/2016-05-12"},
                                {roots.picRoot(), roots.bakRoot(), "2016/05/12"},
                                {roots.picRoot(), roots.bakRoot(), "2016-05"},
                                {roots.picRoot(), roots.bakRoot(), "../..-..-x"}};
        const QStringList before = fileTree(roots.base());
        for (const Case &c : cases) {
            QScopedPointer<ImportOrderModel> m(order(c.shotDate));
            ImportOrderThread t(m.data(), ImportFinishedPhotos);
            Ends ends(&t);
            t.createOrderDir(c.pic, c.bak);
            QCOMPARE(ends.total(), 1);
            QCOMPARE(ends.stopped.count(), 1);
            QVERIFY(!t.errorText().isEmpty());
            QVERIFY(m->orderPath().isEmpty() && m->orderBakPath().isEmpty());
        }
        QCOMPARE(fileTree(roots.base()), before);
        QVERIFY(QDir::current().entryList({"2016*"}).isEmpty());
    }

    void missingOrderFolderStopsTheBatch()
    {
        testsupport::TempRoots roots;
        QScopedPointer<ImportOrderModel> m(order("2016-05-12"));
        // a file where the order folder goes
        QVERIFY(QDir().mkpath(roots.path("pic/2016-05/12")));
        QVERIFY(testsupport::put(roots.path("pic/2016-05/12/A1203-2"), "not a folder"));
        ImportOrderThread t(m.data(), ImportFinishedPhotos);
        Ends ends(&t);
        t.createOrderDir(roots.picRoot(), roots.bakRoot());
        QCOMPARE(ends.total(), 1);
        QCOMPARE(ends.orderPath.count(), 1);
        QCOMPARE(t.errorText(), "无法建立订单目录：" + roots.path("pic/2016-05/12/A1203-2/") + "（文件已存在）");
        QVERIFY(t.runSettings().stop->isStopped());
        QVERIFY(m->orderPath().isEmpty());

        // The run repeats the build, reports the same end once more and imports nothing.
        g_picPath = roots.picRoot();
        g_bakPicPath = roots.bakRoot();
        m->setFinishedFiles({roots.path("none.jpg")});
        auto *run = new ImportOrderThread(m.data(), ImportFinishedPhotos);
        Ends runEnds(run);
        QSignalSpy progress(run, &ImportOrderThread::hasImportedImgCount);
        run->start();
        QVERIFY(run->wait(testsupport::kWaitMs));
        QCOMPARE(runEnds.total(), 1);
        QCOMPARE(runEnds.orderPath.count(), 1);
        QCOMPARE(progress.count(), 0);
        delete run;
    }
};

TESSALY_TEST_MAIN(TestOrderDir)
#include "tst_orderdir.moc"
