#pragma once
// The one place the imports of an order look for what the order holds already.

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class QIODevice;

// The photos as shot an order holds, found by their bytes: in its backup, which keeps every photo as it
// was chosen, and in its "照片/" folder, where an upright photo's main file is a copy of it as chosen and
// a turned one's the upright photo as this program encodes it (a backup that was missing or out of reach
// when it was imported does not hold it). A chosen photo found there was imported into the order before,
// by either import window, on this desk or another.
//
// Each folder is listed once, by the first photo that asks (on its pool thread), into an index by size,
// with a digest of each held file (a hash of its first 16 KiB) taken the first time a photo of its size is
// looked for: a look-up compares the photo's digest with those of the files of its size and reads a held
// file whole only when the digests agree. The folders are not listed again: an import holds its order's claim
// (ImportClaim), so no other program or desk places a photo there while the look-up is in use, and the listing
// with what this program's runs placed since is what the folders hold.
//
// All the runs of one order in this program share one look-up (forOrder): each photo placed is added to it,
// so that a photo of any of them with the same bytes (a file chosen twice, a copy of it on the card, the same
// card in a second window, or in a window closed while its started photos finish) finds it. Photos of one size
// are looked for and named one after another (holdSize); a photo that then goes on to be placed is announced
// (placing) until its main file is in place or its import ended, and a look-up of the same bytes meanwhile
// waits for it (saying so first) and then looks again. Any thread.
class BackupPhotos
{
public:
    // The backup's "照片/" folder and the order's ("" for none). A look-up of its own (forOrder shares one).
    explicit BackupPhotos(const QString &folder, const QString &mainFolder = QString());
    // The look-up the runs of this program share for the order of these folders, while any of them holds it.
    // fresh: a new one (listed anew) for the runs from now on, as for a claim this program took anew: another
    // program or desk may have imported into the order since the one shared so far was listed.
    static std::shared_ptr<const BackupPhotos> forOrder(const QString &folder, const QString &mainFolder,
                                                         bool fresh = false);

    // The name of a file of the backup / of the order's folder holding exactly these bytes ("" for none).
    QString backupNameOf(const QByteArray &bytes) const;
    QString mainNameOf(const QByteArray &bytes) const;
    // The name of a file of the order's folder holding exactly the bytes of the file at path ("" for none).
    QString mainNameOf(const QString &path) const;
    // Whether the order's file of this name holds exactly these bytes.
    bool mainHolds(const QString &name, const QByteArray &bytes) const;
    // The name of a file of the backup holding exactly the bytes of the order's file of this name ("" for
    // none, or when it cannot be read).
    QString backupNameOfMain(const QString &name) const;
    // The names of the files of the order's folder / of the backup as they stand while the order is held:
    // those of its one listing (made now if no photo asked yet) and those placed since. Hidden files and
    // temporaries being written are not among them.
    QStringList mainNames() const;
    QStringList backupNames() const;
    // Whether the order's folder held, when it was listed, a file of a name the backup holds none of (a
    // photo whose backup was never made, or is gone since).
    bool mainsWithoutBackup() const;
    // While the lock is held, no other photo of this size (as chosen), of any run sharing the look-up, is
    // looked for or named.
    std::unique_lock<std::mutex> holdSize(qint64 size) const;
    // The photo of this digest (photoDigest of its bytes as chosen) now is in the backup (inBackup), else
    // among the main files as it was chosen, under name. With no digest (a turned photo's upright main file,
    // a file that cannot be read) the name only joins the folder's names.
    void addPlaced(const QByteArray &digest, const QString &name, bool inBackup) const;

    // A photo of this digest, not found, goes on to be placed: announced until the returned object goes
    // (once its main file and backup are in place and added, or its import ended).
    std::shared_ptr<void> placing(const QByteArray &digest) const;
    // Waits while a photo of this digest is announced as being placed; waiting (when given) is called with
    // true before the wait and with false after it.
    void waitForPlacing(const QByteArray &digest, const std::function<void(bool)> &waiting) const;

private:
    struct Listing
    {
        QString folder; // ends in "/"
        std::once_flag listed;
        std::mutex mutex; // guards the rest once listed
        QHash<qint64, QStringList> bySize; // size -> names, by name
        QSet<QString> names;               // every name listed
        QHash<QString, QByteArray> digests; // name -> digest, once taken
    };
    static void list(Listing &listing);
    static QStringList namesOf(Listing &listing);
    static QString nameIn(Listing &listing, QIODevice &bytes);
    static QString nameAmong(Listing &listing, const QStringList &names, QIODevice &bytes, const QByteArray &digest);
    static bool holds(const QString &path, QIODevice &bytes);

    std::unique_ptr<Listing> m_backup;
    std::unique_ptr<Listing> m_main;
    mutable std::once_flag m_orphansChecked;
    mutable bool m_orphans = false; // mainsWithoutBackup()
    mutable std::mutex m_sizesMutex;
    mutable std::map<qint64, std::unique_ptr<std::mutex>> m_sizes; // a lock per size
    mutable std::mutex m_placingMutex;
    mutable std::condition_variable m_placed;
    mutable QHash<QByteArray, int> m_placing; // digest (with the size) -> photos announced
};

// The digest the look-up keeps of a file's bytes: its size and a hash of its first 16 KiB ("" when they
// cannot be read).
QByteArray photoDigest(QIODevice &bytes);
QByteArray photoDigest(const QByteArray &bytes);
// The same of a file of size bytes whose first photoDigestBytes() are head (as they are written).
QByteArray photoDigest(qint64 size, const QByteArray &head);
qint64 photoDigestBytes();
