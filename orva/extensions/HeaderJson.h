#pragma once

// Shared by ORVA's reading of a header's name and the installer's full check:
// what every reader does before it looks at a member.

#include "InstallPack.h"

#include <nlohmann/json.hpp>

namespace pack {

struct HeaderJson
{
    HeaderError error = HeaderError::None; // None, Empty, Malformed or TooDeep
    qint64 errorByte = 0;                  // Malformed, TooDeep: byte of the header, from 1
    nlohmann::json value;
};

// Parses a header as one JSON value with the library's default options. A
// header of JSON whitespace only is Empty; one nested deeper than
// kMaxHeaderDepth is refused before the library sees it (its dump and copies
// recurse); a zero byte is Malformed (the library would stop reading there).
// No exception leaves this function.
HeaderJson parseHeaderJson(const QByteArray& header);

} // namespace pack
