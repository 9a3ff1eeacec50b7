#pragma once

#include <QMessageBox>
#include <QString>

// Boxes shared by ORVA's windows. All are parentless and modal.
namespace boxes {

// Question box with the buttons 继续 (Yes, default) and 关闭 (No); by
// default the "错误-ORVA" box with the Warning icon. True when the user chose
// 继续; Escape and the title bar's close control answer 关闭.
bool askContinueOrClose(const QString& text, const QString& title = QStringLiteral("错误-ORVA"),
                        QMessageBox::Icon icon = QMessageBox::Warning);

// "错误-ORVA" box with one OK button, which is also the default.
void showError(const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);

// Notice with the Information icon and one OK button, which is also the
// default. However it is dismissed, the caller goes on.
void showInformation(const QString& title, const QString& text);

} // namespace boxes
