#include "LauncherProcess.h"

#include "orva/extensions/ExtensionChangeNotice.h"
#include "orva/extensions/PairLog.h"
#include "platform/Processes.h"

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>

LauncherProcess::LauncherProcess(const QString& program)
{
    setProgram(program);
    // Its input stays an open pipe that nothing writes, so that a listener
    // reading it waits instead of ending at once. Its output is never read:
    // the pair's programs write to the pair's log, and forwarding what is
    // left (instead of buffering it in ORVA) keeps ORVA's memory bounded.
    setProcessChannelMode(QProcess::ForwardedChannels);

    m_delayedRestart.setSingleShot(true);
    m_delayedRestart.setInterval(kMinimumRunMs);
    connect(&m_delayedRestart, &QTimer::timeout, this, &LauncherProcess::launch);
    m_changeWait.setSingleShot(true);
    m_changeWait.setInterval(kChangePollMs);
    connect(&m_changeWait, &QTimer::timeout, this, &LauncherProcess::launch);

    m_restartConnection = connect(this, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
                                  &LauncherProcess::restartAfterRun, Qt::DirectConnection);
}

void LauncherProcess::setPair(const QByteArray& listenerId, const QByteArray& controlId,
                              const QByteArray& listenerName)
{
    m_pairIds = {listenerId, controlId};
    m_listenerName = listenerName;
    // For this launcher alone: it takes the variable away from the pair's programs.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(extensions::PairLog::kListenerVariable),
                       QString::fromUtf8(listenerId));
    setProcessEnvironment(environment);
}

void LauncherProcess::note(const QString& text) const
{
    if (!m_pairIds.isEmpty())
        extensions::PairLog(m_pairIds.front()).note(text);
}

void LauncherProcess::launch()
{
    if (!m_restartsEnabled)
        return;
    const std::optional<extensions::ExtensionChangeNotice> notice = extensions::ExtensionChangeNotice::read();
    if (notice && notice->names(m_pairIds)) {
        if (notice->inProgress()) {
            m_changeWait.start();
            return;
        }
        // A removed extension's pair is not started again.
        if (m_runClock.isValid() && notice->concerns(m_pairIds, m_runStartedAt) && !programsExist())
            return;
    }
    note(QStringLiteral("开始运行：监听程序\"%1\"（%2）")
             .arg(QString::fromUtf8(m_listenerName), QString::fromUtf8(m_pairIds.value(0))));
    m_runClock.start();
    m_runStartedAt = QDateTime::currentMSecsSinceEpoch();
    start(QIODevice::ReadWrite);
}

void LauncherProcess::restartAfterRun()
{
    // packsetup's change ended this run: the next one starts the new version
    // as soon as it is in place. A shorter run than a working run's pause has
    // failed at start (no display, missing libraries): retry after a pause
    // rather than spin a core.
    const std::optional<extensions::ExtensionChangeNotice> notice = extensions::ExtensionChangeNotice::read();
    const bool endedByChange = notice && notice->concerns(m_pairIds, m_runStartedAt);
    if (!endedByChange && m_runClock.isValid() && m_runClock.elapsed() < kMinimumRunMs) {
        note(QStringLiteral("启动器运行不到%1秒即结束：%1秒后重试").arg(kMinimumRunMs / 1000));
        m_delayedRestart.start();
    } else
        launch();
}

bool LauncherProcess::programsExist() const
{
    const QStringList programs = arguments();
    return std::all_of(programs.begin(), programs.end(),
                       [](const QString& program) { return QFileInfo(program).isFile(); });
}

void LauncherProcess::closeWithoutRestart()
{
    // close() emits finished(); the restart must be gone before it does.
    m_restartsEnabled = false;
    disconnect(m_restartConnection);
    m_delayedRestart.stop();
    m_changeWait.stop();
    if (state() != QProcess::NotRunning)
        note(QStringLiteral("ORVA退出：已结束启动器"));
    close();
}
