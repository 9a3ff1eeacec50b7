// readFirstLine: the value of a name or control file, read as one fgets into
// a 1024-byte buffer would read it.

#include "FirstLineReader.h"
#include "TempWorkspace.h"
#include "TestBytes.h"

#include <QtTest>
#include <memory>

class TestFirstLineReader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void value_data();
    void value();
    void unreadablePath_data();
    void unreadablePath();
    void layoutPathUsesPlatformSeparator();

private:
    std::unique_ptr<TempWorkspace> m_workspace;
};

void TestFirstLineReader::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
}

void TestFirstLineReader::cleanup()
{
    m_workspace.reset();
}

void TestFirstLineReader::value_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray a1022(1022, 'a');
    const QByteArray a1023(1023, 'a');

    QTest::newRow("empty file") << QByteArray() << QByteArray();
    QTest::newRow("no line break at end") << QByteArray("Listener") << QByteArray("Listener");
    QTest::newRow("line break kept") << QByteArray("Listener\n") << QByteArray("Listener\n");
    QTest::newRow("only the first line") << QByteArray("Listener\nsecond\nthird") << QByteArray("Listener\n");
#ifdef Q_OS_WIN
    QTest::newRow("CRLF") << QByteArray("Listener\r\nsecond") << QByteArray("Listener\n");
#else
    QTest::newRow("CRLF keeps both bytes") << QByteArray("Listener\r\nsecond") << QByteArray("Listener\r\n");
#endif
    QTest::newRow("carriage return alone is no line break")
        << QByteArray("Listener\rsecond\n") << QByteArray("Listener\rsecond\n");
    QTest::newRow("empty first line") << QByteArray("\nListener") << QByteArray("\n");
    QTest::newRow("spaces kept") << QByteArray("  two words \t\n") << QByteArray("  two words \t\n");
    QTest::newRow("UTF-8 Chinese name") << QByteArray("监听器\n") << QByteArray("监听器\n");

    QTest::newRow("1022 bytes and line break: all 1023 kept") << a1022 + "\nnext" << a1022 + "\n";
    QTest::newRow("1023 bytes and line break: line break cut") << a1023 + "\nnext" << a1023;
    QTest::newRow("1023 bytes at end of file") << a1023 << a1023;
    QTest::newRow("1024 bytes cut to 1023") << a1023 + "b" << a1023;
    QTest::newRow("64 KiB line cut to 1023") << QByteArray(1 << 16, 'a') + "\n" << a1023;
    // The cut counts bytes, not characters: a UTF-8 character may be split.
    QTest::newRow("cut inside a UTF-8 character") << a1022 + "中\n" << a1022 + QByteArray("中").left(1);
    QTest::newRow("short first line, long second line")
        << QByteArray("id\n") + QByteArray(5000, 'x') << QByteArray("id\n");

    // The value is a C string: it ends at the first NUL byte.
    QTest::newRow("NUL inside the line") << bytes("ab<00>cd\n") << QByteArray("ab");
    QTest::newRow("NUL first") << bytes("<00>abc\n") << QByteArray();
    QTest::newRow("NUL after the line break") << bytes("ab\n<00>") << QByteArray("ab\n");
    QTest::newRow("NUL after the cut") << a1023 + bytes("<00>") << a1023;
    QTest::newRow("NULs and no line break")
        << bytes("ab<00>cd") + QByteArray(1 << 20, '\0') << QByteArray("ab");
    // 0xFF read into a plain char compares equal to EOF.
    QTest::newRow("0xFF inside the line") << bytes("a<FF>b\n") << bytes("a<FF>b\n");
    QTest::newRow("0xA0 and 0x85 kept") << bytes("a<A0>b<85>c") << bytes("a<A0>b<85>c");
}

void TestFirstLineReader::value()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/ExtensionName.etn"), content));
    const std::optional<QByteArray> value =
        extensions::readFirstLine(".\\Extensions\\00000002\\ExtensionName.etn");
    QVERIFY(value.has_value());
    QCOMPARE(value->size(), expected.size());
    QCOMPARE(*value, expected);
}

void TestFirstLineReader::unreadablePath_data()
{
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("missing file") << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn");
    QTest::newRow("missing extension folder") << QByteArray(".\\Extensions\\00000009\\ExtensionName.etn");
    QTest::newRow("a folder instead of a file") << QByteArray(".\\Extensions\\00000002\\Folder.control");
    QTest::newRow("the extension folder itself") << QByteArray(".\\Extensions\\00000002");
    QTest::newRow("line break in the file name") << QByteArray(".\\Extensions\\00000002\\Listener\n.control");
    QTest::newRow("empty path") << QByteArray();
}

void TestFirstLineReader::unreadablePath()
{
    QFETCH(QByteArray, path);

    QVERIFY(m_workspace->makeDir(QStringLiteral("Extensions/00000002/Folder.control")));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/Listener.control"), "00000003"));
    QVERIFY(!extensions::readFirstLine(path).has_value());
}

void TestFirstLineReader::layoutPathUsesPlatformSeparator()
{
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/监听器.control"), "00000003"));
    const std::optional<QByteArray> value =
        extensions::readFirstLine(".\\Extensions\\00000002\\监听器.control");
    QVERIFY(value.has_value());
    QCOMPARE(*value, QByteArray("00000003"));
}

QTEST_APPLESS_MAIN(TestFirstLineReader)
#include "tst_firstlinereader.moc"
