#pragma once
// The import of one photo into an order folder, shared by the batch import and the single-order import:
// the backup copy of a photo as shot, the upright main file (a byte copy, or a new encoding at quality
// 100 when the photo must be turned), the three reduced copies each scaled from the one before (2250,
// 1000, 200 pixels), and a file that cannot be read as a photo (empty, cut short, not an image) kept
// unchanged without reduced copies. The backup and the reduced copies are made only once the main file is
// in place, so a photo whose main file failed is not shown as imported. Safe to run on several pool
// threads at once, also several imports into one order folder: a backup is never replaced, and a
// numbered main file never replaces either.

#include "importtype.h"
#include "orderphotos.h"
#include "unsentreport.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class QIODevice;
class QSemaphore;

// The running numbers of one import of numbered photos as shot, one name planned for each chosen photo:
// only the photos the order does not hold yet take one, in the order they were chosen, so that one new
// photo among photos imported before takes the first name planned, not the one planned for its place in
// the choice. A photo found in the order under one of the names gives that name up (a retry of a choice
// finds its photos under the names they got). A new photo takes its name once every photo chosen before it
// has taken its name or was found (waitTurn, takeName); every photo passes once it has its name or needs
// none (found, or not imported at all), also when its import ends early. Any thread.
//
// waitTurn blocks its thread until the photos chosen before have passed, so the numbering never deadlocks
// only because the caller starts its photos in the order chosen, on a pool of its own that runs nothing
// else which waits: a photo that waits then has every earlier photo started before it (running, or passed
// when its job was dropped), never one queued behind it on the pool. The single-order window does so (one
// job per photo, queued in order on its own pool); a caller that queued a later photo first, or shared the
// pool with jobs that wait on these photos, could leave every thread waiting for a photo not started.
class PhotoNumbering
{
public:
    explicit PhotoNumbering(const QStringList &names);
    // Waits until every photo chosen before index has passed.
    void waitTurn(int index);
    // In its turn: the first name not given yet, given to the photo ("" when none is left).
    QString takeName();
    // Photo index is done with the numbering; name, when given, is the name it has in the order, no more
    // given to another photo. A second call does nothing.
    void pass(int index, const QString &name = QString());

private:
    std::mutex m_mutex;
    std::condition_variable m_turn;
    QStringList m_names;       // not given yet, in the planned order
    std::vector<bool> m_passed; // by chosen photo
    int m_next = 0;            // the first photo that has not passed
};

// How the main file of a photo takes its name in the main folder.
enum class MainPlacing {
    // A file of the target name is replaced (a retouched photo imported again replaces the earlier
    // one); but a file that cannot be read as a photo never replaces a readable one: it is kept beside
    // it under the first free "(n)" name.
    ReplaceSameName,
    // The target name carries a running number ("305K12-ab-042.jpg") and nothing is ever replaced: a
    // number taken by other bytes (another import into the order) moves the photo on to the next free
    // number at the moment it is placed, main file and backup alike. The same bytes already there are
    // an earlier import of this photo and keep their name, and so does a photo as shot whose bytes the
    // order's backup holds (PhotoTask::backupPhotos): it was imported before and is not written again (only
    // its reduced copies, when some are missing). With a numbering (PhotoTask::numbering) a new photo takes
    // its name from it instead of targetName.
    Numbered,
};

// Everything one photo needs, copied so that a pool thread can work on it alone.
struct PhotoTask
{
    ImportTypeEnum type;  // 0 photos as shot, 1 finished photos, 2 designs
    QString orderPath;    // the order folder on the photo root, ending in a separator
    QString orderBakPath; // the order folder on the backup root (photos as shot only)
    QString filePath;     // the chosen photo
    QString targetName;   // the name it gets in every folder (the first choice, see placing)
    bool alsoFinished;    // photos as shot also go into "成品/"
    MainPlacing placing = MainPlacing::ReplaceSameName;
    // Photos as shot: the order's backup and main files, looked in before anything is written (none: not
    // looked in). A photo found there was imported before: it is not written again, whatever its placing
    // (only its missing reduced copies are, and its copy in "成品/" when that is missing); one whose backup
    // stays but whose main file was deleted since goes back under the backup's name while that name is free
    // (otherwise under its own name, beside the other photo, or numbered on), never with a second backup.
    std::shared_ptr<const BackupPhotos> backupPhotos = nullptr;
    // Why the backup's "照片/" folder is not there ("" when it is): a backup copy that fails while the folder
    // is still missing says this instead of the copy's own words.
    QString backupFolderProblem = QString();
    // Numbered photos as shot: the run's numbering and the photo's place in the choice (none: targetName).
    std::shared_ptr<PhotoNumbering> numbering = nullptr;
    int numberingIndex = -1;
    // Photos looked up: called (on the photo's thread) with true when the photo starts waiting for another
    // photo of its bytes being placed, most often by another import of the order, with false when it stops;
    // may be empty.
    std::function<void(bool)> waitingForOther = nullptr;
    // The run's record in the order folder (none: not kept): the new main file and the new backup of the
    // photo are counted there the moment each is in place, so that a run cut off leaves them counted.
    std::shared_ptr<UnsentReport::RunRecord> runRecord = nullptr;
    // Whether the run still holds its order's claim (ImportClaim; none: not asked): a photo new to the order
    // looks before it is decoded, and each of its files (main files, backup, the copy in "成品/") looks again
    // just before it takes its name. A file whose run's claim another desk took over meanwhile (this desk
    // slept past its age, or a share held the write that long) is not put in place, nothing of it is counted,
    // and the photo is named with claimLostText(), for the run that took the order over.
    std::function<bool()> claimHeld = nullptr;
};

// What an import of one photo did besides its failures.
struct PhotoOutcome
{
    QString placedName;       // the name the photo got in its folders; "" when its main file was not placed
    bool mainAdded = false;   // the main file took a name that was free (its folder grew by one file)
    bool backupAdded = false; // the backup took a name that was free
    bool importedBefore = false; // the order held the photo already (under placedName): its main file and
                                 // backup were not written (missing reduced copies were)
    // Numbered: the name the numbering gave the photo ("" for none); placedName differs when another photo
    // took it meanwhile.
    QString givenName = QString();
};

// Pixel memory (MiB) that the photos of one import may hold at the same time, which keeps the whole
// program well under 600 MiB. A 6000 x 4000 photo that must be turned holds 96 MiB decoded plus 72 MiB
// turned; an upright one needs only its reduced decode (24 MiB) and its 2250 thumbnail. An import that
// runs photos side by side makes one semaphore of this many units and hands it to every photo.
constexpr int kPhotoPixelBudgetMiB = 480;

// Imports one photo; budget (may be null) is the import's pixel budget. Returns the failures, one line
// each ("<file name>：<why>"); empty when everything was written. *unreadable (when given) tells whether
// the file could not be read as a photo: it was copied as it is, and no reduced copy was made from it.
// *outcome (when given) tells the name the photo got and which of its files are new.
QStringList importOnePhoto(const PhotoTask &task, QSemaphore *budget, bool *unreadable = nullptr,
                           PhotoOutcome *outcome = nullptr);

// Imports one video: copied as it is into the order folder's "试拍视频/" (trial-shoot videos) or "精修视频/"
// (any other type) under targetName, never over a file: the same video there already counts as placed, a
// different file of the name stays. Returns the failure line ("<file name>：<why>"), "" when the video is in
// place; *added (when given) tells whether the copy is a new file. claimHeld as PhotoTask::claimHeld.
QString importOneVideo(ImportTypeEnum type, const QString &orderPath, const QString &filePath,
                       const QString &targetName, bool *added = nullptr,
                       const std::function<bool()> &claimHeld = nullptr);

// The name after name in a running numbering: the number at the end of the base name one higher, in
// three digits at least ("305K12-ab-042.jpg" -> "305K12-ab-043.jpg", "x(2).jpg" -> "x(3).jpg"); a name
// without a number gets "(1)".
QString nextNumberedName(const QString &name);

// The reason of a failed FileOperation::copyNoReplace to target (its why names the target: "复制失败："
// target "（reason）") in brackets, for a failure line that names the target itself.
QString copyReason(const QString &why, const QString &target);

// The text naming the photos that could not be read ("无法读取的照片：a.jpg、b.jpg"), "" for none.
QString unreadablePhotosText(const QStringList &names);

// Why a photo or video was not imported: its run's claim of the order was taken over meanwhile.
QString claimLostText();

// The text counting the chosen photos the order held already and that were not written again, "" for none.
QString importedBeforeText(int count);

// Removes from folder (the temporary folder) the upright photos that programs of this desk wrote there and left
// when they were cut off (a kill, a crash, a power cut): those named after a process that no longer runs this
// program, and those of earlier versions, which name none, once nobody has written to them for an hour. Only
// regular files of exactly that name go, never anything reached through a link. Any thread; its file work can
// take a while on a slow disk, so the program's start runs it in the job pool. stillWanted (when given) is asked
// before each file: false (the program is closing) ends it there, and what is left goes at a later start.
void removeUprightPhotosLeftBehind(const QString &folder, const std::function<bool()> &stillWanted = {});

// Makes large image buffers go back to the system when freed (glibc would keep them per pool thread).
// Called once before photos are imported side by side.
void keepLargeBuffersOutOfArenas();

