#pragma once
// Whole files as bytes, for the tests that write inputs and read what the program wrote.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

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
