#pragma once

#include "CommandLine.h"

namespace packsetup {

// Without --quiet: runs the request with a progress dialog while a pack is
// checked and unpacked, asks before an install writes anything, then shows
// the result in a message box (none after 取消). Returns the exit status.
// Needs a QApplication.
int runWithWindows(const Request& request);

} // namespace packsetup
