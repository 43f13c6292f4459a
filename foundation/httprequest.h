#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// One web-API request: POSTs a form body and hands the reply's JSON object to netSuccessInfo,
// or shows the network error and emits netErrorInfo. The object and its reply delete
// themselves once the reply has been handled.
//
// netErrorInfo's sentWithoutAnswer: the request went out whole and its connection closed before any
// answer (see sentWithoutAnswer in webapi.h), so the service may have taken it.
class HttpRequest : public QObject
{
    Q_OBJECT
public:
    static HttpRequest *startNetRequest(const QString &url, const QByteArray &data, bool flag = false);
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
    bool m_logReply;
    bool m_showErrors = true;
};
