#pragma once
// Whole files as bytes, for the tests that write inputs and read what the program wrote.

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace testsupport {

// Writes the bytes, making the missing folders first.
inline bool put(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every file below dir (hidden ones too) with its bytes, and every folder ("<path>/"), by path below dir:
// what a program cut off at that moment (a power cut) leaves there.
inline QMap<QString, QByteArray> filesBelow(const QString &dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString below = QDir(dir).relativeFilePath(path);
        QFile f(path);
        if (it.fileInfo().isDir())
            files.insert(below + '/', QByteArray());
        else if (f.open(QIODevice::ReadOnly))
            files.insert(below, f.readAll());
    }
    return files;
}

// Puts dir back as filesBelow gave it: what is there now goes.
inline bool putBack(const QString &dir, const QMap<QString, QByteArray> &files)
{
    if (!QDir(dir).removeRecursively() || !QDir().mkpath(dir))
        return false;
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        const QString path = QDir(dir).filePath(it.key());
        if (!(it.key().endsWith('/') ? QDir().mkpath(path) : put(path, it.value())))
            return false;
    }
    return true;
}

// The process id of a child program started and collected here: one of this desk that has ended (0 when none
// could be started).
inline qint64 endedProcess()
{
    QProcess child;
    child.start(QStringLiteral("true"), QStringList());
    if (!child.waitForStarted())
        return 0;
    const qint64 pid = child.processId();
    return child.waitForFinished() && child.processId() == 0 ? pid : 0;
}

// The claim a run put on its record in folder (the one file matching pattern) made to name, as the process
// that made it, one of this desk that has ended: what a program cut off and started anew on the desk finds;
// anotherDesk: made to name another desk instead. That process is a child program this test starts and
// collects, never one it does not control (its parent may be a process whose program cannot be looked at,
// such as the system's first process once the shell that started the test has ended: the import then rightly
// takes it for a program that may still run). False when there is not exactly one such file, it names no
// program, it cannot be renamed, or no child program could be started.
inline bool claimOfEndedProgram(const QString &folder, const QString &pattern, bool anotherDesk = false)
{
#ifdef Q_OS_UNIX
    const QStringList claimed = QDir(folder).entryList({pattern}, QDir::Files | QDir::Hidden);
    if (claimed.size() != 1)
        return false;
    // ….claim-<time>-<program>-<process id>-<desk>, a report's with a random part after
    QStringList parts = claimed.first().split('-');
    const int pid = int(std::find_if(parts.begin(), parts.end(), [](const QString &p) { return p.endsWith(".claim"); })
                        - parts.begin()) + 3;
    if (pid + 1 >= parts.size())
        return false;
    if (anotherDesk) {
        parts[pid + 1] = "0anotherdesk";
    } else {
        const qint64 ended = endedProcess();
        if (ended <= 0)
            return false;
        parts[pid] = QString::number(ended, 36);
    }
    return QFile::rename(QDir(folder).filePath(claimed.first()), QDir(folder).filePath(parts.join('-')));
#else
    Q_UNUSED(folder)
    Q_UNUSED(pattern)
    Q_UNUSED(anotherDesk)
    return false;
#endif
}

// One string as a data stream of Qt 5 writes it: the byte length as a big-endian 32-bit number, then
// UTF-16 big endian; a null string is the length 0xFFFFFFFF alone.
inline QByteArray streamString(const QString &s)
{
    QByteArray out;
    if (s.isNull())
        return out.append(4, char(0xff));
    const quint32 len = quint32(s.size() * 2);
    out.append(char(len >> 24)).append(char(len >> 16)).append(char(len >> 8)).append(char(len));
    for (const QChar c : s)
        out.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    return out;
}

} // namespace testsupport
