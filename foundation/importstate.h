#pragma once
// The batch import's go/stop state.
//
// Each import run has a stop state of its own (ImportStop), shared by the window that runs it and the
// thread of the order being imported: a stop in one window never reaches another window's run.
//
// g_importPathState stays as the program-wide record of the last go/stop ("no" or "go") for the code that
// reads it; the import threads do not read it. Use the locked functions below instead of the global.

#include <QAtomicInt>
#include <QString>

#include <memory>

class ImportStop
{
public:
    // "no": the order's import stops before its next file. A new run takes a new state, which says "go".
    void stop() { m_stopped.storeRelease(1); }
    bool isStopped() const { return m_stopped.loadAcquire() != 0; }

private:
    QAtomicInt m_stopped{0};
};

using ImportStopHandle = std::shared_ptr<ImportStop>;

// The program-wide record: "no" or "go" (empty before the first import).
QString importPathState();
void setImportPathState(const QString &state);
