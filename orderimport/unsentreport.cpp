#include "unsentreport.h"

#include "fileoperation.h"
#include "logging.h"
#include "orderfolders.h"
#include "orderphotos.h"
#include "platform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QSet>
#include <QSysInfo>

#include <cerrno>
#include <cmath>

namespace UnsentReport {

namespace {

// A record is a few dozen bytes; anything much larger is no record of ours.
const qint64 kMaxRecordBytes = 4096;

// What one record may count of files or of backups: far more than any import of one order places (a record
// holds what one run placed, or what the runs of one window placed while no record could be written).
const int kMaxRecordCount = 1000000;

// What the records one report carries may count together: the records beyond it wait for the next report.
const int kMaxCount = 1000000000;

// A claimed record's name: the record's own, then this marker, the time of the claim on the order folder's
// clock (milliseconds since 1970, base 36) and a random part.
const QLatin1String kClaimMarker(".claim-");

// A report is answered or given up within a minute (see requestTimeoutMs); a claim this old belongs to a
// program that ended before the answer.
const qint64 kClaimGivenUpMs = 15 * 60 * 1000;

// A run renews the claim of its record once it is this old: far within kClaimGivenUpMs, even when the desk's
// clock runs fast. A claim it could not renew is written into only while it is younger than half that.
const qint64 kClaimRenewedMs = 60 * 1000;
const qint64 kClaimWrittenIntoMs = kClaimGivenUpMs / 2;

// A desk, as the claims of its runs name it: a digest of its name and the system's own id of it, in a form
// any file system takes.
QString deskPartOf(const QString &name, const QString &id)
{
    const QByteArray digest = QCryptographicHash::hash((name + QLatin1Char('\n') + id).toUtf8(), QCryptographicHash::Sha1);
    quint64 value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | quint8(digest.at(i));
    return QString::number(value, 36);
}

// This desk, so.
const QString &deskPart()
{
    static const QString desk = deskPartOf(QSysInfo::machineHostName(), QString::fromLatin1(QSysInfo::machineUniqueId()));
    return desk;
}

// This program, as the claims of its runs name it besides its process id (which the system gives anew once
// the program ended).
const QString &programPart()
{
    static const QString program = QString::number(QRandomGenerator::system()->generate64(), 36);
    return program;
}

// The claim a report puts on the records it carries at the time given: the time, this program and its
// process id, this desk, and a random part (the part a run's claim lacks).
QString reportClaim(qint64 at)
{
    return kClaimMarker + QString::number(at, 36) + QLatin1Char('-') + programPart() + QLatin1Char('-')
           + QString::number(QCoreApplication::applicationPid(), 36) + QLatin1Char('-') + deskPart()
           + QLatin1Char('-') + QString::number(QRandomGenerator::global()->generate64(), 36);
}

// The claim a run under way puts on its own record at the time given: the time, this program and its
// process id, and this desk.
QString runClaim(qint64 at)
{
    return kClaimMarker + QString::number(at, 36) + QLatin1Char('-') + programPart() + QLatin1Char('-')
           + QString::number(QCoreApplication::applicationPid(), 36) + QLatin1Char('-') + deskPart();
}

// A program whose runs in an order folder made no progress: the run that holds the order's claim took it over
// from it. Its desk as the records name it, and its process id (-1: none).
struct TakenOver
{
    QString desk;
    qint64 pid = -1;
};

// The program an order's claim names (its bytes: the desk's name, its id, and the program's process id before a
// random part of its own).
TakenOver takenOverFrom(const QByteArray &claim)
{
    TakenOver from;
    const QJsonObject json = QJsonDocument::fromJson(claim).object();
    bool number = false;
    const qint64 pid = json.value(QStringLiteral("program")).toString().section(QLatin1Char('-'), 0, 0).toLongLong(&number);
    if (!number || pid <= 0 || !json.value(QStringLiteral("desk")).isString())
        return from;
    from.desk = deskPartOf(json.value(QStringLiteral("desk")).toString(), json.value(QStringLiteral("machine")).toString());
    from.pid = pid;
    return from;
}

// Whose claim the record's name holds.
enum class Claimant {
    Report,      // a report's under way (or one that names no program, or another desk's), or none
    OwnReport,   // a report's of this program
    EndedReport, // a report's of a program of this desk that has ended: its answer never comes
    Run,         // a run's of another program under way (or of one that cannot be told from here: another
                 // desk's)
    OwnRun,      // a run's of this program
    EndedRun,    // a run's of a program of this desk that has ended: the process it names runs this program
                 // no more (or it is this program's process id, given anew: another program named it); or one
                 // of the program whose order claim the caller's run took over (takenOver)
};
Claimant claimantOf(const QString &name, const TakenOver *takenOver = nullptr)
{
    const int at = name.indexOf(kClaimMarker);
    if (at < 0)
        return Claimant::Report;
    const QStringList parts = name.mid(at + kClaimMarker.size()).split(QLatin1Char('-'));
    const bool report = parts.size() == 5;
    if (parts.size() != 4 && !report)
        return Claimant::Report;
    bool number = false;
    const qint64 pid = parts.at(2).toLongLong(&number, 36);
    const bool own = number && pid == QCoreApplication::applicationPid() && parts.at(1) == programPart()
                     && parts.at(3) == deskPart();
    // The program whose claim on the order was taken over runs no import of it any more.
    if (!report && !own && number && takenOver && pid == takenOver->pid && parts.at(3) == takenOver->desk)
        return Claimant::EndedRun;
    if (!number || parts.at(3) != deskPart())
        return report ? Claimant::Report : Claimant::Run;
    bool ended = false;
    if (pid == QCoreApplication::applicationPid()) {
        if (parts.at(1) == programPart())
            return report ? Claimant::OwnReport : Claimant::OwnRun;
        ended = true;
    } else {
        ended = !Platform::runsThisProgram(pid);
    }
    if (report)
        return ended ? Claimant::EndedReport : Claimant::Report;
    return ended ? Claimant::EndedRun : Claimant::Run;
}

// A record's bytes.
// notes: the record's journal holds files of its run besides the counts (see RunRecord::note).
QByteArray recordBytes(ImportTypeEnum type, const Counts &counts, bool notes = false)
{
    QJsonObject json;
    json.insert(QStringLiteral("typeid"), int(type));
    json.insert(QStringLiteral("picnumber"), counts.files);
    json.insert(QStringLiteral("picbacknumber"), counts.backups);
    if (notes)
        json.insert(QStringLiteral("notes"), 1);
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

// A new record's own name (without a claim) in the folder.
QString newRecordName(ImportTypeEnum type)
{
    return namePrefix() + QString::number(int(type)) + QLatin1Char('-')
           + QString::number(QRandomGenerator::global()->generate64(), 36);
}

// The name a record the service took gets when it cannot be removed: no reader of records takes it.
QString takenPrefix()
{
    return QStringLiteral(".tessaly-sent-");
}

// The record's own name (without a claim) and, for a claimed one, when it was claimed.
QString unclaimedName(const QString &name, qint64 *claimedAt = nullptr)
{
    const int at = name.indexOf(kClaimMarker);
    if (claimedAt)
        *claimedAt = -1;
    if (at < 0)
        return name;
    if (claimedAt) {
        bool ok = false;
        const qint64 when = name.mid(at + kClaimMarker.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&ok, 36);
        *claimedAt = ok ? when : 0;
    }
    return name.left(at);
}

// Records the service took that could be neither removed nor renamed, by folder and own name (a claim
// given up and taken anew keeps it): this program never carries them again, and tries to remove them
// whenever it looks at their folder.
QMutex g_takenMutex;
QSet<QString> g_taken;

QString takenKey(const QString &path)
{
    const QFileInfo info(QDir::cleanPath(path));
    return info.path() + QLatin1Char('/') + unclaimedName(info.fileName());
}

bool isTaken(const QString &path)
{
    QMutexLocker lock(&g_takenMutex);
    return g_taken.contains(takenKey(path));
}

void setTaken(const QString &path, bool taken)
{
    QMutexLocker lock(&g_takenMutex);
    if (taken)
        g_taken.insert(takenKey(path));
    else
        g_taken.remove(takenKey(path));
}

// Renames without ever replacing a file: false when the source is gone (another desk renamed it first) or
// the target exists.
// *error (when given) gets why it failed: the system's error, EEXIST when the name is taken.
bool renameNoReplace(const QString &from, const QString &to, int *error = nullptr)
{
    int refusal = 0;
    if (!Platform::renameShouldFail(to, &refusal)) {
        if (QFileInfo(to).exists() || QFileInfo(to).isSymLink())
            refusal = EEXIST;
        else if (Platform::moveIfFree(from, to))
            return true;
        else
            refusal = errno;
    }
    if (error)
        *error = refusal;
    return false;
}

// A file held for a moment (a scanner, an indexer) is let go by the second try.
bool renameNoReplaceRetried(const QString &from, const QString &to, int *error = nullptr)
{
    return renameNoReplace(from, to, error) || (QFileInfo::exists(from) && renameNoReplace(from, to, error));
}

QString folderOf(const QString &orderFolder)
{
    return OrderFolders::withSeparator(OrderFolders::fsPath(orderFolder));
}

bool validType(int type)
{
    return type >= ImportOriginPhotos && type <= ImportRetouchVideos;
}

// What a file of a record's name holds.
enum class Reading {
    Record,    // a record
    Damaged,   // written as a record, with a count no import makes
    NotRecord, // anything else (another program's file, a link, a FIFO, …): left alone
};

// A count as the record holds it: a whole number, not negative, at most kMaxRecordCount. False when it is
// no number at all; *sound says whether it is such a count.
bool readCount(const QJsonObject &json, const char *key, int *count, bool *sound)
{
    const QJsonValue value = json.value(QLatin1String(key));
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    *sound = number >= 0 && number <= kMaxRecordCount && number == double(int(number));
    *count = *sound ? int(number) : 0;
    return true;
}

// The record at path, read only from a regular file (never through a link, never waiting on a FIFO or
// device); claimedAt gets the time of its claim (-1: not claimed).
Reading readRecord(const QString &path, Record *record, qint64 *claimedAt = nullptr)
{
    QByteArray bytes;
    if (!Platform::readRegularFile(path, kMaxRecordBytes, &bytes))
        return Reading::NotRecord;
    const QJsonObject json = QJsonDocument::fromJson(bytes).object();
    const int type = json.value(QStringLiteral("typeid")).toInt(-1);
    bool filesSound = false;
    bool backupsSound = false;
    if (!validType(type) || !readCount(json, "picnumber", &record->counts.files, &filesSound)
        || !readCount(json, "picbacknumber", &record->counts.backups, &backupsSound))
        return Reading::NotRecord;
    // The name says the type as well; a file whose two disagree was not written by this program.
    const QString name = QFileInfo(path).fileName();
    if (!name.startsWith(namePrefix() + QString::number(type) + QLatin1Char('-')))
        return Reading::NotRecord;
    unclaimedName(name, claimedAt);
    record->noted = json.value(QStringLiteral("notes")).toInt() == 1;
    record->path = path;
    record->type = ImportTypeEnum(type);
    record->claimed = false;
    return filesSound && backupsSound ? Reading::Record : Reading::Damaged;
}

// The records in name order whose counts, added up in 64 bits, stay within what one report carries; the
// others are left out (they wait for a later report).
QList<Record> withinOneReport(const QList<Record> &found, Counts *sum)
{
    QList<Record> taken;
    qint64 files = 0;
    qint64 backups = 0;
    for (const Record &record : found) {
        if (files + record.counts.files > kMaxCount || backups + record.counts.backups > kMaxCount)
            continue;
        files += record.counts.files;
        backups += record.counts.backups;
        taken << record;
    }
    sum->files = int(files);
    sum->backups = int(backups);
    return taken;
}

// Removes what is left of records the service took and that were renamed for it.
void removeTakenLeftovers(const QString &folder)
{
    const QStringList names = QDir(folder).entryList({takenPrefix() + QLatin1Char('*')},
                                                     QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (Platform::isRegularFile(folder + name))
            FileOperation::deleteFile(folder + name);
    }
}

// The start of a journal's name: beside its record, named after the record's own name.
QString journalPrefix()
{
    return QStringLiteral(".tessaly-notes-");
}

QString journalOf(const QString &recordPath)
{
    const QFileInfo info(recordPath);
    return info.path() + QLatin1Char('/') + journalPrefix() + unclaimedName(info.fileName()).mid(namePrefix().size());
}

// The largest journal read: a note takes about 200 bytes, an order of 50,000 photos and backups 20 MiB.
const qint64 kJournalLimit = 24 * 1024 * 1024;

// The folders of an order's main files a note may name.
bool mainFolderName(const QString &folder)
{
    return folder == QStringLiteral("照片/") || folder == QStringLiteral("成品/") || folder == QStringLiteral("设计/");
}

// The folder of the backups' notes: the "照片/" of the order's backup folder, as a note names it ("" for none).
QString backupNotesFolder(const QString &backupFolder)
{
    if (backupFolder.trimmed().isEmpty())
        return QString();
    return OrderFolders::withSeparator(
        QDir::cleanPath(OrderFolders::fsPath(OrderFolders::withSeparator(backupFolder) + QStringLiteral("照片/"))));
}

// A backup note's folder: the order's backup photo folder (backupNotesFolder), given whole and clean.
bool backupFolderOf(const QString &folder, const QString &backupNotes)
{
    return !backupNotes.isEmpty() && QDir::isAbsolutePath(folder) && QDir::cleanPath(folder) + QLatin1Char('/') == folder
           && folder.compare(backupNotes, Platform::pathCase()) == 0;
}

bool safeName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

// The files the journal notes that are there, each holding the bytes noted, each counted once. A line cut
// short or damaged, or one naming anything outside the order's folders (backupNotes: its backup photo folder,
// see backupNotesFolder), is passed over.
Counts journalCounts(const QString &folder, const QString &journal, const QString &backupNotes)
{
    Counts counts;
    QByteArray bytes;
    if (!Platform::readRegularFile(journal, kJournalLimit, &bytes))
        return counts;
    QSet<QString> seen;
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString kind = o.value(QStringLiteral("k")).toString();
        const QString where = o.value(QStringLiteral("f")).toString();
        const QString name = o.value(QStringLiteral("n")).toString();
        // A size is a whole number of bytes; one with a fraction is no note of a run.
        double size = o.value(QStringLiteral("s")).toDouble(-1);
        if (!(size >= 0 && size < 9.0e15 && std::floor(size) == size))
            size = -1;
        const QByteArray digest = QByteArray::fromHex(o.value(QStringLiteral("d")).toString().toLatin1());
        const bool backup = kind == QLatin1String("b");
        if ((!backup && kind != QLatin1String("m")) || !safeName(name) || size < 0 || digest.isEmpty()
            || !(backup ? backupFolderOf(where, backupNotes) : mainFolderName(where)))
            continue;
        const QString path = (backup ? where : folder + where) + name;
        const QString key = Platform::pathCase() == Qt::CaseInsensitive ? path.toLower() : path;
        if (seen.contains(key) || !Platform::isRegularFile(path) || Platform::fileFacts(path).size != qint64(size))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || photoDigest(file) != digest)
            continue;
        seen.insert(key);
        if (backup)
            counts.backups = qMin(counts.backups + 1, kMaxRecordCount);
        else
            counts.files = qMin(counts.files + 1, kMaxRecordCount);
    }
    return counts;
}

// Journals whose record is gone (a report took it) or holds its counts whole (the run's end, or a report
// taking it over, wrote them and was cut off before the journal went) are removed.
void removeJournalsLeft(const QString &folder)
{
    const QDir dir(folder);
    const QStringList journals = dir.entryList({journalPrefix() + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : journals) {
        const QString own = namePrefix() + name.mid(journalPrefix().size());
        bool needed = false;
        for (const QString &recordName : dir.entryList({own + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System)) {
            Record record;
            needed = needed || readRecord(folder + recordName, &record, nullptr) == Reading::NotRecord || record.noted;
        }
        if (!needed && Platform::isRegularFile(folder + name))
            FileOperation::deleteFile(folder + name);
    }
}

// The record (claimed by the caller) of a run that ended before it wrote its counts whole: the files its
// journal notes that are there count once, written into the record before the journal goes. False when the
// record could not be written.
bool foldJournal(const QString &folder, const QString &backupNotes, Record *record)
{
    if (!record->noted)
        return true;
    const Counts noted = journalCounts(folder, journalOf(record->path), backupNotes);
    record->counts.files = qMin(record->counts.files + noted.files, kMaxRecordCount);
    record->counts.backups = qMin(record->counts.backups + noted.backups, kMaxRecordCount);
    const QByteArray bytes = recordBytes(record->type, record->counts);
    if (!Platform::writeIntoPlace(record->path, [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); })) {
        qCWarning(lcImport) << "record of an ended run not written whole:" << record->path;
        return false;
    }
    FileOperation::deleteFile(journalOf(record->path));
    record->noted = false;
    return true;
}

QList<Record> scan(const QString &orderFolder, int damagedType = -1, QStringList *damaged = nullptr,
                   const QString &backupNotes = QString(), const TakenOver *takenOver = nullptr,
                   QStringList *takenOverPaths = nullptr);

// Takes over the records of runs that ended before they wrote their counts whole: each is claimed, its
// journal folded in, and given back as an ordinary record for the next report. Done before a run puts its
// first file in place, so that a noted file is judged as the ended run left it, not as the redo puts it
// back. So too every record of the program whose order claim the caller's run took over (takenOver), whose
// claim no report would take for a long while otherwise.
void foldEnded(const QString &orderFolder, const QString &backupNotes, const TakenOver *takenOver = nullptr)
{
    const QString folder = folderOf(orderFolder);
    QStringList takenOverPaths;
    for (const Record &found : scan(orderFolder, -1, nullptr, backupNotes, takenOver, &takenOverPaths)) {
        if ((!found.noted && !takenOverPaths.contains(found.path)) || found.claimed)
            continue;
        const QFileInfo info(found.path);
        Record record;
        const QString to = info.path() + QLatin1Char('/') + unclaimedName(info.fileName())
                           + reportClaim(Platform::folderClock(folder));
        if (!renameNoReplaceRetried(found.path, to))
            continue; // another program took it first
        if (readRecord(to, &record) == Reading::Record)
            foldJournal(folder, backupNotes, &record);
        release({to});
    }
}

// The records in the order folder; the paths of the damaged ones of the given type go to *damaged, those of
// the program whose order claim was taken over (takenOver) to *takenOverPaths.
QList<Record> scan(const QString &orderFolder, int damagedType, QStringList *damaged, const QString &backupNotes,
                   const TakenOver *takenOver, QStringList *takenOverPaths)
{
    QList<Record> found;
    if (orderFolder.trimmed().isEmpty())
        return found;
    const QString folder = folderOf(orderFolder);
    const QStringList names = QDir(folder).entryList({namePrefix() + QLatin1Char('*')},
                                                     QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    qint64 now = -1; // the folder's clock, read once and only for a claimed record
    for (const QString &name : names) {
        const QString path = folder + name;
        if (isTaken(path)) {
            // Taken by the service already: gone now, or passed over still.
            if (FileOperation::deleteFile(path) || !QFileInfo(path).exists())
                setTaken(path, false);
            continue;
        }
        Record record;
        qint64 claimedAt = -1;
        const Reading reading = readRecord(path, &record, &claimedAt);
        if (reading == Reading::Damaged) {
            qCWarning(lcImport) << "record of an unsent report with a count no import makes, passed over:" << path;
            if (damaged && int(record.type) == damagedType)
                *damaged << path;
            continue;
        }
        if (reading != Reading::Record) {
            qCWarning(lcImport) << "not a record of an unsent report, left alone:" << path;
            continue;
        }
        if (claimedAt >= 0) {
            if (now < 0)
                now = Platform::folderClock(folder);
            const bool recent = qAbs(now - claimedAt) < kClaimGivenUpMs;
            const Claimant claimant = recent ? claimantOf(name, takenOver) : Claimant::EndedReport;
            if (claimant == Claimant::OwnRun)
                continue; // counted by a run of this program under way, whose end report carries it
            if (recent && claimant == Claimant::EndedRun && takenOverPaths && claimantOf(name) == Claimant::Run)
                *takenOverPaths << path;
            // Counted by another program's run under way: its end report carries it, or the next report
            // once its claim is given up.
            record.run = claimant == Claimant::Run;
            record.claimed = claimant == Claimant::Report || claimant == Claimant::OwnReport || record.run;
            record.ownReport = claimant == Claimant::OwnReport;
            // Named by a program of this desk that still runs: its answer decides, or its end.
            record.heldHere = (claimant == Claimant::Report && name.count(QLatin1Char('-')) >= 8
                               && name.section(QLatin1Char('-'), -2, -2) == deskPart())
                              || (record.run && name.section(QLatin1Char('-'), -1) == deskPart());
            record.givenUpInMs = record.claimed ? qMax<qint64>(0, claimedAt + kClaimGivenUpMs - now) : 0;
        }
        // A run's record whose journal was not folded in yet: as a report carrying it would count it.
        if (record.noted && (!record.claimed || record.run)) {
            const Counts noted = journalCounts(folder, journalOf(path), backupNotes);
            record.counts.files = qMin(record.counts.files + noted.files, kMaxRecordCount);
            record.counts.backups = qMin(record.counts.backups + noted.backups, kMaxRecordCount);
        }
        found << record;
    }
    return found;
}

} // namespace

QString namePrefix()
{
    return QStringLiteral(".tessaly-unsent-");
}

int maxCount()
{
    return kMaxCount;
}

int maxRecordCount()
{
    return kMaxRecordCount;
}

QList<Record> records(const QString &orderFolder)
{
    return scan(orderFolder);
}

Owed owed(const QString &orderFolder, ImportTypeEnum type, const QString &backupFolder)
{
    Owed sum;
    QList<Record> found;
    for (const Record &record : scan(orderFolder, int(type), &sum.damaged, backupNotesFolder(backupFolder))) {
        if (record.type == type && !record.claimed)
            found << record;
        // What waits for another program: its counts, whether a program of this desk holds it (then it goes
        // when that program ends), else when its claim is given up at the latest.
        const auto waits = [&record](Counts *counts, bool *here, qint64 *ms) {
            counts->files += record.counts.files;
            counts->backups += record.counts.backups;
            if (record.heldHere)
                *here = true;
            else
                *ms = qMax(*ms, record.givenUpInMs);
        };
        if (record.type == type && record.run)
            waits(&sum.runWaiting, &sum.runWaitingHere, &sum.runWaitingMs);
        else if (record.type == type && record.claimed && !record.ownReport)
            waits(&sum.waiting, &sum.waitingHere, &sum.waitingMs);
    }
    for (const Record &record : withinOneReport(found, &sum.counts))
        sum.paths << record.path;
    return sum;
}

Owed claim(const QString &orderFolder, ImportTypeEnum type, const QString &backupFolder)
{
    Owed claimed;
    const Owed found = owed(orderFolder, type, backupFolder);
    claimed.damaged = found.damaged;
    claimed.waiting = found.waiting;
    claimed.waitingHere = found.waitingHere;
    claimed.waitingMs = found.waitingMs;
    claimed.runWaiting = found.runWaiting;
    claimed.runWaitingHere = found.runWaitingHere;
    claimed.runWaitingMs = found.runWaitingMs;
    if (found.paths.isEmpty())
        return claimed;
    const QString folder = folderOf(orderFolder);
    removeTakenLeftovers(folder);
    removeJournalsLeft(folder);
    const QString claim = reportClaim(Platform::folderClock(folder));
    QList<Record> taken;
    for (const QString &path : found.paths) {
        Record record;
        const QFileInfo info(path);
        const QString to = info.path() + QLatin1Char('/') + unclaimedName(info.fileName()) + claim;
        int refusal = 0;
        if (!renameNoReplaceRetried(path, to, &refusal)) {
            // Another desk claimed it first, or the file system refused the rename: then it stays for the
            // next report, and the caller says so, and why.
            if (readRecord(path, &record) == Reading::Record) {
                claimed.held << path;
                claimed.heldError = refusal;
                claimed.heldCounts.files += record.counts.files;
                claimed.heldCounts.backups += record.counts.backups;
            }
            continue;
        }
        // The counts as the claimed file holds them: the one this desk renamed. One that is no record
        // (changed since it was listed) goes back under its name.
        if (readRecord(to, &record) != Reading::Record) {
            release({to});
            continue;
        }
        if (!foldJournal(folder, backupNotesFolder(backupFolder), &record)) {
            release({to});
            continue;
        }
        taken << record;
    }
    for (const Record &record : withinOneReport(taken, &claimed.counts))
        claimed.paths << record.path;
    for (const Record &record : taken) {
        if (!claimed.paths.contains(record.path))
            release({record.path}); // grown since it was listed: it waits for the next report
    }
    return claimed;
}

QStringList release(const QStringList &claimedPaths)
{
    QStringList kept;
    for (const QString &path : claimedPaths) {
        const QFileInfo info(path);
        const QString to = info.path() + QLatin1Char('/') + unclaimedName(info.fileName());
        if (to != path && info.exists() && !renameNoReplaceRetried(path, to)) {
            qCWarning(lcImport) << "record of an unsent report not given back:" << path;
            kept << path;
        }
    }
    return kept;
}

QString add(const QString &orderFolder, ImportTypeEnum type, const Counts &counts, int *error)
{
    if (orderFolder.trimmed().isEmpty()) {
        if (error)
            *error = ENOENT;
        return QString();
    }
    const QString path = folderOf(orderFolder) + newRecordName(type);
    const QByteArray bytes = recordBytes(type, counts);
    errno = 0;
    const bool written = Platform::writeIntoPlace(
        path, [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); });
    const int failure = errno;
    if (!written) {
        qCWarning(lcImport) << "record of an unsent report not written:" << path;
        if (error)
            *error = failure;
        return QString();
    }
    Platform::setHidden(path);
    return path;
}

QStringList drop(const QStringList &paths)
{
    QStringList kept;
    for (const QString &path : paths) {
        // A journal beside it was folded into it before the report carried it.
        if (Platform::isRegularFile(journalOf(path)))
            FileOperation::deleteFile(journalOf(path));
        // A file held for a moment (a scanner, an indexer) is let go by the second try.
        if (FileOperation::deleteFile(path) || FileOperation::deleteFile(path) || !QFileInfo(path).exists())
            continue;
        const QFileInfo info(path);
        const QString name = info.fileName();
        const QString to = info.path() + QLatin1Char('/') + takenPrefix() + name.mid(namePrefix().size());
        if (name.startsWith(namePrefix()) && renameNoReplace(path, to)) {
            qCWarning(lcImport) << "record of a report the service took not removed, renamed:" << to;
            continue;
        }
        qCWarning(lcImport) << "record of a report the service took not removed:" << path;
        setTaken(path, true);
        kept << path;
    }
    return kept;
}

RunRecord::RunRecord(const QString &orderFolder, ImportTypeEnum type, const QString &backupFolder,
                     const QByteArray &tookOver)
    : m_folder(orderFolder.trimmed().isEmpty() ? QString() : folderOf(orderFolder)),
      m_backupFolder(backupNotesFolder(backupFolder)), m_type(type)
{
    if (!tookOver.isEmpty()) {
        const TakenOver from = takenOverFrom(tookOver);
        m_tookOverDesk = from.desk;
        m_tookOverPid = from.pid;
    }
}

RunRecord::~RunRecord()
{
    // (A program cut off never gets here: its record stays claimed until the claim is given up.)
    if (!m_path.isEmpty())
        release({m_path});
}

qint64 RunRecord::folderNow()
{
    // The folder's clock is read once (a probe file on the share); the time since is the desk's to tell.
    if (m_clockBase < 0) {
        m_clockBase = Platform::folderClock(m_folder);
        m_clock.start();
    }
    return m_clockBase + m_clock.elapsed();
}

void RunRecord::letGoLocked()
{
    qCWarning(lcImport) << "record of a run under way taken by another report:" << m_path;
    m_clockBase = -1; // the run's clock may have stood still (the desk slept): the folder's is read again
    // What the record and its journal held is that report's: it counted the noted files it found.
    m_files -= m_written.files + m_journalFiles;
    m_backups -= m_written.backups + m_journalBackups;
    m_journalFiles = 0;
    m_journalBackups = 0;
    m_noted = false;
    m_writtenNotes = false;
    ++m_generation;
    m_written = Counts();
    m_path.clear();
    m_facts = Platform::FileFacts();
}

bool RunRecord::writeLocked(bool forReport)
{
    if (m_folder.isEmpty()) {
        m_error = ENOENT;
        return false;
    }
    const qint64 now = folderNow();
    // Another report may have taken the record (its claim given up on the folder's clock: the run had not
    // counted for long, its share stalled, or the desk slept, which stops the run's own clock): what it
    // held is that report's now, and the run goes on with a new record for what it counts from then on.
    // The record is looked at before every write, and again just before the write takes its name.
    if (!m_path.isEmpty() && !(Platform::fileFacts(m_path) == m_facts))
        letGoLocked();
    if (!m_path.isEmpty() && (forReport || now - m_claimedAt >= kClaimRenewedMs)) {
        const QString renewed = m_folder + unclaimedName(QFileInfo(m_path).fileName())
                                + (forReport ? reportClaim(now) : runClaim(now));
        if (renameNoReplaceRetried(m_path, renewed)) {
            m_path = renewed;
            m_claimedAt = now;
            m_facts = Platform::fileFacts(renewed);
        } else if (!QFileInfo::exists(m_path) && !QFileInfo(m_path).isSymLink()) {
            letGoLocked();
        } else if (now - m_claimedAt >= kClaimWrittenIntoMs) {
            m_error = EBUSY;
            return false; // too old to be written into safely: the next count tries again
        }
    }
    // While the run goes on its noted files are counted by the journal; its end writes them all into the
    // record, and the journal goes.
    const bool notes = m_noted && !forReport;
    const Counts due = notes ? Counts{int(m_files - m_journalFiles), int(m_backups - m_journalBackups)}
                             : Counts{int(m_files), int(m_backups)};
    if (due.files == m_written.files && due.backups == m_written.backups && notes == m_writtenNotes)
        return true;
    const bool made = m_path.isEmpty();
    const QString path = made ? m_folder + newRecordName(m_type) + (forReport ? reportClaim(now) : runClaim(now)) : m_path;
    const QByteArray bytes = recordBytes(m_type, due, notes);
    const Platform::FileFacts left = m_facts;
    auto asLeft = [&] { return made || Platform::fileFacts(path) == left; };
    errno = 0;
    if (!Platform::writeIntoPlace(path, [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); },
                                  nullptr, nullptr, asLeft)) {
        const int error = errno;
        if (!made && error == ECANCELED) {
            letGoLocked(); // taken while the bytes were written: a new record for what was counted since
            return writeLocked(forReport);
        }
        m_error = error != 0 ? error : EIO;
        qCWarning(lcImport) << "record of a run under way not written:" << path;
        return false;
    }
    if (made) {
        m_path = path;
        m_claimedAt = now;
    }
    Platform::setHidden(path);
    m_facts = Platform::fileFacts(path);
    m_written = due;
    if (m_writtenNotes && !notes) {
        // Its counts are whole in the record now.
        FileOperation::deleteFile(journalOf(path));
        m_noted = false;
        m_journalFiles = 0;
        m_journalBackups = 0;
    }
    m_writtenNotes = notes;
    return true;
}

int RunRecord::note(bool backup, const QString &folder, const QString &name, qint64 size, const QByteArray &digest)
{
    QMutexLocker lock(&m_mutex);
    if (m_folder.isEmpty() || digest.isEmpty() || size < 0 || !safeName(name))
        return -1;
    if (!m_foldedEnded) {
        m_foldedEnded = true;
        const TakenOver from{m_tookOverDesk, m_tookOverPid};
        foldEnded(m_folder, m_backupFolder, m_tookOverPid > 0 ? &from : nullptr);
    }
    // Another report may have taken the record meanwhile: then a new one notes what comes from now on.
    if (!m_path.isEmpty() && !(Platform::fileFacts(m_path) == m_facts))
        letGoLocked();
    if (!m_writtenNotes) {
        m_noted = true;
        if (!writeLocked(false) || !m_writtenNotes) {
            m_noted = m_writtenNotes;
            return -1;
        }
    }
    const QString local = OrderFolders::withSeparator(QDir::cleanPath(OrderFolders::fsPath(folder)));
    const QString where = !backup && local.startsWith(m_folder, Platform::pathCase()) ? local.mid(m_folder.size()) : local;
    QJsonObject line;
    line.insert(QStringLiteral("k"), backup ? QStringLiteral("b") : QStringLiteral("m"));
    line.insert(QStringLiteral("f"), where);
    line.insert(QStringLiteral("n"), name);
    line.insert(QStringLiteral("s"), double(size));
    line.insert(QStringLiteral("d"), QString::fromLatin1(digest.toHex()));
    // Each note begins a line of its own, so that a line cut short before ends there.
    const QByteArray bytes = '\n' + QJsonDocument(line).toJson(QJsonDocument::Compact);
    const QString journal = journalOf(m_path);
    const bool fresh = !QFileInfo::exists(journal);
    Platform::SystemFile out;
    if (!out.openForWriting(journal, Platform::SystemFile::Append) || out.write(bytes) != bytes.size()
        || !out.closeChecked()) {
        qCWarning(lcImport) << "note of a run under way not written:" << journal << errorText(out.error());
        return -1;
    }
    if (fresh)
        Platform::setHidden(journal);
    return m_generation;
}

void RunRecord::count(int files, int backups, int mark)
{
    QMutexLocker lock(&m_mutex);
    // Noted in a record another report took since (its claim went old, the share stalled): that report
    // counted the noted files it found in place; this one came later, and the new record counts it.
    if (!m_path.isEmpty() && !(Platform::fileFacts(m_path) == m_facts))
        letGoLocked();
    m_files += files;
    m_backups += backups;
    if (mark >= 0 && mark == m_generation) {
        m_journalFiles += files;
        m_journalBackups += backups;
    }
    writeLocked(false);
}

void RunRecord::keepFresh()
{
    QMutexLocker lock(&m_mutex);
    if (!m_path.isEmpty() && folderNow() - m_claimedAt >= kClaimRenewedMs)
        writeLocked(false);
}

RunRecord::End RunRecord::finish(const Counts &extra)
{
    QMutexLocker lock(&m_mutex);
    // A run that noted nothing (the photos were in the order already) takes over the records of the program
    // whose order claim it took over now, for its end report.
    if (!m_foldedEnded && m_tookOverPid > 0 && !m_folder.isEmpty()) {
        m_foldedEnded = true;
        const TakenOver from{m_tookOverDesk, m_tookOverPid};
        foldEnded(m_folder, m_backupFolder, &from);
    }
    // The report's claim is put at the folder's time as read now: the run's own clock stands still while
    // the desk sleeps, and a claim of its time could look given up already.
    m_clockBase = -1;
    m_files += extra.files;
    m_backups += extra.backups;
    m_error = 0;
    writeLocked(true);
    End end;
    end.path = m_path;
    // A record whose counts could not be written whole still holds its journal's.
    end.counts = {m_written.files + int(m_journalFiles), m_written.backups + int(m_journalBackups)};
    end.unwritten = {int(m_files) - end.counts.files, int(m_backups) - end.counts.backups};
    end.error = m_error;
    m_path.clear();
    m_facts = Platform::FileFacts();
    m_files = 0;
    m_backups = 0;
    m_journalFiles = 0;
    m_journalBackups = 0;
    m_noted = false;
    m_writtenNotes = false;
    ++m_generation;
    m_written = Counts();
    return end;
}

QList<ImportTypeEnum> carriedWith(ImportTypeEnum type)
{
    QList<ImportTypeEnum> types{ImportOriginPhotos, ImportFinishedPhotos, ImportDesigns};
    types.removeAll(type);
    return types;
}

QString damagedText()
{
    return QStringLiteral("以下订单目录中的导片记录数量有误，没有上报，请核对后删除该文件：\n");
}

QString heldText(int error)
{
    const QString why = error == 0 ? QString() : QStringLiteral("（") + errorText(error) + QStringLiteral("）");
    return QStringLiteral("订单目录中的导片记录无法取用") + why + QStringLiteral("，这次没有上报，仍记在订单目录中，");
}

QString waitingText(const Owed &owed)
{
    auto countsOf = [](const Counts &waiting) {
        QString counts = QStringLiteral("照片%1张").arg(waiting.files);
        if (waiting.backups != 0)
            counts += QStringLiteral("，备份%1张").arg(waiting.backups);
        return counts;
    };
    // A claim held elsewhere is given up after a while; one of a program of this desk when it ends.
    auto whenOf = [](bool here, qint64 ms) {
        const qint64 minutes = qMax<qint64>(1, (ms + 59999) / 60000);
        return here && ms == 0 ? QStringLiteral("该程序结束后，下次导入该订单时一并上报")
                               : QStringLiteral("%1分钟后下次导入该订单时一并上报").arg(minutes);
    };
    QStringList lines;
    if (owed.waiting.files != 0 || owed.waiting.backups != 0)
        lines << QStringLiteral("另一个程序正在上报的导片数量（%1）这次没有上报；若其未能送达，%2")
                     .arg(countsOf(owed.waiting), whenOf(owed.waitingHere, owed.waitingMs));
    if (owed.runWaiting.files != 0 || owed.runWaiting.backups != 0)
        lines << QStringLiteral("另一个程序导入该订单时记下的导片数量（%1）这次没有上报，%2")
                     .arg(countsOf(owed.runWaiting), whenOf(owed.runWaitingHere, owed.runWaitingMs));
    return lines.join(QLatin1Char('\n'));
}

bool heldPasses(int error)
{
    switch (error) {
    case 0: // no reason known
    case EBUSY: // another program holds the file (on Windows a sharing or lock violation)
#ifdef ETXTBSY
    case ETXTBSY:
#endif
    case EAGAIN:
    case EINTR:
        return true;
    default:
        // A share's connection comes back; no permission, a read-only disk, … stay until somebody mends them.
        return isNetworkError(error);
    }
}

QString owedQuestion(const QStringList &orderLines, const QList<Record> &folderRecords, const QString &question)
{
    OwedLines lines;
    lines.notSent = orderLines;
    return owedQuestion(lines, folderRecords, question);
}

QString owedQuestion(const OwedLines &orderLines, const QList<Record> &folderRecords, const QString &question)
{
    auto group = [](const QString &headline, const QStringList &lines) {
        return lines.isEmpty() ? QString() : headline + lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    };
    QString text = group(QStringLiteral("以下订单的导片信息尚未上报服务器：\n"), orderLines.notSent)
                   + group(QStringLiteral("以下订单的导片数量已发给服务器，但没有收到服务器的回复，服务器可能已收下：\n"),
                           orderLines.maybeTaken);
    if (!orderLines.notSent.isEmpty() || !orderLines.maybeTaken.isEmpty()) {
        bool photos = false;
        bool videos = false;
        for (const Record &record : folderRecords) {
            const bool video = record.type == ImportTrialVideos || record.type == ImportRetouchVideos;
            photos = photos || !video;
            videos = videos || video;
        }
        if (photos)
            text += QStringLiteral("记在订单目录中的导片数量会在下次导入该订单时一并上报。\n");
        // A video report names the videos of its run: only the batch import of that type makes one.
        if (videos)
            text += QStringLiteral("记在订单目录中的视频数量只在用“批量导片”再次导入该订单的同类视频时上报。\n");
    }
    // The reports under way go also when the window has closed; a refusal gives their counts back.
    const QString pending =
        group(QStringLiteral("以下订单的导片数量要等服务器回复开始导片的信息后才上报，还没有发给服务器：\n"),
              orderLines.waitingForStart)
        + group(QStringLiteral("以下订单的导片数量已报给服务器，还没有收到回复：\n"), orderLines.out);
    if (!pending.isEmpty())
        text += pending + QStringLiteral("服务器没有接受时，这些数量仍记在订单目录中，下次导入该订单时会一并上报。\n");
    return text + question;
}

} // namespace UnsentReport
