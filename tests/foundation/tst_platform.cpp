#include "platform.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

class TestPlatform : public QObject
{
    Q_OBJECT
private slots:
    void caseInsensitiveLookup()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString d = tmp.path();
        QFile a(d + "/IMG_01.JPG");
        QVERIFY(a.open(QIODevice::WriteOnly));
        a.close();
        QVERIFY(QDir().mkpath(d + "/img_02.jpg")); // a folder is not a file

        QCOMPARE(Platform::findFileNoCase(d, "img_01.jpg"), d + "/IMG_01.JPG");
        QCOMPARE(Platform::findFileNoCase(d + "/", "IMG_01.JPG"), d + "/IMG_01.JPG");
        QCOMPARE(Platform::findFileNoCase(d, "img_02.jpg"), QString());
        QCOMPARE(Platform::findFileNoCase(d, "img_03.jpg"), QString());
        QCOMPARE(Platform::findFileNoCase(d, ""), QString());
        QCOMPARE(Platform::findFileNoCase(d + "/none", "img_01.jpg"), QString());
#ifndef Q_OS_WIN
        // an exact match wins over a case-folded one
        QFile b(d + "/img_01.jpg");
        QVERIFY(b.open(QIODevice::WriteOnly));
        b.close();
        QCOMPARE(Platform::findFileNoCase(d, "img_01.jpg"), d + "/img_01.jpg");
        QCOMPARE(Platform::findFileNoCase(d, "IMG_01.JPG"), d + "/IMG_01.JPG");
#endif
    }

    void freeSpaceIsQueriedOrInjected()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        Platform::setFreeDiskBytesOverride(-1);
        QVERIFY(Platform::freeDiskBytes(tmp.path()) > 0);
        // a folder that is not made yet counts with the disk it will be on
        QVERIFY(Platform::freeDiskBytes(tmp.path() + "/not/yet/there/") > 0);
        Platform::setFreeDiskBytesOverride(1234);
        QCOMPARE(Platform::freeDiskBytes(tmp.path()), qint64(1234));
        Platform::setFreeDiskBytesOverride(-1);
        QVERIFY(Platform::freeDiskBytes(tmp.path()) != 1234);
    }

    // A copy or a whole write takes the target's name only when every byte reached the file and the file
    // was closed; otherwise the old target stays and no temporary file is left. Permissions and times
    // are kept where allowed, never a condition of the copy.
    void fileIsPutInPlaceWholeOrNotAtAll_data()
    {
        QTest::addColumn<bool>("copy"); // a copy, or a whole write
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<bool>("placed");
        QTest::newRow("copy") << true << "" << false << true;
        QTest::newRow("copy flushed to disk") << true << "" << true << true;
        QTest::newRow("copy, disk full") << true << "disk full" << false << false;
        QTest::newRow("copy flushed to disk, disk full") << true << "disk full" << true << false;
        QTest::newRow("copy, close fails") << true << "close" << false << false;
        QTest::newRow("copy flushed to disk, flush fails") << true << "flush" << true << false;
        QTest::newRow("copy, times and permissions refused") << true << "metadata" << false << true;
        QTest::newRow("write") << false << "" << false << true;
        QTest::newRow("write, disk full") << false << "disk full" << false << false;
        QTest::newRow("write, close fails") << false << "close" << false << false;
    }
    void fileIsPutInPlaceWholeOrNotAtAll()
    {
        QFETCH(bool, copy);
        QFETCH(QString, fault);
        QFETCH(bool, onDisk);
        QFETCH(bool, placed);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString source = tmp.filePath("IMG_1.CR2");
        const QString target = tmp.filePath("raw/IMG_1.CR2");
        QByteArray bytes(4497, Qt::Uninitialized); // smaller than a file's write buffer
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7);
        QVERIFY(testsupport::put(source, bytes));
        QFile sourceFile(source);
        const QDateTime shot(QDate(2021, 3, 4), QTime(5, 6, 7));
        QVERIFY(sourceFile.open(QIODevice::ReadWrite));
        QVERIFY(sourceFile.setFileTime(shot, QFileDevice::FileModificationTime));
        sourceFile.close();
        QVERIFY(sourceFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        QVERIFY(QDir().mkpath(tmp.filePath("raw")));
        QVERIFY(testsupport::put(target, "old"));

        if (fault == "close")
            Platform::failCloses("IMG_1", 1);
        else if (fault == "flush")
            Platform::failFlushes("IMG_1", 1);
        else if (fault == "metadata")
            Platform::refuseMetadata("IMG_1", 1);
        bool ok = false;
        QString why;
        {
            std::unique_ptr<testsupport::FileSizeLimit> full;
            if (fault == "disk full")
                full.reset(new testsupport::FileSizeLimit(4096));
            if (copy)
                ok = Platform::copyIntoPlace(source, target, Platform::Placing::Replace,
                                             onDisk ? Platform::Durability::OnDisk : Platform::Durability::Cached);
            else
                ok = Platform::writeIntoPlace(target, [&](QIODevice &file) { return file.write(bytes) == bytes.size(); },
                                              &why);
        }
        Platform::clearFaults();
        QCOMPARE(ok, placed);
        QCOMPARE(testsupport::bytesOf(target), placed ? bytes : QByteArray("old"));
        QCOMPARE(QDir(tmp.filePath("raw")).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"IMG_1.CR2"});
        QCOMPARE(why.isEmpty(), placed || copy);
        if (placed && copy && fault.isEmpty()) {
            QCOMPARE(QFileInfo(target).lastModified(), shot);
            QCOMPARE(QFile::permissions(target), QFile::permissions(source));
        }
    }

    void webPathsUseSlashesOnLinux()
    {
#ifdef Q_OS_WIN
        QCOMPARE(Platform::localPath("\\\\nas\\a b\\c"), QString("\\\\nas\\a b\\c"));
#else
        QCOMPARE(Platform::localPath("\\\\nas\\a b\\c"), QString("//nas/a b/c"));
#endif
    }
};

TESSALY_TEST_MAIN(TestPlatform)
#include "tst_platform.moc"
