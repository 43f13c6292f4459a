#include "samplestudio.h"
#include "barcodepicture.h"

#include "standin.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>

#include <memory>
#include <mutex>

namespace standin {

namespace {

const char *const kUserName = "demo";
const char *const kPassword = "123456";
const char *const kSmsCode = "123456";

QJsonObject shop(const QString &id, const QString &name)
{
    return QJsonObject {{"id", id}, {"name", name}};
}

QString joinNonEmpty(const QStringList &parts, const QString &sep)
{
    QStringList kept;
    for (const QString &p : parts) {
        if (!p.isEmpty())
            kept.append(p);
    }
    return kept.join(sep);
}

QStringList names(const QList<SamplePhoto> &photos)
{
    QStringList out;
    for (const SamplePhoto &p : photos)
        out.append(p.name);
    return out;
}

// A few bytes that start like an MP4 file; nothing in the program plays them.
QByteArray dummyVideo(const QString &name)
{
    QByteArray b("\x00\x00\x00\x18" "ftypmp42\x00\x00\x00\x00" "mp42isom", 24);
    b += "sample video " + name.toUtf8();
    return b;
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        if (error)
            *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

bool makeDir(const QString &path, QString *error)
{
    if (QDir().mkpath(path))
        return true;
    if (error)
        *error = QStringLiteral("cannot create %1").arg(path);
    return false;
}

// shotTimes: the shot time of each photo, in order (none when the list is shorter).
bool writePhotos(const QString &dir, const QList<SamplePhoto> &photos, const QColor &tint, QString *error,
                 const QStringList &shotTimes = QStringList())
{
    for (int i = 0; i < photos.size(); ++i) {
        const SamplePhoto &p = photos.at(i);
        if (!writeFile(dir + p.name,
                       testsupport::jpegWithOrientation(p.size, p.orientation, p.motorola, tint, shotTimes.value(i)), error))
            return false;
    }
    return true;
}

// A day some days after (or, negative, before) a yyyy-MM-dd date, in the same form.
QString daysAfter(const QString &date, int days)
{
    return QDate::fromString(date, Qt::ISODate).addDays(days).toString(Qt::ISODate);
}

// The service's dates are those of China (UTC+8).
const int kServiceUtcOffset = 8 * 3600;

// The day a studio was written into its folder, from the note written with it; today for a studio that
// is not there yet (or that does not say).
QDate writtenDay(const QString &note)
{
    QFile file(note);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("written ")) {
                const QDate day = QDate::fromString(QString::fromLatin1(line.mid(8).trimmed()), Qt::ISODate);
                if (day.isValid())
                    return day;
            }
        }
    }
    return QDate::currentDate();
}

// What the program has posted about the orders since the replies were installed: by order id, the
// order fields those posts changed, and by product id, the product fields a dispatch changed. The
// handlers run on the server's threads, hence the lock.
struct PostedOrders {
    mutable std::mutex mutex;
    QHash<QString, QJsonObject> changes;
    QHash<QString, QJsonObject> goodChanges;

    static void merge(QHash<QString, QJsonObject> &into, const QString &id, const QJsonObject &fields)
    {
        QJsonObject &entry = into[id];
        for (auto it = fields.begin(); it != fields.end(); ++it)
            entry.insert(it.key(), it.value());
    }

    static QJsonObject withFields(QJsonObject object, const QJsonObject &fields)
    {
        for (auto it = fields.begin(); it != fields.end(); ++it)
            object.insert(it.key(), it.value());
        return object;
    }

    void remember(const QString &id, const QJsonObject &fields)
    {
        if (id.isEmpty() || fields.isEmpty())
            return;
        std::lock_guard<std::mutex> lock(mutex);
        merge(changes, id, fields);
    }

    void rememberGood(const QString &id, const QJsonObject &fields)
    {
        if (id.isEmpty() || fields.isEmpty())
            return;
        std::lock_guard<std::mutex> lock(mutex);
        merge(goodChanges, id, fields);
    }

    QJsonObject applied(const QJsonObject &order) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return withFields(order, changes.value(order.value(QStringLiteral("order_photo_id")).toString()));
    }

    // A product reply ("order" with its two product lists) with what dispatches changed in its products.
    QJsonObject appliedToGoods(QJsonObject reply) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        QJsonObject order = reply.value(QStringLiteral("order")).toObject();
        for (const char *list : {"ordergoods0", "ordergoods2"}) {
            QJsonArray goods = order.value(QLatin1String(list)).toArray();
            for (int i = 0; i < goods.size(); ++i) {
                const QJsonObject good = goods.at(i).toObject();
                goods[i] = withFields(good, goodChanges.value(good.value(QStringLiteral("id")).toString()));
            }
            order.insert(QLatin1String(list), goods);
        }
        reply.insert(QStringLiteral("order"), order);
        return reply;
    }
};

// The print shops and post-production factories the dispatch desk assigns, and the staff.
QJsonArray printShops()
{
    return QJsonArray {shop("1", "星光冲印"), shop("2", "快印坊")};
}

QJsonArray factories()
{
    return QJsonArray {shop("3", "后期一厂"), shop("4", "后期二厂")};
}

QJsonArray staff()
{
    return QJsonArray {shop("2001", "周杰"), shop("2002", "吴彤"), shop("2003", "陈摄"), shop("2004", "A&B<小组>")};
}

// The name of the entry with that id ("" for none, as for the id "0" of 请选择).
QString nameOf(const QJsonArray &entries, const QString &id)
{
    for (const QJsonValue &e : entries) {
        if (e.toObject().value(QStringLiteral("id")).toString() == id)
            return e.toObject().value(QStringLiteral("name")).toString();
    }
    return QString();
}

// The service's clock: now in China, as its replies write times.
QString serviceNow()
{
    return QDateTime::currentDateTimeUtc().toOffsetFromUtc(kServiceUtcOffset).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The order a post is about.
QString postedOrderId(const Request &r)
{
    for (const char *name : {"order_photo_id", "orderphotoid", "orderid"}) {
        const QString id = r.field(name);
        if (!id.isEmpty())
            return id;
    }
    return QString();
}

// The video list that a post gives the trial (type 3) or retouched (type 4) videos, as order fields.
QJsonObject postedVideos(const Request &r)
{
    const QString type = r.field("typeid");
    const QString prefix = type == "3" ? "trialvideo" : type == "4" ? "retouchvideo" : QString();
    if (prefix.isEmpty() || !r.fieldNames().contains("videopaths"))
        return QJsonObject();
    return QJsonObject {{prefix + "paths", r.field("videopaths")}, {prefix + "files", r.field("videofiles")}};
}

// How a search picks its orders: by order number, name or phone number, or by the day of one date
// field of the order (an epoch field holds seconds since 1970).
struct SearchRule {
    enum By { Nothing, Number, Name, Phone, Date, Epoch } by = Nothing;
    QString field;
};

SearchRule searchRule(const Request &r, QString *keyword)
{
    const QString deskType = r.field("type");
    if (deskType.isEmpty() || r.fieldNames().contains("searchtype")) {
        *keyword = r.field("keyword").trimmed();
        static const QHash<QString, SearchRule> kinds {
            {"1", {SearchRule::Number, {}}},
            {"2", {SearchRule::Name, {}}},
            {"3", {SearchRule::Phone, {}}},
            {"4", {SearchRule::Date, "shotdate"}},         // 拍摄日期
            {"5", {SearchRule::Date, "selectphotodate"}},  // 选片日期
            {"6", {SearchRule::Epoch, "booktime"}},        // 预约日期
            {"7", {SearchRule::Date, "senddate"}},         // 发货日期
            {"8", {SearchRule::Date, "selectphototime"}},  // 选片完成日期
            {"9", {SearchRule::Date, "gotodigitaltime"}},  // 上件日期
            {"10", {SearchRule::Date, "getphotodate"}},    // 取件完成日期
            {"11", {SearchRule::Date, "qualitytime"}},     // 品管安排日期
            {"12", {SearchRule::Date, "shejitime"}},       // 转设计时间
            {"13", {SearchRule::Date, "gotodigitaltime"}}, // 转数码日期
        };
        return kinds.value(r.field("searchtype"));
    }
    // the desks: the keyword comes under a field named after what is searched
    static const QHash<QString, QPair<QString, SearchRule>> desk {
        {"1", {"orderpayforkey", {SearchRule::Number, {}}}},
        {"2", {"photodate", {SearchRule::Date, "shotdate"}}},
        {"3", {"selectphotodate", {SearchRule::Date, "selectphotodate"}}},
        {"4", {"selectphotodate", {SearchRule::Epoch, "booktime"}}},
        {"5", {"selectphotodate", {SearchRule::Date, "senddate"}}},
        {"6", {"orderpayforkey", {SearchRule::Name, {}}}},
        {"7", {"orderpayforkey", {SearchRule::Phone, {}}}},
    };
    const auto it = desk.constFind(deskType);
    if (it == desk.constEnd())
        return SearchRule();
    *keyword = r.field(it->first).trimmed();
    return it->second;
}

bool matches(const SearchRule &rule, const QString &keyword, const SampleOrder &o, const QJsonObject &json)
{
    switch (rule.by) {
    case SearchRule::Number:
        return o.payForKey.contains(keyword, Qt::CaseInsensitive) || o.key() == keyword;
    case SearchRule::Name:
        return o.bname.contains(keyword) || o.wname.contains(keyword) || o.mname.contains(keyword);
    case SearchRule::Phone:
        return o.mphone.contains(keyword) || o.wphone.contains(keyword);
    case SearchRule::Date:
        return json.value(rule.field).toString().left(10) == keyword;
    case SearchRule::Epoch: {
        bool ok = false;
        const qint64 seconds = json.value(rule.field).toString().toLongLong(&ok);
        const QDateTime at = QDateTime::fromSecsSinceEpoch(seconds, Qt::OffsetFromUTC, kServiceUtcOffset);
        return ok && at.date().toString(Qt::ISODate) == keyword;
    }
    case SearchRule::Nothing:
        break;
    }
    return false;
}

QJsonObject listReply(const SampleStudio &studio, const Request &request, const PostedOrders *posted)
{
    QString keyword;
    const SearchRule rule = searchRule(request, &keyword);
    QJsonArray data;
    for (const SampleOrder &o : studio.orders) {
        const QJsonObject json = posted ? posted->applied(studio.orderJson(o)) : studio.orderJson(o);
        if (keyword.isEmpty() || matches(rule, keyword, o, json))
            data.append(json);
    }
    return QJsonObject {{"code", "1"}, {"message", ""}, {"data", data}, {"order", data},
                        {"printshops", printShops()}, {"factorys", factories()}};
}

// The shot time of the i-th photo taken on a day "yyyy-MM-dd", as a camera writes it.
QString shotTimeOn(const QString &day, int i)
{
    return QString(day).replace(QLatin1Char('-'), QLatin1Char(':')) + QStringLiteral(" 10:%1:%2")
        .arg(i / 60, 2, 10, QLatin1Char('0'))
        .arg(i % 60, 2, 10, QLatin1Char('0'));
}

// A camera-raw stand-in: a TIFF-like header carrying the shot time near its start.
QByteArray rawBytes(const QString &name, const QString &shotTime)
{
    return QByteArray("II*\0DateTime ", 13) + shotTime.toLatin1() + QByteArray("\0sample raw ", 12) + name.toUtf8();
}

} // namespace

QString SampleOrder::key() const
{
    return payForKey + QLatin1Char('-') + serviceTimes;
}

QString SampleOrder::customerNames() const
{
    return joinNonEmpty({bname, wname, mname}, QStringLiteral("-"));
}

QString SampleOrder::folderName() const
{
    const QString suffix = joinNonEmpty({customerNames(), role1, role2}, QStringLiteral("-"));
    return suffix.isEmpty() ? key() : key() + QLatin1Char('-') + suffix;
}

SampleStudio::SampleStudio(const QString &dir)
{
    folder = QDir::cleanPath(QDir(dir).absolutePath()) + QLatin1Char('/');
    writtenOn = writtenDay(folder + QStringLiteral("studio.txt"));
    picRoot = folder + QStringLiteral("pic/");
    bakRoot = folder + QStringLiteral("bak/");
    homeRoot = folder + QStringLiteral("home/");
    dovraRoot = folder + QStringLiteral("dovra/");
    incomingRoot = folder + QStringLiteral("待导入/");
    // photos straight from the camera, some of them held sideways or upside down
    const int turns[] = {1, 6, 8, 3, 1, 6};
    for (int i = 0; i < 6; ++i)
        incoming.append({QStringLiteral("IMG_%1.jpg").arg(7301 + i), i % 2 ? QSize(1200, 800) : QSize(900, 600),
                         turns[i], i >= 3});

    auto place = [this](SampleOrder &o) {
        const QStringList d = o.shotDate.split(QLatin1Char('-'));
        const QString rel = d.value(0) + QLatin1Char('-') + d.value(1) + QLatin1Char('/') + d.value(2) + QLatin1Char('/')
                            + o.folderName() + QLatin1Char('/');
        o.orderPath = picRoot + rel;
        o.orderBakPath = bakRoot + rel;
    };

    SampleOrder a;
    a.id = "5001";
    a.payForKey = "A1203";
    a.serviceTimes = "1";
    a.bname = "张小宝";
    a.wname = "李梅";
    a.mname = "张伟";
    a.mphone = "13800000001";
    a.wphone = "13900000001";
    a.role1 = "周杰";
    a.role2 = "吴彤";
    a.storesName = "星光店";
    a.shotDate = daysBeforeWritten(27);
    a.originals = {{"IMG_0001.jpg", {640, 480}, 1, false}, {"IMG_0002.jpg", {480, 640}, 6, false},
                   {"IMG_0003.jpg", {640, 480}, 3, true}};
    a.rawFiles = QStringList{"IMG_0001.CR2", "IMG_0002.CR2", "IMG_0003.CR2"};
    a.strayRaw = "IMG_0099.CR2";
    a.shotTimeList = true;
    a.finished = {{"IMG_0001.jpg", {640, 480}, 1, false}, {"IMG_0002.jpg", {480, 640}, 6, false},
                  {"IMG_0003.jpg", {640, 480}, 3, true}, {"IMG_0004.JPG", {480, 640}, 8, true}};
    a.rejected = {{"IMG_0009.jpg", {320, 240}, 1, false}};
    a.marked = {{"IMG_0002.jpg", {480, 640}, 6, true}};
    a.designs = {{"设计01.jpg", {600, 400}, 0, false}};
    a.trialVideos = QStringList{"试拍01.mp4"};
    a.retouchVideos = QStringList{"精修01.mp4"};
    a.dovraRel = a.shotDate.left(7) + "\\A1203-1"; // nested, below its month
    a.dovraSelection = SampleOrder::SelectionDone;
    a.dovraDesign = true;
    place(a);
    orders.append(a);

    SampleOrder b;
    b.id = "5002";
    b.payForKey = "B2207";
    b.serviceTimes = "2";
    b.wname = "王芳";
    b.mname = "刘强";
    b.wphone = "13900000002";
    b.role1 = "陈摄";
    b.storesName = "星光店";
    b.shotDate = daysBeforeWritten(19);
    b.originals = {{"DSC_1001.jpg", {800, 600}, 8, false}, {"DSC_1002.jpg", {600, 800}, 1, true}};
    b.rawFiles = QStringList{"DSC_1001.CR2", "DSC_1002.CR2"};
    b.finished = {{"DSC_1001.jpg", {800, 600}, 8, false}, {"DSC_1002.jpg", {600, 800}, 6, true},
                  {"DSC_1003.jpg", {800, 600}, 3, false}};
    b.marked = {{"DSC_1003.jpg", {800, 600}, 3, false}};
    b.trialVideos = QStringList{"clip01.mp4", "clip02.mp4"};
    b.selectionFinished = true;
    b.dovraRel = "B2207-2";
    b.dovraSelection = SampleOrder::SelectionDone;
    place(b);
    orders.append(b);

    SampleOrder c;
    c.id = "5003";
    c.payForKey = "C3105";
    c.serviceTimes = "1";
    c.bname = "陈果果";
    c.mphone = "13800000003";
    c.role1 = "周杰";
    c.role2 = "林化妆";
    c.storesName = "月影店";
    c.shotDate = daysBeforeWritten(7);
    c.originals = {{"P0001.jpg", {300, 200}, 6, true}};
    c.rawFiles = QStringList{"P0001.CR2"};
    c.finished = {{"P0001.jpg", {300, 200}, 6, true}, {"P0002.jpg", {200, 300}, 1, true}};
    c.rejected = {{"P0003.jpg", {300, 200}, 8, false}, {"P0004.jpg", {300, 200}, 3, true}};
    c.dovraRel = "C3105-1";
    c.dovraSelection = SampleOrder::HiddenMarkerOnly;
    place(c);
    orders.append(c);

    SampleOrder d;
    d.id = "5004";
    d.payForKey = "D4410";
    d.serviceTimes = "3";
    d.wname = "赵敏";
    d.wphone = "13900000004";
    d.storesName = "星光店";
    d.shotDate = daysBeforeWritten(7);
    d.originals = {{"IMG_2001.jpg", {640, 480}, 3, false}, {"IMG_2002.jpg", {480, 640}, 0, false}};
    d.finished = {{"IMG_2001.jpg", {640, 480}, 3, false}, {"IMG_2002.png", {480, 640}, 0, false}};
    // raw files of two makes, an original beside the retouched PNG under the same name, and a folder
    // among the finished photos
    d.rawFiles = QStringList{"IMG_2001.CR2", "IMG_2001.NEF", "IMG_2002.png"};
    d.finishedFolders = QStringList{"精修备份"};
    d.retouchVideos = QStringList{"精修A.mp4"};
    d.dovraRel = "D4410-3"; // Dovra has it, nothing selected yet
    place(d);
    orders.append(d);

    // An order that has not been imported yet: the web service knows no folder for it.
    SampleOrder e;
    e.id = "5005";
    e.payForKey = "E5520";
    e.serviceTimes = "1";
    e.bname = "孙悟";
    e.mname = "孙大圣";
    e.mphone = "13800000005";
    e.role1 = "陈摄";
    e.storesName = "月影店";
    e.shotDate = daysBeforeWritten(2);
    orders.append(e);
}

QString SampleStudio::missingPhotoName()
{
    return QStringLiteral("IMG_9999.jpg");
}

QString SampleStudio::originalShotTime(const SampleOrder &order, int i)
{
    return shotTimeOn(order.shotDate, i + 1);
}

QString SampleStudio::incomingShotTime(int i) const
{
    return shotTimeOn(daysBeforeWritten(2), 31 + i);
}

QString SampleStudio::daysBeforeWritten(int days) const
{
    return writtenOn.addDays(-days).toString(Qt::ISODate);
}

void SampleStudio::addUnsafeOrders()
{
    SampleOrder relative;
    relative.id = "5006";
    relative.payForKey = "F6601";
    relative.serviceTimes = "1";
    relative.bname = "周小周";
    relative.mphone = "13800000006";
    relative.storesName = "星光店";
    relative.shotDate = daysBeforeWritten(2);
    relative.orderPath = "pic/F6601-1/";
    relative.writeFolder = false;
    orders.append(relative);

    SampleOrder root = relative;
    root.id = "5007";
    root.payForKey = "G7702";
    root.bname = "吴小吴";
    root.mphone = "13800000007";
    root.orderPath = picRoot;
    orders.append(root);
}

QStringList SampleStudio::orderSubFolders()
{
    return {"照片/", "照片/新建文件夹/", "成品/", "汰片/", "设计/", "试拍视频/", "精修视频/",
            "thumbnail/", "thumbnail100/", "thumbnail2250/", "成品缩略图/", "成品缩略图100/",
            "成品缩略图2250/", "设计缩略图/", "设计缩略图100/", "设计缩略图2250/", "marks/"};
}

bool SampleStudio::treeExists() const
{
    return QFile::exists(folder + QStringLiteral("studio.txt"));
}

bool SampleStudio::writeTree(QString *error) const
{
    for (const QString &root : {picRoot, bakRoot, homeRoot, dovraRoot + "星光店/产品/", dovraRoot + "星光店/选版服务器/",
                                dovraRoot + "月影店/"}) {
        if (!makeDir(root, error))
            return false;
    }
    for (const SampleOrder &o : orders) {
        if (o.orderPath.isEmpty() || !o.writeFolder)
            continue;
        for (const QString &sub : orderSubFolders()) {
            if (!makeDir(o.orderPath + sub, error))
                return false;
        }
        if (!makeDir(o.orderBakPath + "照片/", error))
            return false;
        QStringList originalTimes;
        for (int i = 0; i < o.originals.size(); ++i)
            originalTimes << originalShotTime(o, i);
        if (!writePhotos(o.orderPath + "照片/", o.originals, QColor(40, 120, 200), error, originalTimes)
            || !writePhotos(o.orderBakPath + "照片/", o.originals, QColor(40, 120, 200), error, originalTimes)
            || !writePhotos(o.orderPath + "成品/", o.finished, QColor(200, 140, 60), error)
            || !writePhotos(o.orderPath + "汰片/", o.rejected, QColor(90, 90, 90), error)
            || !writePhotos(o.orderPath + "marks/", o.marked, QColor(160, 60, 160), error)
            || !writePhotos(o.orderPath + "设计/", o.designs, QColor(60, 160, 90), error))
            return false;
        // the thumbnails the import keeps of every imported photo, finished photo and design (the list
        // icons come from the 100-px ones)
        struct Thumbs {
            const QList<SamplePhoto> &photos;
            QString folder;
            QColor tint;
        };
        for (const Thumbs &kind : {Thumbs {o.originals, "thumbnail", QColor(40, 120, 200)},
                                   Thumbs {o.finished, "成品缩略图", QColor(200, 140, 60)},
                                   Thumbs {o.designs, "设计缩略图", QColor(60, 160, 90)}}) {
            for (const SamplePhoto &p : kind.photos) {
                for (const auto &thumb : {qMakePair(kind.folder + "/", 200), qMakePair(kind.folder + "100/", 100)}) {
                    const QSize small = p.size.scaled(thumb.second, thumb.second, Qt::KeepAspectRatio);
                    if (!writeFile(o.orderPath + thumb.first + p.name,
                                   testsupport::jpegWithOrientation(small, p.orientation, p.motorola, kind.tint), error))
                        return false;
                }
            }
        }
        // A finished photo's preview stands for it only when written after it as the file system counts
        // time; one written in the photo's own clock tick is dated just after it.
        for (const SamplePhoto &p : o.finished) {
            const QDateTime photoChanged = QFileInfo(o.orderPath + "成品/" + p.name).metadataChangeTime();
            QFile preview(o.orderPath + "成品缩略图/" + p.name);
            if (QFileInfo(preview).lastModified() <= photoChanged
                && !(preview.open(QIODevice::ReadWrite)
                     && preview.setFileTime(photoChanged.addMSecs(1), QFileDevice::FileModificationTime))) {
                if (error)
                    *error = preview.fileName() + ": " + preview.errorString();
                return false;
            }
        }
        for (const QString &sub : o.finishedFolders) {
            if (!makeDir(o.orderPath + "成品/" + sub + "/", error)
                || !writePhotos(o.orderPath + "成品/" + sub + "/", {{"旧版.jpg", {320, 240}, 0, false}},
                                QColor(200, 140, 60), error))
                return false;
        }
        QString shotTimes;
        for (const QString &raw : o.rawFiles) {
            // a raw belongs to the photo of its base name
            QString time;
            for (int i = 0; i < o.originals.size(); ++i) {
                if (QFileInfo(o.originals.at(i).name).completeBaseName() == QFileInfo(raw).completeBaseName())
                    time = originalShotTime(o, i);
            }
            if (!writeFile(o.orderPath + "照片/新建文件夹/" + raw, rawBytes(raw, time), error))
                return false;
        }
        if (!o.strayRaw.isEmpty()
            && !writeFile(o.orderPath + "照片/新建文件夹/" + o.strayRaw, rawBytes(o.strayRaw, shotTimeOn(o.shotDate, 59)), error))
            return false;
        if (o.shotTimeList) {
            // what the single-order import writes: photo name without ".jpg", ">", the time without the century
            for (int i = 0; i < o.originals.size(); ++i)
                shotTimes += QFileInfo(o.originals.at(i).name).completeBaseName() + QLatin1Char('>')
                             + originalShotTime(o, i).mid(2) + QLatin1Char('|');
            if (!writeFile(o.orderPath + "ImageTime.txt", shotTimes.toUtf8(), error))
                return false;
        }
        for (const QString &v : o.trialVideos) {
            if (!writeFile(o.orderPath + "试拍视频/" + v, dummyVideo(v), error))
                return false;
        }
        for (const QString &v : o.retouchVideos) {
            if (!writeFile(o.orderPath + "精修视频/" + v, dummyVideo(v), error))
                return false;
        }
    }
    if (!writeDovraTree(error))
        return false;
    QStringList incomingTimes;
    for (int i = 0; i < incoming.size(); ++i)
        incomingTimes << incomingShotTime(i);
    if (!makeDir(incomingRoot, error) || !writePhotos(incomingRoot, incoming, QColor(230, 170, 80), error, incomingTimes)
        || !writeFile(incomingRoot + "试拍_01.mp4", dummyVideo("试拍_01.mp4"), error))
        return false;
    return writeFile(folder + QStringLiteral("studio.txt"),
                     "Sample studio: photo root pic/, backup root bak/, Dovra folders dovra/, "
                     "photos waiting to be imported 待导入/.\nwritten "
                         + writtenOn.toString(Qt::ISODate).toLatin1() + "\n",
                     error);
}

QString SampleStudio::dovraServer() const
{
    return dovraRoot + QStringLiteral("星光店/选版服务器/");
}

bool SampleStudio::writeDovraTree(QString *error) const
{
    for (const SampleOrder &o : orders) {
        if (o.dovraRel.isEmpty())
            continue;
        const QString rel = QString(o.dovraRel).replace('\\', '/');
        // the order's copy as the import leaves it: Dovra's small photos
        QList<SamplePhoto> small;
        for (const SamplePhoto &p : o.finished)
            small.append({p.name, p.size / 4, p.orientation, p.motorola});
        if (!makeDir(dovraServer() + rel, error) || !writePhotos(dovraServer() + rel + "/", small, QColor(120, 120, 200), error))
            return false;
        if (o.dovraSelection == SampleOrder::NotSelected)
            continue;
        // the finished selection: album pages in sub-folders, a cover design, a note, the photos and
        // pages left out of the album, and the marker Dovra writes when the selection is done
        const QString result = dovraServer() + "[已选]" + rel + "/选版结果/";
        for (int i = 0; i < small.size(); ++i) {
            const QString page = result + (i < 2 ? QStringLiteral("相册/%1/").arg(i + 1, 2, 10, QLatin1Char('0'))
                                                 : i == 2 ? QStringLiteral("未入册版面/") : QStringLiteral("未入册照片/"));
            if (!makeDir(page, error) || !writePhotos(page, {small.at(i)}, QColor(120, 120, 200), error))
                return false;
        }
        if (!writeFile(result + "封面.psd", "8BPS sample cover", error) || !writeFile(result + "说明.txt", "选版说明", error)
            || !writeFile(result + (o.dovraSelection == SampleOrder::SelectionDone ? "选版完成.ok" : ".选版完成.ok"), "",
                          error))
            return false;
        if (o.dovraDesign) {
            const QString design = dovraServer() + "[已选]" + rel + "/" + rel + "_待Dovra设计同步用数据/";
            if (!makeDir(design, error) || !writeFile(design + "设计稿.psd", "8BPS sample design", error))
                return false;
        }
    }
    return true;
}

const SampleOrder *SampleStudio::findOrder(const QString &id) const
{
    for (const SampleOrder &o : orders) {
        if (o.id == id)
            return &o;
    }
    return nullptr;
}

const SampleOrder *SampleStudio::orderFor(const Request &request) const
{
    for (const char *name : {"order_photo_id", "orderid"}) {
        QString id = request.field(name);
        if (id.isEmpty()) {
            for (const auto &q : request.queryFields) {
                if (q.first == QLatin1String(name)) {
                    id = q.second;
                    break;
                }
            }
        }
        if (!id.isEmpty())
            return findOrder(id);
    }
    const QString key = request.field("orderpayforkey").trimmed();
    if (!key.isEmpty()) {
        for (const SampleOrder &o : orders) {
            if (o.payForKey == key || o.key() == key)
                return &o;
        }
        return nullptr;
    }
    return orders.isEmpty() ? nullptr : &orders.first();
}

QJsonObject SampleStudio::orderJson(const SampleOrder &o) const
{
    const QJsonObject roots {{"picpath", picRoot}, {"bakpicpath", bakRoot}, {"homepicpath", homeRoot},
                             {"dovrapath", dovraRoot + "星光店"}};
    // the order's other days follow its shooting day
    const QString shot = o.shotDate;
    const qint64 booked = QDateTime(QDate::fromString(daysAfter(shot, -20), Qt::ISODate), QTime(6, 30),
                                    Qt::OffsetFromUTC, kServiceUtcOffset).toSecsSinceEpoch();
    QJsonObject obj {
        {"order_photo_id", o.id}, {"orderid", o.id}, {"orderpayforkey", o.payForKey},
        {"servicetimes", o.serviceTimes}, {"storesname", o.storesName}, {"phototype", "儿童照"},
        {"bname", o.bname}, {"wname", o.wname}, {"mname", o.mname}, {"mphone", o.mphone}, {"wphone", o.wphone},
        {"momtel", o.wphone}, {"dadtel", o.mphone}, {"comboname", "童年时光套系"}, {"comboprice", "2999"},
        {"order_price", "2599"}, {"orderbaseprice", "2999"}, {"booktime", QString::number(booked)},
        {"gotodigitaltime", shot + " 18:00:00"}, {"shotdate", shot}, {"photodate2", shot},
        {"sampledate", shot}, {"getphotodate", daysAfter(shot, 40)}, {"pickuptime", daysAfter(shot, 40)},
        {"urgentdate", daysAfter(shot, 30)}, {"isurgenttime", ""}, {"pickuptype", o.id == "5002" ? "1" : "0"},
        {"senddate", daysAfter(shot, 35)}, {"qualitytime", daysAfter(shot, 18)},
        {"role1", o.role1}, {"role2", o.role2}, {"role10", "0"}, {"yindouer", "小何"},
        {"tiaosename", "调色师阿伟"}, {"tiaoxiname", "修片师小美"}, {"twosales", "0"},
        {"selectphotoname", "选片师小林"}, {"selectphotodate", daysAfter(shot, 9)},
        {"selectphototime", daysAfter(shot, 9) + " 10:00:00"},
        {"gotodigitalname", "前台小王"}, {"sheji", "设计师阿杰"}, {"shejitime", daysAfter(shot, 14)}, {"debt", "0"},
        {"orderpath", o.orderPath}, {"orderbakpicpath", o.orderBakPath},
        {"dovrapath", o.dovraRel.isEmpty() ? QString() : dovraRoot + "星光店\\选版服务器\\" + o.dovraRel},
        {"picpathnew", roots}};
    return obj;
}

QJsonObject SampleStudio::orderListReply(const Request &request) const
{
    return listReply(*this, request, nullptr);
}

QJsonObject SampleStudio::goodsReply(const SampleOrder &o) const
{
    const QStringList fin = names(o.finished);
    const QJsonObject address {{"id", "71"}, {"province", "广东省"}, {"provinceid", "19"}, {"city", "深圳市"},
                               {"cityid", "1901"}, {"county", "南山区"}, {"countyid", "190101"},
                               {"address", "科技园一路1号"}, {"name", o.wname.isEmpty() ? o.mname : o.wname},
                               {"phone", o.wphone.isEmpty() ? o.mphone : o.wphone}, {"postcode", "518000"}};
    int next = 0;
    auto good = [&](const QString &name, const QString &type, const QString &typeId, const QStringList &photos,
                    bool express, bool homemade) {
        ++next;
        return QJsonObject {
            {"id", QString("%1%2").arg(o.id).arg(next, 2, 10, QLatin1Char('0'))}, {"orderid", o.id},
            {"goodid", QString::number(300 + next)}, {"goodname", name}, {"goodtypename", type}, {"goodtype", type},
            {"goodtypeid", typeId}, {"goodsizename", "10寸"}, {"costing", "100"}, {"weight", "1"},
            {"getgooddate", daysAfter(o.shotDate, 44)}, {"descr", ""}, {"goodpnumber", QString::number(photos.size())},
            {"pnumber", QString::number(photos.size())}, {"p_num", QString::number(photos.size())},
            {"goodpagenumber", "10"}, {"goodamount", "1"}, {"number", "1"}, {"factoryname", "后期一厂"},
            {"printshopname", "星光冲印"}, {"sendToFactoryTime2", ""}, {"sendToPrintshopTime2", ""},
            {"picpath", photos.join('|')}, {"isems", express ? "1" : "0"}, {"isurgent", "0"},
            {"auth_remark", ""}, {"goodremark", ""}, {"ishomemade", homemade ? "1" : "0"}, {"parentid", "0"},
            {"isexist", "0"}, {"stock", ""}, {"factorykeyx", ""}, {"source_remarks", ""}, {"type", "0"},
            {"remarks", ""}, {"servicetime", o.serviceTimes}, {"orderaddress", address}, {"son_good", QJsonArray()}};
    };

    QJsonArray goods0, goods2;
    goods0.append(good("水晶相册", "相册", "15", fin, true, false));
    if (!fin.isEmpty())
        goods0.append(good("实木摆台", "摆台", "3", fin.mid(0, 1), false, true));
    // a set: the parent only groups its parts, which carry the photos
    QJsonObject set = good("全家福套装", "套装", "8", {}, true, false);
    set.insert("isexist", "1");
    QJsonArray parts;
    QJsonObject part1 = good("挂画", "挂画", "5", fin.mid(1, 1), true, false);
    part1.insert("parentid", set.value("id"));
    QJsonObject part2 = good("挂画", "挂画", "5", fin.mid(0, 1), true, false);
    part2.insert("parentid", set.value("id"));
    parts.append(part1);
    parts.append(part2);
    set.insert("son_good", parts);
    goods0.append(set);
    goods2.append(good("入册加片", "加片", "15", fin.mid(fin.size() - 1), false, false));
    if (!fin.isEmpty()) {
        // names the folders must clean: "*" becomes "x", "/" goes; two goods end up with one name
        goods0.append(good("相框*大", "相框", "5", fin.mid(1, 2), true, false));
        goods0.append(good("光盘/U盘", "光盘", "9", {}, false, false)); // an empty product
        goods0.append(good("设计服务", "设计", "40", {}, false, false)); // a service: no photos expected
        QJsonObject urgent = good("加急摆台", "摆台", "3", {fin.first(), SampleStudio::missingPhotoName()}, true, true);
        urgent.insert("isurgent", "1");
        goods2.append(urgent);
        goods2.append(good("相框x大", "相框", "5", fin.mid(0, 1), false, false));
    }

    const QJsonObject order {{"ordergoods0", goods0}, {"ordergoods2", goods2}, {"isurgenttime", ""},
                             {"pickuptime", daysAfter(o.shotDate, 50)}, {"role12name", "选片师小林"},
                             {"servicetimes", o.serviceTimes}};
    const QJsonObject info {{"orderpayforkey", o.payForKey}, {"mname", o.mname}, {"wname", o.wname},
                            {"mphone", o.mphone}, {"wphone", o.wphone}};
    return QJsonObject {{"code", "1"}, {"message", ""},
                        {"shop_set", QJsonObject {{"fenjian_ishaveordergoodid", goodsIdPrefix ? "1" : "0"}}},
                        {"order", order}, {"order_info", info}};
}

QJsonObject SampleStudio::deskGoodsReply(const SampleOrder &o) const
{
    QJsonObject reply = goodsReply(o);
    QJsonObject order = reply.value("order").toObject();
    for (const char *list : {"ordergoods0", "ordergoods2"}) {
        QJsonArray goods = o.orderPath.isEmpty() ? QJsonArray() : order.value(list).toArray();
        for (int i = 0; i < goods.size(); ++i) {
            QJsonObject good = goods.at(i).toObject();
            if (o.id == "5001" && i == 0 && QLatin1String(list) == QLatin1String("ordergoods0"))
                good.insert("isurgent", "1");
            if (o.id == "5002") {
                good.insert("id", good.value("id").toString().replace(0, 4, "B-"));
                good.insert("printshopname", "");
                good.insert("factoryname", "");
            }
            goods[i] = good;
        }
        order.insert(list, goods);
    }
    reply.insert("order", order);
    return reply;
}

QJsonObject SampleStudio::cropReply(const SampleOrder &o) const
{
    QJsonArray descr;
    for (int i = 0; i < o.finished.size(); ++i) {
        const SamplePhoto &p = o.finished.at(i);
        descr.append(QJsonObject {{"picname", p.name}, {"descr", i == 0 ? "裁成正方形" : ""},
                                  {"pictype", i == 0 ? "1" : "0"}, {"picx", "10"}, {"picy", "10"},
                                  {"picwidth", QString::number(qMin(p.size.width(), p.size.height()) / 2)},
                                  {"picheight", QString::number(qMin(p.size.width(), p.size.height()) / 2)}});
    }
    return QJsonObject {{"code", "1"}, {"orderpicdescr", descr}};
}

QJsonObject SampleStudio::detailReply(const SampleOrder &o) const
{
    const QJsonObject goods = goodsReply(o).value("order").toObject();
    // three service times: the first with the first array's goods, the second with the later array's
    // goods and its urgent ones, the third not operated yet
    QJsonArray ids, laterIds, urgentIds;
    for (const QJsonValue &g : goods.value("ordergoods0").toArray())
        ids.append(QJsonObject {{"id", g.toObject().value("id")}});
    for (const QJsonValue &g : goods.value("ordergoods2").toArray()) {
        const QJsonObject item {{"id", g.toObject().value("id")}};
        (g.toObject().value("isurgent").toString() == "1" ? urgentIds : laterIds).append(item);
    }
    const QJsonArray servicetime {
        QJsonObject {{"goods", ids}, {"urgentgoods", QJsonArray()}, {"order_sample_infoservicetimes", "1"},
                     {"role12name", "选片师小林"}},
        QJsonObject {{"goods", laterIds}, {"urgentgoods", urgentIds}, {"order_sample_infoservicetimes", "2"},
                     {"role12name", "选片师小林"}},
        QJsonObject {{"goods", QJsonArray {ids.first()}}, {"urgentgoods", QJsonArray()},
                     {"order_sample_infoservicetimes", "0"}, {"role12name", ""}}};
    // the marked photos with their numbered marks ("a-b-number-d-text"), the first also with a short one
    QJsonArray marks;
    for (int i = 0; i < o.marked.size(); ++i) {
        QJsonArray texts {"1-2-3-4-眼睛放大", "1-2-5-4-去掉痘印"};
        if (i == 0)
            texts.append("背景提亮");
        marks.append(QJsonObject {{"picname", o.marked.at(i).name}, {"mark", texts}});
    }
    const QJsonObject order {
        {"mname", o.mname}, {"wname", o.wname}, {"mphone", o.mphone}, {"wphone", o.wphone}, {"mmail", ""},
        {"wmail", ""}, {"vipphotonumber", "0"}, {"shopdisclaimer", "照片保存期为一年"}, {"s2_name", "门市小张"},
        {"booksuccess", "门市小张"}, {"orderdescr", "客人要求自然风格\n背景偏暖"}, {"tiaose", "调色师阿伟"},
        {"tiaoxiu", "修片师小美"}, {"sheji", "设计师阿杰"}, {"role1", o.role1}, {"role2", o.role2},
        {"shopname", o.storesName}, {"role9name", ""}, {"role6name", ""}, {"order_price", "2599"},
        {"photodate", o.shotDate}, {"selectphotodate", daysAfter(o.shotDate, 29)},
        {"getphotodate_html", daysAfter(o.shotDate, 50)},
        {"isurgenttime", ""}, {"checktruing", ""}, {"comparedate", ""}, {"morephotonumber", "0"},
        {"activenumber", "0"}, {"recipients", ""}, {"sj_tel", ""}, {"qualitytime", ""},
        {"samplestarttime", daysAfter(o.shotDate, 24)}, {"samplestartmin", "30"},
        {"getphotoarea", QJsonObject {{"timeTxt", "10:00"}}}, {"kanbanarea", QJsonObject {{"timeTxt", ":00"}}},
        {"kanjinxiuarea", QJsonObject {{"timeTxt", "14:30"}}}, {"mssid", ""}, {"servershopid", ""},
        {"booktime", daysAfter(o.shotDate, -11)}, {"wxname", ""}, {"tuiguangname", ""}, {"selectphoto", "30"},
        {"yqnumber", "0"}, {"goodpnumber", "30"}, {"yx_number", "0"}, {"role17", ""}, {"role3", ""},
        {"role16", ""}, {"role4", ""}, {"twosales", "0"}, {"dept", "儿童部"}, {"pay_type", "全款"},
        {"count", "1"}, {"buynumber", "0"}, {"provinceid", QJsonObject {{"areaname", "广东省"}}},
        {"cityid", QJsonObject {{"areaname", "深圳市"}}}, {"countyid", QJsonObject {{"areaname", "南山区"}}},
        {"address", "科技园一路1号"}, {"consumption_statement", "套系消费：相册一本"},
        // the after-sample service names its statement apart
        {"m_consumption_statement", "样后消费：加选精修十张"}};
    return QJsonObject {{"code", "1"}, {"servicetime", servicetime}, {"orderpicdescr", marks},
                        {"count_order_sample_infoservicetimes", "3"}, {"order", order}};
}

QJsonObject SampleStudio::loginReply(const Request &request) const
{
    if (request.field("username") != QLatin1String(kUserName) || request.field("password") != QLatin1String(kPassword))
        return QJsonObject {{"code", "0"}, {"message", "用户名或密码错误"}};
    return QJsonObject {{"code", "1"}, {"message", "登录成功"}, {"UID", "1001"}, {"USERNAME", "demo"},
                        {"SHOPID", "11"}, {"SHOPNAME", "星光店"}, {"SUPERID", "5"}, {"EID", "2001"},
                        {"shops", QJsonArray {shop("11", "星光店"), shop("12", "月影店")}}};
}

QJsonObject SampleStudio::changeShopReply(const Request &request) const
{
    const QString id = request.field("shopid");
    QString name;
    if (id == "11")
        name = "星光店";
    else if (id == "12")
        name = "月影店";
    else
        return QJsonObject {{"code", "0"}, {"message", "没有该门店的权限"}};
    return QJsonObject {{"code", "1"}, {"message", ""}, {"SHOPID", id}, {"SHOPNAME", name}, {"SUPERID", "5"},
                        {"EID", "2001"}, {"picpath", picRoot}, {"bakpicpath", bakRoot}, {"homepicpath", homeRoot},
                        {"stores", QJsonArray {shop("11", "星光店"), shop("13", "星光二店")}},
                        {"isshow_subproduct", "1"}, {"yptbcp", "0"}, {"xztp", "1"}, {"sjfjxz", "0"},
                        {"dovrabigimg", id == "11" ? "0" : "1"}, {"dovraisdownloadall", id == "11" ? "0" : "1"},
                        {"separatemode", ""},
                        {"markdirname", "标注"}, {"finisheddirname", "成品"}, {"isdelphoto", id == "11" ? "1" : "0"}};
}

QJsonArray SampleStudio::dovraStores() const
{
    // the first store's folder exists in the tree; the second one's is out of reach; the third one's
    // exists without its 产品 folder
    return QJsonArray {QJsonObject {{"id", "11"}, {"name", "星光店"}, {"dovrapath", dovraRoot + "星光店/"}},
                       QJsonObject {{"id", "13"}, {"name", "星光二店"}, {"dovrapath", folder + "unreachable/星光二店/"}},
                       QJsonObject {{"id", "12"}, {"name", "月影店"}, {"dovrapath", dovraRoot + "月影店"}}};
}

void SampleStudio::installReplies(Server &server) const
{
    const SampleStudio studio = *this; // the handlers run on the server's thread: they keep a copy
    const auto posted = std::make_shared<PostedOrders>();
    auto perOrder = [&server, studio](const QString &action, QJsonObject (SampleStudio::*reply)(const SampleOrder &) const) {
        server.setHandler(action, [studio, reply](const Request &r) {
            const SampleOrder *o = studio.orderFor(r);
            return o ? Reply::json((studio.*reply)(*o)) : Reply::refused(QStringLiteral("订单不存在"));
        });
    };
    auto done = [&server](const QString &action, const QString &message = QString()) {
        server.setReply(action, Reply::ok({{"message", message}}));
    };

    server.setHandler("login", [studio](const Request &r) { return Reply::json(studio.loginReply(r)); });
    server.setHandler("changeshop", [studio](const Request &r) { return Reply::json(studio.changeShopReply(r)); });
    server.setReply("check_update", Reply::ok({{"update", "0"}, {"message", ""}}));
    server.setReply("sendsmscode", Reply::ok({{"message", "验证码已发送"}, {"phone", "138****0000"}}));
    server.setHandler("checksmscode", [](const Request &r) {
        return r.field("code") == QLatin1String(kSmsCode) ? Reply::ok({{"message", "验证通过"}})
                                                           : Reply::refused(QStringLiteral("验证码错误"));
    });

    server.setHandler("order_list", [studio, posted](const Request &r) {
        return Reply::json(listReply(studio, r, posted.get()));
    });
    server.setHandler("order_list2", [studio, posted](const Request &r) {
        Request all = r;
        all.fields.clear(); // a date range: every order
        return Reply::json(listReply(studio, all, posted.get()));
    });
    perOrder("ordergoods20230521", &SampleStudio::goodsReply);
    server.setHandler("ordergoods", [studio, posted](const Request &r) {
        const SampleOrder *o = studio.orderFor(r);
        return o ? Reply::json(posted->appliedToGoods(studio.deskGoodsReply(*o)))
                 : Reply::refused(QStringLiteral("订单不存在"));
    });
    perOrder("getorderpic", &SampleStudio::cropReply);
    perOrder("orderdetail", &SampleStudio::detailReply);
    // the order's number as a Code 128 barcode
    server.setHandler("getbarcodegen", [studio](const Request &r) {
        const SampleOrder *o = studio.orderFor(r);
        const QImage picture = o ? BarcodePicture::draw(o->payForKey) : QImage();
        if (picture.isNull())
            return Reply::raw(200, testsupport::jpegWithOrientation(QSize(300, 80), 0, false, Qt::white), "image/jpeg");
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "JPG", 95);
        return Reply::raw(200, bytes, "image/jpeg");
    });
    server.setHandler("order_isrole12finish", [studio](const Request &r) {
        const SampleOrder *o = studio.orderFor(r);
        return Reply::ok({{"message", ""}, {"isrole12finish", o && o->selectionFinished ? 1 : 0}});
    });
    server.setHandler("getorderbyid", [studio, posted](const Request &r) {
        const SampleOrder *o = studio.orderFor(r);
        QJsonObject reply = studio.orderListReply(Request());
        reply.insert("order", o ? posted->applied(studio.orderJson(*o)) : QJsonObject());
        reply.remove("data");
        return Reply::json(reply);
    });
    server.setHandler("get_order_path", [studio, posted](const Request &r) {
        const SampleOrder *o = studio.orderFor(r);
        if (!o)
            return Reply::refused(QStringLiteral("订单不存在"));
        const QJsonObject j = posted->applied(studio.orderJson(*o));
        return Reply::ok({{"message", ""}, {"data", QJsonObject {{"orderpath", j.value("orderpath")},
                                                                 {"orderbakpicpath", j.value("orderbakpicpath")}}}});
    });
    server.setReply("get_order_pic_path",
                    Reply::ok({{"message", ""}, {"picpath", picRoot}, {"bakpicpath", bakRoot}, {"homepicpath", homeRoot}}));
    server.setHandler("gotodigitalid_post", [studio, posted](const Request &r) {
        const SampleOrder *o = studio.orderFor(r);
        if (!o)
            return Reply::refused(QStringLiteral("订单不存在"));
        // received now, by the employee who registered it
        posted->remember(o->id, QJsonObject {{"gotodigitalname", nameOf(staff(), r.field("eid"))},
                                            {"gotodigitaltime", serviceNow()}});
        const QJsonObject j = posted->applied(studio.orderJson(*o));
        QJsonObject order;
        for (const char *k : {"orderpayforkey", "servicetimes", "gotodigitalname", "gotodigitaltime", "selectphotodate",
                              "selectphototime", "selectphotoname", "getphotodate", "urgentdate", "tiaoxiname",
                              "tiaosename", "storesname"})
            order.insert(k, j.value(k));
        order.insert("babyname", o->bname);
        order.insert("momname", o->wname);
        order.insert("dadname", o->mname);
        return Reply::ok({{"message", "上件成功"}, {"order", order}});
    });
    server.setReply("getdovraset", Reply::ok({{"message", ""}, {"stores", dovraStores()}}));
    server.setReply("getpersons", Reply::ok({{"message", ""}, {"persons", staff()}}));
    server.setReply("getgoods", Reply::ok({{"message", ""},
                                           {"goods", QJsonArray {shop("301", "水晶相册"), shop("302", "实木摆台"),
                                                                 shop("303", "挂画"), shop("304", "相框<大>&小")}}}));
    // The posts that change an order: the replies from then on show what was posted.
    for (const char *action : {"updatepicpath", "updatepicpath2"}) {
        server.setHandler(action, [posted](const Request &r) {
            QJsonObject fields = postedVideos(r);
            if (r.fieldNames().contains("orderpicpath")) {
                fields.insert("orderpath", r.field("orderpicpath"));
                fields.insert("orderbakpicpath", r.field("orderbakpicpath"));
            }
            posted->remember(postedOrderId(r), fields);
            return Reply::ok({{"message", "更新成功"}});
        });
    }
    server.setHandler("updatevideo", [posted](const Request &r) {
        posted->remember(postedOrderId(r), postedVideos(r));
        return Reply::ok({{"message", "更新成功"}});
    });
    server.setHandler("savedovrapath", [posted](const Request &r) {
        posted->remember(postedOrderId(r), QJsonObject {{"dovrapath", r.field("dovrapath")}});
        return Reply::ok({{"message", "保存成功"}});
    });
    done("order_photo_del", "删除记录已保存");
    server.setHandler("sendtoshop", [posted](const Request &r) {
        // each product's print shop and factory from now on, sent now (请选择 leaves them unassigned)
        const QJsonArray sent = QJsonDocument::fromJson(r.field("sendgoodsinfo").toUtf8()).array();
        for (const QJsonValue &v : sent) {
            const QJsonObject s = v.toObject();
            const QString shopName = nameOf(printShops(), s.value("printshopid").toString());
            const QString factoryName = nameOf(factories(), s.value("factoryid").toString());
            posted->rememberGood(s.value("ordergoodid").toString(),
                                 QJsonObject {{"printshopname", shopName},
                                              {"sendToPrintshopTime2", shopName.isEmpty() ? QString() : serviceNow()},
                                              {"factoryname", factoryName},
                                              {"sendToFactoryTime2", factoryName.isEmpty() ? QString() : serviceNow()}});
        }
        return Reply::ok({{"message", "发件成功"}});
    });
    done("updatephotodate", "更新成功");
}

} // namespace standin
