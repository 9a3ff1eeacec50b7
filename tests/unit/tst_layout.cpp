// The on-disk layout's readers and writers: start lists as the launcher and
// the manager read them and first lines, each against an oracle written
// another way, files that cannot be read, and the recovery that creates the
// start lists.

#include "DataTable.h"
#include "Workspace.h"
#include "orva/extensions/ExtensionLayout.h"
#include "orva/extensions/FirstLineReader.h"
#include "orva/extensions/ListIdentifierReader.h"
#include "orva/extensions/OutputLines.h"
#include "orva/extensions/PairLog.h"
#include "orva/extensions/StartListFiles.h"
#include "orva/extensions/StartListReader.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>
#include <sys/stat.h>

using Tokens = QList<QByteArray>;

namespace {

// The oracles: Qt's notion of whitespace (the same six bytes), a regular
// expression, and QByteArray's own searching.
Tokens oracleTokens(const QByteArray& bytes)
{
    return bytes.simplified().isEmpty() ? Tokens{} : bytes.simplified().split(' ');
}

Tokens oracleIdentifiers(const QByteArray& bytes)
{
    static const QRegularExpression kDigits(QStringLiteral("[0-9]{1,8}"));
    Tokens ids;
    auto it = kDigits.globalMatch(QString::fromLatin1(bytes.constData(), bytes.size()));
    while (it.hasNext())
        ids.append(it.next().captured().toLatin1());
    return ids;
}

QByteArray oracleFirstLine(QByteArray bytes)
{
#ifdef Q_OS_WIN
    bytes.replace("\r\n", "\n"); // the C runtime's text mode
#endif
    const QByteArray line = bytes.left(bytes.indexOf('\n') + 1 ? bytes.indexOf('\n') + 1 : bytes.size());
    return line.left(extensions::kFirstLineMaxBytes).split('\0').front();
}

// Every byte that matters to one of the readers, in random files: empty ones,
// and every fourth one without line breaks and longer than a first line.
QByteArray randomBytes(QRandomGenerator& random, int row)
{
    static const QByteArray kAlphabets[] = {QByteArray("0123456789 \t\v\f\r\0a,\xA0\x85", 20),
                                            QByteArray("0123456789 \t\n\v\f\r\0a,\xA0\x85", 21)};
    const QByteArray& alphabet = kAlphabets[row % 4 != 0];
    QByteArray bytes(row == 0 ? 0 : static_cast<int>(random.bounded(row % 4 ? 1200 : 2500)),
                     Qt::Uninitialized);
    for (char& byte : bytes)
        byte = alphabet.at(static_cast<int>(random.bounded(alphabet.size())));
    return bytes;
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void readersAgreeWithOracles();
    void unreadableFiles();
    void createEmptyStartLists();
    void pairLog_data();
    void pairLog();
};

void TestLayout::readersAgreeWithOracles()
{
    const Workspace workspace;
    QRandomGenerator random(20261207);
    for (int row = 0; row < 3000; ++row) {
        const QByteArray bytes = randomBytes(random, row);
        workspace.write(QStringLiteral("list"), bytes);
        QCOMPARE(extensions::readStartList("list").value_or(Tokens{}), oracleTokens(bytes));
        QCOMPARE(extensions::readListIdentifiers("list"), oracleIdentifiers(bytes));
        QCOMPARE(extensions::readFirstLine("list").value_or("<unreadable>"), oracleFirstLine(bytes));
    }
}

void TestLayout::unreadableFiles()
{
    const Workspace workspace;
    QDir().mkdir(QStringLiteral("folder"));
#ifndef Q_OS_WIN
    QCOMPARE(::mkfifo("fifo", 0600), 0); // would block an open that waits for a writer
#endif
    QFile huge(QStringLiteral("huge")); // sparse: costs no disk
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(extensions::kMaxStartListBytes + 1));
    for (const char* path : {"missing", "folder", "fifo"}) {
        QVERIFY2(!extensions::readStartList(path) && !extensions::readFirstLine(path), path);
        QVERIFY2(extensions::readListIdentifiers(path).isEmpty(), path);
    }
    QVERIFY(!extensions::readStartList("huge"));
}

void TestLayout::createEmptyStartLists()
{
    // The start-up's 继续 keeps the lists that exist (in process); here, the
    // folder made too, and a folder in a list's place reported.
    const Workspace workspace;
    QVERIFY(extensions::createEmptyStartLists());
    for (const extensions::Role role : extensions::kAllRoles)
        QCOMPARE(workspace.read(QString::fromLatin1("Start/" + extensions::startListFileName(role))),
                 QByteArray());
    QVERIFY(QFile::remove(QStringLiteral("Start/Structure.etl")) &&
            QDir().mkdir(QStringLiteral("Start/Structure.etl")));
    QVERIFY(!extensions::createEmptyStartLists());
}

void TestLayout::pairLog_data()
{
    addDataRows(QStringLiteral(ORVA_TEST_DATA "/unit/pair-logs.tsv"), {"output", "limit", "full", "log"});
}

void TestLayout::pairLog()
{
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, limit);
    const Workspace workspace;
    extensions::OutputLines lines;
    extensions::PairLog log("00000002", limit.toLongLong());
    log.append(lines.take(output.left(output.size() / 2)));
    log.append(lines.take(output.mid(output.size() / 2)));
    log.append(lines.rest());
    QTEST(workspace.read(QStringLiteral("Logs/00000002.1.log")), "full");
    QTEST(workspace.read(QStringLiteral("Logs/00000002.log")), "log");
}

QTEST_GUILESS_MAIN(TestLayout)
#include "tst_layout.moc"
