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
    ArchiveResult archive;   // read as far as the header ends, good or not
    Outcome verdict;         // Success when packsetup would install the pack
};

// What packsetup checks in its one read of a pack, writing nothing: the
// header, the signature if there is one, and the whole body against the
// entry rules and `limits`. Whether the extension fits the working
// directory is not looked at.
PackCheck checkPack(const QString& path, const ArchiveLimits& limits = {});

} // namespace pack
