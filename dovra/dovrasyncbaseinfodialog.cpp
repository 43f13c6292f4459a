#include "dovrasyncbaseinfodialog.h"
#include "logging.h"
#include "ui_dovrasyncbaseinfodialog.h"

#include "dovrathread.h"
#include "globals.h"
#include "msgbox.h"
#include "webapi.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {
const QString kIdleText = QStringLiteral("请点击需要同步的数据类型");
const QString kRequestFailed = QStringLiteral("网络请求错误");
} // namespace

DovraSyncBaseInfoDialog::DovraSyncBaseInfoDialog(QWidget *parent)
    : QDialog(parent), manager(new QNetworkAccessManager(this)), ui(new Ui::DovraSyncBaseInfoDialog)
{
    ui->setupUi(this);
    ui->lb_message->setWordWrap(true); // a long list of stores stays whole at the dialog's width
    setWindowTitle(QStringLiteral("同步员工/产品信息到Dovra系统"));
    ui->pb_retry->hide();
    ui->pb_cancel->hide();
    ui->progressBar->setMaximum(10);
    connect(manager, &QNetworkAccessManager::finished, this, &DovraSyncBaseInfoDialog::query_shopdatas);
    thread = new Dovrathread(this, this);
    thread->runTag = ++m_runs;
}

DovraSyncBaseInfoDialog::~DovraSyncBaseInfoDialog()
{
    thread->abandon(); // the store in hand is finished without the window waiting for it
    thread = nullptr;
    manager->disconnect(this); // replies that go with the manager are no answers any more
    delete manager;
    delete ui;
}

void DovraSyncBaseInfoDialog::on_pb_syncpeo_clicked()
{
    if (busy)
        return;
    dataType = 0;
    req_datas();
}

void DovraSyncBaseInfoDialog::on_pb_syncpro_clicked()
{
    if (busy)
        return;
    dataType = 1;
    req_datas();
}

void DovraSyncBaseInfoDialog::on_pb_retry_clicked()
{
    if (errorType == kRequestFailed)
        req_datas();
}

void DovraSyncBaseInfoDialog::on_pb_cancel_clicked()
{
    // The request goes too: its reply, the abort included, is no answer any more.
    if (QNetworkReply *request = m_request) {
        m_request = nullptr;
        request->abort();
    }
    replaceThread();
    busy = false;
    ui->progressBar->setValue(0);
    ui->lb_message->setText(kIdleText);
    showIdleButtons();
}

void DovraSyncBaseInfoDialog::req_datas()
{
    if (busy)
        return;
    busy = true;
    qCDebug(lcDovra) << "可以使用的分店数量" << stores.size();
    ui->progressBar->setValue(0);
    ui->progressBar->setMaximum(stores.size() + 2);
    qCDebug(lcDovra) << "进度条的最大值" << ui->progressBar->maximum();
    const QString url = dataType == 0 ? g_url_getpersons : g_url_getgoods;
    ui->lb_message->setText(dataType == 0 ? QStringLiteral("正在获取员工信息...") : QStringLiteral("正在获取产品信息..."));
    ui->pb_syncpeo->hide();
    ui->pb_syncpro->hide();
    ui->pb_retry->hide();
    ui->pb_cancel->show();
    const QByteArray body =
        FormBody::withToken().add(QStringLiteral("shopid"), shopId).add(QStringLiteral("uid"), g_UID).toByteArray();
    m_request = postForm(manager, url, body);
    qCDebug(lcDovra) << "获取需要导入Dovra的分店员工和产品 url==" << url;
    qCDebug(lcDovra) << "postData==" << maskSecrets(body);
}

void DovraSyncBaseInfoDialog::query_shopdatas(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_request)
        return; // cancelled
    m_request = nullptr;

    if (reply->error() != QNetworkReply::NoError) {
        qCWarning(lcDovra) << "sync list request failed:" << reply->errorString();
        showFailure(QStringLiteral("网络请求错误！"));
        MsgBox::information(nullptr, QStringLiteral("警告"), networkErrorText(reply), QMessageBox::Yes,
                            QMessageBox::Yes);
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        showFailure(QStringLiteral("数据格式错误100！"));
        return;
    }
    if (!doc.isObject()) {
        showFailure(QStringLiteral("数据格式错误101！"));
        return;
    }
    const QJsonObject obj = doc.object();
    if (!replyOk(obj)) {
        const QString message = jsonString(obj, QStringLiteral("message"));
        showFailure(message);
        MsgBox::information(nullptr, QStringLiteral("警告"), message, QMessageBox::Yes, QMessageBox::Yes);
        return;
    }
    // Without a list nothing is written: an empty list would wipe every store's data.
    const QJsonValue list = obj.value(dataType == 0 ? QStringLiteral("persons") : QStringLiteral("goods"));
    if (!list.isArray()) {
        showFailure(QStringLiteral("数据格式错误102！"));
        return;
    }
    ui->progressBar->setValue(ui->progressBar->value() + 1);
    replaceThread();
    thread->mode = QStringLiteral("xml");
    thread->dataType = dataType;
    thread->datas = list.toArray();
    thread->stores = stores;
    m_written.clear();
    m_failed.clear();
    thread->start(QThread::InheritPriority);
}

void DovraSyncBaseInfoDialog::slt_threademit(QJsonObject objc)
{
    if (objc.value(QStringLiteral("run")).toInt() != thread->runTag)
        return; // a worker that was replaced (by Cancel or a new run) is no longer heard
    const QString type = jsonString(objc, QStringLiteral("type"));
    if (type == QStringLiteral("门店数据导入成功") || type == QStringLiteral("全部导入成功"))
        (objc.value(QStringLiteral("written")).toBool() ? m_written : m_failed)
            .append(jsonString(objc, QStringLiteral("store")));
    if (type == QStringLiteral("数据配置完成")) {
        ui->progressBar->setValue(ui->progressBar->value() + 1);
    } else if (type == QStringLiteral("门店数据导入成功")) {
        ui->progressBar->setValue(ui->progressBar->value() + 1);
        ui->lb_message->setText(jsonString(objc, QStringLiteral("msg")));
    } else if (type == QStringLiteral("全部导入成功")) {
        ui->progressBar->setValue(ui->progressBar->maximum() - m_failed.size()); // full only when all were written
        ui->lb_message->setText(jsonString(objc, QStringLiteral("msg")));
        const QString errors = jsonString(objc, QStringLiteral("errormsg"));
        if (!errors.isEmpty())
            MsgBox::information(nullptr, QStringLiteral("温馨提示"), errors, QMessageBox::Yes, QMessageBox::Yes);
        replaceThread();
        busy = false;
        // Only the stores whose file was written are called synced; the others are named first, on a line of
        // their own.
        const QString kind = dataType == 0 ? QStringLiteral("员工") : QStringLiteral("产品");
        QStringList lines;
        if (!m_failed.isEmpty())
            lines << m_failed.join(QLatin1Char(',')) + QStringLiteral(" 门店的") + kind + QStringLiteral("数据导入Dovra失败！");
        if (!m_written.isEmpty())
            lines << m_written.join(QLatin1Char(',')) + QStringLiteral(" 门店的") + kind + QStringLiteral("数据导入Dovra成功！");
        ui->lb_message->setText(lines.join(QLatin1Char('\n')));
        showIdleButtons();
    }
}

void DovraSyncBaseInfoDialog::replaceThread()
{
    // The old worker finishes the store in hand on its own; its reports carry its run and are not heard.
    thread->abandon();
    thread = new Dovrathread(this, this);
    thread->runTag = ++m_runs;
}

void DovraSyncBaseInfoDialog::showFailure(const QString &label)
{
    ui->pb_retry->show();
    ui->lb_message->setText(label);
    errorType = kRequestFailed;
    busy = false;
}

void DovraSyncBaseInfoDialog::showIdleButtons()
{
    ui->pb_cancel->hide();
    ui->pb_retry->hide();
    ui->pb_syncpeo->show();
    ui->pb_syncpro->show();
}
