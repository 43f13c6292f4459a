#include "fileoperation.h"
#include "importordermodel.h"
#include "samplestudio.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <memory>
#include <time.h>

namespace {

std::unique_ptr<ImportOrderModel> modelFrom(const QString &json)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &err);
    if (err.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s", qPrintable(err.errorString()));
    return std::make_unique<ImportOrderModel>(doc.object());
}

} // namespace

class TestImportOrderModel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // a fixed zone at UTC+8 without summer time, independent of the machine
        qputenv("TZ", "CST-8");
        tzset();
    }

    void realisticOrder()
    {
        const auto m = modelFrom(R"({
            "order_photo_id": "88123", "orderpayforkey": "A1203", "storesname": "一号店", "phototype": "儿童照",
            "servicetimes": "2", "bname": "小宝", "wname": "李梅", "mname": "王强", "momtel": "139", "dadtel": "138",
            "comboname": "金装套系", "comboprice": "3999", "order_price": "3999.00", "orderbaseprice": "3599",
            "booktime": "1700000000", "gotodigitaltime": "2024-03-10", "shotdate": "2024-03-02",
            "sampledate": "2016-05-12", "getphotodate": "2024-04-01", "role1": "张摄", "role2": "陈妆",
            "yindouer": "钱逗", "tiaosename": "周调", "tiaoxiname": "吴修",
            "orderpath": "\\\\nas\\photos\\A1203-2\\", "orderbakpicpath": "\\\\bak\\A1203-2\\",
            "dovrapath": "X:\\sel\\选版服务器\\A17",
            "picpathnew": {"bakpicpath": "\\\\bak\\", "homepicpath": "\\\\home\\", "picpath": "\\\\nas\\photos\\",
                           "dovrapath": "X:\\sel"}
        })");
        QCOMPARE(m->orderPhotoId(), QString("88123"));
        QCOMPARE(m->orderKey(), QString("A1203-2"));
        QCOMPARE(m->finishedOrderPrefix(), QString("A1203-2"));
        QVERIFY(m->originOrderPrefix().isEmpty() && m->designOrderPrefix().isEmpty());
        QCOMPARE(m->customerNames(), QString("小宝-李梅-王强"));
        QCOMPARE(m->bookTime(), QString("2023-11-15 06:13:20")); // 22:13:20 UTC
        QCOMPARE(m->gotoDigitalTime2(), QString("2024-03-10"));
        QCOMPARE(m->yinDouEr(), QString("钱逗"));
        QCOMPARE(m->orderPath(), QString("\\\\nas\\photos\\A1203-2\\"));
        QCOMPARE(m->orderBakPath(), QString("\\\\bak\\A1203-2\\"));
        QCOMPARE(m->picPath(), QString("\\\\nas\\photos\\"));
        QCOMPARE(m->bakPicPath(), QString("\\\\bak\\"));
        QCOMPARE(m->homePicPath(), QString("\\\\home\\"));
        QCOMPARE(m->dovraServerPath(), QString("X:\\sel\\选版服务器"));
        QCOMPARE(m->dovraPath(), QString("X:\\sel\\选版服务器\\A17"));
        QCOMPARE(m->bookStore(), QString("一号店"));
        for (const QString &s : {m->originFolderSuffix(), m->finishedFolderSuffix(), m->designFolderSuffix()})
            QCOMPARE(s, QString("小宝-李梅-王强-张摄-陈妆"));
    }

    void sampleStudioOrders()
    {
        // the record agrees with the folders the sample studio's storage holds
        const QTemporaryDir nowhere; // a studio of the test's own, never written: nothing another run left counts
        const standin::SampleStudio studio(nowhere.path() + "/studio");
        QVERIFY(!studio.orders.isEmpty());
        for (const standin::SampleOrder &o : studio.orders) {
            ImportOrderModel m(studio.orderJson(o));
            QCOMPARE(m.orderKey(), o.key());
            const QString suffix = m.finishedFolderSuffix();
            QCOMPARE(normalizeFileName(m.orderKey()) + (suffix.isEmpty() ? QString() : "-" + suffix), o.folderName());
        }
    }

    void namesAndSuffix_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("names");
        QTest::addColumn<QString>("suffix");

        QTest::newRow("all") << R"({"bname":"B","wname":"W","mname":"M","role1":"R1","role2":"R2"})"
                             << "B-W-M" << "B-W-M-R1-R2";
        QTest::newRow("baby only") << R"({"bname":"B"})" << "B" << "B";
        QTest::newRow("baby and man") << R"({"bname":"B","mname":"M"})" << "B-M" << "B-M";
        QTest::newRow("man only") << R"({"mname":"M"})" << "M" << "M";
        QTest::newRow("woman and man") << R"({"wname":"W","mname":"M"})" << "W-M" << "W-M";
        QTest::newRow("role without names") << R"({"role1":"R1"})" << "" << "-R1";
        QTest::newRow("second role only") << R"({"bname":"B","role2":"R2"})" << "B" << "B-R2";
        QTest::newRow("nothing") << "{}" << "" << "";
        QTest::newRow("slash and trailing dot") << R"({"bname":"B/W","role1":"R."})" << "B/W" << "BW-R";
        QTest::newRow("white space trimmed") << R"({"bname":" B ","role2":"R2 "})" << " B " << "B -R2";
        // web text never adds a path level to the order folder's name
        QTest::newRow("climbing names") << R"({"bname":"..","wname":"..\\..\\x","role1":"a/../b"})"
                                        << "..-..\\..\\x" << "..-....x-a..b";
        QTest::newRow("only dots") << R"({"bname":".."})" << ".." << "";
        QTest::newRow("forbidden characters") << "{\"bname\":\"<a>:\\\"b\\\"|c?*\\u0001\"}" << "<a>:\"b\"|c?*\x01"
                                              << "abc";
        QTest::newRow("numbers and nulls") << R"({"bname":1,"wname":null,"mname":"M","role1":true,"role2":{}})"
                                           << "M" << "M";
    }
    void namesAndSuffix()
    {
        QFETCH(QString, json);
        const auto m = modelFrom(json);
        QTEST(m->customerNames(), "names");
        QTEST(m->originFolderSuffix(), "suffix");
        QTEST(m->finishedFolderSuffix(), "suffix");
        QTEST(m->designFolderSuffix(), "suffix");
        QVERIFY(!m->finishedFolderSuffix().contains('/') && !m->finishedFolderSuffix().contains('\\'));
    }

    void bookTimeAndDefaults_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("bookTime");
        QTest::addColumn<QString>("sampleDate");

        QTest::newRow("missing") << "{}" << "1970-01-01 08:00:00" << "1970-01-01";
        QTest::newRow("not a number") << R"({"booktime":"abc","sampledate":null})" << "1970-01-01 08:00:00"
                                      << "1970-01-01";
        QTest::newRow("json number") << R"({"booktime":86400,"sampledate":20160512})" << "1970-01-01 08:00:00"
                                     << "1970-01-01";
        QTest::newRow("negative") << R"({"booktime":"-5","sampledate":""})" << "1970-01-01 08:00:00"
                                  << "1970-01-01";
        QTest::newRow("one day") << R"({"booktime":"86400","sampledate":"2016-05-12"})" << "1970-01-02 08:00:00"
                                 << "2016-05-12";
        QTest::newRow("last unsigned second") << R"({"booktime":"4294967295"})" << "2106-02-07 14:28:15"
                                              << "1970-01-01";
        QTest::newRow("beyond 32 bits") << R"({"booktime":"4294967296"})" << "1970-01-01 08:00:00"
                                        << "1970-01-01";
    }
    void bookTimeAndDefaults()
    {
        QFETCH(QString, json);
        const auto m = modelFrom(json);
        QTEST(m->bookTime(), "bookTime");
        QTEST(m->sampleDate(), "sampleDate");
    }

    void storageRootsAndWrongTypes()
    {
        // "picpathnew" missing or not an object: empty roots, the Dovra folder still named
        for (const char *json : {"{}", R"({"picpathnew":"\\\\nas\\"})", R"({"picpathnew":[1]})",
                                 R"({"picpathnew":{"picpath":7,"bakpicpath":null}})"}) {
            const auto m = modelFrom(json);
            QVERIFY2(m->picPath().isEmpty() && m->bakPicPath().isEmpty() && m->homePicPath().isEmpty(), json);
            QCOMPARE(m->dovraServerPath(), QString("\\选版服务器"));
        }
        // an order whose every value is a number or null still builds, with empty texts
        const auto m = modelFrom(R"({"order_photo_id":88123,"orderpayforkey":null,"servicetimes":2,
                                     "orderpath":5,"dovrapath":false,"comboname":["x"],"storesname":{}})");
        QVERIFY(m->orderPhotoId().isEmpty());
        QVERIFY(m->orderPath().isEmpty());
        QVERIFY(m->dovraPath().isEmpty());
        QVERIFY(m->comboName().isEmpty() && m->storesName().isEmpty());
        QCOMPARE(m->orderKey(), QString("-"));
        QCOMPARE(m->finishedOrderPrefix(), QString("-"));
    }

    void orderKeyKeepsValuesWhole()
    {
        // a "%" inside a value is not a placeholder
        QCOMPARE(modelFrom(R"({"orderpayforkey":"A%2B","servicetimes":"%1"})")->orderKey(), QString("A%2B-%1"));
        QCOMPARE(modelFrom(R"({"orderpayforkey":"A1","servicetimes":""})")->orderKey(), QString("A1-"));
        QCOMPARE(modelFrom(R"({"orderpayforkey":"","servicetimes":"3"})")->orderKey(), QString("-3"));
    }

    void targetNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("suffix"); // stored as the photo suffix of every group
        QTest::addColumn<QString>("target");

        QTest::newRow("finished, no suffix") << "D:/in/IMG_0001.JPG" << 1 << "" << "IMG_0001.JPG";
        QTest::newRow("finished, suffix") << "D:/in/IMG_0001.JPG" << 1 << "A" << "IMG_0001-A.JPG";
        QTest::newRow("inner dots") << "/in/a.b.c.jpg" << 0 << "X" << "a.b.c-X.jpg";
        QTest::newRow("design") << "/in/p.png" << 2 << "设计" << "p-设计.png";
        QTest::newRow("leading dot dropped") << "/in/.x.jpg" << 1 << "" << "x.jpg";
        QTest::newRow("double inner dot") << "/in/a..b.jpg" << 1 << "S" << "a..b-S.jpg";
        QTest::newRow("trial video") << "/in/clip.mp4" << 3 << "A" << "clip.mp4";
        QTest::newRow("retouched video") << "/in/clip.final.MP4" << 4 << "A" << "clip.final.MP4";
        QTest::newRow("other type takes the base") << "/in/a.b.jpg" << 5 << "A" << "a.b";
        QTest::newRow("windows separators") << "D:\\in\\sub\\IMG_2.jpg" << 1 << "A" << "IMG_2-A.jpg";
        QTest::newRow("no extension") << "/in/README" << 1 << "A" << "README-A";
        QTest::newRow("no extension, no suffix") << "/in/README" << 0 << "" << "README";
        // a hostile suffix never adds a path level
        QTest::newRow("climbing suffix") << "/in/a.jpg" << 1 << "../../x" << "a-....x.jpg";
        QTest::newRow("back-slash suffix") << "/in/a.jpg" << 0 << "..\\..\\x" << "a-....x.jpg";
        QTest::newRow("suffix of dots only") << "/in/a.jpg" << 2 << ".." << "a.jpg";
        // names that are no file names give no target
        QTest::newRow("parent folder") << "/in/.." << 1 << "" << "";
        QTest::newRow("parent folder, video") << "/in/x/.." << 3 << "" << "";
        QTest::newRow("current folder") << "." << 4 << "" << "";
        QTest::newRow("dots only") << "/in/..." << 1 << "" << "";
        QTest::newRow("empty path") << "" << 1 << "A" << "";
    }
    void targetNames()
    {
        QFETCH(QString, path);
        QFETCH(int, type);
        QFETCH(QString, suffix);
        const auto m = modelFrom("{}");
        m->setOriginPhotoSuffix(suffix);
        m->setFinishedPhotoSuffix(suffix);
        m->setDesignPhotoSuffix(suffix);
        const QStringList targets = m->buildTargetNames({path}, type);
        QCOMPARE(targets.size(), 1);
        QTEST(targets.at(0), "target");
        QVERIFY(!targets.at(0).contains('/') && !targets.at(0).contains('\\'));
    }

    void targetNamesPerGroupAndOrder()
    {
        const auto m = modelFrom("{}");
        m->setOriginPhotoSuffix("O");
        m->setFinishedPhotoSuffix("F");
        m->setDesignPhotoSuffix("");
        const QStringList paths{"/in/3.jpg", "/in/1.jpg", "/in/2.JPG"};
        QCOMPARE(m->buildTargetNames(paths, 0), QStringList({"3-O.jpg", "1-O.jpg", "2-O.JPG"}));
        QCOMPARE(m->buildTargetNames(paths, 1), QStringList({"3-F.jpg", "1-F.jpg", "2-F.JPG"}));
        QCOMPARE(m->buildTargetNames(paths, 2), QStringList({"3.jpg", "1.jpg", "2.JPG"}));
        QVERIFY(m->buildTargetNames({}, 1).isEmpty());
        // a bad entry keeps its place, so names stay paired with their sources
        QCOMPARE(m->buildTargetNames({"/in/a.jpg", "/in/..", "/in/b.jpg"}, 1),
                 QStringList({"a-F.jpg", "", "b-F.jpg"}));
    }

    void perTypeStateIsKeptApart()
    {
        // each file type keeps its own files, counts and flag; the Dovra copy keeps only its flag
        const auto m = modelFrom(R"({"bname":"B"})");
        const ImportTypeEnum types[] = {ImportOriginPhotos, ImportFinishedPhotos, ImportDesigns,
                                        ImportTrialVideos,  ImportRetouchVideos,  ImportDovraCopy};
        auto file = [](ImportTypeEnum t) { return QStringList{QStringLiteral("/in/%1.jpg").arg(int(t))}; };
        for (const ImportTypeEnum t : types) {
            m->setChosenFiles(t, file(t));
            m->setFoundCount(t, quint16(10 + t));
            m->setImportedCount(t, quint16(20 + t));
            m->setImported(t, t % 2 == 1);
        }
        for (const ImportTypeEnum t : types) {
            const bool files = t != ImportDovraCopy;
            QCOMPARE(m->chosenFiles(t), files ? file(t) : QStringList());
            QCOMPARE(m->foundCount(t), quint16(files ? 10 + t : 0));
            QCOMPARE(m->importedCount(t), quint16(files ? 20 + t : 0));
            QCOMPARE(m->isImported(t), t % 2 == 1);
            QCOMPARE(m->folderSuffix(t), files ? QString("B") : QString());
        }
        // the named accessors show the same state
        QCOMPARE(m->originFiles() + m->designFiles() + m->retouchVideoFiles(),
                 file(ImportOriginPhotos) + file(ImportDesigns) + file(ImportRetouchVideos));
        QCOMPARE(m->retouchVideoFoundCount() + m->trialVideoImportedCount(), quint16(14 + 23));
        QVERIFY(m->isFinishedImported() && !m->isDesignImported() && m->isDovraImported());

        // one folder name serves the three photo groups; photo suffixes and prefixes are per group
        m->setDesignFolderSuffix("D");
        QVERIFY(m->originFolderSuffix() == "D" && m->finishedFolderSuffix() == "D");
        m->setOriginFolderSuffix("");
        QVERIFY(m->designFolderSuffix().isEmpty() && m->finishedFolderSuffix().isEmpty());
        m->setFinishedPhotoSuffix("F");
        m->setOriginOrderPrefix("P");
        QVERIFY(m->originPhotoSuffix().isEmpty() && m->designPhotoSuffix().isEmpty());
        QVERIFY(m->finishedOrderPrefix() != "P");
    }
};

TESSALY_TEST_MAIN(TestImportOrderModel)
#include "tst_importordermodel.moc"
