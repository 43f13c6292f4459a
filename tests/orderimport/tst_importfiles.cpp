#include "fileoperation.h"
#include "globals.h"
#include "imageoperation.h"
#include "importclaim.h"
#include "importordermodel.h"
#include "importorderthread.h"
#include "importstate.h"
#include "photoimport.h"
#include "platform.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "testsupport.h"

#include <QImageReader>
#include <QJsonObject>
#include <QSignalSpy>
#include <QThreadPool>

using testsupport::bytesOf;
using testsupport::put;

namespace {

QSize sizeOf(const QString &path)
{
    return QImageReader(path).size();
}

bool isRed(QRgb c)
{
    return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}

// An order whose folders are already built under the temporary roots.
ImportOrderModel *builtOrder(const testsupport::TempRoots &roots, ImportTypeEnum type)
{
    auto *m = new ImportOrderModel(
        QJsonObject{{"order_photo_id", "9"}, {"orderpayforkey", "C7"}, {"servicetimes", "1"}, {"shotdate", "2023-05-12"}});
    m->setFinishedFolderSuffix(QString());
    g_picPath = roots.picRoot();
    g_bakPicPath = roots.bakRoot();
    ImportOrderThread(m, type).createOrderDir(g_picPath, g_bakPicPath);
    return m;
}

// Runs one order's thread to its end and returns its signals in the order they arrived.
QStringList runOrder(ImportOrderModel *m, ImportTypeEnum type, int parallel = 0, ImportOrderThread **keep = nullptr)
{
    QStringList log;
    auto *t = new ImportOrderThread(m, type);
    t->setParallelPhotos(parallel);
    QObject receiver;
    QObject::connect(t, &ImportOrderThread::hasImportedImgCount, &receiver,
                     [&](quint16 done, quint16 total) { log << QString("%1/%2").arg(done).arg(total); });
    QObject::connect(t, &ImportOrderThread::hasFinishedImportSigl, &receiver,
                     [&](quint16 n) { log << QString("end %1").arg(n); });
    QObject::connect(t, &ImportOrderThread::checkDiskSizeSigl, &receiver,
                     [&](const QString &p) { log << "disk " + QFileInfo(p).fileName(); });
    QObject::connect(t, &ImportOrderThread::importOrderStoppedSigl, &receiver, [&](const QString &) { log << "stopped"; });
    QObject::connect(t, &ImportOrderThread::importFailedFilesSigl, &receiver,
                     [&](const QStringList &f) { log << QString("failed %1").arg(f.size()); });
    QObject::connect(t, &ImportOrderThread::importDirDovraThreadError, &receiver, [&] { log << "dovra error"; });
    QObject::connect(t, &ImportOrderThread::startImportDirDovraThreadSigl, &receiver,
                     [&](const QList<DovraFileInfo> &list, const QString &toDir) {
                         log << "dovra " + toDir;
                         for (const DovraFileInfo &f : list)
                             log << f.getFilePath() + " -> " + f.getToFilePath();
                     });
    bool done = false;
    QObject::connect(t, &QThread::finished, &receiver, [&] { done = true; });
    t->start();
    if (!testsupport::waitFor([&] { return done; }))
        qWarning("import thread did not finish");
    QCoreApplication::processEvents();
    if (keep)
        *keep = t;
    else
        delete t;
    return log;
}

} // namespace

class TestImportFiles : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        Platform::clearFaults();
        Platform::setFreeDiskBytesOverride(-1);
        g_yptbcp = "0";
        registerDovraFileInfoList();
    }

    void photosComeInUprightWithThumbnailsAndBackup()
    {
        // The same order one photo at a time and on the pool: same files, same signals.
        for (int parallel : {1, 4}) {
            testsupport::TempRoots roots;
            const QString src = roots.path("src/");
            QDir().mkpath(src);
            QVERIFY(testsupport::writeJpeg(src + "o1.jpg", QSize(300, 200), 1));
            QVERIFY(testsupport::writeJpeg(src + "o3.jpg", QSize(300, 200), 3));
            QVERIFY(testsupport::writeJpeg(src + "o6.jpg", QSize(300, 200), 6, true));
            QVERIFY(testsupport::writeJpeg(src + "o8.jpg", QSize(300, 200), 8));
            QVERIFY(testsupport::writeJpeg(src + "o5.jpg", QSize(300, 200), 5));
            QVERIFY(testsupport::writeJpeg(src + "big.jpg", QSize(4500, 3000), 0));
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportOriginPhotos));
            m->setOriginFiles({src + "o1.jpg", src + "o3.jpg", src + "o6.jpg", src + "o8.jpg", src + "big.jpg", src + "o5.jpg"});
            g_yptbcp = "1";

            const QStringList log = runOrder(m.data(), ImportOriginPhotos, parallel);
            QCOMPARE(log, QStringList({"1/6", "2/6", "3/6", "4/6", "5/6", "6/6", "end 6"}));

            const QString dir = m->orderPath();
            for (const QString &main : {dir + "照片/", dir + "成品/"}) {
                QCOMPARE(bytesOf(main + "o1.jpg"), bytesOf(src + "o1.jpg"));
                QCOMPARE(bytesOf(main + "big.jpg"), bytesOf(src + "big.jpg"));
                // Red corner of the source (top left) where each turn puts it.
                const QImage o3(main + "o3.jpg"), o6(main + "o6.jpg"), o8(main + "o8.jpg");
                QCOMPARE(o3.size(), QSize(300, 200));
                QVERIFY(isRed(o3.pixel(290, 190)) && !isRed(o3.pixel(5, 5)));
                QCOMPARE(o6.size(), QSize(200, 300));
                QVERIFY(isRed(o6.pixel(190, 5)) && !isRed(o6.pixel(5, 5)));
                QCOMPARE(o8.size(), QSize(200, 300));
                QVERIFY(isRed(o8.pixel(5, 290)) && !isRed(o8.pixel(5, 5)));
                // 5 is a transposed photo: shown upright, the red corner stays at the top left.
                const QImage o5(main + "o5.jpg");
                QCOMPARE(o5.size(), QSize(200, 300));
                QVERIFY(isRed(o5.pixel(5, 5)) && !isRed(o5.pixel(190, 5)) && !isRed(o5.pixel(5, 290)));
            }
            // Backups are the files as chosen, never turned.
            for (const QString &name : QStringList{"o1.jpg", "o3.jpg", "o6.jpg", "o8.jpg"})
                QCOMPARE(bytesOf(m->orderBakPath() + "照片/" + name), bytesOf(src + name));

            QCOMPARE(sizeOf(dir + "thumbnail2250/o1.jpg"), QSize(2250, 1500));
            QCOMPARE(sizeOf(dir + "thumbnail/o1.jpg"), QSize(1000, 666));
            QCOMPARE(sizeOf(dir + "thumbnail100/o1.jpg"), QSize(200, 133));
            QCOMPARE(sizeOf(dir + "thumbnail2250/o6.jpg"), QSize(1500, 2250));
            QCOMPARE(sizeOf(dir + "thumbnail/o8.jpg"), QSize(666, 1000));
            QCOMPARE(sizeOf(dir + "thumbnail100/o3.jpg"), QSize(200, 133));
            QCOMPARE(sizeOf(dir + "thumbnail2250/big.jpg"), QSize(2250, 1500));
            QCOMPARE(sizeOf(dir + "thumbnail/big.jpg"), QSize(1000, 666));
            QCOMPARE(sizeOf(dir + "thumbnail100/big.jpg"), QSize(200, 133));
            const QImage thumb6(dir + "thumbnail/o6.jpg");
            QVERIFY(isRed(thumb6.pixel(thumb6.width() - 5, 5)) && !isRed(thumb6.pixel(5, 5)));
            const QImage thumb5(dir + "thumbnail2250/o5.jpg");
            QCOMPARE(thumb5.size(), QSize(1500, 2250));
            QVERIFY(isRed(thumb5.pixel(20, 20)) && !isRed(thumb5.pixel(1480, 20)) && !isRed(thumb5.pixel(20, 2230)));
            // Photos as shot leave the finished thumbnails alone.
            QVERIFY(QDir(dir + "成品缩略图").isEmpty());
        }
    }

    void reimportReplacesMainFilesAndNumbersBackups()
    {
        testsupport::TempRoots roots;
        const QString src = roots.path("src/");
        QDir().mkpath(src);
        QVERIFY(testsupport::writeJpeg(src + "a.jpeg", QSize(64, 48), 6));
        QImage png(QSize(40, 20), QImage::Format_RGB32);
        png.fill(Qt::green);
        QVERIFY(png.save(src + "b.png"));
        QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportOriginPhotos));
        m->setOriginFiles({src + "a.jpeg", src + "b.png"});
        QCOMPARE(runOrder(m.data(), ImportOriginPhotos).last(), QString("end 2"));
        // A retried import writes one backup per photo; a photo retouched meanwhile replaces its main file,
        // while its earlier backup stays and the new one goes beside it, once however often it is retried.
        QCOMPARE(runOrder(m.data(), ImportOriginPhotos).last(), QString("end 2"));
        QCOMPARE(QDir(m->orderBakPath() + "照片").entryList(QDir::Files), QStringList({"a.jpeg", "b.png"}));
        const QByteArray firstB = bytesOf(src + "b.png");
        png.fill(Qt::blue);
        QVERIFY(png.save(src + "b.png"));
        for (int retry = 0; retry < 2; ++retry)
            QCOMPARE(runOrder(m.data(), ImportOriginPhotos).last(), QString("end 2"));
        QCOMPARE(QDir(m->orderBakPath() + "照片").entryList(QDir::Files), QStringList({"a.jpeg", "b(1).png", "b.png"}));
        QCOMPARE(bytesOf(m->orderBakPath() + "照片/b.png"), firstB);
        QCOMPARE(bytesOf(m->orderPath() + "照片/b.png"), bytesOf(src + "b.png"));
        QCOMPARE(QDir(m->orderPath() + "照片").entryList(QDir::Files), QStringList({"a.jpeg", "b.png"}));
        QCOMPARE(sizeOf(m->orderPath() + "照片/a.jpeg"), QSize(48, 64));
        QCOMPARE(QImageReader(m->orderPath() + "thumbnail/b.png").format(), QByteArray("png"));
        QCOMPARE(sizeOf(m->orderPath() + "thumbnail100/b.png"), QSize(200, 100));

        // A thumbnail that cannot be written is reported; the one there stays whole, nothing is left beside it.
        // (The photo is in the order: its reduced copies are made again only while one of them is missing.)
        QVERIFY(put(m->orderPath() + "thumbnail100/b.png", "old thumbnail"));
        QVERIFY(QFile::remove(m->orderPath() + "thumbnail/b.png"));
        Platform::failWrites("thumbnail100/b.png", 1);
        QVERIFY(runOrder(m.data(), ImportOriginPhotos).contains("failed 1"));
        QCOMPARE(bytesOf(m->orderPath() + "thumbnail100/b.png"), QByteArray("old thumbnail"));
        QCOMPARE(QDir(m->orderPath() + "thumbnail100").entryList(QDir::Files | QDir::Hidden),
                 QStringList({"a.jpeg", "b.png"}));
    }

    // Two imports into one order folder at once, each with photos of its own: every photo lands once in
    // "照片/" and once in the backup, nothing is overwritten, and each run counts what it placed.
    void twoImportsIntoOneOrderAtOnce_data()
    {
        QTest::addColumn<bool>("numbered"); // single-order names planned alike by both / camera names
        // "listings": the other import placed one photo of the run before it; the run lists the order's
        // folders once whatever the number of photos new to the order; "turned, name taken": a turned photo imported, then another camera's photo
        // of its name (replacing its main file), then the first again; "name taken": a photo imported, the
        // clerk copies another photo over its main file, and it is imported again
        QTest::addColumn<QString>("overlap");
        QTest::newRow("numbered names planned alike") << true << "";
        QTest::newRow("batch import, camera names") << false << "";
        QTest::newRow("photos new to the order: each folder listed once, however many") << false << "listings";
        QTest::newRow("a turned photo whose name in the order holds another photo: placed beside it")
            << false << "turned, name taken";
        QTest::newRow("a photo in the backup whose name in the order holds other bytes: beside them, no second backup")
            << false << "name taken";
        QTest::newRow("numbered, a photo in the backup whose name in the order holds other bytes: no second backup")
            << true << "name taken";
        // "one photo in both": both runs import the same finished photo under its name at the same moment: one
        // of them adds the file, and only that one counts it
        QTest::newRow("one finished photo in both runs at once: counted once") << false << "one photo in both";
        // the same with a photo to be turned: its upright main file is written, by both at once
        QTest::newRow("one turned finished photo in both runs at once: counted once") << false << "one turned photo in both";
        // "taken over": another desk takes the order over while the run's first photo is being placed (this
        // desk slept past its claim's age): no file of the run takes a name from then on (the first photo's
        // backup neither), the photos are named, none goes in beside the other desk's
        QTest::newRow("the order taken over by another desk during the run: the rest named, not placed")
            << false << "taken over";
        // "empty claim": an empty file under the claim's name, as a program cut off between the claim's making
        // and its bytes left it: taken over at once
        QTest::newRow("an empty claim left by a program cut off: taken over at once") << false << "empty claim";
        // "stop, stalled": the claims' thread is held up by another order's claim on a share that stalls
        // ("another order") or by the order's own ("own claim") when the stop is pressed: the run ends at
        // once, and once the share goes on no claim of the order is left behind
        QTest::newRow("a stop while another order's claim stalls the claims' thread: the run ends at once")
            << false << "stop, stalled: another order";
        QTest::newRow("a stop while the order's own claim is written on a share that stalls: the run ends at once")
            << false << "stop, stalled: own claim";
        // "deleted": another desk deletes the order under its claim as the run starts, the claim going last:
        // the run waits for it, then stops on the folder gone and makes none of the order's folders anew
        QTest::newRow("the order deleted by another desk while the run waited: stopped, nothing made anew")
            << false << "deleted";
        QTest::newRow("the order taken over by another desk while a video is copied: it is not placed")
            << false << "taken over, videos";
        // "taken over, turned": finished photos, the first held sideways, taken over while its upright main file
        // is being written
        QTest::newRow("the order taken over by another desk while a turned finished photo is written: it is not placed")
            << false << "taken over, turned";
    }
    void twoImportsIntoOneOrderAtOnce()
    {
        QFETCH(bool, numbered);
        QFETCH(QString, overlap);
        testsupport::TempRoots roots;
        // Another desk takes the order over (its claim in place of the run's) while the writes of the run whose
        // path holds heldPart wait; then they go on, and the run ends.
        const QByteArray otherDesk = R"({"desk":"前台2","machine":"m-2","program":"4242-x"})";
        auto takenOverWhileHeld = [&otherDesk](ImportOrderThread &run, const QString &heldPart, const QString &claim) {
            Platform::holdWrites(heldPart);
            run.start();
            const auto runEnds = qScopeGuard([&] {
                Platform::releaseWrites();
                run.wait();
            });
            return testsupport::waitFor([] { return Platform::heldWrites() == 1; }) && QFile::remove(claim)
                   && put(claim, otherDesk);
        };
        if (overlap.endsWith("photo in both")) {
            const QString src = roots.path("src/");
            QDir().mkpath(src);
            QVERIFY(testsupport::writeJpeg(src + "same.jpg", QSize(64, 48), overlap.contains("turned") ? 6 : 1));
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportFinishedPhotos));
            QScopedPointer<ImportOrderModel> other(builtOrder(roots, ImportFinishedPhotos));
            m->setFinishedFiles({src + "same.jpg"});
            other->setFinishedFiles({src + "same.jpg"});
            // both runs have looked whether the name is taken when their copies go on
            Platform::holdWrites("成品/same.jpg");
            ImportOrderThread first(m.data(), ImportFinishedPhotos);
            ImportOrderThread second(other.data(), ImportFinishedPhotos);
            first.start();
            second.start();
            QVERIFY(testsupport::waitFor([] { return Platform::heldWrites() == 2; }));
            Platform::releaseWrites();
            QVERIFY(first.wait(testsupport::kWaitMs) && second.wait(testsupport::kWaitMs));
            QCOMPARE(first.failures() + second.failures(), QStringList());
            QCOMPARE(first.placedFiles() + second.placedFiles(), 1);
            QCOMPARE(QDir(m->orderPath() + "成品/").entryList(QDir::Files), QStringList({"same.jpg"}));
            QCOMPARE(sizeOf(m->orderPath() + "成品/same.jpg"), overlap.contains("turned") ? QSize(48, 64) : QSize(64, 48));
            return;
        }
        if (overlap.endsWith("name taken")) {
            const QString src = roots.path("src/");
            QDir().mkpath(src + "cam1");
            QDir().mkpath(src + "cam2");
            const bool turned = overlap.startsWith("turned");
            const QString first = src + "cam1/IMG_1.jpg", second = src + "cam2/IMG_1.jpg";
            QVERIFY(testsupport::writeJpeg(first, QSize(64, 48), turned ? 6 : 1, false, QColor(200, 10, 10)));
            QVERIFY(testsupport::writeJpeg(second, QSize(64, 48), 1, false, QColor(10, 200, 10)));
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportOriginPhotos));
            const QString photos = m->orderPath() + "照片/";
            const QString backups = m->orderBakPath() + "照片/";
            m->setOriginFiles({first});
            QCOMPARE(runOrder(m.data(), ImportOriginPhotos).last(), QString("end 1"));
            if (turned) {
                m->setOriginFiles({second}); // its main file replaces the first's, its backup goes beside
                QCOMPARE(runOrder(m.data(), ImportOriginPhotos).last(), QString("end 1"));
            } else {
                QVERIFY(QFile::remove(photos + "IMG_1.jpg") && QFile::copy(second, photos + "IMG_1.jpg"));
            }
            const QStringList backupsBefore = QDir(backups).entryList(QDir::Files);
            // The first photo again: not in the order any more, it goes beside the other photo, which stays;
            // the backup holds it already.
            PhotoOutcome outcome;
            QStringList failures;
            if (numbered) {
                PhotoTask task{ImportOriginPhotos, m->orderPath(), m->orderBakPath(), first, "K12-001.jpg", false,
                               MainPlacing::Numbered};
                task.backupPhotos = std::make_shared<BackupPhotos>(backups, photos);
                failures = importOnePhoto(task, nullptr, nullptr, &outcome);
            } else {
                m->setOriginFiles({first});
                ImportOrderThread run(m.data(), ImportOriginPhotos);
                run.start();
                QVERIFY(run.wait(testsupport::kWaitMs));
                failures = run.failures();
                outcome.mainAdded = run.placedFiles() == 1;
                outcome.backupAdded = run.placedBackups() == 1;
                outcome.importedBefore = run.importedBefore() == 1;
            }
            QCOMPARE(failures, QStringList());
            QVERIFY(outcome.mainAdded && !outcome.backupAdded && !outcome.importedBefore);
            QCOMPARE(bytesOf(photos + "IMG_1.jpg"), bytesOf(second));
            const QString beside = numbered ? "K12-001.jpg" : "IMG_1(1).jpg";
            QStringList inOrder{"IMG_1.jpg", beside};
            inOrder.sort();
            QStringList listed = QDir(photos).entryList(QDir::Files);
            listed.sort();
            QCOMPARE(listed, inOrder);
            if (turned)
                QCOMPARE(sizeOf(photos + beside), QSize(48, 64));
            else
                QCOMPARE(bytesOf(photos + beside), bytesOf(first));
            QCOMPARE(QDir(backups).entryList(QDir::Files), backupsBefore);
            return;
        }
        if (overlap == "deleted") {
            const QString src = roots.path("src/");
            QDir().mkpath(src);
            QVERIFY(testsupport::writeJpeg(src + "d.jpg", QSize(64, 48), 1));
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportOriginPhotos));
            m->setOriginFiles({src + "d.jpg"});
            const QString claim = m->orderPath() + ".导片进行中";
            QVERIFY(put(claim, R"({"desk":"前台2","machine":"m-2","program":"4242-x"})"));
            ImportOrderThread run(m.data(), ImportOriginPhotos);
            QAtomicInt waiting = 0;
            QObject::connect(&run, &ImportOrderThread::waitingForOrderSigl, &run,
                             [&](const QString &why) { waiting = why.isEmpty() ? 0 : 1; }, Qt::DirectConnection);
            run.start();
            QVERIFY(testsupport::waitFor([&] { return waiting.loadAcquire() == 1; }));
            QVERIFY(FileOperation::removeDir(m->orderPath(), {roots.picRoot(), roots.bakRoot()}, nullptr, ".导片进行中"));
            QVERIFY(run.wait(testsupport::kWaitMs));
            QCOMPARE(run.errorText(), "订单目录不存在：" + m->orderPath());
            QCOMPARE(run.failures(), QStringList());
            QVERIFY(!QFileInfo::exists(m->orderPath()));
            QCOMPARE(run.placedFiles(), 0);
            return;
        }
        if (overlap == "taken over, videos") {
            const QString src = roots.path("src/");
            QDir().mkpath(src);
            QVERIFY(put(src + "v0.mp4", "video-zero") && put(src + "v1.mp4", "video-one"));
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportTrialVideos));
            m->setTrialVideoFiles({src + "v0.mp4", src + "v1.mp4"});
            const QString videos = m->orderPath() + "试拍视频/";
            const QString claim = m->orderPath() + ".导片进行中";
            ImportOrderThread run(m.data(), ImportTrialVideos);
            QVERIFY(takenOverWhileHeld(run, videos, claim));
            QCOMPARE(run.failures(), QStringList({"v0.mp4：导片期间该订单被其它程序接手导入，未导入",
                                                  "v1.mp4：导片期间该订单被其它程序接手导入，未导入"}));
            QCOMPARE(QDir(videos).entryList(QDir::Files | QDir::Hidden), QStringList());
            QCOMPARE(bytesOf(claim), otherDesk);
            return;
        }
        if (overlap == "taken over, turned") {
            const QString src = roots.path("src/");
            QVERIFY(QDir().mkpath(src));
            QVERIFY(testsupport::writeJpeg(src + "f0.jpg", QSize(64, 48), 6, false, QColor(30, 90, 10)));
            QVERIFY(testsupport::writeJpeg(src + "f1.jpg", QSize(64, 48), 1, false, QColor(60, 90, 10)));
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportFinishedPhotos));
            m->setFinishedFiles({src + "f0.jpg", src + "f1.jpg"});
            const QString finished = m->orderPath() + "成品/";
            const QString claim = m->orderPath() + ".导片进行中";
            ImportOrderThread run(m.data(), ImportFinishedPhotos);
            run.setParallelPhotos(1);
            QVERIFY(takenOverWhileHeld(run, finished + "f0.jpg", claim));
            QCOMPARE(run.failures(), QStringList({"f0.jpg：导片期间该订单被其它程序接手导入，未导入",
                                                  "f1.jpg：导片期间该订单被其它程序接手导入，未导入"}));
            QCOMPARE(run.placedFiles(), 0);
            // nor left half written
            QCOMPARE(QDir(finished).entryList(QDir::Files | QDir::Hidden), QStringList());
            QCOMPARE(bytesOf(claim), otherDesk);
            return;
        }
        if (overlap == "taken over") {
            const QString src = roots.path("src/");
            QDir().mkpath(src);
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportOriginPhotos));
            QStringList chosen;
            for (int i = 0; i < 3; ++i) {
                chosen << src + QString("t%1.jpg").arg(i);
                QVERIFY(testsupport::writeJpeg(chosen.last(), QSize(64, 48), 1, false, QColor(20 * i, 90, 10)));
            }
            m->setOriginFiles(chosen);
            const QString claim = m->orderPath() + ".导片进行中";
            ImportOrderThread run(m.data(), ImportOriginPhotos);
            run.setParallelPhotos(1);
            QVERIFY(takenOverWhileHeld(run, m->orderBakPath() + "照片/", claim));
            QCOMPARE(run.failures(), QStringList({"t0.jpg：导片期间该订单被其它程序接手导入，未导入",
                                                  "t1.jpg：导片期间该订单被其它程序接手导入，未导入",
                                                  "t2.jpg：导片期间该订单被其它程序接手导入，未导入"}));
            QCOMPARE(QDir(m->orderPath() + "照片/").entryList(QDir::Files), QStringList({"t0.jpg"}));
            // the backup held while the order was taken over is not placed, nor left half written
            QCOMPARE(QDir(m->orderBakPath() + "照片/").entryList(QDir::Files | QDir::Hidden), QStringList());
            QCOMPARE(bytesOf(claim), otherDesk); // the other desk's claim stays
            return;
        }
        if (overlap == "empty claim") {
            const QString src = roots.path("src/");
            QVERIFY(QDir().mkpath(src));
            QVERIFY(testsupport::writeJpeg(src + "e0.jpg", QSize(64, 48), 1));
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportFinishedPhotos));
            const QString claim = m->orderPath() + ".导片进行中";
            QVERIFY(put(claim, QByteArray()));
            m->setFinishedFiles({src + "e0.jpg"});
            ImportOrderThread run(m.data(), ImportFinishedPhotos);
            QSignalSpy waited(&run, &ImportOrderThread::waitingForOrderSigl);
            run.start();
            const auto runEnds = qScopeGuard([&] {
                run.runSettings().stop->stop();
                run.wait();
            });
            QVERIFY(run.wait(testsupport::kWaitMs));
            QCOMPARE(run.failures(), QStringList());
            QCOMPARE(run.placedFiles(), 1);
            QCOMPARE(waited.count(), 0);
            QVERIFY(testsupport::waitFor([&] { return !QFileInfo::exists(claim); })); // given back after the run
            return;
        }
        if (overlap.startsWith("stop, stalled")) {
            const QString src = roots.path("src/");
            QVERIFY(QDir().mkpath(src));
            QVERIFY(testsupport::writeJpeg(src + "s0.jpg", QSize(64, 48), 1));
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportFinishedPhotos));
            m->setFinishedFiles({src + "s0.jpg"});
            const QString claim = m->orderPath() + ".导片进行中";
            const QString otherOrder = roots.path("pic/other order/");
            QVERIFY(QDir().mkpath(otherOrder));
            const bool own = overlap.endsWith("own claim");
            QObject otherRun; // the other order's run, which goes once the share goes on
            std::shared_ptr<ImportClaim::Hold> otherHold;
            const auto shareGoesOn = qScopeGuard([] { Platform::releaseWrites(); });
            if (own) {
                Platform::holdWrites(claim);
            } else {
                Platform::holdWrites(otherOrder + ".导片进行中");
                ImportClaim::take(otherOrder, &otherRun,
                                  [&](const FolderClaim::Taking &, const std::shared_ptr<ImportClaim::Hold> &hold) {
                                      otherHold = hold;
                                  });
                QVERIFY(testsupport::waitFor([] { return Platform::heldWrites() == 1; }));
            }
            ImportOrderThread run(m.data(), ImportFinishedPhotos);
            QSignalSpy stopped(&run, &ImportOrderThread::importOrderStoppedSigl);
            run.start();
            const auto runEnds = qScopeGuard([&] {
                Platform::releaseWrites();
                run.wait();
            });
            if (own)
                QVERIFY(testsupport::waitFor([] { return Platform::heldWrites() == 1; }));
            else
                QTest::qWait(2 * ImportClaim::kLookAgainMs); // the run's take is queued behind the stalled one
            run.runSettings().stop->stop();
            QVERIFY(run.wait(testsupport::kWaitMs)); // while the share still stalls
            QCOMPARE(Platform::heldWrites(), 1);
            QCOMPARE(stopped.count(), 1);
            QCOMPARE(run.placedFiles(), 0);
            Platform::releaseWrites();
            // the claims' thread has done what was queued before (a take's claim given back goes after it)
            for (const char *drained : {"drained 1/", "drained 2/"}) {
                std::shared_ptr<ImportClaim::Hold> hold;
                QVERIFY(QDir().mkpath(roots.path(drained)));
                QCOMPARE(ImportClaim::takeAndWait(roots.path(drained), &hold).outcome, FolderClaim::Taken);
            }
            QVERIFY(!QFileInfo::exists(claim) && !QFileInfo(claim).isSymLink());
            QCOMPARE(QDir(m->orderPath()).entryList({".writing-*"}, QDir::Files | QDir::Hidden), QStringList());
            QCOMPARE(QDir(m->orderPath() + "成品/").entryList(QDir::Files), QStringList());
            return;
        }
        if (overlap == "listings") {
            const QString src = roots.path("src/");
            QDir().mkpath(src);
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportOriginPhotos));
            const QString photos = m->orderPath() + "照片/";
            const QString backups = m->orderBakPath() + "照片/";
            QStringList chosen;
            for (int i = 0; i < 9; ++i) {
                chosen << src + QString("d%1.jpg").arg(i);
                QVERIFY(testsupport::writeJpeg(chosen.last(), QSize(64, 48), i % 3 == 2 ? 6 : 1, false, QColor(20 * i, 10, 10)));
            }
            QVERIFY(QFile::copy(chosen.at(0), backups + "DESK_0000.jpg") && QFile::copy(chosen.at(0), photos + "DESK_0000.jpg"));
            // one photo new to the order, then eight
            int listings[2] = {0, 0};
            for (int round = 0; round < 2; ++round) {
                m->setOriginFiles(round == 0 ? chosen.mid(0, 2) : chosen);
                ImportOrderThread run(m.data(), ImportOriginPhotos);
                run.setParallelPhotos(round == 0 ? 1 : 3);
                const int before = Platform::folderListings();
                run.start();
                QVERIFY(run.wait(testsupport::kWaitMs));
                listings[round] = Platform::folderListings() - before;
                QCOMPARE(run.failures(), QStringList());
                QCOMPARE(QString("%1 %2 %3").arg(run.placedFiles()).arg(run.placedBackups()).arg(run.importedBefore()),
                         round == 0 ? QString("1 1 1") : QString("7 7 2"));
            }
            QCOMPARE(listings[1], listings[0]);
            QCOMPARE(QDir(photos).entryList(QDir::Files).size(), 9);
            QCOMPARE(QDir(backups).entryList(QDir::Files).size(), 9);
            return;
        }
        const int n = 12;
        QStringList sources[2];
        for (int run = 0; run < 2; ++run) {
            for (int i = 0; i < n; ++i) {
                sources[run] << roots.path(QString("src/%1%2.jpg").arg(run ? "b" : "a").arg(i));
                QDir().mkpath(QFileInfo(sources[run].last()).path());
                // every photo its own bytes; some of them to be turned
                QVERIFY(testsupport::writeJpeg(sources[run].last(), QSize(64, 48), i % 4 == 3 ? 6 : 1, false,
                                               QColor(run * 100 + i * 5, 30, 60)));
            }
        }
        QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportOriginPhotos));
        const QString photos = m->orderPath() + "照片/";
        const QString backups = m->orderBakPath() + "照片/";
        QStringList placed;
        if (numbered) {
            // Both runs planned K12-001.jpg to K12-012.jpg and number their photos as the single-order import
            // does; their photos are placed side by side. A backup left of a photo deleted since takes its
            // number out of use.
            QVERIFY(put(backups + "K12-001.jpg", "left over"));
            std::vector<PhotoOutcome> outcomes(2 * n);
            std::vector<QStringList> failures(2 * n);
            QStringList planned;
            for (int i = 0; i < n; ++i)
                planned << QString("K12-%1.jpg").arg(i + 1, 3, 10, QChar('0'));
            auto importAll = [&] {
                QThreadPool pool;
                pool.setMaxThreadCount(6);
                const std::shared_ptr<PhotoNumbering> numbering[2]{std::make_shared<PhotoNumbering>(planned),
                                                                    std::make_shared<PhotoNumbering>(planned)};
                const std::shared_ptr<const BackupPhotos> inOrder[2]{
                    std::make_shared<BackupPhotos>(backups, photos), std::make_shared<BackupPhotos>(backups, photos)};
                for (int i = 0; i < n; ++i) {
                    for (int run = 0; run < 2; ++run) {
                        PhotoTask task{ImportOriginPhotos, m->orderPath(), m->orderBakPath(), sources[run].at(i),
                                       planned.at(i), false, MainPlacing::Numbered};
                        task.backupPhotos = inOrder[run];
                        task.numbering = numbering[run];
                        task.numberingIndex = i;
                        const size_t slot = size_t(run * n + i);
                        pool.start(QRunnable::create([&, task, slot] {
                            failures[slot] = importOnePhoto(task, nullptr, nullptr, &outcomes[slot]);
                        }));
                    }
                }
                pool.waitForDone();
            };
            importAll();
            for (size_t i = 0; i < outcomes.size(); ++i) {
                QVERIFY2(failures[i].isEmpty(), qPrintable(failures[i].join(',')));
                QVERIFY(outcomes[i].mainAdded && outcomes[i].backupAdded);
                placed << outcomes[i].placedName;
                const QString source = sources[i / n].at(int(i % n));
                QCOMPARE(bytesOf(backups + placed.last()), bytesOf(source));
                QVERIFY(QFile::exists(m->orderPath() + "thumbnail100/" + placed.last()));
            }
            // A retry finds every photo under the name it got: nothing new, no name changes.
            importAll();
            for (size_t i = 0; i < outcomes.size(); ++i) {
                QCOMPARE(outcomes[i].placedName, placed.at(int(i)));
                QVERIFY(!outcomes[i].mainAdded && !outcomes[i].backupAdded);
            }
            QCOMPARE(nextNumberedName("305K12-ab-099.jpg"), QString("305K12-ab-100.jpg"));
            QCOMPARE(nextNumberedName("K12-999.jpg"), QString("K12-1000.jpg"));
        } else {
            QScopedPointer<ImportOrderModel> other(builtOrder(roots, ImportOriginPhotos));
            other->setOrderPath(m->orderPath());
            other->setOrderBakPath(m->orderBakPath());
            m->setOriginFiles(sources[0]);
            other->setOriginFiles(sources[1]);
            ImportOrderThread first(m.data(), ImportOriginPhotos);
            ImportOrderThread second(other.data(), ImportOriginPhotos);
            first.setParallelPhotos(3);
            second.setParallelPhotos(3);
            first.start();
            second.start();
            QVERIFY(first.wait(testsupport::kWaitMs) && second.wait(testsupport::kWaitMs));
            QCOMPARE(first.failures() + second.failures(), QStringList());
            QCOMPARE(QString("%1 %2 %3 %4").arg(first.placedFiles()).arg(first.placedBackups())
                         .arg(second.placedFiles()).arg(second.placedBackups()),
                     QString("12 12 12 12"));
            for (const QStringList &list : sources)
                for (const QString &source : list)
                    placed << QFileInfo(source).fileName();
        }
        placed.sort();
        QCOMPARE(placed.removeDuplicates(), 0);
        QCOMPARE(QDir(photos).entryList(QDir::Files), placed);
        if (numbered)
            placed.prepend("K12-001.jpg");
        QCOMPARE(QDir(backups).entryList(QDir::Files), placed);
    }

    void unreadablePhotosAreKeptAndFailuresReported()
    {
        testsupport::TempRoots roots;
        const QString src = roots.path("src/");
        // Broken image data behind an EXIF block that asks for a turn, a plain broken file, an empty file
        // and a photo cut short (it decodes, its lower part grey).
        const QByteArray turnedJunk = testsupport::jpegWithOrientation(QSize(8, 8), 6).left(40) + QByteArray(500, 'x');
        QVERIFY(put(src + "turned.jpg", turnedJunk));
        QVERIFY(put(src + "plain.jpg", QByteArray(300, 'y')));
        QVERIFY(put(src + "empty.jpg", QByteArray()));
        QVERIFY(testsupport::writeJpeg(src + "whole.jpg", QSize(400, 300), 6));
        QVERIFY(put(src + "cut.jpg", bytesOf(src + "whole.jpg").chopped(bytesOf(src + "whole.jpg").size() / 2)));
        QVERIFY(!QImage(src + "cut.jpg").isNull());
        QVERIFY(testsupport::writeJpeg(src + "good.jpg", QSize(30, 20), 1));
        QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportFinishedPhotos));
        // reduced copies of an earlier photo of the name go with it
        QVERIFY(put(m->orderPath() + "成品缩略图/cut.jpg", bytesOf(src + "good.jpg")));
        m->setFinishedFiles({src + "turned.jpg", src + "plain.jpg", src + "good.jpg", src + "..", src + "gone.jpg",
                             src + "empty.jpg", src + "cut.jpg", src + "whole.jpg"});
        QCOMPARE(ImageOperation::getDirection(src + "turned.jpg"), 6);
        Platform::failCopies("成品缩略图100/good.jpg");

        for (int parallel : {1, 2}) {
            ImportOrderThread *t = nullptr;
            const QStringList log = runOrder(m.data(), ImportFinishedPhotos, parallel, &t);
            QCOMPARE(log, QStringList({"1/8", "2/8", "3/8", "4/8", "5/8", "6/8", "7/8", "8/8", "failed 3", "end 8"}));
            const QStringList failures = t->failures();
            QCOMPARE(t->unreadablePhotos(), QStringList({"turned.jpg", "plain.jpg", "empty.jpg", "cut.jpg"}));
            delete t;
            QCOMPARE(failures.size(), 3);
            QVERIFY(failures.at(0).startsWith("good.jpg"));
            QVERIFY(failures.at(2).startsWith("gone.jpg"));
        }

        const QString dir = m->orderPath();
        for (const QString &name : QStringList{"turned.jpg", "plain.jpg", "empty.jpg", "cut.jpg"}) {
            QCOMPARE(bytesOf(dir + "成品/" + name), bytesOf(src + name));
            for (const char *thumbs : {"成品缩略图/", "成品缩略图2250/", "成品缩略图100/"})
                QVERIFY2(!QFile::exists(dir + thumbs + name), qPrintable(thumbs + name));
        }
        QVERIFY(QFile::exists(dir + "成品缩略图100/whole.jpg"));
        QVERIFY(QFile::exists(dir + "成品缩略图/good.jpg"));
        QVERIFY(!QFile::exists(dir + "成品缩略图100/good.jpg"));
        // Nothing was written under a name the target list refused.
        QCOMPARE(QDir(dir + "成品").entryList(QDir::Files),
                 QStringList({"cut.jpg", "empty.jpg", "good.jpg", "plain.jpg", "turned.jpg", "whole.jpg"}));

        // A main folder that has gone away: the copy fails and is reported, the order still ends.
        Platform::clearFaults();
        QDir(dir + "成品").removeRecursively();
        m->setFinishedFiles({src + "good.jpg"});
        QCOMPARE(runOrder(m.data(), ImportFinishedPhotos, 1), QStringList({"1/1", "failed 1", "end 1"}));

        // A turned photo as shot is encoded upright before it is placed; a full disk says why in words.
        QScopedPointer<ImportOrderModel> shot(builtOrder(roots, ImportOriginPhotos));
        QStringList failures;
        {
            testsupport::FileSizeLimit full(200);
            failures = importOnePhoto({ImportOriginPhotos, shot->orderPath(), shot->orderBakPath(), src + "whole.jpg",
                                       "K12-001.jpg", false, MainPlacing::Numbered},
                                      nullptr);
        }
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.first().endsWith("K12-001.jpg（临时文件无法写入：磁盘空间不足或文件过大）"), qPrintable(failures.first()));

        // A photo as shot whose main file cannot be placed (a folder of its name in the way) leaves no copy in
        // "成品/" either, nor a backup or reduced copies; once the way is clear the next import makes them all.
        for (const QString &name : {QString("good.jpg"), QString("whole.jpg"), QString("plain.jpg")}) {
            const QString inTheWay = shot->orderPath() + "照片/" + name;
            QVERIFY(QDir().mkpath(inTheWay));
            const PhotoTask task{ImportOriginPhotos, shot->orderPath(), shot->orderBakPath(), src + name, name, true};
            failures = importOnePhoto(task, nullptr);
            QCOMPARE(failures.size(), 1);
            for (const QString &made : {"成品/" + name, "thumbnail/" + name, "thumbnail100/" + name})
                QVERIFY2(!QFileInfo::exists(shot->orderPath() + made), qPrintable(made));
            QVERIFY(!QFileInfo::exists(shot->orderBakPath() + "照片/" + name));
            QVERIFY(QDir(inTheWay).removeRecursively());
            QCOMPARE(importOnePhoto(task, nullptr), QStringList());
            QCOMPARE(bytesOf(shot->orderPath() + "成品/" + name), bytesOf(shot->orderPath() + "照片/" + name));
            QCOMPARE(QFileInfo::exists(shot->orderPath() + "thumbnail100/" + name), name != "plain.jpg");
            QCOMPARE(bytesOf(shot->orderBakPath() + "照片/" + name), bytesOf(src + name));
        }
    }

    void videosAreCopiedOnceIntoTheirFolder()
    {
        testsupport::TempRoots roots;
        const QString src = roots.path("src/");
        QVERIFY(put(src + "试拍 1.mp4", "video-one"));
        QVERIFY(put(src + "b&#.avi", "video-two"));
        QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportTrialVideos));
        m->setTrialVideoFiles({src + "试拍 1.mp4", src + "b&#.avi"});
        m->setRetouchVideoFiles({src + "b&#.avi"});
        // Videos are not held back by the free-space check.
        Platform::setFreeDiskBytesOverride(0);

        QCOMPARE(runOrder(m.data(), ImportTrialVideos), QStringList({"1/2", "2/2", "end 2"}));
        QCOMPARE(bytesOf(m->orderPath() + "试拍视频/试拍 1.mp4"), QByteArray("video-one"));
        QCOMPARE(runOrder(m.data(), ImportRetouchVideos), QStringList({"1/1", "end 1"}));
        QCOMPARE(bytesOf(m->orderPath() + "精修视频/b&#.avi"), QByteArray("video-two"));

        // Again: the same video is no failure; a different one under the name, even of the same size, is
        // kept and reported.
        QCOMPARE(runOrder(m.data(), ImportTrialVideos), QStringList({"1/2", "2/2", "end 2"}));
        QVERIFY(put(src + "b&#.avi", "another video"));
        QVERIFY(put(src + "试拍 1.mp4", "video-eno"));
        QCOMPARE(runOrder(m.data(), ImportTrialVideos), QStringList({"1/2", "2/2", "failed 2", "end 2"}));
        QCOMPARE(bytesOf(m->orderPath() + "试拍视频/b&#.avi"), QByteArray("video-two"));
        QCOMPARE(bytesOf(m->orderPath() + "试拍视频/试拍 1.mp4"), QByteArray("video-one"));
    }

    void fullDiskStopsTheOrderWithOneEnd()
    {
        for (int parallel : {1, 3}) {
            testsupport::TempRoots roots;
            const QString src = roots.path("src/");
            QDir().mkpath(src);
            QVERIFY(testsupport::writeJpeg(src + "small.jpg", QSize(8, 8)));
            QVERIFY(testsupport::writeJpeg(src + "large.jpg", QSize(400, 300)));
            QVERIFY(testsupport::writeJpeg(src + "after.jpg", QSize(8, 8)));
            QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportFinishedPhotos));
            m->setFinishedFiles({src + "small.jpg", src + "large.jpg", src + "after.jpg"});
            // Exactly the large photo's size is free: it does not fit.
            Platform::setFreeDiskBytesOverride(QFileInfo(src + "large.jpg").size());

            ImportOrderThread *full = nullptr;
            QCOMPARE(runOrder(m.data(), ImportFinishedPhotos, parallel, &full), QStringList({"1/3", "disk large.jpg"}));
            QVERIFY(full->runSettings().stop->isStopped());
            delete full;
            QCOMPARE(QDir(m->orderPath() + "成品").entryList(QDir::Files), QStringList({"small.jpg"}));

            // The next order starts afresh; a stop set before the start ends it at once.
            Platform::setFreeDiskBytesOverride(-1);
            QCOMPARE(runOrder(m.data(), ImportFinishedPhotos, parallel).last(), QString("end 3"));
            ImportOrderThread stopped(m.data(), ImportFinishedPhotos);
            stopped.runSettings().stop->stop();
            QSignalSpy stop(&stopped, &ImportOrderThread::importOrderStoppedSigl);
            stopped.start();
            QVERIFY(stopped.wait(testsupport::kWaitMs));
            QCOMPARE(stop.count(), 1);

            // Side by side, the photos queued or being written count against the free space as well:
            // room for two and a half photos is not room for every one of them.
            if (parallel > 1) {
                QStringList same;
                for (int i = 1; i <= 6; ++i) {
                    same << src + QString("w%1.jpg").arg(i);
                    QVERIFY(testsupport::writeJpeg(same.last(), QSize(1200, 900)));
                }
                m->setFinishedFiles(same);
                Platform::setFreeDiskBytesOverride(QFileInfo(same.first()).size() * 5 / 2);
                const QStringList log = runOrder(m.data(), ImportFinishedPhotos, parallel);
                QVERIFY2(log.last().startsWith("disk w"), qPrintable(log.join(',')));
            }
        }
    }

    void refusesOrdersItCannotImportSafely()
    {
        testsupport::TempRoots roots;
        QScopedPointer<ImportOrderModel> m(builtOrder(roots, ImportOriginPhotos));
        const QString built = m->orderPath();

        QStringList many;
        for (int i = 0; i <= ImportOrderThread::kMaxFiles; ++i)
            many << QString("/nowhere/%1.jpg").arg(i);
        m->setOriginFiles(many);
        QCOMPARE(runOrder(m.data(), ImportOriginPhotos), QStringList({"stopped"}));

        m->setOriginFiles({roots.path("none.jpg")});
        // The run's storage roots are no order folders either.
        for (const QString &path : {QString(), QString("relative/order/"), QString("/"), roots.picRoot(), roots.bakRoot()}) {
            ImportOrderThread t(m.data(), ImportOriginPhotos);
            QSignalSpy stop(&t, &ImportOrderThread::importOrderStoppedSigl);
            m->setOrderPath(path);
            t.importOrderFiles();
            QCOMPARE(stop.count(), 1);
            QVERIFY(!t.errorText().isEmpty());
        }

        // An order path without its separator is completed, and an empty selection still ends.
        QVERIFY(testsupport::writeJpeg(roots.path("one.jpg"), QSize(4, 4)));
        m->setOrderPath(built.left(built.size() - 1));
        m->setOriginFiles({roots.path("one.jpg")});
        QCOMPARE(runOrder(m.data(), ImportOriginPhotos).last(), QString("end 1"));
        QVERIFY(QFile::exists(built + "照片/one.jpg"));
        m->setOriginFiles({});
        QCOMPARE(runOrder(m.data(), ImportOriginPhotos), QStringList({"end 0"}));
    }

    void walksTheDovraFolder()
    {
        testsupport::TempRoots roots;
        const QString chosen = roots.path("src/选片 A");
        QVERIFY(put(chosen + "/b.jpg", "b"));
        QVERIFY(put(chosen + "/A.jpg", "a"));
        QVERIFY(put(chosen + "/.hidden.jpg", "h"));
        QVERIFY(put(chosen + "/sub/c.jpg", "c"));
        QVERIFY(put(chosen + "/sub/deeper/d.jpg", "d"));
        QVERIFY(put(chosen + "/marked/e.jpg", "e"));
        QVERIFY(Platform::setHidden(chosen + "/marked"));
        QVERIFY(QDir().mkpath(roots.path("src/空")));
        const QString server = roots.path("dovra") + "\\选版服务器";
        g_dovraServerPath = server;

        QScopedPointer<ImportOrderModel> m(new ImportOrderModel(QJsonObject{{"order_photo_id", "5"}}));
        m->setDovraSourceDir(chosen);
        m->setFatherPath(roots.path("src"));
        ImportOrderThread maker(m.data(), ImportDovraCopy);
        maker.createDovraDir(server);
        QVERIFY(QDir(Platform::localPath(server)).exists());

        const QString to = server + "/选片 A/";
        QCOMPARE(runOrder(m.data(), ImportDovraCopy),
                 QStringList({"dovra " + server + "\\选片 A", chosen + "/A.jpg -> " + to + "A.jpg",
                              chosen + "/b.jpg -> " + to + "b.jpg", chosen + "/sub/c.jpg -> " + to + "sub/c.jpg",
                              chosen + "/sub/deeper/d.jpg -> " + to + "sub/deeper/d.jpg"}));
        QVERIFY(QDir(Platform::localPath(server + "/选片 A/sub/deeper")).exists());

        m->setDovraSourceDir(roots.path("src/空"));
        QCOMPARE(runOrder(m.data(), ImportDovraCopy), QStringList({"dovra " + server + "\\空"}));

        // A missing Dovra root, a drive root, a relative or missing folder, a target inside the source.
        struct Case
        {
            QString server, source;
        };
        const QList<Case> refused{{"\\选版服务器", chosen},
                                  {"", chosen},
                                  {server, "/"},
                                  {server, "src/选片 A"},
                                  {server, roots.path("src/gone")},
                                  {chosen + "/sub\\选版服务器", chosen}};
        for (const Case &c : refused) {
            g_dovraServerPath = c.server;
            m->setDovraSourceDir(c.source);
            QCOMPARE(runOrder(m.data(), ImportDovraCopy), QStringList({"dovra error"}));
        }
        QVERIFY(!QDir("/选版服务器").exists());
        ImportOrderThread refuse(m.data(), ImportDovraCopy);
        QSignalSpy error(&refuse, &ImportOrderThread::importDirDovraThreadError);
        refuse.createDovraDir("\\选版服务器");
        QCOMPARE(error.count(), 1);
        QVERIFY(!refuse.errorText().isEmpty());
        // a file where a folder of the path goes: the folder and why
        ImportOrderThread blocked(m.data(), ImportDovraCopy);
        QSignalSpy blockedError(&blocked, &ImportOrderThread::importDirDovraThreadError);
        blocked.createDovraDir(chosen + "/b.jpg\\选版服务器");
        QCOMPARE(blockedError.count(), 1);
        QCOMPARE(blocked.errorText(), "无法创建Dovra目录：" + chosen + "/b.jpg\\选版服务器（路径中有同名的文件）");
    }
};

TESSALY_TEST_MAIN(TestImportFiles)
#include "tst_importfiles.moc"
