// The on-disk layout's readers and writers: start lists as the launcher and
// the manager read them, first lines, paths, and the recovery that creates
// the start lists.

#include "Workspace.h"
#include "orva/extensions/ExtensionLayout.h"
#include "orva/extensions/FirstLineReader.h"
#include "orva/extensions/ListIdentifierReader.h"
#include "orva/extensions/StartListFiles.h"
#include "orva/extensions/StartListReader.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>
#include <sys/stat.h>

using Tokens = QList<QByteArray>;

namespace {

// Three oracles written another way than the readers: by Qt's notion of
// whitespace (the same six bytes) and by a regular expression.
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

QByteArray oracleFirstLine(const QByteArray& bytes)
{
    const QByteArray line = bytes.left(bytes.indexOf('\n') + 1 ? bytes.indexOf('\n') + 1 : bytes.size());
    return line.left(extensions::kFirstLineMaxBytes).split('\0').front();
}

QByteArray randomBytes(QRandomGenerator& random)
{
    static const char kAlphabet[] = "0123456789 \t\n\v\f\r\0a,\xA0\x85";
    QByteArray bytes(static_cast<int>(random.bounded(1200)), Qt::Uninitialized);
    for (char& byte : bytes)
        byte = kAlphabet[random.bounded(static_cast<int>(sizeof kAlphabet - 1))];
    return bytes;
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
    void readersAgreeWithOracles();
    void unreadableFiles();
    void createEmptyStartLists();
};

void TestLayout::readers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Tokens>("tokens");      // readStartList
    QTest::addColumn<Tokens>("identifiers"); // readListIdentifiers
    QTest::addColumn<QByteArray>("line");    // readFirstLine

    const Tokens two{"00000002", "00000003"};
    QTest::newRow("empty") << QByteArray() << Tokens{} << Tokens{} << QByteArray();
    QTest::newRow("lines") << QByteArray("00000002\n00000003\n") << two << two << QByteArray("00000002\n");
    QTest::newRow("every separator") << QByteArray(" \t00000002\v\f\r\n00000003") << two << two
                                     << QByteArray(" \t00000002\v\f\r\n");
    QTest::newRow("duplicates kept") << QByteArray("00000002 00000002") << Tokens{"00000002", "00000002"}
                                     << Tokens{"00000002", "00000002"} << QByteArray("00000002 00000002");
    QTest::newRow("comma and nine digits")
        << QByteArray("00000002,123456789") << Tokens{"00000002,123456789"}
        << Tokens{"00000002", "12345678", "9"} << QByteArray("00000002,123456789");
    QTest::newRow("0xA0 is no separator") << QByteArray("1\xA0"
                                                        "2")
                                          << Tokens{"1\xA0"
                                                    "2"}
                                          << Tokens{"1", "2"}
                                          << QByteArray("1\xA0"
                                                        "2");
    QTest::newRow("NUL ends a line") << QByteArray("Alpha\0Beta\n", 11)
                                     << Tokens{QByteArray("Alpha\0Beta", 10)} << Tokens{}
                                     << QByteArray("Alpha");
    QTest::newRow("long line cut") << QByteArray(2000, 'x') << Tokens{QByteArray(2000, 'x')} << Tokens{}
                                   << QByteArray(1023, 'x');
}

void TestLayout::readers()
{
    QFETCH(QByteArray, bytes);
    const Workspace workspace;
    workspace.write(QStringLiteral("list"), bytes);
    QCOMPARE(extensions::readStartList("list").value_or(Tokens{QByteArray("<unreadable>")}),
             ROW(Tokens, tokens));
    QCOMPARE(extensions::readListIdentifiers("list"), ROW(Tokens, identifiers));
    QCOMPARE(extensions::readFirstLine("list").value_or("<unreadable>"), ROW(QByteArray, line));
}

void TestLayout::readersAgreeWithOracles()
{
    const Workspace workspace;
    QRandomGenerator random(20261207);
    for (int row = 0; row < 3000; ++row) {
        const QByteArray bytes = randomBytes(random);
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
    QCOMPARE(::mkfifo("fifo", 0600), 0); // would block an open that waits for a writer
    QFile huge(QStringLiteral("huge"));  // sparse: costs no disk
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(extensions::kMaxStartListBytes + 1));
    for (const char* path : {"missing", "folder", "fifo"}) {
        QVERIFY2(!extensions::readStartList(path) && !extensions::readFirstLine(path), path);
        QVERIFY2(extensions::readListIdentifiers(path).isEmpty(), path);
    }
    QVERIFY(!extensions::readStartList("huge"));
}

void TestLayout::createEmptyStartLists()
{
    const Workspace workspace;
    QVERIFY(extensions::createEmptyStartLists());
    for (const extensions::Role role : extensions::kAllRoles)
        QCOMPARE(workspace.read(QString::fromLatin1("Start/" + extensions::startListFileName(role))),
                 QByteArray());
    workspace.write(QStringLiteral("Start/Runner.etl"), "00000002\n");
    QVERIFY(QFile::remove(QStringLiteral("Start/Listener.etl")) &&
            QFile::remove(QStringLiteral("Start/Structure.etl")));
    QVERIFY(QDir().mkdir(QStringLiteral("Start/Structure.etl")));
    // A folder in a list's place is reported; a list that exists keeps its bytes.
    QVERIFY(!extensions::createEmptyStartLists());
    QCOMPARE(workspace.read(QStringLiteral("Start/Runner.etl")), QByteArray("00000002\n"));
    QCOMPARE(workspace.read(QStringLiteral("Start/Listener.etl")), QByteArray());
}

QTEST_GUILESS_MAIN(TestLayout)
#include "tst_layout.moc"
