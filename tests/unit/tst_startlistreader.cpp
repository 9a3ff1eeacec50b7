// readStartList: the start-up launcher's reading of a start list, token by
// token as fscanf("%s") would, for any content a user's file may hold.

#include "StartListReader.h"
#include "TempWorkspace.h"
#include "TestBytes.h"

#include <QRandomGenerator>
#include <QtTest>
#include <memory>

using Tokens = QList<QByteArray>;

class TestStartListReader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tokens_data();
    void tokens();
    void longTokens_data();
    void longTokens();
    void unreadablePath_data();
    void unreadablePath();
    void layoutPathUsesPlatformSeparator();

private:
    std::unique_ptr<TempWorkspace> m_workspace;
};

void TestStartListReader::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
}

void TestStartListReader::cleanup()
{
    m_workspace.reset();
}

void TestStartListReader::tokens_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Tokens>("expected");

    const Tokens two{"00000002", "00000003"};
    QTest::newRow("empty file") << QByteArray() << Tokens{};
    QTest::newRow("single newline") << QByteArray("\n") << Tokens{};
    QTest::newRow("only whitespace of every kind") << QByteArray(" \t\n\v\f\r \r\n\t\t") << Tokens{};
    QTest::newRow("one per line") << QByteArray("00000002\n00000003\n") << two;
    QTest::newRow("CRLF lines") << QByteArray("00000002\r\n00000003\r\n") << two;
    QTest::newRow("space") << QByteArray("00000002 00000003") << two;
    QTest::newRow("tab") << QByteArray("00000002\t00000003") << two;
    QTest::newRow("vertical tab") << QByteArray("00000002\v00000003") << two;
    QTest::newRow("form feed") << QByteArray("00000002\f00000003") << two;
    QTest::newRow("carriage return alone") << QByteArray("00000002\r00000003") << two;
    QTest::newRow("runs of mixed whitespace")
        << QByteArray("\n\n \t00000002 \r\n\v\f  00000003\t\n\n") << two;
    QTest::newRow("token at end of file without newline") << QByteArray("00000002\n00000003") << two;
    QTest::newRow("single token without newline") << QByteArray("00000002") << Tokens{"00000002"};
    QTest::newRow("order kept, duplicates kept")
        << QByteArray("00000003\n00000002\n00000003\n") << Tokens{"00000003", "00000002", "00000003"};
    QTest::newRow("nothing validated") << QByteArray("abc 123456789 0000000x 1 {id:2}")
                                       << Tokens{"abc", "123456789", "0000000x", "1", "{id:2}"};

    // Bytes that some locales or libraries treat as spaces, but the C
    // locale's isspace does not: they belong to the token.
    QTest::newRow("0xA0 no-break space is no separator")
        << bytes("00000002<A0>00000003") << Tokens{bytes("00000002<A0>00000003")};
    QTest::newRow("0x85 next-line is no separator")
        << bytes("00000002<85>00000003") << Tokens{bytes("00000002<85>00000003")};
    QTest::newRow("0x1C..0x1F are no separators")
        << bytes("a<1C>b<1D>c<1E>d<1F>e") << Tokens{bytes("a<1C>b<1D>c<1E>d<1F>e")};
    QTest::newRow("UTF-8 ideographic space is no separator")
        << bytes("00000002<E3><80><80>00000003") << Tokens{bytes("00000002<E3><80><80>00000003")};

    // 0xFF read into a plain char compares equal to EOF: reading must not stop there.
    QTest::newRow("0xFF does not end the file")
        << bytes("00<FF>02 00000003") << Tokens{bytes("00<FF>02"), "00000003"};
    QTest::newRow("NUL bytes belong to the token")
        << bytes("0000<00>0002\n<00>\n00000003") << Tokens{bytes("0000<00>0002"), bytes("<00>"), "00000003"};
    QByteArray nonWhitespace;
    for (int byte = 0; byte < 256; ++byte) {
        if (!QByteArray(" \t\n\v\f\r").contains(static_cast<char>(byte)))
            nonWhitespace.append(static_cast<char>(byte));
    }
    QTest::newRow("every byte but whitespace forms one token") << nonWhitespace << Tokens{nonWhitespace};
    QByteArray noise(8 << 20, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char& byte : noise)
        byte = static_cast<char>(random.bounded(256));
    QTest::newRow("8 MiB of random bytes") << noise << noise.simplified().split(' ');
}

void TestStartListReader::tokens()
{
    QFETCH(QByteArray, content);
    QFETCH(Tokens, expected);

    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), content));
    const std::optional<Tokens> tokens = extensions::readStartList(".\\Start\\Listener.etl");
    QVERIFY(tokens.has_value());
    QCOMPARE(*tokens, expected);
}

void TestStartListReader::longTokens_data()
{
    QTest::addColumn<int>("tokenBytes");
    QTest::addColumn<bool>("atEndOfFile");

    QTest::newRow("1023 bytes") << 1023 << false;
    QTest::newRow("1 MiB between identifiers") << (1 << 20) << false;
    QTest::newRow("10 MiB at end of file") << (10 << 20) << true;
}

void TestStartListReader::longTokens()
{
    QFETCH(int, tokenBytes);
    QFETCH(bool, atEndOfFile);

    // A pattern rather than one repeated byte, so a token that is cut and
    // resumed shows up as a wrong token and not just a wrong length.
    QByteArray longToken(tokenBytes, Qt::Uninitialized);
    for (int i = 0; i < tokenBytes; ++i)
        longToken[i] = static_cast<char>('a' + i % 26);

    QByteArray content = "00000002\n" + longToken;
    Tokens expected{"00000002", longToken};
    if (!atEndOfFile) {
        content += "\n00000003\n";
        expected.append("00000003");
    }

    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), content));
    const std::optional<Tokens> tokens = extensions::readStartList(".\\Start\\Listener.etl");
    QVERIFY(tokens.has_value());
    QCOMPARE(tokens->size(), expected.size());
    QCOMPARE(tokens->at(1).size(), tokenBytes);
    QVERIFY(*tokens == expected);
}

void TestStartListReader::unreadablePath_data()
{
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("missing file") << QByteArray(".\\Start\\Listener.etl");
    QTest::newRow("missing folder") << QByteArray(".\\Nowhere\\Listener.etl");
    QTest::newRow("a folder instead of a file") << QByteArray(".\\Start\\Folder.etl");
    QTest::newRow("the Start folder itself") << QByteArray(".\\Start");
    QTest::newRow("empty path") << QByteArray();
}

void TestStartListReader::unreadablePath()
{
    QFETCH(QByteArray, path);

    QVERIFY(m_workspace->makeDir(QStringLiteral("Start/Folder.etl")));
    QVERIFY(!extensions::readStartList(path).has_value());
}

void TestStartListReader::layoutPathUsesPlatformSeparator()
{
    // The layout writes backslashes; on this platform they are folder separators.
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), "00000007\n"));
    const std::optional<Tokens> tokens = extensions::readStartList(".\\Start\\Runner.etl");
    QVERIFY(tokens.has_value());
    QCOMPARE(*tokens, Tokens{"00000007"});
}

QTEST_APPLESS_MAIN(TestStartListReader)
#include "tst_startlistreader.moc"
