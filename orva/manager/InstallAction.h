#pragma once

namespace manager {

// The "添加" action: asks for an install pack, reads its name from the header
// and runs the installer on it, waiting until it ends. True when the
// installer ran to its end; every failure has been reported to the user.
bool installPackFromDialog();

} // namespace manager
