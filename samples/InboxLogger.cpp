// InboxLogger, a control extension: files away everything waiting in Inbox.
// Each file is moved into Processed/ and gets one line in Inbox.log:
//   <UTC time, ISO 8601>\t<file name>\t<size in bytes>

#include "InboxFiles.h"

#include <cstdint>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>

namespace {

namespace fs = inbox::fs;

const fs::path kProcessedFolder = "Processed";
const fs::path kLogFile = "Inbox.log";

// More clashes than this for one name means something else is wrong.
constexpr unsigned kMaxNameSuffix = 100000;

std::string utcTimestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// "report.txt", then "report-1.txt", "report-2.txt", ...
fs::path numberedName(const fs::path& name, unsigned number)
{
    if (number == 0)
        return name;
    fs::path numbered = name.stem();
    numbered += "-" + std::to_string(number);
    numbered += name.extension();
    return numbered;
}

enum class MoveResult { Moved, Gone, Failed };

// True when nothing stands at the path any more (not when it cannot be told).
bool isGone(const fs::path& path)
{
    std::error_code error;
    return !fs::exists(path, error) && !error;
}

// Moves `file` into `folder` under the first free numbered name; never
// replaces anything. A hard link claims the new name atomically, and only one
// run can then remove the Inbox name, so two loggers started close together
// (chainlaunch does not wait for us) neither overwrite nor duplicate a file.
// Where the file system has no hard links, a checked rename does the move.
MoveResult moveWithoutOverwrite(const fs::path& file, const fs::path& folder, fs::path& target,
                                std::error_code& error)
{
    for (unsigned number = 0; number <= kMaxNameSuffix; ++number) {
        target = folder / numberedName(file.filename(), number);
        error.clear();
        fs::create_hard_link(file, target, error);
        if (error == std::errc::file_exists)
            continue;
        if (error == std::errc::no_such_file_or_directory && isGone(file))
            return MoveResult::Gone;
        if (error) {
            // No hard links here: fall back to a rename onto a name that is free.
            const bool taken = fs::exists(target, error);
            if (error)
                return MoveResult::Failed;
            if (taken)
                continue;
            fs::rename(file, target, error);
            if (error == std::errc::no_such_file_or_directory && isGone(file))
                return MoveResult::Gone;
            return error ? MoveResult::Failed : MoveResult::Moved;
        }
        if (fs::remove(file, error))
            return MoveResult::Moved;
        // Another run removed the Inbox name first and logs the file itself.
        std::error_code ignored;
        fs::remove(target, ignored);
        return error ? MoveResult::Failed : MoveResult::Gone;
    }
    error = std::make_error_code(std::errc::file_exists);
    return MoveResult::Failed;
}

int processInbox()
{
    std::error_code error;
    if (!inbox::ensureFolder(inbox::kInboxFolder, error)) {
        std::cerr << "InboxLogger: cannot use folder Inbox: " << error.message() << '\n';
        return 1;
    }
    if (!inbox::ensureFolder(kProcessedFolder, error)) {
        std::cerr << "InboxLogger: cannot use folder Processed: " << error.message() << '\n';
        return 1;
    }
    // Opened before anything moves, so that no file is filed away unlogged.
    std::ofstream log(kLogFile, std::ios::app);
    if (!log) {
        std::cerr << "InboxLogger: cannot open Inbox.log for appending\n";
        return 1;
    }
    const std::vector<fs::path> files = inbox::droppedFiles(inbox::kInboxFolder, error);
    if (error) {
        std::cerr << "InboxLogger: cannot read folder Inbox: " << error.message() << '\n';
        return 1;
    }

    int status = 0;
    for (const fs::path& file : files) {
        const std::string name = file.filename().u8string();
        // Measured before the move: the size of the file as it was dropped.
        const std::uintmax_t size = fs::file_size(file, error);
        if (error) {
            if (isGone(file))
                continue;
            std::cerr << "InboxLogger: cannot read the size of " << name << ": " << error.message() << '\n';
            status = 1;
            continue;
        }
        fs::path target;
        switch (moveWithoutOverwrite(file, kProcessedFolder, target, error)) {
        case MoveResult::Gone:
            continue;
        case MoveResult::Failed:
            std::cerr << "InboxLogger: cannot move " << name << " into Processed: " << error.message()
                      << '\n';
            status = 1;
            continue;
        case MoveResult::Moved:
            break;
        }
        log << utcTimestamp() << '\t' << name << '\t' << size << '\n';
        log.flush();
        if (!log) {
            std::cerr << "InboxLogger: cannot write to Inbox.log\n";
            return 1;
        }
    }
    return status;
}

} // namespace

int main()
{
    try {
        return processInbox();
    } catch (const std::exception& exception) {
        std::cerr << "InboxLogger: " << exception.what() << '\n';
        return 1;
    }
}
