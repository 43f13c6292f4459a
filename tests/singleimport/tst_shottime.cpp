// The shot-time scan in its three uses and the shot-time list file: entries, appends, the one reader.

#include "filebytes.h"
#include "filesizelimit.h"
#include "platform.h"
#include "shottime.h"
#include "testsupport.h"

#include <QProcess>
#include <QTextCodec>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

using testsupport::bytesOf;
using testsupport::put;

using Pairs = QList<QPair<QString, QString>>;
Q_DECLARE_METATYPE(Pairs)

namespace {

QByteArray pad(int size)
{
    return QByteArray(size, 'x');
}



} // namespace

class TestShotTime : public QObject
{
    Q_OBJECT
private slots:
    void scan_data();
    void scan();
    void entry_data();
    void entry();
    void appendsBackToBack();
    void reader_data();
    void reader();
};

void TestShotTime::scan_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("import"); // "?" = untouched
    QTest::addColumn<QString>("copy");
    QTest::addColumn<QString>("raw");

    const QByteArray a = "2019:05:12 14:33:21";
    const QByteArray b1 = "2021:01:01 10:00:00";
    const QByteArray b2 = "2022:02:02 11:11:11";
    const QByteArray noPairA = pad(2000);

    QTest::newRow("window A, first match ends") << QByteArray("ab" + a + "yy" + b1) + pad(3000)
                                                << "19:05:12 14:33:21" << "19:05:12 14:33:21"
                                                << "21:01:01 10:00:00";
    QTest::newRow("window B: last wins on import, first on copy, never read for raws")
        << noPairA + "q" + b1 + pad(40) + b2 + pad(600) << "22:02:02 11:11:11" << "21:01:01 10:00:00" << "?";
    QTest::newRow("2,2,0 is no pair") << QByteArray("x220" "19:05:12 14:33:21") << "?" << "?" << "?";
    QTest::newRow("NUL cuts the time") << QByteArray("20" "19:05\0:12 14:33:21", 19) + pad(10) << "19:05" << "19:05"
                                       << "19:05";
    QTest::newRow("NUL first: an empty match still ends window A")
        << QByteArray("20\0abcdefghijklmnop", 19) + pad(2100) + b1 << "" << "" << "";
    QTest::newRow("short tail") << QByteArray("xx20 19:05 ") << "19:05" << "19:05" << "19:05";
    QTest::newRow("short file without a pair") << pad(1500) << "?" << "?" << "?";
}

void TestShotTime::scan()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, import);
    QFETCH(QString, copy);
    QFETCH(QString, raw);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.jpg"));
    QVERIFY(put(path, bytes));

    const QList<QPair<ShotTimeScan, QString>> uses{{ShotTimeScan::forImport(), import},
                                                   {ShotTimeScan::forPhotoCopy(), copy},
                                                   {ShotTimeScan::forRawFiles(), raw}};
    for (const auto &use : uses) {
        QString time = QStringLiteral("?");
        QVERIFY(use.first.run(path, time));
        QCOMPARE(time, use.second);
        QString untouched = QStringLiteral("?");
        QVERIFY(!use.first.run(dir.filePath(QStringLiteral("missing.jpg")), untouched));
        QCOMPARE(untouched, QStringLiteral("?"));
    }
}

void TestShotTime::entry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("usual") << "305K12-ab-042.jpg" << "19:05:12 14:33:21" << "305K12-ab-042>19:05:12 14:33:21|";
    QTest::newRow("inner dots dropped") << "a.b-001.jpg" << "t" << "ab-001>t|";
    QTest::newRow("no dot") << "abc" << "t" << "abc>t|";
    QTest::newRow("only dot first") << ".jpg" << "t" << ">t|";
    QTest::newRow("no time, no entry") << "abc-001.jpg" << "" << "";
    QTest::newRow("time with the separators, no entry") << "n1.jpg" << "ab|cd>ef" << "";
    QTest::newRow("time with a line break, no entry") << "n1.jpg" << "19:05\n12 14" << "";
    QTest::newRow("time with a control character, no entry") << "n1.jpg" << "19:05\x01" << "";
}

void TestShotTime::entry()
{
    QFETCH(QString, name);
    QFETCH(QString, time);
    QFETCH(QString, expected);
    QCOMPARE(ShotTimeList::entry(name, time), expected);
}

void TestShotTime::appendsBackToBack()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/order/");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(ShotTimeList::append(folder, QStringLiteral("305K12-001>19:05:12 14:33:21|")));
    QVERIFY(ShotTimeList::append(folder, QString()));
    QVERIFY(ShotTimeList::append(folder, QStringLiteral("305K12-002>19:05:12 14:33:24|")));
    QCOMPARE(bytesOf(folder + QStringLiteral("ImageTime.txt")),
             QByteArray("305K12-001>19:05:12 14:33:21|305K12-002>19:05:12 14:33:24|"));
    // A retried run lists nothing twice; a name given to another photo takes that photo's time.
    QVERIFY(ShotTimeList::append(folder, QStringLiteral("305K12-002>19:05:12 14:33:24|305K12-003>19:05:12 14:40:00|")));
    QVERIFY(ShotTimeList::append(folder, QStringLiteral("305K12-001>19:06:01 10:00:00|")));
    QCOMPARE(bytesOf(folder + QStringLiteral("ImageTime.txt")),
             QByteArray("305K12-001>19:05:12 14:33:21|305K12-002>19:05:12 14:33:24|305K12-003>19:05:12 14:40:00|"
                        "305K12-001>19:06:01 10:00:00|"));
    QCOMPARE(ShotTimeList::parse(ShotTimeList::readText(folder + QStringLiteral("ImageTime.txt"))),
             (Pairs{{"305K12-002", "19:05:12 14:33:24"}, {"305K12-003", "19:05:12 14:40:00"},
                    {"305K12-001", "19:06:01 10:00:00"}}));
    // An append the disk cuts short is taken back; the next one's entries read back whole.
    const QString list = folder + QStringLiteral("ImageTime.txt");
    const QByteArray before = bytesOf(list);
    {
        testsupport::FileSizeLimit fullDisk(before.size() + 5);
        QVERIFY(fullDisk.active());
        QVERIFY(!ShotTimeList::append(folder, QStringLiteral("305K12-004>19:05:12 14:41:00|")));
        QVERIFY(errno == EFBIG);
    }
    QCOMPARE(bytesOf(list), before);
    QVERIFY(ShotTimeList::append(folder, QStringLiteral("305K12-005>19:05:12 14:42:00|")));
    QCOMPARE(ShotTimeList::parse(ShotTimeList::readText(list)).mid(2),
             (Pairs{{"305K12-001", "19:06:01 10:00:00"}, {"305K12-005", "19:05:12 14:42:00"}}));
    // A list an earlier program left cut in an entry: the new entry starts clean.
    QVERIFY(put(list, "a>1|b>2|305K12-00"));
    QVERIFY(ShotTimeList::append(folder, QStringLiteral("305K12-006>19:05:12 14:43:00|")));
    QCOMPARE(ShotTimeList::parse(ShotTimeList::readText(list)),
             (Pairs{{"a", "1"}, {"b", "2"}, {"305K12-006", "19:05:12 14:43:00"}}));

    QVERIFY(!ShotTimeList::append(dir.path() + QStringLiteral("/gone/"), QStringLiteral("a>1|")));
    QVERIFY(!ShotTimeList::append(QString(), QStringLiteral("a>1|")));
}

void TestShotTime::reader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("localeCodec");
    QTest::addColumn<Pairs>("pairs");
    QTest::addColumn<QString>("appended"); // entries then appended, read back after pairs ("" = none)
    // The file as another desk leaves it between this desk's read and its append ("" = untouched), or
    // "program appends " and the entries another desk's program appends then. The pairs read after the
    // append are those of this file (or of pairs), less the names appended, then the appended ones.
    QTest::addColumn<QByteArray>("meanwhile");
    QTest::addColumn<QByteArray>("kept"); // the bytes the file still starts with after the append

    QTest::newRow("two entries") << QByteArray("a>1|b>2|") << QByteArray("UTF-8") << Pairs{{"a", "1"}, {"b", "2"}}
                                 << "" << QByteArray() << QByteArray();
    QTest::newRow("only separators") << QByteArray("|||") << QByteArray("UTF-8") << Pairs{} << "" << QByteArray()
                                     << QByteArray();
    QTest::newRow("entry with two >") << QByteArray("a>b>c|d>1|") << QByteArray("UTF-8") << Pairs{{"d", "1"}} << ""
                                      << QByteArray() << QByteArray();
    QTest::newRow("empty time kept") << QByteArray("a>|") << QByteArray("UTF-8") << Pairs{{"a", ""}} << ""
                                     << QByteArray() << QByteArray();
    QTest::newRow("trailing line break") << QByteArray("a>1|b>2|\r\n") << QByteArray("UTF-8")
                                         << Pairs{{"a", "1"}, {"b", "2"}} << "" << QByteArray() << QByteArray();
    QTest::newRow("empty file") << QByteArray() << QByteArray("UTF-8") << Pairs{} << "" << QByteArray()
                                << QByteArray();
    const QByteArray gbk = QTextCodec::codecForName("GBK")->fromUnicode(QStringLiteral("照片-001>19:05:12 14:33:21|"));
    QTest::newRow("GBK list on a GBK system") << gbk << QByteArray("GBK")
                                              << Pairs{{QStringLiteral("照片-001"), "19:05:12 14:33:21"}} << ""
                                              << QByteArray() << QByteArray();
    QTest::newRow("GBK list on a UTF-8 system reads as nothing")
        << gbk << QByteArray("UTF-8") << Pairs{} << "" << QByteArray() << QByteArray();

    // An append cut off inside a Chinese name: the whole entries read, and the next append starts clean.
    const QString whole = QStringLiteral("张三-001>19:05:12 14:33:21|李四-002>19:05:12 14:33:22|");
    const QString cut = QStringLiteral("王五-003>19:05:12 14:33:23|");
    const Pairs wholePairs{{QStringLiteral("张三-001"), "19:05:12 14:33:21"},
                           {QStringLiteral("李四-002"), "19:05:12 14:33:22"}};
    const QString next = QStringLiteral("张三-004>19:05:12 14:33:24|");
    for (const char *codecName : {"GBK", "UTF-8"}) {
        QTextCodec *codec = QTextCodec::codecForName(codecName);
        const QByteArray wholeBytes = codec->fromUnicode(whole);
        const QByteArray name = codec->fromUnicode(QStringLiteral("王五"));
        for (int keep = name.size() / 2 + 1; keep < name.size(); ++keep) {
            QTest::addRow("%s list cut %d bytes into a name, appended", codecName, keep)
                << wholeBytes + codec->fromUnicode(cut).left(keep) << QByteArray(codecName) << wholePairs << next
                << QByteArray() << wholeBytes;
        }
        QTest::addRow("%s list cut inside its only name, appended", codecName)
            << codec->fromUnicode(cut).left(1) << QByteArray(codecName) << Pairs{} << next << QByteArray()
            << QByteArray();
        // Another desk cut the damaged entry back and appended its own before this desk's append: that entry
        // is no damaged tail, also when it is exactly as long as the cut bytes were.
        const int keep = name.size() - 1;
        const QByteArray other = codec->fromUnicode(QStringLiteral("赵六-005>19:05:12 14:33:25|"));
        const QByteArray sameLength = "x>" + QByteArray(keep - 3, '1') + "|";
        for (const QByteArray &entry : {other, sameLength}) {
            QTest::addRow("%s list cut into a name, another desk's %d-byte entry appended meanwhile", codecName,
                          entry.size())
                << wholeBytes + codec->fromUnicode(cut).left(keep) << QByteArray(codecName) << wholePairs << next
                << wholeBytes + entry << wholeBytes + entry;
            // The same entry from another desk's program appending to the cut list at the same moment.
            QTest::addRow("%s list cut into a name, another program appends a %d-byte entry at once", codecName,
                          entry.size())
                << wholeBytes + codec->fromUnicode(cut).left(keep) << QByteArray(codecName) << wholePairs << next
                << "program appends " + entry << wholeBytes;
        }
    }

    // A list the reader cannot read whole is appended to as it is: every byte stays, the new entry reads.
    QTextCodec *gbkCodec = QTextCodec::codecForName("GBK");
    const QByteArray gbkList = gbkCodec->fromUnicode(whole + QStringLiteral("王五-003>19:05:12 14:33:23|"));
    QTest::newRow("GBK list on a UTF-8 system, appended")
        << gbkList << QByteArray("UTF-8") << Pairs{} << next << QByteArray() << gbkList;
    const QByteArray mixed = "a>1|" + gbk + "b>2|";
    QTest::newRow("bytes of another code page in the middle, appended")
        << mixed << QByteArray("UTF-8") << Pairs{{"a", "1"}, {"b", "2"}} << next << QByteArray() << mixed;
    const QByteArray afterCut = whole.toUtf8() + cut.toUtf8().left(2) + next.toUtf8();
    QTest::newRow("list an earlier version appended to after a cut character, appended")
        << afterCut << QByteArray("UTF-8") << wholePairs << QStringLiteral("张三-006>19:05:12 14:33:26|")
        << QByteArray() << afterCut;
    // Bytes passed over end at the separator that ends them, and an append after them reads back as itself.
    const QByteArray unreadEnd = QStringLiteral("张三-001>19:05:12 14:33:21|x").toUtf8() + "\xff";
    QTest::newRow("UTF-8 list ending in a byte no code page reads, appended")
        << unreadEnd << QByteArray("UTF-8") << Pairs{{QStringLiteral("张三-001"), "19:05:12 14:33:21"}}
        << QStringLiteral("王五-003>19:05:12 14:40:00|") << QByteArray() << unreadEnd;
    // 亅 is 81 7C in GBK: its second byte is a "|", and no separator.
    const QByteArray cutAfterBar = gbkCodec->fromUnicode(QStringLiteral("张三-001>19:05:12 14:33:21|李亅"));
    QTest::newRow("GBK list cut after a character whose second byte is a \"|\", appended")
        << cutAfterBar << QByteArray("GBK") << Pairs{{QStringLiteral("张三-001"), "19:05:12 14:33:21"}}
        << QStringLiteral("王五-003>19:05:12 14:40:00|") << QByteArray() << cutAfterBar;
    // A name given to another photo: its new entry goes after the old one, which the reader passes over;
    // an entry another desk appended meanwhile stays.
    QTest::newRow("a name given to another photo, another desk's entry appended meanwhile")
        << QByteArray("a>1|b>2|") << QByteArray("UTF-8") << Pairs{{"a", "1"}, {"b", "2"}} << "a>9|"
        << QByteArray("a>1|b>2|c>3|") << QByteArray("a>1|b>2|c>3|");
    const QByteArray gbkNames = gbkCodec->fromUnicode(whole);
    QTest::newRow("GBK names, one given to another photo, another desk's entry appended before the write")
        << gbkNames << QByteArray("GBK") << wholePairs << QStringLiteral("李四-002>19:06:01 10:00:00|")
        << gbkNames + gbkCodec->fromUnicode(QStringLiteral("赵六-005>19:05:12 14:33:25|"))
        << gbkNames + gbkCodec->fromUnicode(QStringLiteral("赵六-005>19:05:12 14:33:25|"));
    // An editor's "save as UTF-8" leaves a byte-order mark in front, whatever the desk's code page: in GBK its
    // bytes pair with the first name's, so the mark goes by its three bytes alone.
    const QByteArray mark("\xEF\xBB\xBF");
    QTest::newRow("GBK list holding only a byte-order mark, appended")
        << mark << QByteArray("GBK") << Pairs{} << "E5520-001>19:05:12 14:33:21|" << QByteArray() << mark;
    const QByteArray markedList = mark + "E5520-001>19:05:12 14:33:21|";
    QTest::newRow("GBK list of a byte-order mark and an entry, appended")
        << markedList << QByteArray("GBK") << Pairs{{"E5520-001", "19:05:12 14:33:21"}}
        << QStringLiteral("张三-002>19:05:12 14:33:22|") << QByteArray() << markedList;
}

void TestShotTime::reader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, localeCodec);
    QFETCH(Pairs, pairs);
    QFETCH(QString, appended);
    QFETCH(QByteArray, meanwhile);
    QFETCH(QByteArray, kept);
    const QByteArray otherProgram("program appends ");
    const QString otherOrder = qEnvironmentVariable("TESSALY_SHOTTIME_ORDER");
    if (!otherOrder.isEmpty()) { // the other desk's program: appends its entries to the list and ends
        QTextCodec *codec = QTextCodec::codecForName(localeCodec);
        QTextCodec::setCodecForLocale(codec);
        QVERIFY(ShotTimeList::append(otherOrder, codec->toUnicode(meanwhile.mid(otherProgram.size()))));
        return;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ImageTime.txt"));
    QVERIFY(put(path, bytes));

    QTextCodec *before = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(localeCodec));
    const Pairs got = ShotTimeList::parse(ShotTimeList::readText(path));
    Pairs expected = pairs;
    std::atomic<bool> added{true};
    Pairs after;
    if (!appended.isEmpty()) {
        if (meanwhile.isEmpty()) {
            added = ShotTimeList::append(dir.path(), appended);
        } else {
            // The append waits after its read, as on a stalled share, while the other desk writes.
            Platform::holdWrites(path);
            std::thread desk([&] { added = ShotTimeList::append(dir.path(), appended); });
            const bool held = testsupport::waitFor([] { return Platform::heldWrites() == 1; });
            bool written = false;
            QByteArray said;
            if (!meanwhile.startsWith(otherProgram)) {
                written = held && testsupport::put(path, meanwhile);
            } else if (held) {
                QProcess program;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("TESSALY_SHOTTIME_ORDER"), dir.path());
                program.setProcessEnvironment(env);
                program.setProcessChannelMode(QProcess::MergedChannels);
                program.start(QCoreApplication::applicationFilePath(),
                              {QStringLiteral("reader:") + QTest::currentDataTag()});
                written = program.waitForFinished(testsupport::kWaitMs) && program.exitStatus() == QProcess::NormalExit
                          && program.exitCode() == 0;
                said = program.readAll();
            }
            expected = ShotTimeList::parse(ShotTimeList::readText(path));
            if (meanwhile.startsWith(otherProgram)) { // what the other program appended reads back
                const QByteArray others = meanwhile.mid(otherProgram.size());
                for (const auto &pair : ShotTimeList::parse(QTextCodec::codecForLocale()->toUnicode(others)))
                    written = written && expected.contains(pair);
            }
            Platform::releaseWrites();
            desk.join();
            QVERIFY2(held && written, said.right(2000).constData());
        }
        after = ShotTimeList::parse(ShotTimeList::readText(path));
    }
    QTextCodec::setCodecForLocale(before);
    QCOMPARE(got, pairs);
    QVERIFY(added);
    const Pairs appendedPairs = ShotTimeList::parse(appended);
    for (const auto &pair : appendedPairs)
        expected.erase(std::remove_if(expected.begin(), expected.end(), [&](const auto &p) { return p.first == pair.first; }),
                       expected.end());
    if (!appended.isEmpty())
        QCOMPARE(after, expected + appendedPairs);
    QVERIFY2(bytesOf(path).startsWith(kept), bytesOf(path).toHex().constData());
    QCOMPARE(ShotTimeList::readText(dir.filePath(QStringLiteral("missing.txt"))), QString());
}

TESSALY_TEST_MAIN(TestShotTime)
#include "tst_shottime.moc"
