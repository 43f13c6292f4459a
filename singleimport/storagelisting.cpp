#include "storagelisting.h"

#include "platform.h"

#include <QDir>

namespace StorageListing {

QFileInfoList entries(const QString &folder, const QStringList &nameFilters, bool withDots)
{
    if (folder.isEmpty())
        return {};
    QDir dir(Platform::localPath(folder));
    dir.setNameFilters(nameFilters);
    dir.setFilter(withDots ? QDir::AllEntries : QDir::AllEntries | QDir::NoDotAndDotDot);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    QFileInfoList out;
    Platform::countFolderListing();
    const QFileInfoList all = dir.entryInfoList();
    const bool anyHidden = !Platform::hiddenPaths().isEmpty();
    for (const QFileInfo &info : all) {
        const QString name = info.fileName();
        const bool dot = name == QLatin1String(".") || name == QLatin1String("..");
        if (!dot && anyHidden && Platform::isHidden(info.absoluteFilePath()))
            continue;
        out.append(info);
    }
    return out;
}

QFileInfoList files(const QString &folder, const QStringList &nameFilters)
{
    QFileInfoList out;
    for (const QFileInfo &info : entries(folder, nameFilters)) {
        if (!info.isDir())
            out.append(info);
    }
    return out;
}

int countJpg(const QString &folder)
{
    return files(folder, {QStringLiteral("*.jpg")}).size();
}

} // namespace StorageListing
