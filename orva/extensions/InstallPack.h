#pragma once

// The install pack (.etipack): a JSON header, the separator "~", then a body
// for the installer. The header ends at the first "~" outside all braces, or
// without a separator at a "}" that closes no "{" (that "}" then begins the
// body). Braces are counted as plain bytes, also inside JSON strings.

#include <QByteArray>
#include <QString>

namespace pack {

// A header larger than this is refused before it is read into memory.
inline constexpr qint64 kMaxHeaderBytes = 16 * 1024 * 1024;

// Deepest nesting of JSON arrays and objects a header may have. Parsing a
// deeper one would cost memory per level, and the JSON library's dump and
// copies recurse once per level.
inline constexpr int kMaxHeaderDepth = 64;

// The offset of the first "[" or "{" of `json` that opens a level deeper than
// `maxDepth`, or -1. Brackets inside JSON strings do not count. Malformed JSON
// is scanned as far as it goes; the parser reports what is wrong with it.
qint64 excessiveNestingOffset(const QByteArray& json, int maxDepth = kMaxHeaderDepth);

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

enum class HeaderError {
    None,
    CannotOpen,
    TooLarge,
    TooDeep,
    Empty,
    Malformed,
    NotAnObject,
    NameMissing,
    NameNotString,
};

struct PackHeader
{
    HeaderError error = HeaderError::None;
    QByteArray name;        // the display name, UTF-8
    QByteArray header;      // the header's bytes as read
    qint64 bodyOffset = -1; // file offset of the body's first byte; -1 without a body
    qint64 errorByte = 0;   // Malformed: byte of the header where parsing failed
};

// Parses a header's bytes as one JSON value (default options: no comments, a
// byte-order mark allowed) and takes its string member "name". A header nested
// deeper than kMaxHeaderDepth is refused before it is parsed (TooDeep).
PackHeader parseHeader(const QByteArray& header);

// Reads only the header of the pack at `path` (never more than
// kMaxHeaderBytes of it) and parses it. Any path the platform can name opens.
PackHeader readPackHeader(const QString& path);

} // namespace pack
