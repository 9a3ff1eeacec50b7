#pragma once

namespace gui {

// Gives every window of the running program ORVA's icon, and tells the
// desktop which application entry the windows belong to.
void useProgramIcon();

} // namespace gui
