#include "imagedata.h"
#include "imageoperation.h"
#include "platform.h"
#include "testsupport.h"
#include "thumbnailthread.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QThreadPool>

// Stands in for a window that waits for the work-sheet thumbnails.
class ThumbReceiver : public QObject
{
    Q_OBJECT
public:
    static int calls;
public slots:
    void onFinishSaveThumb() { ++calls; }
};
int ThumbReceiver::calls = 0;

namespace {
Image cropEntry(const QString &name, const QString &descr, const QRect &rect, bool mark)
{
    Image image(PHOTOTYPE_PHOTO, name);
    image.setDescription(descr);
    image.setRect(rect, mark);
    return image;
}
} // namespace

class TestImageData : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        ThumbReceiver::calls = 0;
    }

    void importListsFinishedPhotosWithTheirCropInformation()
    {
        testsupport::TempRoots roots;
        const QString root = roots.picRoot();
        QVERIFY(QDir(root).mkpath("成品/sub.jpg"));
        for (const char *name : {"b.jpg", "A.JPG", "c.Jpg", "D.jpg"})
            QVERIFY(testsupport::writeJpeg(root + "成品/" + name, QSize(20, 10)));
        QVERIFY(testsupport::writeJpeg(root + "成品/e.png", QSize(20, 10)));

        const QList<Image> crops{cropEntry("A.jpg", "放大", QRect(1, 2, 3, 4), true),
                                 cropEntry("b.jpg", "旧", QRect(5, 5, 5, 5), false),
                                 cropEntry("B.jpg", "大小写不同", QRect(9, 9, 9, 9), true),
                                 cropEntry("b.jpg", "新", QRect(6, 7, 8, 9), true)};

        const QList<Image> fine = finishedImages(ImagePath(root), crops);
        QStringList names;
        for (const Image &i : fine)
            names << i.getFileName();
        QCOMPARE(names, QStringList({"A.jpg", "b.jpg", "c.Jpg", "D.jpg"}));
        QCOMPARE(fine[0].getDescr(), QString("A.jpg")); // the work sheet reads the file name this way
        for (const Image &i : fine)
            QCOMPARE(i.getType(), PHOTOTYPE_FINE);

        QCOMPARE(fine[0].getDescription(), QString("放大"));   // matched after ".JPG" became ".jpg"
        QCOMPARE(fine[0].getRect(), QRect(1, 2, 3, 4));
        QVERIFY(fine[0].isMark());
        QCOMPARE(fine[1].getDescription(), QString("新"));     // the last equal entry counts
        QCOMPARE(fine[1].getRect(), QRect(6, 7, 8, 9));
        QVERIFY(fine[1].isMark());
        QVERIFY(fine[2].getDescription().isEmpty());          // no crop entry: defaults
        QCOMPARE(fine[2].getRect(), QRect(0, 0, 0, 0));
        QVERIFY(!fine[2].isMark());

        // an order without a finished folder, or without a full path, lists nothing
        QVERIFY(finishedImages(ImagePath(roots.bakRoot()), crops).isEmpty());
        QVERIFY(finishedImages(ImagePath(), crops).isEmpty());
    }

    void orderFoldersDeriveFromTheRoot()
    {
        QCOMPARE(ImagePath().getFinePath(), QString("成品/"));
        const ImagePath order("D:/pic/A1/");
        QCOMPARE(order.getOrderPath(), QString("D:/pic/A1/"));
        QCOMPARE(order.getFinePath(), QString("D:/pic/A1/成品/"));
        QCOMPARE(order.getFineThumbPath(), QString("D:/pic/A1/成品缩略图/"));
#ifndef Q_OS_WIN
        QCOMPARE(ImagePath("\\\\srv\\pic\\A1\\").getFinePath(), QString("//srv/pic/A1/成品/"));
#endif
    }

    void sheetThumbnailsAreSavedHiddenAndReportedQueued()
    {
        testsupport::TempRoots roots;
        const QString root = roots.picRoot();
        QVERIFY(QDir(root).mkpath("成品"));
        QVERIFY(testsupport::writeJpeg(root + "成品/a.jpg", QSize(400, 300)));
        QVERIFY(testsupport::writeJpeg(root + "成品/b.jpg", QSize(300, 400)));
        QVERIFY(testsupport::writeJpeg(root + "成品/c:stream.jpg", QSize(300, 400))); // a stream of "c" on Windows
        const ImagePath order(root);
        QList<Image> images = finishedImages(order, QList<Image>());
        images.insert(1, Image(PHOTOTYPE_FINE, "gone.jpg")); // cannot be made; the rest goes on

        const QString out = roots.path("out/"); // missing yet; its parent exists
        ThumbReceiver receiver;
        ThumbnailThread job(images, order.getFinePath(), order.getFineThumbPath(), out, &receiver, 88);
        job.setAutoDelete(false);
        job.run();
        QCOMPARE(ThumbReceiver::calls, 0); // queued, not called from inside the job
        QVERIFY(testsupport::waitFor([] { return ThumbReceiver::calls == 1; }));

        const QString thumbDir = roots.path("out/制作单缩略图/");
        QVERIFY(QDir(thumbDir).exists());
        QVERIFY(Platform::isHidden(thumbDir));
        QCOMPARE(QImage(thumbDir + "a.jpg").size(), QSize(88, 88));
        QCOMPARE(QImage(thumbDir + "b.jpg").size(), QSize(88, 88));
        QVERIFY(!QFile::exists(thumbDir + "gone.jpg"));
        QCOMPARE(QDir(thumbDir).entryList(QDir::Files), (QStringList{"a.jpg", "b.jpg"})); // one safe name each
        QVERIFY(!QFile::exists(root + "成品缩略图/a.jpg")); // no preview folder: none made

        // the same job on the pool
        QThreadPool::globalInstance()->start(
            new ThumbnailThread(images, order.getFinePath(), order.getFineThumbPath(), out, &receiver, 88));
        QVERIFY(testsupport::waitFor([] { return ThumbReceiver::calls == 2; }));
        QThreadPool::globalInstance()->waitForDone();

        // a job whose window has closed makes no thumbnail and no preview
        QVERIFY(QDir(root).mkpath("成品缩略图"));
        const QString closedOut = roots.path("closed/");
        ThumbnailThread stopped(images, order.getFinePath(), order.getFineThumbPath(), closedOut, &receiver, 88);
        stopped.setAutoDelete(false);
        stopped.setStopWhen([] { return true; });
        QCOMPARE(stopped.saveWorkSheetThumbs(), 0);
        QVERIFY(QDir(closedOut + "制作单缩略图").isEmpty());
        QVERIFY(QDir(root + "成品缩略图").isEmpty());
    }

    void deletedReceiverIsNeverCalled()
    {
        testsupport::TempRoots roots;
        const QString out = roots.path("out/");
        const QList<Image> none;

        // deleted after the job ran but before its report is delivered
        auto *early = new ThumbReceiver;
        ThumbnailThread job(none, QString(), QString(), out, early, 88);
        job.setAutoDelete(false);
        job.run();
        delete early;
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(ThumbReceiver::calls, 0);

        // deleted before the job starts on the pool
        auto *gone = new ThumbReceiver;
        auto *pooled = new ThumbnailThread(none, QString(), QString(), out, gone, 88);
        delete gone;
        QThreadPool::globalInstance()->start(pooled);
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(ThumbReceiver::calls, 0);
        QVERIFY(QDir(roots.path("out/制作单缩略图")).exists()); // the work itself was still done
    }

    void noOutputFolderWritesNothingButStillReports()
    {
        testsupport::TempRoots roots;
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(roots.base()));
        ThumbReceiver receiver;
        ThumbnailThread job(QList<Image>() << Image(PHOTOTYPE_FINE, "a.jpg"), "成品/", "成品缩略图/", QString(), &receiver,
                            88);
        job.setAutoDelete(false);
        QCOMPARE(job.saveWorkSheetThumbs(), 0);
        job.run();
        QVERIFY(testsupport::waitFor([] { return ThumbReceiver::calls == 1; }));
        QVERIFY(!QDir(roots.path("制作单缩略图")).exists());
        QDir::setCurrent(cwd);
    }
};

TESSALY_TEST_MAIN(TestImageData)
#include "tst_imagedata.moc"
