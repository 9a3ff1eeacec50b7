#include "ListIdentifierReader.h"

#include "ExtensionLayout.h"
#include "StartListReader.h"

namespace extensions {

QList<QByteArray> readListIdentifiers(const QByteArray& path)
{
    QList<QByteArray> identifiers;
    const QByteArray bytes = readStartListBytes(path).value_or(QByteArray());
    int start = -1;
    for (int i = 0; i <= bytes.size(); ++i) {
        const bool digit = i < bytes.size() && bytes.at(i) >= '0' && bytes.at(i) <= '9';
        if (digit && start < 0)
            start = i;
        // A run ends at a non-digit, at the end, or after eight digits.
        if (start >= 0 && (!digit || i - start == kIdentifierDigits)) {
            identifiers.append(bytes.mid(start, i - start));
            start = digit ? i : -1;
        }
    }
    return identifiers;
}

} // namespace extensions
