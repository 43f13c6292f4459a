#pragma once
// Records of the receiving desk: an order found by number (left table) and a row of the right table (an
// order found by type, or one registered as received). Every value is read from the web service's JSON
// as a string; a missing key or a value of another type reads as "".

#include <QJsonObject>
#include <QString>

struct ShangJianOrderInfo {
    QString orderNo; // "orderpayforkey-servicetimes"
    QString orderpayforkey;
    QString servicetimes;
    QString customerNames; // "bname-wname-mname", the empty ones left out
    QString order_price;
    QString selectphotoname;
    QString twosales;
    QString debt;
    QString orderID; // "order_photo_id": the id a registration sends
    QString storesname;

    static ShangJianOrderInfo fromJson(const QJsonObject &obj);
};

struct ShangJianRecordInfo {
    QString orderNo; // "orderpayforkey-servicetimes"
    QString orderpayforkey;
    QString servicetimes;
    QString gotodigitalname; // who registered the order as received
    QString gotodigitaltime; // its first 10 characters
    QString customerNames;
    QString selectphotodate;
    QString selectphototime; // its first 10 characters
    QString selectphotoname;
    QString getphotodate;
    QString urgentdate;
    QString tiaoxiname;
    QString tiaosename;
    QString storesname;

    // An element of a search reply's "data".
    static ShangJianRecordInfo fromJson(const QJsonObject &obj);
    // The "order" of a registration reply: the names under "babyname", "momname" and "dadname", no store.
    static ShangJianRecordInfo fromRegistration(const QJsonObject &order);
};
