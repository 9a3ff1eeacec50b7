#include "SetupWindows.h"

#include "InstallConfirmation.h"
#include "RequestRunner.h"
#include "gui/MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressDialog>

namespace packsetup {
namespace {

constexpr int kProgressSteps = 1000;

QString titleFor(const Request& request)
{
    return request.mode == Request::Mode::Remove ? QStringLiteral("删除扩展-ORVA")
                                                 : QStringLiteral("安装扩展-ORVA");
}

} // namespace

int runWithWindows(const Request& request)
{
    QProgressDialog progress;
    progress.setWindowTitle(titleFor(request));
    progress.setCancelButton(nullptr);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setWindowModality(Qt::ApplicationModal);

    installer::InstallProgress report;
    if (request.mode == Request::Mode::Install) {
        progress.setLabelText(QStringLiteral("正在读取安装包…"));
        progress.setRange(0, kProgressSteps);
        progress.show();
        QCoreApplication::processEvents();
        // One bar over the pack's bytes, read once: checked, unpacked and verified on the way.
        report = [&progress](installer::InstallStage stage, const QString& name, qint64 done, qint64 total) {
            if (stage == installer::InstallStage::EndingRunning)
                progress.setLabelText(QStringLiteral("正在结束运行中的\"%1\"…").arg(name));
            else if (!name.isEmpty())
                progress.setLabelText(QStringLiteral("正在检查并解压\"%1\"…").arg(name));
            if (total > 0)
                progress.setValue(static_cast<int>(qMin(done, total) * kProgressSteps / total));
            // The work runs on this thread: let the dialog paint meanwhile.
            QCoreApplication::processEvents();
        };
    }
    const auto confirm = [&](const installer::InstallPlan& plan) {
        progress.hide();
        const bool install = askToInstall(plan, titleFor(request));
        if (install)
            progress.show();
        return install;
    };
    const pack::Outcome outcome = runRequest(request, report, confirm);
    progress.close();
    // 取消 was the user's own answer: nothing more to say.
    if (outcome.code == pack::ExitCode::Cancelled)
        return outcome.exitStatus();

    QMessageBox box;
    box.setWindowTitle(titleFor(request));
    box.setTextFormat(Qt::PlainText); // names and paths come from the pack
    box.setText(outcome.message);
    box.setIcon(outcome.ok() ? QMessageBox::Information : QMessageBox::Warning);
    box.setDefaultButton(gui::MessageBox::addButton(box, gui::MessageBox::Button::Ok));
    gui::MessageBox::exec(box);
    return outcome.exitStatus();
}

} // namespace packsetup
