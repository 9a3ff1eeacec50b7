// The layout's paths are byte strings built by plain concatenation: whatever
// a name or identifier holds ends up in the path unchanged.

#include "ExtensionPaths.h"
#include "TestBytes.h"

#include <QtTest>

class TestExtensionPaths : public QObject
{
    Q_OBJECT

private slots:
    void extensionFiles_data();
    void extensionFiles();
    void fixedPaths();
};

void TestExtensionPaths::extensionFiles_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("namePath");
    QTest::addColumn<QByteArray>("programPath");
    QTest::addColumn<QByteArray>("controlPath");

    QTest::newRow("plain") << QByteArray("00000002") << QByteArray("Listener")
                           << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn")
                           << QByteArray(".\\Extensions\\00000002\\Listener.exe")
                           << QByteArray(".\\Extensions\\00000002\\Listener.control");
    QTest::newRow("empty name") << QByteArray("00000002") << QByteArray()
                                << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn")
                                << QByteArray(".\\Extensions\\00000002\\.exe")
                                << QByteArray(".\\Extensions\\00000002\\.control");
    QTest::newRow("name ending in a line break") << QByteArray("00000002") << QByteArray("Listener\n")
                                                 << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn")
                                                 << QByteArray(".\\Extensions\\00000002\\Listener\n.exe")
                                                 << QByteArray(".\\Extensions\\00000002\\Listener\n.control");
    QTest::newRow("name ending in CRLF") << QByteArray("00000002") << QByteArray("Listener\r\n")
                                         << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn")
                                         << QByteArray(".\\Extensions\\00000002\\Listener\r\n.exe")
                                         << QByteArray(".\\Extensions\\00000002\\Listener\r\n.control");
    QTest::newRow("identifier ending in a line break")
        << QByteArray("00000003\n") << QByteArray("Control")
        << QByteArray(".\\Extensions\\00000003\n\\ExtensionName.etn")
        << QByteArray(".\\Extensions\\00000003\n\\Control.exe")
        << QByteArray(".\\Extensions\\00000003\n\\Control.control");
    QTest::newRow("UTF-8 Chinese name") << QByteArray("00000002") << QByteArray("监听器")
                                        << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn")
                                        << QByteArray(".\\Extensions\\00000002\\监听器.exe")
                                        << QByteArray(".\\Extensions\\00000002\\监听器.control");
    QTest::newRow("spaces and dots kept") << QByteArray("00000002") << QByteArray(" my app.v2 ")
                                          << QByteArray(".\\Extensions\\00000002\\ExtensionName.etn")
                                          << QByteArray(".\\Extensions\\00000002\\ my app.v2 .exe")
                                          << QByteArray(".\\Extensions\\00000002\\ my app.v2 .control");
    QTest::newRow("identifier not checked")
        << QByteArray("abc") << QByteArray("x") << QByteArray(".\\Extensions\\abc\\ExtensionName.etn")
        << QByteArray(".\\Extensions\\abc\\x.exe") << QByteArray(".\\Extensions\\abc\\x.control");
    QTest::newRow("empty identifier")
        << QByteArray() << QByteArray("x") << QByteArray(".\\Extensions\\\\ExtensionName.etn")
        << QByteArray(".\\Extensions\\\\x.exe") << QByteArray(".\\Extensions\\\\x.control");
    QTest::newRow("binary bytes kept") << bytes("0000000<FF>") << bytes("a<A0><85>")
                                       << bytes(".\\Extensions\\0000000<FF>\\ExtensionName.etn")
                                       << bytes(".\\Extensions\\0000000<FF>\\a<A0><85>.exe")
                                       << bytes(".\\Extensions\\0000000<FF>\\a<A0><85>.control");
}

void TestExtensionPaths::extensionFiles()
{
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, namePath);
    QFETCH(QByteArray, programPath);
    QFETCH(QByteArray, controlPath);

    QCOMPARE(extensions::nameFilePath(id), namePath);
    QCOMPARE(extensions::programFilePath(id, name), programPath);
    QCOMPARE(extensions::controlFilePath(id, name), controlPath);
}

void TestExtensionPaths::fixedPaths()
{
    QCOMPARE(QByteArray(extensions::kChainlaunchPath), QByteArray(".\\Extensions\\chainlaunch.exe"));
    QCOMPARE(QByteArray(extensions::kInstallerPath), QByteArray(".\\Extensions\\00000001\\packsetup.exe"));
    QCOMPARE(QByteArray(extensions::kStartFolder), QByteArray(".\\Start"));
    QCOMPARE(QByteArray(extensions::kListenerListPath), QByteArray(".\\Start\\Listener.etl"));

    // Created in this order by the recovery.
    QList<QByteArray> lists;
    for (const char* path : extensions::kStartListPaths)
        lists.append(path);
    QCOMPARE(lists,
             (QList<QByteArray>{".\\Start\\Listener.etl", ".\\Start\\Controller.etl", ".\\Start\\Runner.etl",
                                ".\\Start\\Structure.etl", ".\\Start\\MainControllerExtension.etl"}));
}

QTEST_APPLESS_MAIN(TestExtensionPaths)
#include "tst_extensionpaths.moc"
