#include "orderphotos.h"

#include "orderfolders.h"
#include "platform.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>


using namespace OrderFolders;

namespace {

// The bytes of a file the digest covers; the rest is compared only when the digests agree.
const qint64 kDigestBytes = 16 * 1024;

QByteArray digestOfFile(const QString &path)
{
    QFile file(fsPath(path));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return photoDigest(file);
}

// The look-ups of this program's runs, by the order's folders; a look-up goes with its last run.
struct Registry
{
    std::mutex mutex;
    QHash<QString, std::weak_ptr<const BackupPhotos>> byFolders;
};

Registry &registry()
{
    static Registry *r = new Registry; // never destroyed: pool threads may still drop a look-up at exit
    return *r;
}

QString folderKey(const QString &folder)
{
    const QString path = QDir::cleanPath(fsPath(folder));
    return Platform::pathCase() == Qt::CaseInsensitive ? path.toLower() : path;
}

} // namespace

QByteArray photoDigest(QIODevice &bytes)
{
    const qint64 size = bytes.size();
    if (!bytes.seek(0))
        return QByteArray();
    return photoDigest(size, bytes.read(qMin(size, kDigestBytes)));
}

qint64 photoDigestBytes()
{
    return kDigestBytes;
}

QByteArray photoDigest(qint64 size, const QByteArray &head)
{
    if (head.size() != qMin(size, kDigestBytes))
        return QByteArray();
    QByteArray digest(24, Qt::Uninitialized);
    qToLittleEndian<qint64>(size, digest.data());
    qToLittleEndian<quint64>(quint64(qHashBits(head.constData(), size_t(head.size()), 0x9e3779b9u)), digest.data() + 8);
    qToLittleEndian<quint64>(quint64(qHashBits(head.constData(), size_t(head.size()), 0x85ebca6bu)), digest.data() + 16);
    return digest;
}

QByteArray photoDigest(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return photoDigest(buffer);
}

BackupPhotos::BackupPhotos(const QString &folder, const QString &mainFolder)
    : m_backup(new Listing), m_main(new Listing)
{
    m_backup->folder = withSeparator(folder);
    if (!mainFolder.isEmpty())
        m_main->folder = withSeparator(mainFolder);
}

std::shared_ptr<const BackupPhotos> BackupPhotos::forOrder(const QString &folder, const QString &mainFolder, bool fresh)
{
    const QString key = folderKey(folder) + QLatin1Char('\n') + folderKey(mainFolder);
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::shared_ptr<const BackupPhotos> shared = fresh ? nullptr : r.byFolders.value(key).lock();
    if (!shared) {
        // The entries of look-ups gone are dropped as new ones come.
        for (auto it = r.byFolders.begin(); it != r.byFolders.end();)
            it = it->expired() ? r.byFolders.erase(it) : std::next(it);
        shared = std::make_shared<const BackupPhotos>(folder, mainFolder);
        r.byFolders.insert(key, shared);
    }
    return shared;
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

QString BackupPhotos::backupNameOfMain(const QString &name) const
{
    QFile file(fsPath(m_main->folder + name));
    if (m_main->folder.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString();
    return nameIn(*m_backup, file);
}

QStringList BackupPhotos::mainNames() const
{
    return m_main->folder.isEmpty() ? QStringList() : namesOf(*m_main);
}

QStringList BackupPhotos::backupNames() const
{
    return namesOf(*m_backup);
}

QStringList BackupPhotos::namesOf(Listing &listing)
{
    list(listing);
    std::lock_guard<std::mutex> lock(listing.mutex);
    return listing.names.values();
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
            for (const QString &name : qAsConst(m_backup->names))
                backups.insert(key(name));
        }
        std::lock_guard<std::mutex> lock(m_main->mutex);
        for (const QString &name : qAsConst(m_main->names))
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

void BackupPhotos::addPlaced(const QByteArray &digest, const QString &name, bool inBackup) const
{
    Listing &listing = inBackup ? *m_backup : *m_main;
    if (listing.folder.isEmpty() || name.isEmpty())
        return;
    list(listing);
    std::lock_guard<std::mutex> lock(listing.mutex);
    listing.names.insert(name);
    if (digest.size() < 8)
        return; // among the folder's names, but not found by its bytes
    const qint64 size = qFromLittleEndian<qint64>(digest.constData());
    QStringList &names = listing.bySize[size];
    if (!names.contains(name))
        names << name;
    listing.digests.insert(name, digest);
}

std::shared_ptr<void> BackupPhotos::placing(const QByteArray &digest) const
{
    {
        std::lock_guard<std::mutex> lock(m_placingMutex);
        ++m_placing[digest];
    }
    // The photo's task holds the look-up as long as the announcement.
    return std::shared_ptr<void>(nullptr, [this, digest](void *) {
        std::lock_guard<std::mutex> lock(m_placingMutex);
        if (--m_placing[digest] <= 0)
            m_placing.remove(digest);
        m_placed.notify_all();
    });
}

void BackupPhotos::waitForPlacing(const QByteArray &digest, const std::function<void(bool)> &waiting) const
{
    std::unique_lock<std::mutex> lock(m_placingMutex);
    if (!m_placing.contains(digest))
        return;
    if (waiting) {
        lock.unlock();
        waiting(true);
        lock.lock();
    }
    m_placed.wait(lock, [&] { return !m_placing.contains(digest); });
    lock.unlock();
    if (waiting)
        waiting(false);
}

void BackupPhotos::list(Listing &listing)
{
    std::call_once(listing.listed, [&listing] {
        Platform::countFolderListing();
        const QFileInfoList files = QDir(fsPath(listing.folder)).entryInfoList(QDir::Files, QDir::Name);
        std::lock_guard<std::mutex> lock(listing.mutex);
        for (const QFileInfo &file : files) {
            // A copy still being made (another desk's) has a temporary name of its own.
            if (!file.fileName().startsWith(QLatin1Char('.'))) {
                listing.bySize[file.size()] << file.fileName();
                listing.names.insert(file.fileName());
            }
        }
    });
}

QString BackupPhotos::nameIn(Listing &listing, QIODevice &bytes)
{
    list(listing);
    const QByteArray digest = photoDigest(bytes);
    if (digest.isEmpty())
        return QString();
    QStringList names;
    {
        std::lock_guard<std::mutex> lock(listing.mutex);
        names = listing.bySize.value(bytes.size());
    }
    return nameAmong(listing, names, bytes, digest);
}

QString BackupPhotos::nameAmong(Listing &listing, const QStringList &names, QIODevice &bytes, const QByteArray &digest)
{
    for (const QString &name : names) {
        QByteArray held;
        {
            std::lock_guard<std::mutex> lock(listing.mutex);
            held = listing.digests.value(name);
        }
        if (held.isEmpty()) {
            // Read once for all the photos of every run sharing the look-up.
            held = digestOfFile(listing.folder + name);
            std::lock_guard<std::mutex> lock(listing.mutex);
            listing.digests.insert(name, held);
        }
        if (held == digest && holds(listing.folder + name, bytes))
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
