#include "MessageBoxes.h"

#include <QPushButton>

namespace boxes {
namespace {

const QString kErrorTitle = QStringLiteral("错误-ORVA");

void showNotice(const QString& title, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon);
    box.addButton(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

} // namespace

bool askContinueOrClose(const QString& text, const QString& title, QMessageBox::Icon icon)
{
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon);
    box.addButton(QMessageBox::Yes)->setText(QStringLiteral("继续"));
    box.addButton(QMessageBox::No)->setText(QStringLiteral("关闭"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void showError(const QString& text, QMessageBox::Icon icon)
{
    showNotice(kErrorTitle, text, icon);
}

void showInformation(const QString& title, const QString& text)
{
    showNotice(title, text, QMessageBox::Information);
}

} // namespace boxes
