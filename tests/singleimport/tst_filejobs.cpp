// The file move job and the photo copy job.

#include "copyfilethread.h"
#include "copypicthread.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "platform.h"
#include "testsupport.h"

using testsupport::bytesOf;
using testsupport::put;

class Receiver : public QObject
{
    Q_OBJECT
public:
    QStringList reports;
    QStringList failures;
public slots:
    void solaImgImport(QString path) { reports << path; }
    void onImportFailures(QStringList lines) { failures << lines; }
};

class TestFileJobs : public QObject
{
    Q_OBJECT
private slots:
    void init() { testsupport::prepare(); }
    void move_data();
    void move();
    void copyPic_data();
    void copyPic();
    void copyPicReceiverGone();
};

void TestFileJobs::move_data()
{
    QTest::addColumn<QString>("target");     // "%1" = the temporary folder
    QTest::addColumn<QString>("failCopy");
    QTest::addColumn<QByteArray>("atSource"); // bytes at the source afterwards
    QTest::addColumn<QByteArray>("atTarget"); // bytes at b/a.jpg afterwards
    QTest::newRow("move replaces the target") << "%1/b/a.jpg" << "" << QByteArray("<missing>") << QByteArray("photo");
    QTest::newRow("backslash target") << "%1\\b\\a.jpg" << "" << QByteArray("<missing>") << QByteArray("photo");
    QTest::newRow("onto itself, other spelling") << "%1/a/../a/./a.jpg" << "" << QByteArray("photo") << QByteArray("old");
    QTest::newRow("failed copy keeps the source") << "%1/b/a.jpg" << "b/a.jpg" << QByteArray("photo") << QByteArray("<missing>");
    QTest::newRow("delete job") << "" << "" << QByteArray("<missing>") << QByteArray("old");
}

void TestFileJobs::move()
{
    QFETCH(QString, target);
    QFETCH(QString, failCopy);
    QFETCH(QByteArray, atSource);
    QFETCH(QByteArray, atTarget);
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/a/a.jpg");
    QVERIFY(put(source, "photo"));
    QVERIFY(QDir().mkpath(dir.path() + QStringLiteral("/b")));
    if (!failCopy.contains(QLatin1String("b/a.jpg")))
        QVERIFY(put(dir.path() + QStringLiteral("/b/a.jpg"), "old"));
    if (!failCopy.isEmpty())
        Platform::failCopies(failCopy);

    CopyFileThread *job = target.isEmpty() ? new CopyFileThread(source) : new CopyFileThread(source, target.arg(dir.path()));
    QThreadPool pool;
    pool.start(job);
    pool.waitForDone();
    QCOMPARE(bytesOf(source), atSource);
    QCOMPARE(bytesOf(dir.path() + QStringLiteral("/b/a.jpg")), atTarget);
}

void TestFileJobs::copyPic_data()
{
    QTest::addColumn<bool>("forVideos");  // built with the five-argument constructor
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("written"); // "<folder>name=WxH" (photos) or "<folder>name=bytes"
    QTest::addColumn<QString>("report");      // "source", "target" or "" for none
    QTest::addColumn<bool>("fullFirst");      // the job runs on a full disk first, then again with room
    QTest::addColumn<QString>("failure");     // told to the receiver (on the full disk); "%1" the temporary folder

    QTest::newRow("photo as shot, .JPG becomes .jpg, turned upright")
        << false << 0 << "A-001.JPG"
        << QStringList{"pic/照片/A-001.jpg=40x80", "pic/thumbnail2250/A-001.jpg=1125x2250",
                       "pic/thumbnail/A-001.jpg=500x1000", "pic/thumbnail100/A-001.jpg=100x200",
                       "bak/照片/A-001.jpg=80x40"}
        << "source" << false << "";
    QTest::newRow("finished photo keeps a mixed-case suffix, no backup")
        << false << 1 << "B.Jpg" << QStringList{"pic/成品/B.Jpg=40x80", "pic/成品缩略图100/B.Jpg=100x200"} << "source"
        << false << "";
    QTest::newRow("finished photo on a full disk: told with the reason, placed by the next run")
        << false << 1 << "B.jpg" << QStringList{"pic/成品/B.jpg=40x80", "pic/成品缩略图100/B.jpg=100x200"} << "source"
        << true << "photo.jpg：保存失败 %1/pic/成品/B.jpg（磁盘空间不足或文件过大）";
    QTest::newRow("trial video: target reported, another file of the name kept and told")
        << true << 3 << "v.mp4" << QStringList{"pic/试拍视频/v.mp4=old"} << "target" << false
        << "v.mp4：目标已有同名的不同文件，未覆盖";
    QTest::newRow("retouched video: source reported") << true << 4 << "w.mp4" << QStringList{"pic/精修视频/w.mp4=video"}
                                                      << "source" << false << "";
    QTest::newRow("retouched video on a full disk: told with the reason, placed once by the next runs")
        << true << 4 << "w.mp4" << QStringList{"pic/精修视频/w.mp4=video"} << "source" << true
        << "w.mp4：复制失败 %1/pic/精修视频/w.mp4（磁盘空间不足或文件过大）";
    QTest::newRow("negative code is a retouched video") << true << -1 << "w.mp4"
                                                        << QStringList{"pic/精修视频/w.mp4=video"} << "source" << false << "";
    QTest::newRow("photo code without a backup folder does nothing") << true << 0 << "A-001.jpg" << QStringList{} << ""
                                                                     << false << "";
}

void TestFileJobs::copyPic()
{
    QFETCH(bool, forVideos);
    QFETCH(int, type);
    QFETCH(QString, fileName);
    QFETCH(QStringList, written);
    QFETCH(QString, report);
    QFETCH(bool, fullFirst);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    const QString base = dir.path() + QLatin1Char('/');
    for (const char *sub : {"照片/", "thumbnail/", "thumbnail100/", "thumbnail2250/", "成品/", "成品缩略图/",
                               "成品缩略图100/", "成品缩略图2250/", "试拍视频/", "精修视频/"})
        QVERIFY(QDir().mkpath(base + "pic/" + QString::fromUtf8(sub)));
    QVERIFY(QDir().mkpath(base + "bak/照片"));
    QVERIFY(put(base + "pic/试拍视频/v.mp4", "old"));
    const QString source = base + (forVideos && type != 0 ? "in/" + fileName : "in/photo.jpg");
    QVERIFY(put(source, forVideos && type != 0 ? QByteArray("video") : testsupport::jpegWithOrientation(QSize(80, 40), 6)));

    Receiver receiver;
    QThreadPool pool;
    auto runJob = [&] {
        receiver.reports.clear();
        receiver.failures.clear();
        pool.start(forVideos ? new CopyPicThread(base + "pic/", source, fileName, type, &receiver)
                             : new CopyPicThread(base + "pic/", base + "bak/", source, fileName, type, &receiver));
        pool.waitForDone();
        QCoreApplication::sendPostedEvents();
    };
    const QString told = QString(failure).replace("%1", dir.path());
    if (fullFirst) {
        {
            const testsupport::FileSizeLimit full(2);
            runJob();
        }
        QCOMPARE(receiver.failures, QStringList{told});
        QVERIFY(!report.isEmpty() && receiver.reports.size() == 1); // the job still ends as usual
        for (int again = 0; again < 2; ++again) // placed once, the same file found the next time
            runJob();
        QCOMPARE(receiver.failures, QStringList());
        // nothing left beside the copy
        const QString folder = base + "pic/" + written.first().section('/', 1, 1);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{written.first().section('/', 2).section('=', 0, 0)});
    } else {
        runJob();
        QCOMPARE(receiver.failures, told.isEmpty() ? QStringList() : QStringList{told});
    }

    for (const QString &w : written) {
        const QString path = base + w.section('=', 0, 0);
        const QString want = w.section('=', 1);
        if (want.contains('x')) { // a size
            const QImage image(path);
            QCOMPARE(QStringLiteral("%1x%2").arg(image.width()).arg(image.height()), want);
        } else {
            QCOMPARE(bytesOf(path), want.toUtf8());
        }
    }
    if (written.isEmpty())
        QVERIFY(QDir(base + "pic/照片").isEmpty() && QDir(base + "bak/照片").isEmpty());
    const QString target = base + "pic/" + (type == 3 ? "试拍视频/" : "精修视频/") + fileName;
    QCOMPARE(receiver.reports, report.isEmpty() ? QStringList() : QStringList{report == "source" ? source : target});
}

void TestFileJobs::copyPicReceiverGone()
{
    QTemporaryDir dir;
    QVERIFY(put(dir.path() + "/in/v.mp4", "video"));
    QVERIFY(QDir().mkpath(dir.path() + "/pic/试拍视频"));
    auto *receiver = new Receiver;
    QThreadPool pool;
    pool.start(new CopyPicThread(dir.path() + "/pic/", dir.path() + "/in/v.mp4", "v.mp4", 3, receiver));
    pool.waitForDone();
    delete receiver; // its report is still queued
    QCoreApplication::sendPostedEvents();
    QCOMPARE(bytesOf(dir.path() + "/pic/试拍视频/v.mp4"), QByteArray("video"));
}

TESSALY_TEST_MAIN(TestFileJobs)
#include "tst_filejobs.moc"
