#include "webapi.h"

#include "globals.h"
#include "logging.h"
#include "msgbox.h"

#include <QDebug>

#include <QAtomicInt>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

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

QNetworkReply *postForm(QNetworkAccessManager *manager, const QString &url, const QByteArray &body)
{
    qCDebug(lcWeb) << "POST" << url << maskSecrets(body);
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(requestTimeoutMs());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    return manager->post(request, body);
}

QString httpStatusText(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? QString::number(status.toInt()) : QString();
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
        qCWarning(lcWeb) << "request failed:" << reply->url().toString() << reply->errorString();
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
