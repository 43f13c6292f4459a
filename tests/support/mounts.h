#pragma once
// A real disk on a folder (made when missing) for the length of a scope: a read-only one (the folder bound
// onto itself, made read-only: writes fail with EROFS), a full one (a tmpfs of a few blocks and entries,
// filled: a new folder or file fails with ENOSPC; or, given a number of entries, one that holds that many
// folders and files and then fails the next with ENOSPC) or an empty one with room (a tmpfs of a few MiB:
// the folder is a mount point); or, given a file, a busy one (the file bound onto itself: removing or renaming
// it fails with EBUSY, as a file open in another program does on Windows). Mounting needs root and a system
// that allows it;
// active() says whether the disk is there (never for an empty path). Declare it after the temporary folder
// it lies in, so that it is gone first.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace testsupport {

class Mounted
{
public:
    enum Kind { ReadOnly, Full, Roomy, Busy };

    Mounted(const QString &folder, Kind kind, int entries = 0) : m_folder(folder)
    {
        if (kind == Busy) {
            m_active = m_mounted = QFileInfo(folder).isFile() && QProcess::execute("mount", {"--bind", folder, folder}) == 0;
            return;
        }
        if (folder.isEmpty() || !QDir().mkpath(folder))
            return;
        if (kind == ReadOnly) {
            m_mounted = QProcess::execute("mount", {"--bind", folder, folder}) == 0;
            m_active = m_mounted && QProcess::execute("mount", {"-o", "remount,ro,bind", folder}) == 0;
            return;
        }
        if (kind == Roomy) {
            m_active = m_mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4m", "tmpfs", folder}) == 0;
            return;
        }
        if (entries > 0) { // the disk's own folder takes one entry
            m_mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", QString("size=16m,nr_inodes=%1").arg(entries + 1),
                                                    "tmpfs", folder}) == 0;
            m_active = m_mounted;
            return;
        }
        m_mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k,nr_inodes=4", "tmpfs", folder}) == 0;
        for (int i = 0; m_mounted && i < 16; ++i) { // every entry taken, then every block
            QFile entry(folder + "/fill" + QString::number(i));
            if (!entry.open(QIODevice::WriteOnly))
                break;
        }
        QFile fill(folder + "/fill0");
        for (int i = 0; m_mounted && i < 64 && (fill.isOpen() || fill.open(QIODevice::Append)); ++i) {
            if (fill.write(QByteArray(4096, 'x')) != 4096 || !fill.flush())
                break;
        }
        m_active = m_mounted;
    }
    ~Mounted()
    {
        if (m_mounted)
            QProcess::execute("umount", {"-l", m_folder});
    }
    Mounted(const Mounted &) = delete;
    Mounted &operator=(const Mounted &) = delete;

    bool active() const { return m_active; }

private:
    QString m_folder;
    bool m_mounted = false;
    bool m_active = false;
};

} // namespace testsupport
