#include "HeaderSplitter.h"

#include <QFile>

namespace pack {

qint64 HeaderSplitter::feed(const char* data, qint64 size)
{
    if (m_finished)
        return 0;
    for (qint64 i = 0; i < size; ++i) {
        const char byte = data[i];
        if (byte == '{') {
            ++m_depth;
        } else if (byte == '}') {
            if (m_depth == 0) {
                m_finished = true;
                return i;
            }
            --m_depth;
        } else if (byte == '~' && m_depth == 0) {
            m_finished = true;
            m_endedAtSeparator = true;
            return i;
        }
    }
    return size;
}

SplitPack splitPack(const QByteArray& pack)
{
    HeaderSplitter splitter;
    const qint64 headerSize = splitter.feed(pack.constData(), pack.size());
    SplitPack split;
    split.header = pack.left(static_cast<int>(headerSize));
    if (splitter.finished()) {
        split.hasBody = true;
        split.body = pack.mid(static_cast<int>(headerSize + (splitter.endedAtSeparator() ? 1 : 0)));
    }
    return split;
}

HeaderBytes readHeaderBytes(const QString& path)
{
    HeaderBytes result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.problem = HeaderProblemCode::CannotOpen;
        return result;
    }
    HeaderSplitter splitter;
    char chunk[64 * 1024];
    while (!splitter.finished()) {
        const qint64 read = file.read(chunk, sizeof chunk);
        if (read < 0) {
            result.problem = HeaderProblemCode::CannotOpen;
            return result;
        }
        if (read == 0)
            break;
        const qint64 taken = splitter.feed(chunk, read);
        if (result.bytes.size() + taken > kMaxHeaderBytes) {
            result.problem = HeaderProblemCode::TooLarge;
            return result;
        }
        result.bytes.append(chunk, static_cast<int>(taken));
    }
    if (splitter.finished())
        result.bodyOffset = result.bytes.size() + (splitter.endedAtSeparator() ? 1 : 0);
    return result;
}

} // namespace pack
