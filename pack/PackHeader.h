#pragma once

// The install pack header: the member ORVA reads ("name") and those that say
// where the extension goes ("id", "roles", "control", and the descriptive
// "version", "description", "author"). Unknown members are allowed and
// ignored.

#include "HeaderProblem.h"
#include "orva/extensions/StartListRole.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace pack {

// "<name>.control" is the longest file named after the extension, and it
// must fit in one file name too.
inline constexpr int kMaxExtensionNameBytes = kMaxFileNameBytes - 8;

struct PackInfo
{
    QByteArray name;               // UTF-8, a portable file name
    QByteArray id;                 // eight digits, never the installer's
    QList<extensions::Role> roles; // no duplicates, in the layout's order
    QByteArray control;            // eight digits; the own id unless given
    std::optional<QByteArray> version;
    std::optional<QByteArray> description;
    std::optional<QByteArray> author;
    // A signed pack's members, unchecked here (see PackSignature.h).
    std::optional<QByteArray> authorKey;
    std::optional<QByteArray> signature;

    // Either member makes the pack one that claims a signature.
    bool claimsSignature() const { return authorKey || signature; }
};

struct CheckedHeader
{
    HeaderProblem problem;
    PackInfo info;          // complete only when ok()
    qint64 bodyOffset = -1; // file offset of the body; -1 without a body
    QByteArray bytes;       // the header as read from the file

    bool ok() const { return problem.ok(); }
};

// The installer's check of a header's bytes: bounded nesting, one JSON
// object, every member it knows of its type and form. The first problem
// found wins.
CheckedHeader checkHeader(const QByteArray& header);

// Reads the header of the pack at `path` and checks it. Nothing but the
// header is read.
CheckedHeader readCheckedHeader(const QString& path);

struct PackName
{
    HeaderProblem problem;
    QByteArray name; // UTF-8, as the header holds it
};

// ORVA's reading: the header parsed as one JSON value (the library's
// defaults: no comments, a byte-order mark allowed) and its string member
// "name"; nothing else is looked at. A null header counts as an empty
// object.
PackName readPackName(const QString& path);

} // namespace pack
