#include "ArchiveProblem.h"

#include "orva/extensions/ExtensionLayout.h"

namespace pack {

QString archiveProblemMessage(const ArchiveProblem& problem)
{
    QString shown = QString::fromUtf8(problem.entry);
    if (shown.size() > 120)
        shown = shown.left(120) + QStringLiteral("…");
    const QString entry = QStringLiteral("安装包中的\"") + shown + QStringLiteral("\"");
    switch (problem.code) {
    case ArchiveProblemCode::None:
        break;
    case ArchiveProblemCode::NoBody:
        return QStringLiteral("安装包只有包头，没有\"~\"之后的压缩包。");
    case ArchiveProblemCode::CannotRead:
        return QStringLiteral("读取安装包文件时出错：%1。").arg(problem.detail);
    case ArchiveProblemCode::NotAnArchive:
        return QStringLiteral("安装包\"~\"之后的内容不是tar或zip压缩包。");
    case ArchiveProblemCode::Damaged:
        return QStringLiteral("安装包中的压缩包已损坏或不完整：%1。").arg(problem.detail);
    case ArchiveProblemCode::EntryType:
        return entry + QStringLiteral("是%1；安装包只能含有普通文件和文件夹。").arg(problem.detail);
    case ArchiveProblemCode::HardLink:
        return entry + QStringLiteral("是硬链接；安装包只能含有普通文件和文件夹。");
    case ArchiveProblemCode::AbsolutePath:
        return entry + QStringLiteral("是绝对路径；安装包只能含有扩展文件夹内的相对路径。");
    case ArchiveProblemCode::ParentFolder:
        return entry + QStringLiteral("含有\"..\"，会写到扩展文件夹之外。");
    case ArchiveProblemCode::BadPathPart:
        return entry + QStringLiteral("中的\"%1\"不能用作文件名：%2。")
                           .arg(problem.detail, fileNameIssueText(problem.part));
    case ArchiveProblemCode::PathTooLong:
        return entry + QStringLiteral("的路径超过%1字节。").arg(problem.detail);
    case ArchiveProblemCode::NotUtf8Path:
        return QStringLiteral("安装包中有名称不是有效UTF-8的条目。");
    case ArchiveProblemCode::TooManyEntries:
        return QStringLiteral("安装包中的条目超过%1个。").arg(problem.detail);
    case ArchiveProblemCode::TooLarge:
        return QStringLiteral("安装包解压后超过%1字节。").arg(problem.detail);
    case ArchiveProblemCode::ReservedFile:
        return entry + QStringLiteral("与安装程序写入的文件同名（%1、<扩展名称>%2、%3、%4）。")
                           .arg(QLatin1String(extensions::kNameFileName),
                                QLatin1String(extensions::kControlSuffix),
                                QLatin1String(extensions::kManifestFileName),
                                QLatin1String(extensions::kAuthorKeyFileName));
    case ArchiveProblemCode::ProgramMissing:
        if (!problem.detail.isEmpty())
            return entry + QStringLiteral("是文件夹，不是程序文件。");
        return QStringLiteral("安装包顶层没有程序文件\"") + QString::fromUtf8(problem.entry) +
               QStringLiteral("\"。");
    case ArchiveProblemCode::WriteFailed:
        return QStringLiteral("写入磁盘失败（磁盘可能已满或没有写入权限）：%1。").arg(problem.detail);
    case ArchiveProblemCode::DiskFull:
        return QStringLiteral("磁盘空间不足：写入") + entry +
               QStringLiteral("后，磁盘上剩下的空间将少于必须保留的%1字节。没有做任何更改。")
                   .arg(problem.detail);
    }
    return {};
}

} // namespace pack
