// The sample extensions run as real programs in a scratch working directory,
// as chainlaunch runs them.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <vector>

namespace {

const QString kWatcherProgram = QStringLiteral(INBOX_WATCHER_PATH);
const QString kLoggerProgram = QStringLiteral(INBOX_LOGGER_PATH);

// Several of the watcher's polls: long enough for it to have seen anything.
constexpr int kIdleMs = 700;
// Bound on any wait for a sample to end; they normally take milliseconds.
constexpr int kEndTimeoutMs = 10000;

struct LogLine
{
    QDateTime time;
    QString name;
    qint64 size = -1;
};

} // namespace

class tst_samples : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void watcherWaitsQuietlyUntilAFileIsDropped();
    void watcherEndsAtOnceWhenAFileIsWaiting();
    void watcherIgnoresHiddenPartialFilesAndFolders();
    void watcherFailsWhenInboxIsAFile();

    void loggerLogsAndMovesInNameOrder();
    void loggerNeverOverwritesInProcessed();
    void loggerLeavesHiddenPartialFilesAndFolders();
    void loggerAppendsToAnExistingLog();
    void loggerCreatesItsFoldersWhenInboxIsMissing();
    void loggerFailsCleanly_data();
    void loggerFailsCleanly();
    void loggersStartedTogetherFileEachFileOnce();

private:
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    void writeFile(const QString& relative, const QByteArray& contents);
    void dropFile(const QString& name, const QByteArray& contents);
    QByteArray readFile(const QString& relative) const;
    QStringList entries(const QString& folder) const;
    std::unique_ptr<QProcess> start(const QString& program) const;
    QList<LogLine> readLog() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_samples::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_samples::writeFile(const QString& relative, const QByteArray& contents)
{
    QFile file(path(relative));
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(contents), qint64(contents.size()));
}

// Written under a hidden name and renamed, as a careful writer does.
void tst_samples::dropFile(const QString& name, const QByteArray& contents)
{
    QVERIFY(QDir(path(QString())).mkpath(QStringLiteral("Inbox")));
    const QString hidden = QStringLiteral("Inbox/.") + name + QStringLiteral(".tmp");
    writeFile(hidden, contents);
    QVERIFY(QFile::rename(path(hidden), path(QStringLiteral("Inbox/") + name)));
}

QByteArray tst_samples::readFile(const QString& relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList tst_samples::entries(const QString& folder) const
{
    return QDir(path(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

std::unique_ptr<QProcess> tst_samples::start(const QString& program) const
{
    auto process = std::make_unique<QProcess>();
    process->setWorkingDirectory(m_dir->path());
    // A time zone far from UTC shows whether timestamps are really UTC.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC-8"));
    process->setProcessEnvironment(environment);
    process->start(program, QStringList());
    return process;
}

QList<LogLine> tst_samples::readLog() const
{
    static const QRegularExpression linePattern(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ)\\t(.+)\\t(\\d+)\\r?$"));
    QList<LogLine> lines;
    const QByteArray log = readFile(QStringLiteral("Inbox.log"));
    if (log == "<missing>")
        return lines;
    for (const QByteArray& raw : log.split('\n')) {
        if (raw.isEmpty())
            continue;
        const QRegularExpressionMatch match = linePattern.match(QString::fromUtf8(raw));
        LogLine line;
        if (match.hasMatch()) {
            line.time = QDateTime::fromString(match.captured(1), Qt::ISODate);
            line.name = match.captured(2);
            line.size = match.captured(3).toLongLong();
        } else {
            line.name = QStringLiteral("<malformed> ") + QString::fromUtf8(raw);
        }
        lines.append(line);
    }
    return lines;
}

void tst_samples::watcherWaitsQuietlyUntilAFileIsDropped()
{
    auto watcher = start(kWatcherProgram);
    QVERIFY(watcher->waitForStarted());
    QVERIFY2(!watcher->waitForFinished(kIdleMs), "the watcher ended with nothing in Inbox");
    QVERIFY(QFileInfo(path(QStringLiteral("Inbox"))).isDir());
#ifdef Q_OS_LINUX
    // Polling, not spinning: a fraction of the idle time on the CPU.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(watcher->processId()));
    QVERIFY(stat.open(QIODevice::ReadOnly));
    const QByteArray afterName = stat.readAll().split(')').last();
    const QList<QByteArray> fields = afterName.simplified().split(' ');
    const long long cpuTicks = fields.at(11).toLongLong() + fields.at(12).toLongLong(); // utime, stime
    QVERIFY2(cpuTicks < 20, qPrintable(QStringLiteral("CPU ticks while idle: %1").arg(cpuTicks)));
#endif

    dropFile(QStringLiteral("hello.txt"), "hi\n");
    QVERIFY(watcher->waitForFinished(kEndTimeoutMs));
    QCOMPARE(watcher->exitStatus(), QProcess::NormalExit);
    QCOMPARE(watcher->exitCode(), 0);
    // Taking the file is the control extension's job.
    QCOMPARE(entries(QStringLiteral("Inbox")), QStringList{QStringLiteral("hello.txt")});
}

void tst_samples::watcherEndsAtOnceWhenAFileIsWaiting()
{
    // Dropped while no watcher ran (chainlaunch was between runs): not missed.
    dropFile(QStringLiteral("waiting.txt"), "");
    auto watcher = start(kWatcherProgram);
    QVERIFY(watcher->waitForFinished(kEndTimeoutMs));
    QCOMPARE(watcher->exitCode(), 0);
}

void tst_samples::watcherIgnoresHiddenPartialFilesAndFolders()
{
    QVERIFY(QDir(path(QString())).mkpath(QStringLiteral("Inbox/folder")));
    writeFile(QStringLiteral("Inbox/.hidden"), "x");
    writeFile(QStringLiteral("Inbox/report.txt.part"), "half");
    auto watcher = start(kWatcherProgram);
    QVERIFY(watcher->waitForStarted());
    QVERIFY2(!watcher->waitForFinished(kIdleMs), "the watcher took a file that was not dropped yet");

    QVERIFY(QFile::rename(path(QStringLiteral("Inbox/report.txt.part")),
                          path(QStringLiteral("Inbox/report.txt"))));
    QVERIFY(watcher->waitForFinished(kEndTimeoutMs));
    QCOMPARE(watcher->exitCode(), 0);
}

void tst_samples::watcherFailsWhenInboxIsAFile()
{
    writeFile(QStringLiteral("Inbox"), "not a folder");
    auto watcher = start(kWatcherProgram);
    QVERIFY(watcher->waitForFinished(kEndTimeoutMs));
    QCOMPARE(watcher->exitStatus(), QProcess::NormalExit);
    QVERIFY(watcher->exitCode() != 0);
    QVERIFY(watcher->readAllStandardError().contains("Inbox"));
}

void tst_samples::loggerLogsAndMovesInNameOrder()
{
    const QString unicodeName = QStringLiteral("报告 2.txt");
    dropFile(QStringLiteral("b.txt"), "bee");
    dropFile(QStringLiteral("a.txt"), "");
    dropFile(unicodeName, "1234567");
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);

    auto logger = start(kLoggerProgram);
    QVERIFY(logger->waitForFinished(kEndTimeoutMs));
    QCOMPARE(logger->exitStatus(), QProcess::NormalExit);
    QCOMPARE(logger->exitCode(), 0);
    QCOMPARE(logger->readAllStandardError(), QByteArray());

    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);
    const QList<LogLine> lines = readLog();
    QCOMPARE(lines.size(), 3);
    const QStringList expectedNames{QStringLiteral("a.txt"), QStringLiteral("b.txt"), unicodeName};
    const QList<qint64> expectedSizes{0, 3, 7};
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(lines[i].name, expectedNames[i]);
        QCOMPARE(lines[i].size, expectedSizes[i]);
        QVERIFY2(lines[i].time >= before && lines[i].time <= after,
                 qPrintable(lines[i].time.toString(Qt::ISODate)));
    }

    QVERIFY(entries(QStringLiteral("Inbox")).isEmpty());
    QCOMPARE(entries(QStringLiteral("Processed")),
             QStringList({QStringLiteral("a.txt"), QStringLiteral("b.txt"), unicodeName}));
    QCOMPARE(readFile(QStringLiteral("Processed/b.txt")), QByteArray("bee"));
    QCOMPARE(readFile(QStringLiteral("Processed/") + unicodeName), QByteArray("1234567"));
}

void tst_samples::loggerNeverOverwritesInProcessed()
{
    QVERIFY(QDir(path(QString())).mkpath(QStringLiteral("Processed")));
    writeFile(QStringLiteral("Processed/a.txt"), "first");
    writeFile(QStringLiteral("Processed/a-1.txt"), "second");
    writeFile(QStringLiteral("Processed/README"), "old readme");
    dropFile(QStringLiteral("a.txt"), "third");
    dropFile(QStringLiteral("README"), "new readme");

    auto logger = start(kLoggerProgram);
    QVERIFY(logger->waitForFinished(kEndTimeoutMs));
    QCOMPARE(logger->exitCode(), 0);

    QCOMPARE(readFile(QStringLiteral("Processed/a.txt")), QByteArray("first"));
    QCOMPARE(readFile(QStringLiteral("Processed/a-1.txt")), QByteArray("second"));
    QCOMPARE(readFile(QStringLiteral("Processed/a-2.txt")), QByteArray("third"));
    QCOMPARE(readFile(QStringLiteral("Processed/README")), QByteArray("old readme"));
    QCOMPARE(readFile(QStringLiteral("Processed/README-1")), QByteArray("new readme"));
    // The log names each file as it was dropped.
    const QList<LogLine> lines = readLog();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0].name, QStringLiteral("README"));
    QCOMPARE(lines[1].name, QStringLiteral("a.txt"));
}

void tst_samples::loggerLeavesHiddenPartialFilesAndFolders()
{
    QVERIFY(QDir(path(QString())).mkpath(QStringLiteral("Inbox/folder")));
    writeFile(QStringLiteral("Inbox/.hidden"), "x");
    writeFile(QStringLiteral("Inbox/big.iso.part"), "half");
    dropFile(QStringLiteral("done.txt"), "ok");

    auto logger = start(kLoggerProgram);
    QVERIFY(logger->waitForFinished(kEndTimeoutMs));
    QCOMPARE(logger->exitCode(), 0);

    QCOMPARE(
        entries(QStringLiteral("Inbox")),
        QStringList({QStringLiteral(".hidden"), QStringLiteral("big.iso.part"), QStringLiteral("folder")}));
    QCOMPARE(entries(QStringLiteral("Processed")), QStringList{QStringLiteral("done.txt")});
    QCOMPARE(readLog().size(), 1);
}

void tst_samples::loggerAppendsToAnExistingLog()
{
    const QByteArray earlier = "2000-01-01T00:00:00Z\told.txt\t5\n";
    writeFile(QStringLiteral("Inbox.log"), earlier);
    dropFile(QStringLiteral("new.txt"), "n");

    auto logger = start(kLoggerProgram);
    QVERIFY(logger->waitForFinished(kEndTimeoutMs));
    QCOMPARE(logger->exitCode(), 0);

    QVERIFY(readFile(QStringLiteral("Inbox.log")).startsWith(earlier));
    const QList<LogLine> lines = readLog();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1].name, QStringLiteral("new.txt"));
}

void tst_samples::loggerCreatesItsFoldersWhenInboxIsMissing()
{
    auto logger = start(kLoggerProgram);
    QVERIFY(logger->waitForFinished(kEndTimeoutMs));
    QCOMPARE(logger->exitCode(), 0);
    QVERIFY(QFileInfo(path(QStringLiteral("Inbox"))).isDir());
    QVERIFY(QFileInfo(path(QStringLiteral("Processed"))).isDir());
    QVERIFY(readLog().isEmpty());
}

void tst_samples::loggerFailsCleanly_data()
{
    QTest::addColumn<QString>("blockedPath");
    QTest::addColumn<bool>("blockWithFolder");
    QTest::addColumn<QByteArray>("messagePart");

    QTest::newRow("Inbox is a file") << QStringLiteral("Inbox") << false << QByteArray("Inbox");
    QTest::newRow("Processed is a file") << QStringLiteral("Processed") << false << QByteArray("Processed");
    QTest::newRow("Inbox.log is a folder") << QStringLiteral("Inbox.log") << true << QByteArray("Inbox.log");
}

void tst_samples::loggerFailsCleanly()
{
    QFETCH(QString, blockedPath);
    QFETCH(bool, blockWithFolder);
    QFETCH(QByteArray, messagePart);

    const bool inboxBlocked = blockedPath == QStringLiteral("Inbox");
    if (!inboxBlocked)
        dropFile(QStringLiteral("keep.txt"), "k");
    if (blockWithFolder)
        QVERIFY(QDir(path(QString())).mkpath(blockedPath));
    else
        writeFile(blockedPath, "in the way");

    auto logger = start(kLoggerProgram);
    QVERIFY(logger->waitForFinished(kEndTimeoutMs));
    QCOMPARE(logger->exitStatus(), QProcess::NormalExit);
    QVERIFY(logger->exitCode() != 0);
    QVERIFY(logger->readAllStandardError().contains(messagePart));
    // Nothing is moved that cannot be logged.
    if (!inboxBlocked)
        QCOMPARE(entries(QStringLiteral("Inbox")), QStringList{QStringLiteral("keep.txt")});
    if (!blockWithFolder)
        QCOMPARE(readFile(blockedPath), QByteArray("in the way"));
}

// chainlaunch does not wait for a control extension, so two loggers can run
// at once; each file must still land in Processed and the log exactly once.
void tst_samples::loggersStartedTogetherFileEachFileOnce()
{
    constexpr int fileCount = 400;
    QSet<QByteArray> expected;
    for (int i = 0; i < fileCount; ++i) {
        const QByteArray contents = QByteArray::number(i);
        dropFile(QStringLiteral("same-%1.txt").arg(i), contents);
        expected.insert(contents);
    }

    std::vector<std::unique_ptr<QProcess>> loggers;
    for (int i = 0; i < 6; ++i)
        loggers.push_back(start(kLoggerProgram));
    for (const auto& logger : loggers) {
        QVERIFY(logger->waitForFinished(kEndTimeoutMs));
        QCOMPARE(logger->exitCode(), 0);
    }

    QVERIFY(entries(QStringLiteral("Inbox")).isEmpty());
    const QStringList processed = entries(QStringLiteral("Processed"));
    QCOMPARE(processed.size(), fileCount);
    QSet<QByteArray> found;
    for (const QString& name : processed)
        found.insert(readFile(QStringLiteral("Processed/") + name));
    QCOMPARE(found, expected);

    QSet<QString> logged;
    for (const LogLine& line : readLog())
        logged.insert(line.name);
    QCOMPARE(readLog().size(), fileCount);
    QCOMPARE(logged.size(), fileCount);
}

QTEST_GUILESS_MAIN(tst_samples)
#include "tst_samples.moc"
