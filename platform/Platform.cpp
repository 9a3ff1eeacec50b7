#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <cerrno>
#include <cstdlib>
#include <limits>

#ifdef Q_OS_WIN
#include <cstdio>
#include <windows.h>
// windows.h first: sddl.h needs its types.
#include <sddl.h>
#else
#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

void systemPause(int milliseconds)
{
    if (milliseconds <= 0)
        return;
#ifdef Q_OS_WIN
    ::Sleep(static_cast<DWORD>(milliseconds));
#else
    timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    // Resume after signals so that the pause always lasts its full length.
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
#endif
}

PauseFunction g_pause = systemPause;

} // namespace

void pause(int milliseconds)
{
    g_pause(milliseconds);
}

PauseFunction setPauseFunction(PauseFunction function)
{
    PauseFunction previous = g_pause;
    g_pause = function ? function : systemPause;
    return previous;
}

void exitProcess(int status)
{
    std::exit(status);
}

QByteArray nativePath(const QByteArray& layoutPath)
{
#ifdef Q_OS_WIN
    return layoutPath;
#else
    QByteArray path = layoutPath;
    path.replace('\\', '/');
    return path;
#endif
}

QString processPath(const QByteArray& layoutPath)
{
    return QString::fromUtf8(nativePath(layoutPath));
}

std::optional<QByteArray> readFileStart(const QByteArray& layoutPath, int maxBytes, std::optional<char> stop)
{
    QByteArray bytes;
#ifdef Q_OS_WIN
    // Text mode, as the C runtime reads these files everywhere else.
    const std::wstring widePath = QString::fromUtf8(layoutPath).toStdWString();
    std::FILE* file = ::_wfopen(widePath.c_str(), L"r");
    if (!file)
        return std::nullopt;
    while (bytes.size() < maxBytes) {
        const int byte = std::fgetc(file);
        if (byte == EOF)
            break;
        bytes.append(static_cast<char>(byte));
        if (stop && byte == static_cast<unsigned char>(*stop))
            break;
    }
    std::fclose(file);
#else
    // Non-blocking, so that a FIFO in a file's place cannot hold the open.
    const int fd = ::open(nativePath(layoutPath).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = error;
        return std::nullopt;
    }
    // The size says when the file has all been read, which saves the read
    // that would only report its end.
    const qint64 wanted = qMin<qint64>(info.st_size, maxBytes);
    bytes.resize(static_cast<int>(wanted));
    int have = 0;
    while (have < wanted) {
        const ssize_t got = ::read(fd, bytes.data() + have, static_cast<size_t>(wanted - have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        const int before = have;
        have += static_cast<int>(got);
        if (stop && std::memchr(bytes.constData() + before, *stop, static_cast<size_t>(got)))
            break;
    }
    ::close(fd);
    bytes.truncate(have);
    const int stopAt = stop ? bytes.indexOf(*stop) : -1;
    if (stopAt >= 0)
        bytes.truncate(stopAt + 1);
#endif
    return bytes;
}

bool createFileIfMissing(const QByteArray& layoutPath)
{
    QFile file(processPath(layoutPath));
    if (file.exists())
        return QFileInfo(file).isFile();
    // NewOnly refuses to open anything that appeared meanwhile.
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}

bool saveWholeFile(const QString& path, const QByteArray& bytes, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    // A write cut short by a full disk or a size limit sets no error of
    // Qt's own, and a failed commit() says "Unknown error": the reason is
    // the failed system call's.
    errno = 0;
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    const int writeErrno = errno;
    if (written && file.commit())
        return true;
    error = !written && writeErrno != 0 ? qt_error_string(writeErrno) : file.errorString();
    return false;
}

CopyResult copyFile(QIODevice& source, const QString& target, QString& error)
{
    QFile file(target);
    // Unbuffered: a failed write sets errno, which names the reason (a full
    // disk, a size limit) that Qt's own message leaves out.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        error = file.errorString();
        return CopyResult::WriteFailed;
    }
    constexpr int chunkBytes = 256 * 1024;
    QByteArray chunk(chunkBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 read = source.read(chunk.data(), chunk.size());
        if (read < 0) {
            error = source.errorString();
            return CopyResult::ReadFailed;
        }
        if (read == 0)
            return CopyResult::Copied;
        errno = 0;
        if (file.write(chunk.constData(), read) != read) {
            error = errno != 0 ? qt_error_string(errno) : file.errorString();
            return CopyResult::WriteFailed;
        }
    }
}

#ifdef Q_OS_WIN
namespace {

std::optional<BY_HANDLE_FILE_INFORMATION> fileIdentity(const QString& path)
{
    // No access rights needed to read the identity; folders need the backup flag.
    const HANDLE file =
        ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), 0,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = ::GetFileInformationByHandle(file, &information) != 0;
    ::CloseHandle(file);
    return known ? std::optional(information) : std::nullopt;
}

} // namespace
#endif

Qt::CaseSensitivity fileNameCase()
{
#ifdef Q_OS_WIN
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

bool isSameFile(const QString& first, const QString& second)
{
#ifdef Q_OS_WIN
    const auto one = fileIdentity(first);
    const auto other = fileIdentity(second);
    return one && other && one->dwVolumeSerialNumber == other->dwVolumeSerialNumber &&
           one->nFileIndexHigh == other->nFileIndexHigh && one->nFileIndexLow == other->nFileIndexLow;
#else
    struct stat one
    {
    };
    struct stat other
    {
    };
    return ::stat(QFile::encodeName(first).constData(), &one) == 0 &&
           ::stat(QFile::encodeName(second).constData(), &other) == 0 && one.st_dev == other.st_dev &&
           one.st_ino == other.st_ino;
#endif
}

std::optional<DiskSpace> diskSpace(const QString& path)
{
    const auto bytes = [](quint64 count) {
        return static_cast<qint64>(qMin<quint64>(count, quint64(std::numeric_limits<qint64>::max())));
    };
#ifdef Q_OS_WIN
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    if (!::GetDiskFreeSpaceExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                               &available, &total, nullptr))
        return std::nullopt;
    return DiskSpace{bytes(available.QuadPart), bytes(total.QuadPart)};
#else
    struct statvfs disk
    {
    };
    if (::statvfs(QFile::encodeName(path).constData(), &disk) != 0)
        return std::nullopt;
    return DiskSpace{bytes(quint64(disk.f_bavail) * disk.f_frsize),
                     bytes(quint64(disk.f_blocks) * disk.f_frsize)};
#endif
}

bool createPrivateFile(const QString& path, const QByteArray& bytes, QString& error)
{
#ifdef Q_OS_WIN
    // Owner rights only, not inherited from the folder.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;OW)", SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        error = qt_error_string(static_cast<int>(::GetLastError()));
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_WRITE, 0,
                                      &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ::LocalFree(descriptor);
    if (file == INVALID_HANDLE_VALUE) {
        error = qt_error_string(static_cast<int>(::GetLastError()));
        return false;
    }
    DWORD written = 0;
    const bool ok =
        ::WriteFile(file, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == static_cast<DWORD>(bytes.size()) && ::FlushFileBuffers(file);
    if (!ok)
        error = qt_error_string(static_cast<int>(::GetLastError()));
    ::CloseHandle(file);
#else
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = qt_error_string(errno);
        return false;
    }
    qint64 done = 0;
    errno = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        done += written;
    }
    bool ok = done == bytes.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        error = qt_error_string(errno != 0 ? errno : ENOSPC);
#endif
    if (!ok)
        QFile::remove(path);
    return ok;
}

QString commandLineArgument(char* const* argv, int index)
{
#ifdef Q_OS_WIN
    Q_UNUSED(argv);
    return QCoreApplication::arguments().value(index);
#else
    return QString::fromUtf8(argv[index]);
#endif
}

bool startDetached(QProcess& process, const QString& outputFile)
{
#ifdef Q_OS_WIN
    // Qt's own redirection would not let the log be renamed while the program runs.
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!outputFile.isEmpty()) {
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        output = ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(outputFile).utf16()),
                               FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               &inherited, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    process.setCreateProcessArgumentsModifier([output](QProcess::CreateProcessArguments* arguments) {
        arguments->flags &= ~static_cast<DWORD>(CREATE_NEW_CONSOLE);
        arguments->flags |= CREATE_NO_WINDOW;
        if (output == INVALID_HANDLE_VALUE)
            return;
        if (!(arguments->startupInfo->dwFlags & STARTF_USESTDHANDLES))
            arguments->startupInfo->hStdInput = INVALID_HANDLE_VALUE;
        arguments->startupInfo->dwFlags |= STARTF_USESTDHANDLES;
        arguments->startupInfo->hStdOutput = output;
        arguments->startupInfo->hStdError = output;
        arguments->inheritHandles = TRUE;
    });
    const bool started = process.startDetached();
    if (output != INVALID_HANDLE_VALUE)
        ::CloseHandle(output);
    return started;
#else
    if (!outputFile.isEmpty()) {
        process.setStandardOutputFile(outputFile, QIODevice::Append);
        process.setStandardErrorFile(outputFile, QIODevice::Append);
    }
    return process.startDetached();
#endif
}

bool moveFileOver(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    return ::MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                         reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                         MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

QString crashDescription(int exitCode)
{
#ifdef Q_OS_WIN
    return QStringLiteral("异常代码0x") +
           QString::number(static_cast<quint32>(exitCode), 16).rightJustified(8, QLatin1Char('0')).toUpper();
#else
    return QStringLiteral("信号%1").arg(exitCode);
#endif
}

bool makeExecutable(const QString& path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true;
#else
    QFile file(path);
    QFileDevice::Permissions permissions = file.permissions();
    if (permissions & QFileDevice::ReadOwner)
        permissions |= QFileDevice::ExeOwner;
    if (permissions & QFileDevice::ReadGroup)
        permissions |= QFileDevice::ExeGroup;
    if (permissions & QFileDevice::ReadOther)
        permissions |= QFileDevice::ExeOther;
    return file.setPermissions(permissions);
#endif
}

bool exchangePaths(const QString& first, const QString& second)
{
#if defined(Q_OS_LINUX) && defined(RENAME_EXCHANGE)
    return ::renameat2(AT_FDCWD, QFile::encodeName(first).constData(), AT_FDCWD,
                       QFile::encodeName(second).constData(), RENAME_EXCHANGE) == 0;
#else
    Q_UNUSED(first);
    Q_UNUSED(second);
    return false;
#endif
}

bool closeControlOutlivesHint()
{
#ifdef Q_OS_WIN
    return false;
#else
    return true;
#endif
}

void useUtf8Conversions()
{
#ifndef Q_OS_WIN
    if (std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0)
        return;
    for (const char* locale : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "UTF-8"}) {
        if (std::setlocale(LC_CTYPE, locale) != nullptr)
            return;
    }
#endif
}

} // namespace platform
