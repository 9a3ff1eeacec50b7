#include "HeaderWriter.h"

#include <nlohmann/json.hpp>

namespace pack {
namespace {

// Writes "{", "}" and "~" inside the strings of compact or indented JSON as
// \u escapes; everything outside strings is left as it is.
QByteArray escapeSplitBytes(const std::string& json)
{
    QByteArray out;
    out.reserve(static_cast<int>(json.size()));
    bool inString = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char byte = json[i];
        if (inString) {
            if (byte == '\\') {
                out.append(byte);
                if (i + 1 < json.size())
                    out.append(json[++i]);
                continue;
            }
            if (byte == '"')
                inString = false;
            if (byte == '{' || byte == '}' || byte == '~') {
                out.append(QByteArrayLiteral("\\u00") + QByteArray::number(static_cast<int>(byte), 16));
                continue;
            }
        } else if (byte == '"') {
            inString = true;
        }
        out.append(byte);
    }
    return out;
}

} // namespace

QByteArray headerJson(const PackInfo& info, bool indented)
{
    const auto text = [](const QByteArray& bytes) {
        return bytes.toStdString();
    };
    nlohmann::ordered_json object;
    object["name"] = text(info.name);
    object["id"] = text(info.id);
    nlohmann::ordered_json roles = nlohmann::ordered_json::array();
    for (const extensions::Role role : info.roles)
        roles.push_back(extensions::roleName(role).toStdString());
    object["roles"] = roles;
    object["control"] = text(info.control);
    if (info.version)
        object["version"] = text(*info.version);
    if (info.description)
        object["description"] = text(*info.description);
    if (info.author)
        object["author"] = text(*info.author);
    // Invalid UTF-8 is replaced rather than thrown: the checks never let it
    // through, and a replacement character cannot pass them either.
    const std::string json =
        object.dump(indented ? 4 : -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return escapeSplitBytes(json);
}

} // namespace pack
