#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

// One chainlaunch process of the start-up launcher. Whenever a run ends it is
// started again with the same program and arguments, for as long as ORVA runs
// normally; closeWithoutRestart() ends it for good.
class LauncherProcess : public QProcess
{
    Q_OBJECT

public:
    // A working launcher run lasts at least this long (it pauses a full
    // second after starting its second program).
    static constexpr int kMinimumRunMs = 1000;

    explicit LauncherProcess(const QString& program);

    // Starts a run now (read-write open mode).
    void launch();
    // Detaches the restart, then closes the process: it is killed, waited for
    // without time limit, and never started again.
    void closeWithoutRestart();

    bool restartsEnabled() const { return m_restartsEnabled; }
    bool restartPending() const { return m_delayedRestart.isActive(); }

private:
    void restartAfterRun();

    QElapsedTimer m_runClock;
    QTimer m_delayedRestart;
    QMetaObject::Connection m_restartConnection;
    bool m_restartsEnabled = true;
};
