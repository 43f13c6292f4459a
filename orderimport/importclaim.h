#pragma once
// One import of an order at a time, across programs and desks: the claim both import windows take on the
// order folder before they look at what it holds and place a photo, by the rule every claim on a folder of the
// store keeps (FolderClaim): a hidden file ".导片进行中" in the order folder, taken only when free, kept fresh
// while the program's photos into the folder make progress, aged on the folder's own clock, taken at once
// from an ended program of this desk. A run of another program or desk waits while it is there, its bar
// saying for whom (waitingText), and then finds what the first placed.
//
// The runs of one program (the batch import, single-order windows, a window closed while its photos finish)
// share the claim, as they share the order's look-up (BackupPhotos::forOrder): each takes it, and it goes
// once the last of them gave it back and no photo of this program is being placed in the folder any more. A
// claim this program took anew (none of its runs held it) starts a look-up of its own: another program may
// have imported meanwhile.
//
// A tool of this program that keeps imports away while it works in the order (a separation reading its
// photos, a deletion of its folder) holds the same claim: this program's imports of the order wait for it as
// for another program's, their take answering Busy (Taking::keptBy) until the tool gave it back, and a tool
// goes on only where no import of this program holds it (Hold::alone). Both are judged and counted under one
// lock, so that neither slips in between the other's take and its count.

#include "folderclaim.h"

#include <QString>

#include <memory>

namespace ImportClaim {

// The claim file's name in the order folder.
QString fileName();
// How often a run waiting for another program's import of the order looks at the claim again: the wait ends
// soon after the other import, a small read of the claim each time.
constexpr int kLookAgainMs = 250;

// Who takes the claim: an import run, or a tool that keeps imports away meanwhile.
enum class Use {
    Import,
    Separation, // a separation reading the order's photos
    Deletion,   // a deletion of the order folder
};

// What a take found (FolderClaim::Taking). Busy also when a separation or deletion of this program holds the
// order and the take is an import's: keptBy names that tool (Import: another program's claim, as desk and
// thisDesk say).
struct Taking : FolderClaim::Taking {
    Use keptBy = Use::Import;
};

// A photo or video of this program being placed in an order folder, from the object's making to its end:
// the claim's progress (one that ends is progress; one that hangs keeps the claim fresh no longer than the
// claim's rule says). Also an import making the order's folders: a separation or deletion of this program
// that begins meanwhile is not alone(). With keptBy given, nothing is counted while such a tool of this
// program keeps the order, and keptBy names it (Import: counted). A worker thread: the folder is looked up
// on the file system.
class Working
{
public:
    explicit Working(const QString &orderFolder, Use *keptBy = nullptr);
    ~Working();
    Working(const Working &) = delete;
    Working &operator=(const Working &) = delete;

private:
    QString m_key;
};

// A run's hold on the claim of its order folder; the claim goes with the last hold of the program (and once
// its photos into the folder have ended).
class Hold
{
public:
    // folderKey: the folder as this program's holds know it, whatever the spelling that reached it.
    // use: an import run's hold, or a tool's that only keeps imports away meanwhile, which no import's
    // look-up counts on. From what the take found (FolderClaim::Taking): endedHereAt, when it took the claim
    // over from an ended program of this desk; tookOver, the claim of another program it took over
    // (tookOverClaim).
    Hold(std::shared_ptr<FolderClaim> claim, const QString &folderKey, Use use = Use::Import, qint64 endedHereAt = -1,
         const QByteArray &tookOver = QByteArray());
    ~Hold();
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;

    // No other import run of this program held the claim when this one took it: its look-up lists the folders
    // anew.
    bool anew() const { return m_anew; }
    // Nothing else of this program held the claim when this hold was taken (no import run, no other tool),
    // and no photo of a closed window was still being placed. A tool that must not work beside an import (a
    // separation reading the order's photos, a deletion) goes on only then.
    bool alone() const { return m_alone; }
    // An import's hold made while a tool of this program kept the order (that tool; Import otherwise): it
    // counts nothing, and the take gives it back at once, answering Busy.
    Use keptBy() const { return m_keptBy; }
    // Whether the claim's file is still this program's claim, read when asked (PhotoTask::claimHeld).
    std::function<bool()> heldCheck() const { return m_claim->heldCheck(); }
    // The claim of another program the take took over (its runs into the folder made no progress), as read;
    // empty when it took over none. The run's record takes that program's records over (UnsentReport::RunRecord).
    QByteArray tookOver() const { return m_tookOver; }

private:
    std::shared_ptr<FolderClaim> m_claim;
    QString m_key;
    Use m_use = Use::Import;
    Use m_keptBy = Use::Import;
    bool m_anew = false;
    QByteArray m_tookOver;
    bool m_alone = false;
};

// Takes the claim of orderFolder (ending in "/") as FolderClaim::take does, done getting what was found on
// context's thread; a take that found the claim Taken hands its Hold to done (none otherwise). Any thread.
// use: who takes it (see Hold). An import's take while a separation or deletion of this program holds the
// order is Busy (keptBy), and touches no file.
void take(const QString &orderFolder, QObject *context,
          std::function<void(const Taking &, const std::shared_ptr<Hold> &)> done, Use use = Use::Import);
// The same, waiting for the answer, for a worker thread; stopped (when given) ends the wait at once
// (FolderClaim::takeAndWait: Stopped).
Taking takeAndWait(const QString &orderFolder, std::shared_ptr<Hold> *hold, const std::function<bool()> &stopped = {},
                   Use use = Use::Import);

// While this program holds the claim of orderFolder, taken over from a program of this desk that had ended
// (no run of this program held it then): how many ms ago that was, on this desk's steady clock; -1
// otherwise. What that program left half written is untouched since (OrderFolders::removeDeadTemporaries).
// Any thread.
qint64 msSinceEndedProgram(const QString &orderFolder);

// The bar's text while another program holds the claim of the order (its number and service count as the
// windows name it): the desk it runs on, as the claim names it, or another program of this desk, and that
// closing the window stops the wait; while a separation or deletion of this program keeps it (keptBy), that
// tool.
QString waitingText(const QString &orderKey, const Taking &taking);
// The same while a run of this program imports the order (a tool's hold that is not alone()).
QString waitingHereText(const QString &orderKey);
// A take that could not write the claim because the order folder is no longer there (a deletion of the
// order ended while the run waited for it): the run stops instead of making the order's folders anew.
bool folderGone(const FolderClaim::Taking &taking);
// Why an order was not imported when something under the claim's name is no claim (Refused), and the
// failure line of a claim that could not be written (NotWritten: the import goes on without one).
QString refusedText(const FolderClaim::Taking &taking);
QString notWrittenText(const FolderClaim::Taking &taking);

} // namespace ImportClaim
