#pragma once
// Folder listings as the storage shows them to the user: entries that are not hidden, sorted by name
// ignoring case. Paths may come from the web service (back-slashes are turned at the file-system
// boundary). Shared by the single-order import window and its jobs.

#include <QFileInfoList>
#include <QString>
#include <QStringList>

namespace StorageListing {

// The folder's entries, hidden ones left out; "." and ".." only when withDots is true (they come first).
// nameFilters as QDir takes them (matched without regard to case); an empty list takes every name.
QFileInfoList entries(const QString &folder, const QStringList &nameFilters = QStringList(), bool withDots = false);
// The files of the folder matching the filters (no folders), in listing order.
QFileInfoList files(const QString &folder, const QStringList &nameFilters = QStringList());
// Number of "*.jpg" files (any letter case) in the folder; 0 for a missing folder.
int countJpg(const QString &folder);

} // namespace StorageListing
