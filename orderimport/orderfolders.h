#pragma once
// Folder helpers shared by the batch import and the single-order import: the file-system form of stored
// paths, the checks a storage root or order folder must pass before anything is joined to it, the dated
// levels of an order folder, and creating folders one level at a time.

#include "importtype.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace OrderFolders {

// The file-system form of a stored path, "/" separators throughout.
QString fsPath(const QString &path);
bool endsWithSeparator(const QString &path);
// The file name of a stored path (its last component).
QString shortName(const QString &path);
// The path ending in a separator (the one it already uses); "" stays "".
QString withSeparator(const QString &path);
bool isAbsolute(const QString &path);
bool hasDotDotPart(const QString &path);
// Why a stored order folder cannot be written to ("" when it can); what names it in the text. With
// storage roots given, one of them or a folder holding one is refused as well.
QString folderProblem(const QString &path, const QString &what, const QStringList &storageRoots = {});

// Month ("yyyy-mm") and day ("dd") levels of a shot date "yyyy-mm-dd" (a time after a blank or "T" is
// left out). False for any other text.
bool dateLevels(const QString &shotDate, QString *month, QString *day);

// A target name is written into a folder as one component, never as a path (isSafeName).
bool isSingleName(const QString &name, QString *why = nullptr);

// Creates the last level of root + relative (the levels above must exist); an existing folder stays.
// True when the folder exists afterwards.
bool makeLevel(const QString &root, const QString &relative);
// makeLevel that keeps the error of each level it could not make, so that a folder found missing
// afterwards is said with the reason of the first level on its way that failed.
class LevelMaker
{
public:
    bool make(const QString &root, const QString &relative);
    // The error (errno) that keeps folder from being there: that of the first level on its way that could
    // not be made; ENOENT when none failed (made, and gone again).
    int errorOf(const QString &folder) const;

private:
    QMap<QString, int> m_notMade; // by path: a level sorts before the levels below it
};
// The nine thumbnail folders of an order folder, in their three groups (photos as shot, finished
// photos, designs), each group 1000, 200 and 2250 pixels.
QList<QStringList> thumbnailGroups();
// Creates each group's folders under the order folder, then gives them the hidden attribute.
void makeHiddenGroups(const QString &orderFolder);

// How long a temporary file of a copy or a whole write (Platform::isCopyTemporary, isWriteTemporary) stays
// untouched on its folder's clock before an import takes it for one that a kill, a power cut or a restart
// cut short. An import holds its order's claim (ImportClaim), but the runs of one program share it, and a desk
// that slept past its claim's age may still be writing, so a temporary cannot be told dead by its name; but a
// write under way touches its file as it goes (a copy that puts its source's time back moves the change time with it), and one photo
// takes seconds: an hour is far past any living write, a stalled share or a sleeping desk included mostly
// (a write that wakes after its temporary went fails, and its photo is named as not imported).
constexpr qint64 kDeadTemporaryMs = 60 * 60 * 1000;
// Removes the dead temporaries (see kDeadTemporaryMs) an import cut off left in the folders an import of
// the type writes: the order folder itself (its records, its shot-time list), the type's main and thumbnail
// folders, for photos as shot the backup's "照片/" and "成品/" (alsoFinished), for videos their folder.
// endedProgramMs: ImportClaim::msSinceEndedProgram of the order folder. When the run's claim was taken over
// ms ago from a program of this desk that had ended, that program was the only one importing into the order:
// what it left in the folders only imports write (not the order folder itself nor the finished photos'
// thumbnails, which a separation writes too) goes at once when untouched since then, as the folder's clock
// has it; a temporary touched since (a copy of another desk that goes on) stays, and so does any write or
// copy of this program under way (Platform::isWriteUnderWay).
void removeDeadTemporaries(const QString &orderFolder, const QString &backupFolder, ImportTypeEnum type,
                           bool alsoFinished, qint64 endedProgramMs = -1);

} // namespace OrderFolders
