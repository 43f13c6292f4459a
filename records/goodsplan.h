#pragma once
// The goods reply of an order turned into its goods records and the plan of its product folders, as
// plain functions of their input (no window, no program state): the separation windows call them with
// the values of the order in hand.

#include "orderrecords.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// A goods name fit for a folder name: lone surrogates dropped; trimmed; \ / : * ？ ? " ' “ ” ‘ ’ < 《 > 》 |
// and NUL removed (on Windows every control character too); then every pair of blanks removed (three
// become one); on Windows trailing dots and blanks dropped last (storedName), as Windows drops them.
QString sanitizeFileName(QString name);
// The folder level of a product or sub-product laid out by type: name " " type " " amount "/", the type and
// amount made safe name parts (normalizeFileName); on Windows without trailing dots and blanks before the
// "/" (an empty amount leaves a blank there). The numbered twin of a taken folder is laid out the same way.
QString productFolderLevel(const QString &name, const QString &goodtypename, const QString &goodamount);
// "goodname" as the folders use it: every "*" made "x", then sanitizeFileName.
QString cleanGoodsName(const QString &goodname);
// False for a photo name that could reach outside its folder: empty, absolute (a leading "/" or "\",
// a drive) or with a ".." part.
bool isSafePhotoName(const QString &name);

// The order's values that go into the product folders' names.
struct PickupOrder {
    QString orderpayforkey;
    QString customerName;
    QString pickuptime;
    QString role10;
};

// The pick-up label of a product: " " key " " customer " " D "取 " designer " 【" 自取|快递 "】/", where D
// is the product's getgooddate + "急" for an urgent product, else the order's pick-up time. Every value
// from the web service is made a safe name part first (normalizeFileName). doubledBlank writes two
// blanks after the order number.
QString pickupLabel(const OrderGoodsInfo &product, const PickupOrder &order, bool doubledBlank = false);

// The sub-products of one product object ("son_good"), in order; with uniqueNames a repeated cleaned name
// gets "(1)", "(2)", ... among the product's sub-products.
QList<OrderGoodsInfo> parseSonGoods(const QJsonObject &product, bool uniqueNames = true);

struct GoodsPlan {
    QList<OrderGoodsInfo> goods;       // "ordergoods0" then "ordergoods2", in reply order
    QList<ProductFolderInfo> folders; // the product folders, product by product, each before its sub-products
    QString refusal; // "" when every folder level is one safe name; otherwise why the order cannot be planned
};

// Whose rules read a goods reply. The after-sample separation makes no product folders: it reads no
// "shop_set" (no "id#" before the folder names), plans nothing and keeps the sub-products' names as
// they are cleaned.
enum class GoodsRules {
    Separation,
    AfterSample,
};

// Reads a goods reply ("code" already checked): the goods records and the product-folder plan.
// isShowSubproduct is the shop's "isshow_subproduct": "0" plans every product and no sub-product, "1"
// plans products whose "parentid" is "0" and every sub-product, anything else products whose "parentid"
// is "0" only. "fenjian_ishaveordergoodid" "1" in "shop_set" puts "id#" before every folder name.
GoodsPlan planGoods(const QJsonObject &reply, const PickupOrder &order, const QString &isShowSubproduct,
                    GoodsRules rules = GoodsRules::Separation);
