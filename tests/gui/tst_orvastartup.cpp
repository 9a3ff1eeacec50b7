// ORVA's start-up, run in-process: the notices, the loading notice, the
// recovery of the Listener list, the start-up launcher and the main window
// that comes up at the end. Boxes are answered from a timer; pauses and the
// process exit are replaced so that every path can be observed.

#include "LauncherProcess.h"
#include "ModalAnswerer.h"
#include "ORVA.h"
#include "ProcessList.h"
#include "TempWorkspace.h"
#include "TestBytes.h"
#include "TestJournal.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>
#include <memory>
#include <optional>

namespace {

const QString kFirstNotice = QStringLiteral("box 参赛作品-ORVA | 请认真阅读接下来的每一个消息对话框。");
const QString kSecondNoticeText = QStringLiteral(
    "此应用程序是一个半成品，由于此项目可以长期维护并且可以由第三方开发者开发扩展程序，所以程序会在作者的个人"
    "网站上"
    "上传下载连接。\n点击确定以跳转到作者的个人网站（正在开发中，现在没有下载链接），点击取消以进入程序。");
const QString kSecondNotice = QStringLiteral("box 参赛作品-ORVA | ") + kSecondNoticeText;
const QString kLoadingList =
    QStringLiteral("pause 1000 [加载中-ORVA | 请等待程序加载扩展启动列表,过程中可能会未响应。]");
const QString kWebsiteErrorText = QStringLiteral("无法打开链接，请访问https://morvath.example.com/");
const QString kRecoveryText =
    QStringLiteral("无法获取扩展程序列表，程序即将退出！\n你可以点击\"继续\"来创建一个空的启动列表，"
                   "但是我们不会删除您的扩展程序。");
const QString kLauncherProgram = QStringLiteral("./Extensions/chainlaunch.exe");
const QString kLauncherLog = QStringLiteral("launcher-runs.log");

const QStringList kListFiles{QStringLiteral("Listener.etl"), QStringLiteral("Controller.etl"),
                             QStringLiteral("Runner.etl"), QStringLiteral("Structure.etl"),
                             QStringLiteral("MainControllerExtension.etl")};

QString loadingPause(const QByteArray& name)
{
    return QStringLiteral("pause 1000 [加载中-ORVA | 请等待程序加载扩展\"") + QString::fromUtf8(name) +
           QStringLiteral("\",过程中可能会未响应。]");
}

QString failureText(const QByteArray& id)
{
    return QStringLiteral("扩展程序\"{id:") + QString::fromUtf8(id) +
           QStringLiteral("}\"启动失败！请问你是要关闭ORVA还是跳过此扩展继续运行?");
}

QString debugLine(const QByteArray& bytes)
{
    return QStringLiteral("debug ") + QString::fromUtf8(bytes);
}

// Journal of one extension that reaches the start of its launcher.
QStringList launchedJournal(const QByteArray& id, const QByteArray& name, bool started = true)
{
    return {debugLine(id), loadingPause(name), debugLine(name), loadingPause(name),
            started ? QStringLiteral("debug 程序已经启动") : QStringLiteral("debug 无法启动程序")};
}

QString launcherRun(const QString& first, const QString& second)
{
    return QStringLiteral("2|%1|%2").arg(first, second);
}

// Answers that enter the program; the journal starts with these lines.
const QList<BoxAnswer> kEnter{BoxAnswer::click(QMessageBox::Ok), BoxAnswer::click(QMessageBox::No)};
const QStringList kEnteredJournal{kFirstNotice, kSecondNotice, kLoadingList};

enum class RecoverySetup { NoStartFolder, SomeListsExist, ListenerIsFolder, StartIsFile };
enum class BrokenExtension {
    NoFolder,
    NoNameFile,
    NameFileIsFolder,
    NoControlFile,
    ControlNamesMissingExtension,
    ControlExtensionWithoutNameFile,
    NameEndsWithLineBreak,
    NameEndsWithCrLf,
    ControlIdEndsWithLineBreak,
};

} // namespace

Q_DECLARE_METATYPE(RecoverySetup)
Q_DECLARE_METATYPE(BrokenExtension)

class TestOrvaStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noticesLeadIntoTheProgram_data();
    void noticesLeadIntoTheProgram();
    void noticeBoxes();
    void websiteChosen_data();
    void websiteChosen();
    void websiteCannotBeOpened_data();
    void websiteCannotBeOpened();
    void emptyListenerList_data();
    void emptyListenerList();
    void loadingNoticeNamesEachExtension();
    void loadingNoticeOkHidesItForGood();
    void recovery_data();
    void recovery();
    void launchFailure_data();
    void launchFailure();
    void duplicateAndSelfControlledExtensions();
    void missingLauncher();
    void launchersRestartAfterStartup();
    void mainWindow();

private:
    struct Startup
    {
        std::unique_ptr<ORVA> window;
        std::optional<int> exitStatus;
        QList<BoxRecord> boxes;
        QStringList problems;
    };
    Startup runStartup(const QList<BoxAnswer>& answers);

    void writeLauncher(bool keepsRunning = true);
    void addExtension(const QByteArray& id, const QByteArray& name, const QByteArray& controlId);
    void writeListenerList(const QByteArray& content);
    void verifyErrorQuestion(const BoxRecord& box, const QString& text);
    QStringList launcherRuns() const;
    QMap<QString, QByteArray> startFolder() const;

    std::unique_ptr<TempWorkspace> m_workspace;
    std::unique_ptr<JournalHooks> m_hooks;
};

void TestOrvaStartup::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
    m_hooks = std::make_unique<JournalHooks>();
}

void TestOrvaStartup::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    // The list is program-wide: each test starts with it empty and ends
    // with every launcher it caused killed.
    for (LauncherProcess* launcher : processList()) {
        launcher->closeWithoutRestart();
        delete launcher;
    }
    processList().clear();
    m_hooks.reset();
    m_workspace.reset();
}

TestOrvaStartup::Startup TestOrvaStartup::runStartup(const QList<BoxAnswer>& answers)
{
    Startup startup;
    ModalAnswerer answerer(answers);
    try {
        startup.window = std::make_unique<ORVA>();
    } catch (const ProcessExit& exit) {
        startup.exitStatus = exit.status;
    }
    startup.boxes = answerer.boxes();
    startup.problems = answerer.problems();
    return startup;
}

void TestOrvaStartup::writeLauncher(bool keepsRunning)
{
    // Stands in for chainlaunch: records its arguments in the working
    // directory it inherited, then runs until it is killed, or ends at once.
    QByteArray body = "printf '%s|%s|%s\\n' \"$#\" \"$1\" \"$2\" >> " + kLauncherLog.toUtf8() + "\n";
    if (keepsRunning)
        body += "exec sleep 30\n";
    QVERIFY(m_workspace->writeScript(QStringLiteral("Extensions/chainlaunch.exe"), body));
}

void TestOrvaStartup::addExtension(const QByteArray& id, const QByteArray& name, const QByteArray& controlId)
{
    const QString folder = QStringLiteral("Extensions/") + QString::fromUtf8(id) + QLatin1Char('/');
    QVERIFY(m_workspace->writeFile(folder + QStringLiteral("ExtensionName.etn"), name));
    QVERIFY(m_workspace->writeFile(folder + QString::fromUtf8(name) + QStringLiteral(".control"), controlId));
    QVERIFY(m_workspace->writeScript(folder + QString::fromUtf8(name) + QStringLiteral(".exe"), "exit 0\n"));
}

void TestOrvaStartup::writeListenerList(const QByteArray& content)
{
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), content));
}

void TestOrvaStartup::verifyErrorQuestion(const BoxRecord& box, const QString& text)
{
    QCOMPARE(box.title, QStringLiteral("错误-ORVA"));
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, (QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::No}));
    QCOMPARE(box.buttonTexts, (QStringList{QStringLiteral("继续"), QStringLiteral("关闭")}));
    QCOMPARE(box.defaultButton, QMessageBox::Yes);
    QCOMPARE(box.effectiveDefaultText, QStringLiteral("继续"));
    QVERIFY(!box.hasParent);
}

QStringList TestOrvaStartup::launcherRuns() const
{
    QStringList runs = QString::fromUtf8(m_workspace->readFile(kLauncherLog)).split(QLatin1Char('\n'));
    runs.removeAll(QString());
    runs.sort();
    return runs;
}

QMap<QString, QByteArray> TestOrvaStartup::startFolder() const
{
    QMap<QString, QByteArray> files;
    const QDir start(m_workspace->filePath(QStringLiteral("Start")));
    for (const QFileInfo& entry : start.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot))
        files.insert(entry.fileName(),
                     entry.isDir() ? QByteArray("<folder>")
                                   : m_workspace->readFile(QStringLiteral("Start/") + entry.fileName()));
    return files;
}

void TestOrvaStartup::noticesLeadIntoTheProgram_data()
{
    QTest::addColumn<BoxAnswer>("first");
    QTest::addColumn<BoxAnswer>("second");

    // The first notice has only Ok: every way of leaving it is Ok. On the
    // second, every way but Yes enters the program.
    const QList<std::pair<const char*, BoxAnswer>> firstAnswers{{"Ok", BoxAnswer::click(QMessageBox::Ok)},
                                                                {"Enter", BoxAnswer::enter()},
                                                                {"Escape", BoxAnswer::escape()},
                                                                {"close", BoxAnswer::close()}};
    const QList<std::pair<const char*, BoxAnswer>> secondAnswers{{"No", BoxAnswer::click(QMessageBox::No)},
                                                                 {"Escape", BoxAnswer::escape()},
                                                                 {"close", BoxAnswer::close()}};
    for (const auto& first : firstAnswers) {
        for (const auto& second : secondAnswers) {
            QTest::addRow("%s, then %s", first.first, second.first) << first.second << second.second;
        }
    }
}

void TestOrvaStartup::noticesLeadIntoTheProgram()
{
    QFETCH(BoxAnswer, first);
    QFETCH(BoxAnswer, second);

    writeListenerList("");
    const Startup startup = runStartup({first, second});

    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(), kEnteredJournal);
    QVERIFY(!startup.exitStatus);
    QVERIFY(startup.window);
    // main shows the window; the constructor leaves it hidden and no box behind.
    QVERIFY(!startup.window->isVisible());
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY2(!qobject_cast<QMessageBox*>(widget), qPrintable(widget->windowTitle()));
}

void TestOrvaStartup::noticeBoxes()
{
    writeListenerList("");
    const Startup startup = runStartup(kEnter);
    QCOMPARE(startup.boxes.size(), 2);

    const BoxRecord& first = startup.boxes.at(0);
    QCOMPARE(first.title, QStringLiteral("参赛作品-ORVA"));
    QCOMPARE(first.text, QStringLiteral("请认真阅读接下来的每一个消息对话框。"));
    QCOMPARE(first.icon, QMessageBox::NoIcon);
    QCOMPARE(first.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(first.buttonTexts, QStringList{QStringLiteral("OK")});
    QCOMPARE(first.defaultButton, QMessageBox::Ok);
    QCOMPARE(first.effectiveDefaultText, QStringLiteral("OK"));
    QVERIFY(!first.hasParent);

    // Yes and No with Qt's own labels, not Ok and Cancel.
    const BoxRecord& second = startup.boxes.at(1);
    QCOMPARE(second.title, QStringLiteral("参赛作品-ORVA"));
    QCOMPARE(second.text, kSecondNoticeText);
    QCOMPARE(second.icon, QMessageBox::NoIcon);
    QCOMPARE(second.buttons, (QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::No}));
    QCOMPARE(second.buttonTexts, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
    QCOMPARE(second.defaultButton, QMessageBox::Yes);
    QCOMPARE(second.effectiveDefaultText, QStringLiteral("&Yes"));
    QVERIFY(!second.hasParent);
}

void TestOrvaStartup::websiteChosen_data()
{
    QTest::addColumn<BoxAnswer>("first");
    QTest::addColumn<BoxAnswer>("second");

    QTest::newRow("Ok, Yes") << BoxAnswer::click(QMessageBox::Ok) << BoxAnswer::click(QMessageBox::Yes);
    QTest::newRow("Ok, Enter") << BoxAnswer::click(QMessageBox::Ok) << BoxAnswer::enter();
    QTest::newRow("Escape, Yes") << BoxAnswer::escape() << BoxAnswer::click(QMessageBox::Yes);
    QTest::newRow("close, Yes") << BoxAnswer::close() << BoxAnswer::click(QMessageBox::Yes);
}

void TestOrvaStartup::websiteChosen()
{
    QFETCH(BoxAnswer, first);
    QFETCH(BoxAnswer, second);

    // No Start folder: had the launcher run, the recovery box would show.
    UrlRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    const Startup startup = runStartup({first, second});

    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(),
             (QStringList{kFirstNotice, kSecondNotice, QStringLiteral("url https://morvath.example.com"),
                          QStringLiteral("pause 200"), QStringLiteral("exit 0")}));
    QCOMPARE(startup.exitStatus, std::optional<int>(0));
    QVERIFY(!startup.window);
    QVERIFY(processList().isEmpty());
    QVERIFY(!m_workspace->exists(QStringLiteral("Start")));
}

void TestOrvaStartup::websiteCannotBeOpened_data()
{
    QTest::addColumn<BoxAnswer>("errorAnswer");

    QTest::newRow("Ok") << BoxAnswer::click(QMessageBox::Ok);
    QTest::newRow("Enter") << BoxAnswer::enter();
    QTest::newRow("Escape") << BoxAnswer::escape();
    QTest::newRow("close") << BoxAnswer::close();
}

void TestOrvaStartup::websiteCannotBeOpened()
{
    QFETCH(BoxAnswer, errorAnswer);

    // The offscreen platform has no browser: openUrl reports failure.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("openUrl")));
    writeListenerList("00000002\n");
    const Startup startup =
        runStartup({BoxAnswer::click(QMessageBox::Ok), BoxAnswer::click(QMessageBox::Yes), errorAnswer});

    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(),
             (QStringList{kFirstNotice, kSecondNotice, QStringLiteral("box 错误-ORVA | ") + kWebsiteErrorText,
                          QStringLiteral("pause 200"), QStringLiteral("exit 0")}));
    QCOMPARE(startup.exitStatus, std::optional<int>(0));
    QVERIFY(processList().isEmpty());

    const BoxRecord& error = startup.boxes.at(2);
    QCOMPARE(error.title, QStringLiteral("错误-ORVA"));
    QCOMPARE(error.text, kWebsiteErrorText);
    QCOMPARE(error.icon, QMessageBox::Information);
    QCOMPARE(error.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(error.buttonTexts, QStringList{QStringLiteral("OK")});
    QCOMPARE(error.defaultButton, QMessageBox::Ok);
    QCOMPARE(error.effectiveDefaultText, QStringLiteral("OK"));
    QVERIFY(!error.hasParent);
}

void TestOrvaStartup::emptyListenerList_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("whitespace only") << QByteArray(" \n\t\r\n\v\f");
}

void TestOrvaStartup::emptyListenerList()
{
    QFETCH(QByteArray, content);

    writeLauncher();
    writeListenerList(content);
    const Startup startup = runStartup(kEnter);

    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(), kEnteredJournal);
    QVERIFY(startup.window);
    QVERIFY(processList().isEmpty());
    // The other lists are neither read nor created.
    QCOMPARE(startFolder().keys(), QStringList{QStringLiteral("Listener.etl")});
}

void TestOrvaStartup::loadingNoticeNamesEachExtension()
{
    writeLauncher();
    addExtension("00000002", "监听器", "00000009");
    addExtension("00000003", "Second Listener", "00000009");
    addExtension("00000009", "控制器", "00000002");
    writeListenerList("00000002\n00000003\n");

    const Startup startup = runStartup(kEnter);

    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(), kEnteredJournal + launchedJournal("00000002", "监听器") +
                                       launchedJournal("00000003", "Second Listener"));
    QVERIFY(startup.window);

    const QString control = QStringLiteral("./Extensions/00000009/控制器.exe");
    const QList<QStringList> arguments{
        {QStringLiteral("./Extensions/00000002/监听器.exe"), control},
        {QStringLiteral("./Extensions/00000003/Second Listener.exe"), control}};
    QCOMPARE(processList().size(), 2);
    for (int i = 0; i < 2; ++i) {
        LauncherProcess* launcher = processList().at(i);
        QCOMPARE(launcher->program(), kLauncherProgram);
        QCOMPARE(launcher->arguments(), arguments.at(i));
        QCOMPARE(launcher->state(), QProcess::Running);
    }
    // The launchers received those arguments and run in ORVA's working directory.
    QStringList expectedRuns{launcherRun(arguments[0][0], control), launcherRun(arguments[1][0], control)};
    expectedRuns.sort();
    QTRY_COMPARE(launcherRuns(), expectedRuns);
}

void TestOrvaStartup::loadingNoticeOkHidesItForGood()
{
    writeLauncher();
    addExtension("00000002", "监听器", "00000002");
    writeListenerList("00000002\n");

    // Ok on the loading notice is answered during the first pause, the
    // earliest moment at which a user's click could be processed.
    bool clicked = false;
    JournalHooks::setPauseAction([&clicked](int) {
        if (clicked)
            return;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible() && box->button(QMessageBox::Ok)) {
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
                clicked = true;
            }
        }
    });
    const Startup startup = runStartup(kEnter);

    QVERIFY(clicked);
    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(),
             kEnteredJournal + QStringList({QStringLiteral("debug 00000002"), QStringLiteral("pause 1000"),
                                            QStringLiteral("debug 监听器"), QStringLiteral("pause 1000"),
                                            QStringLiteral("debug 程序已经启动")}));
    QVERIFY(startup.window);
    QCOMPARE(processList().size(), 1);
    QCOMPARE(processList().at(0)->state(), QProcess::Running);
}

void TestOrvaStartup::recovery_data()
{
    QTest::addColumn<RecoverySetup>("setup");
    QTest::addColumn<BoxAnswer>("answer");
    QTest::addColumn<bool>("continues");

    const QList<std::tuple<const char*, BoxAnswer, bool>> answers{
        {"继续", BoxAnswer::click(QMessageBox::Yes), true},
        {"Enter", BoxAnswer::enter(), true},
        {"关闭", BoxAnswer::click(QMessageBox::No), false},
        {"Escape", BoxAnswer::escape(), false},
        {"close", BoxAnswer::close(), false}};
    const QList<std::pair<const char*, RecoverySetup>> setups{
        {"no Start folder", RecoverySetup::NoStartFolder},
        {"other lists exist", RecoverySetup::SomeListsExist},
        {"Listener.etl is a folder", RecoverySetup::ListenerIsFolder},
        {"Start is a file", RecoverySetup::StartIsFile}};
    for (const auto& setup : setups) {
        for (const auto& answer : answers) {
            QTest::addRow("%s, %s", setup.first, std::get<0>(answer))
                << setup.second << std::get<1>(answer) << std::get<2>(answer);
        }
    }
}

void TestOrvaStartup::recovery()
{
    QFETCH(RecoverySetup, setup);
    QFETCH(BoxAnswer, answer);
    QFETCH(bool, continues);

    writeLauncher();
    addExtension("00000002", "Listener", "00000002");
    const QByteArray binary = bytes("00000002\r\n<00><FF><A0><85>");
    switch (setup) {
    case RecoverySetup::NoStartFolder:
        break;
    case RecoverySetup::SomeListsExist:
        QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Controller.etl"), "00000002\n"));
        QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), binary));
        QVERIFY(m_workspace->writeFile(QStringLiteral("Start/MainControllerExtension.etl"), ""));
        break;
    case RecoverySetup::ListenerIsFolder:
        QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl/00000002"), "x"));
        break;
    case RecoverySetup::StartIsFile:
        QVERIFY(m_workspace->writeFile(QStringLiteral("Start"), binary));
        break;
    }
    const QMap<QString, QByteArray> before = startFolder();
    const QByteArray startFile = setup == RecoverySetup::StartIsFile ? binary : QByteArray();

    if (continues && setup == RecoverySetup::StartIsFile)
        QTest::ignoreMessage(QtWarningMsg, "无法创建启动列表");
    const Startup startup =
        runStartup({BoxAnswer::click(QMessageBox::Ok), BoxAnswer::click(QMessageBox::No), answer});

    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(startup.boxes.size(), 3);
    verifyErrorQuestion(startup.boxes.at(2), kRecoveryText);
    QStringList expected = kEnteredJournal + QStringList{QStringLiteral("box 错误-ORVA | ") + kRecoveryText};
    if (!continues)
        expected.append(QStringLiteral("exit 1"));
    QCOMPARE(testjournal::lines(), expected);
    QVERIFY(processList().isEmpty());

    if (!continues) {
        QCOMPARE(startup.exitStatus, std::optional<int>(1));
        QVERIFY(!startup.window);
        QCOMPARE(startFolder(), before);
        QCOMPARE(m_workspace->exists(QStringLiteral("Start")), setup != RecoverySetup::NoStartFolder);
        return;
    }

    QVERIFY(!startup.exitStatus);
    QVERIFY(startup.window);
    if (setup == RecoverySetup::StartIsFile) {
        QCOMPARE(m_workspace->readFile(QStringLiteral("Start")), startFile);
        return;
    }
    // Every list exists; those that existed are kept byte for byte.
    QMap<QString, QByteArray> after = startFolder();
    QCOMPARE(after.keys().size(), kListFiles.size());
    for (const QString& list : kListFiles)
        QCOMPARE(after.value(list), before.value(list, QByteArray()));
    if (setup == RecoverySetup::ListenerIsFolder)
        QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl/00000002")), QByteArray("x"));
}

void TestOrvaStartup::launchFailure_data()
{
    QTest::addColumn<BrokenExtension>("broken");
    QTest::addColumn<QByteArray>("listedId");
    QTest::addColumn<QByteArray>("nameRead");
    QTest::addColumn<bool>("processCreated");
    QTest::addColumn<BoxAnswer>("answer");
    QTest::addColumn<bool>("continues");

    struct Case
    {
        const char* tag;
        BrokenExtension broken;
        QByteArray listedId;
        QByteArray nameRead; // empty when the name file cannot be read
        bool processCreated;
    };
    const QList<Case> cases{
        {"no extension folder", BrokenExtension::NoFolder, "00000005", {}, false},
        {"token that is no identifier", BrokenExtension::NoFolder, "garbage!", {}, false},
        {"no name file", BrokenExtension::NoNameFile, "00000005", {}, false},
        {"name file is a folder", BrokenExtension::NameFileIsFolder, "00000005", {}, false},
        {"no control file", BrokenExtension::NoControlFile, "00000005", "Broken", true},
        {"control file names a missing extension", BrokenExtension::ControlNamesMissingExtension, "00000005",
         "Broken", true},
        {"control extension has no name file", BrokenExtension::ControlExtensionWithoutNameFile, "00000005",
         "Broken", true},
        {"name ends with a line break", BrokenExtension::NameEndsWithLineBreak, "00000005", "Broken\n", true},
        {"name ends with CRLF", BrokenExtension::NameEndsWithCrLf, "00000005", "Broken\r\n", true},
        {"control identifier ends with a line break", BrokenExtension::ControlIdEndsWithLineBreak, "00000005",
         "Broken", true},
    };
    const QList<std::tuple<const char*, BoxAnswer, bool>> answers{
        {"继续", BoxAnswer::click(QMessageBox::Yes), true},
        {"Enter", BoxAnswer::enter(), true},
        {"关闭", BoxAnswer::click(QMessageBox::No), false},
        {"Escape", BoxAnswer::escape(), false},
        {"close", BoxAnswer::close(), false}};
    for (const Case& c : cases) {
        for (const auto& answer : answers) {
            QTest::addRow("%s, %s", c.tag, std::get<0>(answer))
                << c.broken << c.listedId << c.nameRead << c.processCreated << std::get<1>(answer)
                << std::get<2>(answer);
        }
    }
}

void TestOrvaStartup::launchFailure()
{
    QFETCH(BrokenExtension, broken);
    QFETCH(QByteArray, listedId);
    QFETCH(QByteArray, nameRead);
    QFETCH(bool, processCreated);
    QFETCH(BoxAnswer, answer);
    QFETCH(bool, continues);

    writeLauncher();
    addExtension("00000002", "监听器", "00000009");
    addExtension("00000003", "Listener Three", "00000009");
    addExtension("00000009", "控制器", "00000009");
    const QString folder = QStringLiteral("Extensions/") + QString::fromUtf8(listedId) + QLatin1Char('/');
    switch (broken) {
    case BrokenExtension::NoFolder:
        break;
    case BrokenExtension::NoNameFile:
        QVERIFY(m_workspace->writeScript(folder + QStringLiteral("Broken.exe"), "exit 0\n"));
        QVERIFY(m_workspace->writeFile(folder + QStringLiteral("Broken.control"), "00000009"));
        break;
    case BrokenExtension::NameFileIsFolder:
        QVERIFY(m_workspace->makeDir(folder + QStringLiteral("ExtensionName.etn")));
        break;
    case BrokenExtension::NoControlFile:
        QVERIFY(m_workspace->writeFile(folder + QStringLiteral("ExtensionName.etn"), "Broken"));
        QVERIFY(m_workspace->writeScript(folder + QStringLiteral("Broken.exe"), "exit 0\n"));
        break;
    case BrokenExtension::ControlNamesMissingExtension:
        addExtension(listedId, "Broken", "00000077");
        break;
    case BrokenExtension::ControlExtensionWithoutNameFile:
        addExtension(listedId, "Broken", "00000008");
        QVERIFY(m_workspace->writeScript(QStringLiteral("Extensions/00000008/Control.exe"), "exit 0\n"));
        break;
    case BrokenExtension::NameEndsWithLineBreak:
    case BrokenExtension::NameEndsWithCrLf:
        // The files that a trimmed name would find are there.
        addExtension(listedId, "Broken", "00000009");
        QVERIFY(
            m_workspace->writeFile(folder + QStringLiteral("ExtensionName.etn"), nameRead + "more lines\n"));
        break;
    case BrokenExtension::ControlIdEndsWithLineBreak:
        addExtension(listedId, "Broken", "00000009\n");
        break;
    }
    writeListenerList("00000002\n" + listedId + "\n00000003\n");

    const Startup startup =
        runStartup({BoxAnswer::click(QMessageBox::Ok), BoxAnswer::click(QMessageBox::No), answer});

    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(startup.boxes.size(), 3);
    // The box names the listed identifier, also when the control extension is at fault.
    verifyErrorQuestion(startup.boxes.at(2), failureText(listedId));

    QStringList expected = kEnteredJournal + launchedJournal("00000002", "监听器");
    expected.append(debugLine(listedId));
    if (!nameRead.isEmpty())
        expected += QStringList{loadingPause(nameRead), debugLine(nameRead)};
    expected.append(QStringLiteral("box 错误-ORVA | ") + failureText(listedId));
    if (continues)
        expected += launchedJournal("00000003", "Listener Three");
    else
        expected.append(QStringLiteral("exit 1"));
    QCOMPARE(testjournal::lines(), expected);

    QCOMPARE(startup.exitStatus, continues ? std::optional<int>() : std::optional<int>(1));
    QCOMPARE(bool(startup.window), continues);

    // Launchers started before the failure go on running either way; one
    // created for the broken extension stays listed, never started.
    const QString control = QStringLiteral("./Extensions/00000009/控制器.exe");
    QStringList expectedRuns{launcherRun(QStringLiteral("./Extensions/00000002/监听器.exe"), control)};
    int expectedEntries = 1 + (processCreated ? 1 : 0);
    if (continues) {
        expectedRuns.append(launcherRun(QStringLiteral("./Extensions/00000003/Listener Three.exe"), control));
        ++expectedEntries;
    }
    expectedRuns.sort();
    QCOMPARE(processList().size(), expectedEntries);
    QCOMPARE(processList().first()->state(), QProcess::Running);
    if (continues)
        QCOMPARE(processList().last()->state(), QProcess::Running);
    if (processCreated) {
        LauncherProcess* unstarted = processList().at(1);
        QCOMPARE(unstarted->program(), kLauncherProgram);
        QCOMPARE(unstarted->state(), QProcess::NotRunning);
        QCOMPARE(unstarted->processId(), 0);
        QVERIFY(!unstarted->restartPending());
    }
    QTRY_COMPARE(launcherRuns(), expectedRuns);
}

void TestOrvaStartup::duplicateAndSelfControlledExtensions()
{
    writeLauncher();
    addExtension("00000002", "监听器", "00000009");
    addExtension("00000009", "控制器", "00000002");
    addExtension("00000004", "Self", "00000004");
    writeListenerList("00000002 00000002\n00000004");

    const Startup startup = runStartup(kEnter);

    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(), kEnteredJournal + launchedJournal("00000002", "监听器") +
                                       launchedJournal("00000002", "监听器") +
                                       launchedJournal("00000004", "Self"));
    const QStringList pair{QStringLiteral("./Extensions/00000002/监听器.exe"),
                           QStringLiteral("./Extensions/00000009/控制器.exe")};
    const QStringList self{QStringLiteral("./Extensions/00000004/Self.exe"),
                           QStringLiteral("./Extensions/00000004/Self.exe")};
    QCOMPARE(processList().size(), 3);
    QVERIFY(processList().at(0) != processList().at(1));
    QCOMPARE(processList().at(0)->program(), kLauncherProgram);
    QCOMPARE(processList().at(1)->program(), kLauncherProgram);
    QCOMPARE(processList().at(0)->arguments(), pair);
    QCOMPARE(processList().at(1)->arguments(), pair);
    QCOMPARE(processList().at(2)->arguments(), self);
    for (LauncherProcess* launcher : processList())
        QCOMPARE(launcher->state(), QProcess::Running);

    QStringList expectedRuns{launcherRun(pair[0], pair[1]), launcherRun(pair[0], pair[1]),
                             launcherRun(self[0], self[1])};
    expectedRuns.sort();
    QTRY_COMPARE(launcherRuns(), expectedRuns);
}

void TestOrvaStartup::missingLauncher()
{
    addExtension("00000002", "监听器", "00000009");
    addExtension("00000009", "控制器", "00000002");
    writeListenerList("00000002\n00000009\n");

    const Startup startup = runStartup(kEnter);

    // No box: only the debug line tells.
    QVERIFY2(startup.problems.isEmpty(), qPrintable(startup.problems.join(QLatin1Char('\n'))));
    QCOMPARE(testjournal::lines(), kEnteredJournal + launchedJournal("00000002", "监听器", false) +
                                       launchedJournal("00000009", "控制器", false));
    QVERIFY(startup.window);
    QCOMPARE(processList().size(), 2);
    QCOMPARE(processList().at(1)->arguments(),
             (QStringList{QStringLiteral("./Extensions/00000009/控制器.exe"),
                          QStringLiteral("./Extensions/00000002/监听器.exe")}));
    for (LauncherProcess* launcher : processList()) {
        QCOMPARE(launcher->state(), QProcess::NotRunning);
        QVERIFY(!launcher->restartPending());
    }
}

void TestOrvaStartup::launchersRestartAfterStartup()
{
    // A launcher that ends at once is started again with the same arguments.
    writeLauncher(false);
    addExtension("00000002", "监听器", "00000002");
    writeListenerList("00000002\n");

    const Startup startup = runStartup(kEnter);
    QVERIFY(startup.window);
    QCOMPARE(processList().size(), 1);

    const QString run = launcherRun(QStringLiteral("./Extensions/00000002/监听器.exe"),
                                    QStringLiteral("./Extensions/00000002/监听器.exe"));
    QTRY_VERIFY_WITH_TIMEOUT(launcherRuns().size() >= 3, 15000);
    QStringList distinctRuns = launcherRuns();
    distinctRuns.removeDuplicates();
    QCOMPARE(distinctRuns, QStringList{run});
}

void TestOrvaStartup::mainWindow()
{
    writeListenerList("");
    const Startup startup = runStartup(kEnter);
    QVERIFY(startup.window);
    ORVA& window = *startup.window;

    QCOMPARE(window.windowTitle(), QStringLiteral("ORVA"));
    QCOMPARE(window.size(), QSize(410, 65));
    QCOMPARE(window.minimumSize(), QSize(410, 65));
    QCOMPARE(window.maximumSize(), QSize(410, 65));
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!window.parentWidget());

    QVERIFY(window.findChild<QWidget*>(QStringLiteral("centralwidget")));
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralwidget"));
    auto* statusBar = window.findChild<QStatusBar*>(QStringLiteral("statusbar"));
    QVERIFY(statusBar);
    QCOMPARE(window.statusBar(), statusBar);
    auto* menuBar = window.findChild<QMenuBar*>(QStringLiteral("menubar"));
    QVERIFY(menuBar);
    QCOMPARE(window.menuBar(), menuBar);

    const QList<std::tuple<QString, QString, QString, QString>> menus{
        {QStringLiteral("menu"), QStringLiteral("扩展(&A)"), QStringLiteral("actionManage"),
         QStringLiteral("管理")},
        {QStringLiteral("menu_P"), QStringLiteral("程序(&P)"), QStringLiteral("actionExit"),
         QStringLiteral("退出")},
        {QStringLiteral("menu_H"), QStringLiteral("帮助(&H)"), QStringLiteral("actionAbout"),
         QStringLiteral("关于")}};
    const QList<QAction*> menuActions = menuBar->actions();
    QCOMPARE(menuActions.size(), menus.size());
    for (int i = 0; i < menus.size(); ++i) {
        const auto& [menuName, title, actionName, actionText] = menus.at(i);
        QMenu* menu = menuActions.at(i)->menu();
        QVERIFY(menu);
        QCOMPARE(menu->objectName(), menuName);
        QCOMPARE(menu->title(), title);
        QCOMPARE(menu->actions().size(), 1);
        QAction* action = menu->actions().first();
        QCOMPARE(action->objectName(), actionName);
        QCOMPARE(action->text(), actionText);
        QCOMPARE(window.findChild<QAction*>(actionName), action);
    }

    // Shown as main shows it: the size holds and the close control stays away.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(410, 65));
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    window.resize(800, 600);
    QCOMPARE(window.size(), QSize(410, 65));
    window.hide();
}

QTEST_MAIN(TestOrvaStartup)
#include "tst_orvastartup.moc"
