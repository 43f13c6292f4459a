#include "importorderthread.h"

#include "fileoperation.h"
#include "globals.h"
#include "imageoperation.h"
#include "importordermodel.h"
#include "importstate.h"
#include "orderrecords.h"
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
#include <QSaveFile>
#include <QSemaphore>
#include <QSet>
#include <QThreadPool>
#include <QWaitCondition>

#include <limits>
#include <mutex>
#include <vector>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
const QString kImportMode = QStringLiteral("importordersphotodlg");
const QString kDeleteMode = QStringLiteral("searchorder");

// Texts the dialog shows for the ends that carry no text of their own.
const QString kPicRootError = QStringLiteral("服务器路径错误");
const QString kBakRootError = QStringLiteral("备份服务器路径错误。");
const QString kOrderPathError = QStringLiteral("客人信息包含特殊字符，请修改后再导片");
const QString kDiskFullError = QStringLiteral("服务器空间不足，请清理空间后再导入");
const QString kStoppedError = QStringLiteral("导片已停止");

// Thumbnail boxes, largest first; each smaller one is scaled from the one before.
const int kBox2250 = 2250;
const int kBox1000 = 1000;
const int kBox200 = 200;

// Pixel memory (MiB) that the photos of one order may hold at the same time, which keeps the whole
// program well under 600 MiB. A 6000 x 4000 photo that must be turned holds 96 MiB decoded plus 72 MiB
// turned; an upright one needs only its reduced decode (24 MiB) and its 2250 thumbnail.
const int kPixelBudgetMiB = 480;

// The counts travel as 16-bit values; a longer list is counted as the most they can hold (and the
// import refuses it).
quint16 countOf(const QStringList &files)
{
    const int most = std::numeric_limits<quint16>::max();
    return static_cast<quint16>(qMin(files.size(), most));
}

// The file-system form of a stored path, "/" separators throughout.
QString fsPath(const QString &path)
{
    return QDir::fromNativeSeparators(Platform::localPath(path));
}

bool endsWithSeparator(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

// A storage root or order folder as the rest of the import joins names to it: trimmed by the caller,
// ending in a separator (the one the path already uses).
QString withSeparator(const QString &path)
{
    if (path.isEmpty() || endsWithSeparator(path))
        return path;
    const bool backSlashes = path.contains(QLatin1Char('\\')) && !path.contains(QLatin1Char('/'));
    return path + (backSlashes ? QLatin1Char('\\') : QLatin1Char('/'));
}

bool isAbsolute(const QString &path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(fsPath(path));
}

// True when a path names nothing but a file-system, drive or share root.
bool isRootPath(const QString &path)
{
    QString p = QDir::cleanPath(fsPath(path));
    if (p.isEmpty() || p == QLatin1String("/"))
        return true;
    if (QRegularExpression(QStringLiteral("^[A-Za-z]:/?$")).match(p).hasMatch())
        return true;
    // "//host" or "//host/share"
    if (p.startsWith(QLatin1String("//")) && p.mid(2).split(QLatin1Char('/'), Qt::SkipEmptyParts).size() <= 2)
        return true;
    return false;
}

bool hasDotDotPart(const QString &path)
{
    const QStringList parts = fsPath(path).split(QLatin1Char('/'));
    return parts.contains(QStringLiteral(".."));
}

// Why a stored order folder cannot be written to ("" when it can).
QString orderFolderProblem(const QString &path, const QString &what)
{
    if (path.trimmed().isEmpty())
        return what + QStringLiteral("为空，请先建立订单目录");
    if (!isAbsolute(path) || isRootPath(path) || hasDotDotPart(path))
        return what + QStringLiteral("无效：") + path;
    return QString();
}

// Month and day levels of a shot date "yyyy-mm-dd" (a time after a blank or "T" is left out).
bool dateLevels(const QString &shotDate, QString *month, QString *day)
{
    static const QRegularExpression date(QStringLiteral("^\\s*(\\d{4})-(\\d{1,2})-(\\d{1,2})(?:[ T].*)?\\s*$"));
    const QRegularExpressionMatch m = date.match(shotDate);
    if (!m.hasMatch())
        return false;
    *month = m.captured(1) + QLatin1Char('-') + m.captured(2);
    *day = m.captured(3);
    return true;
}

// A target name is written into a folder as one component, never as a path.
bool isSingleName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

QSize fitBox(const QSize &size, int box)
{
    return size.scaled(box, box, Qt::KeepAspectRatio);
}

QImage fitImage(const QImage &image, int box)
{
    return image.scaled(box, box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QString shortName(const QString &path)
{
    return QFileInfo(fsPath(path)).fileName();
}

// Writes the image to the target, encoded as the target's suffix says, replacing a file of that name
// only once the new one is complete.
bool saveImage(const QImage &image, const QString &target, int quality, QString *why)
{
    if (Platform::copyShouldFail(target)) {
        *why = QStringLiteral("写入失败");
        return false;
    }
    const QByteArray format = QFileInfo(target).suffix().toLower().toLatin1();
    static const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    if (format.isEmpty() || !writable.contains(format)) {
        *why = QStringLiteral("不支持的图片格式");
        return false;
    }
    QSaveFile file(fsPath(target));
    if (!file.open(QIODevice::WriteOnly)) {
        *why = file.errorString();
        return false;
    }
    QImageWriter writer(&file, format);
    writer.setQuality(quality);
    if (!writer.write(image)) {
        *why = writer.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

// Folders of one photo import type, relative to the order folder.
struct PhotoFolders
{
    QString main;
    QString thumb2250;
    QString thumb1000;
    QString thumb200;
};

PhotoFolders photoFolders(ImportTypeEnum type)
{
    switch (type) {
    case ImportOriginPhotos:
        return {QStringLiteral("照片/"), QStringLiteral("thumbnail2250/"), QStringLiteral("thumbnail/"),
                QStringLiteral("thumbnail100/")};
    case ImportDesigns:
        return {QStringLiteral("设计/"), QStringLiteral("设计缩略图2250/"), QStringLiteral("设计缩略图/"),
                QStringLiteral("设计缩略图100/")};
    default:
        return {QStringLiteral("成品/"), QStringLiteral("成品缩略图2250/"), QStringLiteral("成品缩略图/"),
                QStringLiteral("成品缩略图100/")};
    }
}

// Holds part of the order's pixel budget while a photo is decoded and written.
class BudgetHold
{
public:
    explicit BudgetHold(QSemaphore *budget) : m_budget(budget) {}
    ~BudgetHold()
    {
        if (m_budget && m_units)
            m_budget->release(m_units);
    }
    // Waits until the bytes fit into the budget; a photo larger than all of it waits for all of it.
    void acquire(qint64 bytes)
    {
        if (!m_budget || m_units)
            return;
        const qint64 mib = (bytes >> 20) + 1;
        m_units = int(qBound<qint64>(1, mib, kPixelBudgetMiB));
        m_budget->acquire(m_units);
    }
    BudgetHold(const BudgetHold &) = delete;
    BudgetHold &operator=(const BudgetHold &) = delete;

private:
    QSemaphore *m_budget;
    int m_units = 0;
};

// How much the JPEG decoder reduces a photo when asked for the given smaller size (1, 2, 4 or 8).
int reducedDecodeFactor(const QSize &full, const QSize &wanted)
{
    const int ratio = qMin(full.width() / qMax(1, wanted.width()), full.height() / qMax(1, wanted.height()));
    return ratio >= 8 ? 8 : ratio >= 4 ? 4 : ratio >= 2 ? 2 : 1;
}

// The photo as ImageOperation::rotateImage shows it for its orientation (turned and mirrored as the
// value says), as 8-bit RGB. Works tile by tile so both images stay in cache.
QImage turnedRgb888(const QImage &src, int orientation)
{
    const int w = src.width();
    const int h = src.height();
    const bool quarter = orientation >= 5 && orientation <= 8;
    QImage dst(quarter ? h : w, quarter ? w : h, QImage::Format_RGB888);
    if (dst.isNull())
        return dst;
    uchar *const out = dst.bits();
    const qsizetype outLine = dst.bytesPerLine();
    const int tile = 64;
    for (int ty = 0; ty < h; ty += tile) {
        const int yEnd = qMin(h, ty + tile);
        for (int tx = 0; tx < w; tx += tile) {
            const int xEnd = qMin(w, tx + tile);
            for (int y = ty; y < yEnd; ++y) {
                const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
                for (int x = tx; x < xEnd; ++x) {
                    int dx = x;
                    int dy = y;
                    switch (orientation) {
                    case 2:
                        dx = w - 1 - x;
                        break;
                    case 4:
                        dy = h - 1 - y;
                        break;
                    case 5:
                        dx = y;
                        dy = x;
                        break;
                    case 7:
                        dx = h - 1 - y;
                        dy = w - 1 - x;
                        break;
                    case 6:
                        dx = h - 1 - y;
                        dy = x;
                        break;
                    case 8:
                        dx = y;
                        dy = w - 1 - x;
                        break;
                    case 3:
                        dx = w - 1 - x;
                        dy = h - 1 - y;
                        break;
                    default:
                        break;
                    }
                    uchar *p = out + dy * outLine + dx * 3;
                    const QRgb v = line[x];
                    p[0] = uchar(qRed(v));
                    p[1] = uchar(qGreen(v));
                    p[2] = uchar(qBlue(v));
                }
            }
        }
    }
    return dst;
}

// Everything one photo needs, copied so that a pool thread can work on it alone.
struct PhotoTask
{
    ImportTypeEnum type;
    QString orderPath;
    QString orderBakPath;
    QString filePath;
    QString targetName;
    bool alsoFinished; // photos as shot also go into "成品/"
};

// Imports one photo: backup copy, upright main file, three thumbnails. Returns the failures.
QStringList importOnePhoto(const PhotoTask &task, QSemaphore *budget)
{
    QStringList failures;
    const QString name = shortName(task.filePath);
    auto fail = [&](const QString &what) { failures << name + QStringLiteral("：") + what; };

    const PhotoFolders folders = photoFolders(task.type);
    QStringList mainTargets{task.orderPath + folders.main + task.targetName};
    if (task.alsoFinished)
        mainTargets << task.orderPath + QStringLiteral("成品/") + task.targetName;
    const QString t2250 = task.orderPath + folders.thumb2250 + task.targetName;
    const QString t1000 = task.orderPath + folders.thumb1000 + task.targetName;
    const QString t200 = task.orderPath + folders.thumb200 + task.targetName;

    QFile source(fsPath(task.filePath));
    if (!source.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("无法读取源文件"));
        return failures;
    }
    QByteArray bytes = source.readAll();
    source.close();

    // The backup keeps the photo as chosen; a name taken there gets a numbered free name.
    if (task.type == ImportOriginPhotos) {
        const QString backup = task.orderBakPath + QStringLiteral("照片/") + task.targetName;
        if (!FileOperation::copyFile(task.filePath, backup, false))
            fail(QStringLiteral("备份复制失败"));
    }

    const int orientation = ImageOperation::getDirection(fsPath(task.filePath));
    const bool turn = orientation != 1;

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    reader.setDecideFormatFromContent(true);
    const QSize fullSize = reader.size();

    QImage thumb; // the 2250 thumbnail, upright
    bool decoded = false;
    BudgetHold hold(budget);
    if (!turn) {
        for (const QString &target : mainTargets) {
            if (!FileOperation::copyFile(task.filePath, target, true))
                fail(QStringLiteral("复制失败 ") + target);
        }
    }
    if (!turn && fullSize.isValid() && fitBox(fullSize, kBox2250).width() < fullSize.width()
        && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // The main file is a byte copy: only the 2250 size is needed, which the JPEG decoder makes
        // from a reduced decode.
        const QSize size2250 = fitBox(fullSize, kBox2250);
        const int denom = reducedDecodeFactor(fullSize, size2250);
        hold.acquire(qint64(fullSize.width() / denom) * (fullSize.height() / denom) * 4
                     + qint64(size2250.width()) * size2250.height() * 4);
        reader.setScaledSize(size2250);
        thumb = reader.read();
        if (!thumb.isNull() && thumb.size() != size2250)
            thumb = thumb.scaled(size2250, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        decoded = !thumb.isNull();
    } else {
        // Decoded in full once. A turned photo is written from a copy without alpha in 3 bytes a pixel
        // (which also encodes faster) when it has no alpha to keep.
        const bool compact = reader.imageFormat() == QImage::Format_RGB32;
        const qint64 pixels = fullSize.isValid() ? qint64(fullSize.width()) * fullSize.height() : qint64(6000) * 4000;
        hold.acquire(pixels * (turn ? (compact ? 7 : 8) : 4) + qint64(kBox2250) * kBox2250 * 4);
        QImage full = reader.read();
        bytes.clear();
        if (!full.isNull()) {
            decoded = true;
            // The square box makes "scale, then turn" give the same size as "turn, then scale".
            thumb = ImageOperation::rotateImage(fitImage(full, kBox2250), orientation);
            if (turn) {
                const QImage upright = full.format() == QImage::Format_RGB32
                                           ? turnedRgb888(full, orientation)
                                           : ImageOperation::rotateImage(full, orientation);
                full = QImage();
                for (const QString &target : mainTargets) {
                    QString why;
                    if (!saveImage(upright, target, 100, &why))
                        fail(QStringLiteral("保存失败 ") + target + QStringLiteral("（") + why + QStringLiteral("）"));
                }
            }
        }
    }
    bytes.clear();

    if (!decoded) {
        // Not an image the program can read: keep it unchanged, turned or not, so nothing is lost.
        if (turn) {
            for (const QString &target : mainTargets) {
                if (!FileOperation::copyFile(task.filePath, target, true))
                    fail(QStringLiteral("复制失败 ") + target);
            }
        }
        for (const QString &target : {t1000, t2250}) {
            if (!FileOperation::copyFile(task.filePath, target, true))
                fail(QStringLiteral("复制失败 ") + target);
        }
        return failures;
    }

    QString why;
    if (!saveImage(thumb, t2250, -1, &why))
        fail(QStringLiteral("缩略图保存失败 ") + t2250 + QStringLiteral("（") + why + QStringLiteral("）"));
    thumb = fitImage(thumb, kBox1000);
    if (!saveImage(thumb, t1000, -1, &why))
        fail(QStringLiteral("缩略图保存失败 ") + t1000 + QStringLiteral("（") + why + QStringLiteral("）"));
    thumb = fitImage(thumb, kBox200);
    if (!saveImage(thumb, t200, -1, &why))
        fail(QStringLiteral("缩略图保存失败 ") + t200 + QStringLiteral("（") + why + QStringLiteral("）"));
    return failures;
}

// glibc serves a freed block of up to 32 MiB from then on out of its per-thread arenas, where image
// buffers freed by one pool thread stay reserved for that thread: the process would keep several photos'
// worth of memory per thread. A fixed threshold sends every large buffer back to the system when it is
// freed. (The Windows heap returns large blocks by itself.)
void keepLargeBuffersOutOfArenas()
{
#if defined(Q_OS_LINUX) && defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024); });
#endif
}

// The per-order queue of photos on the pool: results are handed back in file order.
class PhotoPipeline
{
public:
    explicit PhotoPipeline(int threads) : m_budget(kPixelBudgetMiB)
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
            QStringList failures = importOnePhoto(task, budget);
            QMutexLocker locker(&m_lock);
            m_slots[size_t(index)].failures = failures;
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
    bool takeNext(bool wait, QStringList *failures)
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
        m_slots[size_t(m_head)].failures.clear();
        ++m_head;
        return true;
    }

private:
    struct Slot
    {
        bool done = false;
        QStringList failures;
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
    qDebug() << "thread-start";
    mRun = RunSettings::fromGlobals();
    if (mModel && mImportType != ImportDovraCopy)
        mTotalCount = countOf(mModel->chosenFiles(mImportType));
}

ImportOrderThread::ImportOrderThread(const OrderRowInfo &info, QObject *parent)
    : QThread(parent), deleteDir(info.orderpath), mMode(kDeleteMode), mOrderid(info.order_photo_id)
{
    // The search windows start many of these side by side and keep no handle on them: a delete-mode
    // thread cleans up after itself once its job is done.
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

ImportOrderThread::~ImportOrderThread()
{
    qDebug() << "import thread delete";
}

ImportOrderThread::RunSettings ImportOrderThread::RunSettings::fromGlobals()
{
    return {g_picPath, g_bakPicPath, g_dovraServerPath, g_yptbcp, std::make_shared<ImportStop>()};
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
    setImportPathState(QStringLiteral("no"));
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
        qDebug() << "deleteDir==" << deleteDir;
        startDelete();
        return;
    }
}

void ImportOrderThread::startDelete()
{
    // A search row can carry any path at all; only an order folder may go, never a storage root,
    // a drive or share root, or a path relative to wherever the program happens to run.
    QString why;
    if (!FileOperation::isSafeToDelete(deleteDir, &why)) {
        qWarning() << "order folder not deleted:" << why;
        return;
    }
    if (!FileOperation::dirExists(deleteDir))
        return;
    const bool ok = FileOperation::removeDir(deleteDir);
    qDebug() << "isDelete" << (ok ? "true" : "false");
    if (ok)
        emit deleteSucceed(mOrderid, deleteDir);
}

// ---- how a run ends ----

void ImportOrderThread::resetRun()
{
    mEnded = false;
    QMutexLocker locker(&mLock);
    mFailures.clear();
    mErrorText.clear();
}

QStringList ImportOrderThread::failures() const
{
    QMutexLocker locker(&mLock);
    return mFailures;
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
        qWarning() << "import failure:" << line;
    QMutexLocker locker(&mLock);
    mFailures << lines;
}

bool ImportOrderThread::beginEnd(const QString &why)
{
    if (mEnded)
        return false;
    mEnded = true;
    if (!why.isEmpty()) {
        qWarning() << "import of" << objectName() << "ended:" << why;
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

void ImportOrderThread::endImageError(quint8 code)
{
    if (beginEnd(code == 1 ? kPicRootError : kBakRootError))
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

    if (!FileOperation::dirExists(picPath) && !QDir().mkpath(fsPath(picPath))) {
        qDebug() << "服务器路径错误:" << picPath;
        endImageError(1);
        return;
    }
    if (!FileOperation::dirExists(bakPath) && !FileOperation::mkDir(bakPath)) {
        endImageError(2);
        return;
    }
    qDebug() << "orderpath" << mModel->orderPath();
    qDebug() << "orderbackpath" << mModel->orderBakPath();
    if (!mModel->orderPath().isEmpty() || !mModel->orderBakPath().isEmpty())
        return;

    const QString suffix = mModel->folderSuffix(mImportType);
    const QString orderName = normalizeFileName(mModel->orderKey().trimmed());
    const QString appendName = suffix.isEmpty() ? QString()
                                                : normalizeFileName((QLatin1Char('-') + suffix).trimmed());
    const QString folderName = orderName + appendName;
    if (folderName.isEmpty() || folderName == QLatin1String(".") || folderName == QLatin1String("..")) {
        endStopped(QStringLiteral("订单号无效，无法建立订单目录：") + mModel->orderKey());
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

    // One level at a time: each call makes the last level only, the earlier calls made the rest.
    auto mk = [](const QString &root, const QString &rel) { FileOperation::mkDir(root + rel); };
    mk(picPath, month + QLatin1Char('/'));
    mk(bakPath, month + QLatin1Char('/'));
    mk(picPath, datePath + QLatin1Char('/'));
    mk(picPath, orderRel);
    qDebug() << "path==" << datePath + QLatin1Char('/') + folderName;
    qDebug() << "orderName==" << orderName;
    qDebug() << "appendName_doc==" << appendName;
    const QStringList plain{QStringLiteral("照片/"), QStringLiteral("照片/新建文件夹"), QStringLiteral("成品/"),
                            QStringLiteral("汰片/"),  QStringLiteral("设计/"),          QStringLiteral("试拍视频/"),
                            QStringLiteral("精修视频/")};
    for (const QString &sub : plain)
        mk(picPath, orderRel + sub);
    const QList<QStringList> hiddenGroups{
        {QStringLiteral("thumbnail/"), QStringLiteral("thumbnail100/"), QStringLiteral("thumbnail2250/")},
        {QStringLiteral("成品缩略图/"), QStringLiteral("成品缩略图100/"), QStringLiteral("成品缩略图2250/")},
        {QStringLiteral("设计缩略图/"), QStringLiteral("设计缩略图100/"), QStringLiteral("设计缩略图2250/")}};
    for (const QStringList &group : hiddenGroups) {
        for (const QString &sub : group)
            mk(picPath, orderRel + sub);
        for (const QString &sub : group)
            FileOperation::setDirHidden(picPath + orderRel + sub);
    }
    mk(bakPath, datePath + QLatin1Char('/'));
    mk(bakPath, orderRel);
    mk(bakPath, orderRel + QStringLiteral("照片/"));

    const QString orderPath = picPath + orderRel;
    const QString orderBakPath = bakPath + orderRel;
    qDebug() << "orderBackupPathCrt===" << orderBakPath;
    if (FileOperation::dirExists(orderPath)) {
        mModel->setOrderPath(orderPath);
        mModel->setOrderBakPath(orderBakPath);
        return;
    }
    stopRun();
    if (beginEnd(kOrderPathError))
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
    QString problem = orderFolderProblem(orderPath, QStringLiteral("订单路径"));
    if (problem.isEmpty() && mImportType == ImportOriginPhotos)
        problem = orderFolderProblem(orderBakPath, QStringLiteral("订单备份路径"));
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

    const int threads = mParallelPhotos > 0 ? mParallelPhotos : QThread::idealThreadCount();
    if (photos && threads > 1)
        drivePhotos(files, targets, orderPath, orderBakPath, threads);
    else
        driveInOrder(files, targets, orderPath, orderBakPath);
    if (!mEnded)
        endFinished();
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
    auto reportOne = [&](bool wait) {
        QStringList fileFailures;
        if (!pipeline.takeNext(wait, &fileFailures))
            return false;
        addFailures(fileFailures);
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
        if (!isSingleName(target)) {
            pipeline.startDone({shortName(files.at(i)) + QStringLiteral("：目标文件名无效，未导入")});
            continue;
        }
        if (!judgeMemorySize(files.at(i), pipeline.bytesInFlight())) {
            diskFullFile = files.at(i);
            break;
        }
        pipeline.start({mImportType, orderPath, orderBakPath, files.at(i), target, alsoFinished},
                       QFileInfo(fsPath(files.at(i))).size());
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
    if (!isSingleName(targetName)) {
        addFailures({shortName(filePath) + QStringLiteral("：目标文件名无效，未导入")});
        reportFileDone();
        return;
    }
    if (!judgeMemorySize(filePath)) {
        endDiskFull(filePath);
        return;
    }
    const bool alsoFinished = mImportType == ImportOriginPhotos && mRun.yptbcp == QLatin1String("1");
    addFailures(importOnePhoto({mImportType, orderPath, orderBakPath, filePath, targetName, alsoFinished}, nullptr));
    reportFileDone();
}

void ImportOrderThread::copyVideoFiles(QString orderPath, QString orderBakPath, QString filePath, QString targetName)
{
    Q_UNUSED(orderBakPath)
    const QString name = shortName(filePath);
    if (orderPath.isEmpty() || filePath.isEmpty()) {
        addFailures({name + QStringLiteral("：订单路径为空，未导入")});
    } else if (!isSingleName(targetName)) {
        addFailures({name + QStringLiteral("：目标文件名无效，未导入")});
    } else {
        const QString folder = mImportType == ImportTrialVideos ? QStringLiteral("试拍视频/") : QStringLiteral("精修视频/");
        const QString target = orderPath + folder + targetName;
        const QFileInfo existing(fsPath(target));
        if (existing.exists()) {
            // A video is never replaced; the same video imported again is no failure.
            if (existing.size() != QFileInfo(fsPath(filePath)).size())
                addFailures({name + QStringLiteral("：目标已有同名的不同文件，未覆盖")});
        } else if (!copyFile(filePath, target)) {
            addFailures({name + QStringLiteral("：复制失败 ") + target});
        }
    }
    reportFileDone();
}

bool ImportOrderThread::copyFile(QString fromFile, QString toFile)
{
    qDebug() << "toDir=" << toFile;
    const QString from = fsPath(fromFile);
    const QString to = fsPath(toFile);
    if (QDir::cleanPath(from).compare(QDir::cleanPath(to), Platform::pathCase()) == 0)
        return true;
    if (!QFileInfo::exists(from))
        return false;
    if (Platform::copyShouldFail(to))
        return false;
    return QFile::copy(from, to);
}

bool ImportOrderThread::judgeMemorySize(QString filePath, qint64 bytesInFlight)
{
    const qint64 size = QFileInfo(fsPath(filePath)).size();
    return judgeDiskSize(size + qMax<qint64>(0, bytesInFlight), mRun.picPath);
}

bool ImportOrderThread::judgeDiskSize(qint64 size, QString path)
{
    const qint64 freeBytes = Platform::freeDiskBytes(path);
    qDebug() << "free bytes on" << path << ":" << freeBytes;
    if (freeBytes < 0)
        return true; // unknown: the copy itself will tell
    return quint64(qMax<qint64>(0, size)) < quint64(freeBytes);
}

// ---- copy for the Dovra system ----

void ImportOrderThread::createDovraDir(QString path)
{
    qDebug() << "创建Dovra目录" << path;
    QString why;
    if (!dovraServerPathOk(path, &why)) {
        endDovraError(why);
        return;
    }
    if (FileOperation::dirExists(path))
        return;
    qDebug() << "创建Dovra目录1";
    if (!QDir().mkpath(fsPath(path))) {
        qDebug() << "创建Dovra目录2";
        endDovraError(QStringLiteral("无法创建Dovra目录：") + path);
    }
}

bool ImportOrderThread::dovraServerPathOk(const QString &path, QString *why)
{
    // The server path is the order's Dovra root followed by one folder level; without the root it would
    // name a folder at the top of the current drive.
    const QString p = fsPath(path.trimmed());
    const int cut = p.lastIndexOf(QLatin1Char('/'));
    const QString root = cut > 0 ? p.left(cut) : QString();
    if (p.isEmpty() || !QDir::isAbsolutePath(p) || root.isEmpty() || QStringLiteral("/").repeated(root.size()) == root) {
        *why = QStringLiteral("订单没有Dovra服务器路径，无法导入：") + path;
        return false;
    }
    return true;
}

void ImportOrderThread::copyDovraDirToSer(QString dovraDir)
{
    qDebug() << "DovraDir=" << dovraDir;
    qDebug() << "importServDovraPath=" << mRun.dovraServerPath;
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
    if (isRootPath(source)) {
        endDovraError(QStringLiteral("不能选择磁盘根目录作为Dovra文件夹：") + dovraDir);
        return;
    }
    if (!QFileInfo(source).isDir()) {
        endDovraError(QStringLiteral("Dovra文件夹不存在：") + dovraDir);
        return;
    }
    const QString folderName = QFileInfo(source).fileName();
    qDebug() << "endStr=" << folderName;
    const QString toDir = serverPath + QLatin1Char('\\') + folderName;
    qDebug() << "导片的根目录是:" << toDir;

    // Copying a folder into itself would never end.
    const QString target = QDir::cleanPath(QFileInfo(fsPath(toDir)).absoluteFilePath());
    if (target.compare(source, Platform::pathCase()) == 0
        || target.startsWith(source + QLatin1Char('/'), Platform::pathCase())) {
        endDovraError(QStringLiteral("Dovra服务器路径位于所选文件夹之内：") + toDir);
        return;
    }

    if (!FileOperation::dirExists(serverPath) && !QDir().mkpath(fsPath(serverPath))) {
        endDovraError(QStringLiteral("无法创建Dovra目录：") + serverPath);
        return;
    }
    if (!FileOperation::dirExists(toDir) && !FileOperation::mkDir(toDir)) {
        endDovraError(QStringLiteral("无法创建Dovra目录：") + toDir);
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
        qDebug() << "创建文件夹=" << QDir(to).absolutePath();
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
        qDebug() << "原路径：" << entry.filePath() << "导入路径：" << target;
        mDovraFileList.append(DovraFileInfo(entry.filePath(), target));
    }
}
