#pragma once
// Records of the dispatch desk: a found order, a print shop, a post-production factory and an ordered
// product. Every value is read from the web service's JSON as a string; a missing key or a value of
// another type reads as "".

#include <QJsonObject>
#include <QList>
#include <QString>

struct FaJianOrderInfo {
    QString orderpayforkey; // order number; an order already listed is known by it
    QString name;           // customer: "mname/wname", or the one that is there
    QString order_price;
    QString sheji;          // designer
    QString shejitime;      // design finished
    QString orderid;        // key of the product query
    QString getphotodate;   // delivery date (search replies only)
    QString urgentdate;     // urgent delivery date (search replies only)

    static FaJianOrderInfo fromJson(const QJsonObject &obj);
};

struct PrintShopInfo {
    QString id;
    QString spareText1;
    QString name;
    QString spareText2;
};

struct FactoryInfo {
    QString spareText1;
    QString id;
    QString name;
    QString spareText2;
    QString spareText3;
};

// The entry that leads both chooser lists: nothing chosen yet.
PrintShopInfo unchosenPrintShop();
FactoryInfo unchosenFactory();
// One entry per element of a "printshops" / "factorys" array, each from its "id" and "name".
QList<PrintShopInfo> printShopsFromJson(const QJsonValue &array);
QList<FactoryInfo> factoriesFromJson(const QJsonValue &array);

struct FaJianGoodsInfo {
    QString orderid;
    QString id;             // the product's id: sent as "ordergoodid", names its barcode picture
    QString goodname;
    QString goodtypeid;     // "15": the page count is shown
    QString goodsizename;
    QString goodtype;
    QString number;
    QString pnumber;
    QString spareText;
    QString isurgent;       // "1": urgent
    QString descr;
    QString printshopname;  // presets the print-shop chooser
    QString factoryname;    // presets the factory chooser
    QString sendToFactoryTime2;
    QString sendToPrintshopTime2;
    QString goodsizenameCopy;
    bool spareFlag = false;
    bool loaded = false;    // true on every record placed in a product list

    static FaJianGoodsInfo fromJson(const QJsonObject &obj);
    // The record that stands for an order without products: every text empty, id "0".
    static FaJianGoodsInfo placeholder();
    bool isPlaceholder() const { return id == QLatin1String("0"); }
};

// The products of a product reply's "order" object: "ordergoods0", then "ordergoods2"; the placeholder
// alone when both are empty.
QList<FaJianGoodsInfo> goodsFromReply(const QJsonObject &order);
