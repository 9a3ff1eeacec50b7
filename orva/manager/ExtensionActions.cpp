#include "ExtensionActions.h"

#include "InstallerProcess.h"
#include "gui/MessageBox.h"
#include "installer/RunningExtension.h"
#include "orva/extensions/ExtensionLayout.h"
#include "platform/Platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace manager {

bool removeExtension(const QByteArray& id, const QString& name)
{
    QString question =
        QStringLiteral("要删除扩展\"%1\"（{id:%2}）吗？\n它将从所有启动列表中移除，其文件夹也会被删除。")
            .arg(name.trimmed(), QString::fromUtf8(id));
    const QString running =
        installer::RunningExtension::find(platform::processPath(extensions::extensionFolderPath(id)))
            .summary();
    if (!running.isEmpty())
        question += QStringLiteral("\n正在运行：%1，删除前会先结束它们。").arg(running);
    if (!gui::MessageBox::askContinueOrClose(question, QStringLiteral("删除扩展-ORVA"),
                                             QMessageBox::Question))
        return false;

    switch (runInstaller({QStringLiteral("--remove"), QString::fromUtf8(id)})) {
    case InstallerRun::Finished:
        return true;
    case InstallerRun::NotStarted:
        reportInstallerNotStarted();
        return false;
    case InstallerRun::WaitAborted:
        break;
    }
    return false;
}

void openExtensionFolder(const QByteArray& id)
{
    const QString folder = platform::processPath(extensions::extensionFolderPath(id));
    const QFileInfo info(folder);
    if (!info.isDir()) {
        gui::MessageBox::error(
            QStringLiteral("扩展文件夹\"%1\"不存在。").arg(QDir::toNativeSeparators(folder)));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath())))
        gui::MessageBox::error(QStringLiteral("无法打开扩展文件夹\"%1\"。")
                                   .arg(QDir::toNativeSeparators(info.absoluteFilePath())));
}

} // namespace manager
