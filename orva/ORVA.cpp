#include "ORVA.h"

#include "AuthorWebsite.h"
#include "LauncherProcess.h"
#include "ProcessList.h"
#include "RunningOrva.h"
#include "StartupLauncher.h"
#include "StartupNotices.h"
#include "gui/MessageBox.h"
#include "orva/manager/Addonsmanager.h"
#include "orva/manager/LatestManagerWindow.h"
#include "platform/GuiApplication.h"
#include "platform/Platform.h"
#include "ui_ORVA.h"

#include <QCloseEvent>
#include <QMessageBox>

ORVA::ORVA(QWidget* parent) : QMainWindow(parent), m_ui(std::make_unique<Ui::ORVA>())
{
    // Before any notice: a second start in this folder shows nothing of its own.
    new RunningOrva(this);
    // ORVA refuses close requests where the window manager keeps a close
    // control: Qt must not ask it to close at a session's end, nor cancel the
    // logout when it refuses.
    platform::leaveSessionEndToSessionManager();
    // The first notice's box lives on as the loading notice until the form is built.
    QMessageBox notice;
    startup::showNotices(notice);
    startup::showLoadingNotice(notice);
    startup::launchStartupExtensions(notice);
    notice.close();

    m_ui->setupUi(this);
    removeCloseButton();
}

ORVA::~ORVA()
{
    m_ui.reset();
    // Only the window still referenced; earlier ones were left to the user.
    delete managerWindow().data();
}

void ORVA::removeCloseButton()
{
    // Without CustomizeWindowHint the toolkit puts the default title-bar
    // controls back; with it, exactly the hints given here are shown.
    setWindowFlags((windowFlags() & ~Qt::WindowCloseButtonHint) | Qt::CustomizeWindowHint);
}

void ORVA::closeEvent(QCloseEvent* event)
{
    // Where the window manager keeps a close control (or Alt+F4) despite the
    // hint, leaving that way would orphan the launchers: only Exit ends ORVA.
    // Elsewhere only another program asks, and ORVA ends as a closed last
    // window would.
    if (platform::closeControlOutlivesHint())
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

// 扩展 → 管理
void ORVA::on_actionManage_triggered()
{
    gui::MessageBox::information(QStringLiteral("关于扩展管理器"),
                                 QStringLiteral("此扩展控制器将在此后开启自定义功能。"));
    // Parentless and top-level: it deletes itself, or this window's destructor does.
    auto* window = new Addonsmanager;
    managerWindow() = window;
    window->show();
}

// 帮助 → 关于
void ORVA::on_actionAbout_triggered()
{
    gui::MessageBox::information(
        QStringLiteral("关于ORVA"),
        QStringLiteral("这个程序是作者Morvath独立开发的应用程序。具有可扩展性且可扩展性极强，可以装载可支持的"
                       "任何形式的扩展程序。"
                       "扩展程序可以是可执行文件，适用于Windows的脚本文件，或者可以使用其他应用程序控制的物理"
                       "和非物理模块，"
                       "可用于任何能与计算机产生联系的设备和程序。\n\n"
                       "ORVA，全称为Quillmar，意为集中控制器。\n\n"
                       "此应用的版本为“创新开发β”，若需要转入官方的Release正式版本，请关注") +
            QLatin1String(kAuthorWebsiteHost) +
            QStringLiteral("，在个人官网内查看更新信息。更新信息目前没有，网站没有时间维护。"));
}

// 程序 → 退出
void ORVA::on_actionExit_triggered()
{
    const QList<LauncherProcess*> launchers = processList();
    gui::MessageBox::information(QStringLiteral("退出ORVA"),
                                 QStringLiteral("您即将退出ORVA，此确定页面将在未来开放开发端口。"));
    // In list order, each waited for; the programs they started keep running.
    for (LauncherProcess* launcher : launchers)
        launcher->closeWithoutRestart();
    platform::exitProcess(0);
}
