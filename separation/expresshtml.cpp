#include "expresshtml.h"

#include "webapi.h"

#include <QJsonArray>

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

ExpressHtml::ExpressHtml(QObject *parent) : QObject(parent)
{
}

void ExpressHtml::collectExpressGoods(QJsonObject goods, QString parentName)
{
    if (jsonString(goods, QStringLiteral("isems")) != QLatin1String("1"))
        return;
    const QString addressId = jsonString(goods.value(QStringLiteral("orderaddress")).toObject(), QStringLiteral("id"));
    if (!m_addressIds.contains(addressId))
        m_addressIds.append(addressId);
    OrderGoodsInfo record;
    record.setFromJson(goods);
    record.parentGoodName = parentName;
    if (record.isurgent == QLatin1String("1") && !m_urgentAddressIds.contains(addressId))
        m_urgentAddressIds.append(addressId);
    m_expressGoods[addressId].append(record);
}

QString ExpressHtml::getHTMLString(QJsonObject reply, const QDateTime &printTime)
{
    const QJsonObject order = reply.value(QStringLiteral("order")).toObject();
    const QJsonObject info = reply.value(QStringLiteral("order_info")).toObject();
    const QString urgentDate = jsonString(order, QStringLiteral("isurgenttime"));
    const QString pickup = jsonString(order, QStringLiteral("pickuptime"));

    m_expressGoods.clear();
    m_addressIds.clear();
    m_urgentAddressIds.clear();
    for (const char *array : {"ordergoods0", "ordergoods2"}) {
        for (const QJsonValue &v : order.value(QLatin1String(array)).toArray()) {
            const QJsonObject goods = v.toObject();
            const QString parentId = jsonString(goods, QStringLiteral("parentid"));
            if (!parentId.isEmpty() && parentId != QLatin1String("0"))
                continue; // sub-products come with their parent
            if (jsonString(goods, QStringLiteral("isexist")) != QLatin1String("1")) {
                collectExpressGoods(goods, QString());
                continue;
            }
            const QString parentName = jsonString(goods, QStringLiteral("goodname"));
            for (const QJsonValue &son : goods.value(QStringLiteral("son_good")).toArray())
                collectExpressGoods(son.toObject(), parentName);
        }
    }

    QString html = QStringLiteral(
        "<HTML><head><meta http-equiv=\"Content-Language\" content=\"zh-cn\">"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"><title></title></head>"
        "<body leftmargin=\"0\"><div align=\"center\">"
        "<style type=\"text/css\">.style1 {\tfont-size: 24px;\tfont-weight: bold;\tfont-family: \"微软雅黑\",\"Tahoma\";}"
        ".thinborder{border-collapse:collapse;border-spacing:0;border-left:1px solid #888;border-top:1px solid #000;}"
        ".td_thin{border-right:1px solid #000;border-bottom:1px solid #000;padding:5px 15px;}</style>"
        "<p><table width=100%  border=0 cellspacing=0 cellpadding=1;>"
        "<tr bgcolor=\"#FFFFFF\"><td width=27%><div align=\"center\"></div></td><td width=46%><div align=\"center\">"
        "<span align=\"center\" class=\"style1\">快递产品信息</span></div></td><td width=27%><div align=\"right\">"
        "<table width=\"100%\"   cellspacing=\"0\" cellpadding=\"1\" border=\"1\">  <tr>"
        "    <td align=\"left\" class=\"style2\">选片师姓名：");
    html += esc(jsonString(order, QStringLiteral("role12name")));
    html += QStringLiteral(
        "</td>  </tr></table></div></td></tr></table></p><BR>"
        "<table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td align=\"center\">"
        "<table width=\"100%\" border=\"1\" align=\"center\" cellpadding=\"0\" cellspacing=\"0\">  <tr>"
        "    <td><div align=\"left\" >订单号</div></td>    <td><div align=\"left\" >");
    html += esc(jsonString(info, QStringLiteral("orderpayforkey"))) + QLatin1Char('-')
            + esc(jsonString(order, QStringLiteral("servicetimes")));
    html += QStringLiteral("</div></td>    <td><div align=\"left\" >客人姓名</div></td>    <td><div align=\"left\" >");
    html += esc(jsonString(info, QStringLiteral("wname"))) + QLatin1Char('/') + esc(jsonString(info, QStringLiteral("mname")));
    html += QStringLiteral("</div></td>    <td><div align=\"left\" >客人电话</div></td>    <td><div align=\"left\" >");
    html += esc(jsonString(info, QStringLiteral("wphone"))) + QLatin1Char('/')
            + esc(jsonString(info, QStringLiteral("mphone")));
    html += QStringLiteral("</div></td>  </tr></table></td></tr></table><BR>");

    for (int b = 0; b < m_addressIds.size(); ++b) {
        const QString &id = m_addressIds.at(b);
        const QList<OrderGoodsInfo> records = m_expressGoods.value(id);
        const OrderGoodsInfo &first = records.first();
        html += QStringLiteral(
            "<table width=\"100%\"  border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td align=\"center\">"
            "<table width=\"100%\" border=\"1\" align=\"center\" cellpadding=\"0\" cellspacing=\"0\">"
            "<tr><td colspan=\"6\"><span class=\"style2\"><font color=\"#000000\"> 快递信息： "
            "联系人: <span style=\"color: #0000FF\">");
        html += esc(first.name) + QStringLiteral("</span>    联系电话:  <span style=\"color: #0000FF\">") + esc(first.phone)
                + QStringLiteral("</span>     邮编: <span style=\"color: #0000FF\">") + esc(first.postcode)
                + QStringLiteral("</span>    地址： <span style=\"color: #0000FF\">")
                + esc(first.province + first.city + first.county + first.address) + QStringLiteral("</span>");
        html += QStringLiteral("</font></td></tr><tr><td colspan=\"6\"><span class=\"style2\"><font color=\"#000000\">普通件：");
        if (!pickup.isEmpty() && pickup != QLatin1String("1970-01-01"))
            html += esc(pickup) + QStringLiteral("取件");
        html += QStringLiteral("</font>");
        if (m_urgentAddressIds.contains(id) && !urgentDate.isEmpty())
            html += QStringLiteral("     <font color=\"#DC143C\">加急件：") + esc(urgentDate) + QStringLiteral("取件</font>");
        html += QStringLiteral(
            "</span>&nbsp;</td></tr>  <tr bgcolor=\"#CCCCCC\">"
            "    <td width=\"10%\"><div align=\"center\">序号</div></td>"
            "    <td width=\"40%\"><div align=\"center\">产品名称</div></td>"
            "    <td width=\"10%\"><div align=\"center\">类别</div></td>"
            "    <td width=\"10%\"><div align=\"center\">数量</div></td>"
            "    <td width=\"10%\"><div align=\"center\">P数</div></td>"
            "    <td width=\"20%\"><div align=\"center\">发货日期</div></td>  </tr>");
        int number = 0;
        for (const OrderGoodsInfo &g : records) {
            if (!g.isems || g.isexist)
                continue;
            const QString name = g.isSonGood ? g.parentGoodName + QLatin1Char('-') + g.goodname : g.goodname;
            html += QStringLiteral("  <tr>    <td align=\"center\">") + QString::number(++number)
                    + QStringLiteral("</td>    <td align=\"left\">") + esc(name)
                    + QStringLiteral("</td>    <td align=\"center\">") + esc(g.goodtypename)
                    + QStringLiteral("</td>    <td align=\"center\">") + esc(g.goodamount) + QStringLiteral("</td>");
            html += g.goodtypeid == QLatin1String("33")
                        ? QStringLiteral("    <td align=\"center\"></td>")
                        : QStringLiteral("    <td align=\"center\">") + esc(g.goodpnumber) + QStringLiteral("</td>");
            html += g.isurgent == QLatin1String("1")
                        ? QStringLiteral("    <td align=\"center\"><span class=\"style2\"><font color=\"#DC143C\">")
                              + esc(urgentDate) + QStringLiteral("</font></span></td>")
                        : QStringLiteral("    <td align=\"center\">") + esc(pickup) + QStringLiteral("</td>");
        }
        html += QStringLiteral("<tr><td><div align=\"center\">总计</div></td><td colspan=\"5\"><div align=\"center\">产品总数:")
                + QString::number(records.size()) + QStringLiteral("件</div></td></tr></table></td></tr></table>");
        if (b + 1 < m_addressIds.size())
            html += QStringLiteral("<BR>");
    }

    const QDateTime at = printTime.isValid() ? printTime : QDateTime::currentDateTime();
    html += QStringLiteral(
        "<BR><BR><table width=\"100%\"  border=\"0\" cellspacing=\"0\" cellpadding=\"1\">  <tr>"
        "    <td align=\"left\" class=\"style2\" width=\"50%\">费用合计：________________</td>"
        "    <td align=\"left\" class=\"style2\" width=\"50%\">客户签字：________________</td>  </tr></table>"
        "<div style=\"font-size:12px\" align=\"center\"><p align=\"right\">");
    html += at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral("</p></div></body></HTML>");
    return html;
}
