#pragma once

// The processes of the machine as packsetup finds and ends them, behind an
// interface so that tests can give a table of their own: the system reuses
// process ids, and on Windows a snapshot's parent id is never updated when
// the parent ends, so a process is only ever acted on through what pins its
// identity.

#include "Processes.h"

#include <memory>

namespace platform {

class ProcessTable
{
public:
    virtual ~ProcessTable() = default;
    // Every running process but this one.
    virtual QList<ProcessEntry> processes() const = 0;
    // The command line and working folder of process `pid`, when readable.
    virtual std::optional<ProcessCommand> command(qint64 pid) const = 0;
    // `process` held, when it still runs with the creation time it was
    // listed with; nullptr once it has ended or its id means another process.
    virtual std::unique_ptr<HeldProcess> hold(const ProcessEntry& process) const = 0;

    // The machine's own.
    static const ProcessTable& system();
};

} // namespace platform
