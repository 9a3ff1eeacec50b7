#include "RunningExtension.h"

#include "orva/extensions/ExtensionChangeNotice.h"
#include "orva/extensions/ExtensionLayout.h"
#include "orva/extensions/PairLog.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <cstring>

namespace installer {
namespace {

constexpr int kPollMs = 20;

// A path as the system names it, so that it compares with programs' paths.
QString canonical(const QString& path)
{
    const QFileInfo info(path);
    const QString resolved = info.canonicalFilePath();
    return resolved.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : resolved;
}

// "Watcher" for ".../Watcher.exe": the extension name a program file carries.
QString baseName(const QString& program)
{
    QString name = QFileInfo(program).fileName();
    if (name.endsWith(QLatin1String(extensions::kProgramSuffix), Qt::CaseInsensitive))
        name.chop(static_cast<int>(std::strlen(extensions::kProgramSuffix)));
    return name;
}

pack::Outcome inUse(const QString& message)
{
    return pack::Outcome{pack::ExitCode::InUse, message};
}

bool isLauncher(const platform::ProcessEntry& process)
{
    return QFileInfo(process.program)
               .fileName()
               .compare(QLatin1String(extensions::kChainlaunchFileName), Qt::CaseInsensitive) == 0;
}

// Whether `parent` created `child`. A parent id alone may be stale (Windows
// never updates it when the parent ends, and gives the id to later
// processes), so the parent must also be created no later than the child.
// Equal times count: creation times move in clock ticks (10 ms on Linux,
// about as coarse on Windows) and a launcher starts its listener at once,
// while a stale id needs its old parent to end and a launcher to get the id
// within the tick that created the child.
bool isChildOf(const platform::ProcessEntry& child, const platform::ProcessEntry& parent)
{
    return child.parentPid == parent.pid && parent.started != 0 && parent.started <= child.started;
}

// An extension folder by both its names: a program that runs from a linked
// folder is named by the link's target, or on some systems by the link.
class FolderNames
{
public:
    explicit FolderNames(const QString& folder)
        : m_target(canonical(folder)), m_given(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))
    {}
    bool contain(const QString& path) const
    {
        return platform::isInsideFolder(path, m_target) || platform::isInsideFolder(path, m_given);
    }

private:
    QString m_target;
    QString m_given;
};

} // namespace

RunningExtension RunningExtension::find(const QString& folder, const platform::ProcessTable& table)
{
    RunningExtension running;
    const FolderNames names(folder);
    const QList<platform::ProcessEntry> all = table.processes();
    QHash<qint64, platform::ProcessEntry> byPid;
    for (const platform::ProcessEntry& process : all)
        byPid.insert(process.pid, process);

    QList<platform::ProcessEntry> launchers;
    for (const platform::ProcessEntry& process : all) {
        if (!isLauncher(process))
            continue;
        const std::shared_ptr<platform::HeldProcess> held = table.hold(process);
        const std::optional<platform::ProcessCommand> command =
            held ? table.command(process.pid) : std::nullopt;
        const QStringList pair = command ? command->arguments.mid(0, 2) : QStringList();
        const bool usesFolder = std::any_of(pair.begin(), pair.end(), [&](const QString& program) {
            const QString path =
                QDir(command->workingFolder).absoluteFilePath(QDir::fromNativeSeparators(program));
            return names.contain(canonical(path));
        });
        // The command was read by id: it is the held launcher's while that still runs.
        if (!usesFolder || !held->runs())
            continue;
        // The listener's program lies in the folder named by its id.
        const QByteArray listenerId =
            QFileInfo(QDir::fromNativeSeparators(pair.front())).dir().dirName().toUtf8();
        running.m_launchers.append({held, process.pid, process.program, baseName(pair.front()),
                                    extensions::isExtensionId(listenerId) ? listenerId : QByteArray()});
        launchers.append(process);
        const auto parent = byPid.constFind(process.parentPid);
        running.m_startedByOrva |=
            parent != byPid.cend() && isChildOf(process, *parent) &&
            baseName(parent->program)
                    .compare(QLatin1String(extensions::kOrvaProgramBaseName), Qt::CaseInsensitive) == 0;
    }
    // A launcher's child is the listener run it waits for, wherever its program lies.
    for (const platform::ProcessEntry& process : all) {
        // A launcher runs from the app folder and is no launcher's child: it
        // is never counted twice.
        const bool child =
            std::any_of(launchers.begin(), launchers.end(),
                        [&](const platform::ProcessEntry& launcher) { return isChildOf(process, launcher); });
        if (!child && !names.contain(process.program))
            continue;
        if (const std::shared_ptr<platform::HeldProcess> held = table.hold(process))
            running.m_processes.append(
                {held, process.pid, process.program, baseName(process.program), QByteArray()});
    }
    return running;
}

QString RunningExtension::summary() const
{
    QStringList names;
    QHash<QString, int> counts;
    for (const QList<Process>* kind : {&m_launchers, &m_processes}) {
        for (const Process& process : *kind) {
            if (!counts.contains(process.extension))
                names.append(process.extension);
            ++counts[process.extension];
        }
    }
    QStringList parts;
    for (const QString& name : names)
        parts.append(QStringLiteral("%1（%2个进程）").arg(name).arg(counts.value(name)));
    return parts.join(QStringLiteral("、"));
}

pack::Outcome RunningExtension::checkEndable() const
{
    for (const QList<Process>* kind : {&m_launchers, &m_processes}) {
        for (const Process& process : *kind) {
            if (!process.held->mayEnd())
                return inUse(QStringLiteral(
                                 "程序%1正在运行，但没有权限结束它（它可能属于另一个用户）。请先结束它再试。")
                                 .arg(named(process)));
        }
    }
    return {};
}

std::optional<QString> RunningExtension::stop() const
{
    // A launcher holds nothing that needs a goodbye, and one that was only
    // asked could still start its control program.
    forceWhatRuns(m_launchers);
    waitUntilEnded(m_launchers, kGraceMs);
    for (const Process& process : m_processes) {
        if (process.held->runs())
            process.held->askToEnd();
    }
    if (!waitUntilEnded(m_processes, kGraceMs)) {
        forceWhatRuns(m_processes);
        waitUntilEnded(m_processes, kGraceMs);
    }
    for (const QList<Process>* kind : {&m_launchers, &m_processes}) {
        for (const Process& process : *kind) {
            if (process.held->runs())
                return named(process);
        }
    }
    return std::nullopt;
}

void RunningExtension::noteEndedLaunchers(const QString& text) const
{
    for (const Process& launcher : m_launchers) {
        if (!launcher.listenerId.isEmpty() && !launcher.held->runs())
            extensions::PairLog(launcher.listenerId).note(text);
    }
}

std::optional<QString> RunningExtension::stillRunningFrom(const QString& folder,
                                                          const platform::ProcessTable& table)
{
    const FolderNames names(folder);
    for (const platform::ProcessEntry& process : table.processes()) {
        if (names.contain(process.program))
            return named({nullptr, process.pid, process.program, QString(), QByteArray()});
    }
    return std::nullopt;
}

void RunningExtension::forceWhatRuns(const QList<Process>& processes)
{
    // Only what still runs as found: one that ended when asked is gone, and
    // its id may already be another program's.
    for (const Process& process : processes) {
        if (process.held->runs())
            process.held->forceToEnd();
    }
}

bool RunningExtension::waitUntilEnded(const QList<Process>& processes, int milliseconds)
{
    for (int waited = 0;; waited += kPollMs) {
        const bool ended = std::none_of(processes.begin(), processes.end(),
                                        [](const Process& process) { return process.held->runs(); });
        if (ended || waited >= milliseconds)
            return ended;
        platform::pause(kPollMs);
    }
}

QString RunningExtension::named(const Process& process)
{
    return QStringLiteral("\"%1\"（进程号%2）")
        .arg(QDir::toNativeSeparators(process.program))
        .arg(process.pid);
}

pack::Outcome releaseFolder(const QByteArray& id, const QString& folder, const StopRunning& stop,
                            RunningExtension& stopped, const platform::ProcessTable& table)
{
    const QString noticePath = platform::processPath(extensions::changeNoticePath());
    // Written before anything is looked for, and also when nothing runs: from
    // now on ORVA holds every start of the pair, also one of a run that ended
    // a moment ago.
    const extensions::ExtensionChangeNotice notice{
        {id}, platform::currentProcessIdentity(), QDateTime::currentMSecsSinceEpoch()};
    QString error;
    if (!notice.write(error))
        return pack::Outcome{
            pack::ExitCode::IoFailure,
            QStringLiteral("无法写入\"%1\"：%2。").arg(QDir::toNativeSeparators(noticePath), error)};
    stopped = RunningExtension::find(folder, table);
    pack::Outcome outcome = stopped.checkEndable();
    if (outcome.ok()) {
        std::optional<QString> still = stopped.isEmpty() ? std::nullopt : stop(stopped);
        if (!still)
            still = RunningExtension::stillRunningFrom(folder, table);
        if (still)
            outcome = inUse(
                QStringLiteral("程序%1仍在运行，扩展文件夹不能被替换或删除。请先结束它再试。").arg(*still));
    }
    // Nothing changes after all: ORVA starts the pairs again at once.
    if (!outcome.ok())
        QFile::remove(noticePath);
    return outcome;
}

} // namespace installer
