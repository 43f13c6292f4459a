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

// The list file's text as written ("" for a missing or empty file); false when it cannot be read or is
// not valid in the list's codec. An append cut off inside a character (a power cut, a full disk) leaves
// the last entry damaged and nothing else: the text then ends at the last whole entry's "|". wholeSize is
// set to the bytes the text stands for: the file's size, or less by the damaged entry.
bool readList(const QString &path, QString *text, qint64 *wholeSize = nullptr)
{
    text->clear();
    if (wholeSize)
        *wholeSize = 0;
    QFile file(path);
    if (file.size() == 0)
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    QTextCodec::ConverterState state;
    *text = codec()->toUnicode(bytes.constData(), bytes.size(), &state);
    // The end is judged by the bytes: the text must encode back to the file's bytes. A decoder may hold
    // back (UTF-8) or silently drop (GBK) the bytes of a character cut short at the end; those bytes are
    // then all that is left over.
    const QByteArray encoded = codec()->fromUnicode(*text);
    static const QByteArray byteOrderMark("\xEF\xBB\xBF");
    const int lead = bytes.startsWith(byteOrderMark) && !encoded.startsWith(byteOrderMark) ? byteOrderMark.size() : 0;
    const int rest = bytes.size() - lead - encoded.size();
    if (state.invalidChars > 0 || rest < 0 || rest > 3 || bytes.mid(lead, encoded.size()) != encoded) {
        qCDebug(lcSingleImport) << "shot-time list not in the list codec:" << path;
        text->clear();
        return false;
    }
    if (rest > 0) {
        qCDebug(lcSingleImport) << "shot-time list cut inside a character, read up to its last whole entry:" << path;
        text->truncate(text->lastIndexOf(QLatin1Char('|')) + 1);
    }
    if (wholeSize)
        *wholeSize = lead + (rest > 0 ? codec()->fromUnicode(*text).size() : encoded.size());
    return true;
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

    // The names listed so far. A list that cannot be read is only appended to, as it is: nothing in it
    // is lost.
    QString listed;
    qint64 wholeSize = -1;
    QHash<QString, QString> listedTime;
    if (readList(path, &listed, &wholeSize)) {
        for (const auto &pair : parse(listed))
            listedTime.insert(pair.first, pair.second);
    }
    QStringList names;
    QHash<QString, QString> newTime;
    for (const auto &pair : parse(text)) {
        if (!newTime.contains(pair.first))
            names << pair.first;
        newTime.insert(pair.first, pair.second);
    }
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

    if (!replaced.isEmpty()) {
        QString whole;
        for (const QString &part : listed.split(QLatin1Char('|'))) {
            const QStringList pieces = part.split(QLatin1Char('>'));
            if (part.trimmed().isEmpty() || (pieces.size() == 2 && replaced.contains(pieces.at(0))))
                continue;
            whole += part + QLatin1Char('|');
        }
        const QByteArray bytes = codec()->fromUnicode(whole + added);
        return Platform::writeIntoPlace(path, [&bytes](QIODevice &file) { return file.write(bytes) == bytes.size(); });
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    if (added.isEmpty())
        return true;
    // An entry cut inside a character goes first: the bytes of that character would pair with the new
    // entry's first ones. A list cut off in an entry at a whole character (as a disk that filled up left it)
    // gets a separator, so that the new entries do not run into the cut one.
    qint64 oldSize = file.size();
    errno = 0;
    if (wholeSize >= 0 && wholeSize < oldSize) {
        if (!file.resize(wholeSize)) {
            const int error = errno;
            qCDebug(lcSingleImport) << "shot-time list not cut back to its whole entries:" << path << file.errorString();
            errno = error;
            return false;
        }
        oldSize = wholeSize;
    }
    QByteArray bytes = codec()->fromUnicode(added);
    if (oldSize > 0 && !listed.endsWith(QLatin1Char('|')))
        bytes.prepend('|');
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

QString readText(const QString &path)
{
    QString text;
    if (!readList(Platform::localPath(path), &text))
        return QString();
    return text.trimmed();
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
