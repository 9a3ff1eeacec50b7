// ORVA's windows in process: which boxes the start-up shows and which
// launchers it makes of a workspace, the menus, the manager's views, 配置
// and 确定, the install action's routes, and packsetup's question. Boxes are
// answered through the box hook; exits, 删除 and a whole install are the
// end-to-end tests'.

#include "Workspace.h"
#include "gui/MessageBox.h"
#include "orva/LauncherProcess.h"
#include "orva/ORVA.h"
#include "orva/ProcessList.h"
#include "orva/extensions/ExtensionChangeNotice.h"
#include "orva/extensions/ExtensionLayout.h"
#include "orva/manager/Addonsmanager.h"
#include "orva/manager/LatestManagerWindow.h"
#include "packsetup/InstallConfirmation.h"
#include "platform/GuiApplication.h"
#include "platform/Platform.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QtTest>

// Records what the tests look for: files opened through QDesktopServices,
// and in the stand-ins' log when the installing box is painted (ORVA blocks
// while the installer runs, so only a box drawn before can be seen).
class Recorder : public QObject
{
    Q_OBJECT

public:
    QStringList opened;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto* box = qobject_cast<QMessageBox*>(watched);
        QFile log(QFile::decodeName(qgetenv("ORVA_TEST_LOG")));
        if (event->type() == QEvent::Paint && box && box->text().startsWith(QStringLiteral("正在安装")) &&
            log.open(QIODevice::Append))
            log.write("box painted\n");
        return false;
    }

public slots:
    void open(const QUrl& url) { opened.append(url.toLocalFile()); }
};

namespace {

QStringList pauses;

using Button = gui::MessageBox::Button;
constexpr Button Ok = Button::Ok, No = Button::No, Continue = Button::Continue;

// Answers the next boxes in turn and keeps "title: text" of each; a box
// beyond the answers given is answered 关闭 and shows in the list.
struct Boxes
{
    QList<Button> answers;
    QStringList shown;

    explicit Boxes(QList<Button> given) : answers(std::move(given))
    {
        gui::MessageBox::setAnswerer([this](QMessageBox& box) {
            shown.append(box.windowTitle() + QStringLiteral(": ") + box.text());
            return answers.isEmpty() ? Button::Close : answers.takeFirst();
        });
    }
    ~Boxes() { gui::MessageBox::setAnswerer({}); }
};

QStringList viewRows(const QWidget& window, const char* view)
{
    const QAbstractItemModel* model = window.findChild<QListView*>(QLatin1String(view))->model();
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows.append(model->index(row, 0).data().toString());
    return rows;
}

void click(QWidget& window, const char* button)
{
    window.findChild<QPushButton*>(QLatin1String(button))->click();
}

// Chooses `path` in the next file dialog, or cancels it when empty.
void chooseInFileDialog(const QString& path)
{
    QTimer::singleShot(50, [path] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog && dialog->fileMode() == QFileDialog::ExistingFile);
        if (path.isEmpty())
            return dialog->reject();
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path); // as a user types it
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, which takes the selection
    });
}

} // namespace

class TestOrva : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startup();
    void menus();
    void managerViewsAndButtons();
    void installAction();
    void installQuestion();
    void shortLauncherRunsWaitBeforeRestart();
};

void TestOrva::initTestCase()
{
    // Instead of sleeping: each pause's length and the loading notice then shown.
    platform::setPauseFunction([](int milliseconds) {
        const auto windows = QApplication::topLevelWidgets();
        const auto notice = std::find_if(windows.begin(), windows.end(), [](QWidget* window) {
            return window->isVisible() && window->windowTitle() == QStringLiteral("加载中-ORVA");
        });
        pauses.append(QString::number(milliseconds) + QStringLiteral(": ") +
                      (notice == windows.end() ? QString() : static_cast<QMessageBox*>(*notice)->text()));
    });
}

void TestOrva::startup()
{
    const Workspace workspace;
    workspace.addExtension("00000002", "监听 器", "00000003");
    workspace.addExtension("00000003", "Logger", "00000003");
    workspace.addExtension("00000004", "NoControl", "00000003");
    QFile::remove(QStringLiteral("Extensions/00000004/NoControl.control"));
    workspace.addExtension("00000005", "OtherMissing", "00000009");
    workspace.addExtension("00000006", "Trailing", "00000003");
    workspace.write(QStringLiteral("Extensions/00000006/ExtensionName.etn"), "Trailing\n");
    workspace.write(QStringLiteral("Start/Listener.etl"), "00000009 00000004 00000005 00000006 00000002");
    const auto failed = [](const char* id) {
        return QStringLiteral(
                   "错误-ORVA: 扩展程序\"{id:%1}\"启动失败！请问你是要关闭ORVA还是跳过此扩展继续运行?")
            .arg(QLatin1String(id));
    };
    const auto loading = [](const char* name) {
        return QStringLiteral("1000: 请等待程序加载扩展\"%1\",过程中可能会未响应。")
            .arg(QString::fromUtf8(name));
    };
    const QString lists = QStringLiteral("1000: 请等待程序加载扩展启动列表,过程中可能会未响应。");

    const int before = processList().size();
    pauses.clear();
    {
        Boxes boxes({Ok, No, Continue, Continue, Continue, Continue});
        const ORVA window;
        QCOMPARE(boxes.shown.mid(2), (QStringList{failed("00000009"), failed("00000004"), failed("00000005"),
                                                  failed("00000006")}));
    }
    QStringList launched;
    for (const LauncherProcess* launcher : processList().mid(before))
        launched.append(launcher->arguments().join(QLatin1Char(' ')));
    // Listed before the control extension is resolved, so a skipped one stays, unstarted.
    QCOMPARE(launched,
             (QStringList{QString(), QString(), QString(),
                          QDir::toNativeSeparators(QStringLiteral(
                              "./Extensions/00000002/监听 器.exe ./Extensions/00000003/Logger.exe"))}));
    QCOMPARE(pauses, (QStringList{lists, loading("NoControl"), loading("OtherMissing"), loading("Trailing\n"),
                                  loading("监听 器"), loading("监听 器")}));

    // No Listener list: 继续 creates the missing lists, keeps the others, starts nothing. No
    // lock file can be made where a folder stands in its place: ORVA starts without it.
    QVERIFY(QFile::remove(QStringLiteral("Start/Listener.etl")));
    QVERIFY(QDir().mkdir(QString::fromLatin1(extensions::kRunningMarkFileName)));
    workspace.write(QStringLiteral("Start/Runner.etl"), "00000002");
    pauses.clear();
    Boxes boxes({Ok, No, Continue});
    {
        const ORVA window;
    }
    QCOMPARE(boxes.shown.mid(2),
             QStringList{QStringLiteral("错误-ORVA: 无法获取扩展程序列表，程序即将退出！\n你可以点击"
                                        "\"继续\"来创建一个空的启动列表，但是我们不会删除您的扩展程序。")});
    QCOMPARE(workspace.read(QStringLiteral("Start/Listener.etl")) +
                 workspace.read(QStringLiteral("Start/Runner.etl")),
             QByteArray("00000002"));
    QCOMPARE(pauses, QStringList{lists});
}

void TestOrva::menus()
{
    const Workspace workspace;
    workspace.write(QStringLiteral("Start/Listener.etl"), "");
    Boxes boxes({Ok, No, Ok, Ok, Ok});
    QPointer<Addonsmanager> first;
    {
        ORVA window;
        // Qt 5 would close every window at a session's end and cancel the logout when ORVA refused
        // (Qt 6 never does); its high-DPI scale factors are not rounded, as Qt 6's are not.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        QVERIFY(!platform::sessionEndClosesWindows());
#endif
        QCOMPARE(QGuiApplication::highDpiScaleFactorRoundingPolicy(),
                 Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
        const auto trigger = [&](const char* action) {
            window.findChild<QAction*>(QLatin1String(action))->trigger();
        };
        trigger("actionManage");
        first = managerWindow();
        trigger("actionManage");
        QVERIFY(first && managerWindow() && managerWindow() != first);
        QVERIFY(first->isVisible() && managerWindow()->isVisible());
        trigger("actionAbout");
        QVERIFY(
            boxes.shown.last().contains(QStringLiteral("\n\nORVA，全称为Quillmar，意为集中控制器。\n\n")));
        const QString manage = QStringLiteral("关于扩展管理器: 此扩展控制器将在此后开启自定义功能。");
        QCOMPARE(boxes.shown.mid(2, 2), (QStringList{manage, manage}));
    }
    // The main window takes the manager it refers to with it, not an older one.
    QVERIFY(first && !managerWindow());
    delete first;
}

void TestOrva::managerViewsAndButtons()
{
    const Workspace workspace;
    workspace.addExtension("00000002", "Alpha\n", "00000002");
    workspace.addExtension("00000003", "Beta", "00000003");
    workspace.write(QStringLiteral("Start/Listener.etl"), "00000002,00000009\n00000003");
    workspace.write(QStringLiteral("Start/Runner.etl"), "00000003 00000003");
    workspace.write(QStringLiteral("Start/MainControllerExtension.etl"), "x");

    Boxes boxes({});
    QPointer<Addonsmanager> manager = new Addonsmanager;
    managerWindow() = manager;
    QCOMPARE(viewRows(*manager, "listView"),
             (QStringList{QStringLiteral("Alpha\n"), QStringLiteral("Beta")}));
    QCOMPARE(viewRows(*manager, "listView_2"), QStringList());
    QCOMPARE(viewRows(*manager, "listView_3"), (QStringList{QStringLiteral("Beta"), QStringLiteral("Beta")}));
    QCOMPARE(viewRows(*manager, "listView_5"), QStringList());

    click(*manager, "pushButton_2"); // 配置 without a selection
    QCOMPARE(boxes.shown, QStringList{QStringLiteral("ORVA: 请先在列表中选择一个扩展。")});
    auto* runner = manager->findChild<QListView*>(QStringLiteral("listView_3"));
    runner->setCurrentIndex(runner->model()->index(1, 0));
    Recorder urls;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &urls, "open");
    click(*manager, "pushButton_2");
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(urls.opened, QStringList{workspace.path(QStringLiteral("Extensions/00000003"))});

    QProcess beta; // 删除 says what runs and would be ended first; 关闭 leaves it
    workspace.write(QStringLiteral("Extensions/00000003/Beta.exe.does"), "sleep 30");
    beta.start(workspace.path(QStringLiteral("Extensions/00000003/Beta.exe")), QStringList());
    QTRY_VERIFY(workspace.log().join(QLatin1Char('\n')).contains(QStringLiteral("Beta.exe\tstart")));
    click(*manager, "pushButton_3");
    QVERIFY2(boxes.shown.last().endsWith(QStringLiteral("正在运行：Beta（1个进程），删除前会先结束它们。")),
             qPrintable(boxes.shown.last()));

    click(*manager, "pushButton_5"); // 确定
    QVERIFY(!managerWindow() && manager->isHidden());
    QTRY_VERIFY(!manager);
}

void TestOrva::installAction()
{
    const Workspace workspace;
    workspace.write(QStringLiteral("bad.etipack"), "{\"name\":1}~");
    workspace.write(QStringLiteral("名字.etipack"), "{\"name\":\"演示\"}~");
    Boxes boxes({});
    QPointer<Addonsmanager> manager = new Addonsmanager;
    managerWindow() = manager;

    chooseInFileDialog(QString()); // cancelled: nothing happens
    click(*manager, "pushButton");
    chooseInFileDialog(workspace.path(QStringLiteral("bad.etipack")));
    click(*manager, "pushButton");
    chooseInFileDialog(workspace.path(QStringLiteral("名字.etipack")));
    click(*manager, "pushButton"); // no installer here
    QCOMPARE(
        boxes.shown,
        (QStringList{QStringLiteral("错误-ORVA: 无法安装扩展安装包\"%1\"：包头中的\"name\"必须是字符串。")
                         .arg(QDir::toNativeSeparators(workspace.path(QStringLiteral("bad.etipack")))),
                     QStringLiteral("错误-ORVA: 安装程序启动失败！")}));
    QVERIFY(manager && managerWindow() == manager);

    QVERIFY(QDir().mkpath(QStringLiteral("Extensions/00000001")));
    QFile::copy(QStringLiteral(ORVA_TEST_STANDIN), QStringLiteral("Extensions/00000001/packsetup.exe"));
    chooseInFileDialog(workspace.path(QStringLiteral("名字.etipack")));
    Recorder paints;
    qApp->installEventFilter(&paints);
    click(*manager, "pushButton");
    const QString installer = QStringLiteral("packsetup.exe\tstart\t%1\t%2")
                                  .arg(QDir::toNativeSeparators(workspace.path().chopped(1)),
                                       workspace.path(QStringLiteral("名字.etipack")));
    QCOMPARE(workspace.log().value(0), QStringLiteral("box painted"));
    QVERIFY2(workspace.log().value(1).endsWith(installer), qPrintable(workspace.log().value(1)));
    QVERIFY(!managerWindow());
    QTRY_VERIFY(!manager);
    QCOMPARE(boxes.shown.size(), 2);
}

void TestOrva::installQuestion()
{
    // packsetup's own question, answered through the same hook: only 安装 installs.
    installer::InstallPlan plan;
    plan.info.name = "Tool";
    for (const Button answer : {Button::Install, Button::Cancel, Button::Close}) {
        Boxes boxes({answer});
        QCOMPARE(packsetup::askToInstall(plan, QStringLiteral("安装扩展-ORVA")), answer == Button::Install);
        QVERIFY(boxes.shown.value(0).startsWith(QStringLiteral("安装扩展-ORVA: 要安装扩展\"Tool\"吗？")));
    }
}

void TestOrva::shortLauncherRunsWaitBeforeRestart()
{
    // A launcher that ends at once has failed to start: it is tried again
    // after a pause, not in a loop that spins a core, nor while packsetup
    // changes its pair.
    const Workspace workspace;
#ifdef Q_OS_WIN
    LauncherProcess launcher(QStringLiteral("hostname.exe"));
#else
    LauncherProcess launcher(QStringLiteral("true"));
#endif
    launcher.setPair("00000002", "00000003", "Short");
    QList<qint64> starts;
    QElapsedTimer clock;
    clock.start();
    connect(&launcher, &QProcess::started, [&] { starts.append(clock.elapsed()); });
    launcher.launch();
    QTRY_COMPARE_WITH_TIMEOUT(starts.size(), 2, 5000);
    QVERIFY2(starts[1] - starts[0] >= LauncherProcess::kMinimumRunMs - 50,
             qPrintable(QString::number(starts[1])));
    QVERIFY(workspace.read(QStringLiteral("Logs/00000002.log")).contains("1秒后重试"));
    // This process changes the pair's control extension: no start until it marks the change done.
    QString error;
    QVERIFY(QDir().mkdir(QStringLiteral("Extensions")));
    const extensions::ExtensionChangeNotice notice{{"00000003"}, platform::currentProcessIdentity(), 0};
    QVERIFY(notice.write(error));
    QTRY_VERIFY(launcher.waitsForChange() && launcher.state() == QProcess::NotRunning);
    const int held = starts.size();
    extensions::ExtensionChangeNotice::settle(true);
    QTRY_COMPARE(starts.size(), held + 1);
    launcher.closeWithoutRestart();
    QTest::qWait(1200);
    QCOMPARE(starts.size(), held + 1);
}

int main(int argc, char* argv[])
{
    platform::prepareGuiApplication(); // as the programs' main() do
    QApplication app(argc, argv);
    TestOrva test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_orva.moc"
