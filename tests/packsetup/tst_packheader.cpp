// The install pack header as packsetup and etipack check it: every member's
// type and form, the bound on nesting, and headers written by headerJson
// reading back the same under ORVA's brace-counting split.

#include "InstallPack.h"
#include "PackHeaderValidation.h"
#include "TempWorkspace.h"

#include <QtTest>

using pack::HeaderProblemCode;
using pack::Role;

Q_DECLARE_METATYPE(pack::HeaderProblemCode)

namespace {

QByteArray withName(const QByteArray& nameJson)
{
    return "{\"name\":" + nameJson + ",\"id\":\"00000002\"}";
}

QByteArray withMember(const QByteArray& member)
{
    return "{\"name\":\"Demo\",\"id\":\"00000002\"," + member + "}";
}

QByteArray nested(int depth)
{
    return "{\"name\":\"Demo\",\"id\":\"00000002\",\"x\":" + QByteArray(depth - 1, '[') +
           QByteArray(depth - 1, ']') + "}";
}

} // namespace

class TestPackHeader : public QObject
{
    Q_OBJECT

private slots:
    void problems_data();
    void problems();
    void acceptedFields();
    void headerJsonReadsBack_data();
    void headerJsonReadsBack();
    void readFromFile();
    void orvaRefusesDeepHeaders();
};

void TestPackHeader::problems_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<HeaderProblemCode>("code");
    QTest::addColumn<QString>("messagePart");

    const auto row = [](const char* name, const QByteArray& header, HeaderProblemCode code,
                        const QString& part) {
        QTest::newRow(name) << header << code << part;
    };
    row("minimal", withName("\"Demo\""), HeaderProblemCode::None, {});
    row("unknown members", withMember("\"x\":{\"y\":[1,2]},\"z\":null"), HeaderProblemCode::None, {});
    row("empty", QByteArray(), HeaderProblemCode::Empty, QStringLiteral("为空"));
    row("whitespace", " \r\n\t", HeaderProblemCode::Empty, QStringLiteral("为空"));
    row("depth 64", nested(64), HeaderProblemCode::None, {});
    row("depth 65", nested(65), HeaderProblemCode::TooDeep, QStringLiteral("64"));
    row("million brackets", QByteArray(1000000, '['), HeaderProblemCode::TooDeep, QStringLiteral("第65字节"));
    row("brackets in strings",
        withMember("\"x\":\"" + QByteArray(100, '[') + "\\\"" + QByteArray(100, '{') + "\""),
        HeaderProblemCode::None, {});
    row("malformed", "{\"name\":", HeaderProblemCode::Malformed, QStringLiteral("JSON"));
    row("zero byte after the object", withName("\"Demo\"") + QByteArray("\0junk", 5),
        HeaderProblemCode::Malformed, QStringLiteral("JSON"));
    row("trailing bytes", withName("\"Demo\"") + "x", HeaderProblemCode::Malformed, QStringLiteral("JSON"));
    row("array", "[]", HeaderProblemCode::NotAnObject, QStringLiteral("对象"));
    row("null", "null", HeaderProblemCode::NotAnObject, QStringLiteral("对象"));
    row("string", "\"Demo\"", HeaderProblemCode::NotAnObject, QStringLiteral("对象"));

    row("name missing", "{\"id\":\"00000002\"}", HeaderProblemCode::FieldMissing, QStringLiteral("\"name\""));
    row("name number", withName("5"), HeaderProblemCode::FieldWrongType, QStringLiteral("\"name\""));
    row("name empty", withName("\"\""), HeaderProblemCode::BadName, QStringLiteral("为空"));
    row("name 247 bytes", withName('"' + QByteArray(247, 'a') + '"'), HeaderProblemCode::None, {});
    row("name 248 bytes", withName('"' + QByteArray(248, 'a') + '"'), HeaderProblemCode::BadName,
        QStringLiteral("247字节"));
    const char* forbidden[] = {"a/b", "a\\\\b", "C:x", "a*b", "a?b", "a\\\"b", "a<b", "a>b", "a|b"};
    for (const char* name : forbidden)
        row(name, withName('"' + QByteArray(name) + '"'), HeaderProblemCode::BadName,
            QStringLiteral("名称含有"));
    row("name NUL", withName("\"a\\u0000b\""), HeaderProblemCode::BadName, QStringLiteral("U+0000"));
    row("name line break", withName("\"Demo\\n\""), HeaderProblemCode::BadName, QStringLiteral("U+000A"));
    row("name DEL", withName("\"a\\u007fb\""), HeaderProblemCode::BadName, QStringLiteral("U+007F"));
    row("name .", withName("\".\""), HeaderProblemCode::BadName, QStringLiteral("\"..\""));
    row("name ..", withName("\"..\""), HeaderProblemCode::BadName, QStringLiteral("\"..\""));
    row("trailing dot", withName("\"Demo.\""), HeaderProblemCode::BadName, QStringLiteral("结尾"));
    row("trailing space", withName("\"Demo \""), HeaderProblemCode::BadName, QStringLiteral("结尾"));
    const char* devices[] = {"CON",  "con",         "Nul.txt",    "PRN",    "AUX",
                             "COM1", "lpt9.tar.gz", "COM\\u00b9", "CONIN$", "NUL .x"};
    for (const char* name : devices)
        row(name, withName('"' + QByteArray(name) + '"'), HeaderProblemCode::BadName,
            QStringLiteral("设备名"));
    const char* fine[] = {"COM10", "CONSOLE", "LPT0", "示例扩展", "a.b c", ".hidden", "NULL"};
    for (const char* name : fine)
        row(name, withName('"' + QByteArray(name) + '"'), HeaderProblemCode::None, {});

    row("id missing", "{\"name\":\"Demo\"}", HeaderProblemCode::FieldMissing, QStringLiteral("\"id\""));
    row("id number", "{\"name\":\"Demo\",\"id\":2}", HeaderProblemCode::FieldWrongType,
        QStringLiteral("\"id\""));
    const char* badIds[] = {"",         "1234567",          "123456789", "0000000a",
                            " 0000002", "０００００００２", "-0000002"};
    for (const char* id : badIds)
        row(QByteArray("id ").append(id).constData(), "{\"name\":\"Demo\",\"id\":\"" + QByteArray(id) + "\"}",
            HeaderProblemCode::BadId, QStringLiteral("8位数字"));
    row("installer id", "{\"name\":\"Demo\",\"id\":\"00000001\"}", HeaderProblemCode::ReservedId,
        QStringLiteral("安装程序"));

    row("roles string", withMember("\"roles\":\"Listener\""), HeaderProblemCode::FieldWrongType,
        QStringLiteral("字符串数组"));
    row("role number", withMember("\"roles\":[1]"), HeaderProblemCode::FieldWrongType,
        QStringLiteral("字符串数组"));
    row("role unknown", withMember("\"roles\":[\"Listen\"]"), HeaderProblemCode::UnknownRole,
        QStringLiteral("\"Listen\""));
    row("role lower case", withMember("\"roles\":[\"listener\"]"), HeaderProblemCode::UnknownRole,
        QStringLiteral("\"listener\""));
    row("control number", withMember("\"control\":3"), HeaderProblemCode::FieldWrongType,
        QStringLiteral("control"));
    row("control bad", withMember("\"control\":\"abc\""), HeaderProblemCode::BadControl,
        QStringLiteral("\"abc\""));
    row("control installer", withMember("\"control\":\"00000001\""), HeaderProblemCode::ReservedControl,
        QStringLiteral("00000001"));
    row("version number", withMember("\"version\":1"), HeaderProblemCode::FieldWrongType,
        QStringLiteral("version"));
    row("description array", withMember("\"description\":[]"), HeaderProblemCode::FieldWrongType,
        QStringLiteral("description"));
    row("author null", withMember("\"author\":null"), HeaderProblemCode::FieldWrongType,
        QStringLiteral("author"));
}

void TestPackHeader::problems()
{
    QFETCH(QByteArray, header);
    QFETCH(HeaderProblemCode, code);
    QFETCH(QString, messagePart);

    const pack::CheckedHeader checked = pack::checkHeader(header);
    QCOMPARE(checked.problem.code, code);
    const QString message = pack::headerProblemMessage(checked.problem);
    QCOMPARE(message.isEmpty(), code == HeaderProblemCode::None);
    QVERIFY2(message.contains(messagePart), qPrintable(message));
}

void TestPackHeader::acceptedFields()
{
    const pack::CheckedHeader bare = pack::checkHeader(withName("\"Demo\""));
    QVERIFY(bare.ok());
    QCOMPARE(bare.info.roles, QList<Role>{});
    QCOMPARE(bare.info.control, QByteArray("00000002")); // the own id
    QVERIFY(!bare.info.version && !bare.info.description && !bare.info.author);

    const pack::CheckedHeader full = pack::checkHeader(
        withMember("\"roles\":[\"Runner\",\"Listener\",\"Runner\",\"MainControllerExtension\"],\"control\":"
                   "\"00000003\",\"version\":\"1.0\",\"description\":\"\",\"author\":\"作者\""));
    QVERIFY(full.ok());
    // Duplicates collapse; the order is the layout's.
    QCOMPARE(full.info.roles, (QList<Role>{Role::Listener, Role::Runner, Role::MainControllerExtension}));
    QCOMPARE(full.info.control, QByteArray("00000003"));
    QCOMPARE(full.info.version, std::optional<QByteArray>("1.0"));
    QCOMPARE(full.info.description, std::optional<QByteArray>(""));
    QCOMPARE(full.info.author, std::optional<QByteArray>("作者"));
}

void TestPackHeader::headerJsonReadsBack_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("plain") << QByteArray("1.0");
    QTest::newRow("braces and tilde") << QByteArray("}~{ }}} ~");
    QTest::newRow("quotes and backslashes") << QByteArray("\"\\\\\"}");
    QTest::newRow("chinese") << QByteArray("示例 ~ 扩展");
}

void TestPackHeader::headerJsonReadsBack()
{
    QFETCH(QByteArray, text);
    pack::PackInfo info;
    info.name = "示例扩展";
    info.id = "00000042";
    info.control = "00000003";
    info.roles = {Role::Listener, Role::Structure};
    info.version = text;
    info.description = text;
    info.author = text;
    for (const bool indented : {false, true}) {
        const QByteArray json = pack::headerJson(info, indented);
        // ORVA's split must end the header exactly where the JSON ends.
        const pack::SplitPack split = pack::splitPack(json + "~BODY");
        QCOMPARE(split.header, json);
        QCOMPARE(split.body, QByteArray("BODY"));
        const pack::CheckedHeader checked = pack::checkHeader(split.header);
        QVERIFY(checked.ok());
        QCOMPARE(pack::headerJson(checked.info, indented), json);
        QCOMPARE(checked.info.description, std::optional<QByteArray>(text));
        QCOMPARE(pack::parseHeader(split.header).name, info.name);
    }
}

void TestPackHeader::readFromFile()
{
    TempWorkspace workspace;
    QVERIFY(workspace.isValid());
    QCOMPARE(pack::readCheckedHeader(QStringLiteral("missing.etipack")).problem.code,
             HeaderProblemCode::CannotOpen);

    const QByteArray header = withName("\"Demo\"");
    QVERIFY(workspace.writeFile(QStringLiteral("a.etipack"), header + "~body"));
    pack::CheckedHeader checked = pack::readCheckedHeader(QStringLiteral("a.etipack"));
    QVERIFY(checked.ok());
    QCOMPARE(checked.bodyOffset, qint64(header.size() + 1));

    QVERIFY(workspace.writeFile(QStringLiteral("b.etipack"), header));
    checked = pack::readCheckedHeader(QStringLiteral("b.etipack"));
    QVERIFY(checked.ok());
    QCOMPARE(checked.bodyOffset, qint64(-1));
}

void TestPackHeader::orvaRefusesDeepHeaders()
{
    // ORVA reads the same headers: it must not parse one nested without bound.
    const pack::PackHeader deep = pack::parseHeader("{\"name\":\"a\",\"x\":" + QByteArray(200000, '[') + "}");
    QCOMPARE(deep.error, pack::HeaderError::TooDeep);
    QCOMPARE(deep.errorByte, qint64(16 + 64)); // the "[" that opens level 65
    QCOMPARE(pack::parseHeader(nested(64)).error, pack::HeaderError::None);
    // A million levels read from a pack file, as the install action does.
    TempWorkspace workspace;
    QVERIFY(workspace.writeFile(QStringLiteral("deep.etipack"), nested(1000000) + "~body"));
    QCOMPARE(pack::readPackHeader(QStringLiteral("deep.etipack")).error, pack::HeaderError::TooDeep);
}

QTEST_GUILESS_MAIN(TestPackHeader)
#include "tst_packheader.moc"
