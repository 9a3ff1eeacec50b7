#pragma once

// What runs from an installed extension's folder, and how packsetup ends it
// before it replaces or removes the folder (Windows refuses to rename or
// delete a folder that a running program came from; elsewhere the old
// version would run on unseen). Two kinds are found by the paths of their
// programs: the launchers (chainlaunch) of the pairs that use the extension,
// as listener or as control, each with the listener run it waits for (a
// child created no earlier than the launcher: an older process only carries
// a parent id that the launcher got later); and every process whose program
// lies in the folder, or in the folder a link there leads to. Each is held
// from finding to ending, so that a process that ends meanwhile is let be and
// its id never reaches another. Launchers are ended first and at once, so
// that ending a listener never lets its launcher start the control program;
// the others are asked to end, and what still runs after kGraceMs is forced.

#include "pack/Outcome.h"
#include "platform/ProcessTable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace installer {

class RunningExtension
{
public:
    // How long a process that was asked to end may take before it is forced.
    static constexpr int kGraceMs = 2000;

    // What runs from `folder` now.
    static RunningExtension find(const QString& folder,
                                 const platform::ProcessTable& table = platform::ProcessTable::system());

    bool isEmpty() const { return m_launchers.isEmpty() && m_processes.isEmpty(); }
    // "Watcher（2个进程）、Logger（1个进程）", by extension; a launcher counts
    // for the listener it runs.
    QString summary() const;
    // Whether ORVA started one of the launchers: it starts that pair again
    // once packsetup has ended.
    bool startedByOrva() const { return m_startedByOrva; }
    // InUse, naming a process that this one may not end (another user's),
    // when there is one.
    pack::Outcome checkEndable() const;
    // Ends everything found; names a process that still runs afterwards.
    std::optional<QString> stop() const;
    // Writes `text` into the log of each pair whose launcher was found and
    // no longer runs.
    void noteEndedLaunchers(const QString& text) const;

    // The check made just before the folder is swapped or deleted: a process
    // that still runs from it, named; nullopt when none does.
    static std::optional<QString>
    stillRunningFrom(const QString& folder,
                     const platform::ProcessTable& table = platform::ProcessTable::system());

private:
    struct Process
    {
        std::shared_ptr<platform::HeldProcess> held; // shared by the copies of what was found
        qint64 pid = 0;
        QString program;
        QString extension;     // the name it is counted under
        QByteArray listenerId; // a launcher's: whose log tells of its end
    };
    static void forceWhatRuns(const QList<Process>& processes);
    static bool waitUntilEnded(const QList<Process>& processes, int milliseconds);
    static QString named(const Process& process);

    QList<Process> m_launchers;
    QList<Process> m_processes;
    bool m_startedByOrva = false;
};

// Ends what runs from a folder: by default RunningExtension::stop. Tests
// leave it undone to see the check refuse.
using StopRunning = std::function<std::optional<QString>(const RunningExtension& running)>;

// Before the installed extension `id` in `folder` is replaced or removed:
// leaves the change notice for ORVA, ends what runs from the folder through
// `stop` and checks that nothing does any more. InUse naming the process when
// one cannot be ended; `stopped` is what was ended.
pack::Outcome releaseFolder(const QByteArray& id, const QString& folder, const StopRunning& stop,
                            RunningExtension& stopped,
                            const platform::ProcessTable& table = platform::ProcessTable::system());

} // namespace installer
