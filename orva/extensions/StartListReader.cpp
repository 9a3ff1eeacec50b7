#include "StartListReader.h"

#include "Platform.h"

namespace extensions {
namespace {

// Fixed to the C locale: the process locale must not turn bytes such as 0xA0
// into separators.
bool isSeparator(int byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
}

} // namespace

std::optional<QList<QByteArray>> readStartList(const QByteArray& layoutPath)
{
    const platform::FileHandle file = platform::openFile(layoutPath, "r");
    if (!file)
        return std::nullopt;

    QList<QByteArray> tokens;
    QByteArray token;
    for (int byte = std::fgetc(file.get()); byte != EOF; byte = std::fgetc(file.get())) {
        if (isSeparator(byte)) {
            if (!token.isEmpty())
                tokens.append(std::exchange(token, QByteArray()));
        } else {
            token.append(static_cast<char>(byte));
        }
    }
    if (!token.isEmpty())
        tokens.append(token);
    return tokens;
}

} // namespace extensions
