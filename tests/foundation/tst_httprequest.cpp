#include "globals.h"
#include "httprequest.h"
#include "msgbox.h"
#include "studiofixture.h"
#include "webapi.h"

#include <QPointer>
#include <QTcpServer>

Q_DECLARE_METATYPE(standin::Reply)

// The request object against the stand-in web service: what reaches the caller, what the user sees,
// and that the object goes away once its reply is handled.
class TestHttpRequest : public QObject, public testsupport::StudioFixture
{
    Q_OBJECT

    struct Outcome {
        QList<QJsonObject> successes;
        QStringList errors;
        QList<bool> sentWithoutAnswer; // beside each error
        QPointer<HttpRequest> request;
        bool deletedItself = false;
    };

    Outcome post(const QString &url, const QByteArray &body = FormBody::withToken().toByteArray())
    {
        Outcome out;
        out.request = HttpRequest::startNetRequest(url, body, true);
        connect(out.request, &HttpRequest::netSuccessInfo, this, [&out](QJsonObject o) { out.successes << o; });
        connect(out.request, &HttpRequest::netErrorInfo, this, [&out](QString e, bool sent) {
            out.errors << e;
            out.sentWithoutAnswer << sent;
        });
        // the object deletes itself once its reply is handled
        out.deletedItself = testsupport::waitFor([&out] { return out.request.isNull(); });
        delete out.request.data(); // never leave a connection to this frame behind
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(startServer());
    }

    void init()
    {
        clearServer();
    }

    void outcomes_data()
    {
        QTest::addColumn<standin::Reply>("reply");
        QTest::addColumn<int>("successes");
        QTest::addColumn<QString>("error"); // emitted and shown under "警告"; "" for neither
        QTest::addColumn<bool>("sentWithoutAnswer"); // emitted with the error: the service may have the request
        QTest::newRow("good reply") << standin::Reply::ok({{"data", QJsonArray{}}}) << 1 << "" << false;
        QTest::newRow("not JSON: nothing emitted") << standin::Reply::notJson() << 0 << "" << false;
        QTest::newRow("HTTP 500") << standin::Reply::httpError(500) << 0 << "网络请求错误\n服务器出错（HTTP 500）" << false;
        // the reason in words, never the address
        const QString timedOut = "网络请求错误\n服务器1秒内没有回应（请求超时），请稍后再试";
        QTest::newRow("connection refused") << standin::Reply() << 0
                                            << "网络请求错误\n无法连接服务器（连接被拒绝），请检查网络或稍后再试" << false;
        // the request went out: the service may have taken it, and it was not sent again
        QTest::newRow("connection closed") << standin::Reply::closed() << 0
                                           << "网络请求错误\n请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求"
                                           << true;
        // the request went out and its time limit passed: the service may have taken it all the same
        QTest::newRow("nobody answering") << standin::Reply() << 0 << timedOut << true;
        // a service that takes the request and never answers: the request gives up with an error
        QTest::newRow("never answered") << standin::Reply::ok().withDelay(60 * 1000) << 0 << timedOut << true;
    }
    void outcomes()
    {
        QFETCH(standin::Reply, reply);
        QFETCH(int, successes);
        QFETCH(QString, error);
        QFETCH(bool, sentWithoutAnswer);
        QString url = g_url_order_list;
        QTcpServer probe; // takes connections and never answers, or (closed) leaves a port nobody listens at
        const QString tag = QTest::currentDataTag();
        if (tag == "nobody answering" || tag == "connection refused") {
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            url = QString("http://127.0.0.1:%1/index.php?g=DuvazivORu&m=order&a=order_list").arg(probe.serverPort());
            if (tag == "connection refused")
                probe.close();
        } else {
            m_server.setReply("order_list", reply);
        }
        // only a service that does not answer meets the time limit: every answer is waited for as long as
        // a busy machine takes
        setRequestTimeoutMs(tag == "nobody answering" || tag == "never answered" ? 300 : testsupport::kWaitMs);
        const Outcome out = post(url, FormBody::withToken().add("keyword", "a&b").toByteArray());
        setRequestTimeoutMs(30000);
        QVERIFY(out.deletedItself);
        // whatever became of it, the request reached the service once (or never, where no stand-in listens)
        QCOMPARE(m_server.requestCount("order_list"), url == g_url_order_list ? 1 : 0);
        QCOMPARE(out.successes.size(), successes);
        QCOMPARE(out.errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(out.sentWithoutAnswer, error.isEmpty() ? QList<bool>() : QList<bool>{sentWithoutAnswer});
        QCOMPARE(MsgBox::shown().size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty())
            QCOMPARE(testsupport::lastBox(), "警告|" + error);
        if (successes) {
            QCOMPARE(jsonString(out.successes.first(), "code"), QString("1"));
            const standin::Request req = m_server.lastRequest("order_list");
            QCOMPARE(req.fieldNames(), (QStringList{"token", "keyword"}));
            QCOMPARE(req.field("keyword"), QString("a&b"));
        }
    }
};

TESSALY_TEST_MAIN(TestHttpRequest)
#include "tst_httprequest.moc"
