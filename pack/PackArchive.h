#pragma once

// The body of an install pack: a tar archive (any variant, plain or
// compressed) or a zip archive, read straight from the pack file after the
// header. Every entry is checked against the entry rules and the bounds while
// it is read, so a hostile body is refused before it is written anywhere.

#include "ArchiveProblem.h"
#include "EntryRules.h"

#include <QList>
#include <QString>
#include <functional>

namespace pack {

struct ArchiveLimits
{
    qint64 maxEntries = 100000;
    qint64 maxBytes = qint64(4) << 30; // counted as unpacked, from the real data
};

struct ArchiveResult
{
    ArchiveProblem problem;
    QList<ArchiveEntry> entries; // in archive order; the folder's own "." left out
    qint64 totalBytes = 0;

    bool ok() const { return problem.code == ArchiveProblemCode::None; }
};

// Told the unpacked bytes so far, now and then while data is read.
using ArchiveProgress = std::function<void(qint64 bytes)>;

class PackArchive
{
public:
    // `bodyOffset` as the header reader gives it; -1 means the pack has no body.
    PackArchive(const QString& packPath, qint64 bodyOffset, const ArchiveLimits& limits = {});

    void setProgress(ArchiveProgress progress) { m_progress = std::move(progress); }

    // Reads and checks the whole body, writing nothing.
    ArchiveResult scan() const;

    // Reads, checks and writes the body into `folder`, which must exist. On a
    // problem the folder holds whatever was written before it; the caller
    // throws the folder away.
    ArchiveResult extractTo(const QString& folder) const;

private:
    ArchiveResult run(const QString* folder) const;

    QString m_packPath;
    qint64 m_bodyOffset;
    ArchiveLimits m_limits;
    ArchiveProgress m_progress;
};

} // namespace pack
