#include "shottime.h"

#include "logging.h"
#include "platform.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
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
    QByteArray bytes;      // the file as read
    QStringList entries;   // the entries read, in file order, each without its "|"
    QString tail;         // after the last "|": a last entry cut off at a whole character (read as it is)
    // Every byte read as entries, but for a last entry cut inside a character (read up to the entry before).
    bool cutInCharacter = false;
    bool sound = true; // no byte was passed over, but for such a last entry
    // What goes between the list and entries added after it: nothing where the reader ended the list at a
    // separator it read (or the list is empty); otherwise a "|", or two where the codec takes the first
    // for the second byte of a character cut short at the end.
    QByteArray separator;

    QString text() const
    {
        QString text;
        for (const QString &entry : entries)
            text += entry + QLatin1Char('|');
        return text + tail;
    }
};

// Reads list->bytes into its entries. The bytes are decoded as one stream, and a "|" byte ends an entry
// only where the decoder gives a "|" for it (in a double-byte code page it may be a character's second
// byte); bytes passed over end at such a separator too, and the reader goes on right after it.
void readBytes(ListFile *list)
{
    const QByteArray &bytes = list->bytes;
    QTextCodec *const listCodec = codec();
    // An editor may put a UTF-8 byte-order mark in front, whatever the desk's code page: its three bytes are
    // passed over by themselves, never decoded (in GBK they would pair with the first entry's bytes).
    int from = bytes.startsWith(byteOrderMark()) ? byteOrderMark().size() : 0;
    // The decoder reads every byte as it is: a second mark is no header.
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QString piece; // decoded since the last separator
    int fed = from;
    for (int bar = bytes.indexOf('|', from); bar >= 0; bar = bytes.indexOf('|', bar + 1)) {
        piece += listCodec->toUnicode(bytes.constData() + fed, bar + 1 - fed, &state);
        fed = bar + 1;
        if (!piece.endsWith(QLatin1Char('|')))
            continue; // the second byte of a character
        piece.chop(1);
        if (!piece.contains(QChar::ReplacementCharacter) && listCodec->fromUnicode(piece) == bytes.mid(from, bar - from))
            list->entries.append(piece);
        else
            list->sound = false;
        piece.clear();
        from = bar + 1;
    }
    // The rest: a decoder holds back (UTF-8) or drops (GBK) the bytes of a character cut short at the end.
    piece += listCodec->toUnicode(bytes.constData() + fed, bytes.size() - fed, &state);
    const QByteArray encoded = listCodec->fromUnicode(piece);
    const int rest = bytes.size() - from - encoded.size();
    if (piece.contains(QChar::ReplacementCharacter) || rest < 0 || bytes.mid(from, encoded.size()) != encoded)
        list->sound = false;
    else if (rest == 0)
        list->tail = piece;
    else if (rest > 3)
        list->sound = false;
    else if (list->sound)
        list->cutInCharacter = true;
    if (from < bytes.size()) {
        const QString after = listCodec->toUnicode(bytes.mid(from) + '|');
        list->separator = after.endsWith(QLatin1Char('|')) ? QByteArray("|") : QByteArray("||");
    }
}

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
    readBytes(list);
    if (!list->sound)
        qCDebug(lcSingleImport) << "shot-time list holds bytes not in the list codec, passed over:" << path;
    else if (list->cutInCharacter)
        qCDebug(lcSingleImport) << "shot-time list cut inside a character, read up to its last whole entry:" << path;
    return true;
}

// Appends the bytes of new entries to the list as it is when the write begins. Another desk may append at
// any moment, so nothing is cut that this append did not write: a last entry cut inside a character stays,
// and the new entries follow a separator the reader reads as such (two where the codec takes the first
// for the cut character's second byte), so they read back as they are and the reader passes the cut entry
// over.
bool appendBytes(const QString &path, const QByteArray &added)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    if (added.isEmpty())
        return true;
    ListFile list;
    const qint64 readSize = file.size();
    if (file.seek(0))
        list.bytes = file.read(readSize);
    const bool known = file.error() == QFileDevice::NoError && list.bytes.size() == readSize;
    if (known)
        readBytes(&list);
    const QByteArray bytes = (known ? list.separator : readSize > 0 ? QByteArray("||") : QByteArray()) + added;
    // The write begins (on a slow share it takes a while: Platform::delayWrite). It goes at the list's end
    // as it is now, not where the read ended: Windows writes at the file position, not at the end by itself.
    Platform::delayWrite(path);
    const qint64 start = file.size();
    errno = 0;
    const qint64 went = file.seek(start) ? file.write(bytes) : -1;
    int error = errno;
    file.close();
    if (went == bytes.size() && file.error() == QFileDevice::NoError)
        return true;
    if (went == bytes.size())
        error = errno;
    // What went in of a failed append is taken back, a cut entry would swallow the next one; but only while
    // the list still ends with it: what another desk appended after it stays.
    qCDebug(lcSingleImport) << "shot-time list not appended:" << path << qt_error_string(error);
    if (went > 0) {
        if (QFileInfo(path).size() != start + went)
            qCWarning(lcSingleImport) << "shot-time list left cut, another desk appended after it:" << path;
        else if (!file.resize(start))
            qCWarning(lcSingleImport) << "shot-time list left cut:" << path << file.errorString();
    }
    errno = error;
    return false;
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
    // The names listed so far. A list that cannot be read is only appended to, as it is: nothing in it is
    // lost.
    ListFile list;
    readList(path, &list);
    QHash<QString, QString> listedTime;
    for (const auto &pair : parse(list.text()))
        listedTime.insert(pair.first, pair.second);
    // A name given to another photo gets its new entry after the old one, which the readers then pass
    // over: the list is only ever appended to, so an entry another desk appends meanwhile stays.
    QString added;
    for (const QString &name : qAsConst(names)) {
        const auto it = listedTime.constFind(name);
        if (it == listedTime.cend() || *it != newTime.value(name))
            added += name + QLatin1Char('>') + newTime.value(name) + QLatin1Char('|');
    }
    return appendBytes(path, codec()->fromUnicode(added));
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
    // A name listed again was given to another photo: its last entry holds.
    QHash<QString, int> last;
    for (int i = 0; i < pairs.size(); ++i)
        last.insert(pairs.at(i).first, i);
    if (last.size() == pairs.size())
        return pairs;
    QList<QPair<QString, QString>> latest;
    for (int i = 0; i < pairs.size(); ++i) {
        if (last.value(pairs.at(i).first) == i)
            latest.append(pairs.at(i));
    }
    return latest;
}

} // namespace ShotTimeList
