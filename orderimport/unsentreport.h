#pragma once
// What the web service has not been told about an order's imports, kept with the order itself: a small
// hidden file in the order folder for each import-end report not yet taken, holding the import type and
// the files and backups that report counts. Any window of either import (the batch import and the
// single-order import), after a restart or on another desk, finds them there; the next end report of the
// order and type carries them, and they go once the service took it.
//
// Each record is a file of its own under a name nobody else uses, written whole (and changed only by the
// run that holds it claimed, see RunRecord): two
// desks importing the same order add and remove only their own files, so neither can lose what the other
// wrote. A report carrying records claims them first, by renaming each to a name of its own claim (only one
// desk's rename of a record succeeds), so that no other report carries them meanwhile; a report that did
// not arrive gives them back. A rename refused (a scanner or an indexer holds the file) is tried again; a
// record that stays under its name even so waits for the next report, and the caller says so. A claim
// older than any report takes (its program ended before the answer), or one naming a program of this desk
// that has ended, is given up: the next report claims the record again. A claim's age is read on the order folder's own clock (Platform::folderClock), so
// desks whose clocks differ judge it alike. The files lie at the top of the order folder, beside
// "ImageTime.txt", outside every photo, thumbnail and video folder.
//
// Only a regular file is a record (never a link, FIFO or device; it is read without waiting). A record
// counts at most maxRecordCount() of each: one with a count no import makes (larger, negative, not whole) is
// damaged, passed over and named to the caller, and the others are carried all the same. One report carries
// records up to maxCount() of each count, added in 64 bits; the records beyond wait for the next report. A
// record the service took never counts again: when it cannot be removed it is renamed to a name no reader
// takes, and one that stays even so is passed over by this program.
//
// The reports of an import of photos as shot, finished photos or designs carry the records of the other two
// of these types as well, each in a report of its own type (carriedWith); a video type's record names no
// videos and waits for the batch import of that type.
//
// A run keeps its own record while it runs (RunRecord): each new file is noted in the record's journal (a
// file beside it, one line appended per file) before it takes its name, and counted once it has, so a run
// cut off at any moment (a power cut, the system restarting for an update) leaves what it placed counted in
// the order folder, and the next import of the order, which finds those photos by their bytes and does not
// count them again, carries that record once. Before that import puts a file in place it takes the ended
// run's record over: a noted file that is there holding the bytes noted counts once, one that is not does
// not, so the record never counts a file that is not there, nor one the redo puts back. The record is claimed
// by its run from the first note on, so no other report carries it while the run goes on; the claim is
// renewed as the run counts, and also names the desk and the program (its process id and a random part of
// its own): a program of this desk that has ended left it, and it is given up at once, not only when it is
// old. A report's claim names them too (with a random part of the claim's own), so a program cut off while its
// report was out leaves the records to this desk's next import at once. A record a run of this program under way counts is none of the records listed here (that
// run's end report carries it). (A claim that went old all the same, the share stalled or the desk slept, may be
// carried by another report meanwhile: before each write the run finds its record no longer as it left it
// and goes on with a new one for what it counts from then on, so nothing is counted twice.) At the run's end the record is claimed as a report claims,
// and its end report carries it; an earlier version of this program reads it as any claimed record.
//
// Only one import of an order runs at a time (the order's claim, ImportClaim). A run that took the order's claim
// over from a program whose run made no progress (it crashed, or it stopped: its desk slept) treats the records
// that program's runs claimed in the order folder as an ended run's: before it puts its first file in place,
// or at its end at the latest, it takes them over (their journals folded in) and gives them back for its end
// report, which carries them once. That program, should it go on, finds its record gone and counts only what
// lands from then on. A record a run of another program claimed that is not taken over so waits (its claim
// is given up after a while): the end report says what it counts and when it goes (waitingText).
//
// A journal's note of a backup counts only in the backup folder of the order as the run that folds it names
// it, and a note counts only with a size that is a whole number.

#include "importtype.h"
#include "platform.h"

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

namespace UnsentReport {

struct Counts
{
    int files = 0;   // files the report counts ("picnumber")
    int backups = 0; // backups it counts ("picbacknumber"; "picbaknumber" of the single-order import)
};

struct Record
{
    QString path;
    ImportTypeEnum type = ImportFinishedPhotos;
    Counts counts;
    bool claimed = false; // a report carrying it is under way (claimed recently)
    bool ownReport = false;  // claimed by a report of this program
    bool heldHere = false;   // claimed by a report of another program of this desk that still runs
    qint64 givenUpInMs = 0;  // claimed: how long until its claim is given up, on the folder's clock
    bool run = false;        // claimed by a run of another program under way (or one that cannot be told
                             // from here), not by a report
    bool noted = false;      // its run noted files in its journal that the counts do not hold yet
};

// The start of every record's file name.
QString namePrefix();
// The most the records one report carries may count together, of files and of backups.
int maxCount();
// The most one record may count of files or of backups.
int maxRecordCount();

// The readable records in the order folder, of every type, claimed or not (but those a run of this program
// under way counts), in name order. A file of a record's name that cannot be read as one, or a damaged record,
// is left alone and out of the list.
QList<Record> records(const QString &orderFolder);

// The records of one type that no report under way carries, as many as one report carries: their counts
// added up, and their paths; beside them the paths of the damaged records of the type.
struct Owed
{
    Counts counts;
    QStringList paths;
    QStringList damaged;
    // (claim) Records whose claim the file system refused, tried twice: they stay under their names for
    // the next report, and these are their paths and counts.
    QStringList held;
    Counts heldCounts;
    int heldError = 0; // why the file system refused (errno of the last refused rename)
    // Records of the type that a report of another program carries now: their counts, whether a program of
    // this desk still running holds one, and how long until the last claim held elsewhere is given up.
    Counts waiting;
    bool waitingHere = false;
    qint64 waitingMs = 0;
    // Records of the type that a run of another program claimed (not taken over by this one): the same.
    Counts runWaiting;
    bool runWaitingHere = false;
    qint64 runWaitingMs = 0;
};
// backupFolder: the order's backup folder (the backups of its photos as shot are in its "照片/"), where the
// notes of backups count; "" for none.
Owed owed(const QString &orderFolder, ImportTypeEnum type, const QString &backupFolder = QString());

// Claims the records of owed(orderFolder, type) for a report: the paths are those of the claimed records,
// the counts theirs, the damaged ones as owed() names them; a record another desk claimed first is left out,
// one whose rename was refused twice is named in held.
Owed claim(const QString &orderFolder, ImportTypeEnum type, const QString &backupFolder = QString());
// Gives claimed records back for the next report (the report did not arrive); returns the paths still
// claimed afterwards.
QStringList release(const QStringList &claimedPaths);

// Writes a new record into the order folder and gives it the hidden attribute. Returns its path; "" when
// it could not be written, and *error (when given) then holds the errno of the failed write.
QString add(const QString &orderFolder, ImportTypeEnum type, const Counts &counts, int *error = nullptr);

// Removes the (claimed) records of a report the service took: a removal refused is tried again, then the
// record is renamed to a name no reader takes. Returns the paths that stay records even so (this program
// passes them over from now on; another desk or a restart would carry them again).
QStringList drop(const QStringList &paths);

// The record of one import run of one order and type, in the order folder while the run goes on (see
// above). Any thread: the per-photo routine counts each file as it lands (PhotoTask::runRecord).
class RunRecord
{
public:
    // backupFolder as owed() takes it. tookOver: the bytes of the order's claim the run took over from
    // another program (FolderClaim::Taking::tookOverClaim; empty when it took over none): that program's runs
    // made no progress, and their records are taken over as ended runs' are.
    RunRecord(const QString &orderFolder, ImportTypeEnum type, const QString &backupFolder = QString(),
              const QByteArray &tookOver = QByteArray());
    // A record the run never finished (its window went without ending it) is given back for the next report.
    ~RunRecord();
    RunRecord(const RunRecord &) = delete;
    RunRecord &operator=(const RunRecord &) = delete;

    // Before a new file of the run takes its name: the name, the folder (the order's main folder, or the
    // backup's "照片/") and what identifies its bytes (size and photoDigest) are appended to the record's
    // journal, one line (the first note makes the record). A run cut off before it counts the file leaves
    // it noted: the report that takes the record over counts a noted file that is there holding those
    // bytes, once, and drops one that is not. The first note takes over the records that ended runs left
    // so (and those of the program whose claim the run took over), before this run puts any file in place. Returns the mark count() takes for the file; -1 when no
    // note was written (the file then counts as any other).
    int note(bool backup, const QString &folder, const QString &name, qint64 size, const QByteArray &digest);
    // Files of the run that are now in place (negative: one counted that goes again), mark that of their
    // note (-1: none). Counts of notes go into the journal's share; others are written into the record at
    // once, the first count makes it. A write that fails keeps the count for the next. A mark of a record
    // another report took since counts in the new record: that report counted the noted files it found
    // in place, and this one had not landed.
    void count(int files, int backups, int mark = -1);
    // Renews the claim when it is due (cheap otherwise): a run that counts nothing for a while keeps it.
    void keepFresh();

    // The run's end: what it counted, and the counts given (what earlier runs left with the window), written
    // into the record, claimed anew as a report claims it. The records of the program whose claim the run
    // took over are taken over first, if no note did. The record then belongs to the caller: a report
    // carries it (path and counts, as claim() gives them), or release() gives it back. A later count()
    // starts a new record.
    struct End
    {
        QString path;     // the record, still claimed ("" for none)
        Counts counts;    // what it holds
        Counts unwritten; // what no record holds (a write failed): the caller keeps it
        int error = 0;    // errno of the write that failed
    };
    End finish(const Counts &extra = Counts());

private:
    // Writes what the run counted, renewing the claim when it is due; forReport: claimed anew as a report's.
    bool writeLocked(bool forReport);
    // The record is not as the run left it: another report took it, with what it held.
    void letGoLocked();
    qint64 folderNow();

    QMutex m_mutex;
    const QString m_folder; // the order folder, ending in "/"
    const QString m_backupFolder; // the order's backup folder, as owed() takes it
    QString m_tookOverDesk;       // the program whose claim the run took over: its desk as records name it
    qint64 m_tookOverPid = -1;    // and its process id (-1: none)
    const ImportTypeEnum m_type;
    QString m_path;           // the record as named now ("" while there is none)
    qint64 m_claimedAt = 0;   // its claim's time on the folder's clock
    qint64 m_clockBase = -1;  // the folder's clock when first read
    QElapsedTimer m_clock;    // and the time since
    qint64 m_files = 0;       // counted by the run and not handed on (to a report that took the
    qint64 m_backups = 0;     // record while the run was still going, or to finish())
    Counts m_written;         // what the record holds
    qint64 m_journalFiles = 0;   // of m_files and m_backups, what the journal's notes count
    qint64 m_journalBackups = 0;
    bool m_noted = false;        // the run noted files: the record names its journal
    bool m_writtenNotes = false; // the record as written names it
    int m_generation = 0;        // the record noted into (a new one after another report took it)
    bool m_foldedEnded = false;  // the records of ended runs were taken over before the first note
    Platform::FileFacts m_facts; // the record's file as the run left it
    int m_error = 0;
};

// The types whose records an import of the given type carries besides its own, each in a report of that
// type: those of photos as shot, finished photos and designs other than it.
QList<ImportTypeEnum> carriedWith(ImportTypeEnum type);

// The line of an end box before the orders whose folders hold damaged records.
QString damagedText();
// The start of an end box's line on records whose claim was refused (Owed::held), with the refusal's error
// (Owed::heldError) in words; the window adds when they go (after a while where heldPasses, once the cause is
// mended otherwise) and which they are.
QString heldText(int error);
// The end box's line on the counts another program's report carries now (Owed::waiting) and when they go
// should its answer not come; "" for none.
// The same for the counts that runs of other programs claimed (Owed::runWaiting), on a line of its own.
QString waitingText(const Owed &owed);
// Whether a claim refused with the error may succeed by itself a while later (another program holds the
// file for a moment), unlike a lasting refusal (no permission, a read-only disk).
bool heldPasses(int error);

// The question a window asks before it lets orders owing the web service a report go: the orders' lines
// ("订单号:…", each followed by "（只记在本窗口中，关闭后不再上报）" when only the window keeps its counts),
// which import carries the records their order folders keep (folderRecords), then the question itself.
QString owedQuestion(const QStringList &orderLines, const QList<Record> &folderRecords, const QString &question);
// The orders' lines by where their reports are: not sent or not taken, sent with no answer (the service may
// have taken them), waiting for the answer to the order's start report before they go, or out and not
// answered yet.
struct OwedLines
{
    QStringList notSent;
    QStringList maybeTaken;
    QStringList waitingForStart;
    QStringList out;
};
// owedQuestion with a headline per group; what the order folders keep is said only for the first two.
QString owedQuestion(const OwedLines &orderLines, const QList<Record> &folderRecords, const QString &question);

} // namespace UnsentReport
