#pragma once
// The settings of one shop, as the shop switch gives them: the ids every request of a window carries,
// the storage roots, the stores, the switches, the separation words and the right to delete photos.
//
// The tool window stores the last switch's settings in the program-wide values (globals.h) for whatever
// has no window, and hands every window it opens a copy. A window keeps its copy for its life: its
// requests, folders, switches and rights come from it, so a later shop switch changes nothing of a
// window that is open, or of its runs.

#include <QString>
#include <QStringList>

struct ShopSettings {
    QString uid;      // the logged-in user ("uid"), the same for every shop
    QString shopId;   // "shopid"
    QString shopName;
    QString superId;  // "superid"
    QString eid;      // the employee: "eid", "personid", and "uid" / "MANAGER_ID" where a request says so
    QString picPath;     // the photo root
    QString bakPicPath;  // the backup root
    QString homePicPath; // the home-template root
    QStringList storeIds;   // the shop's stores, in the order of the switch's reply
    QStringList storeNames; // entry i names store i
    QString isshowSubproduct;
    QString yptbcp;
    QString xztp;
    QString sjfjxz;
    QString dovrabigimg;
    QString dovraisdownloadall;
    QString separateMode;
    QString markDirName;
    QString finishedDirName;
    bool mayDelete = false; // the switch granted batch deletion ("isdelphoto" "1")

    // The roots no deletion may take.
    QStringList storageRoots() const { return {picPath, bakPicPath, homePicPath}; }

    // The program-wide values as they stand: the login's ids, the last switch's settings. The deletion
    // right is kept nowhere program-wide: it is false here.
    static ShopSettings current();
    // Writes every setting into the program-wide values at once (the tool window after a switch).
    void store() const;
};
