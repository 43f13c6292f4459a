#include "orderrecords.h"
#include "samplestudio.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonObject parse(const char *json)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(json), &err);
    if (err.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s", qPrintable(err.errorString()));
    return doc.object();
}

// One element of an order-list reply as the web service sends it.
const char *kOrder = R"({
    "order_photo_id": "88123", "servicetimes": "2", "bname": "小宝", "wname": "李梅", "mname": "王强",
    "mphone": "13800000001", "wphone": "13900000002", "phototype": "儿童照", "comboname": "金装套系",
    "order_price": "3999.00", "role1": "张摄", "role2": "陈妆", "shotdate": "2024-03-02",
    "photodate2": "2024-03-09", "orderpayforkey": "A1203", "orderpath": "\\\\nas\\photos\\2024\\A1203-2\\",
    "pickuptime": "2024-04-01", "twosales": "500", "selectphotoname": "赵选", "role10": "刘设",
    "isurgenttime": "", "pickuptype": "1", "orderbaseprice": "3599", "tiaosename": "周调",
    "tiaoxiname": "吴修", "storesname": "一号店", "gotodigitaltime": "2024-03-10",
    "dovrapath": "X:\\sel\\选版服务器\\2024\\A17",
    "picpathnew": {"bakpicpath": "\\\\bak\\photos\\", "homepicpath": "\\\\home\\p\\", "picpath": "\\\\nas\\photos\\",
                   "dovrapath": "X:\\sel"}
})";

} // namespace

class TestOrderRecords : public QObject
{
    Q_OBJECT
private slots:
    void rowFromRealisticOrder()
    {
        const OrderRowInfo r = OrderRowInfo::fromJson(parse(kOrder));
        QCOMPARE(r.order_photo_id, QString("88123"));
        QCOMPARE(r.customerName, QString("小宝-李梅-王强"));
        QCOMPARE(r.customerPhone, QString("13800000001/13900000002"));
        QCOMPARE(r.orderpath, QString("\\\\nas\\photos\\2024\\A1203-2\\")); // kept as the service wrote it
        QCOMPARE(r.pickupTypeText, QString("快递"));
        QCOMPARE(r.role10, QString("刘设"));
        QCOMPARE(r.gotodigitaltime, QString("2024-03-10"));
        QCOMPARE(r.picpath, QString("\\\\nas\\photos\\"));
        QCOMPARE(r.bakpicpath, QString("\\\\bak\\photos\\"));
        QCOMPARE(r.homepicpath, QString("\\\\home\\p\\"));
        QCOMPARE(r.storesname, QString("一号店"));
        QCOMPARE(r.tiaoxiname, QString("吴修"));
        // only the Dovra export fills the photo-selection folders
        QVERIFY(r.dovrapath.isEmpty());
        QVERIFY(r.dovraBase.isEmpty());
        QVERIFY(r.dovraRelPath.isEmpty());
        QVERIFY(r.dovraSelectedPath.isEmpty());

        // the batch deletion list shows no go-to-digital date
        const OrderRowInfo d = OrderRowInfo::fromJson(parse(kOrder), OrderRowSource::BatchDelete);
        QVERIFY(d.gotodigitaltime.isEmpty());
        QCOMPARE(d.orderpath, r.orderpath);
    }

    void rowsFromSampleStudio()
    {
        const QTemporaryDir nowhere; // a studio of the test's own, never written: nothing another run left counts
        const standin::SampleStudio studio(nowhere.path() + "/studio");
        QJsonArray data;
        for (const standin::SampleOrder &o : studio.orders)
            data.append(studio.orderJson(o));
        const QList<OrderRowInfo> rows = OrderRowInfo::listFromJson(data, OrderRowSource::DovraExport);
        QCOMPARE(rows.size(), studio.orders.size());
        for (int i = 0; i < rows.size(); ++i) {
            const standin::SampleOrder &o = studio.orders.at(i);
            const OrderRowInfo &r = rows.at(i);
            QCOMPARE(r.order_photo_id, o.id);
            QVERIFY(r.role10.isEmpty()); // the studio sends "0" for no designer
            QCOMPARE(r.pickupTypeText, QString(o.id == "5002" ? "快递" : "自取"));
            QCOMPARE(r.dovraBase, studio.dovraRoot + "星光店\\选版服务器\\");
            QCOMPARE(r.dovraRelPath, o.dovraRel);
            QCOMPARE(r.dovraSelectedPath, o.dovraRel.isEmpty() ? QString() : r.dovraBase + "[已选]" + o.dovraRel);
        }
    }

    void rowDerivedTexts_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("customerName");
        QTest::addColumn<QString>("customerPhone");
        QTest::addColumn<QString>("pickup");
        QTest::addColumn<QString>("role10");

        QTest::newRow("only wife and husband") << R"({"wname":"W","mname":"M","wphone":"2","pickuptype":"2"})"
                                               << "W-M" << "2" << "部分" << "";
        QTest::newRow("only baby") << R"({"bname":"B","mphone":"1","role10":"0"})" << "B" << "1" << "自取" << "";
        QTest::newRow("baby and husband") << R"({"bname":"B","mname":"M","pickuptype":"0","role10":"00"})"
                                          << "B-M" << "" << "自取" << "00";
        QTest::newRow("nothing") << "{}" << "" << "" << "自取" << "";
        // numbers, nulls, booleans and objects read as empty texts, never as their printed value
        QTest::newRow("wrong types") << R"({"bname":7,"wname":null,"mname":"M","mphone":13800000001,)"
                                        R"("wphone":true,"pickuptype":1,"role10":0})"
                                     << "M" << "" << "自取" << "";
        QTest::newRow("pickup text is exact") << R"({"pickuptype":"1 "})" << "" << "" << "自取" << "";
    }
    void rowDerivedTexts()
    {
        QFETCH(QString, json);
        const OrderRowInfo r = OrderRowInfo::fromJson(QJsonDocument::fromJson(json.toUtf8()).object());
        QTEST(r.customerName, "customerName");
        QTEST(r.customerPhone, "customerPhone");
        QTEST(r.pickupTypeText, "pickup");
        QTEST(r.role10, "role10");
    }

    void rowFromBrokenElements()
    {
        // "picpathnew" missing, not an object, or lacking keys: empty roots
        for (const char *json : {R"({"orderpath":"P"})", R"({"picpathnew":"\\\\nas\\"})", R"({"picpathnew":null})",
                                 R"({"picpathnew":{"picpath":5}})"}) {
            const OrderRowInfo r = OrderRowInfo::fromJson(parse(json));
            QVERIFY2(r.picpath.isEmpty() && r.bakpicpath.isEmpty() && r.homepicpath.isEmpty(), json);
        }
        // an element of "data" that is not an object still gives a row, and the list keeps array order
        const QJsonArray data = QJsonDocument::fromJson(R"([{"orderpayforkey":"A"}, 17, null, "x",
                                                        {"orderpayforkey":"B","order_photo_id":3}])")
                                    .array();
        const QList<OrderRowInfo> rows = OrderRowInfo::listFromJson(data);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows.at(0).orderpayforkey, QString("A"));
        QCOMPARE(rows.at(4).orderpayforkey, QString("B"));
        QVERIFY(rows.at(4).order_photo_id.isEmpty());
        for (int i = 1; i <= 3; ++i) {
            QVERIFY(rows.at(i).orderpayforkey.isEmpty());
            QVERIFY(rows.at(i).orderpath.isEmpty());
            QCOMPARE(rows.at(i).pickupTypeText, QString("自取"));
        }
        // the Dovra reader still gives its base folder for a broken element
        const QList<OrderRowInfo> dovra = OrderRowInfo::listFromJson(QJsonArray{17}, OrderRowSource::DovraExport);
        QCOMPARE(dovra.at(0).dovraBase, QString("\\选版服务器\\"));
        QVERIFY(dovra.at(0).dovraSelectedPath.isEmpty());
    }

    void rowDovraFolders()
    {
        const OrderRowInfo r = OrderRowInfo::fromJson(parse(kOrder), OrderRowSource::DovraExport);
        QCOMPARE(r.dovraBase, QString("X:\\sel\\选版服务器\\"));
        QCOMPARE(r.dovrapath, QString("X:\\sel\\选版服务器\\2024\\A17"));
        QCOMPARE(r.dovraRelPath, QString("2024\\A17"));
        QCOMPARE(r.dovraSelectedPath, QString("X:\\sel\\选版服务器\\[已选]2024\\A17"));

        // no order folder in Dovra: neither derived folder is made
        const OrderRowInfo none = OrderRowInfo::fromJson(
            parse(R"({"dovrapath":"","picpathnew":{"dovrapath":"Y:"}})"), OrderRowSource::DovraExport);
        QCOMPARE(none.dovraBase, QString("Y:\\选版服务器\\"));
        QVERIFY(none.dovraRelPath.isEmpty());
        QVERIFY(none.dovraSelectedPath.isEmpty());

        // an order folder outside the base keeps its whole text as the relative part
        const OrderRowInfo other = OrderRowInfo::fromJson(
            parse(R"({"dovrapath":"Z:\\other\\A1","picpathnew":{"dovrapath":"Y:"}})"), OrderRowSource::DovraExport);
        QCOMPARE(other.dovraRelPath, QString("Z:\\other\\A1"));
        QCOMPARE(other.dovraSelectedPath, QString("Y:\\选版服务器\\[已选]Z:\\other\\A1"));
    }

    void goodsFromProductObject()
    {
        OrderGoodsInfo g;
        g.setFromJson(parse(R"({
            "type": "1", "goodid": "301", "number": "2", "goodname": "水晶*相册", "goodsizename": "12寸",
            "goodtype": "相册", "costing": "80", "weight": "1.2", "servicetime": "2", "id": "9001",
            "descr": "加厚", "picpath": "a.jpg||b.jpg", "isurgent": "1", "goodpnumber": "30", "p_num": "15",
            "source_remarks": "s", "stock": "3", "goodamount": 3, "goodpagenumber": "20", "goodtypeid": "7",
            "factoryname": "华印", "factorykeyx": "HY", "goodremark": "gr", "auth_remark": "ar", "remarks": "r",
            "isems": "1", "isexist": "1", "parentid": "0",
            "orderaddress": {"id": "55", "province": "浙江", "provinceid": "33", "city": "杭州", "cityid": "3301",
                             "county": "西湖", "countyid": "330106", "address": "文三路1号", "name": "李梅",
                             "phone": "13900000002", "postcode": 310000}
        })"));
        QCOMPARE(g.goodname, QString("水晶*相册")); // kept as it comes
        QCOMPARE(g.goodtypename, QString("相册"));  // falls back to "goodtype"
        QCOMPARE(g.photoNames, QStringList({"a.jpg", "", "b.jpg"}));
        QVERIFY(g.goodamount.isEmpty()); // a number is no text
        QCOMPARE(g.expressFactoryname, QString("华印"));
        QVERIFY(g.factoryname.isEmpty() && g.folderName.isEmpty() && g.expressText.isEmpty());
        QVERIFY(g.isems);
        QVERIFY(g.isexist);
        QVERIFY(!g.isSonGood);
        QCOMPARE(g.addressId, QString("55"));
        QCOMPARE(g.address, QString("文三路1号"));
        QCOMPARE(g.name, QString("李梅"));
        QVERIFY(g.postcode.isEmpty());
        QCOMPARE(g.remarks, QString("r"));
        QCOMPARE(g.number, QString("2"));

        // "goodtypename" wins over "goodtype"; no picpath leaves the names as they were
        OrderGoodsInfo h;
        h.photoNames = QStringList{"keep.jpg"};
        h.parentGoodName = "父产品";
        h.setFromJson(parse(R"({"goodtypename":"摆台","goodtype":"相册","picpath":"","parentid":"9001",
                                "isems":"true","isexist":1,"orderaddress":"none"})"));
        QCOMPARE(h.goodtypename, QString("摆台"));
        QCOMPARE(h.photoNames, QStringList{"keep.jpg"});
        QCOMPARE(h.parentGoodName, QString("父产品"));
        QVERIFY(h.isSonGood);
        QVERIFY(!h.isems);
        QVERIFY(!h.isexist);
        QVERIFY(h.addressId.isEmpty() && h.province.isEmpty());

        // isems and the sub-product flag compare exactly
        for (const char *json : {R"({"isems":"0","parentid":""})", R"({"isems":1})", R"({"isems":"","parentid":null})"}) {
            OrderGoodsInfo x;
            x.setFromJson(parse(json));
            QVERIFY2(!x.isems && !x.isSonGood, json);
        }
    }

    void separationReport()
    {
        SeparateMessageInfo a;
        a.orderNumber = "A1";
        QVERIFY(a.addNotExistPhoto("相册:1.JPG"));
        QVERIFY(!a.addNotExistPhoto("相册:1.JPG")); // no entry twice
        QVERIFY(!a.addNotExistPhoto(""));
        QVERIFY(!a.addNotExistPhoto(":"));
        QVERIFY(a.addNotExistPhoto("摆台:2.JPG"));
        QCOMPARE(a.notExistPhotos.size(), 2);

        SeparateMessageInfo nothing;
        nothing.orderNumber = "A2";
        SeparateMessageInfo empties;
        empties.orderNumber = "A3";
        empties.emptyProducts << "台历" << "水晶";
        SeparateMessageInfo both = a;
        both.orderNumber = "A4";
        both.emptyProducts << "台历";

        QCOMPARE(separateReportText({a, nothing, empties, both}),
                 QString("订单A1:\n不存在的照片:相册:1.JPG、摆台:2.JPG\n\n"
                         "订单A3:\n空产品:台历、水晶\n\n"
                         "订单A4:\n不存在的照片:相册:1.JPG、摆台:2.JPG\n空产品:台历\n\n"));
        // an order's later entries (its copies, an early end) join its one block
        SeparateMessageInfo aLater;
        aLater.orderNumber = "A1";
        aLater.notes << "分件未完成";
        aLater.addNotExistPhoto("相册:1.JPG");
        aLater.addNotExistPhoto("相册:3.JPG");
        aLater.failures << "x.jpg";
        QCOMPARE(separateReportText({a, empties, aLater}),
                 QString("订单A1:\n分件未完成\n不存在的照片:相册:1.JPG、摆台:2.JPG、相册:3.JPG\n复制失败:x.jpg\n\n"
                         "订单A3:\n空产品:台历、水晶\n\n"));
        QVERIFY(separateReportText({nothing}).isEmpty());
        QVERIFY(separateReportText({}).isEmpty());
    }

    void reportName_data()
    {
        QTest::addColumn<QStringList>("numbers"); // of the report's entries, in order
        QTest::addColumn<QString>("name");
        QTest::newRow("two entries an order") << QStringList{"1001", "1001", "1002", "1002"}
                                              << "1001、1001、1002、1002分件结果.txt";
        QTest::newRow("an order without a folder: three entries")
            << QStringList{"E5520", "E5520", "E5520"} << "E5520、E5520分件结果.txt";
        QTest::newRow("unsafe numbers") << QStringList{"A/1:?", "B<2>"} << "A1、A1、B2、B2分件结果.txt";
        QStringList thirty;
        for (int i = 1; i <= 30; ++i)
            thirty << QString("B%1").arg(2200 + i) << QString("B%1").arg(2200 + i);
        QTest::newRow("30 orders") << thirty
                                   << thirty.mid(0, 28).join("、") + "等30个订单分件结果.txt"; // 14 orders fit
    }
    void reportName()
    {
        QFETCH(QStringList, numbers);
        QFETCH(QString, name);
        QList<SeparateMessageInfo> entries;
        for (const QString &n : numbers) {
            entries << SeparateMessageInfo();
            entries.last().orderNumber = n;
        }
        const QString made = separateReportName(entries);
        QCOMPARE(made, name);
        QVERIFY(made.toUtf8().size() <= 255);
    }
};

TESSALY_TEST_MAIN(TestOrderRecords)
#include "tst_orderrecords.moc"
