// chainlaunch's constructor, run in-process: it runs the first program to
// its end, then starts the second one or shows that the run has ended, and
// ends the process itself. Shell scripts stand in for extension programs.

#include "ModalAnswerer.h"
#include "TempWorkspace.h"
#include "TestJournal.h"
#include "chainlaunch.h"

#include <QMenuBar>
#include <QStatusBar>
#include <QtTest>
#include <memory>
#include <optional>
#include <signal.h>

namespace {

const QString kEndedBox = QStringLiteral("box  | 程序运行已结束");
const QString kOrderLog = QStringLiteral("order.log");

// A script that records its end in order.log under `label`, with the number
// of arguments it got and whether its standard input was at its end.
QByteArray recordingScript(const QByteArray& label, const QByteArray& tail = "exit 0\n")
{
    return "read -t 5 line\nstdin=$?\nprintf '%s %s %s\\n' '" + label + "' \"$#\" \"$stdin\" >> order.log\n" +
           tail;
}

} // namespace

class TestChainlaunch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noArgument();
    void oneArgument_data();
    void oneArgument();
    void threeOrMoreArguments();
    void firstProgramCannotStart_data();
    void firstProgramCannotStart();
    void twoArguments_data();
    void twoArguments();
    void secondProgramMissing();

private:
    struct Run
    {
        std::unique_ptr<chainlaunch> window;
        std::optional<int> exitStatus;
        QList<BoxRecord> boxes;
        QStringList problems;
        bool firstEndedBeforeBox = false;
    };
    Run runLauncher(const QList<QByteArray>& arguments, const QList<BoxAnswer>& answers = {});
    bool writeBashScript(const QString& path, const QByteArray& body) const;
    QStringList order() const;

    std::unique_ptr<TempWorkspace> m_workspace;
    std::unique_ptr<JournalHooks> m_hooks;
    QList<pid_t> m_detached;
};

void TestChainlaunch::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
    m_hooks = std::make_unique<JournalHooks>();
}

void TestChainlaunch::cleanup()
{
    // Second programs outlive the launcher by design; end those a test let
    // run, also when it failed before taking their pid.
    const int recordedPid = m_workspace->readFile(QStringLiteral("second.pid")).trimmed().toInt();
    if (recordedPid > 0 && !m_detached.contains(recordedPid))
        m_detached.append(recordedPid);
    for (pid_t pid : m_detached)
        ::kill(pid, SIGKILL);
    m_detached.clear();
    m_hooks.reset();
    m_workspace.reset();
}

TestChainlaunch::Run TestChainlaunch::runLauncher(const QList<QByteArray>& arguments,
                                                  const QList<BoxAnswer>& answers)
{
    QList<QByteArray> storage{QByteArrayLiteral("chainlaunch.exe")};
    storage += arguments;
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    Run run;
    ModalAnswerer answerer(answers);
    answerer.setInspector([&](QMessageBox*) { run.firstEndedBeforeBox = !order().isEmpty(); });
    try {
        run.window = std::make_unique<chainlaunch>(static_cast<int>(storage.size()), argv.data());
    } catch (const ProcessExit& exit) {
        run.exitStatus = exit.status;
    }
    run.boxes = answerer.boxes();
    run.problems = answerer.problems();
    return run;
}

bool TestChainlaunch::writeBashScript(const QString& path, const QByteArray& body) const
{
    return m_workspace->writeFile(path, "#!/bin/bash\n" + body,
                                  QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther);
}

QStringList TestChainlaunch::order() const
{
    QStringList lines = QString::fromUtf8(m_workspace->readFile(kOrderLog)).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

void TestChainlaunch::noArgument()
{
    const Run run = runLauncher({});

    // Nothing run, paused or shown.
    QCOMPARE(testjournal::lines(), QStringList{QStringLiteral("exit 1")});
    QCOMPARE(run.exitStatus, std::optional<int>(1));
    QVERIFY(run.boxes.isEmpty());
}

void TestChainlaunch::oneArgument_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<BoxAnswer>("answer");

    const QList<std::tuple<const char*, QByteArray, QByteArray>> programs{
        {"/bin/true", "/bin/true", {}},
        {"ends with status 3", "./Extensions/00000002/first.exe", recordingScript("first", "exit 3\n")},
        {"killed by a signal", "./Extensions/00000002/first.exe", recordingScript("first", "kill -9 $$\n")},
        {"space in the path", "./Extensions/00000002/my first.exe", recordingScript("first")},
        {"Chinese path", "./Extensions/00000002/监听器.exe", recordingScript("first")}};
    const QList<std::pair<const char*, BoxAnswer>> answers{{"OK", BoxAnswer::click(QMessageBox::Ok)},
                                                           {"Enter", BoxAnswer::enter()},
                                                           {"Escape", BoxAnswer::escape()},
                                                           {"close", BoxAnswer::close()}};
    for (const auto& program : programs) {
        for (const auto& answer : answers) {
            QTest::addRow("%s, %s", std::get<0>(program), answer.first)
                << std::get<1>(program) << std::get<2>(program) << answer.second;
        }
    }
}

void TestChainlaunch::oneArgument()
{
    QFETCH(QByteArray, program);
    QFETCH(QByteArray, script);
    QFETCH(BoxAnswer, answer);

    if (!script.isEmpty())
        QVERIFY(writeBashScript(QString::fromUtf8(program), script));
    const Run run = runLauncher({program}, {answer});

    QVERIFY2(run.problems.isEmpty(), qPrintable(run.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(),
             (QStringList{QStringLiteral("pause 1000"), kEndedBox, QStringLiteral("exit 0")}));
    QCOMPARE(run.exitStatus, std::optional<int>(0));

    const BoxRecord& box = run.boxes.at(0);
    QCOMPARE(box.title, QString());
    QCOMPARE(box.text, QStringLiteral("程序运行已结束"));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(box.buttonTexts, QStringList{QStringLiteral("OK")});
    QCOMPARE(box.effectiveDefaultText, QStringLiteral("OK"));
    QVERIFY(!box.hasParent);

    if (!script.isEmpty()) {
        // Run without arguments, with nothing on its input, and to its end
        // before the box came up.
        QVERIFY(run.firstEndedBeforeBox);
        QCOMPARE(order(), QStringList{QStringLiteral("first 0 1")});
    }
}

void TestChainlaunch::threeOrMoreArguments()
{
    QVERIFY(writeBashScript(QStringLiteral("first.exe"), recordingScript("first")));
    QVERIFY(writeBashScript(QStringLiteral("second.exe"), recordingScript("second")));
    QVERIFY(writeBashScript(QStringLiteral("third.exe"), recordingScript("third")));

    const Run run =
        runLauncher({"./first.exe", "./second.exe", "./third.exe"}, {BoxAnswer::click(QMessageBox::Ok)});

    QVERIFY2(run.problems.isEmpty(), qPrintable(run.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(),
             (QStringList{QStringLiteral("pause 1000"), kEndedBox, QStringLiteral("exit 0")}));
    QCOMPARE(run.exitStatus, std::optional<int>(0));
    // Give a wrongly started program the time to show itself.
    QTest::qWait(500);
    QCOMPARE(order(), QStringList{QStringLiteral("first 0 1")});
}

void TestChainlaunch::firstProgramCannotStart_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<bool>("withSecond");

    QTest::newRow("missing") << QByteArray("./Extensions/00000002/missing.exe") << true;
    QTest::newRow("missing, no second") << QByteArray("./Extensions/00000002/missing.exe") << false;
    QTest::newRow("empty argument") << QByteArray() << true;
    QTest::newRow("not executable") << QByteArray("./plain.txt") << true;
    QTest::newRow("a folder") << QByteArray("./Extensions") << true;
    QTest::newRow("path with a line break") << QByteArray("./second.exe\n") << true;
}

void TestChainlaunch::firstProgramCannotStart()
{
    QFETCH(QByteArray, first);
    QFETCH(bool, withSecond);

    QVERIFY(m_workspace->writeFile(QStringLiteral("plain.txt"), "#!/bin/sh\nexit 0\n"));
    QVERIFY(m_workspace->makeDir(QStringLiteral("Extensions/00000002")));
    QVERIFY(writeBashScript(QStringLiteral("second.exe"), recordingScript("second")));

    QList<QByteArray> arguments{first};
    if (withSecond)
        arguments.append("./second.exe");
    const Run run = runLauncher(arguments);

    // The constructor returns: main then shows the empty window and waits
    // for the user. No box, no exit.
    QVERIFY2(run.problems.isEmpty(), qPrintable(run.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(), QStringList{QStringLiteral("pause 1000")});
    QVERIFY(!run.exitStatus);
    QVERIFY(run.window);
    QVERIFY(!run.window->isVisible());
    QCOMPARE(run.window->windowTitle(), QString());
    QVERIFY(!run.window->centralWidget());
    QVERIFY(!run.window->findChild<QMenuBar*>());
    QVERIFY(!run.window->findChild<QStatusBar*>());
    QCOMPARE(run.window->metaObject()->className(), "chainlaunch");

    QTest::qWait(500);
    QVERIFY(order().isEmpty());
}

void TestChainlaunch::twoArguments_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");

    QTest::newRow("as ORVA passes them") << QByteArray("./Extensions/00000002/Listener.exe")
                                         << QByteArray("./Extensions/00000009/Control.exe");
    QTest::newRow("spaces in the paths") << QByteArray("./Extensions/00000002/my listener.exe")
                                         << QByteArray("./Extensions/00000009/my control.exe");
    QTest::newRow("Chinese names") << QByteArray("./Extensions/00000002/监听器.exe")
                                   << QByteArray("./Extensions/00000009/控制器.exe");
    QTest::newRow("same program twice")
        << QByteArray("./Extensions/00000002/Self.exe") << QByteArray("./Extensions/00000002/Self.exe");
}

void TestChainlaunch::twoArguments()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);

    // The first program takes a moment to end, so a second program started
    // early would record itself first. The second one keeps running.
    const bool same = first == second;
    if (same) {
        QVERIFY(writeBashScript(QString::fromUtf8(first),
                                "if [ -e order.log ]; then\n" +
                                    recordingScript("second", "echo $$ > second.pid\nexec sleep 30\n") +
                                    "fi\n" + "sleep 0.3\n" + recordingScript("first")));
    } else {
        QVERIFY(writeBashScript(QString::fromUtf8(first), "sleep 0.3\n" + recordingScript("first")));
        QVERIFY(writeBashScript(QString::fromUtf8(second),
                                recordingScript("second", "echo $$ > second.pid\nexec sleep 30\n")));
    }

    const Run run = runLauncher({first, second});

    QVERIFY2(run.problems.isEmpty(), qPrintable(run.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(), (QStringList{QStringLiteral("pause 1000"), QStringLiteral("pause 1000"),
                                                QStringLiteral("exit 0")}));
    QCOMPARE(run.exitStatus, std::optional<int>(0));
    QVERIFY(run.boxes.isEmpty());

    QTRY_VERIFY(!m_workspace->readFile(QStringLiteral("second.pid")).trimmed().isEmpty());
    const pid_t secondPid = m_workspace->readFile(QStringLiteral("second.pid")).trimmed().toInt();
    QVERIFY(secondPid > 0);
    m_detached.append(secondPid);
    QCOMPARE(order(), (QStringList{QStringLiteral("first 0 1"), QStringLiteral("second 0 1")}));
    // Not waited for: still running after the launcher has ended.
    QCOMPARE(::kill(secondPid, 0), 0);
}

void TestChainlaunch::secondProgramMissing()
{
    QVERIFY(writeBashScript(QStringLiteral("first.exe"), recordingScript("first")));

    const Run run = runLauncher({"./first.exe", "./missing.exe"});

    // Not reported: the launcher still pauses and ends with 0.
    QVERIFY2(run.problems.isEmpty(), qPrintable(run.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(), (QStringList{QStringLiteral("pause 1000"), QStringLiteral("pause 1000"),
                                                QStringLiteral("exit 0")}));
    QCOMPARE(run.exitStatus, std::optional<int>(0));
    QCOMPARE(order(), QStringList{QStringLiteral("first 0 1")});
}

QTEST_MAIN(TestChainlaunch)
#include "tst_chainlaunch.moc"
