#include "CommandLine.h"

#include "orva/extensions/ExtensionLayout.h"

#include <QCommandLineParser>
#include <cstring>

namespace packsetup {

Request parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption remove(QStringLiteral("remove"), QString(), QStringLiteral("id"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({quiet, remove, help});

    Request request;
    // QCommandLineParser expects the program name first.
    if (!parser.parse(QStringList{QStringLiteral("packsetup")} + arguments)) {
        request.error = QStringLiteral("命令行有误：%1").arg(parser.errorText());
        return request;
    }
    request.quiet = parser.isSet(quiet);
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(help)) {
        request.mode = Request::Mode::Help;
    } else if (parser.isSet(remove)) {
        if (!positional.isEmpty() || parser.values(remove).size() != 1) {
            request.error = QStringLiteral("--remove只接受一个扩展标识，不能同时给出安装包。");
            return request;
        }
        request.mode = Request::Mode::Remove;
        request.id = parser.value(remove).toUtf8();
    } else if (positional.size() == 1 && !positional.front().isEmpty()) {
        request.mode = Request::Mode::Install;
        request.packPath = positional.front();
    } else {
        request.error = positional.isEmpty() ? QStringLiteral("没有给出扩展安装包。")
                                             : QStringLiteral("一次只能安装一个扩展安装包。");
    }
    return request;
}

bool runsWithoutWindows(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        for (const char* option : {"--quiet", "-q", "-quiet", "--help", "-h", "-help"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

QString usageText()
{
    return QStringLiteral(
               "用法：\n"
               "  packsetup [--quiet] <安装包.etipack>   安装扩展\n"
               "  packsetup [--quiet] --remove <标识>    删除扩展（从所有启动列表中移除并删除其文件夹）\n"
               "  packsetup --help                       显示本说明\n"
               "\n"
               "--quiet：不显示窗口，也不询问，结果写到标准输出（成功）或标准错误（失败）。\n"
               "packsetup在当前工作目录的%1和%2文件夹中工作。\n"
               "\n"
               "退出码：0 成功；1 命令行有误；2 无法读取安装包；3 包头无效；4 压缩包被拒绝；\n"
               "5 标识冲突、保留标识、控制扩展未安装或扩展未安装；6 读写失败（如磁盘已满）；\n"
               "7 另一个安装程序正在运行；8 用户取消了安装；9 签名不符或无效；\n"
               "10 已安装的扩展由另一个作者密钥签名（或更新没有签名）；\n"
               "11 扩展的程序正在运行，无法结束。\n"
               "\n"
               "替换或删除扩展之前，packsetup会先结束从扩展文件夹运行的程序和使用它的启动器。\n")
        .arg(QLatin1String(extensions::kExtensionsFolderName), QLatin1String(extensions::kStartFolderName));
}

} // namespace packsetup
