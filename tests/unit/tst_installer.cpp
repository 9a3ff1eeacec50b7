// The installer against a real workspace: every pack of tests/packs with the
// outcome expected.tsv gives it, the start-list edits byte for byte, removal,
// the lock, and what an interrupted run leaves behind.

#include "InstallationCheck.h"
#include "installer/ExtensionInstaller.h"
#include "installer/ExtensionRemover.h"
#include "installer/StartListEditor.h"
#include "orva/extensions/StartListReader.h"

#include <QtTest>

using extensions::Role;

namespace {

// Extensions 00000003 "Logger" and 00000004 "Old" installed and listed.
struct Installation : Workspace
{
    Installation()
    {
        write(QStringLiteral("Start/Listener.etl"), "00000003\n");
        write(QStringLiteral("Start/Controller.etl"), "00000003\r\n");
        write(QStringLiteral("Start/Runner.etl"), "00000004");
        addExtension("00000003", "Logger", "00000003");
        addExtension("00000004", "Old", "00000004");
        write(QStringLiteral("Extensions/00000009/ExtensionName.etn"), "NoProgram"); // no control to run
    }
};

const QString kPacks = QStringLiteral(ORVA_TEST_PACKS "/");
const pack::ArchiveLimits kLimits{5, 1 << 20};

pack::Outcome install(const QString& pack)
{
    return installer::ExtensionInstaller(kLimits).install(kPacks + pack);
}

} // namespace

class TestInstaller : public QObject
{
    Q_OBJECT

private slots:
    void packs_data();
    void packs();
    void listEdits_data();
    void listEdits();
    void removal();
    void failures();
};

void TestInstaller::packs_data()
{
    QTest::addColumn<QString>("pack");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QFile table(kPacks + QStringLiteral("expected.tsv"));
    QVERIFY(table.open(QIODevice::ReadOnly));
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3 && !line.startsWith('#'))
            QTest::newRow(fields[0]) << QString::fromUtf8(fields[0]) << fields[1].toInt()
                                     << QString::fromUtf8(fields[2]).replace(QStringLiteral("\\n"),
                                                                             QStringLiteral("\n"));
    }
}

void TestInstaller::packs()
{
    QFETCH(QString, pack);
    const Installation workspace;
    const auto before = workspace.snapshot();
    const pack::Outcome outcome = install(pack);
    QCOMPARE(outcome.exitStatus(), ROW(int, exitCode));
    QVERIFY2(outcome.message.contains(ROW(QString, message)), qPrintable(outcome.message));
    const QString problem = installationProblem(workspace, kPacks + pack, kLimits, outcome, before);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestInstaller::listEdits_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("add to a missing list") << QByteArray("<missing>") << true << QByteArray("00000009\n");
    QTest::newRow("add after a last line without break")
        << QByteArray("1 2") << true << QByteArray("1 2\n00000009\n");
    QTest::newRow("add after whitespace") << QByteArray("1\t") << true << QByteArray("1\t00000009\n");
    QTest::newRow("listed already") << QByteArray("x 00000009 y") << true << QByteArray("x 00000009 y");
    QTest::newRow("remove with its CR LF")
        << QByteArray("1\r\n00000009\r\n2") << false << QByteArray("1\r\n2");
    QTest::newRow("remove every copy") << QByteArray("00000009 00000009\n") << false << QByteArray();
    QTest::newRow("remove only whole tokens")
        << QByteArray("000000091 00000009") << false << QByteArray("000000091 ");
}

void TestInstaller::listEdits()
{
    QFETCH(QByteArray, before);
    const Workspace workspace;
    for (const Role role : {Role::Runner, Role::Structure})
        if (before != "<missing>")
            workspace.write(
                QStringLiteral("Start/") + QString::fromLatin1(extensions::startListFileName(role)), before);
    const installer::StartListEditor lists;
    QFETCH(bool, adding);
    QFETCH(QByteArray, after);
    QVERIFY(adding ? lists.add("00000009", {Role::Runner}).ok : lists.remove("00000009").ok);
    QCOMPARE(workspace.read(QStringLiteral("Start/Runner.etl")), after);
    QCOMPARE(workspace.read(QStringLiteral("Start/Structure.etl")), adding ? before : after);
}

void TestInstaller::removal()
{
    // 删除 of an installed extension runs end to end; here what only a script meets.
    const Installation workspace;
    const installer::ExtensionRemover remover;
    QCOMPARE(remover.remove("0000004").code, pack::ExitCode::Usage);
    QCOMPARE(remover.remove("00000007").code, pack::ExitCode::Conflict);
    workspace.write(QStringLiteral("Start/Structure.etl"), "00000008\n"); // listed, no folder
    QVERIFY(remover.remove("00000008").ok());
    QCOMPARE(workspace.read(QStringLiteral("Start/Structure.etl")), QByteArray());
}

void TestInstaller::failures()
{
    const Installation workspace;
    QMap<QString, QByteArray> before;
    {
        const platform::ExclusiveFileLock other(QStringLiteral("Extensions/.packsetup.lock"));
        QVERIFY(other.isLocked());
        before = workspace.snapshot();
        QCOMPARE(install(QStringLiteral("tool.tar.gz.etipack")).code, pack::ExitCode::Busy);
        QCOMPARE(installer::ExtensionRemover().remove("00000003").code, pack::ExitCode::Busy);
        QCOMPARE(workspace.snapshot(), before);
    }
    // A folder where a start list belongs: the new folder is taken out again.
    QVERIFY(QFile::remove(QStringLiteral("Start/Runner.etl")) &&
            QDir().mkdir(QStringLiteral("Start/Runner.etl")));
    before = workspace.snapshot();
    const pack::Outcome refused = install(QStringLiteral("tool.tar.gz.etipack"));
    QCOMPARE(refused.code, pack::ExitCode::IoFailure);
    QVERIFY2(refused.message.contains(QStringLiteral("Runner.etl\"是文件夹")), qPrintable(refused.message));
    QCOMPARE(workspace.snapshot(), before);
    QCOMPARE(installer::ExtensionRemover().remove("00000004").code, pack::ExitCode::IoFailure);
    QCOMPARE(workspace.snapshot(), before);

    // What an interrupted upgrade leaves: the old folder waiting aside, a
    // half-filled staging folder. The next run puts back and clears.
    QVERIFY(QDir().rmdir(QStringLiteral("Start/Runner.etl")));
    QVERIFY(QDir().rename(QStringLiteral("Extensions/00000004"),
                          QStringLiteral("Extensions/.packsetup-backup-00000004")));
    QVERIFY(QDir().mkpath(QStringLiteral("Extensions/.packsetup-staging-00000005-1/x")));
    QVERIFY(installer::ExtensionRemover().remove("00000003").ok());
    QCOMPARE(QDir(QStringLiteral("Extensions")).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{QStringLiteral("00000004"), QStringLiteral("00000009")}));
    QVERIFY(QFileInfo::exists(QStringLiteral("Extensions/00000004/Old.exe")));
}

QTEST_GUILESS_MAIN(TestInstaller)
#include "tst_installer.moc"
