// Sheet benchmark: the thumbnails and the two PDF sheets of one large order through the real separation
// window.
//
//   bench_sheets [N] [DIR]   an order of N finished photos (default 200) in DIR (default: a temporary folder)
//
// The order's finished photos are camera-sized (6000 x 4000, made from a few pictures of the benchmarks'
// generator), with their 1000-pixel previews in "成品缩略图/"; 10 of them are marked (6000 x 4000 in
// "marks/"), goods of 10 photos each cover them over three service times, and every product goes to an
// address of its own (20 with the default N). The window separates the order against the stand-in web
// service; timed is the stretch from the start of the thumbnail job (its folder appears) to both PDFs
// written (the run's end), three times with the previews there and three times with them removed first
// (they are then written back). A 10 ms timer on the GUI thread measures its longest stall during that
// stretch; the work sheet's size is printed too. The same runs follow through the after-sample window.

#include "benchsupport.h"
#include "globals.h"
#include "msgbox.h"
#include "searchorder.h"
#include "splitaftersample.h"
#include "separationbench.h"
#include "standin.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cstdio>

namespace {

const int kPhotosPerProduct = 10;
const int kMarked = 10;
const QString kOrderKey = QStringLiteral("S0001");
std::atomic<qint64> detailAt{0}; // when the order detail was asked for (the thumbnails are saved then)

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Order {
    QString path;
    QStringList photos;
    QList<QByteArray> previews; // one per base picture
};

bool makeOrder(const QString &root, int count, Order *order)
{
    order->path = root + QStringLiteral("/pic/2024-05/09/S0001-1-李小红/");
    for (const char *sub : {"成品", "成品缩略图", "marks"}) {
        if (!QDir().mkpath(order->path + QString::fromUtf8(sub)))
            return false;
    }
    const QString bases = root + QStringLiteral("/bases/");
    if (!bench::generate(bases, 4))
        return false;
    QList<QByteArray> pictures;
    for (const QString &name : QDir(bases).entryList(QDir::Files, QDir::Name)) {
        pictures << readFile(bases + name);
        QImageReader reader(bases + name);
        reader.setScaledSize(reader.size().scaled(1000, 1000, Qt::KeepAspectRatio));
        QByteArray preview;
        QBuffer buffer(&preview);
        buffer.open(QIODevice::WriteOnly);
        if (!reader.read().save(&buffer, "JPG"))
            return false;
        order->previews << preview;
    }
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("IMG_%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0'));
        order->photos << name;
        if (!writeFile(order->path + QStringLiteral("成品/") + name,
                       pictures.at(i % pictures.size()) + QByteArray::number(i).repeated(64))
            || (i < kMarked && !writeFile(order->path + QStringLiteral("marks/") + name, pictures.at(i % pictures.size()))))
            return false;
    }
    return true;
}

bool writePreviews(const Order &order)
{
    for (int i = 0; i < order.photos.size(); ++i) {
        if (!writeFile(order.path + QStringLiteral("成品缩略图/") + order.photos.at(i),
                       order.previews.at(i % order.previews.size())))
            return false;
    }
    return true;
}

void removePreviews(const Order &order)
{
    QDir previews(order.path + QStringLiteral("成品缩略图"));
    for (const QString &name : previews.entryList(QDir::Files))
        previews.remove(name);
}

void serveOrder(standin::Server &server, const Order &order)
{
    const QJsonObject row{{"order_photo_id", "1"}, {"orderpayforkey", kOrderKey}, {"servicetimes", "1"},
                          {"wname", "李小红"}, {"pickuptime", "2024-06-01"}, {"pickuptype", "1"},
                          {"orderpath", order.path}};
    server.setReply("order_list", standin::Reply::ok({{"data", QJsonArray{row}}}));

    QJsonArray goods, crops, marks;
    QJsonArray times[3], urgent;
    for (int first = 0, n = 1; first < order.photos.size(); first += kPhotosPerProduct, ++n) {
        const QString id = QString::number(900 + n);
        const bool isUrgent = n % 7 == 0;
        goods.append(QJsonObject{
            {"id", id}, {"goodname", QStringLiteral("相册%1").arg(n)}, {"goodtypename", "相册"},
            {"goodtypeid", n % 5 == 0 ? "33" : "15"}, {"goodamount", "1"}, {"goodpnumber", "20"},
            {"goodpagenumber", "10"}, {"factoryname", "后期一厂"}, {"isems", "1"}, {"isurgent", isUrgent ? "1" : "0"},
            {"ishomemade", "0"}, {"parentid", "0"}, {"descr", "哑光"}, {"getgooddate", "2024-05-30"},
            {"picpath", order.photos.mid(first, kPhotosPerProduct).join('|')},
            {"orderaddress", QJsonObject{{"id", QString::number(n)}, {"name", QStringLiteral("收件人%1").arg(n)},
                                         {"phone", "13800000000"}, {"province", "广东省"}, {"city", "深圳市"},
                                         {"county", "南山区"}, {"address", QStringLiteral("科技路%1号").arg(n)}}}});
        (isUrgent ? urgent : times[n % 3]).append(QJsonObject{{"id", id}});
    }
    for (int i = 0; i < order.photos.size(); ++i)
        crops.append(QJsonObject{{"picname", order.photos.at(i)}, {"descr", i % 3 ? "" : "皮肤柔和"},
                                 {"pictype", i % 2 ? "1" : "0"}, {"picx", "1200"}, {"picy", "800"},
                                 {"picwidth", "2000"}, {"picheight", "1500"}});
    for (int i = 0; i < kMarked && i < order.photos.size(); ++i)
        marks.append(QJsonObject{{"picname", order.photos.at(i)},
                                 {"mark", QJsonArray{"1-2-1-4-眼睛放大", "1-2-2-4-背景提亮"}}});
    const QJsonObject goodsOrder{{"ordergoods0", goods}, {"pickuptime", "2024-06-01"}, {"isurgenttime", "2024-05-30"},
                                 {"servicetimes", "1"}, {"role12name", "选片师小林"}};
    server.setReply("ordergoods20230521",
                    standin::Reply::ok({{"shop_set", QJsonObject{{"fenjian_ishaveordergoodid", "0"}}},
                                        {"order", goodsOrder},
                                        {"order_info", QJsonObject{{"orderpayforkey", kOrderKey}, {"wname", "李小红"}}}}));
    server.setReply("getorderpic", standin::Reply::ok({{"orderpicdescr", crops}}));
    QJsonArray servicetime;
    for (int t = 0; t < 3; ++t)
        servicetime.append(QJsonObject{{"goods", times[t]}, {"urgentgoods", t == 1 ? urgent : QJsonArray()},
                                       {"order_sample_infoservicetimes", QString::number(t + 1)},
                                       {"role12name", "选片师小林"}});
    const standin::Reply detail = standin::Reply::ok({{"servicetime", servicetime}, {"orderpicdescr", marks},
                                        {"count_order_sample_infoservicetimes", "3"},
                                        {"order", QJsonObject{{"shopname", "星光店"}, {"wname", "李小红"},
                                                              {"orderdescr", "自然风格\n背景偏暖"},
                                                              {"shopdisclaimer", "照片保存期为一年"}}}});
    server.setHandler("orderdetail", [detail](const standin::Request &) {
        detailAt.store(QDateTime::currentMSecsSinceEpoch());
        return detail;
    });
    QImage code(300, 80, QImage::Format_RGB32);
    code.fill(Qt::white);
    QByteArray codeBytes;
    QBuffer buffer(&codeBytes);
    buffer.open(QIODevice::WriteOnly);
    code.save(&buffer, "JPG");
    server.setReply("getbarcodegen", standin::Reply::raw(200, codeBytes, "image/jpeg"));
}

struct Run {
    double seconds = -1;
    double thumbnails = -1; // until the order detail is asked for
    int longestStallMs = 0;
    qint64 sheetBytes = 0;
};

Run runWindow(const QString &saveDir, bool afterSample)
{
    const ShopSettings shop = ShopSettings::current();
    SeparationWindow *w = afterSample ? static_cast<SeparationWindow *>(new SplitAfterSample(nullptr, shop))
                                      : new SearchOrder(nullptr, shop);
    bench::tickOrder(w, kOrderKey, saveDir);

    // the after-sample window keeps its sheets in the order folder itself
    const QString work = saveDir + QDate::currentDate().toString(QStringLiteral("/yyyy-MM-dd/")) + kOrderKey
                         + QStringLiteral("-服务1 李小红 快递/") + (afterSample ? QString() : QStringLiteral("其它/"));
    Run run;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    bool started = false;
    qint64 startedAt = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!started && QFileInfo::exists(work + QStringLiteral("制作单缩略图"))) {
            started = true;
            clock.start();
            sinceTick.start();
            startedAt = QDateTime::currentMSecsSinceEpoch();
            return;
        }
        if (started)
            run.longestStallMs = qMax(run.longestStallMs, int(sinceTick.restart()));
    });
    ticker.start();
    w->findChild<QPushButton *>("pushButton_separate")->click();
    while (w->isSeparating())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ticker.stop();
    if (started && QFileInfo::exists(work + QStringLiteral("快递产品信息.pdf"))) {
        run.seconds = double(clock.nsecsElapsed()) / 1e9;
        run.thumbnails = (detailAt.load() - startedAt) / 1000.0;
        run.sheetBytes = QFileInfo(work + QStringLiteral("明细制作单.pdf")).size();
    }
    delete w;
    for (QWidget *top : QApplication::topLevelWidgets())
        top->deleteLater();
    QCoreApplication::processEvents();
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::quietWindows();
    const QStringList args = app.arguments().mid(1);
    const int count = args.value(0, QStringLiteral("200")).toInt();
    QTemporaryDir base(args.size() > 1 ? args.at(1) + QStringLiteral("/bench-sheets-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/bench-sheets-XXXXXX"));
    Order order;
    if (count <= 0 || !base.isValid() || !makeOrder(base.path(), count, &order) || !writePreviews(order))
        return 1;

    standin::Server server;
    if (!server.start())
        return 1;
    initEndpoints(server.baseUrl());
    setUpJobPool(); // as the program's start sets it
    serveOrder(server, order);
    g_finishedDirName = QStringLiteral("成品");
    g_markDirName = QStringLiteral("标注");
    g_xztp = QStringLiteral("0");
    g_sjfjxz = QStringLiteral("0");
    g_isshow_subproduct = QStringLiteral("0");
    QDir::setCurrent(base.path());
    std::printf("order: %d finished photos (6000 x 4000), %d marked, %d products\n", count, kMarked,
                (count + kPhotosPerProduct - 1) / kPhotosPerProduct);

    int status = 0;
    // (after-sample window, previews there): the separation window first, then the after-sample one
    const QList<QPair<bool, bool>> modes{{false, true}, {false, false}, {true, true}, {true, false}};
    for (const auto &mode : modes) {
        const bool afterSample = mode.first;
        const bool previews = mode.second;
        double best = -1;
        int stall = 0;
        qint64 bytes = 0;
        for (int i = 0; i < 3; ++i) {
            if (previews ? !writePreviews(order) : (removePreviews(order), false))
                return 1;
            bench::settleDisk();
            const QString out = base.path() + QStringLiteral("/out%1%2").arg(previews).arg(i);
            QDir().mkpath(out);
            const Run r = runWindow(out, afterSample);
            QDir(out).removeRecursively();
            std::printf("%s%s, run %d: %.2f s (thumbnails %.2f s, then order detail and sheets), longest GUI gap %d ms, "
                        "work sheet %.1f MB\n",
                        afterSample ? "样后分件, " : "", previews ? "previews there" : "previews missing", i + 1, r.seconds, r.thumbnails,
                        r.longestStallMs, r.sheetBytes / 1e6);
            std::fflush(stdout);
            if (r.seconds < 0)
                return 1;
            best = best < 0 ? r.seconds : qMin(best, r.seconds);
            stall = qMax(stall, r.longestStallMs);
            bytes = qMax(bytes, r.sheetBytes);
        }
        const double target = previews ? 1.0 : 3.0;
        std::printf("%sbest with previews %s: %.2f s (target <= %.0f s); longest GUI gap %d ms (target <= 100); "
                    "work sheet %.1f MB (target <= 10)\n",
                    afterSample ? "样后分件, " : "", previews ? "there" : "missing", best, target, stall, bytes / 1e6);
        if (best > target || stall > 100 || bytes > 10 * 1000 * 1000)
            status = 2;
    }
    return status;
}
