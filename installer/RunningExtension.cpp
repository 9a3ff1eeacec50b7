#include "RunningExtension.h"

#include "orva/extensions/ExtensionChangeNotice.h"
#include "orva/extensions/ExtensionLayout.h"
#include "platform/Platform.h"
#include "platform/Processes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <cstring>

namespace installer {
namespace {

constexpr unsigned long kPollMs = 20;

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

} // namespace

RunningExtension RunningExtension::find(const QString& folder)
{
    RunningExtension running;
    const QString root = canonical(folder);
    const QList<platform::ProcessEntry> all = platform::runningProcesses();
    QHash<qint64, QString> programs;
    for (const platform::ProcessEntry& process : all)
        programs.insert(process.pid, process.program);

    QSet<qint64> launchers;
    for (const platform::ProcessEntry& process : all) {
        if (QFileInfo(process.program)
                .fileName()
                .compare(QLatin1String(extensions::kChainlaunchFileName), Qt::CaseInsensitive) != 0)
            continue;
        const std::optional<platform::ProcessCommand> command = platform::processCommand(process.pid);
        const QStringList pair = command ? command->arguments.mid(0, 2) : QStringList();
        const bool usesFolder = std::any_of(pair.begin(), pair.end(), [&](const QString& program) {
            const QString path =
                QDir(command->workingFolder).absoluteFilePath(QDir::fromNativeSeparators(program));
            return platform::isInsideFolder(canonical(path), root);
        });
        if (!usesFolder)
            continue;
        running.m_launchers.append({process.pid, process.program, baseName(pair.front())});
        launchers.insert(process.pid);
        running.m_startedByOrva |=
            baseName(programs.value(process.parentPid))
                .compare(QLatin1String(extensions::kOrvaProgramBaseName), Qt::CaseInsensitive) == 0;
    }
    // A launcher's child is the listener run it waits for, wherever its program lies.
    for (const platform::ProcessEntry& process : all) {
        if (!launchers.contains(process.pid) &&
            (platform::isInsideFolder(process.program, root) || launchers.contains(process.parentPid)))
            running.m_processes.append({process.pid, process.program, baseName(process.program)});
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
            if (!platform::mayEndProcess(process.pid))
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
    for (const Process& launcher : m_launchers)
        platform::forceProcessToEnd(launcher.pid);
    waitUntilEnded(m_launchers, kGraceMs);
    for (const Process& process : m_processes)
        platform::askProcessToEnd(process.pid);
    if (!waitUntilEnded(m_processes, kGraceMs)) {
        for (const Process& process : m_processes)
            platform::forceProcessToEnd(process.pid);
        waitUntilEnded(m_processes, kGraceMs);
    }
    for (const QList<Process>* kind : {&m_launchers, &m_processes}) {
        for (const Process& process : *kind) {
            if (platform::processRuns(process.pid))
                return named(process);
        }
    }
    return std::nullopt;
}

std::optional<QString> RunningExtension::stillRunningFrom(const QString& folder)
{
    const QString root = canonical(folder);
    for (const platform::ProcessEntry& process : platform::runningProcesses()) {
        if (platform::isInsideFolder(process.program, root))
            return named({process.pid, process.program, QString()});
    }
    return std::nullopt;
}

bool RunningExtension::waitUntilEnded(const QList<Process>& processes, int milliseconds)
{
    for (int waited = 0;; waited += static_cast<int>(kPollMs)) {
        const bool ended = std::none_of(processes.begin(), processes.end(), [](const Process& process) {
            return platform::processRuns(process.pid);
        });
        if (ended || waited >= milliseconds)
            return ended;
        QThread::msleep(kPollMs);
    }
}

QString RunningExtension::named(const Process& process)
{
    return QStringLiteral("\"%1\"（进程号%2）")
        .arg(QDir::toNativeSeparators(process.program))
        .arg(process.pid);
}

pack::Outcome releaseFolder(const QByteArray& id, const QString& folder, const StopRunning& stop,
                            RunningExtension& stopped)
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
    stopped = RunningExtension::find(folder);
    pack::Outcome outcome = stopped.checkEndable();
    if (outcome.ok()) {
        std::optional<QString> still = stopped.isEmpty() ? std::nullopt : stop(stopped);
        if (!still)
            still = RunningExtension::stillRunningFrom(folder);
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
