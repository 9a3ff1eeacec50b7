#pragma once

#include "CommandLine.h"

namespace packsetup {

// Without --quiet: runs the request with a progress dialog while a pack is
// checked and unpacked, then shows the result in a message box. Returns the
// exit status. Needs a QApplication.
int runWithWindows(const Request& request);

} // namespace packsetup
