#include "separationattempt.h"

#include "fileoperation.h"
#include "logging.h"
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cerrno>

namespace {

const QString kFolders = QStringLiteral("folders");
const QString kPlanned = QStringLiteral("planned");
const QString kFolder = QStringLiteral("folder");
const QString kCreated = QStringLiteral("created");
const QString kFiles = QStringLiteral("files");

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

bool existsOrLink(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
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

} // namespace

SeparationAttempt::SeparationAttempt(const QString &orderDir) : m_orderDir(orderDir)
{
}

QString SeparationAttempt::recordName()
{
    return QStringLiteral(".分件记录.json");
}

bool SeparationAttempt::dirExists(const QString &relative, bool orReserved) const
{
    const QString key = keyOf(relative);
    return m_claimed.contains(key) || (orReserved && m_reserved.contains(key))
           || QFileInfo(Platform::localPath(m_orderDir + relative)).isDir();
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

bool SeparationAttempt::readRecord(QList<Folder> *folders)
{
    const QString path = m_orderDir + recordName();
    const QString local = Platform::localPath(path);
    if (!existsOrLink(local))
        return true; // no attempt left unfinished
    auto unreadable = [&](const QString &why) {
        qCWarning(lcSeparation) << "separation record not read:" << path << why;
        m_notes << QStringLiteral("上次未完成的分件记录无法读取（") + why
                       + QStringLiteral("），本次不沿用其产品文件夹，已有的另建编号文件夹：") + path;
        return false;
    };
    QFile file(local);
    if (!file.open(QIODevice::ReadOnly)) {
        const int error = errno;
        return unreadable(errorText(QFileInfo(local).isDir() ? EISDIR : error));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unreadable(errorText(errno));
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    bool ok = doc.isObject() && doc.object().value(kFolders).isArray();
    for (const QJsonValue &value : doc.object().value(kFolders).toArray()) {
        const QJsonObject o = value.toObject();
        Folder f;
        f.planned = canon(o.value(kPlanned).toString());
        f.folder = canon(o.value(kFolder).toString());
        f.created = stringsOf(o.value(kCreated), &ok);
        f.files = stringsOf(o.value(kFiles), &ok);
        // Whatever it names stays inside the order's folder.
        ok = ok && safeRelative(f.planned) && safeRelative(f.folder)
             && std::all_of(f.created.begin(), f.created.end(), safeRelative)
             && std::all_of(f.files.begin(), f.files.end(), [](const QString &name) { return isSafeName(name); });
        for (QString &level : f.created)
            level = canon(level);
        folders->append(f);
    }
    if (!ok) {
        folders->clear();
        return unreadable(QStringLiteral("记录已损坏"));
    }
    return true;
}

bool SeparationAttempt::writeRecord(const QList<Folder> &folders)
{
    QJsonArray list;
    for (const Folder &f : folders)
        list.append(QJsonObject{{kPlanned, f.planned}, {kFolder, f.folder}, {kCreated, arrayOf(f.created)},
                                {kFiles, arrayOf(f.files)}});
    const QByteArray bytes = QJsonDocument(QJsonObject{{kFolders, list}}).toJson(QJsonDocument::Compact);
    const QString path = m_orderDir + recordName();
    QString why;
    if (!Platform::writeIntoPlace(Platform::localPath(path),
                                  [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); }, &why)) {
        const int error = errno;
        qCWarning(lcSeparation) << "separation record not written:" << path << why;
        m_notes << QStringLiteral("分件记录无法写入（") + errorText(error)
                       + QStringLiteral("），再次分件该订单时产品文件夹将另建编号文件夹：") + path;
        return false;
    }
    FileOperation::setFileHidden(path);
    return true;
}

bool SeparationAttempt::removeFile(const QString &path)
{
    if (FileOperation::deleteFile(path))
        return true;
    const int error = errno;
    if (!existsOrLink(Platform::localPath(path)))
        return true;
    qCWarning(lcSeparation) << "earlier copy not removed:" << path;
    m_leftBehind = true;
    m_notes << QStringLiteral("上次分件复制的文件未能删除（") + errorText(error) + QStringLiteral("）：") + path;
    return false;
}

QList<SeparationAttempt::Folder> SeparationAttempt::takeOut(const QList<Folder> &dropped)
{
    QList<Folder> left;
    QStringList levels; // created for the dropped folders
    for (const Folder &d : dropped) {
        Folder rest = d;
        rest.files.clear();
        for (const QString &name : d.files) {
            const QString path = m_orderDir + d.folder + name;
            if (existsOrLink(Platform::localPath(path)) && !removeFile(path))
                rest.files << name;
        }
        for (const QString &level : d.created) {
            if (!levels.contains(level, Platform::pathCase()))
                levels << level;
        }
        left << rest;
    }
    // The deepest first, each only once it is empty: a folder holding anything else stays.
    std::stable_sort(levels.begin(), levels.end(),
                     [](const QString &a, const QString &b) { return a.count(QLatin1Char('/')) > b.count(QLatin1Char('/')); });
    QSet<QString> staying;
    for (const QString &level : qAsConst(levels)) {
        const QString path = m_orderDir + level;
        if (!QFileInfo(Platform::localPath(path)).isDir())
            continue;
        QString why;
        if (FileOperation::removeEmptyDir(path, &why)) {
            qCDebug(lcSeparation) << "folder of the unfinished attempt removed:" << path;
            continue;
        }
        const int error = errno;
        staying.insert(keyOf(level));
        if (error != ENOTEMPTY && error != EEXIST) {
            m_leftBehind = true;
            m_notes << QStringLiteral("上次分件建立的文件夹未能删除（") + why + QStringLiteral("）：") + path;
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
    m_notes.clear();
    m_leftBehind = false;
    m_claimed.clear();
    m_reserved.clear();
    QList<Folder> earlier;
    const QString recordFile = Platform::localPath(m_orderDir + recordName());
    const bool recordRead = readRecord(&earlier) && existsOrLink(recordFile);

    // Each planned folder goes on in the folder the earlier attempt made for the same plan name.
    QVector<int> match(plan.size(), -1);
    QVector<bool> taken(earlier.size(), false);
    for (int i = 0; i < plan.size(); ++i) {
        const QString planned = keyOf(canon(plan.at(i).folder));
        for (int k = 0; k < earlier.size() && match.at(i) < 0; ++k) {
            if (!taken.at(k) && keyOf(earlier.at(k).planned) == planned) {
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
    const QList<Folder> left = takeOut(dropped);
    // The folders gone on in keep their names; a level the earlier attempt made on the way to one of its
    // folders may become a planned folder itself.
    QSet<QString> inUse;
    QSet<QString> ownLevels;
    for (int k = 0; k < earlier.size(); ++k) {
        if (taken.at(k)) {
            inUse.insert(keyOf(earlier.at(k).folder));
            for (const QString &level : levelsOf(earlier.at(k).folder))
                m_reserved << keyOf(level);
        }
    }
    for (const Folder &f : qAsConst(earlier)) {
        for (const QString &level : f.created)
            ownLevels.insert(keyOf(level));
    }

    QList<Folder> folders;
    QList<Placed> placed;
    for (int i = 0; i < plan.size(); ++i) {
        const Wanted &w = plan.at(i);
        const int k = match.at(i);
        Folder f;
        f.planned = canon(w.folder);
        if (k >= 0) {
            f.folder = earlier.at(k).folder;
            f.created = earlier.at(k).created;
            qCDebug(lcSeparation) << "goes on in the folder of the unfinished attempt:" << f.folder;
        } else if (!dirExists(f.planned, true)
                   || (ownLevels.contains(keyOf(f.planned)) && !inUse.contains(keyOf(f.planned)))) {
            f.folder = f.planned;
        } else {
            // The name is taken (an earlier separation, or a folder of the same name in this plan): the
            // first free numbered twin beside it; with every twin taken, the folder that is there.
            for (int n = 1; n < 500 && f.folder.isEmpty(); ++n) {
                const QString twin = canon(w.twin(n));
                if (!twin.isEmpty() && !dirExists(twin, true))
                    f.folder = twin;
            }
            if (f.folder.isEmpty())
                f.folder = f.planned;
        }
        for (const QString &level : levelsOf(f.folder)) {
            if (!dirExists(level, false) && !f.created.contains(level, Platform::pathCase()))
                f.created << level;
            m_claimed << keyOf(level);
        }
        inUse.insert(keyOf(f.folder));

        // The names the photos take: a file there that is no earlier copy of this order is kept, and the
        // copy takes the next numbered name, as a photo listed twice does.
        QSet<QString> there;
        QSet<QString> own;
        QSet<QString> names;
        const QString folderPath = m_orderDir + f.folder;
        const QDir dir(Platform::localPath(folderPath));
        if (dir.exists()) {
            for (const QString &name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
                there.insert(keyOf(name));
        }
        if (k >= 0) {
            for (const QString &name : earlier.at(k).files)
                own.insert(keyOf(name));
        }
        Placed p;
        p.folder = folderPath;
        for (const QString &photo : w.photos) {
            QString name = photo;
            for (int n = 1; names.contains(keyOf(name)) || (there.contains(keyOf(name)) && !own.contains(keyOf(name)));
                 ++n)
                name = FileOperation::numberedName(photo, n);
            names.insert(keyOf(name));
            f.files << name;
            p.targets << folderPath + name;
        }
        // What the earlier attempt copied here and this plan does not.
        if (k >= 0) {
            for (const QString &name : earlier.at(k).files) {
                if (!names.contains(keyOf(name)) && there.contains(keyOf(name)) && !removeFile(folderPath + name))
                    f.files << name; // stays listed: a later attempt takes it out
            }
        }
        folders << f;
        placed << p;
    }

    // What else is found in the folders gone on in, or left of dropped ones, stays and is named.
    QSet<QString> ownFolders;
    for (const Folder &f : folders + left) {
        for (const QString &level : levelsOf(f.folder))
            ownFolders.insert(keyOf(level));
    }
    QStringList others;
    auto nameOthers = [&](const Folder &f) {
        QSet<QString> files;
        for (const QString &name : f.files)
            files.insert(keyOf(name));
        const QDir dir(Platform::localPath(m_orderDir + f.folder));
        for (const QString &name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name)) {
            if (!files.contains(keyOf(name)) && !ownFolders.contains(keyOf(f.folder + name + QLatin1Char('/'))))
                others << m_orderDir + f.folder + name;
        }
    };
    for (int i = 0; i < folders.size(); ++i) {
        if (match.at(i) >= 0)
            nameOthers(folders.at(i));
    }
    for (const Folder &f : left) {
        if (f.created.contains(f.folder, Platform::pathCase()))
            nameOthers(f);
    }
    if (!others.isEmpty())
        m_notes << QStringLiteral("产品文件夹中有不是分件复制的文件，未改动：") + others.join(QStringLiteral("、"));
    const QStringList days = otherDays();
    if (!days.isEmpty())
        m_notes << QStringLiteral("该订单在其它日期有未分完的文件夹，其中的产品照片与本次重复，未改动：")
                       + days.join(QStringLiteral("、"));

    // The record first, then the folders it names (a plan without folders, with nothing left to record,
    // needs none).
    const QList<Folder> recorded = folders + left;
    m_recordOnDisk = recordRead;
    if (!recorded.isEmpty() || recordRead)
        m_recordOnDisk = writeRecord(recorded) || recordRead;
    for (const Folder &f : qAsConst(folders))
        FileOperation::mkPath(m_orderDir + f.folder);
    return placed;
}

bool SeparationAttempt::finish(const QString &recordPath, QString *note)
{
    if (recordPath.isEmpty() || FileOperation::deleteFile(recordPath))
        return true;
    const int error = errno;
    if (!existsOrLink(Platform::localPath(recordPath)))
        return true;
    qCWarning(lcSeparation) << "separation record not removed:" << recordPath;
    *note = QStringLiteral("分件记录未能删除（") + errorText(error)
            + QStringLiteral("），再次分件该订单时将继续使用本次的产品文件夹：") + recordPath;
    return false;
}
