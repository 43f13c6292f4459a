#pragma once
// File and folder operations used all over the program: existence tests, folder creation, copies with a
// numbered free name, guarded recursive deletion, the hidden attribute, opening a folder for the user and
// the local list files (bare QDataStream string sequences in the working directory).

#include "platform.h"

#include <QString>
#include <QStringList>

#include <functional>

// Returns the order path as the web service gave it (a copy). Every reader of an order record passes each
// storage path through it.
QString convertOrderPath(const QString &path);

// One safe folder or file name component built from free text: removes lone surrogates (UTF-16 that
// names no character), < > : " / \ | ? * and the control characters 0x00-0x1F, trims white space, drops
// trailing dots and white space together (Windows drops them: "a ." is "a" there), and cuts what is longer
// than a name may be (see isSafeName) between two characters. Gives "" or a name that isSafeName()
// accepts, but for a Windows device name ("CON", "nul.txt"), which stays as it is (harmless as a part of a
// longer name; the whole name's isSafeName refuses it). Cleaning again changes nothing.
QString normalizeFileName(QString name);
// The text without lone surrogates: a high surrogate not followed by a low one, or a low one alone.
QString withoutLoneSurrogates(const QString &text);
// True for one file or folder name that stays inside the folder it is joined to: not empty, not "." or ".."
// (nor a name the file system reads as one of them: only dots and blanks), no separator ("/" or "\"), no
// drive or stream (":"), no NUL character, no lone surrogate, and not longer than the file system takes a
// name (255 bytes of UTF-8 on Linux and on the shares it serves, 255 UTF-16 units under Windows). On
// Windows also none of the names Windows refuses or reads as another: no control character, none of
// < > " | ? *, no trailing dot or blank ("相册." would be the folder "相册"), no device name. Every name built from web text is checked with it before it is joined to a path or
// anything is made. When refused, *why (if given) says why in the user's words: "名称过长" for a name too
// long, "名称无效" for every other; it is cleared otherwise.
bool isSafeName(const QString &name, QString *why = nullptr);
// A name joined from cleaned parts (a goods name, its type and amount) as the folder keeps it: on Windows
// without trailing dots and blanks, which Windows drops and isSafeName refuses there; elsewhere as it is.
QString storedName(const QString &name);
// True for a name Windows reads as a device in every folder: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9,
// COM¹-COM³, LPT0-LPT9, LPT¹-LPT³, in any letter case, alone or with blanks and a suffix after it
// ("nul.jpg", "COM1 .cr2"). isSafeName refuses them on Windows.
bool isWindowsDeviceName(const QString &name);

// The error of a failed file-system call (errno; on Windows the system error mapped to errno where it
// happened) in the user's words: "磁盘空间不足", "没有权限", "名称过长", … Every box and report line that
// names why a write, copy or removal failed takes its words from here.
QString errorText(int error);
// True for an error of a share's connection that comes back by itself (timed out, the network or the server
// down or out of reach, the connection lost): errorText names it as the network's.
bool isNetworkError(int error);

// True for a path that names nothing but the top of a file system: "/", a drive ("D:", "D:/", "D:\"), a
// share or its host ("//host/share", "\\host\share", "//host"), also after "." and ".." are folded
// ("/a/.." is "/"). An empty path is no root; callers refuse it on their own.
bool isFileSystemRoot(const QString &path);

class FileOperation
{
public:
    // True when a folder exists at the path. An empty path names the working directory and gives true.
    static bool dirExists(const QString &path);
    // True when the folder exists; otherwise creates that one folder (the parent must exist). When false,
    // errno holds the failed call's error (ENOSPC, EROFS, EACCES, ENOENT for a missing parent, EEXIST for a
    // file in the way) for errorText().
    static bool mkDir(const QString &path);
    // True when the folder exists; otherwise creates it together with every missing parent. When false,
    // errno holds the error of the level that could not be made (ENOTDIR for a file standing in the path).
    // The top of a file system is never made: a drive or share that is not there gives false, with the
    // system's error for it.
    static bool mkPath(const QString &path);
    // True only for an existing regular file.
    static bool isFile(const QString &path);
    // The first three characters of the path: the drive root of a Windows path such as "D:/...".
    static QString driveRoot(const QString &path);
    // The part after the last "/" (the whole text without "/", "" when it ends in "/").
    static QString getFileName(const QString &path);
    // Removes the file; false when that fails (a missing file included).
    static bool deleteFile(const QString &path);
    // Removes the hidden regular files of the folder whose names isTemporary knows: a program's temporary
    // files that its end cut short (never a link, a folder or any other kind of file under such a name, nor
    // the temporary of a whole write of this program under way, Platform::isWriteUnderWay).
    // With untouchedForMs above 0, only those nobody has written to or changed for that long on the
    // folder's own clock (Platform::lastTouched against Platform::folderClock): a write under way, on this
    // desk or another, keeps its temporary fresh.
    // stillWanted (when given) is asked before each file: false ends the work there, the rest staying.
    static void removeTemporaries(const QString &folder, const std::function<bool(const QString &name)> &isTemporary,
                                  qint64 untouchedForMs = 0, const std::function<bool()> &stillWanted = {});

    // Copies src to dst. Back-slashes in dst become "/"; the same file as source and target gives true
    // without copying; a missing src gives false. An existing dst is replaced when overwrite is true;
    // otherwise the copy gets the first free numbered name: "x.jpg" -> "x(1).jpg", "x.JPG" -> "x(1).jpg",
    // "x.png" -> "x(1).png", "x" -> "x(1)". The target folder must exist. The copy goes into a temporary
    // file beside the target first: a failed copy leaves an old dst as it was and nothing else behind.
    // Returns whether the copy was made; when not, *why (if given) says why in the user's words.
    // stillWanted as for Platform::copyIntoPlace (false: nothing copied, errno ECANCELED).
    static bool copyFile(const QString &src, const QString &dst, bool overwrite, QString *why = nullptr,
                         const std::function<bool()> &stillWanted = {});
    // The name copyFile would use for dst when dst is taken and overwrite is false.
    static QString freeNumberedName(const QString &dst);
    // The n-th numbered name of dst in that form ("x.jpg", 2 -> "x(2).jpg"), taken or not.
    static QString numberedName(const QString &dst, int n);

    // What a copy that never replaces a file did.
    enum CopyOutcome {
        Copied,       // the target was made
        AlreadyThere, // the target held the same bytes already (an earlier copy, or source and target are one)
        KeptOther,    // the target holds other bytes; it was kept and nothing copied; *why says so
        CopyFailed,   // nothing usable is at the target; *why says why
    };
    // How a file already at the target is recognised as an earlier copy.
    enum class EarlierCopy {
        SameBytes,       // compared byte for byte
        SameSizeAndTime, // a file of the source's size and modification time is taken for it unread (for
                         // copies that delete nothing afterwards: a re-export over a large finished tree);
                         // at another time the bytes are compared
    };
    // The one copy that never replaces a file. Copies source to target, both local file-system paths; the
    // target's folder must exist; the copy takes the source's modification time. A file already at the
    // target is looked at: an earlier copy counts as AlreadyThere, other bytes are kept (KeptOther). A name
    // taken during the copy (another run placing the same file) is looked at the same way. A failed copy's
    // *why names the target and the reason in words ("复制失败：" target "（磁盘空间不足）"), and errno then
    // holds the failed call's error (ENOENT for a missing source). durability: how sure the copy is of its
    // bytes before it takes the target's name (OnDisk for copies whose source is deleted afterwards);
    // stillWanted as for Platform::copyIntoPlace (CopyFailed, errno ECANCELED).
    static CopyOutcome copyNoReplace(const QString &source, const QString &target, QString *why = nullptr,
                                     EarlierCopy earlier = EarlierCopy::SameBytes,
                                     Platform::Durability durability = Platform::Durability::Cached,
                                     const std::function<bool()> &stillWanted = {});
    // True when both are files (never a FIFO or a device, which are not opened) that can be read and hold
    // the same bytes.
    static bool sameContent(const QString &a, const QString &b);

    // Hidden attribute of a folder or file: false when nothing is there, true when hidden already,
    // otherwise whether adding it succeeded.
    static bool setDirHidden(const QString &path);
    static bool setFileHidden(const QString &path);

    // The storage roots as they stand: g_picPath, g_bakPicPath, g_homePicPath. Only on the GUI thread,
    // where a shop switch rewrites them; work on another thread takes them before it starts.
    static QStringList storageRoots();

    // How far the guard looks: the path and everything inside the folder; the path and the folder itself
    // (removeDir looks further inside as it deletes); or the path alone, for a folder that is only to be
    // used (an order folder a window is about to fill may still be empty).
    enum GuardDepth { WholeFolder, FolderItself, PathOnly };
    // The one guard in front of every recursive deletion: refuses an empty, relative or root path
    // ("/", "C:/", a UNC share root "//host/share"), a path with a "." or ".." component, any of the
    // storage roots or a folder holding one, (but for PathOnly) an existing folder that is no order folder
    // (it holds neither "照片" nor "成品"), and (WholeFolder) a folder below which another order folder lies (a
    // sub-folder at any depth holding "照片" or "成品"), such as a month or day level, and (but for
    // PathOnly) an order folder that is itself a link or junction, or a disk mounted there
    // ("此路径是链接，不允许删除"). An order folder with its own "照片/" or "成品/" (real folders, not links or
    // junctions) passes; a missing folder is not refused. Blanks around the path are dropped first: the
    // path judged is the path removeDir deletes. When refused, *why (if given) says why (and which order);
    // otherwise it is cleared.
    static bool isSafeToDelete(const QString &path, const QStringList &roots, QString *why = nullptr,
                               GuardDepth depth = WholeFolder);
    // The same against storageRoots(), for the GUI thread.
    static bool isSafeToDelete(const QString &path, QString *why = nullptr);
    // The words a deletion window shows for a folder the guard or removeDir refused with why:
    // "此路径不是订单目录" for a folder that is no order folder, "此路径是链接，不允许删除" for a link,
    // "此路径不允许删除" for a refusal of the path's form (a root, a storage root, a relative path, a folder
    // holding other orders), and why itself for the rest (what stayed and why, a folder gone meanwhile).
    static QString refusalShown(const QString &why);

    // Deletes the folder with all its content (hidden entries included) without recursion, then the
    // folder itself, behind the guard above (with the storage roots given). The guard's look inside the
    // folder and the deletion are one walk: the tree is listed, and nothing is deleted when it holds
    // another order's folder. Links and junctions inside are removed as links, never followed; a folder
    // another disk or share is mounted on (a different file system than the folder holding it, a bind
    // mount) is neither gone into nor removed. False when the folder is missing ("目录已不存在"), the guard
    // refuses it, or anything is left ("有2项未能删除，如 照片/a.jpg（没有权限）", "其中挂载的其它磁盘未删除：
    // 照片/nas"): *refusal, if given, then says why; it is empty after a deletion. A folder counts among what
    // is left only when its own removal failed, not because something inside it stayed; a disk mounted on
    // a file counts among the mounts. What could be deleted stays deleted. last: a file name in the folder
    // removed after everything else, right before the folder (a claim held on it while it is deleted), also
    // when something else stays.
    static bool removeDir(const QString &path, const QStringList &roots, QString *refusal = nullptr,
                          const QString &last = QString());
    // The same against storageRoots(), for the GUI thread.
    static bool removeDir(const QString &path);
    // The same guarded deletion under the other name the program uses; false for a missing folder,
    // otherwise whether the folder itself was removed (false: it is still there, or was refused).
    static bool deleteDir(const QString &path);
    // Removes the folder itself when it is empty (hidden entries count as content), never anything inside
    // it, behind the guard with the path alone judged (PathOnly, against storageRoots(): GUI thread). A link
    // or a disk mounted at the path is never removed. False when it holds anything, is a link or a mount, is
    // refused or cannot be removed; errno then says why (ENOTEMPTY for content), and *why (if given) in the
    // user's words: "是链接", "是挂载的其它磁盘", the guard's refusal as shown, or errorText(errno). *why is
    // cleared when the folder went.
    static bool removeEmptyDir(const QString &path, QString *why = nullptr);
    // The same against the storage roots given: for work on another thread, which takes them on the GUI
    // thread before it starts.
    static bool removeEmptyDir(const QString &path, const QStringList &roots, QString *why = nullptr);

    // Whether every folder level of relative (names joined by "/") below base is a real folder of its own:
    // no link, junction or other reparse point, and no disk or share mounted there, as the deletion guard
    // judges them. A level that is not there yet passes (nothing can be reached through it; the levels
    // below it are not there either). False for a level that is a link or mount, or a file, with *why
    // (when given) naming it ("…是链接" / "…是挂载的其它磁盘" / "…不是文件夹"), so that nothing is removed or
    // written through it. Base itself is not judged. Any thread.
    static bool realFoldersBelow(const QString &base, const QString &relative, QString *why = nullptr);

    // Opens the folder (or file) in the system file browser; blanks in the path are kept. False when the
    // desktop could not be asked to open it.
    static bool openFileDir(const QString &path);

    // Local list files in the working directory.
    // Reads up to count strings; a missing, empty or unreadable file gives an empty list, a damaged
    // file gives the strings before the damage.
    static QStringList readDatFile(const QString &fileName, int count);
    // Replaces the file with the strings, in order; hides it when hide is true. False when it could not
    // be written (the old content then stays as it was).
    static bool writeDatFile(const QString &fileName, const QStringList &list, bool hide);
};
