#pragma once

// The on-disk layout, in the working directory: Start/ with the five start
// lists, Extensions/ with the launcher and one folder per extension. This is
// the one place that spells its folder and file names.
//
// Layout paths are byte strings in the layout's own style, with backslash
// separators (".\Extensions\00000002\ExtensionName.etn"); platform::nativePath
// turns them into the platform's. They are built by plain concatenation:
// nothing is trimmed or checked, so a name that ends in a line break gives a
// path that names no file.

#include "StartListRole.h"

#include <QByteArray>

namespace extensions {

inline constexpr char kStartFolderName[] = "Start";
inline constexpr char kExtensionsFolderName[] = "Extensions";
// ORVA's mark in the working directory while it runs there: a lock file that
// the system lets go when ORVA ends, however it ends (RunningOrva).
inline constexpr char kRunningMarkFileName[] = ".orva-running";
inline constexpr char kNameFileName[] = "ExtensionName.etn";
// The installer's record of the pack an extension came from.
inline constexpr char kManifestFileName[] = "PackManifest.json";
// The author key a signed pack was installed with: its updates must be
// signed by the same key.
inline constexpr char kAuthorKeyFileName[] = "PackAuthorKey.txt";
inline constexpr char kProgramSuffix[] = ".exe";
inline constexpr char kControlSuffix[] = ".control";
inline constexpr char kStartListSuffix[] = ".etl";
inline constexpr char kChainlaunchFileName[] = "chainlaunch.exe";
// The installer is itself an extension, with this id, that nothing may replace.
inline constexpr char kInstallerId[] = "00000001";
inline constexpr char kInstallerFileName[] = "packsetup.exe";
// What packsetup leaves in Extensions/ for a running ORVA when it replaces or
// removes an extension (ExtensionChangeNotice).
inline constexpr char kChangeNoticeFileName[] = ".packsetup-changing";
// The program a launcher's parent is when ORVA started it (".exe" on Windows).
inline constexpr char kOrvaProgramBaseName[] = "ORVA";
// Logs/<listener id>.log: what each listener pair said and how its runs
// ended (PairLog); the full one moves to <listener id>.1.log. Never inside
// Extensions/, so that no log holds a file open in an extension's folder.
inline constexpr char kLogsFolderName[] = "Logs";
inline constexpr char kLogSuffix[] = ".log";
inline constexpr char kFullLogSuffix[] = ".1.log";
inline constexpr int kIdentifierDigits = 8;

// Exactly kIdentifierDigits ASCII digits.
bool isExtensionId(const QByteArray& id);

// "Listener.etl", ...: the start list's file name inside Start/.
QByteArray startListFileName(Role role);

// .\Start\<role>.etl; the extension manager names the same files with
// forward slashes ("./Start/Listener.etl") and passes '/'.
QByteArray startListPath(Role role, char separator = '\\');
// .\Start
QByteArray startFolderPath();
// .\.orva-running
QByteArray runningMarkPath();
// .\Extensions\<id>
QByteArray extensionFolderPath(const QByteArray& id);
// .\Extensions\<id>\ExtensionName.etn
QByteArray nameFilePath(const QByteArray& id);
// .\Extensions\<id>\<name>.exe
QByteArray programFilePath(const QByteArray& id, const QByteArray& name);
// .\Extensions\<id>\<name>.control
QByteArray controlFilePath(const QByteArray& id, const QByteArray& name);
// .\Extensions\chainlaunch.exe
QByteArray chainlaunchPath();
// .\Extensions\00000001\packsetup.exe
QByteArray installerPath();
// .\Extensions\.packsetup-changing
QByteArray changeNoticePath();
// .\Logs
QByteArray logsFolderPath();
// .\Logs\<listener id>.log
QByteArray logFilePath(const QByteArray& listenerId);
// .\Logs\<listener id>.1.log
QByteArray fullLogFilePath(const QByteArray& listenerId);

} // namespace extensions
