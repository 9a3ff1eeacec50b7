#pragma once

class QMessageBox;

// The notices ORVA shows at every start.
namespace startup {

// The first notice, then the offer to visit the author's website. `firstNotice`
// is the caller's box, kept for the loading notice. Returns when the user
// enters the program; choosing the website ends the process with status 0.
void showNotices(QMessageBox& firstNotice);

// Turns the first notice into the loading notice, shows it without waiting
// and pauses one second.
void showLoadingNotice(QMessageBox& notice);

} // namespace startup
