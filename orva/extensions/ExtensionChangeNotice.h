#pragma once

// The note packsetup leaves in Extensions/ whenever it replaces or removes an
// installed extension, before it ends what runs from it, for a running ORVA:
// no launcher run of a pair that uses one of the named extensions starts
// while the change is in progress. packsetup marks the change done as soon
// as the new version is in place (or the folder gone), before it shows its
// closing message, and takes the note away when nothing changed after all;
// a packsetup that ended without either (it crashed) releases the pairs by
// ending. A run that began before the note and that the change ended starts
// again only if both of its programs are still there. A done note stays until
// the next packsetup replaces it: an ORVA that waited for packsetup without
// handling events reads it after packsetup has ended.

#include "platform/Processes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace extensions {

struct ExtensionChangeNotice
{
    QList<QByteArray> ids;             // the extensions being replaced or removed
    platform::ProcessIdentity changer; // the packsetup that does it
    qint64 since = 0;                  // when it began, ms since the epoch
    bool done = false;                 // the new version is in place, or the folder gone

    // The notice in the working directory's Extensions/, if one is there and
    // readable. A notice of the first format (before changes were marked
    // done) reads as one in progress.
    static std::optional<ExtensionChangeNotice> read();
    // Replaces the notice through a temporary file and a rename; false with
    // the system's reason in `error`.
    bool write(QString& error) const;
    // After the change this process noted: marks it done when `changed`, or
    // else takes the notice away, as nothing changed. Either way the pairs
    // may start again at once.
    static void settle(bool changed);

    // Whether the notice names an extension of the pair `pairIds`.
    bool names(const QList<QByteArray>& pairIds) const;
    // Whether a start of a pair it names waits: the change is not done and
    // its packsetup still runs.
    bool inProgress() const;
    // Whether a run of the pair `pairIds` that began at `runStarted` (ms
    // since the epoch) was ended by this change.
    bool concerns(const QList<QByteArray>& pairIds, qint64 runStarted) const;
};

} // namespace extensions
