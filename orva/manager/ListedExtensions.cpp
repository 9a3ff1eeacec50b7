#include "ListedExtensions.h"

#include "orva/extensions/ExtensionLayout.h"
#include "orva/extensions/FirstLineReader.h"
#include "orva/extensions/ListIdentifierReader.h"

#include <QListView>
#include <QStringListModel>

namespace manager {

QList<ListedExtension> listedExtensions(const QByteArray& startListPath)
{
    QList<ListedExtension> listed;
    for (const QByteArray& id : extensions::readListIdentifiers(startListPath)) {
        if (const std::optional<QByteArray> name = extensions::readFirstLine(extensions::nameFilePath(id)))
            listed.append({id, QString::fromUtf8(*name)});
    }
    return listed;
}

QList<ListedExtension> showStartList(const QByteArray& startListPath, QListView* view)
{
    QList<ListedExtension> listed = listedExtensions(startListPath); // not const: returned by move
    QStringList names;
    for (const ListedExtension& extension : listed)
        names.append(extension.name);
    QAbstractItemModel* previous = view->model();
    view->setModel(new QStringListModel(names, view));
    if (previous && previous->parent() == view)
        delete previous;
    return listed;
}

} // namespace manager
