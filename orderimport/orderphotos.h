#pragma once
// The one place the imports of an order look for what the order holds already.

#include <QHash>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <mutex>

class QIODevice;

// The photos as shot an order holds, found by their bytes: in its backup, which keeps every photo as it
// was chosen, and in its "照片/" folder, where an upright photo's main file is a copy of it as chosen and
// a turned one's the upright photo as this program encodes it (a backup that was missing or out of reach
// when it was imported does not hold it). A chosen photo found there was imported into the order before,
// by either import window. Each folder is listed once, by the first photo that asks (on its pool thread),
// into an index by size: a look-up reads only the files of the photo's size. The photos of one import
// share the listings, and each photo placed is added to them, so that a photo of the run with the same
// bytes (a file chosen twice, a copy of it on the card) finds it: photos of one size are looked for and
// placed one after another (holdSize). Any thread.
class BackupPhotos
{
public:
    // The backup's "照片/" folder and the order's ("" for none).
    explicit BackupPhotos(const QString &folder, const QString &mainFolder = QString());
    // The name of a file of the backup / of the order's folder holding exactly these bytes ("" for none).
    QString backupNameOf(const QByteArray &bytes) const;
    QString mainNameOf(const QByteArray &bytes) const;
    // The name of a file of the order's folder holding exactly the bytes of the file at path ("" for none).
    QString mainNameOf(const QString &path) const;
    // Whether the order's file of this name holds exactly these bytes.
    bool mainHolds(const QString &name, const QByteArray &bytes) const;
    // Whether the order's folder held, when it was listed, a file of a name the backup holds none of (a
    // photo whose backup was never made, or is gone since).
    bool mainsWithoutBackup() const;
    // While the lock is held, no other photo of the run of this size (as chosen) is looked for or placed.
    std::unique_lock<std::mutex> holdSize(qint64 size) const;
    // The photo of this size (as chosen) now is in the backup (inBackup), else among the main files as it
    // was chosen, under name.
    void addPlaced(qint64 size, const QString &name, bool inBackup) const;

private:
    struct Listing
    {
        QString folder; // ends in "/"
        std::once_flag listed;
        std::mutex mutex; // guards bySize once listed
        QHash<qint64, QStringList> bySize; // size -> names, by name
    };
    static void list(Listing &listing);
    static QString nameIn(Listing &listing, QIODevice &bytes);
    static bool holds(const QString &path, QIODevice &bytes);

    std::unique_ptr<Listing> m_backup;
    std::unique_ptr<Listing> m_main;
    mutable std::once_flag m_orphansChecked;
    mutable bool m_orphans = false; // mainsWithoutBackup()
    mutable std::mutex m_sizesMutex;
    mutable std::map<qint64, std::unique_ptr<std::mutex>> m_sizes; // a lock per size
};
