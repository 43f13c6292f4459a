#include "fileoperation.h"
#include "folderindex.h"
#include "globals.h"
#include "imagedata.h"
#include "platform.h"
#include "separatethread.h"
#include "filebytes.h"
#include "testsupport.h"
#include "windowguard.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QSemaphore>
#include <QThreadPool>

#include <cerrno>

// Records the reports of separation jobs, as a window's slots receive them.
class Receiver : public QObject
{
    Q_OBJECT
public:
    QStringList calls;
    QList<Image> finished; // of the last crop job
public slots:
    void fenjian_photoIsFileSlot_1(int num) { calls << QString("check %1").arg(num); }
    void fenjian_finalPhotoSlot_2() { calls << "final"; }
    void fenjian_delPhotoSlot_3() { calls << "del"; }
    void fenjian_markPhoto_3_1() { calls << "mark"; }
    void fenjian_productPhotoSlot_4(QString name) { calls << "product " + name; }
    void fenjian_analysisPhotoInfo(QList<Image> photos)
    {
        calls << "analysed";
        finished = photos;
    }
    void done() { calls << "done"; }
};

namespace {

using testsupport::bytesOf;
using testsupport::put;

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestSeparateThread : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    Receiver m_receiver;
    std::shared_ptr<WindowGuard> m_guard;

    QString path(const QString &relative) const { return m_dir->path() + "/" + relative; }
    // Runs the job on this thread and delivers its report.
    void runJob(SeparateThread *job)
    {
        job->setAutoDelete(false);
        job->run();
        delete job;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        m_receiver.calls.clear();
        m_guard = WindowGuard::create(&m_receiver);
        Platform::clearFaults();
    }
    void cleanup()
    {
        m_guard->close();
        QThreadPool::globalInstance()->waitForDone();
        Platform::clearFaults();
    }

    void finishedCopies_data()
    {
        QTest::addColumn<QString>("orderPath"); // below the temporary folder
        QTest::addColumn<QString>("photo");
        QTest::addColumn<QStringList>("raws");  // in 照片/新建文件夹/
        QTest::addColumn<QString>("rawSwitch");
        QTest::addColumn<QStringList>("copied"); // the target folder afterwards

        QTest::newRow("CR2 and NEF") << "o/" << "x.jpg" << QStringList{"x.CR2", "x.NEF", "y.ARW"} << "1"
                                     << QStringList{"x.CR2", "x.NEF", "x.jpg"};
        QTest::newRow("upper-case JPG, lower-case raw") << "o/" << "x.JPG" << QStringList{"x.cr3"} << "1"
                                                       << QStringList{"x.CR3", "x.JPG"};
        QTest::newRow("switch off") << "o/" << "x.jpg" << QStringList{"x.CR2"} << "0" << QStringList{"x.jpg"};
        QTest::newRow("png keeps the retouched copy") << "o/" << "x.png" << QStringList{"x.png", "x.CR2"} << "1"
                                                      << QStringList{"x.png"};
        QTest::newRow(".jpg in a folder name") << "a.jpg/o.jpg/" << "x.jpg" << QStringList{"x.RAF"} << "1"
                                               << QStringList{"x.RAF", "x.jpg"};
    }
    void finishedCopies()
    {
        QFETCH(QString, orderPath);
        QFETCH(QString, photo);
        QFETCH(QStringList, raws);
        QFETCH(QString, rawSwitch);
        QFETCH(QStringList, copied);

        const QString order = path(orderPath);
        QVERIFY(put(order + "成品/" + photo, "retouched"));
        for (const QString &raw : raws)
            QVERIFY(put(order + "照片/新建文件夹/" + raw, "raw " + raw.toUtf8()));
        const QString target = path("out/成品/");
        QVERIFY(QDir().mkpath(target));
        auto *job = new SeparateThread(order + "成品/" + photo, target + photo, true, SeparateThread::FinalPhotoCopy,
                                       m_guard);
        job->setCopyRaws(rawSwitch == "1");
        runJob(job);
        QCOMPARE(m_receiver.calls, QStringList{"final"});
        QCOMPARE(filesIn(target), copied);
        QCOMPARE(bytesOf(target + photo), QByteArray("retouched"));
        QVERIFY(m_guard->takeFailures().isEmpty());
    }

    void productCopies_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<QStringList>("inTarget"); // already there
        QTest::addColumn<QString>("report");
        QTest::addColumn<QStringList>("after");

        QTest::newRow("copied") << "a.jpg" << QStringList() << "" << QStringList{"a.jpg"};
        QTest::newRow("other letter case in the work folder") << "B.jpg" << QStringList() << ""
                                                              << QStringList{"B.jpg"};
        QTest::newRow("taken name gets a number") << "a.jpg" << QStringList{"a.jpg"} << ""
                                                  << QStringList{"a(1).jpg", "a.jpg"};
        QTest::newRow("missing: named by its product") << "c.jpg" << QStringList() << "相框:c.jpg" << QStringList();
        QTest::newRow("climbing name") << "../a.jpg" << QStringList() << "相框:../a.jpg" << QStringList();
    }
    void productCopies()
    {
        QFETCH(QString, photo);
        QFETCH(QStringList, inTarget);
        QFETCH(QString, report);
        QFETCH(QStringList, after);

        QVERIFY(put(path("work/成品/a.jpg"), "a"));
        QVERIFY(put(path("work/成品/b.JPG"), "b"));
        QVERIFY(put(path("work/a.jpg"), "outside"));
        for (const QString &name : inTarget)
            QVERIFY(put(path("product/") + name, "old"));
        QVERIFY(QDir().mkpath(path("product")));
        auto *job = new SeparateThread(photo, path("product/") + photo, "相框", false,
                                       SeparateThread::ProductPhotoCopy, m_guard);
        job->setFinishedFolder(path("work/成品/"));
        // as the window finds it in its listing of the finished copies
        job->setFinishedName(FolderIndex(path("work/成品/")).fileName(photo));
        runJob(job);
        QCOMPARE(m_receiver.calls, QStringList{"product " + report});
        QCOMPARE(filesIn(path("product")), after);
    }

    void failedCopiesAreKept()
    {
        QVERIFY(put(path("o/成品/x.jpg"), "x"));
        QVERIFY(put(path("o/照片/新建文件夹/x.CR2"), "raw"));
        QVERIFY(QDir().mkpath(path("out")));
        Platform::failCopies("x.CR2");
        auto *final = new SeparateThread(path("o/成品/x.jpg"), path("out/x.jpg"), true, SeparateThread::FinalPhotoCopy,
                                         m_guard);
        final->setCopyRaws(true);
        runJob(final);
        runJob(new SeparateThread(path("o/成品/x.jpg"), path("missing/x.jpg"), true, SeparateThread::MarkPhotoCopy,
                                  m_guard));
        runJob(new SeparateThread(path("o/成品"), path("out/成品"), true, SeparateThread::DelPhotoCopy, m_guard));
        QCOMPARE(m_receiver.calls, (QStringList{"final", "mark", "del"}));
        // each with its reason in words
        QCOMPARE(m_guard->takeFailures(), (QStringList{path("out/x.CR2") + "（" + errorText(EPERM) + "）",
                                                       path("missing/x.jpg") + "（目标文件夹不存在）"}));
        QVERIFY(m_guard->takeFailures().isEmpty());
    }

    void checksAndCropInformation()
    {
        QVERIFY(put(path("o/成品/a.jpg"), testsupport::jpegWithOrientation(QSize(40, 30), 0)));
        QVERIFY(put(path("o/成品/b.JPG"), testsupport::jpegWithOrientation(QSize(40, 30), 0)));
        runJob(new SeparateThread(path("o/成品/a.jpg"), SeparateThread::PhotoIsFile, m_guard));
        runJob(new SeparateThread(path("o/成品"), SeparateThread::PhotoIsFile, m_guard));
        runJob(new SeparateThread(path("o/成品/c.jpg"), SeparateThread::PhotoIsFile, m_guard));

        const QJsonArray crops{
            QJsonObject{{"picname", "a.jpg"}, {"descr", "裁方"}, {"pictype", "0"}, {"picx", "1"}, {"picy", "2"},
                        {"picwidth", "30"}, {"picheight", "x"}},
            QJsonObject{{"picname", "b.jpg"}, {"picx", 5}, {"picy", 5}, {"picwidth", 9}, {"picheight", 9}},
            // values near the ends of int are bounded to the largest photo before the rectangle is made
            QJsonObject{{"picname", "d.jpg"}, {"picx", "2147483647"}, {"picy", "2147483000"}, {"picwidth", "2147483647"},
                        {"picheight", "-2147483648"}},
            QJsonObject{{"picname", "e.jpg"}, {"picx", "-10"}, {"picy", "100"}, {"picwidth", "2147483647"},
                        {"picheight", "2147483647"}}};
        for (const char *name : {"o/成品/d.jpg", "o/成品/e.jpg"})
            QVERIFY(put(path(name), testsupport::jpegWithOrientation(QSize(40, 30), 0)));
        runJob(new SeparateThread(crops, path("o/"), SeparateThread::AnalysePhotoInfo, m_guard));
        QCOMPARE(m_receiver.calls, (QStringList{"check 1", "check 0", "check 0", "analysed"}));
        const QList<Image> fine = m_receiver.finished;
        QCOMPARE(fine.size(), 4);
        QCOMPARE(fine.at(0).getFileName(), QString("a.jpg"));
        QCOMPARE(fine.at(0).getDescription(), QString("裁方"));
        QCOMPARE(fine.at(0).getRect(), QRect(1, 2, 30, 0));
        QVERIFY(!fine.at(0).isMark());
        QCOMPARE(fine.at(1).getFileName(), QString("b.jpg"));
        QCOMPARE(fine.at(1).getRect(), QRect(0, 0, 0, 0)); // numbers are no text
        QVERIFY(fine.at(1).isMark());                      // nor is a missing type "0"
        QCOMPARE(fine.at(2).getRect(), QRect(65535, 65535, 0, 0));
        QCOMPARE(fine.at(3).getRect(), QRect(0, 100, 65535, 65435));
    }

    // A closed window's queued jobs go, running ones report nothing; another window's jobs go on. Its copies
    // into a folder are seen by the other window until they have ended or gone.
    void closingDropsOnlyTheWindowsJobs()
    {
        QThreadPool *pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        pool->setMaxThreadCount(1);
        Receiver other;
        std::shared_ptr<WindowGuard> otherGuard = WindowGuard::create(&other);
        QSemaphore started, release;
        m_guard->startJob([&] {
            started.release();
            release.acquire();
            m_guard->report("done");
        }, 0, path("o/"));
        QVERIFY(started.tryAcquire(1, testsupport::kWaitMs));
        QVERIFY(put(path("o/a.jpg"), "a"));
        for (int i = 0; i < 3; ++i)
            m_guard->startJob(new SeparateThread(path("o/a.jpg"), SeparateThread::PhotoIsFile, m_guard), 0, path("o/"));
        otherGuard->startJob(new SeparateThread(path("o/a.jpg"), SeparateThread::PhotoIsFile, otherGuard));
        QCOMPARE(m_guard->queuedJobs(), 3);
        QCOMPARE(m_guard->runningJobs(), 1);
        QVERIFY(otherGuard->othersWriteInto(path("o")));
        QVERIFY(!m_guard->othersWriteInto(path("o/"))); // not its own
        QVERIFY(!otherGuard->othersWriteInto(path("o2/")));

        m_guard->close();
        QCOMPARE(m_guard->queuedJobs(), 0);
        QVERIFY(!m_guard->report("done"));
        QVERIFY(otherGuard->othersWriteInto(path("o//"))); // the one running
        release.release();
        pool->waitForDone();
        QVERIFY(!otherGuard->othersWriteInto(path("o/"))); // the dropped ones neither
        QVERIFY(testsupport::waitFor([&] { return other.calls.size() == 1; }));
        QCOMPARE(other.calls, QStringList{"check 1"});
        QCoreApplication::processEvents();
        QVERIFY(m_receiver.calls.isEmpty());
        otherGuard->close();
        pool->setMaxThreadCount(threads);
    }

    void reportPostedBeforeTheCloseIsNotDelivered()
    {
        QVERIFY(m_guard->report("done"));
        m_guard->close();
        QCoreApplication::sendPostedEvents();
        QVERIFY(m_receiver.calls.isEmpty());

        // and a job that starts after the close does nothing
        QVERIFY(put(path("o/a.jpg"), "a"));
        QVERIFY(QDir().mkpath(path("out")));
        runJob(new SeparateThread(path("o/a.jpg"), path("out/a.jpg"), true, SeparateThread::FinalPhotoCopy, m_guard));
        QVERIFY(filesIn(path("out")).isEmpty());
    }
};

TESSALY_TEST_MAIN(TestSeparateThread)
#include "tst_separatethread.moc"
