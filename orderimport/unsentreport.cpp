#include "unsentreport.h"

#include "fileoperation.h"
#include "logging.h"
#include "orderfolders.h"
#include "platform.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cerrno>

namespace UnsentReport {

namespace {

// A record is a few dozen bytes; anything much larger is no record of ours.
const qint64 kMaxRecordBytes = 4096;

// A claimed record's name: the record's own, then this marker, the time of the claim (milliseconds since
// 1970, base 36) and a random part.
const QLatin1String kClaimMarker(".claim-");

// A report is answered or given up within a minute (see requestTimeoutMs); a claim this old belongs to a
// program that ended before the answer. Generous, for desks whose clocks differ.
const qint64 kClaimGivenUpMs = 15 * 60 * 1000;

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

bool freshClaim(qint64 claimedAt)
{
    return claimedAt >= 0 && qAbs(QDateTime::currentMSecsSinceEpoch() - claimedAt) < kClaimGivenUpMs;
}

// Renames without ever replacing a file: false when the source is gone (another desk renamed it first) or
// the target exists.
bool renameNoReplace(const QString &from, const QString &to)
{
    if (QFileInfo::exists(to))
        return false;
    return QDir().rename(from, to);
}

QString folderOf(const QString &orderFolder)
{
    return OrderFolders::withSeparator(OrderFolders::fsPath(orderFolder));
}

bool validType(int type)
{
    return type >= ImportOriginPhotos && type <= ImportRetouchVideos;
}

// A count as the record holds it: a whole number, not negative.
bool readCount(const QJsonObject &json, const char *key, int *count)
{
    const QJsonValue value = json.value(QLatin1String(key));
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 0 || number > 1e9 || number != double(int(number)))
        return false;
    *count = int(number);
    return true;
}

bool readRecord(const QString &path, Record *record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxRecordBytes)
        return false;
    const QJsonObject json = QJsonDocument::fromJson(file.read(kMaxRecordBytes)).object();
    const int type = json.value(QStringLiteral("typeid")).toInt(-1);
    if (!validType(type) || !readCount(json, "picnumber", &record->counts.files)
        || !readCount(json, "picbacknumber", &record->counts.backups))
        return false;
    // The name says the type as well; a file whose two disagree was not written by this program.
    const QString name = QFileInfo(path).fileName();
    if (!name.startsWith(namePrefix() + QString::number(type) + QLatin1Char('-')))
        return false;
    qint64 claimedAt = -1;
    unclaimedName(name, &claimedAt);
    record->path = path;
    record->type = ImportTypeEnum(type);
    record->claimed = freshClaim(claimedAt);
    return true;
}

} // namespace

QString namePrefix()
{
    return QStringLiteral(".tessaly-unsent-");
}

QList<Record> records(const QString &orderFolder)
{
    QList<Record> found;
    if (orderFolder.trimmed().isEmpty())
        return found;
    const QString folder = folderOf(orderFolder);
    const QStringList names = QDir(folder).entryList({namePrefix() + QLatin1Char('*')},
                                                     QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : names) {
        Record record;
        if (readRecord(folder + name, &record))
            found << record;
        else
            qCWarning(lcImport) << "not a record of an unsent report, left alone:" << folder + name;
    }
    return found;
}

Owed owed(const QString &orderFolder, ImportTypeEnum type)
{
    Owed sum;
    for (const Record &record : records(orderFolder)) {
        if (record.type != type || record.claimed)
            continue;
        sum.counts.files += record.counts.files;
        sum.counts.backups += record.counts.backups;
        sum.paths << record.path;
    }
    return sum;
}

Owed claim(const QString &orderFolder, ImportTypeEnum type)
{
    Owed claimed;
    const Owed found = owed(orderFolder, type);
    const QString claim = kClaimMarker + QString::number(QDateTime::currentMSecsSinceEpoch(), 36) + QLatin1Char('-')
                          + QString::number(QRandomGenerator::global()->generate64(), 36);
    for (const QString &path : found.paths) {
        Record record;
        const QFileInfo info(path);
        const QString to = info.path() + QLatin1Char('/') + unclaimedName(info.fileName()) + claim;
        // The counts as the claimed file holds them: the one this desk renamed.
        if (!renameNoReplace(path, to) || !readRecord(to, &record))
            continue;
        claimed.counts.files += record.counts.files;
        claimed.counts.backups += record.counts.backups;
        claimed.paths << to;
    }
    return claimed;
}

QStringList release(const QStringList &claimedPaths)
{
    QStringList kept;
    for (const QString &path : claimedPaths) {
        const QFileInfo info(path);
        const QString to = info.path() + QLatin1Char('/') + unclaimedName(info.fileName());
        if (to != path && info.exists() && !renameNoReplace(path, to)) {
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
    const QString path = folderOf(orderFolder) + namePrefix() + QString::number(int(type)) + QLatin1Char('-')
                         + QString::number(QRandomGenerator::global()->generate64(), 36);
    QJsonObject json;
    json.insert(QStringLiteral("typeid"), int(type));
    json.insert(QStringLiteral("picnumber"), counts.files);
    json.insert(QStringLiteral("picbacknumber"), counts.backups);
    const QByteArray bytes = QJsonDocument(json).toJson(QJsonDocument::Compact);
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
        if (!FileOperation::deleteFile(path) && QFileInfo::exists(path)) {
            qCWarning(lcImport) << "record of a report the service took not removed:" << path;
            kept << path;
        }
    }
    return kept;
}

} // namespace UnsentReport
