#pragma once

// Why an install pack's body cannot be installed, as a value the installer
// and the pack tool turn into a message.

#include "PortableFileName.h"

#include <QByteArray>
#include <QString>

namespace pack {

enum class ArchiveProblemCode {
    None,
    NoBody,         // the pack ends with its header
    CannotRead,     // reading the pack file failed
    NotAnArchive,   // the body is no tar or zip archive
    Damaged,        // truncated, corrupt or using what is not supported
    EntryType,      // a symbolic link, device, FIFO or socket
    HardLink,       // an entry that links to another path
    AbsolutePath,   // "/x", "C:\x", "C:x", "\\server\share\x"
    ParentFolder,   // a ".." part
    BadPathPart,    // a part of the path that is no portable file name
    PathTooLong,    // more than kMaxEntryPathBytes
    NotUtf8Path,    // a name that is not UTF-8
    TooManyEntries, // more entries than the bound
    TooLarge,       // more unpacked bytes than the bound
    ReservedFile,   // a file the installer writes itself
    ProgramMissing, // no regular file "<name>.exe" at the top
    WriteFailed,    // the disk refused a write (full, no permission, ...)
    DiskFull,       // an entry would leave less than the minimum free on the disk
};

struct ArchiveProblem
{
    ArchiveProblemCode code = ArchiveProblemCode::None;
    QByteArray entry;   // the entry's path as the archive names it, UTF-8
    QString detail;     // the library's error, the entry's type, the bound, the minimum free
    FileNameCheck part; // BadPathPart: what is wrong with the part
};

// A Chinese sentence saying what is wrong, for the user.
QString archiveProblemMessage(const ArchiveProblem& problem);

} // namespace pack
