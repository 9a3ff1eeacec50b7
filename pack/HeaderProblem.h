#pragma once

// Why a pack's header cannot be used, as a value the programs turn into a
// message.

#include "PortableFileName.h"

#include <QString>

namespace pack {

// Deepest nesting of JSON arrays and objects a header may have. Parsing a
// deeper one would cost memory per level, and the JSON library's dump and
// copies recurse once per level.
inline constexpr int kMaxHeaderDepth = 64;

enum class HeaderProblemCode {
    None,
    CannotOpen,
    TooLarge,
    Empty,
    Malformed,
    TooDeep,
    NotAnObject,
    FieldMissing,
    FieldWrongType,
    BadName,
    BadId,
    ReservedId,
    UnknownRole,
    BadControl,
    ReservedControl,
};

struct HeaderProblem
{
    HeaderProblemCode code = HeaderProblemCode::None;
    QString field;           // the member concerned, e.g. "roles"
    QString value;           // the offending value, when there is one
    qint64 errorByte = 0;    // Malformed, TooDeep: byte of the header, from 1
    FileNameCheck nameCheck; // BadName: why the name is no file name

    bool ok() const { return code == HeaderProblemCode::None; }
};

// A Chinese sentence saying what is wrong, for the user.
QString headerProblemMessage(const HeaderProblem& problem);

} // namespace pack
