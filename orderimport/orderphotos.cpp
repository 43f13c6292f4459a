#include "orderphotos.h"

#include "orderfolders.h"
#include "platform.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

using namespace OrderFolders;

BackupPhotos::BackupPhotos(const QString &folder, const QString &mainFolder)
    : m_backup(new Listing), m_main(new Listing)
{
    m_backup->folder = withSeparator(folder);
    if (!mainFolder.isEmpty())
        m_main->folder = withSeparator(mainFolder);
}

QString BackupPhotos::backupNameOf(const QByteArray &bytes) const
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return nameIn(*m_backup, buffer);
}

QString BackupPhotos::mainNameOf(const QByteArray &bytes) const
{
    if (m_main->folder.isEmpty())
        return QString();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return nameIn(*m_main, buffer);
}

QString BackupPhotos::mainNameOf(const QString &path) const
{
    QFile file(path);
    if (m_main->folder.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString();
    return nameIn(*m_main, file);
}

bool BackupPhotos::mainsWithoutBackup() const
{
    std::call_once(m_orphansChecked, [this] {
        if (m_main->folder.isEmpty())
            return;
        auto key = [](const QString &name) { return Platform::pathCase() == Qt::CaseInsensitive ? name.toLower() : name; };
        list(*m_backup);
        list(*m_main);
        QSet<QString> backups;
        {
            std::lock_guard<std::mutex> lock(m_backup->mutex);
            for (const QStringList &names : qAsConst(m_backup->bySize))
                for (const QString &name : names)
                    backups.insert(key(name));
        }
        std::lock_guard<std::mutex> lock(m_main->mutex);
        for (const QStringList &names : qAsConst(m_main->bySize))
            for (const QString &name : names)
                m_orphans = m_orphans || !backups.contains(key(name));
    });
    return m_orphans;
}

std::unique_lock<std::mutex> BackupPhotos::holdSize(qint64 size) const
{
    std::mutex *lock = nullptr;
    {
        std::lock_guard<std::mutex> sizes(m_sizesMutex);
        std::unique_ptr<std::mutex> &slot = m_sizes[size];
        if (!slot)
            slot.reset(new std::mutex);
        lock = slot.get();
    }
    return std::unique_lock<std::mutex>(*lock);
}

void BackupPhotos::addPlaced(qint64 size, const QString &name, bool inBackup) const
{
    Listing &listing = inBackup ? *m_backup : *m_main;
    if (listing.folder.isEmpty())
        return;
    list(listing);
    std::lock_guard<std::mutex> lock(listing.mutex);
    QStringList &names = listing.bySize[size];
    if (!names.contains(name))
        names << name;
}

void BackupPhotos::list(Listing &listing)
{
    std::call_once(listing.listed, [&listing] {
        Platform::countFolderListing();
        const QFileInfoList files = QDir(fsPath(listing.folder)).entryInfoList(QDir::Files, QDir::Name);
        std::lock_guard<std::mutex> lock(listing.mutex);
        for (const QFileInfo &file : files) {
            // A copy still being made (another desk's) has a temporary name of its own.
            if (!file.fileName().startsWith(QLatin1Char('.')))
                listing.bySize[file.size()] << file.fileName();
        }
    });
}

QString BackupPhotos::nameIn(Listing &listing, QIODevice &bytes)
{
    list(listing);
    QStringList names;
    {
        std::lock_guard<std::mutex> lock(listing.mutex);
        names = listing.bySize.value(bytes.size());
    }
    for (const QString &name : names) {
        if (holds(listing.folder + name, bytes))
            return name;
    }
    return QString();
}

bool BackupPhotos::holds(const QString &path, QIODevice &bytes)
{
    const qint64 size = bytes.size();
    QFile file(fsPath(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() != size || !bytes.seek(0))
        return false;
    // Compared a piece at a time: a different photo of the same size stops at its first difference.
    const qint64 piece = 1 << 20;
    for (qint64 at = 0; at < size; at += piece) {
        const QByteArray ours = bytes.read(qMin(piece, size - at));
        if (ours.isEmpty() || file.read(ours.size()) != ours)
            return false;
    }
    return true;
}

bool BackupPhotos::mainHolds(const QString &name, const QByteArray &bytes) const
{
    if (m_main->folder.isEmpty())
        return false;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return holds(m_main->folder + name, buffer);
}
