#pragma once

// Paths of the on-disk layout, as byte strings with backslash separators.
// They are built by plain concatenation: nothing is trimmed or checked, so a
// name that ends in a line break gives a path that names no file.

#include <QByteArray>
#include <array>

namespace extensions {

inline constexpr char kChainlaunchPath[] = ".\\Extensions\\chainlaunch.exe";
inline constexpr char kInstallerPath[] = ".\\Extensions\\00000001\\packsetup.exe";
inline constexpr char kStartFolder[] = ".\\Start";
inline constexpr char kListenerListPath[] = ".\\Start\\Listener.etl";

// The five start lists in the order in which they are created.
inline constexpr std::array<const char*, 5> kStartListPaths = {
    ".\\Start\\Listener.etl", ".\\Start\\Controller.etl", ".\\Start\\Runner.etl", ".\\Start\\Structure.etl",
    ".\\Start\\MainControllerExtension.etl"};

// .\Extensions\<id>\ExtensionName.etn
QByteArray nameFilePath(const QByteArray& id);
// .\Extensions\<id>\<name>.exe
QByteArray programFilePath(const QByteArray& id, const QByteArray& name);
// .\Extensions\<id>\<name>.control
QByteArray controlFilePath(const QByteArray& id, const QByteArray& name);

} // namespace extensions
