#include "separationattempt.h"

#include "fileoperation.h"
#include "logging.h"
#include "platform.h"
#include "separationclaim.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace {

const QString kFolders = QStringLiteral("folders");
const QString kPlanned = QStringLiteral("planned");
const QString kFolder = QStringLiteral("folder");
const QString kCreated = QStringLiteral("created");
const QString kFiles = QStringLiteral("files");
const QString kName = QStringLiteral("name");
const QString kSize = QStringLiteral("size");
const QString kTime = QStringLiteral("time");
const QString kChanged = QStringLiteral("changed");
const QString kId = QStringLiteral("id");
const QString kPending = QStringLiteral("pending");
const QString kSource = QStringLiteral("source");
const QString kOther = QStringLiteral("other");
const QString kWithdrawn = QStringLiteral("withdrawn");

// The largest record read, and the largest journal. A record takes about 110 bytes per copy (up to 200
// with long names, or a copy not confirmed with its source) and a few hundred per folder; a journal 310 to
// 400 per copy (a line before it lands, one after) of one attempt: the largest order separated, 100,000
// photos, keeps up to 20 MB and 40 MB, under two thirds of the bounds. Larger files under their names are no
// records of ours. They are read off the GUI thread, each whole, the journal folded line by line: a few
// times their size in memory.
constexpr qint64 kRecordLimit = 32 * 1024 * 1024;
constexpr qint64 kJournalLimit = 64 * 1024 * 1024;
// The most folders a record lists (one a product of the plan, and what is left of products that left it),
// and the most facts of copies in it and its journal together (a copy takes one or two in the record, two
// in the journal): an order of 100,000 photos takes up to 400,000. They keep a crafted record's reading
// short.
constexpr int kRecordFolders = 10000;
constexpr int kRecordFacts = 500000;
// The most facts of one copy's name in a folder: a copy in place has one, and each attempt killed as its
// copy landed adds one beside it until a redo settles them (settleLanded()). Any more are no attempt's.
constexpr int kFactsPerName = 16;
// The numbered names a photo tries beside other files of its name.
constexpr int kNumberedNames = 1000;

// A relative folder path in one form: its names joined by "/", ending in "/" ("" for none).
QString canon(const QString &relative)
{
    const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : parts.join(QLatin1Char('/')) + QLatin1Char('/');
}

// The levels of a relative folder, outermost first: "a/b/" gives "a/" and "a/b/".
QStringList levelsOf(const QString &relative)
{
    QStringList levels;
    QString level;
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        level += part + QLatin1Char('/');
        levels << level;
    }
    return levels;
}

// Names compared as the file system compares them.
QString keyOf(const QString &name)
{
    return Platform::pathCase() == Qt::CaseInsensitive ? name.toCaseFolded() : name;
}

bool safeRelative(const QString &relative)
{
    const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return !parts.isEmpty()
           && std::all_of(parts.begin(), parts.end(), [](const QString &part) { return isSafeName(part); });
}

// Why a folder (relative) cannot be made, in the words the refused plan uses: "产品文件夹名称过长：<level>";
// "" when it can.
QString folderRefusal(const QString &relative)
{
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        QString why;
        if (!isSafeName(part, &why))
            return QStringLiteral("产品文件夹") + why + QStringLiteral("：") + part;
    }
    return QString();
}

bool existsOrLink(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The names in a folder, as keys.
QSet<QString> namesIn(const QString &folder)
{
    QSet<QString> names;
    for (const QString &name : QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        names.insert(keyOf(name));
    return names;
}

QStringList stringsOf(const QJsonValue &value, bool *ok)
{
    QStringList out;
    if (!value.isArray())
        *ok = false;
    for (const QJsonValue &v : value.toArray()) {
        if (!v.isString())
            *ok = false;
        out << v.toString();
    }
    return out;
}

QJsonArray arrayOf(const QStringList &list)
{
    QJsonArray out;
    for (const QString &s : list)
        out.append(s);
    return out;
}

// A whole number of the record, at least min.
bool wholeNumber(const QJsonValue &value, qint64 min, qint64 *out)
{
    const double d = value.toDouble(-1);
    if (!value.isDouble() || d < double(min) || d > 9007199254740992.0 || double(qint64(d)) != d)
        return false;
    *out = qint64(d);
    return true;
}

// A text of the record naming what the system says of a file, or nothing.
bool shortText(const QJsonObject &o, const QString &key, QString *out)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        return true;
    *out = v.toString();
    return v.isString() && out->size() <= 64;
}

// A file below the order's folder, as a copy's source is recorded: relative, each folder a safe name (no
// "..", no empty level: nothing absolute), its name one a copy may take.
bool belowTheOrder(const QString &relative)
{
    const QStringList parts = relative.split(QLatin1Char('/'));
    for (int i = 0; i + 1 < parts.size(); ++i) {
        if (!isSafeName(parts.at(i)))
            return false;
    }
    return SeparationAttempt::isCopyName(parts.last());
}

// The facts of one copy as the record or a journal line has them; false when they are no such facts.
// *outside: a copy not confirmed whose source is not below the order's folder (the program records none
// such; its bytes would decide which file is the copy).
template <typename Facts>
bool factsFrom(const QJsonObject &o, Facts *facts, bool *outside)
{
    *outside = false;
    bool ok = wholeNumber(o.value(kSize), 0, &facts->size)
              && wholeNumber(o.value(kTime), std::numeric_limits<qint64>::min() / 2, &facts->time)
              && shortText(o, kChanged, &facts->changed) && shortText(o, kId, &facts->id);
    const QJsonValue pending = o.value(kPending);
    if (!pending.isUndefined()) {
        facts->pending = pending.toBool();
        facts->source = o.value(kSource).toString();
        ok = ok && pending.isBool() && (!facts->pending || o.value(kSource).isString());
        *outside = ok && facts->pending && !belowTheOrder(facts->source);
    }
    return ok;
}

template <typename Facts>
void factsInto(const Facts &facts, QJsonObject *o)
{
    o->insert(kSize, double(facts.size));
    o->insert(kTime, double(facts.time));
    if (facts.pending) {
        o->insert(kPending, true);
        o->insert(kSource, facts.source);
        return;
    }
    if (!facts.changed.isEmpty())
        o->insert(kChanged, facts.changed);
    if (!facts.id.isEmpty())
        o->insert(kId, facts.id);
}

// The lock of one record's reading and writing (by its path), held from its reading to its writing. A
// record written while the disk is busy with the copies may take a second; other orders do not wait.
QMutex &recordLock(const QString &path)
{
    static QMutex guard;
    static QHash<QString, std::shared_ptr<QMutex>> locks;
    QMutexLocker lock(&guard);
    std::shared_ptr<QMutex> &of = locks[path];
    if (!of)
        of = std::make_shared<QMutex>();
    return *of;
}

// The lock of the facts not yet written into their journals and of the copies under way: a copy that
// lands never waits for a record being written.
QMutex &landedLock()
{
    static QMutex lock;
    return lock;
}

} // namespace

SeparationAttempt::SeparationAttempt(const QString &orderDir, bool folderClaimed)
    : SeparationAttempt(orderDir, folderClaimed, FileOperation::storageRoots())
{
}

SeparationAttempt::SeparationAttempt(const QString &orderDir, bool folderClaimed, const QStringList &roots)
    : m_orderDir(orderDir), m_localOrderDir(Platform::localPath(orderDir)), m_roots(roots), m_folderClaimed(folderClaimed)
{
}

SeparationAttempt::~SeparationAttempt()
{
    // Copies of a window that closed meanwhile that are not written yet.
    if (!m_recordOnDisk)
        return;
    QMutexLocker records(&recordLock(m_localOrderDir + recordName()));
    writeLanded();
}

QString SeparationAttempt::recordName()
{
    return QStringLiteral(".分件记录.json");
}

void SeparationAttempt::settleLanded(const QString &orderDir)
{
    SeparationAttempt attempt(orderDir, true, QStringList()); // it removes nothing
    const QString record = attempt.m_localOrderDir + recordName();
    if (!existsOrLink(record))
        return;
    QMutexLocker records(&recordLock(record));
    QList<Folder> folders;
    QString why;
    if (attempt.readRecord(&folders, &why) != Record::Read)
        return; // a damaged one is named by the product stage
    QList<Fact> settled;
    for (const Folder &f : qAsConst(folders)) {
        if (!FileOperation::realFoldersBelow(attempt.m_localOrderDir, f.folder))
            continue; // not gone into
        for (const File &file : f.files) {
            const QString path = attempt.m_localOrderDir + f.folder + file.name;
            Platform::FileFacts now;
            for (const Facts &facts : file.facts) {
                if (!facts.pending)
                    continue;
                const QString from = attempt.m_localOrderDir + facts.source; // below the order's folder
                const Platform::FileFacts source = Platform::fileFacts(from);
                if (source.size != facts.size || source.modified != facts.time)
                    continue; // changed already: its size and time decide, as they always did
                if (now.size < 0 && (now = Platform::fileFacts(path)).size < 0)
                    break; // no copy there
                Fact fact{f.folder, f.planned, file.name, facts, QStringList()};
                if (now.size == facts.size && FileOperation::sameContent(path, from)) {
                    fact.facts = Facts();
                    fact.facts.size = now.size;
                    fact.facts.time = now.modified;
                    fact.facts.changed = now.changed;
                    fact.facts.id = now.id;
                    settled << fact; // the copy, in place
                    break;
                }
                fact.other = true;
                settled << fact;
            }
        }
    }
    if (!settled.isEmpty() && !attempt.appendFacts(settled))
        qCWarning(lcSeparation) << "landed copies not settled:" << record << errorText(errno);
}

QString SeparationAttempt::journalPath() const
{
    return m_localOrderDir + recordName() + QLatin1Char('l');
}

bool SeparationAttempt::isCopyName(const QString &name)
{
#ifdef Q_OS_WIN
    return isSafeName(name);
#else
    // ":" is a character like any other here. "\" is not: at the file system's boundary it separates
    // folders (Platform::localPath), as the finished copies read it.
    return isSafeName(QString(name).replace(QLatin1Char(':'), QLatin1Char('_')));
#endif
}

QHash<QString, QList<SeparationAttempt::Fact>> &SeparationAttempt::unwritten()
{
    static QHash<QString, QList<Fact>> facts;
    return facts;
}

QHash<QString, int> &SeparationAttempt::underWay()
{
    static QHash<QString, int> copies;
    return copies;
}

bool SeparationAttempt::dirExists(const QString &relative, bool orReserved) const
{
    const QString key = keyOf(relative);
    return m_claimed.contains(key) || (orReserved && m_reserved.contains(key))
           || QFileInfo(m_localOrderDir + relative).isDir();
}

QStringList SeparationAttempt::otherDays() const
{
    // The order folder is <save>/<yyyy-MM-dd>/<order>/.
    const QStringList levels = m_orderDir.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (levels.size() < 2)
        return QStringList();
    const QString order = levels.last();
    const QString day = levels.at(levels.size() - 2);
    const QString save = m_orderDir.left(m_orderDir.size() - order.size() - day.size() - 2);
    QStringList found;
    const QDir dir(Platform::localPath(save));
    const QString dated = QStringLiteral("\?\?\?\?-\?\?-\?\?"); // yyyy-MM-dd
    for (const QString &other : dir.entryList({dated}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString folder = save + other + QLatin1Char('/') + order + QLatin1Char('/');
        if (other != day && existsOrLink(Platform::localPath(folder + recordName())))
            found << folder;
    }
    return found;
}

SeparationAttempt::Folding::Folding(QList<Folder> *folders, bool fromJournal)
    : m_folders(folders), m_fromJournal(fromJournal)
{
    for (int i = 0; i < folders->size(); ++i)
        m_folderAt.insert(keyOf(folders->at(i).folder), i);
}

bool SeparationAttempt::Folding::add(const Fact &fact)
{
    const QString folderKey = keyOf(fact.folder);
    int i = m_folderAt.value(folderKey, -1);
    if (i < 0 && fact.other)
        return true; // nothing of it is listed
    if (i < 0 && m_fromJournal) {
        // Not a folder of the record: no line of ours names one (a line that did would make a redo take
        // out what the attempts never made).
        ++m_passedOver;
        return true;
    }
    if (i < 0) {
        // The folder left the record meanwhile (its product left the plan of a later attempt): it is
        // listed again for the copy, which the next look takes out.
        Folder f;
        f.planned = fact.planned;
        f.folder = fact.folder;
        m_folders->append(f);
        i = m_folders->size() - 1;
        m_folderAt.insert(folderKey, i);
    }
    Folder &f = (*m_folders)[i];
    if (fact.name.isEmpty()) { // levels made for the folder, about to be made, or not made after all
        const QStringList levels = levelsOf(f.folder);
        QStringList &into = fact.facts.pending ? f.pending : f.created;
        for (const QString &level : fact.created) {
            if (!levels.contains(level, Platform::pathCase()))
                return false;
            if (fact.withdrawn)
                into.removeAll(level);
            else if (!into.contains(level, Platform::pathCase()))
                into << level;
        }
        return true;
    }
    auto at = m_fileAt.find(i);
    if (at == m_fileAt.end()) {
        at = m_fileAt.insert(i, QHash<QString, int>());
        for (int n = 0; n < f.files.size(); ++n)
            at->insert(keyOf(f.files.at(n).name), n);
    }
    const QString nameKey = keyOf(fact.name);
    const int n = at->value(nameKey, -1);
    if (n < 0 && fact.other)
        return true; // nothing of it is listed
    if (n < 0) {
        at->insert(nameKey, f.files.size());
        f.files.append(File{fact.name, {fact.facts}});
        return true;
    }
    File &file = f.files[n];
    if (fact.other) { // the file there is not that copy
        file.facts.removeAll(fact.facts);
    } else if (!fact.facts.pending) { // in place: what it was before is gone
        file.name = fact.name;
        file.facts = {fact.facts};
    } else if (!file.facts.contains(fact.facts)) { // about to land beside what is there
        if (m_fromJournal && file.facts.size() >= kFactsPerName)
            ++m_passedOver; // more than attempts leave: no line of ours
        else
            file.facts << fact.facts;
    }
    return true;
}

bool SeparationAttempt::fold(QList<Folder> *folders, const QList<Fact> &facts)
{
    Folding folding(folders, false);
    for (const Fact &fact : facts) {
        if (!folding.add(fact))
            return false;
    }
    return true;
}

QString SeparationAttempt::passedOverNote(int count) const
{
    return QStringLiteral("分件记录中有%1条记录不属于该订单的分件（所指的文件夹不在记录中，或复制来源不在订单文件夹内），"
                          "已略过，其所指的文件未改动：")
               .arg(count)
           + m_orderDir + recordName();
}

SeparationAttempt::Record SeparationAttempt::readRecord(QList<Folder> *folders, QString *why, int *passedOver) const
{
    folders->clear();
    int strayed = 0; // facts passed over
    if (passedOver)
        *passedOver = 0;
    const QString path = m_localOrderDir + recordName();
    QByteArray bytes;
    int error = 0;
    // Only regular files of a record's size: a link is not followed out of the order's folder, and a FIFO
    // or a device is never read (it could block or never end).
    auto refused = [&](const QString &file) {
        const bool folder = error == EINVAL && QFileInfo(file).isDir() && !QFileInfo(file).isSymLink();
        *why = folder ? errorText(EISDIR)
                      : error == ELOOP || error == EINVAL || error == EFBIG ? QStringLiteral("记录已损坏") : errorText(error);
        return Record::Damaged;
    };
    if (!Platform::readRegularFile(path, kRecordLimit, &bytes, &error))
        return error == ENOENT ? Record::Missing : refused(path);
    bool ok = true;
    int count = 0; // facts read
    {
        const QJsonDocument doc = QJsonDocument::fromJson(bytes);
        bytes.clear();
        ok = doc.isObject() && doc.object().value(kFolders).isArray();
        QSet<QString> given; // a folder belongs to one product
        const QJsonArray list = doc.object().value(kFolders).toArray();
        ok = ok && list.size() <= kRecordFolders;
        for (const QJsonValue &value : list) {
            if (!ok)
                break;
            const QJsonObject o = value.toObject();
            Folder f;
            f.planned = canon(o.value(kPlanned).toString());
            f.folder = canon(o.value(kFolder).toString());
            f.created = stringsOf(o.value(kCreated), &ok);
            // Whatever it names stays inside the order's folder; the levels made were made for its folder.
            ok = ok && safeRelative(f.planned) && safeRelative(f.folder)
                 && std::all_of(f.created.begin(), f.created.end(), safeRelative);
            const QStringList levels = levelsOf(f.folder);
            for (QString &level : f.created) {
                level = canon(level);
                ok = ok && levels.contains(level, Platform::pathCase());
            }
            ok = ok && o.value(kFiles).isArray() && !given.contains(keyOf(f.folder));
            given.insert(keyOf(f.folder));
            QHash<QString, int> at; // a name listed twice: the copy beside its earlier one, not yet confirmed
            for (const QJsonValue &v : o.value(kFiles).toArray()) {
                if (v.isString())
                    continue; // the names an earlier form of the record planned: no copy known to be there
                const QJsonObject copy = v.toObject();
                const QString name = copy.value(kName).toString();
                Facts facts;
                bool outside = false;
                ok = ok && v.isObject() && ++count <= kRecordFacts && isCopyName(name) && factsFrom(copy, &facts, &outside);
                if (!ok)
                    break;
                const int n = at.value(keyOf(name), -1);
                if (outside || (n >= 0 && f.files.at(n).facts.size() >= kFactsPerName)) {
                    ++strayed;
                    continue;
                }
                if (n >= 0) {
                    f.files[n].facts << facts;
                    continue;
                }
                at.insert(keyOf(name), f.files.size());
                f.files << File{name, {facts}};
            }
            folders->append(f);
        }
    }
    if (!ok) {
        folders->clear();
        *why = QStringLiteral("记录已损坏");
        return Record::Damaged;
    }

    // The journal: one fact a line, folded in as it is read. A line that is not one whole object was cut
    // short by the program's end (its copy had not begun, or is known by the line before it) and is passed
    // over.
    const QString journal = journalPath();
    if (!Platform::readRegularFile(journal, kJournalLimit, &bytes, &error)) {
        if (error == ENOENT) {
            if (passedOver)
                *passedOver = strayed;
            return Record::Read;
        }
        folders->clear();
        return refused(journal);
    }
    Folding folding(folders, true);
    for (int from = 0; ok && from < bytes.size();) {
        int end = bytes.indexOf('\n', from);
        if (end < 0)
            end = bytes.size();
        const QByteArray line = QByteArray::fromRawData(bytes.constData() + from, end - from);
        from = end + 1;
        if (line.isEmpty())
            continue;
        if (++count > kRecordFacts) {
            ok = false;
            break;
        }
        QJsonParseError parsed;
        const QJsonDocument entry = QJsonDocument::fromJson(line, &parsed);
        if (parsed.error != QJsonParseError::NoError || !entry.isObject())
            continue;
        const QJsonObject o = entry.object();
        Fact fact;
        fact.folder = canon(o.value(kFolder).toString());
        fact.planned = o.contains(kPlanned) ? canon(o.value(kPlanned).toString()) : fact.folder;
        ok = ok && safeRelative(fact.folder) && safeRelative(fact.planned);
        bool outside = false;
        if (o.contains(kCreated)) {
            fact.created = stringsOf(o.value(kCreated), &ok);
            for (QString &level : fact.created) {
                ok = ok && safeRelative(level);
                level = canon(level);
            }
            const QJsonValue pending = o.value(kPending);
            fact.facts.pending = pending.toBool();
            const QJsonValue withdrawn = o.value(kWithdrawn);
            fact.withdrawn = withdrawn.toBool() && fact.facts.pending;
            ok = ok && (pending.isUndefined() || pending.isBool()) && (withdrawn.isUndefined() || withdrawn.isBool());
        } else {
            fact.name = o.value(kName).toString();
            const QJsonValue other = o.value(kOther);
            fact.other = other.toBool();
            ok = ok && isCopyName(fact.name) && factsFrom(o, &fact.facts, &outside) && (other.isUndefined() || other.isBool());
        }
        if (!ok)
            break;
        if (outside)
            ++strayed;
        else
            ok = folding.add(fact);
    }
    bytes.clear();
    if (!ok) {
        folders->clear();
        *why = QStringLiteral("记录已损坏");
        return Record::Damaged;
    }
    if (passedOver)
        *passedOver = strayed + folding.passedOver();
    madeBeforeTheEnd(folders);
    return Record::Read;
}

void SeparationAttempt::madeBeforeTheEnd(QList<Folder> *folders) const
{
    // The levels about to be made when the program ended before their line of made levels: made by the
    // attempt when each is a real folder that holds nothing but such levels made, the deepest looked at
    // first; any other is not the attempt's.
    QList<QPair<int, QString>> pending; // folder, level
    for (int i = 0; i < folders->size(); ++i) {
        Folder &f = (*folders)[i];
        for (const QString &level : qAsConst(f.pending)) {
            if (!f.created.contains(level, Platform::pathCase()))
                pending.append({i, level});
        }
        f.pending.clear();
    }
    std::stable_sort(pending.begin(), pending.end(), [](const QPair<int, QString> &a, const QPair<int, QString> &b) {
        return a.second.count(QLatin1Char('/')) > b.second.count(QLatin1Char('/'));
    });
    QSet<QString> made; // as keys
    for (const auto &level : qAsConst(pending)) {
        const QString path = m_localOrderDir + level.second;
        const QFileInfo info(path);
        if (made.contains(keyOf(level.second)) || !info.isDir() || info.isSymLink()
            || !FileOperation::realFoldersBelow(m_localOrderDir, level.second))
            continue;
        const QStringList inside =
            QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        if (!std::all_of(inside.begin(), inside.end(), [&](const QString &name) {
                return made.contains(keyOf(level.second + name + QLatin1Char('/')));
            }))
            continue;
        made.insert(keyOf(level.second));
        Folder &f = (*folders)[level.first];
        f.created << level.second;
        std::stable_sort(f.created.begin(), f.created.end(), [](const QString &a, const QString &b) {
            return a.count(QLatin1Char('/')) < b.count(QLatin1Char('/'));
        });
    }
}

bool SeparationAttempt::writeRecord(const QList<Folder> &folders, int *error) const
{
    QJsonArray list;
    for (const Folder &f : folders) {
        QJsonArray files;
        for (const File &file : f.files) {
            for (const Facts &facts : file.facts) {
                QJsonObject o{{kName, file.name}};
                factsInto(facts, &o);
                files.append(o);
            }
        }
        list.append(QJsonObject{{kPlanned, f.planned}, {kFolder, f.folder}, {kCreated, arrayOf(f.created)},
                                {kFiles, files}});
    }
    const QByteArray bytes = QJsonDocument(QJsonObject{{kFolders, list}}).toJson(QJsonDocument::Compact);
    const QString path = m_localOrderDir + recordName();
    QString why;
    if (!Platform::writeIntoPlace(path, [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); },
                                  &why)) {
        *error = errno;
        qCWarning(lcSeparation) << "separation record not written:" << path << why;
        return false;
    }
    FileOperation::setFileHidden(path);
    return true;
}

QByteArray SeparationAttempt::lineOf(const Fact &fact)
{
    QJsonObject o{{kFolder, fact.folder}};
    if (fact.planned != fact.folder) // the same unless the folder is a numbered twin
        o.insert(kPlanned, fact.planned);
    if (fact.name.isEmpty()) {
        o.insert(kCreated, arrayOf(fact.created));
        if (fact.facts.pending)
            o.insert(kPending, true);
        if (fact.withdrawn) // with "pending": an earlier reader takes the line as about to be made, again
            o.insert(kWithdrawn, true);
    } else {
        o.insert(kName, fact.name);
        factsInto(fact.facts, &o);
        if (fact.other)
            o.insert(kOther, true);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool SeparationAttempt::recordReplaced(Platform::FileFacts *now) const
{
    const Platform::FileFacts record = Platform::fileFacts(m_localOrderDir + recordName());
    if (now)
        *now = record;
    return m_recordOnDisk && record.size >= 0 && !(record == m_record);
}

bool SeparationAttempt::appendFacts(const QList<Fact> &facts) const
{
    // Each write begins a line of its own, so that a line cut short before ends there.
    QByteArray bytes("\n");
    for (const Fact &fact : facts)
        bytes += lineOf(fact);
    const QString path = journalPath();
    const bool fresh = !existsOrLink(path);
    // Looked at just before the journal is opened: a record gone meanwhile (the order finished) takes
    // nothing; beside another attempt's record (another desk went on with the order while this program was
    // asleep) nothing is written.
    Platform::FileFacts record;
    if (recordReplaced(&record)) {
        errno = ECANCELED;
        return false;
    }
    if (record.size < 0)
        return true;
    Platform::SystemFile out;
    if (!out.openForWriting(path, Platform::SystemFile::Append) || out.write(bytes) != bytes.size()
        || !out.closeChecked()) {
        const int error = out.error();
        qCWarning(lcSeparation) << "separation journal not written:" << path << errorText(error);
        errno = error;
        return false;
    }
    if (fresh)
        FileOperation::setFileHidden(path);
    return true;
}

bool SeparationAttempt::removeJournal() const
{
    const QString path = journalPath();
    if (FileOperation::deleteFile(path) || !existsOrLink(path))
        return true;
    qCWarning(lcSeparation) << "separation journal not removed:" << path << errorText(errno);
    return false;
}

QList<SeparationAttempt::Fact> SeparationAttempt::takeLanded() const
{
    QMutexLocker lock(&landedLock());
    return unwritten().take(m_localOrderDir + recordName());
}

bool SeparationAttempt::writeLanded(const QList<Fact> &more)
{
    // Nothing goes into the journal of another attempt's record (another desk went on with the order while
    // this program was asleep); the facts not written stay for the attempt of this program that replaced it.
    if (recordReplaced()) {
        errno = ECANCELED;
        return false;
    }
    // The facts of copies in place first: a copy about to land (more) goes beside what is there.
    const QList<Fact> facts = takeLanded() + more;
    if (facts.isEmpty() || appendFacts(facts))
        return true;
    const int error = errno;
    { // kept for the next write, or this program's next look
        QMutexLocker lock(&landedLock());
        QList<Fact> &later = unwritten()[m_localOrderDir + recordName()];
        later = facts + later;
    }
    errno = error;
    return false;
}

bool SeparationAttempt::throughRealFolders(const QString &relative)
{
    QString why;
    if (FileOperation::realFoldersBelow(m_localOrderDir, relative, &why))
        return true;
    m_leftBehind = true;
    const QString note = QStringLiteral("产品文件夹经过链接或挂载的磁盘，其中的文件未改动，分件记录保留：") + why;
    if (!m_notes.contains(note))
        m_notes << note;
    return false;
}

bool SeparationAttempt::isOwnCopy(const File &listed, const Platform::FileFacts &now, const QString &path) const
{
    if (now.size < 0)
        return false;
    for (const Facts &facts : listed.facts) {
        if (!facts.pending) {
            // In place when it was recorded: every fact it had then (a record of the earlier form has its
            // size and time alone).
            if (now.size == facts.size && now.modified == facts.time
                && (facts.changed.isEmpty() || facts.changed == now.changed) && (facts.id.isEmpty() || facts.id == now.id))
                return true;
            continue;
        }
        // Recorded before it could land: while the file it was copied from is as it was then, its bytes
        // decide (also where a share refused to keep the time); otherwise its size and time.
        const QString from = m_localOrderDir + facts.source; // below the order's folder, as read
        const Platform::FileFacts source = Platform::fileFacts(from);
        if (source.size == facts.size && source.modified == facts.time) {
            if (now.size == facts.size && FileOperation::sameContent(path, from))
                return true;
        } else if (now.size == facts.size && now.modified == facts.time) {
            return true;
        }
    }
    return false;
}

bool SeparationAttempt::removeListed(const QString &folder, const File &file, bool *stillOwn)
{
    if (stillOwn)
        *stillOwn = true;
    if (!throughRealFolders(folder))
        return false;
    const QString dir = m_localOrderDir + folder;
    const QString path = dir + file.name;
    const Platform::FileFacts now = Platform::fileFacts(path);
    if (now.size < 0 && !existsOrLink(path))
        return true; // gone
    if (!isOwnCopy(file, now, path)) {
        // Edited or replaced since it was copied: it is someone else's now, and stays.
        if (stillOwn)
            *stillOwn = false;
        return true;
    }
    if (FileOperation::deleteFile(path))
        return true;
    const int error = errno;
    if (!existsOrLink(path))
        return true;
    qCWarning(lcSeparation) << "earlier copy not removed:" << path;
    m_leftBehind = true;
    m_notes << QStringLiteral("上次分件复制的文件未能删除（") + errorText(error) + QStringLiteral("）：") + m_orderDir
                   + folder + file.name;
    return false;
}

void SeparationAttempt::removeCutCopies(const QString &folder) const
{
    FileOperation::removeTemporaries(m_localOrderDir + folder, Platform::isCopyTemporary);
}

QList<SeparationAttempt::Folder> SeparationAttempt::takeOut(const QList<Folder> &dropped, const QSet<QString> &keep)
{
    QList<Folder> left;
    QStringList levels; // created for the dropped folders
    QSet<QString> listed; // the same, as keys
    for (const Folder &d : dropped) {
        // A folder no longer there holds nothing to take out.
        const bool there = existsOrLink(m_localOrderDir + d.folder);
        if (there && !throughRealFolders(d.folder)) {
            left << d; // not gone into: listed as it is
            continue;
        }
        Folder rest = d;
        rest.files.clear();
        const QSet<QString> names = there ? namesIn(m_localOrderDir + d.folder) : QSet<QString>();
        for (const File &file : d.files) {
            if (names.contains(keyOf(file.name)) && !removeListed(d.folder, file))
                rest.files << file;
        }
        for (const QString &level : d.created) {
            if (!listed.contains(keyOf(level))) {
                listed.insert(keyOf(level));
                levels << level;
            }
        }
        left << rest;
    }
    // The deepest first, each only once it is empty: a folder holding anything else stays.
    std::stable_sort(levels.begin(), levels.end(),
                     [](const QString &a, const QString &b) { return a.count(QLatin1Char('/')) > b.count(QLatin1Char('/')); });
    QSet<QString> staying;
    for (const QString &level : qAsConst(levels)) {
        const QString path = m_localOrderDir + level;
        if (keep.contains(keyOf(level)) || !existsOrLink(path))
            continue; // the plan's now, or gone
        if (!throughRealFolders(level)) {
            staying.insert(keyOf(level));
            continue;
        }
        if (!QFileInfo(path).isDir())
            continue;
        QString why;
        if (FileOperation::removeEmptyDir(path, m_roots, &why)) {
            qCDebug(lcSeparation) << "folder of the unfinished attempt removed:" << path;
            continue;
        }
        const int error = errno;
        staying.insert(keyOf(level));
        if (error != ENOTEMPTY && error != EEXIST) {
            m_leftBehind = true;
            m_notes << QStringLiteral("上次分件建立的文件夹未能删除（") + why + QStringLiteral("）：")
                           + m_orderDir + level;
        }
    }
    // What stays of them stays in the record.
    QList<Folder> kept;
    for (Folder &rest : left) {
        QStringList created;
        for (const QString &level : qAsConst(rest.created)) {
            if (staying.contains(keyOf(level)))
                created << level;
        }
        rest.created = created;
        if (!rest.files.isEmpty() || !rest.created.isEmpty())
            kept << rest;
    }
    return kept;
}

QList<SeparationAttempt::Placed> SeparationAttempt::place(const QList<Wanted> &plan)
{
    // One look at the record at a time in this program; the copies of a closed window's attempt wait.
    QMutexLocker records(&recordLock(m_localOrderDir + recordName()));
    m_notes.clear();
    m_leftBehind = false;
    m_claimed.clear();
    m_reserved.clear();
    m_targets.clear();
    m_planFolders.clear();
    m_held.clear();
    const QString recordFile = m_localOrderDir + recordName();
    QList<Folder> earlier;
    QString damage;
    const QList<Fact> landed = takeLanded(); // every copy landed so far, a closed window's too
    int passedOver = 0;
    Record state = readRecord(&earlier, &damage, &passedOver);
    if (passedOver > 0) {
        qCWarning(lcSeparation) << "separation record: facts passed over:" << recordFile << passedOver;
        m_notes << passedOverNote(passedOver);
    }
    if (state == Record::Read && !fold(&earlier, landed)) {
        earlier.clear();
        state = Record::Damaged;
        damage = QStringLiteral("记录已损坏");
    }
    if (state == Record::Damaged) {
        qCWarning(lcSeparation) << "separation record not read:" << recordFile << damage;
        m_notes << QStringLiteral("上次未完成的分件记录无法读取（") + damage
                       + QStringLiteral("），本次不沿用其产品文件夹，已有的另建编号文件夹：") + m_orderDir + recordName();
    }
    const bool recordRead = state == Record::Read;

    // A folder of the record reached through a link or a mounted disk is not gone into: it stays listed
    // as it is. Each planned folder goes on in the folder the earlier attempt made for the same plan name.
    // The copies this program's end cut short there are removed, and so are the whole writes it cut short in
    // the order's folder itself (its record's, its claim's: a run taken over may have left one that landed
    // after this run began), but only while the order's folder is claimed for this attempt (no other desk
    // writes into it) and no copy of the order is under way in this program (a closed window's, whose
    // temporary files stay until the next look).
    bool copying = !m_folderClaimed;
    {
        QMutexLocker lock(&landedLock());
        copying = copying || underWay().value(recordFile) > 0;
    }
    if (!copying)
        FileOperation::removeTemporaries(m_localOrderDir, Platform::isWriteTemporary);
    QVector<bool> refused(earlier.size(), false);
    for (int k = 0; k < earlier.size(); ++k) {
        refused[k] = !throughRealFolders(earlier.at(k).folder);
        if (!refused.at(k) && !copying && QFileInfo(m_localOrderDir + earlier.at(k).folder).isDir())
            removeCutCopies(earlier.at(k).folder);
    }
    QVector<int> match(plan.size(), -1);
    QVector<bool> taken(earlier.size(), false);
    for (int i = 0; i < plan.size(); ++i) {
        const QString planned = keyOf(canon(plan.at(i).folder));
        for (int k = 0; k < earlier.size() && match.at(i) < 0; ++k) {
            if (!taken.at(k) && !refused.at(k) && keyOf(earlier.at(k).planned) == planned) {
                match[i] = k;
                taken[k] = true;
            }
        }
    }
    QList<Folder> dropped;
    for (int k = 0; k < earlier.size(); ++k) {
        if (!taken.at(k))
            dropped << earlier.at(k);
    }
    const QList<Folder> left = takeOut(dropped, QSet<QString>());
    // A folder given to a product of the record, gone on in or left of a dropped one, is given to no
    // other. The folders gone on in keep their names; a level the earlier attempt made on the way to one
    // of its folders may become a planned folder itself.
    QSet<QString> inUse;
    QSet<QString> ownLevels;
    for (int k = 0; k < earlier.size(); ++k) {
        if (taken.at(k)) {
            inUse.insert(keyOf(earlier.at(k).folder));
            for (const QString &level : levelsOf(earlier.at(k).folder))
                m_reserved << keyOf(level);
        }
    }
    for (const Folder &f : left)
        inUse.insert(keyOf(f.folder));
    for (const Folder &f : qAsConst(earlier)) {
        for (const QString &level : f.created)
            ownLevels.insert(keyOf(level));
    }
    auto freeFor = [&](const QString &candidate, bool ownLevel) {
        const QString key = keyOf(candidate);
        return !inUse.contains(key) && (!dirExists(candidate, true) || (ownLevel && ownLevels.contains(key)))
               && FileOperation::realFoldersBelow(m_localOrderDir, candidate);
    };

    QList<Folder> folders;
    QList<Placed> placed;
    QList<Fact> made; // per placed folder: the levels to be made for it, which enter the record once made
    for (int i = 0; i < plan.size(); ++i) {
        const Wanted &w = plan.at(i);
        const int k = match.at(i);
        Folder f;
        f.planned = canon(w.folder);
        QString refusal;
        if (k >= 0) {
            f.folder = earlier.at(k).folder;
            f.created = earlier.at(k).created;
            qCDebug(lcSeparation) << "goes on in the folder of the unfinished attempt:" << f.folder;
        } else if (freeFor(f.planned, true)) {
            f.folder = f.planned;
        } else {
            // The name is taken (an earlier separation, a folder of the same name in this plan, one given to
            // another product of the record): the first free numbered twin beside it, a name as the planned
            // one is; with every twin taken, the folder that is there, unless it is another product's.
            for (int n = 1; n < 500 && f.folder.isEmpty() && refusal.isEmpty(); ++n) {
                const QString twin = canon(w.twin(n));
                if (twin.isEmpty())
                    continue;
                refusal = folderRefusal(twin);
                if (refusal.isEmpty() && freeFor(twin, false))
                    f.folder = twin;
            }
            QString why;
            if (f.folder.isEmpty() && refusal.isEmpty() && !inUse.contains(keyOf(f.planned))) {
                if (FileOperation::realFoldersBelow(m_localOrderDir, f.planned, &why))
                    f.folder = f.planned;
                else
                    refusal = QStringLiteral("产品文件夹经过链接或挂载的磁盘，未复制其照片：") + why;
            }
        }
        Placed p;
        QVector<Target> targets(w.photos.size());
        if (f.folder.isEmpty()) {
            // No folder for the product: its photos are not copied, and the report says why.
            const QString note = !refusal.isEmpty() ? refusal
                                                    : QStringLiteral("产品文件夹没有可用的名称，未复制其照片：")
                                                          + m_orderDir + f.planned;
            if (!m_notes.contains(note))
                m_notes << note;
            qCWarning(lcSeparation) << "no folder for a product:" << note;
            for (int j = 0; j < w.photos.size(); ++j)
                p.targets << QString();
            placed << p;
            m_targets << targets;
            made << Fact();
            continue;
        }
        Fact levels{f.folder, f.planned, QString(), Facts(), QStringList()};
        for (const QString &level : levelsOf(f.folder)) {
            if (!dirExists(level, false) && !f.created.contains(level, Platform::pathCase()))
                levels.created << level;
            m_claimed << keyOf(level);
        }
        made << levels;
        inUse.insert(keyOf(f.folder));
        m_planFolders.insert(keyOf(f.folder));

        // The names the photos take: the order's own copy (still as it was copied) is replaced; any other
        // file is kept, and the copy takes the next numbered name, as a photo listed twice does, unless
        // that file holds the photo's bytes (copy() looks).
        const QString folderPath = m_localOrderDir + f.folder;
        QHash<QString, QString> there; // by key, as found
        if (QFileInfo(folderPath).isDir()) {
            for (const QString &name :
                 QDir(folderPath).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
                there.insert(keyOf(name), name);
        }
        QHash<QString, const File *> own;
        if (k >= 0) {
            for (const File &file : earlier.at(k).files)
                own.insert(keyOf(file.name), &file);
        }
        QSet<QString> names; // given in this folder
        p.folder = m_orderDir + f.folder;
        for (int j = 0; j < w.photos.size(); ++j) {
            const QString &photo = w.photos.at(j);
            Target &t = targets[j];
            t.folder = f.folder;
            t.planned = f.planned;
            for (int n = 0; n < kNumberedNames && t.name.isEmpty(); ++n) {
                const QString name = n == 0 ? photo : FileOperation::numberedName(photo, n);
                const QString key = keyOf(name);
                if (!isCopyName(name))
                    break;
                if (names.contains(key))
                    continue;
                if (!there.contains(key)) {
                    t.name = name;
                } else if (own.contains(key)) {
                    File listed = *own.value(key);
                    const QString path = folderPath + there.value(key);
                    const Platform::FileFacts now = Platform::fileFacts(path);
                    if (isOwnCopy(listed, now, path)) {
                        t.name = there.value(key);
                        t.own = true;
                        t.seen = now;
                        listed.name = t.name;
                        f.files << listed;
                    }
                }
                if (t.name.isEmpty())
                    t.others << there.value(key);
            }
            for (const QString &name : t.others + QStringList{t.name}) {
                if (!name.isEmpty()) {
                    names.insert(keyOf(name));
                    m_held.insert(keyOf(f.folder + name));
                }
            }
            p.targets << (t.name.isEmpty() ? QString() : p.folder + t.name);
        }
        // What the earlier attempt copied here and this plan does not: taken out while it is that copy.
        if (k >= 0) {
            for (const File &file : earlier.at(k).files) {
                const QString key = keyOf(file.name);
                if (!names.contains(key) && there.contains(key) && !removeListed(f.folder, file))
                    f.files << file; // stays listed: a later attempt takes it out
            }
        }
        folders << f;
        placed << p;
        m_targets << targets;
    }

    // What else is found in the folders gone on in, or left of dropped ones, stays and is named; a file
    // under a name a photo is copied to is named by its copy.
    QSet<QString> ownFolders;
    for (const Folder &f : folders + left) {
        for (const QString &level : levelsOf(f.folder))
            ownFolders.insert(keyOf(level));
    }
    QStringList others;
    auto nameOthers = [&](const Folder &f) {
        QSet<QString> files;
        for (const File &file : f.files)
            files.insert(keyOf(file.name));
        const QDir dir(m_localOrderDir + f.folder);
        for (const QString &name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name)) {
            if (!files.contains(keyOf(name)) && !m_held.contains(keyOf(f.folder + name))
                && !ownFolders.contains(keyOf(f.folder + name + QLatin1Char('/'))))
                others << m_orderDir + f.folder + name;
        }
    };
    int placedFolder = 0;
    for (int i = 0; i < plan.size(); ++i) {
        if (placed.at(i).folder.isEmpty())
            continue;
        if (match.at(i) >= 0)
            nameOthers(folders.at(placedFolder));
        ++placedFolder;
    }
    for (const Folder &f : left) {
        if (f.created.contains(f.folder, Platform::pathCase()) && FileOperation::realFoldersBelow(m_localOrderDir, f.folder))
            nameOthers(f);
    }
    if (!others.isEmpty())
        m_notes << QStringLiteral("产品文件夹中有不是分件复制的文件，未改动：") + others.join(QStringLiteral("、"));
    const QStringList days = otherDays();
    if (!days.isEmpty())
        m_notes << QStringLiteral("该订单在其它日期有未分完的文件夹，其中的产品照片与本次重复，未改动：")
                       + days.join(QStringLiteral("、"));

    // The record first, then the folders it names (a plan without folders, with nothing left to record,
    // needs none). It holds every fact so far, its journal's folded in: the journal goes after it (a
    // journal left of another attempt, before a new record, whose copies it would give to this one).
    const QList<Folder> recorded = folders + left;
    m_recordOnDisk = recordRead;
    if (!recorded.isEmpty() || recordRead) {
        int error = 0;
        bool written = false;
        if (!recordRead && !removeJournal())
            error = errno;
        else
            written = writeRecord(recorded, &error);
        if (written) {
            m_recordOnDisk = true;
            removeJournal();
        } else {
            if (recordRead)
                appendFacts(landed); // the record on disk stays as it was: the facts taken go beside it
            m_notes << QStringLiteral("分件记录无法写入（") + errorText(error)
                           + QStringLiteral("），再次分件该订单时产品文件夹将另建编号文件夹：") + m_orderDir + recordName();
        }
    } else {
        // No record read, none needed: a journal left beside none (a finished attempt's, its end cut short
        // between the two removals) goes, lest a later record take its lines for its own.
        removeJournal();
    }
    m_toMake = made;
    if (m_recordOnDisk)
        m_record = Platform::fileFacts(recordFile);
    return placed;
}

bool SeparationAttempt::recordIntact() const
{
    return !m_recordOnDisk || (m_record.size >= 0 && Platform::fileFacts(m_localOrderDir + recordName()) == m_record);
}

void SeparationAttempt::makeFolders(QList<Placed> *placed)
{
    QMutexLocker records(&recordLock(m_localOrderDir + recordName()));
    // The levels about to be made go into the journal first (a redo after a kill before the next line
    // finds those made by what they hold: nothing else). A folder that cannot be made (a full or read-only
    // disk) is named once, with why. The levels made enter the record, all in one line of the journal
    // once they are there.
    QList<Fact> levelsToMake;
    for (Fact levels : qAsConst(m_toMake)) {
        levels.facts.pending = true;
        if (!levels.created.isEmpty())
            levelsToMake << levels;
    }
    if (m_recordOnDisk && !levelsToMake.isEmpty())
        writeLanded(levelsToMake);
    QList<Fact> levelsMade; // and those not made after all (a creation refused), withdrawn: a folder the clerk
                            // makes there later is not the attempt's
    for (int i = 0; i < placed->size() && i < m_toMake.size(); ++i) {
        Placed &p = (*placed)[i];
        if (p.folder.isEmpty())
            continue;
        const bool ok = FileOperation::mkPath(p.folder);
        const int error = errno;
        Fact levels = m_toMake.at(i);
        Fact notMade = levels;
        notMade.created.clear();
        notMade.facts.pending = true;
        notMade.withdrawn = true;
        levels.created.erase(std::remove_if(levels.created.begin(), levels.created.end(),
                                            [&](const QString &level) {
                                                if (QFileInfo(m_localOrderDir + level).isDir())
                                                    return false;
                                                notMade.created << level;
                                                return true;
                                            }),
                             levels.created.end());
        if (!levels.created.isEmpty())
            levelsMade << levels;
        if (!notMade.created.isEmpty())
            levelsMade << notMade;
        if (ok)
            continue;
        p.failure = p.folder + QStringLiteral("（") + errorText(error) + QStringLiteral("）");
        qCWarning(lcSeparation) << "product folder not made:" << p.failure;
    }
    m_toMake.clear();
    if (m_recordOnDisk && !levelsMade.isEmpty())
        writeLanded(levelsMade);
}

bool SeparationAttempt::copy(int i, int j, const QString &source, QString *failure)
{
    const Target &t = m_targets.at(i).at(j);
    const QString recordFile = m_localOrderDir + recordName();
    {
        QMutexLocker lock(&landedLock());
        ++underWay()[recordFile];
    }
    const QString dir = m_localOrderDir + t.folder;
    const QString shown = m_orderDir + t.folder + t.name;
    QString name; // where the photo is in place
    QString why;
    auto failed = [&](const QString &reason) { *failure = shown + QStringLiteral("（") + reason + QStringLiteral("）"); };
    const QString notOurs = QStringLiteral("分件记录已被删除或替换，未复制");
    // Asked again once the copy is whole, just before it takes its name: a desk asleep during the copy
    // may wake up after another one went on with the order.
    const auto stillOurs = [this] { return recordIntact(); };
    auto copyFailed = [&] { failed(errno == ECANCELED ? notOurs : errorText(errno)); };
    if (t.name.isEmpty()) {
        *failure = m_orderDir + t.folder + QStringLiteral("（没有可用的文件名）");
    } else if (!recordIntact()) {
        // Another attempt keeps the record of these folders now (another desk took the order over while
        // this program was asleep, say), or it was removed: a copy that had not begun yet stays out of them.
        failed(notOurs);
    } else if (!FileOperation::realFoldersBelow(m_localOrderDir, t.folder, &why)) {
        failed(why);
    } else {
        for (const QString &other : t.others) {
            if (FileOperation::sameContent(source, dir + other)) {
                name = other; // the photo is there already
                break;
            }
        }
        const QString target = dir + t.name;
        const QString from = Platform::localPath(source);
        if (name.isEmpty() && m_recordOnDisk && from.startsWith(m_localOrderDir)) {
            // What identifies the copy goes on the record before it can land: it keeps the source's size
            // and time (the work folder's finished copy, below the order's folder: a source anywhere
            // else is never taken on a record's word). With the copies in place so far.
            const Platform::FileFacts facts = Platform::fileFacts(from);
            Fact landing{t.folder, t.planned, t.name, Facts(), QStringList()};
            landing.facts.size = facts.size;
            landing.facts.time = facts.modified;
            landing.facts.pending = true;
            landing.facts.source = from.mid(m_localOrderDir.size());
            QMutexLocker records(&recordLock(recordFile));
            if (facts.size >= 0)
                writeLanded({landing});
        }
        if (!name.isEmpty()) {
            qCDebug(lcSeparation) << "the photo's bytes are there already:" << dir + name;
        } else if (t.own && Platform::fileFacts(target) == t.seen) {
            // Still the order's own copy as it was found: replaced by the photo as it is now.
            Platform::delayWrite(target);
            if (Platform::copyIntoPlace(source, target, Platform::Placing::Replace, Platform::Durability::Cached, stillOurs))
                name = t.name;
            else
                copyFailed();
        } else {
            // A free name, or a copy changed since it was looked at (its bytes decide): what turns up there
            // meanwhile is never replaced.
            switch (FileOperation::copyNoReplace(source, target, &why, FileOperation::EarlierCopy::SameBytes,
                                                 Platform::Durability::Cached, stillOurs)) {
            case FileOperation::Copied:
            case FileOperation::AlreadyThere:
                name = t.name;
                break;
            case FileOperation::KeptOther:
                *failure = shown + QStringLiteral("（目标文件已存在且内容不同，未覆盖）");
                break;
            case FileOperation::CopyFailed:
                copyFailed();
                break;
            }
        }
    }
    const Platform::FileFacts landed = name.isEmpty() ? Platform::FileFacts() : Platform::fileFacts(dir + name);
    if (name == t.name && !t.others.isEmpty()) {
        QMutexLocker lock(&m_mutex);
        for (const QString &other : t.others)
            m_kept << m_orderDir + t.folder + other + QStringLiteral("（未改动）→ ") + t.name;
    }
    {
        // For the journal (writeCopies()), before the copy counts as ended; this program's next look at
        // the record takes it at once.
        QMutexLocker lock(&landedLock());
        if (m_recordOnDisk && landed.size >= 0) {
            Fact inPlace{t.folder, t.planned, name, Facts(), QStringList()};
            inPlace.facts.size = landed.size;
            inPlace.facts.time = landed.modified;
            inPlace.facts.changed = landed.changed;
            inPlace.facts.id = landed.id;
            unwritten()[recordFile] << inPlace;
        }
        if (--underWay()[recordFile] == 0)
            underWay().remove(recordFile);
    }
    if (!name.isEmpty())
        qCDebug(lcSeparation) << "product photo in place:" << source << "->" << dir + name;
    return !name.isEmpty();
}

void SeparationAttempt::writeCopies()
{
    if (!m_recordOnDisk)
        return;
    const QString path = m_localOrderDir + recordName();
    {
        QMutexLocker lock(&landedLock());
        if (underWay().value(path) > 0 || !unwritten().contains(path))
            return; // the next copy's line takes them along
    }
    QMutexLocker records(&recordLock(path));
    writeLanded();
}

QStringList SeparationAttempt::takeKeptFiles()
{
    QMutexLocker lock(&m_mutex);
    QStringList kept;
    kept.swap(m_kept);
    return kept;
}

bool SeparationAttempt::finish(QStringList *notes)
{
    if (!m_recordOnDisk)
        return true;
    QMutexLocker records(&recordLock(m_localOrderDir + recordName()));
    m_notes.clear();
    const QString path = m_localOrderDir + recordName();
    // Only the record place() left is this attempt's to finish: one under its name that is another attempt's
    // (another desk went on with the order meanwhile) lists that attempt's copies, and none at all (removed
    // or moved) tells nothing of what is in the folders. Nothing is taken out, and the report says so.
    auto notOurs = [&] {
        *notes << SeparationClaim::interference(nullptr, this);
        qCWarning(lcSeparation) << "the separation record is not this attempt's any more, nothing taken out:" << path;
        return false;
    };
    if (!recordIntact())
        return notOurs();
    QList<Folder> folders;
    QString why;
    const QList<Fact> landed = takeLanded();
    int passedOver = 0;
    Record state = readRecord(&folders, &why, &passedOver);
    if (passedOver > 0)
        m_notes << passedOverNote(passedOver);
    if (state == Record::Read && !fold(&folders, landed))
        state = Record::Damaged;
    // A copy the record lists and the plan no longer holds (a closed window's copy that landed late, in a
    // folder gone on in or in one that left the plan) is taken out as at the start. When one stays, so
    // does the record: with it, the plan's folders and the copies in them, for the next attempt to go on in.
    QList<Folder> kept;
    bool stays = false;
    if (state == Record::Read) {
        QList<Folder> dropped;
        QStringList others;
        for (const Folder &f : qAsConst(folders)) {
            if (!m_planFolders.contains(keyOf(f.folder))) {
                dropped << f;
                continue;
            }
            Folder rest = f;
            rest.files.clear();
            QSet<QString> there;
            bool listed = false;
            for (const File &file : f.files) {
                bool own = true;
                if (m_held.contains(keyOf(f.folder + file.name))) {
                    rest.files << file;
                    continue;
                }
                if (!listed) {
                    there = namesIn(m_localOrderDir + f.folder);
                    listed = true;
                }
                if (!there.contains(keyOf(file.name)))
                    continue; // gone
                if (!removeListed(f.folder, file, &own)) {
                    rest.files << file;
                    stays = true;
                } else if (!own) {
                    others << m_orderDir + f.folder + file.name;
                }
            }
            kept << rest;
        }
        // Never a level of the plan's folders; a folder that stays for what else it holds keeps no record.
        for (const Folder &f : takeOut(dropped, m_claimed)) {
            if (!f.files.isEmpty()) {
                kept << f;
                stays = true;
            }
        }
        if (!others.isEmpty())
            m_notes << QStringLiteral("产品文件夹中有不是分件复制的文件，未改动：") + others.join(QStringLiteral("、"));
    }
    *notes << m_notes;
    if (stays) {
        int error = 0;
        if (writeRecord(kept, &error)) {
            removeJournal();
        } else {
            appendFacts(landed); // beside the record as it stays
            *notes << QStringLiteral("分件记录无法写入（") + errorText(error) + QStringLiteral("）：") + m_orderDir
                          + recordName();
        }
        *notes << QStringLiteral("有文件未完成，分件记录已保留，再次分件该订单时沿用本次的产品文件夹：") + m_orderDir
                      + recordName();
        return false;
    }
    // The record, then its journal (one left alone is removed by the order's next attempt); still the one
    // place() left, looked at just before.
    if (!recordIntact()) {
        appendFacts(landed);
        return notOurs();
    }
    if (FileOperation::deleteFile(path)) {
        removeJournal();
        return true;
    }
    const int error = errno;
    if (!existsOrLink(path)) // gone meanwhile, not by this attempt
        return notOurs();
    qCWarning(lcSeparation) << "separation record not removed:" << path;
    appendFacts(landed);
    *notes << QStringLiteral("分件记录未能删除（") + errorText(error)
                  + QStringLiteral("），再次分件该订单时将继续使用本次的产品文件夹：") + m_orderDir + recordName();
    return false;
}
