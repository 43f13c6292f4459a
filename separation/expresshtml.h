#pragma once
// The express-delivery product sheet ("快递产品信息") of one order, built from its goods reply: the
// order's number, names and phones, then one block per delivery address that products go to by express,
// in the order the addresses first appear, each with its contact line, pick-up dates and products.

#include "orderrecords.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class ExpressHtml : public QObject
{
    Q_OBJECT
public:
    explicit ExpressHtml(QObject *parent = nullptr);

    // The sheet of the goods reply (its "order" and "order_info" objects), printed at printTime (now
    // when not valid). Values from the web service are HTML-escaped.
    QString getHTMLString(QJsonObject reply, const QDateTime &printTime = QDateTime());

private:
    // Adds a goods entry sent by express ("isems" "1") to the block of its address.
    void collectExpressGoods(QJsonObject goods, QString parentName);

    QMap<QString, QList<OrderGoodsInfo>> m_expressGoods; // by address id
    QStringList m_urgentAddressIds;                      // addresses with an urgent product
    QStringList m_addressIds;                            // first-seen order
};
