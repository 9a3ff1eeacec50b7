#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

namespace extensions {

// Reads a start list as whitespace-separated tokens, in file order, with
// nothing validated. Tokens may be of any length; whitespace is the C
// locale's (space, \t, \n, \v, \f, \r). nullopt when the file cannot be opened.
std::optional<QList<QByteArray>> readStartList(const QByteArray& layoutPath);

} // namespace extensions
