// The raw-file download: the job on temporary folders and its progress window.

#include "cr2downloadrunnable.h"
#include "cr2downloadwindow.h"
#include "filebytes.h"
#include "filesizelimit.h"
#include "mounts.h"
#include "msgbox.h"
#include "platform.h"
#include "samplestudio.h"
#include "shottime.h"
#include "testsupport.h"

#include <QProgressBar>
#include <QSemaphore>
#include <QTextCodec>

#include <atomic>
#include <functional>
#include <thread>

using testsupport::bytesOf;
using testsupport::put;

namespace {

const QByteArray kT1 = "2019:05:12 14:33:21";
const QByteArray kT2 = "2019:05:12 14:33:24";
const QByteArray kT9 = "2019:05:12 23:59:59";

// A file whose shot-time scan finds the given date ("" = none) near its start.
QByteArray shotBytes(const QByteArray &date)
{
    return QByteArray("II*xx") + date + QByteArray(600, 'x');
}


// The job's download on a thread of its own, held at the debug line naming lastRaw (the last raw it names
// before its copies start) while another job downloads the same raws into the same folder and `between`
// runs. *otherDone: the other download ran and succeeded.
struct Hold
{
    static inline QtMessageHandler next = nullptr;
    static inline QString raw;
    static inline std::atomic<bool> armed{false};
    static inline QSemaphore reached{0}, go{0};
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (next)
            next(type, context, message);
        if (message.contains(QStringLiteral("匹配：")) && message.contains(raw) && armed.exchange(false)) {
            reached.release();
            go.acquire();
        }
    }
};

bool downloadBesideAnother(CR2DownloadRunnable &job, const QString &source, const QString &target,
                           const QString &pairs, const QString &lastRaw, const std::function<void()> &between,
                           QString *text, bool *otherDone)
{
    Hold::raw = QLatin1Char('"') + lastRaw + QLatin1Char('"');
    Hold::armed = true;
    Hold::next = qInstallMessageHandler(&Hold::handle);
    bool result = false;
    std::thread later([&] { result = job.downLoad(source, target, *text); });
    QString otherText;
    CR2DownloadRunnable other(nullptr, source, target, pairs);
    *otherDone = Hold::reached.tryAcquire(1, testsupport::kWaitMs) && other.downLoad(source, target, otherText);
    between();
    Hold::go.release(Hold::armed.exchange(false) ? 0 : 1);
    later.join();
    qInstallMessageHandler(Hold::next);
    return result;
}

// Names in a folder, hidden ones and sub-folders included, sorted; "" for a missing folder.
QStringList namesIn(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists())
        return {QStringLiteral("<gone>")};
    return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class Receiver : public QObject
{
    Q_OBJECT
public:
    QList<QPair<int, int>> steps;
    int finishes = 0;
    bool ok = false;
    QString tip;
public slots:
    void onDownloadProcess(int max, int value) { steps.append(qMakePair(max, value)); }
    void onDownloadFinish(bool isSuccess, QString text)
    {
        ++finishes;
        ok = isSuccess;
        tip = text;
    }
};

class TestRawDownload : public QObject
{
    Q_OBJECT
private slots:
    void init() { testsupport::prepare(); }
    void download_data();
    void download();
    void sampleOrders();
    void progressCountsDots();
    void startFailures_data();
    void startFailures();
    void receiverGoneGetsNothing();
    void window_data();
    void window();
};

void TestRawDownload::download_data()
{
    // photos: name=date in "照片/"; raws: name=date in "照片/新建文件夹/" ("" = no shot time)
    QTest::addColumn<QStringList>("photos");
    QTest::addColumn<QStringList>("raws");      // name=date*N: N more bytes
    QTest::addColumn<QString>("pairs");
    QTest::addColumn<QString>("fault");     // words: "copy:X": the first copy to a target holding X fails; "flush:X": every
                                            // flush of X; "room:X": the first copy to a target holding X finds no room;
                                            // "full" / "full:N": the last run on a disk that takes 0 / N bytes per file;
                                            // "full-first:N": the first run so; "other": another job downloads the
                                            // raws into the same folder while this run holds with its raws named (the
                                            // other faults are armed after that job); "link": the raw folder is a link
                                            // to a folder beside the order; "mount": a disk is mounted on the raw folder
    QTest::addColumn<QStringList>("copied");    // names in the target folder afterwards
    QTest::addColumn<QStringList>("rawsLeft");  // names left in the raw folder ("<gone>": removed)
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");       // "" = nothing below the first line; else a part of it ("%1":
                                                // the raw folder)
    QTest::addColumn<QStringList>("present");   // in the target before: name=bytes, name=@raw for a copy of that raw,
                                                // name=~raw for other bytes of that raw's size and time
    QTest::addColumn<int>("runs");              // the download run again (faults used up) until it ran this often
    QTest::addColumn<QString>("counts");        // the files the first line counts: "downloaded/not downloaded"

    const QString t1 = QString::fromLatin1(kT1);
    const QString t2 = QString::fromLatin1(kT2);
    const QString t9 = QString::fromLatin1(kT9);
    const QStringList gone{QStringLiteral("<gone>")};

    QTest::newRow("by the list") << QStringList{"P-001.jpg=" + t1} << QStringList{"IMG_1.CR2=" + t1}
                                 << "DSC-003>" + t1.mid(2) + "|" << "" << QStringList{"DSC-003.CR2"} << gone << true << ""
                                 << QStringList{} << 1 << "1/0";
    QTest::newRow("by scanning the photos")
        << QStringList{"P-001.jpg=" + t2, "P-002.jpg=" + t1} << QStringList{"IMG_1.CR2=" + t1, "img_2.Nef=" + t2}
        << "" << "" << QStringList{"P-001.Nef", "P-002.CR2"} << gone << true << "" << QStringList{} << 1 << "2/0";
    QTest::newRow("list without the time falls back to the photos")
        << QStringList{"P-002.jpg=" + t1} << QStringList{"IMG_1.CR2=" + t1} << "X-009>" + t9.mid(2) + "|" << ""
        << QStringList{"P-002.CR2"} << gone << true << "" << QStringList{} << 1 << "1/0";
    QTest::newRow("no match keeps its own name") << QStringList{"P-001.jpg=" + t1} << QStringList{"IMG_8.CR2=" + t9}
                                                 << "" << "" << QStringList{"IMG_8.CR2"} << gone << true << ""
                                                 << QStringList{} << 1 << "1/0";
    QTest::newRow("empty time matches nothing")
        << QStringList{"P-001.jpg="} << QStringList{"IMG_5.CR2=", "x.cr3=" + t1} << "P-007>|" << ""
        << QStringList{"IMG_5.CR2", "x.cr3"} << gone << true << "" << QStringList{} << 1 << "2/0";
    QTest::newRow("two raws of one moment get their own copies")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t1} << "DSC-003>" + t1.mid(2) + "|" << ""
        << QStringList{"DSC-003(1).CR2", "DSC-003.CR2"} << gone << true << "" << QStringList{} << 1 << "2/0";
    QTest::newRow("names from the list stay inside the target")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t2}
        << "../../a:b>" + t1.mid(2) + "|..>" + t2.mid(2) + "|" << "" << QStringList{"....ab.CR2", "IMG_2.CR2"} << gone
        << true << "" << QStringList{} << 1 << "2/0";
    QTest::newRow("a failed copy keeps its raw and the folder")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t2} << "" << "copy:IMG_2" << QStringList{"IMG_1.CR2"}
        << QStringList{"IMG_2.CR2"} << false << "拷贝原图照片未成功，照片名：" << QStringList{} << 1 << "1/1";
    QTest::newRow("hidden and nested raws stay with their folder")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, ".IMG_3.CR2=" + t1, "sub/IMG_4.CR2=" + t1} << "" << ""
        << QStringList{"IMG_1.CR2"} << QStringList{".IMG_3.CR2", "sub"} << false << "原图目录未删除，其中仍有：.IMG_3.CR2、sub/"
        << QStringList{} << 1 << "1/0";
    QTest::newRow("no raw folder: plain copy of the photos, none replaced")
        << QStringList{"P-001.jpg=" + t1, "P-002.jpg="} << QStringList{"x.cr3=" + t1} << "" << ""
        << QStringList{"P-001(1).jpg", "P-001.jpg", "P-002.jpg"} << QStringList{"x.cr3"} << true << ""
        << QStringList{"P-001.jpg=mine"} << 1 << "2/0";
    QTest::newRow("earlier files in the local folder: other bytes kept, the same bytes are the copy")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t2}
        << "DSC-003>" + t1.mid(2) + "|DSC-004>" + t2.mid(2) + "|" << ""
        << QStringList{"DSC-003(1).CR2", "DSC-003.CR2", "DSC-004.CR2"} << gone << true << ""
        << QStringList{"DSC-003.CR2=earlier", "DSC-004.CR2=@IMG_2.CR2"} << 1 << "2/0";
    QTest::newRow("an earlier file of the raw's size and time but other bytes is kept")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1} << "DSC-003>" + t1.mid(2) + "|" << ""
        << QStringList{"DSC-003(1).CR2", "DSC-003.CR2"} << gone << true << "" << QStringList{"DSC-003.CR2=~IMG_1.CR2"} << 1 << "1/0";
    QTest::newRow("retry after a failed copy of two raws of one moment")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t1} << "DSC-003>" + t1.mid(2) + "|"
        << "copy:DSC-003(1)" << QStringList{"DSC-003(1).CR2", "DSC-003.CR2"} << gone << true << "" << QStringList{} << 2 << "1/0";
    QTest::newRow("copies not flushed to the disk: no original leaves")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t2} << "" << "flush:/out"
        << QStringList{} << QStringList{"IMG_1.CR2", "IMG_2.CR2"} << false
        << "拷贝原图照片未成功，照片名：" << QStringList{} << 1 << "0/2";
    // The first run's flush failed; the second meets a full disk: its copy cannot be written, so the
    // original stays although the same bytes may still read back from the local folder.
    QTest::newRow("retry after a first run whose flush failed: the original goes only after a copy of its own")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1} << "DSC-003>" + t1.mid(2) + "|" << "flush:/out full"
        << QStringList{} << QStringList{"IMG_1.CR2"} << false << "拷贝原图照片未成功，照片名：" << QStringList{} << 2
        << "0/1";
    QTest::newRow("an earlier local file of the same bytes is written afresh before the original goes")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1} << "DSC-003>" + t1.mid(2) + "|" << " full"
        << QStringList{"DSC-003.CR2"} << QStringList{"IMG_1.CR2"} << false << "拷贝原图照片未成功，照片名："
        << QStringList{"DSC-003.CR2=@IMG_1.CR2"} << 1 << "0/1";
    QTest::newRow("a copy that found no room is tried again after the others, under its own name")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t1} << "DSC-003>" + t1.mid(2) + "|"
        << "room:DSC-003.CR2" << QStringList{"DSC-003(1).CR2", "DSC-003.CR2"} << gone << true << "" << QStringList{} << 1
        << "2/0";
    QTest::newRow("a disk with room for some raws: those land, only their originals go, the rest say why")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t2 + "*3000"}
        << "DSC-003>" + t1.mid(2) + "|DSC-004>" + t2.mid(2) + "|" << "full:2000" << QStringList{"DSC-003.CR2"}
        << QStringList{"IMG_2.CR2"} << false << "IMG_2.CR2（磁盘空间不足" << QStringList{} << 1 << "1/1";
    QTest::newRow("a retry once there is room gets the rest")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t2 + "*3000"}
        << "DSC-003>" + t1.mid(2) + "|DSC-004>" + t2.mid(2) + "|" << "full-first:2000"
        << QStringList{"DSC-003.CR2", "DSC-004.CR2"} << gone << true << "" << QStringList{} << 2 << "1/0";
    QTest::newRow("two downloads into one folder: the later counts the other's copies")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t1, "IMG_3.CR2=" + t2}
        << "DSC-003>" + t1.mid(2) + "|DSC-004>" + t2.mid(2) + "|" << "other"
        << QStringList{"DSC-003(1).CR2", "DSC-003.CR2", "DSC-004.CR2"} << gone << true << "" << QStringList{} << 1 << "3/0";
    QTest::newRow("two downloads into one folder, the later one's flush failing: the other's copies stay")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1, "IMG_2.CR2=" + t2}
        << "DSC-003>" + t1.mid(2) + "|DSC-004>" + t2.mid(2) + "|" << "other flush:/out"
        << QStringList{"DSC-003.CR2", "DSC-004.CR2"} << gone << true << "" << QStringList{} << 1 << "2/0";
    QTest::newRow("a raw folder that is a link stays, named as one")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1} << "DSC-003>" + t1.mid(2) + "|" << "link"
        << QStringList{"DSC-003.CR2"} << QStringList{} << false << "删除原图目录未成功，请手动删除。路径为：%1（是链接）"
        << QStringList{} << 1 << "1/0";
    QTest::newRow("a raw folder with a disk mounted on it stays, named as one")
        << QStringList{} << QStringList{"IMG_1.CR2=" + t1} << "DSC-003>" + t1.mid(2) + "|" << "mount"
        << QStringList{"DSC-003.CR2"} << QStringList{} << false
        << "删除原图目录未成功，请手动删除。路径为：%1（是挂载的其它磁盘）" << QStringList{} << 1 << "1/0";
}

void TestRawDownload::download()
{
    QFETCH(QStringList, photos);
    QFETCH(QStringList, raws);
    QFETCH(QString, pairs);
    QFETCH(QString, fault);
    QFETCH(QStringList, copied);
    QFETCH(QStringList, rawsLeft);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QFETCH(QStringList, present);
    QFETCH(int, runs);
    QFETCH(QString, counts);

    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/order/照片/");
    const QString rawDir = source + QStringLiteral("新建文件夹/");
    const QString target = dir.path() + QStringLiteral("/out");
    QVERIFY(QDir().mkpath(source));
    std::unique_ptr<testsupport::Mounted> rawDisk;
    if (fault == "link") {
        QVERIFY(QDir().mkpath(dir.path() + "/elsewhere"));
        QVERIFY(QFile::link(dir.path() + "/elsewhere", rawDir.chopped(1)));
    } else if (fault == "mount") {
        rawDisk.reset(new testsupport::Mounted(rawDir, testsupport::Mounted::Roomy));
        if (!rawDisk->active())
            QSKIP("no disk can be mounted here");
    }
    for (const QString &p : photos)
        QVERIFY(put(source + p.section('=', 0, 0), shotBytes(p.section('=', 1).toLatin1())));
    QMap<QString, QByteArray> rawBytes;
    QStringList listed; // the raws the download lists, in its order
    for (const QString &r : raws) {
        const QString spec = r.section('=', 1);
        const QByteArray bytes = shotBytes(spec.section('*', 0, 0).toLatin1())
                                 + QByteArray(spec.section('*', 1).toInt(), 'r') + r.section('=', 0, 0).toUtf8();
        rawBytes.insert(r.section('=', 0, 0), bytes);
        QVERIFY(put(rawDir + r.section('=', 0, 0), bytes));
        if (!r.startsWith('.') && !r.contains('/'))
            listed << r.section('=', 0, 0);
    }
    std::sort(listed.begin(), listed.end(),
              [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    QVERIFY(QDir().mkpath(target));
    for (const QString &p : present) {
        const QString bytes = p.section('=', 1);
        const QString path = target + "/" + p.section('=', 0, 0);
        if (bytes.startsWith('~')) {
            QByteArray other = rawBytes[bytes.mid(1)];
            other[other.size() - 1] = char(other.at(other.size() - 1) ^ 1);
            QVERIFY(put(path, other));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite)
                    && file.setFileTime(QFileInfo(rawDir + bytes.mid(1)).lastModified(), QFileDevice::FileModificationTime));
            continue;
        }
        QVERIFY(put(path, bytes.startsWith('@') ? rawBytes[bytes.mid(1)] : bytes.toUtf8()));
    }
    const QStringList words = fault.split(' ', Qt::SkipEmptyParts);
    auto arm = [&] {
        for (const QString &word : words) {
            if (word.startsWith("copy:"))
                Platform::failCopies(word.mid(5), 1);
            else if (word.startsWith("flush:"))
                Platform::failFlushes(word.mid(6));
            else if (word.startsWith("room:"))
                Platform::failLastWrites(word.mid(5), 1);
        }
    };
    auto limit = [&](const QString &key) { // bytes per file; -1: no limit
        for (const QString &word : words) {
            if (word == key || word.startsWith(key + ':'))
                return word.section(':', 1).toLongLong();
        }
        return -1LL;
    };
    const bool other = words.contains("other");
    if (!other)
        arm();

    Receiver receiver;
    CR2DownloadRunnable job(&receiver, source, target, pairs);
    QString text;
    for (int run = 1; run < runs; ++run) {
        std::unique_ptr<testsupport::FileSizeLimit> fullDisk;
        if (run == 1 && limit("full-first") >= 0)
            fullDisk.reset(new testsupport::FileSizeLimit(limit("full-first")));
        job.downLoad(source, target, text);
    }
    std::unique_ptr<testsupport::FileSizeLimit> fullDisk;
    if (limit("full") >= 0) {
        Platform::clearFaults();
        fullDisk.reset(new testsupport::FileSizeLimit(limit("full")));
        QVERIFY(fullDisk->active());
    }
    if (other) {
        bool otherDone = false;
        QCOMPARE(downloadBesideAnother(job, source, target, pairs, listed.last(), arm, &text, &otherDone), ok);
        QVERIFY(otherDone);
    } else {
        QCOMPARE(job.downLoad(source, target, text), ok);
    }
    fullDisk.reset();
    QCOMPARE(namesIn(target), copied);
    QCOMPARE(namesIn(rawDir), rawsLeft);
    // The first line counts what was downloaded and what not; "下载完毕！" only when nothing was missed.
    const QString done = counts.section('/', 0, 0);
    const QString missed = counts.section('/', 1);
    const QString where = "，保存在：" + target + "/";
    QCOMPARE(text.section("\n\n", 0, 0), missed == "0" ? "下载完毕！共下载" + done + "个文件" + where
                                                        : "已下载" + done + "个文件，" + missed + "个文件未下载（见下）" + where);
    if (message.isEmpty())
        QCOMPARE(text.section("\n\n", 1), QString());
    else
        QVERIFY2(text.section("\n\n", 1).contains(QString(message).replace("%1", rawDir.chopped(1))), qPrintable(text));
    // Every raw still exists somewhere, whole.
    int found = 0;
    for (auto it = rawBytes.cbegin(); it != rawBytes.cend(); ++it) {
        for (const QString &folder : {rawDir, target + QStringLiteral("/")}) {
            for (const QString &name : namesIn(folder) + QStringList{"sub/IMG_4.CR2"}) {
                if (bytesOf(folder + name) == it.value()) {
                    ++found;
                    goto next;
                }
            }
        }
    next:;
    }
    QCOMPARE(found, rawBytes.size());
}

void TestRawDownload::sampleOrders()
{
    // Order A has a shot-time list and a raw no photo was shot with; order B is matched by its photos.
    QTemporaryDir dir;
    const standin::SampleStudio studio(dir.path());
    QString error;
    QVERIFY2(studio.writeTree(&error), qPrintable(error));
    for (int i : {0, 1}) {
        const standin::SampleOrder &o = studio.orders.at(i);
        QCOMPARE(QFileInfo::exists(o.orderPath + "ImageTime.txt"), o.shotTimeList);
        const QString out = dir.path() + QStringLiteral("/out%1").arg(i);
        CR2DownloadRunnable job(nullptr, o.orderPath + "照片/", out,
                                ShotTimeList::readText(o.orderPath + ShotTimeList::fileName()));
        QCOMPARE(job.pairs().size(), o.shotTimeList ? o.originals.size() : 0);
        // Each raw finds the photo it was shot with (by the list or by the photos); the stray one none.
        for (const QString &raw : o.rawFiles + QStringList{o.strayRaw}) {
            if (raw.isEmpty())
                continue;
            const QString name = job.findPicNameByShotTime(o.orderPath + "照片/", o.orderPath + "照片/新建文件夹/" + raw, "-");
            QCOMPARE(name, raw == o.strayRaw ? QStringLiteral("-") : QFileInfo(raw).completeBaseName());
        }
        QString text;
        QVERIFY2(job.downLoad(o.orderPath + "照片/", out, text), qPrintable(text));
        QStringList expected = o.rawFiles;
        if (!o.strayRaw.isEmpty())
            expected << o.strayRaw;
        expected.sort();
        QCOMPARE(namesIn(out), expected);
        QVERIFY(!QFileInfo::exists(o.orderPath + "照片/新建文件夹"));
    }
}

void TestRawDownload::progressCountsDots()
{
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/照片/");
    QVERIFY(put(source + QStringLiteral("新建文件夹/A.CR2"), shotBytes(kT1)));
    QVERIFY(put(source + QStringLiteral("新建文件夹/B.CR2"), shotBytes(kT2)));
    Receiver receiver;
    QThreadPool pool;
    pool.start(new CR2DownloadRunnable(&receiver, source, dir.path() + QStringLiteral("/out/"), QString()));
    QVERIFY(testsupport::waitFor([&] { return receiver.finishes == 1; }));
    QCOMPARE(receiver.steps, (QList<QPair<int, int>>{{4, 3}, {4, 4}}));
    QVERIFY(receiver.ok);
}

void TestRawDownload::startFailures_data()
{
    QTest::addColumn<bool>("withSource");
    QTest::addColumn<QString>("target"); // relative to the temporary folder
    QTest::addColumn<QString>("message"); // "%1" = the target folder with its separator
    QTest::newRow("source missing") << false << "out" << "毛底目录为空";
    // the folder not made is named with the reason in words
    QTest::newRow("target parent missing") << true << "no/such/out" << "创建本地目录失败，目录为：%1（文件或文件夹不存在）";
    QTest::newRow("target on a read-only disk") << true << "ro/out" << "创建本地目录失败，目录为：%1（磁盘只读或有写保护）";
}

void TestRawDownload::startFailures()
{
    QFETCH(bool, withSource);
    QFETCH(QString, target);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/照片");
    if (withSource)
        QVERIFY(put(source + QStringLiteral("/P-001.jpg"), shotBytes(kT1)));
    const QString out = dir.path() + QLatin1Char('/') + target;
    const bool onReadOnly = target.startsWith("ro/");
    const testsupport::Mounted readOnly(onReadOnly ? dir.path() + "/ro" : QString(), testsupport::Mounted::ReadOnly);
    if (onReadOnly && !readOnly.active())
        QSKIP("no mounts here (a mount needs root and a system that allows it)");
    CR2DownloadRunnable job(nullptr, source, out, QString());
    QString text;
    QVERIFY(!job.downLoad(source, out, text));
    QCOMPARE(text, message.arg(out + QLatin1Char('/')));
}

void TestRawDownload::receiverGoneGetsNothing()
{
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/照片/");
    QVERIFY(put(source + QStringLiteral("P-001.jpg"), shotBytes(kT1)));
    auto *receiver = new Receiver;
    QThreadPool pool;
    pool.start(new CR2DownloadRunnable(receiver, source, dir.path() + QStringLiteral("/out/"), QString()));
    pool.waitForDone();
    delete receiver; // the job's calls are still queued
    QCoreApplication::sendPostedEvents();
    QVERIFY(QFile::exists(dir.path() + QStringLiteral("/out/P-001.jpg")));
}

void TestRawDownload::window_data()
{
    QTest::addColumn<bool>("withSource");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("head"); // the box's first line
    QTest::addColumn<qint64>("room");  // bytes a file may take on the disk; -1: no limit
    QTest::addColumn<QString>("line"); // a part of the lines below the first
    QTest::addColumn<QByteArray>("list"); // the order's shot-time list
    QTest::addColumn<QStringList>("copied");
    QTest::newRow("success") << true << "提示" << "下载完毕！共下载1个文件，保存在：%1/" << qint64(-1) << ""
                             << QByteArray() << QStringList{"IMG_1.CR2"};
    QTest::newRow("failure") << false << "警告" << "毛底目录为空" << qint64(-1) << "" << QByteArray() << QStringList{};
    QTest::newRow("a full disk says why") << true << "警告" << "已下载0个文件，1个文件未下载（见下），保存在：%1/"
                                          << qint64(0) << "IMG_1.CR2（磁盘空间不足" << QByteArray() << QStringList{};
    // The photo is no longer in the order: only the list names its raw, also beside an entry another desk
    // wrote in its own code page.
    const QByteArray otherCodePage = QTextCodec::codecForName("GBK")->fromUnicode(QStringLiteral("照片-009>19:05:12 23:59:59|"));
    QTest::newRow("a list with an entry in another code page still names the raw")
        << true << "提示" << "下载完毕！共下载1个文件，保存在：%1/" << qint64(-1) << ""
        << otherCodePage + "P-001>" + kT1.mid(2) + "|" << QStringList{"P-001.CR2"};
}

void TestRawDownload::window()
{
    QFETCH(bool, withSource);
    QFETCH(QString, title);
    QFETCH(QString, head);
    QFETCH(qint64, room);
    QFETCH(QString, line);
    QFETCH(QByteArray, list);
    QFETCH(QStringList, copied);
    QTemporaryDir dir;
    const QString order = dir.path() + QStringLiteral("/order/");
    if (withSource)
        QVERIFY(put(order + QStringLiteral("照片/新建文件夹/IMG_1.CR2"), shotBytes(kT1)));
    if (!list.isEmpty())
        QVERIFY(put(order + QStringLiteral("ImageTime.txt"), list));

    CR2DownLoadWindow w;
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("正在下载照片..."));
    QCOMPARE(w.progressBar()->maximum(), 0); // busy until the first step
    QVERIFY(!(w.windowFlags() & Qt::WindowCloseButtonHint));
    QMetaObject::invokeMethod(&w, "onDownloadProcess", Q_ARG(int, 3), Q_ARG(int, 7));
    QCOMPARE(w.progressBar()->value(), 3);

    std::unique_ptr<testsupport::FileSizeLimit> fullDisk(room >= 0 ? new testsupport::FileSizeLimit(room) : nullptr);
    QVERIFY(w.startDownload(order + QStringLiteral("ImageTime.txt"), order + QStringLiteral("照片/"),
                            dir.path() + QStringLiteral("/out")));
    QVERIFY(!w.startDownload(order + QStringLiteral("ImageTime.txt"), order + QStringLiteral("照片/"),
                             dir.path() + QStringLiteral("/out2")));
    QVERIFY(!w.close()); // not while the download runs
    QVERIFY(w.isVisible());
    QVERIFY(testsupport::waitFor([&] { return !w.isVisible(); }));
    fullDisk.reset();
    QCOMPARE(MsgBox::shown().size(), 1);
    QCOMPARE(MsgBox::lastShown().title, title);
    QCOMPARE(MsgBox::lastShown().text.section('\n', 0, 0), head.arg(dir.path() + QStringLiteral("/out")));
    QVERIFY2(MsgBox::lastShown().text.section('\n', 1).contains(line), qPrintable(MsgBox::lastShown().text));
    QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/out2")));
    QCOMPARE(QDir(dir.path() + QStringLiteral("/out")).entryList(QDir::Files), copied);
}

TESSALY_TEST_MAIN(TestRawDownload)
#include "tst_rawdownload.moc"
