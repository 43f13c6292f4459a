#pragma once
// Program-wide constants and state: the web-API endpoint table, the logged-in user,
// the chosen shop's settings and the import's shared folders.

#include <QString>
#include <QStringList>

// ---- constants, built once at start-up by initEndpoints() ----
extern QString g_apiBase;      // base URL + "/index.php?"
extern const QString g_apiGroup;   // "g=DuvazivORu"
extern const QString g_appVersion; // "1.6.7"
extern const QString g_apiToken;   // 32 lower-case hexadecimal characters

extern QString g_url_order_list;
extern QString g_url_order_list2;
extern QString g_url_ordergoods20230521;
extern QString g_url_ordergoods;
extern QString g_url_getorderpic;
extern QString g_url_orderdetail;
extern QString g_url_getbarcodegen;
extern QString g_url_order_photo_del;
extern QString g_url_order_isrole12finish;
extern QString g_url_updatepicpath;
extern QString g_url_updatepicpath2;
extern QString g_url_updatevideo;
extern QString g_url_savedovrapath;
extern QString g_url_getorderbyid;
extern QString g_url_sendtoshop;
extern QString g_url_gotodigitalid_post;
extern QString g_url_get_order_path;
extern QString g_url_get_order_pic_path;
extern QString g_url_updatephotodate;
extern QString g_url_getpersons;
extern QString g_url_getgoods;
// Actions of the login, the tool window and the SMS-code check.
extern QString g_url_login;          // m=user&a=login
extern QString g_url_changeshop;     // m=user&a=changeshop
extern QString g_url_sendsmscode;    // m=user&a=sendsmscode
extern QString g_url_checksmscode;   // m=user&a=checksmscode
extern QString g_url_getdovraset;    // m=dovra&a=getdovraset
extern QString g_url_check_update;   // g=Publicapi&m=Version&a=check_update

// The compiled-in base URL, unless TESSALY_API_BASE is set in the environment.
QString defaultApiBase();
// Builds g_apiBase and every g_url_* from a base URL such as "http://host:port".
void initEndpoints(const QString &baseUrl);
// Sets the program's shared job pool (QThreadPool::globalInstance()) up once, at start: at most 10
// threads, kept while idle. No window changes it afterwards.
void setUpJobPool();

// ---- logged-in user ----
extern QString g_UID;
extern QString g_USERNAME;
extern QString g_SHOPID;
extern QString g_SHOPNAME;
extern QString g_SUPERID;
extern QString g_EID;

// ---- chosen shop ----
extern QString g_picPath;
extern QString g_bakPicPath;
extern QString g_homePicPath;
extern QStringList g_storeIds;
extern QStringList g_storeNames;
extern QString g_isshow_subproduct;
extern QString g_yptbcp;
extern QString g_xztp;
extern QString g_sjfjxz;
extern QString g_dovrabigimg;
extern QString g_dovraisdownloadall;
extern QString g_separateMode;
extern QString g_markDirName;
extern QString g_finishedDirName;

// ---- import ----
extern QString g_dovraServerPath;
extern QString g_lastSelectDir;
