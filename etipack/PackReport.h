#pragma once

// etipack inspect and verify: what a pack holds and whether packsetup would
// install it.

#include "pack/Outcome.h"
#include "pack/PackArchive.h"

#include <QString>

namespace etipack {

struct Inspection
{
    QString report;        // header fields, entries with sizes, verdict
    pack::Outcome verdict; // Success when packsetup would accept the pack
};

Inspection inspectPack(const QString& path, const pack::ArchiveLimits& limits = {});

} // namespace etipack
