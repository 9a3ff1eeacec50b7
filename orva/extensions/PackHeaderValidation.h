#pragma once

// The install pack header as the installer and the pack tool read it: the
// members ORVA reads ("name") and those that say where the extension goes
// ("id", "roles", "control", and the descriptive "version", "description",
// "author"). Unknown members are allowed and ignored.

#include "PortableFileName.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <optional>

namespace pack {

// The installer's own extension id; nothing can be installed over it.
inline constexpr char kInstallerId[] = "00000001";

// "<name>.control" is the longest file named after the extension, and it must
// fit in one file name too.
inline constexpr int kMaxExtensionNameBytes = kMaxFileNameBytes - 8;

// The start lists an extension may be entered into, in the layout's order.
enum class Role { Listener, Controller, Runner, Structure, MainControllerExtension };
inline constexpr std::array<Role, 5> kAllRoles = {Role::Listener, Role::Controller, Role::Runner,
                                                  Role::Structure, Role::MainControllerExtension};

// "Listener", ... as written in headers.
QString roleName(Role role);
// "Listener.etl", ...: the start list's file name inside Start/.
QString startListFileName(Role role);

// Exactly eight ASCII digits.
bool isExtensionId(const QByteArray& id);

struct PackInfo
{
    QByteArray name;    // UTF-8, a portable file name
    QByteArray id;      // eight digits, never kInstallerId
    QList<Role> roles;  // no duplicates, in kAllRoles order
    QByteArray control; // eight digits; the own id unless given
    std::optional<QByteArray> version;
    std::optional<QByteArray> description;
    std::optional<QByteArray> author;
};

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
};

struct CheckedHeader
{
    HeaderProblem problem;
    PackInfo info;          // complete only when ok()
    qint64 bodyOffset = -1; // file offset of the body; -1 without a body

    bool ok() const { return problem.code == HeaderProblemCode::None; }
};

// Checks a header's bytes: bounded nesting, one JSON object, every member
// known to the installer of its type and form. The first problem found wins.
CheckedHeader checkHeader(const QByteArray& header);

// Reads the header of the pack at `path` (split as ORVA splits it) and checks
// it. Nothing but the header is read.
CheckedHeader readCheckedHeader(const QString& path);

// A Chinese sentence saying what is wrong, for the user.
QString headerProblemMessage(const HeaderProblem& problem);

// The header's JSON for `info`, the members in a fixed order. Braces and "~"
// inside strings are written as \u escapes, so the brace-counting split finds
// the header's end where JSON does.
QByteArray headerJson(const PackInfo& info, bool indented);

} // namespace pack
