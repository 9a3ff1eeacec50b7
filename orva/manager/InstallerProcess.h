#pragma once

#include <QStringList>

namespace manager {

enum class InstallerRun {
    NotStarted,
    Finished,    // ended, whatever its exit code, or crashed
    WaitAborted, // the wait gave up before the installer ended
};

// Runs the installer Extensions/00000001/packsetup.exe with `arguments` and
// waits, without time limit, until it ends.
InstallerRun runInstaller(const QStringList& arguments);

// The "错误-ORVA" box for an installer that could not be started.
void reportInstallerNotStarted();

} // namespace manager
