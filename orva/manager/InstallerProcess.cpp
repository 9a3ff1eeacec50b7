#include "InstallerProcess.h"

#include "gui/MessageBox.h"
#include "orva/extensions/ExtensionLayout.h"
#include "platform/Platform.h"

#include <QDebug>
#include <QProcess>

namespace manager {

InstallerRun runInstaller(const QStringList& arguments)
{
    QProcess installer;
    installer.setProgram(platform::processPath(extensions::installerPath()));
    installer.setArguments(arguments);
    // Nothing is written to the installer and its output is not read.
    installer.setStandardInputFile(QProcess::nullDevice());
    installer.setProcessChannelMode(QProcess::ForwardedChannels);

    installer.start(QIODevice::ReadWrite);
    if (!installer.waitForStarted())
        return InstallerRun::NotStarted;
    qDebug() << "安装程序启动成功"; // read by the end-to-end tests, as are the path and the end lines
    if (!installer.waitForFinished(-1))
        return InstallerRun::WaitAborted;
    qDebug() << "安装程序已运行结束";
    return InstallerRun::Finished;
}

void reportInstallerNotStarted()
{
    gui::MessageBox::error(QStringLiteral("安装程序启动失败！"));
}

} // namespace manager
