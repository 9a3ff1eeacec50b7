#pragma once

// etipack inspect and verify: what a pack holds and whether packsetup would
// install it.

#include "Outcome.h"
#include "PackArchive.h"

#include <QString>

namespace etipack {

struct Inspection
{
    QString report;             // header fields, entries with sizes, verdict
    packsetup::Outcome verdict; // Success when packsetup would accept the pack
};

Inspection inspectPack(const QString& path, const packsetup::ArchiveLimits& limits = {});

} // namespace etipack
