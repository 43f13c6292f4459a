#pragma once
// Locked access to the batch import's go/stop state (g_importPathState), which the GUI thread and an
// order's import thread both read and write. Use these instead of touching the global directly.

#include <QString>

// The current state: "no" stops an order's import before its next file, "go" lets it go on.
QString importPathState();
void setImportPathState(const QString &state);
// True while the state is exactly "no".
bool importStopped();
