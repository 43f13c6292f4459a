#include "platform.h"

#include "fileoperation.h"
#include "logging.h"
#include "msgbox.h"

#include <QAtomicInt>
#include <QCoreApplication>
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
#include <QWaitCondition>

#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifndef Q_OS_WIN
#include <cstdio>
#include <signal.h>
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
    int renameError = EPERM;
    Fault flush;
    Fault lastWrite;
    Fault close;
    Fault metadata;
    Fault open;
    QString slowPart;
    int slowMs = 0;
    QString holdPart;
    bool holding = false;
    QString holdRemovalPart;
    bool holdingRemovals = false;
    int held = 0;
    QWaitCondition released;
    qint64 folderSkew = 0;
    QString stopPart; // stopAfterPlacing
    int stopAfter = 0;
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

// The prefix of the temporary files copies are written into (isCopyTemporary knows them by it), and that
// of writeIntoPlace's (isWriteTemporary).
const QString kCopying = QStringLiteral("copying");
const QString kWriting = QStringLiteral("writing");
// That of the probe folderClock writes (isClockTemporary).
const QString kClock = QStringLiteral("tessaly-clock");

// A name for a temporary file in folder, starting with "." and prefix.
QString temporaryName(const QString &folder, const QString &prefix)
{
    return folder + QStringLiteral("/.") + prefix + QLatin1Char('-')
           + QString::number(QRandomGenerator::global()->generate64(), 36);
}

void logNotPlaced(const QString &target, const QString &failure)
{
    qCWarning(lcFiles) << "not put in place:" << target << failure;
}

#ifdef Q_OS_WIN
std::wstring nativeW(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L // not in every SDK's headers
#endif

} // namespace

int errnoOf(unsigned long error)
{
    switch (error) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_DISK_QUOTA_EXCEEDED:
#ifdef EDQUOT
        return EDQUOT;
#else
        return ENOSPC;
#endif
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EPERM;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_DRIVE_LOCKED:
        return EBUSY; // another program holds the file
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return EINVAL; // a name Windows refuses: "<", "?", a control character, ...
    case ERROR_DIRECTORY:
        return ENOTDIR; // "the directory name is invalid": a file where a folder is wanted
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_CANT_RESOLVE_FILENAME:
        return ELOOP;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
#ifdef ENETDOWN
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_SEM_TIMEOUT:
        return ENETDOWN;
#endif
    case ERROR_HOST_UNREACHABLE:
        return EHOSTUNREACH;
    case ERROR_CONNECTION_REFUSED:
        return ECONNREFUSED;
    case ERROR_RETRY:
        return EAGAIN;
    case ERROR_NOT_READY:
        return ENXIO; // a drive without its disk, a removable disk taken out
    case ERROR_DEV_NOT_EXIST:
        return ENODEV;
    case ERROR_ARITHMETIC_OVERFLOW:
        return EOVERFLOW;
    case ERROR_NOT_SUPPORTED:
        return EOPNOTSUPP;
    default:
        return EIO;
    }
}

namespace {

void removeTemporary(const QString &temporary)
{
    const std::wstring native = nativeW(temporary);
    SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_NORMAL); // a read-only copy would stay
    DeleteFileW(native.c_str());
}

// Writes what the system holds of a file to its disk through a handle of its own. A read-only file (a copy
// takes its source's attributes) cannot be opened for writing: its attribute is lifted for the flush and
// put back after it.
bool flushFileW(const QString &path)
{
    const std::wstring native = nativeW(path);
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    const bool readOnly = attributes & FILE_ATTRIBUTE_READONLY;
    if (readOnly && !SetFileAttributesW(native.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)))
        return false;
    const HANDLE file = CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file) != 0;
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && ok) {
        ok = false;
        error = GetLastError();
    }
    if (readOnly && !SetFileAttributesW(native.c_str(), attributes))
        qCWarning(lcFiles) << "read-only attribute not put back:" << path;
    SetLastError(error); // the flush's own error for the caller
    return ok;
}

// CopyFileExW's progress routine: the temporary file it has just made gets the hidden attribute before its
// first byte, as every other file the program keeps for itself beside its data, so a copy cut short by the
// program's end is hidden too (the next separation of the order removes it).
DWORD CALLBACK hideCopyTarget(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD stream, DWORD reason,
                              HANDLE, HANDLE destination, LPVOID)
{
    FILE_BASIC_INFO basic;
    if (reason == CALLBACK_STREAM_SWITCH && stream == 1
        && GetFileInformationByHandleEx(destination, FileBasicInfo, &basic, sizeof basic)) {
        basic.FileAttributes |= FILE_ATTRIBUTE_HIDDEN;
        // times of 0 are left as they are
        basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
        basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
        SetFileInformationByHandle(destination, FileBasicInfo, &basic, sizeof basic);
    }
    return PROGRESS_CONTINUE;
}

// The whole copy takes the source's hidden attribute (none, for a photo) just before it takes the
// target's name; false (GetLastError() telling why) when that cannot be set.
bool showTemporary(const QString &temporary, const QString &source)
{
    const std::wstring native = nativeW(temporary);
    const DWORD attributes = GetFileAttributesW(native.c_str());
    const DWORD sourceAttributes = GetFileAttributesW(nativeW(source).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    const bool hidden = sourceAttributes != INVALID_FILE_ATTRIBUTES && (sourceAttributes & FILE_ATTRIBUTE_HIDDEN);
    if (!(attributes & FILE_ATTRIBUTE_HIDDEN) || hidden)
        return true;
    const DWORD shown = attributes & ~DWORD(FILE_ATTRIBUTE_HIDDEN);
    return SetFileAttributesW(native.c_str(), shown ? shown : FILE_ATTRIBUTE_NORMAL) != 0;
}

// Gives the complete temporary file the target's name in one step; false when it cannot (the temporary
// file is then left to the caller, GetLastError() telling why). A read-only file being replaced (an
// earlier copy of a write-protected raw) has its attribute lifted for the move, which Windows refuses
// otherwise, and put back when the move fails.
bool placeTemporary(const QString &temporary, const QString &target, Placing placing)
{
    const std::wstring to = nativeW(target);
    if (placing != Placing::Replace)
        return MoveFileExW(nativeW(temporary).c_str(), to.c_str(), 0) != 0;
    const DWORD attributes = GetFileAttributesW(to.c_str());
    const bool lifted = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
                        && SetFileAttributesW(to.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (MoveFileExW(nativeW(temporary).c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    const DWORD error = GetLastError();
    if (lifted)
        SetFileAttributesW(to.c_str(), attributes);
    SetLastError(error);
    return false;
}
#else
void removeTemporary(const QString &temporary)
{
    ::unlink(QFile::encodeName(temporary).constData());
}

// A new file of our own beside the target (never one that was there already), open for writing, with the
// permissions any new file of the user's gets; -1 when none can be made (errno says why).
int createTemporary(const QString &folder, const QString &prefix, QString *temporary)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        *temporary = temporaryName(folder, prefix);
        const int fd = ::open(QFile::encodeName(*temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The system calls that finish a file put in place; the switches tests use act here. The close is where
// a share reports writes that did not reach its disk.
bool closeFile(int fd, const QString &target)
{
    const bool closed = ::close(fd) == 0;
    const int error = errno;
    if (closeShouldFail(target)) {
        errno = ENOSPC;
        return false;
    }
    errno = error;
    return closed;
}

// Gives the copy the source's permissions and modification time where the file system allows it: a share
// mounted for another owner refuses explicit times (EPERM), a FAT disk permissions. The bytes decide
// whether the copy is good; what is refused here is only logged.
void keepModeAndTime(int fd, const struct stat &source, const QString &target)
{
    const bool refused = metadataShouldFail(target);
    // Each call's error is taken before the log line is built, which may change errno.
    const int modeError = refused ? EPERM : ::fchmod(fd, source.st_mode & 07777) == 0 ? 0 : errno;
    if (modeError != 0)
        qCInfo(lcFiles) << "permissions not kept:" << target << qt_error_string(modeError);
    const struct timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
    const int timeError = refused ? EPERM : ::futimens(fd, times) == 0 ? 0 : errno;
    if (timeError != 0)
        qCInfo(lcFiles) << "time not kept:" << target << qt_error_string(timeError);
}

bool syncFile(int fd)
{
    int rc = 0;
    do {
        rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

// Copies every byte from in to out, open descriptors, from their positions on. Linux lets the kernel move
// them (no trip through the program's memory); elsewhere, or where the kernel cannot, a loop.
bool copyBytes(int in, int out)
{
#ifdef Q_OS_LINUX
    // sendfile moves at most about 2 GiB per call; 0 means the end of the source.
    bool first = true;
    for (;;) {
        const ssize_t n = ::sendfile(out, in, nullptr, 0x7ffff000);
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
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), size_t(buffer.size()));
        if (n == 0)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        for (ssize_t done = 0; done < n;) {
            const ssize_t written = ::write(out, buffer.constData() + done, size_t(n - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                return false;
            done += written;
        }
    }
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
    if (::lstat(target.constData(), &taken) == 0) {
        errno = EEXIST;
        return false;
    }
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

namespace {

// The temporary files of the whole writes and the copies under way in this program, by name.
struct WritesUnderWay {
    QMutex mutex;
    QSet<QString> names;
};
WritesUnderWay &writesUnderWay()
{
    static WritesUnderWay *w = new WritesUnderWay; // a pool job may write while the program exits
    return *w;
}

// Lists the temporary file of a whole write or a copy for as long as it is written, placed or removed.
class WriteUnderWay
{
public:
    // (A name listed before, a candidate that was taken, leaves the list.)
    void list(const QString &temporary)
    {
        QMutexLocker lock(&writesUnderWay().mutex);
        if (!m_name.isEmpty())
            writesUnderWay().names.remove(m_name);
        m_name = QFileInfo(temporary).fileName();
        writesUnderWay().names.insert(m_name);
    }
    // Runs as the write's function returns: the error it leaves for its caller stays (a lock that has to wait
    // may change errno).
    ~WriteUnderWay()
    {
        if (m_name.isEmpty())
            return;
        const int error = errno;
        {
            QMutexLocker lock(&writesUnderWay().mutex);
            writesUnderWay().names.remove(m_name);
        }
        errno = error;
    }

private:
    QString m_name;
};

} // namespace

bool copyIntoPlace(const QString &source, const QString &target, Placing placing, Durability durability,
                   const std::function<bool()> &stillWanted)
{
    const QString folder = QFileInfo(target).absolutePath();
#ifdef Q_OS_WIN
    // The system copies the bytes (within a share on the server, without a trip through this machine)
    // into a temporary file beside the target, hidden from its first byte on, which a rename puts in place.
    const std::wstring from = nativeW(source);
    QString temporary;
    WriteUnderWay underWay;
    bool copied = false;
    for (int attempt = 0; attempt < 16 && !copied; ++attempt) {
        temporary = temporaryName(folder, kCopying);
        underWay.list(temporary); // from its first byte on
        copied = CopyFileExW(from.c_str(), nativeW(temporary).c_str(), &hideCopyTarget, nullptr, nullptr,
                             COPY_FILE_FAIL_IF_EXISTS) != 0;
        if (!copied) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                logNotPlaced(target, QStringLiteral("copy: ") + qt_error_string(int(error)));
                removeTemporary(temporary); // the name was free: whatever is there is a part of this copy
                errno = errnoOf(error);
                return false;
            }
        }
    }
    if (!copied) {
        errno = EEXIST; // every temporary name was taken
        return false;
    }
    const char *step = nullptr; // the step that failed, and its system error
    DWORD error = ERROR_SUCCESS;
    if (lastWriteShouldFail(target) || closeShouldFail(target)) {
        step = "write: ";
        error = ERROR_DISK_FULL;
    } else if (durability == Durability::OnDisk && flushShouldFail(target)) {
        step = "flush: ";
        error = ERROR_WRITE_FAULT;
    } else if (durability == Durability::OnDisk && !flushFileW(temporary)) {
        step = "flush: ";
        error = GetLastError();
    } else if (!showTemporary(temporary, source)) {
        step = "attributes: ";
        error = GetLastError();
    } else if (copyShouldFail(target)) {
        step = "rename: ";
        error = ERROR_ACCESS_DENIED; // as a share that refuses the rename
    } else if (stillWanted && !stillWanted()) {
        step = "not wanted any more: ";
        error = ERROR_CANCELLED;
    } else if (!placeTemporary(temporary, target, placing)) {
        step = "rename: ";
        error = GetLastError();
    }
    if (!step) {
        placedHere(target);
        return true;
    }
    logNotPlaced(target, QLatin1String(step) + qt_error_string(int(error)));
    removeTemporary(temporary);
    errno = error == ERROR_CANCELLED ? ECANCELED : errnoOf(error);
    return false;
#else
    // A temporary file beside the target, hidden by its name and filled by the kernel; unless asked, no
    // sync to disk per file, so a large copy goes at the disk's pace.
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (in < 0 || ::fstat(in, &info) != 0) {
        const int error = errno;
        logNotPlaced(target, QStringLiteral("open ") + source + QStringLiteral(": ") + qt_error_string(error));
        if (in >= 0)
            ::close(in);
        errno = error;
        return false;
    }
    QString temporary;
    WriteUnderWay underWay;
    const int out = createTemporary(folder, kCopying, &temporary);
    if (out >= 0)
        underWay.list(temporary);
    if (out < 0) {
        const int error = errno;
        logNotPlaced(target, QStringLiteral("create: ") + qt_error_string(error));
        ::close(in);
        errno = error;
        return false;
    }
    QString failure; // the step that failed and why
    int error = 0;   // and its system error
    auto failed = [&](const char *step, int code) {
        error = code;
        failure = QLatin1String(step) + qt_error_string(code);
    };
    if (!copyBytes(in, out))
        failed("write: ", errno);
    else if (lastWriteShouldFail(target))
        failed("write: ", ENOSPC);
    ::close(in);
    if (failure.isEmpty()) {
        keepModeAndTime(out, info, target);
        if (durability == Durability::OnDisk && flushShouldFail(target))
            failed("flush: ", EIO);
        else if (durability == Durability::OnDisk && !syncFile(out))
            failed("flush: ", errno);
    }
    // Closed, and the close checked, before the file takes the target's name.
    if (!closeFile(out, target) && failure.isEmpty())
        failed("close: ", errno);
    if (failure.isEmpty() && copyShouldFail(target))
        failed("rename: ", EPERM); // as a share that refuses the rename
    else if (failure.isEmpty() && stillWanted && !stillWanted())
        failed("not wanted any more: ", ECANCELED);
    else if (failure.isEmpty() && !placeTemporary(temporary, target, placing))
        failed("rename: ", errno);
    if (failure.isEmpty()) {
        placedHere(target);
        return true;
    }
    logNotPlaced(target, failure);
    removeTemporary(temporary);
    errno = error;
    return false;
#endif
}

namespace {

// The error of the system call that just failed, as an errno.
int lastError()
{
#ifdef Q_OS_WIN
    return errnoOf(GetLastError());
#else
    return errno;
#endif
}

// What the buffer of a SystemFile holds at most before it is written.
constexpr int kSystemFileBuffer = 64 * 1024;

} // namespace

int lastSystemError()
{
    return lastError();
}

SystemFile::~SystemFile()
{
    close();
}

bool SystemFile::openForWriting(const QString &path, Creation creation)
{
    return openFile(path, creation, false);
}

bool SystemFile::openFile(const QString &path, Creation creation, bool hidden)
{
#ifndef Q_OS_WIN
    Q_UNUSED(hidden) // a temporary's name starts with "."
#endif
    close();
    m_error = 0;
    m_size = 0;
    m_buffer.clear();
    m_bufferAt = 0;
    if (openShouldFail(path)) {
        m_error = EACCES;
        return false;
    }
#ifdef Q_OS_WIN
    // Appending or writing into the file that is there: the reparse point itself is opened, never what it
    // points to, and judged as it is.
    const bool judged = creation == Append || creation == Existing;
    const HANDLE file =
        creation == Append
            ? CreateFileW(nativeW(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)
        : creation == Existing
            ? CreateFileW(nativeW(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)
            : CreateFileW(nativeW(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          creation == NewOnly ? CREATE_NEW : CREATE_ALWAYS,
                          hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        m_error = lastError();
        return false;
    }
    if (judged) {
        BY_HANDLE_FILE_INFORMATION info;
        const bool disk = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info);
        const int refusal = !disk ? EINVAL
                            : info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? ELOOP
                            : info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE) ? EINVAL
                                                                                                         : 0;
        if (refusal != 0) {
            CloseHandle(file);
            m_error = refusal;
            return false;
        }
        if (creation == Existing)
            m_size = (qint64(info.nFileSizeHigh) << 32) | qint64(info.nFileSizeLow);
    }
    m_handle = qintptr(file);
#else
    // Appending or writing into the file that is there: O_NOFOLLOW refuses a link (ELOOP); O_NONBLOCK opens
    // a FIFO at once instead of waiting for a reader, and what is opened is then judged.
    const bool judged = creation == Append || creation == Existing;
    const int flags = O_WRONLY | O_CLOEXEC | (creation == Existing ? 0 : O_CREAT)
                      | (creation == NewOnly ? O_EXCL : creation == Truncate ? O_TRUNC : 0)
                      | (creation == Append ? O_APPEND : 0) | (judged ? O_NOFOLLOW | O_NONBLOCK : 0);
    int fd = -1;
    do {
        fd = ::open(QFile::encodeName(path).constData(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = errno == ENXIO ? EINVAL : errno; // ENXIO: a FIFO without a reader
        return false;
    }
    struct stat info;
    if (judged && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        m_error = EINVAL;
        return false;
    }
    if (creation == Existing)
        m_size = qint64(info.st_size);
    m_handle = fd;
#endif
    m_append = creation == Append;
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool SystemFile::openNewIn(const QString &folder, const QString &prefix, QString *path)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        *path = temporaryName(folder, prefix);
        if (openFile(*path, NewOnly, true))
            return true;
        if (m_error != EEXIST)
            break;
    }
    return false;
}

qint64 SystemFile::readData(char *data, qint64 maxSize)
{
    Q_UNUSED(data)
    Q_UNUSED(maxSize)
    return -1; // write-only
}

qint64 SystemFile::writeData(const char *data, qint64 size)
{
    if (m_error != 0 || m_handle == -1)
        return -1;
    const qint64 at = pos();
    // Bytes that do not follow the buffered ones (after a seek), or would overfill it, send it first.
    if (!m_buffer.isEmpty() && (at != m_bufferAt + m_buffer.size() || m_buffer.size() + size > kSystemFileBuffer)
        && !flush())
        return -1;
    if (size >= kSystemFileBuffer) {
        if (!writeAt(at, data, size))
            return -1;
    } else {
        if (m_buffer.isEmpty())
            m_bufferAt = at;
        m_buffer.append(data, int(size));
    }
    m_size = qMax(m_size, at + size);
    return size;
}

bool SystemFile::flush()
{
    if (m_error != 0)
        return false;
    if (m_buffer.isEmpty())
        return true;
    const bool written = writeAt(m_bufferAt, m_buffer.constData(), m_buffer.size());
    m_buffer.clear();
    return written;
}

bool SystemFile::resize(qint64 size)
{
    if (m_handle == -1)
        return false;
    const bool flushed = m_error != 0 || flush();
    m_buffer.clear();
#ifdef Q_OS_WIN
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(HANDLE(m_handle), FileEndOfFileInfo, &end, sizeof end)) {
        if (m_error == 0)
            m_error = lastError();
        return false;
    }
#else
    int result = 0;
    do {
        result = ::ftruncate(int(m_handle), off_t(size));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        if (m_error == 0)
            m_error = errno;
        return false;
    }
#endif
    m_size = size;
    return flushed;
}

bool SystemFile::writeAt(qint64 offset, const char *data, qint64 size)
{
    while (size > 0) {
#ifdef Q_OS_WIN
        OVERLAPPED at = {};
        at.Offset = m_append ? 0xffffffffu : DWORD(quint64(offset) & 0xffffffffu); // all ones: at the end
        at.OffsetHigh = m_append ? 0xffffffffu : DWORD(quint64(offset) >> 32);
        DWORD written = 0;
        if (!::WriteFile(HANDLE(m_handle), data, DWORD(qMin<qint64>(size, 1 << 30)), &written, &at)) {
            m_error = lastError();
            return false;
        }
#else
        const size_t chunk = size_t(qMin<qint64>(size, 1 << 30));
        const ssize_t written = m_append ? ::write(int(m_handle), data, chunk)
                                         : ::pwrite(int(m_handle), data, chunk, off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            m_error = errno;
            return false;
        }
#endif
        if (written == 0) { // nothing taken and no error given: as a full disk
            m_error = ENOSPC;
            return false;
        }
        data += written;
        offset += qint64(written);
        size -= qint64(written);
    }
    return true;
}

bool SystemFile::release()
{
    if (m_handle == -1)
        return true;
#ifdef Q_OS_WIN
    const bool closed = CloseHandle(HANDLE(m_handle)) != 0;
#else
    const bool closed = ::close(int(m_handle)) == 0; // not repeated after EINTR: the descriptor is gone
#endif
    if (!closed && m_error == 0)
        m_error = lastError();
    m_handle = -1;
    return closed;
}

bool SystemFile::closeChecked()
{
    const bool flushed = flush();
    const bool closed = release();
    QIODevice::close();
    return flushed && closed;
}

void SystemFile::close()
{
    if (m_handle != -1)
        closeChecked();
    else if (isOpen())
        QIODevice::close();
}

bool isWriteUnderWay(const QString &name)
{
    QMutexLocker lock(&writesUnderWay().mutex);
    return writesUnderWay().names.contains(name);
}

bool writeIntoPlace(const QString &target, const std::function<bool(QIODevice &)> &write, QString *why,
                    WriteStep *failedStep, const std::function<bool()> &stillWanted, Placing placing)
{
    // A new file of our own beside the target, written whole, flushed and closed, each step checked,
    // before it takes the target's name.
    QString temporary;
    SystemFile out;
    WriteUnderWay underWay;
    // (An open refused for the target's own name is refused for the file that becomes it.)
    const bool refused = openShouldFail(target);
    const bool created = !refused && out.openNewIn(QFileInfo(target).absolutePath(), kWriting, &temporary);
    if (created)
        underWay.list(temporary);
    const char *step = nullptr; // the first step that failed, and its error (0: write gave up by itself)
    int error = 0;
    auto failed = [&](const char *what, int code) {
        if (!step) {
            step = what;
            error = code;
        }
    };
    if (!created) {
        failed("create: ", refused ? EACCES : out.error());
    } else {
#ifndef Q_OS_WIN
        // A file replaced keeps its permissions, so a private file is private from its first byte on.
        struct stat existing;
        if (::stat(QFile::encodeName(target).constData(), &existing) == 0 && S_ISREG(existing.st_mode))
            ::fchmod(int(out.handle()), existing.st_mode & 07777);
#endif
        if (!write(out) || !out.flush())
            failed("write: ", out.error());
        if (!out.closeChecked())
            failed("close: ", out.error());
        if (!step && closeShouldFail(target))
            failed("close: ", ENOSPC); // as a share reports a write that did not reach its disk
        if (!step && writeShouldFail(target))
            failed("write: ", EIO);
    }
    const bool written = !step;
    int refusal = 0;
    if (written && renameShouldFail(target, &refusal))
        failed("rename: ", refusal); // as a share that refuses the rename
    else if (written && stillWanted && !stillWanted())
        failed("not wanted any more: ", ECANCELED);
#ifdef Q_OS_WIN
    // Hidden from its first byte; the file takes the hidden attribute of the one it replaces (none when new).
    else if (written && !showTemporary(temporary, target))
        failed("attributes: ", lastError());
#endif
    else if (written && !placeTemporary(temporary, target, placing))
        failed("rename: ", lastError());
    if (failedStep)
        *failedStep = !step ? WriteStep::None : !created ? WriteStep::Open : written ? WriteStep::Rename : WriteStep::Write;
    if (!step) {
        placedHere(target);
        return true;
    }
    const QString reason = error != 0 ? errorText(error) : QStringLiteral("未能完整写入");
    logNotPlaced(target, QLatin1String(step) + reason + QStringLiteral(" (errno ") + QString::number(error)
                             + QLatin1Char(')'));
    if (created)
        removeTemporary(temporary);
    if (why)
        *why = reason;
    errno = error;
    return false;
}

bool moveIfFree(const QString &from, const QString &to)
{
    if (placeTemporary(localPath(from), localPath(to), Placing::OnlyIfFree))
        return true;
    errno = lastError();
    return false;
}

bool flushToDisk(const QString &path)
{
    const QString local = localPath(path);
    if (flushShouldFail(local)) {
        errno = EIO;
        return false;
    }
#ifdef Q_OS_WIN
    if (QFileInfo(local).isDir())
        return true;
    if (flushFileW(local))
        return true;
    errno = errnoOf(GetLastError());
    return false;
#else
    const bool folder = QFileInfo(local).isDir();
    const int fd = ::open(QFile::encodeName(local).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = syncFile(fd);
    const int error = errno;
    // Some file systems cannot flush a folder (EINVAL); their entries go with the files' flush.
    const bool ok = synced || (folder && error == EINVAL);
    ::close(fd);
    errno = error;
    return ok;
#endif
}

bool isRegularFile(const QString &path)
{
    const QString local = localPath(path);
    if (local.isEmpty())
        return false;
#ifdef Q_OS_WIN
    const DWORD attributes = GetFileAttributesW(nativeW(local).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES
           && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
#else
    struct stat info;
    return ::lstat(QFile::encodeName(local).constData(), &info) == 0 && S_ISREG(info.st_mode);
#endif
}

int existingFileWriteRefusal(const QString &path)
{
    const QString local = localPath(path);
    if (local.isEmpty() || !isRegularFile(local))
        return 0;
#ifdef Q_OS_WIN
    const std::wstring native = nativeW(local);
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return EACCES;
    // Opened for writing and closed again, nothing written: a share may refuse what no attribute shows.
    const HANDLE file = CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Held open by another program is no refusal of the user: the write goes in place then.
        return error == ERROR_ACCESS_DENIED || error == ERROR_NETWORK_ACCESS_DENIED || error == ERROR_WRITE_PROTECT
                   ? errnoOf(error)
                   : 0;
    }
    CloseHandle(file);
    return 0;
#else
    const QByteArray name = QFile::encodeName(local);
    if (::access(name.constData(), W_OK) != 0)
        return errno == ENOENT ? 0 : errno;
    // No write permission for anyone is the file made read-only, as Windows' attribute, which binds an
    // administrator too: root, whom access() lets through, leaves it as well.
    struct stat info;
    if (::stat(name.constData(), &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return EACCES;
    return 0;
#endif
}

FileFacts fileFacts(const QString &path)
{
    FileFacts facts;
    const QString local = localPath(path);
    if (local.isEmpty())
        return facts;
#ifdef Q_OS_WIN
    const HANDLE handle = CreateFileW(nativeW(local).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return facts;
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    const bool read = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info)
                      && GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic);
    CloseHandle(handle);
    if (!read
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        return facts;
    facts.size = qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    // 100 ns steps since 1601
    const qint64 written = qint64((quint64(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime);
    facts.modified = written / 10000 - Q_INT64_C(11644473600000);
    facts.changed = QString::number(basic.ChangeTime.QuadPart);
    facts.id = QString::number(info.dwVolumeSerialNumber) + QLatin1Char(':')
               + QString::number((quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
#else
    struct stat info;
    if (::lstat(QFile::encodeName(local).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return facts;
    facts.size = qint64(info.st_size);
    facts.modified = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
    facts.changed = QString::number(qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec);
    facts.id = QString::number(quint64(info.st_ino));
#endif
    return facts;
}

qint64 lastTouched(const QString &path)
{
    const FileFacts facts = fileFacts(path);
    bool known = false;
    const qint64 changed = facts.changed.toLongLong(&known);
    if (facts.size < 0)
        return 0;
    if (!known)
        return facts.modified;
#ifdef Q_OS_WIN
    const qint64 changedMs = changed / 10000 - Q_INT64_C(11644473600000); // 100 ns steps since 1601
#else
    const qint64 changedMs = changed / 1000000; // ns
#endif
    return qMax(facts.modified, changedMs);
}

namespace {
// Whether name is "." prefix "-" and the random part temporaryName() gives.
bool isTemporaryOf(const QString &name, const QString &prefix)
{
    const QString start = QLatin1Char('.') + prefix + QLatin1Char('-');
    if (!name.startsWith(start) || name.size() == start.size() || name.size() > start.size() + 13)
        return false;
    return std::all_of(name.begin() + start.size(), name.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
    });
}
} // namespace

bool isCopyTemporary(const QString &name)
{
    return isTemporaryOf(name, kCopying);
}

bool isWriteTemporary(const QString &name)
{
    return isTemporaryOf(name, kWriting);
}

bool isClockTemporary(const QString &name)
{
    return isTemporaryOf(name, kClock);
}

bool readRegularFile(const QString &path, qint64 maxBytes, QByteArray *bytes, int *error)
{
    bytes->clear();
    auto fail = [&](int e) {
        if (error)
            *error = e;
        errno = e;
        return false;
    };
    const QString local = localPath(path);
    if (local.isEmpty())
        return fail(ENOENT);
#ifdef Q_OS_WIN
    // The reparse point itself is opened, never what it points to; a device or pipe name gives no disk file.
    HANDLE handle = CreateFileW(nativeW(local).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return fail(errnoOf(GetLastError()));
    struct Closer {
        HANDLE h;
        ~Closer() { CloseHandle(h); }
    } closer{handle};
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info))
        return fail(EINVAL);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return fail(ELOOP);
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return fail(EINVAL);
    const qint64 size = (qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > maxBytes)
        return fail(EFBIG);
    QByteArray out(int(size), Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!ReadFile(handle, out.data() + done, DWORD(size - done), &got, nullptr))
            return fail(errnoOf(GetLastError()));
        if (got == 0)
            break;
        done += got;
    }
    out.truncate(int(done));
    *bytes = out;
#else
    // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer; O_NOFOLLOW: a link is refused (ELOOP).
    const int fd = ::open(QFile::encodeName(local).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return fail(errno);
    if (!S_ISREG(info.st_mode))
        return fail(EINVAL);
    if (info.st_size > maxBytes)
        return fail(EFBIG);
    // Read to the bound and one byte past it: a file that grew meanwhile is refused as too large.
    QByteArray out(int(std::min<qint64>(maxBytes + 1, std::max<qint64>(info.st_size, 0) + 1)), Qt::Uninitialized);
    qint64 done = 0;
    for (;;) {
        if (done == out.size()) {
            if (done > maxBytes)
                return fail(EFBIG);
            out.resize(int(std::min<qint64>(maxBytes + 1, done * 2 + 4096)));
        }
        const ssize_t got = ::read(fd, out.data() + done, size_t(out.size() - done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (got == 0)
            break;
        done += got;
    }
    if (done > maxBytes)
        return fail(EFBIG);
    out.truncate(int(done));
    *bytes = out;
#endif
    if (error)
        *error = 0;
    return true;
}

bool runsThisProgram(qint64 pid)
{
    if (pid <= 0 || pid > std::numeric_limits<qint32>::max())
        return false;
#ifdef Q_OS_WIN
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED; // there, but not to be looked at
    DWORD code = 0;
    bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    if (running) {
        std::vector<wchar_t> name(32768);
        DWORD size = DWORD(name.size());
        if (QueryFullProcessImageNameW(process, 0, name.data(), &size))
            running = QFileInfo(QDir::fromNativeSeparators(QString::fromWCharArray(name.data(), int(size))))
                          .fileName()
                          .compare(QFileInfo(QCoreApplication::applicationFilePath()).fileName(), Qt::CaseInsensitive)
                      == 0;
    }
    CloseHandle(process);
    return running;
#else
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return false;
#ifdef Q_OS_LINUX
    // The name of the program file of a process ("" with errno when it cannot be read); one replaced on
    // disk since it started is still the same program.
    auto programOf = [](const QByteArray &link) {
        char name[4096];
        const ssize_t n = ::readlink(link.constData(), name, sizeof name);
        if (n < 0 || size_t(n) >= sizeof name)
            return QByteArray();
        QByteArray file(name, int(n));
        if (file.endsWith(" (deleted)"))
            file.chop(10);
        return file.mid(file.lastIndexOf('/') + 1);
    };
    const QByteArray other = programOf("/proc/" + QByteArray::number(pid) + "/exe");
    if (other.isEmpty())
        return errno != ENOENT; // ENOENT: it has ended, not yet collected
    const QByteArray own = programOf("/proc/self/exe");
    return own.isEmpty() || own == other;
#else
    return true;
#endif
#endif
}

qint64 folderClock(const QString &folder)
{
    qint64 skew = 0;
    {
        QMutexLocker lock(&state().mutex);
        skew = state().folderSkew;
    }
    const QString local = QDir::cleanPath(localPath(folder));
    SystemFile probe;
    QString path;
    for (int attempt = 0; attempt < 4; ++attempt) {
        path = temporaryName(local, kClock);
        if (probe.openForWriting(path, SystemFile::NewOnly) || probe.error() != EEXIST)
            break;
    }
    if (!probe.isOpen())
        return QDateTime::currentMSecsSinceEpoch();
    probe.close();
    const QDateTime written = QFileInfo(path).lastModified();
    removeTemporary(path);
    return written.isValid() ? written.toMSecsSinceEpoch() + skew : QDateTime::currentMSecsSinceEpoch();
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

void failRenames(const QString &pathPart, int times, int error)
{
    QMutexLocker lock(&state().mutex);
    arm(state().rename, pathPart, times);
    state().renameError = error;
}

void failLastWrites(const QString &targetPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().lastWrite, targetPart, times);
}

void failCloses(const QString &targetPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().close, targetPart, times);
}

void refuseMetadata(const QString &targetPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().metadata, targetPart, times);
}

void refuseOpens(const QString &pathPart, int times)
{
    QMutexLocker lock(&state().mutex);
    arm(state().open, pathPart, times);
}

void skewFolderClocks(qint64 ms)
{
    QMutexLocker lock(&state().mutex);
    state().folderSkew = ms;
}

void slowWrites(const QString &pathPart, int ms)
{
    QMutexLocker lock(&state().mutex);
    state().slowPart = pathPart;
    state().slowMs = qMax(0, ms);
}

void holdWrites(const QString &pathPart)
{
    QMutexLocker lock(&state().mutex);
    state().holdPart = pathPart;
    state().holding = true;
}

void holdRemovals(const QString &pathPart)
{
    QMutexLocker lock(&state().mutex);
    state().holdRemovalPart = pathPart;
    state().holdingRemovals = true;
}

void stopAfterPlacing(const QString &targetPart, int count)
{
    QMutexLocker lock(&state().mutex);
    state().stopPart = targetPart;
    state().stopAfter = count;
}

void placedHere(const QString &target)
{
    QMutexLocker lock(&state().mutex);
    if (state().stopAfter <= 0 || !target.contains(state().stopPart) || --state().stopAfter > 0)
        return;
#ifdef Q_OS_WIN
    TerminateProcess(GetCurrentProcess(), 9);
#else
    ::raise(SIGKILL);
#endif
}

void releaseWrites()
{
    QMutexLocker lock(&state().mutex);
    state().holding = false;
    state().holdingRemovals = false;
    state().released.wakeAll();
}

int heldWrites()
{
    QMutexLocker lock(&state().mutex);
    return state().held;
}

void clearFaults()
{
    QMutexLocker lock(&state().mutex);
    state().copy = Fault();
    state().mkdir = Fault();
    state().removal = Fault();
    state().write = Fault();
    state().rename = Fault();
    state().renameError = EPERM;
    state().flush = Fault();
    state().lastWrite = Fault();
    state().close = Fault();
    state().metadata = Fault();
    state().open = Fault();
    state().slowPart.clear();
    state().slowMs = 0;
    state().folderSkew = 0;
    state().holding = false;
    state().holdingRemovals = false;
    state().released.wakeAll();
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

bool renameShouldFail(const QString &path, int *error)
{
    QMutexLocker lock(&state().mutex);
    if (!consume(state().rename, path))
        return false;
    if (error)
        *error = state().renameError;
    return true;
}

bool lastWriteShouldFail(const QString &target)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().lastWrite, target);
}

bool closeShouldFail(const QString &target)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().close, target);
}

bool metadataShouldFail(const QString &target)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().metadata, target);
}

bool openShouldFail(const QString &path)
{
    QMutexLocker lock(&state().mutex);
    return consume(state().open, path);
}

// With the state's lock held: the caller is counted as held until the tests let go of holding.
static void waitWhileHeld(const bool &holding)
{
    ++state().held;
    while (holding)
        state().released.wait(&state().mutex);
    --state().held;
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
    QMutexLocker lock(&state().mutex);
    if (state().holding && path.contains(state().holdPart))
        waitWhileHeld(state().holding);
}

void delayRemoval(const QString &path)
{
    QMutexLocker lock(&state().mutex);
    if (state().holdingRemovals && path.contains(state().holdRemovalPart))
        waitWhileHeld(state().holdingRemovals);
}

} // namespace Platform
