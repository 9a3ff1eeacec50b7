#pragma once

// Shared by the fuzz programs: a failed property ends the run as a crash, so
// that libFuzzer keeps the input; readers that take a path read the input
// from one file that is rewritten for every input.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

namespace fuzz {

inline QByteArray bytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size));
}

// A temporary folder for the whole run.
inline const QTemporaryDir& scratchFolder()
{
    static const QTemporaryDir folder;
    FUZZ_CHECK(folder.isValid());
    return folder;
}

// Writes the input to the run's input file and gives that file's path.
inline QString writeInput(const QByteArray& input, const QString& fileName = QStringLiteral("input"))
{
    const QString path = scratchFolder().filePath(fileName);
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(input) == input.size());
    return path;
}

inline bool isSeparator(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
}

} // namespace fuzz
