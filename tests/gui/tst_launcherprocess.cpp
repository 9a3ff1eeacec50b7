// LauncherProcess: a chainlaunch run is started again whenever it ends, a
// run that died at start only after a pause, and never again once closed
// for good. A shell script stands in for chainlaunch.

#include "LauncherProcess.h"
#include "TempWorkspace.h"

#include <QtTest>
#include <memory>
#include <signal.h>

namespace {

const QString kProgram = QStringLiteral("./Extensions/chainlaunch.exe");
const QString kRunLog = QStringLiteral("runs.log");

// What the stand-in does after recording its run.
const QByteArray kEndsAtOnce = "exit 0\n";
const QByteArray kEndsAfterASecondAndAHalf = "exec sleep 1.5\n";
const QByteArray kRunsUntilKilled = "exec sleep 30\n";

} // namespace

class TestLauncherProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void runsProgramWithArguments();
    void shortRunRestartsAfterDelay();
    void longRunRestartsAtOnce();
    void killedFromOutsideIsStartedAgain();
    void closeWithoutRestartEndsRunningLauncher();
    void closeWithoutRestartCancelsPendingRestart();
    void closeWithoutRestartOnNeverStarted();
    void failedStartIsNotRetried();

private:
    LauncherProcess* makeLauncher(const QByteArray& afterRecording);
    int runCount() const;

    std::unique_ptr<TempWorkspace> m_workspace;
    std::unique_ptr<LauncherProcess> m_launcher;
};

void TestLauncherProcess::initTestCase()
{
    qRegisterMetaType<QProcess::ExitStatus>();
    qRegisterMetaType<QProcess::ProcessError>();
}

void TestLauncherProcess::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
}

void TestLauncherProcess::cleanup()
{
    if (m_launcher)
        m_launcher->closeWithoutRestart();
    m_launcher.reset();
    m_workspace.reset();
}

LauncherProcess* TestLauncherProcess::makeLauncher(const QByteArray& afterRecording)
{
    if (!m_workspace->writeScript(QStringLiteral("Extensions/chainlaunch.exe"),
                                  "printf '%s|%s|%s\\n' \"$#\" \"$1\" \"$2\" >> " + kRunLog.toUtf8() + "\n" +
                                      afterRecording))
        return nullptr;
    m_launcher = std::make_unique<LauncherProcess>(kProgram);
    m_launcher->setArguments({QStringLiteral("./Extensions/00000002/监听器.exe"),
                              QStringLiteral("./Extensions/00000009/控制 器.exe")});
    return m_launcher.get();
}

int TestLauncherProcess::runCount() const
{
    return m_workspace->readFile(kRunLog).count('\n');
}

void TestLauncherProcess::runsProgramWithArguments()
{
    LauncherProcess* launcher = makeLauncher(kRunsUntilKilled);
    QVERIFY(launcher);
    launcher->launch();
    QVERIFY(launcher->waitForStarted());
    QCOMPARE(launcher->program(), kProgram);
    QTRY_COMPARE(m_workspace->readFile(kRunLog),
                 QByteArray("2|./Extensions/00000002/监听器.exe|./Extensions/00000009/控制 器.exe\n"));
    QVERIFY(launcher->restartsEnabled());
}

void TestLauncherProcess::shortRunRestartsAfterDelay()
{
    LauncherProcess* launcher = makeLauncher(kEndsAtOnce);
    QVERIFY(launcher);

    // Connected after the restart, so this sees the state the restart left.
    QList<std::pair<QProcess::ProcessState, bool>> afterFinish;
    QObject scope; // ends the connection with this test
    connect(launcher, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &scope, [&] {
        afterFinish.append({launcher->state(), launcher->restartPending()});
    });

    launcher->launch();
    QTRY_COMPARE(afterFinish.size(), 1);
    QCOMPARE(afterFinish.first(), std::make_pair(QProcess::NotRunning, true));
    QCOMPARE(runCount(), 1);

    // After the delay it runs again with the same arguments, and again.
    QTRY_VERIFY_WITH_TIMEOUT(runCount() >= 3, 15000);
    const QList<QByteArray> runs = m_workspace->readFile(kRunLog).split('\n');
    for (int i = 1; i < 3; ++i)
        QCOMPARE(runs.at(i), runs.at(0));
    QVERIFY(afterFinish.size() >= 2);
    QCOMPARE(afterFinish.at(1), std::make_pair(QProcess::NotRunning, true));
}

void TestLauncherProcess::longRunRestartsAtOnce()
{
    LauncherProcess* launcher = makeLauncher(kEndsAfterASecondAndAHalf);
    QVERIFY(launcher);

    QList<std::pair<QProcess::ProcessState, bool>> afterFinish;
    QObject scope; // ends the connection with this test
    connect(launcher, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &scope, [&] {
        afterFinish.append({launcher->state(), launcher->restartPending()});
    });

    launcher->launch();
    QTRY_VERIFY_WITH_TIMEOUT(!afterFinish.isEmpty(), 15000);
    // Started again within the finished signal itself: no delay.
    QVERIFY(afterFinish.first().first != QProcess::NotRunning);
    QVERIFY(!afterFinish.first().second);
    QTRY_COMPARE(runCount(), 2);
}

void TestLauncherProcess::killedFromOutsideIsStartedAgain()
{
    LauncherProcess* launcher = makeLauncher(kRunsUntilKilled);
    QVERIFY(launcher);
    launcher->launch();
    QVERIFY(launcher->waitForStarted());
    QTRY_COMPARE(runCount(), 1);
    const qint64 firstPid = launcher->processId();

    QCOMPARE(::kill(static_cast<pid_t>(firstPid), SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(runCount() == 2 && launcher->state() == QProcess::Running, 15000);
    QVERIFY(launcher->processId() != firstPid);
}

void TestLauncherProcess::closeWithoutRestartEndsRunningLauncher()
{
    LauncherProcess* launcher = makeLauncher(kRunsUntilKilled);
    QVERIFY(launcher);
    launcher->launch();
    QVERIFY(launcher->waitForStarted());
    QTRY_COMPARE(runCount(), 1);
    const qint64 pid = launcher->processId();
    QSignalSpy finished(launcher, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));

    launcher->closeWithoutRestart();

    // close() kills and reaps the run, and says so through finished().
    QCOMPARE(finished.count(), 1);
    QCOMPARE(launcher->state(), QProcess::NotRunning);
    QVERIFY(::kill(static_cast<pid_t>(pid), 0) != 0);
    QVERIFY(!launcher->restartsEnabled());
    QVERIFY(!launcher->restartPending());

    // The run was short, so a restart that slipped through would come after
    // the one-second delay: give it the chance.
    QTest::qWait(LauncherProcess::kMinimumRunMs + 500);
    QCOMPARE(launcher->state(), QProcess::NotRunning);
    launcher->launch();
    QCOMPARE(launcher->state(), QProcess::NotRunning);
    QTest::qWait(200);
    QCOMPARE(runCount(), 1);
}

void TestLauncherProcess::closeWithoutRestartCancelsPendingRestart()
{
    LauncherProcess* launcher = makeLauncher(kEndsAtOnce);
    QVERIFY(launcher);
    launcher->launch();
    QTRY_VERIFY(launcher->restartPending());

    launcher->closeWithoutRestart();
    QVERIFY(!launcher->restartPending());
    QTest::qWait(LauncherProcess::kMinimumRunMs + 500);
    QCOMPARE(launcher->state(), QProcess::NotRunning);
    QCOMPARE(runCount(), 1);
}

void TestLauncherProcess::closeWithoutRestartOnNeverStarted()
{
    LauncherProcess* launcher = makeLauncher(kRunsUntilKilled);
    QVERIFY(launcher);
    QSignalSpy finished(launcher, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));

    launcher->closeWithoutRestart();
    QCOMPARE(finished.count(), 0);
    launcher->launch();
    QCOMPARE(launcher->state(), QProcess::NotRunning);
    QCOMPARE(launcher->processId(), 0);
    QCOMPARE(runCount(), 0);
}

void TestLauncherProcess::failedStartIsNotRetried()
{
    // No stand-in at the launcher's path.
    m_launcher = std::make_unique<LauncherProcess>(kProgram);
    QSignalSpy finished(m_launcher.get(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
    QSignalSpy errors(m_launcher.get(), &QProcess::errorOccurred);

    m_launcher->launch();
    QVERIFY(!m_launcher->waitForStarted());
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().value<QProcess::ProcessError>(), QProcess::FailedToStart);
    QVERIFY(!m_launcher->restartPending());

    QTest::qWait(LauncherProcess::kMinimumRunMs + 500);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(m_launcher->state(), QProcess::NotRunning);
}

QTEST_GUILESS_MAIN(TestLauncherProcess)
#include "tst_launcherprocess.moc"
