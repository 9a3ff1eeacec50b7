#include "MessageBox.h"

#include <QPushButton>

namespace gui {
namespace {

MessageBox::Answerer& answerer()
{
    static MessageBox::Answerer answer;
    return answer;
}

void showNotice(const QString& title, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon);
    box.addButton(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    MessageBox::exec(box);
}

} // namespace

int MessageBox::exec(QMessageBox& box)
{
    return answerer() ? answerer()(box) : box.exec();
}

void MessageBox::information(const QString& title, const QString& text)
{
    showNotice(title, text, QMessageBox::Information);
}

void MessageBox::error(const QString& text, QMessageBox::Icon icon)
{
    showNotice(errorTitle(), text, icon);
}

bool MessageBox::askContinueOrClose(const QString& text, const QString& title, QMessageBox::Icon icon)
{
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon);
    box.addButton(QMessageBox::Yes)->setText(QStringLiteral("继续"));
    box.addButton(QMessageBox::No)->setText(QStringLiteral("关闭"));
    box.setDefaultButton(QMessageBox::Yes);
    return exec(box) == QMessageBox::Yes;
}

void MessageBox::setAnswerer(Answerer answer)
{
    answerer() = std::move(answer);
}

} // namespace gui
