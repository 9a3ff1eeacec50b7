#include "TestJournal.h"

#include "Platform.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QStringList g_lines;
std::function<void(int)> g_pauseAction;
QtMessageHandler g_previousHandler = nullptr;

void journalPause(int milliseconds)
{
    QString line = QStringLiteral("pause %1").arg(milliseconds);
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible())
                line += QStringLiteral(" [%1 | %2]").arg(box->windowTitle(), box->text());
        }
    }
    testjournal::add(line);
    if (g_pauseAction)
        g_pauseAction(milliseconds);
}

void journalExit(int status)
{
    testjournal::add(QStringLiteral("exit %1").arg(status));
    throw ProcessExit{status};
}

void journalDebug(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg)
        testjournal::add(QStringLiteral("debug ") + message);
    // The offscreen platform says this for every box shown; it says nothing about ORVA.
    else if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    else if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

namespace testjournal {

void add(const QString& line)
{
    g_lines.append(line);
}

const QStringList& lines()
{
    return g_lines;
}

void clear()
{
    g_lines.clear();
}

} // namespace testjournal

JournalHooks::JournalHooks()
{
    testjournal::clear();
    g_pauseAction = nullptr;
    platform::setPauseFunction(journalPause);
    platform::setExitFunction(journalExit);
    g_previousHandler = qInstallMessageHandler(journalDebug);
}

JournalHooks::~JournalHooks()
{
    qInstallMessageHandler(g_previousHandler);
    g_previousHandler = nullptr;
    platform::setPauseFunction(nullptr);
    platform::setExitFunction(nullptr);
    g_pauseAction = nullptr;
}

void JournalHooks::setPauseAction(std::function<void(int)> action)
{
    g_pauseAction = std::move(action);
}

void UrlRecorder::open(const QUrl& url)
{
    testjournal::add(QStringLiteral("url ") + url.toString());
}
