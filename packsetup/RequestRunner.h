#pragma once

#include "CommandLine.h"
#include "installer/ExtensionInstaller.h"
#include "pack/Outcome.h"

namespace packsetup {

// Carries out a parsed command line in the working directory.
// `confirm`, when given, is asked before an install writes anything.
pack::Outcome runRequest(const Request& request, const installer::InstallProgress& progress = {},
                         const installer::InstallConfirmation& confirm = {});

// --quiet: runs the request without asking and prints its message, to standard output on
// success and to standard error otherwise. Returns the exit status.
int runQuietly(const Request& request);

} // namespace packsetup
