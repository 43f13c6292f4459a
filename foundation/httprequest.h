#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;

// One web-API request: POSTs a form body and hands the reply's JSON object to netSuccessInfo,
// or shows the network error and emits netErrorInfo. The object and its reply delete
// themselves once the reply has been handled.
//
// netErrorInfo's sentWithoutAnswer: the request went out whole and no answer came (see sentWithoutAnswer in
// webapi.h), so the service may have taken it.
class HttpRequest : public QObject
{
    Q_OBJECT
public:
    // With after, the request is posted only once that reply has finished or has gone (see afterReply); the
    // object is there at once, for the caller to connect to.
    static HttpRequest *startNetRequest(const QString &url, const QByteArray &data, bool flag = false,
                                        QNetworkReply *after = nullptr);
    // The request's reply: null while it waits to be posted, and once it has been handled.
    QNetworkReply *reply() const { return m_reply.data(); }
    // false: a network error only emits netErrorInfo, for a caller that names it later itself.
    void setShowsErrors(bool show) { m_showErrors = show; }

signals:
    void netSuccessInfo(QJsonObject obj);
    void netErrorInfo(QString error, bool sentWithoutAnswer);

private slots:
    void onFinished(QNetworkReply *reply);

private:
    explicit HttpRequest(bool logReply);
    QNetworkAccessManager *m_manager;
    QPointer<QNetworkReply> m_reply;
    bool m_logReply;
    bool m_showErrors = true;
};
