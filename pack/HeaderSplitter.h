#pragma once

// The install pack (.etipack): a JSON header, the separator "~", then a body
// for the installer. The header ends at the first "~" outside all braces, or
// without a separator at a "}" that closes no "{" (that "}" then begins the
// body). Braces are counted as plain bytes, also inside JSON strings.

#include "HeaderProblem.h"

#include <QByteArray>
#include <QString>

namespace pack {

// A header larger than this is refused before it is read into memory.
inline constexpr qint64 kMaxHeaderBytes = 16 * 1024 * 1024;

// Finds the end of the header in a stream of bytes fed in chunks.
class HeaderSplitter
{
public:
    // How many bytes at the front of `data` belong to the header. Once the
    // header has ended, finished() is true and nothing more is taken.
    qint64 feed(const char* data, qint64 size);

    bool finished() const { return m_finished; }
    // True when the header ended at a "~" (which belongs to neither part),
    // false when it ended at an unmatched "}" (the body's first byte).
    bool endedAtSeparator() const { return m_endedAtSeparator; }

private:
    qint64 m_depth = 0;
    bool m_finished = false;
    bool m_endedAtSeparator = false;
};

struct SplitPack
{
    QByteArray header;
    QByteArray body;
    bool hasBody = false;
};

// Splits a whole pack held in memory.
SplitPack splitPack(const QByteArray& pack);

struct HeaderBytes
{
    HeaderProblemCode problem = HeaderProblemCode::None; // None, CannotOpen or TooLarge
    QByteArray bytes;
    qint64 bodyOffset = -1; // file offset of the body's first byte; -1 without a body
};

// Reads only the header of the pack at `path`, never more than
// kMaxHeaderBytes of it. Any path the platform can name opens.
HeaderBytes readHeaderBytes(const QString& path);

} // namespace pack
