// The import run of the batch import dialog: the checks before a run, the orders one after another
// with one thread each, progress and status per row, the path-and-count report to the web service,
// the copy for the Dovra system on the dialog's own pool, the end of the run, and the open-folder
// shortcuts.
//
// A run always ends: every order ends by its thread's end signal, by one of its error signals, or by
// the thread finishing without either (taken as an error). An order that could not be imported, or of
// whose files some could not be written, stays pending, is not reported imported, and the user is told
// why. The end box waits for the run's reports to the web service and names the orders whose report did
// not get there, apart from those whose report went out with no answer (the service may have taken it), and
// the photos that could not be read. It also counts per order the photos as shot the
// order held already (found by their bytes, from either import window), which were not written again. Such an order keeps its report due: the next
// press of the start button sends it again, with the counts of the run it stands for, and copies nothing.
// The counts wait in the order folder (UnsentReport), counted there as each file lands (a run cut off by a
// power cut leaves them there; UnsentReport::RunRecord) and removed once the web service took a report
// carrying them: the next end report of the order and type
// carries them, in this window or in any other (the single-order import's too), after a restart or on
// another desk, and a run of another type sends the order the reports it owes for photos as shot, finished
// photos and designs (a video type's report names its videos and waits for a run of that type). Closing
// the window or removing an order from the list while such a report is owed asks first. A record the web
// service took that stays in the order folder is named in the end box, as is a damaged record (passed over,
// the order's other records carried all the same).
//
// The counts reported are the files the order's runs placed under free names (ImportOrderThread::
// placedFiles), not the growth of the folders, which another import into the order at the same time
// would swell.

#include "importordersphotodlg.h"

#include "dovraimportthread.h"
#include "fileoperation.h"
#include "finishingnotice.h"
#include "globals.h"
#include "httprequest.h"
#include "importordermodel.h"
#include "importorderthread.h"
#include "importstate.h"
#include "logging.h"
#include "msgbox.h"
#include "photoimport.h"
#include "platform.h"
#include "searchorderwindow.h"
#include "unsentreport.h"
#include "webapi.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <cerrno>
#include <memory>

namespace {

// The save-Dovra-path action takes this token of its own, not the program's API token.
const QString kDovraToken = QStringLiteral("9d41b7e2a05c38f6d1e7b4a92c0f5e83");

const int kStatusColumn = 3;

// The run a report to the web service was sent for (0: outside a run), kept on its request object.
const char *const kRunProperty = "importRun";
// Set on an order's thread once what it placed is kept for a report.
const char *const kKeptProperty = "placedKept";

bool isVideoType(ImportTypeEnum type)
{
    return type == ImportTrialVideos || type == ImportRetouchVideos;
}

// Stored order paths end in a separator; one from elsewhere gets "/" so that a sub-folder can follow.
QString folderOf(const QString &path)
{
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))
        return path;
    return path + QLatin1Char('/');
}

// Whether a file can be written into the folder: 0, or the error (errno) that refused it. Only the probe's
// own uniquely named file is made, and only that file is removed again: nothing that was there before is
// touched.
int writeRefusal(const QString &folder)
{
    Platform::SystemFile probe;
    QString path;
    const bool ok = probe.openNewIn(Platform::localPath(folder), QStringLiteral("tessaly-probe"), &path);
    qCDebug(lcImport) << "write probe" << path << (ok ? "ok" : "refused");
    if (!ok)
        return probe.error() != 0 ? probe.error() : EIO;
    probe.close();
    QFile::remove(path);
    return 0;
}

// The reported form of a path under a root: the root as the web service sent it, or the path as the
// web service delivered it when the stored one lies elsewhere (or is empty).
QString reportedPath(const QString &path, const QString &root, const QString &rootRaw, const QString &pathRaw)
{
    if (!root.isEmpty() && path.startsWith(root))
        return QString(path).replace(root, rootRaw);
    if (root.isEmpty() && !path.isEmpty())
        return path;
    return pathRaw;
}

} // namespace

// ---------------------------------------------------------------- run state

ImportRunState::ImportRunState() = default;

ImportRunState::~ImportRunState()
{
    stopAndWait();
}

bool ImportRunState::workersBusy() const
{
    return (thread && thread->isRunning()) || pool.activeThreadCount() > 0;
}

void ImportRunState::requestStop()
{
    active = false;
    queue.clear();
    if (!workersBusy())
        return;
    if (stop)
        stop->stop(); // the order's import stops before its next file
    pool.clear();
}

void ImportRunState::stopAndWait()
{
    requestStop();
    if (thread)
        thread->wait();
    pool.waitForDone();
}

// ---------------------------------------------------------------- start of a run

bool importOrdersPhotoDlg::isImporting() const
{
    return m_run.active || m_run.workersBusy();
}

bool importOrdersPhotoDlg::checkBeforeRun()
{
    auto refuse = [this](const QString &text) {
        MsgBox::information(this, QStringLiteral("警告"), text, QMessageBox::Ok);
        return false;
    };
    if (m_orderList.isEmpty())
        return refuse(QStringLiteral("没有需要导入的订单"));

    int pending = 0;
    // The orders of a shop share their photo root: each root is looked at and probed once per check.
    QHash<QString, int> refusals;
    for (ImportOrderModel *r : qAsConst(m_orderList)) {
        const QString root = r->picPath();
        auto known = refusals.constFind(root);
        if (known == refusals.constEnd())
            known = refusals.insert(root, FileOperation::dirExists(root) ? writeRefusal(root) : 0);
        if (known.value() == EACCES || known.value() == EPERM)
            return refuse(QStringLiteral("您没有服务器写入权限：") + root);
        if (known.value() != 0)
            return refuse(QStringLiteral("服务器路径无法写入：") + root + QStringLiteral("（") + errorText(known.value())
                          + QStringLiteral("）"));
        if (m_importType == ImportDovraCopy) {
            if (r->dovraSourceDir().isEmpty())
                return refuse(QStringLiteral("有订单没有选择Dovra路径"));
        } else if (r->chosenFiles(m_importType).isEmpty()) {
            return refuse(isVideoType(m_importType) ? QStringLiteral("有订单没有选择视频")
                                                    : QStringLiteral("有订单没有选择照片"));
        }
        if (hasWorkLeft(r))
            ++pending;
    }
    m_totalCount = quint16(qMin(pending, 0xFFFF));
    if (pending == 0)
        return refuse(QStringLiteral("没有需要导入的订单"));

    if (m_importType != ImportDovraCopy) {
        QString missing;
        for (ImportOrderModel *r : qAsConst(m_orderList)) {
            if (!r->orderPath().isEmpty() && !FileOperation::dirExists(folderOf(r->orderPath()) + QStringLiteral("成品/")))
                missing += QStringLiteral("订单号:") + r->orderKey() + QLatin1Char('\n');
        }
        if (!missing.isEmpty())
            return refuse(missing + QStringLiteral("路径不存在"));
    }
    return true;
}

void importOrdersPhotoDlg::importAllOrdersBtnSlot()
{
    if (m_run.active)
        return;
    // The thread of a stopped run may still be winding down; it must be gone before the stop state is
    // cleared for the new run.
    if (m_run.workersBusy())
        m_run.stopAndWait();
    if (!checkBeforeRun())
        return;

    // The run takes its own stop state and the switch of the window's shop: neither a shop switch nor
    // another import window reaches it.
    m_run.stop = std::make_shared<ImportStop>();
    m_run.yptbcp = m_shop.yptbcp;
    m_run.active = true;
    m_run.queue.clear();
    m_run.next = 0;
    m_run.failedOrders = 0;
    m_run.problems.clear();
    m_run.unreadable.clear();
    m_run.importedBefore.clear();
    m_run.claimNotes.clear();
    m_run.unreported.clear();
    m_run.countsMaybeTaken.clear();
    m_run.pathMaybeTaken.clear();
    m_run.countedMaybeTaken.clear();
    m_run.startUnanswered.clear();
    m_run.unrecorded.clear();
    m_run.untaken.clear();
    m_run.damaged.clear();
    m_run.held.clear();
    m_run.waiting.clear();
    m_run.heldError.clear();
    m_run.reportsOut = 0;
    m_run.ending = false;
    ++m_run.number;
    m_run.dovraRow = -1;
    m_run.dovraKept.clear();
    for (ImportOrderModel *r : qAsConst(m_orderList)) {
        qCDebug(lcImport) << "orderMdl is:" << r->orderKey();
        qCDebug(lcImport) << "orderMdl isImported:" << (r->isImported(m_importType) ? "true" : "false");
        if (hasWorkLeft(r))
            m_run.queue.append(r);
    }

    setRunning(true);
    m_finishCount = 0;
    m_importAllBtn->setText(QStringLiteral("导片中..."));
    m_importAllBtn->setEnabled(false);
    registerDovraFileInfoList();
    startNextOrder();
}

void importOrdersPhotoDlg::startNextOrder()
{
    while (m_run.active && m_run.next < m_run.queue.size()) {
        ImportOrderModel *r = m_run.queue.at(m_run.next++).data();
        if (!r || !m_orderList.contains(r))
            continue;
        const bool othersSent = sendOtherOwedReports(r);
        if (r->isImported(m_importType)) {
            if (reportOwed(r, m_importType) || r->startUnanswered(m_importType))
                reportAgain(r);
            else if (othersSent)
                ++m_finishCount;
            continue;
        }
        startOrder(r);
        return;
    }
    if (m_run.active)
        endRun();
}

bool importOrdersPhotoDlg::hasWorkLeft(ImportOrderModel *r) const
{
    if (!r->isImported(m_importType) || r->startUnanswered(m_importType))
        return true;
    QList<ImportTypeEnum> types = otherReportTypes();
    types.prepend(m_importType);
    return !typesOwed(r, types).isEmpty();
}

QList<ImportTypeEnum> importOrdersPhotoDlg::otherReportTypes() const
{
    return UnsentReport::carriedWith(m_importType);
}

QList<ImportTypeEnum> importOrdersPhotoDlg::typesOwed(ImportOrderModel *r, const QList<ImportTypeEnum> &types) const
{
    // The order folder is listed once for all the types.
    const QList<UnsentReport::Record> records =
        r->orderPath().isEmpty() ? QList<UnsentReport::Record>() : UnsentReport::records(r->orderPath());
    QList<ImportTypeEnum> owed;
    for (ImportTypeEnum type : types) {
        const ImportOrderModel::ReportDue due = r->reportDue(type);
        bool owes = due.unreported || due.files != 0 || due.backups != 0;
        for (const UnsentReport::Record &record : records)
            owes = owes || (type != ImportDovraCopy && record.type == type && !record.claimed);
        if (owes)
            owed << type;
    }
    return owed;
}

bool importOrdersPhotoDlg::reportOwed(ImportOrderModel *r, ImportTypeEnum type) const
{
    return !typesOwed(r, {type}).isEmpty();
}

bool importOrdersPhotoDlg::sendOtherOwedReports(ImportOrderModel *r)
{
    const QList<ImportTypeEnum> types = typesOwed(r, otherReportTypes());
    for (ImportTypeEnum type : types)
        sendEndReport(r, type);
    return !types.isEmpty();
}

void importOrdersPhotoDlg::reportAgain(ImportOrderModel *r)
{
    ++m_finishCount;
    qCDebug(lcImport) << "report again:" << r->orderKey();
    if (m_importType == ImportDovraCopy) {
        updateDovraInfo(r, r->dovraPath());
        return;
    }
    // A start report the service may take late goes again first: the end report after it sets the order
    // imported once more, whichever of the two starts the service took last. It counts nothing again.
    if (r->startUnanswered(m_importType))
        updateFinishInfo(r, QStringLiteral("0"), 0, 0);
    sendEndReport(r, m_importType);
}

void importOrdersPhotoDlg::sendEndReport(ImportOrderModel *r, ImportTypeEnum type, const UnsentReport::RunRecord::End &own)
{
    // The order folder's records go with this report only: another desk's report of the order does not
    // carry them while this one is under way.
    const ImportOrderModel::ReportDue due = r->reportDue(type);
    UnsentReport::Owed kept;
    if (type != ImportDovraCopy && !r->orderPath().isEmpty())
        kept = UnsentReport::claim(r->orderPath(), type, r->orderBakPath());
    // Damaged records are passed over, and named at the end of the run.
    for (const QString &path : qAsConst(kept.damaged)) {
        if (m_run.active && !m_run.damaged.value(r->orderKey()).contains(path))
            m_run.damaged[r->orderKey()] << path;
    }
    // Records the file system would not let this report claim wait in the order folder, and are named.
    if (m_run.active && !kept.held.isEmpty()) {
        m_run.held[r->orderKey()] << kept.held;
        m_run.heldError[r->orderKey()] = kept.heldError;
    }
    if (m_run.active && !UnsentReport::waitingText(kept).isEmpty())
        m_run.waiting[r->orderKey()] = UnsentReport::waitingText(kept);
    // The run's own record, claimed by the run from its first count on, goes with it as it is.
    QStringList records = kept.paths;
    if (!own.path.isEmpty())
        records << own.path;
    const int files = due.files + kept.counts.files + own.counts.files;
    const int backups = due.backups + kept.counts.backups + own.counts.backups;
    qCDebug(lcImport) << "end report:" << r->orderKey() << type << files << backups << "records:" << records.size();
    reportFinishInfo(r, type, QStringLiteral("1"), files, backups, records);
}

UnsentReport::RunRecord::End importOrdersPhotoDlg::keepUnsent(ImportOrderModel *r, ImportOrderThread *t, bool complete)
{
    const ImportTypeEnum type = m_importType;
    ImportOrderModel::ReportDue due = r->reportDue(type);
    // The run counted each file it placed in its record in the order folder as the file landed; what the
    // window keeps of earlier runs joins it there.
    UnsentReport::RunRecord::End own;
    own.unwritten = {due.files, due.backups};
    if (const std::shared_ptr<UnsentReport::RunRecord> record = t ? t->runRecord() : nullptr)
        own = record->finish(own.unwritten);
    if (!complete && !own.path.isEmpty()) {
        UnsentReport::release({own.path}); // for the next report of the order
        own.path.clear();
    }
    due.files = own.unwritten.files;
    due.backups = own.unwritten.backups;
    due.unreported = due.unreported || complete;
    // What no record holds yet, or that a report is owed at all, the order folder keeps in a record of its own.
    if (due.files == 0 && due.backups == 0 && (!due.unreported || !own.path.isEmpty())) {
        r->setReportDue(type, ImportOrderModel::ReportDue());
        return own;
    }
    int error = 0;
    if (!UnsentReport::add(r->orderPath(), type, {due.files, due.backups}, &error).isEmpty()) {
        r->setReportDue(type, ImportOrderModel::ReportDue()); // the order folder keeps it all now
        return own;
    }
    r->setReportDue(type, due);
    m_run.unrecorded.insert(r->orderKey(), errorText(error));
    return own;
}

void importOrdersPhotoDlg::startOrder(ImportOrderModel *r)
{
    const int row = m_orderList.indexOf(r);
    // The order's own roots serve its thread; the program-wide roots stay as the tool window set them.
    auto *t = new ImportOrderThread(r, m_importType, nullptr);
    t->setRunSettings(
        {r->picPath(), r->bakPicPath(), r->homePicPath(), r->dovraServerPath(), m_run.yptbcp, m_run.stop});
    t->setObjectName(r->orderKey());
    if (m_importType != ImportDovraCopy) {
        // Without an order folder, or with one the import may not use, nothing can start; the thread
        // reports why and the service is not told of an import that never began. An order whose record has
        // no folder yet gets it from the run, on its thread (orderFolderMade), and its start report then.
        if (!r->orderPath().isEmpty() && t->orderFoldersProblem().isEmpty()) {
            qCDebug(lcImport) << "updateFinishInfo1----";
            updateFinishInfo(r, QStringLiteral("0"), 0, 0);
        }
        connect(t, &ImportOrderThread::orderFolderMade, this, [this, r, t] {
            if (t->orderFoldersProblem().isEmpty()) {
                qCDebug(lcImport) << "updateFinishInfo1----";
                updateFinishInfo(r, QStringLiteral("0"), 0, 0);
            }
        });
    } else {
        t->createDovraDir(r->dovraServerPath());
    }
    t->setProperty("row", row);

    connect(t, &QThread::finished, t, &QObject::deleteLater);
    connect(t, &ImportOrderThread::hasImportedImgCount, this, &importOrdersPhotoDlg::importProgressSlot);
    connect(t, &ImportOrderThread::hasFinishedImportSigl, this, &importOrdersPhotoDlg::finishedImportOrderSlot);
    connect(t, &ImportOrderThread::importImageThreadError, this, &importOrdersPhotoDlg::handleImportImageError);
    connect(t, &ImportOrderThread::checkDiskSizeSigl, this, &importOrdersPhotoDlg::lookDiskSizeSlot);
    connect(t, &ImportOrderThread::checkOrderPicPathSigl, this, &importOrdersPhotoDlg::lookPicPathSlot);
    connect(t, &ImportOrderThread::startImportDirDovraThreadSigl, this,
            &importOrdersPhotoDlg::startImportCopyDovraProgressSlot);
    connect(t, &ImportOrderThread::importDirDovraThreadError, this, &importOrdersPhotoDlg::importDovraErrorSlot);
    connect(t, &ImportOrderThread::importOrderStoppedSigl, this, &importOrdersPhotoDlg::importStoppedSlot);
    connect(t, &ImportOrderThread::importFailedFilesSigl, this, &importOrdersPhotoDlg::importFailedFilesSlot);
    connect(t, &ImportOrderThread::waitingForOrderSigl, this, &importOrdersPhotoDlg::orderWaitingSlot);
    connect(t, &QThread::finished, this, &importOrdersPhotoDlg::importThreadFinishedSlot);

    m_run.thread = t;
    t->start(QThread::InheritPriority);
}

// ---------------------------------------------------------------- signals of the order's thread

ImportOrderThread *importOrdersPhotoDlg::runningSender() const
{
    auto *t = qobject_cast<ImportOrderThread *>(sender());
    if (!t || !m_run.active || t != m_run.thread.data()) {
        qCWarning(lcImport) << "signal of a thread that is no longer the run's:" << (t ? t->objectName() : QString());
        return nullptr;
    }
    return t;
}

void importOrdersPhotoDlg::importProgressSlot(quint16 imgCount, quint16 totalCount)
{
    auto *t = qobject_cast<ImportOrderThread *>(sender());
    if (!t)
        return;
    setRowProgress(t->property("row").toInt(), imgCount, totalCount);
}

void importOrdersPhotoDlg::importFailedFilesSlot(QStringList failures)
{
    if (auto *t = qobject_cast<ImportOrderThread *>(sender()))
        t->setProperty("failures", failures);
}

void importOrdersPhotoDlg::orderWaitingSlot(QString why)
{
    auto *t = qobject_cast<ImportOrderThread *>(sender());
    if (!t)
        return;
    for (QWidget *w : cellWidgets(t->property("row").toInt(), 5))
        if (auto *bar = qobject_cast<QProgressBar *>(w))
            bar->setToolTip(why);
    if (t == m_run.thread.data())
        showOrderWait(why);
}

void importOrdersPhotoDlg::showOrderWait(const QString &why)
{
    m_waitLabel->setText(why);
    m_waitLabel->setVisible(!why.isEmpty());
}

void importOrdersPhotoDlg::finishedImportOrderSlot(quint16 totalCount)
{
    ImportOrderThread *t = runningSender();
    if (!t)
        return;
    t->setProperty("ended", true);
    const int row = t->property("row").toInt();
    qCDebug(lcImport) << QStringLiteral("%1 import finished").arg(t->objectName());
    ImportOrderModel *r = m_orderList.value(row);
    if (!r) {
        stopRun(QStringLiteral("导片的订单已不在列表中，导片已停止"));
        return;
    }
    const ImportTypeEnum type = m_importType;

    // What this run placed is kept with the order, beside what earlier runs placed without a report that
    // arrived, before the report goes. An order some of whose files could not be written is not imported,
    // nor reported imported: the next run takes it again and reports what both placed.
    const QStringList failures = t->property("failures").toStringList();
    t->setProperty(kKeptProperty, true);
    const UnsentReport::RunRecord::End own = keepUnsent(r, t, failures.isEmpty());
    if (failures.isEmpty()) {
        ++m_finishCount;
        r->setImportedCount(type, totalCount);
        r->setImported(type, true);
        qCDebug(lcImport) << "updateFinishInfo2----";
        sendEndReport(r, type, own);
    }
    refreshFoundCount(r);
    const quint16 found = r->foundCount(type);
    QTableWidgetItem *status = m_ordersTable->item(row, kStatusColumn);
    if (!status) {
        status = new QTableWidgetItem;
        m_ordersTable->setItem(row, kStatusColumn, status);
    }
    if (!failures.isEmpty())
        status->setText(QStringLiteral("未导完(%1个文件失败)").arg(failures.size()));
    else
        status->setText(found ? QStringLiteral("已导入(%1)").arg(found) : QStringLiteral("未导入"));
    refreshShownOrder(r);

    const QString unreadable = unreadablePhotosText(t->unreadablePhotos());
    if (!unreadable.isEmpty())
        m_run.unreadable << QStringLiteral("订单号:%1 ").arg(r->orderKey()) + unreadable;
    if (t->importedBefore() > 0)
        m_run.importedBefore << QStringLiteral("订单号:%1 ").arg(r->orderKey()) + importedBeforeText(t->importedBefore());
    if (!t->claimNote().isEmpty())
        m_run.claimNotes << QStringLiteral("订单号:%1 ").arg(r->orderKey()) + t->claimNote();
    if (!failures.isEmpty()) {
        const QString text = QStringLiteral("订单号:%1 有%2个文件未能导入：\n%3")
                                 .arg(r->orderKey())
                                 .arg(failures.size())
                                 .arg(failures.join(QLatin1Char('\n')));
        status->setToolTip(text);
        ++m_run.failedOrders;
        m_run.problems << text;
    }
    qCDebug(lcImport) << "finishtCount:" << m_finishCount << "--" << m_orderList.size() << "--" << m_totalCount;
    startNextOrder();
}

void importOrdersPhotoDlg::handleImportImageError(quint8 errorCode)
{
    ImportOrderThread *t = runningSender();
    if (!t)
        return;
    if (errorCode != 1 && errorCode != 2)
        return; // unknown codes: the thread's finish without an end stops the run
    t->setProperty("ended", true);
    stopRun(QString());
    // The thread's text says why the root could not be made.
    QString text = t->errorText();
    if (text.isEmpty())
        text = errorCode == 1 ? QStringLiteral("服务器路径错误") : QStringLiteral("备份服务器路径错误。");
    MsgBox::information(nullptr, QStringLiteral("警告"), text, QMessageBox::Yes);
}

void importOrdersPhotoDlg::lookDiskSizeSlot(QString picPath)
{
    Q_UNUSED(picPath)
    ImportOrderThread *t = runningSender();
    if (!t)
        return;
    t->setProperty("ended", true);
    stopRun(QStringLiteral("服务器空间不足，请清理空间后再导入"));
}

void importOrdersPhotoDlg::lookPicPathSlot()
{
    ImportOrderThread *t = runningSender();
    if (!t)
        return;
    t->setProperty("ended", true);
    const QString text = t->errorText(); // the order folder and why it could not be made
    stopRun(QString());
    QPointer<importOrdersPhotoDlg> self(this);
    MsgBox::information(nullptr, QStringLiteral("警告"), text, QMessageBox::Yes);
    if (!self)
        return;
    m_folderSuffixEdit->setEnabled(false);
}

void importOrdersPhotoDlg::importStoppedSlot(QString reason)
{
    ImportOrderThread *t = runningSender();
    if (!t)
        return;
    t->setProperty("ended", true);
    orderNotImported(t->property("row").toInt(), reason, QStringLiteral("订单号:%1 没有导入：\n%2"));
}

void importOrdersPhotoDlg::importThreadFinishedSlot()
{
    auto *t = qobject_cast<ImportOrderThread *>(sender());
    if (t && t == m_run.thread.data())
        showOrderWait(QString()); // whatever it waited for, it waits no more
    if (m_closedMidRun && t && t == m_run.thread.data()) {
        keepStoppedOrder(); // before the thread goes; the window goes once the copy jobs have ended too
        return;
    }
    if (!t || t->property("ended").toBool() || !m_run.active || t != m_run.thread.data())
        return;
    // The thread ended without saying how: the order was not imported.
    t->setProperty("ended", true);
    orderNotImported(t->property("row").toInt(), QStringLiteral("导片线程没有正常结束，订单仍为未导入"),
                     QStringLiteral("订单号:%1 %2，导片已停止"));
}

void importOrdersPhotoDlg::orderNotImported(int row, const QString &why, const QString &stopText)
{
    if (m_importType == ImportDovraCopy) {
        orderFailed(row, why);
        return;
    }
    ImportOrderModel *r = m_orderList.value(row);
    stopRun(stopText.arg(r ? r->orderKey() : QString(), why));
}

// ---------------------------------------------------------------- end of a run

void importOrdersPhotoDlg::endRun()
{
    qCDebug(lcImport) << "All orders import finished";
    m_run.active = false;
    m_run.queue.clear();
    m_run.ending = true;
    // The box says what the web service did not get: it waits for the run's reports (each gives up
    // after the request time-out).
    if (m_run.reportsOut > 0)
        m_importAllBtn->setText(QStringLiteral("等待服务器回复..."));
    else
        showEndOfRun();
}

void importOrdersPhotoDlg::showEndOfRun()
{
    // A question still open (closing the window, removing orders while their counts are not taken yet) does
    // not outlive the run: it closes unanswered, so that no key meant for it answers the end box.
    MsgBox::closeOpen(this);
    m_run.ending = false;
    m_importAllBtn->setText(QStringLiteral("批量导片"));
    m_importAllBtn->setEnabled(true);
    setRunning(false);
    m_folderSuffixEdit->setEnabled(false);
    QStringList notes;
    if (!m_run.importedBefore.isEmpty())
        notes << m_run.importedBefore.join(QLatin1Char('\n'));
    // Beside the result, not among what was not done: the orders' files went in all the same.
    if (!m_run.claimNotes.isEmpty())
        notes << m_run.claimNotes.join(QLatin1Char('\n'));
    if (!m_run.unreadable.isEmpty())
        notes << QStringLiteral("以下照片无法读取，已按原样复制，没有生成缩略图：\n") + m_run.unreadable.join(QLatin1Char('\n'));
    // The orders and why, a line each.
    auto whyLines = [](const QMap<QString, QString> &byOrder) {
        QStringList lines;
        for (auto it = byOrder.constBegin(); it != byOrder.constEnd(); ++it)
            lines << QStringLiteral("订单号:%1 %2").arg(it.key(), it.value());
        return lines.join(QLatin1Char('\n'));
    };
    if (!m_run.unreported.isEmpty())
        notes << QStringLiteral("以下订单的导片信息没有报给服务器（其它电脑上仍显示未导入），请在服务器恢复后再点“批量导片”"
                                "重新上报（不再复制文件）：\n")
                     + whyLines(m_run.unreported);
    // The orders whose counts the order folder could not keep, while the window still keeps them.
    QSet<QString> windowOnly;
    for (ImportOrderModel *r : qAsConst(m_orderList)) {
        const ImportOrderModel::ReportDue due = r->reportDue(m_importType);
        if (m_run.unrecorded.contains(r->orderKey()) && (due.unreported || due.files != 0 || due.backups != 0))
            windowOnly.insert(r->orderKey());
    }
    // A report that went out with no answer may have been taken, and is not named as not reported. Its counts
    // wait as those of any report not taken (in the order folder for the next import of the order, a video
    // type's for the batch import of that type; in this window only where the order folder could not keep
    // them), so the box says that sending them again counts them twice where the service had taken them; a
    // report of no counts can count nothing twice. A Dovra path waits in this window for the next press.
    for (const bool counted : {true, false}) {
        for (const bool inWindow : {false, true}) {
            QMap<QString, QString> orders;
            for (auto it = m_run.countsMaybeTaken.constBegin(); it != m_run.countsMaybeTaken.constEnd(); ++it)
                if (m_run.countedMaybeTaken.contains(it.key()) == counted && windowOnly.contains(it.key()) == inWindow)
                    orders.insert(it.key(), it.value());
            if (orders.isEmpty())
                continue;
            const QString again = inWindow ? QStringLiteral("再点“批量导片”会再次上报（关闭窗口后不再上报）")
                                  : isVideoType(m_importType)
                                      ? QStringLiteral("再点“批量导片”或下次批量导入该订单的同类视频时会再次上报")
                                      : QStringLiteral("再点“批量导片”或下次在任一导片窗口导入该订单时会再次上报");
            notes << (counted ? QStringLiteral("以下订单的导片数量已发给服务器，但没有收到服务器的回复，服务器可能已收下；")
                                    + (inWindow ? QStringLiteral("这些数量只保存在本窗口，") : QStringLiteral("程序仍保留这些数量，"))
                                    + again + QStringLiteral("；服务器若已收下这次上报，会重复计数：\n")
                              : QStringLiteral("以下订单的导片信息已发给服务器，但没有收到服务器的回复，服务器可能已收下；"
                                               "这次上报的导片数量为0，")
                                    + again + QStringLiteral("，不会重复计数：\n"))
                         + whyLines(orders);
        }
    }
    // A start report that went out with no answer may reach the service after the end report: the order is
    // imported, and the next press posts its start and end again (see reportAgain).
    QMap<QString, QString> startsUnanswered;
    for (ImportOrderModel *r : qAsConst(m_orderList))
        if (r->startUnanswered(m_importType) && m_run.startUnanswered.contains(r->orderKey()))
            startsUnanswered.insert(r->orderKey(), m_run.startUnanswered.value(r->orderKey()));
    if (!startsUnanswered.isEmpty())
        notes << QStringLiteral("以下订单开始导片的信息已发给服务器，但没有收到服务器的回复；服务器若稍后才收下，"
                                "会把该订单显示为未导入，再点“批量导片”或在任一导片窗口再次导入该订单即可改正"
                                "（不会重复复制照片，也不会重复计数）：\n")
                     + whyLines(startsUnanswered);
    if (!m_run.pathMaybeTaken.isEmpty())
        notes << QStringLiteral("以下订单的Dovra路径已发给服务器，但没有收到服务器的回复，服务器可能已收下；"
                                "再点“批量导片”会再次上报同一路径（不再复制文件）：\n")
                     + whyLines(m_run.pathMaybeTaken);
    QStringList unrecorded;
    for (ImportOrderModel *r : qAsConst(m_orderList)) {
        // Named only while the window still keeps what the order folder could not.
        const ImportOrderModel::ReportDue due = r->reportDue(m_importType);
        const auto why = m_run.unrecorded.constFind(r->orderKey());
        if (why != m_run.unrecorded.constEnd() && (due.unreported || due.files != 0 || due.backups != 0))
            unrecorded << QStringLiteral("订单号:%1 %2").arg(r->orderKey(), why.value());
    }
    if (!unrecorded.isEmpty())
        notes << QStringLiteral("以下订单的导片数量无法记在订单目录中，只保存在本窗口（关闭窗口后不再上报）：\n")
                     + unrecorded.join(QLatin1Char('\n'));
    // The record files named per order, a line each.
    auto recordLines = [](const QMap<QString, QStringList> &byOrder) {
        QStringList lines;
        for (auto it = byOrder.constBegin(); it != byOrder.constEnd(); ++it)
            lines << QStringLiteral("订单号:%1 %2").arg(it.key(), it.value().join(QStringLiteral("、")));
        return lines.join(QLatin1Char('\n'));
    };
    if (!m_run.untaken.isEmpty())
        notes << QStringLiteral("以下订单的导片数量服务器已收到，但订单目录中的记录无法删除，请删除该文件"
                                "（本程序不再上报，其它电脑或重新打开程序后会重复上报）：\n")
                     + recordLines(m_run.untaken);
    if (!m_run.damaged.isEmpty())
        notes << UnsentReport::damagedText() + recordLines(m_run.damaged);
    // Orders whose records were refused alike are named together, after the reason and what helps.
    QList<int> heldErrors;
    for (auto it = m_run.held.constBegin(); it != m_run.held.constEnd(); ++it) {
        const int error = m_run.heldError.value(it.key());
        if (!heldErrors.contains(error))
            heldErrors << error;
    }
    for (int error : qAsConst(heldErrors)) {
        QMap<QString, QStringList> orders;
        for (auto it = m_run.held.constBegin(); it != m_run.held.constEnd(); ++it)
            if (m_run.heldError.value(it.key()) == error)
                orders.insert(it.key(), it.value());
        notes << UnsentReport::heldText(error)
                     + (UnsentReport::heldPasses(error) ? QStringLiteral("请稍后再点“批量导片”上报：\n")
                                                        : QStringLiteral("请排除原因后再点“批量导片”上报：\n"))
                     + recordLines(orders);
    }
    for (auto it = m_run.waiting.constBegin(); it != m_run.waiting.constEnd(); ++it)
        notes << QStringLiteral("订单号:%1 %2").arg(it.key(), it.value());
    if (!m_run.dovraKept.isEmpty())
        notes << QStringLiteral("Dovra目录中已有内容不同的同名文件，已保留原文件，没有复制：\n")
                     + m_run.dovraKept.join(QLatin1Char('\n'));
    const QString more = notes.isEmpty() ? QString() : QLatin1Char('\n') + notes.join(QStringLiteral("\n\n"));
    if (m_run.failedOrders == 0 && m_run.unreadable.isEmpty() && m_run.unreported.isEmpty()
        && m_run.countsMaybeTaken.isEmpty() && m_run.pathMaybeTaken.isEmpty() && m_run.untaken.isEmpty()
        && m_run.damaged.isEmpty() && m_run.held.isEmpty() && startsUnanswered.isEmpty()) {
        MsgBox::information(this, QStringLiteral("导入完成"),
                            QStringLiteral("%1个订单已经全部导完").arg(m_finishCount) + more, QMessageBox::Ok);
        return;
    }
    QString text = QStringLiteral("%1个订单已经导完").arg(m_finishCount);
    if (m_run.failedOrders > 0)
        text += QStringLiteral("，%1个订单没有导完（仍为未导入，下次导片时重新导入）：\n%2")
                    .arg(m_run.failedOrders)
                    .arg(m_run.problems.join(QLatin1Char('\n')))
                + (more.isEmpty() ? QString() : QStringLiteral("\n"));
    MsgBox::information(this, QStringLiteral("导入结束"), text + more, QMessageBox::Ok);
}

void importOrdersPhotoDlg::keepStoppedOrder()
{
    ImportOrderThread *t = m_run.thread.data();
    if (!t || t->property(kKeptProperty).toBool() || m_importType == ImportDovraCopy)
        return;
    // The files under way are placed before the counts are read.
    if (m_run.stop)
        m_run.stop->stop();
    t->wait();
    t->setProperty(kKeptProperty, true);
    ImportOrderModel *r = m_orderList.value(t->property("row").toInt());
    if (r && t->objectName() == r->orderKey())
        keepUnsent(r, t, false);
}

void importOrdersPhotoDlg::stopRun(const QString &why)
{
    qCDebug(lcImport) << "import run stopped:" << why;
    keepStoppedOrder();
    showOrderWait(QString());
    m_run.active = false;
    m_run.queue.clear();
    m_run.dovraRow = -1;
    m_importAllBtn->setText(QStringLiteral("批量导片"));
    m_importAllBtn->setEnabled(true);
    setRunning(false);
    if (!why.isEmpty())
        MsgBox::information(this, QStringLiteral("警告"), why, QMessageBox::Ok);
}

// An order that could not be finished: it stays pending, the user is told, and the run goes on.
void importOrdersPhotoDlg::orderFailed(int row, const QString &why)
{
    ImportOrderModel *r = m_orderList.value(row);
    const QString text = QStringLiteral("订单号:%1 没有导完：\n%2").arg(r ? r->orderKey() : QString(), why);
    ++m_run.failedOrders;
    m_run.problems << text;
    m_run.dovraRow = -1;
    if (QTableWidgetItem *status = m_ordersTable->item(row, kStatusColumn))
        status->setToolTip(text);
    QPointer<importOrdersPhotoDlg> self(this);
    MsgBox::information(this, QStringLiteral("警告"), text, QMessageBox::Ok);
    if (!self)
        return;
    startNextOrder();
}

void importOrdersPhotoDlg::reject()
{
    if (m_closedMidRun)
        return; // closed already, finishing its photos
    if (isImporting()) {
        QPointer<importOrdersPhotoDlg> self(this);
        const QMessageBox::StandardButton answer =
            MsgBox::question(this, QStringLiteral("警告"),
                             QStringLiteral("正在导片，确定要关闭窗口吗？\n关闭后导片停止，没有导完的订单仍为未导入。"));
        if (!self || answer != QMessageBox::Yes)
            return;
        // The order under way stops before its next file.
        m_run.requestStop();
    } else if (!confirmUnsentReports(m_orderList, QStringLiteral("确定要关闭窗口吗？"))) {
        return;
    }
    if (m_run.workersBusy() || m_run.reportsOut > 0) {
        // The window leaves the screen at once; the files already started are finished meanwhile and the
        // run's reports answered (the notice says so, and the program does not end with them under way), what
        // the order placed is kept for its next report, and then the window goes.
        m_closedMidRun = true;
        m_finishing = FinishingNotice::hold(this, m_run.workersBusy() ? FinishingNotice::Stage::Photos
                                                                      : FinishingNotice::Stage::Answer);
        if (testAttribute(Qt::WA_DeleteOnClose)) {
            setAttribute(Qt::WA_DeleteOnClose, false);
            m_deleteAfterRun = true;
        }
        if (m_picker)
            m_picker->deleteLater();
        if (!m_run.thread || !m_run.thread->isRunning())
            keepStoppedOrder();
        finishClosedRun();
        QDialog::reject();
        return;
    }
    keepStoppedOrder();
    QDialog::reject();
}

void importOrdersPhotoDlg::finishClosedRun()
{
    if (!m_closedMidRun)
        return;
    if (m_run.workersBusy() || m_run.reportsOut > 0) {
        if (!m_run.workersBusy() && m_finishing)
            m_finishing->setStage(FinishingNotice::Stage::Answer);
        QTimer::singleShot(50, this, &importOrdersPhotoDlg::finishClosedRun);
        return;
    }
    keepStoppedOrder();
    m_closedMidRun = false;
    m_finishing.reset();
    if (m_deleteAfterRun)
        deleteLater();
}

bool importOrdersPhotoDlg::confirmUnsentReports(const QList<ImportOrderModel *> &orders, const QString &question)
{
    UnsentReport::OwedLines lines;
    QList<UnsentReport::Record> inFolders;
    for (ImportOrderModel *r : orders) {
        bool inWindow = false;
        for (int type = ImportOriginPhotos; type <= ImportDovraCopy; ++type) {
            const ImportOrderModel::ReportDue due = r->reportDue(ImportTypeEnum(type));
            inWindow = inWindow || due.unreported || due.files != 0 || due.backups != 0;
        }
        const QList<UnsentReport::Record> records =
            r->orderPath().isEmpty() ? QList<UnsentReport::Record>() : UnsentReport::records(r->orderPath());
        if (!inWindow && records.isEmpty())
            continue;
        inFolders << records;
        const QString line = QStringLiteral("订单号:") + r->orderKey()
                             + (inWindow ? QStringLiteral("（只记在本窗口中，关闭后不再上报）") : QString());
        // Where its end report is: posted and not answered, or waiting for the answer to the order's start
        // report; else whether the last one went out with no answer.
        bool posted = false;
        bool waiting = false;
        for (const QPointer<HttpRequest> &request : m_endReports.values(r->orderKey())) {
            posted = posted || (request && request->reply());
            waiting = waiting || (request && !request->reply());
        }
        if (posted)
            lines.out << line;
        else if (waiting)
            lines.waitingForStart << line;
        else if (m_run.countsMaybeTaken.contains(r->orderKey()))
            lines.maybeTaken << line;
        else
            lines.notSent << line;
    }
    if (lines.notSent.isEmpty() && lines.maybeTaken.isEmpty() && lines.waitingForStart.isEmpty() && lines.out.isEmpty())
        return true;
    QPointer<importOrdersPhotoDlg> self(this);
    const QMessageBox::StandardButton answer =
        MsgBox::question(this, QStringLiteral("警告"), UnsentReport::owedQuestion(lines, inFolders, question));
    return self && answer == QMessageBox::Yes;
}

// ---------------------------------------------------------------- path-and-count report

void importOrdersPhotoDlg::updateFinishInfo(ImportOrderModel *model, QString importState, int fileCount,
                                            int backupCount, const QStringList &records)
{
    reportFinishInfo(model, m_importType, importState, fileCount, backupCount, records);
}

void importOrdersPhotoDlg::reportFinishInfo(ImportOrderModel *model, ImportTypeEnum type, const QString &importState,
                                            int fileCount, int backupCount, const QStringList &records)
{
    if (!model)
        return;
    const bool video = isVideoType(type);
    if (video && importState == QLatin1String("0"))
        return; // the video types report only when an order ends

    const QString orderPath =
        reportedPath(model->orderPath(), model->picPath(), model->picPathRaw(), model->orderPathRaw());
    const QString bakPath =
        reportedPath(model->orderBakPath(), model->bakPicPath(), model->bakPicPathRaw(), model->orderBakPathRaw());

    FormBody body;
    body.add(QStringLiteral("picnumber"), QString::number(fileCount))
        .add(QStringLiteral("picbacknumber"), QString::number(backupCount))
        .add(QStringLiteral("importype"), importState)
        .add(QStringLiteral("token"), g_apiToken)
        .add(QStringLiteral("order_photo_id"), model->orderPhotoId())
        .add(QStringLiteral("orderpicpath"), orderPath)
        .add(QStringLiteral("orderbakpicpath"), bakPath)
        .add(QStringLiteral("superid"), m_shop.superId)
        .add(QStringLiteral("eid"), m_shop.eid)
        .add(QStringLiteral("shopid"), m_shop.shopId)
        .add(QStringLiteral("timestamp"), QString::number(QDateTime::currentMSecsSinceEpoch()));
    if (video) {
        const QString folder = folderOf(orderPath)
                               + (type == ImportTrialVideos ? QStringLiteral("试拍视频/") : QStringLiteral("精修视频/"));
        QStringList paths;
        QStringList names;
        for (const QString &file : model->chosenFiles(type)) {
            const QString name = FileOperation::getFileName(QString(file).replace(QLatin1Char('\\'), QLatin1Char('/')));
            paths << folder + name;
            names << name;
        }
        body.add(QStringLiteral("videopaths"), paths.join(QLatin1Char('|')))
            .add(QStringLiteral("videofiles"), names.join(QLatin1Char('|')));
    }
    if (type != ImportDovraCopy)
        body.add(QStringLiteral("typeid"), QString::number(int(type)));

    const QByteArray data = body.toByteArray();
    qCDebug(lcImport) << "提交路径地址1:===" << g_url_updatepicpath;
    qCDebug(lcImport) << "postData===" << maskSecrets(data);
    // The run does not wait for an order's start report; the order's end reports do (the service could take
    // them the other way round and end on the start's "0").
    const bool start = importState == QLatin1String("0");
    QNetworkReply *after = start ? nullptr : m_startReports.value(model->orderKey()).data();
    HttpRequest *request = HttpRequest::startNetRequest(g_url_updatepicpath, data, true, after);
    if (start) {
        m_startReports.insert(model->orderKey(), request->reply());
        model->setStartUnanswered(type, false);
        // Taken after its time limit, it would come after the end report and leave the order not imported
        // at the service: the order is named, and the next press posts its start and end again.
        const QPointer<ImportOrderModel> order(model);
        const int run = m_run.active ? m_run.number : 0;
        connect(request, &HttpRequest::netErrorInfo, this,
                [this, order, type, run, key = model->orderKey()](const QString &why, bool sentWithoutAnswer) {
                    if (!sentWithoutAnswer)
                        return;
                    if (order)
                        order->setStartUnanswered(type, true);
                    if (run != 0 && run == m_run.number)
                        m_run.startUnanswered.insert(key, QString(why).replace(QLatin1Char('\n'), QStringLiteral("：")));
                });
    } else if (importState == QLatin1String("1")) {
        // (the handled ones go from the list as the next one comes)
        const QString key = model->orderKey();
        auto it = m_endReports.find(key);
        while (it != m_endReports.end() && it.key() == key) {
            if (it.value().isNull())
                it = m_endReports.erase(it);
            else
                ++it;
        }
        m_endReports.insert(key, request);
    }
    connect(request, SIGNAL(netSuccessInfo(QJsonObject)), this, SLOT(httpUploadOrderInfoJson(QJsonObject)));
    // The end of an import is the report the order owes until it arrives.
    followReport(request, model, type, importState == QLatin1String("1"), records, fileCount != 0 || backupCount != 0);
}

// A report of a run is followed until it ends, however it ends; what did not get to the web service is
// named in the end box, not in a box of its own. A report outside a run shows its own errors. An owed
// report (the end of an order's import) that arrives clears the order's report due for the run's type;
// one that does not arrive keeps it, and the order is named. A start report that does not arrive is
// not named: the end report says all it says. The order folder's records the report carries go once the
// web service took it, and are given back for the next report when it did not, also when the window has
// gone meanwhile.
void importOrdersPhotoDlg::followReport(HttpRequest *request, ImportOrderModel *model, ImportTypeEnum type,
                                        bool owed, const QStringList &records, bool counted)
{
    // The records that stay though the service took them (see UnsentReport::drop).
    auto stuck = std::make_shared<QStringList>();
    if (owed && !records.isEmpty()) {
        auto settled = std::make_shared<bool>(false);
        connect(request, &HttpRequest::netSuccessInfo, request, [records, settled, stuck](const QJsonObject &reply) {
            *settled = true;
            if (replyOk(reply))
                *stuck = UnsentReport::drop(records);
            else
                UnsentReport::release(records);
        });
        connect(request, &HttpRequest::netErrorInfo, request, [records, settled] {
            *settled = true;
            UnsentReport::release(records);
        });
        connect(request, &QObject::destroyed, [records, settled] {
            if (!*settled)
                UnsentReport::release(records);
        });
    }
    const int run = m_run.active ? m_run.number : 0;
    request->setProperty(kRunProperty, run);
    if (run == 0)
        return;
    request->setShowsErrors(false);
    ++m_run.reportsOut;
    const QString orderKey = model->orderKey();
    const QPointer<ImportOrderModel> order(model);
    auto answered = std::make_shared<bool>(false);
    // sentWithoutAnswer: the report went out and no answer came; the service may have taken it.
    auto note = [this, run, orderKey, owed, type, counted](const QString &why, bool sentWithoutAnswer) {
        qCWarning(lcImport) << "report not delivered:" << orderKey << why;
        if (!owed || run != m_run.number)
            return;
        if (sentWithoutAnswer && counted)
            m_run.countedMaybeTaken.insert(orderKey);
        QMap<QString, QString> &named = !sentWithoutAnswer        ? m_run.unreported
                                        : type == ImportDovraCopy ? m_run.pathMaybeTaken
                                                                  : m_run.countsMaybeTaken;
        if (!named.contains(orderKey))
            named.insert(orderKey, QString(why).replace(QLatin1Char('\n'), QStringLiteral("：")));
    };
    connect(request, &HttpRequest::netSuccessInfo, this,
            [this, run, orderKey, note, answered, order, type, owed, stuck](const QJsonObject &reply) {
                *answered = true;
                if (!replyOk(reply))
                    note(QStringLiteral("服务器没有接受：") + replyMessage(reply, QStringLiteral("没有说明原因")), false);
                else if (owed && order)
                    order->setReportDue(type, ImportOrderModel::ReportDue());
                if (!stuck->isEmpty() && run == m_run.number)
                    m_run.untaken[orderKey] << *stuck;
            });
    connect(request, &HttpRequest::netErrorInfo, this, [note, answered](const QString &error, bool sentWithoutAnswer) {
        *answered = true;
        note(error, sentWithoutAnswer);
    });
    connect(request, &QObject::destroyed, this, [this, run, note, answered] {
        if (!*answered)
            note(QStringLiteral("服务器的回复无法读取"), false);
        if (run != m_run.number)
            return;
        --m_run.reportsOut;
        // A window closed meanwhile shows no end box (finishClosedRun lets it go).
        if (m_run.ending && m_run.reportsOut == 0 && !m_closedMidRun)
            showEndOfRun();
    });
}

void importOrdersPhotoDlg::httpUploadOrderInfoJson(QJsonObject infoJson)
{
    qCDebug(lcImport) << "infoJson" << infoJson;
    if (!replyOk(infoJson))
        showRefusal(infoJson);
}

// A refusal of a report sent outside a run is shown with its own message; within a run the end box
// names the order instead, and the run goes on.
void importOrdersPhotoDlg::showRefusal(const QJsonObject &reply)
{
    if (sender() && sender()->property(kRunProperty).toInt() > 0)
        return;
    MsgBox::information(this, QStringLiteral("警告"), replyMessage(reply, QStringLiteral("服务器没有接受导片信息")),
                        QMessageBox::Ok);
}

// ---------------------------------------------------------------- copy for the Dovra system

void importOrdersPhotoDlg::startImportCopyDovraProgressSlot(QList<DovraFileInfo> list, QString toDir)
{
    ImportOrderThread *t = runningSender();
    if (!t)
        return;
    t->setProperty("ended", true);
    const int row = t->property("row").toInt();
    const int n = list.size();
    qCDebug(lcImport) << "listlist=" << n;
    setRowProgress(row, 0, n);
    m_dovraCopyCount = 0;
    m_run.dovraRow = row;
    m_run.dovraToDir = toDir;
    m_run.dovraFailures.clear();
    if (n == 0) {
        // An empty folder: the target folder is all there is to make, and it is made.
        finishedImportOrderDovraSlot(row, toDir);
        return;
    }
    for (int i = 0; i < n; ++i)
        m_run.pool.start(new DovraImportThread(row, i + 1, n, toDir, list.at(i), this), 0);
}

void importOrdersPhotoDlg::importCopyDovraFailedSlot(int row, QString source, QString reason)
{
    if (!m_run.active || row != m_run.dovraRow)
        return;
    m_run.dovraFailures << source + QStringLiteral(": ") + reason;
}

// A target that held a different file of the same name: the file there is kept, the order counts as
// copied, and the end of the run names it.
void importOrdersPhotoDlg::importCopyDovraKeptSlot(int row, QString target)
{
    if (!m_run.active || row != m_run.dovraRow)
        return;
    m_run.dovraKept << target;
}

void importOrdersPhotoDlg::importCopyDovraProgressSlot(int row, int currentCount, int totalCount, QString toDir)
{
    Q_UNUSED(currentCount)
    if (!m_run.active || row != m_run.dovraRow || toDir != m_run.dovraToDir)
        return; // a report of a copy that was stopped
    ++m_dovraCopyCount;
    qCDebug(lcImport) << "开始导入=" << m_dovraCopyCount << "--" << totalCount;
    setRowProgress(row, m_dovraCopyCount, totalCount);
    if (m_dovraCopyCount != totalCount)
        return;
    if (!m_run.dovraFailures.isEmpty()) {
        m_run.dovraFailures.sort();
        orderFailed(row, QStringLiteral("%1个文件没有复制：\n%2")
                             .arg(m_run.dovraFailures.size())
                             .arg(m_run.dovraFailures.join(QLatin1Char('\n'))));
        return;
    }
    finishedImportOrderDovraSlot(row, toDir);
}

void importOrdersPhotoDlg::importDovraErrorSlot()
{
    ImportOrderThread *t = runningSender();
    if (!t)
        return;
    t->setProperty("ended", true);
    QString why = t->errorText();
    if (why.isEmpty())
        why = QStringLiteral("Dovra目录无法创建");
    orderFailed(t->property("row").toInt(), why);
}

void importOrdersPhotoDlg::finishedImportOrderDovraSlot(int row, QString picPath)
{
    ++m_finishCount;
    m_run.dovraRow = -1;
    if (ImportOrderModel *r = m_orderList.value(row)) {
        r->setDovraImported(true);
        r->setDovraPath(picPath);
        ImportOrderModel::ReportDue due;
        due.unreported = true;
        r->setReportDue(ImportDovraCopy, due);
        updateDovraInfo(r, picPath);
        refreshShownOrder(r);
    }
    QTableWidgetItem *status = m_ordersTable->item(row, kStatusColumn);
    if (!status) {
        status = new QTableWidgetItem;
        m_ordersTable->setItem(row, kStatusColumn, status);
    }
    status->setData(Qt::DisplayRole, QStringLiteral("已导入"));
    startNextOrder();
}

void importOrdersPhotoDlg::updateDovraInfo(ImportOrderModel *model, QString picPath)
{
    if (!model)
        return;
    qCDebug(lcImport) << "getOrderPath=" << model->orderPath();
    FormBody body;
    body.add(QStringLiteral("token"), kDovraToken)
        .add(QStringLiteral("orderphotoid"), model->orderPhotoId())
        .add(QStringLiteral("dovrapath"), picPath)
        .add(QStringLiteral("superid"), m_shop.superId)
        .add(QStringLiteral("eid"), m_shop.eid)
        .add(QStringLiteral("shopid"), m_shop.shopId);
    HttpRequest *request = HttpRequest::startNetRequest(g_url_savedovrapath, body.toByteArray(), true);
    connect(request, SIGNAL(netSuccessInfo(QJsonObject)), this, SLOT(httpUploadDovraInfoJson(QJsonObject)));
    followReport(request, model, ImportDovraCopy, true);
}

void importOrdersPhotoDlg::httpUploadDovraInfoJson(QJsonObject infoJson)
{
    qCDebug(lcImport) << "infoJson" << infoJson;
    if (!replyOk(infoJson))
        showRefusal(infoJson);
}

void importOrdersPhotoDlg::slt_dovrathreadmsg(QString str)
{
    Q_UNUSED(str)
    qCDebug(lcImport) << "返回过来的数据哈哈哈哈";
}

// ---------------------------------------------------------------- open-folder shortcuts

void importOrdersPhotoDlg::tbOpenOrderPathAction()
{
    const int row = m_ordersTable->currentRow();
    ImportOrderModel *r = m_orderList.value(row);
    if (!r || r->orderPath().isEmpty())
        return;
    qCDebug(lcImport) << "orderpath" << r->orderPath();
    openFolder(folderOf(r->orderPath()) + QStringLiteral("成品"));
}

void importOrdersPhotoDlg::openOrderPhotoPathBtnSlot()
{
    const QString path = m_orderPathLabel->text();
    if (path.isEmpty())
        return; // no order shown
    qCDebug(lcImport) << path;
    openFolder(path);
}

void importOrdersPhotoDlg::openOrderOriginPathBtnSlot()
{
    const QString orderPath = m_orderPathLabel->text();
    if (orderPath.isEmpty())
        return; // no order shown
    const QString path = folderOf(orderPath) + QStringLiteral("照片/新建文件夹");
    openFolder(path);
    qCDebug(lcImport) << path;
}
