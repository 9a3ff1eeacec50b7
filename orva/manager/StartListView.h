#pragma once

#include <QByteArray>
#include <QStringList>

class QListView;

namespace manager {

// The extension names of the identifiers in a start list, in list order. An
// identifier whose name file cannot be opened is left out; one listed twice
// gives two names. Names are UTF-8, verbatim (a trailing line break stays).
QStringList extensionNames(const QByteArray& startListPath);

// Gives `view` a model of its own, filled with extensionNames(startListPath).
void showStartList(const QByteArray& startListPath, QListView* view);

} // namespace manager
