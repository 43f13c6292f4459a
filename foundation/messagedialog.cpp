#include "messagedialog.h"

#include "globals.h"
#include "logging.h"
#include "msgbox.h"
#include "ui_messagedialog.h"
#include "webapi.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>

MessageDialog::MessageDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::MessageDialog), m_manager(new QNetworkAccessManager(this))
{
    ui->setupUi(this);
}

MessageDialog::~MessageDialog()
{
    dropPending();
    delete ui;
}

void MessageDialog::done(int result)
{
    // A request still under way when the dialog closes is dropped: its reply must not act any more.
    dropPending();
    QDialog::done(result);
}

void MessageDialog::dropPending()
{
    for (QNetworkReply *reply : {m_sendReply.data(), m_checkReply.data()}) {
        if (!reply)
            continue;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    m_sendReply.clear();
    m_checkReply.clear();
    ui->pushButton_getCode->setEnabled(true);
    ui->pushButton_ok->setEnabled(true);
}

void MessageDialog::on_pushButton_getCode_clicked()
{
    if (m_sendReply)
        return;
    const QByteArray body = FormBody::withToken().add(QStringLiteral("uid"), g_UID).toByteArray();
    qCDebug(lcWeb) << "sendsmscode url:" << g_url_sendsmscode;
    ui->pushButton_getCode->setEnabled(false);
    m_sendReply = postForm(m_manager, g_url_sendsmscode, body, this, &MessageDialog::sendCodeCallBack);
}

void MessageDialog::on_pushButton_ok_clicked()
{
    if (m_checkReply || m_accepted)
        return;
    const QString code = ui->lineEdit_code->text().trimmed();
    if (code.isEmpty()) {
        MsgBox::information(this, QStringLiteral("温馨提示"), QStringLiteral("请输入短信验证码"));
        ui->lineEdit_code->setFocus();
        return;
    }
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("uid"), g_UID)
                                .add(QStringLiteral("code"), code)
                                .toByteArray();
    qCDebug(lcWeb) << "checksmscode url:" << g_url_checksmscode;
    ui->pushButton_ok->setEnabled(false);
    m_checkReply = postForm(m_manager, g_url_checksmscode, body, this, &MessageDialog::checkCodeCallBack);
}

bool MessageDialog::readReply(QNetworkReply *reply, QJsonObject *obj)
{
    return readJsonReply(reply, obj, this, QStringLiteral("服务器返回的数据无法识别"));
}

void MessageDialog::sendCodeCallBack(QNetworkReply *reply)
{
    m_sendReply.clear();
    ui->pushButton_getCode->setEnabled(true);
    QJsonObject obj;
    if (!readReply(reply, &obj))
        return;
    const QString message = jsonString(obj, QStringLiteral("message"));
    if (!replyOk(obj)) {
        MsgBox::information(this, QStringLiteral("警告"), replyMessage(obj, QStringLiteral("验证码发送失败")));
        return;
    }
    const QString phone = jsonString(obj, QStringLiteral("phone"));
    if (!phone.isEmpty())
        ui->label_phone->setText(QStringLiteral("验证码已发送至 ") + phone);
    else
        ui->label_phone->setText(message.isEmpty() ? QStringLiteral("验证码已发送") : message);
    ui->lineEdit_code->setFocus();
}

void MessageDialog::checkCodeCallBack(QNetworkReply *reply)
{
    m_checkReply.clear();
    ui->pushButton_ok->setEnabled(true);
    QJsonObject obj;
    if (!readReply(reply, &obj))
        return;
    if (!replyOk(obj)) {
        MsgBox::information(this, QStringLiteral("警告"), replyMessage(obj, QStringLiteral("验证码校验失败")));
        ui->lineEdit_code->selectAll();
        ui->lineEdit_code->setFocus();
        return;
    }
    m_accepted = true;
    emit deleteorderfile();
    accept();
}
