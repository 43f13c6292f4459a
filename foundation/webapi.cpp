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

QString networkErrorText(QNetworkReply *reply)
{
    return QStringLiteral("网络请求错误\n") + httpStatusText(reply);
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
