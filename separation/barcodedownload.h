#pragma once
// One order's barcode picture, fetched by GET into the order's work folder ("条形码.jpg").
//
// Each order gets a download object of its own, so a late reply never lands in the next order's file.
// The bytes are gathered as they arrive and written whole beside the target, which they replace only when
// the reply ended well (no network error, an HTTP success, at least one byte) and every byte reached the
// disk; an error page, a reply cut off, one that takes longer than the time limit or a full disk leaves no
// "条形码.jpg" (an earlier one stays as it was). The picture is written (and its still-wanted check made)
// on a thread of its own, never on the GUI thread: a share may stall. The sheet is printed only after
// finished().

#include "shopsettings.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QNetworkAccessManager;
class QTimer;

class BarcodeDownload : public QObject
{
    Q_OBJECT
public:
    // The URL of an order's barcode: g_url_getbarcodegen with the order, the shop's id and company id and
    // the API token.
    static QString barcodeUrl(const QString &orderPhotoId, const ShopSettings &shop);
    // How long a download may take before it counts as failed; tests shorten it.
    static void setTimeLimitMs(int ms);

    BarcodeDownload(QNetworkAccessManager *manager, QObject *parent = nullptr);
    ~BarcodeDownload() override;

    // Starts the GET of url into filePath. A file that is there when the picture is written keeps (or gets)
    // the hidden attribute; a new one stays visible unless alwaysHidden.
    void start(const QString &url, const QString &filePath, bool alwaysHidden = false);
    // Asked just before the picture takes its name (Platform::writeIntoPlace), on the write's thread: false
    // leaves the file there as it was (the order's run no longer holds it).
    void setStillWanted(std::function<bool()> check) { m_stillWanted = std::move(check); }

    bool isFinished() const { return m_finished; }
    bool succeeded() const { return m_succeeded; }
    // After a failure, why in the user's words: the write's reason (errorText), or "未能下载：" and why no
    // picture came ("HTTP 404" for an error page, the network error's reason, the time limit, an empty reply).
    QString failure() const { return m_failure; }

signals:
    // Once per download, on success, failure or the time limit.
    void finished(bool ok);

private:
    void onReadyRead();
    void onFinished();
    void end(bool ok);
    // The picture's write has ended (ok: it is in place; otherwise why, when the write said).
    void written(bool ok, const QString &why);
    // Aborts a reply still out; nothing of it reaches the download any more.
    void dropReply();

    QNetworkAccessManager *m_manager;
    QPointer<QNetworkReply> m_reply; // its manager may go first
    QTimer *m_timer = nullptr;
    QString m_filePath;
    QByteArray m_body; // a small picture
    bool m_alwaysHidden = false;
    std::function<bool()> m_stillWanted;
    bool m_ending = false; // the download has ended; its picture may still be being written
    bool m_finished = false;
    bool m_succeeded = false;
    QString m_failure;
    QString m_notDownloaded; // why no picture came, when none did
};
