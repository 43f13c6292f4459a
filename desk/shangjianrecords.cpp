#include "shangjianrecords.h"

#include "webapi.h"

#include <QStringList>

namespace {
QString joinNames(const QJsonObject &obj, const char *a, const char *b, const char *c)
{
    QStringList names;
    for (const char *key : {a, b, c}) {
        const QString name = jsonString(obj, QLatin1String(key));
        if (!name.isEmpty())
            names.append(name);
    }
    return names.join(QLatin1Char('-'));
}

QString orderNoOf(const QJsonObject &obj)
{
    return QStringLiteral("%1-%2").arg(jsonString(obj, QStringLiteral("orderpayforkey")),
                                       jsonString(obj, QStringLiteral("servicetimes")));
}

// The common part of both readings of a right-table row.
ShangJianRecordInfo recordFrom(const QJsonObject &obj)
{
    auto str = [&obj](const char *key) { return jsonString(obj, QLatin1String(key)); };
    ShangJianRecordInfo record;
    record.orderNo = orderNoOf(obj);
    record.orderpayforkey = str("orderpayforkey");
    record.servicetimes = str("servicetimes");
    record.gotodigitalname = str("gotodigitalname");
    record.gotodigitaltime = str("gotodigitaltime").left(10);
    record.selectphotodate = str("selectphotodate");
    record.selectphototime = str("selectphototime").left(10);
    record.selectphotoname = str("selectphotoname");
    record.getphotodate = str("getphotodate");
    record.urgentdate = str("urgentdate");
    record.tiaoxiname = str("tiaoxiname");
    record.tiaosename = str("tiaosename");
    return record;
}
} // namespace

ShangJianOrderInfo ShangJianOrderInfo::fromJson(const QJsonObject &obj)
{
    auto str = [&obj](const char *key) { return jsonString(obj, QLatin1String(key)); };
    ShangJianOrderInfo info;
    info.orderNo = orderNoOf(obj);
    info.orderpayforkey = str("orderpayforkey");
    info.servicetimes = str("servicetimes");
    info.customerNames = joinNames(obj, "bname", "wname", "mname");
    info.order_price = str("order_price");
    info.selectphotoname = str("selectphotoname");
    info.twosales = str("twosales");
    info.debt = str("debt");
    info.orderID = str("order_photo_id");
    info.storesname = str("storesname");
    return info;
}

ShangJianRecordInfo ShangJianRecordInfo::fromJson(const QJsonObject &obj)
{
    ShangJianRecordInfo record = recordFrom(obj);
    record.customerNames = joinNames(obj, "bname", "wname", "mname");
    record.storesname = jsonString(obj, QStringLiteral("storesname"));
    return record;
}

ShangJianRecordInfo ShangJianRecordInfo::fromRegistration(const QJsonObject &order)
{
    ShangJianRecordInfo record = recordFrom(order);
    record.customerNames = joinNames(order, "babyname", "momname", "dadname");
    return record;
}
