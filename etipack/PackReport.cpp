#include "PackReport.h"

#include "pack/PackCheck.h"

#include <QDir>
#include <QTextStream>

namespace etipack {
namespace {

void addField(QString& report, const char* key, const QString& value)
{
    report += QStringLiteral("  %1 %2\n").arg(QLatin1String(key), -12).arg(value);
}

QString optionalText(const std::optional<QByteArray>& value)
{
    return value ? QString::fromUtf8(*value) : QStringLiteral("（无）");
}

void addHeader(QString& report, const pack::PackInfo& info)
{
    QStringList roles;
    for (const extensions::Role role : info.roles)
        roles.append(QString::fromLatin1(extensions::roleName(role)));
    report += QStringLiteral("包头：\n");
    addField(report, "name", QString::fromUtf8(info.name));
    addField(report, "id", QString::fromLatin1(info.id));
    addField(report, "roles", roles.isEmpty() ? QStringLiteral("（无）") : roles.join(QStringLiteral(", ")));
    addField(report, "control", QString::fromLatin1(info.control));
    addField(report, "version", optionalText(info.version));
    addField(report, "description", optionalText(info.description));
    addField(report, "author", optionalText(info.author));
}

void addSignature(QString& report, const pack::PackInfo& info, const pack::PackSignature& signature)
{
    if (!info.claimsSignature())
        report += QStringLiteral("签名：无（未签名的安装包）\n");
    else if (signature.signer)
        report += QStringLiteral("签名：有效，作者密钥%1（公钥%2）\n")
                      .arg(signature.signer->fingerprint(), QString::fromLatin1(signature.signer->text()));
    else
        report += QStringLiteral("签名：不成立。%1\n").arg(pack::signatureProblemMessage(signature.problem));
}

void addEntries(QString& report, const pack::ArchiveResult& scanned)
{
    report += QStringLiteral("内容（%1个条目，解压后共%2字节）：\n")
                  .arg(scanned.entries.size())
                  .arg(scanned.totalBytes);
    for (const pack::ArchiveEntry& entry : scanned.entries) {
        const QString size = entry.directory ? QStringLiteral("文件夹") : QString::number(entry.size);
        report += QStringLiteral("  %1  %2%3\n")
                      .arg(size, 12)
                      .arg(QString::fromUtf8(entry.path), entry.directory ? QStringLiteral("/") : QString());
    }
}

} // namespace

Inspection inspectPack(const QString& path, const pack::ArchiveLimits& limits)
{
    Inspection inspection;
    QString& report = inspection.report;
    report += QStringLiteral("安装包：%1\n").arg(QDir::toNativeSeparators(path));

    const pack::PackCheck check = pack::checkPack(path, limits);
    if (check.header.ok()) {
        addHeader(report, check.header.info);
        addSignature(report, check.header.info, check.signature);
    } else
        report += QStringLiteral("包头：无效\n");
    // The body is listed even under a bad header or signature, as far as it can be read.
    if (check.header.problem.code != pack::HeaderProblemCode::CannotOpen)
        addEntries(report, check.archive);

    inspection.verdict = check.verdict;
    report += inspection.verdict.ok()
                  ? QStringLiteral("packsetup会接受这个安装包。\n")
                  : QStringLiteral("packsetup会拒绝这个安装包：%1\n").arg(inspection.verdict.message);
    return inspection;
}

} // namespace etipack
