#include "HeaderProblem.h"

#include "HeaderSplitter.h"
#include "PackHeader.h"
#include "orva/extensions/StartListRole.h"

namespace pack {
namespace {

QString fieldType(const QString& field)
{
    return field == QLatin1String("roles") ? QStringLiteral("字符串数组") : QStringLiteral("字符串");
}

} // namespace

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
        return QStringLiteral("未知的角色\"%1\"（可用的角色：%2）。")
            .arg(problem.value, extensions::allRoleNames());
    case HeaderProblemCode::BadControl:
        return QStringLiteral("控制扩展标识\"%1\"不是8位数字。").arg(problem.value);
    case HeaderProblemCode::ReservedControl:
        return QStringLiteral("控制扩展不能是安装程序%1。").arg(problem.value);
    }
    return {};
}

} // namespace pack
