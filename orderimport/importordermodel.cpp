#include "importordermodel.h"

#include "fileoperation.h"
#include "logging.h"
#include "webapi.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QJsonDocument>

namespace {

// The last component of a source path; back-slashes count as separators on every platform.
QString lastComponent(const QString &path)
{
    return QDir(QString(path).replace(QLatin1Char('\\'), QLatin1Char('/'))).dirName();
}

// A name that would point at the folder itself or its parent is no file name.
bool isDotName(const QString &name)
{
    return name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..");
}

} // namespace

ImportOrderModel::ImportOrderModel(QJsonObject order, QObject *parent)
    : QObject(parent)
{
    m_orderPhotoId = jsonString(order, "order_photo_id");
    m_orderPayForKey = jsonString(order, "orderpayforkey");
    m_storesName = jsonString(order, "storesname");
    m_photoType = jsonString(order, "phototype");
    m_serviceTimes = jsonString(order, "servicetimes");
    m_bName = jsonString(order, "bname");
    m_wName = jsonString(order, "wname");
    m_mName = jsonString(order, "mname");
    m_momTel = jsonString(order, "momtel");
    m_dadTel = jsonString(order, "dadtel");
    m_comboName = jsonString(order, "comboname");
    m_comboPrice = jsonString(order, "comboprice");
    m_orderPrice = jsonString(order, "order_price");
    m_orderBasePrice = jsonString(order, "orderbaseprice");
    m_bookTime = jsonString(order, "booktime");
    // The order list carries no separate booking-store key; the order's own store is the closest
    // thing the panel can show under that caption.
    m_bookStore = jsonString(order, "storesname");
    m_gotoDigitalTime = jsonString(order, "gotodigitaltime");
    m_shotDate = jsonString(order, "shotdate");
    m_sampleDate = jsonString(order, "sampledate");
    m_getPhotoDate = jsonString(order, "getphotodate");
    m_role1 = jsonString(order, "role1");
    m_role2 = jsonString(order, "role2");
    m_yinDouEr = jsonString(order, "yindouer");
    m_photoType2 = jsonString(order, "phototype");
    m_tiaoSeName = jsonString(order, "tiaosename");
    m_tiaoXiName = jsonString(order, "tiaoxiname");
    m_gotoDigitalTime2 = jsonString(order, "gotodigitaltime");

    // "booktime" is a count of seconds since 1970-01-01 00:00:00 UTC; anything else counts as 0.
    bool ok = false;
    uint seconds = m_bookTime.toUInt(&ok, 10);
    if (!ok)
        seconds = 0;
    m_bookTime = QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC)
                     .toLocalTime()
                     .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));

    if (m_sampleDate.isEmpty())
        m_sampleDate = QStringLiteral("1970-01-01");

    m_orderPathRaw = jsonString(order, "orderpath");
    m_orderBakPathRaw = jsonString(order, "orderbakpicpath");
    m_orderPath = convertOrderPath(m_orderPathRaw);
    m_orderBakPath = convertOrderPath(m_orderBakPathRaw);

    const QJsonValue rootsValue = order.take(QStringLiteral("picpathnew"));
    const QJsonObject roots = rootsValue.isObject() ? rootsValue.toObject() : QJsonObject();
    m_bakPicPathRaw = jsonString(roots, "bakpicpath");
    m_homePicPathRaw = jsonString(roots, "homepicpath");
    m_picPathRaw = jsonString(roots, "picpath");
    m_dovraServerPathRaw = jsonString(roots, "dovrapath");
    m_bakPicPath = convertOrderPath(m_bakPicPathRaw);
    m_homePicPath = convertOrderPath(m_homePicPathRaw);
    m_picPath = convertOrderPath(m_picPathRaw);
    m_dovraServerPathRaw += QStringLiteral("\\选版服务器");
    m_dovraServerPath = convertOrderPath(m_dovraServerPathRaw);
    m_dovraPath = jsonString(order, "dovrapath");

    m_names[ImportFinishedPhotos].orderPrefix = orderKey();

    QStringList names;
    for (const QString &n : {m_bName, m_wName, m_mName}) {
        if (!n.isEmpty())
            names << n;
    }
    m_customerNames = names.join(QLatin1Char('-'));

    QString suffix = m_customerNames;
    if (!m_role1.isEmpty())
        suffix += QLatin1Char('-') + m_role1;
    if (!m_role2.isEmpty())
        suffix += QLatin1Char('-') + m_role2;
    suffix = normalizeFileName(suffix.trimmed());

    qCDebug(lcImport) << "______________" << QJsonDocument(order).toJson(QJsonDocument::Compact);
    qCDebug(lcImport) << "生成的后缀是：" << suffix << "哈哈哈";

    setAllFolderSuffixes(suffix);
}

ImportOrderModel::~ImportOrderModel() = default;

QString ImportOrderModel::orderKey() const
{
    return QStringLiteral("%1-%2").arg(m_orderPayForKey, m_serviceTimes);
}

QStringList ImportOrderModel::buildTargetNames(const QStringList &paths, int importType) const
{
    QStringList targets;
    targets.reserve(paths.size());
    for (const QString &path : paths) {
        const QString name = lastComponent(path);
        if (isDotName(name)) {
            targets << QString();
            continue;
        }
        if (importType == 3 || importType == 4) {
            targets << name;
            continue;
        }

        QString base;
        QString ext;
        if (!name.contains(QLatin1Char('.'))) {
            base = name; // a name without extension keeps its name as the base
        } else {
            const QStringList parts = name.split(QLatin1Char('.'), Qt::KeepEmptyParts);
            ext = QLatin1Char('.') + parts.last();
            for (int i = 0; i < parts.size() - 1; ++i) {
                if (base.isEmpty())
                    base = parts.at(i);
                else
                    base += QLatin1Char('.') + parts.at(i);
            }
        }

        QString target;
        if (hasNameParts(ImportTypeEnum(importType))) {
            // The suffix becomes part of a file name: it must never add a path level.
            const QString suffix = normalizeFileName(m_names[importType].photoSuffix);
            target = suffix.isEmpty() ? base + ext : base + QLatin1Char('-') + suffix + ext;
        } else {
            target = base;
        }
        targets << (isDotName(target) ? QString() : target);
    }
    return targets;
}

ImportOrderModel::TypeState *ImportOrderModel::stateOf(ImportTypeEnum type)
{
    return const_cast<TypeState *>(static_cast<const ImportOrderModel *>(this)->stateOf(type));
}

const ImportOrderModel::TypeState *ImportOrderModel::stateOf(ImportTypeEnum type) const
{
    static_assert(ImportOriginPhotos == 0 && kFileTypeCount == 5, "the file types index m_types");
    const int index = int(type);
    return index >= 0 && index < kFileTypeCount ? &m_types[index] : nullptr;
}

QStringList ImportOrderModel::chosenFiles(ImportTypeEnum type) const
{
    return stateValue(type, &TypeState::files);
}

void ImportOrderModel::setChosenFiles(ImportTypeEnum type, const QStringList &files)
{
    setStateValue(type, &TypeState::files, files);
}

quint16 ImportOrderModel::foundCount(ImportTypeEnum type) const
{
    return stateValue(type, &TypeState::foundCount);
}

void ImportOrderModel::setFoundCount(ImportTypeEnum type, quint16 count)
{
    setStateValue(type, &TypeState::foundCount, count);
}

quint16 ImportOrderModel::importedCount(ImportTypeEnum type) const
{
    return stateValue(type, &TypeState::importedCount);
}

void ImportOrderModel::setImportedCount(ImportTypeEnum type, quint16 count)
{
    setStateValue(type, &TypeState::importedCount, count);
}

bool ImportOrderModel::isImported(ImportTypeEnum type) const
{
    return type == ImportDovraCopy ? m_dovraImported : stateValue(type, &TypeState::imported);
}

void ImportOrderModel::setImported(ImportTypeEnum type, bool imported)
{
    if (type == ImportDovraCopy)
        m_dovraImported = imported;
    else
        setStateValue(type, &TypeState::imported, imported);
}

QString ImportOrderModel::folderSuffix(ImportTypeEnum type) const
{
    if (!stateOf(type))
        return QString();
    // Designs, and the video types alike, take the designs' suffix.
    return m_names[hasNameParts(type) ? type : ImportDesigns].folderSuffix;
}

QString ImportOrderModel::orderFolderName(ImportTypeEnum type, QString *keyPart) const
{
    const QString suffix = folderSuffix(type);
    const QString key = normalizeFileName(orderKey().trimmed());
    if (keyPart)
        *keyPart = key;
    return suffix.isEmpty() ? key : key + normalizeFileName((QLatin1Char('-') + suffix).trimmed());
}

void ImportOrderModel::setOrderPrefix(ImportTypeEnum type, const QString &v)
{
    if (hasNameParts(type))
        m_names[type].orderPrefix = v;
}

void ImportOrderModel::setPhotoSuffix(ImportTypeEnum type, const QString &v)
{
    if (hasNameParts(type))
        m_names[type].photoSuffix = v;
}

void ImportOrderModel::setFolderSuffix(ImportTypeEnum type, const QString &v)
{
    if (hasNameParts(type))
        setAllFolderSuffixes(v);
}
