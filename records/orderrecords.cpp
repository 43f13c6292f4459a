#include "orderrecords.h"

#include "fileoperation.h"
#include "webapi.h"

#include <QJsonArray>

#include <algorithm>

namespace {

// The non-empty texts, in order, joined by the separator.
QString joinNonEmpty(const QStringList &parts, const QString &separator)
{
    QStringList kept;
    for (const QString &p : parts) {
        if (!p.isEmpty())
            kept << p;
    }
    return kept.join(separator);
}

QJsonObject objectOf(const QJsonObject &obj, const QString &key)
{
    const QJsonValue v = obj.value(key);
    return v.isObject() ? v.toObject() : QJsonObject();
}

const QString kDovraServerDir = QStringLiteral("\\选版服务器\\");

} // namespace

QString pickupTypeText(const QString &pickuptype)
{
    if (pickuptype == QLatin1String("1"))
        return QStringLiteral("快递");
    if (pickuptype == QLatin1String("2"))
        return QStringLiteral("部分");
    return QStringLiteral("自取");
}

OrderRowInfo OrderRowInfo::fromJson(const QJsonValue &order, OrderRowSource source)
{
    const QJsonObject o = order.toObject(); // anything but an object reads as an empty object
    OrderRowInfo row;
    row.order_photo_id = jsonString(o, "order_photo_id");
    row.servicetimes = jsonString(o, "servicetimes");
    row.customerName = joinNonEmpty({jsonString(o, "bname"), jsonString(o, "wname"), jsonString(o, "mname")}, "-");
    row.customerPhone = joinNonEmpty({jsonString(o, "mphone"), jsonString(o, "wphone")}, "/");
    row.phototype = jsonString(o, "phototype");
    row.comboname = jsonString(o, "comboname");
    row.order_price = jsonString(o, "order_price");
    row.role1 = jsonString(o, "role1");
    row.role2 = jsonString(o, "role2");
    row.shotdate = jsonString(o, "shotdate");
    row.photodate2 = jsonString(o, "photodate2");
    row.orderpayforkey = jsonString(o, "orderpayforkey");
    row.orderpath = convertOrderPath(jsonString(o, "orderpath"));
    row.pickuptime = jsonString(o, "pickuptime");
    row.twosales = jsonString(o, "twosales");
    row.selectphotoname = jsonString(o, "selectphotoname");
    row.role10 = jsonString(o, "role10");
    if (row.role10 == QLatin1String("0"))
        row.role10.clear();
    row.isurgenttime = jsonString(o, "isurgenttime");
    row.pickupTypeText = ::pickupTypeText(jsonString(o, "pickuptype"));
    row.orderbaseprice = jsonString(o, "orderbaseprice");
    row.tiaosename = jsonString(o, "tiaosename");
    row.tiaoxiname = jsonString(o, "tiaoxiname");
    row.storesname = jsonString(o, "storesname");
    if (source != OrderRowSource::BatchDelete)
        row.gotodigitaltime = jsonString(o, "gotodigitaltime");

    const QJsonObject roots = objectOf(o, "picpathnew");
    row.bakpicpath = jsonString(roots, "bakpicpath");
    row.homepicpath = jsonString(roots, "homepicpath");
    row.picpath = jsonString(roots, "picpath");

    if (source == OrderRowSource::DovraExport) {
        row.dovraBase = jsonString(roots, "dovrapath") + kDovraServerDir;
        row.dovrapath = jsonString(o, "dovrapath");
        if (!row.dovrapath.isEmpty()) {
            row.dovraRelPath = QString(row.dovrapath).remove(row.dovraBase, Qt::CaseSensitive);
            row.dovraSelectedPath = row.dovraBase + QStringLiteral("[已选]") + row.dovraRelPath;
        }
    }
    return row;
}

QList<OrderRowInfo> OrderRowInfo::listFromJson(const QJsonArray &data, OrderRowSource source)
{
    QList<OrderRowInfo> rows;
    rows.reserve(data.size());
    for (const QJsonValue &v : data)
        rows.append(fromJson(v, source));
    return rows;
}

void OrderGoodsInfo::setFromJson(QJsonObject product)
{
    const QJsonObject &o = product;
    type = jsonString(o, "type");
    goodid = jsonString(o, "goodid");
    number = jsonString(o, "number");
    goodname = jsonString(o, "goodname");
    goodsizename = jsonString(o, "goodsizename");
    goodtypename = jsonString(o, "goodtypename");
    if (goodtypename.isEmpty())
        goodtypename = jsonString(o, "goodtype");
    costing = jsonString(o, "costing");
    weight = jsonString(o, "weight");
    servicetime = jsonString(o, "servicetime");
    id = jsonString(o, "id");
    descr = jsonString(o, "descr");
    const QString picpath = jsonString(o, "picpath");
    isurgent = jsonString(o, "isurgent");
    goodpnumber = jsonString(o, "goodpnumber");
    p_num = jsonString(o, "p_num");
    source_remarks = jsonString(o, "source_remarks");
    stock = jsonString(o, "stock");
    goodamount = jsonString(o, "goodamount");
    goodpagenumber = jsonString(o, "goodpagenumber");
    goodtypeid = jsonString(o, "goodtypeid");
    expressFactoryname = jsonString(o, "factoryname");
    factorykeyx = jsonString(o, "factorykeyx");
    goodremark = jsonString(o, "goodremark");
    auth_remark = jsonString(o, "auth_remark");
    remarks = jsonString(o, "remarks");
    isems = jsonString(o, "isems") == QLatin1String("1");
    if (!picpath.isEmpty())
        photoNames = picpath.split(QLatin1Char('|'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    isexist = jsonString(o, "isexist") == QLatin1String("1");
    parentid = jsonString(o, "parentid");
    isSonGood = !parentid.isEmpty() && parentid != QLatin1String("0");

    const QJsonObject addr = objectOf(o, "orderaddress");
    addressId = jsonString(addr, "id");
    province = jsonString(addr, "province");
    provinceid = jsonString(addr, "provinceid");
    city = jsonString(addr, "city");
    cityid = jsonString(addr, "cityid");
    county = jsonString(addr, "county");
    countyid = jsonString(addr, "countyid");
    address = jsonString(addr, "address");
    name = jsonString(addr, "name");
    phone = jsonString(addr, "phone");
    postcode = jsonString(addr, "postcode");
}

bool SeparateMessageInfo::addNotExistPhoto(const QString &text)
{
    if (text.isEmpty() || text == QLatin1String(":") || notExistPhotos.contains(text))
        return false;
    notExistPhotos.append(text);
    return true;
}

QString separateReportName(const QList<SeparateMessageInfo> &messages)
{
    const QString sep = QStringLiteral("、");
    const QString end = QStringLiteral("分件结果.txt");
    const int maxBytes = 255;
    QStringList orders;
    for (const SeparateMessageInfo &m : messages) {
        const QString number = normalizeFileName(m.orderNumber);
        if (!orders.contains(number))
            orders << number;
    }
    QStringList named;
    for (const QString &number : qAsConst(orders))
        named << number << number;
    QString name = named.join(sep) + end;
    if (name.toUtf8().size() <= maxBytes)
        return name;
    const QString more = QStringLiteral("等%1个订单").arg(orders.size()) + end;
    name = more;
    for (int k = 1; k <= orders.size(); ++k) {
        const QString longer = named.mid(0, 2 * k).join(sep) + more;
        if (longer.toUtf8().size() > maxBytes)
            break;
        name = longer;
    }
    return name;
}

QString separateReportText(const QList<SeparateMessageInfo> &messages)
{
    // The entries of one order (its plan, its copies, an early end) make one block, where its first one stood.
    QList<SeparateMessageInfo> orders;
    for (const SeparateMessageInfo &m : messages) {
        auto same = std::find_if(orders.begin(), orders.end(),
                                 [&m](const SeparateMessageInfo &o) { return o.orderNumber == m.orderNumber; });
        if (same == orders.end()) {
            orders << m;
            continue;
        }
        auto add = [](QStringList *to, const QStringList &from) {
            for (const QString &line : from)
                if (!to->contains(line))
                    to->append(line);
        };
        add(&same->notes, m.notes);
        add(&same->notExistPhotos, m.notExistPhotos);
        add(&same->emptyProducts, m.emptyProducts);
        add(&same->failures, m.failures);
        add(&same->unreadablePhotos, m.unreadablePhotos);
    }
    const QString sep = QStringLiteral("、");
    QString text;
    for (const SeparateMessageInfo &m : qAsConst(orders)) {
        QStringList lines = m.notes;
        if (!m.notExistPhotos.isEmpty())
            lines << QStringLiteral("不存在的照片:") + m.notExistPhotos.join(sep);
        if (!m.emptyProducts.isEmpty())
            lines << QStringLiteral("空产品:") + m.emptyProducts.join(sep);
        if (!m.failures.isEmpty())
            lines << QStringLiteral("复制失败:") + m.failures.join(sep);
        if (!m.unreadablePhotos.isEmpty())
            lines << QStringLiteral("无法读取的照片:") + m.unreadablePhotos.join(sep);
        if (lines.isEmpty())
            continue;
        text += QStringLiteral("订单") + m.orderNumber + QStringLiteral(":\n") + lines.join(QLatin1Char('\n'))
                + QStringLiteral("\n\n");
    }
    return text;
}
