#pragma once

// What the two sample extensions agree on: the folder they share with the
// user and which of its entries count as dropped files.

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace inbox {

namespace fs = std::filesystem;

// Relative on purpose: extensions run in ORVA's working directory.
inline const fs::path kInboxFolder = "Inbox";

// Writers drop a file atomically by writing it under a hidden or ".part" name
// and renaming it when complete; until then it is not ours to take.
inline bool isDroppedName(const std::string& name)
{
    const std::string partSuffix = ".part";
    if (name.empty() || name.front() == '.')
        return false;
    return name.size() < partSuffix.size() ||
           name.compare(name.size() - partSuffix.size(), partSuffix.size(), partSuffix) != 0;
}

// Creates the folder unless it exists. False, with the reason in `error`, when
// there is no folder at the path afterwards (for example a file stands there).
inline bool ensureFolder(const fs::path& folder, std::error_code& error)
{
    fs::create_directories(folder, error);
    if (error)
        return false;
    if (!fs::is_directory(folder, error)) {
        if (!error)
            error = std::make_error_code(std::errc::not_a_directory);
        return false;
    }
    return true;
}

// The regular files under dropped names in `folder`, sorted by name. An entry
// that vanishes while the folder is read is simply not listed.
inline std::vector<fs::path> droppedFiles(const fs::path& folder, std::error_code& error)
{
    std::vector<fs::path> files;
    fs::directory_iterator entry(folder, error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        std::error_code ignored;
        if (entry->is_regular_file(ignored) && isDroppedName(entry->path().filename().u8string()))
            files.push_back(entry->path());
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    return files;
}

} // namespace inbox
