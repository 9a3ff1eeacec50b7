#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QListView;

namespace manager {

struct ListedExtension
{
    QByteArray id;
    QString name;
};

// The extensions of a start list whose name file can be read, in list order;
// an identifier listed twice gives two entries. Names are UTF-8, verbatim (a
// trailing line break stays).
QList<ListedExtension> listedExtensions(const QByteArray& startListPath);

// Gives `view` a model of its own (replacing one it owned) with the names of
// the listed extensions; returns them, one per row.
QList<ListedExtension> showStartList(const QByteArray& startListPath, QListView* view);

} // namespace manager
