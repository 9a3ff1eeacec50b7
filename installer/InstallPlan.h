#pragma once

// What the installer is about to do with a pack that passed every check, for
// the user to confirm before anything is written.

#include "pack/AuthorKey.h"
#include "pack/PackHeader.h"

#include <optional>

namespace installer {

struct InstallPlan
{
    pack::PackInfo info;
    bool upgrade = false;                       // replaces the installed extension with this id
    std::optional<QByteArray> installedVersion; // the replaced one's, when its manifest says
    std::optional<pack::AuthorKey> signer;      // nullopt for an unsigned pack
    bool signerPinned = false;                  // the installed extension was installed with the same key
    QString running;                            // what will be ended first (RunningExtension::summary)
};

} // namespace installer
