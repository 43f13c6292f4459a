#pragma once
// SMS-code check asked before order photos are deleted: the user has a code sent to the phone
// on record, types it in, and the web service checks it. deleteorderfile() is emitted once the
// code is accepted, then the dialog closes; closing it otherwise emits nothing.

#include <QDialog>
#include <QJsonObject>
#include <QPointer>

namespace Ui {
class MessageDialog;
}
class QNetworkAccessManager;
class QNetworkReply;

class MessageDialog : public QDialog
{
    Q_OBJECT
public:
    explicit MessageDialog(QWidget *parent = nullptr);
    ~MessageDialog() override;

    void done(int result) override;

signals:
    void deleteorderfile();

private slots:
    void on_pushButton_getCode_clicked();
    void on_pushButton_ok_clicked();

private:
    void sendCodeCallBack(QNetworkReply *reply);
    void checkCodeCallBack(QNetworkReply *reply);
    // Reads a finished reply; false (after telling the user) when it brings no JSON object.
    bool readReply(QNetworkReply *reply, QJsonObject *obj);
    void dropPending();

    Ui::MessageDialog *ui;
    QNetworkAccessManager *m_manager;
    QPointer<QNetworkReply> m_sendReply;
    QPointer<QNetworkReply> m_checkReply;
    bool m_accepted = false;
};
