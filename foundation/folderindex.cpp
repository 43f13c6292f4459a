#include "folderindex.h"

#include "platform.h"

#include <QDir>

FolderIndex::FolderIndex(const QString &dir, bool withDotEntries) : m_dir(dir)
{
    if (!m_dir.isEmpty() && !m_dir.endsWith(QLatin1Char('/')) && !m_dir.endsWith(QLatin1Char('\\')))
        m_dir += QLatin1Char('/');
    if (dir.isEmpty())
        return;
    const QDir folder(Platform::localPath(dir));
    if (!folder.exists())
        return;
    Platform::countFolderListing();
    QDir::Filters filters = QDir::AllEntries;
    if (!withDotEntries)
        filters |= QDir::NoDotAndDotDot;
    // Hidden and system files are found as a file lookup finds them, but listed as QDir lists them.
    const QFileInfoList entries = folder.entryInfoList(filters | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (!entry.isHidden() || name == QLatin1String(".") || name == QLatin1String(".."))
            m_names << name;
        if (!entry.isFile())
            continue;
        m_files.insert(name, name);
        const QString folded = name.toCaseFolded();
        if (!m_folded.contains(folded))
            m_folded.insert(folded, name);
    }
}

QString FolderIndex::fileName(const QString &name) const
{
    if (name.isEmpty())
        return QString();
    const QString exact = m_files.value(name);
    return exact.isEmpty() ? m_folded.value(name.toCaseFolded()) : exact;
}

QString FolderIndex::filePath(const QString &name) const
{
    const QString found = fileName(name);
    return found.isEmpty() ? QString() : m_dir + found;
}

const FolderIndex &SharedFolderIndex::index() const
{
    std::call_once(m_once, [this] { m_index = FolderIndex(m_dir); });
    return m_index;
}
