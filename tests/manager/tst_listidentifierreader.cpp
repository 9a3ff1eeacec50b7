// readListIdentifiers: the extension manager's own reading of a start list,
// runs of at most eight ASCII digits, every other byte a separator.

#include "ListIdentifierReader.h"
#include "StartListReader.h"
#include "TempWorkspace.h"

#include <QRandomGenerator>
#include <QtTest>
#include <memory>

using Identifiers = QList<QByteArray>;

class TestListIdentifierReader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void identifiers_data();
    void identifiers();
    void unreadableList_data();
    void unreadableList();
    void wellFormedListsReadAsAtStartup_data();
    void wellFormedListsReadAsAtStartup();

private:
    std::unique_ptr<TempWorkspace> m_workspace;
};

void TestListIdentifierReader::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
}

void TestListIdentifierReader::cleanup()
{
    m_workspace.reset();
}

void TestListIdentifierReader::identifiers_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Identifiers>("expected");

    const Identifiers two{"00000001", "00000002"};
    QTest::newRow("empty file") << QByteArray() << Identifiers{};
    QTest::newRow("comma") << QByteArray("00000001,00000002") << two;
    QTest::newRow("blank") << QByteArray("00000001 00000002") << two;
    QTest::newRow("line break") << QByteArray("00000001\n00000002\n") << two;
    QTest::newRow("CRLF") << QByteArray("00000001\r\n00000002\r\n") << two;
    QTest::newRow("tab, vertical tab, form feed") << QByteArray("\t00000001\v\f00000002\t") << two;
    QTest::newRow("letters") << QByteArray("id00000001abc00000002z") << two;
    QTest::newRow("NUL byte") << QByteArray("00000001\0"
                                            "00000002",
                                            17)
                              << two;
    QTest::newRow("0xFF byte") << QByteArray("00000001\xFF"
                                             "00000002")
                               << two;
    QTest::newRow("sign and dot") << QByteArray("+00000001.-00000002") << two;
    // Only ASCII digits count; a full-width digit is three separator bytes.
    QTest::newRow("full-width digit") << QByteArray("00000001\xEF\xBC\x91"
                                                    "00000002")
                                      << two;
    QTest::newRow("runs of separators") << QByteArray(",,\n\n  00000001 ,\r\n\t;00000002;;\n\n") << two;
    QTest::newRow("nine digits") << QByteArray("123456789") << Identifiers{"12345678", "9"};
    QTest::newRow("nine digits then more")
        << QByteArray("123456789\n00000003") << Identifiers{"12345678", "9", "00000003"};
    QTest::newRow("sixteen digits") << QByteArray("0000000100000002") << two;
    QTest::newRow("seventeen digits")
        << QByteArray("00000001000000023") << Identifiers{"00000001", "00000002", "3"};
    QTest::newRow("short runs") << QByteArray("1 22\n333,4444") << Identifiers{"1", "22", "333", "4444"};
    QTest::newRow("seven digits") << QByteArray("0000001\n") << Identifiers{"0000001"};
    QTest::newRow("run at end of file without line break") << QByteArray("00000001\n00000002") << two;
    QTest::newRow("short run at end of file") << QByteArray("00000001\n42") << Identifiers{"00000001", "42"};
    QTest::newRow("only a run") << QByteArray("00000001") << Identifiers{"00000001"};
    QTest::newRow("duplicates kept, order kept")
        << QByteArray("00000003\n00000001\n00000003\n") << Identifiers{"00000003", "00000001", "00000003"};
    QTest::newRow("non-digit bytes only") << QByteArray("abc\n\t-,;{id}\xFF\x80 ") << Identifiers{};
    QTest::newRow("line breaks only") << QByteArray("\n\n\r\n") << Identifiers{};
    QByteArray noise(8 << 20, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char& byte : noise) {
        do
            byte = static_cast<char>(random.bounded(256));
        while (byte >= '0' && byte <= '9');
    }
    noise.replace(1 << 20, 8, "00000001").replace(7 << 20, 8, "00000002");
    QTest::newRow("8 MiB of random bytes around two identifiers") << noise << two;
}

void TestListIdentifierReader::identifiers()
{
    QFETCH(QByteArray, content);
    QFETCH(Identifiers, expected);

    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), content));
    QCOMPARE(extensions::readListIdentifiers("./Start/Listener.etl"), expected);
}

void TestListIdentifierReader::unreadableList_data()
{
    QTest::addColumn<bool>("isFolder");

    QTest::newRow("missing file") << false;
    QTest::newRow("folder in its place") << true;
}

void TestListIdentifierReader::unreadableList()
{
    QFETCH(bool, isFolder);

    if (isFolder)
        QVERIFY(m_workspace->makeDir(QStringLiteral("Start/Listener.etl/00000001")));
    else
        QVERIFY(m_workspace->makeDir(QStringLiteral("Start")));
    QCOMPARE(extensions::readListIdentifiers("./Start/Listener.etl"), Identifiers{});
}

void TestListIdentifierReader::wellFormedListsReadAsAtStartup_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("one per line") << QByteArray("00000002\n00000003\n");
    QTest::newRow("blanks and tabs") << QByteArray("00000002 00000003\t00000004");
    QTest::newRow("CRLF, no final line break") << QByteArray("00000002\r\n00000002");
    QTest::newRow("whitespace only") << QByteArray(" \n\t\r\n");
}

void TestListIdentifierReader::wellFormedListsReadAsAtStartup()
{
    QFETCH(QByteArray, content);

    // The manager lists exactly what the start-up launcher starts.
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), content));
    const std::optional<QList<QByteArray>> tokens = extensions::readStartList(".\\Start\\Listener.etl");
    QVERIFY(tokens);
    QCOMPARE(extensions::readListIdentifiers("./Start/Listener.etl"), *tokens);
}

QTEST_GUILESS_MAIN(TestListIdentifierReader)
#include "tst_listidentifierreader.moc"
