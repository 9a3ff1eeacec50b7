#include "MessageBox.h"

#include <QPushButton>
#include <QVariant>
#include <iterator>

namespace gui {
namespace {

using Button = MessageBox::Button;

// Each answer's button: a standard one (with its caption replaced when one
// is given) or one of our own with a caption and a role.
struct ButtonKind
{
    Button button;
    QMessageBox::StandardButton standard;
    const char* caption; // UTF-8; nullptr keeps Qt's own label
    QMessageBox::ButtonRole role;
};

constexpr ButtonKind kButtons[] = {
    {Button::Ok, QMessageBox::Ok, nullptr, QMessageBox::AcceptRole},
    {Button::Yes, QMessageBox::Yes, nullptr, QMessageBox::YesRole},
    {Button::No, QMessageBox::No, nullptr, QMessageBox::NoRole},
    {Button::Continue, QMessageBox::Yes, "继续", QMessageBox::YesRole},
    {Button::Close, QMessageBox::No, "关闭", QMessageBox::NoRole},
    {Button::Install, QMessageBox::NoButton, "安装", QMessageBox::AcceptRole},
    {Button::Cancel, QMessageBox::NoButton, "取消", QMessageBox::RejectRole},
};

constexpr bool inEnumOrder()
{
    for (int i = 0; i < static_cast<int>(std::size(kButtons)); ++i) {
        if (static_cast<int>(kButtons[i].button) != i)
            return false;
    }
    return true;
}
static_assert(inEnumOrder(), "kButtons is indexed by Button");

// The property that names a button's answer on the button itself.
constexpr char kAnswerProperty[] = "orvaAnswer";

MessageBox::Answerer& answerer()
{
    static MessageBox::Answerer answer;
    return answer;
}

// What a clicked button answers: ours carry it; the OK button that Qt adds
// to a box without buttons is a standard one.
Button answerOf(const QMessageBox& box, QAbstractButton* clicked)
{
    if (!clicked)
        clicked = box.escapeButton();
    const QVariant answer = clicked ? clicked->property(kAnswerProperty) : QVariant();
    if (answer.isValid())
        return static_cast<Button>(answer.toInt());
    for (const ButtonKind& kind : kButtons) {
        if (!kind.caption && clicked && box.standardButton(clicked) == kind.standard)
            return kind.button;
    }
    return Button::Cancel;
}

void showNotice(const QString& title, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon(icon);
    box.setDefaultButton(MessageBox::addButton(box, Button::Ok));
    MessageBox::exec(box);
}

} // namespace

QPushButton* MessageBox::addButton(QMessageBox& box, Button button)
{
    const ButtonKind& kind = kButtons[static_cast<int>(button)];
    QPushButton* added = kind.standard == QMessageBox::NoButton
                             ? box.addButton(QString::fromUtf8(kind.caption), kind.role)
                             : box.addButton(kind.standard);
    if (kind.caption)
        added->setText(QString::fromUtf8(kind.caption));
    added->setProperty(kAnswerProperty, static_cast<int>(button));
    return added;
}

MessageBox::Button MessageBox::exec(QMessageBox& box)
{
    if (answerer())
        return answerer()(box);
    box.exec();
    return answerOf(box, box.clickedButton());
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
    box.setDefaultButton(addButton(box, Button::Continue));
    addButton(box, Button::Close);
    return exec(box) == Button::Continue;
}

void MessageBox::setAnswerer(Answerer answer)
{
    answerer() = std::move(answer);
}

} // namespace gui
