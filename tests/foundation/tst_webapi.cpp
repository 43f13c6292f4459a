#include "globals.h"
#include "testsupport.h"
#include "webapi.h"

#include <QJsonDocument>

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
