#pragma once
// Which program works in a folder of the shared store at the moment: a hidden claim file in the folder.
//
// A tool that fills a folder other desks may fill too (an order's folder) claims it first: a file of a name the
// tool chooses, written whole beside that name and then given it only where no file has it (never over another
// file), names this desk and this program; a program cut off meanwhile leaves a temporary (".writing-*", which
// the tools' clean-up knows), never an empty claim. An attempt from another desk, or from another program of
// this desk, finds it and waits until it is gone (Busy: look again later), so that one program at a time works
// in the folder. A program takes a claim it holds already again at once (another run of it goes on under it;
// the tool itself sees to its runs' order).
//
// The rule of a claim:
// - It is read only as a regular file of a claim's size, never through a link, never a FIFO or a device;
//   anything else under its name is not taken for a claim and not touched (Refused, with the reason).
// - It is kept fresh while it is held: written anew every 20 seconds on the claim's own thread, so that its
//   modification time is the folder's clock of then (a share's server sets it, not the desk), as long as the
//   holder's jobs into the folder make progress (one ends) or none runs, and for three minutes after they made
//   their last: a job that hangs on a stalled share keeps the claim no longer.
// - A claim whose time lies three minutes or more from the folder's clock (Platform::folderClock) was left by
//   a program that ended without giving it back, or whose jobs hang: the next attempt takes it over. One that
//   names this desk and a program whose process is gone (or now runs another program) is taken over at once,
//   and so is an empty one (cut off between its making and its bytes by a program that wrote it in place).
// - It goes once its holder gives it back (the last FolderClaim of it is destroyed) and the holder's jobs
//   into the folder have ended, and only while the file is still this program's claim. Claims are held for
//   the program: when the program ends it waits for the jobs under way (the claims kept fresh as above), then
//   removes every claim it holds; one whose job still hangs when it has aged is left, and the program ends
//   without waiting for that job.
//
// All file work of the claims (takes, checks, the rewrites, removals) runs on one thread of their own, one job
// at a time: never on the GUI thread, never behind the jobs of the global pool. So a removal follows any
// rewrite queued before it and precedes any take queued after it.

#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class FolderClaim
{
public:
    enum Outcome {
        Taken,      // the claim holds the folder for the holder
        Busy,       // another program's claim is there, and fresh: look again later
        Refused,    // something under the claim's name is no claim (reason says what): the folder is not for
                    // the tool to work in
        NotWritten, // no claim could be written (reason says why); the tool decides whether it goes on
        Stopped,    // takeAndWait: the waiter stopped waiting first; nothing is held for it (a take that
                    // was under way gives its claim back)
    };

    // What a take found: its outcome, the claim when Taken, the reason for Refused and NotWritten (in the
    // user's words, e.g. "是链接", "不是普通文件", or errorText of the failed call) and its errno (ELOOP a link,
    // EINVAL no regular file, EFBIG larger than any claim; 0 when the write gave up without a failed call),
    // and the claim's path as the report shows it. For Busy, who holds the claim as it says: the desk's name
    // ("" when it names none), and whether that is this desk (then it is another program here).
    struct Taking {
        Outcome outcome = Busy;
        std::shared_ptr<FolderClaim> claim;
        QString reason;
        int error = 0;
        QString shown;
        QString desk;
        bool thisDesk = false;
        // Taken: whether the take took over another program's claim left there (one that aged, or that an
        // ended program of this desk left), and that claim's bytes as read.
        bool tookOver = false;
        QByteArray tookOverClaim;
        // When the claim taken over was left by a program of this desk that has ended: the moment of the
        // takeover on this desk's steady clock (QElapsedTimer::msecsSinceReference()), -1 otherwise. What
        // that program left in the folder untouched since then is its own.
        qint64 endedHereAt = -1;
    };

    // How the holder's jobs into the folder fare, as it sees them now.
    struct Progress {
        int jobs = 0;      // jobs into the folder queued or under way
        int running = 0;   // of them, the ones running now (the others wait their turn)
        quint64 ended = 0; // jobs into the folder that have ended since the program started: grows while they
                           // make progress
    };

    // Who holds a claim, and how it tells its progress. Both are asked on the claim's thread, and on the main
    // thread while the program ends: thread-safe, quick, no file work, and no call into FolderClaim.
    struct Holder {
        // The holder's jobs into the folder (their progress keeps the claim fresh). Empty: none, ever.
        std::function<Progress()> progress;
        // Once this holder gave the claim back: whether its jobs still write into the folder. The claim goes
        // once no holder that gave it back says so (and none holds it). Empty: nothing more is written.
        std::function<bool()> stillWriting;
        // The category the claim's log lines go to (the tool's own); the files' (lcFiles) when none.
        const QLoggingCategory &(*log)() = nullptr;
    };

    // Claims folder (ending in "/", as the holder's jobs and the report name it) with a file of fileName in
    // it. The file work runs on the claim's thread; done gets what was found on the thread of context, while
    // context exists and the program's end has not begun (otherwise a claim taken goes again at once; a
    // context gone before the take's turn came takes nothing). Any thread.
    static void take(const QString &folder, const QString &fileName, const Holder &holder, QObject *context,
                     std::function<void(const Taking &)> done);
    // The same, waiting for the answer: for a worker thread (never the GUI thread, which must not wait for a
    // share; never from within a claim's own callback). stopped (when given) is asked while it waits, also
    // while the claim's thread is held up by another folder's claim on a stalled share: once it says so,
    // the wait ends at once with Stopped, and the take, should it still come, gives back what it took.
    static Taking takeAndWait(const QString &folder, const QString &fileName, const Holder &holder,
                              const std::function<bool()> &stopped = {});
    // Runs work among the claims' file work, on their thread, in turn with the takes queued before and after it:
    // a look a take depends on (which folder a path names, say) made off the GUI thread. Any thread.
    static void runInTurn(std::function<void()> work);

    // The claim's path at the file system's boundary, and as the report names it (folder + fileName).
    QString path() const { return m_path; }
    QString shown() const { return m_shown; }
    // Whether the claim was still this program's file when it was last read (by a check, or a look of the
    // rewrite); no file is read. Any thread.
    bool isHeld() const;
    // Reads the claim's file on the claim's thread; answer gets whether it is still this program's, on the
    // thread of context while it exists. Any thread.
    void check(QObject *context, std::function<void(bool held)> answer) const;
    // The same look as a check any thread may make now (a job asks it just before its file takes its name in
    // the folder): true while the file is this program's claim. Reads the file on the calling thread.
    std::function<bool()> heldCheck() const;

    // The holder is done with the claim: it goes (on the claim's thread) once no job of a holder that gave it
    // back writes into the folder. Any thread.
    ~FolderClaim();
    FolderClaim(const FolderClaim &) = delete;
    FolderClaim &operator=(const FolderClaim &) = delete;

private:
    FolderClaim(const QString &path, const QString &shown, const Holder &holder);
    friend struct FolderClaimAccess;

    QString m_path;
    QString m_shown;
    Holder m_holder;
};
