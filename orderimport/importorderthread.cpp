#include "importorderthread.h"

#include "fileoperation.h"
#include "globals.h"
#include "imageoperation.h"
#include "importordermodel.h"
#include "importstate.h"
#include "logging.h"
#include "orderfolders.h"
#include "orderrecords.h"
#include "photoimport.h"
#include "platform.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QRunnable>
#include <QSemaphore>
#include <QSet>
#include <QThreadPool>
#include <QWaitCondition>

#include <cerrno>
#include <limits>
#include <mutex>
#include <vector>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace OrderFolders;

namespace {
const QString kImportMode = QStringLiteral("importordersphotodlg");
const QString kDeleteMode = QStringLiteral("searchorder");

// Texts the dialog shows for the ends that carry no text of their own.
const QString kPicRootError = QStringLiteral("服务器路径错误");
const QString kBakRootError = QStringLiteral("备份服务器路径错误。");
const QString kDiskFullError = QStringLiteral("服务器空间不足，请清理空间后再导入");
const QString kStoppedError = QStringLiteral("导片已停止");

// A failure's reason in the user's words, in brackets.
QString because(int error)
{
    return QStringLiteral("（") + errorText(error) + QStringLiteral("）");
}

// The counts travel as 16-bit values; a longer list is counted as the most they can hold (and the
// import refuses it).
quint16 countOf(const QStringList &files)
{
    const int most = std::numeric_limits<quint16>::max();
    return static_cast<quint16>(qMin(files.size(), most));
}

// The per-order queue of photos on the pool: results are handed back in file order.
class PhotoPipeline
{
public:
    explicit PhotoPipeline(int threads) : m_budget(kPhotoPixelBudgetMiB)
    {
        m_pool.setMaxThreadCount(threads);
        m_pool.setExpiryTimeout(-1);
    }
    ~PhotoPipeline() { m_pool.waitForDone(); }

    int inFlight() const
    {
        QMutexLocker locker(&m_lock);
        return int(m_slots.size()) - m_head;
    }

    // Bytes of the photos queued or being written: the free space of the disk does not show them yet.
    qint64 bytesInFlight() const
    {
        QMutexLocker locker(&m_lock);
        return m_bytesInFlight;
    }

    // Queues a photo of the given size; its result comes back from takeNext() after those queued before it.
    void start(const PhotoTask &task, qint64 bytes)
    {
        int index;
        {
            QMutexLocker locker(&m_lock);
            index = int(m_slots.size());
            m_slots.emplace_back();
            m_bytesInFlight += bytes;
        }
        QSemaphore *budget = &m_budget;
        m_pool.start(QRunnable::create([this, task, index, budget, bytes] {
            bool unreadable = false;
            PhotoOutcome outcome;
            QStringList failures = importOnePhoto(task, budget, &unreadable, &outcome);
            QMutexLocker locker(&m_lock);
            m_slots[size_t(index)].failures = failures;
            m_slots[size_t(index)].unreadable = unreadable;
            m_slots[size_t(index)].outcome = outcome;
            m_slots[size_t(index)].done = true;
            m_bytesInFlight -= bytes;
            m_ready.wakeAll();
        }));
    }

    // A result that needs no work (a file refused before it was started).
    void startDone(const QStringList &failures)
    {
        QMutexLocker locker(&m_lock);
        m_slots.emplace_back();
        m_slots.back().failures = failures;
        m_slots.back().done = true;
    }

    // The next result in file order; waits for it when wait is true, otherwise false when not ready.
    bool takeNext(bool wait, QStringList *failures, bool *unreadable, PhotoOutcome *outcome)
    {
        QMutexLocker locker(&m_lock);
        if (m_head >= int(m_slots.size()))
            return false;
        while (!m_slots[size_t(m_head)].done) {
            if (!wait)
                return false;
            m_ready.wait(&m_lock);
        }
        *failures = m_slots[size_t(m_head)].failures;
        *unreadable = m_slots[size_t(m_head)].unreadable;
        *outcome = m_slots[size_t(m_head)].outcome;
        m_slots[size_t(m_head)].failures.clear();
        ++m_head;
        return true;
    }

private:
    struct Slot
    {
        bool done = false;
        bool unreadable = false;
        QStringList failures;
        PhotoOutcome outcome;
    };
    QThreadPool m_pool;
    QSemaphore m_budget;
    mutable QMutex m_lock;
    QWaitCondition m_ready;
    // Workers touch their slot only under the lock, so growing the vector never moves one under them.
    std::vector<Slot> m_slots;
    int m_head = 0;
    qint64 m_bytesInFlight = 0;
};

} // namespace

ImportOrderThread::ImportOrderThread(ImportOrderModel *model, ImportTypeEnum type, QObject *parent)
    : QThread(parent), mModel(model), mImportType(type), mMode(kImportMode)
{
    qCDebug(lcImport) << "thread-start";
    mRun = RunSettings::fromGlobals();
    if (mModel && mImportType != ImportDovraCopy)
        mTotalCount = countOf(mModel->chosenFiles(mImportType));
}

ImportOrderThread::ImportOrderThread(const OrderRowInfo &info, QObject *parent)
    : QThread(parent), deleteDir(info.orderpath), mMode(kDeleteMode), mOrderid(info.order_photo_id)
{
    mRun = RunSettings::fromGlobals();
    // The search windows start many of these side by side and keep no handle on them: a delete-mode
    // thread cleans up after itself once its job is done.
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

ImportOrderThread::~ImportOrderThread()
{
    qCDebug(lcImport) << "import thread delete";
}

ImportOrderThread::RunSettings ImportOrderThread::RunSettings::fromGlobals()
{
    return {g_picPath, g_bakPicPath, g_homePicPath, g_dovraServerPath, g_yptbcp, std::make_shared<ImportStop>()};
}

void ImportOrderThread::setRunSettings(const RunSettings &settings)
{
    Q_ASSERT(!isRunning());
    mRun = settings;
    if (!mRun.stop)
        mRun.stop = std::make_shared<ImportStop>();
}

bool ImportOrderThread::stopRequested() const
{
    return mRun.stop && mRun.stop->isStopped();
}

void ImportOrderThread::stopRun()
{
    if (mRun.stop)
        mRun.stop->stop();
}

void ImportOrderThread::run()
{
    if (mMode == kImportMode) {
        resetRun();
        if (mImportType != ImportDovraCopy) {
            createOrderDir(mRun.picPath, mRun.bakPicPath);
            if (mEnded)
                return;
        }
        importOrderFiles();
        return;
    }
    if (mMode == kDeleteMode) {
        qCDebug(lcImport) << "deleteDir==" << deleteDir;
        startDelete();
        return;
    }
}

void ImportOrderThread::startDelete()
{
    // A search row can carry any path at all; only an order folder may go, never a storage root,
    // a drive or share root, or a path relative to wherever the program happens to run. The guard
    // looks into the folder on the deletion's own walk. A folder that does not go is reported with why.
    const QStringList roots = mRun.storageRoots();
    QString refusal;
    // No import runs beside the deletion of its order: the deletion holds the order's import claim, so
    // that an import of the order waits for it (and then finds the folder gone); an order another program,
    // desk or run of this program is importing is passed over. The claim is taken only in a folder the
    // guard lets go, and removed last, right before the folder.
    std::shared_ptr<ImportClaim::Hold> claim;
    QString last;
    if (FileOperation::isSafeToDelete(deleteDir, roots, nullptr, FileOperation::FolderItself)
        && FileOperation::dirExists(deleteDir)) {
        const ImportClaim::Taking taking = ImportClaim::takeAndWait(deleteDir, &claim, {}, ImportClaim::Use::Deletion);
        if (taking.outcome == FolderClaim::Busy || (claim && !claim->alone())) {
            qCWarning(lcImport) << "order being imported, not deleted:" << deleteDir;
            emit deleteRefused(mOrderid, deleteDir, QStringLiteral("该订单正在导片，未删除"));
            return;
        }
        if (taking.outcome == FolderClaim::Refused) {
            emit deleteRefused(mOrderid, deleteDir,
                               QStringLiteral("导片标记无法读取（") + taking.reason
                                   + QStringLiteral("），无法确定其它电脑是否正在导入该订单，未删除：") + taking.shown);
            return;
        }
        if (claim)
            last = ImportClaim::fileName();
    }
    const bool ok = FileOperation::removeDir(deleteDir, roots, &refusal, last);
    // A folder the walk refused keeps the claim only until here: gone before the box tells of the folder.
    if (!ok && claim && claim->heldCheck()())
        FileOperation::deleteFile(Platform::localPath(withSeparator(deleteDir)) + last);
    claim.reset();
    qCDebug(lcImport) << "isDelete" << (ok ? "true" : "false");
    if (ok)
        emit deleteSucceed(mOrderid, deleteDir);
    else
        emit deleteRefused(mOrderid, deleteDir, refusal);
}

// ---- how a run ends ----

void ImportOrderThread::resetRun()
{
    mEnded = false;
    QMutexLocker locker(&mLock);
    mFailures.clear();
    mUnreadable.clear();
    mErrorText.clear();
    mClaimNote.clear();
    mPlacedFiles = 0;
    mPlacedBackups = 0;
    mImportedBefore = 0;
}

QStringList ImportOrderThread::failures() const
{
    QMutexLocker locker(&mLock);
    return mFailures;
}

QStringList ImportOrderThread::unreadablePhotos() const
{
    QMutexLocker locker(&mLock);
    return mUnreadable;
}

void ImportOrderThread::addPlaced(const PhotoOutcome &outcome, const QString &unreadableFile, const QString &targetName)
{
    QMutexLocker locker(&mLock);
    mPlacedFiles += outcome.mainAdded ? 1 : 0;
    mPlacedBackups += outcome.backupAdded ? 1 : 0;
    mImportedBefore += outcome.importedBefore ? 1 : 0;
    if (unreadableFile.isEmpty())
        return;
    qCWarning(lcImport) << "photo cannot be read, kept as it is:" << unreadableFile << "as" << outcome.placedName;
    // Kept beside a readable photo of its name, which stays: both names are given; one the order held
    // already is named by the name it has there.
    if (outcome.importedBefore)
        mUnreadable << shortName(unreadableFile) + QStringLiteral(" → ") + outcome.placedName;
    else if (!outcome.placedName.isEmpty() && outcome.placedName != targetName)
        mUnreadable << shortName(unreadableFile) + QStringLiteral(" → ") + outcome.placedName
                           + QStringLiteral("（同名的完好照片已保留）");
    else
        mUnreadable << shortName(unreadableFile);
}

int ImportOrderThread::placedFiles() const
{
    QMutexLocker locker(&mLock);
    return mPlacedFiles;
}

int ImportOrderThread::placedBackups() const
{
    QMutexLocker locker(&mLock);
    return mPlacedBackups;
}

int ImportOrderThread::importedBefore() const
{
    QMutexLocker locker(&mLock);
    return mImportedBefore;
}

QString ImportOrderThread::claimNote() const
{
    QMutexLocker locker(&mLock);
    return mClaimNote;
}

QString ImportOrderThread::errorText() const
{
    QMutexLocker locker(&mLock);
    return mErrorText;
}

void ImportOrderThread::addFailures(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    for (const QString &line : lines)
        qCWarning(lcImport) << "import failure:" << line;
    QMutexLocker locker(&mLock);
    mFailures << lines;
}

bool ImportOrderThread::beginEnd(const QString &why)
{
    if (mEnded)
        return false;
    mEnded = true;
    if (!why.isEmpty()) {
        qCWarning(lcImport) << "import of" << objectName() << "ended:" << why;
        QMutexLocker locker(&mLock);
        mErrorText = why;
    }
    // Once per run, since a run ends once: the failures go right before the end signal.
    const QStringList list = failures();
    if (!list.isEmpty())
        emit importFailedFilesSigl(list);
    return true;
}

void ImportOrderThread::endFinished()
{
    if (beginEnd(QString()))
        emit hasFinishedImportSigl(mTotalCount);
}

void ImportOrderThread::endStopped(const QString &reason)
{
    if (beginEnd(reason))
        emit importOrderStoppedSigl(reason);
}

void ImportOrderThread::endImageError(quint8 code, int error)
{
    if (beginEnd((code == 1 ? kPicRootError : kBakRootError) + because(error)))
        emit importImageThreadError(code);
}

void ImportOrderThread::endDiskFull(const QString &filePath)
{
    stopRun();
    if (beginEnd(kDiskFullError))
        emit checkDiskSizeSigl(filePath);
}

void ImportOrderThread::endDovraError(const QString &why)
{
    if (beginEnd(why))
        emit importDirDovraThreadError();
}

// ---- order folder tree ----

void ImportOrderThread::createOrderDir(QString picPath, QString bakPath)
{
    picPath = picPath.trimmed();
    if (!mModel) {
        endStopped(QStringLiteral("没有订单信息"));
        return;
    }
    // Everything below is joined to the roots; a missing or relative root would put the order next to
    // wherever the program runs, or at the top of a drive.
    if (!isAbsolute(picPath) || hasDotDotPart(picPath)) {
        endStopped(QStringLiteral("照片服务器路径无效：") + picPath);
        return;
    }
    if (!isAbsolute(bakPath.trimmed()) || hasDotDotPart(bakPath)) {
        endStopped(QStringLiteral("备份服务器路径无效：") + bakPath);
        return;
    }
    picPath = withSeparator(picPath);
    bakPath = withSeparator(bakPath);

    if (!FileOperation::mkPath(picPath)) {
        const int error = errno;
        qCDebug(lcImport) << "服务器路径错误:" << picPath;
        endImageError(1, error);
        return;
    }
    if (!FileOperation::dirExists(bakPath) && !FileOperation::mkDir(bakPath)) {
        const int error = errno;
        endImageError(2, error);
        return;
    }
    qCDebug(lcImport) << "orderpath" << mModel->orderPath();
    qCDebug(lcImport) << "orderbackpath" << mModel->orderBakPath();
    if (!mModel->orderPath().isEmpty() || !mModel->orderBakPath().isEmpty())
        return;

    QString orderName;
    const QString folderName = mModel->orderFolderName(mImportType, &orderName);
    const QString appendName = folderName.mid(orderName.size());
    QString nameProblem;
    if (!isSafeName(folderName, &nameProblem)) {
        endStopped(QStringLiteral("订单目录") + nameProblem + QStringLiteral("，无法建立订单目录：") + mModel->orderKey());
        return;
    }
    QString month;
    QString day;
    if (!dateLevels(mModel->shotDate(), &month, &day)) {
        endStopped(QStringLiteral("拍摄日期格式错误：") + mModel->shotDate());
        return;
    }
    const QString datePath = month + QLatin1Char('/') + day;
    const QString orderRel = datePath + QLatin1Char('/') + folderName + QLatin1Char('/');
    // No folder of the order is made while a deletion of it by this program walks its tree (or a separation
    // reads it): the look comes first, and the making counts as work in the folder until its end.
    std::unique_ptr<ImportClaim::Working> making;
    if (!waitUntilNotKept(picPath + orderRel, &making))
        return;

    // One level at a time: each call makes the last level only, the earlier calls made the rest.
    LevelMaker levels;
    levels.make(picPath, month + QLatin1Char('/'));
    levels.make(bakPath, month + QLatin1Char('/'));
    levels.make(picPath, datePath + QLatin1Char('/'));
    levels.make(picPath, orderRel);
    qCDebug(lcImport) << "path==" << datePath + QLatin1Char('/') + folderName;
    qCDebug(lcImport) << "orderName==" << orderName;
    qCDebug(lcImport) << "appendName_doc==" << appendName;
    for (const QString &sub : {QStringLiteral("照片/"), QStringLiteral("照片/新建文件夹"), QStringLiteral("成品/"),
                               QStringLiteral("汰片/"), QStringLiteral("设计/"), QStringLiteral("试拍视频/"),
                               QStringLiteral("精修视频/")})
        levels.make(picPath + orderRel, sub);
    makeHiddenGroups(picPath + orderRel);
    levels.make(bakPath, datePath + QLatin1Char('/'));
    levels.make(bakPath, orderRel);
    levels.make(bakPath + orderRel, QStringLiteral("照片/"));

    const QString orderPath = picPath + orderRel;
    const QString orderBakPath = bakPath + orderRel;
    qCDebug(lcImport) << "orderBackupPathCrt===" << orderBakPath;
    if (FileOperation::dirExists(orderPath)) {
        mModel->setOrderPath(orderPath);
        mModel->setOrderBakPath(orderBakPath);
        emit orderFolderMade();
        return;
    }
    stopRun();
    if (beginEnd(QStringLiteral("无法建立订单目录：") + orderPath + because(levels.errorOf(orderPath))))
        emit checkOrderPicPathSigl();
}

// ---- file import ----

void ImportOrderThread::importOrderFiles()
{
    resetRun();
    mImportedCount = 0;
    if (!mModel) {
        endStopped(QStringLiteral("没有订单信息"));
        return;
    }
    if (mImportType == ImportDovraCopy) {
        copyDovraDirToSer(mModel->dovraSourceDir());
        return;
    }

    const QStringList files = mModel->chosenFiles(mImportType);
    if (files.size() > kMaxFiles) {
        endStopped(QStringLiteral("一个订单一次最多导入%1个文件，请分批导入").arg(kMaxFiles));
        return;
    }
    mTotalCount = quint16(files.size());
    const QStringList targets = mModel->buildTargetNames(files, int(mImportType));

    const bool photos = mImportType == ImportOriginPhotos || mImportType == ImportFinishedPhotos
                        || mImportType == ImportDesigns;
    const QString orderPath = withSeparator(mModel->orderPath().trimmed());
    const QString orderBakPath = withSeparator(mModel->orderBakPath().trimmed());
    QString problem = orderFoldersProblem();
    if (problem.isEmpty() && !FileOperation::dirExists(orderPath))
        problem = QStringLiteral("订单目录不存在：") + orderPath;
    if (!problem.isEmpty()) {
        endStopped(problem);
        return;
    }
    if (stopRequested()) {
        endStopped(kStoppedError);
        return;
    }
    // One import of the order at a time, across programs and desks: the runs of this program share it.
    std::shared_ptr<ImportClaim::Hold> claim;
    if (!takeOrderClaim(orderPath, &claim))
        return;
    mClaimHeld = claim ? claim->heldCheck() : nullptr;
    mBackupFolderProblem = mImportType == ImportOriginPhotos ? makeBackupFolder(orderBakPath) : QString();
    // What an import cut off (a kill, a power cut) left half written in the folders this one writes goes
    // first; what another run writes now is fresh and stays.
    removeDeadTemporaries(orderPath, mImportType == ImportOriginPhotos ? orderBakPath : QString(), mImportType,
                          mImportType == ImportOriginPhotos && mRun.yptbcp == QLatin1String("1"),
                          ImportClaim::msSinceEndedProgram(orderPath));
    // Photos as shot the order holds already (imported by this window or the single-order one, under
    // whatever name) are found by their bytes, as the single-order import finds them, and not written again;
    // the look-up is the one every run of the order in this program shares.
    mOrderPhotos.reset();
    if (mImportType == ImportOriginPhotos)
        mOrderPhotos = BackupPhotos::forOrder(orderBakPath + QStringLiteral("照片/"), orderPath + QStringLiteral("照片/"),
                                              !claim || claim->anew());

    // What lands is counted in the order folder at once (a run cut off leaves it counted there).
    // The records of a program whose claim on the order this run took over are this run's to carry.
    mRunRecord = std::make_shared<UnsentReport::RunRecord>(orderPath, mImportType, orderBakPath,
                                                           claim ? claim->tookOver() : QByteArray());

    const int threads = mParallelPhotos > 0 ? mParallelPhotos : QThread::idealThreadCount();
    if (photos && threads > 1)
        drivePhotos(files, targets, orderPath, orderBakPath, threads);
    else
        driveInOrder(files, targets, orderPath, orderBakPath);
    // Its photos are all done: the look-up is left to the order's runs still going (a later run lists afresh),
    // and so is the claim.
    mOrderPhotos.reset();
    mClaimHeld = nullptr;
    claim.reset();
    if (!mEnded)
        endFinished();
}

bool ImportOrderThread::waitUntilNotKept(const QString &orderPath, std::unique_ptr<ImportClaim::Working> *making)
{
    QString waiting;
    for (;;) {
        ImportClaim::Taking kept;
        making->reset(new ImportClaim::Working(orderPath, &kept.keptBy));
        if (kept.keptBy == ImportClaim::Use::Import)
            break;
        making->reset();
        if (!waitAWhile(kept, &waiting))
            return false;
    }
    if (waiting.isEmpty())
        return true;
    emit waitingForOrderSigl(QString());
    // What the tool left: a deleted order is not made anew.
    if (!FileOperation::dirExists(orderPath)) {
        making->reset();
        endStopped(QStringLiteral("订单目录不存在：") + orderPath);
        return false;
    }
    return true;
}

bool ImportOrderThread::takeOrderClaim(const QString &orderPath, std::shared_ptr<ImportClaim::Hold> *hold)
{
    QString waiting;
    for (;;) {
        // A stop ends the wait at once, also while the claims' thread is held up by another order's claim.
        const ImportClaim::Taking taking = ImportClaim::takeAndWait(orderPath, hold, [this] { return stopRequested(); });
        if (taking.outcome == FolderClaim::Stopped) {
            if (!waiting.isEmpty())
                emit waitingForOrderSigl(QString());
            endStopped(kStoppedError);
            return false;
        }
        if (taking.outcome != FolderClaim::Busy) {
            if (!waiting.isEmpty())
                emit waitingForOrderSigl(QString());
            // Deleted while the run waited: it makes no half order. Also when this program's deletion was done
            // right after the take found its claim there: the claim is this program's, the folder gone.
            if (ImportClaim::folderGone(taking)
                || (taking.outcome == FolderClaim::Taken && !FileOperation::dirExists(orderPath))) {
                hold->reset();
                endStopped(QStringLiteral("订单目录不存在：") + orderPath);
                return false;
            }
            if (taking.outcome == FolderClaim::Refused) {
                endStopped(ImportClaim::refusedText(taking));
                return false;
            }
            if (taking.outcome == FolderClaim::NotWritten) {
                // No file of the order failed: the order is done when its photos are, with this beside it.
                qCWarning(lcImport) << "order claim not written:" << taking.shown << taking.reason;
                QMutexLocker locker(&mLock);
                mClaimNote = ImportClaim::notWrittenText(taking);
            }
            return true;
        }
        if (!waitAWhile(taking, &waiting))
            return false;
    }
}

bool ImportOrderThread::waitAWhile(const ImportClaim::Taking &taking, QString *waiting)
{
    const QString why = ImportClaim::waitingText(mModel->orderKey(), taking);
    if (why != *waiting) {
        qCDebug(lcImport) << "waiting for the order:" << why;
        *waiting = why;
        emit waitingForOrderSigl(why);
    }
    // Looked at again soon; a stop ends the wait at once.
    for (int step = 0; step < ImportClaim::kLookAgainMs / 25 && !stopRequested(); ++step)
        QThread::msleep(25);
    if (!stopRequested())
        return true;
    emit waitingForOrderSigl(QString());
    endStopped(kStoppedError);
    return false;
}

QString ImportOrderThread::makeBackupFolder(const QString &orderBakPath) const
{
    const QString folder = orderBakPath + QStringLiteral("照片/");
    if (FileOperation::dirExists(folder))
        return QString();
    // Made one level at a time below the backup root, which an earlier run could not do (it is made only
    // there: an order's backup folder stored elsewhere is used as it is).
    LevelMaker levels;
    const QString root = withSeparator(fsPath(mRun.bakPicPath.trimmed()));
    const QString path = fsPath(folder);
    if (!root.isEmpty() && path.startsWith(root, Platform::pathCase())) {
        QString relative;
        for (const QString &level : path.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            relative += level + QLatin1Char('/');
            levels.make(root, relative);
        }
    }
    if (FileOperation::dirExists(folder))
        return QString();
    const QString why = QStringLiteral("无法建立订单备份目录：") + folder + because(levels.errorOf(path));
    qCWarning(lcImport) << why;
    return why;
}

QString ImportOrderThread::orderFoldersProblem() const
{
    if (!mModel)
        return QStringLiteral("没有订单信息");
    // The order folder rule of every import: never a storage root of the run, nor a folder holding one.
    const QStringList roots = mRun.storageRoots();
    QString problem = folderProblem(withSeparator(mModel->orderPath().trimmed()), QStringLiteral("订单路径"), roots);
    if (problem.isEmpty() && mImportType == ImportOriginPhotos)
        problem = folderProblem(withSeparator(mModel->orderBakPath().trimmed()), QStringLiteral("订单备份路径"), roots);
    return problem;
}

// One file after another on this thread.
void ImportOrderThread::driveInOrder(const QStringList &files, const QStringList &targets,
                                     const QString &orderPath, const QString &orderBakPath)
{
    const bool videos = mImportType == ImportTrialVideos || mImportType == ImportRetouchVideos;
    for (int i = 0; i < files.size(); ++i) {
        if (stopRequested()) {
            endStopped(kStoppedError);
            return;
        }
        ++mImportedCount;
        if (videos)
            copyVideoFiles(orderPath, orderBakPath, files.at(i), targets.value(i));
        else
            importImage(orderPath, orderBakPath, files.at(i), targets.value(i));
        if (mEnded)
            return;
    }
}

// Photos side by side on a pool of the order's own; the progress still follows the file order.
void ImportOrderThread::drivePhotos(const QStringList &files, const QStringList &targets, const QString &orderPath,
                                    const QString &orderBakPath, int threads)
{
    keepLargeBuffersOutOfArenas();
    PhotoPipeline pipeline(threads);
    // A few photos queued ahead keep every thread busy; the space check counts them as written already.
    const int window = threads + 2;
    int reported = 0;
    // Hands on the next result in file order; false when there is none (yet).
    int taken = 0;
    auto reportOne = [&](bool wait) {
        QStringList fileFailures;
        bool unreadable = false;
        PhotoOutcome outcome;
        if (!pipeline.takeNext(wait, &fileFailures, &unreadable, &outcome))
            return false;
        addFailures(fileFailures);
        addPlaced(outcome, unreadable ? files.at(taken) : QString(), targets.value(taken));
        ++taken;
        ++reported;
        emit hasImportedImgCount(quint16(reported), mTotalCount);
        return true;
    };

    QString diskFullFile;
    bool stopped = false;
    const bool alsoFinished = mImportType == ImportOriginPhotos && mRun.yptbcp == QLatin1String("1");
    for (int i = 0; i < files.size(); ++i) {
        while (reportOne(false)) {
        }
        while (pipeline.inFlight() >= window && reportOne(true)) {
        }
        if (stopRequested()) {
            stopped = true;
            break;
        }
        ++mImportedCount;
        const QString target = targets.value(i);
        QString nameProblem;
        if (!isSingleName(target, &nameProblem)) {
            pipeline.startDone({shortName(files.at(i)) + QStringLiteral("：目标文件") + nameProblem + QStringLiteral("，未导入")});
            continue;
        }
        if (!judgeMemorySize(files.at(i), pipeline.bytesInFlight())) {
            diskFullFile = files.at(i);
            break;
        }
        PhotoTask task{mImportType, orderPath, orderBakPath, files.at(i), target, alsoFinished};
        task.backupFolderProblem = mBackupFolderProblem;
        task.backupPhotos = mOrderPhotos;
        task.runRecord = mRunRecord;
        task.claimHeld = mClaimHeld;
        pipeline.start(task, QFileInfo(fsPath(files.at(i))).size());
    }
    while (reportOne(true)) {
    }

    if (!diskFullFile.isEmpty())
        endDiskFull(diskFullFile);
    else if (stopped)
        endStopped(kStoppedError);
}

void ImportOrderThread::reportFileDone()
{
    emit hasImportedImgCount(mImportedCount, mTotalCount);
    if (mImportedCount == mTotalCount)
        endFinished();
}

void ImportOrderThread::importImage(QString orderPath, QString orderBakPath, QString filePath, QString targetName)
{
    if (orderPath.isEmpty() || filePath.isEmpty()
        || (mImportType == ImportOriginPhotos && orderBakPath.isEmpty())) {
        addFailures({shortName(filePath) + QStringLiteral("：订单路径为空，未导入")});
        reportFileDone();
        return;
    }
    QString nameProblem;
    if (!isSingleName(targetName, &nameProblem)) {
        addFailures({shortName(filePath) + QStringLiteral("：目标文件") + nameProblem + QStringLiteral("，未导入")});
        reportFileDone();
        return;
    }
    if (!judgeMemorySize(filePath)) {
        endDiskFull(filePath);
        return;
    }
    const bool alsoFinished = mImportType == ImportOriginPhotos && mRun.yptbcp == QLatin1String("1");
    bool unreadable = false;
    PhotoOutcome outcome;
    PhotoTask task{mImportType, orderPath, orderBakPath, filePath, targetName, alsoFinished};
    task.backupFolderProblem = mBackupFolderProblem;
    task.backupPhotos = mOrderPhotos;
    task.runRecord = mRunRecord;
    task.claimHeld = mClaimHeld;
    addFailures(importOnePhoto(task, nullptr, &unreadable, &outcome));
    addPlaced(outcome, unreadable ? filePath : QString(), targetName);
    reportFileDone();
}

void ImportOrderThread::copyVideoFiles(QString orderPath, QString orderBakPath, QString filePath, QString targetName)
{
    Q_UNUSED(orderBakPath)
    if (orderPath.isEmpty() || filePath.isEmpty()) {
        addFailures({shortName(filePath) + QStringLiteral("：订单路径为空，未导入")});
    } else {
        // A video is never replaced; the same video imported again is no failure.
        bool added = false;
        const QString failure = importOneVideo(mImportType, orderPath, filePath, targetName, &added, mClaimHeld);
        if (!failure.isEmpty()) {
            addFailures({failure});
        } else if (added) {
            if (mRunRecord)
                mRunRecord->count(1, 0);
            addPlaced({targetName, true, false}, QString(), targetName);
        }
        if (mRunRecord)
            mRunRecord->keepFresh();
    }
    reportFileDone();
}

bool ImportOrderThread::judgeMemorySize(QString filePath, qint64 bytesInFlight)
{
    const qint64 size = QFileInfo(fsPath(filePath)).size();
    return judgeDiskSize(size + qMax<qint64>(0, bytesInFlight), mRun.picPath);
}

bool ImportOrderThread::judgeDiskSize(qint64 size, QString path)
{
    const qint64 freeBytes = Platform::freeDiskBytes(path);
    qCDebug(lcImport) << "free bytes on" << path << ":" << freeBytes;
    if (freeBytes < 0)
        return true; // unknown: the copy itself will tell
    return quint64(qMax<qint64>(0, size)) < quint64(freeBytes);
}

// ---- copy for the Dovra system ----

void ImportOrderThread::createDovraDir(QString path)
{
    qCDebug(lcImport) << "创建Dovra目录" << path;
    QString why;
    if (!dovraServerPathOk(path, &why)) {
        endDovraError(why);
        return;
    }
    if (FileOperation::dirExists(path))
        return;
    qCDebug(lcImport) << "创建Dovra目录1";
    if (!FileOperation::mkPath(path)) {
        const int error = errno;
        qCDebug(lcImport) << "创建Dovra目录2";
        endDovraError(QStringLiteral("无法创建Dovra目录：") + path + because(error));
    }
}

bool ImportOrderThread::dovraServerPathOk(const QString &path, QString *why)
{
    // The server path is the order's Dovra root followed by one folder level; without the root it would
    // name a folder at the top of the current drive.
    const QString p = fsPath(path.trimmed());
    const int cut = p.lastIndexOf(QLatin1Char('/'));
    const QString root = cut > 0 ? p.left(cut) : QString();
    if (!Platform::isAbsolutePath(p) || root.isEmpty() || QStringLiteral("/").repeated(root.size()) == root) {
        *why = QStringLiteral("订单没有Dovra服务器路径，无法导入：") + path;
        return false;
    }
    return true;
}

void ImportOrderThread::copyDovraDirToSer(QString dovraDir)
{
    qCDebug(lcImport) << "DovraDir=" << dovraDir;
    qCDebug(lcImport) << "importServDovraPath=" << mRun.dovraServerPath;
    const QString serverPath = mRun.dovraServerPath;
    QString why;
    if (!dovraServerPathOk(serverPath, &why)) {
        endDovraError(why);
        return;
    }
    const QString source = QDir::cleanPath(fsPath(dovraDir.trimmed()));
    if (dovraDir.trimmed().isEmpty() || !QDir::isAbsolutePath(source)) {
        endDovraError(QStringLiteral("没有选择Dovra文件夹"));
        return;
    }
    if (isFileSystemRoot(source)) {
        endDovraError(QStringLiteral("不能选择磁盘根目录作为Dovra文件夹：") + dovraDir);
        return;
    }
    if (!QFileInfo(source).isDir()) {
        endDovraError(QStringLiteral("Dovra文件夹不存在：") + dovraDir);
        return;
    }
    const QString folderName = QFileInfo(source).fileName();
    qCDebug(lcImport) << "endStr=" << folderName;
    const QString toDir = serverPath + QLatin1Char('\\') + folderName;
    qCDebug(lcImport) << "导片的根目录是:" << toDir;

    // Copying a folder into itself would never end.
    const QString target = QDir::cleanPath(QFileInfo(fsPath(toDir)).absoluteFilePath());
    if (target.compare(source, Platform::pathCase()) == 0
        || target.startsWith(source + QLatin1Char('/'), Platform::pathCase())) {
        endDovraError(QStringLiteral("Dovra服务器路径位于所选文件夹之内：") + toDir);
        return;
    }

    if (!FileOperation::mkPath(serverPath)) {
        const int error = errno;
        endDovraError(QStringLiteral("无法创建Dovra目录：") + serverPath + because(error));
        return;
    }
    if (!FileOperation::dirExists(toDir) && !FileOperation::mkDir(toDir)) {
        const int error = errno;
        endDovraError(QStringLiteral("无法创建Dovra目录：") + toDir + because(error));
        return;
    }
    mDovraSource = source;
    mDovraTarget = serverPath + QLatin1Char('/') + folderName;
    copyDir(source, toDir);
}

void ImportOrderThread::copyDir(QString fromDir, QString toDir)
{
    mDovraFileList.clear();
    mVisitedDirs.clear();
    walkDovra(fromDir, toDir);
    if (beginEnd(QString()))
        emit startImportDirDovraThreadSigl(mDovraFileList, toDir);
}

void ImportOrderThread::copyDir2(QString fromDir, QString toDir)
{
    walkDovra(fromDir, toDir);
}

void ImportOrderThread::walkDovra(const QString &fromDir, const QString &toDir)
{
    const QString from = fsPath(fromDir);
    // A link back up the tree would make the walk endless.
    const QString canonical = QFileInfo(from).canonicalFilePath();
    if (canonical.isEmpty() || mVisitedDirs.contains(canonical))
        return;
    mVisitedDirs.insert(canonical);

    const QString to = fsPath(toDir);
    if (!QDir(to).exists()) {
        QDir().mkdir(QDir(to).absolutePath());
        qCDebug(lcImport) << "创建文件夹=" << QDir(to).absolutePath();
    }
    const QFileInfoList entries = QDir(from).entryInfoList();
    for (const QFileInfo &entry : entries) {
        if (entry.fileName() == QLatin1String(".") || entry.fileName() == QLatin1String(".."))
            continue;
        if (Platform::isHidden(entry.absoluteFilePath()))
            continue;
        if (entry.isDir()) {
            copyDir2(entry.filePath(), QDir(to).filePath(entry.fileName()));
            continue;
        }
        // Target: the server path, the chosen folder's name, then the path below the chosen folder.
        const QString below = QDir(mDovraSource).relativeFilePath(entry.filePath());
        const QString target = mDovraTarget + QLatin1Char('/') + below;
        qCDebug(lcImport) << "原路径：" << entry.filePath() << "导入路径：" << target;
        mDovraFileList.append(DovraFileInfo(entry.filePath(), target));
    }
}
