#pragma once
// Which program separates an order into its folder of the save folder at the moment.
//
// Before a run writes into an order's folder (<save>/<date>/<order folder>/) it claims it: a hidden file
// ".分件进行中" there, made new (never over another file), names this program. An attempt at the same order
// from another desk, or from another program on this desk, finds it and waits until it is gone (the
// window says so in its bar), so that one attempt at a time settles and fills the order's product
// folders: none takes out what another is copying, and none finishes beside another. A run of this
// program goes on under a claim this program holds already: a window closed during its run of the order
// may still be copying into the folder, and the run waits for those copies before its product stage, as
// it always did (WindowGuard::othersWriteInto).
//
// The claim follows the rule of FolderClaim (foundation/folderclaim.h), the jobs of the windows into the
// order's folder (WindowGuard) telling its progress. A claim is kept fresh while it is held: it is written
// anew every 20 seconds (off the GUI thread), so that its modification time is the folder's clock of then (a
// share's server sets it, not the desk), as long as the jobs into the order's folder make progress (or none
// runs), and for three minutes after they made their last: a copy that hangs on a stalled share keeps the
// claim no longer. A claim whose time lies three minutes or more from the folder's clock
// (Platform::folderClock) was left by a program that ended without giving it back (a crash, a power cut) or
// whose copies hang: the next attempt takes it over. One that names this desk and a program whose process is
// gone (or now runs another program) is taken over at once: the clerk who starts the program again after a
// crash need not wait. The claim is read only as a regular file of a claim's size (never through a link, never
// a FIFO or a device); anything else under its name is not taken for one and not touched, and the order is not
// separated (the report says why). A claim goes once its run is done with the order (finished, ended early, or
// its window closed) and no copy of that run into the folder is under way any more. The claims are held for
// the program, not for a window: a closed window's copies keep theirs fresh as above until they have landed,
// and when the program ends it waits for its copies under way (the claims kept fresh as above), then removes
// every claim it holds; one whose copy still hangs when it has aged is left, and the program ends without
// waiting for that copy.

#include "folderclaim.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class SeparationAttempt;
class WindowGuard;

class SeparationClaim
{
public:
    enum Outcome {
        Taken,      // the claim holds the order's folder for the run
        Busy,       // another program's claim is there, and fresh: look again later
        Refused,    // something under the claim's name is no claim: why says so for the report, and the
                    // order is not separated
        NotWritten, // no claim could be written: why names it with the reason, for the report's failures;
                    // the order goes on without one
    };

    // What a take found: its outcome, the claim when Taken, and why for Refused and NotWritten. For Busy,
    // who holds the claim as it says: the desk's name ("" when it names none), and whether that is this
    // desk (then it is another program here).
    struct Taking {
        Outcome outcome = Busy;
        std::shared_ptr<SeparationClaim> claim;
        QString why;
        QString desk;
        bool thisDesk = false;
    };

    // The file name of the claim.
    static QString fileName();
    // Claims orderDir (ending in "/") for a run of the window of guard. The claim's file is read and
    // written off the GUI thread; done gets what was found on the GUI thread, while the window is open
    // (a claim taken for a window closed meanwhile goes again at once). GUI thread.
    static void take(const QString &orderDir, const std::shared_ptr<WindowGuard> &guard,
                     std::function<void(const Taking &)> done);
    // Whether the claim was still this program's file when it was last read (by check(), or a look of the
    // freshening); no file is read. GUI thread.
    bool isHeld() const;
    // Reads the claim's file off the GUI thread; answer gets whether it is still this program's, on the GUI
    // thread, while the window of guard is open. GUI thread.
    void check(const std::shared_ptr<WindowGuard> &guard, std::function<void(bool held)> answer) const;
    // The same look at the claim's file as a check any thread may make (a job of the run asks it just
    // before its file takes its name in the order's folder): true while the file is this program's claim.
    std::function<bool()> heldCheck() const;
    // What keeps an order whose copies are all in from being checked against its plan and reported done,
    // one line each for the report (none when nothing does): its claim (when it has one) is no longer this
    // program's (removed, or taken over by a desk that judged this one dead), or the record of its attempt
    // (when there is one) is no longer the one the attempt wrote (SeparationAttempt::recordIntact). Either
    // way someone else changed the order's folders meanwhile. The claim as it was last read (isHeld()).
    // GUI thread.
    static QStringList interference(const SeparationClaim *claim, const SeparationAttempt *attempt);

    // The run is done with the claim: it goes (removed off the GUI thread) once no job of the run's
    // window writes into the folder. GUI thread.
    ~SeparationClaim();
    SeparationClaim(const SeparationClaim &) = delete;
    SeparationClaim &operator=(const SeparationClaim &) = delete;

private:
    explicit SeparationClaim(std::shared_ptr<FolderClaim> claim);

    std::shared_ptr<FolderClaim> m_claim;
};
