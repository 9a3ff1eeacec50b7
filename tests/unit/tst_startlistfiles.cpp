// createEmptyStartLists: the recovery for an unreadable Listener list. It
// must never take away what the user has registered.

#include "StartListFiles.h"
#include "TempWorkspace.h"
#include "TestBytes.h"

#include <QtTest>
#include <memory>

namespace {

const QStringList kListFiles{QStringLiteral("Listener.etl"), QStringLiteral("Controller.etl"),
                             QStringLiteral("Runner.etl"), QStringLiteral("Structure.etl"),
                             QStringLiteral("MainControllerExtension.etl")};

// Content of each list before the recovery; a list without entry is missing.
using ListContents = QMap<QString, QByteArray>;

} // namespace

class TestStartListFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void createsStartAndLists();
    void keepsExistingLists_data();
    void keepsExistingLists();
    void leavesExtensionsAlone();
    void startIsAFile();
    void listIsAFolder();
    void repeatedRecoveryChangesNothing();

private:
    void verifyListsAre(const ListContents& expected);

    std::unique_ptr<TempWorkspace> m_workspace;
};

void TestStartListFiles::init()
{
    m_workspace = std::make_unique<TempWorkspace>();
    QVERIFY(m_workspace->isValid());
}

void TestStartListFiles::cleanup()
{
    m_workspace.reset();
}

void TestStartListFiles::verifyListsAre(const ListContents& expected)
{
    const QDir start(m_workspace->filePath(QStringLiteral("Start")));
    QVERIFY(start.exists());
    QStringList sorted = kListFiles;
    sorted.sort();
    QCOMPARE(start.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), sorted);
    for (const QString& list : kListFiles) {
        const QString path = QStringLiteral("Start/") + list;
        QVERIFY2(QFileInfo(m_workspace->filePath(path)).isFile(), qPrintable(path));
        QCOMPARE(m_workspace->readFile(path), expected.value(list));
    }
}

void TestStartListFiles::createsStartAndLists()
{
    QVERIFY(extensions::createEmptyStartLists());
    verifyListsAre({});
    // Nothing but the Start folder appears in the working directory.
    QCOMPARE(QDir(m_workspace->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Start")});
}

void TestStartListFiles::keepsExistingLists_data()
{
    QTest::addColumn<ListContents>("before");

    const QByteArray binary = bytes("<00><FF><A0><85>\r\n<1A><00>");
    QTest::newRow("Start exists, empty") << ListContents{};
    QTest::newRow("only the Listener list is missing")
        << ListContents{{QStringLiteral("Controller.etl"), "00000004\n"},
                        {QStringLiteral("Runner.etl"), "00000005 00000006"},
                        {QStringLiteral("Structure.etl"), ""},
                        {QStringLiteral("MainControllerExtension.etl"), "00000008\r\n"}};
    QTest::newRow("only the Listener list exists")
        << ListContents{{QStringLiteral("Listener.etl"), "00000002\n"}};
    QTest::newRow("binary content") << ListContents{
        {QStringLiteral("Runner.etl"), binary},
        {QStringLiteral("Structure.etl"), QByteArray(100000, '\xFF')}};
    QTest::newRow("all five exist") << ListContents{{QStringLiteral("Listener.etl"), "00000002"},
                                                    {QStringLiteral("Controller.etl"), "00000003"},
                                                    {QStringLiteral("Runner.etl"), binary},
                                                    {QStringLiteral("Structure.etl"), "\n\n"},
                                                    {QStringLiteral("MainControllerExtension.etl"), " "}};
}

void TestStartListFiles::keepsExistingLists()
{
    QFETCH(ListContents, before);

    QVERIFY(m_workspace->makeDir(QStringLiteral("Start")));
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY(m_workspace->writeFile(QStringLiteral("Start/") + it.key(), it.value()));

    QVERIFY(extensions::createEmptyStartLists());
    verifyListsAre(before);
}

void TestStartListFiles::leavesExtensionsAlone()
{
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/ExtensionName.etn"), "Listener"));
    QVERIFY(m_workspace->writeFile(QStringLiteral("Extensions/00000002/Listener.control"), "00000002"));

    QVERIFY(extensions::createEmptyStartLists());
    verifyListsAre({});
    QCOMPARE(
        QDir(m_workspace->filePath(QStringLiteral("Extensions/00000002"))).entryList(QDir::Files, QDir::Name),
        (QStringList{QStringLiteral("ExtensionName.etn"), QStringLiteral("Listener.control")}));
    QCOMPARE(m_workspace->readFile(QStringLiteral("Extensions/00000002/ExtensionName.etn")),
             QByteArray("Listener"));
}

void TestStartListFiles::startIsAFile()
{
    const QByteArray content = bytes("not a folder<00><FF>");
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start"), content));

    QVERIFY(!extensions::createEmptyStartLists());
    QVERIFY(QFileInfo(m_workspace->filePath(QStringLiteral("Start"))).isFile());
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start")), content);
    QCOMPARE(QDir(m_workspace->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Start")});
}

void TestStartListFiles::listIsAFolder()
{
    // A folder standing where a list belongs is left as it is and reported;
    // the other lists are still created.
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl/keep.txt"), "kept"));

    QVERIFY(!extensions::createEmptyStartLists());
    QCOMPARE(m_workspace->readFile(QStringLiteral("Start/Listener.etl/keep.txt")), QByteArray("kept"));
    for (const QString& list : kListFiles.mid(1)) {
        const QString path = QStringLiteral("Start/") + list;
        QVERIFY2(QFileInfo(m_workspace->filePath(path)).isFile(), qPrintable(path));
        QCOMPARE(m_workspace->readFile(path), QByteArray());
    }
}

void TestStartListFiles::repeatedRecoveryChangesNothing()
{
    QVERIFY(extensions::createEmptyStartLists());
    QVERIFY(m_workspace->writeFile(QStringLiteral("Start/Listener.etl"), "00000002\n"));
    QVERIFY(extensions::createEmptyStartLists());
    verifyListsAre({{QStringLiteral("Listener.etl"), "00000002\n"}});
}

QTEST_APPLESS_MAIN(TestStartListFiles)
#include "tst_startlistfiles.moc"
