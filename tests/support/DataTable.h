#pragma once

// Test rows kept as data: a tab-separated file under tests/, a row per line,
// its first field the row's name; lines starting with '#' are comments.
// Fields take the escapes \t \n \r \\ \xHH, and \*<count><byte> for a byte
// repeated.

#include <QFile>
#include <QtTest>
#include <cstring>

inline QByteArray unescaped(const QByteArray& field)
{
    static const QByteArray kNamed("t\tn\nr\r"); // each letter, then the byte it stands for
    QByteArray bytes;
    for (int i = 0; i < field.size(); ++i) {
        const char kind = field[i] == '\\' && i + 1 < field.size() ? field[++i] : '\0';
        const int digits = static_cast<int>(std::strspn(field.constData() + i + 1, "0123456789"));
        if (kind == 'x')
            bytes += static_cast<char>(field.mid(i + 1, 2).toInt(nullptr, 16));
        else if (kind == '*')
            bytes += QByteArray(field.mid(i + 1, digits).toInt(), field.at(i + 1 + digits));
        else if (kind != '\0')
            bytes += kNamed.indexOf(kind) % 2 == 0 ? kNamed[kNamed.indexOf(kind) + 1] : kind;
        else
            bytes += field[i];
        i += kind == 'x' ? 2 : kind == '*' ? digits + 1 : 0;
    }
    return bytes;
}

// A QByteArray column for each name, and a row for each line of the table.
inline void addDataRows(const QString& table, const QList<const char*>& columns)
{
    for (const char* column : columns)
        QTest::addColumn<QByteArray>(column);
    QFile file(table);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(table));
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QVERIFY2(fields.size() == columns.size() + 1, line.constData());
        QTestData& row = QTest::newRow(unescaped(fields[0]).constData());
        for (const QByteArray& field : fields.mid(1))
            row << unescaped(field);
    }
}
