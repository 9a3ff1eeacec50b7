// The install pack format: where the header ends, what ORVA and the
// installer make of a header, which archive entries a pack may hold, and
// that a written header reads back as it was.

#include "Workspace.h"
#include "pack/EntryRules.h"
#include "pack/HeaderSplitter.h"
#include "pack/HeaderWriter.h"
#include "pack/PackHeader.h"

#include <QtTest>

using pack::ArchiveProblemCode;
using Code = pack::HeaderProblemCode;
Q_DECLARE_METATYPE(pack::ArchiveEntry)
Q_DECLARE_METATYPE(pack::ArchiveProblemCode)
Q_DECLARE_METATYPE(pack::HeaderProblemCode)

class TestPack : public QObject
{
    Q_OBJECT

private slots:
    void split_data();
    void split();
    void header_data();
    void header();
    void oversizedHeader();
    void entryPaths_data();
    void entryPaths();
    void contents_data();
    void contents();
    void writtenHeaderReadsBack();
};

void TestPack::split_data()
{
    QTest::addColumn<QByteArray>("pack");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("body"); // "<none>" when the pack is all header

    const auto row = [](const char* name, const QByteArray& pack, const QByteArray& header,
                        const QByteArray& body) {
        QTest::newRow(name) << pack << header << body;
    };
    row("separator", "{\"name\":\"Demo\"}~body", "{\"name\":\"Demo\"}", "body");
    row("all header", "{\"a\":1}", "{\"a\":1}", "<none>");
    row("~ inside braces", "{\"n\":\"a~b\"}~x", "{\"n\":\"a~b\"}", "x");
    row("unmatched } begins the body", "{}}~", "{}", "}~");
    row("} in a string ends early", "{\"n\":\"}\"}~x", "{\"n\":\"}\"", "}~x");
    row("begins with ~", "~{}", "", "{}");
}

void TestPack::split()
{
    QFETCH(QByteArray, pack);
    QFETCH(QByteArray, body);
    const pack::SplitPack split = pack::splitPack(pack);
    QCOMPARE(split.header, ROW(QByteArray, header));
    QCOMPARE(split.hasBody ? split.body : QByteArray("<none>"), body);
    // The file reader ends the header at the same byte, however the file is read.
    const Workspace workspace;
    workspace.write(QStringLiteral("p"), pack);
    const pack::HeaderBytes read = pack::readHeaderBytes(QStringLiteral("p"));
    QCOMPARE(read.bytes, split.header);
    QCOMPARE(read.bodyOffset, split.hasBody ? pack.size() - body.size() : -1);
}

void TestPack::header_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<Code>("orva");       // readPackName: ORVA reads "name" only
    QTest::addColumn<QByteArray>("name"); // what ORVA shows
    QTest::addColumn<Code>("installer");  // checkHeader
    QTest::addColumn<QString>("detail");  // the installer's field or value, or the error byte

    const QByteArray ok = "{\"name\":\"Demo\",\"id\":\"00000005\"";
    const auto row = [](const char* name, const QByteArray& header, Code orva, Code installer,
                        const char* detail, const QByteArray& shown = "Demo") {
        QTest::newRow(name) << header << orva << (orva == Code::None ? shown : QByteArray()) << installer
                            << QString::fromUtf8(detail);
    };
    row("valid", ok + '}', Code::None, Code::None, "");
    row("BOM and whitespace", "\xEF\xBB\xBF\n" + ok + "}\r\n", Code::None, Code::None, "");
    row("empty", " \n", Code::Empty, Code::Empty, "");
    row("comment", ok + "}//", Code::Malformed, Code::Malformed, "32");
    row("NUL hides the rest", ok + QByteArray("}\0{", 3), Code::Malformed, Code::Malformed, "32");
    row("too deep", "{\"name\":\"Demo\",\"x\":" + QByteArray(64, '['), Code::TooDeep, Code::TooDeep, "83");
    row("deep but allowed", "{\"name\":\"Demo\",\"x\":" + QByteArray(63, '[') + QByteArray(63, ']') + "}",
        Code::None, Code::FieldMissing, "id");
    row("array", "[1]", Code::NotAnObject, Code::NotAnObject, "");
    row("null has no name", "null", Code::FieldMissing, Code::NotAnObject, "");
    row("name not string", "{\"name\":1}", Code::FieldWrongType, Code::FieldWrongType, "name");
    row("device name", "{\"name\":\"con.txt\"}", Code::None, Code::BadName, "con.txt", "con.txt");
    row("separator in name", "{\"name\":\"a:b\"}", Code::None, Code::BadName, "a:b", "a:b");
    row("trailing dot", "{\"name\":\"a.\"}", Code::None, Code::BadName, "a.", "a.");
    row("name too long", "{\"name\":\"" + QByteArray(248, 'n') + "\"}", Code::None, Code::BadName, "name",
        QByteArray(248, 'n'));
    row("short id", "{\"name\":\"Demo\",\"id\":\"0000001\"}", Code::None, Code::BadId, "0000001");
    row("long id", "{\"name\":\"Demo\",\"id\":\"000000012\"}", Code::None, Code::BadId, "000000012");
    row("id with a letter", "{\"name\":\"Demo\",\"id\":\"0000000a\"}", Code::None, Code::BadId, "0000000a");
    row("installer's id", "{\"name\":\"Demo\",\"id\":\"00000001\"}", Code::None, Code::ReservedId,
        "00000001");
    row("unknown role", ok + ",\"roles\":[\"Listener\",\"listener\"]}", Code::None, Code::UnknownRole,
        "listener");
    row("roles not array", ok + ",\"roles\":\"Runner\"}", Code::None, Code::FieldWrongType, "roles");
    row("installer as control", ok + ",\"control\":\"00000001\"}", Code::None, Code::ReservedControl,
        "00000001");
    row("bad control", ok + ",\"control\":\"x\"}", Code::None, Code::BadControl, "x");
    row("version not string", ok + ",\"version\":2}", Code::None, Code::FieldWrongType, "version");
    row("author not string", ok + ",\"author\":[]}", Code::None, Code::FieldWrongType, "author");
}

void TestPack::header()
{
    QFETCH(QByteArray, header);
    QFETCH(Code, installer);
    QFETCH(QString, detail);
    const Workspace workspace;
    workspace.write(QStringLiteral("p"), header + "~");
    const pack::PackName name = pack::readPackName(QStringLiteral("p"));
    QCOMPARE(name.problem.code, ROW(Code, orva));
    QCOMPARE(name.name, ROW(QByteArray, name));

    const pack::HeaderProblem problem = pack::checkHeader(header).problem;
    QCOMPARE(problem.code, installer);
    if (problem.code == Code::Malformed || problem.code == Code::TooDeep)
        QCOMPARE(QString::number(problem.errorByte), detail);
    else if (!problem.ok() && !detail.isEmpty())
        QVERIFY2(problem.field == detail || problem.value == detail,
                 qPrintable(problem.field + problem.value));
    QCOMPARE(pack::headerProblemMessage(problem).isEmpty(), problem.ok());
}

void TestPack::oversizedHeader()
{
    const Workspace workspace;
    QFile file(QStringLiteral("p")); // sparse: no brace, so all of it is header
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(pack::kMaxHeaderBytes + 1));
    file.close();
    QCOMPARE(pack::headerProblemMessage(pack::readPackName(QStringLiteral("p")).problem),
             QStringLiteral("包头超过16 MiB。"));
    QCOMPARE(pack::readCheckedHeader(QStringLiteral("missing")).problem.code, Code::CannotOpen);
}

void TestPack::entryPaths_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<ArchiveProblemCode>("problem");
    QTest::addColumn<QByteArray>("normalized");

    using P = ArchiveProblemCode;
    const auto row = [](const char* name, const QByteArray& path, P problem,
                        const QByteArray& normalized = {}) {
        QTest::newRow(name) << path << problem << normalized;
    };
    row("empty part", "./bin//x/", P::BadPathPart);
    row("nested", "./a/b.txt", P::None, "a/b.txt");
    row("folder", "lib/", P::None, "lib");
    row("dot name", ".config", P::None, ".config");
    row("folder itself", "./", P::None);
    row("parent", "a/../../x", P::ParentFolder);
    row("absolute", "/x", P::AbsolutePath);
    row("drive, nothing after", "Z:", P::AbsolutePath);
    row("drive, lower case", "z:\\x", P::AbsolutePath);
    row("UNC", "\\\\srv\\s\\x", P::AbsolutePath);
    row("backslash inside", "a\\x", P::BadPathPart);
    row("device part", "a/COM1.txt", P::BadPathPart);
    row("superscript device", "lpt\xC2\xB9", P::BadPathPart);
    row("COM0 is a name", "com0", P::None, "com0");
    row("trailing space", "a /b", P::BadPathPart);
    row("control character", "a\x7F", P::BadPathPart);
    row("not UTF-8", "\xFF", P::NotUtf8Path);
    row("too long", QByteArray(1025, 'a'), P::PathTooLong);
    row("longest", QByteArray(255, 'a'), P::None, QByteArray(255, 'a'));
}

void TestPack::entryPaths()
{
    QByteArray normalized;
    QCOMPARE(pack::checkEntryPath(ROW(QByteArray, path), normalized).code, ROW(ArchiveProblemCode, problem));
    QCOMPARE(normalized, ROW(QByteArray, normalized));
}

void TestPack::contents_data()
{
    QTest::addColumn<QList<pack::ArchiveEntry>>("entries");
    QTest::addColumn<ArchiveProblemCode>("problem");

    const pack::ArchiveEntry program{"Demo.exe", false, 1};
    QTest::newRow("program") << QList<pack::ArchiveEntry>{{"lib", true, 0}, program}
                             << ArchiveProblemCode::None;
    QTest::newRow("no program") << QList<pack::ArchiveEntry>{{"lib/Demo.exe", false, 1}}
                                << ArchiveProblemCode::ProgramMissing;
    QTest::newRow("program is a folder")
        << QList<pack::ArchiveEntry>{{"Demo.exe", true, 0}} << ArchiveProblemCode::ProgramMissing;
    QTest::newRow("a file under the program")
        << QList<pack::ArchiveEntry>{program, {"Demo.exe/x", false, 1}} << ArchiveProblemCode::ProgramMissing;
    for (const char* own : {"extensionname.ETN", "Demo.control/x", "PackManifest.json"})
        QTest::newRow(own) << QList<pack::ArchiveEntry>{program, {own, false, 1}}
                           << ArchiveProblemCode::ReservedFile;
}

void TestPack::contents()
{
    QCOMPARE(pack::checkPackContents(ROW(QList<pack::ArchiveEntry>, entries), "Demo").code,
             ROW(ArchiveProblemCode, problem));
}

void TestPack::writtenHeaderReadsBack()
{
    const pack::PackInfo info{
        "名 {~}",    "00000005",   {extensions::Role::Listener, extensions::Role::Runner},
        "00000003",  std::nullopt, QByteArray("a \"quoted\" } ~ \\ line\n"),
        std::nullopt};
    for (const bool indented : {false, true}) {
        const QByteArray json = pack::headerJson(info, indented);
        const pack::CheckedHeader read = pack::checkHeader(pack::splitPack(json + "~x").header);
        QVERIFY(read.ok());
        QCOMPARE(pack::headerJson(read.info, indented), json); // the same members, the same values
    }
}

QTEST_GUILESS_MAIN(TestPack)
#include "tst_pack.moc"
