#include "shopsettings.h"

#include "globals.h"

ShopSettings ShopSettings::current()
{
    ShopSettings s;
    s.uid = g_UID;
    s.shopId = g_SHOPID;
    s.shopName = g_SHOPNAME;
    s.superId = g_SUPERID;
    s.eid = g_EID;
    s.picPath = g_picPath;
    s.bakPicPath = g_bakPicPath;
    s.homePicPath = g_homePicPath;
    s.storeIds = g_storeIds;
    s.storeNames = g_storeNames;
    s.isshowSubproduct = g_isshow_subproduct;
    s.yptbcp = g_yptbcp;
    s.xztp = g_xztp;
    s.sjfjxz = g_sjfjxz;
    s.dovrabigimg = g_dovrabigimg;
    s.dovraisdownloadall = g_dovraisdownloadall;
    s.separateMode = g_separateMode;
    s.markDirName = g_markDirName;
    s.finishedDirName = g_finishedDirName;
    return s;
}

void ShopSettings::store() const
{
    g_SHOPID = shopId;
    g_SHOPNAME = shopName;
    g_SUPERID = superId;
    g_EID = eid;
    g_picPath = picPath;
    g_bakPicPath = bakPicPath;
    g_homePicPath = homePicPath;
    g_storeIds = storeIds;
    g_storeNames = storeNames;
    g_isshow_subproduct = isshowSubproduct;
    g_yptbcp = yptbcp;
    g_xztp = xztp;
    g_sjfjxz = sjfjxz;
    g_dovrabigimg = dovrabigimg;
    g_dovraisdownloadall = dovraisdownloadall;
    g_separateMode = separateMode;
    g_markDirName = markDirName;
    g_finishedDirName = finishedDirName;
}
