#include "PackCheck.h"

#include "PackReader.h"

namespace pack {

PackCheck checkPack(const QString& path, const ArchiveLimits& limits)
{
    PackReader reader(path, limits);
    reader.readHeader();
    reader.readBody(nullptr);
    return reader.check();
}

} // namespace pack
