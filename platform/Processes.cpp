#include "Processes.h"

#include "Platform.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
// windows.h first: the others need its types.
#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>
#else
#include <cerrno>
#include <csignal>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

#ifdef Q_OS_WIN

// Closes a process handle when it goes out of scope.
class ProcessHandle
{
public:
    ProcessHandle(qint64 pid, DWORD access) : m_handle(::OpenProcess(access, FALSE, static_cast<DWORD>(pid)))
    {}
    ~ProcessHandle()
    {
        if (m_handle)
            ::CloseHandle(m_handle);
    }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

quint64 creationTime(HANDLE process)
{
    FILETIME created{};
    FILETIME unused[3]{};
    if (!::GetProcessTimes(process, &created, &unused[0], &unused[1], &unused[2]))
        return 0;
    return (static_cast<quint64>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The program and creation time of `pid`, as far as this process may query them.
ProcessEntry describe(qint64 pid, qint64 parentPid)
{
    ProcessEntry entry{pid, parentPid, 0, QString()};
    const ProcessHandle process(pid, PROCESS_QUERY_LIMITED_INFORMATION);
    wchar_t path[MAX_PATH * 4];
    DWORD size = MAX_PATH * 4;
    if (!process.get())
        return entry;
    entry.started = creationTime(process.get());
    if (::QueryFullProcessImageNameW(process.get(), 0, path, &size))
        entry.program = QDir::fromNativeSeparators(QString::fromWCharArray(path, static_cast<int>(size)));
    return entry;
}

// An open handle: the process cannot end unseen nor its id go to another.
class HeldWindowsProcess : public HeldProcess
{
public:
    HeldWindowsProcess(HANDLE handle, qint64 pid, bool mayEnd)
        : m_handle(handle), m_pid(pid), m_mayEnd(mayEnd)
    {}
    ~HeldWindowsProcess() override { ::CloseHandle(m_handle); }
    HeldWindowsProcess(const HeldWindowsProcess&) = delete;
    HeldWindowsProcess& operator=(const HeldWindowsProcess&) = delete;

    bool runs() const override { return ::WaitForSingleObject(m_handle, 0) == WAIT_TIMEOUT; }
    bool mayEnd() const override { return m_mayEnd; }
    void askToEnd() override
    {
        if (!runs())
            return;
        ::EnumWindows(
            [](HWND window, LPARAM process) -> BOOL {
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                if (owner == static_cast<DWORD>(process))
                    ::PostMessageW(window, WM_CLOSE, 0, 0);
                return TRUE;
            },
            static_cast<LPARAM>(m_pid));
    }
    void forceToEnd() override
    {
        if (m_mayEnd && runs())
            ::TerminateProcess(m_handle, 1);
    }

private:
    HANDLE m_handle;
    qint64 m_pid;
    bool m_mayEnd;
};

// Another process's UNICODE_STRING at `address` in its memory.
std::optional<QString> readRemoteString(HANDLE process, const char* address)
{
    UNICODE_STRING string{};
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process, address, &string, sizeof string, &read) || read != sizeof string)
        return std::nullopt;
    std::wstring text(string.Length / sizeof(wchar_t), L'\0');
    if (!text.empty() && (!::ReadProcessMemory(process, string.Buffer, text.data(), string.Length, &read) ||
                          read != string.Length))
        return std::nullopt;
    return QString::fromStdWString(text);
}

#else

// The fields of /proc/<pid>/stat after the command name, which may hold
// blanks and parentheses: [0] state, [1] parent, ... [19] start time.
QList<QByteArray> statFields(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const int nameEnd = line.lastIndexOf(')');
    return nameEnd < 0 ? QList<QByteArray>() : line.mid(nameEnd + 1).simplified().split(' ');
}

bool hasEnded(const QList<QByteArray>& fields)
{
    return fields.size() < 20 || fields[0] == "Z" || fields[0] == "X";
}

QString linkTarget(qint64 pid, const char* link)
{
    QString target = QFile::symLinkTarget(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(link)));
    // The program file was deleted while it ran: its old path is what counts.
    const QString deleted = QStringLiteral(" (deleted)");
    if (target.endsWith(deleted))
        target.chop(deleted.size());
    return target;
}

quint64 startTime(const QList<QByteArray>& fields)
{
    return hasEnded(fields) ? 0 : fields[19].toULongLong();
}

// A pid and its start time, compared again before each signal; signals go
// through a pidfd where the kernel has them, which no later process can take.
class HeldLinuxProcess : public HeldProcess
{
public:
    HeldLinuxProcess(qint64 pid, quint64 started) : m_pid(pid), m_started(started)
    {
#ifdef SYS_pidfd_open
        m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#endif
    }
    ~HeldLinuxProcess() override
    {
        if (m_pidfd >= 0)
            ::close(m_pidfd);
    }
    HeldLinuxProcess(const HeldLinuxProcess&) = delete;
    HeldLinuxProcess& operator=(const HeldLinuxProcess&) = delete;

    bool runs() const override
    {
        return m_started != 0 && startTime(statFields(m_pid)) == m_started;
    }
    bool mayEnd() const override
    {
        return signal(0) || errno != EPERM;
    }
    void askToEnd() override
    {
        if (runs())
            signal(SIGTERM);
    }
    void forceToEnd() override
    {
        if (runs())
            signal(SIGKILL);
    }

private:
    bool signal(int number) const
    {
#ifdef SYS_pidfd_send_signal
        if (m_pidfd >= 0)
            return ::syscall(SYS_pidfd_send_signal, m_pidfd, number, nullptr, 0) == 0;
#endif
        return ::kill(static_cast<pid_t>(m_pid), number) == 0;
    }

    qint64 m_pid;
    quint64 m_started;
    int m_pidfd = -1;
};

#endif

} // namespace

QList<ProcessEntry> runningProcesses()
{
    QList<ProcessEntry> processes;
#ifdef Q_OS_WIN
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID != ::GetCurrentProcessId() && entry.th32ProcessID != 0)
            processes.append(describe(entry.th32ProcessID, entry.th32ParentProcessID));
    }
    ::CloseHandle(snapshot);
#else
    const QStringList ids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& id : ids) {
        bool number = false;
        const qint64 pid = id.toLongLong(&number);
        if (!number || pid == ::getpid())
            continue;
        const QList<QByteArray> fields = statFields(pid);
        if (!hasEnded(fields))
            processes.append({pid, fields[1].toLongLong(), startTime(fields), linkTarget(pid, "exe")});
    }
#endif
    return processes;
}

std::optional<ProcessCommand> processCommand(qint64 pid)
{
    ProcessCommand command;
#ifdef Q_OS_WIN
    // The command line and current folder stand in the process's parameter
    // block; no documented call reads them for another process on every
    // Windows version (nor under Wine). The offsets are those of x64.
    static_assert(sizeof(void*) == 8, "offsets of the x64 process parameter block");
    constexpr int kParametersInPeb = 0x20;
    constexpr int kCurrentFolder = 0x38;
    constexpr int kCommandLine = 0x70;
    using QueryProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    const ProcessHandle process(pid, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    PROCESS_BASIC_INFORMATION basic{};
    const char* parameters = nullptr;
    SIZE_T read = 0;
    if (!query || !process.get() ||
        query(process.get(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !::ReadProcessMemory(process.get(),
                             reinterpret_cast<const char*>(basic.PebBaseAddress) + kParametersInPeb,
                             &parameters, sizeof parameters, &read))
        return std::nullopt;
    const std::optional<QString> line = readRemoteString(process.get(), parameters + kCommandLine);
    const std::optional<QString> folder = readRemoteString(process.get(), parameters + kCurrentFolder);
    if (!line || !folder)
        return std::nullopt;
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(reinterpret_cast<const wchar_t*>(line->utf16()), &count);
    for (int i = 1; arguments && i < count; ++i)
        command.arguments.append(QString::fromWCharArray(arguments[i]));
    ::LocalFree(arguments);
    command.workingFolder = QDir::fromNativeSeparators(*folder);
#else
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QList<QByteArray> arguments = file.readAll().split('\0');
    arguments.removeLast(); // each argument ends in a zero byte
    for (int i = 1; i < arguments.size(); ++i)
        command.arguments.append(QFile::decodeName(arguments[i]));
    command.workingFolder = linkTarget(pid, "cwd");
    if (command.workingFolder.isEmpty())
        return std::nullopt;
#endif
    return command;
}

std::unique_ptr<HeldProcess> holdProcess(const ProcessEntry& process)
{
#ifdef Q_OS_WIN
    const auto pid = static_cast<DWORD>(process.pid);
    bool mayEnd = true;
    HANDLE handle =
        ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!handle && ::GetLastError() == ERROR_ACCESS_DENIED) {
        mayEnd = false; // still held, to be named in the refusal
        handle = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    }
    if (!handle)
        return nullptr;
    auto held = std::make_unique<HeldWindowsProcess>(handle, process.pid, mayEnd);
    // Opened after the snapshot: the id may already mean a later process.
    if (process.started == 0 || creationTime(handle) != process.started)
        return nullptr;
#else
    auto held = std::make_unique<HeldLinuxProcess>(process.pid, process.started);
#endif
    if (!held->runs())
        return nullptr;
    return held;
}

ProcessIdentity currentProcessIdentity()
{
#ifdef Q_OS_WIN
    return {static_cast<qint64>(::GetCurrentProcessId()), creationTime(::GetCurrentProcess())};
#else
    return {::getpid(), startTime(statFields(::getpid()))};
#endif
}

bool processRuns(const ProcessIdentity& identity)
{
#ifdef Q_OS_WIN
    const ProcessHandle process(identity.pid, PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE);
    return process.get() && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT &&
           creationTime(process.get()) == identity.started;
#else
    return identity.started != 0 && startTime(statFields(identity.pid)) == identity.started;
#endif
}

bool isInsideFolder(const QString& path, const QString& folder)
{
    const QString inside = QDir::cleanPath(QDir::fromNativeSeparators(folder)) + QLatin1Char('/');
    return QDir::cleanPath(QDir::fromNativeSeparators(path)).startsWith(inside, fileNameCase());
}

} // namespace platform
