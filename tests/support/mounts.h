#pragma once
// Real disks in a folder for the length of a scope, for the failures a write meets there: a read-only disk
// (the folder bound onto itself, then made read-only: every write in it fails with EROFS) and a full one (a
// file system of a few blocks and entries, filled: a new folder, a new file and a longer file fail with
// ENOSPC). Mounting needs root and a system that allows it; where it fails, active() is false and the test
// skips. Declare one after the temporary folder it lies in, so that it is gone before the folder is removed.

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace testsupport {

class Mounted
{
public:
    enum Kind { ReadOnly, Full };

    Mounted(const QString &folder, Kind kind) : m_folder(folder)
    {
        if (kind == ReadOnly) {
            m_mounted = QProcess::execute("mount", {"--bind", folder, folder}) == 0;
            m_active = m_mounted && QProcess::execute("mount", {"-o", "remount,ro,bind", folder}) == 0;
            return;
        }
        m_mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k,nr_inodes=4", "tmpfs", folder}) == 0;
        if (!m_mounted)
            return;
        // every entry taken, then every block
        for (int i = 0; i < 16; ++i) {
            QFile entry(folder + "/fill" + QString::number(i));
            if (!entry.open(QIODevice::WriteOnly))
                break;
        }
        QFile fill(folder + "/fill0");
        if (fill.open(QIODevice::WriteOnly)) {
            const QByteArray block(4096, 'x');
            for (int i = 0; i < 64 && fill.write(block) == block.size() && fill.flush(); ++i) {
            }
        }
        m_active = true;
    }
    ~Mounted()
    {
        if (m_mounted)
            QProcess::execute("umount", {"-l", m_folder});
    }
    Mounted(const Mounted &) = delete;
    Mounted &operator=(const Mounted &) = delete;

    // Whether the disk is there.
    bool active() const { return m_active; }

private:
    QString m_folder;
    bool m_mounted = false;
    bool m_active = false;
};

} // namespace testsupport
