// The extension manager window, in-process on the offscreen platform: what
// each of its five views lists, its form, the loading box shown while the
// lists are read, and how the window ends ("确定" and the title bar).

#include "Addonsmanager.h"
#include "ManagerTestSupport.h"
#include "ManagerWindow.h"
#include "TempWorkspace.h"
#include "TestJournal.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QtTest>
#include <memory>

using namespace managertest;

namespace {

const QStringList kListNames{QStringLiteral("Listener"), QStringLiteral("Controller"),
                             QStringLiteral("Runner"), QStringLiteral("Structure"),
                             QStringLiteral("MainControllerExtension")};
const QStringList kViewNames{QStringLiteral("listView"), QStringLiteral("listView_2"),
                             QStringLiteral("listView_3"), QStringLiteral("listView_4"),
                             QStringLiteral("listView_5")};

QString listFile(int list)
{
    return QStringLiteral("Start/") + kListNames.at(list) + QStringLiteral(".etl");
}

// Notes what the loading box shows whenever that changes while a window is
// being built, together with how many views have been filled by then. Every
// event the application delivers is a chance to look; a zero-interval timer
// makes sure each processEvents() call delivers one.
class LoadingBoxObserver : public QObject
{
public:
    LoadingBoxObserver()
    {
        qApp->installEventFilter(this);
        m_tick.setInterval(0);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            if (m_clickOkAt.isEmpty() || !m_box || !m_box->isVisible() || m_box->text() != m_clickOkAt)
                return;
            m_clickOkAt.clear();
            m_buttonsWhenClicked = m_box->buttons().size();
            if (QAbstractButton* ok = m_box->button(QMessageBox::Ok))
                QTest::mouseClick(ok, Qt::LeftButton);
        });
        m_tick.start();
    }
    ~LoadingBoxObserver() override { qApp->removeEventFilter(this); }

    const QStringList& states() const { return m_states; }
    QStringList shownBoxes() const { return m_shownBoxes; }
    bool boxHadParent() const { return m_boxHadParent; }
    QMessageBox::Icon boxIcon() const { return m_boxIcon; }
    int buttonsWhenClicked() const { return m_buttonsWhenClicked; }
    // Clicks the box's OK button once it shows `text`.
    void clickOkAt(const QString& text) { m_clickOkAt = text; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
            if (auto* box = qobject_cast<QMessageBox*>(object)) {
                const bool shown = event->type() == QEvent::Show;
                if (shown)
                    m_shownBoxes.append(box->windowTitle() + QStringLiteral(" | ") + box->text());
                if (box->windowTitle() == QStringLiteral("加载中-ORVA")) {
                    if (shown) {
                        m_box = box;
                        m_boxHadParent = box->parentWidget() != nullptr;
                        m_boxIcon = box->icon();
                    }
                    note(shown, box->text());
                }
                return false;
            }
        }
        // Only the event loop delivers the tick: a look at what processEvents() shows.
        if (object == &m_tick && event->type() == QEvent::Timer && m_box && m_box->isVisible())
            note(true, m_box->text());
        return false;
    }

private:
    void note(bool shown, const QString& text)
    {
        int filled = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() != QLatin1String("Addonsmanager"))
                continue;
            for (const QString& view : kViewNames) {
                if (const auto* listView = widget->findChild<QListView*>(view); listView && listView->model())
                    ++filled;
            }
        }
        const QString state = QStringLiteral("%1 | %2 | %3 filled")
                                  .arg(shown ? QStringLiteral("shown") : QStringLiteral("hidden"), text)
                                  .arg(filled);
        if (m_states.isEmpty() || m_states.last() != state)
            m_states.append(state);
    }

    QTimer m_tick;
    QPointer<QMessageBox> m_box;
    QStringList m_states;
    QStringList m_shownBoxes;
    QString m_clickOkAt;
    bool m_boxHadParent = false;
    QMessageBox::Icon m_boxIcon = QMessageBox::NoIcon;
    int m_buttonsWhenClicked = -1;
};

enum class OtherReference { ThisWindow, AnotherWindow, Nothing };

} // namespace

Q_DECLARE_METATYPE(OtherReference)

class TestAddonsmanager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listenerEntries_data();
    void listenerEntries();
    void eachViewShowsItsOwnList();
    void unreadableStartList_data();
    void unreadableStartList();
    void modelsPerView();
    void listsReadOnceWhenBuilt();

    void windowForm();
    void formWidgets_data();
    void formWidgets();
    void resetButtonDoesNothing();

    void loadingBoxSequence();
    void loadingBoxOkHidesItAndLoadingGoesOn();

    void okDestroysWindow_data();
    void okDestroysWindow();
    void titleBarCloseOnlyHides();

private:
    void writeStandardExtensions();
    void writeLists(const QList<QByteArray>& contents);

    std::unique_ptr<TempWorkspace> m_workspace;
    std::unique_ptr<JournalHooks> m_hooks;
};

void TestAddonsmanager::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
    m_hooks = std::make_unique<JournalHooks>();
    managerWindow().clear();
}

void TestAddonsmanager::cleanup()
{
    for (Addonsmanager* window : managerWindows())
        delete window;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(managerWindow().isNull());
    // The window writes nothing to the debug stream and never pauses.
    QCOMPARE(testjournal::lines(), QStringList{});
    m_hooks.reset();
    m_workspace.reset();
}

void TestAddonsmanager::writeStandardExtensions()
{
    const QList<std::pair<QString, QByteArray>> nameFiles{
        {QStringLiteral("00000001"), QByteArray("Alpha\nsecond line\n")},
        {QStringLiteral("00000002"), QByteArray("Beta")},
        {QStringLiteral("00000003"), QByteArray("中文扩展")},
        {QStringLiteral("00000004"), QByteArray()},
        {QStringLiteral("00000007"), QByteArray("Al\0pha\n", 7)},
        {QStringLiteral("00000008"), QByteArray(2000, 'n')},
        {QStringLiteral("12345678"), QByteArray("Twelve")},
        {QStringLiteral("9"), QByteArray("Nine")},
    };
    for (const auto& [id, name] : nameFiles)
        QVERIFY(m_workspace->writeFile(
            QStringLiteral("Extensions/") + id + QStringLiteral("/ExtensionName.etn"), name));
    // A folder where the name file should be, and a folder without one.
    QVERIFY(m_workspace->makeDir(QStringLiteral("Extensions/00000005/ExtensionName.etn")));
    QVERIFY(m_workspace->writeScript(QStringLiteral("Extensions/00000006/Six.exe"), "exit 0\n"));
}

void TestAddonsmanager::writeLists(const QList<QByteArray>& contents)
{
    for (int list = 0; list < kListNames.size(); ++list)
        QVERIFY(m_workspace->writeFile(listFile(list), contents.value(list)));
}

void TestAddonsmanager::listenerEntries_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QStringList>("expected");

    const QString alpha = QStringLiteral("Alpha\n");
    const QString beta = QStringLiteral("Beta");
    QTest::newRow("names with and without a line break, kept verbatim")
        << QByteArray("00000001\n00000002\n") << QStringList{alpha, beta};
    QTest::newRow("order of the list, not of the folders")
        << QByteArray("00000002\n00000001\n") << QStringList{beta, alpha};
    QTest::newRow("Chinese name") << QByteArray("00000003\n") << QStringList{QStringLiteral("中文扩展")};
    QTest::newRow("empty name file gives an empty entry")
        << QByteArray("00000004\n00000002\n") << QStringList{QString(), beta};
    QTest::newRow("name ends at its first NUL byte")
        << QByteArray("00000007") << QStringList{QStringLiteral("Al")};
    QTest::newRow("name cut to 1023 bytes")
        << QByteArray("00000008") << QStringList{QString(1023, QLatin1Char('n'))};
    QTest::newRow("missing extension folders skipped silently, order kept")
        << QByteArray("00000099\n00000001\n00000098\n00000002\n00000097\n") << QStringList{alpha, beta};
    QTest::newRow("name file is a folder, or absent: skipped")
        << QByteArray("00000005\n00000001\n00000006\n00000002\n") << QStringList{alpha, beta};
    QTest::newRow("duplicates give two entries")
        << QByteArray("00000002\n00000001\n00000002\n") << QStringList{beta, alpha, beta};
    QTest::newRow("comma") << QByteArray("00000001,00000002") << QStringList{alpha, beta};
    QTest::newRow("blank") << QByteArray("00000001 00000002") << QStringList{alpha, beta};
    QTest::newRow("letters, NUL and 0xFF between identifiers")
        << QByteArray("x00000001") + QByteArray(1, '\0') +
               QByteArray("\xFF"
                          "abc00000002z")
        << QStringList{alpha, beta};
    QTest::newRow("no line break after the last identifier")
        << QByteArray("00000001\n00000002") << QStringList{alpha, beta};
    QTest::newRow("nine digits: two identifiers, each looked up")
        << QByteArray("123456789") << QStringList{QStringLiteral("Twelve"), QStringLiteral("Nine")};
    QTest::newRow("sixteen digits") << QByteArray("0000000100000002") << QStringList{alpha, beta};
    QTest::newRow("empty list") << QByteArray() << QStringList{};
    QTest::newRow("whitespace only") << QByteArray(" \n\t\r\n") << QStringList{};
    QTest::newRow("non-digit bytes only") << QByteArray("abc;{-}\xFF") << QStringList{};
}

void TestAddonsmanager::listenerEntries()
{
    QFETCH(QByteArray, list);
    QFETCH(QStringList, expected);

    writeStandardExtensions();
    writeLists({list});
    const std::unique_ptr<Addonsmanager> window = std::make_unique<Addonsmanager>();

    QCOMPARE(entries(window.get(), QStringLiteral("listView")), expected);
    for (int view = 1; view < kViewNames.size(); ++view)
        QCOMPARE(entries(window.get(), kViewNames.at(view)), QStringList{});
}

void TestAddonsmanager::eachViewShowsItsOwnList()
{
    writeStandardExtensions();
    writeLists({"00000001", "00000002\n00000002", "00000003", "00000004\n00000001", "12345678"});
    const std::unique_ptr<Addonsmanager> window = std::make_unique<Addonsmanager>();

    const QList<QStringList> expected{{QStringLiteral("Alpha\n")},
                                      {QStringLiteral("Beta"), QStringLiteral("Beta")},
                                      {QStringLiteral("中文扩展")},
                                      {QString(), QStringLiteral("Alpha\n")},
                                      {QStringLiteral("Twelve")}};
    for (int view = 0; view < kViewNames.size(); ++view)
        QCOMPARE(entries(window.get(), kViewNames.at(view)), expected.at(view));
}

void TestAddonsmanager::unreadableStartList_data()
{
    QTest::addColumn<int>("list");
    QTest::addColumn<bool>("isFolder");

    for (int list = 0; list < kListNames.size(); ++list) {
        QTest::addRow("%s missing", qPrintable(kListNames.at(list))) << list << false;
        QTest::addRow("%s is a folder", qPrintable(kListNames.at(list))) << list << true;
    }
    QTest::newRow("no Start folder at all") << -1 << false;
}

void TestAddonsmanager::unreadableStartList()
{
    QFETCH(int, list);
    QFETCH(bool, isFolder);

    writeStandardExtensions();
    if (list >= 0) {
        writeLists({"00000001", "00000001", "00000001", "00000001", "00000001"});
        QVERIFY(QFile::remove(m_workspace->filePath(listFile(list))));
        if (isFolder)
            QVERIFY(m_workspace->makeDir(listFile(list) + QStringLiteral("/00000001")));
    }

    LoadingBoxObserver observer;
    const std::unique_ptr<Addonsmanager> window = std::make_unique<Addonsmanager>();

    // The other lists are read all the same, and nothing but the loading box shows.
    for (int view = 0; view < kViewNames.size(); ++view) {
        const bool unreadable = list < 0 || view == list;
        QCOMPARE(entries(window.get(), kViewNames.at(view)),
                 unreadable ? QStringList{} : QStringList{QStringLiteral("Alpha\n")});
    }
    QCOMPARE(observer.shownBoxes(), QStringList{QStringLiteral("加载中-ORVA | 正在加载Listener扩展...")});
    QVERIFY(messageBoxes().isEmpty());
}

void TestAddonsmanager::modelsPerView()
{
    writeStandardExtensions();
    writeLists({"00000001\n00000002", "00000002", "", "00000003 00000003 00000003", "00000001"});
    auto* window = new Addonsmanager;

    QList<QAbstractItemModel*> models;
    for (const QString& name : kViewNames) {
        auto* view = window->findChild<QListView*>(name);
        QVERIFY(view);
        QAbstractItemModel* model = view->model();
        QVERIFY(model);
        QVERIFY2(!models.contains(model), qPrintable(name));
        models.append(model);
        QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    // The models go with the window: nothing else holds on to them.
    const QPointer<QAbstractItemModel> first = models.first();
    const QPointer<QAbstractItemModel> last = models.last();
    delete window;
    QVERIFY(first.isNull());
    QVERIFY(last.isNull());
}

void TestAddonsmanager::listsReadOnceWhenBuilt()
{
    writeStandardExtensions();
    writeLists({"00000001", "00000002"});
    const std::unique_ptr<Addonsmanager> first = std::make_unique<Addonsmanager>();

    // Lists and names changed afterwards: the open window keeps what it read,
    // a new window reads them afresh. Nothing is written.
    writeLists({"00000002\n00000003", ""});
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/ExtensionName.etn"), "Beta 2"));
    first->show();
    QVERIFY(QTest::qWaitForWindowExposed(first.get()));
    QCOMPARE(entries(first.get(), QStringLiteral("listView")), QStringList{QStringLiteral("Alpha\n")});
    QCOMPARE(entries(first.get(), QStringLiteral("listView_2")), QStringList{QStringLiteral("Beta")});

    const std::unique_ptr<Addonsmanager> second = std::make_unique<Addonsmanager>();
    QCOMPARE(entries(second.get(), QStringLiteral("listView")),
             (QStringList{QStringLiteral("Beta 2"), QStringLiteral("中文扩展")}));
    QCOMPARE(entries(second.get(), QStringLiteral("listView_2")), QStringList{});
    QCOMPARE(m_workspace->readFile(listFile(0)), QByteArray("00000002\n00000003"));
    QCOMPARE(m_workspace->readFile(listFile(1)), QByteArray());
}

void TestAddonsmanager::windowForm()
{
    writeLists({});
    const std::unique_ptr<Addonsmanager> window = std::make_unique<Addonsmanager>();

    QCOMPARE(window->objectName(), QStringLiteral("Addonsmanager"));
    QCOMPARE(window->metaObject()->className(), "Addonsmanager");
    QVERIFY(window->isWindow());
    QVERIFY(!window->parentWidget());
    QCOMPARE(window->windowTitle(), QStringLiteral("ORVA"));
    QCOMPARE(window->size(), QSize(1089, 471));
    QCOMPARE(window->minimumSize(), QSize(1089, 471));
    QCOMPARE(window->maximumSize(), QSize(1089, 471));
    QCOMPARE(window->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(window->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QVERIFY(!window->layout());
    // Built hidden: the Manage action shows it.
    QVERIFY(!window->isVisible());
    QVERIFY(!window->testAttribute(Qt::WA_DeleteOnClose));

    // The widgets in the order of the form.
    const QStringList order{
        QStringLiteral("listView"),     QStringLiteral("listView_2"),   QStringLiteral("listView_3"),
        QStringLiteral("listView_4"),   QStringLiteral("label"),        QStringLiteral("label_2"),
        QStringLiteral("label_3"),      QStringLiteral("label_4"),      QStringLiteral("listView_5"),
        QStringLiteral("label_5"),      QStringLiteral("pushButton"),   QStringLiteral("pushButton_2"),
        QStringLiteral("pushButton_3"), QStringLiteral("pushButton_4"), QStringLiteral("pushButton_5")};
    QStringList children;
    for (QObject* child : window->children()) {
        if (child->isWidgetType())
            children.append(child->objectName());
    }
    QCOMPARE(children, order);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->resize(1200, 600);
    QCOMPARE(window->size(), QSize(1089, 471));
    window->resize(300, 200);
    QCOMPARE(window->size(), QSize(1089, 471));
}

void TestAddonsmanager::formWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    const QByteArray list = "QListView";
    const QByteArray label = "QLabel";
    const QByteArray button = "QPushButton";
    const QList<std::tuple<const char*, QByteArray, QRect, QString>> form{
        {"listView", list, {10, 30, 256, 192}, {}},
        {"listView_2", list, {280, 30, 256, 192}, {}},
        {"listView_3", list, {550, 30, 256, 192}, {}},
        {"listView_4", list, {820, 30, 256, 192}, {}},
        {"label", label, {20, 10, 68, 15}, QStringLiteral("监听器")},
        {"label_2", label, {280, 10, 68, 15}, QStringLiteral("控制器")},
        {"label_3", label, {550, 10, 68, 15}, QStringLiteral("执行器")},
        {"label_4", label, {820, 10, 68, 15}, QStringLiteral("结构包")},
        {"listView_5", list, {10, 260, 256, 192}, {}},
        {"label_5", label, {10, 240, 91, 16}, QStringLiteral("控制扩展器")},
        {"pushButton", button, {280, 260, 84, 24}, QStringLiteral("添加")},
        {"pushButton_2", button, {280, 290, 84, 24}, QStringLiteral("配置")},
        {"pushButton_3", button, {280, 320, 84, 24}, QStringLiteral("删除")},
        {"pushButton_4", button, {280, 350, 84, 24}, QStringLiteral("重置")},
        {"pushButton_5", button, {990, 440, 80, 20}, QStringLiteral("确定")},
    };
    for (const auto& [name, kind, geometry, text] : form)
        QTest::newRow(name) << QString::fromLatin1(name) << kind << geometry << text;
}

void TestAddonsmanager::formWidgets()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    writeLists({});
    const std::unique_ptr<Addonsmanager> window = std::make_unique<Addonsmanager>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    const QList<QWidget*> found = window->findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QWidget* widget = found.first();
    QCOMPARE(widget->parentWidget(), window.get());
    QCOMPARE(QByteArray(widget->metaObject()->className()), kind);
    QCOMPARE(widget->geometry(), geometry);
    QVERIFY(widget->isVisible());
    QVERIFY(widget->isEnabled());
    if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), text);
    if (auto* button = qobject_cast<QPushButton*>(widget))
        QCOMPARE(button->text(), text);
}

void TestAddonsmanager::resetButtonDoesNothing()
{
    writeStandardExtensions();
    writeLists({"00000001", "00000002"});
    auto* window = new Addonsmanager;
    managerWindow() = window;
    const QPointer<Addonsmanager> guard(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    // Anything modal that opened would be refused and noted, not hang the test.
    QStringList opened;
    QTimer refuse;
    refuse.setInterval(5);
    connect(&refuse, &QTimer::timeout, [&opened] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            opened.append(QString::fromLatin1(dialog->metaObject()->className()) + QLatin1Char(' ') +
                          dialog->windowTitle() + QLatin1Char(' ') +
                          (dialog->isVisible() ? QStringLiteral("visible") : QStringLiteral("hidden")));
            dialog->reject();
        }
    });
    refuse.start();
    const QList<QWidget*> before = QApplication::topLevelWidgets();

    // "重置" is placed and labelled, and connected to nothing.
    auto* pushButton = window->findChild<QPushButton*>(QStringLiteral("pushButton_4"));
    QVERIFY(pushButton);
    QTest::mouseClick(pushButton, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();

    QVERIFY2(opened.isEmpty(), qPrintable(opened.join(QLatin1Char(','))));
    QVERIFY(guard);
    QVERIFY(window->isVisible());
    QCOMPARE(managerWindow().data(), window);
    QCOMPARE(entries(window, QStringLiteral("listView")), QStringList{QStringLiteral("Alpha\n")});
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY2(before.contains(widget) || !widget->isVisible(), widget->metaObject()->className());
}

void TestAddonsmanager::loadingBoxSequence()
{
    writeStandardExtensions();
    writeLists({"00000001", "00000002", "00000003", "00000004", "00000001"});

    LoadingBoxObserver observer;
    const std::unique_ptr<Addonsmanager> window = std::make_unique<Addonsmanager>();

    // Each text is up before its list is read; the box closes after the last.
    QCOMPARE(observer.states(),
             (QStringList{
                 QStringLiteral("shown | 正在加载Listener扩展... | 0 filled"),
                 QStringLiteral("shown | 正在加载Controller扩展... | 1 filled"),
                 QStringLiteral("shown | 正在加载Runner扩展... | 2 filled"),
                 QStringLiteral("shown | 正在加载Structure扩展... | 3 filled"),
                 QStringLiteral("shown | 正在加载MainControllerExtension扩展... | 4 filled"),
                 QStringLiteral("hidden | 正在加载MainControllerExtension扩展... | 5 filled"),
             }));
    QCOMPARE(observer.shownBoxes(), QStringList{QStringLiteral("加载中-ORVA | 正在加载Listener扩展...")});
    QVERIFY(!observer.boxHadParent());
    QCOMPARE(observer.boxIcon(), QMessageBox::NoIcon);
    // The box is gone with the constructor.
    QVERIFY(messageBoxes().isEmpty());
    QVERIFY(!window->isVisible());
}

void TestAddonsmanager::loadingBoxOkHidesItAndLoadingGoesOn()
{
    writeStandardExtensions();
    writeLists({"00000001", "00000002", "00000003", "00000004", "00000001"});

    LoadingBoxObserver observer;
    observer.clickOkAt(QStringLiteral("正在加载Controller扩展..."));
    const std::unique_ptr<Addonsmanager> window = std::make_unique<Addonsmanager>();

    // No button was set: the box carries the toolkit's own OK only.
    QCOMPARE(observer.buttonsWhenClicked(), 1);
    QCOMPARE(observer.states(), (QStringList{
                                    QStringLiteral("shown | 正在加载Listener扩展... | 0 filled"),
                                    QStringLiteral("shown | 正在加载Controller扩展... | 1 filled"),
                                    QStringLiteral("hidden | 正在加载Controller扩展... | 1 filled"),
                                }));
    QCOMPARE(observer.shownBoxes().size(), 1);
    QCOMPARE(entries(window.get(), QStringLiteral("listView_5")), QStringList{QStringLiteral("Alpha\n")});
    QCOMPARE(entries(window.get(), QStringLiteral("listView_3")), QStringList{QStringLiteral("中文扩展")});
    QVERIFY(messageBoxes().isEmpty());
}

void TestAddonsmanager::okDestroysWindow_data()
{
    QTest::addColumn<OtherReference>("reference");

    QTest::newRow("managerWindow refers to it") << OtherReference::ThisWindow;
    QTest::newRow("managerWindow refers to another window") << OtherReference::AnotherWindow;
    QTest::newRow("managerWindow is null") << OtherReference::Nothing;
}

void TestAddonsmanager::okDestroysWindow()
{
    QFETCH(OtherReference, reference);

    writeStandardExtensions();
    writeLists({"00000001"});
    auto* window = new Addonsmanager;
    auto* other = new Addonsmanager;
    const QPointer<Addonsmanager> guard(window);
    const QPointer<Addonsmanager> otherGuard(other);
    window->show();
    other->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    switch (reference) {
    case OtherReference::ThisWindow:
        managerWindow() = window;
        break;
    case OtherReference::AnotherWindow:
        managerWindow() = other;
        break;
    case OtherReference::Nothing:
        break;
    }

    auto* ok = window->findChild<QPushButton*>(QStringLiteral("pushButton_5"));
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);

    // Gone from the screen and from managerWindow at once, destroyed at the
    // latest when the click has been handled.
    QVERIFY(guard.isNull() || !guard->isVisible());
    QCOMPARE(managerWindow().data(), reference == OtherReference::AnotherWindow ? other : nullptr);
    QTRY_VERIFY(guard.isNull());
    QVERIFY(otherGuard);
    QVERIFY(other->isVisible());
    QCOMPARE(managerWindow().data(), reference == OtherReference::AnotherWindow ? other : nullptr);
}

void TestAddonsmanager::titleBarCloseOnlyHides()
{
    writeStandardExtensions();
    writeLists({"00000001"});
    auto* window = new Addonsmanager;
    managerWindow() = window;
    const QPointer<Addonsmanager> guard(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QVERIFY(window->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();

    QVERIFY(guard);
    QVERIFY(!window->isVisible());
    QCOMPARE(managerWindow().data(), window);
    QCOMPARE(entries(window, QStringLiteral("listView")), QStringList{QStringLiteral("Alpha\n")});
}

QTEST_MAIN(TestAddonsmanager)
#include "tst_addonsmanager.moc"
