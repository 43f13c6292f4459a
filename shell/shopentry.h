#pragma once
// One shop the logged-in user may work for, as the login reply lists it.

#include <QList>
#include <QMetaType>
#include <QString>

struct ShopEntry {
    QString name;
    QString id;
};

Q_DECLARE_METATYPE(ShopEntry)
