#pragma once

// Uninstalls an extension: ends what runs from its folder, takes its id out
// of every start list, then deletes its folder under Extensions/.

#include "ExtensionFolders.h"
#include "StartListEditor.h"
#include "pack/Outcome.h"

namespace installer {

class ExtensionRemover
{
public:
    // Refuses the installer's own id and anything that is no eight-digit id.
    pack::Outcome remove(const QByteArray& id) const;

private:
    ExtensionFolders m_folders;
    StartListEditor m_lists;
};

} // namespace installer
