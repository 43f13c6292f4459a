#pragma once
// The batch import's go/stop state.
//
// Each import run has a stop state of its own (ImportStop), shared by the window that runs it and the
// thread of the order being imported: a stop in one window never reaches another window's run.

#include <QAtomicInt>

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
