#include "AppFolder.h"

#include "orva/extensions/ExtensionLayout.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace packsetup {

QString appFolderFor(const QString& workingFolder, const QString& programPath)
{
    const QString installedHere =
        QDir::cleanPath(QDir(workingFolder).filePath(platform::processPath(extensions::installerPath())));
    if (platform::isSameFile(installedHere, programPath))
        return workingFolder;
    QDir folder = QFileInfo(programPath).absoluteDir();
    // Named as the file system compares names: "extensions" is the same folder on Windows.
    const auto named = [&](const char* name) {
        return folder.dirName().compare(QLatin1String(name), platform::fileNameCase()) == 0;
    };
    if (named(extensions::kInstallerId) && folder.cdUp() && named(extensions::kExtensionsFolderName) &&
        folder.cdUp())
        return folder.absolutePath();
    return workingFolder;
}

void enterAppFolder(Request& request)
{
    const QString working = QDir::currentPath();
    const QString folder = appFolderFor(working, QCoreApplication::applicationFilePath());
    if (folder == working)
        return;
    if (request.mode == Request::Mode::Install)
        request.packPath = QDir(working).absoluteFilePath(request.packPath);
    if (!QDir::setCurrent(folder)) {
        request.mode = Request::Mode::Invalid;
        request.error = QStringLiteral("无法进入ORVA的文件夹\"%1\"。").arg(QDir::toNativeSeparators(folder));
    }
}

} // namespace packsetup
