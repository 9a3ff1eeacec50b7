#include "InstallPack.h"

#include "HeaderJson.h"

#include <QFile>

namespace pack {

qint64 HeaderSplitter::feed(const char* data, qint64 size)
{
    if (m_finished)
        return 0;
    for (qint64 i = 0; i < size; ++i) {
        const char byte = data[i];
        if (byte == '{') {
            ++m_depth;
        } else if (byte == '}') {
            if (m_depth == 0) {
                m_finished = true;
                return i;
            }
            --m_depth;
        } else if (byte == '~' && m_depth == 0) {
            m_finished = true;
            m_endedAtSeparator = true;
            return i;
        }
    }
    return size;
}

SplitPack splitPack(const QByteArray& pack)
{
    HeaderSplitter splitter;
    const qint64 headerSize = splitter.feed(pack.constData(), pack.size());
    SplitPack split;
    split.header = pack.left(static_cast<int>(headerSize));
    if (splitter.finished()) {
        split.hasBody = true;
        split.body = pack.mid(static_cast<int>(headerSize + (splitter.endedAtSeparator() ? 1 : 0)));
    }
    return split;
}

namespace {

bool isJsonWhitespaceOnly(const QByteArray& bytes)
{
    for (const char byte : bytes) {
        if (byte != ' ' && byte != '\t' && byte != '\n' && byte != '\r')
            return false;
    }
    return true;
}

} // namespace

qint64 excessiveNestingOffset(const QByteArray& json, int maxDepth)
{
    int depth = 0;
    bool inString = false;
    for (qint64 i = 0; i < json.size(); ++i) {
        const char byte = json.at(static_cast<int>(i));
        if (inString) {
            if (byte == '\\')
                ++i; // the escaped byte cannot end the string
            else if (byte == '"')
                inString = false;
        } else if (byte == '"') {
            inString = true;
        } else if (byte == '[' || byte == '{') {
            if (++depth > maxDepth)
                return i;
        } else if ((byte == ']' || byte == '}') && depth > 0) {
            --depth;
        }
    }
    return -1;
}

HeaderJson parseHeaderJson(const QByteArray& header)
{
    HeaderJson result;
    if (isJsonWhitespaceOnly(header)) {
        result.error = HeaderError::Empty;
        return result;
    }
    const int zero = header.indexOf('\0');
    if (zero >= 0) {
        result.error = HeaderError::Malformed;
        result.errorByte = zero + 1;
        return result;
    }
    const qint64 tooDeep = excessiveNestingOffset(header);
    if (tooDeep >= 0) {
        result.error = HeaderError::TooDeep;
        result.errorByte = tooDeep + 1; // counted from 1, as the parser counts
        return result;
    }
    try {
        result.value = nlohmann::json::parse(header.constBegin(), header.constEnd());
    } catch (const nlohmann::json::parse_error& error) {
        result.error = HeaderError::Malformed;
        result.errorByte = static_cast<qint64>(error.byte);
    } catch (const std::exception&) {
        // Out of memory on a hostile header, or any other library failure.
        result.error = HeaderError::Malformed;
    }
    return result;
}

PackHeader parseHeader(const QByteArray& header)
{
    PackHeader result;
    result.header = header;
    HeaderJson json = parseHeaderJson(header);
    result.error = json.error;
    result.errorByte = json.errorByte;
    if (json.error != HeaderError::None)
        return result;
    // A null header counts as an empty object, as subscripting makes it one.
    if (json.value.is_null())
        json.value = nlohmann::json::object();
    if (!json.value.is_object()) {
        result.error = HeaderError::NotAnObject;
        return result;
    }
    const auto member = json.value.find("name");
    if (member == json.value.end()) {
        result.error = HeaderError::NameMissing;
        return result;
    }
    if (!member->is_string()) {
        result.error = HeaderError::NameNotString;
        return result;
    }
    const std::string& name = member->get_ref<const std::string&>();
    result.name = QByteArray(name.data(), static_cast<int>(name.size()));
    return result;
}

PackHeader readPackHeader(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        PackHeader result;
        result.error = HeaderError::CannotOpen;
        return result;
    }

    HeaderSplitter splitter;
    QByteArray header;
    char chunk[64 * 1024];
    while (!splitter.finished()) {
        const qint64 read = file.read(chunk, sizeof chunk);
        if (read < 0) {
            PackHeader result;
            result.error = HeaderError::CannotOpen;
            return result;
        }
        if (read == 0)
            break;
        const qint64 taken = splitter.feed(chunk, read);
        if (header.size() + taken > kMaxHeaderBytes) {
            PackHeader result;
            result.error = HeaderError::TooLarge;
            return result;
        }
        header.append(chunk, static_cast<int>(taken));
    }

    PackHeader result = parseHeader(header);
    if (splitter.finished())
        result.bodyOffset = header.size() + (splitter.endedAtSeparator() ? 1 : 0);
    return result;
}

} // namespace pack
