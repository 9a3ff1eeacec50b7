// InboxWatcher, a listener extension: ends as soon as a file waits in Inbox,
// so that chainlaunch starts its control extension to take care of it.

#include "InboxFiles.h"

#include <chrono>
#include <iostream>
#include <thread>

namespace {

// Often enough to feel immediate, rare enough to cost nothing while idle.
constexpr std::chrono::milliseconds kPollInterval{200};

} // namespace

int main()
{
    try {
        for (;;) {
            std::error_code error;
            // Checked on every round: a user who deletes Inbox gets it back.
            if (!inbox::ensureFolder(inbox::kInboxFolder, error)) {
                std::cerr << "InboxWatcher: cannot use folder Inbox: " << error.message() << '\n';
                return 1;
            }
            const std::vector<inbox::fs::path> files = inbox::droppedFiles(inbox::kInboxFolder, error);
            if (error) {
                std::cerr << "InboxWatcher: cannot read folder Inbox: " << error.message() << '\n';
                return 1;
            }
            if (!files.empty())
                return 0;
            std::this_thread::sleep_for(kPollInterval);
        }
    } catch (const std::exception& exception) {
        std::cerr << "InboxWatcher: " << exception.what() << '\n';
        return 1;
    }
}
