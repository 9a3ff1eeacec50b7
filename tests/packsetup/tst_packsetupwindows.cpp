// packsetup without --quiet: a progress dialog while a pack is checked and
// unpacked, then one result box in Chinese with the outcome.

#include "PackBuilder.h"
#include "SetupWindows.h"
#include "TempWorkspace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <QtTest>

Q_DECLARE_METATYPE(QMessageBox::Icon)

namespace {

struct Seen
{
    QStringList boxes; // title | text of each result box
    QList<QMessageBox::Icon> icons;
    QStringList progressLabels;
};

// Watches every turn of the event loop: notes the progress dialog's labels
// and answers each message box with OK.
class Watcher : public QObject
{
public:
    explicit Watcher(Seen& seen) : m_seen(seen)
    {
        m_timer.setInterval(0);
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

private:
    void poll()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<QProgressDialog*>(widget);
            if (progress && progress->isVisible() && !m_seen.progressLabels.contains(progress->labelText()))
                m_seen.progressLabels.append(progress->windowTitle() + QLatin1String(" | ") +
                                             progress->labelText());
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        m_seen.boxes.append(box->windowTitle() + QLatin1String(" | ") + box->text());
        m_seen.icons.append(box->icon());
        box->button(QMessageBox::Ok)->click();
    }

    Seen& m_seen;
    QTimer m_timer;
};

} // namespace

class TestPackSetupWindows : public QObject
{
    Q_OBJECT

private slots:
    void resultBox_data();
    void resultBox();
};

void TestPackSetupWindows::resultBox_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("textPart");
    QTest::newRow("installed") << QStringList{QStringLiteral("@good")} << 0 << QStringLiteral("安装扩展-ORVA")
                               << QMessageBox::Information
                               << QStringLiteral("已安装扩展\"Demo\"（标识00000002）");
    QTest::newRow("refused") << QStringList{QStringLiteral("@hostile")} << 4
                             << QStringLiteral("安装扩展-ORVA") << QMessageBox::Warning
                             << QStringLiteral("\"/etc/x\"是绝对路径");
    QTest::newRow("removed") << QStringList{QStringLiteral("--remove"), QStringLiteral("00000003")} << 0
                             << QStringLiteral("删除扩展-ORVA") << QMessageBox::Information
                             << QStringLiteral("已删除扩展\"Third\"");
    QTest::newRow("usage") << QStringList{} << 1 << QStringLiteral("安装扩展-ORVA") << QMessageBox::Warning
                           << QStringLiteral("用法");
}

void TestPackSetupWindows::resultBox()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, title);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QString, textPart);

    TempWorkspace workspace;
    QVERIFY(workspace.isValid());
    QVERIFY(workspace.writeFile(QStringLiteral("Extensions/00000003/ExtensionName.etn"), "Third"));
    const QByteArray header = simpleHeader("Demo", "00000002");
    if (arguments.value(0).startsWith(QLatin1Char('@'))) {
        PackBuilder body;
        body.file("Demo.exe");
        if (arguments[0] == QLatin1String("@hostile"))
            body.file("/etc/x");
        QVERIFY(workspace.writeFile(QStringLiteral("p.etipack"), packBytes(header, body.body())));
        arguments[0] = QStringLiteral("p.etipack");
    }

    Seen seen;
    Watcher watcher(seen);
    QCOMPARE(packsetup::runWithWindows(packsetup::parseCommandLine(arguments)), exitCode);
    QCOMPARE(seen.boxes.size(), 1);
    QVERIFY2(seen.boxes.front().startsWith(title + QLatin1String(" | ")), qPrintable(seen.boxes.front()));
    QVERIFY2(seen.boxes.front().contains(textPart), qPrintable(seen.boxes.front()));
    QCOMPARE(seen.icons.front(), icon);
    if (arguments.value(0) == QLatin1String("p.etipack"))
        QVERIFY2(seen.progressLabels.contains(QStringLiteral("安装扩展-ORVA | 正在检查\"Demo\"…")),
                 qPrintable(seen.progressLabels.join(QLatin1Char('\n'))));
    if (exitCode == 0 && arguments.value(0) == QLatin1String("p.etipack"))
        QVERIFY(seen.progressLabels.contains(QStringLiteral("安装扩展-ORVA | 正在解压\"Demo\"…")));
}

QTEST_MAIN(TestPackSetupWindows)
#include "tst_packsetupwindows.moc"
