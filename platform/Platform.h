#pragma once

// The one place that knows which operating system ORVA runs on: pauses,
// reading the on-disk layout's paths, handing paths to child processes,
// window-manager facts and ending the process. Everything else is written
// once for all platforms.

#include <QByteArray>
#include <QIODevice>
#include <QProcess>
#include <QString>
#include <optional>

namespace platform {

// Blocking pause of the calling thread (Sleep on Windows). Tests replace the
// function so that they do not sleep; passing nullptr restores the real one.
using PauseFunction = void (*)(int milliseconds);
void pause(int milliseconds);
PauseFunction setPauseFunction(PauseFunction function);

// Ends the process at once with the given status, through the C runtime's
// exit: no destructor of the caller's objects runs.
[[noreturn]] void exitProcess(int status);

// The on-disk layout writes paths as byte strings with backslash separators
// (".\\Extensions\\00000002\\ExtensionName.etn"); this gives the same path with
// the platform's separator. The bytes are otherwise kept as they are.
QByteArray nativePath(const QByteArray& layoutPath);

// The path as QProcess and QFile want it: UTF-8 decoded, platform separators.
QString processPath(const QByteArray& layoutPath);

// The first bytes of a regular file at a layout path: at most `maxBytes`,
// and no further than the first `stop` byte (included) when one is given.
// Reads only what it returns, in as few calls as the file allows: the
// manager reads thousands of name files. nullopt when the file cannot be
// opened or is no regular file (a folder, or a FIFO that would block).
std::optional<QByteArray> readFileStart(const QByteArray& layoutPath, int maxBytes,
                                        std::optional<char> stop = std::nullopt);

// Creates an empty file unless something already stands at the path; what
// stands there is never touched. False unless a file stands there afterwards.
bool createFileIfMissing(const QByteArray& layoutPath);

// Replaces a file's content through a temporary file and a rename, so that a
// reader sees the old or the new content, never a part. False with the
// system's reason (such as a full disk) in `error`.
bool saveWholeFile(const QString& path, const QByteArray& bytes, QString& error);

// Copies what is left to read of `source` into a new file at `target`,
// never replacing one. On failure the system's reason is in `error` and the
// caller removes what was written.
enum class CopyResult { Copied, ReadFailed, WriteFailed };
CopyResult copyFile(QIODevice& source, const QString& target, QString& error);

// How the file system compares names: ignoring case on Windows.
Qt::CaseSensitivity fileNameCase();

// True when both paths name one existing file, links followed (the same
// device and file number; on Windows the same volume and file index).
bool isSameFile(const QString& first, const QString& second);

struct DiskSpace
{
    qint64 available = 0; // bytes this process may still write
    qint64 total = 0;     // the file system's size
};
// The file system that holds `path`; nullopt when the system does not say.
std::optional<DiskSpace> diskSpace(const QString& path);

// Creates a new file that only its owner may read or write (mode 0600; on
// Windows a protected ACL granting the owner alone), for a private key.
// Never replaces what stands at the path. False with the reason in `error`;
// a file that could not be written completely is removed again.
bool createPrivateFile(const QString& path, const QByteArray& bytes, QString& error);

// Argument `index` of the command line as the program received it, decoded
// from UTF-8 (on Windows taken from the wide command line).
QString commandLineArgument(char* const* argv, int index);

// Starts the process's program detached, so that it outlives the caller. On
// Windows a console program gets no console window of its own (a GUI parent
// would otherwise open one for every start). With `outputFile`, its standard
// output and error are appended to that file, which stays renameable while
// the program holds it (on Windows opened with FILE_SHARE_DELETE).
bool startDetached(QProcess& process, const QString& outputFile = QString());

// Renames `from` to `to`, replacing a file there, in one step. False when the
// system refused (on Windows: a program holds either file without allowing it).
bool moveFileOver(const QString& from, const QString& to);

// How a crashed process ended, from QProcess::exitCode() after a CrashExit:
// "信号11" (the signal) on Linux, "异常代码0xC0000005" on Windows.
QString crashDescription(int exitCode);

// Lets everyone run the file as a program where the file system records that
// (owner, group and others may execute what they may read). Nothing to do on
// Windows, where the name's ".exe" decides. False when it could not be set.
bool makeExecutable(const QString& path);

// Swaps two existing folders (or files) in one step, so that no moment
// exists at which either path is missing. False where the system cannot
// (Windows has no such call) or it failed; then nothing has changed.
bool exchangePaths(const QString& first, const QString& second);

// Whether a window whose close-button hint is removed can still be asked to
// close by the user: X11 window managers keep a close control and Alt+F4;
// on Windows the hint removes both, and a close request comes only from
// another program.
bool closeControlOutlivesHint();

// Makes the C library's multibyte conversions UTF-8, as file names are
// everywhere in ORVA: libraries that convert names through the locale (such
// as libarchive) would otherwise fail on any non-ASCII name under the "C"
// locale. Windows gets UTF-8 from the programs' manifest instead.
void useUtf8Conversions();

} // namespace platform
