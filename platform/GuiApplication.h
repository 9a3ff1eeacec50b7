#pragma once

// What differs between Qt 5 and Qt 6 for the programs' windows: each
// program's behaviour is Qt 6's on both, decided here once.

namespace platform {

// Call before the QApplication is made. Qt 6 always scales windows on
// high-DPI screens, by the exact factor of the system's display scale. Qt 5
// leaves them at their pixel sizes unless told: it is told on Windows, where
// it takes the factor from the display scale as Qt 6 does. On X11 Qt 5 would
// take it from the screen's physical size instead (1.04 on Xvfb's screen,
// blurring ordinary monitors), where Qt 6 reads Xft.dpi or 96: Qt 5 stays
// unscaled there, as Qt 6 is where no Xft.dpi is set. Factors are never
// rounded, as Qt 6's are not.
void prepareGuiApplication();

// At the end of a desktop session Qt 5 closes every window first and cancels
// the logout when one refuses; Qt 6 leaves the session's end to the session
// manager, which ends the program as it ends any. This gives Qt 5 Qt 6's way,
// for a program whose window refuses close requests.
void leaveSessionEndToSessionManager();

// Whether a session's end would close the windows through Qt first.
bool sessionEndClosesWindows();

} // namespace platform
