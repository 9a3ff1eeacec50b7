#pragma once

// Other processes of the machine, as far as the system lets this one see and
// end them: the program each runs, the process that started it, a process's
// command line, and ending one. packsetup uses them to stop what runs from
// an extension's folder before it replaces or removes the folder; ORVA, to
// tell whether the packsetup that did so still runs.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

struct ProcessEntry
{
    qint64 pid = 0;
    qint64 parentPid = 0;
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

// Whether this process is allowed to end `pid` (not: another user's or a
// protected process).
bool mayEndProcess(qint64 pid);

// Asks `pid` to end: SIGTERM; on Windows WM_CLOSE to its windows (a program
// without windows is only ever forced).
void askProcessToEnd(qint64 pid);

// Ends `pid` at once (SIGKILL, TerminateProcess); false when not allowed.
bool forceProcessToEnd(qint64 pid);

// Whether `pid` still runs; one that has ended but is not yet reaped does not.
bool processRuns(qint64 pid);

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
// the file system compares names (ignoring case on Windows).
bool isInsideFolder(const QString& path, const QString& folder);

} // namespace platform
