// The platform layer: layout paths on this platform, file opening, file
// creation, and the replaceable pause and exit.

#include "Platform.h"
#include "TempWorkspace.h"
#include "TestBytes.h"

#include <QtTest>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

QList<int> g_pauses;

void recordPause(int milliseconds)
{
    g_pauses.append(milliseconds);
}

struct ExitRequested
{
    int status;
};

void throwExit(int status)
{
    throw ExitRequested{status};
}

void returnFromExit(int) {}

QByteArray readAll(std::FILE* file)
{
    QByteArray bytes;
    for (int byte = std::fgetc(file); byte != EOF; byte = std::fgetc(file))
        bytes.append(static_cast<char>(byte));
    return bytes;
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void nativePath_data();
    void nativePath();
    void processPath_data();
    void processPath();
    void openFileReadsLayoutPath_data();
    void openFileReadsLayoutPath();
    void openFileRefuses_data();
    void openFileRefuses();
    void openFileWrites();
    void createFileIfMissing();
    void createFileIfMissingKeepsWhatStands_data();
    void createFileIfMissingKeepsWhatStands();
    void createFileIfMissingWithoutFolder();
    void exchangePathsSwapsFolders();
    void pauseIsReplaceable();
    void exitIsReplaceable();
    void exitReplacementThatReturnsStillEnds();
    void commandLineArgumentDecodesUtf8();

private:
    std::unique_ptr<TempWorkspace> m_workspace;
};

void TestPlatform::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
}

void TestPlatform::cleanup()
{
    m_workspace.reset();
    platform::setPauseFunction(nullptr);
    platform::setExitFunction(nullptr);
    g_pauses.clear();
}

void TestPlatform::nativePath_data()
{
    QTest::addColumn<QByteArray>("layoutPath");
    QTest::addColumn<QByteArray>("expected");

#ifdef Q_OS_WIN
    QTest::newRow("unchanged") << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn")
                               << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn");
#else
    QTest::newRow("name file") << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn")
                               << QByteArray("./Extensions/00000002/ExtensionName.etn");
    QTest::newRow("launcher") << QByteArray(".\\Extensions\\chainlaunch.exe")
                              << QByteArray("./Extensions/chainlaunch.exe");
    QTest::newRow("slashes stay") << QByteArray("./Start/Listener.etl") << QByteArray("./Start/Listener.etl");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("line break and spaces kept") << QByteArray(".\\Extensions\\00000002\\ my name\n.control")
                                                << QByteArray("./Extensions/00000002/ my name\n.control");
    QTest::newRow("UTF-8 kept") << QByteArray(".\\Extensions\\00000002\\监听器.exe")
                                << QByteArray("./Extensions/00000002/监听器.exe");
    QTest::newRow("binary bytes kept") << bytes("a\\<FF><A0><85>\\b") << bytes("a/<FF><A0><85>/b");
    QTest::newRow("empty identifier gives a double separator")
        << QByteArray(".\\Extensions\\\\x.exe") << QByteArray("./Extensions//x.exe");
#endif
}

void TestPlatform::nativePath()
{
    QFETCH(QByteArray, layoutPath);
    QFETCH(QByteArray, expected);

    QCOMPARE(platform::nativePath(layoutPath), expected);
}

void TestPlatform::processPath_data()
{
    QTest::addColumn<QByteArray>("layoutPath");
    QTest::addColumn<QString>("expected");

#ifdef Q_OS_WIN
    QTest::newRow("program") << QByteArray(".\\Extensions\\00000002\\监听器.exe")
                             << QStringLiteral(".\\Extensions\\00000002\\监听器.exe");
#else
    QTest::newRow("launcher") << QByteArray(".\\Extensions\\chainlaunch.exe")
                              << QStringLiteral("./Extensions/chainlaunch.exe");
    QTest::newRow("Chinese program") << QByteArray(".\\Extensions\\00000002\\监听器.exe")
                                     << QStringLiteral("./Extensions/00000002/监听器.exe");
    QTest::newRow("line break kept") << QByteArray(".\\Extensions\\00000002\\a\n.exe")
                                     << QStringLiteral("./Extensions/00000002/a\n.exe");
#endif
}

void TestPlatform::processPath()
{
    QFETCH(QByteArray, layoutPath);
    QFETCH(QString, expected);

    QCOMPARE(platform::processPath(layoutPath), expected);
}

void TestPlatform::openFileReadsLayoutPath_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("layoutPath");

    QTest::newRow("name file") << QStringLiteral("Extensions/00000002/ExtensionName.etn")
                               << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn");
    QTest::newRow("Chinese name") << QStringLiteral("Extensions/00000002/监听器.control")
                                  << QByteArray(".\\Extensions\\00000002\\监听器.control");
    QTest::newRow("slash path") << QStringLiteral("Start/Listener.etl") << QByteArray("./Start/Listener.etl");
    QTest::newRow("no leading dot") << QStringLiteral("Start/Listener.etl")
                                    << QByteArray("Start\\Listener.etl");
}

void TestPlatform::openFileReadsLayoutPath()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, layoutPath);

    const QByteArray content = bytes("00000002\r\nrest<00><FF>");
    QVERIFY(m_workspace->writeFile(file, content));
    const platform::FileHandle handle = platform::openFile(layoutPath, "rb");
    QVERIFY(handle);
    QCOMPARE(readAll(handle.get()), content);
}

void TestPlatform::openFileRefuses_data()
{
    QTest::addColumn<QByteArray>("layoutPath");
    QTest::addColumn<QByteArray>("mode");

    QTest::newRow("missing file") << QByteArray(".\\Start\\Missing.etl") << QByteArray("r");
    QTest::newRow("missing folder") << QByteArray(".\\Nowhere\\Listener.etl") << QByteArray("r");
    QTest::newRow("folder for reading") << QByteArray(".\\Start") << QByteArray("r");
    QTest::newRow("folder for binary reading") << QByteArray(".\\Start") << QByteArray("rb");
    QTest::newRow("folder for writing") << QByteArray(".\\Start") << QByteArray("w");
    QTest::newRow("writing into a missing folder")
        << QByteArray(".\\Nowhere\\Listener.etl") << QByteArray("w");
}

void TestPlatform::openFileRefuses()
{
    QFETCH(QByteArray, layoutPath);
    QFETCH(QByteArray, mode);

    QVERIFY(m_workspace->makeDir(QStringLiteral("Start")));
    QVERIFY(!platform::openFile(layoutPath, mode.constData()));
    QVERIFY(!m_workspace->exists(QStringLiteral("Nowhere")));
}

void TestPlatform::openFileWrites()
{
    QVERIFY(m_workspace->makeDir(QStringLiteral("Start")));
    {
        const platform::FileHandle handle = platform::openFile(".\\Start\\新列表.etl", "w");
        QVERIFY(handle);
        QVERIFY(std::fputs("00000002\n", handle.get()) >= 0);
    }
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/新列表.etl")), QByteArray("00000002\n"));
}

void TestPlatform::createFileIfMissing()
{
    QVERIFY(m_workspace->makeDir(QStringLiteral("Start")));
    QVERIFY(platform::createFileIfMissing(".\\Start\\Listener.etl"));
    QVERIFY(QFileInfo(m_workspace->filePath(QStringLiteral("Start/Listener.etl"))).isFile());
    QCOMPARE(QFileInfo(m_workspace->filePath(QStringLiteral("Start/Listener.etl"))).size(), 0);
    // Created at the slash path, not at a file whose name holds backslashes.
    QCOMPARE(QDir(m_workspace->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Start")});
}

void TestPlatform::createFileIfMissingKeepsWhatStands_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("identifiers") << QByteArray("00000002\r\n00000003\n");
    QTest::newRow("binary") << bytes("<00><FF><A0><85>\r\n<1A>");
}

void TestPlatform::createFileIfMissingKeepsWhatStands()
{
    QFETCH(QByteArray, content);

    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), content));
    QVERIFY(platform::createFileIfMissing(".\\Start\\Listener.etl"));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl")), content);
}

void TestPlatform::createFileIfMissingWithoutFolder()
{
    QVERIFY(!platform::createFileIfMissing(".\\Start\\Listener.etl"));
    QVERIFY(!m_workspace->exists(QStringLiteral("Start")));
}

void TestPlatform::exchangePathsSwapsFolders()
{
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/old/a"), "old"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/新/b"), "new"));
    const QString old = m_workspace->filePath(QStringLiteral("Extensions/old"));
    const QString fresh = m_workspace->filePath(QStringLiteral("Extensions/新"));
#ifdef Q_OS_LINUX
    QVERIFY(platform::exchangePaths(fresh, old));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/old/b")), QByteArray("new"));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/新/a")), QByteArray("old"));
    QVERIFY(!m_workspace->exists(QStringLiteral("Extensions/old/a")));
#endif
    // A missing side is refused and changes nothing.
    const QString missing = m_workspace->filePath(QStringLiteral("Extensions/missing"));
    QVERIFY(!platform::exchangePaths(old, missing));
    QVERIFY(!platform::exchangePaths(missing, fresh));
    QVERIFY(QFileInfo(old).isDir());
    QVERIFY(QFileInfo(fresh).isDir());
    QVERIFY(!QFileInfo::exists(missing));
}

void TestPlatform::pauseIsReplaceable()
{
    platform::setPauseFunction(recordPause);
    platform::pause(1000);
    platform::pause(200);
    QCOMPARE(g_pauses, (QList<int>{1000, 200}));

    // nullptr restores the real pause and hands back the replacement.
    QVERIFY(platform::setPauseFunction(nullptr) == recordPause);
    platform::pause(0);
    platform::pause(-5);
    QCOMPARE(g_pauses.size(), 2);
}

void TestPlatform::exitIsReplaceable()
{
    platform::setExitFunction(throwExit);
    try {
        platform::exitProcess(3);
        QFAIL("exitProcess returned");
    } catch (const ExitRequested& exit) {
        QCOMPARE(exit.status, 3);
    }
    QVERIFY(platform::setExitFunction(nullptr) == throwExit);
}

void TestPlatform::exitReplacementThatReturnsStillEnds()
{
#ifdef Q_OS_UNIX
    // Only a child process can show that the process really ends.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        platform::setExitFunction(returnFromExit);
        platform::exitProcess(7);
        ::_exit(99);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 7);
#else
    QSKIP("needs fork");
#endif
}

void TestPlatform::commandLineArgumentDecodesUtf8()
{
#ifdef Q_OS_WIN
    QSKIP("taken from the wide command line on Windows");
#else
    char program[] = "chainlaunch.exe";
    char first[] = "./Extensions/00000002/监听器 v2.exe";
    char second[] = "";
    char* argv[] = {program, first, second, nullptr};
    QCOMPARE(platform::commandLineArgument(argv, 1), QStringLiteral("./Extensions/00000002/监听器 v2.exe"));
    QCOMPARE(platform::commandLineArgument(argv, 2), QString());
#endif
}

QTEST_APPLESS_MAIN(TestPlatform)
#include "tst_platform.moc"
