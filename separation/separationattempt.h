#pragma once
// The product folders of one attempt at separating an order, recorded beside them.
//
// Before the first product folder of an order is made, a hidden record ".分件记录.json" is put into the
// order's folder of the separation (<save>/<date>/<order folder>/). It names, for every product folder of
// the plan, the folder the attempt made for it (its planned name, or a numbered twin when that name was
// taken) and the folder levels it created on the way, each only once it was made (the levels about to be
// made go into its journal first: after a kill between the two, such a level counts as made while it is a
// folder holding nothing but such levels). What identifies a photo copy enters it before the copy can land: the copy keeps its source's size and modification time, so
// both are known beforehand (the copy "not yet confirmed"); once the copy is in place, also what no tool
// puts back, its change time and its file id (Platform::fileFacts). The record holds facts, not plans. It
// goes when the order is finished. An attempt that did not finish (the run ended early, the window was
// closed, the program ended or was killed at any moment) leaves it behind, and the next attempt at the
// order, from any window or desk, goes on in those folders instead of making twins of them: a listed copy
// is replaced, or taken out when the new plan no longer copies it there, and so are the folders of
// products that left the plan, each only while it is still exactly what the record lists: a confirmed copy
// with all its facts; one not confirmed with the bytes of the file it was copied from, while that file is
// as it was (where a share refused to keep the time, the bytes decide), otherwise with its size and time.
// Any other file, also one under a name the plan copies to (a file the clerk put there, a photo a retoucher
// edited, even one whose size and date were put back), stays: the copy goes beside it under the next
// numbered name, and the report names both; a file holding exactly the photo's bytes counts as the copy
// already there. The temporary files of copies cut short by the program's end are removed from the
// folders the record lists, while the order's folder is claimed for the attempt (no other desk is copying). Nothing is removed or written through a folder level that is a link or a
// mounted disk: such a folder of the record is left as it is, the record kept, and the report names it.
// An order that ended with something not done (a copy or a sheet not written, an earlier copy that could
// not be taken out) keeps its record too, so that separating it again fills in the same folders. An order
// separated earlier and finished whole has no record: its folders get their numbered twins.
//
// The record is written whole once per attempt (when its plan is settled, and when the order is
// finished); what happens in between (a folder made, a copy about to land, a copy in place) is appended,
// one line of JSON each, to a journal beside it (".分件记录.jsonl", hidden, going with the record), which
// is folded into the record when it is read: keeping the record costs time in proportion to the order.
// A line cut short by the program's end is passed over. A copy the program's end left in place with its
// line before it alone is settled by the order's next run before that run replaces the work folder's
// finished copies, while the file it was copied from is as it was (settleLanded()): afterwards only its
// size and time would be left to tell it from an edit that put them back.
//
// Paths in the record are relative to the order's folder, so another desk that reaches the save folder
// under another path finds its folders all the same. The record and its journal are read only as regular
// files of bounded size (never through a link, never a FIFO or device), and the journal is appended to
// only as such a file; a record that cannot be read, or that gives one folder to two products, is
// damaged: it is not used and nothing it lists is removed. An unfinished attempt of another day lies in
// another dated folder, beside which the order is separated anew: it is named in the report (its product
// photos are there twice), and left as it is.
//
// The copies are made by pool jobs (copy()), also after the window that started them has closed; their
// facts reach the journal with the next copy's line, or once no copy of the order is under way, and an
// attempt at the same order in this program reads every fact so far, written or not.

#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include "platform.h"

#include <functional>
#include <memory>

class SeparationAttempt
{
public:
    // One product folder of the plan, in plan order.
    struct Wanted {
        QString folder;                     // relative to the order folder, ending in "/"
        std::function<QString(int n)> twin; // the n-th numbered twin of the folder (n = 1 … 499), relative
        QStringList photos;                 // the names the product's photos are copied under, in order
    };
    // Where the photos of a wanted folder go.
    struct Placed {
        QString folder;      // the folder, full path ending in "/"; "" when the product gets none (notes()
                             // say why): its photos are not copied
        QStringList targets; // one full file path per photo of Wanted::photos: a name that was free, or that
                             // of the order's own earlier copy (still as it was copied), or beside other files;
                             // "" for a photo that takes no name there
        QString failure;     // the folder could not be made: "<folder>（why）", for the report's failures; its
                             // photos are not copied, and the record keeps it for the next attempt
    };

    // orderDir: the order's folder of the separation, ending in "/"; folderClaimed: it is claimed for this
    // attempt (SeparationClaim), so that no other desk copies into it. GUI thread (the deletion guard's
    // storage roots are read here, for place() on any thread).
    SeparationAttempt(const QString &orderDir, bool folderClaimed);
    ~SeparationAttempt();
    SeparationAttempt(const SeparationAttempt &) = delete;
    SeparationAttempt &operator=(const SeparationAttempt &) = delete;

    // The file name of the record.
    static QString recordName();
    // Settles the copies the record of orderDir lists as about to land (the program ended before it wrote
    // them in place) while the files they were copied from are as they were: the file under such a name
    // that holds its source's bytes is the copy (its facts in place go into the journal); one that does not
    // is not that copy (nor is it once its source has changed). A run calls it under its claim, with no
    // copy into the order's folder under way, before it replaces the finished copies of its work folder.
    // Any thread.
    static void settleLanded(const QString &orderDir);
    // The one rule for a photo's file name in a product folder: a plan copies under such names only, and
    // the record is read back with it. One name that stays in its folder, as isSafeName has it, but that
    // Linux also takes ":" in it (a finished photo may be called so).
    static bool isCopyName(const QString &name);

    // Settles the plan's folders and file names against the record an unfinished attempt left (if any),
    // takes out of its folders what the plan no longer holds and writes the record. Any thread, once (the
    // record of a large order, or one crafted at the bounds, takes a while to read: never the GUI thread's).
    QList<Placed> place(const QList<Wanted> &plan);
    // Then makes the folders place() settled, in plan order (on a busy disk hundreds of them take a while):
    // the failure of each that cannot be made is set in *placed. Any thread, before the copies.
    void makeFolders(QList<Placed> *placed);
    // What the report says of it: a record that could not be read or written, files found in the folders
    // that the attempts did not put there, what could not be taken out, a folder refused.
    QStringList notes() const { return m_notes; }
    // The record on disk that belongs to this attempt ("" when there is none).
    QString recordPath() const { return m_recordOnDisk ? m_orderDir + recordName() : QString(); }
    // Whether the record on disk is still the one place() left for this attempt (the same file, unchanged:
    // the record is written whole once per attempt, what follows goes into its journal), or the attempt has
    // none. False when it was removed, moved or replaced meanwhile (another desk's attempt). Any thread, once
    // place() has returned.
    bool recordIntact() const;
    // Something the record lists could not be taken out, or was not gone into: it stays listed for the
    // next attempt, so the record stays even when the order is finished.
    bool leftBehind() const { return m_leftBehind; }

    // Copies source (the photo's finished copy) to photo j of the placed folder i, as place() settled it:
    // onto a free name without replacing what turns up there meanwhile, over the order's own earlier copy
    // only while it is still as place() found it, or beside other files (unless one of them holds the
    // photo's bytes: then that one is the copy); not at all once the record is no longer this attempt's
    // (recordIntact(): asked before the copy begins and again once it is whole, just before it takes its
    // name, so a copy under way when another desk went on with the order stays out too). Nothing is
    // written through a link. What identifies the
    // copy enters the journal before it can land, and what identifies it in place after (writeCopies()).
    // False when nothing was placed: *failure then names the target (and why, when it is not a failed
    // write). Any thread; also after the window closed.
    bool copy(int i, int j, const QString &source, QString *failure);
    // Writes what identifies the copies in place into the journal once no copy of the order is under way
    // in this program (until then each copy's own line takes them along). A copy job calls it after its
    // report, so that the window never waits for a record being written. Any thread.
    void writeCopies();
    // The other files that copies left under their names, each with the name the photo took beside it
    // ("<file>（未改动）→ <name>"), for the report. Any thread.
    QStringList takeKeptFiles();

    // The order is finished whole: its product folders are checked against the plan (a listed copy the
    // plan no longer holds, or one of a product that left it, is taken out as at the start), then the
    // record goes. False, with *notes saying why for the report, when the record stays (or is not this
    // attempt's). Any thread.
    bool finish(QStringList *notes);

private:
    // What identifies one copy of a file.
    struct Facts {
        qint64 size = -1;
        qint64 time = 0;  // its modification time, ms since the epoch
        QString changed;  // confirmed: its change time, and
        QString id;       // its file id ("" both in a record of the earlier form: size and time decide)
        bool pending = false; // recorded before the copy could land, not confirmed
        QString source;       // not confirmed: the file it is copied from (relative to the order's folder
                              // when inside it, as the work folder's finished copies are)
        bool operator==(const Facts &o) const
        {
            return size == o.size && time == o.time && changed == o.changed && id == o.id && pending == o.pending
                   && source == o.source;
        }
    };
    struct File {
        QString name;
        QList<Facts> facts; // the file there is the copy when it is one of them (a copy not confirmed yet
                            // beside the earlier one it replaces)
    };
    struct Folder {
        QString planned;     // relative, ending in "/"
        QString folder;      // relative, ending in "/"
        QStringList created; // the levels made for it, relative, outermost first
        QStringList pending; // read from the journal: levels about to be made, not known to be made
        QList<File> files;   // the copies in it
    };
    // One photo of the plan.
    struct Target {
        QString folder;     // relative, ending in "/"
        QString planned;    // relative, the folder's planned name
        QStringList others; // names holding other files: the photo counts as there when one holds its bytes
        QString name;       // where the copy goes
        bool own = false;   // name holds the order's earlier copy, as found in `seen`
        Platform::FileFacts seen;
    };
    // A fact for the journal: a file's facts (name set), or the levels made for a folder.
    struct Fact {
        QString folder;
        QString planned;
        QString name;
        Facts facts;
        QStringList created;
        bool other = false; // the file under the name is not the copy of these facts (they are dropped)
        bool withdrawn = false; // levels about to be made (facts.pending) that were not made: no longer so
    };
    enum class Record { Missing, Read, Damaged };

    // The facts this program has not written into the journals yet, by record path (of every attempt: a
    // closed window's copies included); the copies under way by record path. Under their own lock.
    static QHash<QString, QList<Fact>> &unwritten();
    static QHash<QString, int> &underWay();
    // Folds facts, one after another, into the folders read. A journal's facts count only for the folders
    // its record lists (the program's own lines name no other): a line about any other folder is passed
    // over, and so is a copy's fact beyond what attempts leave of one name (kFactsPerName). This program's
    // facts not written yet list a folder again that left the record meanwhile.
    class Folding
    {
    public:
        Folding(QList<Folder> *folders, bool fromJournal);
        // False when the fact names what no record of ours can (a level not of its folder).
        bool add(const Fact &fact);
        // The facts passed over.
        int passedOver() const { return m_passedOver; }

    private:
        QList<Folder> *m_folders;
        bool m_fromJournal;
        QHash<QString, int> m_folderAt;          // by key
        QHash<int, QHash<QString, int>> m_fileAt; // a folder's files by key, once a fact is about one of them
        int m_passedOver = 0;
    };
    // Folds this program's facts not written yet into the folders; false when one names what no record of
    // ours can.
    static bool fold(QList<Folder> *folders, const QList<Fact> &facts);
    // The journal's line of a fact.
    static QByteArray lineOf(const Fact &fact);

    // Reads the record and folds its journal in; *why says why a damaged one is damaged, *passedOver (when
    // given) counts the facts of them passed over (a copy's source outside the order's folder, a folder the
    // record does not list). With the record lock held.
    Record readRecord(QList<Folder> *folders, QString *why, int *passedOver = nullptr) const;
    // The report's note of facts passed over.
    QString passedOverNote(int count) const;
    // Settles the levels about to be made (Folder::pending) that were made.
    void madeBeforeTheEnd(QList<Folder> *folders) const;
    bool writeRecord(const QList<Folder> &folders, int *error) const;
    QString journalPath() const;
    // Whether the record on disk is another attempt's (there, and not the one place() left); *now (when
    // given) gets what is there.
    bool recordReplaced(Platform::FileFacts *now = nullptr) const;
    // Appends the facts to the journal; false (errno saying why) when they are not all there.
    bool appendFacts(const QList<Fact> &facts) const;
    // Removes the journal (a link or anything else there as itself); false (errno) when it stays.
    bool removeJournal() const;
    // Takes the facts of this program not yet written into this order's journal.
    QList<Fact> takeLanded() const;
    // Writes them into it, and more after them (a copy about to land). With the record lock held.
    bool writeLanded(const QList<Fact> &more = QList<Fact>());
    // Takes the files and created levels of folders out that the plan no longer holds, but for the levels
    // of the folders kept (keep, as keys); returns what is left of them (to stay in the record).
    QList<Folder> takeOut(const QList<Folder> &dropped, const QSet<QString> &keep);
    // Whether the file found at the path (now) is still the copy listed.
    bool isOwnCopy(const File &listed, const Platform::FileFacts &now, const QString &path) const;
    // Removes a listed file while it is still the copy the record lists. True when it is gone or no longer
    // that copy (*stillOwn false: it is someone else's now and stays unlisted).
    bool removeListed(const QString &folder, const File &file, bool *stillOwn = nullptr);
    // Removes the temporary files of copies cut short in a folder of the record.
    void removeCutCopies(const QString &folder) const;
    // Whether every level of the folder below the order folder is a real folder; a refusal is noted.
    bool throughRealFolders(const QString &relative);
    // Whether the folder is there, or taken by a folder of this plan (orReserved: or by a folder of the
    // unfinished attempt that this plan goes on in).
    bool dirExists(const QString &relative, bool orReserved) const;
    // The order's folders in the save folder's other dated folders that hold a record.
    QStringList otherDays() const;

    SeparationAttempt(const QString &orderDir, bool folderClaimed, const QStringList &roots);

    QString m_orderDir;
    QString m_localOrderDir; // the same at the file system's boundary
    QStringList m_roots;     // the storage roots the deletion guard keeps folders below
    bool m_folderClaimed = false;
    QStringList m_notes;
    QSet<QString> m_claimed;  // folders (and their levels) of this plan so far, as keys
    QSet<QString> m_reserved; // those of the unfinished attempt that this plan goes on in
    bool m_recordOnDisk = false;
    Platform::FileFacts m_record; // the record as place() left it
    bool m_leftBehind = false;
    QVector<QVector<Target>> m_targets; // per placed folder; fixed once place() returned
    QList<Fact> m_toMake;               // per placed folder: the levels makeFolders() makes for it
    QSet<QString> m_planFolders;        // the folders of the plan, as keys
    QSet<QString> m_held;               // folder + name of every name the plan copies to, as keys

    QMutex m_mutex; // guards what the copies change below
    QStringList m_kept;
};
