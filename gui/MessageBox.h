#pragma once

// Every modal message box of ORVA, chainlaunch and packsetup runs through
// exec() here: parentless, as the programs show all their boxes, and with a
// hook through which in-process tests answer a box without showing it.

#include <QMessageBox>
#include <QString>
#include <functional>

class QPushButton;

namespace gui {

class MessageBox
{
public:
    // The answers the programs' boxes offer. Continue and Close are the
    // standard Yes and No relabelled "继续" and "关闭"; Install and Cancel
    // are the installer's own "安装" and "取消".
    enum class Button { Ok, Yes, No, Continue, Close, Install, Cancel };

    // Adds `button` to `box` with its caption and role.
    static QPushButton* addButton(QMessageBox& box, Button button);

    // Runs `box` modally; returns the button that answered it. Escape and
    // the close control answer with the box's escape button.
    static Button exec(QMessageBox& box);

    // Notice with the Information icon and one OK button, which is also the
    // default. However it is dismissed, the caller goes on.
    static void information(const QString& title, const QString& text);

    // "错误-ORVA" box with one OK button, which is also the default.
    static void error(const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);

    // Question box with the buttons 继续 (the default) and 关闭; by default
    // the "错误-ORVA" box with the Warning icon. True when the user chose
    // 继续; Escape and the title bar's close control answer 关闭.
    static bool askContinueOrClose(const QString& text, const QString& title = errorTitle(),
                                   QMessageBox::Icon icon = QMessageBox::Warning);

    static QString errorTitle() { return QStringLiteral("错误-ORVA"); }

    // For tests: while set, exec() hands each box to `answer` instead of
    // showing it, and returns what it returns. An empty function restores
    // the real boxes.
    using Answerer = std::function<Button(QMessageBox& box)>;
    static void setAnswerer(Answerer answer);
};

} // namespace gui
