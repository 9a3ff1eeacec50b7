#pragma once

// One ordered record of what code under test did that a user or another
// program could observe: boxes, pauses, debug lines, opened links, exits.
// Tests compare whole journals, so order and count are checked as well.

#include <QObject>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace testjournal {

void add(const QString& line);
const QStringList& lines();
void clear();

} // namespace testjournal

// What the replaced exit throws: the status the process would have ended with.
struct ProcessExit
{
    int status;
};

// Replaces the pause and the exit of the platform layer and captures debug
// output while it lives. Pauses do not sleep; each is journaled as
// "pause <ms>" followed by the title and text of every message box shown at
// that moment ("pause 1000 [加载中-ORVA | ...]").
class JournalHooks
{
public:
    JournalHooks();
    ~JournalHooks();

    JournalHooks(const JournalHooks&) = delete;
    JournalHooks& operator=(const JournalHooks&) = delete;

    // Runs after each pause has been journaled.
    static void setPauseAction(std::function<void(int)> action);
};

// Stands in for the desktop's browser: journals "url <address>".
class UrlRecorder : public QObject
{
    Q_OBJECT

public slots:
    void open(const QUrl& url);
};
