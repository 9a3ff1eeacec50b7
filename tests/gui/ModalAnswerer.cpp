#include "ModalAnswerer.h"

#include "TestJournal.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

namespace {

// How many polls an answered box may stay on screen before it is forced shut.
constexpr int kStuckTicks = 200;

BoxRecord recordOf(QMessageBox* box)
{
    BoxRecord record;
    record.title = box->windowTitle();
    record.text = box->text();
    record.icon = box->icon();
    record.defaultButton =
        box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    record.hasParent = box->parentWidget() != nullptr;
    for (QAbstractButton* button : box->buttons()) {
        record.buttonTexts.append(button->text());
        record.buttons.append(box->standardButton(button));
        const auto* push = qobject_cast<QPushButton*>(button);
        if (push && push->isDefault())
            record.effectiveDefaultText = push->text();
    }
    return record;
}

} // namespace

QString describe(const BoxRecord& box)
{
    return QStringLiteral("box %1 | %2").arg(box.title, box.text);
}

ModalAnswerer::ModalAnswerer(QList<BoxAnswer> answers, QObject* parent)
    : QObject(parent), m_answers(std::move(answers))
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

void ModalAnswerer::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    if (m_ignored && m_ignored(box))
        return;

    if (m_answered.contains(box)) {
        if (box == m_lastAnswered && ++m_ticksStillShown == kStuckTicks) {
            m_problems.append(QStringLiteral("still shown after its answer: ") + box->text());
            box->done(QDialog::Rejected);
        }
        return;
    }

    BoxRecord record = recordOf(box);
    testjournal::add(describe(record));
    m_boxes.append(std::move(record));
    m_answered.append(box);
    m_lastAnswered = box;
    m_ticksStillShown = 0;
    if (m_inspector)
        m_inspector(box);

    if (m_answers.isEmpty()) {
        m_problems.append(QStringLiteral("unexpected ") + describe(m_boxes.last()));
        answer(box, BoxAnswer::escape());
    } else {
        answer(box, m_answers.takeFirst());
    }
}

void ModalAnswerer::answer(QMessageBox* box, const BoxAnswer& answer)
{
    switch (answer.kind) {
    case BoxAnswer::Kind::Click:
        if (QAbstractButton* button = box->button(answer.button)) {
            QTest::mouseClick(button, Qt::LeftButton);
        } else {
            m_problems.append(QStringLiteral("no button %1 on ").arg(answer.button) +
                              describe(m_boxes.last()));
            QTest::keyClick(box, Qt::Key_Escape);
        }
        break;
    case BoxAnswer::Kind::Escape:
        QTest::keyClick(box, Qt::Key_Escape);
        break;
    case BoxAnswer::Kind::Close:
        box->close();
        break;
    case BoxAnswer::Kind::Enter:
        QTest::keyClick(box, Qt::Key_Return);
        break;
    }
}
