#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

namespace extensions {

// A longer start list is treated as unreadable: each listed extension costs
// ORVA two seconds at start-up, so no real list comes near it, and a hostile
// one must not exhaust memory.
inline constexpr int kMaxStartListBytes = 64 * 1024 * 1024;

// The bytes of the start list at a layout path; nullopt when it cannot be
// opened or is longer than kMaxStartListBytes.
std::optional<QByteArray> readStartListBytes(const QByteArray& layoutPath);

// Whitespace between the identifiers of a start list: the C locale's (space,
// \t, \n, \v, \f, \r), whatever the process locale says.
bool isStartListSeparator(char byte);

// A start list's tokens: the runs of bytes between separators, in order,
// with nothing validated and no length limit.
QList<QByteArray> startListTokens(const QByteArray& bytes);

// The start-up launcher's reading of a start list: its tokens, or nullopt
// when it cannot be read.
std::optional<QList<QByteArray>> readStartList(const QByteArray& layoutPath);

} // namespace extensions
