#pragma once
// The product folders of one attempt at separating an order, recorded beside them.
//
// Before the first product folder of an order is made, a hidden record ".分件记录.json" is put into the
// order's folder of the separation (<save>/<date>/<order folder>/). It names, for every product folder of
// the plan, the folder the attempt made for it (its planned name, or a numbered twin when that name was
// taken), the folder levels it created on the way and the files it copies there. The record goes when the
// order is finished. An attempt that did not finish (the run ended early, the window was closed, the
// program ended) leaves it behind, and the next attempt at the order, from any window or desk, goes on in
// those folders instead of making twins of them: the copies replace their own earlier ones, files the new
// plan no longer copies there are taken out, and so are the folders of products that left the plan, both
// only as far as the record lists them. Whatever else is found in such a folder stays and is named in the
// report. An order that ended with something not done (a copy or a sheet not written, an earlier copy that
// could not be taken out) keeps its record too, so that separating it again fills in the same folders. An
// order separated earlier and finished whole has no record: its folders get their numbered twins.
//
// Paths in the record are relative to the order's folder, so another desk that reaches the save folder
// under another path finds its folders all the same. An unfinished attempt of another day lies in another
// dated folder, beside which the order is separated anew: it is named in the report (its product photos
// are there twice), and left as it is.

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

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
        QString folder;      // the folder, full path ending in "/"
        QStringList targets; // one full file path per photo of Wanted::photos: a name that was free, or that
                             // of the order's own earlier copy, so a copy there replaces what it finds
    };

    // orderDir: the order's folder of the separation, ending in "/".
    explicit SeparationAttempt(const QString &orderDir);

    // The file name of the record.
    static QString recordName();

    // Settles the plan's folders and file names against the record an unfinished attempt left (if any),
    // takes out of its folders what the plan no longer holds, writes the record and makes the folders.
    // GUI thread (the deletion guard reads the shop's storage roots).
    QList<Placed> place(const QList<Wanted> &plan);
    // What the report says of it: a record that could not be read or written, files found in the folders
    // that the attempts did not put there, what could not be taken out.
    QStringList notes() const { return m_notes; }
    // The record on disk that belongs to this attempt ("" when there is none): it is removed when the
    // order is finished.
    QString recordPath() const { return m_recordOnDisk ? m_orderDir + recordName() : QString(); }
    // Something the record lists could not be taken out: it stays listed for the next attempt, so the
    // record stays even when the order is finished.
    bool leftBehind() const { return m_leftBehind; }

    // The order is finished whole: its record (a path recordPath() gave) goes. False, with *note saying so
    // for the report, when it stays.
    static bool finish(const QString &recordPath, QString *note);

private:
    struct Folder {
        QString planned;     // relative, ending in "/"
        QString folder;      // relative, ending in "/"
        QStringList created; // the levels made for it, relative, outermost first
        QStringList files;   // names of the files copied into it
    };

    bool readRecord(QList<Folder> *folders);
    bool writeRecord(const QList<Folder> &folders);
    // Takes the files and created levels of folders out that the plan no longer holds; returns what
    // is left of them (to stay in the record).
    QList<Folder> takeOut(const QList<Folder> &dropped);
    bool removeFile(const QString &path);
    // Whether the folder is there, or taken by a folder of this plan (orReserved: or by a folder of the
    // unfinished attempt that this plan goes on in).
    bool dirExists(const QString &relative, bool orReserved) const;
    // The order's folders in the save folder's other dated folders that hold a record.
    QStringList otherDays() const;

    QString m_orderDir;
    QStringList m_notes;
    QSet<QString> m_claimed;  // folders (and their levels) of this plan so far, as keys
    QSet<QString> m_reserved; // those of the unfinished attempt that this plan goes on in
    bool m_recordOnDisk = false;
    bool m_leftBehind = false;
};
