#include "separationwindow.h"

#include "barcodedownload.h"
#include "fileoperation.h"
#include "globals.h"
#include "importclaim.h"
#include "goodsplan.h"
#include "logging.h"
#include "messageboxdialog.h"
#include "msgbox.h"
#include "orderfolders.h"
#include "orderdetail.h"
#include "platform.h"
#include "separatethread.h"
#include "separationattempt.h"
#include "separationclaim.h"
#include "sheetfiles.h"
#include "sheetpdf.h"
#include "thumbnailthread.h"
#include "webapi.h"

#include <QAtomicInt>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkReply>
#include <QProgressBar>
#include <QTimer>

#include <cerrno>

namespace {

const QString kFinishedLabel = QStringLiteral("已完成订单个数：");
const QString kFinishedSource = QStringLiteral("成品/");
const QString kWorkSheetPdf = QStringLiteral("明细制作单.pdf");
const QString kExpressSheetPdf = QStringLiteral("快递产品信息.pdf");
// The bar while an order waits for the copies of a closed window.
const QString kWaitingFormat = QStringLiteral("等待已关闭的分件窗口复制完该订单的文件 %p%");
// How often the run looks whether another program separating the order has finished.
constexpr int kClaimLookMs = 1000;
// The time jobs are started in before the window takes its events again.
constexpr int kSliceMs = 8;

// The bar while another program separates the order (key): the desk it runs on, as its claim names it, or
// this desk; and that closing the window stops the wait.
QString otherProgramFormat(const QString &key, const SeparationClaim::Taking &taking)
{
    const QString where = taking.thisDesk         ? QStringLiteral("本机的另一个程序中")
                          : taking.desk.isEmpty() ? QStringLiteral("另一个程序中")
                                                  : taking.desk + QStringLiteral("上");
    return QStringLiteral("订单") + key + QStringLiteral("正在") + where
           + QStringLiteral("分件，等待其分件完成（可关闭窗口停止等待）");
}

// The body of a request about one order of the shop: "token", "order_photo_id", "shopid", "superid"; more
// may follow.
FormBody orderBody(const QString &orderPhotoId, const ShopSettings &shop)
{
    FormBody body = FormBody::withToken();
    body.add(QStringLiteral("order_photo_id"), orderPhotoId)
        .add(QStringLiteral("shopid"), shop.shopId)
        .add(QStringLiteral("superid"), shop.superId);
    return body;
}

} // namespace

SeparationWindow::SeparationWindow(QWidget *parent, const ShopSettings &shop) : OrderSearchWindowBase(parent, shop)
{
}

void SeparationWindow::closeEvent(QCloseEvent *event)
{
    if (runActive()) {
        QPointer<SeparationWindow> self(this);
        const QMessageBox::StandardButton answer = MsgBox::question(
            this, QStringLiteral("警告"),
            QStringLiteral("正在分件，确定要关闭窗口吗？\n关闭后分件停止，没有分完的订单需要重新分件。"));
        if (!self)
            return;
        if (answer != QMessageBox::Yes) {
            event->ignore(); // the run goes on
            return;
        }
    }
    OrderSearchWindowBase::closeEvent(event);
    m_claim.reset(); // the order's claim goes once the copies under way have ended
    m_importHold.reset();
}

QStringList SeparationWindow::workFolders() const
{
    return {shop().finishedDirName};
}

bool SeparationWindow::orderFolderClaimed() const
{
    return m_claim && m_claim->isHeld();
}

bool SeparationWindow::orderPathUsable() const
{
    return Platform::isAbsolutePath(m_order.orderpath);
}

FolderIndex SeparationWindow::listing(const QString &folder) const
{
    if (!orderPathUsable())
        return FolderIndex();
    return FolderIndex(folder, m_rules.listDotEntries);
}

QString SeparationWindow::finishedLabelText() const
{
    // Counted from the rows: the rows taken (all finished but the one in hand) and the ticked rows still to come.
    int finished = 0;
    int total = 0;
    for (int i = 0; i < m_orderList.size(); ++i) {
        const OrderRowInfo &row = m_orderList.at(i);
        if (row.processed || row.checked)
            ++total;
        if (row.processed && i != m_currentRow)
            ++finished;
    }
    return kFinishedLabel + QString::number(finished) + QLatin1Char('/') + QString::number(total);
}

// ---- the run ----

void SeparationWindow::startSeparation()
{
    // A click during a run (here or in another window) changes nothing of it, its findings included.
    if (!beginRun())
        return;
    m_messageList.clear();
    if (!hasCheckedOrder()) {
        endRun();
        inform(QString(), QStringLiteral("请选择订单"));
        return;
    }
    bool untaken = false;
    for (const OrderRowInfo &row : qAsConst(m_orderList))
        untaken = untaken || (row.checked && !row.processed);
    if (!FileOperation::dirExists(m_pathEdit->text())) {
        endRun();
        inform(QStringLiteral("警告"), QStringLiteral("分件路径不存在"));
        return;
    }
    if (!untaken) {
        // An earlier run ended early after taking every ticked row: start those rows afresh next time.
        for (OrderRowInfo &row : m_orderList)
            row.processed = false;
        endRun();
        inform(QStringLiteral("提示"), QStringLiteral("勾选的订单都已分件，再次点击“开始分件”将重新分件"));
        return;
    }
    guard()->takeFailures(); // what an earlier run left
    guard()->takeUnreadable();
    m_progressBar->hide(); // where an earlier run stopped; shown again with the first order's copies
    m_progressBar->setFormat(QStringLiteral("%p%"));
    m_progressGroup->show();
    m_statusLabel->show();
    startNextOrder();
}

bool SeparationWindow::startNextOrder()
{
    for (int i = 0; i < m_orderList.size(); ++i) {
        OrderRowInfo &row = m_orderList[i];
        if (!row.checked || row.processed)
            continue;
        row.processed = true;
        m_currentRow = i;
        m_order = row;
        m_orderEntries = m_messageList.size();
        m_attempt.reset();
        m_attemptLeftBehind = false;
        postQueryProducts(row.order_photo_id);
        return false;
    }
    return true;
}

void SeparationWindow::postQueryProducts(const QString &orderPhotoId)
{
    FormBody body = orderBody(orderPhotoId, shop());
    body.add(QStringLiteral("personid"), shop().eid).add(QStringLiteral("uid"), shop().uid);
    if (m_rules.goodsIsQu)
        body.add(QStringLiteral("is_qu"), QStringLiteral("1"));
    postRequest("query product", g_url_ordergoods20230521, body.toByteArray(),
                &SeparationWindow::queryProductsCallBack);
}

bool SeparationWindow::acceptRunReply(QNetworkReply *reply, const QString &errorPrefix, QJsonObject *obj,
                                      const char *logLabel)
{
    if (!runActive())
        return false;
    const QString stage = errorPrefix.chopped(1); // "查询…错误"
    if (!readJsonReply(reply, obj, nullptr, errorPrefix + QStringLiteral("服务器返回的数据无法识别"))) {
        endRunEarly(stage);
        return false;
    }
    qCDebug(lcSeparation).noquote() << logLabel << QJsonDocument(*obj).toJson(QJsonDocument::Compact);
    const QString code = jsonString(*obj, QStringLiteral("code"));
    if (code != QLatin1String("1")) {
        inform(QStringLiteral("警告"), errorPrefix + code);
        endRunEarly(stage);
        return false;
    }
    return true;
}

void SeparationWindow::queryProductsCallBack(QNetworkReply *reply)
{
    QJsonObject obj;
    if (!acceptRunReply(reply, QStringLiteral("查询产品信息错误："), &obj, "query product Json:"))
        return;

    QJsonObject sheetReply = obj;
    sheetReply.remove(QStringLiteral("code"));
    expressSheetHtml = expressHtml.getHTMLString(sheetReply);
    const QString refusal = readGoods(obj);
    if (!refusal.isEmpty()) {
        refuseOrder(refusal);
        return;
    }
    m_progressGroup->hide();
    m_statusLabel->hide();

    workDir = m_pathEdit->text();
    if (workDir.isEmpty()) {
        workDir = FileDialogs::getExistingDirectory(this, QStringLiteral("选择分件保存路径"), QString());
        // The chosen folder serves the rest of the run and the report.
        m_pathEdit->setText(workDir);
    }
    if (workDir.isEmpty()) {
        // No save folder given: nothing of this order was done, so the next start takes it again
        // instead of passing it over.
        untakeCurrentOrder();
        endRun();
        return;
    }
    storeSavePath(workDir);
    if (!OrderFolders::endsWithSeparator(workDir))
        workDir += QLatin1Char('/');
    startSeparatePhotos();
}

void SeparationWindow::startSeparatePhotos()
{
    qCDebug(lcSeparation) << "执行拉" << "startSeparatePhotos";
    const QString orderFolder = normalizeFileName(m_order.orderpayforkey) + QStringLiteral("-服务")
                                + normalizeFileName(m_order.servicetimes) + QLatin1Char(' ')
                                + normalizeFileName(m_order.customerName) + QLatin1Char(' ')
                                + normalizeFileName(m_order.pickupTypeText);
    for (const QString &name : QStringList{orderFolder} + workFolders()) {
        QString why;
        if (!isSafeName(name, &why)) {
            refuseOrder(QStringLiteral("分件文件夹") + why + QStringLiteral("：") + name);
            return;
        }
    }
    const QString dated = workDir + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('/');
    workDir = dated + orderFolder + QLatin1Char('/');
    orderDir = workDir;
    // The order's folder, claimed before anything is made inside it.
    if (makeFolders({dated, orderDir}))
        claimOrder(++m_orderRound);
}

QStringList SeparationWindow::cutTemporaryFolders() const
{
    // Only under the order's own claim (no other desk writes there), and while no closed window of this
    // program copies into the order's folder.
    if (!orderFolderClaimed() || guard()->othersWriteInto(orderDir))
        return QStringList();
    const QString thumbs = workDir + ThumbnailThread::sheetThumbDirName() + QLatin1Char('/');
    QStringList folders{orderDir, workDir, thumbs, thumbs + QStringLiteral("marks/")};
    for (const QString &folder : workFolders())
        folders << workDir + folder + QLatin1Char('/');
    folders.removeDuplicates();
    return folders;
}

bool SeparationWindow::makeFolders(const QStringList &folders)
{
    for (const QString &folder : folders) {
        if (FileOperation::mkDir(folder))
            continue;
        const int error = errno;
        inform(QStringLiteral("警告"), QStringLiteral("分件文件夹创建失败：") + folder + QStringLiteral("（")
                                         + errorText(error) + QStringLiteral("）"));
        endRunEarly(QStringLiteral("分件文件夹创建失败"));
        return false;
    }
    return true;
}

void SeparationWindow::claimOrder(int round)
{
    if (!runActive() || round != m_orderRound)
        return; // the window closed while it waited
    SeparationClaim::take(orderDir, guard(), [this, round](const SeparationClaim::Taking &taking) {
        if (!runActive() || round != m_orderRound)
            return; // the run ended meanwhile: a claim taken goes again
        claimTaken(round, taking);
    });
}

void SeparationWindow::claimTaken(int round, const SeparationClaim::Taking &taking)
{
    if (taking.outcome == SeparationClaim::Busy) {
        showWaiting(otherProgramFormat(m_order.orderpayforkey, taking));
        QTimer::singleShot(kClaimLookMs, this, [this, round] { claimOrder(round); });
        return;
    }
    m_claim = taking.claim;
    m_progressBar->setFormat(QStringLiteral("%p%"));
    if (taking.outcome == SeparationClaim::Refused) { // nothing of the order is written
        SeparateMessageInfo refused;
        refused.orderNumber = m_order.orderpayforkey;
        refused.notes << taking.why;
        m_messageList.append(refused);
        separateNextOrder();
        return;
    }
    if (taking.outcome == SeparationClaim::NotWritten)
        guard()->addFailure(taking.why);
    holdOrderImport(round);
}

void SeparationWindow::showWaiting(QString text)
{
    text.replace(QLatin1Char('%'), QLatin1String("%%")); // shown as it is
    if (m_progressBar->format() == text)
        return;
    m_progressBar->setRange(0, 1);
    m_progressBar->setValue(0);
    m_progressBar->setFormat(text);
    m_progressBar->show();
    m_progressGroup->show();
}

void SeparationWindow::holdOrderImport(int round)
{
    if (!runActive() || round != m_orderRound)
        return; // the window closed while it waited
    if (!orderPathUsable()) { // nothing of the order is read
        checkPhotos();
        return;
    }
    const QString key = m_order.orderpayforkey;
    ImportClaim::take(m_order.orderpath, this,
                      [this, round, key](const ImportClaim::Taking &taking, const std::shared_ptr<ImportClaim::Hold> &hold) {
        if (!runActive() || round != m_orderRound)
            return; // the run ended meanwhile: a hold taken goes again
        QString waiting;
        if (taking.outcome == FolderClaim::Busy)
            waiting = ImportClaim::waitingText(key, taking);
        else if (hold && !hold->alone()) // this program imports the order: given back, looked at again
            waiting = ImportClaim::waitingHereText(key);
        if (!waiting.isEmpty()) {
            showWaiting(waiting);
            QTimer::singleShot(ImportClaim::kLookAgainMs, this, [this, round] { holdOrderImport(round); });
            return;
        }
        m_importHold = hold;
        m_progressBar->setFormat(QStringLiteral("%p%"));
        if (taking.outcome == FolderClaim::Refused) {
            // read as it is; the report says that an import elsewhere could not be ruled out
            SeparateMessageInfo unsure;
            unsure.orderNumber = m_order.orderpayforkey;
            unsure.notes << QStringLiteral("导片标记无法读取（") + taking.reason
                                + QStringLiteral("），无法确定其它电脑是否正在导入该订单：") + taking.shown;
            m_messageList.append(unsure);
        } else if (taking.outcome == FolderClaim::NotWritten) {
            // (a store this desk only reads, say: no import held the order when it was looked at)
            qCWarning(lcSeparation) << "the order's import claim not written, read as it is:" << taking.shown
                                    << taking.reason;
        }
        checkPhotos();
    }, ImportClaim::Use::Separation);
}

void SeparationWindow::checkPhotos()
{
    QStringList folders;
    const QString sub = workSubFolder();
    if (!sub.isEmpty()) {
        workDir += sub;
        folders << workDir;
    }
    for (const QString &folder : workFolders())
        folders << workDir + folder;
    if (!makeFolders(folders))
        return;
    // What a kill left there goes first, off the GUI thread (the work folder of a redo may hold ten
    // thousand photos), and the product copies it left in place unconfirmed are settled before the
    // finished copies they were made from are replaced; then the goods' photos are checked.
    const QStringList cleaned = cutTemporaryFolders();
    const QString order = orderDir;
    offGuiThen(
        [cleaned, order] {
            for (const QString &folder : cleaned) {
                FileOperation::removeTemporaries(folder, [](const QString &name) {
                    return Platform::isCopyTemporary(name) || Platform::isWriteTemporary(name) || isPrintTemporary(name);
                });
            }
            if (!cleaned.isEmpty())
                SeparationAttempt::settleLanded(order);
        },
        [this] { checkGoodsPhotos(); });
}

void SeparationWindow::checkGoodsPhotos()
{
    readyNum = 0;
    m_checkJobCount = 0;
    m_checkReturnCount = 0;
    resetJobPool();
    if (!orderPathUsable()) {
        // Nothing of the order is read: an empty or relative path would name the program's own folder.
        SeparateMessageInfo note;
        note.orderNumber = m_order.orderpayforkey;
        note.notes << QStringLiteral("订单路径为空或不完整，未读取订单照片：") + m_order.orderpath;
        m_messageList.append(note);
    } else {
        // Every check counts before the first can report.
        QList<QPair<QString, int>> checks; // the photo, and its product
        for (int i = 0; i < m_orderGoodsList.size(); ++i) {
            for (const QString &photo : m_orderGoodsList.at(i).photoNames) {
                if (isSafePhotoName(photo)) // otherwise reported missing with its product
                    checks.append({m_order.orderpath + kFinishedSource + photo, i});
            }
        }
        m_checkJobCount = checks.size();
        startInSlices(checks.size(), [this, checks](int n) {
            startJob(new SeparateThread(checks.at(n).first, SeparateThread::PhotoIsFile, guard()), checks.at(n).second);
        });
    }
    if (m_checkJobCount == 0)
        fenjian_photoIsFileSlot_1(0);
}

// Stage 1: every check is in; the finished photos are copied.
void SeparationWindow::fenjian_photoIsFileSlot_1(int num)
{
    Q_UNUSED(num)
    if (m_checkJobCount > 0) {
        ++m_checkReturnCount;
        qCDebug(lcSeparation) << "读取数量：" << m_checkJobCount << "  --" << m_checkReturnCount;
        if (m_checkReturnCount != m_checkJobCount)
            return;
    } else if (m_checkReturnCount != 0) {
        return;
    }
    // The order's "成品/" is listed off the GUI thread: ten thousand photos, perhaps on a share.
    const auto index = std::make_shared<FolderIndex>();
    const QString finished = orderPathUsable() ? m_order.orderpath + kFinishedSource : QString();
    const bool dots = m_rules.listDotEntries;
    offGuiThen(
        [index, finished, dots] {
            if (!finished.isEmpty())
                *index = FolderIndex(finished, dots);
        },
        [this, index] {
            m_finishedIndex = *index;
            copyFinishedPhotos();
        });
}

void SeparationWindow::copyFinishedPhotos()
{
    finalPhotoList = m_finishedIndex.names();
    delPhotoList = rejectedPhotos();
    markPhotoList = markedPhotos();
    qCDebug(lcSeparation) << "总进度的总数 分别是 finalPhotoList：" << finalPhotoList.size() << " - delPhotoList"
                          << delPhotoList.size() << " - markPhotoList" << markPhotoList.size();

    m_progressGroup->show();
    m_progressBar->setMaximum(finalPhotoList.size() + delPhotoList.size() + markPhotoList.size() + 14);
    m_progressBar->setValue(0);
    m_progressBar->show();
    m_finishedLabel->setText(finishedLabelText());
    m_finishedLabel->show();

    isSheetDone = false;
    resetJobPool();
    m_finalReturnCount = 0;
    if (finalPhotoList.isEmpty()) {
        fenjian_finalPhotoSlot_2();
        return;
    }
    startCopies(finalPhotoList, m_order.orderpath + kFinishedSource,
                workDir + shop().finishedDirName + QLatin1Char('/'), SeparateThread::FinalPhotoCopy);
}

void SeparationWindow::startCopies(const QStringList &names, const QString &from, const QString &to,
                                   SeparateThread::Type type)
{
    // The raw siblings of the order's finished photos are looked up in one listing of their folder, made
    // by the first copy that asks.
    std::shared_ptr<SharedFolderIndex> raws;
    if (type == SeparateThread::FinalPhotoCopy)
        raws = std::make_shared<SharedFolderIndex>(SeparateThread::rawFolderFor(from));
    const bool copyRaws = m_rules.copyRaws || shop().sjfjxz == QLatin1String("1");
    const QString folder = orderDir;
    startInSlices(names.size(), [this, names, from, to, type, raws, copyRaws, folder](int i) {
        const QString &name = names.at(i);
        if (type == SeparateThread::FinalPhotoCopy)
            qCDebug(lcSeparation) << "test=" << from + name << "-to==" << to + name;
        auto *job = new SeparateThread(from + name, to + name, true, type, guard());
        if (type == SeparateThread::FinalPhotoCopy) {
            job->setRawIndex(raws);
            job->setCopyRaws(copyRaws);
        }
        guard()->startJob(job, 0, folder); // a copy into the order's folder
    });
}

void SeparationWindow::startInSlices(int count, std::function<void(int)> start)
{
    if (count > 0)
        startSlice(m_orderRound, 0, count, std::make_shared<std::function<void(int)>>(std::move(start)));
}

void SeparationWindow::startSlice(int round, int from, int count, std::shared_ptr<std::function<void(int)>> start)
{
    if (!runActive() || round != m_orderRound)
        return; // the window closed, or the run ended early
    QElapsedTimer slice;
    slice.start();
    int i = from;
    do {
        (*start)(i++);
    } while (i < count && slice.elapsed() < kSliceMs);
    if (i < count)
        QTimer::singleShot(0, this, [this, round, i, count, start] { startSlice(round, i, count, start); });
}

void SeparationWindow::offGuiThen(std::function<void()> work, std::function<void()> next)
{
    offGuiThen(std::move(work), [this, next](bool held) {
        if (held)
            next();
        else
            claimLost();
    });
}

void SeparationWindow::offGuiThen(std::function<void()> work, std::function<void(bool held)> next)
{
    const int step = ++m_offGuiStep;
    m_afterOffGui = std::move(next);
    const std::shared_ptr<WindowGuard> g = guard();
    g->startJob(
        [work, g, step] {
            work();
            g->report("onOffGuiDone", step);
        },
        0, orderDir);
}

void SeparationWindow::onOffGuiDone(int step)
{
    if (!runActive() || step != m_offGuiStep || !m_afterOffGui)
        return;
    std::function<void(bool)> next;
    next.swap(m_afterOffGui);
    afterClaimLook(std::move(next));
}

void SeparationWindow::whileClaimHeld(std::function<void()> next)
{
    afterClaimLook([this, next](bool held) {
        if (held)
            next();
        else
            claimLost();
    });
}

void SeparationWindow::afterClaimLook(std::function<void(bool held)> next)
{
    if (!m_claim) {
        next(true);
        return;
    }
    const int round = m_orderRound;
    const std::shared_ptr<SeparationClaim> claim = m_claim;
    claim->check(guard(), [this, round, claim, next](bool held) {
        if (!runActive() || round != m_orderRound || m_claim != claim)
            return; // the run ended, or went on to another order, meanwhile
        next(held);
    });
}

void SeparationWindow::claimLost()
{
    SeparateMessageInfo stopped;
    stopped.orderNumber = m_order.orderpayforkey;
    stopped.notes << SeparationClaim::interference(m_claim.get(), m_attempt.get())
                  << QStringLiteral("分件已停止，该订单其余的文件未写入：") + orderDir;
    stopped.failures = guard()->takeFailures();
    stopped.unreadablePhotos = guard()->takeUnreadable();
    m_messageList.append(stopped);
    qCWarning(lcSeparation) << "the order's claim is no longer this program's, its run stops:" << orderDir;
    separateNextOrder();
}

void SeparationWindow::afterOtherCopies(std::function<void()> next)
{
    QElapsedTimer waited;
    waited.start();
    lookForOtherCopies(orderDir, waited, std::move(next));
}

void SeparationWindow::lookForOtherCopies(const QString &folder, const QElapsedTimer &waited, std::function<void()> next)
{
    if (!runActive() || orderDir != folder)
        return; // the window closed while it waited: nothing more
    const bool saying = m_progressBar->format() == kWaitingFormat;
    if (!guard()->othersWriteInto(folder)) {
        if (saying)
            m_progressBar->setFormat(QStringLiteral("%p%"));
        whileClaimHeld(std::move(next));
        return;
    }
    if (!saying && waited.elapsed() >= 1000) {
        qCDebug(lcSeparation) << "等待已关闭窗口复制完该订单的文件：" << folder;
        m_progressBar->setFormat(kWaitingFormat);
    }
    QTimer::singleShot(100, this, [this, folder, waited, next] { lookForOtherCopies(folder, waited, next); });
}

bool SeparationWindow::copyReported(const QStringList &list, int *reported)
{
    if (!list.isEmpty()) {
        ++*reported;
        onFinishSeparateImage();
    }
    return *reported == list.size();
}

// Stage 2: one finished photo is in.
void SeparationWindow::fenjian_finalPhotoSlot_2()
{
    const bool allIn = copyReported(finalPhotoList, &m_finalReturnCount);
    if (!finalPhotoList.isEmpty())
        qCDebug(lcSeparation) << "分件原图复制完成" << m_finalReturnCount;
    qCDebug(lcSeparation) << "原图总数：" << finalPhotoList.size() << " 已复制：" << m_finalReturnCount;
    if (allIn)
        finalPhotosCopied();
}

void SeparationWindow::onFinishSeparateImage()
{
    ++readyNum;
    m_progressBar->setValue(readyNum);
    if (m_progressBar->maximum() == readyNum && orderComplete())
        separateNextOrder();
}

void SeparationWindow::separateNextOrder()
{
    m_currentRow = -1; // finished
    // An order with something not done keeps the record of its product folders: separating it again fills
    // them in instead of making numbered twins beside them.
    bool whole = !m_attemptLeftBehind;
    for (int i = m_orderEntries; i < m_messageList.size(); ++i)
        whole = whole && m_messageList.at(i).failures.isEmpty();
    // The order's end: its notes go into the report, then the next order starts or the run ends.
    const auto orderDone = [this](const QStringList &notes) {
        if (!notes.isEmpty()) {
            SeparateMessageInfo entry;
            entry.orderNumber = m_order.orderpayforkey;
            entry.notes << notes;
            m_messageList.append(entry);
        }
        m_attempt.reset();
        m_claim.reset(); // goes once its copies have ended
        m_importHold.reset();
        m_finishedLabel->setText(finishedLabelText());
        m_progressBar->setValue(0);
        m_progressBar->setMaximum(0);
        m_progressBar->hide();
        if (!startNextOrder())
            return;

        showReport();

        for (OrderRowInfo &row : m_orderList)
            row.processed = false;
        m_finishedLabel->hide();
        m_progressGroup->hide();
        endRun();
    };
    // the record kept, or one that could not be removed; what another desk or a person changed meanwhile
    QStringList notes = SeparationClaim::interference(m_claim.get(), m_attempt.get());
    if (!notes.isEmpty()) {
        qCWarning(lcSeparation) << "the order's folders changed under its run:" << notes;
    } else if (whole && m_attempt) {
        // The folders are checked against the plan and the record goes off the GUI thread: the record of a
        // large order takes a while to read.
        // Once finish() is done nothing more is written into the order's folder: a claim found lost or
        // unreadable now stops nothing, the order was finished (or its record kept, as its notes say), and
        // the report names the claim beside that.
        const std::shared_ptr<SeparationAttempt> attempt = m_attempt;
        const auto finished = std::make_shared<QStringList>();
        const auto whole = std::make_shared<bool>(false);
        const QString claimPath = orderDir + SeparationClaim::fileName();
        offGuiThen([attempt, finished, whole] { *whole = attempt->finish(finished.get()); },
                   [orderDone, finished, whole, claimPath](bool held) {
                       if (!held) {
                           qCWarning(lcSeparation) << "the order's claim is no longer this program's after its end:"
                                                   << claimPath;
                           *finished << (*whole ? QStringLiteral("该订单已分件完成；完成后发现该订单的分件标记被删除、"
                                                                 "无法读取或被其它电脑接手：")
                                                : QStringLiteral("该订单分件结束后发现其分件标记被删除、无法读取或被其它电脑接手："))
                                            + claimPath;
                       }
                       orderDone(*finished);
                   });
        return;
    } else if (m_attempt && !m_attempt->recordPath().isEmpty()) {
        notes << QStringLiteral("有文件未完成，分件记录已保留，再次分件该订单时沿用本次的产品文件夹：") + m_attempt->recordPath();
    }
    orderDone(notes);
}

void SeparationWindow::untakeCurrentOrder()
{
    if (m_currentRow >= 0 && m_currentRow < m_orderList.size())
        m_orderList[m_currentRow].processed = false;
    m_currentRow = -1;
}

void SeparationWindow::endRunEarly(const QString &why)
{
    // The order that failed is offered again by the next start; what the run did up to here is reported
    // now, so no finding of the orders before it is lost when the next start begins a new report. The
    // ticked orders not started are named too.
    const int stoppedRow = m_currentRow;
    untakeCurrentOrder();
    m_attempt.reset(); // its record stays on disk for the order's next attempt
    m_claim.reset();
    m_importHold.reset();
    SeparateMessageInfo stopped;
    stopped.orderNumber = m_order.orderpayforkey;
    stopped.failures = guard()->takeFailures();
    stopped.unreadablePhotos = guard()->takeUnreadable();
    stopped.notes << QStringLiteral("分件未完成（") + why + QStringLiteral("），再次点击“开始分件”将重新分件该订单");
    const bool didSomething = !m_messageList.isEmpty();
    m_messageList.append(stopped);
    for (int i = 0; i < m_orderList.size(); ++i) {
        const OrderRowInfo &row = m_orderList.at(i);
        if (!row.checked || row.processed || i == stoppedRow)
            continue;
        SeparateMessageInfo waiting;
        waiting.orderNumber = row.orderpayforkey;
        waiting.notes << QStringLiteral("未开始分件，再次点击“开始分件”将分件该订单");
        m_messageList.append(waiting);
    }
    // The bar stays where the order stopped, and says so.
    m_statusLabel->hide();
    if (m_progressBar->maximum() == 0) { // between two orders: nothing of this one done
        m_progressBar->setRange(0, 1);
        m_progressBar->setValue(0);
    }
    QString number = m_order.orderpayforkey;
    m_progressBar->setFormat(QStringLiteral("订单") + number.replace(QLatin1Char('%'), QLatin1String("%%"))
                             + QStringLiteral("分件未完成 %p%"));
    m_progressBar->show();
    m_finishedLabel->setText(finishedLabelText());
    m_finishedLabel->show();
    m_progressGroup->show();
    endRun();
    if (didSomething)
        showReport();
}

void SeparationWindow::refuseOrder(const QString &why)
{
    inform(QStringLiteral("警告"), why);
    endRunEarly(QStringLiteral("名称不能用作文件夹名"));
}

void SeparationWindow::showReport()
{
    const QString message = separateReportText(m_messageList);
    qCDebug(lcSeparation) << "m_messageList.count()" << m_messageList.size();
    for (const SeparateMessageInfo &m : qAsConst(m_messageList))
        qCDebug(lcSeparation) << "for_m_messageList" << m.orderNumber << m.notExistPhotos.join(QStringLiteral("、"))
                              << m.emptyProducts.join(QStringLiteral("、"));
    qCDebug(lcSeparation) << "message" << message;
    auto *box = new MessageBoxDialog(nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setMessage(message, reportFileName());
    box->setModal(true);
    box->show();
}

QString SeparationWindow::reportFileName() const
{
    QString path = m_pathEdit->text();
    if (!OrderFolders::endsWithSeparator(path))
        path += QLatin1Char('/');
    return path + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('/')
           + separateReportName(m_messageList);
}

// ---- the sheets ----

struct SeparationWindow::SheetJobs {
    WorkSheetData sheet;                    // the sheet with what was found on disk
    QList<QPair<QUrl, QImage>> printImages; // marked pictures at print size
    QStringList marksNotWritten;            // marked pictures whose copy could not be written
    bool workSheetWritten = false;
    bool expressSheetWritten = false;
    QString workSheetFailure; // why a sheet was not written
    QString expressSheetFailure;
    QAtomicInt printsLeft = 0;
};

void SeparationWindow::prepareSheetAndBarcode()
{
    whileClaimHeld([this] {
        m_sheet = WorkSheetData(); // nothing of the previous order stays
        m_finishedPhotos.clear();
        sheetHtml.clear();
        m_sheetBuilt = false;
        m_printing = false;
        m_sheetJobs = std::make_shared<SheetJobs>();
        m_thumbsNotWritten.reset();
        delete m_barcode.data(); // the previous order's, ended
        barPath = workDir + QStringLiteral("条形码.jpg");
        m_barcode = new BarcodeDownload(m_manager, this);
        if (m_claim) // the picture lands only while the order is still this program's
            m_barcode->setStillWanted(m_claim->heldCheck());
        connect(m_barcode.data(), &BarcodeDownload::finished, this, [this] {
            if (m_sheetBuilt)
                writeSheetPdfs();
        });
        m_barcode->start(BarcodeDownload::barcodeUrl(m_order.order_photo_id, shop()), barPath, m_rules.hideBarcode);
        getPicInfo();
    });
}

void SeparationWindow::getPicInfo()
{
    postRequest("getPicInfo", g_url_getorderpic, orderBody(m_order.order_photo_id, shop()).toByteArray(),
                &SeparationWindow::queryPicInfoCallBack);
}

void SeparationWindow::queryPicInfoCallBack(QNetworkReply *reply)
{
    QJsonObject obj;
    if (!acceptRunReply(reply, QStringLiteral("查询裁剪信息错误："), &obj, "picinfo"))
        return;
    onFinishSeparateImage();
    startJob(new SeparateThread(obj.value(QStringLiteral("orderpicdescr")).toArray(), m_order.orderpath,
                                SeparateThread::AnalysePhotoInfo, guard()));
}

void SeparationWindow::fenjian_analysisPhotoInfo(QList<Image> finishedPhotos)
{
    if (!runActive())
        return;
    m_finishedPhotos = finishedPhotos;
    onFinishSeparateImage();
    qCDebug(lcSeparation) << "开始保存成品缩略图";
    // The job is given this order's folders; it makes nothing more once the window has closed.
    const ImagePath order(m_order.orderpath);
    auto *job = new ThumbnailThread(m_finishedPhotos, order.getFinePath(), order.getFineThumbPath(), workDir, this, 88);
    m_thumbsNotWritten = std::make_shared<QStringList>();
    job->setNotWrittenList(m_thumbsNotWritten);
    const std::weak_ptr<WindowGuard> g = guard();
    // Also once the order is no longer this program's (another desk took it over while this one was asleep):
    // asked before each thumbnail and again before it takes its name.
    const std::function<bool()> held = m_claim ? m_claim->heldCheck() : std::function<bool()>();
    job->setStopWhen([g, held] {
        const std::shared_ptr<WindowGuard> open = g.lock();
        return !open || !open->isWindowShow() || (held && !held());
    });
    startJob(job);
}

void SeparationWindow::onFinishSaveThumb()
{
    if (!runActive())
        return;
    qCDebug(lcSeparation) << "search order thumbnail finished!";
    whileClaimHeld([this] { postQueryOrderInfo(); });
}

void SeparationWindow::postQueryOrderInfo()
{
    FormBody body = orderBody(m_order.order_photo_id, shop());
    body.add(QStringLiteral("eid"), shop().eid).add(QStringLiteral("uid"), shop().uid).add(QStringLiteral("personid"), shop().eid);
    postRequest("postOrder", g_url_orderdetail, body.toByteArray(), &SeparationWindow::queryOrderInfoCallBack);
}

void SeparationWindow::queryOrderInfoCallBack(QNetworkReply *reply)
{
    QJsonObject obj;
    if (!acceptRunReply(reply, QStringLiteral("查询订单信息错误："), &obj, "postOrder Json:"))
        return;
    m_sheet = readOrderDetail(obj, consumptionKey());
    qCDebug(lcSeparation) << "orderpicdescr====" << obj.value(QStringLiteral("orderpicdescr")).toArray().size()
                          << "picsMarkArr====" << m_sheet.picsMarkArr.size();
    qCDebug(lcSeparation).noquote() << "数据"
                                    << QJsonDocument(obj.value(QStringLiteral("order")).toObject()).toJson(QJsonDocument::Compact);
    m_sheet.orderpayforkey = m_order.orderpayforkey;
    m_sheet.servicetimes = m_order.servicetimes;
    m_sheet.selectphotoname = selectPhotoNameOf(m_orderList, m_order.order_photo_id);
    m_sheet.goods = m_orderGoodsList;
    m_sheet.finishedPhotos = m_finishedPhotos;
    m_sheet.barcodePath = barPath;
    m_sheet.thumbFolder = workDir + ThumbnailThread::sheetThumbDirName() + QLatin1Char('/');
    m_sheet.kind = m_rules.sheetKind;
    orderDetailRead();

    // What the sheet shows from disk is looked at on the pool; the sheet is built when it is known.
    const std::shared_ptr<SheetJobs> jobs = m_sheetJobs;
    jobs->sheet = m_sheet;
    const QString marks = orderPathUsable() ? m_order.orderpath + QStringLiteral("marks/") : QString();
    qCDebug(lcSeparation) << "markPath====" << marks;
    const std::shared_ptr<WindowGuard> g = guard();
    g->startJob([jobs, marks, g] {
        prepareSheetFiles(&jobs->sheet, marks, &jobs->printImages, &jobs->marksNotWritten);
        g->report("onSheetPrepared");
    });
}

void SeparationWindow::onSheetPrepared()
{
    if (!runActive() || !m_sheetJobs)
        return;
    onFinishSeparateImage();
    m_sheet = m_sheetJobs->sheet;
    m_sheet.printTime = QDateTime::currentDateTime();
    sheetHtml = buildWorkSheetHtml(m_sheet);
    qCDebug(lcSeparation) << "HTML的数据";
    qCDebug(lcSeparation) << sheetHtml;
    m_sheetBuilt = true;
    // The sheet shows the barcode: it is printed once the download has ended, whatever its outcome.
    if (!m_barcode || m_barcode->isFinished())
        writeSheetPdfs();
}

void SeparationWindow::writeSheetPdfs()
{
    if (m_printing || !runActive())
        return;
    m_printing = true;
    whileClaimHeld([this] {
        const std::shared_ptr<SheetJobs> jobs = m_sheetJobs;
        if (m_barcode && !m_barcode->succeeded()) // no barcode: an empty header cell
            jobs->printImages.append({sheetImageUrl(barPath), noPicture()});
        const std::shared_ptr<WindowGuard> g = guard();
        // Both sheets at once; the second to be written reports. Only the work sheet shows pictures. A sheet
        // takes its name only while the order is still this program's.
        jobs->printsLeft = 2;
        const std::function<bool()> held = m_claim ? m_claim->heldCheck() : std::function<bool()>();
        auto print = [jobs, g, held](const QString &html, const QString &pdf, bool SheetJobs::*written,
                                     QString SheetJobs::*failure, bool pictures) {
            g->startJob([jobs, g, html, pdf, written, failure, pictures, held] {
                jobs.get()->*written = printHtmlToPdf(html, pdf, pictures ? jobs->printImages : QList<QPair<QUrl, QImage>>(),
                                                      &(jobs.get()->*failure), held);
                if (!jobs->printsLeft.deref())
                    g->report("onSheetsPrinted");
            });
        };
        print(sheetHtml, workDir + kWorkSheetPdf, &SheetJobs::workSheetWritten, &SheetJobs::workSheetFailure, true);
        print(expressSheetHtml, workDir + kExpressSheetPdf, &SheetJobs::expressSheetWritten,
              &SheetJobs::expressSheetFailure, false);
    });
}

void SeparationWindow::onSheetsPrinted()
{
    if (!runActive() || !m_sheetJobs)
        return;
    whileClaimHeld([this] {
        QStringList failed; // each with its reason
        auto because = [](const QString &why) { return QStringLiteral("（") + why + QStringLiteral("）"); };
        if (!m_sheetJobs->workSheetWritten)
            failed << workDir + kWorkSheetPdf + because(m_sheetJobs->workSheetFailure);
        if (!m_sheetJobs->expressSheetWritten)
            failed << workDir + kExpressSheetPdf + because(m_sheetJobs->expressSheetFailure);
        if (m_barcode && !m_barcode->succeeded()) // the sheet went out without its barcode
            failed << barPath + because(m_barcode->failure());
        if (m_thumbsNotWritten) // the sheet went out without these pictures
            failed << *m_thumbsNotWritten;
        failed << m_sheetJobs->marksNotWritten;
        if (!failed.isEmpty()) {
            if (m_messageList.isEmpty() || m_messageList.last().orderNumber != m_order.orderpayforkey) {
                SeparateMessageInfo entry;
                entry.orderNumber = m_order.orderpayforkey;
                m_messageList.append(entry);
            }
            m_messageList.last().failures << failed;
        }
        ++readyNum;
        m_progressBar->setValue(readyNum);
        isSheetDone = true;
        separateNextOrder();
    });
}
