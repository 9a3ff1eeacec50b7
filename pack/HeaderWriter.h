#pragma once

#include "PackHeader.h"

#include <QByteArray>

namespace pack {

// The header's JSON for `info`, the members in a fixed order. Braces and "~"
// inside strings are written as \u escapes, so the brace-counting split finds
// the header's end where JSON does.
QByteArray headerJson(const PackInfo& info, bool indented);

} // namespace pack
