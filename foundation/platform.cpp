#include "platform.h"

#include "logging.h"
#include "msgbox.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDesktopServices>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QStorageInfo>
#include <QThread>
#include <QUrl>

#include <QRandomGenerator>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifndef Q_OS_WIN
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sendfile.h>
#endif

namespace Platform {

namespace {

struct Fault
{
    QString part;
    int times = 0; // 0: off, -1: always
};

struct State
{
    QMutex mutex;
    QStringList hidden;
    QStringList opened;
    qint64 freeOverride = -1;
    Fault copy;
    Fault mkdir;
    Fault removal;
    Fault write;
    Fault rename;
    Fault flush;
    Fault lastWrite;
    QString slowPart;
    int slowMs = 0;
};

State &state()
{
    static State s;
    return s;
}

bool consume(Fault &f, const QString &path)
{
    if (f.times == 0)
        return false;
    if (!f.part.isEmpty() && !path.contains(f.part))
        return false;
    if (f.times > 0)
        --f.times;
    return true;
}

void arm(Fault &f, const QString &part, int times)
{
    f.part = part;
    f.times = times < 0 ? -1 : times;
}

// Cleaned absolute form used for the Linux hidden record.
QString recordKey(const QString &path)
{
    QString p = QDir::cleanPath(QFileInfo(localPath(path)).absoluteFilePath());
    while (p.size() > 1 && p.endsWith('/'))
        p.chop(1);
    return p;
}

} // namespace

QString localPath(const QString &path)
{
#ifdef Q_OS_WIN
    return path;
#else
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
#endif
}

bool isAbsolutePath(const QString &path)
{
    const QString local = localPath(path);
#ifdef Q_OS_WIN
    // Not "\x" or "C:x": those are read against the current drive or the drive's current folder.
    auto slash = [](QChar c) { return c == QLatin1Char('\\') || c == QLatin1Char('/'); };
    if (local.size() < 3)
        return false;
    return (local.at(0).isLetter() && local.at(1) == QLatin1Char(':') && slash(local.at(2)))
           || (slash(local.at(0)) && slash(local.at(1)) && !slash(local.at(2)));
#else
    return local.startsWith(QLatin1Char('/'));
#endif
}

Qt::CaseSensitivity pathCase()
{
#ifdef Q_OS_WIN
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

bool setHidden(const QString &path)
{
    if (path.isEmpty())
        return false;
#ifdef Q_OS_WIN
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attrs = GetFileAttributesW(native.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attrs & FILE_ATTRIBUTE_HIDDEN)
        return true;
    return SetFileAttributesW(native.c_str(), attrs | FILE_ATTRIBUTE_HIDDEN) != 0;
#else
    const QFileInfo info(localPath(path));
    if (!info.exists() && !info.isSymLink())
        return false;
    const QString key = recordKey(path);
    QMutexLocker lock(&state().mutex);
    if (!state().hidden.contains(key))
        state().hidden.append(key);
    return true;
#endif
}

bool isHidden(const QString &path)
{
#ifdef Q_OS_WIN
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const DWORD attrs = GetFileAttributesW(native.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_HIDDEN);
#else
    const QString key = recordKey(path);
    QMutexLocker lock(&state().mutex);
    return state().hidden.contains(key) || QFileInfo(key).fileName().startsWith('.');
#endif
}

QStringList hiddenPaths()
{
    QMutexLocker lock(&state().mutex);
    return state().hidden;
}

void clearHiddenPaths()
{
    QMutexLocker lock(&state().mutex);
    state().hidden.clear();
}

qint64 freeDiskBytes(const QString &path)
{
    {
        QMutexLocker lock(&state().mutex);
        if (state().freeOverride >= 0)
            return state().freeOverride;
    }
    // The nearest existing folder stands for a path that is not there yet.
    QString probe = QFileInfo(localPath(path)).absoluteFilePath();
    while (!probe.isEmpty() && !QFileInfo::exists(probe)) {
        const QString parent = QFileInfo(probe).absolutePath();
        if (parent == probe)
            break;
        probe = parent;
    }
    if (probe.isEmpty() || !QFileInfo::exists(probe))
        return -1;
#ifdef Q_OS_WIN
    ULARGE_INTEGER available;
    const std::wstring native = QDir::toNativeSeparators(probe).toStdWString();
    if (!GetDiskFreeSpaceExW(native.c_str(), &available, nullptr, nullptr))
        return -1;
    return qint64(available.QuadPart);
#else
    const QStorageInfo storage(probe);
    if (!storage.isValid() || !storage.isReady())
        return -1;
    return storage.bytesAvailable();
#endif
}

void setFreeDiskBytesOverride(qint64 bytes)
{
    QMutexLocker lock(&state().mutex);
    state().freeOverride = bytes < 0 ? -1 : bytes;
}

bool openInFileBrowser(const QString &path)
{
#ifdef Q_OS_WIN
    QString target = path;
    target.replace(QLatin1Char('/'), QLatin1Char('\\'));
#else
    const QString target = localPath(path);
#endif
    qCDebug(lcFiles) << "filePath==" << target;
    {
        QMutexLocker lock(&state().mutex);
        if (MsgBox::testMode()) {
            state().opened.append(target);
            return true;
        }
    }
#ifdef Q_OS_WIN
    // One argument: QProcess quotes it, so a path with blanks reaches explorer whole.
    return QProcess::startDetached(QStringLiteral("explorer"), QStringList() << target);
#else
    return QDesktopServices::openUrl(QUrl::fromLocalFile(target));
#endif
}

QStringList openedPaths()
{
    QMutexLocker lock(&state().mutex);
    return state().opened;
}

void clearOpenedPaths()
{
    QMutexLocker lock(&state().mutex);
    state().opened.clear();
}

QString findFileNoCase(const QString &dir, const QString &name)
{
    if (name.isEmpty())
        return QString();
    const QDir folder(localPath(dir));
    const QString exact = folder.filePath(name);
    if (QFileInfo(exact).isFile())
        return exact;
    countFolderListing();
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return folder.filePath(entry);
    }
    return QString();
}

namespace {
QAtomicInt s_folderListings;
} // namespace

int folderListings()
{
    return s_folderListings.loadAcquire();
}

void countFolderListing()
{
    s_folderListings.ref();
}

namespace {

// The loop through the program's memory. A tail shorter than the file's write buffer stays in that
// buffer until out is flushed.
bool copyBuffered(QFileDevice &in, QFileDevice &out)
{
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n == 0)
            return true;
        if (n < 0 || out.write(buffer.constData(), n) != n)
            return false;
    }
}

// A name for a temporary file in folder, starting with "." and prefix.
QString temporaryName(const QString &folder, const QString &prefix)
{
    return folder + QStringLiteral("/.") + prefix + QLatin1Char('-')
           + QString::number(QRandomGenerator::global()->generate64(), 36);
}

#ifdef Q_OS_WIN
std::wstring nativeW(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

void removeTemporary(const QString &temporary)
{
    const std::wstring native = nativeW(temporary);
    SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_NORMAL); // a read-only copy would stay
    DeleteFileW(native.c_str());
}

// Gives the complete temporary file the target's name in one step; false when it cannot (the temporary
// file is then left to the caller).
bool placeTemporary(const QString &temporary, const QString &target, Placing placing)
{
    const DWORD how = placing == Placing::Replace ? MOVEFILE_REPLACE_EXISTING : 0;
    return MoveFileExW(nativeW(temporary).c_str(), nativeW(target).c_str(), how) != 0;
}
#else
void removeTemporary(const QString &temporary)
{
    QFile::remove(temporary);
}

// Points the file's descriptor at /dev/full: every later write through it fails as on a full disk.
void failLaterWrites(QFileDevice &out)
{
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0)
        return;
    ::dup2(full, out.handle());
    ::close(full);
}

// Gives the complete temporary file the target's name, never over a file of that name.
bool renameIfFree(const QByteArray &temporary, const QByteArray &target)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // A file system without that rename: a hard link fails as well when the name is taken.
    if (::link(temporary.constData(), target.constData()) == 0) {
        ::unlink(temporary.constData());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return false;
    // No hard links either (some shares): the name is checked just before the rename.
    struct stat taken;
    if (::lstat(target.constData(), &taken) == 0)
        return false;
    return ::rename(temporary.constData(), target.constData()) == 0;
}

// Gives the complete temporary file the target's name in one step; false when it cannot (the temporary
// file is then left to the caller).
bool placeTemporary(const QString &temporary, const QString &target, Placing placing)
{
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(target);
    if (placing == Placing::Replace)
        return ::rename(from.constData(), to.constData()) == 0;
    return renameIfFree(from, to);
}
#endif

} // namespace

bool copyFileContents(QFileDevice &in, QFileDevice &out)
{
#ifdef Q_OS_LINUX
    // sendfile moves at most about 2 GiB per call; 0 means the end of the source.
    bool first = true;
    for (;;) {
        const ssize_t n = ::sendfile(out.handle(), in.handle(), nullptr, 0x7ffff000);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (!first || (errno != EINVAL && errno != ENOSYS))
                return false;
            break; // these files cannot: the loop below
        }
        first = false;
    }
#endif
    return copyBuffered(in, out);
}

bool copyIntoPlace(const QString &source, const QString &target, Placing placing)
{
    const QString folder = QFileInfo(target).absolutePath();
#ifdef Q_OS_WIN
    // The system copies the bytes (within a share on the server, without a trip through this machine)
    // into a temporary file beside the target, which a rename puts in place; no flush per file.
    const std::wstring from = nativeW(source);
    QString temporary;
    bool copied = false;
    for (int attempt = 0; attempt < 16 && !copied; ++attempt) {
        temporary = temporaryName(folder, QStringLiteral("copying"));
        copied = CopyFileExW(from.c_str(), nativeW(temporary).c_str(), nullptr, nullptr, nullptr,
                             COPY_FILE_FAIL_IF_EXISTS) != 0;
        if (!copied) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                removeTemporary(temporary); // the name was free: whatever is there is a part of this copy
                return false;
            }
        }
    }
    if (!copied)
        return false;
    if (lastWriteShouldFail(target) || copyShouldFail(target) || !placeTemporary(temporary, target, placing)) {
        removeTemporary(temporary);
        return false;
    }
    return true;
#else
    // A temporary file beside the target, hidden by its name and filled by the kernel; no sync to disk per
    // file, so a large copy goes at the disk's pace.
    QFile in(source);
    QTemporaryFile out(folder + QStringLiteral("/.copying-XXXXXX"));
    if (!in.open(QIODevice::ReadOnly) || !out.open())
        return false; // the temporary file goes with its object
    const bool lastWriteFails = lastWriteShouldFail(target);
    bool ok = lastWriteFails ? copyBuffered(in, out) : copyFileContents(in, out);
    ok = ok && out.setPermissions(in.permissions());
    if (ok && lastWriteFails)
        failLaterWrites(out);
    // The tail of the buffered loop is written here: a write that fails now (a full disk, a share
    // gone) must not leave a short file in the target's place.
    ok = ok && out.flush();
    // The copy keeps the source's time, as the Windows copy does.
    ok = ok && out.setFileTime(in.fileTime(QFileDevice::FileModificationTime), QFileDevice::FileModificationTime);
    out.close();
    if (!ok || out.error() != QFileDevice::NoError || copyShouldFail(target)
        || !placeTemporary(out.fileName(), target, placing))
        return false;
    out.setAutoRemove(false); // it is the target now
    return true;
#endif
}

bool writeIntoPlace(const QString &target, const std::function<bool(QIODevice &)> &write)
{
    // A new file of our own beside the target (never one that was there already), written whole and closed
    // before it takes the target's name; it gets the permissions any new file of the user's gets.
    const QString folder = QFileInfo(target).absolutePath();
    QFile out;
    for (int attempt = 0; attempt < 16; ++attempt) {
        out.setFileName(temporaryName(folder, QStringLiteral("writing")));
        if (out.open(QIODevice::WriteOnly | QIODevice::NewOnly) || !QFileInfo::exists(out.fileName()))
            break;
    }
    if (!out.isOpen())
        return false;
    const bool ok = write(out) && out.flush();
    out.close();
    if (ok && out.error() == QFileDevice::NoError && !writeShouldFail(target)
        && placeTemporary(out.fileName(), target, Placing::Replace))
        return true;
    removeTemporary(out.fileName());
    return false;
}

bool flushToDisk(const QString &path)
{
    const QString local = localPath(path);
    if (flushShouldFail(local))
        return false;
#ifdef Q_OS_WIN
    if (QFileInfo(local).isDir())
        return true;
    const std::wstring native = QDir::toNativeSeparators(local).toStdWString();
    const HANDLE file = CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return ok;
#else
    const bool folder = QFileInfo(local).isDir();
    const int fd = ::open(QFile::encodeName(local).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int rc = 0;
    do {
        rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    // Some file systems cannot flush a folder (EINVAL); their entries go with the files' flush.
    const bool ok = rc == 0 || (folder && errno == EINVAL);
    ::close(fd);
    return ok;
#endif
}

void failCopies(const QString &targetPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().copy, targetPart, times);
}

void failMkDirs(const QString &pathPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().mkdir, pathPart, times);
}

void failRemovals(const QString &pathPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().removal, pathPart, times);
}

void failFlushes(const QString &pathPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().flush, pathPart, times);
}

void failWrites(const QString &pathPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().write, pathPart, times);
}

void failRenames(const QString &pathPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().rename, pathPart, times);
}

void failLastWrites(const QString &targetPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().lastWrite, targetPart, times);
}

void slowWrites(const QString &pathPart, int ms)
{
    QMutexLocker lock(&state().mutex);
    state().slowPart = pathPart;
    state().slowMs = qMax(0, ms);
}

void clearFaults()
{
    QMutexLocker lock(&state().mutex);
    state().copy = Fault();
    state().mkdir = Fault();
    state().removal = Fault();
    state().write = Fault();
    state().rename = Fault();
    state().flush = Fault();
    state().lastWrite = Fault();
    state().slowPart.clear();
    state().slowMs = 0;
}

bool copyShouldFail(const QString &target)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().copy, target);
}

bool mkDirShouldFail(const QString &path)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().mkdir, path);
}

bool removalShouldFail(const QString &path)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().removal, path);
}

bool flushShouldFail(const QString &path)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().flush, path);
}

bool writeShouldFail(const QString &path)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().write, path);
}

bool renameShouldFail(const QString &path)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().rename, path);
}

bool lastWriteShouldFail(const QString &target)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().lastWrite, target);
}

void delayWrite(const QString &path)
{
    int ms = 0;
    {
        QMutexLocker lock(&state().mutex);
        if (state().slowMs > 0 && (state().slowPart.isEmpty() || path.contains(state().slowPart)))
            ms = state().slowMs;
    }
    if (ms > 0)
        QThread::msleep(ulong(ms));
}

} // namespace Platform
