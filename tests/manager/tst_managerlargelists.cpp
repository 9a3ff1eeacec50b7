// The extension manager window with five start lists of 10,000 identifiers:
// every view holds all its rows, in list order, with the right names, and the
// window and its models go when 确定 closes it.

#include "Addonsmanager.h"
#include "ManagerTestSupport.h"
#include "ManagerWindow.h"
#include "TempWorkspace.h"

#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QtTest>
#include <functional>

using namespace managertest;

namespace {

constexpr int kListed = 10000;

// Every tenth extension has no folder (so no name) and is left out of the views.
bool hasName(int number)
{
    return number % 10 != 0;
}

QString nameOf(int number)
{
    return QStringLiteral("扩展 %1").arg(number);
}

QByteArray idOf(int number)
{
    return QByteArray::number(number).rightJustified(8, '0');
}

} // namespace

class TestManagerLargeLists : public QObject
{
    Q_OBJECT

private slots:
    void tenThousandPerList();
};

void TestManagerLargeLists::tenThousandPerList()
{
    TempWorkspace workspace;
    QVERIFY(workspace.isValid());
    for (int number = 1; number <= kListed; ++number) {
        if (hasName(number))
            QVERIFY(workspace.writeFile(
                QStringLiteral("Extensions/%1/ExtensionName.etn").arg(QString::fromLatin1(idOf(number))),
                nameOf(number).toUtf8()));
    }

    // Five orders of the same extensions: ascending, descending, scattered,
    // one line separated by commas, and each of the first half twice.
    const QList<std::function<int(int)>> orders{
        [](int i) { return i + 1; },
        [](int i) { return kListed - i; },
        [](int i) { return (i * 7919) % kListed + 1; },
        [](int i) { return i + 1; },
        [](int i) { return i / 2 + 1; },
    };
    const QStringList lists{QStringLiteral("Listener"), QStringLiteral("Controller"),
                            QStringLiteral("Runner"), QStringLiteral("Structure"),
                            QStringLiteral("MainControllerExtension")};
    QList<QStringList> expected;
    for (int list = 0; list < orders.size(); ++list) {
        QByteArray content;
        QStringList names;
        for (int i = 0; i < kListed; ++i) {
            const int number = orders.at(list)(i);
            content += idOf(number) + (list == 3 ? "," : "\n");
            if (hasName(number))
                names.append(nameOf(number));
        }
        QVERIFY(workspace.writeFile(QStringLiteral("Start/%1.etl").arg(lists.at(list)), content));
        expected.append(names);
    }

    auto* window = new Addonsmanager;
    managerWindow() = window;
    const QPointer<Addonsmanager> guard(window);
    QList<QPointer<QAbstractItemModel>> models;
    const QStringList views{QStringLiteral("listView"), QStringLiteral("listView_2"),
                            QStringLiteral("listView_3"), QStringLiteral("listView_4"),
                            QStringLiteral("listView_5")};
    for (int view = 0; view < views.size(); ++view) {
        const QStringList shown = entries(window, views.at(view));
        QCOMPARE(shown.size(), expected.at(view).size());
        QCOMPARE(shown, expected.at(view));
        models.append(window->findChild<QListView*>(views.at(view))->model());
    }
    QCOMPARE(entries(window, views.at(4)).mid(0, 4),
             (QStringList{nameOf(1), nameOf(1), nameOf(2), nameOf(2)}));

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto* ok = window->findChild<QPushButton*>(QStringLiteral("pushButton_5"));
    QVERIFY(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
    QTRY_VERIFY(guard.isNull());
    QVERIFY(managerWindow().isNull());
    for (const QPointer<QAbstractItemModel>& model : models)
        QVERIFY(model.isNull());
    QVERIFY(managerWindows().isEmpty());
    QVERIFY(messageBoxes().isEmpty());
}

QTEST_MAIN(TestManagerLargeLists)
#include "tst_managerlargelists.moc"
