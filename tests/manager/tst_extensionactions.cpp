// The manager's "删除" and "配置" buttons, in-process on the offscreen
// platform, with a stand-in installer that records how it was called and
// takes the id out of the Listener list as the real one does.

#include "Addonsmanager.h"
#include "ManagerTestSupport.h"
#include "ManagerWindow.h"
#include "ModalAnswerer.h"
#include "TempWorkspace.h"
#include "TestJournal.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QListView>
#include <QPushButton>
#include <QtTest>
#include <memory>

using namespace managertest;

namespace {

const QString kInstaller = QStringLiteral("Extensions/00000001/packsetup.exe");
const QString kRecord = QStringLiteral("installer-args.log");

} // namespace

class TestExtensionActions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void removeAsks_data();
    void removeAsks();
    void removeTakesTheChosenView();
    void removeWithoutInstaller();
    void nothingChosen_data();
    void nothingChosen();
    void configureOpensFolder();
    void configureMissingFolder();

private:
    Addonsmanager* openWindow();
    void choose(Addonsmanager* window, const QString& viewName, int row);
    void click(Addonsmanager* window, const QString& button);
    QByteArray record() const;

    std::unique_ptr<TempWorkspace> m_workspace;
    std::unique_ptr<JournalHooks> m_hooks;
};

void TestExtensionActions::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
    m_hooks = std::make_unique<JournalHooks>();
    managerWindow().clear();
    QVERIFY(writeEmptyStartLists(*m_workspace));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000002\n00000004\n"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), "00000003 00000002"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/ExtensionName.etn"), "Beta"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000003/ExtensionName.etn"), "中文扩展\n"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000004/ExtensionName.etn"), "Delta"));
    // Records its arguments, then drops the id's line from the Listener list.
    QVERIFY(m_workspace->writeScript(kInstaller, "printf '%s\\n' \"$@\" > " + kRecord.toUtf8() +
                                                     "\n"
                                                     "grep -v \"^$2\\$\" Start/Listener.etl > l.tmp; "
                                                     "mv l.tmp Start/Listener.etl\n"));
}

void TestExtensionActions::cleanup()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Addonsmanager*>(widget))
            delete window;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    managerWindow().clear();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    m_hooks.reset();
    m_workspace.reset();
}

Addonsmanager* TestExtensionActions::openWindow()
{
    auto* window = new Addonsmanager;
    managerWindow() = window;
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return nullptr;
    testjournal::clear();
    return window;
}

void TestExtensionActions::choose(Addonsmanager* window, const QString& viewName, int row)
{
    auto* view = window->findChild<QListView*>(viewName);
    QVERIFY(view && view->model());
    view->setCurrentIndex(view->model()->index(row, 0));
}

void TestExtensionActions::click(Addonsmanager* window, const QString& button)
{
    auto* pushButton = window->findChild<QPushButton*>(button);
    QVERIFY(pushButton);
    QTest::mouseClick(pushButton, Qt::LeftButton);
}

QByteArray TestExtensionActions::record() const
{
    QFile file(m_workspace->filePath(kRecord));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<not run>");
}

void TestExtensionActions::removeAsks_data()
{
    QTest::addColumn<BoxAnswer>("answer");
    QTest::addColumn<bool>("removed");

    QTest::newRow("继续") << BoxAnswer::click(QMessageBox::Yes) << true;
    QTest::newRow("Enter") << BoxAnswer::enter() << true;
    QTest::newRow("关闭") << BoxAnswer::click(QMessageBox::No) << false;
    QTest::newRow("Escape") << BoxAnswer::escape() << false;
    QTest::newRow("close") << BoxAnswer::close() << false;
}

void TestExtensionActions::removeAsks()
{
    QFETCH(BoxAnswer, answer);
    QFETCH(bool, removed);

    Addonsmanager* window = openWindow();
    QVERIFY(window);
    choose(window, QStringLiteral("listView"), 0);
    ModalAnswerer boxes({answer});
    ignoreLoadingBox(boxes);
    click(window, QStringLiteral("pushButton_3"));

    QCOMPARE(boxes.boxes().size(), 1);
    const BoxRecord& question = boxes.boxes().first();
    QCOMPARE(question.title, QStringLiteral("删除扩展-ORVA"));
    QVERIFY2(question.text.contains(QStringLiteral("\"Beta\"")) &&
                 question.text.contains(QStringLiteral("00000002")),
             qPrintable(question.text));
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(question.buttonTexts, (QStringList{QStringLiteral("继续"), QStringLiteral("关闭")}));
    QCOMPARE(question.defaultButton, QMessageBox::Yes);

    // The window stays and shows the lists as the installer left them.
    QVERIFY(managerWindow() == window);
    if (removed) {
        QCOMPARE(record(), QByteArray("--remove\n00000002\n"));
        QCOMPARE(entries(window, QStringLiteral("listView")), QStringList{QStringLiteral("Delta")});
        QCOMPARE(testjournal::lines().filter(QStringLiteral("debug 安装程序")).size(), 2);
    } else {
        QCOMPARE(record(), QByteArray("<not run>"));
        QCOMPARE(entries(window, QStringLiteral("listView")),
                 (QStringList{QStringLiteral("Beta"), QStringLiteral("Delta")}));
    }
    QCOMPARE(entries(window, QStringLiteral("listView_3")),
             (QStringList{QStringLiteral("中文扩展\n"), QStringLiteral("Beta")}));
}

void TestExtensionActions::removeTakesTheChosenView()
{
    // A selection left in one view does not count once the user chose in another.
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    choose(window, QStringLiteral("listView"), 1);
    choose(window, QStringLiteral("listView_3"), 0);
    ModalAnswerer boxes({BoxAnswer::click(QMessageBox::Yes)});
    ignoreLoadingBox(boxes);
    click(window, QStringLiteral("pushButton_3"));

    QCOMPARE(boxes.boxes().size(), 1);
    QVERIFY(boxes.boxes().first().text.contains(QStringLiteral("\"中文扩展\"")));
    QCOMPARE(record(), QByteArray("--remove\n00000003\n"));
}

void TestExtensionActions::removeWithoutInstaller()
{
    QVERIFY(QFile::remove(m_workspace->filePath(kInstaller)));
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    choose(window, QStringLiteral("listView"), 0);
    ModalAnswerer boxes({BoxAnswer::click(QMessageBox::Yes), BoxAnswer::click(QMessageBox::Ok)});
    click(window, QStringLiteral("pushButton_3"));

    QCOMPARE(boxes.boxes().size(), 2);
    QCOMPARE(boxes.boxes().at(1).title, QStringLiteral("错误-ORVA"));
    QCOMPARE(boxes.boxes().at(1).text, QStringLiteral("安装程序启动失败！"));
    QCOMPARE(boxes.boxes().at(1).icon, QMessageBox::Warning);
    QCOMPARE(entries(window, QStringLiteral("listView")),
             (QStringList{QStringLiteral("Beta"), QStringLiteral("Delta")}));
}

void TestExtensionActions::nothingChosen_data()
{
    QTest::addColumn<QString>("button");

    QTest::newRow("删除") << QStringLiteral("pushButton_3");
    QTest::newRow("配置") << QStringLiteral("pushButton_2");
}

void TestExtensionActions::nothingChosen()
{
    QFETCH(QString, button);

    UrlRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "open");
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    ModalAnswerer boxes({BoxAnswer::click(QMessageBox::Ok)});
    click(window, button);

    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().first().text, QStringLiteral("请先在列表中选择一个扩展。"));
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Information);
    QCOMPARE(record(), QByteArray("<not run>"));
    QVERIFY(testjournal::lines().filter(QStringLiteral("url ")).isEmpty());
}

void TestExtensionActions::configureOpensFolder()
{
    UrlRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "open");
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    choose(window, QStringLiteral("listView_3"), 0);
    ModalAnswerer boxes({});
    click(window, QStringLiteral("pushButton_2"));

    QVERIFY(boxes.boxes().isEmpty());
    const QString folder = QDir(m_workspace->path()).absoluteFilePath(QStringLiteral("Extensions/00000003"));
    QCOMPARE(testjournal::lines().filter(QStringLiteral("url ")),
             QStringList{QStringLiteral("url ") + QUrl::fromLocalFile(folder).toString()});
    QCOMPARE(record(), QByteArray("<not run>"));
}

void TestExtensionActions::configureMissingFolder()
{
    UrlRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "open");
    Addonsmanager* window = openWindow();
    QVERIFY(window);
    // Removed by someone else after the window listed it.
    QVERIFY(QDir(m_workspace->filePath(QStringLiteral("Extensions/00000002"))).removeRecursively());
    choose(window, QStringLiteral("listView"), 0);
    ModalAnswerer boxes({BoxAnswer::click(QMessageBox::Ok)});
    click(window, QStringLiteral("pushButton_2"));

    QCOMPARE(boxes.boxes().size(), 1);
    QCOMPARE(boxes.boxes().first().title, QStringLiteral("错误-ORVA"));
    QVERIFY2(boxes.boxes().first().text.contains(QStringLiteral("不存在")),
             qPrintable(boxes.boxes().first().text));
    QVERIFY(testjournal::lines().filter(QStringLiteral("url ")).isEmpty());
}

QTEST_MAIN(TestExtensionActions)
#include "tst_extensionactions.moc"
