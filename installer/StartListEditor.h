#pragma once

// Adds an extension id to start lists and takes it out again, keeping every
// other byte of every list. All lists concerned are read before any is
// written; each is replaced through a temporary file and an atomic rename,
// and if one cannot be written the ones already written are put back.

#include "orva/extensions/StartListRole.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace installer {

struct ListChange
{
    bool ok = true;
    QString error; // Chinese, naming the list
};

class StartListEditor
{
public:
    // Appends the id to the list of each role unless it is a token there
    // already, creating the folder and missing lists. A list that does not end
    // in whitespace gets a line break first; the id is followed by one.
    ListChange add(const QByteArray& id, const QList<extensions::Role>& roles) const;

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
    static bool read(extensions::Role role, Planned& list, QString& error);
    static ListChange commit(const QList<Planned>& lists);
};

} // namespace installer
