#include "RunningOrva.h"

#include "gui/MessageBox.h"
#include "orva/extensions/ExtensionLayout.h"
#include "platform/ExclusiveFileLock.h"
#include "platform/InstanceChannel.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QWidget>

namespace {

// How long a second start waits for the running ORVA's answer. It answers
// from its event loop, which its start-up runs at least every two seconds
// (between two extensions' pauses); a longer silence (ORVA waiting for the
// installer) is answered with the box.
constexpr int kAnswerTimeoutMs = 5000;

} // namespace

RunningOrva::RunningOrva(QWidget* mainWindow)
    : QObject(mainWindow), m_mainWindow(mainWindow),
      m_mark(
          std::make_unique<platform::ExclusiveFileLock>(platform::processPath(extensions::runningMarkPath())))
{
    const QString folder = QDir::current().canonicalPath();
    if (m_mark->isHeldElsewhere()) {
        if (platform::InstanceChannel::knock(folder, kAnswerTimeoutMs))
            platform::exitProcess(0);
        gui::MessageBox::error(QStringLiteral("ORVA已在此文件夹中运行。"));
        platform::exitProcess(1);
    }
    if (!m_mark->isLocked()) {
        // A later start cannot tell either, and starts as this one does.
        qWarning() << "无法创建运行标记，不检查此文件夹中是否已有ORVA运行";
        return;
    }
    m_channel = std::make_unique<platform::InstanceChannel>(folder);
    if (!m_channel->listen())
        qWarning() << "无法接收再次启动的请求";
    connect(m_channel.get(), &platform::InstanceChannel::knocked, this, &RunningOrva::bringForward);
}

RunningOrva::~RunningOrva() = default;

void RunningOrva::bringForward()
{
    // What waits for the user first: a start-up notice or another box; else
    // the main window, once it is shown.
    QWidget* window = QApplication::activeModalWidget();
    if (!window)
        window = m_mainWindow;
    if (!window->isVisible())
        return;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}
