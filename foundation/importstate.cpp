#include "importstate.h"

#include "globals.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex &stateLock()
{
    static QMutex lock;
    return lock;
}
} // namespace

QString importPathState()
{
    QMutexLocker locker(&stateLock());
    return g_importPathState;
}

void setImportPathState(const QString &state)
{
    QMutexLocker locker(&stateLock());
    g_importPathState = state;
}

