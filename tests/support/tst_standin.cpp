#include "standin.h"
#include "testsupport.h"
#include "webapi.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

struct Answer {
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QVariant status;
    QByteArray body;
    QString errorText;
    QByteArray contentLength;
};

// Sends one request (POST when body is given, GET otherwise) the way the program does and
// waits for the end of it.
Answer exchange(QNetworkAccessManager &nam, const QString &url, const QByteArray *body = nullptr)
{
    QNetworkReply *reply = body ? postForm(&nam, url, *body) : nam.get(QNetworkRequest(QUrl(url)));
    Answer a;
    if (!testsupport::waitFor([reply] { return reply->isFinished(); })) {
        reply->abort();
        reply->deleteLater();
        return a;
    }
    a.finished = true;
    a.error = reply->error();
    a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    a.body = reply->readAll();
    a.errorText = networkErrorText(reply);
    a.contentLength = reply->rawHeader("Content-Length");
    reply->deleteLater();
    return a;
}

QString url(const standin::Server &s, const QString &action)
{
    return s.baseUrl() + "/index.php?g=DuvazivORu&m=order&a=" + action;
}

} // namespace

class TestStandin : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(server.start());
        server.clearReplies();
        server.clearRequests();
    }
    void cleanup() { server.stop(); }

    void recordsRequestsInOrderWithRawBytes()
    {
        server.setReply("order_list", standin::Reply::ok());
        const QByteArray body = "token=abc&keyword=a%26b&x=%E5%BC%A0&y=a+b%2B&flag";
        const Answer a = exchange(nam, url(server, "order_list"), &body);
        QCOMPARE(a.error, QNetworkReply::NoError);

        QCOMPARE(server.requestCount("order_list"), 1);
        const standin::Request r = server.lastRequest("order_list");
        QCOMPARE(r.method, QString("POST"));
        QCOMPARE(r.body, body);
        QCOMPARE(r.fieldNames(), QStringList({"token", "keyword", "x", "y", "flag"}));
        QCOMPARE(r.field("keyword"), QString("a&b"));
        QCOMPARE(r.field("x"), QString::fromUtf8("张"));
        QCOMPARE(r.field("y"), QString("a b+"));
        QCOMPARE(r.field("flag"), QString());
        QCOMPARE(r.field("missing"), QString());

        // a GET is routed by its query fields and keeps them in order too
        exchange(nam, server.baseUrl() + "/index.php?g=Publicapi&m=Version&a=check_update&v=%E7%89%88");
        const standin::Request g = server.lastRequest("check_update");
        QCOMPARE(g.method, QString("GET"));
        QCOMPARE(g.queryFields.size(), 4);
        QCOMPARE(g.queryFields.at(3), qMakePair(QString("v"), QString::fromUtf8("版")));
        QVERIFY(g.fields.isEmpty());
    }

    void faultRepliesAsAQtClientSeesThem()
    {
        const QByteArray body = "token=t";
        QJsonObject obj;

        server.setReply("a", standin::Reply::httpError(500));
        Answer a = exchange(nam, url(server, "a"), &body);
        QVERIFY(a.error != QNetworkReply::NoError);
        QCOMPARE(a.status.toInt(), 500);
        QCOMPARE(a.errorText, QString::fromUtf8("网络请求错误\n服务器出错（HTTP 500）"));

        server.setReply("a", standin::Reply::closed());
        a = exchange(nam, url(server, "a"), &body);
        QVERIFY(a.finished);
        QVERIFY(a.error != QNetworkReply::NoError);
        QVERIFY(!a.status.isValid());
        QCOMPARE(a.errorText, QString::fromUtf8("网络请求错误\n请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求"));

        server.setReply("a", standin::Reply::notJson());
        a = exchange(nam, url(server, "a"), &body);
        QCOMPARE(a.error, QNetworkReply::NoError);
        QVERIFY(!a.body.isEmpty());
        QVERIFY(!parseReplyObject(a.body, &obj));

        server.setReply("a", standin::Reply::numericCode(1, "x"));
        a = exchange(nam, url(server, "a"), &body);
        QVERIFY(parseReplyObject(a.body, &obj));
        QVERIFY(obj.value("code").isDouble());
        QVERIFY(!replyOk(obj));

        server.setReply("a", standin::Reply::refused(QString::fromUtf8("不行")));
        a = exchange(nam, url(server, "a"), &body);
        QVERIFY(parseReplyObject(a.body, &obj));
        QVERIFY(!replyOk(obj));
        QCOMPARE(jsonString(obj, "message"), QString::fromUtf8("不行"));

        server.setReply("a", standin::Reply::raw(201, QByteArray("\x00\xff\x01", 3), "application/octet-stream"));
        a = exchange(nam, url(server, "a"));
        QCOMPARE(a.status.toInt(), 201);
        QCOMPARE(a.body, QByteArray("\x00\xff\x01", 3));

        a = exchange(nam, url(server, "nobody_knows"), &body);
        QCOMPARE(a.status.toInt(), 404);
        QCOMPARE(server.requestCount("a"), 6); // a POST whose connection dropped was not sent again
    }

    void queuedRepliesComeFirstAndOnce()
    {
        const QByteArray body = "token=t";
        QJsonObject obj;
        server.setReply("q", standin::Reply::ok({{"n", "standing"}}));
        server.queueReply("q", standin::Reply::closed());
        server.queueReply("q", standin::Reply::ok({{"n", "second"}}));

        QVERIFY(exchange(nam, url(server, "q"), &body).error != QNetworkReply::NoError);
        QVERIFY(parseReplyObject(exchange(nam, url(server, "q"), &body).body, &obj));
        QCOMPARE(jsonString(obj, "n"), QString("second"));
        for (int i = 0; i < 2; ++i) {
            QVERIFY(parseReplyObject(exchange(nam, url(server, "q"), &body).body, &obj));
            QCOMPARE(jsonString(obj, "n"), QString("standing"));
        }
        QCOMPARE(server.requestCount("q"), 4);

        // a handler answers from the request; a queued reply still wins over it
        server.setHandler("q", [](const standin::Request &r) { return standin::Reply::ok({{"n", r.field("who")}}); });
        server.queueReply("q", standin::Reply::refused("busy"));
        const QByteArray who = "token=t&who=%E6%9D%8E";
        QVERIFY(parseReplyObject(exchange(nam, url(server, "q"), &who).body, &obj));
        QCOMPARE(jsonString(obj, "message"), QString("busy"));
        QVERIFY(parseReplyObject(exchange(nam, url(server, "q"), &who).body, &obj));
        QCOMPARE(jsonString(obj, "n"), QString::fromUtf8("李"));
        server.setReply("q", standin::Reply::ok({{"n", "fixed"}}));
        QVERIFY(parseReplyObject(exchange(nam, url(server, "q"), &who).body, &obj));
        QCOMPARE(jsonString(obj, "n"), QString("fixed"));
    }

    void chunkedBodyArrivesWhole()
    {
        QByteArray big;
        for (int i = 0; i < 5000; ++i)
            big += char('a' + i % 26);
        server.setReply("getbarcodegen", standin::Reply::raw(200, big, "image/jpeg").asChunked());
        const Answer a = exchange(nam, url(server, "getbarcodegen") + "&order_photo_id=1");
        QCOMPARE(a.error, QNetworkReply::NoError);
        QVERIFY(a.contentLength.isEmpty());
        QCOMPARE(a.body, big);

        server.setReply("j", standin::Reply::ok({{"k", "v"}}).asChunked());
        const QByteArray body = "token=t";
        QJsonObject obj;
        QVERIFY(parseReplyObject(exchange(nam, url(server, "j"), &body).body, &obj));
        QCOMPARE(jsonString(obj, "k"), QString("v"));
    }

    void delayedReplyBlocksNeitherOthersNorStop()
    {
        // far longer than the test may run: only a stop that cuts the delay short ends it
        server.setReply("slow", standin::Reply::ok().withDelay(10 * 60 * 1000));
        server.setReply("fast", standin::Reply::ok());
        const QByteArray body = "token=t";
        QNetworkReply *slow = postForm(&nam, url(server, "slow"), body);
        QVERIFY(testsupport::waitFor([this] { return server.requestCount("slow") == 1; }));

        // a reply held by a gate goes once the gate is open, and only then
        standin::Gate gate;
        server.setReply("held", standin::Reply::ok().heldBy(gate));
        QNetworkReply *held = postForm(&nam, url(server, "held"), body);
        QVERIFY(testsupport::waitFor([this] { return server.requestCount("held") == 1; }));

        const Answer fast = exchange(nam, url(server, "fast"), &body);
        QCOMPARE(fast.error, QNetworkReply::NoError);
        QVERIFY(!slow->isFinished());
        QVERIFY(!held->isFinished());
        gate.open();
        QVERIFY(testsupport::waitFor([held] { return held->isFinished(); }));
        QCOMPARE(held->error(), QNetworkReply::NoError);
        held->deleteLater();

        server.stop();
        QVERIFY(testsupport::waitFor([slow] { return slow->isFinished(); }));
        QVERIFY(slow->error() != QNetworkReply::NoError);
        slow->deleteLater();
        QVERIFY(server.start()); // and the server can listen again
    }

private:
    standin::Server server;
    QNetworkAccessManager nam;
};

TESSALY_TEST_MAIN(TestStandin)
#include "tst_standin.moc"
