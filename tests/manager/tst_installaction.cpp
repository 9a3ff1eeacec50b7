// The install action behind "添加", in-process on the offscreen platform,
// with a stand-in installer written into the workspace: the file dialog, the
// installing box, the installer's single argument, the debug lines, the
// window going away after any end of the installer, and every way a pack or
// the installer can fail.

#include "Addonsmanager.h"
#include "ManagerTestSupport.h"
#include "ManagerWindow.h"
#include "ModalAnswerer.h"
#include "TempWorkspace.h"
#include "TestJournal.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QtTest>
#include <functional>
#include <memory>
#include <optional>

using namespace managertest;

namespace {

const QString kInstaller = QStringLiteral("Extensions/00000001/packsetup.exe");
const QString kInstallerRecord = QStringLiteral("installer-args.log");
const QString kErrorTitle = QStringLiteral("错误-ORVA");
const QString kPathDebug = QStringLiteral("debug 选择的文件路径： \"%1\"");
const QString kStartedDebug = QStringLiteral("debug 安装程序启动成功");
const QString kEndedDebug = QStringLiteral("debug 安装程序已运行结束");

QString boxLine(const QMessageBox* box)
{
    return QStringLiteral("[%1 | %2 | icon %3]").arg(box->windowTitle(), box->text()).arg(box->icon());
}

QString visibleBoxes()
{
    QString line;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible())
            line += QLatin1Char(' ') + boxLine(box);
    }
    return line;
}

// Each debug line with the message boxes on screen as it is written: the
// installer is waited for on the GUI thread, so this is when the installing
// box can be seen.
QStringList* g_debugWithBoxes = nullptr;
QtMessageHandler g_nextHandler = nullptr;

void debugWithBoxes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg && g_debugWithBoxes)
        g_debugWithBoxes->append(message + visibleBoxes());
    if (g_nextHandler)
        g_nextHandler(type, context, message);
}

// Every message box as it is shown, modal or not.
class ShownBoxes : public QObject
{
public:
    ShownBoxes() { qApp->installEventFilter(this); }
    ~ShownBoxes() override { qApp->removeEventFilter(this); }

    const QStringList& lines() const { return m_lines; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(object))
                m_lines.append(boxLine(box) + (box->parentWidget() ? QStringLiteral(" parent") : QString()));
        }
        return false;
    }

private:
    QStringList m_lines;
};

// Answers the first file dialog that opens, from a timer inside its exec():
// chooses `path` and accepts, or rejects when `path` is empty. `afterAccept`
// runs right after the dialog has been accepted, before the action goes on.
class FileDialogAnswerer : public QObject
{
public:
    enum class Way { Choose, Reject, Escape };

    struct Seen
    {
        QString title;
        QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
        QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptSave;
        QStringList nameFilters;
        bool hasParent = true;
        bool modal = false;
        QStringList selectedBeforeAccept;
    };

    FileDialogAnswerer(Way way, QString path, std::function<void()> afterAccept = {})
        : m_way(way), m_path(std::move(path)), m_afterAccept(std::move(afterAccept))
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &FileDialogAnswerer::poll);
        m_timer.start();
    }

    const std::optional<Seen>& seen() const { return m_seen; }
    int dialogsSeen() const { return m_dialogs; }

private:
    void poll()
    {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || dialog == m_last)
            return;
        m_last = dialog;
        ++m_dialogs;
        Seen seen;
        seen.title = dialog->windowTitle();
        seen.fileMode = dialog->fileMode();
        seen.acceptMode = dialog->acceptMode();
        seen.nameFilters = dialog->nameFilters();
        seen.hasParent = dialog->parentWidget() != nullptr;
        seen.modal = dialog->isModal();
        switch (m_way) {
        case Way::Choose:
            // Typed into the file name field, as a user does: selectFile()
            // leaves that field alone while it has the focus.
            if (auto* fileName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                fileName->setText(m_path);
            else
                dialog->selectFile(m_path);
            seen.selectedBeforeAccept = dialog->selectedFiles();
            m_seen = seen;
            // Through the base: the file dialog checks the choice as its own OK does.
            static_cast<QDialog*>(dialog)->accept();
            if (m_afterAccept)
                m_afterAccept();
            break;
        case Way::Reject:
            m_seen = seen;
            dialog->reject();
            break;
        case Way::Escape:
            m_seen = seen;
            QTest::keyClick(dialog, Qt::Key_Escape);
            break;
        }
    }

    Way m_way;
    QString m_path;
    std::function<void()> m_afterAccept;
    QTimer m_timer;
    QPointer<QFileDialog> m_last;
    std::optional<Seen> m_seen;
    int m_dialogs = 0;
};

// The installing box is shown, not run: it asks nothing.
void ignoreInstallingBox(ModalAnswerer& answerer)
{
    answerer.setIgnored([](QMessageBox* box) { return box->text().startsWith(QStringLiteral("正在安装")); });
}

enum class InstallerSetup { Missing, NotExecutable, Folder };

} // namespace

Q_DECLARE_METATYPE(FileDialogAnswerer::Way)
Q_DECLARE_METATYPE(InstallerSetup)

class TestInstallAction : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void installs_data();
    void installs();
    void installLeavesAnotherReferencedWindow();
    void installerCannotStart_data();
    void installerCannotStart();
    void badPack_data();
    void badPack();

private:
    void writeInstaller(const QByteArray& ending);
    QString writePack(const QString& name, const QByteArray& content);
    Addonsmanager* openWindow();
    void clickAdd(Addonsmanager* window);
    void verifyWarning(const BoxRecord& box, const QString& text);

    std::unique_ptr<TempWorkspace> m_workspace;
    std::unique_ptr<JournalHooks> m_hooks;
    QStringList m_debugWithBoxes;
};

void TestInstallAction::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
    m_hooks = std::make_unique<JournalHooks>();
    m_debugWithBoxes.clear();
    g_debugWithBoxes = &m_debugWithBoxes;
    g_nextHandler = qInstallMessageHandler(debugWithBoxes);
    managerWindow().clear();

    QVERIFY(writeEmptyStartLists(*m_workspace));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000002\n"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), "00000003 00000002"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/ExtensionName.etn"), "Beta"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000003/ExtensionName.etn"), "中文扩展\n"));
}

void TestInstallAction::cleanup()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Addonsmanager*>(widget))
            delete window;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    managerWindow().clear();
    qInstallMessageHandler(g_nextHandler);
    g_nextHandler = nullptr;
    g_debugWithBoxes = nullptr;
    m_hooks.reset();
    m_workspace.reset();
}

void TestInstallAction::writeInstaller(const QByteArray& ending)
{
    // Records how it was called in the working directory it inherited.
    QVERIFY(m_workspace->writeScript(kInstaller, "ulimit -c 0\n"
                                                 "printf '%s\\n' \"$#\" > " +
                                                     kInstallerRecord.toUtf8() +
                                                     "\n"
                                                     "for a in \"$@\"; do printf '%s\\n' \"$a\" >> " +
                                                     kInstallerRecord.toUtf8() + "; done\n" + ending + "\n"));
}

QString TestInstallAction::writePack(const QString& name, const QByteArray& content)
{
    const QString relative = QStringLiteral("安装包/") + name;
    if (!m_workspace->writeFile(relative, content))
        return {};
    return m_workspace->filePath(relative);
}

Addonsmanager* TestInstallAction::openWindow()
{
    // As the Manage action opens it.
    auto* window = new Addonsmanager;
    managerWindow() = window;
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return nullptr;
    testjournal::clear();
    m_debugWithBoxes.clear();
    return window;
}

void TestInstallAction::clickAdd(Addonsmanager* window)
{
    auto* add = window->findChild<QPushButton*>(QStringLiteral("pushButton"));
    QVERIFY(add);
    QCOMPARE(add->text(), QStringLiteral("添加"));
    QTest::mouseClick(add, Qt::LeftButton);
}

void TestInstallAction::verifyWarning(const BoxRecord& box, const QString& text)
{
    QCOMPARE(box.title, kErrorTitle);
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(box.buttonTexts, QStringList{QStringLiteral("OK")});
    QCOMPARE(box.defaultButton, QMessageBox::Ok);
    QCOMPARE(box.effectiveDefaultText, QStringLiteral("OK"));
    QVERIFY(!box.hasParent);
}

void TestInstallAction::cancelChangesNothing_data()
{
    QTest::addColumn<FileDialogAnswerer::Way>("way");

    QTest::newRow("rejected") << FileDialogAnswerer::Way::Reject;
    QTest::newRow("Escape") << FileDialogAnswerer::Way::Escape;
}

void TestInstallAction::cancelChangesNothing()
{
    QFETCH(FileDialogAnswerer::Way, way);

    writeInstaller("exit 0");
    QVERIFY(!writePack(QStringLiteral("demo.etipack"), R"({"name":"Demo"}~body)").isEmpty());
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    const QPointer<Addonsmanager> guard(window);

    FileDialogAnswerer dialog(way, QString());
    ModalAnswerer boxes({});
    ignoreInstallingBox(boxes);
    ShownBoxes shown;
    clickAdd(window);

    // The dialog as the action opens it.
    QCOMPARE(dialog.dialogsSeen(), 1);
    QVERIFY(dialog.seen());
    QCOMPARE(dialog.seen()->title, QStringLiteral("选择扩展安装包"));
    QCOMPARE(dialog.seen()->fileMode, QFileDialog::ExistingFile);
    QCOMPARE(dialog.seen()->acceptMode, QFileDialog::AcceptOpen);
    QCOMPARE(dialog.seen()->nameFilters, QStringList{QStringLiteral("Extension Install Pack (*.etipack)")});
    QVERIFY(!dialog.seen()->hasParent);
    QVERIFY(dialog.seen()->modal);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(boxes.boxes().isEmpty());
    QVERIFY(shown.lines().isEmpty());
    QVERIFY(testjournal::lines().isEmpty());
    QVERIFY(!m_workspace->exists(kInstallerRecord));
    QVERIFY(guard);
    QVERIFY(window->isVisible());
    QCOMPARE(managerWindow().data(), window);
    QCOMPARE(entries(window, QStringLiteral("listView")), QStringList{QStringLiteral("Beta")});
}

void TestInstallAction::installs_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("pack");
    QTest::addColumn<QByteArray>("ending");
    QTest::addColumn<QString>("name");

    QTest::newRow("exit 0") << QStringLiteral("demo.etipack") << QByteArray(R"({"name":"Demo"}~{"files":[]})")
                            << QByteArray("exit 0") << QStringLiteral("Demo");
    QTest::newRow("exit 7, Chinese name and file name")
        << QStringLiteral("中文扩展.etipack") << QByteArray(R"({"name":"中文扩展"}~body)")
        << QByteArray("exit 7") << QStringLiteral("中文扩展");
    QTest::newRow("installer crashes")
        << QStringLiteral("崩溃.etipack") << QByteArray(R"({"name":"中文扩展","id":"00000005"}~body)")
        << QByteArray("kill -SEGV $$") << QStringLiteral("中文扩展");
    QTest::newRow("no separator: all header")
        << QStringLiteral("whole.etipack") << QByteArray(R"({"name":"Whole"})") << QByteArray("exit 0")
        << QStringLiteral("Whole");
    QTest::newRow("line break before the separator, further members")
        << QStringLiteral("lines.etipack")
        << QByteArray("{\n  \"id\": \"00000005\",\n  \"name\": \"Lines\"\n}\n~body") << QByteArray("exit 0")
        << QStringLiteral("Lines");
    QTest::newRow("separator inside the name")
        << QStringLiteral("tilde.etipack") << QByteArray(R"({"name":"a~b"}~body)") << QByteArray("exit 0")
        << QStringLiteral("a~b");
    QTest::newRow("byte-order mark") << QStringLiteral("bom.etipack")
                                     << QByteArray("\xEF\xBB\xBF{\"name\":\"Bom\"}~body")
                                     << QByteArray("exit 0") << QStringLiteral("Bom");
    QTest::newRow("name with quotes")
        << QStringLiteral("quoted.etipack") << QByteArray(R"({"name":"say \"hi\""}~)") << QByteArray("exit 0")
        << QStringLiteral("say \"hi\"");
}

void TestInstallAction::installs()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, pack);
    QFETCH(QByteArray, ending);
    QFETCH(QString, name);

    writeInstaller(ending);
    const QString path = writePack(fileName, pack);
    QVERIFY(!path.isEmpty());
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    const QPointer<Addonsmanager> guard(window);

    FileDialogAnswerer dialog(FileDialogAnswerer::Way::Choose, path);
    ModalAnswerer boxes({});
    ignoreInstallingBox(boxes);
    ShownBoxes shown;
    clickAdd(window);

    QVERIFY(dialog.seen());
    QCOMPARE(dialog.seen()->selectedBeforeAccept, QStringList{path});
    QVERIFY2(boxes.problems().isEmpty(), qPrintable(boxes.problems().join(QLatin1Char('\n'))));
    QVERIFY(boxes.boxes().isEmpty());

    // Run once, with the pack's path as its only argument.
    QCOMPARE(QString::fromUtf8(m_workspace->readFile(kInstallerRecord)),
             QStringLiteral("1\n") + path + QLatin1Char('\n'));
    QCOMPARE(testjournal::lines(), (QStringList{kPathDebug.arg(path), kStartedDebug, kEndedDebug}));
    // The installing box, and nothing else, while the installer runs.
    const QString installing = QStringLiteral(" [ | 正在安装\"") + name + QStringLiteral("\" | icon 0]");
    QCOMPARE(m_debugWithBoxes, (QStringList{kPathDebug.arg(path).mid(6), kStartedDebug.mid(6) + installing,
                                            kEndedDebug.mid(6) + installing}));
    QCOMPARE(shown.lines(), QStringList{installing.mid(1)});

    // Whatever the installer's end, the window goes, managerWindow first.
    QVERIFY(managerWindow().isNull());
    QVERIFY(guard.isNull() || !guard->isVisible());
    QTRY_VERIFY(guard.isNull());
    QVERIFY(messageBoxes().isEmpty());
}

void TestInstallAction::installLeavesAnotherReferencedWindow()
{
    writeInstaller("exit 0");
    const QString path = writePack(QStringLiteral("demo.etipack"), R"({"name":"Demo"}~)");
    QVERIFY(!path.isEmpty());
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    Addonsmanager* newer = openWindow();
    QVERIFY(newer);
    const QPointer<Addonsmanager> guard(window);

    FileDialogAnswerer dialog(FileDialogAnswerer::Way::Choose, path);
    ModalAnswerer boxes({});
    ignoreInstallingBox(boxes);
    clickAdd(window);

    QCOMPARE(m_workspace->readFile(kInstallerRecord).count('\n'), 2);
    QCOMPARE(managerWindow().data(), newer);
    QTRY_VERIFY(guard.isNull());
    QVERIFY(newer->isVisible());
    QCOMPARE(managerWindow().data(), newer);
}

void TestInstallAction::installerCannotStart_data()
{
    QTest::addColumn<InstallerSetup>("setup");

    QTest::newRow("installer missing") << InstallerSetup::Missing;
    QTest::newRow("installer not executable") << InstallerSetup::NotExecutable;
    QTest::newRow("folder in the installer's place") << InstallerSetup::Folder;
}

void TestInstallAction::installerCannotStart()
{
    QFETCH(InstallerSetup, setup);

    switch (setup) {
    case InstallerSetup::Missing:
        QVERIFY(m_workspace->makeDir(QStringLiteral("Extensions/00000001")));
        break;
    case InstallerSetup::NotExecutable:
        QVERIFY(
            m_workspace->writeFile(kInstaller, "#!/bin/sh\nprintf x > " + kInstallerRecord.toUtf8() + "\n"));
        break;
    case InstallerSetup::Folder:
        QVERIFY(m_workspace->makeDir(kInstaller));
        break;
    }
    const QString path = writePack(QStringLiteral("中文扩展.etipack"), R"({"name":"中文扩展"}~body)");
    QVERIFY(!path.isEmpty());
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    const QPointer<Addonsmanager> guard(window);

    FileDialogAnswerer dialog(FileDialogAnswerer::Way::Choose, path);
    ModalAnswerer boxes({BoxAnswer::click(QMessageBox::Ok)});
    ignoreInstallingBox(boxes);
    QString othersDuringError = QStringLiteral("<no error box>");
    boxes.setInspector([&othersDuringError](QMessageBox* error) {
        othersDuringError.clear();
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box != error && box->isVisible())
                othersDuringError += boxLine(box);
        }
    });
    ShownBoxes shown;
    clickAdd(window);

    QVERIFY2(boxes.problems().isEmpty(), qPrintable(boxes.problems().join(QLatin1Char('\n'))));
    QCOMPARE(boxes.boxes().size(), 1);
    verifyWarning(boxes.boxes().first(), QStringLiteral("安装程序启动失败！"));
    // The installing box was up, and is closed before the error box.
    QCOMPARE(shown.lines(), (QStringList{QStringLiteral("[ | 正在安装\"中文扩展\" | icon 0]"),
                                         QStringLiteral("[错误-ORVA | 安装程序启动失败！ | icon 2]")}));
    QCOMPARE(othersDuringError, QString());
    QCOMPARE(testjournal::lines(),
             (QStringList{kPathDebug.arg(path), QStringLiteral("box 错误-ORVA | 安装程序启动失败！")}));
    QVERIFY(!m_workspace->exists(kInstallerRecord));

    // The window stays, with its lists.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard);
    QVERIFY(window->isVisible());
    QCOMPARE(managerWindow().data(), window);
    QCOMPARE(entries(window, QStringLiteral("listView")), QStringList{QStringLiteral("Beta")});
    QCOMPARE(entries(window, QStringLiteral("listView_3")),
             (QStringList{QStringLiteral("中文扩展\n"), QStringLiteral("Beta")}));
    QVERIFY(messageBoxes().isEmpty());
}

void TestInstallAction::badPack_data()
{
    QTest::addColumn<QByteArray>("pack");
    QTest::addColumn<bool>("removedAfterChoice");
    QTest::addColumn<QString>("problem");

    const QString cannotRead = QStringLiteral("无法读取");
    const QString empty = QStringLiteral("为空");
    const QString malformed = QStringLiteral("不是有效的JSON");
    const QString notObject = QStringLiteral("不是JSON对象");
    const QString nameMissing = QStringLiteral("缺少\"name\"");
    const QString notString = QStringLiteral("不是字符串");

    QTest::newRow("file gone after the choice") << QByteArray(R"({"name":"Demo"}~)") << true << cannotRead;
    QTest::newRow("empty file") << QByteArray() << false << empty;
    QTest::newRow("whitespace-only header") << QByteArray(" \r\n\t~body") << false << empty;
    QTest::newRow("pack beginning with a closing brace")
        << QByteArray(R"(}{"name":"Demo"})") << false << empty;
    QTest::newRow("pack beginning with the separator") << QByteArray(R"(~{"name":"Demo"})") << false << empty;
    QTest::newRow("malformed JSON") << QByteArray(R"({"name":}~body)") << false << malformed;
    QTest::newRow("closing brace inside the name")
        << QByteArray(R"({"name":"a}b"}~body)") << false << malformed;
    QTest::newRow("text before the opening brace")
        << QByteArray(R"(x{"name":"Demo"}~)") << false << malformed;
    QTest::newRow("comment in the header")
        << QByteArray("{\"name\":\"Demo\" /* c */}~") << false << malformed;
    QTest::newRow("array") << QByteArray(R"([{"name":"Demo"}]~)") << false << notObject;
    QTest::newRow("number") << QByteArray("42~body") << false << notObject;
    QTest::newRow("string") << QByteArray(R"("Demo"~body)") << false << notObject;
    QTest::newRow("null") << QByteArray("null~body") << false << nameMissing;
    QTest::newRow("name missing") << QByteArray(R"({"id":"00000005"}~body)") << false << nameMissing;
    QTest::newRow("name is a number") << QByteArray(R"({"name":5}~body)") << false << notString;
    QTest::newRow("name is null") << QByteArray(R"({"name":null}~body)") << false << notString;
    QTest::newRow("name is an object") << QByteArray(R"({"name":{"zh":"演示"}}~body)") << false << notString;
    QTest::newRow("header nested too deeply")
        << QByteArray(R"({"name":"Demo","a":)") + QByteArray(100, '[') + QByteArray(100, ']') + "}~body"
        << false << QStringLiteral("嵌套超过64层");
    QTest::newRow("header over 16 MiB") << QByteArray(R"({"name":"Demo","pad":")") +
                                               QByteArray(16 * 1024 * 1024, 'a') + QByteArray(R"("}~body)")
                                        << false << QStringLiteral("超过16 MiB");
}

void TestInstallAction::badPack()
{
    QFETCH(QByteArray, pack);
    QFETCH(bool, removedAfterChoice);
    QFETCH(QString, problem);

    writeInstaller("exit 0");
    const QString path = writePack(QStringLiteral("坏的.etipack"), pack);
    QVERIFY(!path.isEmpty());
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    const QPointer<Addonsmanager> guard(window);

    std::function<void()> afterAccept;
    if (removedAfterChoice)
        afterAccept = [path] {
            QFile::remove(path);
        };
    FileDialogAnswerer dialog(FileDialogAnswerer::Way::Choose, path, afterAccept);
    ModalAnswerer boxes({BoxAnswer::click(QMessageBox::Ok)});
    ignoreInstallingBox(boxes);
    ShownBoxes shown;
    clickAdd(window);

    QVERIFY2(boxes.problems().isEmpty(), qPrintable(boxes.problems().join(QLatin1Char('\n'))));
    QCOMPARE(boxes.boxes().size(), 1);
    const BoxRecord& box = boxes.boxes().first();
    QCOMPARE(box.title, kErrorTitle);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    QCOMPARE(box.defaultButton, QMessageBox::Ok);
    QVERIFY(!box.hasParent);
    // Says which file, and what is wrong with it.
    QVERIFY2(box.text.contains(QDir::toNativeSeparators(path)), qPrintable(box.text));
    QVERIFY2(box.text.contains(problem), qPrintable(box.text));

    // Nothing shown but the error, nothing started, nothing else changed.
    QCOMPARE(shown.lines().size(), 1);
    QVERIFY(!m_workspace->exists(kInstallerRecord));
    QCOMPARE(testjournal::lines(), (QStringList{kPathDebug.arg(path), QStringLiteral("box ") + kErrorTitle +
                                                                          QStringLiteral(" | ") + box.text}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard);
    QVERIFY(window->isVisible());
    QCOMPARE(managerWindow().data(), window);
    QCOMPARE(entries(window, QStringLiteral("listView")), QStringList{QStringLiteral("Beta")});
    QVERIFY(messageBoxes().isEmpty());
}

QTEST_MAIN(TestInstallAction)
#include "tst_installaction.moc"
