#include "orderfolders.h"

#include "fileoperation.h"
#include "platform.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

namespace OrderFolders {

QString fsPath(const QString &path)
{
    return QDir::fromNativeSeparators(Platform::localPath(path));
}

QString shortName(const QString &path)
{
    return QFileInfo(fsPath(path)).fileName();
}

bool endsWithSeparator(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'));
}

QString withSeparator(const QString &path)
{
    if (path.isEmpty() || endsWithSeparator(path))
        return path;
    const bool backSlashes = path.contains(QLatin1Char('\\')) && !path.contains(QLatin1Char('/'));
    return path + (backSlashes ? QLatin1Char('\\') : QLatin1Char('/'));
}

bool isAbsolute(const QString &path)
{
    return Platform::isAbsolutePath(path);
}

bool hasDotDotPart(const QString &path)
{
    return fsPath(path).split(QLatin1Char('/')).contains(QStringLiteral(".."));
}

QString folderProblem(const QString &path, const QString &what, const QStringList &storageRoots)
{
    if (path.trimmed().isEmpty())
        return what + QStringLiteral("为空，请先建立订单目录");
    // The deletion guard's look at the path itself knows the storage roots and the folders holding one.
    if (!isAbsolute(path) || isFileSystemRoot(path) || hasDotDotPart(path)
        || (!storageRoots.isEmpty()
            && !FileOperation::isSafeToDelete(path, storageRoots, nullptr, FileOperation::PathOnly)))
        return what + QStringLiteral("无效：") + path;
    return QString();
}

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

bool isSingleName(const QString &name, QString *why)
{
    return isSafeName(name, why);
}

bool makeLevel(const QString &root, const QString &relative)
{
    return FileOperation::mkDir(root + relative);
}

bool LevelMaker::make(const QString &root, const QString &relative)
{
    if (makeLevel(root, relative))
        return true;
    const int error = errno;
    m_notMade.insert(root + relative, error);
    errno = error;
    return false;
}

int LevelMaker::errorOf(const QString &folder) const
{
    for (auto level = m_notMade.cbegin(); level != m_notMade.cend(); ++level) {
        const QString &path = level.key();
        if (folder.startsWith(path)
            && (endsWithSeparator(path) || folder.size() == path.size() || endsWithSeparator(folder.left(path.size() + 1))))
            return level.value();
    }
    return ENOENT;
}

QList<QStringList> thumbnailGroups()
{
    return {{QStringLiteral("thumbnail/"), QStringLiteral("thumbnail100/"), QStringLiteral("thumbnail2250/")},
            {QStringLiteral("成品缩略图/"), QStringLiteral("成品缩略图100/"), QStringLiteral("成品缩略图2250/")},
            {QStringLiteral("设计缩略图/"), QStringLiteral("设计缩略图100/"), QStringLiteral("设计缩略图2250/")}};
}

void makeHiddenGroups(const QString &orderFolder)
{
    for (const QStringList &group : thumbnailGroups()) {
        for (const QString &sub : group)
            makeLevel(orderFolder, sub);
        for (const QString &sub : group)
            FileOperation::setDirHidden(orderFolder + sub);
    }
}

void removeDeadTemporaries(const QString &orderFolder, const QString &backupFolder, ImportTypeEnum type,
                           bool alsoFinished, qint64 endedProgramMs)
{
    const QString order = withSeparator(fsPath(orderFolder));
    const QString backup = withSeparator(fsPath(backupFolder));
    if (order.isEmpty())
        return;
    QStringList folders{order};
    const QList<QStringList> groups = thumbnailGroups();
    auto thumbnails = [&](int group) {
        for (const QString &sub : groups.at(group))
            folders << order + sub;
    };
    switch (type) {
    case ImportOriginPhotos:
        folders << order + QStringLiteral("照片/");
        thumbnails(0);
        if (alsoFinished)
            folders << order + QStringLiteral("成品/");
        if (!backup.isEmpty())
            folders << backup + QStringLiteral("照片/");
        break;
    case ImportFinishedPhotos:
        folders << order + QStringLiteral("成品/");
        thumbnails(1);
        break;
    case ImportDesigns:
        folders << order + QStringLiteral("设计/");
        thumbnails(2);
        break;
    case ImportTrialVideos:
        folders << order + QStringLiteral("试拍视频/");
        break;
    case ImportRetouchVideos:
        folders << order + QStringLiteral("精修视频/");
        break;
    default:
        break;
    }
    // Shared with the separation: its record and claim in the order folder, its thumbnails of finished photos.
    QStringList shared{order};
    for (const QString &sub : groups.at(1))
        shared << order + sub;
    for (const QString &folder : qAsConst(folders)) {
        // (untouched for 0 ms would be no age at all)
        const qint64 untouchedMs =
            endedProgramMs >= 0 && !shared.contains(folder) ? qMax<qint64>(1, endedProgramMs) : kDeadTemporaryMs;
        FileOperation::removeTemporaries(
            folder, [](const QString &name) {
                return Platform::isCopyTemporary(name) || Platform::isWriteTemporary(name)
                       || Platform::isClockTemporary(name);
            },
            untouchedMs);
    }
}

} // namespace OrderFolders
