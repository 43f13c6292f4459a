#pragma once
// The work sheet ("明细制作单") of a separated order: data in, HTML out.
//
// WorkSheetData holds everything a sheet shows: the order detail's values (named by the reply's keys),
// the order's goods, its finished photos with their descriptions, and what a preparation step found on
// disk (the thumbnails' widths, the marked pictures' sizes). buildWorkSheetHtml() reads no file and
// writes none; it is made of section functions that the after-sample and Dovra sheets use as well.
//
// Values are HTML-escaped where they are inserted, but for the ones that carry markup from the web
// service: getphotodate_html, shopdisclaimer, consumption_statement, and orderdescr, whose text the
// order-detail reader escapes before its line breaks become "<BR>".

#include "imagedata.h"
#include "orderrecords.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

// Whose sheet it is. The separation's urgent goods table gives "制作要求" and "备注" 15% each; the
// after-sample sheet gives both goods tables the normal one's 20% and 10%.
enum class WorkSheetKind {
    Separation,
    AfterSample,
};

struct WorkSheetData {
    // ---- from the order detail ----
    QString mname, wname, mphone, wphone, mmail, wmail;
    QString vipphotonumber;
    QString shopdisclaimer; // markup
    QString s2_name, booksuccess;
    QString orderdescr;     // escaped, line breaks as "<BR>"
    QString tiaose, tiaoxiu, sheji, role1, role2;
    QString shopname, role9name, role6name, order_price;
    QString photodate, selectphotodate;
    QString getphotodate_html; // markup
    QString orderpayforkey;    // the current order's, not the reply's
    QString isurgenttime, checktruing, comparedate, morephotonumber, activenumber;
    QString recipients, sj_tel, qualitytime;
    QString sampleStartTime; // "samplestarttime:samplestartmin" when both are given
    QString getphotoareaTime, kanbanareaTime, kanjinxiuareaTime;
    QString mssid, servershopid, booktime, wxname, tuiguangname, selectphoto;
    QString yqnumber, goodpnumber, yx_number, role17, role3, role16, role4;
    QString twosales, dept, pay_type;
    QString servicetimes; // the current order's, not the reply's
    QString count, buynumber;
    QString fullAddress;
    QString selectphotoname; // from the order's row of the search
    QString count_order_sample_infoservicetimes;
    QString consumption_statement; // markup
    QJsonArray servicetime;           // the service times with their goods
    QList<QStringList> picsMarkArr;   // per marked photo: its name, then its mark texts

    // ---- the order's goods and photos ----
    QList<OrderGoodsInfo> goods;   // the order's products, in reply order
    QList<Image> finishedPhotos;   // file name and description of every finished photo
    QString barcodePath;           // "条形码.jpg" in the work folder
    QString thumbFolder;           // the work-sheet thumbnail folder, ending in "/"
    // Width of each thumbnail in thumbFolder by file name; a thumbnail not listed could not be read.
    QHash<QString, int> thumbWidths;
    // Size of each marked picture (as copied into thumbFolder + "marks/") by its name; one not listed
    // could not be read.
    QHash<QString, QSize> markSizes;
    QDateTime printTime;
    WorkSheetKind kind = WorkSheetKind::Separation;
};

// The sheet as one HTML text: the sections below, in this order.
QString buildWorkSheetHtml(const WorkSheetData &data);

// The head, the style sheet and the opening of the centred body.
QString workSheetHead();
// Shop name and barcode picture.
QString workSheetHeader(const WorkSheetData &data);
// The 13-row order table.
QString workSheetOrderTable(const WorkSheetData &data);
// "总体要求" and "消费要求", each only when it has text.
QString workSheetRequirements(const WorkSheetData &data);
// "调修要求": the marked pictures, two a row, each with its numbered marks.
QString workSheetMarks(const WorkSheetData &data);
// "指定制作": per service time its urgent and its normal goods table.
QString workSheetGoodsTables(const WorkSheetData &data);
// The finished photos, six a row, with names and descriptions.
QString workSheetAlbum(const WorkSheetData &data);
// Disclaimer, signatures, print time and the document's end.
QString workSheetClosing(const WorkSheetData &data);

// The work-sheet thumbnail of a product photo: its file name, a ".JPG" ending as ".jpg", since the
// thumbnails take the finished photos' names as the image store lists them.
QString sheetThumbName(const QString &photo);
// Where the sheet finds a marked picture: thumbFolder + "marks/" + name; "" for a name that is not one safe
// name (isSafeName: folder parts, a drive or stream, NUL, too long).
QString markedPicturePath(const WorkSheetData &data, const QString &name);
// An image reference of a sheet: the path's file URL (so "#" and "%" in a path keep the picture),
// HTML-escaped for an attribute.
QString sheetImageSource(const QString &path);
// The same reference as the document resolves it (the key of a picture given to the document).
QUrl sheetImageUrl(const QString &path);
// A mark text "a-b-N-d-text" as the sheet lists it: "N. text" (a missing part is empty, its number 0).
QString markItemText(const QString &mark);
