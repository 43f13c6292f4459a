#pragma once
// One shop the logged-in user may work for, as the login reply lists it.

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMetaType>
#include <QString>

struct ShopEntry {
    QString name;
    QString id;
};

Q_DECLARE_METATYPE(ShopEntry)

// The "id" of a shop or store entry: the web service sends it as a string or as a whole number.
inline QString shopIdText(const QJsonObject &obj)
{
    const QJsonValue value = obj.value(QStringLiteral("id"));
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toVariant().toLongLong());
    return QString();
}
