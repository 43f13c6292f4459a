#include "globals.h"
#include "standin.h"
#include "testsupport.h"
#include "webapi.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

class TestWebApi : public QObject
{
    Q_OBJECT
private slots:
    void bodyKeepsOrderAndEncodesValues()
    {
        FormBody body = FormBody::withToken();
        body.add("keyword", "a&b=c+d%e 张三").add("uid", "7");
        const QByteArray bytes = body.toByteArray();
        QCOMPARE(bytes, QByteArray("token=") + g_apiToken.toUtf8()
                 + "&keyword=a%26b%3Dc%2Bd%25e%20%E5%BC%A0%E4%B8%89&uid=7");
        // a value can never add a field
        QCOMPARE(bytes.count('&'), 2);
    }
    void replyValuesAreStringsOnly()
    {
        const QJsonObject obj = QJsonDocument::fromJson(
            R"({"code":1,"a":"x","n":null,"o":{},"s":"1"})").object();
        QCOMPARE(jsonString(obj, "a"), QString("x"));
        QCOMPARE(jsonString(obj, "n"), QString());
        QCOMPARE(jsonString(obj, "o"), QString());
        QCOMPARE(jsonString(obj, "missing"), QString());
        QVERIFY(!replyOk(obj)); // a numeric code is not success
        QVERIFY(replyOk(QJsonDocument::fromJson(R"({"code":"1"})").object()));
    }
    void endpointsAreBuiltFromTheBase()
    {
        initEndpoints("http://127.0.0.1:9/");
        QCOMPARE(g_apiBase, QString("http://127.0.0.1:9/index.php?"));
        QCOMPARE(g_url_order_list, QString("http://127.0.0.1:9/index.php?g=DuvazivORu&m=order&a=order_list"));
        QCOMPARE(g_url_order_photo_del,
                 QString("http://127.0.0.1:9/index.php?g=DuvazivORu&m=OrderPhoto&a=order_photo_del"));
        QCOMPARE(g_url_check_update, QString("http://127.0.0.1:9/index.php?g=Publicapi&m=Version&a=check_update"));
    }
    // The service reads a request and closes its connection without a word back, on a new connection or on
    // one kept open after the request before. A POST reaches it once and the user reads that it may have
    // been taken; a GET Qt may send again by itself, and the service answers the second one.
    void closedAfterReading_data()
    {
        QTest::addColumn<bool>("post");
        QTest::addColumn<bool>("keptAlive");
        QTest::addColumn<int>("arrivals");
        QTest::addColumn<QString>("error"); // "" for a request that ends well
        const QString mayHaveTaken = "网络请求错误\n请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求";
        QTest::newRow("POST, new connection") << true << false << 1 << mayHaveTaken;
        QTest::newRow("POST, kept-alive connection") << true << true << 1 << mayHaveTaken;
        QTest::newRow("GET, sent again") << false << false << 2 << "";
    }
    void closedAfterReading()
    {
        QFETCH(bool, post);
        QFETCH(bool, keptAlive);
        QFETCH(int, arrivals);
        QFETCH(QString, error);
        standin::Server server;
        server.setKeepAlive(keptAlive);
        QVERIFY(server.start());
        server.setReply("before", standin::Reply::ok());
        server.queueReply("report", standin::Reply::closed());
        server.setReply("report", standin::Reply::ok()); // what a request sent again would get
        const QString url = server.baseUrl() + "/index.php?g=DuvazivORu&m=order&a=";
        const QByteArray body = FormBody::withToken().add("picnumber", "4").add("importype", "1").toByteArray();
        QNetworkAccessManager manager;
        const auto send = [&](const QString &action) -> QNetworkReply * {
            QNetworkReply *reply = post ? postForm(&manager, url + action, body)
                                        : manager.get(QNetworkRequest(QUrl(url + action)));
            return testsupport::waitFor([reply] { return reply->isFinished(); }) ? reply : nullptr;
        };
        if (keptAlive) {
            QNetworkReply *before = send("before");
            QVERIFY(before);
            QCOMPARE(before->error(), QNetworkReply::NoError);
            delete before;
        }
        QScopedPointer<QNetworkReply> reply(send("report"));
        QVERIFY(reply);
        const QList<standin::Request> got = server.requests("report");
        QCOMPARE(got.size(), arrivals);
        QCOMPARE(got.first().body, post ? body : QByteArray());
        if (keptAlive) // the request went on the connection the one before had used
            QCOMPARE(got.first().peerPort, server.lastRequest("before").peerPort);
        QCOMPARE(reply->error() == QNetworkReply::NoError ? QString() : networkErrorText(reply.data()), error);
        QCOMPARE(sentWithoutAnswer(reply.data()), !error.isEmpty());
    }
    void unparsableBodyIsRejected()
    {
        QJsonObject obj;
        QVERIFY(!parseReplyObject("<html>", &obj));
        QVERIFY(!parseReplyObject("[1,2]", &obj));
        QVERIFY(parseReplyObject("{\"code\":\"1\"}", &obj));
    }
};

TESSALY_TEST_MAIN(TestWebApi)
#include "tst_webapi.moc"
