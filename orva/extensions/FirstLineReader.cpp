#include "FirstLineReader.h"

#include "Platform.h"

namespace extensions {

std::optional<QByteArray> readFirstLine(const QByteArray& layoutPath)
{
    const platform::FileHandle file = platform::openFile(layoutPath, "r");
    if (!file)
        return std::nullopt;

    QByteArray line;
    line.reserve(64);
    while (line.size() < kFirstLineMaxBytes) {
        const int byte = std::fgetc(file.get());
        if (byte == EOF)
            break;
        line.append(static_cast<char>(byte));
        if (byte == '\n')
            break;
    }
    // The value is a C string: whatever follows a NUL byte is not part of it.
    const int nul = line.indexOf('\0');
    if (nul >= 0)
        line.truncate(nul);
    return line;
}

} // namespace extensions
