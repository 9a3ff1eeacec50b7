#pragma once

// Answers the modal message boxes that code under test runs with exec(),
// from a timer that runs inside their event loops, and records what each box
// showed.

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

struct BoxRecord
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttonTexts;
    QList<QMessageBox::StandardButton> buttons;
    // The default the code set (NoButton when it set none) and the button
    // that Enter actually presses.
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString effectiveDefaultText;
    bool hasParent = false;
};

struct BoxAnswer
{
    enum class Kind { Click, Escape, Close, Enter };

    Kind kind = Kind::Escape;
    QMessageBox::StandardButton button = QMessageBox::NoButton;

    static BoxAnswer click(QMessageBox::StandardButton button) { return {Kind::Click, button}; }
    static BoxAnswer escape() { return {Kind::Escape, QMessageBox::NoButton}; }
    static BoxAnswer close() { return {Kind::Close, QMessageBox::NoButton}; }
    static BoxAnswer enter() { return {Kind::Enter, QMessageBox::NoButton}; }
};
Q_DECLARE_METATYPE(BoxAnswer)

class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    // Boxes beyond `answers` are recorded and answered with Escape, so that a
    // faulty sequence ends instead of hanging the test.
    explicit ModalAnswerer(QList<BoxAnswer> answers, QObject* parent = nullptr);

    const QList<BoxRecord>& boxes() const { return m_boxes; }
    // Runs for each box after it was recorded and before it is answered.
    void setInspector(std::function<void(QMessageBox*)> inspector) { m_inspector = std::move(inspector); }
    // Boxes for which `ignored` returns true are neither recorded nor answered:
    // progress boxes shown with show(), which QMessageBox makes modal too.
    void setIgnored(std::function<bool(QMessageBox*)> ignored) { m_ignored = std::move(ignored); }
    // Problems met while answering: a requested button missing, a box that
    // did not go away.
    const QStringList& problems() const { return m_problems; }

private:
    void poll();
    void answer(QMessageBox* box, const BoxAnswer& answer);

    QList<BoxAnswer> m_answers;
    std::function<void(QMessageBox*)> m_inspector;
    std::function<bool(QMessageBox*)> m_ignored;
    QList<BoxRecord> m_boxes;
    QStringList m_problems;
    QTimer m_timer;
    // A box is answered once. The first notice is shown again, without
    // exec(), as the loading notice; it asks nothing and must be left alone.
    QList<QPointer<QMessageBox>> m_answered;
    QPointer<QMessageBox> m_lastAnswered;
    int m_ticksStillShown = 0;
};

// One line describing a box, for journals and failure messages.
QString describe(const BoxRecord& box);
