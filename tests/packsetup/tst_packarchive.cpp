// The body of a pack: every format packsetup reads, and every hostile or
// broken archive refused with its problem before anything on disk changes,
// both by the installer and by the unpacking step on its own.

#include "ExtensionInstaller.h"
#include "PackArchive.h"
#include "PackBuilder.h"
#include "TempWorkspace.h"

#include <QRandomGenerator>
#include <QtTest>
#include <memory>

using packsetup::ArchiveProblemCode;
using Format = PackBuilder::Format;
using Filter = PackBuilder::Filter;

Q_DECLARE_METATYPE(packsetup::ArchiveProblemCode)
Q_DECLARE_METATYPE(PackBuilder::Format)
Q_DECLARE_METATYPE(PackBuilder::Filter)

namespace {

const QByteArray kHeader = simpleHeader("Demo", "00000002", "\"roles\":[\"Listener\"]");

QByteArray demoPack(const QByteArray& body)
{
    return packBytes(kHeader, body);
}

// A valid pack with many more bytes than the header, for cutting.
QByteArray largePackBody()
{
    QRandomGenerator random(42); // incompressible, so that a cut falls inside the data
    QByteArray noise(200000, Qt::Uninitialized);
    for (char& byte : noise)
        byte = static_cast<char>(random.bounded(256));
    return PackBuilder().file("Demo.exe", noise).file("b.bin", noise).body();
}

} // namespace

class TestPackArchive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formats_data();
    void formats();
    void hostile_data();
    void hostile();
    void hostileExtract_data() { hostile_data(); }
    void hostileExtract();
    void scanListsEntries();

private:
    QString outside(const char* name) const { return m_outside.filePath(QString::fromLatin1(name)); }

    void checkOutside(const QMap<QString, QByteArray>& before) const
    {
        QCOMPARE(snapshot(m_outside.path()), before);
        QCOMPARE(QFileInfo(outside("sentinel")).lastModified(), m_sentinelTime);
    }

    QTemporaryDir m_outside; // what a hostile pack aims at, beside the workspace
    QDateTime m_sentinelTime;
    std::unique_ptr<TempWorkspace> m_workspace;
};

void TestPackArchive::initTestCase()
{
    QVERIFY(m_outside.isValid());
    QVERIFY(writeBytes(outside("sentinel"), "untouched"));
    m_sentinelTime = QFileInfo(outside("sentinel")).lastModified();
}

void TestPackArchive::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
    // An installed extension and lists in use, which a refused pack must not touch.
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000003/ExtensionName.etn"), "Other"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000003/Other.exe"), "x"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000003"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Runner.etl"), "00000003\r\n"));
}

void TestPackArchive::cleanup()
{
    m_workspace.reset();
}

void TestPackArchive::formats_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<Filter>("filter");
    QTest::newRow("pax tar.gz") << Format::Pax << Filter::Gzip;
    QTest::newRow("ustar") << Format::Ustar << Filter::None;
    QTest::newRow("gnu tar.bz2") << Format::Gnu << Filter::Bzip2;
    QTest::newRow("pax tar.xz") << Format::Pax << Filter::Xz;
    QTest::newRow("zip") << Format::Zip << Filter::None;
}

void TestPackArchive::formats()
{
    QFETCH(Format, format);
    QFETCH(Filter, filter);
    const QByteArray body = PackBuilder()
                                .dir("./")
                                .file("./Demo.exe", "#!/bin/sh\n", 0700)
                                .dir("data/")
                                .file("data/a.txt", "alpha", 0666)
                                .file("data/deep/b.txt", "beta")
                                .body(format, filter);
    QVERIFY(m_workspace->writeFile(QStringLiteral("p.etipack"), demoPack(body)));

    const packsetup::Outcome outcome = packsetup::ExtensionInstaller().install(QStringLiteral("p.etipack"));
    QVERIFY2(outcome.ok(), qPrintable(outcome.message));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/00000002/data/a.txt")), QByteArray("alpha"));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/00000002/data/deep/b.txt")),
             QByteArray("beta"));
    // Permissions are reduced to 0755 and 0644, whatever the archive said.
    const QFileInfo program(m_workspace->filePath(QStringLiteral("Extensions/00000002/Demo.exe")));
    QVERIFY(program.permissions() & QFileDevice::ExeOther);
    QVERIFY(program.permissions() & QFileDevice::ReadOther);
    const QFileInfo data(m_workspace->filePath(QStringLiteral("Extensions/00000002/data/a.txt")));
    QVERIFY(!(data.permissions() & (QFileDevice::WriteOther | QFileDevice::ExeOwner)));
}

void TestPackArchive::hostile_data()
{
    QTest::addColumn<QByteArray>("pack");
    QTest::addColumn<ArchiveProblemCode>("code");
    QTest::addColumn<QString>("messagePart");
    QTest::addColumn<qint64>("maxEntries");
    QTest::addColumn<qint64>("maxBytes");

    const qint64 entries = packsetup::ArchiveLimits().maxEntries;
    const qint64 bytes = packsetup::ArchiveLimits().maxBytes;
    const QByteArray sentinel = outside("sentinel").toUtf8();
    const auto row = [&](const char* name, const QByteArray& body, ArchiveProblemCode code,
                         const QString& part, qint64 maxEntries = -1, qint64 maxBytes = -1) {
        QTest::newRow(name) << demoPack(body) << code << part << (maxEntries < 0 ? entries : maxEntries)
                            << (maxBytes < 0 ? bytes : maxBytes);
    };
    const auto withProgram = [] {
        return PackBuilder().file("Demo.exe");
    };
    const auto pathRow = [&](const char* name, const QByteArray& path, ArchiveProblemCode code) {
        row(name, withProgram().file(path, "evil").body(), code, QString::fromUtf8(path));
    };

    pathRow("../x", "../x", ArchiveProblemCode::ParentFolder);
    pathRow("a/../../x", "a/../../x", ArchiveProblemCode::ParentFolder);
    pathRow("absolute", outside("x").toUtf8(), ArchiveProblemCode::AbsolutePath);
    pathRow("C:\\x", "C:\\x", ArchiveProblemCode::AbsolutePath);
    pathRow("C:x", "C:x", ArchiveProblemCode::AbsolutePath);
    pathRow("UNC", "\\\\srv\\s\\x", ArchiveProblemCode::AbsolutePath);
    pathRow("backslash ..", "a\\..\\..\\x", ArchiveProblemCode::BadPathPart);
    pathRow("colon inside", "data/a:b", ArchiveProblemCode::BadPathPart);
    pathRow("empty part", "data//b", ArchiveProblemCode::BadPathPart);
    pathRow("dot part", "data/./b", ArchiveProblemCode::BadPathPart);
    pathRow("device name", "data/aux.txt", ArchiveProblemCode::BadPathPart);
    pathRow("control character", "data/a\tb", ArchiveProblemCode::BadPathPart);
    row("not UTF-8", withProgram().file("data/\xff\xfe").body(Format::Ustar, Filter::None),
        ArchiveProblemCode::NotUtf8Path, QStringLiteral("UTF-8"));
    row("path too long", withProgram().file(QByteArray("a/").repeated(600) + "f").body(),
        ArchiveProblemCode::PathTooLong, QStringLiteral("1024"));

    row("absolute symlink", withProgram().symlink("link", sentinel).body(), ArchiveProblemCode::EntryType,
        QStringLiteral("符号链接"));
    row("symlink to .. then through it", withProgram().symlink("dir", "..").file("dir/f", "evil").body(),
        ArchiveProblemCode::EntryType, QStringLiteral("\"dir\""));
    row("symlink then file of its name",
        PackBuilder().symlink("Demo.exe", sentinel).file("Demo.exe", "evil").body(),
        ArchiveProblemCode::EntryType, QStringLiteral("符号链接"));
    row("zip symlink", withProgram().symlink("link", sentinel).body(Format::Zip, Filter::None),
        ArchiveProblemCode::EntryType, QStringLiteral("符号链接"));
    row("hard link outside", withProgram().hardlink("h", "../x").body(), ArchiveProblemCode::HardLink,
        QStringLiteral("硬链接"));
    row("hard link inside", withProgram().hardlink("h", "Demo.exe").body(), ArchiveProblemCode::HardLink,
        QStringLiteral("\"h\""));
    row("character device", withProgram().charDevice("null").body(), ArchiveProblemCode::EntryType,
        QStringLiteral("字符设备"));
    row("fifo", withProgram().fifo("pipe").body(), ArchiveProblemCode::EntryType, QStringLiteral("FIFO"));

    PackBuilder many = withProgram();
    for (int i = 0; i < 5; ++i)
        many.file("f" + QByteArray::number(i));
    row("more entries than the bound", many.body(), ArchiveProblemCode::TooManyEntries, QStringLiteral("5个"),
        5);
    PackBuilder empties = withProgram();
    for (int i = 0; i < 1000; ++i)
        empties.file("z/" + QByteArray::number(i), QByteArray());
    row("zero-byte entries beyond the bound", empties.body(), ArchiveProblemCode::TooManyEntries,
        QStringLiteral("1000个"), 1000);
    row("gzip stream of 7 GiB", gzipBomb("zeros", qint64(7) << 30), ArchiveProblemCode::TooLarge,
        QStringLiteral("1048576"), -1, 1 << 20);
    row("zeros beyond the bound", withProgram().file("zeros", QByteArray(8 << 20, '\0')).body(),
        ArchiveProblemCode::TooLarge, QStringLiteral("1048576"), -1, 1 << 20);
    row("zip declaring 5 bytes of 4 MiB", zipWithDeclaredSize("Demo.exe", QByteArray(4 << 20, '\0'), 5),
        ArchiveProblemCode::TooLarge, QStringLiteral("1048576"), -1, 1 << 20);
    // Both copies of the checksum, in the local header and in the central directory.
    QByteArray badCrc = zipWithDeclaredSize("Demo.exe", "program", 7);
    for (const int at : {14, badCrc.indexOf("PK\x01\x02") + 16})
        badCrc[at] = static_cast<char>(badCrc.at(at) ^ 1);
    row("zip with a wrong checksum", badCrc, ArchiveProblemCode::Damaged, QStringLiteral("CRC"));
    row("tar declaring fewer bytes", tarWithDeclaredSize("Demo.exe", QByteArray(2000, 'x'), 10),
        ArchiveProblemCode::Damaged, QStringLiteral("损坏"));
    const QByteArray whole = largePackBody();
    row("truncated", whole.left(whole.size() / 2), ArchiveProblemCode::Damaged, QStringLiteral("不完整"));
    row("no archive", "just some text, no archive at all", ArchiveProblemCode::NotAnArchive,
        QStringLiteral("tar或zip"));
    row("empty body", QByteArray(), ArchiveProblemCode::NotAnArchive, QStringLiteral("tar或zip"));
    QTest::newRow("no body") << kHeader << ArchiveProblemCode::NoBody << QStringLiteral("~") << entries
                             << bytes;
    QTest::newRow("header ends at a brace") << kHeader + "}" + whole << ArchiveProblemCode::NotAnArchive
                                            << QStringLiteral("tar或zip") << entries << bytes;

    row("program missing", PackBuilder().file("Other.exe").body(), ArchiveProblemCode::ProgramMissing,
        QStringLiteral("Demo.exe"));
    row("program is a folder", PackBuilder().file("Demo.exe/x").body(), ArchiveProblemCode::ProgramMissing,
        QStringLiteral("文件夹"));
    row("program in a subfolder", PackBuilder().file("bin/Demo.exe").body(),
        ArchiveProblemCode::ProgramMissing, QStringLiteral("顶层"));
    row("own name file", withProgram().file("ExtensionName.etn", "Evil").body(),
        ArchiveProblemCode::ReservedFile, QStringLiteral("ExtensionName.etn"));
    row("own manifest, other case", withProgram().file("packmanifest.JSON").body(),
        ArchiveProblemCode::ReservedFile, QStringLiteral("packmanifest.JSON"));
    row("own control file", withProgram().file("Demo.control", "00000009").body(),
        ArchiveProblemCode::ReservedFile, QStringLiteral("Demo.control"));
}

void TestPackArchive::hostile()
{
    QFETCH(QByteArray, pack);
    QFETCH(ArchiveProblemCode, code);
    QFETCH(QString, messagePart);
    QFETCH(qint64, maxEntries);
    QFETCH(qint64, maxBytes);

    const QString packPath = m_outside.filePath(QStringLiteral("hostile.etipack"));
    QVERIFY(writeBytes(packPath, pack));
    const auto workspaceBefore = snapshot(m_workspace->path());
    const auto outsideBefore = snapshot(m_outside.path());

    const packsetup::Outcome outcome =
        packsetup::ExtensionInstaller({maxEntries, maxBytes}).install(packPath);
    QCOMPARE(static_cast<int>(outcome.code), static_cast<int>(packsetup::ExitCode::ArchiveRefused));
    QVERIFY2(outcome.message.contains(messagePart), qPrintable(outcome.message));
    QVERIFY2(outcome.message.contains(QDir::toNativeSeparators(packPath)), qPrintable(outcome.message));

    QCOMPARE(snapshot(m_workspace->path()), workspaceBefore);
    checkOutside(outsideBefore);

    // The problem's own code, from a scan of the same pack.
    const pack::CheckedHeader header = pack::readCheckedHeader(packPath);
    packsetup::ArchiveResult scanned =
        packsetup::PackArchive(packPath, header.bodyOffset, {maxEntries, maxBytes}).scan();
    if (scanned.ok())
        scanned.problem = packsetup::checkPackContents(scanned.entries, "Demo");
    QCOMPARE(scanned.problem.code, code);
}

void TestPackArchive::hostileExtract()
{
    QFETCH(QByteArray, pack);
    QFETCH(ArchiveProblemCode, code);
    QFETCH(qint64, maxEntries);
    QFETCH(qint64, maxBytes);
    // Rules about the whole pack are the installer's, checked after unpacking.
    if (code == ArchiveProblemCode::ProgramMissing || code == ArchiveProblemCode::ReservedFile)
        code = ArchiveProblemCode::None;

    // Unpacking on its own, without the scan before it, refuses the same way.
    const QString packPath = m_outside.filePath(QStringLiteral("hostile.etipack"));
    QVERIFY(writeBytes(packPath, pack));
    QVERIFY(m_workspace->makeDir(QStringLiteral("staging")));
    const auto outsideBefore = snapshot(m_outside.path());
    auto workspaceBefore = snapshot(m_workspace->path());

    const pack::CheckedHeader header = pack::readCheckedHeader(packPath);
    const packsetup::ArchiveResult result =
        packsetup::PackArchive(packPath, header.bodyOffset, {maxEntries, maxBytes})
            .extractTo(QStringLiteral("staging"));
    QCOMPARE(result.problem.code, code);
    QCOMPARE(QDir::currentPath(), QDir(m_workspace->path()).canonicalPath());

    auto workspaceAfter = snapshot(m_workspace->path());
    for (auto it = workspaceAfter.begin(); it != workspaceAfter.end();) {
        it = it.key().startsWith(QLatin1String("staging/")) ? workspaceAfter.erase(it) : std::next(it);
    }
    QCOMPARE(workspaceAfter, workspaceBefore);
    checkOutside(outsideBefore);
}

void TestPackArchive::scanListsEntries()
{
    const QByteArray body =
        PackBuilder().dir("./").dir("d/").file("Demo.exe", "12345").file("d/e", "").body();
    QVERIFY(m_workspace->writeFile(QStringLiteral("p.etipack"), demoPack(body)));
    const pack::CheckedHeader header = pack::readCheckedHeader(QStringLiteral("p.etipack"));
    QList<qint64> reported;
    packsetup::PackArchive archive(QStringLiteral("p.etipack"), header.bodyOffset);
    archive.setProgress([&reported](qint64 done) { reported.append(done); });
    const packsetup::ArchiveResult result = archive.scan();
    QVERIFY(result.ok());
    QCOMPARE(result.entries.size(), 3);
    QCOMPARE(result.entries[0].path, QByteArray("d"));
    QVERIFY(result.entries[0].directory);
    QCOMPARE(result.entries[1].path, QByteArray("Demo.exe"));
    QCOMPARE(result.entries[1].size, qint64(5));
    QCOMPARE(result.entries[2].size, qint64(0));
    QCOMPARE(result.totalBytes, qint64(5));
    QCOMPARE(reported.value(reported.size() - 1), qint64(5));
    QVERIFY(!m_workspace->exists(QStringLiteral("d"))); // a scan writes nothing
}

QTEST_GUILESS_MAIN(TestPackArchive)
#include "tst_packarchive.moc"
