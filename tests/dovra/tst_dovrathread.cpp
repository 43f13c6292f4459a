// The Dovra worker without a window: the XML documents, the store check, the staff and product files,
// the folder copy and the selection-result export, each driven through a receiver object that takes the
// reports by name as the windows do.

#include "dovrathread.h"
#include "dovraxml.h"
#include "fileoperation.h"
#include "globals.h"
#include "goodsplan.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "importordermodel.h"
#include "mounts.h"
#include "platform.h"
#include "runoutput.h"
#include "testsupport.h"

using testsupport::bytesOf;
using testsupport::fileTree;
using testsupport::put;

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Web text of every awkward kind: separators, dots, drives, control characters, lone surrogates (an emoji
// cut in two among them), very long runs, mixed with plain letters.
QString awkwardText(QRandomGenerator &random)
{
    static const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    static const QStringList pieces{"/", "\\", ".", "..", "C:", "D:\\", ":", QString(QChar(0)), "\t", "\n",
                                    QString(QChar(0x1f)), QString(QChar(0xD800)), QString(QChar(0xDC00)),
                                    emoji, emoji.left(1), emoji.right(1), " ", "\u3000", "张", "a", "Z9",
                                    "*?<>|\"", "#%1", "（）"};
    QString text;
    for (int n = random.bounded(9); n > 0; --n)
        text += pieces.at(random.bounded(pieces.size()));
    if (random.bounded(50) == 0)
        text.insert(random.bounded(text.size() + 1), QString(random.bounded(256, 3000), QChar(0x957F)));
    return text;
}

// True when name, joined to a folder, names one entry right inside it, on Linux and on Windows alike
// (which drops trailing dots and blanks), and the file system takes it (255 bytes).
bool staysInItsFolder(const QString &name)
{
    QString kept = name;
    while (kept.endsWith('.') || kept.endsWith(' '))
        kept.chop(1);
    return QString::fromUtf8(name.toUtf8()) == name // valid UTF-16
           && name.toUtf8().size() <= 255 && !kept.isEmpty() && QDir::cleanPath("/w/" + kept) == "/w/" + kept
           && !name.contains(QRegularExpression("[/\\\\:\\x{0}]"));
}

} // namespace

class Receiver : public QObject
{
    Q_OBJECT
public:
    QList<QJsonObject> reports;
    QList<QPair<QJsonArray, QString>> storeChecks;
    QStringList updates;
    QStringList finals;
public slots:
    void slt_threademit(QJsonObject obj) { reports << obj; }
    void slt_dovrastores(QJsonArray reachable, QString names) { storeChecks << qMakePair(reachable, names); }
    void slt_exportDovraResult(QJsonObject obj)
    {
        if (obj.value("type").toString() == "update_msg")
            updates << obj.value("alert").toString();
        else
            finals << obj.value("message").toString();
    }
};

namespace {

QString decl(const QString &body)
{
    return DovraXml::kDeclaration + "<nemovg>" + body + "</nemovg>";
}

} // namespace

class TestDovraThread : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_dir; // ends in "/"

    QString path(const QString &rel) const { return m_dir + rel; }

    // Runs one job on the worker thread and delivers its reports.
    static void runJob(Dovrathread &t)
    {
        t.start();
        QVERIFY(t.wait(testsupport::kWaitMs));
        QCoreApplication::sendPostedEvents();
    }

    // A selection as Dovra leaves it: "[已选]<R>\选版结果" with album pages, a psd, a text, both
    // not-in-album folders and the "*.ok" marker, beside the design folder.
    QString makeSelection(const QString &rel, bool withMarker = true, bool withDesign = true)
    {
        QString local = rel;
        local.replace('\\', '/');
        const QString selected = path("dovra/选版服务器/[已选]" + local + "/");
        put(selected + "选版结果/册/01/page1.jpg", "dovra page1");
        put(selected + "选版结果/册/02/page2.JPG", "dovra page2");
        put(selected + "选版结果/cover.psd", "psd");
        put(selected + "选版结果/说明.txt", "text");
        put(selected + "选版结果/未入册版面/spare.jpg", "spare");
        put(selected + "选版结果/未入册照片/extra.jpg", "extra");
        put(selected + "选版结果/.hidden.ok", "");
        if (withMarker)
            put(selected + "选版结果/done.ok", "");
        if (withDesign)
            put(selected + local + "_待Dovra设计同步用数据/design.psd", "design");
        return selected;
    }

    OrderRowInfo order(const QString &spec)
    {
        OrderRowInfo r;
        r.checked = true;
        r.orderpayforkey = "A&1";
        r.servicetimes = "1";
        r.customerName = "张 &#";
        r.orderpath = path("pic/A1/");
        r.dovraRelPath = "A1";
        r.dovraSelectedPath = path("dovra/选版服务器/[已选]A1");
        if (spec == "nested") {
            r.orderpayforkey = "B2";
            r.dovraRelPath = "2024\\B2";
            r.dovraSelectedPath = path("dovra/选版服务器/[已选]2024\\B2");
        } else if (spec == "noFinished") {
            r.orderpayforkey = "C3";
            r.orderpath = path("pic/none/");
        } else if (spec == "noOrderPath") {
            r.orderpayforkey = "C4";
            r.orderpath.clear();
        } else if (spec == "noSelected") {
            r.orderpayforkey = "D4";
            r.dovraSelectedPath.clear();
        } else if (spec == "unreachable") {
            r.orderpayforkey = "E5";
            r.dovraSelectedPath = path("dovra/选版服务器/[已选]gone");
        } else if (spec == "noResult") {
            r.orderpayforkey = "F6";
            r.dovraSelectedPath = path("dovra/选版服务器/[已选]F6");
        } else if (spec == "noMarker") {
            r.orderpayforkey = "G7";
            r.dovraRelPath = "G7";
            r.dovraSelectedPath = path("dovra/选版服务器/[已选]G7");
        } else if (spec == "noDesign") {
            r.orderpayforkey = "H8";
            r.dovraRelPath = "H8";
            r.dovraSelectedPath = path("dovra/选版服务器/[已选]H8");
        } else if (spec == "unticked") {
            r.checked = false;
        }
        return r;
    }

private slots:
    void init()
    {
        testsupport::prepare();
        m_tmp.reset(new QTemporaryDir);
        QVERIFY(m_tmp->isValid());
        m_dir = m_tmp->path() + "/";
    }

    void xmlDocument_data()
    {
        QTest::addColumn<QJsonArray>("list");
        QTest::addColumn<int>("dataType");
        QTest::addColumn<QString>("expected");

        const QJsonObject zhou{{"id", "2001"}, {"name", "周杰"}};
        QTest::newRow("empty list") << QJsonArray() << 0 << decl("");
        QTest::newRow("staff") << QJsonArray{zhou, QJsonObject{{"id", "2001"}, {"name", "周杰"}}} << 0
                               << decl("<Staff><id>2001</id><name>周杰</name></Staff>"
                                       "<Staff><id>2001</id><name>周杰</name></Staff>");
        QTest::newRow("products of the same list")
            << QJsonArray{zhou} << 1
            << decl("<product><ID>2001</ID><name>周杰</name><width>0</width><height>0</height></product>");
        QTest::newRow("escaping") << QJsonArray{QJsonObject{{"id", "<1>"}, {"name", "A&amp;B \"q\" 'a' >"}}} << 0
                                  << decl("<Staff><id>&lt;1&gt;</id><name>A&amp;amp;B \"q\" 'a' &gt;</name></Staff>");
        QTest::newRow("non-string and missing values")
            << QJsonArray{QJsonObject{{"id", 12}, {"name", QJsonValue::Null}}, QJsonObject{{"name", true}}} << 1
            << decl("<product><ID></ID><name></name><width>0</width><height>0</height></product>"
                    "<product><ID></ID><name></name><width>0</width><height>0</height></product>");
        QTest::newRow("non-object element") << QJsonArray{"周杰", 7} << 0
                                            << decl("<Staff><id></id><name></name></Staff>"
                                                    "<Staff><id></id><name></name></Staff>");
        QTest::newRow("blanks and line feeds kept") << QJsonArray{QJsonObject{{"id", " 7 "}, {"name", "a\nb\r\n"}}} << 0
                                                    << decl("<Staff><id> 7 </id><name>a\nb\r\n</name></Staff>");
        QTest::newRow("forbidden characters dropped")
            << QJsonArray{QJsonObject{{"id", "1"},
                                      {"name", QString("a\x01") + QChar(0xFFFE) + "b\tc" + QChar(0xD800) + "d"
                                                   + QChar(0xDFFF) + QChar(0xFFFF) + "e\x1f"
                                                   + QString::fromUcs4(U"\U0001F600")}}}
            << 0 << decl("<Staff><id>1</id><name>ab\tcde" + QString::fromUcs4(U"\U0001F600") + "</name></Staff>");
    }
    void xmlDocument()
    {
        QFETCH(QJsonArray, list);
        QFETCH(int, dataType);
        QFETCH(QString, expected);
        QCOMPARE(DovraXml::document(list, dataType), expected);
        if (list.isEmpty())
            QCOMPARE(expected.size(), 55);

        // The worker reports the same document, then writes it into the store's 产品 folder.
        Receiver r;
        Dovrathread t(&r, nullptr);
        t.mode = "xml";
        t.dataType = dataType;
        t.datas = list;
        t.stores = QJsonArray{QJsonObject{{"name", "一店"}, {"dovrapath", path("store")}}};
        QDir().mkpath(path("store"));
        runJob(t);
        QCOMPARE(r.reports.size(), 2);
        QCOMPARE(r.reports[0], (QJsonObject{{"type", "数据配置完成"}, {"xmlstr", expected}, {"run", 0}}));
        QCOMPARE(t.xmlStr, expected);
        const QByteArray bytes = bytesOf(path(dataType == 0 ? "store/产品/VgStaff.xml" : "store/产品/productList.xml"));
        QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><nemovg>"));
        QVERIFY(!bytes.contains("\n") || bytes.count("\n") == bytes.count("\r\n"));
        QCOMPARE(bytes.count("\r\n"), expected.count("\n"));
        QCOMPARE(QString::fromUtf8(bytes).remove('\r'), QString(expected).remove('\r'));
    }

    void runIgnoresUnknownJobs_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("dataType");
        QTest::newRow("XML in capitals") << "XML" << 0;
        QTest::newRow("empty mode") << "" << 0;
        QTest::newRow("xml with data type 2") << "xml" << 2;
    }
    void runIgnoresUnknownJobs()
    {
        QFETCH(QString, mode);
        QFETCH(int, dataType);
        Receiver r;
        Dovrathread t(&r, nullptr);
        t.mode = mode;
        t.dataType = dataType;
        t.stores = QJsonArray{QJsonObject{{"name", "一店"}, {"dovrapath", m_dir}}};
        t.stop(); // a stop before the start is lost: nothing here depends on it
        runJob(t);
        QCOMPARE(r.reports.size() + r.storeChecks.size() + r.finals.size(), 0);
        QVERIFY(!QFile::exists(path("产品")));
    }

    void storeCheck_data()
    {
        QTest::addColumn<QJsonArray>("stores");
        QTest::addColumn<QList<int>>("reachable");
        QTest::addColumn<QString>("names");

        const QJsonObject p{{"name", "P"}};
        const QJsonObject q{{"name", "Q"}, {"dovrapath", "%here%"}, {"id", "9"}, {"extra", QJsonArray{1}}};
        const QJsonObject r{{"name", "R"}, {"dovrapath", "%gone%"}};
        QTest::newRow("none") << QJsonArray() << QList<int>() << "";
        QTest::newRow("P Q R") << QJsonArray{p, q, r} << QList<int>{1} << "P,R";
        QTest::newRow("empty name in the middle")
            << QJsonArray{p, QJsonObject{{"dovrapath", "%gone%"}}, r} << QList<int>() << "P,,R";
        QTest::newRow("empty name first") << QJsonArray{QJsonObject{{"dovrapath", ""}}, r} << QList<int>() << "R";
        QTest::newRow("number, null, file, non-object")
            << QJsonArray{QJsonObject{{"name", "N"}, {"dovrapath", 5}}, QJsonObject{{"name", "Z"}, {"dovrapath", QJsonValue::Null}},
                          QJsonObject{{"name", "F"}, {"dovrapath", "%file%"}}, "bad", q}
            << QList<int>{4} << "N,Z,F,";
        QTest::newRow("the working folder") << QJsonArray{QJsonObject{{"name", "D"}, {"dovrapath", "."}}, q}
                                            << QList<int>{1} << "D";
    }
    void storeCheck()
    {
        QFETCH(QJsonArray, stores);
        QFETCH(QList<int>, reachable);
        QFETCH(QString, names);
        QVERIFY(put(path("afile"), "x"));
        // The service writes back-slashes; the check reads them at the file-system boundary.
        const QString here = QString(m_dir).replace('/', '\\');
        for (int i = 0; i < stores.size(); ++i) {
            QJsonObject s = stores[i].toObject();
            const QString p = s.value("dovrapath").toString();
            if (p == "%here%")
                s["dovrapath"] = here;
            else if (p == "%gone%")
                s["dovrapath"] = m_dir + "gone";
            else if (p == "%file%")
                s["dovrapath"] = path("afile");
            if (stores[i].isObject())
                stores[i] = s;
        }
        Receiver r;
        Dovrathread t(&r, nullptr);
        t.mode = "stores";
        t.stores = stores;
        runJob(t);
        QCOMPARE(r.storeChecks.size(), 1);
        QJsonArray expected;
        for (int i : reachable)
            expected.append(stores.at(i));
        QCOMPARE(r.storeChecks[0].first, expected);
        QCOMPARE(r.storeChecks[0].second, names);
    }

    void writeToFileOverStores()
    {
        // the child program run under another user: one store's staff file, its error text printed
        const QString childStore = qEnvironmentVariable("TESSALY_DOVRA_STORE");
        if (!childStore.isEmpty()) {
            Receiver r;
            Dovrathread t(&r, nullptr);
            t.dataType = 0;
            t.stores = QJsonArray{QJsonObject{{"name", "十三店"}, {"dovrapath", childStore}}};
            t.xmlStr = decl("<Staff><id>1</id><name>a</name></Staff>");
            t.writeToFile();
            QCoreApplication::sendPostedEvents();
            QCOMPARE(r.reports.size(), 1);
            std::printf("errormsg:%s\n", r.reports[0].value("errormsg").toString().toUtf8().toBase64().constData());
            return;
        }
        // 一店: folder missing; 二店: no 产品 yet; 三店: 产品 is a file; 四店: VgStaff.xml is a folder;
        // 五店: the write fails, its old file stays whole; 七店: the rename over the old file is refused, the
        // file is written in place; 八店: the folder refuses the user; 九店: a relative path; 六店: a longer
        // old file is replaced whole.
        QDir().mkpath(path("二店"));
        QVERIFY(put(path("三店/产品"), "a file"));
        QDir().mkpath(path("四店/产品/VgStaff.xml"));
        QVERIFY(put(path("五店/产品/VgStaff.xml"), "old staff of five"));
        QVERIFY(put(path("六店/产品/VgStaff.xml"), QByteArray(500, 'x')));
        QVERIFY(put(path("七店/产品/VgStaff.xml"), QByteArray(500, 'x')));
        const QString workingFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir));
        QJsonArray stores;
        QDir().mkpath(path("八店/产品"));
        for (const char *name : {"一店", "二店", "三店", "四店", "五店", "七店", "八店", "九店", "六店"})
            stores.append(QJsonObject{{"name", name}, {"dovrapath", QString(name) == "九店" ? "." : path(name)}});
        Platform::failWrites("五店");
        Platform::failRenames("七店", 1);
        Platform::refuseOpens("八店"); // as a folder the user may not write to (tests run as root)

        Receiver r;
        Dovrathread t(&r, nullptr);
        t.dataType = 0;
        t.stores = stores;
        t.xmlStr = decl("<Staff><id>1</id><name>a\nb</name></Staff>");
        t.writeToFile();
        QDir::setCurrent(workingFolder);
        QCoreApplication::sendPostedEvents();

        const QByteArray expectedBytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><nemovg><Staff><id>1</id>"
                                         "<name>a\r\nb</name></Staff></nemovg>";
        QCOMPARE(bytesOf(path("二店/产品/VgStaff.xml")), expectedBytes);
        QCOMPARE(bytesOf(path("六店/产品/VgStaff.xml")), expectedBytes);
        QCOMPARE(bytesOf(path("七店/产品/VgStaff.xml")), expectedBytes);
        QCOMPARE(bytesOf(path("五店/产品/VgStaff.xml")), QByteArray("old staff of five"));
        for (const char *store : {"五店", "七店"})
            QCOMPARE(QDir(path(store) + "/产品").entryList(QDir::Files | QDir::Hidden), QStringList{"VgStaff.xml"});
        QVERIFY(!QFileInfo::exists(path("一店")));
        QVERIFY(!QFileInfo::exists(path("产品"))); // nothing below the working folder

        // the failure lines, each after a line feed; open and write failures name the reason in words
        const QStringList lines{"一店dovra路径错误，写入失败：" + path("一店") + "\\产品（文件或文件夹不存在）",
                                "三店dovra路径错误，写入失败：" + path("三店") + "\\产品（文件已存在）",
                                "四店 文件打开失败，错误原因：同名的文件夹已存在", "五店 文件写入失败，错误原因：磁盘读写出错",
                                "八店dovra路径没有写入权限：" + path("八店") + "\\产品（没有权限）",
                                "九店dovra路径错误，写入失败：.\\产品"};
        auto errorsUpTo = [&](int n, const QString &errormsg) {
            return errormsg == "\n" + QStringList(lines.mid(0, n)).join('\n');
        };
        // each store's message says whether its file was written; only those count as done
        const QList<bool> written{false, true, false, false, false, true, false, false, true};
        QCOMPARE(r.reports.size(), 9);
        int failures = 0;
        for (int i = 0; i < 9; ++i) {
            const QJsonObject &report = r.reports[i];
            const QString name = stores[i].toObject()["name"].toString();
            QCOMPARE(report.value("store").toString(), name);
            QCOMPARE(report.value("written").toBool(), written[i]);
            failures += !written[i];
            if (i == 8)
                break;
            QCOMPARE(report.value("type").toString(), QString("门店数据导入成功"));
            QCOMPARE(report.value("msg").toString(), "员工数据: " + name + (written[i] ? "数据导入完成" : "数据导入失败")
                                                         + "，开始给导入" + stores[i + 1].toObject()["name"].toString()
                                                         + "数据...");
            if (written[i])
                QCOMPARE(report.value("errormsg").toString(), QString());
            else
                QVERIFY2(errorsUpTo(failures, report.value("errormsg").toString()), qPrintable(name));
        }
        // the last store was written, and its final message still carries every failure
        QCOMPARE(r.reports[8].value("type").toString(), QString("全部导入成功"));
        QCOMPARE(r.reports[8].value("msg").toString(), QString("数据导入结束，有门店未能写入"));
        QVERIFY(errorsUpTo(6, r.reports[8].value("errormsg").toString()));
        QCOMPARE(QDir(path("八店") + "/产品").entryList(QDir::Files | QDir::Hidden), QStringList());

        // a full disk: the store's old file stays whole and the store is told as not written
        Receiver full;
        Dovrathread again(&full, nullptr);
        again.dataType = 0;
        again.stores = QJsonArray{QJsonObject{{"name", "五店"}, {"dovrapath", path("五店")}}};
        again.xmlStr = t.xmlStr;
        Platform::clearFaults();
        {
            testsupport::FileSizeLimit limit(expectedBytes.size() / 2);
            again.writeToFile();
        }
        QCoreApplication::sendPostedEvents();
        QCOMPARE(bytesOf(path("五店/产品/VgStaff.xml")), QByteArray("old staff of five"));
        QCOMPARE(QDir(path("五店") + "/产品").entryList(QDir::Files | QDir::Hidden), QStringList{"VgStaff.xml"});
        QCOMPARE(full.reports.size(), 1);
        QVERIFY(!full.reports[0].value("written").toBool());
        QCOMPARE(full.reports[0].value("errormsg").toString(), QString("\n五店 文件写入失败，错误原因：磁盘空间不足或文件过大"));

        // read-only disks: one whose "产品" cannot be made, one with "产品" there, where the file cannot be
        // opened; each says so
        QVERIFY(QDir().mkpath(path("十一店/产品")));
        const testsupport::Mounted readOnly(path("十店"), testsupport::Mounted::ReadOnly);
        const testsupport::Mounted readOnlyToo(path("十一店"), testsupport::Mounted::ReadOnly);
        if (!readOnly.active() || !readOnlyToo.active())
            QSKIP("no disk can be mounted here");
        Receiver locked;
        Dovrathread onReadOnly(&locked, nullptr);
        onReadOnly.dataType = 0;
        onReadOnly.stores = QJsonArray{QJsonObject{{"name", "十店"}, {"dovrapath", path("十店")}},
                                       QJsonObject{{"name", "十一店"}, {"dovrapath", path("十一店")}}};
        onReadOnly.xmlStr = t.xmlStr;
        onReadOnly.writeToFile();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(locked.reports.size(), 2);
        QCOMPARE(locked.reports[1].value("errormsg").toString(),
                 "\n十店dovra路径错误，写入失败：" + path("十店") + "\\产品（磁盘只读或有写保护）"
                 "\n十一店 文件打开失败，错误原因：磁盘只读或有写保护");

        // a disk out of entries and of blocks, where the file is written in place and the new document
        // needs more blocks than the old one holds: the old bytes stay and the failure is named
        const testsupport::Mounted noRoom(path("十二店/产品"), testsupport::Mounted::Full, 2);
        QVERIFY(noRoom.active());
        QVERIFY(put(path("十二店/产品/VgStaff.xml"), "old staff of twelve"));
        {
            QFile fill(path("十二店/产品/fill"));
            QVERIFY(fill.open(QIODevice::WriteOnly));
            while (fill.write(QByteArray(64 * 1024, 'x')) > 0 && fill.flush())
                continue;
        }
        QVERIFY(!put(path("十二店/产品/another"), "x"));
        Receiver fullReceiver;
        Dovrathread onFull(&fullReceiver, nullptr);
        onFull.dataType = 0;
        onFull.stores = QJsonArray{QJsonObject{{"name", "十二店"}, {"dovrapath", path("十二店")}}};
        onFull.xmlStr = decl(QString("<Staff><id>1</id><name>%1</name></Staff>").arg(QString(3 * 4096, 'n')));
        onFull.writeToFile();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(bytesOf(path("十二店/产品/VgStaff.xml")), QByteArray("old staff of twelve"));
        QCOMPARE(QDir(path("十二店/产品")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{"VgStaff.xml", "fill"}));
        QCOMPARE(fullReceiver.reports.size(), 1);
        QCOMPARE(fullReceiver.reports[0].value("errormsg").toString(),
                 QString("\n十二店 文件写入失败，错误原因：磁盘空间不足"));

#ifdef Q_OS_UNIX
        // a desk whose account may only read the store's share: 产品 and its file root's, the folder not
        // writable by others; the folder is named, not the file
        if (::geteuid() != 0)
            QSKIP("another user needs root");
        // The other user reaches neither a private temporary folder nor the test's folder in it: its store
        // and its own temporary folder are made where it can pass through every folder on the way.
        const QString reachable = testsupport::reachableByOthers();
        if (reachable.isEmpty())
            QSKIP(qPrintable("no folder another user can reach to write in (tried " + QDir::tempPath()
                             + ", /tmp, /var/tmp, /dev/shm)"));
        QTemporaryDir childDir(reachable + "/tessaly-dovra-XXXXXX");
        QVERIFY(childDir.isValid());
        const QString store = childDir.path() + "/十三店";
        const QString childTmp = childDir.path() + "/tmp";
        QVERIFY(put(store + "/产品/VgStaff.xml", "old staff of thirteen") && QDir().mkpath(childTmp));
        QVERIFY(::chmod(QFile::encodeName(store + "/产品").constData(), 0555) == 0
                && ::chmod(QFile::encodeName(store + "/产品/VgStaff.xml").constData(), 0644) == 0
                && ::chmod(QFile::encodeName(childDir.path()).constData(), 0755) == 0
                && ::chown(QFile::encodeName(childTmp).constData(), 65534, 65534) == 0);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TESSALY_DOVRA_STORE", store);
        env.insert("TMPDIR", childTmp);
        child.setProcessEnvironment(env);
        child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                QCoreApplication::applicationFilePath(), "writeToFileOverStores"});
        QVERIFY(child.waitForFinished(testsupport::kWaitMs));
        const QByteArray said = child.readAllStandardOutput() + child.readAllStandardError();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, said.right(2000).constData());
        const QRegularExpressionMatch errormsg = QRegularExpression("errormsg:(\\S*)").match(QString::fromUtf8(said));
        QVERIFY2(errormsg.hasMatch(), said.right(2000).constData());
        QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(errormsg.captured(1).toLatin1())),
                 "\n十三店dovra路径没有写入权限：" + store + "\\产品（没有权限）");
        QCOMPARE(bytesOf(store + "/产品/VgStaff.xml"), QByteArray("old staff of thirteen"));
        QCOMPARE(QDir(store + "/产品").entryList(QDir::Files | QDir::Hidden), QStringList{"VgStaff.xml"});
#endif
    }

    void copyDirectory_data()
    {
        QTest::addColumn<QString>("downloadAll");
        QTest::addColumn<QString>("bigImg");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QList<int>>("counts"); // copied, already there, failed
        QTest::addColumn<QStringList>("tried"); // the files named in the progress lines, when checked

        const QStringList all{"Cover.Jpeg", "PHOTO.JPG", "a.jpg.txt", "a/b/c.png", "a/b/未入册照片/deep.jpg",
                              "done.ok", "empty/", "noext", "x.tif", "未入册照片2/q.jpg", "未入册版面/p.jpg"};
        const QStringList restricted{"Cover.Jpeg", "PHOTO.JPG", "a/b/c.png", "empty/", "未入册照片2/q.jpg"};
        QTest::newRow("restricted \"0\"") << "0" << "" << "" << restricted << QList<int>{4, 0, 0}
                                          << QStringList{"c.png", "Cover.Jpeg", "PHOTO.JPG", "q.jpg"};
        QTest::newRow("empty switch copies all")
            << "" << "" << "" << all << QList<int>{10, 0, 0}
            << QStringList{"c.png", "deep.jpg", "a.jpg.txt", "Cover.Jpeg", "done.ok", "noext", "PHOTO.JPG", "x.tif",
                           "q.jpg", "p.jpg"};
        QTest::newRow("\"1\" copies all") << "1" << "0" << "" << all << QList<int>{10, 0, 0} << QStringList();
        QTest::newRow("finished photo in place") << "1" << "1" << "finished" << all << QList<int>{10, 0, 0}
                                                 << QStringList();
        QTest::newRow("re-export copies nothing") << "" << "" << "again" << all << QList<int>{0, 10, 0}
                                                  << QStringList();
        QTest::newRow("other bytes in the target stay") << "" << "" << "taken" << all << QList<int>{9, 0, 1}
                                                        << QStringList();
        QTest::newRow("the same bytes at another time are there") << "" << "" << "retimed" << all
                                                                  << QList<int>{9, 1, 0} << QStringList();
        QTest::newRow("failed copy") << "0" << "" << "failCopy"
                                     << QStringList{"Cover.Jpeg", "a/b/c.png", "empty/", "未入册照片2/q.jpg"}
                                     << QList<int>{3, 0, 1} << QStringList{"c.png", "Cover.Jpeg", "PHOTO.JPG", "q.jpg"};
        QTest::newRow("link to an ancestor") << "" << "" << "loop" << all << QList<int>{10, 0, 0} << QStringList();
        QTest::newRow("target inside the source") << "0" << "" << "inside" << restricted << QList<int>{4, 0, 0}
                                                  << QStringList();
    }
    void copyDirectory()
    {
        QFETCH(QString, downloadAll);
        QFETCH(QString, bigImg);
        QFETCH(QString, setup);
        QFETCH(QStringList, expected);
        QFETCH(QList<int>, counts);
        QFETCH(QStringList, tried);

        const QString src = path("src/");
        for (const char *f : {"PHOTO.JPG", "Cover.Jpeg", "x.tif", "a.jpg.txt", "noext", "done.ok", ".hidden.jpg",
                              "未入册版面/p.jpg", "未入册照片2/q.jpg", "a/b/未入册照片/deep.jpg", "a/b/c.png"})
            QVERIFY(put(src + f, QByteArray("dovra ") + f));
        QDir().mkpath(src + "empty");
        // the order's own finished photos: PHOTO.JPG as a file, c.png as a folder (not taken)
        QVERIFY(put(path("order/成品/PHOTO.JPG"), "big finished photo"));
        QDir().mkpath(path("order/成品/c.png"));
        QString target = path("out");
        QFile taken(target + "/x.tif"); // as large as the source, and older
        if (setup == "taken" || setup == "retimed") // a share that refused the copy's time: the bytes decide
            QVERIFY(put(taken.fileName(), setup == "taken" ? "older bytes" : "dovra x.tif") && taken.open(QIODevice::Append)
                    && taken.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0)), QFileDevice::FileModificationTime));
        if (setup == "failCopy")
            Platform::failCopies("PHOTO");
        if (setup == "loop")
            QVERIFY(QFile::link(src + "a", src + "a/b/back"));
        if (setup == "inside")
            target = src + "out";

        Receiver r;
        Dovrathread t(&r, nullptr);
        t.downloadAll = downloadAll;
        t.bigImg = bigImg;
        t.currentOrderDir = path("order/");
        Dovrathread::CopyCount count = t.copyDirectory(src, target);
        if (setup == "again")
            count = t.copyDirectory(src, target);
        QCoreApplication::sendPostedEvents();

        QCOMPARE((QList<int>{count.copied, count.alreadyThere, count.failed}), counts);
        QCOMPARE(fileTree(target), expected);
        QCOMPARE(bytesOf(target + "/PHOTO.JPG"), setup == "finished"   ? QByteArray("big finished photo")
                                               : setup == "failCopy" ? QByteArray("<missing>")
                                                                     : QByteArray("dovra PHOTO.JPG"));
        if (setup == "taken")
            QCOMPARE(bytesOf(target + "/x.tif"), QByteArray("older bytes"));
        // a copy carries its source's time, by which a later export knows it unread
        QCOMPARE(QFileInfo(target + "/Cover.Jpeg").lastModified(), QFileInfo(src + "Cover.Jpeg").lastModified());
        if (!tried.isEmpty()) {
            // one line per file tried, by its bare name, depth first in case-ignoring name order
            QCOMPARE(r.updates, tried.replaceInStrings(QRegularExpression("^(.*)$"), "正在拷贝\\1, 请稍后..."));
        }
    }

    // Folder names built from generated web text come out as one name each, or the order is refused: the
    // goods plan's levels, the batch import's order folder, the export's order and design folders. Only
    // a text longer than a name may be is a reason to refuse often.
    void namesFromWebTextStayInTheirFolder_data()
    {
        QTest::addColumn<QString>("builder");
        for (const char *builder : {"goods plan", "batch import order folder", "Dovra order folder", "Dovra design folder"})
            QTest::newRow(builder) << builder;
    }
    void namesFromWebTextStayInTheirFolder()
    {
        QFETCH(QString, builder);
        QLoggingCategory::setFilterRules("*.debug=false"); // the readers' diagnostics of every case
        const auto logAgain = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
        QRandomGenerator random(20240611);
        bool longText = false; // a text of this case is longer than a name may be
        auto text = [&random, &longText] {
            const QString t = awkwardText(random);
            longText = longText || t.toUtf8().size() > 255;
            return t;
        };
        int accepted = 0;
        int shortCases = 0;
        const int cases = builder == "goods plan" ? 1000 : 3000; // a goods plan takes 15 texts
        for (int i = 0; i < cases; ++i) {
            longText = false;
            auto counted = qScopeGuard([&] { shortCases += longText ? 0 : 1; });
            QStringList names; // every name joined to a folder
            if (builder == "goods plan") {
                const QJsonObject son{{"goodname", text()}, {"id", text()}, {"goodtypename", text()}, {"goodamount", text()}};
                const QJsonObject product{{"goodname", text()}, {"id", text()}, {"goodtypename", text()},
                                          {"goodamount", text()}, {"factoryname", text()}, {"getgooddate", text()},
                                          {"isurgent", i % 3 ? "0" : "1"}, {"ishomemade", i % 2 ? "1" : "0"},
                                          {"parentid", "0"}, {"son_good", QJsonArray{son}}};
                const QJsonObject reply{{"shop_set", QJsonObject{{"fenjian_ishaveordergoodid", i % 4 ? "0" : "1"}}},
                                        {"order", QJsonObject{{"ordergoods0", QJsonArray{product}}}}};
                const GoodsPlan plan = planGoods(reply, PickupOrder{text(), text(), text(), text()}, "1");
                if (!plan.refusal.isEmpty())
                    continue;
                for (const ProductFolderInfo &e : plan.folders) { // each level ends in "/"
                    names << e.productFolder.chopped(1);
                    if (e.factoryFolder != "/") // a product made in house may have no factory level
                        names << e.factoryFolder.chopped(1);
                    if (!e.sonFolder.isEmpty())
                        names << e.sonFolder.chopped(1);
                }
            } else if (builder == "batch import order folder") {
                const ImportOrderModel model(QJsonObject{{"orderpayforkey", text()}, {"servicetimes", text()},
                                                         {"bname", text()}, {"role1", text()}});
                const QString name = model.orderFolderName(ImportTypeEnum(i % 5));
                if (!isSafeName(name))
                    continue; // refused before anything is made
                names << name;
            } else if (builder == "Dovra order folder") {
                OrderRowInfo row;
                row.orderpayforkey = text();
                row.servicetimes = text();
                row.customerName = text();
                names << Dovrathread::orderFolderName(row);
            } else {
                const QStringList parts = Dovrathread::designFolderPath(text()).split('/');
                if (!std::all_of(parts.begin(), parts.end(), [](const QString &part) { return isSafeName(part); }))
                    continue; // refused before anything is made
                names << parts;
            }
            accepted += longText ? 0 : 1;
            for (const QString &name : qAsConst(names)) {
                if (!staysInItsFolder(name))
                    QFAIL(qPrintable(QString("case %1: %2").arg(i).arg(name.toHtmlEscaped().left(200))));
            }
        }
        QVERIFY2(accepted > shortCases * 9 / 10, qPrintable(QString::number(accepted))); // refusals stay rare
    }

    void exportSelection_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("downloadAll");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("report");
        QTest::addColumn<QStringList>("files"); // below the date folder

        const QString red = "<font color=\"#ff0000\">";
        const QString green = "<font color=\"#669900\">";
        const QString a1 = "A&amp;1 服务次1";
        const QStringList a1Files{"A&1-服务次1 张 &#/选版结果/cover.psd", "A&1-服务次1 张 &#/选版结果/册/01/page1.jpg",
                                  "A&1-服务次1 张 &#/选版结果/册/02/page2.JPG"};
        QTest::newRow("empty list") << QStringList() << "0" << "" << QStringList() << QStringList();
        QTest::newRow("unticked rows") << QStringList{"unticked", "unticked"} << "0" << "" << QStringList() << QStringList();
        QTest::newRow("exported") << QStringList{"done"} << "0" << ""
                                  << QStringList{green + a1 + "</font>  Dovra导出完成"} << a1Files;
        QTest::newRow("no finished photos, no order path")
            << QStringList{"noFinished", "noOrderPath"} << "" << ""
            << QStringList{red + "C3 服务次1</font> 没有导入成品照片，所以产品文件夹里是Dovra的小图！",
                           green + "C3 服务次1</font>  Dovra导出完成",
                           red + "C4 服务次1</font> 没有导入成品照片，所以产品文件夹里是Dovra的小图！",
                           green + "C4 服务次1</font>  Dovra导出完成"}
            << QStringList{"C3-服务次1 张 &#/选版结果/cover.psd", "C3-服务次1 张 &#/选版结果/done.ok",
                           "C3-服务次1 张 &#/选版结果/册/01/page1.jpg", "C3-服务次1 张 &#/选版结果/册/02/page2.JPG",
                           "C3-服务次1 张 &#/选版结果/未入册照片/extra.jpg", "C3-服务次1 张 &#/选版结果/未入册版面/spare.jpg",
                           "C3-服务次1 张 &#/选版结果/说明.txt", "C4-服务次1 张 &#/选版结果/cover.psd",
                           "C4-服务次1 张 &#/选版结果/done.ok", "C4-服务次1 张 &#/选版结果/册/01/page1.jpg",
                           "C4-服务次1 张 &#/选版结果/册/02/page2.JPG", "C4-服务次1 张 &#/选版结果/未入册照片/extra.jpg",
                           "C4-服务次1 张 &#/选版结果/未入册版面/spare.jpg", "C4-服务次1 张 &#/选版结果/说明.txt"};
        QTest::newRow("given up before any folder")
            << QStringList{"noSelected", "unreachable", "noResult", "noMarker"} << "0" << ""
            << QStringList{red + "D4 服务次1</font> 没有Dovra选版完成路径",
                           red + "E5 服务次1</font> Dovra选版未完成或与本机不在同一局域网",
                           "F6 服务次1</font> Dovra选版未完成", "G7 服务次1</font> Dovra选版未完成"}
            << QStringList();
        // a folder not made is named with the reason in words
        QTest::newRow("date folder not made") << QStringList{"done"} << "0" << "date"
                                              << QStringList{a1 + "</font> 创建导出日期目录失败（没有权限）"} << QStringList();
        QTest::newRow("order folder not made") << QStringList{"done"} << "0" << "order"
                                               << QStringList{a1 + "</font> 创建导出根目录失败（没有权限）"} << QStringList{};
        QTest::newRow("result folder not made")
            << QStringList{"done"} << "0" << "result"
            << QStringList{a1 + "</font> 创建选版结果导出目录失败（没有权限）", red + a1 + "</font> Dovra导出失败，没有导出任何文件"}
            << QStringList{"A&1-服务次1 张 &#/"};
        const QString noRoom = "（" + errorText(ENOSPC) + "）";
        QTest::newRow("date folder on a full disk") << QStringList{"done"} << "0" << "full disk:"
                                                    << QStringList{a1 + "</font> 创建导出日期目录失败" + noRoom} << QStringList();
        // the files of a folder not made fail for the folder's reason, not for a missing folder
        const QString result = "A&1-服务次1 张 &#/选版结果/";
        QTest::newRow("the result folder on a full disk")
            << QStringList{"done"} << "0" << "full disk:" + result
            << QStringList{a1 + "</font> 有3个文件拷贝失败：选版结果/cover.psd" + noRoom + "、选版结果/册/01/page1.jpg" + noRoom
                               + "、选版结果/册/02/page2.JPG" + noRoom,
                           red + a1 + "</font> Dovra导出失败，没有导出任何文件"}
            << QStringList{result + "fill0", result + "fill1", result + "fill2"}; // what filled the disk
        QTest::newRow("a file not copied")
            << QStringList{"done"} << "0" << "copy"
            << QStringList{a1 + "</font> 有1个文件拷贝失败：选版结果/册/01/page1.jpg（没有权限）",
                           red + a1 + "</font>  Dovra部分导出完成"}
            << QStringList{a1Files[0], "A&1-服务次1 张 &#/选版结果/册/01/", a1Files[2]};
        const QString full = "（磁盘空间不足或文件过大）";
        QTest::newRow("nothing copied on a full disk")
            << QStringList{"done"} << "0" << "full"
            << QStringList{a1 + "</font> 有3个文件拷贝失败：选版结果/cover.psd" + full + "、选版结果/册/01/page1.jpg" + full
                               + "、选版结果/册/02/page2.JPG" + full,
                           red + a1 + "</font> Dovra导出失败，没有导出任何文件"}
            << QStringList{"A&1-服务次1 张 &#/选版结果/册/01/", "A&1-服务次1 张 &#/选版结果/册/02/"};
        QTest::newRow("a changed selection keeps the old photo and names it")
            << QStringList{"done"} << "0" << "changed"
            << QStringList{a1 + "</font> 以下文件已存在且内容不同，未覆盖：选版结果/册/02/page2.JPG",
                           red + a1 + "</font>  Dovra部分导出完成"}
            << a1Files;
        QTest::newRow("two exports of one order at once") << QStringList{"done"} << "0" << "twice"
                                                          << QStringList{green + a1 + "</font>  Dovra导出完成"} << a1Files;
        QTest::newRow("design data with a nested path, finished photos in place")
            << QStringList{"nested"} << "1" << ""
            << QStringList{green + "B2 服务次1</font>  Dovra导出完成"}
            << QStringList{"B2-服务次1 张 &#/2024/B2_待Dovra设计同步用数据/design.psd", "B2-服务次1 张 &#/选版结果/cover.psd",
                           "B2-服务次1 张 &#/选版结果/done.ok", "B2-服务次1 张 &#/选版结果/册/01/page1.jpg",
                           "B2-服务次1 张 &#/选版结果/册/02/page2.JPG", "B2-服务次1 张 &#/选版结果/未入册照片/extra.jpg",
                           "B2-服务次1 张 &#/选版结果/未入册版面/spare.jpg", "B2-服务次1 张 &#/选版结果/说明.txt"};
        QTest::newRow("no design folder")
            << QStringList{"noDesign"} << "1" << ""
            << QStringList{"H8 服务次1</font> Dovra路径下没有 待Dovra设计同步用数据 文件夹",
                           red + "H8 服务次1</font>  Dovra部分导出完成"}
            << QStringList{"H8-服务次1 张 &#/选版结果/cover.psd", "H8-服务次1 张 &#/选版结果/done.ok",
                           "H8-服务次1 张 &#/选版结果/册/01/page1.jpg", "H8-服务次1 张 &#/选版结果/册/02/page2.JPG",
                           "H8-服务次1 张 &#/选版结果/未入册照片/extra.jpg", "H8-服务次1 张 &#/选版结果/未入册版面/spare.jpg",
                           "H8-服务次1 张 &#/选版结果/说明.txt"};
        QTest::newRow("neither copy done")
            << QStringList{"noDesign"} << "1" << "result"
            << QStringList{"H8 服务次1</font> 创建选版结果导出目录失败（没有权限）",
                           "H8 服务次1</font> Dovra路径下没有 待Dovra设计同步用数据 文件夹",
                           red + "H8 服务次1</font> Dovra导出失败，没有导出任何文件"}
            << QStringList{"H8-服务次1 张 &#/"};
        QTest::newRow("export root inside the selection")
            << QStringList{"done"} << "0" << "inside"
            << QStringList{a1 + "</font> 导出路径在Dovra选版目录内，未拷贝", red + a1 + "</font> Dovra导出失败，没有导出任何文件"}
            << QStringList{"A&1-服务次1 张 &#/选版结果/"};
    }
    void exportSelection()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, downloadAll);
        QFETCH(QString, fault);
        QFETCH(QStringList, report);
        QFETCH(QStringList, files);

        makeSelection("A1");
        makeSelection("2024\\B2");
        makeSelection("G7", false);
        makeSelection("H8", true, false);
        QDir().mkpath(path("dovra/选版服务器/[已选]F6"));
        QVERIFY(put(path("pic/A1/成品/page1.jpg"), "big page1"));

        QString root = path("export");
        if (fault == "inside")
            root = path("dovra/选版服务器/[已选]A1/选版结果/export");
        QDir().mkpath(root);
        const QString date = QDate::currentDate().toString("yyyy-MM-dd");
        // a full disk on the export root, or on the folder named below the dated one
        const bool onFullDisk = fault.startsWith("full disk:");
        const QString fullAt = fault.mid(10).isEmpty() ? root : root + "/" + date + "/" + fault.mid(10);
        const testsupport::Mounted fullMount(onFullDisk ? fullAt : QString(), testsupport::Mounted::Full);
        if (onFullDisk && !fullMount.active())
            QSKIP("no mounts here (a mount needs root and a system that allows it)");
        if (fault == "date")
            Platform::failMkDirs(date);
        else if (fault == "order")
            Platform::failMkDirs("服务次");
        else if (fault == "result")
            Platform::failMkDirs("/选版结果");
        else if (fault == "copy")
            Platform::failCopies("page1");
        else if (fault == "changed") // exported before, when Dovra held another second page
            QVERIFY(put(root + "/" + date + "/A&1-服务次1 张 &#/选版结果/册/02/page2.JPG", "old page2"));
        else if (fault == "twice") // both runs find each file missing, then place it
            Platform::slowWrites("选版结果", 50);

        QList<OrderRowInfo> list;
        for (const QString &spec : rows)
            list << order(spec);
        Receiver r;
        Dovrathread t(&r, nullptr);
        Receiver r2;
        Dovrathread second(&r2, nullptr);
        std::unique_ptr<testsupport::FileSizeLimit> fullDisk;
        if (fault == "full")
            fullDisk.reset(new testsupport::FileSizeLimit(0));
        t.startExport(root, list, downloadAll, "1");
        if (fault == "twice")
            second.startExport(root, list, downloadAll, "1");
        QVERIFY(t.wait(testsupport::kWaitMs) && second.wait(testsupport::kWaitMs));
        fullDisk.reset();
        QCoreApplication::sendPostedEvents();
        if (fault == "twice")
            QCOMPARE(r2.finals, r.finals);
        if (fault == "changed")
            QCOMPARE(bytesOf(root + "/" + date + "/A&1-服务次1 张 &#/选版结果/册/02/page2.JPG"), QByteArray("old page2"));

        QCOMPARE(r.finals.size(), 1);
        QCOMPARE(r.finals[0], "所选订单Dovra选版导出结果" + (report.isEmpty() ? QString() : "<br>" + report.join("<br>")));
        QStringList got = fileTree(root + "/" + date);
        if (fault == "inside")
            got = got.filter("选版结果");
        QCOMPARE(got, files);
        if (rows.isEmpty() || rows.first() == "unticked") {
            QVERIFY(r.updates.isEmpty());
            QVERIFY(!QFileInfo::exists(root + "/" + date));
        }
        if (rows == QStringList{"nested"}) // the shop asks for finished photos in place of Dovra's small ones
            QCOMPARE(bytesOf(root + "/" + date + "/" + files[3]), QByteArray("big page1"));
    }
};

QTEST_GUILESS_MAIN(TestDovraThread)
#include "tst_dovrathread.moc"
