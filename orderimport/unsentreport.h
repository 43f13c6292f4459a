#pragma once
// What the web service has not been told about an order's imports, kept with the order itself: a small
// hidden file in the order folder for each import-end report not yet taken, holding the import type and
// the files and backups that report counts. Any window of either import (the batch import and the
// single-order import), after a restart or on another desk, finds them there; the next end report of the
// order and type carries them, and they go once the service took it.
//
// Each record is a file of its own under a name nobody else uses, written whole and never changed: two
// desks importing the same order add and remove only their own files, so neither can lose what the other
// wrote. A report carrying records claims them first, by renaming each to a name of its own claim (only one
// desk's rename of a record succeeds), so that no other report carries them meanwhile; a report that did
// not arrive gives them back. A rename refused (a scanner or an indexer holds the file) is tried again; a
// record that stays under its name even so waits for the next report, and the caller says so. A claim
// older than any report takes (its program ended before the answer) is given up: the next report claims
// the record again. A claim's age is read on the order folder's own clock (Platform::folderClock), so
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

#include "importtype.h"

#include <QList>
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
};

// The start of every record's file name.
QString namePrefix();
// The most the records one report carries may count together, of files and of backups.
int maxCount();
// The most one record may count of files or of backups.
int maxRecordCount();

// The readable records in the order folder, of every type, claimed or not, in name order. A file of a
// record's name that cannot be read as one, or a damaged record, is left alone and out of the list.
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
};
Owed owed(const QString &orderFolder, ImportTypeEnum type);

// Claims the records of owed(orderFolder, type) for a report: the paths are those of the claimed records,
// the counts theirs, the damaged ones as owed() names them; a record another desk claimed first is left out,
// one whose rename was refused twice is named in held.
Owed claim(const QString &orderFolder, ImportTypeEnum type);
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

// The types whose records an import of the given type carries besides its own, each in a report of that
// type: those of photos as shot, finished photos and designs other than it.
QList<ImportTypeEnum> carriedWith(ImportTypeEnum type);

// The line of an end box before the orders whose folders hold damaged records.
QString damagedText();
// The start of an end box's line on records whose claim was refused (Owed::held); the window adds when
// they go and which they are.
QString heldText();

// The question a window asks before it lets orders owing the web service a report go: the orders' lines
// ("订单号:…", each followed by "（只记在本窗口中，关闭后不再上报）" when only the window keeps its counts),
// which import carries the records their order folders keep (folderRecords), then the question itself.
QString owedQuestion(const QStringList &orderLines, const QList<Record> &folderRecords, const QString &question);

} // namespace UnsentReport
