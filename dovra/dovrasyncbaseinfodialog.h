#pragma once
// The small window that writes the whole staff list or the whole product list of the web service into
// the Dovra folder of every store this computer reaches. The tool window opens it with the reachable
// stores and the chosen shop's id; a fresh Dovra worker does each run's writing and reports by name to
// slt_threademit.
//
// States: idle (the two sync buttons), requesting (取消), failed (重试, 取消), writing (取消), done
// (the two sync buttons again, the label naming the stores written and those that failed).

#include <QDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

class Dovrathread;
class QNetworkAccessManager;
class QNetworkReply;

namespace Ui {
class DovraSyncBaseInfoDialog;
}

class DovraSyncBaseInfoDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DovraSyncBaseInfoDialog(QWidget *parent = nullptr);
    ~DovraSyncBaseInfoDialog() override;

    QString shopId;    // sent as "shopid"
    QJsonArray stores; // the reachable stores, each with "name" and "dovrapath"

private slots:
    void on_pb_syncpeo_clicked();
    void on_pb_syncpro_clicked();
    void on_pb_retry_clicked();
    void on_pb_cancel_clicked();
    void slt_threademit(QJsonObject objc);
    void query_shopdatas(QNetworkReply *reply);

private:
    void req_datas();
    // Stops the current worker, waits for it and puts an idle one with a run of its own in its place;
    // reports of a replaced worker are dropped.
    void replaceThread();
    void showFailure(const QString &label);
    void showIdleButtons();

    QNetworkAccessManager *manager;
    int dataType = 0;
    QString errorType;
    Dovrathread *thread = nullptr;
    bool busy = false;
    QNetworkReply *m_request = nullptr; // the one request whose reply counts; dropped by Cancel
    int m_runs = 0;                     // the last run given to a worker
    QStringList m_written;              // this run's stores whose file was written, and the others
    QStringList m_failed;
    Ui::DovraSyncBaseInfoDialog *ui;
};
