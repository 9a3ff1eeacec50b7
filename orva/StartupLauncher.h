#pragma once

class QMessageBox;

namespace startup {

// Starts every extension of the Listener start list through chainlaunch,
// paired with its control extension, and records each launcher process in
// processList(). `loadingNotice` shows which extension is being loaded.
// Returns when every listed extension has been handled; ends the process with
// status 1 when the user answers 关闭 in one of its boxes.
void launchStartupExtensions(QMessageBox& loadingNotice);

} // namespace startup
