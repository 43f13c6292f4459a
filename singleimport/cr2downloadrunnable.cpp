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
#include <QSet>

namespace {

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

// Copies source into the folder as name with the source's suffix, never over a file already there: a
// name the run used, or one a file with other bytes holds (an earlier download, whose original may be
// gone), moves the copy on to the next free "(n)" name; a file there with the same bytes is the copy
// already. True when the copy is there; *target receives its path.
bool copyUnderFreeName(const QFileInfo &source, const QString &folder, const QString &name, QSet<QString> &used,
                       QString *target)
{
    const QString suffix = source.suffix().isEmpty() ? QString() : QLatin1Char('.') + source.suffix();
    auto key = [](const QString &fileName) {
        return Platform::pathCase() == Qt::CaseInsensitive ? fileName.toLower() : fileName;
    };
    QString fileName = name + suffix;
    FileOperation::CopyOutcome outcome = FileOperation::KeptOther;
    for (int n = 1;; ++n) {
        if (!used.contains(key(fileName))) {
            *target = folder + fileName;
            outcome = FileOperation::copyNoReplace(source.filePath(), Platform::localPath(*target));
            if (outcome != FileOperation::KeptOther)
                break;
        }
        fileName = name + QLatin1Char('(') + QString::number(n) + QLatin1Char(')') + suffix;
    }
    used.insert(key(fileName));
    return outcome == FileOperation::Copied || outcome == FileOperation::AlreadyThere;
}

bool removeEmptyFolder(const QString &folder)
{
    const QString local = QDir::cleanPath(Platform::localPath(folder));
    if (Platform::removalShouldFail(local))
        return false;
    return QDir().rmdir(local);
}

} // namespace

CR2DownloadRunnable::CR2DownloadRunnable(QObject *receiver, QString sourceDir, QString targetDir, QString pairsText)
    : sourceDir(std::move(sourceDir)), targetDir(std::move(targetDir)), receiver(receiver), pairsText(std::move(pairsText))
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
        message = QStringLiteral("创建本地目录失败，目录为：") + targetDir;
        return false;
    }
    message = QStringLiteral("下载完毕！\n\n");
    bool ok = true;

    QString rawDir;
    if (!findRawDir(sourceDir, rawDir)) {
        // No raw files: every file of the folder is copied under its own name.
        const QFileInfoList listing = StorageListing::entries(sourceDir, {}, true);
        const int max = listing.size();
        QSet<QString> usedTargets;
        for (int i = 0; i < listing.size(); ++i) {
            const QFileInfo &entry = listing.at(i);
            if (isDotEntry(entry) || entry.isDir())
                continue;
            QString target;
            if (!copyUnderFreeName(entry, targetDir, entry.completeBaseName(), usedTargets, &target)) {
                message += QStringLiteral("拷贝照片未成功，照片名：") + entry.filePath() + QLatin1Char('\n');
                ok = false;
            }
            progress(max, i + 1);
        }
        return ok;
    }

    const QFileInfoList listing = StorageListing::entries(rawDir, {}, true);
    const int max = listing.size();
    QSet<QString> usedTargets; // the run's targets, compared as the file system compares names
    QList<QPair<QFileInfo, QString>> copies; // (raw, its copy), removed from the storage after the flush
    for (int i = 0; i < listing.size(); ++i) {
        const QFileInfo &raw = listing.at(i);
        if (isDotEntry(raw) || raw.isDir())
            continue;
        const QString name = findPicNameByShotTime(sourceDir, raw.filePath(), raw.completeBaseName());
        qCDebug(lcSingleImport) << "匹配：" << raw.fileName() << "和" << name;
        QString target;
        if (!copyUnderFreeName(raw, targetDir, name, usedTargets, &target) || !isOwnCopy(raw, target)) {
            message += QStringLiteral("拷贝原图照片未成功，照片名：") + raw.filePath() + QLatin1Char('\n');
            ok = false;
        } else {
            copies.append(qMakePair(raw, target));
        }
        progress(max, i + 1);
    }

    // The local folder is often a card or a USB drive, pulled as soon as the download says it is done: the
    // copies are on the disk before any original leaves the storage.
    QList<bool> flushed;
    for (const auto &copy : qAsConst(copies))
        flushed.append(Platform::flushToDisk(copy.second));
    const bool entriesFlushed = Platform::flushToDisk(targetDir);
    for (int i = 0; i < copies.size(); ++i) {
        const QFileInfo &raw = copies.at(i).first;
        if (!flushed.at(i) || !entriesFlushed) {
            message += QStringLiteral("拷贝原图照片未成功，照片名：") + raw.filePath() + QLatin1Char('\n');
            ok = false;
        } else if (!FileOperation::deleteFile(raw.filePath())) {
            qCDebug(lcSingleImport) << "raw file copied but not removed:" << raw.filePath();
        }
    }

    // The raw folder goes only when every raw in it has left it; anything else stays where it is.
    const QStringList left = leftIn(rawDir);
    if (!left.isEmpty()) {
        message += QStringLiteral("原图目录未删除，其中仍有：") + left.join(QStringLiteral("、"))
                   + QStringLiteral("。路径为：") + rawDir + QLatin1Char('\n');
        return false;
    }
    if (!removeEmptyFolder(rawDir) && !removeEmptyFolder(rawDir)) {
        message += QStringLiteral("删除原图目录未成功，请手动删除。路径为：") + rawDir + QLatin1Char('\n');
        ok = false;
    }
    return ok;
}
