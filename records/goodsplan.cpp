#include "goodsplan.h"

#include "fileoperation.h"
#include "logging.h"
#include "webapi.h"

#include <QDebug>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace {

QJsonArray arrayOf(const QJsonObject &obj, const char *key)
{
    return obj.value(QLatin1String(key)).toArray(); // anything but an array reads as empty
}

// The names given so far, and for each name the number its next "(n)" twin is tried with: a name repeated
// many times costs no search through all the earlier twins.
class UsedNames
{
public:
    bool contains(const QString &name) const { return m_used.contains(name); }
    void add(const QString &name) { m_used.insert(name); }
    // The first name + "(n)" not used (n = 1, 2, ...), or name itself when it is not used. The names only
    // grow, so a number tried once for a name stays taken. Filled in one pass: a "%1" in the name stays.
    QString unique(const QString &name)
    {
        if (!contains(name))
            return name;
        int &n = m_next[name];
        for (n = qMax(n, 1);; ++n) {
            const QString candidate = QStringLiteral("%1(%2)").arg(name, QString::number(n));
            if (!contains(candidate))
                return candidate;
        }
    }

private:
    QSet<QString> m_used;
    QHash<QString, int> m_next;
};

// The fields that a product and a sub-product record take from their object alike.
OrderGoodsInfo readGoods(const QJsonObject &o)
{
    OrderGoodsInfo g;
    g.isurgent = jsonString(o, "isurgent");
    g.goodid = jsonString(o, "goodid");
    g.goodname = cleanGoodsName(jsonString(o, "goodname"));
    g.goodtypename = jsonString(o, "goodtypename");
    g.goodtypeid = jsonString(o, "goodtypeid");
    g.goodsizename = jsonString(o, "goodsizename");
    g.costing = jsonString(o, "costing");
    g.weight = jsonString(o, "weight");
    g.id = jsonString(o, "id");
    g.getgooddate = jsonString(o, "getgooddate");
    g.descr = jsonString(o, "descr");
    g.goodpnumber = jsonString(o, "goodpnumber");
    g.p_num = jsonString(o, "p_num");
    g.goodpagenumber = jsonString(o, "goodpagenumber");
    g.goodamount = jsonString(o, "goodamount");
    g.factoryname = jsonString(o, "factoryname");
    const QString picpath = jsonString(o, "picpath");
    if (!picpath.isEmpty())
        g.photoNames = picpath.split(QLatin1Char('|'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    g.expressText = jsonString(o, "isems") == QLatin1String("0") ? QStringLiteral("自取") : QStringLiteral("快递");
    g.auth_remark = jsonString(o, "auth_remark");
    g.goodremark = jsonString(o, "goodremark");
    return g;
}

// One name part of a folder from web text.
QString part(const QString &text)
{
    return normalizeFileName(text);
}

// Why a plan entry's folders cannot be made ("" when they can): a level that is not one safe name. Each
// level ends in "/"; the factory level "/" of a product made in house without a factory is no level.
QString folderRefusal(const ProductFolderInfo &e)
{
    QStringList levels{e.productFolder.chopped(1)};
    if (e.factoryFolder != QLatin1String("/"))
        levels << e.factoryFolder.chopped(1);
    if (!e.sonFolder.isEmpty())
        levels << e.sonFolder.chopped(1);
    for (const QString &level : qAsConst(levels)) {
        QString why;
        if (!isSafeName(level, &why))
            return QStringLiteral("产品文件夹") + why + QStringLiteral("：") + level;
    }
    return QString();
}

} // namespace

QString sanitizeFileName(QString name)
{
    name = withoutLoneSurrogates(name).trimmed();
    static const QList<QChar> removed{QLatin1Char('\\'), QLatin1Char('/'), QLatin1Char(':'), QLatin1Char('*'),
                                      QChar(0xFF1F), QLatin1Char('?'), QLatin1Char('"'), QLatin1Char('\''),
                                      QChar(0x201C), QChar(0x201D), QChar(0x2018), QChar(0x2019),
                                      QLatin1Char('<'), QChar(0x300A), QLatin1Char('>'), QChar(0x300B),
                                      QLatin1Char('|')};
    for (const QChar c : removed)
        name.remove(c, Qt::CaseSensitive);
    name.remove(QChar(0)); // a name read by the file system ends at it
#ifdef Q_OS_WIN
    // Windows takes no control character in a name (a pasted tab or line break).
    QString printable;
    for (const QChar c : qAsConst(name)) {
        if (c.unicode() >= 0x20)
            printable += c;
    }
    name = printable;
#endif
    name.replace(QStringLiteral("  "), QString());
    return storedName(name);
}

QString productFolderLevel(const QString &name, const QString &goodtypename, const QString &goodamount)
{
    return storedName(name + QLatin1Char(' ') + part(goodtypename) + QLatin1Char(' ') + part(goodamount))
           + QLatin1Char('/');
}

QString cleanGoodsName(const QString &goodname)
{
    if (goodname.contains(QLatin1Char('*')))
        qCDebug(lcSeparation) << "包含*******************" << goodname;
    return sanitizeFileName(QString(goodname).replace(QLatin1Char('*'), QLatin1Char('x')));
}

bool isSafePhotoName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')))
        return false;
    if (name.size() >= 2 && name.at(1) == QLatin1Char(':'))
        return false;
    const QStringList parts = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    return !parts.contains(QStringLiteral(".."));
}

QString pickupLabel(const OrderGoodsInfo &product, const PickupOrder &order, bool doubledBlank)
{
    const QString date = product.isurgent == QLatin1String("1") ? part(product.getgooddate) + QStringLiteral("急")
                                                                : part(order.pickuptime);
    return QLatin1Char(' ') + part(order.orderpayforkey) + (doubledBlank ? QStringLiteral("  ") : QStringLiteral(" "))
           + part(order.customerName) + QLatin1Char(' ') + date + QStringLiteral("取 ") + part(order.role10)
           + QStringLiteral(" 【") + product.expressText + QStringLiteral("】/");
}

QList<OrderGoodsInfo> parseSonGoods(const QJsonObject &product, bool uniqueNames)
{
    QList<OrderGoodsInfo> sons;
    UsedNames used;
    for (const QJsonValue &v : arrayOf(product, "son_good")) {
        OrderGoodsInfo son = readGoods(v.toObject());
        if (uniqueNames) {
            son.goodname = used.unique(son.goodname);
            used.add(son.goodname);
        }
        son.isSonGood = true;
        sons.append(son);
    }
    return sons;
}

GoodsPlan planGoods(const QJsonObject &reply, const PickupOrder &order, const QString &isShowSubproduct,
                    GoodsRules rules)
{
    const bool separation = rules == GoodsRules::Separation;
    const bool idPrefix = separation && jsonString(reply.value(QLatin1String("shop_set")).toObject(),
                                     QStringLiteral("fenjian_ishaveordergoodid"))
                          == QLatin1String("1");
    const QJsonObject orderObject = reply.value(QLatin1String("order")).toObject();
    GoodsPlan plan;
    UsedNames usedFolderNames; // across both arrays

    for (const char *arrayName : {"ordergoods0", "ordergoods2"}) {
        const QJsonArray array = arrayOf(orderObject, arrayName);
        qCDebug(lcSeparation).noquote() << (qstrcmp(arrayName, "ordergoods0") == 0 ? "orderGoods0" : "orderGoods2")
                           << QJsonDocument(array).toJson(QJsonDocument::Compact);
        const bool laterArray = qstrcmp(arrayName, "ordergoods2") == 0;
        for (const QJsonValue &value : array) {
            const QJsonObject p = value.toObject();
            OrderGoodsInfo record = readGoods(p);
            const QString name = record.goodname;
            const QString idName = part(record.id) + QLatin1Char('#') + name;
            record.folderName = idPrefix ? idName : name;
            if (usedFolderNames.contains(name))
                record.folderName = usedFolderNames.unique(name);
            usedFolderNames.add(record.folderName);
            record.isSonGood = false;
            record.sonGoods = parseSonGoods(p, separation);
            plan.goods.append(record);
            if (!separation)
                continue;

            ProductFolderInfo entry;
            entry.goodtypename = record.goodtypename;
            entry.goodtypeid = record.goodtypeid;
            entry.goodname = record.goodname;
            entry.goodsFolderName = record.folderName;
            entry.photoNames = record.photoNames;
            const QString label = pickupLabel(record, order);
            if (jsonString(p, "ishomemade") == QLatin1String("1")) {
                entry.factoryFolder = part(record.factoryname) + QLatin1Char('/');
                entry.namingStyle = QStringLiteral("1");
                entry.folderLabel = label;
                entry.productFolder = record.folderName + pickupLabel(record, order, laterArray);
            } else {
                entry.namingStyle = QStringLiteral("0");
                entry.goodamount = record.goodamount;
                entry.factoryFolder = part(record.factoryname) + label;
                entry.productFolder = productFolderLevel(record.folderName, record.goodtypename, record.goodamount);
            }
            if (isShowSubproduct == QLatin1String("0") || jsonString(p, "parentid") == QLatin1String("0"))
                plan.folders.append(entry);
            if (isShowSubproduct == QLatin1String("1")) {
                for (const OrderGoodsInfo &son : qAsConst(record.sonGoods)) {
                    ProductFolderInfo sub;
                    sub.folderLabel = entry.folderLabel;
                    sub.goodtypename = son.goodtypename;
                    sub.goodtypeid = son.goodtypeid;
                    sub.goodname = son.goodname;
                    sub.goodamount = son.goodamount;
                    sub.photoNames = son.photoNames;
                    sub.factoryFolder = entry.factoryFolder;
                    sub.productFolder = entry.productFolder;
                    const QString prefix = idPrefix ? part(son.id) + QLatin1Char('#') + record.goodname + QLatin1Char('_')
                                                    : QString();
                    sub.sonFolder = productFolderLevel(prefix + son.goodname, son.goodtypename, son.goodamount);
                    sub.namingStyle = QStringLiteral("1");
                    plan.folders.append(sub);
                }
            }
        }
    }
    for (const ProductFolderInfo &entry : qAsConst(plan.folders)) {
        plan.refusal = folderRefusal(entry);
        if (!plan.refusal.isEmpty())
            break;
    }
    return plan;
}
