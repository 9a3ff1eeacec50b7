#pragma once

// The body of an install pack: a tar archive (any variant, plain or
// compressed) or a zip archive, read as a stream after the header. Every
// entry is checked against the entry rules, the bounds and the room on the
// disk while it is read, before its data is written anywhere.

#include "ArchiveProblem.h"
#include "EntryRules.h"

#include <QList>
#include <QString>
#include <optional>

namespace pack {

struct ArchiveLimits
{
    // What an unpacked pack leaves free on its disk at least, unless the
    // limits name another amount: the larger of these two, so that other
    // programs' writes do not fail meanwhile.
    static constexpr qint64 kMinFreeBytes = qint64(64) << 20;
    static constexpr qint64 kMinFreeShare = 100; // a hundredth of the disk

    ArchiveLimits(qint64 entries = 100000, qint64 bytes = qint64(4) << 30)
        : maxEntries(entries), maxBytes(bytes)
    {}

    qint64 maxEntries;
    qint64 maxBytes; // counted as unpacked, from the real data
    std::optional<qint64> minFreeBytes;
    // How much of the pack file is read at a time: small enough to stay in
    // the processor's cache while the archive reader decompresses it (a
    // megabyte was measurably slower), and memory stays small for any pack.
    qint64 readBlockBytes = qint64(64) << 10;

    // The bytes to leave free on a disk of `diskBytes`.
    qint64 minFreeOn(qint64 diskBytes) const
    {
        return minFreeBytes.value_or(qMax(kMinFreeBytes, diskBytes / kMinFreeShare));
    }
};

struct ArchiveResult
{
    ArchiveProblem problem;
    QList<ArchiveEntry> entries; // in archive order; the folder's own "." left out
    qint64 totalBytes = 0;

    bool ok() const { return problem.code == ArchiveProblemCode::None; }
};

// The body's bytes in order, block by block, as the archive reader asks for
// them: it never seeks, so each byte is read once.
class BodyStream
{
public:
    virtual ~BodyStream() = default;
    // The next block and its size; 0 at the end of the pack, -1 when the
    // pack file could not be read (readError() says why).
    virtual qint64 next(const char** block) = 0;
    virtual QString readError() const = 0;
};

class PackArchive
{
public:
    explicit PackArchive(BodyStream& body, const ArchiveLimits& limits = {});

    // Reads and checks the whole body, writing nothing.
    ArchiveResult scan();

    // Reads, checks and writes the body into `folder`, which must exist. On a
    // problem the folder holds whatever was written before it, never more
    // than the bounds; the caller throws the folder away.
    ArchiveResult extractTo(const QString& folder);

private:
    ArchiveResult run(const QString* folder);

    BodyStream& m_body;
    ArchiveLimits m_limits;
};

} // namespace pack
