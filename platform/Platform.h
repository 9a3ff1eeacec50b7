#pragma once

// The one place that knows which operating system ORVA runs on: pauses,
// opening the on-disk layout's paths, handing paths to child processes and
// ending the process. Everything else is written once for all platforms.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <cstdio>
#include <memory>
#include <optional>

namespace platform {

// Blocking pause of the calling thread (Sleep on Windows). Tests replace the
// function so that they do not sleep; passing nullptr restores the real one.
using PauseFunction = void (*)(int milliseconds);
void pause(int milliseconds);
PauseFunction setPauseFunction(PauseFunction function);

// Ends the process at once with the given status, as the C runtime's exit
// does. Tests replace the function with one that throws, so that an exit path
// can be observed in-process; passing nullptr restores the real one.
using ExitFunction = void (*)(int status);
[[noreturn]] void exitProcess(int status);
ExitFunction setExitFunction(ExitFunction function);

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// The on-disk layout writes paths as byte strings with backslash separators
// (".\\Extensions\\00000002\\ExtensionName.etn"); this gives the same path with
// the platform's separator. The bytes are otherwise kept as they are.
QByteArray nativePath(const QByteArray& layoutPath);

// Opens a layout path with a C runtime mode string ("r", "rb", ...). Names are
// UTF-8 on every platform. A folder is refused as it is on Windows.
FileHandle openFile(const QByteArray& layoutPath, const char* mode);

// The first bytes of a file: at most `maxBytes`, and no further than the
// first `stop` byte (which is included). Reads only what it returns, in as
// few calls as the file allows: the manager reads thousands of name files.
// nullopt when the file cannot be opened or is a folder.
std::optional<QByteArray> readFileStart(const QByteArray& layoutPath, int maxBytes, char stop);

// Creates an empty file unless something already stands at the path; what
// stands there is never touched. False unless a file stands there afterwards.
bool createFileIfMissing(const QByteArray& layoutPath);

// The path as QProcess and QFile want it: UTF-8 decoded, platform separators.
QString processPath(const QByteArray& layoutPath);

// Argument `index` of the command line as the program received it, decoded
// from UTF-8 (on Windows taken from the wide command line).
QString commandLineArgument(char* const* argv, int index);

// Starts the process's program detached, so that it outlives the caller. On
// Windows a console program gets no console window of its own (a GUI parent
// would otherwise open one for every start).
bool startDetached(QProcess& process);

// Lets everyone run the file as a program where the file system records that
// (owner, group and others may execute what they may read). Nothing to do on
// Windows, where the name's ".exe" decides. False when it could not be set.
bool makeExecutable(const QString& path);

// Swaps two existing folders (or files) in one step, so that no moment
// exists at which either path is missing. False where the system cannot
// (Windows has no such call) or it failed; then nothing has changed.
bool exchangePaths(const QString& first, const QString& second);

// Makes the C library's multibyte conversions UTF-8, as file names are
// everywhere in ORVA: libraries that convert names through the locale (such
// as libarchive) would otherwise fail on any non-ASCII name under the "C"
// locale. Windows gets UTF-8 from the programs' manifest instead.
void useUtf8Conversions();

} // namespace platform
