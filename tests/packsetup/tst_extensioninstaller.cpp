// Installing, upgrading and removing extensions in a temporary workspace:
// the folder, the files the installer writes, the start lists byte for byte,
// refusals that change nothing, and what interrupted runs leave behind.

#include "ExtensionInstaller.h"
#include "ExtensionRemover.h"
#include "PackBuilder.h"
#include "StartListEditor.h"
#include "TempWorkspace.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRandomGenerator>
#include <QtTest>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

using packsetup::ExitCode;

namespace {

using Tree = QMap<QString, QByteArray>;

QByteArray demoBody(const QByteArray& program = "#!/bin/sh\n")
{
    return PackBuilder().file("Demo.exe", program, 0755).file("data/a.txt", "alpha").body();
}

QByteArray header(const QByteArray& extra, const QByteArray& name = "Demo", const QByteArray& id = "00000002")
{
    return simpleHeader(name, id, extra);
}

int code(const packsetup::Outcome& outcome)
{
    return static_cast<int>(outcome.code);
}

} // namespace

class TestExtensionInstaller : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void freshInstall();
    void listsKeepTheirBytes_data();
    void listsKeepTheirBytes();
    void upgrade();
    void refusedWithNothingChanged_data();
    void refusedWithNothingChanged();
    void controlExtension_data();
    void controlExtension();
    void failingListRollsBack_data();
    void failingListRollsBack();
    void leftoversOfInterruptedRuns();
    void killedPartWay();
    void removeTakesIdOutOfLists_data();
    void removeTakesIdOutOfLists();
    void removeInstalled();
    void removeRefused_data();
    void removeRefused();

private:
    packsetup::Outcome install(const QByteArray& headerJson, const QByteArray& body) const;
    void installOther(const QByteArray& id, const QByteArray& name) const;
    Tree tree() const { return snapshot(m_workspace->path()); }

    QTemporaryDir m_packs;
    std::unique_ptr<TempWorkspace> m_workspace;
};

void TestExtensionInstaller::init()
{
    QVERIFY(m_packs.isValid());
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
}

void TestExtensionInstaller::cleanup()
{
    m_workspace.reset();
}

packsetup::Outcome TestExtensionInstaller::install(const QByteArray& headerJson, const QByteArray& body) const
{
    const QString path = m_packs.filePath(QStringLiteral("pack.etipack"));
    if (!writeBytes(path, packBytes(headerJson, body)))
        return {ExitCode::IoFailure, QStringLiteral("test could not write the pack")};
    return packsetup::ExtensionInstaller().install(path);
}

// An installed extension as packsetup leaves it (name file, program).
void TestExtensionInstaller::installOther(const QByteArray& id, const QByteArray& name) const
{
    const QString folder = QStringLiteral("Extensions/") + QString::fromLatin1(id) + QLatin1Char('/');
    QVERIFY(m_workspace->writeFile(folder + QStringLiteral("ExtensionName.etn"), name));
    QVERIFY(m_workspace->writeFile(folder + QString::fromUtf8(name) + QStringLiteral(".exe"), "x"));
}

void TestExtensionInstaller::freshInstall()
{
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Controller.etl"), "00000009\n"));
    const QByteArray json = header("\"roles\":[\"Runner\",\"Listener\"],\"version\":\"2.1\",\"x-extra\":{}");
    const packsetup::Outcome outcome = install(json, demoBody());
    QCOMPARE(code(outcome), 0);
    QVERIFY(outcome.message.contains(QStringLiteral("\"Demo\"")) &&
            outcome.message.contains(QStringLiteral("00000002")));
    QVERIFY(outcome.message.contains(QStringLiteral("Listener、Runner")));

    const QString folder = QStringLiteral("Extensions/00000002/");
    QCOMPARE(m_workspace->readFile(folder + QStringLiteral("ExtensionName.etn")), QByteArray("Demo"));
    QCOMPARE(m_workspace->readFile(folder + QStringLiteral("Demo.control")), QByteArray("00000002"));
    QCOMPARE(m_workspace->readFile(folder + QStringLiteral("data/a.txt")), QByteArray("alpha"));
    QVERIFY(QFileInfo(m_workspace->filePath(folder + QStringLiteral("Demo.exe"))).isExecutable());
    const QJsonObject manifest =
        QJsonDocument::fromJson(m_workspace->readFile(folder + QStringLiteral("PackManifest.json"))).object();
    QCOMPARE(manifest.value(QStringLiteral("name")).toString(), QStringLiteral("Demo"));
    QCOMPARE(manifest.value(QStringLiteral("version")).toString(), QStringLiteral("2.1"));
    QCOMPARE(manifest.value(QStringLiteral("control")).toString(), QStringLiteral("00000002"));

    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl")), QByteArray("00000002\n"));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Runner.etl")), QByteArray("00000002\n"));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Controller.etl")), QByteArray("00000009\n"));
    QVERIFY(!m_workspace->exists(QStringLiteral("Start/Structure.etl")));
    // Nothing of the work stays: no staging folder, no lock.
    QCOMPARE(QDir(m_workspace->filePath(QStringLiteral("Extensions")))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("00000002")});
}

void TestExtensionInstaller::listsKeepTheirBytes_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("no Start folder") << false << QByteArray() << QByteArray("00000002\n");
    QTest::newRow("empty") << true << QByteArray() << QByteArray("00000002\n");
    QTest::newRow("no final line break")
        << true << QByteArray("00000003") << QByteArray("00000003\n00000002\n");
    QTest::newRow("final line break")
        << true << QByteArray("00000003\n") << QByteArray("00000003\n00000002\n");
    QTest::newRow("CRLF") << true << QByteArray("00000003\r\n") << QByteArray("00000003\r\n00000002\n");
    QTest::newRow("trailing blanks") << true << QByteArray("00000003 \t")
                                     << QByteArray("00000003 \t00000002\n");
    QTest::newRow("odd bytes kept") << true << QByteArray("\xef\xbb\xbfjunk\n\n\v00000003")
                                    << QByteArray("\xef\xbb\xbfjunk\n\n\v00000003\n00000002\n");
    QTest::newRow("listed already") << true << QByteArray("00000003\n00000002")
                                    << QByteArray("00000003\n00000002");
    QTest::newRow("listed among blanks") << true << QByteArray("\t00000002\r") << QByteArray("\t00000002\r");
    QTest::newRow("only inside a longer token")
        << true << QByteArray("x00000002 000000020") << QByteArray("x00000002 000000020\n00000002\n");
}

void TestExtensionInstaller::listsKeepTheirBytes()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    if (exists) {
        QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), before));
        QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), before));
    }
    QCOMPARE(code(install(header("\"roles\":[\"Listener\"]"), demoBody())), 0);
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl")), after);
    if (exists)
        QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Runner.etl")), before);
}

void TestExtensionInstaller::upgrade()
{
    const QByteArray v1 = PackBuilder().file("Demo.exe", "v1", 0755).file("old.txt").body();
    QCOMPARE(code(install(header("\"roles\":[\"Listener\"],\"version\":\"1\""), v1)), 0);
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000002\n00000003"));

    const QByteArray v2 = PackBuilder().file("Demo.exe", "v2", 0755).file("new.txt").body();
    const packsetup::Outcome outcome =
        install(header("\"roles\":[\"Listener\",\"Controller\"],\"version\":\"2\""), v2);
    QCOMPARE(code(outcome), 0);
    QVERIFY(outcome.message.contains(QStringLiteral("已更新")));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/00000002/Demo.exe")), QByteArray("v2"));
    QVERIFY(!m_workspace->exists(QStringLiteral("Extensions/00000002/old.txt")));
    QVERIFY(m_workspace->exists(QStringLiteral("Extensions/00000002/new.txt")));
    QVERIFY(m_workspace->readFile(QStringLiteral("Extensions/00000002/PackManifest.json")).contains("\"2\""));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl")), QByteArray("00000002\n00000003"));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Controller.etl")), QByteArray("00000002\n"));
    QVERIFY(!m_workspace->exists(QStringLiteral("Extensions/.packsetup-backup-00000002")));
}

void TestExtensionInstaller::refusedWithNothingChanged_data()
{
    QTest::addColumn<QByteArray>("headerJson");
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("messagePart");
    const int conflict = static_cast<int>(ExitCode::Conflict);
    QTest::newRow("id used by another name")
        << header({}) << QStringLiteral("other") << conflict << QStringLiteral("\"Other\"");
    QTest::newRow("folder without name file")
        << header({}) << QStringLiteral("bare") << conflict << QStringLiteral("ExtensionName.etn");
    QTest::newRow("file in the folder's place")
        << header({}) << QStringLiteral("file") << conflict << QStringLiteral("Extensions");
    QTest::newRow("installer's id") << header({}, "Demo", "00000001") << QString() << conflict
                                    << QStringLiteral("00000001");
    QTest::newRow("listener without its control")
        << header("\"roles\":[\"Listener\"],\"control\":\"00000005\"") << QString() << conflict
        << QStringLiteral("00000005");
    QTest::newRow("bad header field") << header("\"roles\":[\"Nope\"]") << QString()
                                      << static_cast<int>(ExitCode::HeaderRefused) << QStringLiteral("Nope");
    QTest::newRow("another install running") << header({}) << QStringLiteral("lock")
                                             << static_cast<int>(ExitCode::Busy) << QStringLiteral("另一个");
}

void TestExtensionInstaller::refusedWithNothingChanged()
{
    QFETCH(QByteArray, headerJson);
    QFETCH(QString, prepare);
    QFETCH(int, exitCode);
    QFETCH(QString, messagePart);
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000003"));
    installOther("00000003", "Third");
    if (prepare == QLatin1String("other"))
        installOther("00000002", "Other");
    else if (prepare == QLatin1String("bare"))
        QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/Demo.exe"), "x"));
    else if (prepare == QLatin1String("file"))
        QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002"), "x"));
    QLockFile lock(m_workspace->filePath(QStringLiteral("Extensions/.packsetup.lock")));
    if (prepare == QLatin1String("lock"))
        QVERIFY(lock.tryLock(0));

    const Tree before = tree();
    const packsetup::Outcome outcome = install(headerJson, demoBody());
    QCOMPARE(code(outcome), exitCode);
    QVERIFY2(outcome.message.contains(messagePart), qPrintable(outcome.message));
    QCOMPARE(tree(), before);
}

void TestExtensionInstaller::controlExtension_data()
{
    QTest::addColumn<QByteArray>("members");
    QTest::addColumn<bool>("controlInstalled");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("listener, control installed")
        << QByteArray("\"roles\":[\"Listener\"],\"control\":\"00000005\"") << true << 0;
    QTest::newRow("listener, control missing")
        << QByteArray("\"roles\":[\"Listener\"],\"control\":\"00000005\"") << false
        << static_cast<int>(ExitCode::Conflict);
    QTest::newRow("runner, control missing")
        << QByteArray("\"roles\":[\"Runner\"],\"control\":\"00000005\"") << false << 0;
    QTest::newRow("listener, own control") << QByteArray("\"roles\":[\"Listener\"]") << false << 0;
}

void TestExtensionInstaller::controlExtension()
{
    QFETCH(QByteArray, members);
    QFETCH(bool, controlInstalled);
    QFETCH(int, exitCode);
    if (controlInstalled)
        installOther("00000005", "Control");
    QCOMPARE(code(install(header(members), demoBody())), exitCode);
    if (exitCode == 0)
        QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/00000002/Demo.control")),
                 members.contains("00000005") ? QByteArray("00000005") : QByteArray("00000002"));
}

void TestExtensionInstaller::failingListRollsBack_data()
{
    QTest::addColumn<bool>("upgrading");
    QTest::newRow("fresh install") << false;
    QTest::newRow("upgrade") << true;
}

void TestExtensionInstaller::failingListRollsBack()
{
    QFETCH(bool, upgrading);
    if (upgrading)
        QCOMPARE(code(install(header({}), demoBody("v1"))), 0);
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000003"));
    QVERIFY(m_workspace->makeDir(QStringLiteral("Start/Runner.etl"))); // a folder where a list belongs
    QVERIFY(m_workspace->makeDir(QStringLiteral("Extensions")));       // where packsetup itself lives

    const Tree before = tree();
    const packsetup::Outcome outcome = install(header("\"roles\":[\"Listener\",\"Runner\"]"), demoBody("v2"));
    QCOMPARE(code(outcome), static_cast<int>(ExitCode::IoFailure));
    QVERIFY2(outcome.message.contains(QStringLiteral("Runner.etl")), qPrintable(outcome.message));
    QCOMPARE(tree(), before); // the old version back, or no folder at all
}

void TestExtensionInstaller::leftoversOfInterruptedRuns()
{
    // Staging and removal folders of killed runs; a backup whose upgrade was
    // interrupted before the new folder was in place (00000004), and one
    // interrupted after (00000003).
    QVERIFY(
        m_workspace->writeFile(QStringLiteral("Extensions/.packsetup-staging-00000002-1f/Demo.exe"), "half"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/.packsetup-removing-00000006-2e/x"), "x"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/.packsetup-backup-00000004/ExtensionName.etn"),
                                   "Four"));
    installOther("00000003", "Third");
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/.packsetup-backup-00000003/ExtensionName.etn"),
                                   "Old"));
    // The extension being installed was itself mid-upgrade: it comes back and is upgraded.
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/.packsetup-backup-00000002/ExtensionName.etn"),
                                   "Demo"));

    const packsetup::Outcome outcome = install(header({}), demoBody());
    QCOMPARE(code(outcome), 0);
    QVERIFY(outcome.message.contains(QStringLiteral("已更新")));
    QCOMPARE(
        QDir(m_workspace->filePath(QStringLiteral("Extensions")))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
        (QStringList{QStringLiteral("00000002"), QStringLiteral("00000003"), QStringLiteral("00000004")}));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/00000004/ExtensionName.etn")),
             QByteArray("Four"));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/00000003/ExtensionName.etn")),
             QByteArray("Third"));
}

void TestExtensionInstaller::killedPartWay()
{
#ifdef Q_OS_UNIX
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000003\n"));
    QRandomGenerator random(7);
    QByteArray big(3 << 20, Qt::Uninitialized);
    for (char& byte : big)
        byte = static_cast<char>(random.bounded(256));
    const QString path = m_packs.filePath(QStringLiteral("big.etipack"));
    QVERIFY(writeBytes(path, packBytes(header("\"roles\":[\"Listener\"]"),
                                       PackBuilder().file("Demo.exe").file("big.bin", big).body())));
    // The child dies as a killed installer would: in the middle of unpacking.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        packsetup::ExtensionInstaller installer;
        installer.setProgress([](packsetup::InstallStage stage, const QString&, qint64 done, qint64) {
            if (stage == packsetup::InstallStage::Unpacking && done > 0)
                ::raise(SIGKILL);
        });
        installer.install(path);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    QVERIFY(!m_workspace->exists(QStringLiteral("Extensions/00000002")));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl")), QByteArray("00000003\n"));
    const QStringList left = QDir(m_workspace->filePath(QStringLiteral("Extensions")))
                                 .entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(left.size(), 1);
    QVERIFY(left.front().startsWith(QLatin1String(".packsetup-staging-00000002-")));

    // The next run cleans up and installs.
    QCOMPARE(code(packsetup::ExtensionInstaller().install(path)), 0);
    QCOMPARE(QDir(m_workspace->filePath(QStringLiteral("Extensions")))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("00000002")});
    QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/00000002/big.bin")), big);
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl")), QByteArray("00000003\n00000002\n"));
#else
    QSKIP("needs fork");
#endif
}

void TestExtensionInstaller::removeTakesIdOutOfLists_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("alone") << QByteArray("00000002") << QByteArray();
    QTest::newRow("alone with line break") << QByteArray("00000002\n") << QByteArray();
    QTest::newRow("middle line") << QByteArray("00000003\n00000002\n00000004\n")
                                 << QByteArray("00000003\n00000004\n");
    QTest::newRow("CRLF") << QByteArray("00000002\r\n00000003\r\n") << QByteArray("00000003\r\n");
    QTest::newRow("last without line break") << QByteArray("00000003\n00000002") << QByteArray("00000003\n");
    QTest::newRow("twice on a line") << QByteArray("00000002 00000002\n00000003") << QByteArray("00000003");
    QTest::newRow("blanks kept") << QByteArray("\t\t00000002  00000003") << QByteArray("\t\t 00000003");
    QTest::newRow("longer tokens kept")
        << QByteArray("x00000002 000000020\n") << QByteArray("x00000002 000000020\n");
}

void TestExtensionInstaller::removeTakesIdOutOfLists()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Structure.etl"), before));
    const packsetup::ListChange change = packsetup::StartListEditor().remove("00000002");
    QVERIFY(change.ok);
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Structure.etl")), after);
    QCOMPARE(change.wasListed, before != after);
}

void TestExtensionInstaller::removeInstalled()
{
    QCOMPARE(code(install(header("\"roles\":[\"Listener\",\"Runner\"]"), demoBody())), 0);
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000003\r\n00000002\r\n00000004"));
    const packsetup::Outcome outcome = packsetup::ExtensionRemover().remove("00000002");
    QCOMPARE(code(outcome), 0);
    QVERIFY(outcome.message.contains(QStringLiteral("\"Demo\"")));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl")), QByteArray("00000003\r\n00000004"));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Runner.etl")), QByteArray());
    QVERIFY(QDir(m_workspace->filePath(QStringLiteral("Extensions")))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .isEmpty());

    // Listed, but its folder is gone: the lists are cleaned all the same.
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), "00000007\n"));
    QCOMPARE(code(packsetup::ExtensionRemover().remove("00000007")), 0);
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Runner.etl")), QByteArray());
}

void TestExtensionInstaller::removeRefused_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("not installed") << QByteArray("00000009") << static_cast<int>(ExitCode::Conflict);
    QTest::newRow("installer") << QByteArray("00000001") << static_cast<int>(ExitCode::Conflict);
    QTest::newRow("short") << QByteArray("123") << static_cast<int>(ExitCode::Usage);
    QTest::newRow("path") << QByteArray("../00000002") << static_cast<int>(ExitCode::Usage);
    QTest::newRow("list is a folder") << QByteArray("00000002") << static_cast<int>(ExitCode::IoFailure);
}

void TestExtensionInstaller::removeRefused()
{
    QFETCH(QByteArray, id);
    QFETCH(int, exitCode);
    installOther("00000001", "packsetup");
    installOther("00000002", "Demo");
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000002\n"));
    if (exitCode == static_cast<int>(ExitCode::IoFailure))
        QVERIFY(m_workspace->makeDir(QStringLiteral("Start/Runner.etl")));
    const Tree before = tree();
    QCOMPARE(code(packsetup::ExtensionRemover().remove(id)), exitCode);
    QCOMPARE(tree(), before);
}

QTEST_GUILESS_MAIN(TestExtensionInstaller)
#include "tst_extensioninstaller.moc"
