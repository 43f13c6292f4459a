#pragma once
// The one way this program writes a web-API form body and reads a web-API reply.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QNetworkReply>
#include <QPair>
#include <QString>

#include <functional>

class QNetworkAccessManager;
class QWidget;

// Form body: fields in the order they are added, "key=value" joined by "&", every value
// percent-encoded so that a keyword can never add or change fields.
class FormBody
{
public:
    FormBody() = default;
    // A body whose first field is "token" with the API token.
    static FormBody withToken();

    FormBody &add(const QString &key, const QString &value);
    QByteArray toByteArray() const;

private:
    QList<QPair<QString, QString>> m_fields;
};

// A reply value taken as a JSON string: a missing key, null, number or any other type reads as "".
QString jsonString(const QJsonObject &obj, const QString &key);
// True when the reply's "code" is the string "1".
bool replyOk(const QJsonObject &obj);
// The reply's "message" (a JSON string), or fallback when it has none.
QString replyMessage(const QJsonObject &obj, const QString &fallback = QString());
// Parses a reply body as one JSON object; false (and *out untouched) when it is not one.
bool parseReplyObject(const QByteArray &body, QJsonObject *out, QString *error = nullptr);

// Reads a finished reply as one JSON object. A network error is shown in a "警告" box
// ("网络请求错误\n" + the HTTP status); a body that is not a JSON object is logged and, when notJsonText
// is not empty, shown the same way. True, with *obj filled, only for a good reply. The caller releases
// the reply.
bool readJsonReply(QNetworkReply *reply, QJsonObject *obj, QWidget *parent = nullptr,
                   const QString &notJsonText = QString());

// A form body as it may be written to the log: the values of its "token" and "password" fields replaced
// by "***".
QByteArray maskSecrets(const QByteArray &body);

// POSTs a form body as "application/x-www-form-urlencoded" with its Content-Length, and logs the URL and
// the body with its secrets masked. A request that gets no data for requestTimeoutMs() is aborted and
// ends as a network error, so no window waits forever. The request goes out at most once: when its
// connection closes before the answer, it ends as a network error, never sent again by itself.
QNetworkReply *postForm(QNetworkAccessManager *manager, const QString &url, const QByteArray &body);
// postForm, then, once the reply has finished, (receiver->*handler)(reply) on the receiver's thread, never
// after the receiver has gone; the reply is deleted after the handler has returned. The returned reply may
// carry what the handler needs.
template <typename Receiver>
QNetworkReply *postForm(QNetworkAccessManager *manager, const QString &url, const QByteArray &body,
                        Receiver *receiver, void (Receiver::*handler)(QNetworkReply *))
{
    QNetworkReply *reply = postForm(manager, url, body);
    QObject::connect(reply, &QNetworkReply::finished, receiver, [receiver, reply, handler] {
        reply->deleteLater();
        (receiver->*handler)(reply);
    });
    return reply;
}
// Runs then on the context's thread once the reply has finished or has gone: at once when there is none or it
// has finished already, else from the event loop, so that a handler of the reply that waits (a box it shows)
// does not hold it back. Never after the context has gone. A request that must reach the web service after
// another is posted so.
void afterReply(QNetworkReply *reply, QObject *context, std::function<void()> then);
int requestTimeoutMs();
void setRequestTimeoutMs(int ms); // tests shorten it
// The HTTP status code of a reply as text ("" when there is none).
QString httpStatusText(QNetworkReply *reply);
// Whether a POST went out whole and no answer came (its connection closed, or its time limit passed): the
// service may have taken it, and sending it again may count it twice. False for a request that got an answer,
// however it read, and for one that did not go out whole.
bool sentWithoutAnswer(QNetworkReply *reply);
// Why a request failed, in words: no connection, the time-out, the HTTP status, a POST the service may
// have taken before its connection closed; never the address.
QString networkErrorReason(QNetworkReply *reply);
// "网络请求错误\n" + the reason: the text of every network-error box.
QString networkErrorText(QNetworkReply *reply);
// Why a finished reply did not bring one JSON object, in one line: the network error ("网络请求错误：" and the
// reason) or a body that is no JSON object ("服务器的回复无法读取"). "" when it did, with *obj filled; whether
// the service took the request is then the caller's to read (replyOk).
QString replyProblem(QNetworkReply *reply, QJsonObject *obj);
