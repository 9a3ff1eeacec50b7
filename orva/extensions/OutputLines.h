#pragma once

#include <QByteArray>

namespace extensions {

// Cuts what a program writes into whole lines for its pair's log, whatever
// pieces the pipe delivers. A line longer than kMaxLineBytes is cut into
// pieces of at most that many bytes (before a UTF-8 character, not inside
// it), so that what is held stays bounded whatever the program writes.
class OutputLines
{
public:
    static constexpr int kMaxLineBytes = 4096;

    // The whole lines that `bytes` completes, each ending in a line break.
    QByteArray take(const QByteArray& bytes);
    // What is left at the program's end, as a last line; empty when nothing is.
    QByteArray rest();

private:
    QByteArray m_partial;
};

} // namespace extensions
