#include "photoimport.h"

#include "fileoperation.h"
#include "imageoperation.h"
#include "importclaim.h"
#include "logging.h"
#include "orderfolders.h"
#include "platform.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSet>

#include <cerrno>
#include <functional>
#include <limits>
#include <mutex>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace OrderFolders;

namespace {

// Thumbnail boxes, largest first; each smaller one is scaled from the one before.
const int kBox2250 = 2250;
const int kBox1000 = 1000;
const int kBox200 = 200;

QSize fitBox(const QSize &size, int box)
{
    return size.scaled(box, box, Qt::KeepAspectRatio);
}

QImage fitImage(const QImage &image, int box)
{
    return image.scaled(box, box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// The image format a file name's suffix asks for; false (and *why) when no encoder writes it.
bool writableFormat(const QString &name, QByteArray *format, QString *why)
{
    *format = QFileInfo(name).suffix().toLower().toLatin1();
    static const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    if (format->isEmpty() || !writable.contains(*format)) {
        *why = QStringLiteral("不支持的图片格式");
        return false;
    }
    return true;
}

// Writes the image to the target, encoded as the target's suffix says, replacing a file of that name
// only once the new one is complete.
bool saveImage(const QImage &image, const QString &target, int quality, QString *why)
{
    if (Platform::copyShouldFail(target)) {
        *why = QStringLiteral("写入失败");
        return false;
    }
    QByteArray format;
    if (!writableFormat(target, &format, why))
        return false;
    // No sync to disk per file: on a studio share that would be a round trip for every thumbnail.
    QString encoder; // the encoder's own words, for a failure that is not the file system's
    const bool written = Platform::writeIntoPlace(fsPath(target), [&](QIODevice &file) {
        QImageWriter writer(&file, format);
        writer.setQuality(quality);
        if (writer.write(image))
            return true;
        encoder = writer.errorString();
        return false;
    }, why);
    // The file system's error names the reason; the encoder's words only when no system call failed.
    if (!written && errno == 0 && !encoder.isEmpty())
        *why = encoder;
    return written;
}

// Folders of one photo import type, relative to the order folder.
struct PhotoFolders
{
    QString main;
    QString thumb2250;
    QString thumb1000;
    QString thumb200;
};

PhotoFolders photoFolders(ImportTypeEnum type)
{
    // The thumbnail folders as the order folder has them: photos as shot, finished photos, designs.
    const QList<QStringList> groups = thumbnailGroups();
    switch (type) {
    case ImportOriginPhotos:
        return {QStringLiteral("照片/"), groups[0][2], groups[0][0], groups[0][1]};
    case ImportDesigns:
        return {QStringLiteral("设计/"), groups[2][2], groups[2][0], groups[2][1]};
    default:
        return {QStringLiteral("成品/"), groups[1][2], groups[1][0], groups[1][1]};
    }
}

// Names a placing that never replaces tries before it gives up.
const int kMostNames = 10000;

// One copy that never replaces a file (a file of the same bytes there is this photo already), on the order
// folder's local path.
// before (when given) is called just before the copy takes the name.
FileOperation::CopyOutcome copyOnce(const QString &from, const QString &target, QString *why,
                                    const std::function<bool()> &before = {})
{
    return FileOperation::copyNoReplace(fsPath(from), fsPath(target), why, FileOperation::EarlierCopy::SameBytes,
                                        Platform::Durability::Cached, before);
}

// Copies from into folder under the first of the names nameAt(0), nameAt(1), ... that is free or holds
// the same bytes already; never replaces a file. *placed receives the name taken.
// before (when given) is called with the target just before the copy takes its name; false from it leaves
// the name as it is (CopyFailed, errno ECANCELED).
FileOperation::CopyOutcome copyToFreeName(const QString &from, const QString &folder,
                                          const std::function<QString(int)> &nameAt, QString *placed, QString *why,
                                          const std::function<bool(const QString &)> &before = {})
{
    for (int k = 0; k < kMostNames; ++k) {
        const QString name = nameAt(k);
        const QString target = folder + name;
        const FileOperation::CopyOutcome outcome =
            copyOnce(from, target, why, before ? std::function<bool()>([&] { return before(target); })
                                                : std::function<bool()>());
        if (outcome == FileOperation::KeptOther)
            continue;
        *placed = name;
        return outcome;
    }
    *why = QStringLiteral("没有空闲的文件名");
    return FileOperation::CopyFailed;
}

// "x.jpg", then "x(1).jpg", "x(2).jpg", ...: the names a file is kept under beside one of its name.
std::function<QString(int)> besideNames(const QString &name)
{
    return [name](int k) { return k == 0 ? name : FileOperation::numberedName(name, k); };
}

// The upright photos written into this machine's temporary folder are named ".tessaly-photo-<process id>-<random>",
// so that one a program left when it was cut off can be told from one a program is writing; earlier versions
// named no process (".tessaly-photo-<random>").
const QString kUprightPhoto = QStringLiteral("tessaly-photo");

// A file of this machine's temporary folder, removed with the object.
struct TemporaryFile
{
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    ~TemporaryFile()
    {
        if (!path.isEmpty())
            QFile::remove(path);
    }
    QString path; // "" until the file is made
};

// The upright photo encoded as the name's suffix says (quality 100) into a temporary file of this
// machine, from which it is placed.
bool encodeToTemporary(const QImage &image, const QString &name, TemporaryFile *file, QString *why)
{
    QByteArray format;
    if (!writableFormat(name, &format, why))
        return false;
    // Made new and written through the one descriptor that made it, which keeps the error of the system
    // call that fails (a full disk is named as such). A file emptied and written again would go to the disk
    // when it is closed, although it is removed a moment later.
    Platform::SystemFile out;
    QString path;
    bool written = out.openNewIn(QDir::tempPath(),
                                 kUprightPhoto + QLatin1Char('-') + QString::number(QCoreApplication::applicationPid()),
                                 &path);
    if (written) {
        file->path = path;
        // Private while it is written, as the photo may be.
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QImageWriter writer(&out, format);
        writer.setQuality(100);
        written = writer.write(image);
        if (!written && out.error() == 0)
            *why = writer.errorString();
        written = out.closeChecked() && written;
    }
    if (!written && out.error() != 0)
        *why = QStringLiteral("临时文件无法写入：") + errorText(out.error());
    return written;
}

// The upright photo encoded as the name's suffix says (quality 100), in memory.
bool encodeToBytes(const QImage &image, const QString &name, QByteArray *bytes, QString *why)
{
    QByteArray format;
    if (!writableFormat(name, &format, why))
        return false;
    QBuffer buffer(bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(100);
    if (writer.write(image))
        return true;
    *why = writer.errorString();
    return false;
}

QString inBrackets(const QString &why)
{
    return why.isEmpty() ? QString() : QStringLiteral("（") + why + QStringLiteral("）");
}

// Copies from to target, replacing a file of that name. added (when given): whether the copy took a name that
// was free, which only one of two copies of one name at once does (the other finds it there, or replaces it),
// and is the folder's new file; then the name is tried first without replacing. *why gets the reason of a
// failure in brackets. taking is called just before the copy takes a free name, replacing just before it
// replaces a file: false from either leaves the name as it is (a failure).
bool placeReplacing(const QString &from, const QString &target, bool *added, QString *why,
                    const std::function<bool()> &taking, const std::function<bool()> &replacing)
{
    if (added) {
        *added = false;
        QString copyWhy;
        switch (copyOnce(from, target, &copyWhy, taking)) {
        case FileOperation::Copied:
            *added = true;
            return true;
        case FileOperation::AlreadyThere:
            return true;
        case FileOperation::KeptOther:
            break;
        default:
            *why = copyReason(copyWhy, target);
            return false;
        }
    }
    QString copyWhy;
    if (FileOperation::copyFile(from, target, true, &copyWhy, replacing))
        return true;
    *why = inBrackets(copyWhy);
    return false;
}

// The bytes written into target, never over a file, as copyOnce copies: Copied where the name was free,
// AlreadyThere where it holds these bytes, KeptOther where it holds other bytes (nothing written), CopyFailed
// with *why in the user's words. before (when given) is called just before the file takes the name: false
// from it leaves the name as it is (CopyFailed, errno ECANCELED).
FileOperation::CopyOutcome writeOnce(const QByteArray &bytes, const QString &target, QString *why,
                                     const std::function<bool()> &before)
{
    const QString path = fsPath(target);
    const auto lookAtTarget = [&] {
        QFile there(path);
        const bool same = Platform::isRegularFile(path) && there.size() == bytes.size()
                          && there.open(QIODevice::ReadOnly) && there.readAll() == bytes;
        return same ? FileOperation::AlreadyThere : FileOperation::KeptOther;
    };
    if (Platform::copyShouldFail(target)) {
        *why = QStringLiteral("写入失败");
        return FileOperation::CopyFailed;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            return lookAtTarget();
        Platform::delayWrite(path);
        errno = 0;
        if (Platform::writeIntoPlace(path, [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); },
                                     why, nullptr, before, Platform::Placing::OnlyIfFree))
            return FileOperation::Copied;
        if (errno != EEXIST) // a name taken meanwhile is looked at as one taken before
            return FileOperation::CopyFailed;
    }
    return lookAtTarget();
}

// The bytes written into target, replacing a file of that name; stillWanted as for writeOnce's before.
bool writeReplacing(const QByteArray &bytes, const QString &target, QString *why,
                    const std::function<bool()> &stillWanted)
{
    if (Platform::copyShouldFail(target)) {
        *why = QStringLiteral("写入失败");
        return false;
    }
    return Platform::writeIntoPlace(fsPath(target),
                                    [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); }, why,
                                    nullptr, stillWanted);
}

// What passes through to a file, forwarded, with its size and first bytes kept (for photoDigest).
class HeadKeeper : public QIODevice
{
public:
    explicit HeadKeeper(QIODevice &out) : m_out(out) { open(QIODevice::WriteOnly); }
    qint64 written() const { return m_written; }
    const QByteArray &head() const { return m_head; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 done = m_out.write(data, size);
        if (done > 0) {
            m_head.append(data, int(qMin(done, qMax<qint64>(0, photoDigestBytes() - m_head.size()))));
            m_written += done;
        }
        return done;
    }

private:
    QIODevice &m_out;
    QByteArray m_head;
    qint64 m_written = 0;
};

// The image encoded (quality 100) as the target's suffix says straight into a file beside target, which takes
// the name only where it is free, never over a file: true once it has. False with *taken where the name was
// taken before or while the file was written (nothing of it is left; what holds the name is the caller's to
// look at), else with *why in the user's words. before (when given) is called with the photoDigest and size of
// the file just before it takes the name: false from it leaves the name as it is (errno ECANCELED).
bool encodeOnce(const QImage &image, const QString &target, QString *why, bool *taken,
                const std::function<bool(const QByteArray &, qint64)> &before)
{
    *taken = false;
    if (Platform::copyShouldFail(target)) {
        *why = QStringLiteral("写入失败");
        return false;
    }
    QByteArray format;
    if (!writableFormat(target, &format, why))
        return false;
    const QString path = fsPath(target);
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        *taken = true;
        return false;
    }
    Platform::delayWrite(path);
    QString encoder; // the encoder's own words, for a failure that is not the file system's
    qint64 size = 0;
    QByteArray head;
    errno = 0;
    const bool written = Platform::writeIntoPlace(
        path,
        [&](QIODevice &file) {
            HeadKeeper kept(file);
            QImageWriter writer(&kept, format);
            writer.setQuality(100);
            if (!writer.write(image)) {
                encoder = writer.errorString();
                return false;
            }
            size = kept.written();
            head = kept.head();
            return true;
        },
        why, nullptr,
        before ? std::function<bool()>([&] { return before(photoDigest(size, head), size); }) : std::function<bool()>(),
        Platform::Placing::OnlyIfFree);
    if (written)
        return true;
    if (errno == EEXIST) { // a name taken meanwhile is looked at as one taken before
        *taken = true;
        return false;
    }
    // The file system's error names the reason; the encoder's words only when no system call failed.
    if (errno == 0 && !encoder.isEmpty())
        *why = encoder;
    return false;
}

// Puts the main files of one photo (and, numbered, its backup) in place as its task says, and keeps the
// name they got and whether they are new.
class MainFiles
{
public:
    MainFiles(const PhotoTask &task, const PhotoFolders &folders, const std::function<void(const QString &)> &fail)
        : m_task(task), m_mainFolder(task.orderPath + folders.main), m_firstName(task.targetName), m_fail(fail)
    {
        m_targets << m_mainFolder;
        if (task.alsoFinished)
            m_targets << task.orderPath + QStringLiteral("成品/");
    }

    // The name the main files take (placed by name) or are tried under first (numbered).
    QString firstName() const { return m_firstName; }
    // Whether the run's claim was found lost (stillHeld): the photo was not imported, or not whole.
    bool claimLost() const { return m_claimLost; }

    // Whether the run still holds the order's claim, looked at now (see stillHeld).
    bool claimStillHeld() { return stillHeld(); }

    // The backup keeps the photo as chosen and never replaces a file: a name holding other bytes (a
    // retouched photo imported again) keeps them, the photo goes beside it as "(n)".
    void placeBackup()
    {
        // A backup that holds the photo (under another name) gets no second copy of it.
        if (m_outcome.importedBefore || !m_backupName.isEmpty()) {
            m_announced.reset();
            return;
        }
        QString why;
        QString placed;
        const auto outcome = copyToFreeName(m_task.filePath, backupFolder(), besideNames(m_firstName), &placed, &why,
                                            landing(true, m_task.filePath));
        if (outcome == FileOperation::CopyFailed)
            failure(backupFailure(inBrackets(why)));
        else
            addToLookUp(placed, true);
        m_outcome.backupAdded = outcome == FileOperation::Copied;
        recordLanded();
        m_announced.reset();
    }

    // The main files as the file from holds them (the photo as it is), the main folder's first. False when
    // the main file is not in place (or a numbered photo got no name): nothing more may be made of the
    // photo, not even its copy in the other main folders.
    bool placeFile(const QString &from)
    {
        if (m_outcome.importedBefore)
            return true;
        if (m_task.placing == MainPlacing::Numbered)
            return placeNumbered(from);
        if (m_besideOthers)
            return placeBeside(from);
        for (int i = 0; i < m_targets.size(); ++i) {
            const QString target = m_targets.at(i) + m_firstName;
            bool added = false;
            QString why; // in brackets
            if (!placeReplacing(from, target, i == 0 ? &added : nullptr, &why,
                                i == 0 ? landingAt(false, target, from) : held(), held())) {
                failure(QStringLiteral("复制失败 ") + target + why);
                if (i == 0)
                    return false; // the other main folders take only a photo the order holds
            } else if (i == 0) {
                m_outcome.placedName = m_firstName;
                m_outcome.mainAdded = added;
                recordLanded();
                if (from == m_task.filePath)
                    addToLookUp(m_firstName, false);
            }
        }
        return mainFileInPlace();
    }

    // The main files from the upright image (quality 100); false as placeFile. By name, the main file takes
    // its name where it is free (and only then counts as new), or finds it holding these bytes, or replaces
    // the other file there; two runs writing the photo at the same moment never both count it.
    bool placeImage(const QImage &image)
    {
        if (m_outcome.importedBefore)
            return true;
        if (m_task.placing == MainPlacing::Numbered || m_besideOthers) {
            TemporaryFile encoded;
            QString why;
            if (!encodeToTemporary(image, m_firstName, &encoded, &why)) {
                failure(QStringLiteral("保存失败 ") + m_mainFolder + m_firstName + inBrackets(why));
                return false;
            }
            // A turned photo as shot whose upright main file the order holds was imported before.
            if (m_task.type == ImportOriginPhotos && m_task.backupPhotos) {
                const QString name = m_task.backupPhotos->mainNameOf(encoded.path);
                if (!name.isEmpty()) {
                    takeAsImported(name);
                    return true;
                }
            }
            // The copy takes the permissions of the file it is placed from: those of the chosen photo, as an
            // upright photo's copy has them, not the temporary file's owner-only ones.
            QFile::setPermissions(encoded.path, QFile::permissions(fsPath(m_task.filePath)));
            return m_besideOthers ? placeBeside(encoded.path) : placeNumbered(encoded.path);
        }
        // A photo as shot looked up is encoded first, so that the order's main files are looked in for its
        // upright photo before it is written; so is one with more than one main folder, which all get the one
        // encoding. Otherwise its main file is encoded straight into the file that takes the name, and the
        // bytes are encoded into memory only where the name turns out to be taken (to be looked at).
        QByteArray encoded;
        QString why;
        const auto encode = [&] {
            if (encodeToBytes(image, m_firstName, &encoded, &why))
                return true;
            failure(QStringLiteral("保存失败 ") + m_mainFolder + m_firstName + inBrackets(why));
            return false;
        };
        const bool lookedUp = m_task.type == ImportOriginPhotos && m_task.backupPhotos;
        if ((lookedUp || m_targets.size() > 1) && !encode())
            return false;
        if (lookedUp) {
            const QString name = m_task.backupPhotos->mainNameOf(encoded);
            if (!name.isEmpty()) {
                takeAsImported(name);
                return true;
            }
        }
        for (int i = 0; i < m_targets.size(); ++i) {
            const QString target = m_targets.at(i) + m_firstName;
            bool added = false;
            bool placed = false;
            if (i == 0) {
                bool taken = true; // whether the name is tried with the bytes in memory
                if (encoded.isEmpty()) {
                    added = placed = encodeOnce(image, target, &why, &taken,
                                                [this, &target](const QByteArray &digest, qint64 size) {
                                                    return landingWritten(target, digest, size);
                                                });
                    if (taken && !encode())
                        return false;
                }
                if (taken) {
                    const auto outcome = writeOnce(encoded, target, &why, [this, &target, &encoded] {
                        return landingWritten(target, m_task.runRecord ? photoDigest(encoded) : QByteArray(),
                                              encoded.size());
                    });
                    added = outcome == FileOperation::Copied;
                    placed = outcome == FileOperation::Copied || outcome == FileOperation::AlreadyThere
                             || (outcome == FileOperation::KeptOther && writeReplacing(encoded, target, &why, held()));
                }
            } else {
                placed = writeReplacing(encoded, target, &why, held());
            }
            if (!placed) {
                failure(QStringLiteral("保存失败 ") + target + inBrackets(why));
                if (i == 0)
                    return false; // as placeFile
            } else if (i == 0) {
                m_outcome.placedName = m_firstName;
                m_outcome.mainAdded = added;
                recordLanded();
            }
        }
        return mainFileInPlace();
    }

    // A file that cannot be read as a photo, as it is. It never replaces a photo that can be read: that
    // one stays with its reduced copies, and the file is kept beside it as "(n)".
    void placeUnreadable()
    {
        if (m_outcome.importedBefore)
            return;
        if (m_task.placing == MainPlacing::Numbered) {
            placeNumbered(m_task.filePath);
            return;
        }
        if (m_besideOthers) {
            placeBeside(m_task.filePath);
            return;
        }
        for (int i = 0; i < m_targets.size(); ++i) {
            const QString target = m_targets.at(i) + m_firstName;
            const bool existed = QFileInfo::exists(fsPath(target));
            QString placed = m_firstName;
            bool added = false;
            bool ok = true;
            QString why; // in brackets
            if (existed && ImageOperation::isReadablePicture(fsPath(target))) {
                QString copyWhy;
                const auto outcome = copyToFreeName(m_task.filePath, m_targets.at(i), besideNames(m_firstName),
                                                    &placed, &copyWhy,
                                                    i == 0 ? landing(false, m_task.filePath) : heldAt());
                ok = outcome != FileOperation::CopyFailed;
                added = outcome == FileOperation::Copied;
                why = copyReason(copyWhy, m_targets.at(i) + placed);
            } else {
                ok = placeReplacing(m_task.filePath, target, &added, &why,
                                    i == 0 ? landingAt(false, target, m_task.filePath) : held(), held());
            }
            if (!ok) {
                failure(QStringLiteral("复制失败 ") + target + why);
                if (i == 0)
                    return; // as placeFile
            } else if (i == 0) {
                m_outcome.placedName = placed;
                m_outcome.mainAdded = added;
                recordLanded();
                addToLookUp(placed, false);
            }
        }
        mainFileInPlace();
    }

    // Photos as shot looked up (PhotoTask::backupPhotos): whether the order holds the photo already, from
    // an earlier import of either window. Found among its main files by its bytes, or (turned, so that its
    // main file is the upright photo) in the backup with a main file of that name beside, it keeps the name
    // it has there and its main files are not written again (the place* calls leave them); a backup that
    // lacks it gets it under that name. Found only in the backup, it was deleted from the order since: it
    // goes back under the backup's name (numbered: when that is still free), and its backup stays as it is.
    bool importedBefore(const QByteArray &bytes, bool turned)
    {
        if (m_task.type != ImportOriginPhotos || !m_task.backupPhotos)
            return false;
        if (m_digest.isEmpty())
            m_digest = photoDigest(bytes);
        // A photo of these bytes another run (or this one) is placing now is waited for, then looked for.
        m_task.backupPhotos->waitForPlacing(m_digest, m_task.waitingForOther);
        m_backupName = m_task.backupPhotos->backupNameOf(bytes);
        const bool mainThere = !m_backupName.isEmpty() && QFileInfo(fsPath(m_mainFolder + m_backupName)).isFile();
        // A turned photo's main file is the upright photo, taken as this one by its name while it is not
        // another photo (the bytes of another file of the backup: a photo of the same name that replaced it).
        QString name;
        if (mainThere && (turned ? !holdsAnotherBackup(m_backupName) : m_task.backupPhotos->mainHolds(m_backupName, bytes)))
            name = m_backupName;
        else
            name = m_task.backupPhotos->mainNameOf(bytes);
        if (!name.isEmpty()) {
            takeAsImported(name);
            return true;
        }
        // Deleted from the order since, it goes back under its backup's name; where that name holds another
        // photo, the photo goes beside it and never over it (numbered: on to a free number).
        m_besideOthers = mainThere && m_task.placing != MainPlacing::Numbered;
        if (!m_backupName.isEmpty() && !mainThere)
            m_firstName = m_backupName;
        return false;
    }

    // A turned photo the backup lacks, looked for among the main files by its upright bytes (its backup
    // was never made, or is gone since): found, it is taken as imported before.
    bool importedBeforeUpright(const QImage &upright)
    {
        QByteArray encoded;
        QString why;
        if (upright.isNull() || !encodeToBytes(upright, m_firstName, &encoded, &why))
            return false;
        const QString name = m_task.backupPhotos->mainNameOf(encoded);
        if (name.isEmpty())
            return false;
        takeAsImported(name);
        return true;
    }

    // Looked up and not found: until its main file and backup are in place (or its import ended), a look-up of
    // its bytes waits for it.
    void announcePlacing()
    {
        if (m_task.backupPhotos && !m_digest.isEmpty() && !m_outcome.importedBefore)
            m_announced = m_task.backupPhotos->placing(m_digest);
    }

    // The name the order knows the photo by: the one it was found under, else its backup's ("" for a photo
    // new to the order).
    QString knownName() const { return m_outcome.importedBefore ? m_outcome.placedName : m_backupName; }

    // A numbered photo is tried under name first, the name the numbering gave it ("" keeps the target name).
    void giveName(const QString &name)
    {
        if (name.isEmpty())
            return;
        m_firstName = name;
        m_outcome.givenName = name;
    }

    // The reduced copies of a photo imported before are all there: an import that ended before it made
    // them (stopped, a full disk, the program ended) has them made by the next.
    bool reducedCopiesThere(const PhotoFolders &folders) const
    {
        for (const QString &folder : {folders.thumb2250, folders.thumb1000, folders.thumb200}) {
            if (!QFileInfo(fsPath(m_task.orderPath + folder + m_outcome.placedName)).isFile())
                return false;
        }
        return true;
    }

    // The name the reduced copies take.
    QString thumbnailName() const
    {
        return m_outcome.placedName.isEmpty() ? m_firstName : m_outcome.placedName;
    }
    const PhotoOutcome &outcome() const { return m_outcome; }

private:
    QString backupFolder() const { return m_task.orderBakPath + QStringLiteral("照片/"); }

    // A failure of one of the photo's files; none once the claim is found lost (the photo is named for that).
    void failure(const QString &what)
    {
        if (!m_claimLost)
            m_fail(what);
    }

    // The photo is in the order under name already, however it was found: its main files stay, the other
    // main folders get the copies they lack, and then a backup that lacks it gets it under that name, or
    // beside it when the name holds other bytes (the photo changed since on the card, only in its metadata
    // as a viewer writes a rating: its pixels, and so its main file, are the same).
    void takeAsImported(const QString &name)
    {
        m_outcome.placedName = name;
        m_outcome.importedBefore = true;
        m_announced.reset();
        completeImported();
        if (!m_backupName.isEmpty())
            return;
        QString why;
        QString placed;
        const auto backup = copyToFreeName(m_task.filePath, backupFolder(), besideNames(name), &placed, &why,
                                           landing(true, m_task.filePath));
        if (backup == FileOperation::CopyFailed)
            failure(backupFailure(copyReason(why, backupFolder() + placed)));
        m_outcome.backupAdded = backup == FileOperation::Copied;
        recordLanded();
        if (backup != FileOperation::CopyFailed) {
            addToLookUp(placed, true);
            m_backupName = placed;
        }
    }

    // A photo imported before gets the copies in the other main folders ("成品/") that the order lacks (a
    // copy refused or cut off by an earlier import), from its main file; a copy there is never replaced.
    void completeImported()
    {
        const QString placed = m_outcome.placedName;
        for (int i = 1; i < m_targets.size() && !placed.isEmpty(); ++i) {
            const QString target = m_targets.at(i) + placed;
            if (QFileInfo::exists(fsPath(target)))
                continue;
            QString why;
            if (copyOnce(m_mainFolder + placed, target, &why, held()) == FileOperation::CopyFailed)
                failure(QStringLiteral("复制失败 ") + target + copyReason(why, target));
        }
    }

    // The failure line of a backup copy, why in brackets: a folder the import could not make is named with
    // the reason it was not made.
    QString backupFailure(const QString &why) const
    {
        if (!m_task.backupFolderProblem.isEmpty() && !FileOperation::dirExists(fsPath(backupFolder())))
            return QStringLiteral("备份复制失败") + inBrackets(m_task.backupFolderProblem);
        return QStringLiteral("备份复制失败") + why;
    }

    // The run's record counts the photo's new main file and new backup as they are now (placed, or gone
    // again), each the moment it changes: right after a file is in place, right before it goes. Each new
    // file was noted there before it took its name (noteLanding), so a run cut off in between leaves it
    // counted all the same.
    void recordLanded()
    {
        // A new main file is among the order's names the look-up holds, whether it is found by its bytes or not.
        if (m_task.backupPhotos && m_outcome.mainAdded && !m_outcome.placedName.isEmpty())
            m_task.backupPhotos->addPlaced(QByteArray(), m_outcome.placedName, false);
        if (!m_task.runRecord)
            return;
        const int files = int(m_outcome.mainAdded) - int(m_recordedMain);
        const int backups = int(m_outcome.backupAdded) - int(m_recordedBackup);
        if (files != 0)
            m_task.runRecord->count(files, 0, m_mainMark);
        if (backups != 0)
            m_task.runRecord->count(0, backups, m_backupMark);
        m_recordedMain = m_outcome.mainAdded;
        m_recordedBackup = m_outcome.backupAdded;
    }

    // Notes a new main file or backup of the photo in the run's record before it takes the name of target:
    // the bytes of the file from.
    void noteLanding(bool backup, const QString &target, const QString &from)
    {
        if (!m_task.runRecord)
            return;
        QFile file(fsPath(from));
        if (file.open(QIODevice::ReadOnly))
            noteBytes(backup, target, photoDigest(file), file.size());
    }
    void noteBytes(bool backup, const QString &target, const QByteArray &digest, qint64 size)
    {
        const QFileInfo info(target);
        (backup ? m_backupMark : m_mainMark) =
            m_task.runRecord->note(backup, info.path() + QLatin1Char('/'), info.fileName(), size, digest);
    }
    // The same for a new main file written whole, just before it takes the name of target: the claim is looked
    // at, then the file (its photoDigest and size) noted; false where the claim is lost.
    bool landingWritten(const QString &target, const QByteArray &digest, qint64 size)
    {
        if (!stillHeld())
            return false;
        if (m_task.runRecord)
            noteBytes(false, target, digest, size);
        return true;
    }
    // Whether the run still holds the order's claim (PhotoTask::claimHeld), looked at now: every file of the
    // photo takes its name only while it does. Once it is found lost, no file of the photo is placed any more,
    // and the photo is named for it alone (claimLost), not with the failures of its files.
    bool stillHeld()
    {
        if (!m_claimLost && m_task.claimHeld && !m_task.claimHeld())
            m_claimLost = true;
        return !m_claimLost;
    }
    // The look as a copy's or write's still-wanted call, just before it takes a name.
    std::function<bool()> held()
    {
        return [this] { return stillHeld(); };
    }
    std::function<bool(const QString &)> heldAt()
    {
        return [this](const QString &) { return stillHeld(); };
    }
    // The same for a new main file or backup of the photo (a copy of from) taking the name of target: the
    // claim is looked at, then the file is noted in the run's record (noteLanding), then it takes its name.
    // (A note of a file that did not land, the run cut off in between, counts nothing: the record's
    // fold-in looks at the bytes.)
    std::function<bool()> landingAt(bool backup, const QString &target, const QString &from)
    {
        return [this, backup, target, from] {
            if (!stillHeld())
                return false;
            noteLanding(backup, target, from);
            return true;
        };
    }
    std::function<bool(const QString &)> landing(bool backup, const QString &from)
    {
        return [this, backup, from](const QString &target) {
            if (!stillHeld())
                return false;
            noteLanding(backup, target, from);
            return true;
        };
    }

    // The run's photos with the same bytes find the photo from now on, in the backup or among the main files.
    void addToLookUp(const QString &name, bool inBackup)
    {
        if (m_task.backupPhotos && !name.isEmpty())
            m_task.backupPhotos->addPlaced(m_digest, name, inBackup);
    }

    // After the main files of a photo placed by its name: whether its main file is in place. Only then is
    // its backup made (a photo as shot): the backup holds no photo that the order lacks.
    bool mainFileInPlace()
    {
        if (m_outcome.placedName.isEmpty())
            return false;
        if (m_task.type == ImportOriginPhotos)
            placeBackup();
        return true;
    }

    // Whether the order's main file of this name holds the bytes of a backup file of another name.
    bool holdsAnotherBackup(const QString &name) const
    {
        const QString other = m_task.backupPhotos->backupNameOfMain(name);
        return !other.isEmpty() && other.compare(name, Platform::pathCase()) != 0;
    }

    // Placed by name, but never over a file: the main file goes under the first name from the target name
    // on ("x.jpg", "x(1).jpg", ...) that is free or holds these bytes; the other main folders take that name.
    bool placeBeside(const QString &from)
    {
        QString why;
        QString placed;
        const auto outcome = copyToFreeName(from, m_mainFolder, besideNames(m_firstName), &placed, &why,
                                            landing(false, from));
        if (outcome == FileOperation::CopyFailed) {
            failure(QStringLiteral("复制失败 ") + m_mainFolder + placed + copyReason(why, m_mainFolder + placed));
            return false;
        }
        m_outcome.placedName = placed;
        m_outcome.mainAdded = outcome == FileOperation::Copied;
        recordLanded();
        if (from == m_task.filePath)
            addToLookUp(placed, false);
        copyToOtherFolders(from);
        return mainFileInPlace();
    }

    // Numbered: the main file goes under the first number from the target name on that is free (or holds
    // these bytes already); a photo as shot takes the same number in the backup, and a number taken there
    // by other bytes moves both on.
    bool placeNumbered(const QString &from)
    {
        QString name = m_firstName;
        for (int k = 0; k < kMostNames; ++k, name = nextNumberedName(name)) {
            const QString main = m_mainFolder + name;
            QString why;
            const auto outcome = copyOnce(from, main, &why, landingAt(false, main, from));
            if (outcome == FileOperation::KeptOther)
                continue;
            if (outcome == FileOperation::CopyFailed) {
                failure(QStringLiteral("复制失败 ") + main + copyReason(why, main));
                return false;
            }
            m_outcome.mainAdded = outcome == FileOperation::Copied;
            recordLanded();
            bool backedUp = false;
            // A backup that holds the photo under another name gets no second copy of it.
            if (m_task.type == ImportOriginPhotos && m_backupName.isEmpty()) {
                const auto backup = copyOnce(m_task.filePath, backupFolder() + name, &why,
                                             landingAt(true, backupFolder() + name, m_task.filePath));
                // The number is not free after all: the main file just placed goes (no longer counted from
                // before it goes), the photo moves on.
                if (backup == FileOperation::KeptOther && outcome == FileOperation::Copied) {
                    m_outcome.mainAdded = false;
                    recordLanded();
                    if (FileOperation::deleteFile(fsPath(main)))
                        continue;
                }
                if (backup == FileOperation::KeptOther || backup == FileOperation::CopyFailed)
                    failure(backupFailure(inBrackets(why)));
                m_outcome.backupAdded = backup == FileOperation::Copied;
                backedUp = backup != FileOperation::KeptOther && backup != FileOperation::CopyFailed;
            }
            if (backedUp)
                addToLookUp(name, true);
            if (from == m_task.filePath)
                addToLookUp(name, false);
            m_announced.reset();
            m_outcome.placedName = name;
            m_outcome.mainAdded = outcome == FileOperation::Copied;
            recordLanded();
            copyToOtherFolders(from);
            return true;
        }
        failure(QStringLiteral("复制失败 ") + m_mainFolder + m_firstName + QStringLiteral("（没有空闲的编号）"));
        return false;
    }

    // The other main folders ("成品/") take the numbered photo's name, replacing.
    void copyToOtherFolders(const QString &from)
    {
        for (int i = 1; i < m_targets.size(); ++i) {
            const QString target = m_targets.at(i) + m_outcome.placedName;
            QString why;
            if (!FileOperation::copyFile(from, target, true, &why, held()))
                failure(QStringLiteral("复制失败 ") + target + inBrackets(why));
        }
    }

    const PhotoTask &m_task;
    const QString m_mainFolder;
    QString m_firstName; // placed by name: the name; numbered: the name tried first
    QString m_backupName; // looked up: the backup's name of the photo ("" while it holds none)
    bool m_besideOthers = false; // placed by name, but never over a file (its backup's name holds another photo)
    QByteArray m_digest; // looked up: of the photo as chosen
    std::shared_ptr<void> m_announced; // while the photo, not found, is being placed
    QStringList m_targets; // the main folder first
    std::function<void(const QString &)> m_fail;
    bool m_claimLost = false; // the run's claim was found lost: nothing more of the photo is placed
    PhotoOutcome m_outcome;
    bool m_recordedMain = false;   // what the run's record counts of the photo
    bool m_recordedBackup = false;
    int m_mainMark = -1;   // the notes of the new main file and backup in the run's record (-1: none)
    int m_backupMark = -1;
};

// Holds part of the order's pixel budget while a photo is decoded and written.
class BudgetHold
{
public:
    explicit BudgetHold(QSemaphore *budget) : m_budget(budget) {}
    ~BudgetHold()
    {
        if (m_budget && m_units)
            m_budget->release(m_units);
    }
    // Waits until the bytes fit into the budget; a photo larger than all of it waits for all of it.
    void acquire(qint64 bytes)
    {
        if (!m_budget || m_units)
            return;
        const qint64 mib = (bytes >> 20) + 1;
        m_units = int(qBound<qint64>(1, mib, kPhotoPixelBudgetMiB));
        m_budget->acquire(m_units);
    }
    BudgetHold(const BudgetHold &) = delete;
    BudgetHold &operator=(const BudgetHold &) = delete;

private:
    QSemaphore *m_budget;
    int m_units = 0;
};

// How much the JPEG decoder reduces a photo when asked for the given smaller size (1, 2, 4 or 8).
int reducedDecodeFactor(const QSize &full, const QSize &wanted)
{
    const int ratio = qMin(full.width() / qMax(1, wanted.width()), full.height() / qMax(1, wanted.height()));
    return ratio >= 8 ? 8 : ratio >= 4 ? 4 : ratio >= 2 ? 2 : 1;
}

// The photo as ImageOperation::rotateImage shows it for its orientation (turned and mirrored as the
// value says), as 8-bit RGB. Works tile by tile so both images stay in cache.
QImage turnedRgb888(const QImage &src, int orientation)
{
    const int w = src.width();
    const int h = src.height();
    const bool quarter = orientation >= 5 && orientation <= 8;
    QImage dst(quarter ? h : w, quarter ? w : h, QImage::Format_RGB888);
    if (dst.isNull())
        return dst;
    uchar *const out = dst.bits();
    const qsizetype outLine = dst.bytesPerLine();
    const int tile = 64;
    for (int ty = 0; ty < h; ty += tile) {
        const int yEnd = qMin(h, ty + tile);
        for (int tx = 0; tx < w; tx += tile) {
            const int xEnd = qMin(w, tx + tile);
            for (int y = ty; y < yEnd; ++y) {
                const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
                for (int x = tx; x < xEnd; ++x) {
                    int dx = x;
                    int dy = y;
                    switch (orientation) {
                    case 2:
                        dx = w - 1 - x;
                        break;
                    case 4:
                        dy = h - 1 - y;
                        break;
                    case 5:
                        dx = y;
                        dy = x;
                        break;
                    case 7:
                        dx = h - 1 - y;
                        dy = w - 1 - x;
                        break;
                    case 6:
                        dx = h - 1 - y;
                        dy = x;
                        break;
                    case 8:
                        dx = y;
                        dy = w - 1 - x;
                        break;
                    case 3:
                        dx = w - 1 - x;
                        dy = h - 1 - y;
                        break;
                    default:
                        break;
                    }
                    uchar *p = out + dy * outLine + dx * 3;
                    const QRgb v = line[x];
                    p[0] = uchar(qRed(v));
                    p[1] = uchar(qGreen(v));
                    p[2] = uchar(qBlue(v));
                }
            }
        }
    }
    return dst;
}

// The photo decoded in full, upright, as its main file is encoded from.
QImage turnedUpright(const QImage &full, int orientation)
{
    return full.format() == QImage::Format_RGB32 ? turnedRgb888(full, orientation)
                                                 : ImageOperation::rotateImage(full, orientation);
}

// The upright photo of a turned photo's bytes (null when they cannot be decoded), within the budget.
QImage decodedUpright(const QByteArray &bytes, int orientation, BudgetHold *hold)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    const bool compact = reader.imageFormat() == QImage::Format_RGB32;
    hold->acquire((size.isValid() ? qint64(size.width()) * size.height() : qint64(6000) * 4000) * (compact ? 7 : 8));
    const QImage full = reader.read();
    return full.isNull() ? QImage() : turnedUpright(full, orientation);
}

} // namespace

PhotoNumbering::PhotoNumbering(const QStringList &names) : m_names(names), m_passed(size_t(names.size()), false) {}

void PhotoNumbering::waitTurn(int index)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_turn.wait(lock, [&] { return m_next >= index || size_t(index) >= m_passed.size(); });
}

QString PhotoNumbering::takeName()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_names.isEmpty() ? QString() : m_names.takeFirst();
}

void PhotoNumbering::pass(int index, const QString &name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 0 || size_t(index) >= m_passed.size() || m_passed[size_t(index)])
        return;
    m_passed[size_t(index)] = true;
    if (!name.isEmpty())
        m_names.removeOne(name);
    while (size_t(m_next) < m_passed.size() && m_passed[size_t(m_next)])
        ++m_next;
    m_turn.notify_all();
}

QString copyReason(const QString &why, const QString &target)
{
    const QString reason = why.section(fsPath(target), 1);
    return reason.isEmpty() ? inBrackets(why) : reason;
}

QString unreadablePhotosText(const QStringList &names)
{
    return names.isEmpty() ? QString() : QStringLiteral("无法读取的照片：") + names.join(QStringLiteral("、"));
}

QString claimLostText()
{
    return QStringLiteral("导片期间该订单被其它程序接手导入，未导入");
}

QString importedBeforeText(int count)
{
    return count > 0 ? QStringLiteral("已在订单中的照片：%1张（未重复导入）").arg(count) : QString();
}

QString importOneVideo(ImportTypeEnum type, const QString &orderPath, const QString &filePath,
                       const QString &targetName, bool *added, const std::function<bool()> &claimHeld)
{
    if (added)
        *added = false;
    const ImportClaim::Working working(orderPath);
    const QString name = shortName(filePath);
    QString why;
    if (!isSingleName(targetName, &why))
        return name + QStringLiteral("：目标文件") + why + QStringLiteral("，未导入");
    const QString folder = type == ImportTrialVideos ? QStringLiteral("试拍视频/") : QStringLiteral("精修视频/");
    const QString target = orderPath + folder + targetName;
    qCDebug(lcImport) << "toDir=" << target;
    bool lost = false;
    const auto held = [&] {
        lost = claimHeld && !claimHeld();
        return !lost;
    };
    switch (copyOnce(filePath, target, &why, held)) {
    case FileOperation::Copied:
        if (added)
            *added = true;
        return QString();
    case FileOperation::AlreadyThere:
        return QString();
    case FileOperation::KeptOther:
        return name + QStringLiteral("：目标已有同名的不同文件，未覆盖");
    default:
        if (lost)
            return name + QStringLiteral("：") + claimLostText();
        return name + QStringLiteral("：复制失败 ") + target + copyReason(why, target);
    }
}

QString nextNumberedName(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString suffix = dot > 0 ? name.mid(dot) : QString();
    static const QRegularExpression bracketed(QStringLiteral("^(.*)\\((\\d+)\\)$"));
    static const QRegularExpression running(QStringLiteral("^(.*\\D)?(\\d+)$"));
    QRegularExpressionMatch m = bracketed.match(base);
    if (m.hasMatch())
        return m.captured(1) + QLatin1Char('(') + QString::number(m.captured(2).toLongLong() + 1) + QLatin1Char(')') + suffix;
    m = running.match(base);
    if (m.hasMatch())
        return m.captured(1) + QStringLiteral("%1").arg(m.captured(2).toLongLong() + 1, 3, 10, QLatin1Char('0')) + suffix;
    return base + QStringLiteral("(1)") + suffix;
}

// Imports one photo: upright main file, then backup copy and three thumbnails. Returns the failures.
QStringList importOnePhoto(const PhotoTask &task, QSemaphore *budget, bool *unreadable, PhotoOutcome *outcome)
{
    const ImportClaim::Working working(task.orderPath); // the order's claim counts it as progress
    QStringList failures;
    if (unreadable)
        *unreadable = false;
    if (outcome)
        *outcome = PhotoOutcome();
    const QString name = shortName(task.filePath);
    auto fail = [&](const QString &what) { failures << name + QStringLiteral("：") + what; };

    const PhotoFolders folders = photoFolders(task.type);
    MainFiles main(task, folders, fail);
    auto finish = [&] {
        // One line for the photo, however many of its files were not placed for it.
        if (main.claimLost())
            failures << name + QStringLiteral("：") + claimLostText();
        if (outcome)
            *outcome = main.outcome();
        if (task.runRecord)
            task.runRecord->keepFresh();
        return failures;
    };

    // However the photo's import ends, the photos chosen after it do not wait for it to be numbered.
    const bool numbered = task.numbering && task.placing == MainPlacing::Numbered && task.type == ImportOriginPhotos;
    struct PassOnExit
    {
        const PhotoTask &task;
        ~PassOnExit()
        {
            if (task.numbering)
                task.numbering->pass(task.numberingIndex);
        }
    } passOnExit{task};

    QFile source(fsPath(task.filePath));
    if (!source.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("无法读取源文件"));
        return failures;
    }
    QByteArray bytes = source.readAll();
    source.close();
    const int orientation = ImageOperation::getDirection(fsPath(task.filePath));
    const bool turn = orientation != 1;

    // A photo with the same bytes (of this run or another of the order's in this program) is looked for and
    // named before or after this one, never at the same time, and while one not found is placed the other
    // waits for it: the later one finds the earlier. A photo not found is placed without the lock (one found
    // gets the copies the order lacks while it holds it).
    std::unique_lock<std::mutex> sameSize;
    if (task.backupPhotos)
        sameSize = task.backupPhotos->holdSize(bytes.size());
    // (a numbered photo new to the order looks once more before it takes its number)
    bool before = main.importedBefore(bytes, turn);
    if (numbered) {
        // A turned photo's main file is the upright photo, found by the backup's name; where the order holds
        // main files without their backup, it is looked for by its upright bytes before it takes a number
        // (decoded once more then), so that it does not take one it never uses.
        if (!before && main.knownName().isEmpty() && turn && task.backupPhotos->mainsWithoutBackup()
            && ImageOperation::jpegIsWhole(bytes)) {
            BudgetHold lookHold(budget);
            before = main.importedBeforeUpright(decodedUpright(bytes, orientation, &lookHold));
        }
        if (!before && main.knownName().isEmpty()) {
            // New to the order: it takes its number once the photos chosen before it have theirs (not holding
            // its size meanwhile, which one of them may wait for), and is looked for once more then, as a
            // photo of the run with its bytes may have been placed meanwhile.
            if (sameSize)
                sameSize.unlock();
            task.numbering->waitTurn(task.numberingIndex);
            if (sameSize.mutex())
                sameSize.lock();
            before = main.importedBefore(bytes, turn);
            if (!before && main.knownName().isEmpty())
                main.giveName(task.numbering->takeName());
        }
        if (!before && main.outcome().givenName.isEmpty())
            main.giveName(main.knownName()); // back under the name its backup has
        task.numbering->pass(task.numberingIndex, main.knownName());
    }
    // (each of its files looks again just before it takes its name)
    if (!before && !main.claimStillHeld())
        return finish();
    if (!before)
        main.announcePlacing();
    if (sameSize)
        sameSize.unlock();
    if (before && main.reducedCopiesThere(folders))
        return finish();

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    reader.setDecideFormatFromContent(true);
    const QSize fullSize = reader.size();

    QImage thumb; // the 2250 thumbnail, upright
    bool decoded = false;
    // A JPEG cut short is not decoded: its reduced copies would show a grey part as the photo.
    const bool cutShort = !ImageOperation::jpegIsWhole(bytes);
    // An upright photo's main file goes first; only one that would replace a file waits until the photo
    // is known to be readable (a file that is not never replaces a readable photo). Its backup and reduced
    // copies are made only once the main file is in place: a photo whose main file failed (a full disk)
    // leaves nothing that would show it as imported.
    const bool placeFirst = !turn && !cutShort
                            && (task.placing == MainPlacing::Numbered
                                || !QFileInfo::exists(fsPath(task.orderPath + folders.main + main.firstName())));
    if (placeFirst && !main.placeFile(task.filePath))
        return finish();
    BudgetHold hold(budget);
    if (cutShort) {
        // nothing to decode
    } else if (!turn && fullSize.isValid() && fitBox(fullSize, kBox2250).width() < fullSize.width()
        && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // The main file is a byte copy: only the 2250 size is needed, which the JPEG decoder makes
        // from a reduced decode.
        const QSize size2250 = fitBox(fullSize, kBox2250);
        const int denom = reducedDecodeFactor(fullSize, size2250);
        hold.acquire(qint64(fullSize.width() / denom) * (fullSize.height() / denom) * 4
                     + qint64(size2250.width()) * size2250.height() * 4);
        reader.setScaledSize(size2250);
        thumb = reader.read();
        if (!thumb.isNull() && thumb.size() != size2250)
            thumb = thumb.scaled(size2250, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        decoded = !thumb.isNull();
    } else {
        // Decoded in full once. A turned photo is written from a copy without alpha in 3 bytes a pixel
        // (which also encodes faster) when it has no alpha to keep.
        const bool compact = reader.imageFormat() == QImage::Format_RGB32;
        const qint64 pixels = fullSize.isValid() ? qint64(fullSize.width()) * fullSize.height() : qint64(6000) * 4000;
        hold.acquire(pixels * (turn ? (compact ? 7 : 8) : 4) + qint64(kBox2250) * kBox2250 * 4);
        QImage full = reader.read();
        bytes.clear();
        if (!full.isNull()) {
            decoded = true;
            // The square box makes "scale, then turn" give the same size as "turn, then scale".
            thumb = ImageOperation::rotateImage(fitImage(full, kBox2250), orientation);
            if (turn) {
                const QImage upright = turnedUpright(full, orientation);
                full = QImage();
                if (!main.placeImage(upright))
                    return finish();
            }
        }
    }
    bytes.clear();

    if (!decoded) {
        // Not a photo the program can read: the file is kept as it is, turned or not, so nothing is lost,
        // but no reduced copy is made of it, and reduced copies of an earlier photo of its name go.
        if (!placeFirst)
            main.placeUnreadable();
        if (!main.outcome().placedName.isEmpty()) {
            for (const QString &folder : {folders.thumb2250, folders.thumb1000, folders.thumb200})
                QFile::remove(fsPath(task.orderPath + folder + main.outcome().placedName));
        }
        if (unreadable)
            *unreadable = true;
        return finish();
    }
    if (!turn && !placeFirst && !main.placeFile(task.filePath))
        return finish();
    if (main.claimLost())
        return finish(); // the order is another run's now: it makes the reduced copies the photo lacks

    const QString thumbName = main.thumbnailName();
    const QString t2250 = task.orderPath + folders.thumb2250 + thumbName;
    const QString t1000 = task.orderPath + folders.thumb1000 + thumbName;
    const QString t200 = task.orderPath + folders.thumb200 + thumbName;
    QString why;
    if (!saveImage(thumb, t2250, -1, &why))
        fail(QStringLiteral("缩略图保存失败 ") + t2250 + QStringLiteral("（") + why + QStringLiteral("）"));
    thumb = fitImage(thumb, kBox1000);
    if (!saveImage(thumb, t1000, -1, &why))
        fail(QStringLiteral("缩略图保存失败 ") + t1000 + QStringLiteral("（") + why + QStringLiteral("）"));
    thumb = fitImage(thumb, kBox200);
    if (!saveImage(thumb, t200, -1, &why))
        fail(QStringLiteral("缩略图保存失败 ") + t200 + QStringLiteral("（") + why + QStringLiteral("）"));
    return finish();
}

void removeUprightPhotosLeftBehind(const QString &folder, const std::function<bool()> &stillWanted)
{
    // Exactly the names written (see kUprightPhoto): the process id as QString::number gives it, then the
    // random part as Platform's temporary names give it, a 64-bit number in base 36; neither has a leading
    // zero. The process id of such a name, 0 for an earlier version's, -1 for any other name.
    const QRegularExpression named(QStringLiteral("\\A\\.") + kUprightPhoto
                                   + QStringLiteral("-(?:([1-9][0-9]{0,9})-)?(0|[1-9a-z][0-9a-z]{0,12})\\z"));
    const auto writerOf = [&named](const QString &name) -> qint64 {
        const QRegularExpressionMatch match = named.match(name);
        if (!match.hasMatch())
            return -1;
        bool random = false;
        match.captured(2).toULongLong(&random, 36); // false past 64 bits
        if (!random)
            return -1;
        if (match.captured(1).isEmpty())
            return 0;
        const qint64 pid = match.captured(1).toLongLong();
        return pid <= std::numeric_limits<qint32>::max() ? pid : -1; // larger is no process id
    };
    // A process that runs this program may be writing its photo; one that no longer does never will.
    FileOperation::removeTemporaries(folder, [&writerOf](const QString &name) {
        const qint64 pid = writerOf(name);
        return pid > 0 && !Platform::runsThisProgram(pid);
    }, 0, stillWanted);
    // An earlier version's, once nobody has written to it for an hour (a photo is written in seconds).
    const qint64 hourMs = 60 * 60 * 1000;
    FileOperation::removeTemporaries(folder, [&writerOf](const QString &name) { return writerOf(name) == 0; }, hourMs,
                                     stillWanted);
}

// glibc serves a freed block of up to 32 MiB from then on out of its per-thread arenas, where image
// buffers freed by one pool thread stay reserved for that thread: the process would keep several photos'
// worth of memory per thread. A fixed threshold sends every large buffer back to the system when it is
// freed. (The Windows heap returns large blocks by itself.)
void keepLargeBuffersOutOfArenas()
{
#if defined(Q_OS_LINUX) && defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024); });
#endif
}
