#pragma once

#include <QList>

class LauncherProcess;

// Every launcher process created at start-up, in creation order, including
// those never started. Entries are never removed or deleted while ORVA runs:
// the Exit action works through this list.
QList<LauncherProcess*>& processList();
