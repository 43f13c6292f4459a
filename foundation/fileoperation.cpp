#include "fileoperation.h"

#include "globals.h"
#include "logging.h"
#include "platform.h"

#include <QDataStream>
#include <QDebug>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>

#ifdef Q_OS_WIN
#include <windows.h>
#include <direct.h>
#include <wchar.h>

#include <string>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif


QString convertOrderPath(const QString &path)
{
    return QString(path);
}

namespace {

// Whether text[i] (of size characters) is half of a surrogate pair that names no character.
bool isLoneSurrogate(const QChar *text, int size, int i)
{
    if (text[i].isHighSurrogate())
        return i + 1 >= size || !text[i + 1].isLowSurrogate();
    if (text[i].isLowSurrogate())
        return i == 0 || !text[i - 1].isHighSurrogate();
    return false;
}

// The text without lone surrogates and without the characters drop(c) names, character by character: a
// pattern match refuses text that is not valid UTF-16 and would then remove nothing.
template <typename Drop>
QString filtered(const QString &text, Drop drop)
{
    const QChar *from = text.constData();
    const int size = text.size();
    QString out(size, Qt::Uninitialized);
    QChar *to = out.data();
    for (int i = 0; i < size; ++i) {
        if (!isLoneSurrogate(from, size, i) && !drop(from[i]))
            *to++ = from[i];
    }
    out.truncate(int(to - out.constData()));
    return out;
}

} // namespace

QString withoutLoneSurrogates(const QString &text)
{
    return filtered(text, [](QChar) { return false; });
}

namespace {

// The longest name a folder takes: 255 bytes of UTF-8 on Linux (and on the shares it serves), 255 UTF-16
// units under Windows.
constexpr int kMaxNameLength = 255;

// How much of that a character at text[i] takes (a surrogate pair counts for its two halves together).
int lengthOf(const QChar *text, int i)
{
#ifdef Q_OS_WIN
    Q_UNUSED(text)
    Q_UNUSED(i)
    return 1;
#else
    const ushort c = text[i].unicode();
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    if (QChar::isSurrogate(c))
        return 2; // a pair is four bytes; a lone half is refused anyway
    return 3;
#endif
}

int nameLength(const QString &name)
{
    int length = 0;
    for (int i = 0; i < name.size(); ++i)
        length += lengthOf(name.constData(), i);
    return length;
}

// Windows drops trailing dots and blanks from a name ("a ." is "a"); white space of other kinds goes with
// them, so that the name is not changed again when it is cleaned a second time.
void chopDotsAndBlanks(QString *name)
{
    int end = name->size();
    while (end > 0 && (name->at(end - 1) == QLatin1Char('.') || name->at(end - 1).isSpace()))
        --end;
    name->truncate(end);
}

} // namespace

QString normalizeFileName(QString name)
{
    static const QString forbidden = QStringLiteral("<>:\"/\\|?*");
    name = filtered(name, [](QChar c) { return c.unicode() < 0x20 || forbidden.contains(c); }).trimmed();
    chopDotsAndBlanks(&name);
    // Cut to the length the file system takes, never between the two halves of a pair.
    int length = 0;
    for (int i = 0; i < name.size(); ++i) {
        length += lengthOf(name.constData(), i);
        if (length > kMaxNameLength) {
            name.truncate(name.at(i).isLowSurrogate() ? i - 1 : i);
            chopDotsAndBlanks(&name);
            break;
        }
    }
    return name;
}

QString storedName(const QString &name)
{
#ifdef Q_OS_WIN
    int end = name.size();
    while (end > 0 && (name.at(end - 1) == QLatin1Char('.') || name.at(end - 1) == QLatin1Char(' ')))
        --end;
    return name.left(end);
#else
    return name;
#endif
}

bool isWindowsDeviceName(const QString &name)
{
    // "CON", "nul.jpg", "COM1.cr2", "LPT³": a device in every folder, with any suffix and blanks before it.
    static const QRegularExpression device(
        QStringLiteral("^(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|COM[0-9\u00b9\u00b2\u00b3]|LPT[0-9\u00b9\u00b2\u00b3]) *(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return device.match(name).hasMatch();
}

bool isSafeName(const QString &name, QString *why)
{
    auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    const QChar *text = name.constData();
    const int size = name.size();
    for (int i = 0; i < size; ++i) {
        const ushort c = text[i].unicode();
        if (c == '/' || c == '\\' || c == ':' || c == 0 || isLoneSurrogate(text, size, i))
            return refuse(QStringLiteral("名称无效"));
#ifdef Q_OS_WIN
        // Characters Windows takes in no name.
        if (c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return refuse(QStringLiteral("名称无效"));
#endif
    }
    // Windows drops trailing dots and blanks: "..", ". ." and " " name the folder above, the folder
    // itself or nothing.
    int end = name.size();
    while (end > 0 && (name.at(end - 1) == QLatin1Char('.') || name.at(end - 1) == QLatin1Char(' ')))
        --end;
    if (end == 0)
        return refuse(QStringLiteral("名称无效"));
#ifdef Q_OS_WIN
    // There "相册." would be the folder "相册", another name's folder.
    if (end < name.size() || isWindowsDeviceName(name))
        return refuse(QStringLiteral("名称无效"));
#endif
    if (nameLength(name) > kMaxNameLength)
        return refuse(QStringLiteral("名称过长"));
    if (why)
        why->clear();
    return true;
}

bool isFileSystemRoot(const QString &path)
{
    const QString raw = QDir::fromNativeSeparators(Platform::localPath(path)).trimmed();
    if (raw.isEmpty())
        return false;
    static const QRegularExpression root(QStringLiteral("^(/+|[A-Za-z]:/*|//+[^/]+(/+[^/]+)?/*)$"));
    // A share root "//host/share" is checked before cleaning too, which may fold the leading "//".
    return root.match(raw).hasMatch() || root.match(QDir::cleanPath(raw)).hasMatch();
}

namespace {

QString notOrderFolderText()
{
    return QStringLiteral("此路径不是订单目录");
}

QString linkText()
{
    return QStringLiteral("此路径是链接，不允许删除");
}

QString goneText()
{
    return QStringLiteral("目录已不存在");
}

// Absolute, cleaned form of a path for comparisons: "/" separators, no "." or "..", no trailing "/"
// (but for a root), back-slashes from the web service turned into "/".
QString comparablePath(const QString &path)
{
    QString p = QDir::fromNativeSeparators(Platform::localPath(path));
    if (p.isEmpty())
        return p;
    p = QDir::cleanPath(QDir::isRelativePath(p) ? QDir::current().absoluteFilePath(p) : p);
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')) && !p.endsWith(QLatin1String(":/")))
        p.chop(1);
    return p;
}

bool samePath(const QString &a, const QString &b)
{
    return comparablePath(a).compare(comparablePath(b), Platform::pathCase()) == 0;
}

// True when `inner` is `outer` itself or lies inside it.
bool isSameOrInside(const QString &inner, const QString &outer)
{
    if (inner.compare(outer, Platform::pathCase()) == 0)
        return true;
    const QString prefix = outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/');
    return inner.startsWith(prefix, Platform::pathCase());
}

bool existsOrLink(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Why a copy of source to target failed, in the user's words. error is errno right after the failed copy,
// which keeps its failed step's error (0 when nothing says why: then the folder and the disk are looked at).
QString copyFailureReason(const QString &source, const QString &target, int error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("源文件无法读取");
    const QFileInfo folder(QFileInfo(target).absolutePath());
    if (!folder.isDir())
        return QStringLiteral("目标文件夹不存在");
    if (error != 0)
        return errorText(error);
    if (!folder.isWritable())
        return QStringLiteral("没有写入权限");
    const qint64 free = Platform::freeDiskBytes(folder.filePath());
    if (free >= 0 && free < in.size())
        return QStringLiteral("磁盘空间不足");
    return QStringLiteral("写入失败");
}

} // namespace

QString errorText(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("磁盘空间不足");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("超出磁盘配额");
#endif
    case EFBIG:
        return QStringLiteral("磁盘空间不足或文件过大");
    case EROFS:
        return QStringLiteral("磁盘只读或有写保护");
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限");
    case ENAMETOOLONG:
        return QStringLiteral("名称过长");
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
        return QStringLiteral("文件正被其它程序使用");
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在");
    case EEXIST:
        return QStringLiteral("文件已存在");
    case EISDIR:
        return QStringLiteral("同名的文件夹已存在");
    case ENOTEMPTY:
        return QStringLiteral("文件夹不是空的");
    case ENOTDIR:
        return QStringLiteral("路径中有同名的文件");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件过多");
    case EIO:
        return QStringLiteral("磁盘读写出错");
    case EINVAL: // also a name Windows refuses (its invalid-name error comes here)
        return QStringLiteral("名称无效");
    case ELOOP:
        return QStringLiteral("路径中的链接过多或成环");
    case EXDEV:
        return QStringLiteral("不能在两个磁盘之间移动");
    case EMLINK:
        return QStringLiteral("文件夹中的项目过多");
    case ENOMEM:
        return QStringLiteral("内存不足");
#ifdef ETIMEDOUT
    case ETIMEDOUT:
        return QStringLiteral("网络连接超时");
#endif
#ifdef ESTALE
    case ESTALE: // a handle the share dropped (the rest of the connection's errors: isNetworkError)
        return QStringLiteral("网络连接中断");
#endif
#ifdef EHOSTUNREACH
    case EHOSTUNREACH:
        return QStringLiteral("无法到达服务器");
#endif
#ifdef ECONNREFUSED
    case ECONNREFUSED:
        return QStringLiteral("服务器拒绝连接");
#endif
    case EAGAIN:
        return QStringLiteral("资源暂时不可用，请稍后再试");
    case ENXIO:
        return QStringLiteral("设备未连接或未就绪");
    case ENODEV:
        return QStringLiteral("设备不存在");
#ifdef EOVERFLOW
    case EOVERFLOW:
        return QStringLiteral("文件过大，无法处理");
#endif
#ifdef EOPNOTSUPP
    case EOPNOTSUPP:
        return QStringLiteral("磁盘不支持此操作");
#endif
#ifdef EILSEQ
    case EILSEQ: // a name the share's character set cannot hold
        return QStringLiteral("名称中有磁盘不支持的字符");
#endif
#ifdef EREMOTEIO
    case EREMOTEIO:
        return QStringLiteral("服务器读写出错");
#endif
#ifdef ENOKEY
    case ENOKEY:
#endif
#ifdef EKEYEXPIRED
    case EKEYEXPIRED:
#endif
#if defined(ENOKEY) || defined(EKEYEXPIRED)
        return QStringLiteral("服务器登录凭据无效或已过期，请重新连接");
#endif
#ifdef ENOLCK
    case ENOLCK:
        return QStringLiteral("无法锁定文件");
#endif
#ifdef ECANCELED
    case ECANCELED: // the program's own: the write was no longer wanted (another desk took the order over)
        return QStringLiteral("已取消，不再需要写入");
#endif
    default:
        if (isNetworkError(error))
            return QStringLiteral("网络连接中断");
        return QStringLiteral("读写失败（错误码") + QString::number(error) + QStringLiteral("）");
    }
}

bool isNetworkError(int error)
{
    switch (error) {
#ifdef ETIMEDOUT
    case ETIMEDOUT:
#endif
#ifdef ENETDOWN
    case ENETDOWN:
#endif
#ifdef ENETUNREACH
    case ENETUNREACH:
#endif
#ifdef EHOSTUNREACH
    case EHOSTUNREACH:
#endif
#ifdef EHOSTDOWN
    case EHOSTDOWN:
#endif
#ifdef ENOTCONN
    case ENOTCONN:
#endif
#ifdef ECONNRESET
    case ECONNRESET:
#endif
        return true;
    default:
        return false;
    }
}

namespace {

#ifdef Q_OS_WIN
// The path as the system's wide-character calls take it; a long one (deep in an order folder on a share)
// with the prefix that lifts the 260-character limit.
std::wstring nativeW(const QString &path)
{
    QString native = QDir::toNativeSeparators(path);
    if (native.size() >= MAX_PATH - 12 && !native.startsWith(QLatin1String("\\\\?\\"))) {
        if (native.startsWith(QLatin1String("\\\\")))
            native = QStringLiteral("\\\\?\\UNC\\") + native.mid(2);
        else if (native.size() > 2 && native.at(1) == QLatin1Char(':'))
            native = QStringLiteral("\\\\?\\") + native;
    }
    return native.toStdWString();
}
#endif

// Removes one file or link; false with errno telling why when it stays. (A removal a test makes fail
// fails as a file another program holds; one a test holds waits as on a share that stalls.)
bool removeOneFile(const QString &path)
{
    Platform::delayRemoval(path);
    if (Platform::removalShouldFail(path)) {
        errno = EBUSY;
        return false;
    }
#ifdef Q_OS_WIN
    return _wremove(nativeW(path).c_str()) == 0;
#else
    return ::unlink(QFile::encodeName(path).constData()) == 0;
#endif
}

// Removes one empty folder; false with errno telling why when it stays.
bool removeOneDir(const QString &path)
{
    Platform::delayRemoval(path);
    if (Platform::removalShouldFail(path)) {
        errno = EBUSY;
        return false;
    }
#ifdef Q_OS_WIN
    return _wrmdir(nativeW(path).c_str()) == 0;
#else
    return ::rmdir(QFile::encodeName(path).constData()) == 0;
#endif
}

// A symbolic link or, on Windows, a junction or any other reparse point (a mounted volume among them): it
// is removed itself, never followed into.
bool isLink(const QFileInfo &info)
{
#ifdef Q_OS_WIN
    if (info.isSymLink() || info.isJunction())
        return true;
    if (!info.isDir()) // a file with a reparse point goes as any file
        return false;
    const DWORD attributes = GetFileAttributesW(nativeW(info.absoluteFilePath()).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    return info.isSymLink();
#endif
}

// A folder on another file system than the folder holding it (a disk or share mounted there, a bind
// mount): the deletion never goes into it. On Windows a mounted volume is a reparse point, a link. The
// folder holding it is taken as the path leads there (a link on the way is followed).
bool isMountPoint(const QString &dir, const QString &parent)
{
#ifdef Q_OS_WIN
    Q_UNUSED(dir)
    Q_UNUSED(parent)
    return false;
#else
    const QByteArray path = QFile::encodeName(dir);
#if defined(Q_OS_LINUX) && defined(STATX_ATTR_MOUNT_ROOT)
    // The root of a mount, also a bind mount of a folder of the same disk (Linux 5.8 and later).
    struct statx x;
    if (::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &x) == 0
        && (x.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0)
        return (x.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
#endif
    struct stat inner;
    struct stat outer;
    return ::lstat(path.constData(), &inner) == 0 && ::stat(QFile::encodeName(parent).constData(), &outer) == 0
           && inner.st_dev != outer.st_dev;
#endif
}

bool removeLink(const QFileInfo &info)
{
    const QString path = info.absoluteFilePath();
#ifdef Q_OS_WIN
    // A junction or a link to a folder goes with RemoveDirectory, which leaves its target alone.
    if (info.isDir() && removeOneDir(path))
        return true;
#endif
    return removeOneFile(path);
}

// What one walk through a folder tree found: every folder (each before its sub-folders), every file and
// link, and every folder another file system is mounted on (not gone into).
struct TreeListing {
    QStringList folders;
    QFileInfoList leaves;
    QStringList mounts;
};

const QDir::Filters kTreeFilter = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

// The sub-folders every order folder the import makes holds at least one of.
bool isOrderSubFolderName(const QString &name)
{
    return name == QStringLiteral("照片") || name == QStringLiteral("成品");
}

// An order folder as the import makes it: a folder holding "照片/" or "成品/" as folders of its own. A link
// or junction of that name makes no folder an order folder.
bool isOrderFolder(const QString &dir)
{
    for (const QString &sub : {QStringLiteral("/照片"), QStringLiteral("/成品")}) {
        const QFileInfo info(dir + sub);
        if (info.isDir() && !isLink(info))
            return true;
    }
    return false;
}

// Walks the folder tree of top (an existing folder, cleaned and absolute) with a work list; links and
// mount points are listed, never followed. Returns the first folder below top (at any depth) that is an
// order folder of its own: one that holds an order's "照片" or "成品" sub-folder, as the import makes
// them; the walk stops there. "" when there is none, and then *listing (if given) holds the whole tree.
QString walkTree(const QString &top, TreeListing *listing)
{
    QStringList pending{top};
    while (!pending.isEmpty()) {
        const QString dir = pending.takeLast();
        if (listing)
            listing->folders.append(dir);
        const QFileInfoList entries = QDir(dir).entryInfoList(kTreeFilter);
        for (const QFileInfo &entry : entries) {
            const QString name = entry.fileName();
            if (entry.isDir() && dir != top && isOrderSubFolderName(name))
                return dir;
            if (!entry.isDir() || isLink(entry)) {
                if (listing)
                    listing->leaves.append(entry);
            } else if (isMountPoint(entry.absoluteFilePath(), dir)) {
                if (listing)
                    listing->mounts.append(entry.absoluteFilePath());
            } else {
                pending.append(entry.absoluteFilePath());
            }
        }
    }
    return QString();
}

// The first order folder of its own below dir, see walkTree; "" for none or when dir is no folder.
QString orderFolderBelow(const QString &dir)
{
    const QFileInfo info(dir);
    if (!info.isDir() || info.isSymLink())
        return QString();
    return walkTree(QDir::cleanPath(info.absoluteFilePath()), nullptr);
}

QString nestedOrderRefusal(const QString &nested, const QString &path)
{
    return QStringLiteral("holds the order folder ") + nested + QStringLiteral(": ") + path;
}

// Only an order folder goes: an absolute path naming, say, a share's documents folder is kept whole.
// A missing folder is no refusal (there is nothing to delete). "" when dir may go.
QString notOrderFolderRefusal(const QString &dir, const QString &path)
{
    if (QFileInfo(dir).isDir() && !isOrderFolder(dir))
        return notOrderFolderText() + QStringLiteral("：") + path;
    return QString();
}

// An order folder that is itself a link (or junction): deleting it would take the link only, or what it
// leads to, and the guard judged the link's place. A disk mounted as the order folder counts as a link, as
// one inside it does (and as Windows has it): what lies on that disk is never deleted. "" when dir is
// neither.
QString linkRefusal(const QString &dir, const QString &path)
{
    const QFileInfo info(dir);
    if (isLink(info) || (info.isDir() && isMountPoint(dir, info.absolutePath())))
        return linkText() + QStringLiteral("：") + path;
    return QString();
}

// Deletes the folder tree of root (a folder, not a link) after one walk through it, which lists what to
// delete and refuses a tree holding another order's folder before anything is deleted (*refusal says
// which). Links are removed as links and never followed; a folder another disk is mounted on is neither
// gone into nor removed. When anything stays, *refusal says what and why. A file of root named last (the
// claim the deletion holds the folder with) is removed after everything else has gone, right before root
// itself (also when something else stays: the deletion is over).
bool removeTree(const QString &root, const QString &path, QString *refusal, const QString &last)
{
    const QString lastPath = last.isEmpty() ? QString() : root + QLatin1Char('/') + last;
    TreeListing listing;
    const QString nested = walkTree(root, &listing);
    if (!nested.isEmpty()) {
        *refusal = nestedOrderRefusal(nested, path);
        return false;
    }
    *refusal = notOrderFolderRefusal(root, path);
    if (!refusal->isEmpty())
        return false;
    // The folders below root that hold something that stays: their own removal fails because of it, which
    // names nothing more.
    QSet<QString> holding;
    auto holds = [&](QString item) {
        for (int cut = item.lastIndexOf(QLatin1Char('/')); cut > root.size(); cut = item.lastIndexOf(QLatin1Char('/'))) {
            item.truncate(cut);
            if (holding.contains(item))
                break;
            holding.insert(item);
        }
    };
    int left = 0;
    QString firstLeft;
    QString firstReason;
    auto stays = [&](const QString &item, const QString &reason) {
        if (left++ == 0) {
            firstLeft = item;
            firstReason = reason;
        }
        holds(item);
        qCDebug(lcFiles) << "cannot delete" << item << reason;
    };
    // A disk mounted on a file, or on a folder after the walk: named with the other mounts, never removed.
    auto mounted = [&](const QString &item, int error) {
        if (error != EBUSY || !isMountPoint(item, QFileInfo(item).absolutePath()))
            return false;
        listing.mounts.append(item);
        holds(item);
        return true;
    };
    // What is gone by the time it is removed (another desk deleting the same order) does not stay.
    for (const QFileInfo &entry : qAsConst(listing.leaves)) {
        if (!lastPath.isEmpty() && entry.absoluteFilePath() == lastPath)
            continue;
        if (!(isLink(entry) ? removeLink(entry) : removeOneFile(entry.absoluteFilePath()))) {
            const int error = errno;
            if (error != ENOENT && !mounted(entry.absoluteFilePath(), error))
                stays(entry.absoluteFilePath(), errorText(error));
        }
    }
    // Sub-folders first; a folder that still holds something stays (what it holds is named), one whose own
    // removal failed is named.
    const QStringList &folders = listing.folders;
    for (int i = folders.size() - 1; i > 0; --i) {
        const QString &folder = folders.at(i);
        if (!removeOneDir(folder)) {
            const int error = errno;
            if (error == ENOENT)
                continue;
            if (error == ENOTEMPTY || error == EEXIST || holding.contains(folder))
                holds(folder);
            else if (error == ENOTDIR && isLink(QFileInfo(folder))) // made a link after the walk
                stays(folder, QStringLiteral("是链接"));
            else if (!mounted(folder, error))
                stays(folder, errorText(error));
        }
    }
    if (!lastPath.isEmpty() && !removeOneFile(lastPath)) {
        const int error = errno;
        if (error != ENOENT)
            stays(lastPath, errorText(error));
    }
    const QDir top(root);
    QStringList why;
    if (!listing.mounts.isEmpty()) {
        QStringList mounts;
        for (const QString &mount : qAsConst(listing.mounts))
            mounts << top.relativeFilePath(mount);
        why << QStringLiteral("其中挂载的其它磁盘未删除：") + mounts.join(QStringLiteral("、"));
    }
    if (left > 0)
        why << QStringLiteral("有") + QString::number(left) + QStringLiteral("项未能删除，如 ") + top.relativeFilePath(firstLeft)
                   + QStringLiteral("（") + firstReason + QStringLiteral("）");
    if (why.isEmpty()) {
        if (!removeOneDir(root)) {
            const int error = errno;
            // made a link, or a disk mounted on it, after the guard looked
            const QString link = error == ENOTDIR || error == EBUSY ? linkRefusal(root, path) : QString();
            why << (error == ENOENT    ? goneText()
                    : !link.isEmpty() ? link
                                      : QStringLiteral("订单目录未能删除（") + errorText(error) + QStringLiteral("）"));
        } else if (QFileInfo::exists(root)) { // still held open by another program (Windows)
            why << QStringLiteral("订单目录未能删除（") + errorText(EBUSY) + QStringLiteral("）");
        } else {
            return true;
        }
    }
    *refusal = why.join(QStringLiteral("；"));
    return false;
}

// The guard's checks of the path itself, without looking into the folder: the refusal, "" when the path
// may be deleted. *clean receives the cleaned path.
QString pathRefusal(const QString &path, const QStringList &roots, QString *clean)
{
    const QString raw = QDir::fromNativeSeparators(Platform::localPath(path)).trimmed();
    if (raw.isEmpty())
        return QStringLiteral("empty path");
    if (isFileSystemRoot(raw))
        return QStringLiteral("root path: ") + path;
    // "x/y" and, on Windows, "C:x" are relative; "//host/share/x" and "C:/x" are absolute.
    if (QDir::isRelativePath(raw))
        return QStringLiteral("relative path: ") + path;
    // "." and ".." are never part of a folder the web service names: such a path may point anywhere.
    const QStringList parts = raw.split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral(".")) || parts.contains(QStringLiteral("..")))
        return QStringLiteral("path with . or ..: ") + path;

    *clean = comparablePath(raw);
    if (clean->isEmpty() || isFileSystemRoot(*clean))
        return QStringLiteral("root path: ") + path;

    QStringList candidates{*clean};
    const QString canonical = QFileInfo(*clean).canonicalFilePath();
    if (!canonical.isEmpty() && canonical != *clean)
        candidates.append(canonical);
    if (isFileSystemRoot(canonical))
        return QStringLiteral("root path: ") + path;

    for (const QString &root : roots) {
        if (root.trimmed().isEmpty())
            continue;
        QStringList rootForms{comparablePath(root)};
        const QString rootCanonical = QFileInfo(rootForms.first()).canonicalFilePath();
        if (!rootCanonical.isEmpty())
            rootForms.append(rootCanonical);
        for (const QString &candidate : candidates) {
            for (const QString &rootForm : rootForms) {
                // The storage root itself, or a folder holding it.
                if (isSameOrInside(rootForm, candidate))
                    return QStringLiteral("storage root: ") + path;
            }
        }
    }
    return QString();
}

} // namespace

bool FileOperation::dirExists(const QString &path)
{
    return QDir(Platform::localPath(path)).exists();
}

namespace {

// Makes one folder (its parent must be there); false with errno holding the failed call's error.
bool makeOneFolder(const QString &local)
{
#ifdef Q_OS_WIN
    QString path = local;
    while (path.size() > 3 && (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'))))
        path.chop(1);
    if (CreateDirectoryW(nativeW(path).c_str(), nullptr))
        return true;
    const int error = Platform::lastSystemError();
#else
    if (::mkdir(QFile::encodeName(local).constData(), 0777) == 0)
        return true;
    const int error = errno;
#endif
    // Another run may make the same folder at the same moment.
    if (error == EEXIST && QFileInfo(local).isDir())
        return true;
    errno = error;
    return false;
}

// Why no folder is at the path, as the system tells it: ENOENT for a drive or share that is not there,
// the network's or device's error for one that cannot be reached, ENOTDIR for something else there.
int absenceError(const QString &local)
{
#ifdef Q_OS_WIN
    if (GetFileAttributesW(nativeW(local).c_str()) == INVALID_FILE_ATTRIBUTES)
        return Platform::errnoOf(GetLastError());
#else
    struct stat info;
    if (::stat(QFile::encodeName(local).constData(), &info) != 0)
        return errno;
#endif
    return ENOTDIR;
}

} // namespace

bool FileOperation::mkDir(const QString &path)
{
    const QString local = Platform::localPath(path);
    if (QDir(local).exists())
        return true;
    if (Platform::mkDirShouldFail(local)) {
        errno = EACCES;
        return false;
    }
    return makeOneFolder(local);
}

bool FileOperation::mkPath(const QString &path)
{
    const QString local = Platform::localPath(path);
    if (QDir(local).exists())
        return true;
    if (local.isEmpty()) {
        errno = ENOENT;
        return false;
    }
    if (Platform::mkDirShouldFail(local)) {
        errno = EACCES;
        return false;
    }
    // The missing levels, from the first one below a folder that is there (or below the top of the file
    // system, which is never made: the system says why a level on a missing drive or share fails).
    QStringList missing;
    for (QString level = QDir::cleanPath(local); !QDir(level).exists() && !isFileSystemRoot(level);) {
        missing.prepend(level);
        const QString parent = QFileInfo(level).path();
        if (parent == level)
            break;
        level = parent;
    }
    if (missing.isEmpty() && !QDir(local).exists()) {
        // The top of the file system itself is missing (a drive or share that is not there, or offline):
        // it is never made, and it is not there.
        errno = absenceError(QDir::cleanPath(local));
        return false;
    }
    for (int i = 0; i < missing.size(); ++i) {
        if (makeOneFolder(missing.at(i)))
            continue;
        if (errno == EEXIST && i + 1 < missing.size())
            errno = ENOTDIR; // a file where a folder of the path should be
        return false;
    }
    return true;
}

bool FileOperation::isFile(const QString &path)
{
    return QFileInfo(Platform::localPath(path)).isFile();
}

QString FileOperation::driveRoot(const QString &path)
{
    return path.left(3);
}

QString FileOperation::getFileName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool FileOperation::deleteFile(const QString &path)
{
    const QString local = Platform::localPath(path);
    if (local.isEmpty() || !existsOrLink(local))
        return false;
    return removeOneFile(local);
}

void FileOperation::removeTemporaries(const QString &folder, const std::function<bool(const QString &)> &isTemporary,
                                      qint64 untouchedForMs, const std::function<bool()> &stillWanted)
{
    const QString dir = Platform::localPath(folder);
    if (dir.isEmpty())
        return;
    const QString slash = dir.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/");
    qint64 now = -1; // the folder's clock, read once there is a temporary to judge
    for (const QString &name : QDir(dir).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System)) {
        if (stillWanted && !stillWanted())
            return;
        const QString path = dir + slash + name;
        if (!isTemporary(name) || Platform::isWriteUnderWay(name) || !Platform::isRegularFile(path))
            continue;
        if (untouchedForMs > 0) {
            if (now < 0)
                now = Platform::folderClock(dir);
            const qint64 touched = Platform::lastTouched(path);
            if (touched <= 0 || now - touched < untouchedForMs)
                continue;
        }
        if (deleteFile(path))
            qCDebug(lcFiles) << "temporary file cut short removed:" << path;
    }
}

QString FileOperation::numberedName(const QString &dst, int n)
{
    const int nameStart = dst.lastIndexOf(QLatin1Char('/')) + 1;
    QString base;
    QString suffix;
    if (dst.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive) && dst.size() - nameStart > 4) {
        // Photos keep the name form the storage has always used: "x(1).jpg".
        base = dst.left(dst.size() - 4);
        suffix = QStringLiteral(".jpg");
    } else {
        const int dot = dst.lastIndexOf(QLatin1Char('.'));
        if (dot > nameStart) {
            base = dst.left(dot);
            suffix = dst.mid(dot);
        } else {
            base = dst;
        }
    }
    return base + QLatin1Char('(') + QString::number(n) + QLatin1Char(')') + suffix;
}

QString FileOperation::freeNumberedName(const QString &dst)
{
    for (int n = 1;; ++n) {
        const QString candidate = numberedName(dst, n);
        if (!existsOrLink(candidate))
            return candidate;
    }
}

bool FileOperation::copyFile(const QString &src, const QString &dst, bool overwrite, QString *why,
                             const std::function<bool()> &stillWanted)
{
    const QString wanted = QString(dst).replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString target = wanted;
    const QString source = Platform::localPath(src);

    // The same file under two spellings must never be removed as the "old target".
    if (samePath(source, target))
        return true;
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists()) {
        if (why)
            *why = QStringLiteral("源文件不存在");
        return false;
    }
    if (existsOrLink(target)) {
        const QFileInfo targetInfo(target);
        if (targetInfo.exists() && sourceInfo.canonicalFilePath() == targetInfo.canonicalFilePath())
            return true;
        if (!overwrite)
            target = freeNumberedName(target);
    }
    auto failed = [&](int error) {
        if (why)
            *why = copyFailureReason(source, target, error);
        return false;
    };
    Platform::delayWrite(target);
    // A copy that fails leaves whatever was at the target as it was.
    if (overwrite) {
        if (Platform::copyIntoPlace(source, target, Platform::Placing::Replace, Platform::Durability::Cached, stillWanted))
            return true;
        return failed(errno);
    }
    // A free name taken meanwhile by another copy is not replaced: the copy takes the next free one.
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (Platform::copyIntoPlace(source, target, Platform::Placing::OnlyIfFree, Platform::Durability::Cached,
                                    stillWanted))
            return true;
        const int error = errno;
        if (error != EEXIST)
            return failed(error);
        target = freeNumberedName(wanted);
    }
    return failed(EEXIST);
}

bool FileOperation::sameContent(const QString &a, const QString &b)
{
    // Files only: a FIFO or a device under the name is never opened (a read could wait for ever or never end).
    if (!QFileInfo(a).isFile() || !QFileInfo(b).isFile())
        return false;
    QFile fa(a);
    QFile fb(b);
    if (fa.size() != fb.size() || !fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    constexpr qint64 kChunk = 1 << 20;
    while (!fa.atEnd()) {
        const QByteArray ca = fa.read(kChunk);
        if (ca.isEmpty() || ca != fb.read(kChunk))
            return false;
    }
    return fb.atEnd();
}

FileOperation::CopyOutcome FileOperation::copyNoReplace(const QString &source, const QString &target, QString *why,
                                                       EarlierCopy earlier, Platform::Durability durability,
                                                       const std::function<bool()> &stillWanted)
{
    auto fail = [why](CopyOutcome outcome, const QString &text) {
        if (why)
            *why = text;
        return outcome;
    };
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile()) {
        errno = ENOENT;
        return fail(CopyFailed, QStringLiteral("源文件不存在"));
    }
    if (samePath(source, target))
        return AlreadyThere;
    // A look at a file already there: an earlier copy counts as made, other bytes are kept. A copy carries
    // its source's time, so where the caller allows it a file of the source's size and time is that copy,
    // not read again; at another time (a share that refused the time) the bytes decide. Callers that
    // delete the source afterwards always compare the bytes.
    auto lookAtTarget = [&] {
        const QFileInfo targetInfo(target);
        const bool sameSizeAndTime = targetInfo.isFile() && targetInfo.size() == sourceInfo.size()
                                     && targetInfo.lastModified() == sourceInfo.lastModified();
        if ((earlier == EarlierCopy::SameSizeAndTime && sameSizeAndTime) || sameContent(source, target))
            return AlreadyThere;
        return fail(KeptOther, QStringLiteral("目标文件已存在且内容不同，未覆盖：") + target);
    };
    // The placing is refused when another run put a file there meanwhile (a second export of the same
    // order, a second desk): it is looked at as one that was there before. A name taken and given up
    // again meanwhile (another desk's photo moving on to the next number) is tried again.
    int error = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (existsOrLink(target))
            return lookAtTarget();
        Platform::delayWrite(target);
        errno = 0;
        if (Platform::copyIntoPlace(source, target, Platform::Placing::OnlyIfFree, durability, stillWanted))
            return Copied;
        error = errno;
        if (error == ECANCELED || (error != EEXIST && !existsOrLink(target)))
            break;
    }
    if (error != ECANCELED && existsOrLink(target)) // not looked at once the copy is no longer wanted
        return lookAtTarget();
    const QString reason = copyFailureReason(source, target, error);
    errno = error;
    return fail(CopyFailed, QStringLiteral("复制失败：") + target + QStringLiteral("（") + reason + QStringLiteral("）"));
}

bool FileOperation::setDirHidden(const QString &path)
{
    return Platform::setHidden(path);
}

bool FileOperation::setFileHidden(const QString &path)
{
    return Platform::setHidden(path);
}

QStringList FileOperation::storageRoots()
{
    return {g_picPath, g_bakPicPath, g_homePicPath};
}

bool FileOperation::isSafeToDelete(const QString &path, const QStringList &roots, QString *why, GuardDepth depth)
{
    QString clean;
    QString reason = pathRefusal(path, roots, &clean);
    if (reason.isEmpty() && depth != PathOnly)
        reason = linkRefusal(clean, path);
    // The deletion of one order never takes another order's folder with it: a month or day level, or
    // any folder holding orders, is refused.
    if (reason.isEmpty() && depth == WholeFolder) {
        const QString nested = orderFolderBelow(clean);
        if (!nested.isEmpty())
            reason = nestedOrderRefusal(nested, path);
    }
    if (reason.isEmpty() && depth != PathOnly)
        reason = notOrderFolderRefusal(clean, path);
    if (why)
        *why = reason;
    return reason.isEmpty();
}

QString FileOperation::refusalShown(const QString &why)
{
    for (const QString &shown : {notOrderFolderText(), linkText()}) {
        if (why.startsWith(shown))
            return shown;
    }
    // The guard's refusals of a path's form are written for the log, in English; the others are in the
    // user's words already.
    if (why.isEmpty() || why.at(0).unicode() < 0x80)
        return QStringLiteral("此路径不允许删除");
    return why;
}

bool FileOperation::isSafeToDelete(const QString &path, QString *why)
{
    return isSafeToDelete(path, storageRoots(), why);
}

bool FileOperation::removeDir(const QString &path, const QStringList &roots, QString *refusal, const QString &last)
{
    QString clean;
    QString why = pathRefusal(path, roots, &clean);
    bool removed = false;
    if (why.isEmpty()) {
        // The path the guard judged (trimmed, cleaned, absolute) is the one deleted.
        const QFileInfo info(clean);
        why = linkRefusal(clean, path);
        if (why.isEmpty()) {
            if (!info.exists())
                why = goneText();
            else if (!info.isDir())
                why = notOrderFolderText() + QStringLiteral("：") + path;
            else // the guard's look into the folder is the deletion's own walk
                removed = removeTree(clean, path, &why, last);
        }
    }
    if (!removed)
        qCWarning(lcFiles) << "folder not deleted:" << path << why;
    if (refusal)
        *refusal = why;
    return removed;
}

bool FileOperation::removeDir(const QString &path)
{
    return removeDir(path, storageRoots());
}

bool FileOperation::deleteDir(const QString &path)
{
    return removeDir(path);
}

bool FileOperation::removeEmptyDir(const QString &path, QString *why)
{
    return removeEmptyDir(path, storageRoots(), why);
}

bool FileOperation::removeEmptyDir(const QString &path, const QStringList &roots, QString *why)
{
    QString refusal;
    if (!isSafeToDelete(path, roots, &refusal, PathOnly)) {
        qCWarning(lcFiles) << "folder removal refused:" << refusal;
        if (why)
            *why = refusalShown(refusal);
        errno = EPERM;
        return false;
    }
    // The system removes a folder only when it is empty. A link or a disk mounted there is no folder of
    // this one's own: it stays, and is named as what it is (the system would say "not a folder" or "busy").
    QString local = Platform::localPath(path.trimmed());
    while (local.size() > 1 && local.endsWith(QLatin1Char('/')))
        local.chop(1);
    const QFileInfo info(local);
    QString reason;
    int error = 0;
    if (isLink(info)) {
        reason = QStringLiteral("是链接");
        error = ENOTDIR;
    } else if (info.isDir() && isMountPoint(local, info.absolutePath())) {
        reason = QStringLiteral("是挂载的其它磁盘");
        error = EBUSY;
    } else if (removeOneDir(local)) {
        if (why)
            why->clear();
        return true;
    } else {
        error = errno;
        reason = errorText(error);
    }
    if (why)
        *why = reason;
    errno = error;
    return false;
}

bool FileOperation::realFoldersBelow(const QString &base, const QString &relative, QString *why)
{
    QString level = Platform::localPath(base);
    if (!level.endsWith(QLatin1Char('/')))
        level += QLatin1Char('/');
    for (const QString &name : Platform::localPath(relative).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QString parent = level;
        level += name;
        const QFileInfo info(level);
        QString refusal;
        if (isLink(info))
            refusal = level + QStringLiteral(" 是链接");
        else if (!info.exists())
            return true;
        else if (!info.isDir())
            refusal = level + QStringLiteral(" 不是文件夹");
        else if (isMountPoint(level, parent))
            refusal = level + QStringLiteral(" 是挂载的其它磁盘");
        if (!refusal.isEmpty()) {
            qCWarning(lcFiles) << "not gone through:" << refusal;
            if (why)
                *why = refusal;
            return false;
        }
        level += QLatin1Char('/');
    }
    return true;
}

bool FileOperation::openFileDir(const QString &path)
{
    return Platform::openInFileBrowser(path);
}

QStringList FileOperation::readDatFile(const QString &fileName, int count)
{
    QStringList list;
    QFile file(QDir::currentPath() + QLatin1Char('/') + fileName);
    if (count <= 0 || file.size() == 0 || !file.open(QIODevice::ReadOnly))
        return list;
    QDataStream in(&file);
    for (int i = 0; i < count; ++i) {
        QString text;
        in >> text;
        if (in.status() != QDataStream::Ok)
            break; // truncated or damaged: keep what came before
        list.append(text);
    }
    return list;
}

bool FileOperation::writeDatFile(const QString &fileName, const QStringList &list, bool hide)
{
    const QString path = QDir::currentPath() + QLatin1Char('/') + fileName;
    QString why;
    const bool written = Platform::writeIntoPlace(
        path,
        [&list](QIODevice &file) {
            QDataStream out(&file);
            for (const QString &text : list)
                out << text;
            return out.status() == QDataStream::Ok;
        },
        &why);
    if (!written) {
        qCWarning(lcFiles) << "cannot write" << path << why;
        return false;
    }
    if (hide)
        setFileHidden(path);
    return true;
}
