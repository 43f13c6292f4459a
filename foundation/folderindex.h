#pragma once
// The entries of one folder, listed once and looked up by name without regard to letter case, so that a
// stage that looks up many names in a folder of the photo share (a network round trip per listing) lists
// it once instead of once per name.

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>

class FolderIndex
{
public:
    FolderIndex() = default;
    // Lists dir now (a missing folder lists nothing). withDotEntries: names() holds "." and "..", as a
    // default QDir listing does; otherwise files and folders alone.
    explicit FolderIndex(const QString &dir, bool withDotEntries = false);

    QString dir() const { return m_dir; }
    // The entries' names, sorted by name without regard to case.
    QStringList names() const { return m_names; }
    // The name of the file in the folder whose name equals name, an exact match preferred, otherwise one
    // that differs in letter case alone; "" when the folder holds no such file.
    QString fileName(const QString &name) const;
    // dir + fileName(name), or "" when there is none.
    QString filePath(const QString &name) const;

private:
    QString m_dir; // ends in "/"
    QStringList m_names;
    QHash<QString, QString> m_files; // exact name -> name
    QHash<QString, QString> m_folded; // case-folded name -> the first file name of that form
};

// A folder index shared by the jobs of one stage: the first job that asks lists the folder, on its own
// thread; the others use that listing. Any thread.
class SharedFolderIndex
{
public:
    explicit SharedFolderIndex(const QString &dir) : m_dir(dir) {}
    const FolderIndex &index() const;

private:
    QString m_dir;
    mutable std::once_flag m_once;
    mutable FolderIndex m_index;
};
