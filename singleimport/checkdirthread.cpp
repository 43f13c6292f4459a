#include "checkdirthread.h"

#include "fileoperation.h"
#include "logging.h"

#include <QDebug>

CheckDirThread::CheckDirThread(QString path) : path(std::move(path))
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

CheckDirThread::~CheckDirThread() = default;

void CheckDirThread::run()
{
    // An empty path would name the working directory and read as existing.
    const bool exists = !path.trimmed().isEmpty() && FileOperation::dirExists(path);
    qCDebug(lcSingleImport) << "目录是否存在" << (exists ? "true" : "false");
    emit onFinishCheck(exists);
    quit();
}
