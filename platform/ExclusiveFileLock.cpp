#include "ExclusiveFileLock.h"

#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

#ifdef Q_OS_WIN

ExclusiveFileLock::ExclusiveFileLock(const QString& path) : m_path(path)
{
    // Opened without sharing: a second opener fails until this handle is
    // closed, which the system does at the process's end, deleting the file.
    const HANDLE handle =
        ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        m_handle = handle;
    else
        m_heldElsewhere = ::GetLastError() == ERROR_SHARING_VIOLATION;
}

ExclusiveFileLock::~ExclusiveFileLock()
{
    if (m_handle)
        ::CloseHandle(static_cast<HANDLE>(m_handle));
}

bool ExclusiveFileLock::isLocked() const
{
    return m_handle != nullptr;
}

#else

ExclusiveFileLock::ExclusiveFileLock(const QString& path) : m_path(path)
{
    const QByteArray name = QFile::encodeName(path);
    // The holder removes the file as it lets go: a lock taken on a file that
    // was removed meanwhile does not count, and the next file is tried.
    for (int attempt = 0; attempt < 3 && m_fd < 0; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return;
        struct stat held
        {
        };
        struct stat named
        {
        };
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        m_heldElsewhere = !locked && errno == EWOULDBLOCK;
        if (locked && ::fstat(fd, &held) == 0 && ::stat(name.constData(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            m_fd = fd;
            return;
        }
        ::close(fd);
        if (!locked)
            return;
    }
}

ExclusiveFileLock::~ExclusiveFileLock()
{
    if (m_fd < 0)
        return;
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
}

bool ExclusiveFileLock::isLocked() const
{
    return m_fd >= 0;
}

#endif

bool ExclusiveFileLock::isHeldElsewhere() const
{
    return m_heldElsewhere;
}

} // namespace platform
