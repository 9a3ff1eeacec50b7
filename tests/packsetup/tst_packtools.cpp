// The real programs as users and scripts run them: packsetup --quiet with
// its exit codes for each kind of failure (without a display), a full disk,
// and etipack writing, inspecting and refusing packs that packsetup then
// installs or would refuse.

#include "InstallPack.h"
#include "PackBuilder.h"
#include "TempWorkspace.h"

#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a program in the current directory, without a display, to its end.
Run run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

Run packsetup(const QStringList& arguments)
{
    return run(QStringLiteral(PACKSETUP_PATH), arguments);
}

Run etipack(const QStringList& arguments)
{
    return run(QStringLiteral(ETIPACK_PATH), arguments);
}

const QByteArray kDemoHeader = simpleHeader("Demo", "00000002", "\"roles\":[\"Listener\"]");

} // namespace

class TestPackTools : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void packsetupExitCodes_data();
    void packsetupExitCodes();
    void helpNeedsNoDisplay();
    void diskFull();
    void roundTrip();
    void etipackRefuses_data();
    void etipackRefuses();
    void inspectAndVerify();

private:
    QString packPath(const char* name) const { return m_files.filePath(QString::fromLatin1(name)); }
    QString writePack(const char* name, const QByteArray& bytes) const;

    QTemporaryDir m_files; // packs and source folders, outside the workspace
    std::unique_ptr<TempWorkspace> m_workspace;
};

void TestPackTools::init()
{
    // Packs and source folders start empty for each test.
    QVERIFY(m_files.isValid());
    QVERIFY(QDir(m_files.path()).removeRecursively() && QDir().mkpath(m_files.path()));
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
    QVERIFY(m_workspace->makeDir(QStringLiteral("Extensions")));
}

void TestPackTools::cleanup()
{
    m_workspace.reset();
}

QString TestPackTools::writePack(const char* name, const QByteArray& bytes) const
{
    const QString path = packPath(name);
    return writeBytes(path, bytes) ? path : QString();
}

void TestPackTools::packsetupExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outputPart");

    const QString good = QStringLiteral("@good");
    QTest::newRow("installed") << QStringList{good} << QString() << 0 << QStringLiteral("已安装扩展\"Demo\"");
    QTest::newRow("-q") << QStringList{QStringLiteral("-q"), good} << QString() << 0
                        << QStringLiteral("已安装");
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << QString() << 0
                          << QStringLiteral("退出码");
    QTest::newRow("no pack") << QStringList{} << QString() << 1 << QStringLiteral("用法");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate"), good} << QString() << 1
                                    << QStringLiteral("frobnicate");
    QTest::newRow("two packs") << QStringList{good, good} << QString() << 1 << QStringLiteral("一个");
    QTest::newRow("remove without id")
        << QStringList{QStringLiteral("--remove")} << QString() << 1 << QStringLiteral("用法");
    QTest::newRow("remove bad id") << QStringList{QStringLiteral("--remove"), QStringLiteral("2")}
                                   << QString() << 1 << QStringLiteral("8位数字");
    QTest::newRow("missing pack") << QStringList{packPath("missing.etipack")} << QString() << 2
                                  << QStringLiteral("无法读取");
    QTest::newRow("pack is a folder")
        << QStringList{m_files.path()} << QString() << 2 << QStringLiteral("无法读取");
    QTest::newRow("bad header") << QStringList{QStringLiteral("@badheader")} << QString() << 3
                                << QStringLiteral("\"id\"");
    QTest::newRow("hostile archive") << QStringList{QStringLiteral("@hostile")} << QString() << 4
                                     << QStringLiteral("../x");
    QTest::newRow("installer's id") << QStringList{QStringLiteral("@reserved")} << QString() << 5
                                    << QStringLiteral("00000001");
    QTest::newRow("id of another") << QStringList{good} << QStringLiteral("other") << 5
                                   << QStringLiteral("\"Other\"");
    QTest::newRow("remove not installed")
        << QStringList{QStringLiteral("--remove"), QStringLiteral("00000002")} << QString() << 5
        << QStringLiteral("没有安装");
    QTest::newRow("remove installed") << QStringList{QStringLiteral("--remove"), QStringLiteral("00000002")}
                                      << QStringLiteral("other") << 0 << QStringLiteral("\"Other\"");
    QTest::newRow("busy") << QStringList{good} << QStringLiteral("lock") << 7 << QStringLiteral("另一个");
}

void TestPackTools::packsetupExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, prepare);
    QFETCH(int, exitCode);
    QFETCH(QString, outputPart);

    const QMap<QString, QByteArray> packs{
        {QStringLiteral("@good"), packBytes(kDemoHeader, PackBuilder().file("Demo.exe").body())},
        {QStringLiteral("@badheader"),
         packBytes("{\"name\":\"Demo\"}", PackBuilder().file("Demo.exe").body())},
        {QStringLiteral("@hostile"),
         packBytes(kDemoHeader, PackBuilder().file("Demo.exe").file("../x").body())},
        {QStringLiteral("@reserved"),
         packBytes(simpleHeader("Demo", "00000001"), PackBuilder().file("Demo.exe").body())},
    };
    for (QString& argument : arguments) {
        if (packs.contains(argument))
            argument = writePack("p.etipack", packs.value(argument));
    }
    if (prepare == QLatin1String("other")) {
        QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/ExtensionName.etn"), "Other"));
        QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), "00000002\n"));
    }
    QLockFile lock(m_workspace->filePath(QStringLiteral("Extensions/.packsetup.lock")));
    if (prepare == QLatin1String("lock"))
        QVERIFY(lock.tryLock(0));
    const auto before = snapshot(m_workspace->path());

    const Run result = packsetup(QStringList{QStringLiteral("--quiet")} + arguments);
    QCOMPARE(result.exitCode, exitCode);
    // Success goes to standard output, everything else to standard error.
    const QString& output = exitCode == 0 ? result.out : result.err;
    QVERIFY2(output.contains(outputPart), qPrintable(result.out + result.err));
    QVERIFY((exitCode == 0 ? result.err : result.out).isEmpty());
    if (exitCode != 0)
        QCOMPARE(snapshot(m_workspace->path()), before);
}

void TestPackTools::helpNeedsNoDisplay()
{
    // Authors ask for the usage in a terminal, where there may be no display.
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const Run result = packsetup({option});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains(QStringLiteral("退出码")), qPrintable(result.out + result.err));
    }
}

void TestPackTools::diskFull()
{
#ifdef Q_OS_UNIX
    QRandomGenerator random(3);
    QByteArray big(1 << 20, Qt::Uninitialized);
    for (char& byte : big)
        byte = static_cast<char>(random.bounded(256));
    const QString pack = writePack(
        "big.etipack", packBytes(kDemoHeader, PackBuilder().file("Demo.exe").file("big.bin", big).body()));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000003"));
    const auto before = snapshot(m_workspace->path());
    const QByteArray errorFile = packPath("stderr.txt").toUtf8();
    const QByteArray packBytesPath = pack.toUtf8();

    // No file of the child may grow beyond 64 KiB: writes fail as on a full disk.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const int err = ::open(errorFile.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, STDERR_FILENO);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::execl(PACKSETUP_PATH, "packsetup.exe", "--quiet", packBytesPath.constData(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 6);
    QFile err(QString::fromUtf8(errorFile));
    QVERIFY(err.open(QIODevice::ReadOnly));
    const QString message = QString::fromUtf8(err.readAll());
    QVERIFY2(message.contains(QStringLiteral("写入磁盘失败")) &&
                 message.contains(QStringLiteral("File too large")),
             qPrintable(message));
    QCOMPARE(snapshot(m_workspace->path()), before); // nothing half-written, no staging left
#else
    QSKIP("needs setrlimit");
#endif
}

void TestPackTools::roundTrip()
{
    const QString source = packPath("源");
    QVERIFY(writeBytes(source + QStringLiteral("/示例扩展.exe"), "#!/bin/sh\nexit 0\n"));
    QVERIFY(writeBytes(source + QStringLiteral("/资料/说明.txt"), "说明"));
    QVERIFY(writeBytes(source + QStringLiteral("/.hidden"), ""));
    QVERIFY(QDir().mkpath(source + QStringLiteral("/空")));
    const QString pack = packPath("示例.etipack");

    const Run created =
        etipack({QStringLiteral("create"), source, QStringLiteral("--name"), QStringLiteral("示例扩展"),
                 QStringLiteral("--id"), QStringLiteral("00000012"), QStringLiteral("--role"),
                 QStringLiteral("Runner"), QStringLiteral("--role"), QStringLiteral("Listener"),
                 QStringLiteral("--version"), QStringLiteral("1.0"), QStringLiteral("--description"),
                 QStringLiteral("说明 } ~ {"), QStringLiteral("--author"), QStringLiteral("作者"),
                 QStringLiteral("-o"), pack});
    QVERIFY2(created.exitCode == 0, qPrintable(created.err));
    QVERIFY(created.out.contains(QStringLiteral("5个条目")));

    // ORVA's own reading finds the name.
    QCOMPARE(pack::readPackHeader(pack).name, QByteArray("示例扩展"));

    const Run inspected = etipack({QStringLiteral("inspect"), pack});
    QCOMPARE(inspected.exitCode, 0);
    for (const QString& part :
         {QStringLiteral("示例扩展"), QStringLiteral("00000012"), QStringLiteral("Listener, Runner"),
          QStringLiteral("说明 } ~ {"), QStringLiteral("作者"), QStringLiteral("6  资料/说明.txt"),
          QStringLiteral("空/"), QStringLiteral(".hidden"), QStringLiteral("packsetup会接受")})
        QVERIFY2(inspected.out.contains(part), qPrintable(part + QStringLiteral(" in ") + inspected.out));
    QCOMPARE(etipack({QStringLiteral("verify"), pack}).exitCode, 0);

    const Run installed = packsetup({QStringLiteral("--quiet"), pack});
    QVERIFY2(installed.exitCode == 0, qPrintable(installed.err));
    const QString folder = QStringLiteral("Extensions/00000012/");
    QCOMPARE(m_workspace->readFile(folder + QStringLiteral("ExtensionName.etn")), QByteArray("示例扩展"));
    QCOMPARE(m_workspace->readFile(folder + QStringLiteral("示例扩展.control")), QByteArray("00000012"));
    QCOMPARE(m_workspace->readFile(folder + QStringLiteral("资料/说明.txt")), QByteArray("说明"));
    QVERIFY(QFileInfo(m_workspace->filePath(folder + QStringLiteral("示例扩展.exe"))).isExecutable());
    QVERIFY(QFileInfo(m_workspace->filePath(folder + QStringLiteral("空"))).isDir());
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl")), QByteArray("00000012\n"));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Runner.etl")), QByteArray("00000012\n"));
    QCOMPARE(packsetup({QStringLiteral("--quiet"), QStringLiteral("--remove"), QStringLiteral("00000012")})
                 .exitCode,
             0);
    QVERIFY(!m_workspace->exists(QStringLiteral("Extensions/00000012")));
}

void TestPackTools::etipackRefuses_data()
{
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("messagePart");
    const QStringList base{QStringLiteral("--name"), QStringLiteral("Demo"), QStringLiteral("--id"),
                           QStringLiteral("00000002")};
    QTest::newRow("symlink") << QStringLiteral("symlink") << base << 4 << QStringLiteral("符号链接");
    QTest::newRow("fifo") << QStringLiteral("fifo") << base << 4 << QStringLiteral("特殊文件");
    QTest::newRow("no program") << QStringLiteral("noprogram") << base << 4 << QStringLiteral("Demo.exe");
    QTest::newRow("own name file") << QStringLiteral("ExtensionName.etn") << base << 4
                                   << QStringLiteral("ExtensionName.etn");
    QTest::newRow("unportable file name")
        << QStringLiteral("a:b.txt") << base << 4 << QStringLiteral("a:b.txt");
    QTest::newRow("bad name") << QString()
                              << QStringList{QStringLiteral("--name"), QStringLiteral("a/b"),
                                             QStringLiteral("--id"), QStringLiteral("00000002")}
                              << 3 << QStringLiteral("a/b");
    QTest::newRow("bad id") << QString()
                            << QStringList{QStringLiteral("--name"), QStringLiteral("Demo"),
                                           QStringLiteral("--id"), QStringLiteral("2")}
                            << 3 << QStringLiteral("8位数字");
    QTest::newRow("installer's id") << QString()
                                    << QStringList{QStringLiteral("--name"), QStringLiteral("Demo"),
                                                   QStringLiteral("--id"), QStringLiteral("00000001")}
                                    << 5 << QStringLiteral("00000001");
    QTest::newRow("unknown role") << QString()
                                  << base + QStringList{QStringLiteral("--role"), QStringLiteral("Boss")} << 3
                                  << QStringLiteral("Boss");
    QTest::newRow("no name") << QString() << QStringList{QStringLiteral("--id"), QStringLiteral("00000002")}
                             << 1 << QStringLiteral("--name");
    QTest::newRow("output inside the folder")
        << QStringLiteral("inside") << base << 1 << QStringLiteral("文件夹里");
    QTest::newRow("no folder") << QStringLiteral("nofolder") << base << 2 << QStringLiteral("不是文件夹");
}

void TestPackTools::etipackRefuses()
{
    QFETCH(QString, prepare);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, messagePart);
    const QString source = packPath("src");
    QString output = packPath("out.etipack");
    if (prepare != QLatin1String("noprogram") && prepare != QLatin1String("nofolder"))
        QVERIFY(writeBytes(source + QStringLiteral("/Demo.exe"), "x"));
    if (prepare == QLatin1String("symlink"))
        QVERIFY(QFile::link(QStringLiteral("/etc/hostname"), source + QStringLiteral("/link")));
    if (prepare == QLatin1String("fifo")) {
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo((source + QStringLiteral("/pipe")).toUtf8().constData(), 0644), 0);
#else
        QSKIP("needs mkfifo");
#endif
    }
    if (prepare == QLatin1String("ExtensionName.etn") || prepare == QLatin1String("a:b.txt"))
        QVERIFY(writeBytes(source + QLatin1Char('/') + prepare, "x"));
    if (prepare == QLatin1String("noprogram"))
        QVERIFY(writeBytes(source + QStringLiteral("/Other.exe"), "x"));
    if (prepare == QLatin1String("inside"))
        output = source + QStringLiteral("/out.etipack");

    const Run result = etipack(QStringList{QStringLiteral("create"), source} + options +
                               QStringList{QStringLiteral("-o"), output});
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(messagePart), qPrintable(result.err));
    QVERIFY(!QFileInfo::exists(output));
}

void TestPackTools::inspectAndVerify()
{
    const QString hostile = writePack(
        "hostile.etipack", packBytes(kDemoHeader, PackBuilder().file("Demo.exe").file("a/../../x").body()));
    const Run inspected = etipack({QStringLiteral("inspect"), hostile});
    QCOMPARE(inspected.exitCode, 0);
    QVERIFY(inspected.out.contains(QStringLiteral("Demo.exe")));
    QVERIFY2(inspected.out.contains(QStringLiteral("packsetup会拒绝这个安装包：安装包中的\"a/../../x\"")),
             qPrintable(inspected.out));
    QCOMPARE(etipack({QStringLiteral("verify"), hostile}).exitCode, 4);

    const QString badHeader = writePack(
        "bad.etipack", packBytes("{\"name\":\"Demo\",\"id\":\"1\"}", PackBuilder().file("Demo.exe").body()));
    const Run verified = etipack({QStringLiteral("verify"), badHeader});
    QCOMPARE(verified.exitCode, 3);
    QVERIFY(verified.err.contains(QStringLiteral("\"1\"")));
    QVERIFY(etipack({QStringLiteral("inspect"), badHeader}).out.contains(QStringLiteral("Demo.exe")));

    QCOMPARE(etipack({QStringLiteral("inspect"), packPath("missing.etipack")}).exitCode, 2);
    QCOMPARE(etipack({QStringLiteral("frobnicate")}).exitCode, 1);
    QCOMPARE(etipack({}).exitCode, 1);
    QCOMPARE(etipack({QStringLiteral("--help")}).exitCode, 0);
}

QTEST_GUILESS_MAIN(TestPackTools)
#include "tst_packtools.moc"
