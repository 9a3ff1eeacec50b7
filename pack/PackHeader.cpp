#include "PackHeader.h"

#include "HeaderSplitter.h"
#include "SignatureFormat.h"
#include "orva/extensions/ExtensionLayout.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace pack {
namespace {

using Json = nlohmann::json;

QByteArray toBytes(const std::string& text)
{
    return {text.data(), static_cast<int>(text.size())};
}

HeaderProblem problemOf(HeaderProblemCode code, const char* field = nullptr,
                        const QByteArray& value = QByteArray())
{
    HeaderProblem problem;
    problem.code = code;
    problem.field = QLatin1String(field);
    problem.value = QString::fromUtf8(value);
    return problem;
}

bool isJsonWhitespaceOnly(const QByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r'; });
}

// The offset of the first "[" or "{" that opens a level deeper than
// kMaxHeaderDepth, or -1. Brackets inside JSON strings do not count;
// malformed JSON is scanned as far as it goes.
qint64 excessiveNestingOffset(const QByteArray& json)
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
            if (++depth > kMaxHeaderDepth)
                return i;
        } else if ((byte == ']' || byte == '}') && depth > 0) {
            --depth;
        }
    }
    return -1;
}

// What every reader does before it looks at a member: the header as one
// JSON value, with the library's default options. Whitespace only is Empty;
// a header nested too deeply is refused before the library sees it (its
// dump and copies recurse); a zero byte is Malformed (the library would stop
// reading there). No exception leaves this function.
HeaderProblem parseJson(const QByteArray& header, Json& value)
{
    if (isJsonWhitespaceOnly(header))
        return problemOf(HeaderProblemCode::Empty);
    HeaderProblem problem;
    const int zero = header.indexOf('\0');
    const qint64 tooDeep = excessiveNestingOffset(header);
    if (zero >= 0) {
        problem = problemOf(HeaderProblemCode::Malformed);
        problem.errorByte = zero + 1;
    } else if (tooDeep >= 0) {
        problem = problemOf(HeaderProblemCode::TooDeep);
        problem.errorByte = tooDeep + 1; // counted from 1, as the parser counts
    } else {
        try {
            value = Json::parse(header.constBegin(), header.constEnd());
        } catch (const Json::parse_error& error) {
            problem = problemOf(HeaderProblemCode::Malformed);
            problem.errorByte = static_cast<qint64>(error.byte);
        } catch (const std::exception&) {
            // Out of memory on a hostile header, or any other library failure.
            problem = problemOf(HeaderProblemCode::Malformed);
        }
    }
    return problem;
}

// A string member: FieldMissing or FieldWrongType unless it is one.
HeaderProblem stringMember(const Json& object, const char* key, QByteArray& out)
{
    const auto member = object.find(key);
    if (member == object.end())
        return problemOf(HeaderProblemCode::FieldMissing, key);
    if (!member->is_string())
        return problemOf(HeaderProblemCode::FieldWrongType, key);
    out = toBytes(member->get_ref<const std::string&>());
    return {};
}

HeaderProblem optionalString(const Json& object, const char* key, std::optional<QByteArray>& out)
{
    if (object.find(key) == object.end())
        return {};
    QByteArray value;
    HeaderProblem problem = stringMember(object, key, value);
    if (problem.ok())
        out = value;
    return problem;
}

HeaderProblem checkId(const QByteArray& id, const char* key, HeaderProblemCode bad,
                      HeaderProblemCode reserved)
{
    if (!extensions::isExtensionId(id))
        return problemOf(bad, key, id);
    if (id == extensions::kInstallerId)
        return problemOf(reserved, key, id);
    return {};
}

HeaderProblem checkRoles(const Json& object, QList<extensions::Role>& roles)
{
    const auto member = object.find("roles");
    if (member == object.end())
        return {};
    if (!member->is_array())
        return problemOf(HeaderProblemCode::FieldWrongType, "roles");
    for (const Json& role : *member) {
        if (!role.is_string())
            return problemOf(HeaderProblemCode::FieldWrongType, "roles");
        const QByteArray text = toBytes(role.get_ref<const std::string&>());
        const auto known =
            std::find_if(extensions::kAllRoles.begin(), extensions::kAllRoles.end(),
                         [&](extensions::Role candidate) { return roleName(candidate) == text; });
        if (known == extensions::kAllRoles.end())
            return problemOf(HeaderProblemCode::UnknownRole, "roles", text);
        if (!roles.contains(*known))
            roles.append(*known);
    }
    std::sort(roles.begin(), roles.end());
    return {};
}

HeaderProblem checkObject(const Json& object, PackInfo& info)
{
    HeaderProblem problem = stringMember(object, "name", info.name);
    if (!problem.ok())
        return problem;
    const FileNameCheck nameCheck = checkPortableFileName(info.name, kMaxExtensionNameBytes);
    if (nameCheck.issue != FileNameIssue::None) {
        problem = problemOf(HeaderProblemCode::BadName, "name", info.name);
        problem.nameCheck = nameCheck;
        return problem;
    }
    problem = stringMember(object, "id", info.id);
    if (problem.ok())
        problem = checkId(info.id, "id", HeaderProblemCode::BadId, HeaderProblemCode::ReservedId);
    if (problem.ok())
        problem = checkRoles(object, info.roles);
    info.control = info.id;
    if (problem.ok() && object.contains("control")) {
        problem = stringMember(object, "control", info.control);
        // The installer's program started after a listener would install nothing.
        if (problem.ok())
            problem = checkId(info.control, "control", HeaderProblemCode::BadControl,
                              HeaderProblemCode::ReservedControl);
    }
    if (problem.ok())
        problem = optionalString(object, "version", info.version);
    if (problem.ok())
        problem = optionalString(object, "description", info.description);
    if (problem.ok())
        problem = optionalString(object, "author", info.author);
    if (problem.ok())
        problem = optionalString(object, kAuthorKeyMember, info.authorKey);
    if (problem.ok())
        problem = optionalString(object, kSignatureMember, info.signature);
    return problem;
}

} // namespace

CheckedHeader checkHeader(const QByteArray& header)
{
    CheckedHeader result;
    Json json;
    result.problem = parseJson(header, json);
    if (result.problem.ok() && !json.is_object())
        result.problem = problemOf(HeaderProblemCode::NotAnObject);
    if (!result.problem.ok())
        return result;
    // The nesting is bounded, so the library's recursion here is too; no
    // exception of the library may leave this function.
    try {
        result.problem = checkObject(json, result.info);
    } catch (const std::exception&) {
        result.problem = problemOf(HeaderProblemCode::Malformed);
    }
    return result;
}

CheckedHeader readCheckedHeader(const QString& path)
{
    const HeaderBytes read = readHeaderBytes(path);
    CheckedHeader result;
    if (read.problem != HeaderProblemCode::None)
        result.problem = problemOf(read.problem);
    else
        result = checkHeader(read.bytes);
    result.bodyOffset = read.bodyOffset;
    result.bytes = read.bytes;
    return result;
}

PackName readPackName(const QString& path)
{
    PackName result;
    const HeaderBytes read = readHeaderBytes(path);
    if (read.problem != HeaderProblemCode::None) {
        result.problem = problemOf(read.problem);
        return result;
    }
    Json json;
    result.problem = parseJson(read.bytes, json);
    if (!result.problem.ok())
        return result;
    // Subscripting a null value makes it an object, so null has no name.
    if (json.is_null())
        json = Json::object();
    if (!json.is_object())
        result.problem = problemOf(HeaderProblemCode::NotAnObject);
    else
        result.problem = stringMember(json, "name", result.name);
    return result;
}

} // namespace pack
