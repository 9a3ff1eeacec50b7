#include "ExtensionLayout.h"

namespace extensions {
namespace {

QByteArray layoutPath(const char* folder, const QByteArray& rest, char separator = '\\')
{
    return QByteArrayLiteral(".") + separator + folder + separator + rest;
}

QByteArray extensionFilePath(const QByteArray& id, const QByteArray& fileName)
{
    return extensionFolderPath(id) + '\\' + fileName;
}

} // namespace

bool isExtensionId(const QByteArray& id)
{
    if (id.size() != kIdentifierDigits)
        return false;
    for (const char byte : id) {
        if (byte < '0' || byte > '9')
            return false;
    }
    return true;
}

QByteArray startListFileName(Role role)
{
    return roleName(role) + kStartListSuffix;
}

QByteArray startListPath(Role role, char separator)
{
    return layoutPath(kStartFolderName, startListFileName(role), separator);
}

QByteArray startFolderPath()
{
    return QByteArrayLiteral(".\\") + kStartFolderName;
}

QByteArray runningMarkPath()
{
    return QByteArrayLiteral(".\\") + kRunningMarkFileName;
}

QByteArray extensionFolderPath(const QByteArray& id)
{
    return layoutPath(kExtensionsFolderName, id);
}

QByteArray nameFilePath(const QByteArray& id)
{
    return extensionFilePath(id, kNameFileName);
}

QByteArray programFilePath(const QByteArray& id, const QByteArray& name)
{
    return extensionFilePath(id, name + kProgramSuffix);
}

QByteArray controlFilePath(const QByteArray& id, const QByteArray& name)
{
    return extensionFilePath(id, name + kControlSuffix);
}

QByteArray chainlaunchPath()
{
    return layoutPath(kExtensionsFolderName, kChainlaunchFileName);
}

QByteArray installerPath()
{
    return extensionFilePath(kInstallerId, kInstallerFileName);
}

QByteArray changeNoticePath()
{
    return layoutPath(kExtensionsFolderName, kChangeNoticeFileName);
}

QByteArray logsFolderPath()
{
    return QByteArrayLiteral(".\\") + kLogsFolderName;
}

QByteArray logFilePath(const QByteArray& listenerId)
{
    return layoutPath(kLogsFolderName, listenerId + kLogSuffix);
}

QByteArray fullLogFilePath(const QByteArray& listenerId)
{
    return layoutPath(kLogsFolderName, listenerId + kFullLogSuffix);
}

} // namespace extensions
