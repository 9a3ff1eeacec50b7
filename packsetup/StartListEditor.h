#pragma once

// Adds an extension id to start lists and takes it out again, keeping every
// other byte of every list. All lists concerned are read before any is
// written; each is replaced through a temporary file and an atomic rename,
// and if one cannot be written the ones already written are put back.

#include "PackHeaderValidation.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace packsetup {

struct ListChange
{
    bool ok = true;
    QString error;          // Chinese, naming the list
    QStringList changed;    // file names of the lists that were rewritten
    bool wasListed = false; // removal: the id stood in some list
};

// Replaces a file's content through a temporary file and a rename; false
// with the reason (such as a full disk) in `error`.
bool saveWholeFile(const QString& path, const QByteArray& bytes, QString& error);

class StartListEditor
{
public:
    // `startFolder` holds the five lists ("Start" in the working directory).
    explicit StartListEditor(const QString& startFolder = QStringLiteral("Start"));

    // Appends the id to the list of each role unless it is a token there
    // already, creating the folder and missing lists. A list that does not end
    // in whitespace gets a line break first; the id is followed by one.
    ListChange add(const QByteArray& id, const QList<pack::Role>& roles) const;

    // Takes every token equal to the id out of every existing list, with one
    // whitespace byte (or one CR LF) after it.
    ListChange remove(const QByteArray& id) const;

    // Whether the id is a token of any of the five lists (unreadable lists
    // count as not holding it).
    bool isListed(const QByteArray& id) const;

private:
    struct Planned
    {
        QString path;
        QByteArray original;
        QByteArray updated;
        bool existed = false;
    };

    // Reads a list; false with `error` set when it is a folder or unreadable.
    bool read(const QString& path, Planned& list, QString& error) const;
    ListChange commit(const QList<Planned>& lists) const;

    QString m_startFolder;
};

} // namespace packsetup
