#include "httprequest.h"

#include "logging.h"
#include "webapi.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>

HttpRequest::HttpRequest(bool logReply)
    : QObject(nullptr), m_manager(new QNetworkAccessManager(this)), m_logReply(logReply)
{
    connect(m_manager, &QNetworkAccessManager::finished, this, &HttpRequest::onFinished);
}

HttpRequest *HttpRequest::startNetRequest(const QString &url, const QByteArray &data, bool flag, QNetworkReply *after)
{
    auto *request = new HttpRequest(flag);
    // The object goes only once its reply has been handled: it is there when the earlier reply ends.
    afterReply(after, request, [request, url, data] { request->m_reply = postForm(request->m_manager, url, data); });
    return request;
}

void HttpRequest::onFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    deleteLater();
    if (!m_showErrors && reply->error() != QNetworkReply::NoError) {
        qCWarning(lcWeb) << "request failed:" << reply->url().toString() << reply->error() << reply->errorString();
        emit netErrorInfo(networkErrorText(reply), sentWithoutAnswer(reply));
        return;
    }
    QJsonObject obj;
    if (!readJsonReply(reply, &obj)) { // a body that is not JSON is only logged
        if (reply->error() != QNetworkReply::NoError)
            emit netErrorInfo(networkErrorText(reply), sentWithoutAnswer(reply));
        return;
    }
    if (m_logReply)
        qCDebug(lcWeb) << "JsonObj:" << obj;
    emit netSuccessInfo(obj);
}
