#include "worksheet.h"

#include "fileoperation.h"
#include "logging.h"
#include "webapi.h"

#include <QJsonObject>
#include <QMap>
#include <QUrl>

namespace {

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

// One cell of the order table: the label (ending in three blanks) and the value.
QString cell(const QString &label, const QString &value, const QString &style = QString())
{
    return QStringLiteral("    <td class=\"td_thin\" width=\"25%\"") + style + QStringLiteral("><div align=\"left\">")
           + label + QStringLiteral(":   ") + value + QStringLiteral("</div></td>");
}

QString row(const QStringList &cells)
{
    return QStringLiteral("  <tr>") + cells.join(QString()) + QStringLiteral("  </tr>");
}

// The title table of a section ("总体要求", "消费要求", "调修要求").
QString sectionTitle(const QString &title)
{
    return QStringLiteral("<table width=\"100%\"  border=\"0\">  <tr>    <td align=\"left\"><span class=\"style2\">") + title
           + QStringLiteral("</span></td>  </tr></table>");
}

// A one-cell titled text section ("总体要求", "消费要求").
QString textSection(const QString &title, const QString &text)
{
    return sectionTitle(title)
           + QStringLiteral("<table width=\"100%\" cellspacing=\"0\" border=\"1\">  <tr>  <td align=\"left\"><span>") + text
           + QStringLiteral("&nbsp;</span></td></tr></table><BR>");
}

int number(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    return ok ? n : 0;
}

enum class GoodsTable { Urgent, Normal };

// The photos of a product or sub-product as a table of thumbnails, six a row. The urgent table's product
// rows are written without the leading blanks of the others, the normal table's sub-products with two
// blanks before "width" when the thumbnail is there.
enum class PhotoList { UrgentProduct, NormalProduct, UrgentSon, NormalSon };

QString photoTable(const WorkSheetData &data, const QStringList &photos, PhotoList list)
{
    const bool flush = list == PhotoList::UrgentProduct;
    const QString rowOpen = flush ? QStringLiteral("<tr bgcolor=\"#FFFFFF\">") : QStringLiteral("  <tr bgcolor=\"#FFFFFF\">");
    const QString rowClose = flush ? QStringLiteral("</tr>") : QStringLiteral("  </tr>");
    QString html = QStringLiteral("<table width=100%  border=0 cellspacing=0 cellpadding=1;>");
    for (int p = 0; p < photos.size(); ++p) {
        if (p % 6 == 0)
            html += rowOpen;
        const QString file = FileOperation::getFileName(photos.at(p));
        const QString thumb = sheetThumbName(file);
        // A thumbnail is an 88 x 88 square: both sides given, since Qt's rich text, laid out off the GUI
        // thread as the sheets are printed, keeps the picture's own length on a side left out.
        const bool square = data.thumbWidths.value(thumb, -1) == 88;
        if (list == PhotoList::NormalProduct)
            qCDebug(lcSeparation) << "imgName=" << data.thumbFolder + thumb;
        const QString size = square ? QStringLiteral("width=\"83\" height=\"83\"") : QStringLiteral("height=\"83\"");
        const QString open = flush ? QString() : square && list == PhotoList::NormalSon ? QStringLiteral("    <td  width=5%>")
                                                                                        : QStringLiteral("    <td width=5%>");
        // The span is left open to the cell's end.
        html += (flush ? QStringLiteral("<td width=5%>") : open)
                + QStringLiteral("<div align=\"center\"><span class=\"style3\"><img ") + size + QStringLiteral(" src=\"")
                + sheetImageSource(data.thumbFolder + thumb) + QStringLiteral("\"><br>") + esc(file)
                + QStringLiteral("</div></td>");
        if (p % 6 == 5)
            html += rowClose;
    }
    return html + QStringLiteral("</table></td> &nbsp; </tr>");
}

// The cells of a product row after "序号"; adds a type-33 product's sheets to total. flush: the urgent
// table's product rows, whose cells have no leading blanks and whose empty "张数" cell has no class.
QString goodsCells(const OrderGoodsInfo &g, int *total, bool flush)
{
    const QString in = flush ? QString() : QStringLiteral("    ");
    const auto td = [&in](const char *attributes, const QString &value) {
        return in + QStringLiteral("<td ") + QLatin1String(attributes) + QLatin1Char('>') + value + QStringLiteral("</td>");
    };
    QString cells = td("align=\"left\" class=\"style2\"", esc(g.goodname)) + td("align=\"left\"", esc(g.goodtypename));
    if (g.goodtypeid == QLatin1String("33")) {
        *total += number(g.goodpagenumber);
        cells += td("align=\"center\"", esc(g.goodpnumber)) + td("align=\"center\"", esc(g.p_num))
                 + td("align=\"center\" class=\"style2\"", esc(g.goodpagenumber));
    } else {
        cells += td("align=\"center\"", QString()) + td("align=\"center\"", QString())
                 + td(flush ? "align=\"center\"" : "align=\"center\" class=\"style2\"", QString());
    }
    return cells + td("align=\"center\" class=\"style2\"", esc(g.goodamount)) + td("align=\"left\"", esc(g.descr))
           + td("align=\"left\"", esc(g.remarks)) + td("align=\"left\"", esc(g.goodremark))
           + td("align=\"left\"", esc(g.auth_remark));
}

QString goodsTable(const WorkSheetData &data, QMap<QString, OrderGoodsInfo> &records, GoodsTable kind,
                   const QJsonArray &ids, int position, const QString &state, const QString &selector)
{
    const bool urgent = kind == GoodsTable::Urgent;
    QString html = urgent ? QStringLiteral("<table class=\"thinborder\" width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"1\">")
                          : QStringLiteral("<table class=\"thinborder\" width=\"100%\"  border=\"1\" cellspacing=\"0\" cellpadding=\"1\">");

    // title
    QString label;
    if (state == QLatin1String("0")) {
        label = QStringLiteral("未操作产品");
    } else {
        label = QStringLiteral("选片次:") + QString::number(position) + QLatin1Char('/')
                + esc(data.count_order_sample_infoservicetimes)
                + (urgent ? QStringLiteral("  选片师: <span style=\"color: 000000\">") + esc(selector)
                                + QStringLiteral("</span>  ")
                          : QStringLiteral("  选片师:") + esc(selector) + QStringLiteral("  "));
    }
    html += QStringLiteral("  <tr>  <td colspan=\"11\">")
            + (urgent ? QStringLiteral("<span class=\"style4\"><font font-weight: bold; color=\"#FF0000\">加急件：")
                      : QStringLiteral("<span class=\"style2\"><font color=\"#000000\">普通件："))
            + label + (urgent ? esc(data.isurgenttime) : data.getphotodate_html) + QStringLiteral("取件</font></span>&nbsp;</td></tr>");

    // header
    const bool evenRequirements = urgent && data.kind == WorkSheetKind::Separation;
    const QString widths[] = {QStringLiteral("5%"), QStringLiteral("10%"), QStringLiteral("5%"), QStringLiteral("5%"),
                              QStringLiteral("5%"), QStringLiteral("5%"), QStringLiteral("5%"),
                              evenRequirements ? QStringLiteral("15%") : QStringLiteral("20%"),
                              evenRequirements ? QStringLiteral("15%") : QStringLiteral("10%"), QStringLiteral("15%"),
                              QStringLiteral("15%")};
    const QString heads[] = {QStringLiteral("序号"), QStringLiteral("名称"), QStringLiteral("类别"), QStringLiteral("P数"),
                             QStringLiteral("加P数"), QStringLiteral("张数"), QStringLiteral("数量"),
                             QStringLiteral("制作要求"), QStringLiteral("备注"), QStringLiteral("产品说明(对内)"),
                             QStringLiteral("授权备注(对外)")};
    html += QStringLiteral("  <tr bgcolor=\"#CCCCCC\">");
    for (int c = 0; c < 11; ++c)
        html += QStringLiteral("    <td width=\"") + widths[c] + QStringLiteral("\"><div align=\"center\">") + heads[c]
                + QStringLiteral("</div></td>");
    html += QStringLiteral("  </tr>");

    int products = 0;
    int sheets = 0;
    for (const QJsonValue &element : ids) {
        const QString id = jsonString(element.toObject(), QStringLiteral("id"));
        OrderGoodsInfo record = records[id]; // an id without a record gives an empty one, never printed
        const bool printed = urgent ? record.isurgent == QLatin1String("1")
                                    : !record.isSonGood && record.isurgent == QLatin1String("0");
        if (!printed)
            continue;
        ++products;
        html += (urgent ? QStringLiteral("<tr><td align=\"center\">") : QStringLiteral("  <tr>    <td align=\"center\">"))
                + QString::number(products) + QStringLiteral("</td>") + goodsCells(record, &sheets, urgent)
                + QStringLiteral("</tr>");

        if (!record.sonGoods.isEmpty()) {
            // The sheet's own copy of the sub-products, each replaced by the order's record of its id.
            int photoRows = 0;
            for (OrderGoodsInfo &son : record.sonGoods) {
                if (urgent) {
                    for (const QJsonValue &u : ids) {
                        const OrderGoodsInfo &r = records[jsonString(u.toObject(), QStringLiteral("id"))];
                        if (r.id == son.id)
                            son = r;
                    }
                } else {
                    for (const OrderGoodsInfo &r : data.goods) {
                        if (r.id == son.id)
                            son = r;
                    }
                }
                if (!son.photoNames.isEmpty())
                    ++photoRows;
            }
            // The first cell spans exactly the rows written below: a row per sub-product and its photo row
            // (always in the urgent table, only with photos in the normal one), whether or not the order
            // lists the sub-product as a record of its own.
            const int span = urgent ? 2 * record.sonGoods.size() : record.sonGoods.size() + photoRows;
            for (int j = 0; j < record.sonGoods.size(); ++j) {
                const OrderGoodsInfo &son = record.sonGoods.at(j);
                if (urgent)
                    qCDebug(lcSeparation) << "加急子产品名称：" << son.goodname << "  子产品照片：" << son.photoNames.size()
                                          << "  加P数:" << son.p_num;
                else
                    qCDebug(lcSeparation) << "子产品名称：" << son.goodname << "  子产品照片：" << son.photoNames.size();
                html += QStringLiteral(" <tr>");
                // A cell of its own, closed: the rows below it start one column in.
                if (j == 0)
                    html += QStringLiteral("    <td rowspan=\"") + QString::number(span)
                            + QStringLiteral("\" style=\"height: 0px \"></td>");
                html += goodsCells(son, &sheets, false) + QStringLiteral(" </tr>");
                if (urgent || !son.photoNames.isEmpty())
                    html += QStringLiteral("<tr><td colspan=\"10\"> ")
                            + photoTable(data, son.photoNames, urgent ? PhotoList::UrgentSon : PhotoList::NormalSon);
            }
        }
        html += (urgent ? QStringLiteral("<tr><td colspan=\"11\">") : QStringLiteral("<tr><td colspan=\"11\"> "))
                + photoTable(data, record.photoNames, urgent ? PhotoList::UrgentProduct : PhotoList::NormalProduct);
        if (urgent)
            qCDebug(lcSeparation) << "分件html-*照片列表-wan";
    }
    html += QStringLiteral("<tr><td><div align=\"center\">总计</div></td><td colspan=\"11\"><div align=\"center\">产品总数:")
            + QString::number(products) + QStringLiteral("件, 选中总张数共") + QString::number(sheets)
            + QStringLiteral("张</div></td></tr></table><BR>");
    return html;
}

} // namespace

namespace {
// A file URL on every platform: "file:///C:/…" for an ordinary Windows path, and a "#" or "%" in a
// folder or file name stays part of the path instead of cutting or decoding it.
QString sheetImageLink(const QString &path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}
} // namespace

QString sheetImageSource(const QString &path)
{
    return esc(sheetImageLink(path));
}

QUrl sheetImageUrl(const QString &path)
{
    return QUrl(sheetImageLink(path));
}

QString sheetThumbName(const QString &photo)
{
    const QString file = FileOperation::getFileName(photo);
    if (file.endsWith(QLatin1String(".JPG")))
        return file.left(file.size() - 4) + QStringLiteral(".jpg");
    return file;
}

QString markedPicturePath(const WorkSheetData &data, const QString &name)
{
    if (!isSafeName(name))
        return QString();
    return data.thumbFolder + QStringLiteral("marks/") + name;
}

QString markItemText(const QString &mark)
{
    const QStringList parts = mark.split(QLatin1Char('-'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    return QStringLiteral("%1. %2").arg(number(parts.value(2))).arg(parts.value(4));
}

QString workSheetHead()
{
    return QStringLiteral(
        "<HTML><head><meta http-equiv=\"Content-Language\" content=\"zh-cn\">"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb232\"><title></title></head>"
        "<body leftmargin=\"0\"><div align=\"center\">"
        "<style type=\"text/css\"><!--"
        ".style1 {\tfont-size: 24px;\tfont-weight: bold;\tfont-family: \"微软雅黑\",\"Tahoma\";}"
        ".style2 {\tfont-size: 16px;\tfont-weight: bold;\tfont-family: \"微软雅黑\",\"Tahoma\";}"
        ".style4 {\tfont-size: 16px;\tfont-weight: bold;\tfont-family: \"黑体\",\"Tahoma\";}"
        ".style3 {\tfont-size: 12px;\tfont-family: \"微软雅黑\",\"Tahoma\";}"
        ".justify1 {\tdisplay:inline-block;\twidth:100%;;   overflow:hidden;}"
        "body,td,th {\tfont-size: 14px;\tfont-family: \"微软雅黑\",\"Tahoma\";}"
        "p { margin: 0px; padding: 0px;}"
        "--></style>");
}

QString workSheetHeader(const WorkSheetData &data)
{
    return QStringLiteral("<p><table width=100%  border=0 cellspacing=0 cellpadding=1;><tr bgcolor=\"#FFFFFF\">"
                          "<td width=33%><div align=\"center\"></div></td>"
                          "<td width=33%><div align=\"center\"><span align=\"center\" class=\"style1\">")
           + esc(data.shopname)
           + QStringLiteral("</span></div></td><td width=33%><div align=\"center\"><img  align=\"center\" src=\"")
           + sheetImageSource(data.barcodePath) + QStringLiteral("\" /></div></td></tr></table></p><br>");
}

QString workSheetOrderTable(const WorkSheetData &d)
{
    const QString red = QStringLiteral(" style=\"color: #FF3300;\"");
    QString html = QStringLiteral("<table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td align=\"center\">"
                                  "<table width=\"100%\"  border=\"1\" cellspacing=\"0\" cellpadding=\"1\">");
    html += QStringLiteral("  <tr>    <td class=\"td_thin\" colspan=\"4\"><div align=\"center\">订单号:   ") + esc(d.orderpayforkey)
            + QStringLiteral("(服务次:") + esc(d.servicetimes) + QLatin1Char('/') + esc(d.count)
            + QStringLiteral(")</div></td>  </tr>");
    html += row({cell("男士", esc(d.mname)), cell("手机", esc(d.mphone)), cell("女士", esc(d.wname)),
                 cell("手机", esc(d.wphone))});
    html += row({cell("套系", esc(d.s2_name)), cell("预约店", esc(d.mssid)), cell("服务店", esc(d.servershopid)),
                 cell("预约日期", esc(d.booktime))});
    html += row({cell("拍照日期", esc(d.photodate)), cell("选片日期", esc(d.selectphotodate) + ' ' + esc(d.sampleStartTime)),
                 cell("看精修日期", esc(d.checktruing) + ' ' + esc(d.kanjinxiuareaTime)),
                 cell("看版日期", esc(d.comparedate) + ' ' + esc(d.kanbanareaTime))});
    html += row({cell("门市", esc(d.booksuccess)), cell("网约", esc(d.wxname)), cell("推广", esc(d.tuiguangname)),
                 cell("选片师", esc(d.selectphoto))});
    html += row({cell("对比片选中张数", esc(d.yqnumber)), cell("相册P数", esc(d.goodpnumber)),
                 cell("套系约定精修", esc(d.vipphotonumber)), cell("已选张数", esc(d.yx_number))});
    html += row({cell("摄影师", esc(d.role1)), cell("摄像师", esc(d.role17)), cell("化妆师", esc(d.role2)),
                 cell("男士邮箱", esc(d.mmail))});
    html += row({cell("摄助", esc(d.role3)), cell("剪辑师", esc(d.role16)), cell("化助", esc(d.role4)),
                 cell("女士邮箱", esc(d.wmail))});
    const QString empty = QStringLiteral("    <td class=\"td_thin\" width=\"25%\"><div align=\"left\"></div></td>");
    html += row({cell("精修师", esc(d.role9name)), cell("转档师", esc(d.role6name)), empty, empty});
    html += row({cell("预约金额", esc(d.order_price)), cell("二销总额", esc(d.twosales)), cell("二销欠款", esc(d.dept)),
                 cell("支付方式", esc(d.pay_type))});
    html += row({cell("样前对比片", esc(d.tiaose)), cell("样后修片师", esc(d.tiaoxiu)), cell("设计师", esc(d.sheji)),
                 cell("发货日期", d.getphotodate_html + ' ' + esc(d.getphotoareaTime))});
    html += row({cell("购买毛底张数", esc(d.buynumber)), cell("赠送精修张数", esc(d.activenumber)),
                 cell("购买精修张数", esc(d.morephotonumber)), cell("质检日期", esc(d.qualitytime), red)});
    html += QStringLiteral("  <tr>    <td class=\"td_thin\" colspan=\"4\"><div align=\"left\">收件人姓名:   ")
            + esc(d.recipients) + QStringLiteral("     电话：") + esc(d.sj_tel) + QStringLiteral("    地址：") + esc(d.fullAddress)
            + QStringLiteral("</div></td>  </tr>");
    return html + QStringLiteral("</table></td></tr></table><BR>");
}

QString workSheetRequirements(const WorkSheetData &data)
{
    QString html;
    if (!data.orderdescr.isEmpty())
        html += textSection(QStringLiteral("总体要求"), data.orderdescr);
    if (!data.consumption_statement.isEmpty())
        html += textSection(QStringLiteral("消费要求"), data.consumption_statement);
    return html;
}

QString workSheetMarks(const WorkSheetData &data)
{
    if (data.picsMarkArr.isEmpty())
        return QString();
    QString html = sectionTitle(QStringLiteral("调修要求"))
                   + QStringLiteral("<table cellspacing=\"0\" cellspacing=\"10\" cellpadding=\"10\" width=\"100%\" frame=\"box\">");
    for (int i = 0; i < data.picsMarkArr.size(); ++i) {
        const QStringList &entry = data.picsMarkArr.at(i);
        if (i % 2 == 0)
            html += QStringLiteral("<tr>");
        const QString name = entry.value(0);
        const QString path = markedPicturePath(data, name);
        const QSize size = path.isEmpty() ? QSize() : data.markSizes.value(name);
        const bool wide = size.isValid() && size.width() > size.height();
        // The longer side is 120; the other one follows the picture's shape (printed off the GUI thread, Qt's
        // rich text would keep the picture's own length on a side left out and stretch it).
        QString dimensions = wide ? QStringLiteral("\"width=\"120\"") : QStringLiteral("\"height=\"120\"");
        if (size.isValid() && !size.isEmpty()) {
            dimensions += wide ? QStringLiteral(" height=\"%1\" ").arg(qRound(120.0 * size.height() / size.width()))
                               : QStringLiteral(" width=\"%1\" ").arg(qRound(120.0 * size.width() / size.height()));
        }
        html += QStringLiteral("<td><img style=\"margin-right: 10;\" src=\"")
                + (path.isEmpty() ? QString() : sheetImageSource(path)) + dimensions
                + QStringLiteral("align=\"left\"><ui style=\"list-style-type: none;\">");
        for (int m = 1; m < entry.size(); ++m)
            html += QStringLiteral("<li>") + esc(markItemText(entry.at(m))) + QStringLiteral("</li>");
        html += QStringLiteral("</ui></td>");
        if (i % 2 == 1)
            html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table><BR>");
}

QString workSheetGoodsTables(const WorkSheetData &data)
{
    QString html = QStringLiteral("<p><span class=\"style2\">指定制作</span></p>");
    QMap<QString, OrderGoodsInfo> records;
    for (const OrderGoodsInfo &g : data.goods)
        records.insert(g.id, g);
    for (int k = 0; k < data.servicetime.size(); ++k) {
        const QJsonObject st = data.servicetime.at(k).toObject();
        const QJsonArray goods = st.value(QStringLiteral("goods")).toArray();
        const QJsonArray urgent = st.value(QStringLiteral("urgentgoods")).toArray();
        const QString state = jsonString(st, QStringLiteral("order_sample_infoservicetimes"));
        const QString selector = jsonString(st, QStringLiteral("role12name"));
        qCDebug(lcSeparation) << "1111产品数量是：" << goods.size();
        if (!urgent.isEmpty())
            html += goodsTable(data, records, GoodsTable::Urgent, urgent, k + 1, state, selector);
        if (!goods.isEmpty())
            html += goodsTable(data, records, GoodsTable::Normal, goods, k + 1, state, selector);
    }
    return html;
}

QString workSheetAlbum(const WorkSheetData &data)
{
    qCDebug(lcSeparation) << "分件html-成品相册";
    QString html = QStringLiteral("<BR><p align=\"center\"><span class=\"style2\">已选张数 （")
                   + QString::number(data.finishedPhotos.size())
                   + QStringLiteral("张）&nbsp;</span></p><table style=\"margin-right:auto; margin-left: -20px;\" "
                                    "width=\"100%\"  border=\"0\" cellspacing=\"0\" cellpadding=\"1\">");
    for (int i = 0; i < data.finishedPhotos.size(); ++i) {
        const Image &photo = data.finishedPhotos.at(i);
        if (i % 6 == 0)
            html += QStringLiteral("  <tr bgcolor=\"#FFFFFF\">");
        html += QStringLiteral("    <td><div align=\"center\"><img  src=\"")
                + sheetImageSource(data.thumbFolder + photo.getFileName()) + QStringLiteral("\"><br>")
                + esc(photo.getFileName()) + QStringLiteral("<BR>") + esc(photo.getDescription())
                + QStringLiteral("&nbsp;</div></td>");
        if (i % 6 == 5)
            html += QStringLiteral("  </tr>");
    }
    return html + QStringLiteral("</table><BR>");
}

QString workSheetClosing(const WorkSheetData &data)
{
    return QStringLiteral("<table width=\"100%\"  border=\"0\">  <tr>    <td align=\"left\"><span>") + data.shopdisclaimer
           + QStringLiteral("<BR></span></td>  </tr></table><BR>"
                            "<table width=\"100%\"  border=\"0\" cellspacing=\"0\" cellpadding=\"1\">  <tr>"
                            "    <td align=\"left\" class=\"style2\" width=\"18%\">选片人：")
           + esc(data.selectphotoname)
           + QStringLiteral("</td>    <td align=\"left\" class=\"style2\" width=\"25%\">核单员：___________&nbsp;</td>"
                            "    <td align=\"left\" class=\"style2\" width=\"25%\">收发人：___________&nbsp;</td>"
                            "    <td align=\"left\" class=\"style2\" width=\"32%\">客人确认签名：___________&nbsp;</td>"
                            "  </tr></table></div><BR>"
                            "<div style=\"font-size:12px\" align=\"center\"><p align=\"right\">")
           + data.printTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral("</p></div></body></HTML>");
}

QString buildWorkSheetHtml(const WorkSheetData &data)
{
    return workSheetHead() + workSheetHeader(data) + workSheetOrderTable(data) + workSheetRequirements(data)
           + workSheetMarks(data) + workSheetGoodsTables(data) + workSheetAlbum(data) + workSheetClosing(data);
}
