#include "globals.h"
#include "httprequest.h"
#include "msgbox.h"
#include "standin.h"
#include "testsupport.h"
#include "webapi.h"

#include <QPointer>
#include <QTcpServer>

// The request object against the stand-in web service: what reaches the caller, what the user sees,
// and that the object goes away once its reply is handled.
class TestHttpRequest : public QObject
{
    Q_OBJECT

    standin::Server m_server;

    struct Outcome {
        QList<QJsonObject> successes;
        QStringList errors;
        QPointer<HttpRequest> request;
        bool deletedItself = false;
    };

    Outcome post(const QString &url, const QByteArray &body = FormBody::withToken().toByteArray())
    {
        Outcome out;
        out.request = HttpRequest::startNetRequest(url, body, true);
        connect(out.request, &HttpRequest::netSuccessInfo, this, [&out](QJsonObject o) { out.successes << o; });
        connect(out.request, &HttpRequest::netErrorInfo, this, [&out](QString e) { out.errors << e; });
        // the object deletes itself once its reply is handled
        out.deletedItself = testsupport::waitFor([&out] { return out.request.isNull(); });
        delete out.request.data(); // never leave a connection to this frame behind
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        initEndpoints(m_server.baseUrl());
    }

    void init()
    {
        MsgBox::clearShown();
        m_server.clearReplies();
        m_server.clearRequests();
    }

    void goodReplyArrivesOnceAndNothingIsShown()
    {
        m_server.setReply("order_list", standin::Reply::ok({{"data", QJsonArray{}}}));
        const Outcome out = post(g_url_order_list, FormBody::withToken().add("keyword", "a&b").toByteArray());
        QVERIFY(out.deletedItself);
        QCOMPARE(out.successes.size(), 1);
        QCOMPARE(jsonString(out.successes.first(), "code"), QString("1"));
        QVERIFY(out.errors.isEmpty());
        QVERIFY(MsgBox::shown().isEmpty());
        const standin::Request req = m_server.lastRequest("order_list");
        QCOMPARE(req.fieldNames(), (QStringList{"token", "keyword"}));
        QCOMPARE(req.field("keyword"), QString("a&b"));
    }

    void unreadableBodyEmitsNothing()
    {
        m_server.setReply("order_list", standin::Reply::notJson());
        const Outcome out = post(g_url_order_list);
        QVERIFY(out.deletedItself);
        QVERIFY(out.successes.isEmpty());
        QVERIFY(out.errors.isEmpty());
        QVERIFY(MsgBox::shown().isEmpty());
    }

    void networkFailuresAreShownAndReported()
    {
        m_server.setReply("order_list", standin::Reply::httpError(500));
        Outcome out = post(g_url_order_list);
        QVERIFY(out.deletedItself);
        QVERIFY(out.successes.isEmpty());
        QCOMPARE(out.errors, QStringList{"网络请求错误\n500"});
        QCOMPARE(MsgBox::lastShown().title, QString("警告"));
        QCOMPARE(MsgBox::lastShown().text, QString("网络请求错误\n500"));

        // nobody listening: an error without an HTTP status
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 deadPort = probe.serverPort();
        probe.close();
        MsgBox::clearShown();
        out = post(QString("http://127.0.0.1:%1/index.php?g=DuvazivORu&m=order&a=order_list").arg(deadPort));
        QVERIFY(out.deletedItself);
        QCOMPARE(out.errors, QStringList{"网络请求错误\n"});
        QCOMPARE(MsgBox::shown().size(), 1);

        // a service that takes the request and never answers: the request gives up with an error
        setRequestTimeoutMs(300);
        m_server.setReply("order_list", standin::Reply::ok().withDelay(60 * 1000));
        MsgBox::clearShown();
        out = post(g_url_order_list);
        setRequestTimeoutMs(30000);
        QVERIFY(out.deletedItself);
        QVERIFY(out.successes.isEmpty());
        QCOMPARE(out.errors, QStringList{"网络请求错误\n"});
        QCOMPARE(MsgBox::lastShown().text, QString("网络请求错误\n"));
    }
};

TESSALY_TEST_MAIN(TestHttpRequest)
#include "tst_httprequest.moc"
