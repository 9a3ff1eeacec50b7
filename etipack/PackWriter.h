#pragma once

// etipack create: writes a folder as an install pack, refusing whatever
// packsetup would refuse.

#include "pack/Outcome.h"
#include "pack/PackArchive.h"
#include "pack/PackHeader.h"
#include "pack/SigningKey.h"

#include <QStringList>

namespace etipack {

// The header fields as given on the command line, not yet checked.
struct HeaderFields
{
    QString name;
    QString id;
    QStringList roles;
    std::optional<QString> control;
    std::optional<QString> version;
    std::optional<QString> description;
    std::optional<QString> author;
};

// Checks the fields as packsetup checks a header.
pack::CheckedHeader checkFields(const HeaderFields& fields);

class PackWriter
{
public:
    explicit PackWriter(const pack::ArchiveLimits& limits = {}) : m_limits(limits) {}

    // Writes the header, "~" and `folder`'s content as a gzip-compressed tar to
    // `output` (atomically), then reads the written pack back as packsetup
    // would. Symbolic links, special files, unportable names, a missing
    // "<name>.exe" and files the installer writes itself are refused. With a
    // key the pack is signed before it is read back.
    pack::Outcome create(const QString& folder, const HeaderFields& fields, const QString& output,
                         const std::optional<pack::SigningKey>& key = std::nullopt) const;

private:
    pack::ArchiveLimits m_limits;
};

} // namespace etipack
