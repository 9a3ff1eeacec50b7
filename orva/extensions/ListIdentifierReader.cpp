#include "ListIdentifierReader.h"

#include "Platform.h"

namespace extensions {
namespace {

constexpr int kIdentifierDigits = 8;

} // namespace

QList<QByteArray> readListIdentifiers(const QByteArray& path)
{
    QList<QByteArray> identifiers;
    const platform::FileHandle file = platform::openFile(path, "r");
    if (!file)
        return identifiers;

    QByteArray run;
    for (int byte = std::fgetc(file.get()); byte != EOF; byte = std::fgetc(file.get())) {
        if (byte >= '0' && byte <= '9') {
            run.append(static_cast<char>(byte));
            if (run.size() == kIdentifierDigits)
                identifiers.append(std::exchange(run, QByteArray()));
        } else if (!run.isEmpty()) {
            identifiers.append(std::exchange(run, QByteArray()));
        }
    }
    if (!run.isEmpty())
        identifiers.append(run);
    return identifiers;
}

} // namespace extensions
