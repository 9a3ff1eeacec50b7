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
#include <langinfo.h>
#include <sys/stat.h>
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
