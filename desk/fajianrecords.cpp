#include "fajianrecords.h"

#include "webapi.h"

#include <QJsonArray>

FaJianOrderInfo FaJianOrderInfo::fromJson(const QJsonObject &obj)
{
    auto str = [&obj](const char *key) { return jsonString(obj, QLatin1String(key)); };
    FaJianOrderInfo info;
    info.orderpayforkey = str("orderpayforkey");
    const QString mname = str("mname");
    const QString wname = str("wname");
    if (!mname.isEmpty())
        info.name = wname.isEmpty() ? mname : mname + QLatin1Char('/') + wname;
    else
        info.name = wname;
    info.order_price = str("order_price");
    info.sheji = str("sheji");
    info.shejitime = str("shejitime");
    info.orderid = str("orderid");
    info.getphotodate = str("getphotodate");
    info.urgentdate = str("urgentdate");
    return info;
}

PrintShopInfo unchosenPrintShop()
{
    PrintShopInfo shop;
    shop.id = QStringLiteral("0");
    shop.name = QStringLiteral("请选择");
    return shop;
}

FactoryInfo unchosenFactory()
{
    FactoryInfo factory;
    factory.id = QStringLiteral("0");
    factory.name = QStringLiteral("请选择");
    return factory;
}

namespace {
template <typename Entry>
QList<Entry> entriesFromJson(const QJsonValue &array)
{
    QList<Entry> list;
    for (const QJsonValue &value : array.toArray()) {
        Entry entry;
        entry.id = jsonString(value.toObject(), QStringLiteral("id"));
        entry.name = jsonString(value.toObject(), QStringLiteral("name"));
        list.append(entry);
    }
    return list;
}
} // namespace

QList<PrintShopInfo> printShopsFromJson(const QJsonValue &array)
{
    return entriesFromJson<PrintShopInfo>(array);
}

QList<FactoryInfo> factoriesFromJson(const QJsonValue &array)
{
    return entriesFromJson<FactoryInfo>(array);
}

FaJianGoodsInfo FaJianGoodsInfo::fromJson(const QJsonObject &obj)
{
    auto str = [&obj](const char *key) { return jsonString(obj, QLatin1String(key)); };
    FaJianGoodsInfo good;
    good.orderid = str("orderid");
    good.id = str("id");
    good.goodname = str("goodname");
    good.goodtypeid = str("goodtypeid");
    good.goodsizename = str("goodsizename");
    good.goodtype = str("goodtype");
    good.number = str("number");
    good.pnumber = str("pnumber");
    good.isurgent = str("isurgent");
    good.descr = str("descr");
    good.printshopname = str("printshopname");
    good.factoryname = str("factoryname");
    good.sendToFactoryTime2 = str("sendToFactoryTime2");
    good.sendToPrintshopTime2 = str("sendToPrintshopTime2");
    good.goodsizenameCopy = good.goodsizename;
    good.loaded = true;
    return good;
}

FaJianGoodsInfo FaJianGoodsInfo::placeholder()
{
    FaJianGoodsInfo good;
    good.id = QStringLiteral("0");
    good.loaded = true;
    return good;
}

QList<FaJianGoodsInfo> goodsFromReply(const QJsonObject &order)
{
    QList<FaJianGoodsInfo> goods;
    for (const char *key : {"ordergoods0", "ordergoods2"})
        for (const QJsonValue &value : order.value(QLatin1String(key)).toArray())
            goods.append(FaJianGoodsInfo::fromJson(value.toObject()));
    if (goods.isEmpty())
        goods.append(FaJianGoodsInfo::placeholder());
    return goods;
}
