#pragma once

// Whether a byte string can name a file on every platform ORVA runs on. Names
// of extensions and of every part of an archive entry's path are held to it,
// so that a pack that installs on one system installs on all of them.

#include <QByteArray>
#include <QString>

namespace pack {

// Longest name, in UTF-8 bytes, that common file systems store.
inline constexpr int kMaxFileNameBytes = 255;

enum class FileNameIssue {
    None,
    Empty,
    TooLong,
    ForbiddenCharacter, // one of / \ : * ? " < > |
    ControlCharacter,   // below 0x20, or 0x7F
    DotName,            // "." or ".."
    TrailingDotOrSpace, // Windows drops these, so two names would meet
    ReservedDeviceName, // CON, NUL, COM1, ... with or without an extension
    NotUtf8,
};

struct FileNameCheck
{
    FileNameIssue issue = FileNameIssue::None;
    char character = 0; // ForbiddenCharacter, ControlCharacter: the byte
};

// Checks a single name (no separators allowed) of at most `maxBytes` bytes.
FileNameCheck checkPortableFileName(const QByteArray& name, int maxBytes = kMaxFileNameBytes);

// What is wrong, in Chinese, e.g. "名称含有\":\"" (no final punctuation).
QString fileNameIssueText(const FileNameCheck& check, int maxBytes = kMaxFileNameBytes);

} // namespace pack
