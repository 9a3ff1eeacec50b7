#include "StartListReader.h"

#include "platform/Platform.h"

namespace extensions {

bool isStartListSeparator(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
}

QList<QByteArray> startListTokens(const QByteArray& bytes)
{
    QList<QByteArray> tokens;
    int start = -1;
    for (int i = 0; i <= bytes.size(); ++i) {
        const bool separator = i == bytes.size() || isStartListSeparator(bytes.at(i));
        if (!separator && start < 0)
            start = i;
        if (separator && start >= 0) {
            tokens.append(bytes.mid(start, i - start));
            start = -1;
        }
    }
    return tokens;
}

std::optional<QByteArray> readStartListBytes(const QByteArray& layoutPath)
{
    std::optional<QByteArray> bytes = platform::readFileStart(layoutPath, kMaxStartListBytes + 1);
    if (bytes && bytes->size() > kMaxStartListBytes)
        return std::nullopt;
    return bytes;
}

std::optional<QList<QByteArray>> readStartList(const QByteArray& layoutPath)
{
    const std::optional<QByteArray> bytes = readStartListBytes(layoutPath);
    if (!bytes)
        return std::nullopt;
    return startListTokens(*bytes);
}

} // namespace extensions
