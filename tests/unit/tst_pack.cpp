// The install pack format: where the header ends, what ORVA and the
// installer make of a header, which archive entries a pack may hold, that a
// written header reads back as it was, and which author key files sign.

#include "DataTable.h"
#include "Workspace.h"
#include "pack/EntryRules.h"
#include "pack/HeaderSplitter.h"
#include "pack/HeaderWriter.h"
#include "pack/PackHeader.h"
#include "pack/SigningKey.h"

#include <QtTest>

using pack::ArchiveProblemCode;

namespace {
const QString kTables = QStringLiteral(ORVA_TEST_DATA "/unit/");
} // namespace

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
    void keyFiles_data();
    void keyFiles();
};

void TestPack::split_data()
{
    addDataRows(kTables + QStringLiteral("splits.tsv"), {"pack", "header", "body"});
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
    addDataRows(kTables + QStringLiteral("headers.tsv"), {"header", "orva", "installer"});
}

void TestPack::header()
{
    QFETCH(QByteArray, header);
    const Workspace workspace;
    workspace.write(QStringLiteral("p"), header + "~");
    const pack::PackName name = pack::readPackName(QStringLiteral("p"));
    QCOMPARE(name.problem.ok() ? QString::fromUtf8(name.name) : pack::headerProblemMessage(name.problem),
             QString::fromUtf8(ROW(QByteArray, orva)));
    const pack::HeaderProblem problem = pack::checkHeader(header).problem;
    QCOMPARE(problem.ok() ? QStringLiteral("ok") : pack::headerProblemMessage(problem),
             QString::fromUtf8(ROW(QByteArray, installer)));
}

void TestPack::oversizedHeader()
{
    const Workspace workspace;
    QFile file(QStringLiteral("p")); // sparse: no brace, so all of it is header
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(pack::kMaxHeaderBytes + 1));
    file.close();
    QCOMPARE(pack::headerProblemMessage(pack::readPackName(QStringLiteral("p")).problem),
             QStringLiteral("包头超过16 MiB。"));
    QCOMPARE(pack::readCheckedHeader(QStringLiteral("missing")).problem.code,
             pack::HeaderProblemCode::CannotOpen);
}

void TestPack::entryPaths_data()
{
    addDataRows(kTables + QStringLiteral("entry-paths.tsv"), {"path", "result"});
}

void TestPack::entryPaths()
{
    QByteArray normalized;
    const pack::ArchiveProblem problem = pack::checkEntryPath(ROW(QByteArray, path), normalized);
    QCOMPARE(problem.code == ArchiveProblemCode::None ? normalized
                                                      : pack::archiveProblemMessage(problem).toUtf8(),
             ROW(QByteArray, result));
}

void TestPack::contents_data()
{
    addDataRows(kTables + QStringLiteral("contents.tsv"), {"entries", "result"});
}

void TestPack::contents()
{
    QList<pack::ArchiveEntry> entries; // a folder's path ends in "/"
    for (const QByteArray& path : ROW(QByteArray, entries).split(' '))
        entries.append(
            {path.endsWith('/') ? path.chopped(1) : path, path.endsWith('/'), path.endsWith('/') ? 0 : 1});
    const pack::ArchiveProblem problem = pack::checkPackContents(entries, "Demo");
    QCOMPARE(problem.code == ArchiveProblemCode::None ? QStringLiteral("ok")
                                                      : pack::archiveProblemMessage(problem),
             QString::fromUtf8(ROW(QByteArray, result)));
}

void TestPack::writtenHeaderReadsBack()
{
    const pack::PackInfo info{
        "名 {~}",     "00000005",   {extensions::Role::Listener, extensions::Role::Runner},
        "00000003",   std::nullopt, QByteArray("a \"quoted\" } ~ \\ line\n"),
        std::nullopt, std::nullopt, std::nullopt};
    for (const bool indented : {false, true}) {
        const QByteArray json = pack::headerJson(info, indented);
        const pack::CheckedHeader read = pack::checkHeader(pack::splitPack(json + "~x").header);
        QVERIFY(read.ok());
        QCOMPARE(pack::headerJson(read.info, indented), json); // the same members, the same values
    }
}

void TestPack::keyFiles_data()
{
    addDataRows(kTables + QStringLiteral("key-files.tsv"), {"content", "result"});
}

void TestPack::keyFiles()
{
    QFETCH(QByteArray, content);
    const Workspace workspace;
    if (content == "<folder>")
        QDir().mkdir(QStringLiteral("k"));
    else
        workspace.write(QStringLiteral("k"), content);
    QString error;
    const std::optional<pack::SigningKey> key = pack::SigningKey::load(QStringLiteral("k"), error);
    QCOMPARE(key ? key->author().fingerprint() : error, QString::fromUtf8(ROW(QByteArray, result)));
}

QTEST_GUILESS_MAIN(TestPack)
#include "tst_pack.moc"
