#pragma once

#include <QByteArray>
#include <QList>

namespace extensions {

// The extension manager's reading of a start list: every run of ASCII digits
// is an identifier, cut after eight digits (a ninth digit begins the next
// identifier); every other byte separates. A file that cannot be opened gives
// an empty list. For well-formed lists this equals readStartList's tokens.
QList<QByteArray> readListIdentifiers(const QByteArray& path);

} // namespace extensions
