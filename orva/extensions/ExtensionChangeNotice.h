#pragma once

// The note packsetup leaves in Extensions/ whenever it replaces or removes an
// installed extension, before it ends what runs from it, for a running ORVA:
// a launcher run of a pair that uses one of the named extensions and began
// before the note is not started again while that packsetup runs, and
// afterwards only if both of its programs are still there. The note stays
// until the next packsetup replaces it: an ORVA that waited for packsetup
// without handling events reads it after packsetup has ended.

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

    // The notice in the working directory's Extensions/, if one is there and readable.
    static std::optional<ExtensionChangeNotice> read();
    // Replaces the notice through a temporary file and a rename; false with
    // the system's reason in `error`.
    bool write(QString& error) const;

    // Whether a run of the pair `pairIds` that began at `runStarted` (ms
    // since the epoch) waits for this change.
    bool concerns(const QList<QByteArray>& pairIds, qint64 runStarted) const;
};

} // namespace extensions
