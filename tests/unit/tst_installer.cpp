// The installer against a real workspace: every pack of tests/packs with the
// outcome expected.tsv gives it, the start-list edits byte for byte, removal,
// the lock, and what an interrupted run leaves behind.

#include "DataTable.h"
#include "InstallationCheck.h"
#include "installer/ExtensionInstaller.h"
#include "installer/ExtensionRemover.h"
#include "installer/StartListEditor.h"
#include "orva/extensions/StartListReader.h"

#include <QtTest>

using extensions::Role;

namespace {

const QString kPacks = QStringLiteral(ORVA_TEST_DATA "/packs/");
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
    addDataRows(kPacks + QStringLiteral("expected.tsv"), {"exitCode", "message"});
}

void TestInstaller::packs()
{
    const QString pack = QString::fromUtf8(QTest::currentDataTag());
    const Installation workspace;
    const auto before = workspace.snapshot();
    const pack::Outcome outcome = install(pack);
    QCOMPARE(outcome.exitStatus(), ROW(QByteArray, exitCode).toInt());
    QVERIFY2(outcome.message.contains(QString::fromUtf8(ROW(QByteArray, message))),
             qPrintable(outcome.message));
    const QString problem = installationProblem(workspace, kPacks + pack, kLimits, outcome, before);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestInstaller::listEdits_data()
{
    addDataRows(QStringLiteral(ORVA_TEST_DATA "/unit/list-edits.tsv"), {"before", "edit", "after"});
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
    const bool adding = ROW(QByteArray, edit) == "add";
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
