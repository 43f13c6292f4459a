#include "platform.h"
#include "fileoperation.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <cerrno>
#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#endif

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
    // was closed; otherwise the old target stays and no temporary file is left, and the failed step's own
    // error says why in the user's words. Permissions and times are kept where allowed, never a condition
    // of the copy.
    void fileIsPutInPlaceWholeOrNotAtAll_data()
    {
        QTest::addColumn<bool>("copy"); // a copy (flushed to the disk when onDisk), or a whole write
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("placed");
        QTest::addColumn<QString>("why"); // the failure in words (a copy's errno through errorText)
        const QString full = "磁盘空间不足或文件过大"; // EFBIG, as the file-size limit gives it
        QTest::newRow("copy") << true << false << "" << true << "";
        QTest::newRow("copy flushed to disk") << true << true << "" << true << "";
        QTest::newRow("copy, disk full") << true << true << "disk full" << false << full;
        QTest::newRow("copy, close fails") << true << false << "close" << false << "磁盘空间不足";
        QTest::newRow("copy flushed to disk, flush fails") << true << true << "flush" << false << "磁盘读写出错";
        QTest::newRow("copy, times and permissions refused") << true << false << "metadata" << true << "";
        QTest::newRow("write, disk full") << false << false << "disk full" << false << full;
        QTest::newRow("write in small pieces, disk full part-way") << false << false << "disk full, pieces" << false << full;
        QTest::newRow("write, close fails") << false << false << "close" << false << "磁盘空间不足";
        QTest::newRow("write, rename refused") << false << false << "rename" << false << "没有权限";
        QTest::newRow("write, name too long") << false << false << "long name" << false << "名称过长";
        QTest::newRow("write, folder gone") << false << false << "no folder" << false << "文件或文件夹不存在";
        QTest::newRow("write gives up by itself") << false << false << "writer" << false << "未能完整写入";
        // asked once the file is whole, just before it would take the name (the order was taken over meanwhile)
        QTest::newRow("copy no longer wanted") << true << false << "not wanted" << false << "已取消，不再需要写入";
        QTest::newRow("write no longer wanted") << false << false << "not wanted" << false << "已取消，不再需要写入";
        // a run that holds the folder removes the temporaries a kill cut short there meanwhile: not this one
        QTest::newRow("write while the folder's cut temporaries are removed")
            << false << false << "temporaries removed" << true << "";
    }
    void fileIsPutInPlaceWholeOrNotAtAll()
    {
        QFETCH(bool, copy);
        QFETCH(bool, onDisk);
        QFETCH(QString, fault);
        QFETCH(bool, placed);
        QFETCH(QString, why);
        QTemporaryDir tmp;
        const QString source = tmp.filePath("IMG_1.CR2");
        const QString oldTarget = tmp.filePath("raw/IMG_1.CR2");
        const QString target = fault == "long name" ? tmp.filePath("raw/" + QString(256, 'x') + ".CR2")
                               : fault == "no folder" ? tmp.filePath("gone/IMG_1.CR2")
                                                      : oldTarget;
        const QByteArray bytes = QByteArray("0123456789abcdef").repeated(300); // less than a write buffer
        QVERIFY(testsupport::put(source, bytes) && QDir().mkpath(tmp.filePath("raw")) && testsupport::put(oldTarget, "old"));
        QFile sourceFile(source);
        const QDateTime shot(QDate(2021, 3, 4), QTime(5, 6, 7));
        QVERIFY(sourceFile.open(QIODevice::ReadWrite) && sourceFile.setFileTime(shot, QFileDevice::FileModificationTime));
        sourceFile.close();
        QVERIFY(sourceFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));

        using Fault = void (*)(const QString &, int);
        const QHash<QString, Fault> faults{{"close", &Platform::failCloses},
                                           {"flush", &Platform::failFlushes},
                                           {"metadata", &Platform::refuseMetadata},
                                           {"rename", [](const QString &part, int times) { Platform::failRenames(part, times); }}};
        if (faults.contains(fault))
            faults[fault]("IMG_1", 1);
        const auto write = [&](QIODevice &f) {
            if (fault == "writer") { // the writer's own refusal, without a failed system call
                f.write(bytes.left(10));
                return false;
            }
            if (fault != "disk full, pieces")
                return f.write(bytes) == bytes.size();
            for (int at = 0; at < bytes.size(); at += 16)
                if (f.write(bytes.mid(at, 16)) != 16)
                    return false;
            return true;
        };
        bool ok = false;
        QString got;
        int error = 0;
        QStringList whole; // the temporaries there, whole, when it was asked
        const std::function<bool()> wanted = [&] {
            for (const QFileInfo &f : QDir(tmp.filePath("raw")).entryInfoList(QDir::Files | QDir::Hidden))
                if (f.fileName().startsWith('.') && f.size() == bytes.size())
                    whole << f.fileName();
            if (fault == "temporaries removed")
                FileOperation::removeTemporaries(tmp.filePath("raw"), Platform::isWriteTemporary);
            return fault != "not wanted";
        };
        {
            testsupport::FileSizeLimit full(fault.startsWith("disk full") ? 4096 : bytes.size() * 2);
            errno = 0;
            ok = copy ? Platform::copyIntoPlace(source, target, Platform::Placing::Replace,
                                                onDisk ? Platform::Durability::OnDisk : Platform::Durability::Cached, wanted)
                      : Platform::writeIntoPlace(target, write, &got, nullptr, wanted);
            error = errno;
        }
        Platform::clearFaults();
        QCOMPARE(ok, placed);
        if (placed || fault == "not wanted")
            QCOMPARE(whole.size(), 1);
        QCOMPARE(testsupport::bytesOf(target), placed ? bytes : target == oldTarget ? QByteArray("old") : QByteArray("<missing>"));
        QCOMPARE(testsupport::bytesOf(oldTarget), placed ? bytes : QByteArray("old"));
        QCOMPARE(QDir(tmp.filePath("raw")).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"IMG_1.CR2"});
        QVERIFY(!QFileInfo::exists(tmp.filePath("gone")));
        if (copy)
            QCOMPARE(placed ? QString() : errorText(error), why);
        else
            QCOMPARE(got, why);
        if (fault.isEmpty()) {
            QCOMPARE(QFileInfo(target).lastModified(), shot);
            QCOMPARE(QFile::permissions(target), QFile::permissions(source));
        }
    }

    // A record the program keeps beside its data is read only from a regular file of a bounded size: a link
    // (even to a regular file), a FIFO, a folder or a device is refused at once, never waited on or read
    // without end.
    void recordsAreReadOnlyFromRegularFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("error"); // 0: read
        QTest::newRow("a regular file") << "file" << 0;
        QTest::newRow("missing") << "missing" << ENOENT;
        QTest::newRow("a link to a regular file") << "link" << ELOOP;
        QTest::newRow("a link to an endless device") << "zero" << ELOOP;
        QTest::newRow("a FIFO without a writer") << "fifo" << EINVAL;
        QTest::newRow("a folder") << "folder" << EINVAL;
        QTest::newRow("larger than the bound") << "large" << EFBIG;
    }
    void recordsAreReadOnlyFromRegularFiles()
    {
        QFETCH(QString, kind);
        QFETCH(int, error);
        QTemporaryDir tmp;
        const QString d = tmp.path() + "/";
        const QString path = d + ".record";
        QVERIFY(testsupport::put(d + "elsewhere", "{\"n\":1}"));
        if (kind == "file")
            QVERIFY(testsupport::put(path, "{\"n\":1}"));
        else if (kind == "link")
            QVERIFY(QFile::link(d + "elsewhere", path));
        else if (kind == "zero")
            QVERIFY(QFile::link("/dev/zero", path));
        else if (kind == "fifo") {
#ifdef Q_OS_WIN
            QSKIP("no FIFOs in a Windows folder");
#else
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
        }
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (kind == "large")
            QVERIFY(testsupport::put(path, QByteArray(4097, 'x')));

        QByteArray bytes("old");
        int got = -1;
        QCOMPARE(Platform::readRegularFile(path, 4096, &bytes, &got), error == 0);
        QCOMPARE(got, error);
        QCOMPARE(bytes, error == 0 ? QByteArray("{\"n\":1}") : QByteArray());
        const bool regular = kind == "file" || kind == "large";
        QCOMPARE(Platform::isRegularFile(path), regular);

        // what identifies a file is read from a regular file alone, never through a link
        const Platform::FileFacts facts = Platform::fileFacts(path);
        QCOMPARE(facts.size, regular ? QFileInfo(path).size() : qint64(-1));
#ifndef Q_OS_WIN
        if (kind == "file") {
            // an edit in place that puts its size and date back is told by its change time
            QTest::qWait(20);
            struct stat was;
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &was), 0);
            QVERIFY(testsupport::put(path, "{\"n\":2}"));
            const struct timespec times[2] = {was.st_atim, was.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
            const Platform::FileFacts edited = Platform::fileFacts(path);
            QCOMPARE(edited.size, facts.size);
            QCOMPARE(edited.modified, facts.modified);
            QCOMPARE(edited.id, facts.id);
            QVERIFY(edited.changed != facts.changed);
            QVERIFY(!(edited == facts));
            QVERIFY(testsupport::put(path, "{\"n\":1}"));
        }
#endif

        // a journal is appended to only as such a file (or made where nothing is), never through a link
        Platform::SystemFile journal;
        const bool appended = journal.openForWriting(path, Platform::SystemFile::Append) && journal.write("+") == 1
                              && journal.closeChecked();
        QCOMPARE(appended, regular || kind == "missing");
#ifndef Q_OS_WIN
        if (!appended)
            QCOMPARE(journal.error(), kind == "folder" ? EISDIR : kind == "fifo" ? EINVAL : ELOOP);
#endif
        QCOMPARE(testsupport::bytesOf(d + "elsewhere"), QByteArray("{\"n\":1}"));
        if (kind == "file" || kind == "missing")
            QCOMPARE(testsupport::bytesOf(path), kind == "file" ? QByteArray("{\"n\":1}+") : QByteArray("+"));
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
