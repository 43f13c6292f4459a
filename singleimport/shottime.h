#pragma once
// The shot time of a photo or camera-raw file, and the order's shot-time list "ImageTime.txt".
//
// The scan does not parse any metadata structure: it looks for the bytes "2", "0" and takes the 17
// characters after them (an EXIF date 2019:05:12 14:33:21 gives "19:05:12 14:33:21"). Stored lists were
// written by this very heuristic, so it stays exactly as it is; the import, the photo copy and the raw
// download differ only in the windows they read and in whether a match ends the scan.
//
// The list holds entries "name>time|" back to back, one per name: no byte-order mark, no line break. It
// is written and read in one codec, chosen in one place (ShotTimeList::codec). A UTF-8 byte-order mark an
// editor put in front is known by its three bytes alone, in every codec, and passed over.

#include <QList>
#include <QPair>
#include <QString>

struct ShotTimeScan
{
    struct Window
    {
        qint64 offset = 0; // absolute offset the window starts at
        int steps = 500;   // a step reads 1, 2 or 19 bytes
        bool matchEnds = true; // true: the first match ends the scan; false: the last match of the window wins
    };
    // Read in order; a window is read only while no earlier window matched.
    QList<Window> windows;
    // Writes "拍摄日期" with the path and the time when the scan reads to the end of its last window.
    bool log = true;

    // The photo import: window A at 0 ends on its first match; only then window B at 2000, last match wins.
    static ShotTimeScan forImport();
    // The photo copy: A, then B; the first match in either ends the scan; no log.
    static ShotTimeScan forPhotoCopy();
    // The raw download: A only, last match wins.
    static ShotTimeScan forRawFiles();

    // Scans the file. False when it cannot be opened (time untouched); otherwise true, with time set to
    // the match's text (possibly empty) when there was a match and untouched when there was none.
    bool run(const QString &path, QString &time) const;
};

namespace ShotTimeList {

// "ImageTime.txt"
QString fileName();
// The codec the list is written and read in: the system's locale codec (the ANSI code page on Windows).
class QTextCodec *codec();

// The entry of one imported photo: the new name with its last suffix cut off and the other dots
// dropped ("a.b-001.jpg" -> "ab-001"), ">", the time, "|". Empty when the time is empty or holds ">",
// "|", a line break or another control character (the raw download then scans for the photo).
QString entry(const QString &newName, const QString &time);

// Adds the entries of text to orderFolder's list, creating the file when missing. The list is only ever
// appended to, so an entry another desk appends meanwhile stays. A name listed already with the same time
// gets no second entry (a retried import); with another time (the name now belongs to another photo) its
// new entry goes after the old one, which parse() then passes over. Entries go after the list as it is when
// the write begins, whatever it holds: nothing is ever cut but what this append wrote, since another desk
// may append at any moment. Wherever the list does not end at a separator the reader reads (a last entry
// cut off, also inside a character), a separator goes before the new entries, so that they read back as
// they are.
// False when the folder is empty or the file cannot be written; a failed append is taken back while the
// list still ends with what it wrote, and leaves errno at the error of the failed write.
bool append(const QString &orderFolder, const QString &text);

// The entries of the list file as text, trimmed; "" for a missing, empty or unreadable file. An entry
// whose bytes are not its text in the list's codec (another code page, a character cut short) is passed
// over, up to the separator that ends it, so that names in another codec never reach the file system; the
// others are read. A last entry cut off at a whole character is read as it is.
QString readText(const QString &path);

// The (photo name, shot time) pairs of a list text: entries split at "|", empty ones skipped, each split
// at ">" and kept when it gives exactly two pieces (not trimmed). A name listed more than once is given by
// its last entry only (the name was given to another photo), in that entry's place.
QList<QPair<QString, QString>> parse(const QString &text);

} // namespace ShotTimeList
