#include "Platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
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

void systemExit(int status)
{
    std::exit(status);
}

PauseFunction g_pause = systemPause;
ExitFunction g_exit = systemExit;

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
    g_exit(status);
    // A replacement that returns must not let the caller go on.
    std::exit(status);
}

ExitFunction setExitFunction(ExitFunction function)
{
    ExitFunction previous = g_exit;
    g_exit = function ? function : systemExit;
    return previous;
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

FileHandle openFile(const QByteArray& layoutPath, const char* mode)
{
#ifdef Q_OS_WIN
    const std::wstring widePath = QString::fromUtf8(layoutPath).toStdWString();
    const std::wstring wideMode = QString::fromLatin1(mode).toStdWString();
    return FileHandle(::_wfopen(widePath.c_str(), wideMode.c_str()));
#else
    FileHandle file(std::fopen(nativePath(layoutPath).constData(), mode));
    struct stat info
    {
    };
    if (file && ::fstat(::fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    return file;
#endif
}

std::optional<QByteArray> readFileStart(const QByteArray& layoutPath, int maxBytes, char stop)
{
    QByteArray bytes;
#ifdef Q_OS_WIN
    // Text mode, as the C runtime reads these files everywhere else.
    const FileHandle file = openFile(layoutPath, "r");
    if (!file)
        return std::nullopt;
    while (bytes.size() < maxBytes) {
        const int byte = std::fgetc(file.get());
        if (byte == EOF)
            break;
        bytes.append(static_cast<char>(byte));
        if (byte == static_cast<unsigned char>(stop))
            break;
    }
#else
    const int fd = ::open(nativePath(layoutPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = error;
        return std::nullopt;
    }
    // A regular file's size says when it has all been read, which saves the
    // read that would only report its end. Anything else is read until its
    // end or the stop byte.
    const bool sized = S_ISREG(info.st_mode) && info.st_size > 0;
    const qint64 wanted = sized ? qMin<qint64>(info.st_size, maxBytes) : maxBytes;
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
        if (std::memchr(bytes.constData() + before, stop, static_cast<size_t>(got)))
            break;
    }
    ::close(fd);
    bytes.truncate(have);
    const int stopAt = bytes.indexOf(stop);
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

QString processPath(const QByteArray& layoutPath)
{
    return QString::fromUtf8(nativePath(layoutPath));
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

bool startDetached(QProcess& process)
{
#ifdef Q_OS_WIN
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* arguments) {
        arguments->flags &= ~static_cast<DWORD>(CREATE_NEW_CONSOLE);
        arguments->flags |= CREATE_NO_WINDOW;
    });
#endif
    return process.startDetached();
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
