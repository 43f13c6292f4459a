#include "fileoperation.h"
#include "globals.h"
#include "importordermodel.h"
#include "importorderthread.h"
#include "orderrecords.h"
#include "platform.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>

namespace {

bool writeFile(const QString &path, const QByteArray &data = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A small order folder: photos, a finished photo and a hidden thumbnail folder.
bool makeOrderFolder(const QString &dir)
{
    return writeFile(dir + "照片/a.jpg") && writeFile(dir + "照片/b.jpg") && writeFile(dir + "成品/a.jpg")
           && writeFile(dir + ".thumb/a.jpg");
}

OrderRowInfo row(const QString &id, const QString &path)
{
    OrderRowInfo info;
    info.order_photo_id = id;
    info.orderpath = path;
    return info;
}

// Runs one delete-mode thread to its end (it deletes itself) and returns what it reported.
QList<QList<QVariant>> runDelete(const OrderRowInfo &info)
{
    auto *t = new ImportOrderThread(info);
    QPointer<ImportOrderThread> guard(t);
    QList<QList<QVariant>> got;
    QObject::connect(t, &ImportOrderThread::deleteSucceed, [&got](const QString &id, const QString &dir) {
        got.append({id, dir});
    });
    t->start();
    if (!testsupport::waitFor([&] { return guard.isNull(); }))
        qWarning("delete-mode thread did not finish and delete itself");
    return got;
}

} // namespace

class TestImportOrderThread : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        Platform::clearFaults();
        g_picPath.clear();
        g_bakPicPath.clear();
        g_homePicPath.clear();
    }

    void deletesOrderFoldersSideBySide()
    {
        testsupport::TempRoots roots;
        g_picPath = roots.picRoot();
        g_bakPicPath = roots.bakRoot();
        const QString a = roots.picRoot() + "A店/1001-1/";
        const QString b = roots.picRoot() + "A店/1002-1/";
        QVERIFY(makeOrderFolder(a));
        QVERIFY(makeOrderFolder(b));

        // Two threads at once, as the search windows start them; each reports its own folder once.
        auto *ta = new ImportOrderThread(row("11", a));
        auto *tb = new ImportOrderThread(row("12", b));
        QPointer<ImportOrderThread> ga(ta), gb(tb);
        QSignalSpy spyA(ta, &ImportOrderThread::deleteSucceed);
        QSignalSpy spyB(tb, &ImportOrderThread::deleteSucceed);
        ta->start();
        tb->start();
        QVERIFY(testsupport::waitFor([&] { return ga.isNull() && gb.isNull(); }));
        QCOMPARE(spyA.count(), 1);
        QCOMPARE(spyA.at(0).at(0).toString(), QString("11"));
        QCOMPARE(spyA.at(0).at(1).toString(), a);
        QCOMPARE(spyB.count(), 1);
        QCOMPARE(spyB.at(0).at(0).toString(), QString("12"));
        QVERIFY(!QFileInfo::exists(a));
        QVERIFY(!QFileInfo::exists(b));
        // the shop folder and the roots stay
        QVERIFY(QFileInfo(roots.picRoot() + "A店").isDir());
    }

    void missingAndGuardedFoldersReportNothing()
    {
        testsupport::TempRoots roots;
        g_picPath = roots.picRoot();
        g_bakPicPath = roots.bakRoot();
        QVERIFY(makeOrderFolder(roots.picRoot() + "1001-1/"));
        QVERIFY(makeOrderFolder(roots.bakRoot() + "1001-1/"));
        QVERIFY(writeFile(roots.base() + "victim/keep.txt"));

        const QString oldCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(roots.base()));
        const QStringList refused{
            roots.picRoot(),                     // the photo root itself
            roots.bakRoot().chopped(1),          // the backup root without its separator
            roots.picRoot() + "../pic/",         // the photo root spelled another way
            roots.base(),                        // a folder holding the storage roots
            "/",                                 // the file-system root
            "victim",                            // relative: would resolve to the working directory
            "",                                  // empty: would be the working directory
            "  ",
            roots.picRoot() + "gone/",           // missing
        };
        for (const QString &path : refused)
            QVERIFY2(runDelete(row("31", path)).isEmpty(), qPrintable("reported a deletion of " + path));
        QDir::setCurrent(oldCurrent);

        QVERIFY(QFile::exists(roots.picRoot() + "1001-1/照片/a.jpg"));
        QVERIFY(QFile::exists(roots.bakRoot() + "1001-1/成品/a.jpg"));
        QVERIFY(QFile::exists(roots.base() + "victim/keep.txt"));
        QVERIFY(QFileInfo(roots.picRoot()).isDir());
    }

    void failedRemovalIsNotReportedAsDone()
    {
        testsupport::TempRoots roots;
        g_picPath = roots.picRoot();
        const QString dir = roots.picRoot() + "1003-2/";
        QVERIFY(makeOrderFolder(dir));
        QVERIFY(writeFile(dir + "照片/held.jpg"));
        Platform::failRemovals("held.jpg");

        QVERIFY(runDelete(row("41", dir)).isEmpty());
        // what could go is gone; the held file and its folders stay
        QVERIFY(QFile::exists(dir + "照片/held.jpg"));
        QVERIFY(!QFile::exists(dir + "照片/a.jpg"));
        QVERIFY(!QFile::exists(dir + "成品/a.jpg"));
        QVERIFY(!QFile::exists(dir + ".thumb/a.jpg"));
    }

    void importModeCountsTheChosenFilesOfItsType()
    {
        ImportOrderModel model{QJsonObject{{"orderpayforkey", "1001"}, {"servicetimes", "1"}}};
        model.setOriginFiles({"a", "b"});
        model.setFinishedFiles({"a", "b", "c"});
        model.setDesignFiles({"d"});
        model.setTrialVideoFiles({"v1", "v2", "v3", "v4"});
        model.setRetouchVideoFiles({"r1", "r2", "r3", "r4", "r5"});
        const QList<QPair<ImportTypeEnum, int>> expected{
            {ImportOriginPhotos, 2}, {ImportFinishedPhotos, 3}, {ImportDesigns, 1},
            {ImportTrialVideos, 4},  {ImportRetouchVideos, 5},  {ImportDovraCopy, 0},
        };
        for (const auto &e : expected) {
            ImportOrderThread t(&model, e.first);
            QCOMPARE(int(t.totalCount()), e.second);
        }
    }
};

TESSALY_TEST_MAIN(TestImportOrderThread)
#include "tst_importorderthread.moc"
