#pragma once

#include <QByteArray>

// Byte strings for test tables: "<XX>" stands for the byte with hex value XX
// (NUL included), everything else is taken as it is.
inline QByteArray bytes(const char* notation)
{
    QByteArray result;
    for (const char* c = notation; *c; ++c) {
        if (c[0] == '<' && c[1] && c[2] && c[3] == '>') {
            bool ok = false;
            const int value = QByteArray(c + 1, 2).toInt(&ok, 16);
            if (ok) {
                result.append(static_cast<char>(value));
                c += 3;
                continue;
            }
        }
        result.append(*c);
    }
    return result;
}
