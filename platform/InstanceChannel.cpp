#include "InstanceChannel.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>

#ifdef Q_OS_WIN
#include <QWinEventNotifier>
#include <string>
#include <windows.h>
#else
#include <QSocketNotifier>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

// The running program's one byte back: it has handled the knock.
constexpr char kAnswer = 'a';

// The user and the key hashed: the name stays short and free of separators
// whatever the folder's path holds.
QByteArray channelName(const QByteArray& user, const QString& key)
{
    return QByteArrayLiteral("orva-") +
           QCryptographicHash::hash(user + '\n' + key.toUtf8(), QCryptographicHash::Sha256).toHex().left(40);
}

#ifdef Q_OS_WIN

// The later start's one byte, sent once it has let the running program take
// the foreground (on Linux the connection itself is the knock).
constexpr char kKnock = 'k';

std::wstring pipeName(const QString& key)
{
    wchar_t user[256 + 1] = {}; // UNLEN + 1
    DWORD size = sizeof user / sizeof user[0];
    if (!::GetUserNameW(user, &size))
        user[0] = L'\0';
    // Windows compares file names without case: one folder, one name.
    const QByteArray name = channelName(QString::fromWCharArray(user).toUtf8(), key.toCaseFolded());
    return L"\\\\.\\pipe\\" + QString::fromLatin1(name).toStdWString();
}

DWORD remainingMs(const QDeadlineTimer& deadline)
{
    return DWORD(qMax<qint64>(0, deadline.remainingTime()));
}

// One byte written or read on an overlapped handle, cancelled at the deadline.
bool transferByte(HANDLE pipe, HANDLE event, char* byte, bool write, const QDeadlineTimer& deadline)
{
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    const BOOL started = write ? ::WriteFile(pipe, byte, 1, nullptr, &overlapped)
                               : ::ReadFile(pipe, byte, 1, nullptr, &overlapped);
    if (!started && ::GetLastError() != ERROR_IO_PENDING)
        return false;
    if (::WaitForSingleObject(event, remainingMs(deadline)) != WAIT_OBJECT_0)
        ::CancelIo(pipe);
    DWORD transferred = 0;
    return ::GetOverlappedResult(pipe, &overlapped, &transferred, TRUE) && transferred == 1;
}

#else

// sun_path's first byte stays NUL: a name in Linux's abstract namespace,
// which is no file and goes with the socket.
sockaddr_un abstractAddress(const QString& key, socklen_t& length)
{
    const QByteArray name = channelName(QByteArray::number(::getuid()), key);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    return address;
}

#endif

} // namespace

InstanceChannel::InstanceChannel(const QString& key, QObject* parent) : QObject(parent), m_key(key) {}

#ifdef Q_OS_WIN

struct InstanceChannel::Pending
{
    OVERLAPPED overlapped{};
    char byte = 0;
};

InstanceChannel::~InstanceChannel()
{
    m_notifier.reset();
    if (m_pipe) {
        // Its I/O must be over before the OVERLAPPED it writes into goes.
        ::CancelIo(m_pipe);
        DWORD transferred = 0;
        if (m_pending)
            ::GetOverlappedResult(m_pipe, &m_pending->overlapped, &transferred, TRUE);
        ::CloseHandle(m_pipe);
    }
    if (m_event)
        ::CloseHandle(m_event);
}

bool InstanceChannel::listen()
{
    // The first instance only: a name someone else made first is not joined.
    const HANDLE pipe = ::CreateNamedPipeW(
        pipeName(m_key).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 1, 1, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    m_pipe = pipe;
    m_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_event)
        return false;
    m_pending = std::make_unique<Pending>();
    m_notifier = std::make_unique<QWinEventNotifier>(m_event);
    connect(m_notifier.get(), &QWinEventNotifier::activated, this, &InstanceChannel::handleEvent);
    waitForClient();
    return true;
}

void InstanceChannel::waitForClient()
{
    m_step = Step::WaitingForClient;
    m_pending->overlapped = OVERLAPPED{};
    m_pending->overlapped.hEvent = m_event;
    if (!::ConnectNamedPipe(m_pipe, &m_pending->overlapped)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED) // came between the pipe's creation and this call
            startRead();
        else if (error != ERROR_IO_PENDING)
            m_notifier->setEnabled(false);
    }
}

bool InstanceChannel::startRead()
{
    m_step = m_step == Step::WaitingForClient ? Step::ReadingKnock : Step::WaitingForHangUp;
    m_pending->overlapped = OVERLAPPED{};
    m_pending->overlapped.hEvent = m_event;
    return ::ReadFile(m_pipe, &m_pending->byte, 1, nullptr, &m_pending->overlapped) ||
           ::GetLastError() == ERROR_IO_PENDING;
}

void InstanceChannel::handleEvent()
{
    DWORD transferred = 0;
    const bool done = ::GetOverlappedResult(m_pipe, &m_pending->overlapped, &transferred, FALSE);
    if (!done && ::GetLastError() == ERROR_IO_INCOMPLETE)
        return;
    bool goOn = false;
    if (done && m_step == Step::WaitingForClient) {
        goOn = startRead();
    } else if (done && m_step == Step::ReadingKnock && transferred == 1 && m_pending->byte == kKnock) {
        emit knocked();
        char answer = kAnswer;
        // The answer stays in the pipe until the caller has read it and hung
        // up: disconnecting at once would throw it away.
        goOn = transferByte(m_pipe, m_event, &answer, true, QDeadlineTimer(1000)) && startRead();
    }
    if (!goOn) {
        ::DisconnectNamedPipe(m_pipe);
        waitForClient();
    }
}

bool InstanceChannel::knock(const QString& key, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const std::wstring name = pipeName(key);
    HANDLE pipe = INVALID_HANDLE_VALUE;
    while ((pipe = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr)) == INVALID_HANDLE_VALUE) {
        if (::GetLastError() != ERROR_PIPE_BUSY || remainingMs(deadline) == 0 ||
            !::WaitNamedPipeW(name.c_str(), remainingMs(deadline)))
            return false;
    }
    // The id comes from the connected pipe, which its server holds open: it
    // names that process and no later one.
    ULONG server = 0;
    if (::GetNamedPipeServerProcessId(pipe, &server))
        ::AllowSetForegroundWindow(server);
    bool answered = false;
    if (const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        char byte = kKnock;
        answered = transferByte(pipe, event, &byte, true, deadline) &&
                   transferByte(pipe, event, &byte, false, deadline) && byte == kAnswer;
        ::CloseHandle(event);
    }
    ::CloseHandle(pipe);
    return answered;
}

#else

InstanceChannel::~InstanceChannel()
{
    m_notifier.reset();
    if (m_socket >= 0)
        ::close(m_socket);
}

bool InstanceChannel::listen()
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    socklen_t length = 0;
    const sockaddr_un address = abstractAddress(m_key, length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return false;
    }
    m_socket = fd;
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &InstanceChannel::handleEvent);
    return true;
}

void InstanceChannel::handleEvent()
{
    const int caller = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (caller < 0)
        return;
    emit knocked();
    const char answer = kAnswer;
    if (::send(caller, &answer, 1, MSG_NOSIGNAL) != 1)
        qWarning("InstanceChannel: no answer sent");
    ::close(caller);
}

bool InstanceChannel::knock(const QString& key, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    socklen_t length = 0;
    const sockaddr_un address = abstractAddress(key, length);
    ucred peer{};
    socklen_t peerSize = sizeof peer;
    // Only this user's program counts: anyone may take a name in the
    // abstract namespace.
    bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                    ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) == 0 &&
                    peer.uid == ::getuid();
    if (answered) {
        pollfd readable{fd, POLLIN, 0};
        int ready = 0;
        do
            ready = ::poll(&readable, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        while (ready < 0 && errno == EINTR);
        char byte = 0;
        answered = ready == 1 && ::recv(fd, &byte, 1, 0) == 1 && byte == kAnswer;
    }
    ::close(fd);
    return answered;
}

#endif

} // namespace platform
