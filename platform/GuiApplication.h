#pragma once

// What differs between Qt 5 and Qt 6 for the programs' windows: each
// program's behaviour is Qt 6's on both, decided here once.

namespace platform {

// Call before the QApplication is made. Qt 6 always scales windows on
// high-DPI screens by the screen's exact factor; Qt 5 is told to do the same
// (by default it leaves them at their pixel sizes).
void prepareGuiApplication();

// At the end of a desktop session Qt 5 closes every window first and cancels
// the logout when one refuses; Qt 6 leaves the session's end to the session
// manager, which ends the program as it ends any. This gives Qt 5 Qt 6's way,
// for a program whose window refuses close requests.
void leaveSessionEndToSessionManager();

// Whether a session's end would close the windows through Qt first.
bool sessionEndClosesWindows();

} // namespace platform
