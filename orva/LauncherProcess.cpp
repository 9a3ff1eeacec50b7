#include "LauncherProcess.h"

LauncherProcess::LauncherProcess(const QString& program)
{
    setProgram(program);
    // Its input stays an open pipe that nothing writes, so that a listener
    // reading it waits instead of ending at once. Its output is never read:
    // forwarding it (instead of buffering it in ORVA) keeps a chatty extension
    // from growing ORVA's memory without bound.
    setProcessChannelMode(QProcess::ForwardedChannels);

    m_delayedRestart.setSingleShot(true);
    m_delayedRestart.setInterval(kMinimumRunMs);
    connect(&m_delayedRestart, &QTimer::timeout, this, &LauncherProcess::launch);

    m_restartConnection = connect(this, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
                                  &LauncherProcess::restartAfterRun, Qt::DirectConnection);
}

void LauncherProcess::launch()
{
    if (!m_restartsEnabled)
        return;
    m_runClock.start();
    start(QIODevice::ReadWrite);
}

void LauncherProcess::restartAfterRun()
{
    // A run shorter than a working run's pause has failed at start (no display,
    // missing libraries): retry after a pause rather than spin a core.
    if (m_runClock.isValid() && m_runClock.elapsed() < kMinimumRunMs)
        m_delayedRestart.start();
    else
        launch();
}

void LauncherProcess::closeWithoutRestart()
{
    // close() emits finished(); the restart must be gone before it does.
    m_restartsEnabled = false;
    disconnect(m_restartConnection);
    m_delayedRestart.stop();
    close();
}
