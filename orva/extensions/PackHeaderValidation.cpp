#include "PackHeaderValidation.h"

#include "HeaderJson.h"
#include "InstallPack.h"

#include <nlohmann/json.hpp>

namespace pack {
namespace {

using Json = nlohmann::json;

QByteArray toBytes(const std::string& text)
{
    return QByteArray(text.data(), static_cast<int>(text.size()));
}

CheckedHeader refused(HeaderProblemCode code, const QString& field = QString(),
                      const QByteArray& value = QByteArray())
{
    CheckedHeader result;
    result.problem.code = code;
    result.problem.field = field;
    result.problem.value = QString::fromUtf8(value);
    return result;
}

// Looks up an optional string member; false (with the problem set) when it
// is there but no string.
bool optionalString(const Json& object, const char* key, std::optional<QByteArray>& out,
                    CheckedHeader& problem)
{
    const auto member = object.find(key);
    if (member == object.end())
        return true;
    if (!member->is_string()) {
        problem = refused(HeaderProblemCode::FieldWrongType, QLatin1String(key));
        return false;
    }
    out = toBytes(member->get_ref<const std::string&>());
    return true;
}

CheckedHeader checkObject(const Json& object)
{
    CheckedHeader result;
    PackInfo& info = result.info;

    const auto name = object.find("name");
    if (name == object.end())
        return refused(HeaderProblemCode::FieldMissing, QStringLiteral("name"));
    if (!name->is_string())
        return refused(HeaderProblemCode::FieldWrongType, QStringLiteral("name"));
    info.name = toBytes(name->get_ref<const std::string&>());
    const FileNameCheck nameCheck = checkPortableFileName(info.name, kMaxExtensionNameBytes);
    if (nameCheck.issue != FileNameIssue::None) {
        CheckedHeader bad = refused(HeaderProblemCode::BadName, QStringLiteral("name"), info.name);
        bad.problem.nameCheck = nameCheck;
        return bad;
    }

    const auto id = object.find("id");
    if (id == object.end())
        return refused(HeaderProblemCode::FieldMissing, QStringLiteral("id"));
    if (!id->is_string())
        return refused(HeaderProblemCode::FieldWrongType, QStringLiteral("id"));
    info.id = toBytes(id->get_ref<const std::string&>());
    if (!isExtensionId(info.id))
        return refused(HeaderProblemCode::BadId, QStringLiteral("id"), info.id);
    if (info.id == kInstallerId)
        return refused(HeaderProblemCode::ReservedId, QStringLiteral("id"), info.id);

    const auto roles = object.find("roles");
    if (roles != object.end()) {
        if (!roles->is_array())
            return refused(HeaderProblemCode::FieldWrongType, QStringLiteral("roles"));
        for (const Json& role : *roles) {
            if (!role.is_string())
                return refused(HeaderProblemCode::FieldWrongType, QStringLiteral("roles"));
            const QByteArray roleText = toBytes(role.get_ref<const std::string&>());
            bool known = false;
            for (const Role candidate : kAllRoles) {
                if (roleText == roleName(candidate).toLatin1()) {
                    known = true;
                    if (!info.roles.contains(candidate))
                        info.roles.append(candidate);
                }
            }
            if (!known)
                return refused(HeaderProblemCode::UnknownRole, QStringLiteral("roles"), roleText);
        }
        std::sort(info.roles.begin(), info.roles.end());
    }

    info.control = info.id;
    const auto control = object.find("control");
    if (control != object.end()) {
        if (!control->is_string())
            return refused(HeaderProblemCode::FieldWrongType, QStringLiteral("control"));
        info.control = toBytes(control->get_ref<const std::string&>());
        if (!isExtensionId(info.control))
            return refused(HeaderProblemCode::BadControl, QStringLiteral("control"), info.control);
        // The installer's program started after a listener would install nothing.
        if (info.control == kInstallerId)
            return refused(HeaderProblemCode::ReservedControl, QStringLiteral("control"), info.control);
    }

    CheckedHeader problem;
    if (!optionalString(object, "version", info.version, problem) ||
        !optionalString(object, "description", info.description, problem) ||
        !optionalString(object, "author", info.author, problem))
        return problem;
    return result;
}

QString fieldType(const QString& field)
{
    return field == QLatin1String("roles") ? QStringLiteral("字符串数组") : QStringLiteral("字符串");
}

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

QString roleName(Role role)
{
    switch (role) {
    case Role::Listener:
        return QStringLiteral("Listener");
    case Role::Controller:
        return QStringLiteral("Controller");
    case Role::Runner:
        return QStringLiteral("Runner");
    case Role::Structure:
        return QStringLiteral("Structure");
    case Role::MainControllerExtension:
        return QStringLiteral("MainControllerExtension");
    }
    return {};
}

QString startListFileName(Role role)
{
    return roleName(role) + QStringLiteral(".etl");
}

bool isExtensionId(const QByteArray& id)
{
    if (id.size() != 8)
        return false;
    for (const char byte : id) {
        if (byte < '0' || byte > '9')
            return false;
    }
    return true;
}

CheckedHeader checkHeader(const QByteArray& header)
{
    const HeaderJson json = parseHeaderJson(header);
    if (json.error != HeaderError::None) {
        CheckedHeader result = refused(json.error == HeaderError::Empty     ? HeaderProblemCode::Empty
                                       : json.error == HeaderError::TooDeep ? HeaderProblemCode::TooDeep
                                                                            : HeaderProblemCode::Malformed);
        result.problem.errorByte = json.errorByte;
        return result;
    }
    if (!json.value.is_object())
        return refused(HeaderProblemCode::NotAnObject);
    // The nesting is bounded, so the library's recursion in checkObject is
    // too; no exception of the library may leave this function.
    try {
        return checkObject(json.value);
    } catch (const std::exception&) {
        return refused(HeaderProblemCode::Malformed);
    }
}

CheckedHeader readCheckedHeader(const QString& path)
{
    const PackHeader read = readPackHeader(path);
    CheckedHeader result;
    if (read.error == HeaderError::CannotOpen)
        result = refused(HeaderProblemCode::CannotOpen);
    else if (read.error == HeaderError::TooLarge)
        result = refused(HeaderProblemCode::TooLarge);
    else
        result = checkHeader(read.header);
    result.bodyOffset = read.bodyOffset;
    return result;
}

QString headerProblemMessage(const HeaderProblem& problem)
{
    switch (problem.code) {
    case HeaderProblemCode::None:
        break;
    case HeaderProblemCode::CannotOpen:
        return QStringLiteral("无法读取安装包文件。");
    case HeaderProblemCode::TooLarge:
        return QStringLiteral("包头超过%1 MiB。").arg(kMaxHeaderBytes >> 20);
    case HeaderProblemCode::Empty:
        return QStringLiteral("包头为空。");
    case HeaderProblemCode::Malformed:
        return QStringLiteral("包头不是有效的JSON（在第%1字节处出错）。").arg(problem.errorByte);
    case HeaderProblemCode::TooDeep:
        return QStringLiteral("包头的JSON嵌套超过%1层（在第%2字节处）。")
            .arg(kMaxHeaderDepth)
            .arg(problem.errorByte);
    case HeaderProblemCode::NotAnObject:
        return QStringLiteral("包头不是JSON对象。");
    case HeaderProblemCode::FieldMissing:
        return QStringLiteral("包头缺少\"%1\"。").arg(problem.field);
    case HeaderProblemCode::FieldWrongType:
        return QStringLiteral("包头中的\"%1\"必须是%2。").arg(problem.field, fieldType(problem.field));
    case HeaderProblemCode::BadName:
        return QStringLiteral("扩展名称\"%1\"不能用作文件名：%2。")
            .arg(problem.value, fileNameIssueText(problem.nameCheck, kMaxExtensionNameBytes));
    case HeaderProblemCode::BadId:
        return QStringLiteral("扩展标识\"%1\"不是8位数字。").arg(problem.value);
    case HeaderProblemCode::ReservedId:
        return QStringLiteral("扩展标识%1属于安装程序，不能被安装或覆盖。").arg(problem.value);
    case HeaderProblemCode::UnknownRole:
        return QStringLiteral("未知的角色\"%1\"（可用的角色：Listener、Controller、Runner、Structure、"
                              "MainControllerExtension）。")
            .arg(problem.value);
    case HeaderProblemCode::BadControl:
        return QStringLiteral("控制扩展标识\"%1\"不是8位数字。").arg(problem.value);
    case HeaderProblemCode::ReservedControl:
        return QStringLiteral("控制扩展不能是安装程序%1。").arg(problem.value);
    }
    return {};
}

QByteArray headerJson(const PackInfo& info, bool indented)
{
    const auto text = [](const QByteArray& bytes) {
        return bytes.toStdString();
    };
    nlohmann::ordered_json object;
    object["name"] = text(info.name);
    object["id"] = text(info.id);
    nlohmann::ordered_json roles = nlohmann::ordered_json::array();
    for (const Role role : info.roles)
        roles.push_back(roleName(role).toStdString());
    object["roles"] = roles;
    object["control"] = text(info.control);
    if (info.version)
        object["version"] = text(*info.version);
    if (info.description)
        object["description"] = text(*info.description);
    if (info.author)
        object["author"] = text(*info.author);
    // Invalid UTF-8 is replaced rather than thrown: the checks above never let
    // it through, and a replacement character cannot pass them either.
    const std::string json =
        object.dump(indented ? 4 : -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return escapeSplitBytes(json);
}

} // namespace pack
