#include "StartupLauncher.h"

#include "LauncherProcess.h"
#include "ProcessList.h"
#include "gui/MessageBox.h"
#include "orva/extensions/ExtensionLayout.h"
#include "orva/extensions/FirstLineReader.h"
#include "orva/extensions/StartListFiles.h"
#include "orva/extensions/StartListReader.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>

namespace startup {
namespace {

using extensions::readFirstLine;

// How long the launcher waits for chainlaunch to have started.
constexpr int kStartTimeoutMs = 30000;

void continueOrExit(const QString& text)
{
    if (!gui::MessageBox::askContinueOrClose(text))
        platform::exitProcess(1);
}

void reportLaunchFailure(const QByteArray& listedId)
{
    continueOrExit(QStringLiteral("扩展程序\"{id:") + QString::fromUtf8(listedId) +
                   QStringLiteral("}\"启动失败！请问你是要关闭ORVA还是跳过此扩展继续运行?"));
}

void launchExtension(const QByteArray& id, QMessageBox& loadingNotice)
{
    // The debug lines of the start-up (id, name, start result) are read by the end-to-end tests.
    qDebug().noquote() << QString::fromUtf8(id);

    const std::optional<QByteArray> name = readFirstLine(extensions::nameFilePath(id));
    if (!name) {
        reportLaunchFailure(id);
        return;
    }

    loadingNotice.setText(QStringLiteral("请等待程序加载扩展\"") + QString::fromUtf8(*name) +
                          QStringLiteral("\",过程中可能会未响应。"));
    QCoreApplication::processEvents();
    platform::pause(1000);

    qDebug().noquote() << QString::fromUtf8(*name);
    const QByteArray programPath = extensions::programFilePath(id, *name);

    // Listed before the control extension is resolved: a launcher that is
    // skipped below stays in the list, unstarted.
    auto* launcher = new LauncherProcess(platform::processPath(extensions::chainlaunchPath()));
    processList().append(launcher);

    const std::optional<QByteArray> controlId = readFirstLine(extensions::controlFilePath(id, *name));
    const std::optional<QByteArray> controlName =
        controlId ? readFirstLine(extensions::nameFilePath(*controlId)) : std::nullopt;
    if (!controlName) {
        reportLaunchFailure(id);
        return;
    }
    const QByteArray controlProgramPath = extensions::programFilePath(*controlId, *controlName);

    launcher->setArguments({platform::processPath(programPath), platform::processPath(controlProgramPath)});
    launcher->setPair(id, *controlId, *name);
    launcher->launch();
    platform::pause(1000);
    if (launcher->waitsForChange())
        qDebug() << "程序等待安装程序完成更改";
    else if (launcher->waitForStarted(kStartTimeoutMs))
        qDebug() << "程序已经启动";
    else
        qDebug() << "无法启动程序";
}

} // namespace

void launchStartupExtensions(QMessageBox& loadingNotice)
{
    const std::optional<QList<QByteArray>> ids =
        extensions::readStartList(extensions::startListPath(extensions::Role::Listener));
    if (!ids) {
        continueOrExit(
            QStringLiteral("无法获取扩展程序列表，程序即将退出！\n"
                           "你可以点击\"继续\"来创建一个空的启动列表，但是我们不会删除您的扩展程序。"));
        if (!extensions::createEmptyStartLists())
            qWarning() << "无法创建启动列表";
        return;
    }
    for (const QByteArray& id : *ids)
        launchExtension(id, loadingNotice);
}

} // namespace startup
