#include "fileoperation.h"
#include "globals.h"
#include "filebytes.h"
#include "mounts.h"
#include "platform.h"
#include "runoutput.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <cerrno>
#include <future>
#include <vector>

using testsupport::bytesOf;
using testsupport::put;
using testsupport::streamString;

namespace {


// Keeps the working directory and the storage roots as they were.
struct CwdGuard
{
    QString cwd = QDir::currentPath();
    ~CwdGuard()
    {
        QDir::setCurrent(cwd);
        g_picPath.clear();
        g_bakPicPath.clear();
        g_homePicPath.clear();
        Platform::clearFaults();
    }
};

} // namespace

class TestFileOperation : public QObject
{
    Q_OBJECT
private slots:
    void copyPicksAFreeNumberedNameKeepingTheSuffix()
    {
        testsupport::TempRoots tmp;
        const QString d = tmp.base();
        QVERIFY(put(d + "src.bin", "new"));
        for (const char *name : {"a.jpg", "b.JPG", "c.png", "IMG_1.CR2", "noext", "d.jpg", "d(1).jpg"})
            QVERIFY(put(d + QString::fromUtf8(name), "old"));

        QVERIFY(FileOperation::copyFile(d + "src.bin", d + "a.jpg", false));
        QVERIFY(FileOperation::copyFile(d + "src.bin", d + "b.JPG", false));
        QVERIFY(FileOperation::copyFile(d + "src.bin", d + "c.png", false));
        QVERIFY(FileOperation::copyFile(d + "src.bin", d + "c.png", false));
        QVERIFY(FileOperation::copyFile(d + "src.bin", d + "IMG_1.CR2", false));
        QVERIFY(FileOperation::copyFile(d + "src.bin", d + "noext", false));
        QVERIFY(FileOperation::copyFile(d + "src.bin", d + "d.jpg", false));

        QCOMPARE(bytesOf(d + "a(1).jpg"), QByteArray("new"));
        QCOMPARE(bytesOf(d + "b(1).jpg"), QByteArray("new")); // photos keep the "(n).jpg" form
        QCOMPARE(bytesOf(d + "c(1).png"), QByteArray("new")); // other kinds keep their own suffix
        QCOMPARE(bytesOf(d + "c(2).png"), QByteArray("new"));
        QCOMPARE(bytesOf(d + "IMG_1(1).CR2"), QByteArray("new"));
        QCOMPARE(bytesOf(d + "noext(1)"), QByteArray("new"));
        QCOMPARE(bytesOf(d + "d(2).jpg"), QByteArray("new")); // "(1)" was taken already
        QVERIFY(!QFileInfo::exists(d + "c(1).jpg"));
        // the taken targets are untouched
        for (const char *name : {"a.jpg", "b.JPG", "c.png", "IMG_1.CR2", "noext", "d.jpg", "d(1).jpg"})
            QCOMPARE(bytesOf(d + QString::fromUtf8(name)), QByteArray("old"));
        // a dot in a folder name is not a suffix
        QCOMPARE(FileOperation::freeNumberedName("/x/some.dir/raw"), QString("/x/some.dir/raw(1)"));
    }

    void copySameMissingOverwriteAndBackslashes()
    {
        testsupport::TempRoots tmp;
        const QString d = tmp.base();
        QVERIFY(put(d + "p.jpg", "photo"));

        // source and target are one file: nothing copied, nothing removed, even with overwrite
        QVERIFY(FileOperation::copyFile(d + "p.jpg", d + "p.jpg", true));
        QVERIFY(FileOperation::copyFile(d + "p.jpg", d + "./sub/../p.jpg", true));
        QString backslashed = d + "p.jpg";
        backslashed.replace('/', '\\');
        QVERIFY(FileOperation::copyFile(backslashed, d + "p.jpg", true));
        QVERIFY(FileOperation::copyFile(d + "p.jpg", backslashed, true));
        QCOMPARE(bytesOf(d + "p.jpg"), QByteArray("photo"));
        QVERIFY(!QFileInfo::exists(d + "p(1).jpg"));

        // missing source: false and no target
        QVERIFY(!FileOperation::copyFile(d + "none.jpg", d + "t.jpg", true));
        QVERIFY(!QFileInfo::exists(d + "t.jpg"));

        // overwrite replaces the content
        QVERIFY(put(d + "t.jpg", "stale"));
        QVERIFY(FileOperation::copyFile(d + "p.jpg", d + "t.jpg", true));
        QCOMPARE(bytesOf(d + "t.jpg"), QByteArray("photo"));

        // back-slashes in the target become "/"
        QVERIFY(QDir().mkpath(d + "out/x"));
        QString target = d + "out\\x\\q.jpg";
        QVERIFY(FileOperation::copyFile(d + "p.jpg", target, false));
        QCOMPARE(bytesOf(d + "out/x/q.jpg"), QByteArray("photo"));

        // copies that keep what is there, side by side into one name: each takes a free name of its own
        QVERIFY(QDir().mkpath(d + "same"));
        std::vector<std::future<bool>> copies;
        for (int i = 0; i < 8; ++i)
            copies.push_back(std::async(std::launch::async,
                                        [d] { return FileOperation::copyFile(d + "p.jpg", d + "same/s.jpg", false); }));
        for (auto &copy : copies)
            QVERIFY(copy.get());
        QCOMPARE(QDir(d + "same").entryList(QDir::Files).size(), 8);

        // no folder is created for the target, and the failure is reported with its reason
        QString why;
        QVERIFY(!FileOperation::copyFile(d + "p.jpg", d + "nofolder/q.jpg", false, &why));
        QVERIFY(!QFileInfo::exists(d + "nofolder"));
        QCOMPARE(why, QString("目标文件夹不存在"));
        QVERIFY(!FileOperation::copyFile(d + "none.jpg", d + "t2.jpg", true, &why));
        QCOMPARE(why, QString("源文件不存在"));
        QVERIFY(!FileOperation::copyFile(d + "p.jpg", d + QString(252, 'x') + ".jpg", false, &why));
        QCOMPARE(why, QString("名称过长"));

        // an injected failure is reported as such: a share refusing the rename
        CwdGuard restore;
        Platform::failCopies("r.jpg", 1);
        QVERIFY(!FileOperation::copyFile(d + "p.jpg", d + "r.jpg", false, &why));
        QVERIFY(!QFileInfo::exists(d + "r.jpg"));
        QCOMPARE(why, QString("没有权限"));
        QVERIFY(FileOperation::copyFile(d + "p.jpg", d + "r.jpg", false)); // used up

        // a failed overwrite keeps the old file byte for byte and leaves no temporary file beside it
        const QStringList before = QDir(d).entryList(QDir::Files | QDir::Hidden | QDir::System);
        Platform::failCopies("t.jpg", 1);
        QVERIFY(put(d + "p.jpg", "another photo"));
        QVERIFY(!FileOperation::copyFile(d + "p.jpg", d + "t.jpg", true));
        QCOMPARE(bytesOf(d + "t.jpg"), QByteArray("photo"));
        QCOMPARE(QDir(d).entryList(QDir::Files | QDir::Hidden | QDir::System), before);

        // so does a last write that fails (a disk full at the end of the file), and a copy that never
        // replaces leaves no short file behind
        QVERIFY(put(d + "big.jpg", QByteArray((1 << 20) + 1000, 'b')));
        Platform::failLastWrites("t.jpg", 2);
        QVERIFY(!FileOperation::copyFile(d + "big.jpg", d + "t.jpg", true, &why));
        QCOMPARE(bytesOf(d + "t.jpg"), QByteArray("photo"));
        QCOMPARE(why, QString("磁盘空间不足"));
        QCOMPARE(FileOperation::copyNoReplace(d + "big.jpg", d + "new t.jpg", &why), FileOperation::CopyFailed);
        QVERIFY(!QFileInfo::exists(d + "new t.jpg"));
        QCOMPARE(why, "复制失败：" + d + "new t.jpg（磁盘空间不足）");
        QVERIFY(QDir(d).entryList({".copying-*"}, QDir::Files | QDir::Hidden).isEmpty());
        QVERIFY(FileOperation::copyFile(d + "big.jpg", d + "t.jpg", true)); // used up
        QCOMPARE(bytesOf(d + "t.jpg"), bytesOf(d + "big.jpg"));

#ifndef Q_OS_WIN
        // an empty photo whose name a FIFO holds: the FIFO is kept, never opened (no writer would come)
        QVERIFY(put(d + "empty.jpg", ""));
        QCOMPARE(::mkfifo(QFile::encodeName(d + "fifo.jpg").constData(), 0600), 0);
        QCOMPARE(FileOperation::copyNoReplace(d + "empty.jpg", d + "fifo.jpg", &why), FileOperation::KeptOther);
        QVERIFY(!FileOperation::sameContent(d + "empty.jpg", d + "fifo.jpg"));
#endif
    }

    // The words a failed call's error is shown in; every errno a write, copy or removal may fail with has
    // its own, none is left in English or without words.
    void failureReasonsInTheUsersWords_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("words");
        QTest::newRow("disk full") << int(ENOSPC) << "磁盘空间不足";
        QTest::newRow("file size limit") << int(EFBIG) << "磁盘空间不足或文件过大";
#ifdef EDQUOT
        QTest::newRow("quota") << int(EDQUOT) << "超出磁盘配额";
#endif
        QTest::newRow("permission refused") << int(EPERM) << "没有权限";
        QTest::newRow("access refused") << int(EACCES) << "没有权限";
        QTest::newRow("read-only or write-protected") << int(EROFS) << "磁盘只读或有写保护";
        QTest::newRow("file in use") << int(EBUSY) << "文件正被其它程序使用";
        QTest::newRow("name too long") << int(ENAMETOOLONG) << "名称过长";
        QTest::newRow("a folder of that name") << int(EISDIR) << "同名的文件夹已存在";
        // an order folder that gained a file while it was deleted (another desk importing into it)
        QTest::newRow("a folder not empty") << int(ENOTEMPTY) << "文件夹不是空的";
        QTest::newRow("share gone") << int(ENOTCONN) << "网络连接中断";
        QTest::newRow("disk error") << int(EIO) << "磁盘读写出错";
        QTest::newRow("invalid name") << int(EINVAL) << "名称无效";
        QTest::newRow("links in a loop") << int(ELOOP) << "路径中的链接过多或成环";
        QTest::newRow("across disks") << int(EXDEV) << "不能在两个磁盘之间移动";
        QTest::newRow("too many entries in a folder") << int(EMLINK) << "文件夹中的项目过多";
        QTest::newRow("out of memory") << int(ENOMEM) << "内存不足";
        QTest::newRow("share timed out") << int(ETIMEDOUT) << "网络连接超时";
        QTest::newRow("share connection reset") << int(ECONNRESET) << "网络连接中断";
        // what a desk on a network share meets besides
        QTest::newRow("server unreachable") << int(EHOSTUNREACH) << "无法到达服务器";
        QTest::newRow("connection refused") << int(ECONNREFUSED) << "服务器拒绝连接";
        QTest::newRow("try again") << int(EAGAIN) << "资源暂时不可用，请稍后再试";
        QTest::newRow("device not ready") << int(ENXIO) << "设备未连接或未就绪";
        QTest::newRow("no such device") << int(ENODEV) << "设备不存在";
        QTest::newRow("value too large") << int(EOVERFLOW) << "文件过大，无法处理";
        QTest::newRow("not supported") << int(EOPNOTSUPP) << "磁盘不支持此操作";
        QTest::newRow("name the share's character set cannot hold") << int(EILSEQ) << "名称中有磁盘不支持的字符";
        QTest::newRow("no longer wanted") << int(ECANCELED) << "已取消，不再需要写入";
        QTest::newRow("no lock") << int(ENOLCK) << "无法锁定文件";
#ifdef Q_OS_LINUX
        QTest::newRow("share's server I/O") << int(EREMOTEIO) << "服务器读写出错";
        QTest::newRow("share's credentials missing") << int(ENOKEY) << "服务器登录凭据无效或已过期，请重新连接";
        QTest::newRow("share's credentials expired") << int(EKEYEXPIRED) << "服务器登录凭据无效或已过期，请重新连接";
#endif
#ifdef Q_OS_WIN
        // Windows' own errors, as its calls report them
        QTest::newRow("Windows: invalid name") << Platform::errnoOf(ERROR_INVALID_NAME) << "名称无效";
        QTest::newRow("Windows: invalid path") << Platform::errnoOf(ERROR_BAD_PATHNAME) << "名称无效";
        QTest::newRow("Windows: not a folder") << Platform::errnoOf(ERROR_DIRECTORY) << "路径中有同名的文件";
        QTest::newRow("Windows: folder not empty") << Platform::errnoOf(ERROR_DIR_NOT_EMPTY) << "文件夹不是空的";
        QTest::newRow("Windows: across disks") << Platform::errnoOf(ERROR_NOT_SAME_DEVICE) << "不能在两个磁盘之间移动";
        QTest::newRow("Windows: out of memory") << Platform::errnoOf(ERROR_NOT_ENOUGH_MEMORY) << "内存不足";
        QTest::newRow("Windows: disk full") << Platform::errnoOf(ERROR_DISK_FULL) << "磁盘空间不足";
        QTest::newRow("Windows: server unreachable") << Platform::errnoOf(ERROR_HOST_UNREACHABLE) << "无法到达服务器";
        QTest::newRow("Windows: connection refused") << Platform::errnoOf(ERROR_CONNECTION_REFUSED) << "服务器拒绝连接";
        QTest::newRow("Windows: try again") << Platform::errnoOf(ERROR_RETRY) << "资源暂时不可用，请稍后再试";
        QTest::newRow("Windows: drive not ready") << Platform::errnoOf(ERROR_NOT_READY) << "设备未连接或未就绪";
        QTest::newRow("Windows: no such device") << Platform::errnoOf(ERROR_DEV_NOT_EXIST) << "设备不存在";
        QTest::newRow("Windows: value too large") << Platform::errnoOf(ERROR_ARITHMETIC_OVERFLOW) << "文件过大，无法处理";
        QTest::newRow("Windows: not supported") << Platform::errnoOf(ERROR_NOT_SUPPORTED) << "磁盘不支持此操作";
#endif
        QTest::newRow("anything else") << int(EDOM) << QString("读写失败（错误码%1）").arg(EDOM);
    }
    void failureReasonsInTheUsersWords()
    {
        QFETCH(int, error);
        QFETCH(QString, words);
        QCOMPARE(errorText(error), words);
    }

    void listFilesMatchTheLegacyBytes()
    {
        CwdGuard restore;
        testsupport::TempRoots tmp;
        QVERIFY(QDir::setCurrent(tmp.base()));

        // a file as the earlier program left it: two strings, one of them Chinese
        const QByteArray legacy = streamString("D:/输出/分件") + streamString("admin");
        QCOMPARE(legacy.left(8), QByteArray("\x00\x00\x00\x10\x00\x44\x00\x3a", 8));
        QVERIFY(put(tmp.path("legacy.dat"), legacy));
        QCOMPARE(FileOperation::readDatFile("legacy.dat", 2), QStringList({"D:/输出/分件", "admin"}));
        QCOMPARE(FileOperation::readDatFile("legacy.dat", 1), QStringList({"D:/输出/分件"}));
        QCOMPARE(FileOperation::readDatFile("legacy.dat", 5), QStringList({"D:/输出/分件", "admin"}));

        // what we write is byte for byte what the earlier program wrote
        QVERIFY(FileOperation::writeDatFile("new.dat", {"D:/输出/分件", "admin"}, false));
        QCOMPARE(bytesOf(tmp.path("new.dat")), legacy);

        // round trip with empty and null strings; a rewrite replaces the old content
        QVERIFY(FileOperation::writeDatFile("new.dat", {"", QString(), "x y", "密码"}, false));
        const QStringList back = FileOperation::readDatFile("new.dat", 4);
        QCOMPARE(back, QStringList({"", QString(), "x y", "密码"}));
        QVERIFY(back.at(1).isNull());
        QVERIFY(FileOperation::writeDatFile("new.dat", {"one"}, false));
        QCOMPARE(FileOperation::readDatFile("new.dat", 4), QStringList({"one"}));

        // missing and empty files give nothing
        QVERIFY(FileOperation::readDatFile("missing.dat", 2).isEmpty());
        QVERIFY(put(tmp.path("empty.dat"), QByteArray()));
        QVERIFY(FileOperation::readDatFile("empty.dat", 2).isEmpty());

        // hiding goes through the hidden attribute
        Platform::clearHiddenPaths();
        QVERIFY(FileOperation::writeDatFile("hidden.dat", {"a"}, true));
        QVERIFY(Platform::isHidden(tmp.path("hidden.dat")));
    }

    void damagedListFilesStopAtTheDamage()
    {
        CwdGuard restore;
        testsupport::TempRoots tmp;
        QVERIFY(QDir::setCurrent(tmp.base()));
        const QByteArray good = streamString("first");

        // cut in the middle of the second string
        QVERIFY(put(tmp.path("cut.dat"), good + streamString("second").left(7)));
        QCOMPARE(FileOperation::readDatFile("cut.dat", 3), QStringList({"first"}));
        // a length field cut short
        QVERIFY(put(tmp.path("short.dat"), good + QByteArray("\x00\x00", 2)));
        QCOMPARE(FileOperation::readDatFile("short.dat", 3), QStringList({"first"}));
        // an odd byte length is not UTF-16
        QVERIFY(put(tmp.path("odd.dat"), good + QByteArray("\x00\x00\x00\x03xyz", 7) + good));
        QCOMPARE(FileOperation::readDatFile("odd.dat", 3), QStringList({"first"}));
        // a huge length with almost no data behind it
        QVERIFY(put(tmp.path("huge.dat"), good + QByteArray("\x7f\xff\xff\xfe\x00\x41", 6)));
        QCOMPARE(FileOperation::readDatFile("huge.dat", 3), QStringList({"first"}));
    }

    void normalizedNamesAreSafeComponents()
    {
        QCOMPARE(normalizeFileName("a<b>c:d\"e/f\\g|h?i*j"), QString("abcdefghij"));
        QCOMPARE(normalizeFileName(QString("x") + QChar(0) + "y\t\nz" + QChar(0x1f)), QString("xyz"));
        QCOMPARE(normalizeFileName("  张三 李四  "), QString("张三 李四"));
        QCOMPARE(normalizeFileName("order..."), QString("order"));
        QCOMPARE(normalizeFileName(" name. "), QString("name"));
        QCOMPARE(normalizeFileName(".."), QString());
        QCOMPARE(normalizeFileName("../../etc"), QString("....etc"));
        QCOMPARE(normalizeFileName("*?:|"), QString());
        QCOMPARE(normalizeFileName("a.b"), QString("a.b"));
        // text that is not valid UTF-16 (a JSON "\ud800", an emoji cut in two) is cleaned all the same
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        QCOMPARE(normalizeFileName("../../ESCAPED" + QString(QChar(0xD800))), QString("....ESCAPED"));
        QCOMPARE(normalizeFileName(emoji.right(1) + "C:\\a/" + emoji + emoji.left(1)), QString("Ca") + emoji);

        // trailing dots and blanks go together, white space of every kind with them
        QCOMPARE(normalizeFileName(". ."), QString());
        QCOMPARE(normalizeFileName("a ."), QString("a"));
        QCOMPARE(normalizeFileName(QString(".") + QChar(0x3000) + "."), QString());
        QCOMPARE(normalizeFileName(QString("a") + QChar(0x3000) + ". ."), QString("a"));
        // what is longer than a name may be (255 bytes of UTF-8) is cut between two characters
        const QString chang(1, QChar(0x957F)); // three bytes
        QCOMPARE(normalizeFileName(chang.repeated(100)), chang.repeated(85));
        QCOMPARE(normalizeFileName("a" + emoji.repeated(70)), "a" + emoji.repeated(63)); // 253 bytes, no half pair
        QCOMPARE(normalizeFileName(QString(253, 'x') + " .ab"), QString(253, 'x'));   // nor a dot left at the end

        const QString tooLong = "名称过长";
        const QString invalid = "名称无效";
        QList<QPair<QString, QString>> refused{
            {QString(), invalid}, {".", invalid}, {"..", invalid}, {" ", invalid}, {". .", invalid}, {"a/b", invalid},
            {"a\\b", invalid}, {"C:", invalid}, {"a:b", invalid}, {QString("a") + QChar(0), invalid},
            {QString("a") + QChar(0xD800), invalid}, {emoji.right(1) + "a", invalid},
            {QString(256, 'a'), tooLong}, {chang.repeated(86), tooLong}, {"abc" + emoji.repeated(63) + "d", tooLong}};
        // Names Windows refuses, or reads as another name ("相册." is the folder "相册"), and Linux takes.
        const QStringList windowsOnly{"a\tb", "相册\n", QString("a") + QChar(0x1f), "a<b", "a>b", "a\"b", "a|b", "a?b",
                                      "a*b", "相册.", "相册 ", "a. ", QString(254, 'a') + "."};
#ifdef Q_OS_WIN
        for (const QString &name : windowsOnly)
            refused << qMakePair(name, invalid);
#endif
        for (const auto &name : refused) {
            QString why = "left over";
            QVERIFY2(!isSafeName(name.first, &why), qPrintable(name.first));
            QCOMPARE(why, name.second);
        }
        QStringList safe{"a", "...a", "a..b", "张 三", emoji, " a", QString(255, 'a'), chang.repeated(85),
                         "ab" + emoji.repeated(63) + "!"};
#ifndef Q_OS_WIN
        safe << windowsOnly << "ab" + emoji.repeated(63) + ".";
#endif
        for (const QString &name : safe) {
            QString why = "left over";
            QVERIFY2(isSafeName(name, &why), qPrintable(name));
            QVERIFY(why.isEmpty());
        }

        // cleaning gives "" or a safe name, and cleaning again changes nothing
        QStringList texts = safe + QStringList{"  张三 李四  ", "order...", " name. ", "../../etc", "*?:|", "a .", ". .",
                                               QString(".") + QChar(0x3000) + ".", QString(300, '.') + "a", chang.repeated(100),
                                               "a" + emoji.repeated(70), QString(254, 'x') + emoji, QString(253, 'x') + " .ab"};
        for (const auto &name : refused)
            texts << name.first << name.first + QChar(0x3000) + "." << QString(250, 'y') + name.first;
        for (const QString &text : qAsConst(texts)) {
            const QString once = normalizeFileName(text);
            QVERIFY2(once.isEmpty() || isSafeName(once), qPrintable(text));
            QCOMPARE(normalizeFileName(once), once);
        }
    }

    void windowsDeviceNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("device");
        for (const char *name : {"CON", "prn", "Aux", "NUL", "nul.jpg", "COM1.cr2", "COM9", "LPT1", "lpt9.txt", "CON .txt",
                                 "CONIN$", "conout$.log", "COM0", "LPT0.jpg", "COM¹", "COM²", "COM³.jpg", "LPT¹", "lpt².txt", "LPT³"})
            QTest::newRow(name) << QString::fromUtf8(name) << true;
        for (const char *name : {"CONSOLE", "COM10", "LPT", "xCON", "CON1", "COM⁴", "a.CON", "CONIN", "CON$", "NULL.jpg"})
            QTest::newRow(name) << QString::fromUtf8(name) << false;
    }
    void windowsDeviceNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, device);
        QCOMPARE(isWindowsDeviceName(name), device);
#ifdef Q_OS_WIN
        QCOMPARE(isSafeName(name), !device);
#else
        QVERIFY(isSafeName(name)); // only Windows reads them as devices
#endif
    }

    void removeDirDeletesHiddenEntriesAndNeverFollowsLinks()
    {
        testsupport::TempRoots tmp;
        const QString d = tmp.base();
        QVERIFY(QDir().mkpath(d + "order/照片/.thumb/deep"));
        QVERIFY(QDir().mkpath(d + "order/成品"));
        QVERIFY(put(d + "order/a.jpg", "x"));
        QVERIFY(put(d + "order/.hidden", "x"));
        QVERIFY(put(d + "order/照片/.thumb/deep/t.jpg", "x"));
        QVERIFY(put(d + "order/成品/.DS", "x"));
        // links inside the tree are removed as links; what they point to stays
        QVERIFY(QDir().mkpath(d + "outside"));
        QVERIFY(put(d + "outside/keep.jpg", "keep"));
        QVERIFY(QFile::link(d + "outside", d + "order/成品/link"));
        QVERIFY(QFile::link(d + "nowhere", d + "order/broken"));

        QVERIFY(FileOperation::removeDir(d + "order"));
        QVERIFY(!QFileInfo::exists(d + "order"));
        QCOMPARE(bytesOf(d + "outside/keep.jpg"), QByteArray("keep"));

        // a missing folder, a file and a link to a folder are not deleted as folders
        QVERIFY(!FileOperation::removeDir(d + "order"));
        QVERIFY(!FileOperation::deleteDir(d + "order"));
        QVERIFY(!FileOperation::removeDir(d + "outside/keep.jpg"));
        QVERIFY(QFile::link(d + "outside", d + "dirlink"));
        QVERIFY(!FileOperation::removeDir(d + "dirlink"));
        QCOMPARE(bytesOf(d + "outside/keep.jpg"), QByteArray("keep"));
        // nor is a link to an empty folder removed as an empty folder: it stays and is named as a link
        QVERIFY(QDir().mkpath(d + "empty"));
        QVERIFY(QFile::link(d + "empty", d + "emptylink"));
        QString emptyWhy = "old";
        QVERIFY(!FileOperation::removeEmptyDir(d + "emptylink/", &emptyWhy));
        QCOMPARE(emptyWhy, QString("是链接"));
        QVERIFY(QFileInfo(d + "emptylink").isSymLink());
        QVERIFY(FileOperation::removeEmptyDir(d + "empty/", &emptyWhy));
        QVERIFY(emptyWhy.isEmpty());
        // with the storage roots given (work off the GUI thread takes them before it starts) an empty root stays
        QVERIFY(QDir().mkpath(d + "emptyroot"));
        QVERIFY(!FileOperation::removeEmptyDir(d + "emptyroot", {d + "emptyroot/"}, &emptyWhy));
        QCOMPARE(emptyWhy, QString("此路径不允许删除"));
        QVERIFY(QFileInfo(d + "emptyroot").isDir());

        // deleteDir does the same, with hidden entries and a back-slashed path
        QVERIFY(QDir().mkpath(d + "raw/成品/.x"));
        QVERIFY(put(d + "raw/成品/.x/.y", "x"));
        QString back = d + "raw\\";
        back.replace('/', '\\');
        QVERIFY(FileOperation::deleteDir(back));
        QVERIFY(!QFileInfo::exists(d + "raw"));

        // A disk mounted inside the tree (a bind mount of a folder of the same disk, a file system of its
        // own) is neither gone into nor removed, and the refusal names it; the rest goes.
        QVERIFY(QDir().mkpath(d + "outside/kept"));
        QVERIFY(put(d + "outside/kept/a.jpg", "keep"));
        const QList<QStringList> mounts{{"--bind", d + "outside/kept"}, {"-t", "tmpfs", "tmpfs"}};
        for (const QStringList &how : mounts) {
            const QString mountPoint = d + "mounted/照片/nas";
            QVERIFY(QDir().mkpath(mountPoint));
            QVERIFY(put(d + "mounted/照片/a.jpg", "x"));
            if (QProcess::execute("mount", how + QStringList{mountPoint}) != 0)
                QSKIP("no mounts here (a mount needs root and a system that allows it)");
            const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", mountPoint}); });
            // the mount point is no empty folder of the order's own, even with nothing on the disk
            if (how.contains("tmpfs")) {
                QString emptyWhy;
                QVERIFY(!FileOperation::removeEmptyDir(mountPoint, &emptyWhy));
                QCOMPARE(emptyWhy, QString("是挂载的其它磁盘"));
            }
            QVERIFY(put(mountPoint + "/share.jpg", "share"));
            // a file another file is mounted on counts among the mounts
            const QString mountedFile = d + "mounted/照片/b.jpg";
            QVERIFY(put(mountedFile, "x"));
            QVERIFY(put(d + "outside/b.jpg", "kept"));
            QVERIFY(QProcess::execute("mount", {"--bind", d + "outside/b.jpg", mountedFile}) == 0);
            const auto unmountFile = qScopeGuard([&] { QProcess::execute("umount", {"-l", mountedFile}); });
            QString why;
            QVERIFY(!FileOperation::removeDir(d + "mounted", {}, &why));
            QCOMPARE(why, QString("其中挂载的其它磁盘未删除：照片/nas、照片/b.jpg"));
            QCOMPARE(bytesOf(mountPoint + "/share.jpg"), QByteArray("share"));
            QCOMPARE(bytesOf(d + "outside/b.jpg"), QByteArray("kept"));
            QVERIFY(!QFileInfo::exists(d + "mounted/照片/a.jpg"));
            QCOMPARE(FileOperation::refusalShown(why), why); // the deletion windows show it as it is

            // a disk mounted as the order folder itself is refused as a link is: nothing on it goes
            const QString order = d + "pic/2024-05/A7";
            QVERIFY(QDir().mkpath(order));
            QVERIFY(QProcess::execute("mount", how + QStringList{order}) == 0);
            const auto unmountOrder = qScopeGuard([&] { QProcess::execute("umount", {"-l", order}); });
            QVERIFY(QDir().mkpath(order + "/照片"));
            QVERIFY(put(order + "/照片/b.jpg", "on the disk"));
            QVERIFY(!FileOperation::isSafeToDelete(order, {d + "pic"}, &why, FileOperation::FolderItself));
            QCOMPARE(FileOperation::refusalShown(why), QString("此路径是链接，不允许删除"));
            QVERIFY(!FileOperation::removeDir(order + "/", {d + "pic"}, &why));
            QCOMPARE(why, "此路径是链接，不允许删除：" + order + "/");
            QCOMPARE(bytesOf(order + "/照片/b.jpg"), QByteArray("on the disk"));


            // an order on a disk mounted read-only: its one photo stays and is counted once (its folder
            // stays because the photo does, which is no failure of its own)
            const QString onDisk = mountPoint + "/A8";
            QVERIFY(QDir().mkpath(onDisk + "/照片"));
            QVERIFY(put(onDisk + "/照片/a.jpg", "x"));
            QVERIFY(QProcess::execute("mount", {"-o", "remount,bind,ro", mountPoint}) == 0);
            QVERIFY(!FileOperation::removeDir(onDisk, {}, &why));
            QCOMPARE(why, "有1项未能删除，如 照片/a.jpg（" + errorText(EROFS) + "）");
            QCOMPARE(bytesOf(onDisk + "/照片/a.jpg"), QByteArray("x"));
        }
        QCOMPARE(bytesOf(d + "outside/kept/a.jpg"), QByteArray("keep"));
    }

    // What a record names inside an order folder is reached only through real folders: a level that is a
    // link (even one that dangles), a file or a mounted disk stops it, and names itself.
    void foldersBelowAreRealFolders_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("stop"); // the level named, "" when every level is real
        QTest::newRow("real levels") << "a/b/" << "";
        QTest::newRow("levels not made yet") << "a/new/newer" << "";
        QTest::newRow("nothing below") << "" << "";
        QTest::newRow("a link as the first level") << "link/b" << "link 是链接";
        QTest::newRow("a link further down") << "a/link/x" << "a/link 是链接";
        QTest::newRow("a dangling link") << "a/dangling/x" << "a/dangling 是链接";
        QTest::newRow("a file on the way") << "a/file/x" << "a/file 不是文件夹";
        QTest::newRow("a mounted disk") << "a/mnt/x" << "a/mnt 是挂载的其它磁盘";
    }
    void foldersBelowAreRealFolders()
    {
        QFETCH(QString, relative);
        QFETCH(QString, stop);
        testsupport::TempRoots tmp;
        const QString d = tmp.base() + "order/";
        QVERIFY(QDir().mkpath(d + "a/b"));
        QVERIFY(QDir().mkpath(tmp.base() + "outside"));
        QVERIFY(QFile::link(tmp.base() + "outside", d + "link"));
        QVERIFY(QFile::link(tmp.base() + "outside", d + "a/link"));
        QVERIFY(QFile::link(tmp.base() + "nowhere", d + "a/dangling"));
        QVERIFY(put(d + "a/file", "x"));
        if (stop.contains("挂载")) {
            QVERIFY(QDir().mkpath(d + "a/mnt"));
            if (QProcess::execute("mount", {"-t", "tmpfs", "tmpfs", d + "a/mnt"}) != 0)
                QSKIP("no mounts here (a mount needs root and a system that allows it)");
        }
        const auto unmount = qScopeGuard([&] {
            if (stop.contains("挂载"))
                QProcess::execute("umount", {"-l", d + "a/mnt"});
        });
        QString why = "old";
        QCOMPARE(FileOperation::realFoldersBelow(d, relative, &why), stop.isEmpty());
        QCOMPARE(why, stop.isEmpty() ? QString("old") : d + stop);
    }

    void removeDirReportsAFileThatStays()
    {
        CwdGuard restore;
        testsupport::TempRoots tmp;
        const QString d = tmp.base();
        QVERIFY(QDir().mkpath(d + "order/照片/a"));
        QVERIFY(QDir().mkpath(d + "order/成品"));
        QVERIFY(put(d + "order/照片/a/held.jpg", "x"));
        QVERIFY(put(d + "order/成品/free.jpg", "x"));
        Platform::failRemovals("held.jpg");
        QString why;
        QVERIFY(!FileOperation::removeDir(d + "order", {}, &why));
        QCOMPARE(why, "有1项未能删除，如 照片/a/held.jpg（" + errorText(EBUSY) + "）");
        QVERIFY(QFileInfo::exists(d + "order/照片/a/held.jpg")); // its folders stay
        QVERIFY(!QFileInfo::exists(d + "order/成品"));           // what could go is gone
        // every removal in an order failing (a disk that takes none): the one photo is counted, not the
        // folders that stay because it does; an empty folder that stays is counted on its own
        QVERIFY(QDir().mkpath(d + "one/照片/empty"));
        QVERIFY(put(d + "one/照片/a.jpg", "x"));
        Platform::failRemovals(d + "one/");
        QVERIFY(!FileOperation::removeDir(d + "one", {}, &why));
        QCOMPARE(why, "有2项未能删除，如 照片/a.jpg（" + errorText(EBUSY) + "）");
        QVERIFY(QDir().rmdir(d + "one/照片/empty"));
        QVERIFY(!FileOperation::removeDir(d + "one", {}, &why));
        QCOMPARE(why, "有1项未能删除，如 照片/a.jpg（" + errorText(EBUSY) + "）");
        Platform::clearFaults();
        QVERIFY(FileOperation::removeDir(d + "order", {}, &why));
        QVERIFY(why.isEmpty());
        QVERIFY(!FileOperation::removeDir(d + "order", {}, &why)); // gone already: said so
        QCOMPARE(why, QString("目录已不存在"));

        // two desks deleting one order at once: what the other removed meanwhile is no file that stayed; the
        // order folder goes, one deletion says so and the other that it is gone
        for (int round = 0; round < 3; ++round) {
            for (int f = 0; f < 10; ++f) {
                QVERIFY(QDir().mkpath(d + QString("twice/照片/%1").arg(f)));
                for (int i = 0; i < 100; ++i)
                    QVERIFY(put(d + QString("twice/照片/%1/%2.jpg").arg(f).arg(i), "x"));
            }
            QString whyA, whyB;
            auto a = std::async(std::launch::async, [&] { return FileOperation::removeDir(d + "twice", {}, &whyA); });
            auto b = std::async(std::launch::async, [&] { return FileOperation::removeDir(d + "twice", {}, &whyB); });
            const bool removedA = a.get();
            const bool removedB = b.get();
            QVERIFY(!QFileInfo::exists(d + "twice"));
            QVERIFY2(removedA != removedB, qPrintable(whyA + " | " + whyB));
            QVERIFY2(!(whyA + whyB).contains("未能删除"), qPrintable(whyA + " | " + whyB));
        }

        // a file the system keeps (immutable, even for root): what stays and the system's reason are named
        QVERIFY(QDir().mkpath(d + "kept/照片"));
        QVERIFY(put(d + "kept/照片/b.jpg", "x"));
        QVERIFY(put(d + "kept/照片/c.jpg", "x"));
        if (QProcess::execute("chattr", {"+i", d + "kept/照片/b.jpg"}) != 0)
            QSKIP("no immutable files here");
        const auto release = qScopeGuard([&] { QProcess::execute("chattr", {"-i", d + "kept/照片/b.jpg"}); });
        QVERIFY(!FileOperation::removeDir(d + "kept", {}, &why));
        QCOMPARE(why, "有1项未能删除，如 照片/b.jpg（" + errorText(EPERM) + "）");
        QVERIFY(!QFileInfo::exists(d + "kept/照片/c.jpg"));
    }

    void guardRefusesRootsAndStorageRoots()
    {
        CwdGuard restore;
        testsupport::TempRoots tmp;
        const QString d = tmp.base();
        QVERIFY(QDir().mkpath(d + "store/pic/2024/order1/照片"));
        QVERIFY(QDir().mkpath(d + "store/bak"));
        QVERIFY(QDir().mkpath(d + "home"));
        QVERIFY(put(d + "store/pic/2024/order1/a.jpg", "x"));
        QVERIFY(put(d + "store/bak/b.jpg", "x"));
        QVERIFY(put(d + "home/c.jpg", "x"));
        g_picPath = d + "store/pic/";
        g_bakPicPath = d + "store/bak/";
        QString homeBack = d + "home\\";
        homeBack.replace('/', '\\');
        g_homePicPath = homeBack;

        const QStringList refused = {"", "   ", "relative/dir", "./x", "/", "//", "C:/", "c:\\", "D:", "E://",
                                     "\\\\host\\share", "//host//share//", " //host/share ",
                                     "//host/share/", "//host", d + "store/pic", d + "store/pic/", d + "store//pic/.",
                                     d + "store/pic\\", d + "store/bak/", d + "home", d + "home/",
                                     d + "store", d + "store/pic/2024/..", d.chopped(1),
                                     d + "store/pic/2024/order1/../order1", d + "store/pic/./2024/order1",
                                     QString(d + "store/pic/2024/x/../order1").replace('/', '\\')};
        for (const QString &path : refused) {
            QString why;
            QVERIFY2(!FileOperation::isSafeToDelete(path, &why), qPrintable(path));
            QVERIFY2(!why.isEmpty(), qPrintable(path));
        }
        QVERIFY(FileOperation::isSafeToDelete(d + "store/pic/2024/order1"));
        QVERIFY(FileOperation::isSafeToDelete("//host/share/orders/1"));
        QVERIFY(FileOperation::isSafeToDelete(d + "store/pic/2024/order1..2/"));

        // the deletions themselves refuse, and nothing is lost
        QVERIFY(!FileOperation::removeDir(d + "store/pic/"));
        QVERIFY(!FileOperation::deleteDir(d + "store"));
        QVERIFY(!FileOperation::deleteDir(d + "home"));
        QVERIFY(!FileOperation::removeDir(""));
        QVERIFY(QFileInfo::exists(d + "store/pic/2024/order1/a.jpg"));
        QVERIFY(QFileInfo::exists(d + "store/bak/b.jpg"));
        QVERIFY(QFileInfo::exists(d + "home/c.jpg"));

        // a link that leads to a storage root is refused as well
        QVERIFY(QFile::link(d + "store/pic", d + "alias"));
        QVERIFY(!FileOperation::isSafeToDelete(d + "alias"));

        // a relative path is refused even where it would resolve to a harmless folder
        QVERIFY(QDir::setCurrent(d + "store/pic/2024"));
        QVERIFY(!FileOperation::removeDir("order1"));
        QVERIFY(QFileInfo::exists(d + "store/pic/2024/order1/a.jpg"));

        // an order folder below the root is deleted
        QVERIFY(FileOperation::removeDir(d + "store/pic/2024/order1/"));
        QVERIFY(!QFileInfo::exists(d + "store/pic/2024/order1"));
    }

    void rootsAreTheTopsOfFileSystems_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("root");
        QTest::newRow("slash") << "/" << true;
        QTest::newRow("slashes") << "///" << true;
        QTest::newRow("drive") << "D:" << true;
        QTest::newRow("drive with slashes") << "d://" << true;
        QTest::newRow("drive, back-slash") << "D:\\" << true;
        QTest::newRow("share") << "//nas/photos/" << true;
        QTest::newRow("share, back-slashes") << "\\\\nas\\photos" << true;
        QTest::newRow("host") << "//nas" << true;
        QTest::newRow("folded to the top") << "/srv/.." << true;
        QTest::newRow("blanks around") << " C:/ " << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("folder") << "/srv" << false;
        QTest::newRow("folder on a drive") << "D:/pic" << false;
        QTest::newRow("folder on a share") << "//nas/photos/2024" << false;
        QTest::newRow("relative") << "pic" << false;
    }
    void rootsAreTheTopsOfFileSystems()
    {
        QFETCH(QString, path);
        QFETCH(bool, root);
        QCOMPARE(isFileSystemRoot(path), root);
    }

    void oneOrdersDeletionTakesNoOtherOrder_data()
    {
        QTest::addColumn<QString>("folder"); // below the temporary folder
        QTest::addColumn<QString>("named");  // the refusal names this folder ("" when deleted)
        QTest::newRow("order folder") << "pic/2016-05/12/A1-1" << "";
        QTest::newRow("day level") << "pic/2016-05/12" << "2016-05/12/";
        QTest::newRow("month level") << "pic/2016-05/" << "2016-05/12/";
        QTest::newRow("folder of two orders") << "pic/two" << "two/";
        QTest::newRow("order deep below") << "pic/misc" << "misc/a/b/C3-1";
        QTest::newRow("storage root") << "pic" << "storage root";
        QTest::newRow("no order folder") << "pic/Documents" << "此路径不是订单目录";
        // a blank before the path from the web service: the order folder itself goes, not a twin below the
        // working folder
        QTest::newRow("a blank before the path") << " pic/2016-05/12/A1-1" << "";
        // links named "照片" and "成品" make no order folder
        QTest::newRow("links named as the order's folders") << "pic/linked" << "此路径不是订单目录";
        // an order folder that is itself a link to another order's folder: neither goes
        QTest::newRow("order folder that is a link") << "pic/alias" << "此路径是链接，不允许删除";
        QTest::newRow("order folder that is a link, with a slash") << "pic/alias/" << "此路径是链接，不允许删除";
    }
    void oneOrdersDeletionTakesNoOtherOrder()
    {
        QFETCH(QString, folder);
        QFETCH(QString, named);
        CwdGuard restore;
        testsupport::TempRoots tmp;
        const QString d = tmp.base();
        for (const char *dir : {"pic/2016-05/12/A1-1/照片/新建文件夹", "pic/2016-05/12/A1-1/成品", "pic/2016-05/12/B2-1/照片",
                                "pic/two/X-1/照片", "pic/two/Y-1/成品", "pic/misc/a/b/C3-1/成品", "pic/Documents/报告",
                                "pic/linked/文档"})
            QVERIFY(QDir().mkpath(d + QString::fromUtf8(dir)));
        QVERIFY(put(d + "pic/2016-05/12/A1-1/成品/a.jpg", "a"));
        QVERIFY(put(d + "pic/2016-05/12/B2-1/照片/b.jpg", "b"));
        QVERIFY(put(d + "pic/Documents/报告/年报.doc", "d"));
        QVERIFY(QFile::link(d + "pic/Documents/报告", d + "pic/linked/照片"));
        QVERIFY(QFile::link(d + "pic/Documents", d + "pic/linked/成品"));
        QVERIFY(QFile::link(d + "pic/2016-05/12/B2-1", d + "pic/alias"));
        g_picPath = d + "pic/";
        // The relative twin a path with a blank before it would name, below the working folder.
        const QString path = folder.startsWith(' ') ? " " + d + folder.mid(1) : d + folder;
        QVERIFY(QDir().mkpath(d + "cwd/" + path + "/照片") && QDir::setCurrent(d + "cwd"));
        auto tree = [&] { return testsupport::fileTree(d + "pic"); };
        const QStringList before = tree();

        QString why;
        const bool safe = FileOperation::isSafeToDelete(path, &why);
        QCOMPARE(safe, named.isEmpty());
        QVERIFY2(why.contains(named), qPrintable(why));
        QString refusal = "left over";
        QCOMPARE(FileOperation::removeDir(path, FileOperation::storageRoots(), &refusal), named.isEmpty());
        QVERIFY2(refusal.contains(named), qPrintable(refusal));
        QVERIFY(QFileInfo::exists(d + "cwd/" + path + "/照片"));
        if (!named.isEmpty()) {
            QCOMPARE(tree(), before); // nothing removed
        } else {
            QVERIFY(!QFileInfo::exists(path.trimmed()));
            QCOMPARE(bytesOf(d + "pic/2016-05/12/B2-1/照片/b.jpg"), QByteArray("b"));
        }
    }

    void foldersExistenceAndCreation()
    {
        CwdGuard restore;
        testsupport::TempRoots tmp;
        const QString d = tmp.base();
        QVERIFY(put(d + "f.txt", "x"));

        QVERIFY(FileOperation::dirExists("")); // the working directory
        QVERIFY(FileOperation::dirExists(d));
        QVERIFY(!FileOperation::dirExists(d + "f.txt"));
        QVERIFY(!FileOperation::dirExists(d + "none"));
        QVERIFY(FileOperation::isFile(d + "f.txt"));
        QVERIFY(!FileOperation::isFile(d));

        QVERIFY(!FileOperation::mkDir(d + "a/b")); // no parents are made
        QCOMPARE(errno, ENOENT);
        QVERIFY(!QFileInfo::exists(d + "a"));
        QVERIFY(FileOperation::mkDir(d + "a"));
        QVERIFY(FileOperation::mkDir(d + "a/"));   // exists already
        QVERIFY(FileOperation::mkDir(d + "a/b"));
        QVERIFY(!FileOperation::mkDir(d + "f.txt")); // a file is in the way
        QCOMPARE(errno, EEXIST);
        QVERIFY(FileOperation::mkPath(d + "p/q/r/"));
        QVERIFY(FileOperation::mkPath(d + "p/q/r"));
        QVERIFY(!FileOperation::mkPath(d + "f.txt/x/y"));
        QCOMPARE(errno, ENOTDIR);
#ifdef Q_OS_WIN
        // a drive or a share that is not there is neither made nor taken as there
        const QString freeDrive = testsupport::missingDriveRoot();
        QVERIFY(!freeDrive.isEmpty());
        for (const QString &root : {freeDrive, freeDrive.left(2), QString("//tessaly-no-such-host/photo"),
                                    QString("\\\\tessaly-no-such-host\\photo\\")}) {
            errno = 0;
            QVERIFY2(!FileOperation::mkPath(root), qPrintable(root));
            QCOMPARE(errorText(errno), errorText(ENOENT));
        }
        QVERIFY(!FileOperation::mkPath(freeDrive + "pic/2024"));
        QCOMPARE(errorText(errno), errorText(ENOENT));
#endif

        Platform::failMkDirs("/fails", 2);
        QVERIFY(!FileOperation::mkDir(d + "fails"));
        QCOMPARE(errorText(errno), errorText(EACCES)); // as a folder one may not write to
        QVERIFY(!FileOperation::mkPath(d + "fails/x"));
        QCOMPARE(errno, EACCES);
        QVERIFY(!QFileInfo::exists(d + "fails"));
        QVERIFY(FileOperation::mkDir(d + "fails"));

        QVERIFY(FileOperation::deleteFile(d + "f.txt"));
        QVERIFY(!FileOperation::deleteFile(d + "f.txt"));
        QVERIFY(!FileOperation::deleteFile(d + "a")); // not a file

        // a full disk and a read-only one keep their own error, not that of a later look at the folder
        const testsupport::Mounted full(d + "full", testsupport::Mounted::Full);
        const testsupport::Mounted readOnly(d + "ro", testsupport::Mounted::ReadOnly);
        if (!full.active() || !readOnly.active())
            QSKIP("no mounts here (a mount needs root and a system that allows it)");
        QVERIFY(!FileOperation::mkDir(d + "full/x"));
        QCOMPARE(errorText(errno), errorText(ENOSPC));
        QVERIFY(!FileOperation::mkPath(d + "full/x/y"));
        QCOMPARE(errno, ENOSPC);
        QVERIFY(!FileOperation::mkDir(d + "ro/x"));
        QCOMPARE(errorText(errno), errorText(EROFS));
        QVERIFY(!FileOperation::mkPath(d + "ro/x/y"));
        QCOMPARE(errno, EROFS);
    }

    void hiddenAttributeIsRecorded()
    {
        testsupport::TempRoots tmp;
        const QString d = tmp.base();
        QVERIFY(QDir().mkpath(d + "thumb"));
        QVERIFY(put(d + "条形码.jpg", "x"));
        Platform::clearHiddenPaths();

        QVERIFY(!FileOperation::setFileHidden(d + "missing.jpg"));
        QVERIFY(!FileOperation::setDirHidden(d + "missing/"));
        QVERIFY(FileOperation::setDirHidden(d + "thumb/"));
        QVERIFY(FileOperation::setDirHidden(d + "thumb/")); // hidden already
        QVERIFY(FileOperation::setFileHidden(d + "条形码.jpg"));
        QVERIFY(Platform::isHidden(d + "thumb"));
        QVERIFY(Platform::isHidden(d + "条形码.jpg"));
        QVERIFY(!Platform::isHidden(d + "missing.jpg"));
#ifndef Q_OS_WIN
        QCOMPARE(Platform::hiddenPaths(), QStringList({d + "thumb", d + "条形码.jpg"}));
#endif
    }

    void openFolderKeepsBlanks()
    {
        Platform::clearOpenedPaths();
        FileOperation::openFileDir("/srv/photo store/2024 05/order 1/");
#ifdef Q_OS_WIN
        QCOMPARE(Platform::openedPaths(), QStringList({"\\srv\\photo store\\2024 05\\order 1\\"}));
#else
        QCOMPARE(Platform::openedPaths(), QStringList({"/srv/photo store/2024 05/order 1/"}));
        FileOperation::openFileDir("\\\\nas\\photo store\\a b");
        QCOMPARE(Platform::openedPaths().last(), QString("//nas/photo store/a b"));
#endif
    }
};

TESSALY_TEST_MAIN(TestFileOperation)
#include "tst_fileoperation.moc"
