#include "barcodedownload.h"

#include "fileoperation.h"
#include "guardedcall.h"
#include "globals.h"
#include "logging.h"
#include "platform.h"
#include "webapi.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

namespace {
int s_timeLimitMs = 15000;

// The pictures are written on a thread of their own, one at a time: never on the GUI thread, and never
// behind the copies waiting in the global pool. Never destroyed: a write that hangs on a stalled share keeps
// the program from ending no more than the share does.
QThreadPool &pictureWrites()
{
    static QThreadPool *pool = newOneThreadPool();
    return *pool;
}
} // namespace

QString BarcodeDownload::barcodeUrl(const QString &orderPhotoId, const ShopSettings &shop)
{
    // Each value percent-encoded as in a form body: "&" or "#" in a value adds no field and cuts nothing off.
    const QByteArray fields = FormBody()
                                  .add(QStringLiteral("order_photo_id"), orderPhotoId)
                                  .add(QStringLiteral("shopid"), shop.shopId)
                                  .add(QStringLiteral("superid"), shop.superId)
                                  .add(QStringLiteral("token"), g_apiToken)
                                  .toByteArray();
    return g_url_getbarcodegen + QLatin1Char('&') + QString::fromLatin1(fields);
}

void BarcodeDownload::setTimeLimitMs(int ms)
{
    s_timeLimitMs = ms;
}

BarcodeDownload::BarcodeDownload(QNetworkAccessManager *manager, QObject *parent)
    : QObject(parent), m_manager(manager)
{
}

BarcodeDownload::~BarcodeDownload()
{
    dropReply();
}

void BarcodeDownload::start(const QString &url, const QString &filePath, bool alwaysHidden)
{
    m_filePath = filePath;
    m_alwaysHidden = alwaysHidden;
    qCDebug(lcSeparation) << "srcsrc===" << url.left(url.indexOf(QStringLiteral("&token=")));
    m_reply = m_manager->get(QNetworkRequest(QUrl(url, QUrl::TolerantMode)));
    connect(m_reply, &QNetworkReply::readyRead, this, &BarcodeDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &BarcodeDownload::onFinished);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        qCDebug(lcSeparation) << "barcode download took too long:" << m_filePath;
        dropReply();
        m_notDownloaded = QStringLiteral("服务器%1秒内没有发来条形码").arg(qMax(1, (s_timeLimitMs + 999) / 1000));
        end(false);
    });
    m_timer->start(s_timeLimitMs);
}

void BarcodeDownload::dropReply()
{
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
    m_reply = nullptr;
}

void BarcodeDownload::onReadyRead()
{
    m_body += m_reply->readAll();
}

void BarcodeDownload::onFinished()
{
    onReadyRead();
    QNetworkReply *reply = m_reply.data();
    m_reply = nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok = reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
    // The error text of a reply holds its whole URL, token included: only the codes are logged.
    qCDebug(lcSeparation) << (ok ? "success" : "failed") << "HTTP" << status << "error" << int(reply->error());
    if (status != 0 && (status < 200 || status >= 300))
        m_notDownloaded = QStringLiteral("HTTP ") + QString::number(status);
    else if (reply->error() != QNetworkReply::NoError)
        m_notDownloaded = networkErrorReason(reply);
    else if (m_body.isEmpty())
        m_notDownloaded = QStringLiteral("服务器发来的条形码是空的");
    reply->deleteLater();
    end(ok);
}

void BarcodeDownload::end(bool ok)
{
    if (m_ending)
        return;
    m_ending = true;
    if (m_timer)
        m_timer->stop();
    if (!ok || m_body.isEmpty()) {
        m_body.clear();
        written(false, QString());
        return;
    }
    const QString path = Platform::localPath(m_filePath);
    const QByteArray body = m_body;
    m_body.clear();
    const bool alwaysHidden = m_alwaysHidden;
    const std::function<bool()> stillWanted = m_stillWanted;
    const QPointer<BarcodeDownload> self(this); // looked at on the GUI thread only
    pictureWrites().start([path, body, alwaysHidden, stillWanted, self] {
        const bool hide = alwaysHidden || QFileInfo::exists(path);
        QString why;
        const bool ok = Platform::writeIntoPlace(
            path, [&body](QIODevice &file) { return file.write(body) == body.size(); }, &why, nullptr, stillWanted);
        if (ok && hide)
            FileOperation::setFileHidden(path);
        if (QCoreApplication *app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app,
                [self, ok, why] {
                    if (self)
                        self->written(ok, why);
                },
                Qt::QueuedConnection);
        }
    });
}

void BarcodeDownload::written(bool ok, const QString &why)
{
    m_finished = true;
    m_succeeded = ok;
    QString failure = why;
    if (!ok && failure.isEmpty())
        failure = QStringLiteral("未能下载") + (m_notDownloaded.isEmpty() ? QString() : QStringLiteral("：") + m_notDownloaded);
    m_failure = ok ? QString() : failure;
    qCDebug(lcSeparation) << "barPath" << m_filePath << (ok ? "written" : "not written") << failure;
    emit finished(ok);
}
