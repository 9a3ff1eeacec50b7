// The main window's three actions, in-process on the offscreen platform:
// Manage opens one more manager window after its notice, About shows the
// About box, Exit closes every launcher in order and ends with status 0;
// and the main window's destructor deletes only the window it refers to.

#include "Addonsmanager.h"
#include "ExtensionPaths.h"
#include "LauncherProcess.h"
#include "ManagerTestSupport.h"
#include "ManagerWindow.h"
#include "ModalAnswerer.h"
#include "ORVA.h"
#include "Platform.h"
#include "ProcessList.h"
#include "TempWorkspace.h"
#include "TestJournal.h"

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QtTest>
#include <csignal>
#include <memory>
#include <optional>
#include <sys/types.h>

using namespace managertest;

namespace {

const QString kManageTitle = QStringLiteral("关于扩展管理器");
const QString kManageText = QStringLiteral("此扩展控制器将在此后开启自定义功能。");
const QString kExitTitle = QStringLiteral("退出ORVA");
const QString kExitText = QStringLiteral("您即将退出ORVA，此确定页面将在未来开放开发端口。");
const QString kAboutTitle = QStringLiteral("关于ORVA");
const QString kAboutText = QStringLiteral(
    "这个程序是作者Morvath独立开发的应用程序。具有可扩展性且可扩展性极强，可以装载可支持的任何形式的扩展程序"
    "。"
    "扩展程序可以是可执行文件，适用于Windows的脚本文件，或者可以使用其他应用程序控制的物理和非物理模块，"
    "可用于任何能与计算机产生联系的设备和程序。\n\n"
    "ORVA，全称为Quillmar，意为集中控制器。\n\n"
    "此应用的版本为“创新开发β”，若需要转入官方的Release正式版本，请关注morvath.example.com，"
    "在个人官网内查看更新信息。更新信息目前没有，网站没有时间维护。");

const QString kLauncherRuns = QStringLiteral("launcher-runs.log");
const QString kExtensionPids = QStringLiteral("extension-pids.log");

QString problemsOf(const ModalAnswerer& answerer)
{
    return answerer.problems().join(QLatin1Char('\n'));
}

// Alive and not a zombie.
bool processRuns(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int end = line.lastIndexOf(')');
    return end >= 0 && line.size() > end + 2 && line.at(end + 2) != 'Z';
}

} // namespace

class TestOrvaMenus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void manageOpensOneMoreWindow_data();
    void manageOpensOneMoreWindow();
    void twoManageTriggersLeaveTwoWindows();
    void manageAfterOkReadsListsAfresh();
    void manageAfterTitleBarCloseOpensAFreshWindow();

    void about_data();
    void about();

    void exitClosesLaunchersInOrder_data();
    void exitClosesLaunchersInOrder();
    void exitWithoutLaunchers_data();
    void exitWithoutLaunchers();
    void exitLeavesWindowsAlone();

    void destructorDeletesOnlyTheReferencedWindow();
    void destructorAfterOkLeavesEarlierWindows();
    void destructorDeletesHiddenReferencedWindow();

private:
    QAction* action(const char* name) const;
    void manage(const BoxAnswer& answer = BoxAnswer::click(QMessageBox::Ok));
    std::optional<int> exitAction();
    LauncherProcess* addLauncher(bool started);
    void verifyNotice(const BoxRecord& box, const QString& title, const QString& text);

    std::unique_ptr<TempWorkspace> m_workspace;
    std::unique_ptr<JournalHooks> m_hooks;
    std::unique_ptr<ORVA> m_window;
};

void TestOrvaMenus::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
    m_hooks = std::make_unique<JournalHooks>();
    managerWindow().clear();

    // An empty Listener list: start-up shows its two notices and starts nothing.
    QVERIFY(writeEmptyStartLists(*m_workspace));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/ExtensionName.etn"), "Beta"));
    ModalAnswerer answerer({BoxAnswer::click(QMessageBox::Ok), BoxAnswer::click(QMessageBox::No)});
    try {
        m_window = std::make_unique<ORVA>();
    } catch (const ProcessExit& exit) {
        QFAIL(qPrintable(QStringLiteral("start-up exited with %1").arg(exit.status)));
    }
    QVERIFY2(answerer.problems().isEmpty(), qPrintable(problemsOf(answerer)));
    QCOMPARE(answerer.boxes().size(), 2);
    QVERIFY(processList().isEmpty());
    testjournal::clear();
}

void TestOrvaMenus::cleanup()
{
    m_window.reset();
    for (Addonsmanager* window : managerWindows())
        delete window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    managerWindow().clear();
    for (LauncherProcess* launcher : processList()) {
        launcher->closeWithoutRestart();
        delete launcher;
    }
    processList().clear();
    // What the stand-in launchers left running on purpose.
    if (m_workspace) {
        for (const QByteArray& pid : m_workspace->readFile(kExtensionPids).split('\n')) {
            if (pid.toLongLong() > 1)
                ::kill(static_cast<pid_t>(pid.toLongLong()), SIGKILL);
        }
    }
    m_hooks.reset();
    m_workspace.reset();
}

QAction* TestOrvaMenus::action(const char* name) const
{
    return m_window ? m_window->findChild<QAction*>(QLatin1String(name)) : nullptr;
}

void TestOrvaMenus::manage(const BoxAnswer& answer)
{
    QAction* manageAction = action("actionManage");
    QVERIFY(manageAction);
    ModalAnswerer answerer({answer});
    ignoreLoadingBox(answerer);
    manageAction->trigger();
    QVERIFY2(answerer.problems().isEmpty(), qPrintable(problemsOf(answerer)));
    QCOMPARE(answerer.boxes().size(), 1);
}

std::optional<int> TestOrvaMenus::exitAction()
{
    // Called directly: the replaced exit throws, and that must not unwind
    // through the toolkit's action handling.
    try {
        QMetaObject::invokeMethod(m_window.get(), "on_actionExit_triggered", Qt::DirectConnection);
    } catch (const ProcessExit& exit) {
        return exit.status;
    }
    return std::nullopt;
}

LauncherProcess* TestOrvaMenus::addLauncher(bool started)
{
    auto* launcher = new LauncherProcess(platform::processPath(extensions::kChainlaunchPath));
    launcher->setArguments(
        {QStringLiteral("./Extensions/00000002/Beta.exe"), QStringLiteral("./Extensions/00000002/Beta.exe")});
    processList().append(launcher);
    if (started) {
        launcher->launch();
        launcher->waitForStarted();
    }
    return launcher;
}

void TestOrvaMenus::verifyNotice(const BoxRecord& box, const QString& title, const QString& text)
{
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(box.buttonTexts, QStringList{QStringLiteral("OK")});
    QCOMPARE(box.defaultButton, QMessageBox::Ok);
    QCOMPARE(box.effectiveDefaultText, QStringLiteral("OK"));
    QVERIFY(!box.hasParent);
}

void TestOrvaMenus::manageOpensOneMoreWindow_data()
{
    QTest::addColumn<BoxAnswer>("answer");

    QTest::newRow("OK") << BoxAnswer::click(QMessageBox::Ok);
    QTest::newRow("Enter") << BoxAnswer::enter();
    QTest::newRow("Escape") << BoxAnswer::escape();
    QTest::newRow("close") << BoxAnswer::close();
}

void TestOrvaMenus::manageOpensOneMoreWindow()
{
    QFETCH(BoxAnswer, answer);

    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Controller.etl"), "00000002\n"));
    QAction* manageAction = action("actionManage");
    QVERIFY(manageAction);
    ModalAnswerer answerer({answer});
    ignoreLoadingBox(answerer);
    int windowsDuringBox = -1;
    answerer.setInspector([&windowsDuringBox](QMessageBox*) { windowsDuringBox = managerWindows().size(); });
    manageAction->trigger();

    QVERIFY2(answerer.problems().isEmpty(), qPrintable(problemsOf(answerer)));
    QCOMPARE(answerer.boxes().size(), 1);
    verifyNotice(answerer.boxes().first(), kManageTitle, kManageText);
    // The window comes after the box.
    QCOMPARE(windowsDuringBox, 0);
    QCOMPARE(testjournal::lines(),
             QStringList{QStringLiteral("box ") + kManageTitle + QStringLiteral(" | ") + kManageText});

    const QList<Addonsmanager*> windows = managerWindows();
    QCOMPARE(windows.size(), 1);
    Addonsmanager* window = windows.first();
    QCOMPARE(managerWindow().data(), window);
    QVERIFY(window->isVisible());
    QVERIFY(window->isWindow());
    QVERIFY(!window->parentWidget());
    // Shown without modality: the main window stays usable.
    QCOMPARE(window->windowModality(), Qt::NonModal);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(entries(window, QStringLiteral("listView_2")), QStringList{QStringLiteral("Beta")});
}

void TestOrvaMenus::twoManageTriggersLeaveTwoWindows()
{
    manage();
    const QPointer<Addonsmanager> first = managerWindow();
    QVERIFY(first);
    manage(BoxAnswer::escape());
    const QPointer<Addonsmanager> second = managerWindow();
    QVERIFY(second);

    QVERIFY(first != second);
    QCOMPARE(managerWindows().size(), 2);
    QVERIFY(first->isVisible());
    QVERIFY(second->isVisible());
    QCOMPARE(managerWindow().data(), second.data());
}

void TestOrvaMenus::manageAfterOkReadsListsAfresh()
{
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), "00000002"));
    manage();
    const QPointer<Addonsmanager> first = managerWindow();
    QVERIFY(first);
    QCOMPARE(entries(first, QStringLiteral("listView_3")), QStringList{QStringLiteral("Beta")});

    auto* ok = first->findChild<QPushButton*>(QStringLiteral("pushButton_5"));
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(managerWindow().isNull());
    QTRY_VERIFY(first.isNull());

    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), "00000002 00000002"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/ExtensionName.etn"), "Beta 2"));
    manage();
    QVERIFY(managerWindow());
    QCOMPARE(managerWindows().size(), 1);
    QCOMPARE(entries(managerWindow(), QStringLiteral("listView_3")),
             (QStringList{QStringLiteral("Beta 2"), QStringLiteral("Beta 2")}));
}

void TestOrvaMenus::manageAfterTitleBarCloseOpensAFreshWindow()
{
    manage();
    const QPointer<Addonsmanager> first = managerWindow();
    QVERIFY(first);
    QVERIFY(first->close());
    QCOMPARE(managerWindow().data(), first.data());

    manage();
    QVERIFY(first);
    QVERIFY(!first->isVisible());
    QVERIFY(managerWindow());
    QVERIFY(managerWindow() != first);
    QVERIFY(managerWindow()->isVisible());
}

void TestOrvaMenus::about_data()
{
    QTest::addColumn<BoxAnswer>("answer");

    QTest::newRow("OK") << BoxAnswer::click(QMessageBox::Ok);
    QTest::newRow("Escape") << BoxAnswer::escape();
}

void TestOrvaMenus::about()
{
    QFETCH(BoxAnswer, answer);

    manage();
    const QPointer<Addonsmanager> before = managerWindow();
    QAction* aboutAction = action("actionAbout");
    QVERIFY(aboutAction);
    ModalAnswerer answerer({answer});
    aboutAction->trigger();

    QVERIFY2(answerer.problems().isEmpty(), qPrintable(problemsOf(answerer)));
    QCOMPARE(answerer.boxes().size(), 1);
    const BoxRecord& box = answerer.boxes().first();
    verifyNotice(box, kAboutTitle, kAboutText);
    // Three paragraphs, one empty line between each two; the website inside.
    const QStringList paragraphs = box.text.split(QStringLiteral("\n\n"));
    QCOMPARE(paragraphs.size(), 3);
    for (const QString& paragraph : paragraphs)
        QVERIFY(!paragraph.isEmpty() && !paragraph.contains(QLatin1Char('\n')));
    QVERIFY(paragraphs.at(2).contains(QStringLiteral("请关注morvath.example.com，在个人官网")));

    // Nothing else happens.
    QCOMPARE(managerWindows().size(), 1);
    QCOMPARE(managerWindow().data(), before.data());
}

void TestOrvaMenus::exitClosesLaunchersInOrder_data()
{
    QTest::addColumn<BoxAnswer>("answer");

    QTest::newRow("OK") << BoxAnswer::click(QMessageBox::Ok);
    QTest::newRow("Enter") << BoxAnswer::enter();
    QTest::newRow("Escape") << BoxAnswer::escape();
    QTest::newRow("close") << BoxAnswer::close();
}

void TestOrvaMenus::exitClosesLaunchersInOrder()
{
    QFETCH(BoxAnswer, answer);

    // Stands in for chainlaunch: leaves a program of its own running, as
    // chainlaunch leaves the control extension, then runs until it is killed.
    QVERIFY(m_workspace->writeScript(QStringLiteral("Extensions/chainlaunch.exe"),
                                     "sleep 30 &\n"
                                     "echo $! >> " +
                                         kExtensionPids.toUtf8() +
                                         "\n"
                                         "echo $$ >> " +
                                         kLauncherRuns.toUtf8() + "\nexec sleep 30\n"));
    // One entry was never started: its extension failed at start-up.
    const QList<LauncherProcess*> launchers{addLauncher(true), addLauncher(false), addLauncher(true),
                                            addLauncher(true)};
    QTRY_COMPARE(m_workspace->readFile(kLauncherRuns).count('\n'), 3);
    QTRY_COMPARE(m_workspace->readFile(kExtensionPids).count('\n'), 3);
    for (int i : {0, 2, 3})
        QCOMPARE(launchers.at(i)->state(), QProcess::Running);

    const auto states = [&launchers] {
        QString text;
        for (LauncherProcess* launcher : launchers)
            text += launcher->state() == QProcess::NotRunning ? QLatin1Char('-') : QLatin1Char('R');
        return text;
    };
    // Each close, with the states of all launchers as it begins. The
    // connections go with `recorder`, before the launchers are closed again.
    QStringList closes;
    QObject recorder;
    for (int i = 0; i < launchers.size(); ++i) {
        connect(launchers.at(i), &QProcess::aboutToClose, &recorder, [&closes, &states, i] {
            const QString prefix = QString::number(i) + QLatin1Char(' ');
            // The device's own close announces itself a second time.
            if (closes.isEmpty() || !closes.last().startsWith(prefix))
                closes.append(prefix + states());
        });
    }

    ModalAnswerer answerer({answer});
    QString statesDuringBox;
    answerer.setInspector([&statesDuringBox, &states](QMessageBox*) { statesDuringBox = states(); });
    const std::optional<int> status = exitAction();

    QVERIFY2(answerer.problems().isEmpty(), qPrintable(problemsOf(answerer)));
    QCOMPARE(answerer.boxes().size(), 1);
    verifyNotice(answerer.boxes().first(), kExitTitle, kExitText);
    QCOMPARE(statesDuringBox, QStringLiteral("R-RR"));
    QCOMPARE(status, std::optional<int>(0));
    QCOMPARE(testjournal::lines(),
             (QStringList{QStringLiteral("box ") + kExitTitle + QStringLiteral(" | ") + kExitText,
                          QStringLiteral("exit 0")}));
    // In list order, each ended before the next is closed.
    QCOMPARE(closes, (QStringList{QStringLiteral("0 R-RR"), QStringLiteral("1 --RR"),
                                  QStringLiteral("2 --RR"), QStringLiteral("3 ---R")}));
    QCOMPARE(states(), QStringLiteral("----"));
    QCOMPARE(processList(), launchers);

    // None is started again, however long the program would have run on.
    QTest::qWait(LauncherProcess::kMinimumRunMs + 500);
    QCOMPARE(states(), QStringLiteral("----"));
    for (LauncherProcess* launcher : launchers) {
        QVERIFY(!launcher->restartsEnabled());
        QVERIFY(!launcher->restartPending());
    }
    QCOMPARE(m_workspace->readFile(kLauncherRuns).count('\n'), 3);
    // What the launchers started keeps running.
    for (const QByteArray& pid : m_workspace->readFile(kExtensionPids).trimmed().split('\n'))
        QVERIFY2(processRuns(pid.toLongLong()), pid.constData());
}

void TestOrvaMenus::exitWithoutLaunchers_data()
{
    exitClosesLaunchersInOrder_data();
}

void TestOrvaMenus::exitWithoutLaunchers()
{
    QFETCH(BoxAnswer, answer);

    QVERIFY(action("actionExit"));
    ModalAnswerer answerer({answer});
    const std::optional<int> status = exitAction();

    QVERIFY2(answerer.problems().isEmpty(), qPrintable(problemsOf(answerer)));
    QCOMPARE(answerer.boxes().size(), 1);
    verifyNotice(answerer.boxes().first(), kExitTitle, kExitText);
    QCOMPARE(status, std::optional<int>(0));
    QCOMPARE(testjournal::lines(),
             (QStringList{QStringLiteral("box ") + kExitTitle + QStringLiteral(" | ") + kExitText,
                          QStringLiteral("exit 0")}));
}

void TestOrvaMenus::exitLeavesWindowsAlone()
{
    manage();
    const QPointer<Addonsmanager> window = managerWindow();
    QVERIFY(window);
    QVERIFY(action("actionExit"));
    ModalAnswerer answerer({BoxAnswer::click(QMessageBox::Ok)});
    QCOMPARE(exitAction(), std::optional<int>(0));

    // The process ends as it stands: nothing is destroyed first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(managerWindow().data(), window.data());
    QVERIFY(m_window);
}

void TestOrvaMenus::destructorDeletesOnlyTheReferencedWindow()
{
    manage();
    const QPointer<Addonsmanager> first = managerWindow();
    manage();
    const QPointer<Addonsmanager> second = managerWindow();
    QVERIFY(first && second && first != second);

    m_window.reset();
    QVERIFY(second.isNull());
    QVERIFY(managerWindow().isNull());
    QVERIFY(first);
    QVERIFY(first->isVisible());
}

void TestOrvaMenus::destructorAfterOkLeavesEarlierWindows()
{
    manage();
    const QPointer<Addonsmanager> first = managerWindow();
    manage();
    const QPointer<Addonsmanager> second = managerWindow();
    QVERIFY(first && second && first != second);

    auto* ok = second->findChild<QPushButton*>(QStringLiteral("pushButton_5"));
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(managerWindow().isNull());
    QTRY_VERIFY(second.isNull());

    m_window.reset();
    QVERIFY(first);
    QVERIFY(first->isVisible());
}

void TestOrvaMenus::destructorDeletesHiddenReferencedWindow()
{
    manage();
    const QPointer<Addonsmanager> window = managerWindow();
    QVERIFY(window);
    QVERIFY(window->close());
    QVERIFY(window);

    m_window.reset();
    QVERIFY(window.isNull());
}

QTEST_MAIN(TestOrvaMenus)
#include "tst_orvamenus.moc"
