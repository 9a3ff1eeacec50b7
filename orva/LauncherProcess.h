#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QTimer>

// One chainlaunch process of the start-up launcher. Whenever a run ends it is
// started again with the same program and arguments, for as long as ORVA runs
// normally; closeWithoutRestart() ends it for good. While packsetup replaces
// or removes one of the pair's extensions (its change notice names it), the
// next run waits until packsetup has ended, and does not come at all when a
// program of the pair is gone.
class LauncherProcess : public QProcess
{
    Q_OBJECT

public:
    // A working launcher run lasts at least this long (it pauses a full
    // second after starting its second program).
    static constexpr int kMinimumRunMs = 1000;
    // How often a run that waits for packsetup looks whether it is done.
    static constexpr int kChangePollMs = 200;

    explicit LauncherProcess(const QString& program);

    // The ids of the pair's listener and control extensions, and the
    // listener's name; the launcher writes the pair's log.
    void setPair(const QByteArray& listenerId, const QByteArray& controlId, const QByteArray& listenerName);

    // Starts a run now (read-write open mode), or once packsetup is done
    // with the pair.
    void launch();
    bool waitsForChange() const { return m_changeWait.isActive(); }
    // Detaches the restart, then closes the process: it is killed, waited for
    // without time limit, and never started again.
    void closeWithoutRestart();

private:
    void restartAfterRun();
    bool programsExist() const;
    void note(const QString& text) const;

    QList<QByteArray> m_pairIds;
    QByteArray m_listenerName;
    QElapsedTimer m_runClock;
    qint64 m_runStartedAt = 0; // ms since the epoch, as the change notice counts
    QTimer m_delayedRestart;
    QTimer m_changeWait;
    QMetaObject::Connection m_restartConnection;
    bool m_restartsEnabled = true;
};
