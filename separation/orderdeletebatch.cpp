#include "orderdeletebatch.h"

#include "fileoperation.h"
#include "globals.h"
#include "importorderthread.h"
#include "logging.h"
#include "msgbox.h"
#include "platform.h"
#include "webapi.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QThread>

#include <memory>

namespace {
// The pick a deletion log post is about, kept on its reply.
const char *const kPickProperty = "deletionPick";
} // namespace

OrderDeleteBatch::OrderDeleteBatch(const QList<OrderRowInfo> &rows, const ShopSettings &shop)
    : m_rows(rows), m_shop(shop), m_manager(new QNetworkAccessManager(this))
{
    m_settings.picPath = shop.picPath;
    m_settings.bakPicPath = shop.bakPicPath;
    m_settings.homePicPath = shop.homePicPath;
}

OrderDeleteBatch::~OrderDeleteBatch() = default;

OrderDeleteBatch::Selection OrderDeleteBatch::select(const QList<OrderRowInfo> &rows, const QStringList &roots)
{
    Selection selection;
    QSet<QString> folders;
    for (const OrderRowInfo &row : rows) {
        if (row.orderpath.trimmed().isEmpty()) {
            selection.skipped.append({row, QStringLiteral("没有照片目录")});
            continue;
        }
        // The path alone: each thread's deletion looks inside its folder as it deletes.
        QString why;
        if (!FileOperation::isSafeToDelete(row.orderpath, roots, &why, FileOperation::FolderItself)) {
            qCWarning(lcSeparation) << "order folder refused:" << why;
            selection.refused.append(Pick{row, false, FileOperation::refusalShown(why), QString()});
            continue;
        }
        // One folder under two spellings ("x/", "x", back-slashes, a link) is deleted once.
        QString folder = QFileInfo(Platform::localPath(row.orderpath)).canonicalFilePath();
        if (!FileOperation::dirExists(row.orderpath) || folder.isEmpty()) {
            selection.skipped.append({row, QStringLiteral("目录不存在")});
            continue;
        }
        if (Platform::pathCase() == Qt::CaseInsensitive)
            folder = folder.toLower();
        if (folders.contains(folder))
            continue;
        folders.insert(folder);
        selection.picks.append(Pick{row, false, QString(), QString()});
    }
    return selection;
}

void OrderDeleteBatch::start()
{
    if (m_started)
        return;
    m_started = true;
    const auto selection = std::make_shared<Selection>();
    QThread *picker = QThread::create(
        [selection, rows = m_rows, roots = m_settings.storageRoots()] { *selection = select(rows, roots); });
    connect(picker, &QThread::finished, this, [this, selection] { picked(*selection); });
    connect(picker, &QThread::finished, picker, &QObject::deleteLater);
    picker->start();
}

void OrderDeleteBatch::picked(const Selection &selection)
{
    m_picks = selection.picks;
    m_refused = selection.refused;
    m_skipped = selection.skipped;
    if (m_picks.isEmpty()) {
        finish();
        return;
    }
    qCDebug(lcSeparation) << "checkOrdersNum==" << m_picks.size();
    emit counted(m_picks.size());
    while (m_running < kMaxThreads && m_next < m_picks.size())
        startNext();
}

void OrderDeleteBatch::startNext()
{
    const int index = m_next++;
    auto *thread = new ImportOrderThread(m_picks.at(index).row); // deletes itself when finished
    thread->setRunSettings(m_settings);
    connect(thread, &ImportOrderThread::deleteSucceed, this, [this, index](QString mOrderid, QString deleteDir) {
        m_picks[index].deleted = true;
        updatedata(index, mOrderid, deleteDir);
    });
    connect(thread, &ImportOrderThread::deleteRefused, this, [this, index](QString, QString, QString why) {
        m_picks[index].refused = FileOperation::refusalShown(why);
    });
    // The end of every thread counts, whether its folder went or not.
    connect(thread, &QThread::finished, this, &OrderDeleteBatch::threadEnded);
    ++m_running;
    m_peakRunning = qMax(m_peakRunning, m_running);
    thread->start(QThread::InheritPriority);
}

void OrderDeleteBatch::threadEnded()
{
    --m_running;
    ++m_done;
    emit progressed(m_done);
    if (m_next < m_picks.size())
        startNext();
    else if (m_done == m_picks.size())
        finish();
}

void OrderDeleteBatch::finish()
{
    m_threadsDone = true;
    finishWhenLogged();
}

void OrderDeleteBatch::finishWhenLogged()
{
    if (!m_threadsDone || m_logsOut > 0 || m_ended)
        return;
    m_ended = true;
    auto line = [](const OrderRowInfo &row, const QString &why) {
        const QString key = row.orderpayforkey.isEmpty() ? QString() : row.orderpayforkey + QStringLiteral("  ");
        return key + row.orderpath + QStringLiteral("（") + why + QStringLiteral("）");
    };
    QStringList notDeleted;
    for (const Pick &pick : qAsConst(m_refused))
        notDeleted << line(pick.row, pick.refused);
    QStringList notLogged;
    QStringList maybeLogged;
    int deleted = 0;
    for (const Pick &pick : qAsConst(m_picks)) {
        if (pick.deleted) {
            ++deleted;
            if (!pick.logProblem.isEmpty())
                (pick.logMaybeTaken ? maybeLogged : notLogged) << line(pick.row, pick.logProblem);
        } else if (!pick.refused.isEmpty()) {
            notDeleted << line(pick.row, pick.refused);
        } else {
            notDeleted << line(pick.row, FileOperation::dirExists(pick.row.orderpath) ? QStringLiteral("删除失败")
                                                                                     : QStringLiteral("目录已不存在"));
        }
    }
    for (const auto &skipped : qAsConst(m_skipped))
        notDeleted << line(skipped.first, skipped.second);

    if (m_picks.isEmpty() && m_refused.isEmpty()) {
        inform(QStringLiteral("警告"), QStringLiteral("订单路径不存在"));
    } else if (notDeleted.isEmpty() && notLogged.isEmpty() && maybeLogged.isEmpty()) {
        inform(QStringLiteral("警告"), QStringLiteral("订单照片删除成功"));
    } else {
        QString text = QStringLiteral("已删除 %1 个订单的照片").arg(deleted);
        QString gap = QStringLiteral("。"); // before the first part that follows
        if (!notDeleted.isEmpty()) {
            text += QStringLiteral("，以下 %1 个订单的照片未删除：\n").arg(notDeleted.size()) + notDeleted.join(QLatin1Char('\n'));
            gap = QStringLiteral("\n\n");
        }
        if (!notLogged.isEmpty()) {
            text += gap + QStringLiteral("以下 %1 个订单的照片已删除，但删除记录没有报给服务器：\n").arg(notLogged.size())
                    + notLogged.join(QLatin1Char('\n'));
            gap = QStringLiteral("\n\n");
        }
        if (!maybeLogged.isEmpty())
            text += gap
                    + QStringLiteral("以下 %1 个订单的照片已删除，删除记录已发给服务器，但没有收到服务器的回复，"
                                     "服务器可能已收下（删除记录不会再次上报）：\n")
                          .arg(maybeLogged.size())
                    + maybeLogged.join(QLatin1Char('\n'));
        inform(QStringLiteral("警告"), text);
    }
    emit ended();
    releaseWhenDone();
}

void OrderDeleteBatch::updatedata(int index, const QString &mOrderid, const QString &deleteDir)
{
    qCDebug(lcSeparation) << "mOrderid==" << mOrderid;
    qCDebug(lcSeparation) << "deleteDir==" << deleteDir;
    submitDeleteMessage(index, mOrderid, deleteDir);
}

void OrderDeleteBatch::submitDeleteMessage(int index, const QString &orderId, const QString &dir)
{
    // The folder as the web service named it.
    const QByteArray body = FormBody::withToken()
                                .add(QStringLiteral("shopid"), m_shop.shopId)
                                .add(QStringLiteral("superid"), m_shop.superId)
                                .add(QStringLiteral("orderphotoid"), orderId)
                                .add(QStringLiteral("path"), dir)
                                .add(QStringLiteral("MANAGER_ID"), m_shop.eid)
                                .toByteArray();
    qCDebug(lcSeparation) << "url_submit_delete_log" << g_url_order_photo_del;
    qCDebug(lcSeparation) << "postData" << maskSecrets(body);
    QNetworkReply *reply =
        postForm(m_manager, g_url_order_photo_del, body, this, &OrderDeleteBatch::submitDeleteMessageCallBack);
    reply->setProperty(kPickProperty, index);
    ++m_logsOut;
}

void OrderDeleteBatch::submitDeleteMessageCallBack(QNetworkReply *reply)
{
    --m_logsOut;
    // The folder stays deleted whatever the reply says; the entry is not posted again, and the closing
    // box names it.
    QJsonObject obj;
    QString problem = replyProblem(reply, &obj);
    if (problem.isEmpty() && !replyOk(obj))
        problem = QStringLiteral("服务器没有接受：") + replyMessage(obj) + QLatin1Char('\t') + jsonString(obj, QStringLiteral("code"));
    const int index = reply->property(kPickProperty).toInt();
    if (!problem.isEmpty() && index >= 0 && index < m_picks.size()) {
        m_picks[index].logProblem = problem;
        m_picks[index].logMaybeTaken = sentWithoutAnswer(reply);
    }
    finishWhenLogged();
    releaseWhenDone();
}

void OrderDeleteBatch::inform(const QString &title, const QString &text)
{
    ++m_boxesOpen;
    MsgBox::information(nullptr, title, text, QMessageBox::Yes, QMessageBox::Yes);
    --m_boxesOpen;
}

void OrderDeleteBatch::releaseWhenDone()
{
    if (m_ended && m_logsOut == 0 && m_boxesOpen == 0)
        deleteLater();
}
