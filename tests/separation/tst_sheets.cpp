#include "barcodedownload.h"
#include "expresshtml.h"
#include "filebytes.h"
#include "fileoperation.h"
#include "filesizelimit.h"
#include "globals.h"
#include "orderdetail.h"
#include "platform.h"
#include "runoutput.h"
#include "sheetfiles.h"
#include "sheetpdf.h"
#include "standin.h"
#include "testsupport.h"
#include "worksheet.h"

#include <QImageReader>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTextDocument>
#include <QThread>

#include <cerrno>

Q_DECLARE_METATYPE(standin::Reply)
Q_DECLARE_METATYPE(OrderGoodsInfo)
Q_DECLARE_METATYPE(WorkSheetKind)

namespace {

using testsupport::bytesOf;

const QDateTime kPrintTime(QDate(2024, 5, 1), QTime(8, 9, 10));

// A goods entry of a goods reply, for the express sheet.
QJsonObject goods(const QString &name, const QString &address, const QJsonObject &more = {})
{
    QJsonObject g{{"goodname", name}, {"goodtypename", "相册"}, {"goodtypeid", "15"}, {"goodamount", "1"},
                  {"goodpnumber", "20"}, {"isems", "1"}, {"isurgent", "0"}, {"isexist", "0"}, {"parentid", "0"},
                  {"orderaddress", QJsonObject{{"id", address}, {"name", "收" + address}, {"phone", "135"},
                                               {"postcode", "518000"}, {"province", "粤"}, {"city", "深"},
                                               {"county", "南"}, {"address", "路1号"}}}};
    for (auto it = more.begin(); it != more.end(); ++it)
        g.insert(it.key(), it.value());
    return g;
}

QJsonObject goodsReply(const QJsonArray &goods0, const QJsonArray &goods2 = {}, const QJsonObject &more = {})
{
    QJsonObject order{{"servicetimes", "2"}, {"role12name", "林"}, {"pickuptime", "2024-06-01"},
                      {"isurgenttime", "2024-05-20"}, {"ordergoods0", goods0}, {"ordergoods2", goods2}};
    for (auto it = more.begin(); it != more.end(); ++it)
        order.insert(it.key(), it.value());
    return QJsonObject{{"order", order},
                       {"order_info", QJsonObject{{"orderpayforkey", "K1"}, {"mname", "父"}, {"wname", "母"},
                                                  {"mphone", "138"}, {"wphone", "139"}}}};
}

OrderGoodsInfo record(const QString &id, const QString &name, const QString &urgent, const QStringList &photos = {})
{
    OrderGoodsInfo g;
    g.id = id;
    g.goodname = name;
    g.goodtypename = "相册";
    g.goodtypeid = "15";
    g.goodamount = "1";
    g.isurgent = urgent;
    g.photoNames = photos;
    return g;
}

QJsonObject serviceTime(const QStringList &goodsIds, const QStringList &urgentIds, const QString &state)
{
    QJsonArray g, u;
    for (const QString &id : goodsIds)
        g.append(QJsonObject{{"id", id}});
    for (const QString &id : urgentIds)
        u.append(QJsonObject{{"id", id}});
    return QJsonObject{{"goods", g}, {"urgentgoods", u}, {"order_sample_infoservicetimes", state}, {"role12name", "林"}};
}

// The first of inOrder that does not follow the one before it in html, or the first of absent that html
// holds; "" when the parts are in place.
QString misplacedPart(const QString &html, const QStringList &inOrder, const QStringList &absent)
{
    int at = 0;
    for (const QString &part : inOrder) {
        const int found = html.indexOf(part, at);
        if (found < 0)
            return "not in order: " + part;
        at = found + part.size();
    }
    for (const QString &part : absent) {
        if (html.contains(part))
            return "there: " + part;
    }
    return QString();
}

QStringList names(const QString &prefix, int count)
{
    QStringList out;
    for (int i = 1; i <= count; ++i)
        out << QString("%1%2.jpg").arg(prefix).arg(i);
    return out;
}

} // namespace

class TestSheets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        initEndpoints(m_server.baseUrl());
    }

    // The express sheet of a small reply, piece by piece.
    void expressSheet()
    {
        ExpressHtml express;
        const QString html = express.getHTMLString(goodsReply({goods("相册", "7")}), kPrintTime);
        const QString expected = QString(
            "<HTML><head><meta http-equiv=\"Content-Language\" content=\"zh-cn\">"
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"><title></title></head>"
            "<body leftmargin=\"0\"><div align=\"center\">"
            "<style type=\"text/css\">.style1 {\tfont-size: 24px;\tfont-weight: bold;\tfont-family: \"微软雅黑\",\"Tahoma\";}"
            ".thinborder{border-collapse:collapse;border-spacing:0;border-left:1px solid #888;border-top:1px solid #000;}"
            ".td_thin{border-right:1px solid #000;border-bottom:1px solid #000;padding:5px 15px;}</style>"
            "<p><table width=100%  border=0 cellspacing=0 cellpadding=1;><tr bgcolor=\"#FFFFFF\">"
            "<td width=27%><div align=\"center\"></div></td><td width=46%><div align=\"center\">"
            "<span align=\"center\" class=\"style1\">快递产品信息</span></div></td><td width=27%><div align=\"right\">"
            "<table width=\"100%\"   cellspacing=\"0\" cellpadding=\"1\" border=\"1\">  <tr>"
            "    <td align=\"left\" class=\"style2\">选片师姓名：林</td>  </tr></table></div></td></tr></table></p><BR>"
            "<table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td align=\"center\">"
            "<table width=\"100%\" border=\"1\" align=\"center\" cellpadding=\"0\" cellspacing=\"0\">  <tr>"
            "    <td><div align=\"left\" >订单号</div></td>    <td><div align=\"left\" >K1-2</div></td>"
            "    <td><div align=\"left\" >客人姓名</div></td>    <td><div align=\"left\" >母/父</div></td>"
            "    <td><div align=\"left\" >客人电话</div></td>    <td><div align=\"left\" >139/138</div></td>"
            "  </tr></table></td></tr></table><BR>"
            "<table width=\"100%\"  border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td align=\"center\">"
            "<table width=\"100%\" border=\"1\" align=\"center\" cellpadding=\"0\" cellspacing=\"0\">"
            "<tr><td colspan=\"6\"><span class=\"style2\"><font color=\"#000000\"> 快递信息： "
            "联系人: <span style=\"color: #0000FF\">收7</span>    联系电话:  <span style=\"color: #0000FF\">135</span>"
            "     邮编: <span style=\"color: #0000FF\">518000</span>    地址： <span style=\"color: #0000FF\">粤深南路1号</span>"
            "</font></td></tr>"
            "<tr><td colspan=\"6\"><span class=\"style2\"><font color=\"#000000\">普通件：2024-06-01取件</font>"
            "</span>&nbsp;</td></tr>"
            "  <tr bgcolor=\"#CCCCCC\">    <td width=\"10%\"><div align=\"center\">序号</div></td>"
            "    <td width=\"40%\"><div align=\"center\">产品名称</div></td>"
            "    <td width=\"10%\"><div align=\"center\">类别</div></td>"
            "    <td width=\"10%\"><div align=\"center\">数量</div></td>"
            "    <td width=\"10%\"><div align=\"center\">P数</div></td>"
            "    <td width=\"20%\"><div align=\"center\">发货日期</div></td>  </tr>"
            "  <tr>    <td align=\"center\">1</td>    <td align=\"left\">相册</td>    <td align=\"center\">相册</td>"
            "    <td align=\"center\">1</td>    <td align=\"center\">20</td>    <td align=\"center\">2024-06-01</td>"
            "<tr><td><div align=\"center\">总计</div></td><td colspan=\"5\"><div align=\"center\">产品总数:1件</div>"
            "</td></tr></table></td></tr></table>"
            "<BR><BR><table width=\"100%\"  border=\"0\" cellspacing=\"0\" cellpadding=\"1\">  <tr>"
            "    <td align=\"left\" class=\"style2\" width=\"50%\">费用合计：________________</td>"
            "    <td align=\"left\" class=\"style2\" width=\"50%\">客户签字：________________</td>  </tr></table>"
            "<div style=\"font-size:12px\" align=\"center\"><p align=\"right\">2024-05-01 08:09:10</p></div>"
            "</body></HTML>");
        QCOMPARE(html, expected);
    }

    void expressSheetParts_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<QStringList>("inOrder"); // substrings, each after the one before
        QTest::addColumn<QStringList>("absent");

        const QJsonObject son1 = goods("摆台", "8", {{"parentid", "31"}});
        const QJsonObject son2 = goods("挂画", "8", {{"parentid", "31"}, {"isexist", "1"}});
        const QJsonObject loose = goods("单品", "9", {{"parentid", ""}});
        QTest::newRow("addresses in first-seen order across arrays")
            << goodsReply({goods("A1", "1"), goods("B1", "2")}, {goods("C1", "3"), goods("A2", "1")})
            << QStringList{"收1", ">A1<", ">A2<", "产品总数:2件", "收2", "收3", ">C1<"} << QStringList();
        QTest::newRow("parent replaced by its sub-products")
            << goodsReply({goods("套装", "7", {{"isexist", "1"}, {"id", "31"}, {"son_good", QJsonArray{son1, son2, loose}}}),
                           goods("子", "7", {{"parentid", "31"}})})
            << QStringList{"收8", ">套装-摆台<", "产品总数:2件", "收9", ">单品<"}
            << QStringList{">套装<", "套装-挂画", ">子<"};
        QTest::newRow("type 33 and the urgent part")
            << goodsReply({goods("照片", "1", {{"goodtypeid", "33"}, {"isurgent", "1"}})})
            << QStringList{"普通件：2024-06-01取件</font>     <font color=\"#DC143C\">加急件：2024-05-20取件</font>",
                           "<td align=\"center\"></td>", "<font color=\"#DC143C\">2024-05-20</font>"}
            << QStringList{">20<"};
        QTest::newRow("urgent without an urgent date")
            << goodsReply({goods("照片", "1", {{"isurgent", "1"}})}, {}, {{"isurgenttime", ""}})
            << QStringList{"普通件：2024-06-01取件</font></span>", "<font color=\"#DC143C\"></font>"}
            << QStringList{"加急件"};
        QTest::newRow("1970-01-01 as pick-up day")
            << goodsReply({goods("照片", "1")}, {}, {{"pickuptime", "1970-01-01"}})
            << QStringList{"普通件：</font>", "<td align=\"center\">1970-01-01</td>"} << QStringList{"1970-01-01取件"};
        QTest::newRow("nothing by express")
            << goodsReply({goods("照片", "1", {{"isems", "0"}})}) << QStringList{"</table></td></tr></table><BR><BR><BR>"}
            << QStringList{"快递信息"};
        QTest::newRow("escaped values")
            << goodsReply({goods("A<B&C", "<1>", {{"goodtypename", "\"x\""}})})
            << QStringList{">A&lt;B&amp;C<", "&quot;x&quot;"} << QStringList{"A<B", "\"x\""};
    }
    void expressSheetParts()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(QStringList, inOrder);
        QFETCH(QStringList, absent);
        ExpressHtml express;
        express.getHTMLString(goodsReply({goods("旧", "99")}), kPrintTime); // nothing of it stays
        const QString problem = misplacedPart(express.getHTMLString(reply, kPrintTime), inOrder, absent + QStringList{"收99"});
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void orderDetail_data()
    {
        QTest::addColumn<QJsonObject>("order");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");

        QTest::newRow("kanban :00") << QJsonObject{{"kanbanarea", QJsonObject{{"timeTxt", ":00"}}}} << "kanban" << "";
        QTest::newRow("kanjinxiu :00") << QJsonObject{{"kanjinxiuarea", QJsonObject{{"timeTxt", ":00"}}}}
                                       << "kanjinxiu" << "";
        QTest::newRow("getphoto :00 stays") << QJsonObject{{"getphotoarea", QJsonObject{{"timeTxt", ":00"}}}}
                                            << "getphoto" << ":00";
        QTest::newRow("kanban with an hour") << QJsonObject{{"kanbanarea", QJsonObject{{"timeTxt", "9:00"}}}}
                                             << "kanban" << "9:00";
        QTest::newRow("line breaks, carriage return kept, text escaped")
            << QJsonObject{{"orderdescr", "a<b\r\nc&d\ne"}} << "orderdescr" << "a&lt;b\r<BR>c&amp;d<BR>e";
        QTest::newRow("address") << QJsonObject{{"cityid", QJsonObject{{"areaname", "深"}}}, {"provinceid", "粤"},
                                                {"countyid", QJsonObject{{"areaname", "南"}}}, {"address", "路1号"}}
                                 << "address" << "深南路1号";
        QTest::newRow("sample start, both") << QJsonObject{{"samplestarttime", "9"}, {"samplestartmin", "30"}}
                                            << "sample" << "9:30";
        QTest::newRow("sample start, day only") << QJsonObject{{"samplestarttime", "9"}} << "sample" << "";
        QTest::newRow("sample start, minute only") << QJsonObject{{"samplestartmin", "30"}} << "sample" << "";
        QTest::newRow("numbers read as nothing") << QJsonObject{{"order_price", 2599}, {"mname", true}}
                                                 << "price" << "";
        QTest::newRow("markup kept") << QJsonObject{{"shopdisclaimer", "<b>x</b>"}} << "disclaimer" << "<b>x</b>";
    }
    void orderDetail()
    {
        QFETCH(QJsonObject, order);
        QFETCH(QString, field);
        QFETCH(QString, value);
        const WorkSheetData d = readOrderDetail(QJsonObject{{"code", "1"}, {"order", order}});
        const QMap<QString, QString> fields{{"kanban", d.kanbanareaTime},    {"kanjinxiu", d.kanjinxiuareaTime},
                                            {"getphoto", d.getphotoareaTime}, {"orderdescr", d.orderdescr},
                                            {"address", d.fullAddress},       {"sample", d.sampleStartTime},
                                            {"price", d.order_price + d.mname}, {"disclaimer", d.shopdisclaimer}};
        QCOMPARE(fields.value(field), value);
    }

    void orderDetailLists()
    {
        const QJsonArray marks{QJsonObject{{"picname", "a.jpg"}, {"mark", QJsonArray{"1-2-3-4-眼睛", "短"}}},
                               QJsonObject{{"picname", "b.jpg"}, {"mark", QJsonArray()}},
                               QJsonObject{{"picname", "c.jpg"}}};
        const QJsonObject reply{{"code", "1"},
                                {"orderpicdescr", marks},
                                {"servicetime", QJsonArray{serviceTime({"1"}, {}, "1")}},
                                {"count_order_sample_infoservicetimes", "3"},
                                {"order", QJsonObject{{"m_consumption_statement", "m"}, {"consumption_statement", "c"}}}};
        const WorkSheetData d = readOrderDetail(reply);
        QCOMPARE(d.picsMarkArr, (QList<QStringList>{{"a.jpg", "1-2-3-4-眼睛", "短"}}));
        QCOMPARE(d.servicetime.size(), 1);
        QCOMPARE(d.count_order_sample_infoservicetimes, QString("3"));
        QCOMPARE(d.consumption_statement, QString("c"));
        QCOMPARE(readOrderDetail(reply, "m_consumption_statement").consumption_statement, QString("m"));
        QVERIFY(readOrderDetail(QJsonObject{{"code", "1"}}).picsMarkArr.isEmpty());

        OrderRowInfo a, b, c;
        a.order_photo_id = "1";
        b.order_photo_id = "2";
        b.selectphotoname = "林";
        c.order_photo_id = "2";
        c.selectphotoname = "王";
        QCOMPARE(selectPhotoNameOf({a, b, c}, "2"), QString("林"));
        QCOMPARE(selectPhotoNameOf({a, b, c}, "3"), QString());
    }

    void workSheet_data()
    {
        QTest::addColumn<QJsonArray>("servicetime");
        QTest::addColumn<QList<OrderGoodsInfo>>("goods");
        QTest::addColumn<QStringList>("inOrder");
        QTest::addColumn<QStringList>("absent");

        OrderGoodsInfo withSons = record("1", "套装", "1", {"p.jpg"});
        withSons.sonGoods = {record("11", "子一", "1", {"s1.jpg"}), record("12", "子二", "1")};
        OrderGoodsInfo normal = withSons;
        normal.isurgent = "0";
        // the order's own records of the sub-products: the first has photos
        const QList<OrderGoodsInfo> withRecords{normal, record("11", "子一", "9", {"s1.jpg", "s2.jpg"}),
                                                record("12", "子二", "9")};

        QTest::newRow("not operated, urgent table only")
            << QJsonArray{serviceTime({}, {"1"}, "0")} << QList<OrderGoodsInfo>{withSons}
            << QStringList{"指定制作", "加急件：未操作产品2024-05-20取件", "rowspan=\"4\"", ">子一<", "s1.jpg", ">子二<",
                           "<table width=100%  border=0 cellspacing=0 cellpadding=1;></table>", "p.jpg",
                           "产品总数:1件, 选中总张数共0张"}
            << QStringList{"普通件"};
        QTest::newRow("service time 1 of 3, normal table")
            << QJsonArray{serviceTime({"1", "404"}, {}, "2")} << withRecords
            << QStringList{"普通件：选片次:1/3  选片师:林  <b>6月1日</b>取件", "rowspan=\"3\"", "s2.jpg",
                           "产品总数:1件"}
            << QStringList{"加急件", "<tr><td colspan=\"10\"> <table width=100%  border=0 cellspacing=0 cellpadding=1;></table>"};
        QTest::newRow("sub-products only inside their product, normal table")
            << QJsonArray{serviceTime({"1"}, {}, "1")} << QList<OrderGoodsInfo>{normal}
            << QStringList{"rowspan=\"3\"", ">子一<", "s1.jpg", ">子二<", "p.jpg"} << QStringList{"rowspan=\"2\""};
        QTest::newRow("urgent selector and a second service time")
            << QJsonArray{serviceTime({}, {"1"}, "2"), serviceTime({"1"}, {}, "1")}
            << QList<OrderGoodsInfo>{record("1", "册", "1")}
            << QStringList{"加急件：选片次:1/3  选片师: <span style=\"color: 000000\">林</span>  2024-05-20取件",
                           "普通件：选片次:2/3", "产品总数:0件"}
            << QStringList();
        OrderGoodsInfo sheets = record("1", "照片", "0");
        sheets.goodtypeid = "33";
        sheets.goodpagenumber = "20";
        sheets.goodpnumber = "7";
        OrderGoodsInfo other = record("2", "册", "0");
        other.goodpagenumber = "30";
        OrderGoodsInfo odd = record("3", "散", "0");
        odd.goodtypeid = "33";
        odd.goodpagenumber = "x";
        QTest::newRow("type 33 totals")
            << QJsonArray{serviceTime({"1", "2", "3"}, {}, "1")} << QList<OrderGoodsInfo>{sheets, other, odd}
            << QStringList{">7<", ">20<", "产品总数:3件, 选中总张数共20张"} << QStringList{">30<"};
        QTest::newRow("six photos, one row")
            << QJsonArray{serviceTime({"1"}, {}, "1")} << QList<OrderGoodsInfo>{record("1", "册", "0", names("a", 6))}
            << QStringList{"  <tr bgcolor=\"#FFFFFF\">", "a6.jpg</div></td>  </tr></table>"}
            << QStringList{"a6.jpg</div></td>    <td"};
        QTest::newRow("seven photos, a second row left open")
            << QJsonArray{serviceTime({"1"}, {}, "1")} << QList<OrderGoodsInfo>{record("1", "册", "0", names("a", 7))}
            << QStringList{"a6.jpg</div></td>  </tr>  <tr bgcolor=\"#FFFFFF\">", "a7.jpg</div></td></table>"}
            << QStringList();
    }
    void workSheet()
    {
        QFETCH(QJsonArray, servicetime);
        QFETCH(QList<OrderGoodsInfo>, goods);
        QFETCH(QStringList, inOrder);
        QFETCH(QStringList, absent);
        WorkSheetData d;
        d.servicetime = servicetime;
        d.goods = goods;
        d.isurgenttime = "2024-05-20";
        d.getphotodate_html = "<b>6月1日</b>";
        d.count_order_sample_infoservicetimes = "3";
        d.thumbFolder = "/t/";
        const QString problem = misplacedPart(workSheetGoodsTables(d), inOrder, absent);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // The after-sample sheet is written fragment by fragment as its readers expect, unusual markup included.
    void afterSampleFragments_data()
    {
        QTest::addColumn<QString>("fragment");
        QTest::newRow("style") << "\twidth:100%;;   overflow:hidden;}";
        QTest::newRow("header table") << "<p><table width=100%  border=0 cellspacing=0 cellpadding=1;><tr bgcolor=\"#FFFFFF\">";
        QTest::newRow("barcode") << "<img  align=\"center\" src=\"file:///b/%E6%9D%A1.jpg\" /></div></td></tr></table></p><br>";
        QTest::newRow("order table") << "<table width=\"100%\"  border=\"1\" cellspacing=\"0\" cellpadding=\"1\">  <tr>"
                                        "    <td class=\"td_thin\" colspan=\"4\"><div align=\"center\">订单号:   K1(服务次:1/)</div></td>  </tr>";
        QTest::newRow("empty cell") << "    <td class=\"td_thin\" width=\"25%\"><div align=\"left\"></div></td>  </tr>";
        QTest::newRow("quality date") << "    <td class=\"td_thin\" width=\"25%\" style=\"color: #FF3300;\"><div align=\"left\">质检日期:   </div></td>";
        QTest::newRow("requirement") << "<table width=\"100%\"  border=\"0\">  <tr>    <td align=\"left\"><span class=\"style2\">消费要求"
                                        "</span></td>  </tr></table><table width=\"100%\" cellspacing=\"0\" border=\"1\">  <tr>  <td align=\"left\">"
                                        "<span>样后&nbsp;</span></td></tr></table><BR>";
        QTest::newRow("urgent title") << "<table class=\"thinborder\" width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"1\">  <tr>  "
                                         "<td colspan=\"11\"><span class=\"style4\"><font font-weight: bold; color=\"#FF0000\">加急件：未操作产品";
        QTest::newRow("urgent row, plain empty cells")
            << "<tr><td align=\"center\">1</td><td align=\"left\" class=\"style2\">册</td><td align=\"left\">相册</td>"
               "<td align=\"center\"></td><td align=\"center\"></td><td align=\"center\"></td>"
               "<td align=\"center\" class=\"style2\">1</td>";
        QTest::newRow("urgent thumbnail, span left open")
            << "<tr><td colspan=\"11\"><table width=100%  border=0 cellspacing=0 cellpadding=1;><tr bgcolor=\"#FFFFFF\">"
               "<td width=5%><div align=\"center\"><span class=\"style3\"><img height=\"83\" src=\"file:///t/u.jpg\"><br>u.jpg"
               "</div></td></table></td> &nbsp; </tr>";
        QTest::newRow("normal table") << "<table class=\"thinborder\" width=\"100%\"  border=\"1\" cellspacing=\"0\" cellpadding=\"1\">  <tr>  "
                                         "<td colspan=\"11\"><span class=\"style2\"><font color=\"#000000\">普通件：";
        QTest::newRow("header cell") << "  <tr bgcolor=\"#CCCCCC\">    <td width=\"5%\"><div align=\"center\">序号</div></td>";
        QTest::newRow("normal row, empty cells") << "  <tr>    <td align=\"center\">1</td>    <td align=\"left\" class=\"style2\">普</td>"
                                                    "    <td align=\"left\">相册</td>    <td align=\"center\"></td>    <td align=\"center\"></td>"
                                                    "    <td align=\"center\" class=\"style2\"></td>";
        QTest::newRow("normal photo row, none") << "<tr><td colspan=\"11\"> <table width=100%  border=0 cellspacing=0 cellpadding=1;>"
                                                   "</table></td> &nbsp; </tr>";
        QTest::newRow("total") << "<tr><td><div align=\"center\">总计</div></td><td colspan=\"11\"><div align=\"center\">产品总数:1件, "
                                  "选中总张数共0张</div></td></tr></table><BR>";
        QTest::newRow("album") << "张）&nbsp;</span></p><table style=\"margin-right:auto; margin-left: -20px;\" width=\"100%\"  border=\"0\" "
                                  "cellspacing=\"0\" cellpadding=\"1\">  <tr bgcolor=\"#FFFFFF\">    <td><div align=\"center\"><img  src=\"file:///t/f.jpg\">"
                                  "<br>f.jpg<BR>&nbsp;</div></td></table><BR>";
        QTest::newRow("note and signatures") << "<table width=\"100%\"  border=\"0\">  <tr>    <td align=\"left\"><span><BR></span></td>  </tr>"
                                                "</table><BR><table width=\"100%\"  border=\"0\" cellspacing=\"0\" cellpadding=\"1\">  <tr>"
                                                "    <td align=\"left\" class=\"style2\" width=\"18%\">选片人：</td>";
    }
    void afterSampleFragments()
    {
        QFETCH(QString, fragment);
        WorkSheetData d;
        d.kind = WorkSheetKind::AfterSample;
        d.orderpayforkey = "K1";
        d.servicetimes = "1";
        d.consumption_statement = "样后";
        d.barcodePath = "/b/条.jpg";
        d.thumbFolder = "/t/";
        d.finishedPhotos = {Image(PHOTOTYPE_FINE, "f.jpg")};
        d.goods = {record("1", "册", "1", {"u.jpg"}), record("2", "普", "0")};
        d.servicetime = QJsonArray{serviceTime({"2"}, {"1"}, "0")};
        const QString html = buildWorkSheetHtml(d);
        QVERIFY2(html.contains(fragment), qPrintable(html));
    }

    void goodsTableWidths_data()
    {
        QTest::addColumn<WorkSheetKind>("kind");
        QTest::addColumn<QStringList>("urgentIds");
        QTest::addColumn<QString>("widths"); // of "制作要求" and "备注"
        QTest::newRow("separation, urgent") << WorkSheetKind::Separation << QStringList{"1"} << "15% 15%";
        QTest::newRow("separation, normal") << WorkSheetKind::Separation << QStringList() << "20% 10%";
        QTest::newRow("after sample, urgent") << WorkSheetKind::AfterSample << QStringList{"1"} << "20% 10%";
        QTest::newRow("after sample, normal") << WorkSheetKind::AfterSample << QStringList() << "20% 10%";
    }
    void goodsTableWidths()
    {
        QFETCH(WorkSheetKind, kind);
        QFETCH(QStringList, urgentIds);
        QFETCH(QString, widths);
        WorkSheetData d;
        d.kind = kind;
        d.servicetime = QJsonArray{serviceTime(urgentIds.isEmpty() ? QStringList{"1"} : QStringList(), urgentIds, "1")};
        const QString html = workSheetGoodsTables(d);
        const QStringList w = widths.split(' ');
        QVERIFY(html.contains("<td width=\"" + w.at(0) + "\"><div align=\"center\">制作要求</div></td>    <td width=\""
                              + w.at(1) + "\"><div align=\"center\">备注</div></td>"));
    }

    void workSheetPictures()
    {
        WorkSheetData d;
        d.thumbFolder = "/out/其它/制作单缩略图/";
        d.goods = {record("1", "册", "0", {"sub/a.jpg", "b.jpg"})};
        d.servicetime = QJsonArray{serviceTime({"1"}, {}, "1")};
        d.thumbWidths = {{"a.jpg", 88}, {"b.jpg", 87}};
        d.picsMarkArr = {{"wide.jpg", "a-b-3-d-脸", "x-y-z"}, {"tall.jpg"}, {"../up.jpg", "1-2-3-4-5"}};
        d.markSizes = {{"wide.jpg", QSize(400, 300)}, {"tall.jpg", QSize(300, 300)}, {"../up.jpg", QSize(400, 300)}};
        const QString html = buildWorkSheetHtml(d);
        QVERIFY(html.contains("<img width=\"83\" height=\"83\" src=\"file:///out/%E5%85%B6%E5%AE%83/%E5%88%B6%E4%BD%9C%E5%8D%95"
                              "%E7%BC%A9%E7%95%A5%E5%9B%BE/a.jpg\"><br>a.jpg"));
        QVERIFY(html.contains("<img height=\"83\" src=\"" + sheetImageSource(d.thumbFolder + "b.jpg") + "\"><br>b.jpg"));
        // marks: two a row, the third opens a row the table closes
        QString marks = workSheetMarks(d);
        marks = marks.mid(marks.indexOf("frame=\"box\">"));
        QCOMPARE(marks.count("<tr>"), 2);
        QCOMPARE(marks.count("</tr>"), 1);
        QVERIFY(marks.contains(sheetImageSource(d.thumbFolder + "marks/wide.jpg") + "\"width=\"120\" height=\"90\" align"));
        QVERIFY(marks.contains(sheetImageSource(d.thumbFolder + "marks/tall.jpg") + "\"height=\"120\" width=\"120\" align"));
        QVERIFY(marks.contains("<li>3. 脸</li><li>0. </li></ui>"));
        QVERIFY(marks.contains("<img style=\"margin-right: 10;\" src=\"\"height=\"120\"align=\"left\">")); // ../up.jpg
        QVERIFY(marks.contains("<ui style=\"list-style-type: none;\"></ui>"));
        QVERIFY(!html.contains("up.jpg\""));
        QCOMPARE(sheetImageUrl("/a#b/c%d.jpg").toLocalFile(), QString("/a#b/c%d.jpg"));
        QCOMPARE(sheetImageSource("/a#b/c%d.jpg"), QString("file:///a%23b/c%25d.jpg"));
    }

    void workSheetTextAndPdf()
    {
        QTemporaryDir dir;
        const QString thumbs = dir.path() + "/制作单缩略图 #1/";
        QVERIFY(QDir().mkpath(thumbs));
        QVERIFY(testsupport::writeJpeg(thumbs + "a.jpg", QSize(88, 88)));
        WorkSheetData d = readOrderDetail(QJsonObject{
            {"code", "1"},
            {"order", QJsonObject{{"shopname", "星光<店>"}, {"orderdescr", "自然\n暖"}, {"mname", "A&B"}}}});
        d.orderpayforkey = "K77";
        d.servicetimes = "1";
        d.selectphotoname = "林";
        d.thumbFolder = thumbs;
        d.finishedPhotos = {Image(PHOTOTYPE_FINE, "a.jpg")};
        d.finishedPhotos[0].setDescription("裁方");
        d.printTime = kPrintTime;
        const QString html = buildWorkSheetHtml(d);
        QVERIFY(html.contains("星光&lt;店&gt;"));
        QVERIFY(html.contains("男士:   A&amp;B"));
        QVERIFY(html.contains("总体要求"));
        QVERIFY(!html.contains("消费要求"));
        QVERIFY(!html.contains("调修要求"));
        QVERIFY(html.contains("已选张数 （1张）"));
        QVERIFY(html.endsWith("2024-05-01 08:09:10</p></div></body></HTML>"));

        const QString pdf = dir.path() + "/明细制作单.pdf";
        QVERIFY(printHtmlToPdf(html, pdf));
        const QString printed = testsupport::pdfText(pdf);
        for (const char *expected : {"K77", "星光<店>", "总体要求", "自然", "裁方", "选片人：林"})
            QVERIFY2(printed.contains(QString::fromUtf8(expected)), expected);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"明细制作单.pdf"});
#ifdef Q_OS_UNIX
        // not left private as the temporary file it was printed into
        QVERIFY(QFileInfo(pdf).permissions().testFlag(QFile::ReadOther));
#endif

        // a sheet whose replacing fails, or that the printer left cut short, leaves the earlier file and no
        // temporary one
        const qint64 before = QFileInfo(pdf).size();
        for (auto fail : {&Platform::failWrites, &Platform::failLastWrites}) {
            fail("明细制作单.pdf", 1);
            QString why;
            QVERIFY(!printHtmlToPdf("<p>new</p>", pdf, {}, &why));
            QCOMPARE(why, fail == &Platform::failWrites ? errorText(EIO) : QString("未能完整写入")); // said, not guessed
            QCOMPARE(QFileInfo(pdf).size(), before);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"明细制作单.pdf"});
        }
    }

    void markedPictureShape_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("printed"); // the picture as the document is given it
        QTest::newRow("upright") << QSize(3000, 4000) << QSize(270, 360);
        QTest::newRow("lying") << QSize(4000, 3000) << QSize(360, 270);
    }
    void markedPictureShape()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, printed);
        WorkSheetData d;
        d.thumbFolder = "/out/制作单缩略图/";
        d.picsMarkArr = {{"m.jpg", "a-b-1-d-眼睛"}};
        d.markSizes = {{"m.jpg", picture}};
        QImage page(800, 600, QImage::Format_RGB32);
        // laid out off the GUI thread, as the sheets are printed: Qt sizes pictures differently there
        QThread *printer = QThread::create([&d, &printed, &page] {
            QImage red(printed, QImage::Format_RGB32);
            red.fill(Qt::red);
            QTextDocument document;
            document.addResource(QTextDocument::ImageResource, sheetImageUrl(d.thumbFolder + "marks/m.jpg"), red);
            document.setHtml(workSheetMarks(d));
            page.fill(Qt::white);
            QPainter painter(&page);
            document.drawContents(&painter);
        });
        printer->start();
        QVERIFY(printer->wait(testsupport::kWaitMs));
        delete printer;
        QRect drawn;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (page.pixel(x, y) == qRgb(255, 0, 0))
                    drawn |= QRect(x, y, 1, 1);
        QCOMPARE(qMax(drawn.width(), drawn.height()), 120);
        QVERIFY2(qAbs(drawn.width() * picture.height() - drawn.height() * picture.width()) <= picture.width(),
                 qPrintable(QStringLiteral("%1 x %2").arg(drawn.width()).arg(drawn.height())));
    }

    void sheetFiles()
    {
        QTemporaryDir dir;
        const QString marks = dir.path() + "/marks/";
        const QString thumbs = dir.path() + "/thumbs/";
        QVERIFY(QDir().mkpath(marks));
        QVERIFY(QDir().mkpath(thumbs));
        QVERIFY(testsupport::writeJpeg(marks + "wide.JPG", QSize(800, 600)));
        QImage png(300, 500, QImage::Format_RGB32);
        png.fill(Qt::blue);
        QVERIFY(png.save(marks + "tall.png"));
        QVERIFY(testsupport::writeJpeg(thumbs + "a.jpg", QSize(88, 88)));
        QVERIFY(testsupport::writeJpeg(thumbs + "b.jpg", QSize(88, 88))); // the thumbnail of b.JPG
        QVERIFY(testsupport::writeJpeg(dir.path() + "/outside.jpg", QSize(40, 30)));
        QVERIFY(testsupport::writeJpeg(marks + "c:stream.jpg", QSize(40, 30))); // a stream of "c" on Windows
        WorkSheetData d;
        d.thumbFolder = thumbs;
        d.goods = {record("1", "册", "0", {"x/a.jpg", "missing.jpg", "b.JPG"})};
        d.picsMarkArr = {{"wide.jpg", "1"}, {"tall.png", "1"}, {"../outside.jpg", "1"}, {"none.jpg", "1"},
                         {"c:stream.jpg", "1"}};
        QList<QPair<QUrl, QImage>> images;
        prepareSheetFiles(&d, marks, &images);

        QCOMPARE(d.thumbWidths, (QHash<QString, int>{{"a.jpg", 88}, {"b.jpg", 88}}));
        d.servicetime = QJsonArray{serviceTime({"1"}, {}, "1")};
        QVERIFY(workSheetGoodsTables(d).contains(sheetImageSource(thumbs + "b.jpg") + "\"><br>b.JPG"));
        QCOMPARE(d.markSizes, (QHash<QString, QSize>{{"wide.jpg", QSize(800, 600)}, {"tall.png", QSize(300, 500)}}));
        QCOMPARE(QDir(thumbs + "marks").entryList(QDir::Files), (QStringList{"tall.png", "wide.jpg"}));
        QCOMPARE(bytesOf(thumbs + "marks/wide.jpg"), bytesOf(marks + "wide.JPG"));
        QCOMPARE(QImageReader(thumbs + "marks/tall.png").format(), QByteArray("jpeg"));
        // at print size, and nothing for what is not there
        QHash<QString, QSize> given;
        for (const auto &image : images)
            given.insert(image.first.toLocalFile().mid(thumbs.size()), image.second.size());
        QCOMPARE(given, (QHash<QString, QSize>{{"marks/wide.jpg", QSize(markPrintSide(), markPrintSide() * 3 / 4)},
                                              {"marks/tall.png", QSize(216, 360)},
                                              {"marks/none.jpg", QSize(1, 1)},
                                              {"missing.jpg", QSize(1, 1)}}));

        // a full disk: neither copy is made (re-encoded or byte for byte), the earlier ones stay as they were
        // and no temporary file is left; both marks are missing from the sheet and named
        QImage red(300, 500, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(marks + "tall.png"));
        const QByteArray tallBefore = bytesOf(thumbs + "marks/tall.png");
        const QByteArray wideBefore = bytesOf(thumbs + "marks/wide.jpg");
        WorkSheetData again;
        again.thumbFolder = thumbs;
        again.picsMarkArr = d.picsMarkArr;
        QList<QPair<QUrl, QImage>> shown;
        QStringList notWritten;
        {
            testsupport::FileSizeLimit full(100);
            prepareSheetFiles(&again, marks, &shown, &notWritten);
        }
        QCOMPARE(bytesOf(thumbs + "marks/tall.png"), tallBefore);
        QCOMPARE(bytesOf(thumbs + "marks/wide.jpg"), wideBefore);
        QCOMPARE(QDir(thumbs + "marks").entryList(QDir::Files | QDir::Hidden), (QStringList{"tall.png", "wide.jpg"}));
        QVERIFY(again.markSizes.isEmpty());
        notWritten.sort();
        const QString full = "（" + errorText(EFBIG) + "）"; // the reason of each
        QCOMPARE(notWritten, (QStringList{thumbs + "marks/tall.png" + full, thumbs + "marks/wide.jpg" + full}));
        for (const auto &image : shown)
            QCOMPARE(image.second.size(), QSize(1, 1));
    }

    void barcode_data()
    {
        QTest::addColumn<standin::Reply>("reply");
        QTest::addColumn<bool>("earlier"); // a barcode file of an earlier run is there
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("diskFull"); // room for half the picture
        QTest::addColumn<QString>("orderId"); // as the order list gave it
        QTest::addColumn<QString>("failure"); // why no barcode was written, in words

        const QByteArray picture = testsupport::jpegWithOrientation(QSize(300, 80), 0);
        const auto ok = [&] { return standin::Reply::raw(200, picture, "image/jpeg"); };
        QTest::newRow("picture") << ok() << false << true << false << "5001" << "";
        QTest::newRow("picture again, hidden") << ok() << true << true << false << "5001" << "";
        QTest::newRow("chunked") << ok().asChunked() << false << true << false << "5001" << "";
        QTest::newRow("404 page") << standin::Reply::raw(404, "<html>not found</html>", "text/html") << true << false
                                  << false << "5001" << "未能下载：HTTP 404";
        QTest::newRow("empty") << standin::Reply::raw(200, "", "image/jpeg") << false << false << false << "5001"
                               << "未能下载：服务器发来的条形码是空的";
        QTest::newRow("connection dropped") << standin::Reply::closed() << true << false << false << "5001"
                                            << "未能下载：服务器没有回复就断开了连接，请稍后再试";
        QTest::newRow("disk full") << ok() << true << false << true << "5001" << errorText(EFBIG);
        QTest::newRow("too slow") << ok().withDelay(3000) << false << false << false << "5001"
                                  << "未能下载：服务器1秒内没有发来条形码";
        // every value is sent as it is: "&" adds no field, "#" cuts nothing off
        QTest::newRow("an id with & and =") << ok() << false << true << false << "5001&shopid=777" << "";
        QTest::newRow("an id with #") << ok() << false << true << false << "5001#x" << "";
        // the order's claim, looked at just before the picture takes its name, lies on a share that answers late:
        // the window goes on meanwhile
        QTest::newRow("its claim looked at on a stalled share") << ok() << false << true << false << "5001" << "";
    }
    void barcode()
    {
        QFETCH(standin::Reply, reply);
        QFETCH(bool, earlier);
        QFETCH(bool, ok);
        QFETCH(bool, diskFull);
        QFETCH(QString, orderId);
        QFETCH(QString, failure);
        QTemporaryDir dir;
        const QString file = dir.path() + "/条形码.jpg";
        if (earlier)
            QVERIFY(testsupport::writeJpeg(file, QSize(10, 10)));
        const QByteArray before = bytesOf(file);
        m_server.setReply("getbarcodegen", reply);
        // only the slow reply meets the time limit; every other one is given all the time a busy machine takes
        BarcodeDownload::setTimeLimitMs(QTest::currentDataTag() == QByteArray("too slow") ? 1000 : testsupport::kWaitMs);
        g_SHOPID = "11";
        QNetworkAccessManager manager;
        testsupport::LogCapture log;
        BarcodeDownload download(&manager);
        QSignalSpy finished(&download, &BarcodeDownload::finished);
        QSemaphore shareAnswers;
        QAtomicInt looking = 0;
        const bool stalled = QTest::currentDataTag() == QByteArray("its claim looked at on a stalled share");
        if (stalled) {
            download.setStillWanted([&shareAnswers, &looking] {
                looking = 1;
                return shareAnswers.tryAcquire(1, testsupport::kWaitMs);
            });
        }
        download.start(BarcodeDownload::barcodeUrl(orderId, ShopSettings::current()), file);
        if (stalled) { // the test's own events are served while the look waits for the share
            QVERIFY(testsupport::waitFor([&looking] { return looking.loadAcquire() == 1; }));
            shareAnswers.release();
        }
        {
            testsupport::FileSizeLimit full(diskFull ? reply.body.size() / 2 : 1 << 30);
            QVERIFY(finished.wait(testsupport::kWaitMs));
        }
        QCOMPARE(finished.first().first().toBool(), ok);
        QCOMPARE(download.succeeded(), ok);
        QCOMPARE(download.failure(), failure);
        const standin::Request request = m_server.lastRequest("getbarcodegen");
        QCOMPARE(request.method, QString("GET"));
        QCOMPARE(request.queryFields.mid(request.queryFields.size() - 4),
                 (QList<QPair<QString, QString>>{{"order_photo_id", orderId}, {"shopid", "11"}, {"superid", g_SUPERID},
                                                 {"token", g_apiToken}}));
        if (ok)
            QCOMPARE(bytesOf(file), reply.body);
        else
            QCOMPARE(bytesOf(file), before);
        QCOMPARE(Platform::isHidden(file), ok && earlier);
        QVERIFY(!log.lines().isEmpty());
        QVERIFY(log.lines().filter(g_apiToken).isEmpty()); // the URL's token never reaches the log
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), earlier || ok ? 1 : 0);
        QTest::qWait(50);
        QCOMPARE(finished.size(), 1);
        BarcodeDownload::setTimeLimitMs(15000);
    }

private:
    standin::Server m_server;
};

TESSALY_TEST_MAIN(TestSheets)
#include "tst_sheets.moc"
