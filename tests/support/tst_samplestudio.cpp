#include "samplestudio.h"
#include "standin.h"
#include "testsupport.h"
#include "webapi.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

namespace {

QImageIOHandler::Transformations expectedTurn(int orientation)
{
    switch (orientation) {
    case 3: return QImageIOHandler::TransformationRotate180;
    case 6: return QImageIOHandler::TransformationRotate90;
    case 8: return QImageIOHandler::TransformationRotate270;
    default: return QImageIOHandler::TransformationNone;
    }
}

} // namespace

class TestSampleStudio : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(!studio.treeExists());
        QString error;
        QVERIFY2(studio.writeTree(&error), qPrintable(error));
        QVERIFY(studio.treeExists());
        studio.installReplies(server);
        QVERIFY(server.start());
    }

    void treeHasTheImportLayout()
    {
        QVERIFY(studio.picRoot.endsWith("/") && studio.bakRoot.endsWith("/"));
        QVERIFY(studio.orders.size() >= 4);
        int imported = 0;
        for (const standin::SampleOrder &o : studio.orders) {
            if (o.orderPath.isEmpty())
                continue;
            ++imported;
            // <root><yyyy-MM>/<dd>/<key>-<names and roles>/
            const QStringList d = o.shotDate.split('-');
            QCOMPARE(o.orderPath, studio.picRoot + d[0] + "-" + d[1] + "/" + d[2] + "/" + o.folderName() + "/");
            QCOMPARE(o.orderBakPath, studio.bakRoot + o.orderPath.mid(studio.picRoot.size()));
            QVERIFY(o.folderName().startsWith(o.key() + "-") || o.folderName() == o.key());
            for (const QString &sub : standin::SampleStudio::orderSubFolders())
                QVERIFY2(QFileInfo(o.orderPath + sub).isDir(), qPrintable(o.orderPath + sub));
            for (const standin::SamplePhoto &p : o.finished) {
                QVERIFY(QFileInfo(o.orderPath + "成品/" + p.name).isFile());
                QVERIFY(QFileInfo(o.orderPath + "成品缩略图/" + p.name).isFile());
            }
            for (const standin::SamplePhoto &p : o.originals)
                QVERIFY(QFileInfo(o.orderBakPath + "照片/" + p.name).isFile());
            for (const QString &raw : o.rawFiles) {
                QVERIFY(QFileInfo(o.orderPath + "照片/新建文件夹/" + raw).isFile());
                QVERIFY(QFileInfo(o.orderPath + "照片/" + QFileInfo(raw).completeBaseName() + ".jpg").isFile());
            }
            for (const QString &v : o.trialVideos + o.retouchVideos)
                QVERIFY(v.endsWith(".mp4"));
        }
        QVERIFY(imported >= 4);
        QCOMPARE(QDir(studio.picRoot + QString(studio.orders[0].shotDate).replace(7, 1, '/'))
                     .entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList({QString::fromUtf8("A1203-1-张小宝-李梅-张伟-周杰-吴彤")}));
        // the orders follow the day the studio was written, which the studio keeps
        QCOMPARE(standin::SampleStudio(dir.path()).writtenOn, studio.writtenOn);
        QTemporaryDir earlier;
        QFile note(earlier.path() + "/studio.txt");
        QVERIFY(note.open(QIODevice::WriteOnly) && note.write("Sample studio\nwritten 2020-03-01\n") > 0);
        note.close();
        const standin::SampleStudio kept(earlier.path());
        QCOMPARE(kept.orders.first().shotDate, QString("2020-02-03"));
        QCOMPARE(kept.orders.at(4).shotDate, QString("2020-02-28"));
        QVERIFY(QFileInfo(studio.orders[0].orderPath + "精修视频/" + studio.orders[0].retouchVideos[0]).size() > 0);
    }

    void photosCarryReadableOrientations()
    {
        QSet<QString> seen; // orientation and byte order combinations in the tree
        for (const standin::SampleOrder &o : studio.orders) {
            const QList<QPair<QString, QList<standin::SamplePhoto>>> groups {
                {"成品/", o.finished}, {"照片/", o.originals}, {"汰片/", o.rejected}, {"marks/", o.marked}};
            for (const auto &g : groups) {
                for (const standin::SamplePhoto &p : g.second) {
                    QImageReader reader(o.orderPath + g.first + p.name);
                    QCOMPARE(reader.size(), p.size);
                    QCOMPARE(reader.transformation(), expectedTurn(p.orientation));
                    seen.insert(QString("%1%2").arg(p.orientation).arg(p.motorola ? "MM" : "II"));
                }
            }
        }
        for (const char *combo : {"1II", "1MM", "3II", "3MM", "6II", "6MM", "8II", "8MM"})
            QVERIFY2(seen.contains(combo), combo);
    }

    void repliesPointIntoTheTree()
    {
        QJsonObject list = post("order_list", FormBody::withToken().add("shopid", "11").add("searchtype", "4"));
        QVERIFY(replyOk(list));
        const QJsonArray data = list.value("data").toArray();
        QCOMPARE(data.size(), studio.orders.size());
        for (const QJsonValue &v : data) {
            const QJsonObject o = v.toObject();
            const QString path = jsonString(o, "orderpath");
            QCOMPARE(jsonString(o.value("picpathnew").toObject(), "picpath"), studio.picRoot);
            if (!path.isEmpty()) {
                QVERIFY(path.startsWith(studio.picRoot));
                QVERIFY(QFileInfo(path + "成品").isDir());
                QVERIFY(jsonString(o, "orderbakpicpath").startsWith(studio.bakRoot));
            }
        }
        // the order-number search narrows the list
        list = post("order_list", FormBody::withToken().add("searchtype", "1").add("keyword", "B2207"));
        QCOMPARE(list.value("data").toArray().size(), 1);

        const standin::SampleOrder &first = studio.orders.first();
        const QJsonObject goods = post("ordergoods20230521", FormBody::withToken().add("order_photo_id", first.id));
        QVERIFY(replyOk(goods));
        int photos = 0;
        const QJsonObject order = goods.value("order").toObject();
        for (const QJsonValue &g : order.value("ordergoods0").toArray() + order.value("ordergoods2").toArray()) {
            QJsonArray all {g};
            for (const QJsonValue &son : g.toObject().value("son_good").toArray())
                all.append(son);
            for (const QJsonValue &item : all) {
                const QString names = jsonString(item.toObject(), "picpath");
                for (const QString &n : names.split('|', Qt::SkipEmptyParts)) {
                    if (n == standin::SampleStudio::missingPhotoName())
                        continue;
                    QVERIFY2(QFileInfo(first.orderPath + "成品/" + n).isFile(), qPrintable(n));
                    ++photos;
                }
            }
        }
        QVERIFY(photos > 0);

        const QJsonObject crop = post("getorderpic", FormBody::withToken().add("order_photo_id", first.id));
        for (const QJsonValue &c : crop.value("orderpicdescr").toArray())
            QVERIFY(QFileInfo(first.orderPath + "成品/" + jsonString(c.toObject(), "picname")).isFile());
        QVERIFY(replyOk(post("orderdetail", FormBody::withToken().add("order_photo_id", first.id))));
        QVERIFY(!replyOk(post("orderdetail", FormBody::withToken().add("order_photo_id", "999"))));

        const QJsonObject where = post("get_order_path", FormBody::withToken().add("order_photo_id", first.id));
        QCOMPARE(jsonString(where.value("data").toObject(), "orderpath"), first.orderPath);

        QNetworkReply *reply = nam.get(QNetworkRequest(QUrl(
            server.baseUrl() + "/index.php?g=DuvazivORu&m=order&a=getbarcodegen&order_photo_id=" + first.id)));
        QVERIFY(testsupport::waitFor([reply] { return reply->isFinished(); }));
        const QByteArray barcode = reply->readAll();
        reply->deleteLater();
        QTemporaryDir scans;
        QFile picture(scans.filePath("barcode.jpg"));
        QVERIFY(picture.open(QIODevice::WriteOnly) && picture.write(barcode) == barcode.size());
        picture.close();
        QProcess scan;
        scan.start("zbarimg", {"--raw", "-q", picture.fileName()});
        QVERIFY(scan.waitForFinished(testsupport::kWaitMs));
        QCOMPARE(QString::fromUtf8(scan.readAllStandardOutput()).trimmed(), first.payForKey);
    }

    void loginShopAndCodeDependOnTheFields()
    {
        QJsonObject r = post("login", FormBody::withToken().add("username", "demo").add("password", "123456"));
        QVERIFY(replyOk(r));
        QCOMPARE(jsonString(r, "UID"), QString("1001"));
        QCOMPARE(r.value("shops").toArray().size(), 2);
        r = post("login", FormBody::withToken().add("username", "demo").add("password", "654321"));
        QVERIFY(!replyOk(r));
        QCOMPARE(jsonString(r, "message"), QString::fromUtf8("用户名或密码错误"));

        r = post("changeshop", FormBody::withToken().add("uid", "1001").add("shopid", "11"));
        QVERIFY(replyOk(r));
        QCOMPARE(jsonString(r, "picpath"), studio.picRoot);
        QCOMPARE(jsonString(r, "bakpicpath"), studio.bakRoot);
        QCOMPARE(jsonString(r, "isdelphoto"), QString("1"));
        r = post("changeshop", FormBody::withToken().add("uid", "1001").add("shopid", "12"));
        QCOMPARE(jsonString(r, "isdelphoto"), QString("0"));
        QVERIFY(!replyOk(post("changeshop", FormBody::withToken().add("uid", "1001").add("shopid", "99"))));

        QVERIFY(replyOk(post("checksmscode", FormBody::withToken().add("uid", "1001").add("code", "123456"))));
        QVERIFY(!replyOk(post("checksmscode", FormBody::withToken().add("uid", "1001").add("code", "000000"))));
        r = post("check_update", FormBody().add("version", "1.6.7"));
        QCOMPARE(jsonString(r, "update"), QString("0"));
    }

    void searchesFollowTheirFilters_data()
    {
        QTest::addColumn<QStringList>("fields"); // name, value, name, value, ...
        QTest::addColumn<QStringList>("found");
        using F = QStringList;
        const QStringList all {"A1203", "B2207", "C3105", "D4410", "E5520"};
        QTest::newRow("no keyword") << F {"searchtype", "4", "keyword", ""} << all;
        QTest::newRow("number") << F {"searchtype", "1", "keyword", "b2207"} << QStringList {"B2207"};
        QTest::newRow("name") << F {"searchtype", "2", "keyword", "孙"} << QStringList {"E5520"};
        QTest::newRow("phone") << F {"searchtype", "3", "keyword", "13900000002"} << QStringList {"B2207"};
        QTest::newRow("shot day") << F {"searchtype", "4", "keyword", studio.daysBeforeWritten(7)}
                                  << QStringList {"C3105", "D4410"};
        QTest::newRow("shot day without orders")
            << F {"searchtype", "4", "keyword", QDate::currentDate().toString(Qt::ISODate)} << QStringList();
        QTest::newRow("selection day") << F {"searchtype", "5", "keyword", studio.daysBeforeWritten(19 - 9)}
                                       << QStringList {"B2207"};
        QTest::newRow("booking day, China time") << F {"searchtype", "6", "keyword", studio.daysBeforeWritten(27 + 20)}
                                                 << QStringList {"A1203"};
        QTest::newRow("upload day") << F {"searchtype", "9", "keyword", studio.daysBeforeWritten(2)} << QStringList {"E5520"};
        QTest::newRow("desk shot day") << F {"type", "2", "photodate", studio.daysBeforeWritten(7)}
                                       << QStringList {"C3105", "D4410"};
        QTest::newRow("desk number") << F {"type", "1", "orderpayforkey", "e5520"} << QStringList {"E5520"};
    }
    void searchesFollowTheirFilters()
    {
        QFETCH(QStringList, fields);
        QFETCH(QStringList, found);
        FormBody body = FormBody::withToken().add("shopid", "11");
        for (int i = 0; i + 1 < fields.size(); i += 2)
            body.add(fields.at(i), fields.at(i + 1));
        const QJsonObject list = post("order_list", body);
        QVERIFY(replyOk(list));
        QStringList keys;
        for (const QJsonValue &v : list.value("data").toArray())
            keys << jsonString(v.toObject(), "orderpayforkey");
        QCOMPARE(keys, found);
    }

    // The replies follow what the program posted about an order, until they are installed anew; a
    // scripted refusal changes nothing.
    void postedChangesAreRemembered()
    {
        const standin::SampleOrder &e = studio.orders.at(4);
        auto shown = [this, &e] {
            return post("order_list", FormBody::withToken().add("searchtype", "1").add("keyword", e.payForKey))
                .value("data").toArray().first().toObject();
        };
        QVERIFY(jsonString(shown(), "orderpath").isEmpty());

        const QString path = studio.picRoot + "2023-07/08/E5520-1/";
        QVERIFY(replyOk(post("updatepicpath", FormBody::withToken().add("order_photo_id", e.id).add("orderpicpath", path)
                                                   .add("orderbakpicpath", studio.bakRoot + "E5520-1/").add("typeid", "1"))));
        QVERIFY(replyOk(post("savedovrapath", FormBody().add("orderphotoid", e.id).add("dovrapath", "X:/dovra/E5520"))));
        QVERIFY(replyOk(post("updatevideo", FormBody().add("videopaths", path + "试拍视频/a.mp4").add("videofiles", "a.mp4")
                                                .add("order_photo_id", e.id).add("typeid", "3"))));
        server.queueReply("updatepicpath", standin::Reply::refused("拒绝"));
        QVERIFY(!replyOk(post("updatepicpath", FormBody().add("order_photo_id", e.id).add("orderpicpath", ""))));

        QJsonObject order = shown();
        QCOMPARE(jsonString(order, "orderpath"), path);
        QCOMPARE(jsonString(order, "orderbakpicpath"), studio.bakRoot + "E5520-1/");
        QCOMPARE(jsonString(order, "dovrapath"), QString("X:/dovra/E5520"));
        QCOMPARE(jsonString(order, "trialvideofiles"), QString("a.mp4"));
        QCOMPARE(jsonString(post("get_order_path", FormBody().add("order_photo_id", e.id)).value("data").toObject(),
                            "orderpath"),
                 path);

        // a re-import posts empty paths: the order has no folder again
        QVERIFY(replyOk(post("updatepicpath", FormBody().add("order_photo_id", e.id).add("orderpicpath", "")
                                                   .add("orderbakpicpath", ""))));
        QVERIFY(jsonString(shown(), "orderpath").isEmpty());

        studio.installReplies(server);
        QVERIFY(replyOk(post("savedovrapath", FormBody().add("orderphotoid", e.id).add("dovrapath", "Y:/"))));
        studio.installReplies(server);
        QVERIFY(jsonString(shown(), "dovrapath").isEmpty());
    }

    // What the desks post shows in later replies: a dispatch names each product's print shop and factory
    // with the time sent (请选择 leaves a product unassigned); a registration names who received the
    // order and when, and a search by that day finds it.
    void deskPostsAreRemembered()
    {
        const standin::SampleOrder &a = studio.orders.at(0);
        auto goods = [this, &a] {
            return post("ordergoods", FormBody::withToken().add("orderid", a.id)).value("order").toObject()
                .value("ordergoods0").toArray();
        };
        const QString first = jsonString(goods().at(0).toObject(), "id");
        const QString second = jsonString(goods().at(1).toObject(), "id");
        const QString sent = QString(R"([{"factoryid":"4","ordergoodid":"%1","printshopid":"2"},)"
                                     R"({"factoryid":"0","ordergoodid":"%2","printshopid":"0"}])").arg(first, second);
        QVERIFY(replyOk(post("sendtoshop", FormBody::withToken().add("orderid", a.id).add("sendgoodsinfo", sent))));
        const QJsonObject one = goods().at(0).toObject();
        const QJsonObject two = goods().at(1).toObject();
        QCOMPARE(jsonString(one, "printshopname"), QString("快印坊"));
        QCOMPARE(jsonString(one, "factoryname"), QString("后期二厂"));
        QCOMPARE(jsonString(one, "sendToPrintshopTime2").size(), 19);
        QCOMPARE(jsonString(one, "sendToFactoryTime2").size(), 19);
        QCOMPARE(jsonString(two, "printshopname"), QString());
        QCOMPARE(jsonString(two, "sendToFactoryTime2"), QString());

        const QJsonObject received = post("gotodigitalid_post", FormBody::withToken().add("order_photo_id", a.id)
                                                                    .add("eid", "2001")).value("order").toObject();
        QCOMPARE(jsonString(received, "gotodigitalname"), QString("周杰"));
        const QString day = jsonString(received, "gotodigitaltime").left(10);
        QVERIFY(day > studio.orders.at(4).shotDate);
        const QJsonArray found = post("order_list", FormBody::withToken().add("searchtype", "9").add("keyword", day))
                                     .value("data").toArray();
        QCOMPARE(found.size(), 1);
        QCOMPARE(jsonString(found.at(0).toObject(), "orderpayforkey"), a.payForKey);
    }

private:
    QJsonObject post(const QString &action, const FormBody &body)
    {
        QNetworkReply *reply = postForm(&nam, server.baseUrl() + "/index.php?g=DuvazivORu&m=x&a=" + action,
                                        body.toByteArray());
        QJsonObject obj;
        if (testsupport::waitFor([reply] { return reply->isFinished(); }))
            parseReplyObject(reply->readAll(), &obj);
        reply->deleteLater();
        return obj;
    }

    QTemporaryDir dir;
    standin::SampleStudio studio {dir.path()};
    standin::Server server;
    QNetworkAccessManager nam;
};

TESSALY_TEST_MAIN(TestSampleStudio)
#include "tst_samplestudio.moc"
