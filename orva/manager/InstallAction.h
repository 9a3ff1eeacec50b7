#pragma once

#include <QString>

namespace pack {
struct PackHeader;
}

namespace manager {

// The "添加" action: asks for an install pack, reads its name from the header
// and runs the installer on it, waiting until it ends. True when the
// installer ran to its end; every failure has been reported to the user.
bool installPackFromDialog();

// The message for a pack whose header cannot be used, naming the file.
QString packErrorMessage(const pack::PackHeader& header, const QString& path);

} // namespace manager
