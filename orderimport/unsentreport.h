#pragma once
// What the web service has not been told about an order's imports, kept with the order itself: a small
// hidden file in the order folder for each import-end report not yet taken, holding the import type and
// the files and backups that report counts. Any window, after a restart or on another desk, finds them
// there; the next end report of the order and type carries them, and they go once the service took it.
//
// Each record is a file of its own under a name nobody else uses, written whole and never changed: two
// desks importing the same order add and remove only their own files, so neither can lose what the other
// wrote. The files lie at the top of the order folder, beside "ImageTime.txt", outside every photo,
// thumbnail and video folder.

#include "importtype.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace UnsentReport {

struct Counts
{
    int files = 0;   // files the report counts ("picnumber")
    int backups = 0; // backups it counts ("picbacknumber")
};

struct Record
{
    QString path;
    ImportTypeEnum type = ImportFinishedPhotos;
    Counts counts;
};

// The start of every record's file name.
QString namePrefix();

// The readable records in the order folder, of every type, in name order. A file of a record's name that
// cannot be read as one is left alone and out of the list.
QList<Record> records(const QString &orderFolder);

// The records of one type: their counts added up, and their paths.
struct Owed
{
    Counts counts;
    QStringList paths;
};
Owed owed(const QString &orderFolder, ImportTypeEnum type);

// Writes a new record into the order folder and gives it the hidden attribute. Returns its path; "" when
// it could not be written, and *error (when given) then holds the errno of the failed write.
QString add(const QString &orderFolder, ImportTypeEnum type, const Counts &counts, int *error = nullptr);

// Removes the records; returns the paths still there afterwards.
QStringList drop(const QStringList &paths);

} // namespace UnsentReport
