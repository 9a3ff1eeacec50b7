#include "StartupNotices.h"

#include "AuthorWebsite.h"
#include "gui/MessageBox.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace startup {
namespace {

const QString kNoticeTitle = QStringLiteral("参赛作品-ORVA");

// True when the user chose to visit the website (Yes).
bool askForWebsite()
{
    QMessageBox box;
    box.setWindowTitle(kNoticeTitle);
    box.setText(QStringLiteral(
        "此应用程序是一个半成品，由于此项目可以长期维护并且可以由第三方开发者开发扩展程序，"
        "所以程序会在作者的个人网站上上传下载连接。\n"
        "点击确定以跳转到作者的个人网站（正在开发中，现在没有下载链接），点击取消以进入程序。"));
    box.setDefaultButton(gui::MessageBox::addButton(box, gui::MessageBox::Button::Yes));
    gui::MessageBox::addButton(box, gui::MessageBox::Button::No);
    return gui::MessageBox::exec(box) == gui::MessageBox::Button::Yes;
}

[[noreturn]] void visitWebsiteAndExit()
{
    const QString address = QString::fromLatin1(kAuthorWebsiteUrl);
    if (!QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode)))
        gui::MessageBox::error(QStringLiteral("无法打开链接，请访问") + address + QLatin1Char('/'),
                               QMessageBox::Information);
    platform::pause(200);
    platform::exitProcess(0);
}

} // namespace

void showNotices(QMessageBox& firstNotice)
{
    firstNotice.setWindowTitle(kNoticeTitle);
    firstNotice.setText(QStringLiteral("请认真阅读接下来的每一个消息对话框。"));
    firstNotice.setDefaultButton(gui::MessageBox::addButton(firstNotice, gui::MessageBox::Button::Ok));
    // Ok is the only button, so Escape and the close control answer Ok too.
    if (gui::MessageBox::exec(firstNotice) != gui::MessageBox::Button::Ok)
        return;
    if (askForWebsite())
        visitWebsiteAndExit();
}

void showLoadingNotice(QMessageBox& notice)
{
    notice.setWindowTitle(QStringLiteral("加载中-ORVA"));
    notice.setText(QStringLiteral("请等待程序加载扩展启动列表,过程中可能会未响应。"));
    notice.show();
    QCoreApplication::processEvents();
    platform::pause(1000);
}

} // namespace startup
