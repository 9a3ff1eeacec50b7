#pragma once

#include "CommandLine.h"

#include <QString>

namespace packsetup {

// The app folder packsetup works in. Its working directory when that folder's
// Extensions/00000001/packsetup.exe is this very program (as ORVA's 添加
// starts it; links followed, as a program reached through a link knows only
// the link's target). Otherwise the app folder the program is installed in,
// two levels above it, as when a double-clicked pack starts it in the pack's
// folder. A program outside any app folder works where it is started.
QString appFolderFor(const QString& workingFolder, const QString& programPath);

// Moves into appFolderFor(the working directory, this program), keeping the
// request's pack path pointing at the same file. A folder that cannot be
// entered makes the request invalid: nothing is installed elsewhere instead.
void enterAppFolder(Request& request);

} // namespace packsetup
