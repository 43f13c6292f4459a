#pragma once
// The order-detail reply ("orderdetail") read into the fields of a work sheet.

#include "worksheet.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// A fresh WorkSheetData with every field the reply gives (values read as JSON strings; anything else,
// or a missing key, reads as ""), and nothing of an earlier order: "servicetime", "orderpicdescr" (a
// marked photo's name and its marks, kept only when it has marks), "count_order_sample_infoservicetimes"
// and the "order" object's values, with these rules: "orderdescr" HTML-escaped, then every line feed
// "<BR>"; "samplestarttime" + ":" + "samplestartmin" only when both are given; the "timeTxt" of
// "kanbanarea" and "kanjinxiuarea" empty when it is ":00" ("getphotoarea" keeps it); the address from the
// "areaname" of "provinceid", "cityid" and "countyid" and "address". consumptionKey names the key of the
// consumption statement (the after-sample service sends it as "m_consumption_statement").
// The fields that do not come from the reply (the order number, the service times, the selector's name,
// goods, photos, folders) are left for the caller.
WorkSheetData readOrderDetail(const QJsonObject &reply,
                              const QString &consumptionKey = QStringLiteral("consumption_statement"));

// The selector's name of the order with this id: the "selectphotoname" of the first such row, or "".
QString selectPhotoNameOf(const QList<OrderRowInfo> &rows, const QString &orderPhotoId);
