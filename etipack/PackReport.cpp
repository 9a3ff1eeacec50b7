#include "PackReport.h"

#include "EntryRules.h"
#include "ExtensionInstaller.h"
#include "PackHeaderValidation.h"

#include <QDir>
#include <QTextStream>

namespace etipack {
namespace {

using packsetup::Outcome;

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
    for (const pack::Role role : info.roles)
        roles.append(pack::roleName(role));
    report += QStringLiteral("包头：\n");
    addField(report, "name", QString::fromUtf8(info.name));
    addField(report, "id", QString::fromLatin1(info.id));
    addField(report, "roles", roles.isEmpty() ? QStringLiteral("（无）") : roles.join(QStringLiteral(", ")));
    addField(report, "control", QString::fromLatin1(info.control));
    addField(report, "version", optionalText(info.version));
    addField(report, "description", optionalText(info.description));
    addField(report, "author", optionalText(info.author));
}

void addEntries(QString& report, const packsetup::ArchiveResult& scanned)
{
    report += QStringLiteral("内容（%1个条目，解压后共%2字节）：\n")
                  .arg(scanned.entries.size())
                  .arg(scanned.totalBytes);
    for (const packsetup::ArchiveEntry& entry : scanned.entries) {
        const QString size = entry.directory ? QStringLiteral("文件夹") : QString::number(entry.size);
        report += QStringLiteral("  %1  %2%3\n")
                      .arg(size, 12)
                      .arg(QString::fromUtf8(entry.path), entry.directory ? QStringLiteral("/") : QString());
    }
}

} // namespace

Inspection inspectPack(const QString& path, const packsetup::ArchiveLimits& limits)
{
    Inspection inspection;
    QString& report = inspection.report;
    report += QStringLiteral("安装包：%1\n").arg(QDir::toNativeSeparators(path));

    const pack::CheckedHeader header = pack::readCheckedHeader(path);
    if (header.ok())
        addHeader(report, header.info);
    else
        report += QStringLiteral("包头：无效\n");

    // The body is listed even under a bad header, as far as it can be read.
    packsetup::ArchiveResult scanned;
    if (header.problem.code != pack::HeaderProblemCode::CannotOpen) {
        scanned = packsetup::PackArchive(path, header.bodyOffset, limits).scan();
        if (scanned.ok() && header.ok())
            scanned.problem = packsetup::checkPackContents(scanned.entries, header.info.name);
        addEntries(report, scanned);
    }

    if (!header.ok()) {
        inspection.verdict =
            Outcome{packsetup::exitCodeFor(header.problem), pack::headerProblemMessage(header.problem)};
    } else if (!scanned.ok()) {
        inspection.verdict = Outcome{packsetup::exitCodeFor(scanned.problem),
                                     packsetup::archiveProblemMessage(scanned.problem)};
    }
    report += inspection.verdict.ok()
                  ? QStringLiteral("packsetup会接受这个安装包。\n")
                  : QStringLiteral("packsetup会拒绝这个安装包：%1\n").arg(inspection.verdict.message);
    return inspection;
}

} // namespace etipack
