#pragma once

// Other processes of the machine, as far as the system lets this one see and
// end them: the program each runs, the process that started it and when, a
// process's command line, and holding one to end it. packsetup uses them
// (through ProcessTable) to stop what runs from an extension's folder before
// it replaces or removes the folder; ORVA, to tell whether the packsetup that
// did so still runs.

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace platform {

struct ProcessEntry
{
    qint64 pid = 0;
    // The id of the process that created it, as the system recorded it then:
    // on Windows never updated, so once that parent has ended the id may mean
    // a later process. Only a parent created no later than the child is it.
    qint64 parentPid = 0;
    // When it was created, comparable between processes of this machine
    // (Windows: a FILETIME; Linux: clock ticks since boot, 10 ms apart); 0
    // when the system does not say.
    quint64 started = 0;
    // Absolute path of its executable with '/' separators; empty when the
    // system does not say (another user's process, a system process).
    QString program;
};

// Every running process but this one.
QList<ProcessEntry> runningProcesses();

struct ProcessCommand
{
    QStringList arguments; // after the program, as the process received them
    QString workingFolder; // absolute, '/' separators
};

// The command line and working folder of process `pid`, when readable.
std::optional<ProcessCommand> processCommand(qint64 pid);

// A process found in a table and held until it is let go: on Windows an open
// handle, which also keeps its id from being given to another process; on
// Linux a pidfd where the kernel has them, and its start time compared again
// before each signal. Nothing is done to a process that is no longer the one
// found.
class HeldProcess
{
public:
    virtual ~HeldProcess() = default;
    // Still runs as the process found (one that has ended but is not yet
    // reaped does not).
    virtual bool runs() const = 0;
    // This process is allowed to end it (not: another user's or a protected one).
    virtual bool mayEnd() const = 0;
    // SIGTERM; on Windows WM_CLOSE to its windows (a program without windows
    // is only ever forced).
    virtual void askToEnd() = 0;
    // SIGKILL, TerminateProcess.
    virtual void forceToEnd() = 0;
};

// `process` held, when it still runs with the creation time it was listed
// with; nullptr once it has ended or its id means another process.
std::unique_ptr<HeldProcess> holdProcess(const ProcessEntry& process);

// A process's id and start time: what tells it apart from a later process
// that reuses its id.
struct ProcessIdentity
{
    qint64 pid = 0;
    quint64 started = 0;
};

ProcessIdentity currentProcessIdentity();
bool processRuns(const ProcessIdentity& identity);

// Whether the absolute `path` lies inside the absolute `folder`, compared as
// the file system compares names (ignoring case on Windows). Names only:
// links are the caller's to resolve.
bool isInsideFolder(const QString& path, const QString& folder);

} // namespace platform
