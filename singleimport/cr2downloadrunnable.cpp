#include "cr2downloadrunnable.h"

#include "fileoperation.h"
#include "guardedcall.h"
#include "logging.h"
#include "platform.h"
#include "shottime.h"
#include "storagelisting.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThreadPool>
#include <QWaitCondition>

#include <cerrno>
#include <vector>

namespace {

// How many raws are copied at the same time. Each copy waits for the disk before it takes its name; side
// by side the file system commits several of them at once.
constexpr int kCopiesAtOnce = 8;

// The separator appended to a folder that has none (the form the platform writes paths in).
#ifdef Q_OS_WIN
const QChar kSeparator = QLatin1Char('\\');
#else
const QChar kSeparator = QLatin1Char('/');
#endif

QString withSeparator(const QString &folder)
{
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder;
    return folder + kSeparator;
}

bool isDotEntry(const QFileInfo &info)
{
    return info.fileName() == QLatin1String(".") || info.fileName() == QLatin1String("..");
}

// The errors of a copy that found no room on the disk.
bool isLackOfRoom(int error)
{
#ifdef EDQUOT
    if (error == EDQUOT)
        return true;
#endif
    return error == ENOSPC || error == EFBIG;
}

// The reason of a failure line: the error in the user's words, in brackets; nothing without one.
QString because(int error)
{
    return error == 0 ? QString() : QStringLiteral("（") + errorText(error) + QStringLiteral("）");
}

QString numberedFileName(const QString &name, int n, const QString &suffix)
{
    return name + QLatin1Char('(') + QString::number(n) + QLatin1Char(')') + suffix;
}

QString suffixOf(const QFileInfo &file)
{
    return file.suffix().isEmpty() ? QString() : QLatin1Char('.') + file.suffix();
}

bool isRawSuffix(const QString &suffix)
{
    return suffix.compare(QLatin1String("cr2"), Qt::CaseInsensitive) == 0
           || suffix.compare(QLatin1String("nef"), Qt::CaseInsensitive) == 0;
}

// True when target holds a copy of source: another file, of the same size.
bool isOwnCopy(const QFileInfo &source, const QString &target)
{
    const QFileInfo copy(Platform::localPath(target));
    if (!copy.isFile() || copy.size() != source.size())
        return false;
    return copy.canonicalFilePath().compare(source.canonicalFilePath(), Platform::pathCase()) != 0;
}

// Everything left in the folder, hidden entries and sub-folders included, relative to it.
QStringList leftIn(const QString &folder)
{
    QStringList left;
    const QDir dir(Platform::localPath(folder));
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : entries)
        left << info.fileName() + (info.isDir() ? QStringLiteral("/") : QString());
    return left;
}

// The names a run has given its copies, compared as the file system compares names; shared by copies
// that run side by side.
class TakenNames
{
public:
    bool contains(const QString &fileName) const
    {
        QMutexLocker lock(&m_mutex);
        return m_names.contains(key(fileName));
    }
    void insert(const QString &fileName)
    {
        QMutexLocker lock(&m_mutex);
        m_names.insert(key(fileName));
    }

private:
    static QString key(const QString &fileName)
    {
        return Platform::pathCase() == Qt::CaseInsensitive ? fileName.toLower() : fileName;
    }
    mutable QMutex m_mutex;
    QSet<QString> m_names;
};

// Copies source into the folder as name with the source's suffix, never over a file already there: a
// name the run used (but for retrying, the name this copy was given before), or one a file with other
// bytes holds (an earlier download, whose original may be gone), moves the copy on to the next free "(n)"
// name; a file there with the same bytes is the copy already. A copy whose source is deleted afterwards
// (onDisk) is on the disk before it takes its name, and an earlier file of the same bytes is written
// afresh the same way: an earlier run's copy may never have reached the disk although it reads back whole
// from the system's cache. True when the copy is there; *target receives its path. Otherwise *error gets
// the error of the failed call; a source gone meanwhile is given no name (ENOENT when no call failed).
bool copyUnderFreeName(const QFileInfo &source, const QString &folder, const QString &name, TakenNames &used,
                       bool onDisk, QString *target, int *error, const QString &retrying = QString())
{
    const QString suffix = suffixOf(source);
    const Platform::Durability durability = onDisk ? Platform::Durability::OnDisk : Platform::Durability::Cached;
    QString fileName = name + suffix;
    FileOperation::CopyOutcome outcome = FileOperation::KeptOther;
    *error = 0;
    for (int n = 1;; ++n) {
        if (!used.contains(fileName) || fileName == retrying) {
            *target = folder + fileName;
            outcome = FileOperation::copyNoReplace(source.filePath(), Platform::localPath(*target), nullptr,
                                                   FileOperation::EarlierCopy::SameBytes, durability);
            if (outcome == FileOperation::CopyFailed)
                *error = errno;
            if (outcome != FileOperation::KeptOther)
                break;
            // Other bytes there; a source gone meanwhile has nothing to copy under the next name.
            if (!QFileInfo::exists(source.filePath())) {
                *error = ENOENT;
                return false;
            }
        }
        fileName = numberedFileName(name, n, suffix);
    }
    if (outcome == FileOperation::CopyFailed && !QFileInfo::exists(source.filePath()))
        return false;
    used.insert(fileName);
    if (outcome == FileOperation::AlreadyThere && onDisk && isOwnCopy(source, *target)) {
        if (Platform::copyIntoPlace(source.filePath(), Platform::localPath(*target), Platform::Placing::Replace,
                                    durability))
            return true;
        *error = errno;
        return false;
    }
    return outcome == FileOperation::Copied || outcome == FileOperation::AlreadyThere;
}

// One raw file of the download and what became of its copy.
struct RawCopy {
    QFileInfo raw;
    QString name;       // the name the copy is to get, without suffix
    int position = 0;   // in the listing, for the progress
    qint64 size = -1;   // as listed; -1: gone before it was looked at
    QString target;     // the copy's path (after a failure, the name it was given)
    bool copied = false;
    bool theirs = false; // the raw left the storage with another run into the same folder, whose copy is there
    int error = 0;       // of the failed copy
};

// A raw gone from the storage while this run had it listed: another download into the same folder took
// it. That run's copy is the first file under the raw's name, or a numbered one this run has not given to
// another raw, of the raw's size.
bool takenByOtherRun(RawCopy &copy, const QString &folder, TakenNames &used)
{
    if (copy.size < 0)
        return false;
    const QString suffix = suffixOf(copy.raw);
    const QString own = copy.target.startsWith(folder) ? copy.target.mid(folder.size()) : QString();
    QString fileName = copy.name + suffix;
    for (int n = 1;; ++n) {
        if (!used.contains(fileName) || fileName == own) {
            const QFileInfo there(Platform::localPath(folder + fileName));
            if (!there.exists())
                return false;
            if (there.isFile() && there.size() == copy.size) {
                used.insert(fileName);
                copy.target = folder + fileName;
                return true;
            }
        }
        fileName = numberedFileName(copy.name, n, suffix);
    }
}

// Copies one raw as the copy pool and the retry do; retrying: the name the raw was given before.
void copyRaw(RawCopy &copy, const QString &folder, TakenNames &used, const QString &retrying = QString())
{
    copy.copied = copyUnderFreeName(copy.raw, folder, copy.name, used, true, &copy.target, &copy.error, retrying)
                  && isOwnCopy(copy.raw, copy.target);
    if (!copy.copied && !QFileInfo::exists(copy.raw.filePath()) && takenByOtherRun(copy, folder, used)) {
        copy.copied = copy.theirs = true;
        copy.error = 0;
    }
}

// The first line of the download's message: how many files were downloaded and how many not, and where to.
QString summary(int downloaded, int missed, const QString &targetDir)
{
    if (missed == 0)
        return QStringLiteral("下载完毕！共下载%1个文件，保存在：%2").arg(downloaded).arg(targetDir);
    return QStringLiteral("已下载%1个文件，%2个文件未下载（见下），保存在：%3").arg(downloaded).arg(missed).arg(targetDir);
}

} // namespace

CR2DownloadRunnable::CR2DownloadRunnable(QObject *receiver, QString sourceDir, QString targetDir, QString pairsText)
    : sourceDir(std::move(sourceDir)), targetDir(std::move(targetDir)), receiver(receiver), pairsText(std::move(pairsText)),
      storageRoots(FileOperation::storageRoots())
{
    setAutoDelete(true);
    parseRedirectPairs(this->pairsText);
}

CR2DownloadRunnable::~CR2DownloadRunnable() = default;

void CR2DownloadRunnable::run()
{
    QString message;
    const bool ok = downLoad(sourceDir, targetDir, message);
    invokeIfAlive(receiver, "onDownloadFinish", ok, message);
}

void CR2DownloadRunnable::progress(int max, int value)
{
    invokeIfAlive(receiver, "onDownloadProcess", max, value);
}

void CR2DownloadRunnable::parseRedirectPairs(const QString &text)
{
    pairList = ShotTimeList::parse(text);
}

bool CR2DownloadRunnable::dirHasEntries(const QString &path)
{
    if (!FileOperation::dirExists(path) || path.trimmed().isEmpty())
        return false;
    return StorageListing::entries(path, {}, true).size() > 2;
}

bool CR2DownloadRunnable::findRawDir(const QString &folder, QString &rawDir)
{
    if (folder.trimmed().isEmpty() || !FileOperation::dirExists(folder))
        return false;
    for (const QFileInfo &sub : StorageListing::entries(folder)) {
        if (!sub.isDir())
            continue;
        for (const QFileInfo &entry : StorageListing::entries(sub.filePath())) {
            if (isRawSuffix(entry.suffix())) {
                rawDir = sub.filePath();
                return true;
            }
        }
    }
    return false;
}

bool CR2DownloadRunnable::getPicShotTime(const QString &path, QString &time)
{
    return ShotTimeScan::forRawFiles().run(path, time);
}

const QList<QPair<QString, QString>> &CR2DownloadRunnable::photoTimes(const QString &photoDir)
{
    // Each photo is opened once per job, however many raw files ask; the first match in listing order
    // is the same as with a fresh walk per raw file.
    if (!scanned || scannedDir != photoDir) {
        scannedPhotos.clear();
        for (const QFileInfo &file : StorageListing::files(photoDir)) {
            QString time;
            if (getPicShotTime(file.filePath(), time))
                scannedPhotos.append(qMakePair(file.baseName(), time));
        }
        scannedDir = photoDir;
        scanned = true;
    }
    return scannedPhotos;
}

QString CR2DownloadRunnable::findPicNameByShotTime(const QString &photoDir, const QString &rawPath,
                                                   const QString &defaultName)
{
    QString time;
    if (!getPicShotTime(rawPath, time))
        return defaultName;
    // A raw without a shot time matches nothing: every photo without one would otherwise claim it.
    if (time.isEmpty())
        return defaultName;
    if (!pairsText.isEmpty()) {
        for (const auto &pair : qAsConst(pairList)) {
            if (pair.second == time) {
                // Names in the list are web text: never a path, never outside the target folder.
                const QString name = normalizeFileName(pair.first);
                return isSafeName(name) ? name : defaultName;
            }
        }
    }
    for (const auto &photo : photoTimes(photoDir)) {
        if (photo.second == time)
            return photo.first;
    }
    return defaultName;
}

bool CR2DownloadRunnable::downLoad(QString sourceDir, QString targetDir, QString &message)
{
    sourceDir = withSeparator(sourceDir);
    targetDir = withSeparator(targetDir);
    if (!dirHasEntries(sourceDir)) {
        message = QStringLiteral("毛底目录为空");
        return false;
    }
    if (!FileOperation::dirExists(targetDir)
        && !FileOperation::mkDir(QFileInfo(Platform::localPath(targetDir)).absoluteFilePath())) {
        const int error = errno;
        message = QStringLiteral("创建本地目录失败，目录为：") + targetDir + because(error);
        return false;
    }
    QString lines; // the failures, each on a line of its own, below the summary
    int downloaded = 0;
    int missed = 0;
    auto finish = [&](bool ok) {
        message = summary(downloaded, missed, targetDir) + QStringLiteral("\n\n") + lines;
        return ok;
    };

    QString rawDir;
    if (!findRawDir(sourceDir, rawDir)) {
        // No raw files: every file of the folder is copied under its own name.
        const QFileInfoList listing = StorageListing::entries(sourceDir, {}, true);
        const int max = listing.size();
        TakenNames usedTargets;
        for (int i = 0; i < listing.size(); ++i) {
            const QFileInfo &entry = listing.at(i);
            if (isDotEntry(entry) || entry.isDir())
                continue;
            QString target;
            int error = 0;
            if (copyUnderFreeName(entry, targetDir, entry.completeBaseName(), usedTargets, false, &target, &error)) {
                ++downloaded;
            } else {
                lines += QStringLiteral("拷贝照片未成功，照片名：") + entry.filePath() + because(error) + QLatin1Char('\n');
                ++missed;
            }
            progress(max, i + 1);
        }
        return finish(missed == 0);
    }

    const QFileInfoList listing = StorageListing::entries(rawDir, {}, true);
    const int max = listing.size();
    std::vector<RawCopy> raws;
    QList<QList<int>> byName; // the raws that are to share a name, in listing order
    QHash<QString, int> groupOfName;
    for (int i = 0; i < listing.size(); ++i) {
        const QFileInfo &raw = listing.at(i);
        if (isDotEntry(raw) || raw.isDir())
            continue;
        const qint64 size = raw.exists() ? raw.size() : -1;
        const QString name = findPicNameByShotTime(sourceDir, raw.filePath(), raw.completeBaseName());
        qCDebug(lcSingleImport) << "匹配：" << raw.fileName() << "和" << name;
        const QString key = Platform::pathCase() == Qt::CaseInsensitive ? name.toLower() : name;
        if (!groupOfName.contains(key)) {
            groupOfName.insert(key, byName.size());
            byName.append(QList<int>());
        }
        byName[groupOfName.value(key)].append(int(raws.size()));
        RawCopy copy;
        copy.raw = raw;
        copy.name = name;
        copy.position = i + 1;
        copy.size = size;
        raws.push_back(copy);
    }

    // The local folder is often a card or a USB drive, pulled as soon as the download says it is done: each
    // copy is on the disk before it takes its name, and no original leaves the storage before that. The
    // copies run side by side, and so do their flushes (one after another, each would wait for a commit of
    // the file system of its own). Raws that are to share a name are copied one after another, in listing
    // order, so that their numbering does not depend on which copy ends first. A raw that another download
    // into the same folder took from the storage meanwhile counts with that run's copy.
    TakenNames usedTargets;
    QMutex mutex;
    QWaitCondition oneDone;
    int done = 0;
    {
        QThreadPool copies;
        copies.setMaxThreadCount(kCopiesAtOnce);
        for (const QList<int> &group : qAsConst(byName)) {
            copies.start([&, group] {
                for (int index : group) {
                    copyRaw(raws[size_t(index)], targetDir, usedTargets);
                    QMutexLocker lock(&mutex);
                    ++done;
                    oneDone.wakeAll();
                }
            });
        }
        QMutexLocker lock(&mutex);
        for (int reported = 0; reported < int(raws.size()); ++reported) {
            while (done == reported)
                oneDone.wait(&mutex);
            lock.unlock();
            progress(max, raws[size_t(reported)].position); // one step per raw, whichever ended
            lock.relock();
        }
    }

    // Side by side, the copies can fill a disk together that has room for some of them: those that found no
    // room are tried again one at a time, in listing order, each under the name it was given (not one that
    // cannot fit in what is left).
    for (RawCopy &copy : raws) {
        if (copy.copied || !isLackOfRoom(copy.error))
            continue;
        const qint64 free = Platform::freeDiskBytes(targetDir);
        if (free < 0 || free >= copy.size)
            copyRaw(copy, targetDir, usedTargets, copy.target.mid(targetDir.size()));
    }

    // The copies' names are on the disk too before any original goes; where they are not, no original
    // goes and the copies of this run are taken away again, as far as that can be done. A copy whose
    // original another run removed meanwhile stays: it may be the only one.
    errno = 0;
    const bool entriesFlushed = Platform::flushToDisk(targetDir);
    const int flushError = entriesFlushed ? 0 : errno;
    for (const RawCopy &copy : raws) {
        if (!copy.copied || (!entriesFlushed && !copy.theirs)) {
            if (copy.copied && QFileInfo::exists(copy.raw.filePath()))
                FileOperation::deleteFile(Platform::localPath(copy.target));
            lines += QStringLiteral("拷贝原图照片未成功，照片名：") + copy.raw.filePath()
                     + because(copy.copied ? flushError : copy.error) + QLatin1Char('\n');
            ++missed;
            continue;
        }
        ++downloaded;
        if (copy.theirs)
            continue;
        if (!FileOperation::deleteFile(copy.raw.filePath()))
            qCDebug(lcSingleImport) << "raw file copied but not removed:" << copy.raw.filePath();
    }
    bool ok = missed == 0;

    // The raw folder goes only when every raw in it has left it; anything else stays where it is.
    const QStringList left = leftIn(rawDir);
    if (!left.isEmpty()) {
        lines += QStringLiteral("原图目录未删除，其中仍有：") + left.join(QStringLiteral("、"))
                 + QStringLiteral("。路径为：") + rawDir + QLatin1Char('\n');
        return finish(false);
    }
    // Another download into the same folder may have removed it already. A link or a disk mounted there
    // stays, named as what it is.
    QString why;
    if (!FileOperation::removeEmptyDir(rawDir, storageRoots, &why)
        && !FileOperation::removeEmptyDir(rawDir, storageRoots, &why) && FileOperation::dirExists(rawDir)) {
        lines += QStringLiteral("删除原图目录未成功，请手动删除。路径为：") + rawDir + QStringLiteral("（") + why
                 + QStringLiteral("）\n");
        ok = false;
    }
    return finish(ok);
}
