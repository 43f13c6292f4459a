#include "goodsplan.h"

#include <QJsonArray>
#include <QtTest>

namespace {

// A product object: the keys the plan reads, with a few defaults.
QJsonObject product(const QString &name, const QString &id, const QJsonObject &more = {})
{
    QJsonObject p{{"goodname", name}, {"id", id}, {"goodtypename", "相册"}, {"goodtypeid", "15"}, {"goodamount", "1"},
                  {"factoryname", "一厂"}, {"picpath", "a.jpg"}, {"isems", "1"}, {"isurgent", "0"},
                  {"ishomemade", "0"}, {"parentid", "0"}, {"getgooddate", "2024-05-09"}};
    for (auto it = more.begin(); it != more.end(); ++it)
        p.insert(it.key(), it.value());
    return p;
}

QJsonObject reply(const QJsonArray &goods0, const QJsonArray &goods2 = {}, const QString &idPrefix = "0")
{
    return QJsonObject{{"code", "1"},
                       {"shop_set", QJsonObject{{"fenjian_ishaveordergoodid", idPrefix}}},
                       {"order", QJsonObject{{"ordergoods0", goods0}, {"ordergoods2", goods2}}}};
}

// One plan entry as text: factory | product folder | sub-product folder | label | naming style | amount.
QString describe(const ProductFolderInfo &e)
{
    return QStringList{e.factoryFolder, e.productFolder, e.sonFolder, e.folderLabel, e.namingStyle, e.goodamount}
        .join(" | ");
}

const PickupOrder kOrder{"K1", "张三", "2024-05-20", "设计甲"};

} // namespace

class TestGoodsPlan : public QObject
{
    Q_OBJECT
private slots:
    void names_data()
    {
        QTest::addColumn<QString>("goodname");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("star") << "A*B" << "AxB";
        QTest::newRow("blanks at the ends") << " \t相册\u3000" << "相册";
        QTest::newRow("slash and colon") << "a/b:c" << "abc";
        QTest::newRow("blank pairs") << "a  b   c    d" << "ab cd";
        QTest::newRow("removal joins blanks") << "A / B" << "AB";
        QTest::newRow("question marks, quotes, brackets")
            << "a？b?c\"d'e“f”g‘h’i<j《k>l》m|n\\o" << "abcdefghijklmno";
        QTest::newRow("full-width colon stays") << "相册：大" << "相册：大";
#ifdef Q_OS_WIN
        // Windows drops a trailing dot or blank and takes no control character: "相册." is the folder "相册"
        QTest::newRow("blank left at the end goes") << "a /" << "a";
        QTest::newRow("trailing dots go") << "相册. ." << "相册";
        QTest::newRow("control characters go") << "相\t册\x01" "b" << "相册b";
#else
        QTest::newRow("blank left at the end stays") << "a /" << "a ";
        QTest::newRow("trailing dots stay") << "相册. ." << "相册. .";
        QTest::newRow("control characters stay") << "相\t册\x01" "b" << "相\t册\x01" "b";
#endif
        QTest::newRow("lone surrogates and NUL dropped")
            << QString("..") + QChar(0xDC00) + "/a" + QChar(0) + QChar(0xD800) << "..a";
    }
    void names()
    {
        QFETCH(QString, goodname);
        QFETCH(QString, cleaned);
        QCOMPARE(cleanGoodsName(goodname), cleaned);
    }

    void plan_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QString>("showSub");
        QTest::addColumn<QStringList>("goods");   // goodname / folderName of every record, then its sub-products
        QTest::addColumn<QStringList>("entries"); // describe() of every plan entry

        const QString plain = " K1 张三 2024-05-20取 设计甲 【快递】/";
        const QString pickup = " K1 张三 2024-05-20取 设计甲 【自取】/";
        const QString urgent = " K1 张三 2024-05-09急取 设计甲 【快递】/";

        QTest::newRow("one name in both arrays")
            << reply({product("N", "1"), product("N", "2")}, {product("N*", "3"), product("Nx", "4")}) << "0"
            << QStringList{"N/N", "N/N(1)", "Nx/Nx", "Nx/Nx(1)"}
            << QStringList{"一厂" + plain + " | N 相册 1/ |  |  | 0 | 1", "一厂" + plain + " | N(1) 相册 1/ |  |  | 0 | 1",
                           "一厂" + plain + " | Nx 相册 1/ |  |  | 0 | 1", "一厂" + plain + " | Nx(1) 相册 1/ |  |  | 0 | 1"};
        QTest::newRow("id prefix")
            << reply({product("N", "11"), product("N", "12")}, {}, "1") << "0" << QStringList{"N/11#N", "N/12#N"}
            << QStringList{"一厂" + plain + " | 11#N 相册 1/ |  |  | 0 | 1", "一厂" + plain + " | 12#N 相册 1/ |  |  | 0 | 1"};
        QTest::newRow("four label shapes, doubled blank in the later array")
            << reply({product("H", "1", {{"ishomemade", "1"}, {"isems", "0"}}),
                      product("U", "2", {{"ishomemade", "1"}, {"isurgent", "1"}}),
                      product("P", "3", {{"isurgent", "1"}, {"isems", "0"}})},
                     {product("L", "4", {{"ishomemade", "1"}, {"isurgent", "1"}, {"getgooddate", ""}})})
            << "0" << QStringList{"H/H", "U/U", "P/P", "L/L"}
            << QStringList{"一厂/ | H" + pickup + " |  | " + pickup + " | 1 | ",
                           "一厂/ | U" + urgent + " |  | " + urgent + " | 1 | ",
                           "一厂 K1 张三 2024-05-09急取 设计甲 【自取】/ | P 相册 1/ |  |  | 0 | 1",
                           "一厂/ | L K1  张三 急取 设计甲 【快递】/ |  |  K1 张三 急取 设计甲 【快递】/ | 1 | "};

        const QJsonArray twoSons{product("M", "21", {{"parentid", "5"}}), product("M", "22", {{"parentid", "5"}})};
        const QJsonArray oneSon{product("M", "23", {{"parentid", "6"}})};
        const QJsonObject sets = reply({product("S", "5", {{"son_good", twoSons}, {"ishomemade", "1"}}),
                                        product("T", "6", {{"son_good", oneSon}, {"parentid", "9"}})},
                                       {}, "1");
        QTest::newRow("sub-products shown")
            << sets << "1" << QStringList{"S/5#S", "M", "M(1)", "T/6#T", "M"}
            << QStringList{"一厂/ | 5#S" + plain + " |  | " + plain + " | 1 | ",
                           "一厂/ | 5#S" + plain + " | 21#S_M 相册 1/ | " + plain + " | 1 | 1",
                           "一厂/ | 5#S" + plain + " | 22#S_M(1) 相册 1/ | " + plain + " | 1 | 1",
                           "一厂" + plain + " | 6#T 相册 1/ | 23#T_M 相册 1/ |  | 1 | 1"};
        QTest::newRow("sub-products hidden")
            << sets << "0" << QStringList{"S/5#S", "M", "M(1)", "T/6#T", "M"}
            << QStringList{"一厂/ | 5#S" + plain + " |  | " + plain + " | 1 | ",
                           "一厂" + plain + " | 6#T 相册 1/ |  |  | 0 | 1"};
        QTest::newRow("unknown switch: own entries of top products only")
            << sets << "2" << QStringList{"S/5#S", "M", "M(1)", "T/6#T", "M"}
            << QStringList{"一厂/ | 5#S" + plain + " |  | " + plain + " | 1 | "};

        QTest::newRow("web text that would nest or climb")
            << reply({product("N", "../7", {{"factoryname", "../厂:甲"}, {"goodtypename", "a/b"},
                                            {"goodamount", ".."}})},
                     {}, "1")
            << "0" << QStringList{"N/..7#N"}
            << QStringList{"..厂甲" + plain + " | ..7#N ab / |  |  | 0 | .."};
        QTest::newRow("web text with lone surrogates that would climb")
            << reply({product("N", "1", {{"factoryname", "../../ESCAPED" + QString(QChar(0xD800))},
                                         {"goodtypename", QString(QChar(0xDC00)) + "../x"}})})
            << "0" << QStringList{"N/N"} << QStringList{"....ESCAPED" + plain + " | N ..x 1/ |  |  | 0 | 1"};
        // a trailing dot or blank that Windows drops: two names to the plan would be one folder there
#ifdef Q_OS_WIN
        QTest::newRow("names Windows reads as one")
            << reply({product("相册", "1"), product("相册.", "2", {{"goodamount", ""}})}) << "0"
            << QStringList{"相册/相册", "相册/相册(1)"}
            << QStringList{"一厂" + plain + " | 相册 相册 1/ |  |  | 0 | 1", "一厂" + plain + " | 相册(1) 相册/ |  |  | 0 | "};
#else
        QTest::newRow("names Windows reads as one")
            << reply({product("相册", "1"), product("相册.", "2", {{"goodamount", ""}})}) << "0"
            << QStringList{"相册/相册", "相册./相册."}
            << QStringList{"一厂" + plain + " | 相册 相册 1/ |  |  | 0 | 1", "一厂" + plain + " | 相册. 相册 / |  |  | 0 | "};
#endif
        QTest::newRow("a product folder that is no name")
            << reply({product("A", "1"), product("..", "2", {{"goodtypename", ""}, {"goodamount", "."}})}) << "0"
            << QStringList{"A/A", "../.."} << QStringList{"refused: 产品文件夹名称无效：..  "};
        QTest::newRow("a sub-product folder that is no name")
            << reply({product("S", "1", {{"son_good", QJsonArray{product(" ", "2", {{"goodtypename", ""}, {"goodamount", ""}})}}})})
            << "1" << QStringList{"S/S", ""} << QStringList{"refused: 产品文件夹名称无效：  "};
        // "%1" and "%2" in a name are the name's own text, also in its numbered twins
        QTest::newRow("names holding %1 and %2")
            << reply({product("50%1", "1"), product("50%1", "2"),
                      product("50%1", "3", {{"son_good", QJsonArray{product("M%2", "4"), product("M%2", "5")}}})})
            << "1" << QStringList{"50%1/50%1", "50%1/50%1(1)", "50%1/50%1(2)", "M%2", "M%2(1)"}
            << QStringList{"一厂" + plain + " | 50%1 相册 1/ |  |  | 0 | 1", "一厂" + plain + " | 50%1(1) 相册 1/ |  |  | 0 | 1",
                           "一厂" + plain + " | 50%1(2) 相册 1/ |  |  | 0 | 1",
                           "一厂" + plain + " | 50%1(2) 相册 1/ | M%2 相册 1/ |  | 1 | 1",
                           "一厂" + plain + " | 50%1(2) 相册 1/ | M%2(1) 相册 1/ |  | 1 | 1"};
        // a folder longer than the file system takes a name (255 bytes) is said to be so before anything is made
        const QString chang(1, QChar(0x957F));
        QTest::newRow("a product folder name too long")
            << reply({product(chang.repeated(80), "1"), product(chang.repeated(84), "2")}) << "0"
            << QStringList{chang.repeated(80) + "/" + chang.repeated(80), chang.repeated(84) + "/" + chang.repeated(84)}
            << QStringList{"refused: 产品文件夹名称过长：" + chang.repeated(84) + " 相册 1"};
        QTest::newRow("a sub-product folder name too long")
            << reply({product("S", "1", {{"son_good", QJsonArray{product("M", "2", {{"goodtypename", chang.repeated(85)}})}}})})
            << "1" << QStringList{"S/S", "M"} << QStringList{"refused: 产品文件夹名称过长：M " + chang.repeated(85) + " 1"};

        // The numbered names of many equal ones, beside names that look numbered already.
        QJsonArray many{product("N(2)", "0")};
        QStringList manyNames{"N(2)/N(2)"};
        QStringList manyEntries{"一厂" + plain + " | N(2) 相册 1/ |  |  | 0 | 1"};
        for (int i = 0; i < 3000; ++i) {
            many.append(product("N", QString::number(i + 1)));
            const QString folder = i == 0 ? QString("N") : QString("N(%1)").arg(i < 2 ? i : i + 1);
            manyNames << "N/" + folder;
            manyEntries << "一厂" + plain + " | " + folder + " 相册 1/ |  |  | 0 | 1";
        }
        QTest::newRow("3000 equal names") << reply(many) << "0" << manyNames << manyEntries;
        QTest::newRow("no goods arrays") << QJsonObject{{"code", "1"}, {"order", "x"}} << "1" << QStringList()
                                         << QStringList();
    }
    void plan()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(QString, showSub);
        QFETCH(QStringList, goods);
        QFETCH(QStringList, entries);

        const GoodsPlan plan = planGoods(reply, kOrder, showSub);
        QStringList names;
        for (const OrderGoodsInfo &g : plan.goods) {
            QVERIFY(!g.isSonGood);
            names << g.goodname + "/" + g.folderName;
            for (const OrderGoodsInfo &son : g.sonGoods) {
                QVERIFY(son.isSonGood);
                QVERIFY(son.folderName.isEmpty());
                names << son.goodname;
            }
        }
        QCOMPARE(names, goods);
        QStringList described;
        for (const ProductFolderInfo &e : plan.folders)
            described << describe(e);
        if (!plan.refusal.isEmpty())
            described = QStringList{"refused: " + plan.refusal};
        QCOMPARE(described, entries);
    }

    void afterSampleRules_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QStringList>("goods"); // goodname/folderName/expressText, then each sub-product's name

        const QJsonObject son{{"goodname", "M"}, {"son_good", QJsonArray{QJsonObject{{"goodname", "deeper"}}}}};
        QTest::newRow("one name in both arrays, no id prefix")
            << reply({product("相册", "1"), product("相册", "2", {{"isems", "0"}})},
                     {product("相册(1)", "3", {{"isems", ""}})}, "1")
            << QStringList{"相册/相册/快递", "相册/相册(1)/自取", "相册(1)/相册(1)(1)/快递"};
        QTest::newRow("sub-products keep their names, one level")
            << reply({product("套装", "1", {{"son_good", QJsonArray{son, son}}})})
            << QStringList{"套装/套装/快递", "M", "M"};
        QTest::newRow("star") << reply({}, {product("a*b", "1")}) << QStringList{"axb/axb/快递"};
    }
    void afterSampleRules()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(QStringList, goods);
        const GoodsPlan plan = planGoods(reply, kOrder, "1", GoodsRules::AfterSample);
        QVERIFY(plan.folders.isEmpty());
        QStringList names;
        for (const OrderGoodsInfo &g : plan.goods) {
            names << g.goodname + "/" + g.folderName + "/" + g.expressText;
            for (const OrderGoodsInfo &son : g.sonGoods) {
                QVERIFY(son.sonGoods.isEmpty() && son.folderName.isEmpty());
                names << son.goodname;
            }
        }
        QCOMPARE(names, goods);
    }

    void goodsRecordReadsTextOnly()
    {
        QJsonObject p = product("相册", "1", {{"picpath", "a.jpg||b.jpg"}, {"goodamount", 3}, {"isems", "0"}});
        p.remove("isurgent");
        const OrderGoodsInfo g = planGoods(reply({p}), kOrder, "0").goods.value(0);
        QCOMPARE(g.photoNames, (QStringList{"a.jpg", "", "b.jpg"}));
        QCOMPARE(g.goodamount, QString());
        QCOMPARE(g.isurgent, QString());
        QCOMPARE(g.expressText, QString("自取"));
        QVERIFY(g.remarks.isEmpty());
    }

    void customerNameBecomesOneFolderPart()
    {
        const PickupOrder order{"K/1", "张:三/李", "2024-05-20 10:00", ""};
        OrderGoodsInfo g;
        g.expressText = "快递";
        QCOMPARE(pickupLabel(g, order), QString(" K1 张三李 2024-05-20 1000取  【快递】/"));
        QCOMPARE(pickupLabel(g, order, true), QString(" K1  张三李 2024-05-20 1000取  【快递】/"));
    }

    void photoNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::newRow("plain") << "a.jpg" << true;
        QTest::newRow("sub-folder") << "a/b.jpg" << true;
        QTest::newRow("dots in a name") << "a..b.jpg" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("climbs") << "../x.jpg" << false;
        QTest::newRow("climbs back-slashed") << "a\\..\\..\\x.jpg" << false;
        QTest::newRow("absolute") << "/etc/x.jpg" << false;
        QTest::newRow("drive") << "C:x.jpg" << false;
    }
    void photoNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(isSafePhotoName(name), safe);
    }
};

QTEST_GUILESS_MAIN(TestGoodsPlan)
#include "tst_goodsplan.moc"
