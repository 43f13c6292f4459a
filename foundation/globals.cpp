#include "globals.h"

#include <QByteArray>
#include <QThreadPool>
#include <QtGlobal>

#ifndef TESSALY_DEFAULT_API_BASE
#define TESSALY_DEFAULT_API_BASE "http://127.0.0.1:8080"
#endif

QString g_apiBase;
const QString g_apiGroup = QStringLiteral("g=DuvazivORu");
const QString g_appVersion = QStringLiteral("1.6.7");
const QString g_apiToken = QStringLiteral("7c1e4a9d2b8f6035e4d1c7a9b2f08e63");

QString g_url_order_list;
QString g_url_order_list2;
QString g_url_ordergoods20230521;
QString g_url_ordergoods;
QString g_url_getorderpic;
QString g_url_orderdetail;
QString g_url_getbarcodegen;
QString g_url_order_photo_del;
QString g_url_order_isrole12finish;
QString g_url_updatepicpath;
QString g_url_updatepicpath2;
QString g_url_updatevideo;
QString g_url_savedovrapath;
QString g_url_getorderbyid;
QString g_url_sendtoshop;
QString g_url_gotodigitalid_post;
QString g_url_get_order_path;
QString g_url_get_order_pic_path;
QString g_url_updatephotodate;
QString g_url_getpersons;
QString g_url_getgoods;
QString g_url_login;
QString g_url_changeshop;
QString g_url_sendsmscode;
QString g_url_checksmscode;
QString g_url_getdovraset;
QString g_url_check_update;

QString g_UID;
QString g_USERNAME;
QString g_SHOPID;
QString g_SHOPNAME;
QString g_SUPERID;
QString g_EID;

QString g_picPath;
QString g_bakPicPath;
QString g_homePicPath;
QStringList g_storeIds;
QStringList g_storeNames;
QString g_isshow_subproduct;
QString g_yptbcp;
QString g_xztp;
QString g_sjfjxz;
QString g_dovrabigimg;
QString g_dovraisdownloadall;
QString g_separateMode;
QString g_markDirName;
QString g_finishedDirName;

QString g_dovraServerPath;
QString g_lastSelectDir;

QString defaultApiBase()
{
    const QByteArray env = qgetenv("TESSALY_API_BASE");
    if (!env.isEmpty())
        return QString::fromUtf8(env);
    return QStringLiteral(TESSALY_DEFAULT_API_BASE);
}

void setUpJobPool()
{
    QThreadPool *pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(10);
    pool->setExpiryTimeout(-1);
}

void initEndpoints(const QString &baseUrl)
{
    QString base = baseUrl;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    g_apiBase = base + QStringLiteral("/index.php?");
    const QString api = g_apiBase + g_apiGroup;
    auto action = [&api](const char *module, const char *name) {
        return api + QStringLiteral("&m=") + QLatin1String(module) + QStringLiteral("&a=") + QLatin1String(name);
    };
    g_url_order_list = action("order", "order_list");
    g_url_order_list2 = action("order", "order_list2");
    g_url_ordergoods20230521 = action("order", "ordergoods20230521");
    g_url_ordergoods = action("order", "ordergoods");
    g_url_getorderpic = action("order", "getorderpic");
    g_url_orderdetail = action("order", "orderdetail");
    g_url_getbarcodegen = action("order", "getbarcodegen");
    g_url_order_photo_del = action("OrderPhoto", "order_photo_del");
    g_url_order_isrole12finish = action("OrderPhoto", "order_isrole12finish");
    g_url_updatepicpath = action("order", "updatepicpath");
    g_url_updatepicpath2 = action("order", "updatepicpath2");
    g_url_updatevideo = action("order", "updatevideo");
    g_url_savedovrapath = action("order", "savedovrapath");
    g_url_getorderbyid = action("order", "getorderbyid");
    g_url_sendtoshop = action("order", "sendtoshop");
    g_url_gotodigitalid_post = action("order", "gotodigitalid_post");
    g_url_get_order_path = action("order", "get_order_path");
    g_url_get_order_pic_path = action("order", "get_order_pic_path");
    g_url_updatephotodate = action("order", "updatephotodate");
    g_url_getpersons = action("dovra", "getpersons");
    g_url_getgoods = action("dovra", "getgoods");
    g_url_login = action("user", "login");
    g_url_changeshop = action("user", "changeshop");
    g_url_sendsmscode = action("user", "sendsmscode");
    g_url_checksmscode = action("user", "checksmscode");
    g_url_getdovraset = action("dovra", "getdovraset");
    g_url_check_update = g_apiBase + QStringLiteral("g=Publicapi&m=Version&a=check_update");
}
