#include "InstallAction.h"

#include "InstallerProcess.h"
#include "gui/MessageBox.h"
#include "pack/Outcome.h"
#include "pack/PackHeader.h"

#include <QCoreApplication>
#include <QDebug>
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

bool installPackFromDialog()
{
    const QString path = askForPack();
    if (path.isEmpty())
        return false;
    qDebug() << "选择的文件路径：" << path; // read by the end-to-end tests

    // The header is read before anything is shown or started.
    const pack::PackName header = pack::readPackName(path);
    if (!header.problem.ok()) {
        gui::MessageBox::error(pack::cannotInstallMessage(path, pack::headerProblemMessage(header.problem)));
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
