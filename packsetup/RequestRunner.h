#pragma once

#include "CommandLine.h"
#include "installer/ExtensionInstaller.h"
#include "pack/Outcome.h"

namespace packsetup {

// Carries out a parsed command line in the working directory.
pack::Outcome runRequest(const Request& request, const installer::InstallProgress& progress = {});

// --quiet: runs the request and prints its message, to standard output on
// success and to standard error otherwise. Returns the exit status.
int runQuietly(const Request& request);

} // namespace packsetup
