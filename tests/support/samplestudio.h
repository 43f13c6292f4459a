#pragma once
// A small sample studio: a photo storage tree with a handful of orders, and the web-service
// replies that describe exactly those orders. Tests use it as a ready-made fixture, and the
// stand-in web service serves it for trying the program by hand.

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

namespace standin {

class Server;
struct Request;

// One photo file of the sample tree, with the EXIF orientation it was written with.
struct SamplePhoto {
    QString name;
    QSize size;           // stored size (before the orientation is applied)
    int orientation = 0;  // 0: no EXIF block
    bool motorola = false;
};

struct SampleOrder {
    QString id;           // "order_photo_id" (also the dispatch desk's "orderid")
    QString payForKey;    // "orderpayforkey"
    QString serviceTimes; // "servicetimes"
    QString bname, wname, mname, mphone, wphone;
    QString role1, role2;
    QString storesName;
    QString shotDate;     // yyyy-MM-dd
    QString orderPath;    // order folder on the photo root, ending in "/"; empty: not imported yet
    QString orderBakPath; // order folder on the backup root, ending in "/"
    QList<SamplePhoto> originals; // 照片/
    QList<SamplePhoto> finished;  // 成品/
    QList<SamplePhoto> rejected;  // 汰片/
    QList<SamplePhoto> marked;    // marks/
    QList<SamplePhoto> designs;   // 设计/
    QStringList rawFiles;         // 照片/新建文件夹/ (camera-raw siblings of the originals, shot with them)
    QString strayRaw;             // one more raw there whose shot time no photo has ("" for none)
    bool shotTimeList = false;    // the order folder holds "ImageTime.txt" listing the originals
    QStringList finishedFolders;  // sub-folders of 成品/, each holding one photo of its own
    QStringList trialVideos;      // 试拍视频/
    QStringList retouchVideos;    // 精修视频/
    bool selectionFinished = false;
    // The order's folder in Dovra below "<store's Dovra root>\选版服务器\", back-slash separated; empty
    // when the order has none (its "dovrapath" is then empty).
    QString dovraRel;
    enum DovraSelection {
        NotSelected,      // no "[已选]" folder yet
        SelectionDone,    // "[已选]<R>\选版结果" with its "*.ok" marker
        HiddenMarkerOnly, // "[已选]<R>\选版结果" whose only "*.ok" is hidden
    } dovraSelection = NotSelected;
    bool dovraDesign = false; // "[已选]<R>\<R>_待Dovra设计同步用数据" is there
    bool writeFolder = true; // false: writeTree leaves orderPath alone (a path no deletion may take)

    QString key() const;           // payForKey + "-" + serviceTimes
    QString customerNames() const; // the non-empty names joined with "-"
    QString folderName() const;    // the order folder's name as the import makes it
};

struct SampleStudio {
    // Describes the studio kept in folder (nothing is written yet). Its orders are dated relative to the
    // day the studio was written there (today for a studio not written yet): shot 27, 19, 7 (two orders)
    // and 2 days before it, so that a calendar opening on today is close to them.
    explicit SampleStudio(const QString &folder);

    QString folder;    // ends in "/"
    QDate writtenOn;   // the day the studio is (or was) written; its orders' days follow it
    QString picRoot;   // folder + "pic/"
    QString bakRoot;   // folder + "bak/"
    QString homeRoot;  // folder + "home/"
    QString dovraRoot; // folder + "dovra/": the stores' Dovra folders
    QString dovraServer() const; // dovraRoot + "星光店/选版服务器/": where the orders' Dovra folders are
    QString incomingRoot; // folder + "待导入/": fresh photos and videos waiting to be imported
    QList<SamplePhoto> incoming;
    QList<SampleOrder> orders;

    // The goods replies put "fenjian_ishaveordergoodid" "1" into "shop_set" (product folders begin "id#").
    bool goodsIdPrefix = false;
    // A photo that a product of every order with finished photos lists but "成品/" lacks.
    static QString missingPhotoName();
    // Adds two orders whose "orderpath" no deletion may take: a relative path ("pic/F6601-1/") and the
    // photo root itself. Their folders are not written.
    void addUnsafeOrders();

    // The shot time in the EXIF block of the i-th photo (from 0) of the order's originals, as a camera
    // writes it ("yyyy:MM:dd hh:mm:ss"); the raw of the same base name carries it too. The photos waiting
    // in incomingRoot carry incomingShotTime(i).
    static QString originalShotTime(const SampleOrder &order, int i);
    QString incomingShotTime(int i) const;
    // The day so many days before the studio was written, as yyyy-MM-dd.
    QString daysBeforeWritten(int days) const;

    // Every sub-folder an imported order folder has on the photo root, in creation order.
    static QStringList orderSubFolders();

    // Writes the photo storage tree; false (with *error) when a folder or file cannot be made.
    bool writeTree(QString *error = nullptr) const;
    // The orders' folders in Dovra (part of writeTree).
    bool writeDovraTree(QString *error = nullptr) const;
    // True when the tree has been written into the folder already.
    bool treeExists() const;
    // Installs the standing replies (and the request-dependent handlers) into server. From then on
    // the replies follow what the program posts about an order (its folder paths, its Dovra path, its
    // video lists), as the web service would; installing again starts from the written studio.
    void installReplies(Server &server) const;

    const SampleOrder *findOrder(const QString &id) const;
    // The order a request is about: by "order_photo_id", "orderid" or "orderpayforkey";
    // the first order when the request names none.
    const SampleOrder *orderFor(const Request &request) const;

    // Reply bodies, as installReplies serves them before the program has posted anything.
    QJsonObject orderJson(const SampleOrder &order) const;
    // The orders a search asks for: "searchtype" with "keyword" (order number, name, phone or one of
    // the dates as yyyy-MM-dd), or the desks' "type" with the keyword under "orderpayforkey",
    // "photodate" or "selectphotodate". A request without a keyword lists every order.
    QJsonObject orderListReply(const Request &request) const;
    QJsonObject goodsReply(const SampleOrder &order) const;
    // The dispatch desk's product reply ("ordergoods"): the same products, but E5520 has none, A1203's
    // first product is urgent and B2207's products have ids with letters and no shop or factory yet.
    QJsonObject deskGoodsReply(const SampleOrder &order) const;
    QJsonObject cropReply(const SampleOrder &order) const;
    QJsonObject detailReply(const SampleOrder &order) const;
    QJsonObject loginReply(const Request &request) const;
    QJsonObject changeShopReply(const Request &request) const;
    QJsonArray dovraStores() const;
};

} // namespace standin
