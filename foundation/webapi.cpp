#include "webapi.h"

#include "globals.h"
#include "logging.h"
#include "msgbox.h"

#include <QDebug>

#include <QAtomicInt>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

#include <cstring>
#include <memory>

FormBody FormBody::withToken()
{
    FormBody body;
    body.add(QStringLiteral("token"), g_apiToken);
    return body;
}

FormBody &FormBody::add(const QString &key, const QString &value)
{
    m_fields.append(qMakePair(key, value));
    return *this;
}

QByteArray FormBody::toByteArray() const
{
    QByteArray out;
    for (const auto &field : m_fields) {
        if (!out.isEmpty())
            out += '&';
        out += QUrl::toPercentEncoding(field.first);
        out += '=';
        out += QUrl::toPercentEncoding(field.second);
    }
    return out;
}

QString jsonString(const QJsonObject &obj, const QString &key)
{
    const QJsonValue value = obj.value(key);
    return value.isString() ? value.toString() : QString();
}

bool replyOk(const QJsonObject &obj)
{
    return jsonString(obj, QStringLiteral("code")) == QLatin1String("1");
}

QString replyMessage(const QJsonObject &obj, const QString &fallback)
{
    const QString message = jsonString(obj, QStringLiteral("message"));
    return message.isEmpty() ? fallback : message;
}

bool parseReplyObject(const QByteArray &body, QJsonObject *out, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                                  : QStringLiteral("not a JSON object");
        return false;
    }
    if (out)
        *out = doc.object();
    return true;
}

namespace {
QAtomicInt s_requestTimeoutMs = 30000;
}

int requestTimeoutMs()
{
    return s_requestTimeoutMs.loadRelaxed();
}

void setRequestTimeoutMs(int ms)
{
    s_requestTimeoutMs.storeRelaxed(ms);
}

QByteArray maskSecrets(const QByteArray &body)
{
    static const QRegularExpression secret(QStringLiteral("(^|&)(token|password)=[^&]*"),
                                           QRegularExpression::CaseInsensitiveOption);
    return QString::fromUtf8(body).replace(secret, QStringLiteral("\\1\\2=***")).toUtf8();
}

namespace {

// Set on a POST's reply once its body has been read to the end to be sent: from then on the service may
// have the whole request.
const char kBodyReadProperty[] = "webapiBodyRead";

// A request body that can be read once, front to back, and never rewound. Qt sends a request again by
// itself when the connection closes before the answer's status line, whatever the method; to do so it
// must rewind the body, and with this one it cannot: the reply ends with ContentReSendError instead,
// so a POST reaches the service at most once.
class OnceBody : public QIODevice
{
public:
    explicit OnceBody(const QByteArray &bytes) : m_bytes(bytes) { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_bytes.size() - m_read + QIODevice::bytesAvailable(); }
    bool reset() override { return false; } // without QIODevice's warning about seeking a sequential device

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_read >= m_bytes.size())
            return -1; // the end: a sequential device tells it this way
        const qint64 n = qMin<qint64>(maxSize, m_bytes.size() - m_read);
        memcpy(data, m_bytes.constData() + m_read, size_t(n));
        m_read += n;
        if (m_read == m_bytes.size() && parent())
            parent()->setProperty(kBodyReadProperty, true);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray m_bytes;
    qint64 m_read = 0;
};

} // namespace

QNetworkReply *postForm(QNetworkAccessManager *manager, const QString &url, const QByteArray &body)
{
    qCDebug(lcWeb) << "POST" << url << maskSecrets(body);
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(requestTimeoutMs());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    // With its length given and buffering forbidden, Qt reads the body from the device as it sends it
    // instead of copying it into a buffer it could send again.
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    auto *device = new OnceBody(body);
    QNetworkReply *reply = manager->post(request, device);
    device->setParent(reply); // before the body is read: that is queued to the event loop
    if (body.isEmpty())
        reply->setProperty(kBodyReadProperty, true); // out with the request's head
    return reply;
}

void afterReply(QNetworkReply *reply, QObject *context, std::function<void()> then)
{
    if (!reply || reply->isFinished()) {
        then();
        return;
    }
    qCDebug(lcWeb) << "waiting for the answer to" << reply->url().toString();
    // Whichever comes first: the reply's end, or its deletion (with the manager of a window that went). A
    // reply ends with readChannelFinished and then finished, both when answered and when failed; its
    // handlers hang on finished through its manager, connected before anything here, so it is
    // readChannelFinished that comes before a box a handler shows. Queued, the call is made from the event
    // loop (a box's too).
    auto pending = std::make_shared<std::function<void()>>(std::move(then));
    auto once = [pending] {
        if (!*pending)
            return;
        const std::function<void()> next = std::move(*pending);
        *pending = nullptr;
        next();
    };
    QObject::connect(reply, &QIODevice::readChannelFinished, context, once, Qt::QueuedConnection);
    QObject::connect(reply, &QNetworkReply::finished, context, once, Qt::QueuedConnection);
    QObject::connect(reply, &QObject::destroyed, context, once, Qt::QueuedConnection);
}

QString httpStatusText(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? QString::number(status.toInt()) : QString();
}

bool sentWithoutAnswer(QNetworkReply *reply)
{
    if (reply->operation() != QNetworkAccessManager::PostOperation || !reply->property(kBodyReadProperty).toBool())
        return false;
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false; // an answer came, however it read
    switch (reply->error()) {
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ContentReSendError: // the connection closed and Qt would have sent it again (see OnceBody)
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the request's time limit passed with the service still silent
        return true;
    default:
        return false;
    }
}

// Why a request failed, in words the user can act on. Never the address: it may carry what the user
// must not see.
QString networkErrorReason(QNetworkReply *reply)
{
    const QString status = httpStatusText(reply);
    if (!status.isEmpty()) {
        const int code = status.toInt();
        const QString what = code >= 500   ? QStringLiteral("服务器出错")
                             : code == 404 ? QStringLiteral("服务器上没有这个接口")
                             : code >= 400 ? QStringLiteral("服务器拒绝了请求")
                                           : QStringLiteral("服务器的回复不正常");
        return what + QStringLiteral("（HTTP ") + status + QStringLiteral("）");
    }
    switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("无法连接服务器（连接被拒绝），请检查网络或稍后再试");
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProxyNotFoundError:
        return QStringLiteral("找不到服务器，请检查网络连接");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the request's time limit aborts it
        return QStringLiteral("服务器%1秒内没有回应（请求超时），请稍后再试").arg(qMax(1, (requestTimeoutMs() + 999) / 1000));
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ContentReSendError: // a POST's connection closed and it was not sent again
        // Once a POST's whole body has gone, the service may have taken it: trying it again may count it
        // twice.
        if (sentWithoutAnswer(reply))
            return QStringLiteral("请求已发出，服务器没有回复就断开了连接，服务器可能已收下这次请求");
        return QStringLiteral("服务器没有回复就断开了连接，请稍后再试");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("无法与服务器建立安全连接");
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return QStringLiteral("网络连接已断开，请检查网络");
    default:
        return QStringLiteral("网络连接出错，请检查网络或稍后再试");
    }
}

QString networkErrorText(QNetworkReply *reply)
{
    return QStringLiteral("网络请求错误\n") + networkErrorReason(reply);
}

QString replyProblem(QNetworkReply *reply, QJsonObject *obj)
{
    if (reply->error() != QNetworkReply::NoError)
        return networkErrorText(reply).replace(QLatin1Char('\n'), QStringLiteral("："));
    if (!parseReplyObject(reply->readAll(), obj))
        return QStringLiteral("服务器的回复无法读取");
    return QString();
}

bool readJsonReply(QNetworkReply *reply, QJsonObject *obj, QWidget *parent, const QString &notJsonText)
{
    if (reply->error() != QNetworkReply::NoError) {
        qCWarning(lcWeb) << "request failed:" << reply->url().toString() << reply->error() << reply->errorString();
        MsgBox::information(parent, QStringLiteral("警告"), networkErrorText(reply));
        return false;
    }
    QString parseError;
    if (!parseReplyObject(reply->readAll(), obj, &parseError)) {
        qCWarning(lcWeb) << "Error:" << reply->url().toString() << parseError;
        if (!notJsonText.isEmpty())
            MsgBox::information(parent, QStringLiteral("警告"), notJsonText);
        return false;
    }
    return true;
}
