#pragma once

namespace extensions {

// Recovery for a missing Listener list: creates the Start folder and each of
// the five start lists that does not exist yet, empty. Lists that exist are
// left byte for byte as they are, so no registered extension is lost.
// Returns false when a folder or list could not be created.
bool createEmptyStartLists();

} // namespace extensions
