#include "copyfilethread.h"

#include "fileoperation.h"
#include "logging.h"
#include "platform.h"

#include <QDebug>
#include <QFileInfo>

namespace {

// True when target now holds a copy of source: another file, of the same size.
bool isRealCopy(const QString &source, const QString &target)
{
    const QFileInfo from(Platform::localPath(source));
    const QFileInfo to(QString(target).replace(QLatin1Char('\\'), QLatin1Char('/')));
    if (!from.isFile() || !to.isFile())
        return false;
    if (from.canonicalFilePath().compare(to.canonicalFilePath(), Platform::pathCase()) == 0)
        return false;
    return from.size() == to.size();
}

} // namespace

CopyFileThread::CopyFileThread(QString sourcePath, QString targetPath)
    : sourcePath(std::move(sourcePath)), targetPath(std::move(targetPath)), mode(Move)
{
}

CopyFileThread::CopyFileThread(QString path) : sourcePath(std::move(path)), mode(Delete)
{
}

CopyFileThread::~CopyFileThread() = default;

void CopyFileThread::run()
{
    if (mode == Delete) {
        FileOperation::deleteFile(sourcePath);
        return;
    }
    if (!FileOperation::copyFile(sourcePath, targetPath, true) || !isRealCopy(sourcePath, targetPath)) {
        qCDebug(lcSingleImport) << "move not done, source kept:" << sourcePath << "->" << targetPath;
        return;
    }
    FileOperation::deleteFile(sourcePath);
}
