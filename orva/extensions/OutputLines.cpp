#include "OutputLines.h"

namespace extensions {
namespace {

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

} // namespace

QByteArray OutputLines::take(const QByteArray& bytes)
{
    m_partial += bytes;
    // Whole lines are copied together, in one piece up to each cut.
    QByteArray lines;
    int from = 0;   // where the line being looked at begins
    int copied = 0; // what has gone into `lines`
    for (;;) {
        const int end = m_partial.indexOf('\n', from);
        if (end >= 0 && end - from <= kMaxLineBytes) {
            from = end + 1;
            continue;
        }
        if (m_partial.size() - from <= kMaxLineBytes)
            break;
        int cut = from + kMaxLineBytes;
        // A character's bytes stay together; an invalid run of them is cut anyway.
        for (int back = 0; back < 3 && isContinuationByte(m_partial.at(cut)); ++back)
            --cut;
        if (isContinuationByte(m_partial.at(cut)))
            cut = from + kMaxLineBytes;
        lines.append(m_partial.constData() + copied, cut - copied).append('\n');
        from = copied = cut;
    }
    lines.append(m_partial.constData() + copied, from - copied);
    m_partial.remove(0, from);
    return lines;
}

QByteArray OutputLines::rest()
{
    QByteArray last = m_partial.isEmpty() ? QByteArray() : m_partial + '\n';
    m_partial.clear();
    return last;
}

} // namespace extensions
