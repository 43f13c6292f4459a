#pragma once
// Pool job that moves one file (copy, then remove the source) or deletes one file. It reports nothing;
// the outcome shows in the file system.
//
// A move removes its source only after a real copy: the target must be another file than the source
// (not the same file under another spelling) and have the source's size. Otherwise the source stays.

#include <QRunnable>
#include <QString>

class CopyFileThread : public QRunnable
{
public:
    // Move job: copies source to target (replacing a file there), then removes the source.
    CopyFileThread(QString sourcePath, QString targetPath);
    // Delete job: removes the file at path.
    explicit CopyFileThread(QString path);
    ~CopyFileThread() override;

    void run() override;

    enum Mode { Move = 0, Delete = 1 };

private:
    QString sourcePath;
    QString targetPath;
    int mode;
};
