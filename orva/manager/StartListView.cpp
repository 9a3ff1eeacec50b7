#include "StartListView.h"

#include "ExtensionPaths.h"
#include "FirstLineReader.h"
#include "ListIdentifierReader.h"

#include <QListView>
#include <QStringListModel>

namespace manager {

QStringList extensionNames(const QByteArray& startListPath)
{
    QStringList names;
    for (const QByteArray& id : extensions::readListIdentifiers(startListPath)) {
        if (const std::optional<QByteArray> name = extensions::readFirstLine(extensions::nameFilePath(id)))
            names.append(QString::fromUtf8(*name));
    }
    return names;
}

void showStartList(const QByteArray& startListPath, QListView* view)
{
    view->setModel(new QStringListModel(extensionNames(startListPath), view));
}

} // namespace manager
