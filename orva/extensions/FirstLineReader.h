#pragma once

#include <QByteArray>
#include <optional>

namespace extensions {

// Longest value a name or control file yields; the rest of a longer line is cut.
inline constexpr int kFirstLineMaxBytes = 1023;

// The first line of a name or control file: the bytes up to and including the
// first line break, at most kFirstLineMaxBytes of them, ending before the
// first NUL byte. Nothing is trimmed: a line break that was read stays. An
// empty file gives an empty value; nullopt when the file cannot be opened.
std::optional<QByteArray> readFirstLine(const QByteArray& layoutPath);

} // namespace extensions
