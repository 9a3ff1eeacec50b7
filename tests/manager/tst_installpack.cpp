// The install pack as ORVA reads it: the brace-depth split of header and
// body, the parsing of the header, reading only the header from a file, and
// the message that tells the user why a pack cannot be installed.

#include "InstallAction.h"
#include "InstallPack.h"
#include "TempWorkspace.h"

#include <QFile>
#include <QSet>
#include <QtTest>
#include <memory>

using pack::HeaderError;

Q_DECLARE_METATYPE(pack::HeaderError)

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

// A valid header of exactly `size` bytes: {"name":"x","pad":"aaa..."}.
QByteArray paddedHeader(qint64 size)
{
    const QByteArray start = R"({"name":"x","pad":")";
    const QByteArray end = R"("})";
    return start + QByteArray(static_cast<int>(size - start.size() - end.size()), 'a') + end;
}

#ifdef Q_OS_LINUX
// Bytes this process has read from files so far, as the kernel counts them.
qint64 bytesReadByProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}
#endif

} // namespace

class TestInstallPack : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void split_data();
    void split();
    void splitInOneByteChunks_data();
    void splitInOneByteChunks();
    void splitterTakesNothingOnceFinished();
    void readFromFile_data();
    void readFromFile();
    void separatorAtChunkBoundaries_data();
    void separatorAtChunkBoundaries();

    void parseHeader_data();
    void parseHeader();
    void nestingBound_data();
    void nestingBound();

    void unreadableFile_data();
    void unreadableFile();
    void chineseFolderInPath();
    void headerSizeBound_data();
    void headerSizeBound();
    void hugeFileReadOnlyUpToTheBound_data();
    void hugeFileReadOnlyUpToTheBound();

    void errorMessages();

private:
    QString writePack(const QString& name, const QByteArray& content);

    std::unique_ptr<TempWorkspace> m_workspace;
};

void TestInstallPack::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
}

void TestInstallPack::cleanup()
{
    m_workspace.reset();
}

QString TestInstallPack::writePack(const QString& name, const QByteArray& content)
{
    if (!m_workspace->writeFile(name, content))
        return {};
    return m_workspace->filePath(name);
}

void TestInstallPack::split_data()
{
    QTest::addColumn<QByteArray>("pack");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("hasBody");
    QTest::addColumn<QByteArray>("body");

    const QByteArray demo = R"({"name":"Demo"})";
    QTest::newRow("empty file") << QByteArray() << QByteArray() << false << QByteArray();
    QTest::newRow("no separator: all header") << demo << demo << false << QByteArray();
    QTest::newRow("header, separator, body") << demo + "~body" << demo << true << QByteArray("body");
    QTest::newRow("separator, empty body") << demo + "~" << demo << true << QByteArray();
    QTest::newRow("braces and tildes in the body are plain bytes")
        << demo + "~a~b}{~" << demo << true << QByteArray("a~b}{~");
    QTest::newRow("tilde inside a string stays in the header")
        << QByteArray(R"({"name":"a~b"}~body)") << QByteArray(R"({"name":"a~b"})") << true
        << QByteArray("body");
    QTest::newRow("tilde in a nested object stays in the header")
        << QByteArray(R"({"name":"x","o":{"t":"~"}}~B)") << QByteArray(R"({"name":"x","o":{"t":"~"}})")
        << true << QByteArray("B");
    QTest::newRow("closing brace inside a string ends the header early")
        << QByteArray(R"({"name":"a}b"}~rest)") << QByteArray(R"({"name":"a}b")") << true
        << QByteArray(R"(}~rest)");
    QTest::newRow("opening brace inside a string keeps the header open")
        << QByteArray(R"({"name":"a{b"}~rest)") << QByteArray(R"({"name":"a{b"}~rest)") << false
        << QByteArray();
    QTest::newRow("line break before the separator") << demo + "\n~body" << demo + "\n"
                                                     << true << QByteArray("body");
    QTest::newRow("CRLF and blanks before the separator")
        << demo + " \r\n\t~body" << demo + " \r\n\t" << true << QByteArray("body");
    QTest::newRow("pack beginning with a closing brace")
        << QByteArray("}") + demo << QByteArray() << true << QByteArray("}") + demo;
    QTest::newRow("pack beginning with the separator")
        << QByteArray("~") + demo << QByteArray() << true << demo;
    QTest::newRow("unmatched closing brace after the header")
        << demo + "}rest" << demo << true << QByteArray("}rest");
    QTest::newRow("byte-order mark") << kBom + demo + "~b" << kBom + demo << true << QByteArray("b");
    QTest::newRow("text before the opening brace")
        << QByteArray("abc") + demo + "~b" << QByteArray("abc") + demo << true << QByteArray("b");
    QTest::newRow("nested objects") << QByteArray(R"({"name":"x","o":{"a":{"b":{}}},"p":[{"q":1}]}~B)")
                                    << QByteArray(R"({"name":"x","o":{"a":{"b":{}}},"p":[{"q":1}]})") << true
                                    << QByteArray("B");
    QTest::newRow("header that never closes swallows the separator")
        << QByteArray(R"({{"name":"x"}~b)") << QByteArray(R"({{"name":"x"}~b)") << false << QByteArray();
    QTest::newRow("NUL and 0xFF bytes are plain header bytes")
        << QByteArray("{\0\xFF}~b", 6) << QByteArray("{\0\xFF}", 4) << true << QByteArray("b");
}

void TestInstallPack::split()
{
    QFETCH(QByteArray, pack);
    QFETCH(QByteArray, header);
    QFETCH(bool, hasBody);
    QFETCH(QByteArray, body);

    const pack::SplitPack split = pack::splitPack(pack);
    QCOMPARE(split.header, header);
    QCOMPARE(split.hasBody, hasBody);
    QCOMPARE(split.body, body);
}

void TestInstallPack::splitInOneByteChunks_data()
{
    split_data();
}

void TestInstallPack::splitInOneByteChunks()
{
    QFETCH(QByteArray, pack);
    QFETCH(QByteArray, header);
    QFETCH(bool, hasBody);
    QFETCH(QByteArray, body);

    pack::HeaderSplitter whole;
    const qint64 wholeTaken = whole.feed(pack.constData(), pack.size());

    pack::HeaderSplitter bytewise;
    qint64 taken = 0;
    for (int i = 0; i < pack.size() && !bytewise.finished(); ++i)
        taken += bytewise.feed(pack.constData() + i, 1);

    QCOMPARE(taken, wholeTaken);
    QCOMPARE(taken, qint64(header.size()));
    QCOMPARE(bytewise.finished(), whole.finished());
    QCOMPARE(bytewise.finished(), hasBody);
    QCOMPARE(bytewise.endedAtSeparator(), whole.endedAtSeparator());
    // The separator belongs to neither part; a closing brace starts the body.
    if (hasBody)
        QCOMPARE(bytewise.endedAtSeparator(), header.size() + 1 + body.size() == pack.size());
}

void TestInstallPack::splitterTakesNothingOnceFinished()
{
    pack::HeaderSplitter splitter;
    QCOMPARE(splitter.feed("{}~{", 4), qint64(2));
    QVERIFY(splitter.finished());
    QVERIFY(splitter.endedAtSeparator());
    QCOMPARE(splitter.feed("{\"a\":1}", 7), qint64(0));
    QVERIFY(splitter.finished());
    QVERIFY(splitter.endedAtSeparator());

    pack::HeaderSplitter brace;
    QCOMPARE(brace.feed("{}}~", 4), qint64(2));
    QVERIFY(brace.finished());
    QVERIFY(!brace.endedAtSeparator());
}

void TestInstallPack::readFromFile_data()
{
    split_data();
}

void TestInstallPack::readFromFile()
{
    QFETCH(QByteArray, pack);
    QFETCH(QByteArray, header);
    QFETCH(bool, hasBody);
    QFETCH(QByteArray, body);

    const QString path = writePack(QStringLiteral("packs/p.etipack"), pack);
    QVERIFY(!path.isEmpty());
    const pack::PackHeader read = pack::readPackHeader(path);
    QVERIFY(read.error != HeaderError::CannotOpen && read.error != HeaderError::TooLarge);
    QCOMPARE(read.header, header);
    QCOMPARE(read.bodyOffset, hasBody ? qint64(pack.size() - body.size()) : qint64(-1));
    // What the file gives is what the header's bytes give.
    const pack::PackHeader parsed = pack::parseHeader(header);
    QCOMPARE(read.error, parsed.error);
    QCOMPARE(read.name, parsed.name);
}

void TestInstallPack::separatorAtChunkBoundaries_data()
{
    QTest::addColumn<qint64>("headerSize");
    QTest::addColumn<bool>("closingBrace");

    // The file is read in chunks of 64 KiB.
    for (const qint64 size : {65535, 65536, 65537, 131072}) {
        QTest::addRow("%lld-byte header, separator", size) << size << false;
        QTest::addRow("%lld-byte header, closing brace", size) << size << true;
    }
}

void TestInstallPack::separatorAtChunkBoundaries()
{
    QFETCH(qint64, headerSize);
    QFETCH(bool, closingBrace);

    const QByteArray header = paddedHeader(headerSize);
    const QByteArray pack = header + (closingBrace ? "}{body" : "~{body");
    const QString path = writePack(QStringLiteral("big.etipack"), pack);
    QVERIFY(!path.isEmpty());

    const pack::PackHeader read = pack::readPackHeader(path);
    QCOMPARE(read.error, HeaderError::None);
    QCOMPARE(read.name, QByteArray("x"));
    QCOMPARE(read.header.size(), header.size());
    QCOMPARE(read.bodyOffset, closingBrace ? headerSize : headerSize + 1);
}

void TestInstallPack::parseHeader_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<HeaderError>("error");
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("name only") << QByteArray(R"({"name":"Demo"})") << HeaderError::None << QByteArray("Demo");
    QTest::newRow("further members change nothing")
        << QByteArray(R"({"id":"00000005","name":"Demo","roles":["Listener"],"n":null})") << HeaderError::None
        << QByteArray("Demo");
    QTest::newRow("surrounding whitespace")
        << QByteArray(" \r\n\t{\"name\":\"Demo\"}\n") << HeaderError::None << QByteArray("Demo");
    QTest::newRow("byte-order mark") << kBom + R"({"name":"Demo"})" << HeaderError::None
                                     << QByteArray("Demo");
    QTest::newRow("Chinese name") << QByteArray(R"({"name":"中文扩展"})") << HeaderError::None
                                  << QByteArray("中文扩展");
    QTest::newRow("escaped name") << QByteArray(R"({"name":"\u4e2d\"q\"\\"})") << HeaderError::None
                                  << QByteArray("中\"q\"\\");
    QTest::newRow("empty name") << QByteArray(R"({"name":""})") << HeaderError::None << QByteArray();
    QTest::newRow("duplicate name: the last wins")
        << QByteArray(R"({"name":"a","name":"b"})") << HeaderError::None << QByteArray("b");

    QTest::newRow("empty header") << QByteArray() << HeaderError::Empty << QByteArray();
    QTest::newRow("whitespace-only header") << QByteArray(" \r\n\t ") << HeaderError::Empty << QByteArray();
    QTest::newRow("form feed is no JSON whitespace")
        << QByteArray("\f") << HeaderError::Malformed << QByteArray();
    QTest::newRow("malformed JSON") << QByteArray(R"({"name":})") << HeaderError::Malformed << QByteArray();
    QTest::newRow("unterminated object")
        << QByteArray(R"({"name":"x")") << HeaderError::Malformed << QByteArray();
    QTest::newRow("header cut at a closing brace in a string")
        << QByteArray(R"({"name":"a}b")") << HeaderError::Malformed << QByteArray();
    QTest::newRow("line comment") << QByteArray("{\"name\":\"x\"} // note") << HeaderError::Malformed
                                  << QByteArray();
    QTest::newRow("block comment") << QByteArray(R"(/* c */{"name":"x"})") << HeaderError::Malformed
                                   << QByteArray();
    QTest::newRow("trailing garbage")
        << QByteArray(R"({"name":"x"} x)") << HeaderError::Malformed << QByteArray();
    QTest::newRow("text before the object")
        << QByteArray(R"(abc{"name":"x"})") << HeaderError::Malformed << QByteArray();
    QTest::newRow("two objects") << QByteArray(R"({"name":"x"}{"name":"y"})") << HeaderError::Malformed
                                 << QByteArray();
    QTest::newRow("invalid UTF-8 in the name")
        << QByteArray("{\"name\":\"\xFF\"}") << HeaderError::Malformed << QByteArray();
    QTest::newRow("NUL byte in the name")
        << QByteArray("{\"name\":\"x\0y\"}", 14) << HeaderError::Malformed << QByteArray();
    QTest::newRow("zero byte after the object")
        << QByteArray("{\"name\":\"x\"}\0junk", 17) << HeaderError::Malformed << QByteArray();
    QTest::newRow("array") << QByteArray(R"([{"name":"x"}])") << HeaderError::NotAnObject << QByteArray();
    QTest::newRow("number") << QByteArray("42") << HeaderError::NotAnObject << QByteArray();
    QTest::newRow("string") << QByteArray(R"("name")") << HeaderError::NotAnObject << QByteArray();
    QTest::newRow("true") << QByteArray("true") << HeaderError::NotAnObject << QByteArray();
    QTest::newRow("null") << QByteArray("null") << HeaderError::NameMissing << QByteArray();
    QTest::newRow("empty object") << QByteArray("{}") << HeaderError::NameMissing << QByteArray();
    QTest::newRow("name missing") << QByteArray(R"({"Name":"x","id":"00000005"})") << HeaderError::NameMissing
                                  << QByteArray();
    QTest::newRow("name nested deeper")
        << QByteArray(R"({"o":{"name":"x"}})") << HeaderError::NameMissing << QByteArray();
    QTest::newRow("name is a number")
        << QByteArray(R"({"name":5})") << HeaderError::NameNotString << QByteArray();
    QTest::newRow("name is null") << QByteArray(R"({"name":null})") << HeaderError::NameNotString
                                  << QByteArray();
    QTest::newRow("name is an object")
        << QByteArray(R"({"name":{"zh":"x"}})") << HeaderError::NameNotString << QByteArray();
    QTest::newRow("name is an array")
        << QByteArray(R"({"name":["x"]})") << HeaderError::NameNotString << QByteArray();
    QTest::newRow("name is a boolean")
        << QByteArray(R"({"name":false})") << HeaderError::NameNotString << QByteArray();
}

void TestInstallPack::parseHeader()
{
    QFETCH(QByteArray, header);
    QFETCH(HeaderError, error);
    QFETCH(QByteArray, name);

    const pack::PackHeader parsed = pack::parseHeader(header);
    QCOMPARE(parsed.error, error);
    QCOMPARE(parsed.name, name);
    QCOMPARE(parsed.header, header);
    if (error == HeaderError::Malformed) {
        QVERIFY(parsed.errorByte >= 1);
        QVERIFY(parsed.errorByte <= header.size() + 1);
    } else {
        QCOMPARE(parsed.errorByte, qint64(0));
    }
}

void TestInstallPack::nestingBound_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<HeaderError>("error");

    QTest::newRow("at the bound") << pack::kMaxHeaderDepth << HeaderError::None;
    QTest::newRow("one level deeper") << pack::kMaxHeaderDepth + 1 << HeaderError::TooDeep;
    QTest::newRow("far deeper") << 100000 << HeaderError::TooDeep;
}

void TestInstallPack::nestingBound()
{
    QFETCH(int, depth);
    QFETCH(HeaderError, error);

    // The object itself is the first level; arrays make up the rest.
    const QByteArray header =
        R"({"name":"x","a":)" + QByteArray(depth - 1, '[') + QByteArray(depth - 1, ']') + "}";
    const pack::PackHeader parsed = pack::parseHeader(header);
    QCOMPARE(parsed.error, error);
    // Counted from 1: the bracket that opens the level one too deep.
    if (error == HeaderError::TooDeep)
        QCOMPARE(parsed.errorByte, qint64(16 + pack::kMaxHeaderDepth));
}

void TestInstallPack::errorMessages()
{
    const QString path = QStringLiteral("/packs/中文/扩展.etipack");
    const QString named = QDir::toNativeSeparators(path);
    // Each failure, with what its message must say besides the file.
    const QList<std::pair<HeaderError, QStringList>> errors{
        {HeaderError::CannotOpen, {}},
        {HeaderError::TooLarge, {QStringLiteral("16 MiB")}},
        {HeaderError::TooDeep, {QString::number(pack::kMaxHeaderDepth), QStringLiteral("37")}},
        {HeaderError::Empty, {}},
        {HeaderError::Malformed, {QStringLiteral("37")}},
        {HeaderError::NotAnObject, {}},
        {HeaderError::NameMissing, {QStringLiteral("\"name\"")}},
        {HeaderError::NameNotString, {QStringLiteral("\"name\"")}},
    };
    QSet<QString> seen;
    for (const auto& [error, details] : errors) {
        pack::PackHeader header;
        header.error = error;
        header.errorByte = 37;
        const QString message = manager::packErrorMessage(header, path);
        QVERIFY2(message.contains(named), qPrintable(message));
        for (const QString& detail : details)
            QVERIFY2(message.contains(detail), qPrintable(message));
        QVERIFY2(!seen.contains(message), qPrintable(message));
        seen.insert(message);
    }
}

void TestInstallPack::unreadableFile_data()
{
    QTest::addColumn<bool>("isFolder");

    QTest::newRow("missing file") << false;
    QTest::newRow("folder") << true;
}

void TestInstallPack::unreadableFile()
{
    QFETCH(bool, isFolder);

    if (isFolder)
        QVERIFY(m_workspace->makeDir(QStringLiteral("x.etipack")));
    const pack::PackHeader read = pack::readPackHeader(m_workspace->filePath(QStringLiteral("x.etipack")));
    QCOMPARE(read.error, HeaderError::CannotOpen);
    QVERIFY(read.name.isEmpty());
    QCOMPARE(read.bodyOffset, qint64(-1));
}

void TestInstallPack::chineseFolderInPath()
{
    const QString path = writePack(QStringLiteral("安装包/中文扩展.etipack"), R"({"name":"中文扩展"}~body)");
    QVERIFY(!path.isEmpty());
    const pack::PackHeader read = pack::readPackHeader(path);
    QCOMPARE(read.error, HeaderError::None);
    QCOMPARE(read.name, QByteArray("中文扩展"));
    QCOMPARE(read.bodyOffset, qint64(QByteArray(R"({"name":"中文扩展"}~)").size()));
}

void TestInstallPack::headerSizeBound_data()
{
    QTest::addColumn<QByteArray>("pack");
    QTest::addColumn<HeaderError>("error");

    const qint64 bound = pack::kMaxHeaderBytes;
    QCOMPARE(bound, qint64(16 * 1024 * 1024));
    QTest::newRow("header at the bound, no separator") << paddedHeader(bound) << HeaderError::None;
    QTest::newRow("header at the bound, then a body")
        << paddedHeader(bound) + "~" + QByteArray(1024, 'b') << HeaderError::None;
    QTest::newRow("header one byte over the bound, no separator")
        << paddedHeader(bound + 1) << HeaderError::TooLarge;
    QTest::newRow("header one byte over the bound, then a body")
        << paddedHeader(bound + 1) + "~body" << HeaderError::TooLarge;
    QTest::newRow("never-closing header over the bound")
        << QByteArray("{") + QByteArray(static_cast<int>(bound), '~') << HeaderError::TooLarge;
}

void TestInstallPack::headerSizeBound()
{
    QFETCH(QByteArray, pack);
    QFETCH(HeaderError, error);

    const QString path = writePack(QStringLiteral("large.etipack"), pack);
    QVERIFY(!path.isEmpty());
    const pack::PackHeader read = pack::readPackHeader(path);
    QCOMPARE(read.error, error);
    if (error == HeaderError::None)
        QCOMPARE(read.name, QByteArray("x"));
    else
        QVERIFY(read.header.isEmpty());
}

void TestInstallPack::hugeFileReadOnlyUpToTheBound_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<int>("gibibytes");
    QTest::addColumn<HeaderError>("error");

    // The rest of the file is NUL bytes: no separator among them. One GiB
    // still fits in memory, eight would not.
    for (const int size : {1, 8}) {
        QTest::addRow("header without end, %d GiB", size)
            << QByteArray("{\"name\":\"x\",\"pad\":\"") << size << HeaderError::TooLarge;
        QTest::addRow("small header, then a body, %d GiB", size)
            << QByteArray("{\"name\":\"x\"}~") << size << HeaderError::None;
    }
}

void TestInstallPack::hugeFileReadOnlyUpToTheBound()
{
#ifndef Q_OS_LINUX
    QSKIP("counts the bytes read through /proc/self/io");
#else
    QFETCH(QByteArray, start);
    QFETCH(int, gibibytes);
    QFETCH(HeaderError, error);

    // A sparse file: reading it whole would show in the bytes the process
    // has read, if it did not exhaust memory first.
    const qint64 fileSize = qint64(gibibytes) * 1024 * 1024 * 1024;
    const QString path = writePack(QStringLiteral("huge.etipack"), start);
    QVERIFY(!path.isEmpty());
    {
        QFile file(path);
        if (!file.resize(fileSize))
            QSKIP("the file system cannot hold a sparse file this large");
    }
    const qint64 before = bytesReadByProcess();
    QVERIFY(before >= 0);
    const pack::PackHeader read = pack::readPackHeader(path);
    const qint64 readBytes = bytesReadByProcess() - before;

    QCOMPARE(read.error, error);
    QVERIFY2(readBytes <= pack::kMaxHeaderBytes + 1024 * 1024, qPrintable(QString::number(readBytes)));
#endif
}

QTEST_GUILESS_MAIN(TestInstallPack)
#include "tst_installpack.moc"
