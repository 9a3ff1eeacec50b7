#pragma once

// Which entries an install pack's body may hold: regular files and folders
// with portable relative paths inside the extension's folder, and nothing the
// installer writes itself. The same rules are kept by the pack tool when it
// writes a pack, so that what it writes always installs.

#include "ArchiveProblem.h"

#include <QByteArray>
#include <QList>

namespace pack {

// Longest entry path, in UTF-8 bytes.
inline constexpr int kMaxEntryPathBytes = 1024;

struct ArchiveEntry
{
    QByteArray path; // relative, "/"-separated, without "./" or a trailing "/"
    bool directory = false;
    qint64 size = 0; // bytes actually read, never the declared size
};

// Checks an entry's path (UTF-8, as the archive names it) and gives it in the
// form ArchiveEntry::path has. An empty normalized path is the folder itself
// ("." or "./"), which only a folder entry may name.
ArchiveProblem checkEntryPath(const QByteArray& path, QByteArray& normalized);

// Checks the whole list: "<name>.exe" is a regular file at the top, and no
// entry stands where the installer writes its own files.
ArchiveProblem checkPackContents(const QList<ArchiveEntry>& entries, const QByteArray& name);

} // namespace pack
