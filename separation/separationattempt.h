#pragma once
// The product folders of one attempt at separating an order, recorded beside them.
//
// Before the first product folder of an order is made, a hidden record ".分件记录.json" is put into the
// order's folder of the separation (<save>/<date>/<order folder>/). It names, for every product folder of
// the plan, the folder the attempt made for it (its planned name, or a numbered twin when that name was
// taken) and the folder levels it created on the way. A photo copy enters it only once it is in place,
// with what identifies it (its size and modification time), so the record holds facts, not plans. The
// record goes when the order is finished. An attempt that did not finish (the run ended early, the window
// was closed, the program ended) leaves it behind, and the next attempt at the order, from any window or
// desk, goes on in those folders instead of making twins of them: a listed copy is replaced, or taken
// out when the new plan no longer copies it there, and so are the folders of products that left the plan,
// each only while it is still exactly what the record lists. Any other file, also one under a name the
// plan copies to (a file the clerk put there, a photo a retoucher edited), stays: the copy goes beside it
// under the next numbered name, and the report names it; a file holding exactly the photo's bytes counts
// as the copy already there. Nothing is removed or written through a folder level that is a link or a
// mounted disk: such a folder of the record is left as it is, the record kept, and the report names it.
// An order that ended with something not done (a copy or a sheet not written, an earlier copy that could
// not be taken out) keeps its record too, so that separating it again fills in the same folders. An order
// separated earlier and finished whole has no record: its folders get their numbered twins.
//
// Paths in the record are relative to the order's folder, so another desk that reaches the save folder
// under another path finds its folders all the same. The record is read only as a regular file of bounded
// size (never through a link, never a FIFO or device); one that cannot be read, or that gives one folder to
// two products, is damaged: it is not used and nothing it lists is removed. An unfinished attempt of
// another day lies in another dated folder, beside which the order is separated anew: it is named in the
// report (its product photos are there twice), and left as it is.
//
// The copies are made by pool jobs (copy()), which write their facts into the record in batches, also
// after the window that started them has closed; an attempt at the same order in this program reads
// every copy landed so far, written or not.

#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

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

    // orderDir: the order's folder of the separation, ending in "/".
    explicit SeparationAttempt(const QString &orderDir);
    ~SeparationAttempt();
    SeparationAttempt(const SeparationAttempt &) = delete;
    SeparationAttempt &operator=(const SeparationAttempt &) = delete;

    // The file name of the record.
    static QString recordName();
    // The one rule for a photo's file name in a product folder: a plan copies under such names only, and
    // the record is read back with it. One name that stays in its folder, as isSafeName has it, but that
    // Linux also takes ":" in it (a finished photo may be called so).
    static bool isCopyName(const QString &name);

    // Settles the plan's folders and file names against the record an unfinished attempt left (if any),
    // takes out of its folders what the plan no longer holds, writes the record and makes the folders.
    // GUI thread (the deletion guard reads the shop's storage roots).
    QList<Placed> place(const QList<Wanted> &plan);
    // What the report says of it: a record that could not be read or written, files found in the folders
    // that the attempts did not put there, what could not be taken out, a folder refused.
    QStringList notes() const { return m_notes; }
    // The record on disk that belongs to this attempt ("" when there is none).
    QString recordPath() const { return m_recordOnDisk ? m_orderDir + recordName() : QString(); }
    // Something the record lists could not be taken out, or was not gone into: it stays listed for the
    // next attempt, so the record stays even when the order is finished.
    bool leftBehind() const { return m_leftBehind; }

    // Copies source (the photo's finished copy) to photo j of the placed folder i, as place() settled it:
    // onto a free name without replacing what turns up there meanwhile, over the order's own earlier copy
    // only while it is still that copy, or beside other files (unless one of them holds the photo's bytes:
    // then that one is the copy). Nothing is written through a link. The copy in place enters the record
    // (writeCopies()).
    // False when nothing was placed: *failure then names the target (and why, when it is not a failed
    // write). Any thread; also after the window closed.
    bool copy(int i, int j, const QString &source, QString *failure);
    // Writes the copies in place into the record: a batch, or what is left once no copy is under way. A
    // copy job calls it after its report, so that the window never waits for a record being written.
    // Any thread.
    void writeCopies();
    // The other files that copies left under their names (the photos went beside them), for the report.
    // Any thread.
    QStringList takeKeptFiles();

    // The order is finished whole: its product folders are checked against the plan (a listed copy the
    // plan no longer holds, or one of a product that left it, is taken out as at the start), then the
    // record goes. False, with *notes saying why for the report, when the record stays. GUI thread.
    bool finish(QStringList *notes);

private:
    struct File {
        QString name;
        qint64 size = -1; // as it was in place
        qint64 time = 0;  // its modification time, ms since the epoch
    };
    struct Folder {
        QString planned;     // relative, ending in "/"
        QString folder;      // relative, ending in "/"
        QStringList created; // the levels made for it, relative, outermost first
        QList<File> files;   // the copies in place in it
    };
    // One photo of the plan.
    struct Target {
        QString folder;     // relative, ending in "/"
        QString planned;    // relative, the folder's planned name
        QStringList others; // names holding other files: the photo counts as there when one holds its bytes
        QString name;       // where the copy goes
        bool own = false;   // name holds the order's earlier copy, as listed in `listed`
        File listed;
    };
    // A copy in place, not yet written into the record.
    struct Landed {
        QString folder;
        QString planned;
        File file;
    };
    enum class Record { Missing, Read, Damaged };

    // The copies in place that this program has not written into their records yet, by record path (of
    // every attempt: a closed window's copies included). Under their own lock.
    static QHash<QString, QList<Landed>> &unwritten();
    static void addLanded(QList<Folder> *folders, const QList<Landed> &landed);

    // Reads the record; *why says why a damaged one is damaged. With the record lock held.
    Record readRecord(QList<Folder> *folders, QString *why) const;
    bool writeRecord(const QList<Folder> &folders, int *error) const;
    // Takes the copies landed in this program and not yet written into this order's record.
    QList<Landed> takeLanded() const;
    // Writes them into it. With the record lock held.
    void writeLanded();
    // Takes the files and created levels of folders out that the plan no longer holds, but for the levels
    // of the folders kept (keep, as keys); returns what is left of them (to stay in the record).
    QList<Folder> takeOut(const QList<Folder> &dropped, const QSet<QString> &keep);
    // Removes a listed file while it is still the copy the record lists. True when it is gone or no longer
    // that copy (*stillOwn false: it is someone else's now and stays unlisted).
    bool removeListed(const QString &folder, const File &file, bool *stillOwn = nullptr);
    // Whether every level of the folder below the order folder is a real folder; a refusal is noted.
    bool throughRealFolders(const QString &relative);
    // Whether the folder is there, or taken by a folder of this plan (orReserved: or by a folder of the
    // unfinished attempt that this plan goes on in).
    bool dirExists(const QString &relative, bool orReserved) const;
    // The order's folders in the save folder's other dated folders that hold a record.
    QStringList otherDays() const;
    // What identifies the file at the path as it is now (size -1: no regular file there).
    static File factsOf(const QString &folderPath, const QString &name);

    QString m_orderDir;
    QString m_localOrderDir; // the same at the file system's boundary
    QStringList m_notes;
    QSet<QString> m_claimed;  // folders (and their levels) of this plan so far, as keys
    QSet<QString> m_reserved; // those of the unfinished attempt that this plan goes on in
    bool m_recordOnDisk = false;
    bool m_leftBehind = false;
    QVector<QVector<Target>> m_targets; // per placed folder; fixed once place() returned
    QSet<QString> m_planFolders;        // the folders of the plan, as keys
    QSet<QString> m_held;               // folder + name of every name the plan copies to, as keys

    QMutex m_mutex; // guards what the copies change below
    int m_copying = 0;
    QStringList m_kept;
};
