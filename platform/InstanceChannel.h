#pragma once

#include <QObject>
#include <QString>
#include <memory>

#ifdef Q_OS_WIN
class QWinEventNotifier;
#else
class QSocketNotifier;
#endif

namespace platform {

// A channel through which a later start of a program knocks at the one that
// runs, named after a key (the app folder) and the user: a named pipe on
// Windows, a socket in Linux's abstract namespace. Both vanish with their
// process however it ends, so no stale name outlives it. Handled in the
// event loop of the GUI thread, like everything else: no thread of its own.
class InstanceChannel : public QObject
{
    Q_OBJECT

public:
    InstanceChannel(const QString& key, QObject* parent = nullptr);
    ~InstanceChannel() override;
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    // Starts answering knocks; false when the name cannot be taken.
    bool listen();

    // Knocks at the program that listens under `key`, first letting it take
    // the foreground on Windows (this process has the right, the user just
    // started it); true once it has handled the knock within `timeoutMs`.
    static bool knock(const QString& key, int timeoutMs);

signals:
    // A later start knocked; it is answered once the slots have returned.
    void knocked();

private:
    void handleEvent();

    // Where the pipe's server is between knocks (Windows).
    enum class Step {
        WaitingForClient,
        ReadingKnock,
        WaitingForHangUp,
    };

    QString m_key;
#ifdef Q_OS_WIN
    void waitForClient();
    bool startRead();
    void* m_pipe = nullptr;
    void* m_event = nullptr;
    struct Pending;
    std::unique_ptr<Pending> m_pending;
    Step m_step = Step::WaitingForClient;
    std::unique_ptr<QWinEventNotifier> m_notifier;
#else
    int m_socket = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
#endif
};

} // namespace platform
