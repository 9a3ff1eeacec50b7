#include "EtipackCommand.h"

#include "PackReport.h"
#include "PackWriter.h"
#include "orva/extensions/ExtensionLayout.h"

#include <QCommandLineParser>
#include <QDir>
#include <cstdio>

namespace etipack {
namespace {

using pack::ExitCode;
using pack::Outcome;

QString usageText()
{
    return QStringLiteral(
               "用法：\n"
               "  etipack create <文件夹> --name <扩展名称> --id <8位标识> [--role <角色>]...\n"
               "                 [--control <8位标识>] [--version <版本>] [--description <说明>]\n"
               "                 [--author <作者>] [--sign <密钥文件>] -o <输出.etipack>\n"
               "      把文件夹打包成扩展安装包。文件夹顶层必须有\"<扩展名称>%1\"；\n"
               "      角色：%2。--sign用作者密钥给安装包签名。\n"
               "  etipack keygen <密钥文件>  生成新的作者密钥（只有所有者能读取），并显示公钥的指纹\n"
               "  etipack inspect <安装包>   列出包头、签名和内容，并说明packsetup是否会接受它\n"
               "  etipack verify <安装包>    只检查（包括签名）；packsetup会接受时退出码为0\n"
               "\n"
               "退出码：0 成功；1 命令行有误；2 无法读取；3 包头无效；4 内容被拒绝；5 保留标识；6 "
               "读写失败；\n9 签名不符或无效。\n"
               "inspect能读取安装包时退出码为0，不论packsetup是否接受它。\n")
        .arg(QLatin1String(extensions::kProgramSuffix), extensions::allRoleNames());
}

void print(std::FILE* stream, const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

int finish(const Outcome& outcome)
{
    print(outcome.ok() ? stdout : stderr, outcome.message);
    return outcome.exitStatus();
}

int usageError(const QString& error)
{
    print(stderr, error + QStringLiteral("\n\n") + usageText());
    return static_cast<int>(ExitCode::Usage);
}

std::optional<QString> optionalValue(const QCommandLineParser& parser, const QString& name)
{
    return parser.isSet(name) ? std::optional<QString>(parser.value(name)) : std::nullopt;
}

int create(const QStringList& arguments)
{
    QCommandLineParser parser;
    for (const char* name : {"name", "id", "role", "control", "version", "description", "author", "sign"})
        parser.addOption(QCommandLineOption(QLatin1String(name), QString(), QStringLiteral("value")));
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                        QStringLiteral("file")));
    if (!parser.parse(QStringList{QStringLiteral("etipack")} + arguments))
        return usageError(parser.errorText());
    const QStringList folders = parser.positionalArguments();
    if (folders.size() != 1)
        return usageError(QStringLiteral("create需要且只需要一个文件夹。"));
    for (const char* required : {"name", "id", "output"}) {
        if (!parser.isSet(QLatin1String(required)))
            return usageError(QStringLiteral("create缺少--%1。").arg(QLatin1String(required)));
    }
    for (const char* single :
         {"name", "id", "control", "version", "description", "author", "sign", "output"}) {
        if (parser.values(QLatin1String(single)).size() > 1)
            return usageError(QStringLiteral("--%1只能给出一次。").arg(QLatin1String(single)));
    }

    HeaderFields fields;
    fields.name = parser.value(QStringLiteral("name"));
    fields.id = parser.value(QStringLiteral("id"));
    fields.roles = parser.values(QStringLiteral("role"));
    fields.control = optionalValue(parser, QStringLiteral("control"));
    fields.version = optionalValue(parser, QStringLiteral("version"));
    fields.description = optionalValue(parser, QStringLiteral("description"));
    fields.author = optionalValue(parser, QStringLiteral("author"));
    std::optional<pack::SigningKey> key;
    if (parser.isSet(QStringLiteral("sign"))) {
        QString error;
        key = pack::SigningKey::load(parser.value(QStringLiteral("sign")), error);
        if (!key)
            return finish(Outcome{ExitCode::PackUnreadable, QStringLiteral("无法创建安装包：") + error});
    }
    return finish(PackWriter().create(folders.front(), fields, parser.value(QStringLiteral("output")), key));
}

int keygen(const QStringList& arguments)
{
    if (arguments.size() != 1 || arguments.front().startsWith(QLatin1Char('-')))
        return usageError(QStringLiteral("keygen需要且只需要一个密钥文件。"));
    const std::optional<pack::SigningKey> key = pack::SigningKey::generate();
    QString error = QStringLiteral("无法生成随机密钥。");
    if (!key || !key->save(arguments.front(), error))
        return finish(Outcome{ExitCode::IoFailure, error});
    return finish(
        Outcome{ExitCode::Success,
                QStringLiteral("已生成作者密钥\"%1\"，只有所有者能读取它；请妥善保管。\n公钥：%2\n指纹：%3")
                    .arg(QDir::toNativeSeparators(arguments.front()),
                         QString::fromLatin1(key->author().text()), key->author().fingerprint())});
}

int inspect(const QStringList& arguments, bool verifyOnly)
{
    if (arguments.size() != 1 || arguments.front().startsWith(QLatin1Char('-')))
        return usageError(QStringLiteral("需要且只需要一个安装包。"));
    const Inspection inspection = inspectPack(arguments.front());
    if (verifyOnly) {
        const QString verdict = inspection.verdict.ok() ? QStringLiteral("packsetup会接受这个安装包。")
                                                        : QStringLiteral("packsetup会拒绝这个安装包：") +
                                                              inspection.verdict.message;
        return finish(Outcome{inspection.verdict.code, verdict});
    }
    print(stdout, inspection.report);
    return inspection.verdict.code == ExitCode::PackUnreadable ? inspection.verdict.exitStatus() : 0;
}

} // namespace

int runCommand(const QStringList& arguments)
{
    const QString command = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (command == QLatin1String("create"))
        return create(rest);
    if (command == QLatin1String("keygen"))
        return keygen(rest);
    if (command == QLatin1String("inspect"))
        return inspect(rest, false);
    if (command == QLatin1String("verify"))
        return inspect(rest, true);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        print(stdout, usageText());
        return 0;
    }
    return usageError(command.isEmpty() ? QStringLiteral("没有给出命令。")
                                        : QStringLiteral("未知的命令\"%1\"。").arg(command));
}

} // namespace etipack
