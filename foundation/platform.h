#pragma once
// The thin layer between the program and the operating system: hidden attribute, free disk space,
// opening a folder in the file browser, the boundary for paths that come from the web service and a
// case-insensitive file lookup. Windows code and its Linux counterpart live side by side in platform.cpp.
//
// A few fault-injection switches let tests drive the failure paths of copies, folder creation and
// removals (tests run as root, so permissions cannot be used for that).

#include <QString>
#include <QStringList>
#include <QIODevice>
#include <Qt>

#include <cerrno>
#include <functional>

namespace Platform {

// Paths from the web service use back-slashes. On Linux they become "/" here, at the file-system
// boundary; on Windows the text is returned unchanged. Strings sent back to the service keep their form.
QString localPath(const QString &path);

// Whether a path (from the web service or chosen by the user) names a folder or file of its own, not one
// read against the program's working folder: a drive ("D:\...") or a share ("\\host\...") on Windows, a
// path from "/" elsewhere. The path goes through localPath first.
bool isAbsolutePath(const QString &path);

// Case rule of the file system for path comparisons (insensitive on Windows).
Qt::CaseSensitivity pathCase();

// Gives the file or folder the hidden attribute, keeping its other attributes. False when nothing exists
// at the path or the attribute cannot be read or written; true when it is hidden already.
// On Linux the call succeeds for any existing path and the path is added to hiddenPaths().
bool setHidden(const QString &path);
// True when the path has the hidden attribute (Windows) or was hidden through setHidden (Linux).
bool isHidden(const QString &path);
// Linux record of the paths that setHidden hid (cleaned, absolute); empty on Windows.
QStringList hiddenPaths();
void clearHiddenPaths();

// Free bytes available to the user on the disk holding the path (the nearest existing parent counts when
// the path is missing yet); -1 when that cannot be found out.
qint64 freeDiskBytes(const QString &path);
// Tests: makes freeDiskBytes report this value for every path; a negative value restores the real query.
void setFreeDiskBytesOverride(qint64 bytes);

// Opens a folder (or a file, in its default program) in the system's file browser. Windows: "explorer"
// with the path as one argument, so blanks survive. Linux: the desktop's handler for the local URL.
// While message boxes are in test mode the path is only recorded.
bool openInFileBrowser(const QString &path);
QStringList openedPaths();
void clearOpenedPaths();

// The path of the file in dir whose name equals name without regard to letter case (an exact match is
// preferred), or "" when there is none. Windows matches "a.jpg" and "a.JPG" by itself; this gives Linux
// the same answer.
QString findFileNoCase(const QString &dir, const QString &name);

// Folder listings made so far by findFileNoCase, the folder indexes (FolderIndex), the look-up of an order's
// photos and the storage listings of the single-order window, which count each one with countFolderListing();
// tests count the listings of a run with it. Any thread.
int folderListings();
void countFolderListing();

// Makes the system write what it still holds of the file, or of a folder's entries, to the disk, and
// waits for it: false when that fails (the disk gone, a write error; errno then says why). On Windows a
// folder's entries need no flush of their own (the file's flush writes them) and count as written.
bool flushToDisk(const QString &path);
// How a finished copy takes the target's name.
enum class Placing {
    Replace,    // a file of that name is replaced in one step
    OnlyIfFree, // a file of that name, even one that turns up during the copy, is never replaced
};
// How sure a copy must be of its bytes before it takes the target's name.
enum class Durability {
    Cached, // the bytes may still be in the system's cache (the normal case)
    OnDisk, // the temporary is flushed to the disk through its own descriptor, checked, then closed and renamed
};
// Copies the file source to target (the target's folder must exist) through a hidden temporary file
// beside the target (isCopyTemporary knows its name; on Windows it has the hidden attribute from its first
// byte until just before it takes the target's name), which takes the target's name only once every byte
// is written and the file is closed, both checked (a share may report a failed write only when the file is closed): a copy that fails
// leaves whatever was at the target as it was and no temporary file behind. The copy keeps the source's
// permissions and modification time where the file system allows it; the bytes decide, a refused time or
// permission is only logged. Windows: CopyFileExW (within a share the server copies) and MoveFileExW.
// False when the copy failed or (OnlyIfFree) the name was taken; errno then holds the failed step's error
// (EEXIST: the name was taken). stillWanted (when given) is asked once the copy is whole, just before it
// takes the target's name: false leaves the target as it was, removes the temporary and gives ECANCELED
// (a run whose order another desk has taken over meanwhile, say).
bool copyIntoPlace(const QString &source, const QString &target, Placing placing, Durability durability = Durability::Cached,
                   const std::function<bool()> &stillWanted = {});
// Writes a file whole (write fills the open device, a SystemFile; false from it is a failure) into a new
// temporary file beside the target (isWriteTemporary knows its name; on Windows it has the hidden attribute
// from its first byte until just before it takes the target's name, when it takes that of the file it
// replaces), flushes and closes it, each step checked, and then replaces the target with it in one step
// (placing OnlyIfFree: takes the name only while no file has it, otherwise fails with EEXIST at the step
// Rename), without a sync to disk per file. A file replaced keeps its permissions. A write that
// fails leaves the old target as it was and no temporary file behind; why (when given) then gets the
// reason in the user's words (errorText of the failed step's error; "未能完整写入" when write gave up
// without a failed system call), errno that error (0 in that case), and failedStep (when given) the step
// that failed. stillWanted works as for copyIntoPlace (the step then is Rename, errno ECANCELED). With
// Placing::OnlyIfFree the file takes the name only where it is free, as copyIntoPlace's (the step then is
// Rename, errno EEXIST).
enum class WriteStep {
    None,   // the file is in place
    Open,   // no temporary file could be made beside the target (the folder refused it, or is gone)
    Write,  // writing, flushing or closing the temporary failed
    Rename, // the file was written whole but could not take the target's name
};
bool writeIntoPlace(const QString &target, const std::function<bool(QIODevice &)> &write, QString *why = nullptr,
                    WriteStep *failedStep = nullptr, const std::function<bool()> &stillWanted = {},
                    Placing placing = Placing::Replace);

// Gives the file at from the name to in one step, never over a file of that name (one that turns up meanwhile
// included). False when it cannot; errno then says why (EEXIST: the name is taken; on Windows the system's
// error mapped as errnoOf does).
bool moveIfFree(const QString &from, const QString &to);

// Reads a small file the program wrote for itself (a record beside its data): only a regular file is read,
// never one reached through a link at its last level, and never a FIFO, socket or device, whose read could
// block or never end (the file is opened without waiting, then judged by what the open gave). At most
// maxBytes are read. False when it is not such a file or cannot be read; *error (when given) then holds why:
// ENOENT when nothing is there, ELOOP for a link, EINVAL for a folder or any file that is not a regular one,
// EFBIG for one larger than maxBytes, otherwise the failed call's error.
bool readRegularFile(const QString &path, qint64 maxBytes, QByteArray *bytes, int *error = nullptr);
// Whether the path itself (a link not followed) is a regular file.
bool isRegularFile(const QString &path);
// For a regular file at path (a link not followed): 0 when the user may write it, otherwise the error why
// (EACCES for a file made read-only: no write permission for anyone on Linux, which binds root too; the
// read-only attribute on Windows, or an open for writing the system refuses). 0 when no such file is there.
int existingFileWriteRefusal(const QString &path);

// What identifies a file as it is now, the path itself judged (a link is not followed): its size and
// modification time, which a copy takes from its source and a tool can put back, and what no tool puts
// back: the time of the file's last change (Linux st_ctime; Windows the change time) and its id on its disk
// (Linux the inode; Windows the volume's serial number with the file index).
struct FileFacts {
    qint64 size = -1;    // -1: no regular file there
    qint64 modified = 0; // ms since 1970, as QFileInfo::lastModified() gives it
    QString changed;     // "" when the system gives none
    QString id;          // "" when the system gives none
    bool operator==(const FileFacts &o) const
    {
        return size == o.size && modified == o.modified && changed == o.changed && id == o.id;
    }
};
FileFacts fileFacts(const QString &path);
// The last time the file at path (a link not followed) was written or had its facts changed, on the clock
// of the file system holding it (ms since 1970): the later of its modification time, which a copy sets back
// to its source's, and its change time, which moves with that setting too and which no tool puts back.
// 0 when no regular file is there.
qint64 lastTouched(const QString &path);
// Whether name is that of the temporary file copyIntoPlace writes beside its target (".copying-" and a
// random part); one left in a folder is a copy cut short by the program's end.
bool isCopyTemporary(const QString &name);
// The same for the temporary file writeIntoPlace writes beside its target (".writing-" and a random part).
bool isWriteTemporary(const QString &name);
// The same for the probe folderClock writes into the folder (".tessaly-clock-" and a random part); one left
// there is a probe cut short by the program's end.
bool isClockTemporary(const QString &name);
// Whether the temporary file of that name is one a whole write (writeIntoPlace) or a copy (copyIntoPlace) of
// this program is writing at the moment: no write cut short, even where it lies beside those. Any thread.
bool isWriteUnderWay(const QString &name);

// The error of the system call that just failed, as an errno: errno itself, on Windows GetLastError()
// mapped to one (for callers that make the system call themselves and name its failure with errorText()).
int lastSystemError();

// Whether the process with the id runs this program now (a program file of this program's name, wherever
// it lies: another version of it counts). False when no process has the id any more (or it has ended and
// waits to be collected), and when one of another program has it; true when that cannot be told (a process
// of another user, whose program file is not shown).
bool runsThisProgram(qint64 pid);

// The time on the clock of the file system that holds folder (milliseconds since 1970): the modification
// time it gives a file written there now, which on a share is its server's clock, not the desk's. Desks
// whose clocks differ read the same time from one folder. A probe file of its own is made and removed
// again; when none can be made there, the desk's clock.
qint64 folderClock(const QString &folder);

// A file written through the system's own calls, for the writers that say why a write failed: write-only,
// seekable, with a write buffer of its own, and keeping the error of the system call that failed (errno; on
// Windows the system error mapped to one) for errorText(). After a failed write it takes no more bytes, so
// the error kept is that of the first failure.
class SystemFile : public QIODevice
{
public:
    enum Creation {
        NewOnly,  // a new file; fails with EEXIST when the name is taken
        Truncate, // a file of that name is emptied, otherwise one is made
        Append,   // every write goes to the end of the file, which is made when missing; only a regular
                  // file is opened, never one reached through a link at its last level (ELOOP), a FIFO
                  // or a device (EINVAL)
        Existing, // the file that is there, opened as it is: nothing is cut, and each write goes where
                  // the position says (seek); only a regular file, judged as for Append; ENOENT when none
                  // is there
    };
    SystemFile() = default;
    ~SystemFile() override; // closes the file unchecked
    SystemFile(const SystemFile &) = delete;
    SystemFile &operator=(const SystemFile &) = delete;

    // Opens path for writing, with the permissions any new file of the user's gets; false (error() says
    // why) when it cannot.
    bool openForWriting(const QString &path, Creation creation);
    // Opens a new file (NewOnly) in folder under a hidden name of its own starting with prefix (on Windows
    // with the hidden attribute from its first byte), passing over a name taken meanwhile; *path receives
    // the name. False (error() says why) when none could be made.
    bool openNewIn(const QString &folder, const QString &prefix, QString *path);
    // Writes what the buffer holds; false (error() says why) when the system refused it.
    bool flush();
    // Writes what the buffer holds, then makes the file size bytes long (cutting it, or lengthening it with
    // zero bytes); false (error() says why) when either is refused. After a failed write the bytes still in
    // the buffer are dropped, and the file is cut all the same: a writer takes back what did not fit.
    bool resize(qint64 size);
    // Flushes and closes the file, both checked: a share may report a write that did not reach its disk
    // only when the file is closed.
    bool closeChecked();
    // The error of the system call that failed (0: none did).
    int error() const { return m_error; }
    // The system's descriptor (Windows: HANDLE) while open.
    qintptr handle() const { return m_handle; }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }
    void close() override; // unchecked

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool openFile(const QString &path, Creation creation, bool hidden);
    bool writeAt(qint64 offset, const char *data, qint64 size);
    bool release();

    qintptr m_handle = -1;
    qint64 m_size = 0;     // the file's length, the bytes still in the buffer included
    QByteArray m_buffer;   // bytes not written yet, which belong at m_bufferAt
    qint64 m_bufferAt = 0;
    int m_error = 0;
    bool m_append = false;
};

// ---- fault injection for tests ----
// The next `times` operations (-1: all of them) whose path contains `pathPart` (empty: any path) fail.
void failCopies(const QString &targetPart, int times = -1);
// A folder creation that fails is refused as by a folder the user may not write to (EACCES).
void failMkDirs(const QString &pathPart, int times = -1);
void failRemovals(const QString &pathPart, int times = -1);
// Flushes to the disk: flushToDisk, and copies into place made OnDisk (matched by their target).
void failFlushes(const QString &pathPart, int times = -1);
// File writes that replace a file whole (the write is made, then fails before the file is replaced).
void failWrites(const QString &pathPart, int times = -1);
// Such writes whose last step, the rename over the old file, is refused (as a share may refuse it); also
// the renames of the records beside the data (UnsentReport) whose new name contains pathPart.
// The refusal gives error (errno; EPERM by default: a lasting refusal, where EBUSY is another program
// holding the file for a while).
void failRenames(const QString &pathPart, int times = -1, int error = EPERM);
// Copies into place whose target contains pathPart: the last write of the bytes fails, as on a disk that
// fills up at the end of the file.
void failLastWrites(const QString &targetPart, int times = -1);
// Files put in place (copies and whole writes) whose target contains pathPart: the system's close of the
// finished file fails with "no space", as a share reports there a write that did not reach its disk.
void failCloses(const QString &targetPart, int times = -1);
// Copies into place whose target contains pathPart: the file system refuses to set the copy's permissions
// and time, as a share mounted for another owner or a FAT disk does.
void refuseMetadata(const QString &targetPart, int times = -1);
// Files opened for writing through SystemFile (whole writes, their temporaries, write probes) whose path
// contains pathPart: the open is refused as in a folder or of a file the user may not write to (EACCES).
void refuseOpens(const QString &pathPart, int times = -1);
// folderClock reads ms later than the desk's clock (earlier when negative), as on a share whose server's
// clock is off; 0 turns it off.
void skewFolderClocks(qint64 ms);
// Every such write, and every copy that never replaces a file or that FileOperation::copyFile makes, whose
// path contains pathPart takes ms longer, like a slow share; 0 turns it off.
void slowWrites(const QString &pathPart, int ms);
// Such writes (and appends to an order's shot-time list) whose path contains pathPart wait until
// releaseWrites() or clearFaults(), like a share that stalls; heldWrites() is how many wait now.
void holdWrites(const QString &pathPart);
// Removals of single files and empty folders through the file operations (a deletion's walk among them) whose
// path contains pathPart wait likewise, until releaseWrites() or clearFaults(); heldWrites() counts them.
void holdRemovals(const QString &pathPart);
void releaseWrites();
// The program ends at once, as by a power cut, right after the count-th file put in place (a copy or a whole
// write taking its name) whose target contains targetPart; 0 turns it off.
void stopAfterPlacing(const QString &targetPart, int count);
// Called by the file operations once a file took its target's name.
void placedHere(const QString &target);
int heldWrites();
void clearFaults();
// Consulted by the file operations; each true answer uses up one of the injected failures.
bool copyShouldFail(const QString &target);
bool mkDirShouldFail(const QString &path);
bool removalShouldFail(const QString &path);
bool flushShouldFail(const QString &path);
bool writeShouldFail(const QString &path);
bool renameShouldFail(const QString &path, int *error = nullptr);
bool lastWriteShouldFail(const QString &target);
bool closeShouldFail(const QString &target);
bool metadataShouldFail(const QString &target);
bool openShouldFail(const QString &path);
// Sleeps for the delay slowWrites set, and waits while holdWrites holds, when the path matches.
void delayWrite(const QString &path);
// Waits while holdRemovals holds, when the path matches.
void delayRemoval(const QString &path);

#ifdef Q_OS_WIN
// The errno that stands for a Windows system error (GetLastError()), for the callers that tell a taken name
// from a full disk and for the words errorText() gives: a name Windows refuses (ERROR_INVALID_NAME,
// ERROR_BAD_PATHNAME) is EINVAL, "名称无效"; what has no errno of its own is EIO.
int errnoOf(unsigned long systemError);
#endif

} // namespace Platform
