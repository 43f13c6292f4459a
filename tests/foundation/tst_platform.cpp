#include "platform.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
