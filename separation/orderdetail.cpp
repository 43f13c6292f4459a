#include "orderdetail.h"

#include "webapi.h"

#include <QJsonArray>

namespace {

QJsonObject objectOf(const QJsonObject &obj, const char *key)
{
    return obj.value(QLatin1String(key)).toObject(); // anything but an object reads as empty
}

QString noBareMinutes(const QString &time)
{
    return time == QLatin1String(":00") ? QString() : time;
}

} // namespace

WorkSheetData readOrderDetail(const QJsonObject &reply, const QString &consumptionKey)
{
    WorkSheetData d;
    d.servicetime = reply.value(QStringLiteral("servicetime")).toArray();
    for (const QJsonValue &v : reply.value(QStringLiteral("orderpicdescr")).toArray()) {
        const QJsonObject entry = v.toObject();
        const QJsonArray marks = entry.value(QStringLiteral("mark")).toArray();
        if (marks.isEmpty())
            continue;
        QStringList list{jsonString(entry, QStringLiteral("picname"))};
        for (const QJsonValue &m : marks)
            list << (m.isString() ? m.toString() : QString());
        d.picsMarkArr << list;
    }
    d.count_order_sample_infoservicetimes = jsonString(reply, QStringLiteral("count_order_sample_infoservicetimes"));

    const QJsonObject o = objectOf(reply, "order");
    auto text = [&o](const char *key) { return jsonString(o, QString::fromLatin1(key)); };
    d.mname = text("mname");
    d.wname = text("wname");
    d.mphone = text("mphone");
    d.wphone = text("wphone");
    d.mmail = text("mmail");
    d.wmail = text("wmail");
    d.vipphotonumber = text("vipphotonumber");
    d.shopdisclaimer = text("shopdisclaimer");
    d.s2_name = text("s2_name");
    d.booksuccess = text("booksuccess");
    d.orderdescr = text("orderdescr").toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<BR>"));
    d.tiaose = text("tiaose");
    d.tiaoxiu = text("tiaoxiu");
    d.sheji = text("sheji");
    d.role1 = text("role1");
    d.role2 = text("role2");
    d.shopname = text("shopname");
    d.role9name = text("role9name");
    d.role6name = text("role6name");
    d.order_price = text("order_price");
    d.photodate = text("photodate");
    d.selectphotodate = text("selectphotodate");
    d.getphotodate_html = text("getphotodate_html");
    d.isurgenttime = text("isurgenttime");
    d.checktruing = text("checktruing");
    d.comparedate = text("comparedate");
    d.morephotonumber = text("morephotonumber");
    d.activenumber = text("activenumber");
    d.recipients = text("recipients");
    d.sj_tel = text("sj_tel");
    d.qualitytime = text("qualitytime");
    const QString sampleDay = text("samplestarttime");
    const QString sampleMinute = text("samplestartmin");
    if (!sampleDay.isEmpty() && !sampleMinute.isEmpty())
        d.sampleStartTime = sampleDay + QLatin1Char(':') + sampleMinute;
    d.getphotoareaTime = jsonString(objectOf(o, "getphotoarea"), QStringLiteral("timeTxt"));
    d.kanbanareaTime = noBareMinutes(jsonString(objectOf(o, "kanbanarea"), QStringLiteral("timeTxt")));
    d.kanjinxiuareaTime = noBareMinutes(jsonString(objectOf(o, "kanjinxiuarea"), QStringLiteral("timeTxt")));
    d.mssid = text("mssid");
    d.servershopid = text("servershopid");
    d.booktime = text("booktime");
    d.wxname = text("wxname");
    d.tuiguangname = text("tuiguangname");
    d.selectphoto = text("selectphoto");
    d.yqnumber = text("yqnumber");
    d.goodpnumber = text("goodpnumber");
    d.yx_number = text("yx_number");
    d.role17 = text("role17");
    d.role3 = text("role3");
    d.role16 = text("role16");
    d.role4 = text("role4");
    d.twosales = text("twosales");
    d.dept = text("dept");
    d.pay_type = text("pay_type");
    d.count = text("count");
    d.buynumber = text("buynumber");
    const QString area = QStringLiteral("areaname");
    d.fullAddress = jsonString(objectOf(o, "provinceid"), area) + jsonString(objectOf(o, "cityid"), area)
                    + jsonString(objectOf(o, "countyid"), area) + text("address");
    d.consumption_statement = jsonString(o, consumptionKey);
    return d;
}

QString selectPhotoNameOf(const QList<OrderRowInfo> &rows, const QString &orderPhotoId)
{
    for (const OrderRowInfo &row : rows) {
        if (row.order_photo_id == orderPhotoId)
            return row.selectphotoname;
    }
    return QString();
}
