#include "platform.h"

#include "logging.h"
#include "msgbox.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QStorageInfo>
#include <QThread>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#ifdef Q_OS_LINUX
#include <cerrno>
#include <sys/sendfile.h>
#endif
#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
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
    Fault flush;
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
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return folder.filePath(entry);
    }
    return QString();
}

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
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n == 0)
            return true;
        if (n < 0 || out.write(buffer.constData(), n) != n)
            return false;
    }
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

void flushFileSystem(const QString &path)
{
#ifdef Q_OS_LINUX
    const int fd = ::open(QFile::encodeName(localPath(path)).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path)
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
    state().flush = Fault();
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
