#pragma once
// What the login needs of the operating system: starting the external updater and ending the program.
// Tests replace both with hooks that only record the call.

#include <QString>
#include <QStringList>

#include <functional>

namespace PlatformShell {

// The updater program: Windows "checkUpdate.exe" beside the program; elsewhere the path in the
// environment variable TESSALY_UPDATER, else the one compiled in ("" when none is configured).
QString updaterPath();

// Starts the updater detached. False with *error set when there is none or it cannot be started.
bool startUpdater(QString *error = nullptr);

// Ends the program: asks every window to close and, once every one has, leaves the event loop. A window
// that refuses (an import asking "No" to its end) keeps the program running: false, nothing ends.
bool endProgram();

// ---- test hooks ----
// While set, startUpdater calls the hook with the program it would start and returns the hook's answer,
// and endProgram calls its hook in place of leaving the event loop (the windows are asked as usual).
void setUpdaterHook(std::function<bool(const QString &program)> hook);
void setEndProgramHook(std::function<void()> hook);

} // namespace PlatformShell
