#include "shottime.h"

#include "logging.h"
#include "platform.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTextCodec>

#include <cerrno>

ShotTimeScan ShotTimeScan::forImport()
{
    return {{{0, 500, true}, {2000, 500, false}}, true};
}

ShotTimeScan ShotTimeScan::forPhotoCopy()
{
    return {{{0, 500, true}, {2000, 500, true}}, false};
}

ShotTimeScan ShotTimeScan::forRawFiles()
{
    return {{{0, 500, false}}, true};
}

bool ShotTimeScan::run(const QString &path, QString &time) const
{
    QFile file(Platform::localPath(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const Window &window : windows) {
        if (!file.seek(window.offset)) {
            // Past the end of a short file: every read of the window returns nothing.
            continue;
        }
        bool matched = false;
        for (int step = 0; step < window.steps; ++step) {
            char c = 0;
            if (!file.getChar(&c) || c != '2')
                continue;
            if (!file.getChar(&c) || c != '0')
                continue;
            QByteArray bytes = file.read(17);
            const int nul = bytes.indexOf('\0');
            if (nul >= 0)
                bytes.truncate(nul);
            time = QString::fromUtf8(bytes).trimmed();
            matched = true;
            if (window.matchEnds)
                return true;
        }
        if (matched)
            break;
    }
    if (log)
        qCDebug(lcSingleImport) << "拍摄日期" << path << time;
    return true;
}

namespace ShotTimeList {

QString fileName()
{
    return QStringLiteral("ImageTime.txt");
}

QTextCodec *codec()
{
    return QTextCodec::codecForLocale();
}

QString entry(const QString &newName, const QString &time)
{
    if (time.isEmpty())
        return QString();
    // The list has no quoting: a time holding its separators or a line break would make up entries.
    for (const QChar c : time) {
        if (c == QLatin1Char('>') || c == QLatin1Char('|') || c.category() == QChar::Other_Control)
            return QString();
    }
    QStringList parts = newName.split(QLatin1Char('.'));
    if (parts.size() > 1)
        parts.removeLast();
    return parts.join(QString()) + QLatin1Char('>') + time + QLatin1Char('|');
}

namespace {

const QByteArray &byteOrderMark()
{
    static const QByteArray mark("\xEF\xBB\xBF");
    return mark;
}

// The list file as it was read. Desks with another code page may write into one order's list, and an
// append cut off (a power cut, a full disk) or made by an earlier version after such a cut leaves bytes
// that are no entry: the list is read entry by entry, and an entry whose bytes are not its text in the
// list's codec is passed over (its names never reach the file system), the others read all the same.
struct ListFile
{
    struct Entry
    {
        QString text; // without its "|"
        int from = 0; // its bytes in the file, its "|" included
        int to = 0;
    };
    QByteArray bytes;     // the file as read
    QList<Entry> entries; // the entries read, in file order
    QString tail;         // after the last "|": a last entry cut off at a whole character (read as it is)
    // Every byte read as entries, but for a last entry cut inside a character: the bytes before that
    // entry (the list's whole entries); -1 when the list has no such end or holds bytes passed over.
    int wholeSize = -1;
    bool sound = true; // no byte was passed over, but for such a last entry

    QString text() const
    {
        QString text;
        for (const Entry &entry : entries)
            text += entry.text + QLatin1Char('|');
        return text + tail;
    }
};

// Reads the list file ("" for a missing or empty one); false when it cannot be read (nothing is then
// known of it).
bool readList(const QString &path, ListFile *list)
{
    *list = ListFile();
    QFile file(path);
    if (file.size() == 0)
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    list->bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    const QByteArray &bytes = list->bytes;
    QTextCodec::ConverterState state;
    const QString text = codec()->toUnicode(bytes.constData(), bytes.size(), &state);
    // A decoder holds back (UTF-8) or silently drops (GBK) the bytes of a character cut short at the end,
    // and may drop a byte-order mark at the start: each entry is found by the bytes its text encodes to.
    int at = bytes.startsWith(byteOrderMark()) && !codec()->fromUnicode(text).startsWith(byteOrderMark())
                 ? byteOrderMark().size()
                 : 0;
    const QStringList pieces = text.split(QLatin1Char('|'));
    bool lost = false; // bytes since the last entry read belong to no entry read
    for (int i = 0; i + 1 < pieces.size(); ++i) {
        const QString &piece = pieces.at(i);
        const QByteArray encoded = codec()->fromUnicode(piece + QLatin1Char('|'));
        int from = -1;
        if (!piece.contains(QChar::ReplacementCharacter))
            from = lost ? bytes.indexOf(encoded, at) : (bytes.mid(at, encoded.size()) == encoded ? at : -1);
        if (from < 0) {
            lost = true;
            list->sound = false;
            continue;
        }
        lost = false;
        list->entries.append({piece, from, from + int(encoded.size())});
        at = from + int(encoded.size());
    }
    const QString &tail = pieces.last();
    const QByteArray encoded = codec()->fromUnicode(tail);
    const int rest = bytes.size() - at - encoded.size();
    if (lost || tail.contains(QChar::ReplacementCharacter) || rest < 0 || bytes.mid(at, encoded.size()) != encoded) {
        list->sound = false;
    } else if (rest == 0) {
        list->tail = tail;
    } else if (rest > 3) {
        list->sound = false;
    } else if (list->sound) {
        list->wholeSize = at;
    }
    if (!list->sound)
        qCDebug(lcSingleImport) << "shot-time list holds bytes not in the list codec, passed over:" << path;
    else if (list->wholeSize >= 0)
        qCDebug(lcSingleImport) << "shot-time list cut inside a character, read up to its last whole entry:" << path;
    return true;
}

// Whether the open file still holds the bytes read (another desk may have appended meanwhile).
bool stillAsRead(QFile &file, const QByteArray &bytes, int from)
{
    if (file.size() != bytes.size() || !file.seek(from))
        return false;
    return file.read(bytes.size() - from) == bytes.mid(from);
}

// What goes between the bytes of a list and entries added after them (lastByte: the list's last byte, -1
// for an empty list, -2 when it is not known): nothing after a "|"; a "|" after a whole character; after a
// byte that may lead a character cut short, a second one, since a double-byte code page takes the first
// for the cut character's second byte. An empty entry is passed over by every reader.
QByteArray separatorAfter(int lastByte)
{
    if (lastByte == -1 || lastByte == '|')
        return QByteArray();
    return lastByte >= 0 && lastByte < 0x80 ? QByteArray("|") : QByteArray("||");
}

// The last byte of the open file of that size (-1 for an empty one); -2 when it cannot be read.
int lastByteOf(QFile &file, qint64 size)
{
    if (size <= 0)
        return -1;
    char c = 0;
    if (!file.seek(size - 1) || !file.getChar(&c))
        return -2;
    return static_cast<unsigned char>(c);
}

// Appends the bytes of new entries to the list as read (known: it could be read).
bool appendBytes(const QString &path, const ListFile &list, bool known, const QByteArray &added)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    if (added.isEmpty())
        return true;
    // An entry cut inside a character goes first: the bytes of that character would pair with the new
    // entry's first ones. It goes only while the file holds what was read: an entry another desk appended
    // since would be taken for it. Otherwise the new entries follow a separator, and the reader passes the
    // cut entry over.
    qint64 oldSize = file.size();
    errno = 0;
    if (known && list.wholeSize >= 0 && stillAsRead(file, list.bytes, list.wholeSize)) {
        if (!file.resize(list.wholeSize)) {
            const int error = errno;
            qCDebug(lcSingleImport) << "shot-time list not cut back to its whole entries:" << path << file.errorString();
            errno = error;
            return false;
        }
        oldSize = list.wholeSize;
    }
    const QByteArray bytes = separatorAfter(lastByteOf(file, oldSize)) + added;
    errno = 0;
    const bool written = file.write(bytes) == bytes.size();
    int error = errno;
    file.close();
    if (written && file.error() == QFileDevice::NoError)
        return true;
    if (written)
        error = errno;
    // What went in of a failed append is taken back: a cut entry would swallow the next one.
    qCDebug(lcSingleImport) << "shot-time list not appended:" << path << qt_error_string(error);
    if (!file.resize(oldSize))
        qCWarning(lcSingleImport) << "shot-time list left cut:" << path << file.errorString();
    errno = error;
    return false;
}

enum class Rewrite { Done, Failed, Changed };

// The list without the entries of replaced names, then added: only what is read as those entries goes,
// every other byte stays (a last entry cut inside a character excepted). Made only while the file still
// holds the bytes read.
Rewrite rewrite(const QString &path, const ListFile &list, const QSet<QString> &replaced, const QByteArray &added)
{
    QByteArray bytes;
    int at = 0;
    for (const ListFile::Entry &entry : list.entries) {
        const QStringList pieces = entry.text.split(QLatin1Char('>'));
        if (pieces.size() == 2 && replaced.contains(pieces.at(0))) {
            bytes += list.bytes.mid(at, entry.from - at);
            at = entry.to;
        }
    }
    bytes += list.bytes.mid(at, list.wholeSize >= 0 ? list.wholeSize - at : -1);
    bytes += separatorAfter(bytes.isEmpty() ? -1 : static_cast<unsigned char>(bytes.back())) + added;
    bool changed = false;
    const bool written = Platform::writeIntoPlace(path, [&](QIODevice &out) {
        QFile now(path);
        if (!now.open(QIODevice::ReadOnly) || !stillAsRead(now, list.bytes, 0)) {
            changed = true;
            return false;
        }
        return out.write(bytes) == bytes.size();
    });
    return written ? Rewrite::Done : changed ? Rewrite::Changed : Rewrite::Failed;
}

} // namespace

bool append(const QString &orderFolder, const QString &text)
{
    if (orderFolder.trimmed().isEmpty())
        return false;
    QString folder = Platform::localPath(orderFolder);
    if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QLatin1Char('\\')))
        folder += QLatin1Char('/');
    const QString path = folder + fileName();

    QStringList names;
    QHash<QString, QString> newTime;
    for (const auto &pair : parse(text)) {
        if (!newTime.contains(pair.first))
            names << pair.first;
        newTime.insert(pair.first, pair.second);
    }
    for (int attempt = 0;; ++attempt) {
        // The names listed so far. A list that cannot be read is only appended to, as it is: nothing in it
        // is lost.
        ListFile list;
        const bool known = readList(path, &list);
        QHash<QString, QString> listedTime;
        for (const auto &pair : parse(list.text()))
            listedTime.insert(pair.first, pair.second);
        QString added;
        QSet<QString> replaced;
        for (const QString &name : qAsConst(names)) {
            const auto it = listedTime.constFind(name);
            if (it != listedTime.cend()) {
                if (*it == newTime.value(name))
                    continue;
                replaced.insert(name);
            }
            added += name + QLatin1Char('>') + newTime.value(name) + QLatin1Char('|');
        }
        // The write begins (on a slow share it takes a while: Platform::delayWrite). Between the read and the
        // write another desk may append to the list: a list written anew is read again then; after a few
        // such turns the entries are only appended (the old entry of a name given to another photo stays
        // before its new one).
        Platform::delayWrite(path);
        if (!replaced.isEmpty() && attempt < 3) {
            const Rewrite done = rewrite(path, list, replaced, codec()->fromUnicode(added));
            if (done == Rewrite::Changed)
                continue;
            return done == Rewrite::Done;
        }
        return appendBytes(path, list, known, codec()->fromUnicode(added));
    }
}

QString readText(const QString &path)
{
    ListFile list;
    if (!readList(Platform::localPath(path), &list))
        return QString();
    return list.text().trimmed();
}

QList<QPair<QString, QString>> parse(const QString &text)
{
    QList<QPair<QString, QString>> pairs;
    const QStringList entries = text.split(QLatin1Char('|'));
    for (const QString &part : entries) {
        if (part.isEmpty())
            continue;
        const QStringList pieces = part.split(QLatin1Char('>'));
        if (pieces.size() == 2)
            pairs.append(qMakePair(pieces.at(0), pieces.at(1)));
    }
    return pairs;
}

} // namespace ShotTimeList
