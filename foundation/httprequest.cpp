#include "httprequest.h"

#include "msgbox.h"
#include "webapi.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>

HttpRequest::HttpRequest(bool logReply)
    : QObject(nullptr), m_manager(new QNetworkAccessManager(this)), m_logReply(logReply)
{
    connect(m_manager, &QNetworkAccessManager::finished, this, &HttpRequest::onFinished);
}

HttpRequest *HttpRequest::startNetRequest(const QString &url, const QByteArray &data, bool flag)
{
    auto *request = new HttpRequest(flag);
    postForm(request->m_manager, url, data);
    return request;
}

void HttpRequest::onFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        const QString text = networkErrorText(reply);
        qWarning() << "request failed:" << reply->url().toString() << reply->errorString();
        MsgBox::information(nullptr, QStringLiteral("警告"), text);
        emit netErrorInfo(text);
        return;
    }
    QJsonObject obj;
    QString parseError;
    if (!parseReplyObject(reply->readAll(), &obj, &parseError)) {
        qWarning() << "Error:" << parseError;
        return;
    }
    if (m_logReply)
        qDebug() << "JsonObj:" << obj;
    emit netSuccessInfo(obj);
}
