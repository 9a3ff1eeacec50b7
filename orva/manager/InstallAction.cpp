#include "InstallAction.h"

#include "InstallPack.h"
#include "InstallerProcess.h"
#include "MessageBoxes.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace manager {
namespace {

QString askForPack()
{
    QFileDialog dialog;
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Extension Install Pack (*.etipack)"));
    dialog.setWindowTitle(QStringLiteral("选择扩展安装包"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

} // namespace

QString packErrorMessage(const pack::PackHeader& header, const QString& path)
{
    const QString file =
        QStringLiteral("扩展安装包\"") + QDir::toNativeSeparators(path) + QStringLiteral("\"");
    switch (header.error) {
    case pack::HeaderError::None:
        break;
    case pack::HeaderError::CannotOpen:
        return QStringLiteral("无法读取") + file + QStringLiteral("。");
    case pack::HeaderError::TooLarge:
        return file +
               QStringLiteral("的包头超过%1 MiB，不是有效的扩展安装包。").arg(pack::kMaxHeaderBytes >> 20);
    case pack::HeaderError::TooDeep:
        return file + QStringLiteral("的包头嵌套超过%1层（在第%2字节处），不是有效的扩展安装包。")
                          .arg(pack::kMaxHeaderDepth)
                          .arg(header.errorByte);
    case pack::HeaderError::Empty:
        return file + QStringLiteral("的包头为空，不是有效的扩展安装包。");
    case pack::HeaderError::Malformed:
        return file + QStringLiteral("的包头不是有效的JSON（在第%1字节处出错）。").arg(header.errorByte);
    case pack::HeaderError::NotAnObject:
        return file + QStringLiteral("的包头不是JSON对象。");
    case pack::HeaderError::NameMissing:
        return file + QStringLiteral("的包头缺少\"name\"（扩展名称）。");
    case pack::HeaderError::NameNotString:
        return file + QStringLiteral("的包头中\"name\"（扩展名称）不是字符串。");
    }
    return {};
}

bool installPackFromDialog()
{
    const QString path = askForPack();
    if (path.isEmpty())
        return false;
    qDebug() << "选择的文件路径：" << path;

    // The whole header is checked before anything is shown or started.
    const pack::PackHeader header = pack::readPackHeader(path);
    if (header.error != pack::HeaderError::None) {
        boxes::showError(packErrorMessage(header, path));
        return false;
    }

    QMessageBox installing;
    installing.setText(QStringLiteral("正在安装\"") + QString::fromUtf8(header.name) + QStringLiteral("\""));
    installing.show();
    // ORVA waits for the installer without handling events: let the closed
    // file dialog go and the box be drawn first. No user input is taken here.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const InstallerRun run = runInstaller({path});
    if (run == InstallerRun::WaitAborted)
        return false;
    installing.close();
    if (run == InstallerRun::NotStarted) {
        reportInstallerNotStarted();
        return false;
    }
    return true;
}

} // namespace manager
