#pragma once

#include "CommandLine.h"
#include "ExtensionInstaller.h"
#include "Outcome.h"

namespace packsetup {

// Carries out a parsed command line in the working directory.
Outcome runRequest(const Request& request, const InstallProgress& progress = {});

// --quiet: runs the request and prints its message, to standard output on
// success and to standard error otherwise. Returns the exit status.
int runQuietly(const Request& request);

} // namespace packsetup
