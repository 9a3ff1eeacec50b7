// The installer against a real workspace: every pack of tests/packs with the
// outcome expected.tsv gives it, signed packs and the question asked before
// installing, the start-list edits byte for byte, removal, the lock, and what
// an interrupted run leaves behind. What runs from a folder against a table
// of processes, and the folder rules under them.

#include "DataTable.h"
#include "InstallationCheck.h"
#include "installer/ExtensionInstaller.h"
#include "installer/ExtensionRemover.h"
#include "installer/StartListEditor.h"
#include "orva/extensions/StartListReader.h"
#include "pack/PackSignature.h"
#include "packsetup/AppFolder.h"
#include "packsetup/InstallConfirmation.h"
#include "platform/Platform.h"

#include <QtTest>
#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using extensions::Role;

namespace {

const QString kPacks = QStringLiteral(ORVA_TEST_DATA "/packs/");
const pack::ArchiveLimits kLimits{5, 1 << 20};
const QByteArray kKeyA = "BMtwi9OCGTq7n8ku7ED_jIMo3zwiHg5ozXrv1I8L7Bw"; // author-a.key's public key

pack::Outcome install(const QString& pack)
{
    return installer::ExtensionInstaller(kLimits).install(kPacks + pack);
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A copy of the pack in the working directory, signed by author-<key>.key.
QString signedCopy(const QString& pack, const QByteArray& key, const QString& copy)
{
    QString error;
    const auto signer = pack::SigningKey::load(
        kPacks + QStringLiteral("author-%1.key").arg(QString::fromLatin1(key.toLower())), error);
    if (key == "-")
        QFile::copy(kPacks + pack, copy);
    else if (!signer || !pack::signPack(kPacks + pack, *signer, copy, error))
        qFatal("cannot sign: %s", qPrintable(error));
    return copy;
}

// The words of signatures.tsv's "change" column: what a row does to the
// signed pack, to the workspace or to the answer. A word not listed here
// fails its row, so that a typo cannot pass as a row that changes nothing.
enum class Change {
    None,
    Header,
    Body,
    Signature,
    Cut,
    Key,
    Twice,
    NoKey,
    BadPin,
    Cancel,
    ReplacedWhileAsked,
    RewrittenWhileUnpacking,
    Running,
    RunningKept
};
const QMap<QByteArray, Change> kChanges{{"-", Change::None},
                                        {"header", Change::Header},
                                        {"body", Change::Body},
                                        {"signature", Change::Signature},
                                        {"cut", Change::Cut},
                                        {"key", Change::Key},
                                        {"twice", Change::Twice},
                                        {"no key", Change::NoKey},
                                        {"bad pin", Change::BadPin},
                                        {"cancel", Change::Cancel},
                                        {"replaced while asked", Change::ReplacedWhileAsked},
                                        {"rewritten while unpacking", Change::RewrittenWhileUnpacking},
                                        {"running", Change::Running},
                                        {"running, not ended", Change::RunningKept}};

// Changes the pack at `path` as the row says, before it is installed.
void changePack(const QString& path, Change how, const Workspace& workspace)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray pack = file.readAll();
    const int signature = pack.indexOf("\"signature\": \"") + 14;
    const int key = pack.indexOf("\"authorKey\": \"");
    switch (how) {
    case Change::Header:
        pack.replace("\"1.0\"", "\"1.1\"");
        break;
    case Change::Body:
        pack[pack.size() - 1] = static_cast<char>(pack.back() ^ 1);
        break;
    case Change::Signature:
        pack[signature] = pack[signature] == 'A' ? 'B' : 'A';
        break;
    case Change::Cut:
        pack.remove(signature, 4);
        break;
    case Change::Key:
        pack.replace(key + 14, kKeyA.size(), "c4NBRK4uHIVXX9vN6ZDuOqYz1Tr5hTxHKvUtkx9X4GU"); // author-b.key's
        break;
    case Change::Twice:
        pack.insert(1, "\"copy\": " + pack.mid(signature - 1, 88) + ",");
        break;
    case Change::NoKey:
        pack.replace("\"authorKey\"", "\"authorKes\"");
        break;
    case Change::BadPin:
        workspace.write(QStringLiteral("Extensions/00000005/PackAuthorKey.txt"), "?\n");
        break;
    case Change::Running:
    case Change::RunningKept:
        workspace.write(QStringLiteral("Extensions/00000004/Old.exe.does"), "sleep 30");
        break;
    case Change::None:
    case Change::Cancel:
    case Change::ReplacedWhileAsked:
    case Change::RewrittenWhileUnpacking:
        break;
    }
    QVERIFY(file.resize(0) && file.seek(0) && file.write(pack) == pack.size());
}

// The processes of a row of processes.tsv, with what packsetup did to them.
struct FakeTable : platform::ProcessTable
{
    struct Process
    {
        platform::ProcessEntry entry;
        QByteArray behaviour;
        QStringList pair;
        bool ended = false;
    };
    mutable QMap<qint64, Process> table;
    mutable QStringList actions;

    QList<platform::ProcessEntry> processes() const override
    {
        QList<platform::ProcessEntry> running;
        for (const Process& process : table)
            if (!process.ended)
                running.append(process.entry);
        return running;
    }
    std::optional<platform::ProcessCommand> command(qint64 pid) const override
    {
        return platform::ProcessCommand{table[pid].pair, QString()};
    }
    std::unique_ptr<platform::HeldProcess> hold(const platform::ProcessEntry& entry) const override
    {
        return std::make_unique<Held>(*this, entry);
    }
    // Acts on whatever process has the id now, as a bare id would.
    struct Held : platform::HeldProcess
    {
        Held(const FakeTable& fake, platform::ProcessEntry entry) : fake(fake), entry(std::move(entry)) {}
        bool runs() const override { return !now().ended && now().entry.started == entry.started; }
        bool mayEnd() const override { return now().behaviour != "foreign"; }
        void askToEnd() override { end("ask", "asked"); }
        void forceToEnd() override { end("force", now().behaviour == "foreign" ? "" : now().behaviour); }
        void end(const char* how, const QByteArray& endsBy)
        {
            fake.actions.append(QStringLiteral("%1 %2").arg(QLatin1String(how)).arg(entry.pid));
            now().ended |= now().behaviour == endsBy;
        }
        Process& now() const { return fake.table[entry.pid]; }
        const FakeTable& fake;
        platform::ProcessEntry entry;
    };
};

} // namespace

class TestInstaller : public QObject
{
    Q_OBJECT

private slots:
    void packs_data();
    void packs();
    void signatures_data();
    void signatures();
    void listEdits_data();
    void listEdits();
    void removal();
    void failures();
    void runningProcesses_data();
    void runningProcesses();
    void folders_data();
    void folders();
};

void TestInstaller::packs_data()
{
    addDataRows(kPacks + QStringLiteral("expected.tsv"), {"exitCode", "message"});
}

void TestInstaller::packs()
{
    QString pack = QString::fromUtf8(QTest::currentDataTag());
    pack::ArchiveLimits limits = kLimits;
    if (pack.startsWith(QLatin1String("margin: "))) { // more to keep free than any disk holds
        pack.remove(0, 8);
        limits.minFreeBytes = qint64(1) << 62;
    }
    const Installation workspace;
    const auto before = workspace.snapshot();
    const pack::Outcome outcome = installer::ExtensionInstaller(limits).install(kPacks + pack);
    QCOMPARE(outcome.exitStatus(), ROW(QByteArray, exitCode).toInt());
    QVERIFY2(outcome.message.contains(QString::fromUtf8(ROW(QByteArray, message))),
             qPrintable(outcome.message));
    const QString problem = installationProblem(workspace, kPacks + pack, limits, outcome, before);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestInstaller::signatures_data()
{
    addDataRows(QStringLiteral(ORVA_TEST_DATA "/unit/signatures.tsv"),
                {"pack", "installed", "key", "change", "exitCode", "message", "asked"});
}

void TestInstaller::signatures()
{
    const QString pack = QString::fromUtf8(ROW(QByteArray, pack));
    const Installation workspace;
    QFETCH(QByteArray, installed);
    if (installed != "-")
        QVERIFY(installer::ExtensionInstaller(kLimits)
                    .install(signedCopy(pack, installed == "A" ? "A" : "-", QStringLiteral("first")))
                    .ok());
    QFETCH(QByteArray, key);
    const QString path = signedCopy(pack, key, QStringLiteral("p.etipack"));
    QVERIFY2(kChanges.contains(ROW(QByteArray, change)), "an unknown word in the change column");
    const Change how = kChanges.value(ROW(QByteArray, change));
    changePack(path, how, workspace);
    QProcess running; // the installed program, for the rows that run it
    if (how == Change::Running || how == Change::RunningKept) {
        running.start(workspace.path(QStringLiteral("Extensions/00000004/Old.exe")), QStringList());
        QVERIFY(running.waitForStarted()); // the log alone may come before QProcess knows
        QTRY_VERIFY(workspace.log().join(QLatin1Char('\n')).contains(QStringLiteral("Old.exe\tstart")));
    }
    const auto before = workspace.snapshot();

    pack::ArchiveLimits limits = kLimits;
    limits.readBlockBytes = 16; // progress every 256 bytes: the pack is read in steps
    installer::ExtensionInstaller installer(limits);
    if (how == Change::RunningKept) // to see the check before the swap refuse
        installer.setStopRunning([](const installer::RunningExtension&) { return std::nullopt; });
    QString question;
    // What was checked and shown is what is installed, whatever happens to the file meanwhile.
    const QByteArray checked = bytesOf(path);
    const QByteArray other = bytesOf(kPacks + QStringLiteral("no-program.tar.gz.etipack"));
    installer.setConfirmation([&](const installer::InstallPlan& plan) {
        question = packsetup::confirmationText(plan);
        if (how == Change::ReplacedWhileAsked)
            workspace.write(path, other);
        return how != Change::Cancel;
    });
    installer.setProgress([&](installer::InstallStage, const QString&, qint64 done, qint64) {
        if (how == Change::RewrittenWhileUnpacking) // in place, what is read: reading it again would see it
            workspace.write(path,
                            QByteArray(static_cast<int>(done), 'x') + checked.mid(static_cast<int>(done)));
    });
    const pack::Outcome outcome = installer.install(path);
    workspace.write(path, checked);
    QCOMPARE(running.state() == QProcess::Running && !running.waitForFinished(100),
             how == Change::RunningKept);
    QCOMPARE(outcome.exitStatus(), ROW(QByteArray, exitCode).toInt());
    QVERIFY2(outcome.message.contains(QString::fromUtf8(ROW(QByteArray, message))),
             qPrintable(outcome.message));
    const QString asked = QString::fromUtf8(ROW(QByteArray, asked));
    QVERIFY2(asked == QLatin1String("-") ? question.isEmpty() : question.contains(asked),
             qPrintable(question));
    const QString problem = installationProblem(workspace, path, kLimits, outcome, before);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString pin = QStringLiteral("Extensions/%1/PackAuthorKey.txt")
                            .arg(QString::fromLatin1(pack::readCheckedHeader(path).info.id));
    if (outcome.ok()) // the key updates must be signed by from now on
        QCOMPARE(workspace.read(pin), key == "-" ? QByteArray("<missing>") : kKeyA + '\n');
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
#ifndef Q_OS_WIN // a FIFO for a pack is refused at once, not waited on
    QVERIFY(::mkfifo("p.etipack", 0600) == 0);
    QCOMPARE(installer::ExtensionInstaller().install(QStringLiteral("p.etipack")).code,
             pack::ExitCode::PackUnreadable);
    QVERIFY(QFile::remove(QStringLiteral("p.etipack")));
#endif
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

void TestInstaller::runningProcesses_data()
{
    addDataRows(QStringLiteral(ORVA_TEST_DATA "/unit/processes.tsv"),
                {"processes", "change", "summary", "orva", "actions", "exitCode", "message"});
}

void TestInstaller::runningProcesses()
{
    const Workspace workspace;
    QFETCH(QByteArray, processes);
    QVERIFY(QDir().mkpath(QStringLiteral("Extensions/00000002")) && QDir().mkpath(QStringLiteral("T")));
    if (processes.contains(" T/")) {
#ifdef Q_OS_WIN
        QSKIP("a link in the extension folder's place needs symbolic links");
#endif
        QVERIFY(QDir().rmdir(QStringLiteral("Extensions/00000002")) &&
                QFile::link(workspace.path(QStringLiteral("T")), QStringLiteral("Extensions/00000002")));
    }
    const QString root = QFileInfo(workspace.path()).canonicalFilePath() + QLatin1Char('/');
    FakeTable fake;
    for (const QByteArray& process : processes.split(';')) {
        QStringList words = QString::fromUtf8(process.trimmed()).split(QLatin1Char(' '));
        QVERIFY2(QList<QByteArray>({"asked", "forced", "foreign"}).contains(words.value(3).toUtf8()),
                 "an unknown behaviour");
        for (QString& word : words)
            word.replace(QRegularExpression(QStringLiteral("^([EOT])/")), root + QStringLiteral("\\1/"))
                .replace(root + QStringLiteral("E/"), root + QStringLiteral("Extensions/00000002/"));
        fake.table[words[0].toLongLong()] = {
            {words[0].toLongLong(), words[1].toLongLong(), words[2].toULongLong(), words[4]},
            words[3].toUtf8(),
            words.mid(5)};
    }
    QFETCH(QByteArray, change);
    QVERIFY2(change == "-" || change.startsWith("reuse "), "an unknown change");
    const auto stop = [&](const installer::RunningExtension& running) {
        if (const qint64 reused = change.mid(6).toLongLong()) // a later program with that id, from elsewhere
            fake.table[reused] = {{reused, 1, 999, root + QStringLiteral("O/Later.exe")}, "asked", {}};
        return running.stop();
    };
    const platform::PauseFunction previous = platform::setPauseFunction([](int) {});
    installer::RunningExtension stopped;
    const pack::Outcome outcome =
        installer::releaseFolder("00000002", QStringLiteral("Extensions/00000002"), stop, stopped, fake);
    platform::setPauseFunction(previous);
    QCOMPARE(stopped.summary(), QString::fromUtf8(ROW(QByteArray, summary)));
    QCOMPARE(stopped.startedByOrva(), ROW(QByteArray, orva) == "yes");
    QCOMPARE(fake.actions.join(QStringLiteral("; ")), QString::fromUtf8(ROW(QByteArray, actions)));
    QCOMPARE(outcome.exitStatus(), ROW(QByteArray, exitCode).toInt());
    QVERIFY2(outcome.message.contains(QString::fromUtf8(ROW(QByteArray, message))),
             qPrintable(outcome.message));
}

void TestInstaller::folders_data()
{
    addDataRows(QStringLiteral(ORVA_TEST_DATA "/unit/folders.tsv"),
                {"function", "first", "second", "linux", "windows"});
}

void TestInstaller::folders()
{
#ifdef Q_OS_WIN
    const QString expected = QString::fromUtf8(ROW(QByteArray, windows));
#else
    const QString expected = QString::fromUtf8(ROW(QByteArray, linux));
#endif
    const QString first = QString::fromUtf8(ROW(QByteArray, first));
    const QString second = QString::fromUtf8(ROW(QByteArray, second));
    QFETCH(QByteArray, function);
    if (function == "inside") {
        QCOMPARE(QLatin1String(platform::isInsideFolder(first, second) ? "yes" : "no"), expected);
        return;
    }
    QVERIFY2(function == "app", "an unknown function");
    const Workspace workspace;
    workspace.write(QStringLiteral("App/Extensions/00000001/packsetup.exe"), "");
    workspace.write(QStringLiteral("App/Other/00000001/packsetup.exe"), "");
    QVERIFY(QDir().mkdir(QStringLiteral("Packs")));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(QStringLiteral("App"), QStringLiteral("Linked")));
#endif
    const QString root = QFileInfo(workspace.path()).canonicalFilePath() + QLatin1Char('/');
    QCOMPARE(packsetup::appFolderFor(root + first, root + second), root + expected);
}

QTEST_GUILESS_MAIN(TestInstaller)
#include "tst_installer.moc"
