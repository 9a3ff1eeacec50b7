#pragma once

#include "Outcome.h"
#include "PackArchive.h"
#include "PackHeader.h"
#include "PackSignature.h"

namespace pack {

struct PackCheck
{
    CheckedHeader header;
    PackSignature signature; // checked only under a good header
    ArchiveResult archive;   // read only under a good header and signature
    Outcome verdict;         // Success when packsetup would install the pack
};

// Told the header and the unpacked bytes so far while the body is read,
// first with 0 bytes.
using CheckProgress = std::function<void(const PackInfo& info, qint64 bytes)>;

// What packsetup checks before it writes anything: the header, the
// signature if there is one, then the whole body, read without writing, against the entry rules and `limits`.
// Whether the extension fits the working directory is not looked at.
PackCheck checkPack(const QString& path, const ArchiveLimits& limits = {},
                    const CheckProgress& progress = {});

} // namespace pack
