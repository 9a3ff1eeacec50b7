#include "PortableFileName.h"

#include <QString>
#include <array>

namespace pack {
namespace {

bool isForbidden(char byte)
{
    static constexpr char kForbidden[] = "/\\:*?\"<>|";
    for (const char forbidden : kForbidden) {
        if (forbidden != '\0' && byte == forbidden)
            return true;
    }
    return false;
}

// UTF-8 as RFC 3629 has it: no overlong forms, no surrogates, nothing beyond
// U+10FFFF. By hand: it runs for every part of every entry's path.
bool isValidUtf8(const QByteArray& bytes)
{
    const auto* next = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* const end = next + bytes.size();
    while (next < end) {
        const unsigned lead = *next++;
        if (lead < 0x80)
            continue;
        int following = 0;
        unsigned code = 0;
        unsigned smallest = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            following = 1, code = lead & 0x1Fu, smallest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            following = 2, code = lead & 0x0Fu, smallest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            following = 3, code = lead & 0x07u, smallest = 0x10000;
        } else {
            return false;
        }
        if (end - next < following)
            return false;
        for (int i = 0; i < following; ++i, ++next) {
            if ((*next & 0xC0u) != 0x80u)
                return false;
            code = (code << 6) | (*next & 0x3Fu);
        }
        if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
    }
    return true;
}

// Windows opens a device, not a file, for these base names whatever follows
// the first dot ("nul.txt", "COM1.tar.gz").
bool isReservedDeviceName(const QByteArray& name)
{
    QByteArray base = name.left(name.indexOf('.') < 0 ? name.size() : name.indexOf('.'));
    while (base.endsWith(' '))
        base.chop(1);
    const QString upper = QString::fromUtf8(base).toUpper();
    static const std::array<const char*, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* reserved : kPlain) {
        if (upper == QLatin1String(reserved))
            return true;
    }
    if (upper.size() != 4 ||
        !(upper.startsWith(QLatin1String("COM")) || upper.startsWith(QLatin1String("LPT"))))
        return false;
    // COM1..COM9 and LPT1..LPT9, also with the superscript digits ¹ ² ³.
    const QChar digit = upper.at(3);
    return (digit >= QLatin1Char('1') && digit <= QLatin1Char('9')) || digit == QChar(0x00B9) ||
           digit == QChar(0x00B2) || digit == QChar(0x00B3);
}

QString characterText(char byte)
{
    const auto code = static_cast<unsigned char>(byte);
    if (code < 0x20 || code == 0x7F)
        return QStringLiteral("控制字符U+") +
               QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    return QStringLiteral("\"") + QLatin1Char(byte) + QStringLiteral("\"");
}

} // namespace

QString fileNameIssueText(const FileNameCheck& check, int maxBytes)
{
    switch (check.issue) {
    case FileNameIssue::None:
        break;
    case FileNameIssue::Empty:
        return QStringLiteral("名称为空");
    case FileNameIssue::TooLong:
        return QStringLiteral("名称超过%1字节").arg(maxBytes);
    case FileNameIssue::ForbiddenCharacter:
    case FileNameIssue::ControlCharacter:
        return QStringLiteral("名称含有") + characterText(check.character);
    case FileNameIssue::DotName:
        return QStringLiteral("名称不能是\".\"或\"..\"");
    case FileNameIssue::TrailingDotOrSpace:
        return QStringLiteral("名称不能以点或空格结尾");
    case FileNameIssue::ReservedDeviceName:
        return QStringLiteral("名称是Windows保留的设备名");
    case FileNameIssue::NotUtf8:
        return QStringLiteral("名称不是有效的UTF-8");
    }
    return {};
}

FileNameCheck checkPortableFileName(const QByteArray& name, int maxBytes)
{
    FileNameCheck check;
    if (name.isEmpty()) {
        check.issue = FileNameIssue::Empty;
        return check;
    }
    if (name.size() > maxBytes) {
        check.issue = FileNameIssue::TooLong;
        return check;
    }
    for (const char byte : name) {
        if (isForbidden(byte)) {
            check.issue = FileNameIssue::ForbiddenCharacter;
            check.character = byte;
            return check;
        }
        if (static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F) {
            check.issue = FileNameIssue::ControlCharacter;
            check.character = byte;
            return check;
        }
    }
    if (!isValidUtf8(name)) {
        check.issue = FileNameIssue::NotUtf8;
        return check;
    }
    if (name == "." || name == "..") {
        check.issue = FileNameIssue::DotName;
        return check;
    }
    if (name.endsWith('.') || name.endsWith(' ')) {
        check.issue = FileNameIssue::TrailingDotOrSpace;
        return check;
    }
    if (isReservedDeviceName(name))
        check.issue = FileNameIssue::ReservedDeviceName;
    return check;
}

} // namespace pack
