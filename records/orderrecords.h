#pragma once
// The plain value records that the order search windows and their separation jobs pass around:
// one order row of a search result, one ordered product, one order's separation result and one
// product's target folder; plus the output folder and product list of the order being separated.

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

class QJsonArray;

// Which window reads an order-list reply. The readers differ only in these points:
// the batch deletion list leaves the go-to-digital date empty, and the Dovra export derives the
// order's folders in the photo-selection system.
enum class OrderRowSource {
    OrderSearch,
    BatchDelete,
    DovraExport,
};

// One row of an order search result (one order).
struct OrderRowInfo
{
    bool checked = false;   // the row's tick in the order table
    bool processed = false; // taken by the separation run
    QString order_photo_id;
    QString servicetimes;
    QString customerName;  // "bname", "wname", "mname": the non-empty ones joined by "-"
    QString customerPhone; // "mphone", "wphone": the non-empty ones joined by "/"
    QString phototype;
    QString comboname;
    QString order_price;
    QString role1;
    QString role2;
    QString shotdate;
    QString photodate2;
    QString orderpayforkey;
    QString orderpath;
    QString dovrapath;         // Dovra export only
    QString dovraSelectedPath; // Dovra export only: dovraBase + "[已选]" + dovraRelPath
    QString dovraRelPath;      // Dovra export only: dovrapath without dovraBase
    QString pickuptime;
    QString twosales;
    QString selectphotoname;
    QString role10;         // "0" from the web service is kept as ""
    QString isurgenttime;
    QString pickupTypeText; // "快递", "部分" or "自取"
    QString orderbaseprice;
    QString tiaosename;
    QString tiaoxiname;
    QString storesname;
    QString gotodigitaltime;
    QString bakpicpath;
    QString homepicpath;
    QString picpath;
    QString dovraBase; // Dovra export only: the store's Dovra root + "\选版服务器\"

    // The one reader of an order object of an order-list reply. Every value is read as a JSON
    // string (missing keys, nulls, numbers and other types give ""); an element that is not an
    // object still gives a row, with the texts its rules give for empty input.
    static OrderRowInfo fromJson(const QJsonValue &order, OrderRowSource source = OrderRowSource::OrderSearch);
    // One row per element of a reply's "data" array, in array order.
    static QList<OrderRowInfo> listFromJson(const QJsonArray &data,
                                            OrderRowSource source = OrderRowSource::OrderSearch);
};

// "快递" for "1", "部分" for "2", "自取" for anything else.
QString pickupTypeText(const QString &pickuptype);

// One ordered product of an order, with its sub-products.
struct OrderGoodsInfo
{
    QString isurgent;
    QString goodid;
    QString goodname;
    QString folderName;
    QString goodtypename;
    QString goodtypeid;
    QString goodsizename;
    QString costing;
    QString weight;
    QString id;
    QString getgooddate;
    QString descr;
    QString goodpnumber;
    QString p_num;
    QString goodpagenumber;
    QString goodamount;
    QString factoryname;
    QStringList photoNames;
    QString expressText;
    QString type;
    QString remarks;
    QString servicetime;
    QString auth_remark;
    QString goodremark;
    bool isexist = false;
    bool isSonGood = false;
    QList<OrderGoodsInfo> sonGoods;
    QString parentGoodName;
    QString number;
    QString parentid;
    QString stock;
    QString expressFactoryname;
    QString factorykeyx;
    bool isems = false;
    QString source_remarks;
    // delivery address ("orderaddress" of the product)
    QString addressId;
    QString province;
    QString provinceid;
    QString city;
    QString cityid;
    QString county;
    QString countyid;
    QString address;
    QString name;
    QString phone;
    QString postcode;

    // Fills the record from one product object of the products reply, as the express sheet needs
    // it. Leaves folderName, getgooddate, factoryname, expressText, sonGoods and parentGoodName
    // alone, and photoNames too when the product has no "picpath".
    void setFromJson(QJsonObject product);
};

// The result of separating one order.
struct SeparateMessageInfo
{
    QString orderId;            // not filled by the separation windows
    QString orderNumber;        // the order's orderpayforkey
    QString workDir;            // not filled by the separation windows
    QStringList notExistPhotos; // product photos that were not found
    QStringList emptyProducts;  // products without photos
    QStringList failures;       // files of the order that could not be copied or written
    QStringList unreadablePhotos; // finished photos copied that cannot be read as pictures
    QStringList notes;          // further lines, each shown as it is (e.g. an order folder not read)

    // Adds one missing-photo text as a copy job reported it; "", ":" and repeats are not added.
    // Returns whether it was added.
    bool addNotExistPhoto(const QString &text);
};

// The end-of-run report: one block per order (its entries together, where its first entry stands) that has
// notes, missing photos, empty products, failures or unreadable photos.
QString separateReportText(const QList<SeparateMessageInfo> &messages);
// The report's default file name (without its folder): every order of the entries once, in their order,
// its number made a safe name part and named twice, then "分件结果.txt". A name past the file system's
// 255 bytes names the first orders and "等N个订单" (N the number of orders) instead.
QString separateReportName(const QList<SeparateMessageInfo> &messages);

// One product's target folder in the product-photo stage.
struct ProductFolderInfo
{
    QString productLabel; // left empty by the order search window's plan
    QString ishomemade;   // "1" for a product made in house; left empty by the order search window's plan
    QString folderLabel;  // the pick-up label of the product
    QString goodtypename;
    QString goodtypeid;
    QString goodname;
    QString goodsFolderName; // the product's folderName
    QString goodamount;
    QStringList photoNames;
    QString factoryFolder; // ends in "/"
    QString productFolder; // ends in "/"
    QString sonFolder;     // a sub-product's own folder, ending in "/"; empty for a product
    QString namingStyle;   // "1" or "0"
};

