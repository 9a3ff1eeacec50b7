#include "FirstLineReader.h"

#include "platform/Platform.h"

namespace extensions {

std::optional<QByteArray> readFirstLine(const QByteArray& layoutPath)
{
    std::optional<QByteArray> line = platform::readFileStart(layoutPath, kFirstLineMaxBytes, '\n');
    if (!line)
        return std::nullopt;
    // The value is a C string: whatever follows a NUL byte is not part of it.
    const int nul = line->indexOf('\0');
    if (nul >= 0)
        line->truncate(nul);
    return line;
}

} // namespace extensions
