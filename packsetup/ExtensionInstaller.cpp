#include "ExtensionInstaller.h"

#include "ExtensionPaths.h"
#include "FirstLineReader.h"
#include "Platform.h"

#include <QDir>
#include <QFileInfo>

namespace packsetup {
namespace {

Outcome failure(ExitCode code, const QString& packPath, const QString& reason)
{
    return Outcome{
        code, QStringLiteral("无法安装扩展安装包\"%1\"：").arg(QDir::toNativeSeparators(packPath)) + reason};
}

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString& error)
{
    if (saveWholeFile(path, bytes, error))
        return true;
    error = QStringLiteral("无法写入\"%1\"：%2").arg(QDir::toNativeSeparators(path), error);
    return false;
}

// The name an installed extension folder has, if any: the first line of its
// name file, as ORVA reads it.
std::optional<QByteArray> installedName(const QByteArray& id)
{
    return extensions::readFirstLine(extensions::nameFilePath(id));
}

bool isRunnable(const QByteArray& id)
{
    const std::optional<QByteArray> name = installedName(id);
    return name && QFileInfo(platform::processPath(extensions::programFilePath(id, *name))).isFile();
}

QString roleList(const QList<pack::Role>& roles)
{
    QStringList names;
    for (const pack::Role role : roles)
        names.append(pack::roleName(role));
    return names.join(QStringLiteral("、"));
}

} // namespace

ExitCode exitCodeFor(const pack::HeaderProblem& problem)
{
    switch (problem.code) {
    case pack::HeaderProblemCode::CannotOpen:
        return ExitCode::PackUnreadable;
    case pack::HeaderProblemCode::ReservedId:
        return ExitCode::Conflict;
    default:
        return ExitCode::HeaderRefused;
    }
}

ExitCode exitCodeFor(const ArchiveProblem& problem)
{
    switch (problem.code) {
    case ArchiveProblemCode::None:
        return ExitCode::Success;
    case ArchiveProblemCode::CannotRead:
        return ExitCode::PackUnreadable;
    case ArchiveProblemCode::WriteFailed:
        return ExitCode::IoFailure;
    default:
        return ExitCode::ArchiveRefused;
    }
}

ExtensionInstaller::ExtensionInstaller(const ArchiveLimits& limits) : m_limits(limits) {}

Outcome ExtensionInstaller::install(const QString& packPath) const
{
    const pack::CheckedHeader header = pack::readCheckedHeader(packPath);
    if (!header.ok())
        return failure(exitCodeFor(header.problem), packPath, pack::headerProblemMessage(header.problem));
    const pack::PackInfo& info = header.info;
    const QString name = QString::fromUtf8(info.name);

    // The whole body is read once without writing, so that a hostile or
    // broken pack is refused before anything on disk changes.
    if (m_progress)
        m_progress(InstallStage::Checking, name, 0, 0);
    PackArchive archive(packPath, header.bodyOffset, m_limits);
    if (m_progress)
        archive.setProgress([&](qint64 done) { m_progress(InstallStage::Checking, name, done, 0); });
    ArchiveResult scanned = archive.scan();
    if (scanned.ok())
        scanned.problem = checkPackContents(scanned.entries, info.name);
    if (!scanned.ok())
        return failure(exitCodeFor(scanned.problem), packPath, archiveProblemMessage(scanned.problem));

    const std::unique_ptr<QLockFile> lock = m_folders.lock();
    if (!lock)
        return failure(ExitCode::Busy, packPath,
                       QStringLiteral("另一个安装程序正在安装或删除扩展，请等它结束后再试。"));
    m_folders.cleanLeftovers();
    return installChecked(packPath, info, header.bodyOffset, scanned.totalBytes);
}

Outcome ExtensionInstaller::installChecked(const QString& packPath, const pack::PackInfo& info,
                                           qint64 bodyOffset, qint64 totalBytes) const
{
    const QString name = QString::fromUtf8(info.name);
    const QString live = m_folders.extensionFolder(info.id);
    const QFileInfo liveInfo(live);
    bool upgrade = false;
    if (liveInfo.exists() || liveInfo.isSymLink()) {
        const std::optional<QByteArray> installed = liveInfo.isDir() ? installedName(info.id) : std::nullopt;
        if (!installed)
            return failure(ExitCode::Conflict, packPath,
                           QStringLiteral("\"%1\"已存在，但不是已安装的扩展（没有可读的ExtensionName.etn）。")
                               .arg(QDir::toNativeSeparators(live)));
        if (*installed != info.name)
            return failure(ExitCode::Conflict, packPath,
                           QStringLiteral("标识%1已被扩展\"%2\"使用；安装包中的扩展是\"%3\"。")
                               .arg(QString::fromLatin1(info.id), QString::fromUtf8(*installed), name));
        upgrade = true;
    }
    // ORVA cannot start a listener whose control extension is missing.
    if (info.roles.contains(pack::Role::Listener) && info.control != info.id && !isRunnable(info.control))
        return failure(ExitCode::Conflict, packPath,
                       QStringLiteral("监听扩展的控制扩展%1尚未安装；请先安装它。")
                           .arg(QString::fromLatin1(info.control)));

    const QString staging = m_folders.newStagingFolder(info.id);
    if (!QDir().mkdir(staging))
        return failure(ExitCode::IoFailure, packPath,
                       QStringLiteral("无法创建文件夹\"%1\"。").arg(QDir::toNativeSeparators(staging)));
    Outcome outcome = unpack(packPath, info, bodyOffset, totalBytes, staging);
    if (outcome.ok())
        outcome = putInPlace(info, staging, upgrade);
    if (!outcome.ok()) {
        ExtensionFolders::deleteTree(staging);
        outcome = failure(outcome.code, packPath, outcome.message);
    }
    return outcome;
}

Outcome ExtensionInstaller::unpack(const QString& packPath, const pack::PackInfo& info, qint64 bodyOffset,
                                   qint64 totalBytes, const QString& staging) const
{
    const QString name = QString::fromUtf8(info.name);
    PackArchive archive(packPath, bodyOffset, m_limits);
    if (m_progress) {
        m_progress(InstallStage::Unpacking, name, 0, totalBytes);
        archive.setProgress(
            [&](qint64 done) { m_progress(InstallStage::Unpacking, name, done, totalBytes); });
    }
    // The pack is read again; it is checked again, in case it changed since.
    ArchiveResult extracted = archive.extractTo(staging);
    if (extracted.ok())
        extracted.problem = checkPackContents(extracted.entries, info.name);
    if (!extracted.ok())
        return Outcome{exitCodeFor(extracted.problem), archiveProblemMessage(extracted.problem)};

    const QDir folder(staging);
    const QFileInfo program(folder.filePath(name + QStringLiteral(".exe")));
    if (!program.isFile() || program.isSymLink()) {
        ArchiveProblem missing;
        missing.code = ArchiveProblemCode::ProgramMissing;
        missing.entry = info.name + ".exe";
        return Outcome{ExitCode::ArchiveRefused, archiveProblemMessage(missing)};
    }

    QString error;
    if (!writeWholeFile(folder.filePath(QString::fromLatin1(kNameFileName)), info.name, error) ||
        !writeWholeFile(folder.filePath(name + QStringLiteral(".control")), info.control, error) ||
        !writeWholeFile(folder.filePath(QString::fromLatin1(kManifestFileName)),
                        pack::headerJson(info, true) + '\n', error))
        return Outcome{ExitCode::IoFailure, error + QStringLiteral("。")};
    if (!platform::makeExecutable(program.filePath()))
        return Outcome{
            ExitCode::IoFailure,
            QStringLiteral("无法把\"%1\"设为可执行。").arg(QDir::toNativeSeparators(program.filePath()))};
    return {};
}

Outcome ExtensionInstaller::putInPlace(const pack::PackInfo& info, const QString& staging, bool upgrade) const
{
    const QString live = m_folders.extensionFolder(info.id);
    const QString backup = m_folders.backupFolder(info.id);
    QDir dir;
    // Where the system swaps folders in one step, the extension folder is
    // never missing: the old version waits under the staging name, which the
    // next run deletes if this one is interrupted.
    const bool swapped = upgrade && platform::exchangePaths(staging, live);
    if (upgrade && !swapped && !dir.rename(live, backup))
        return Outcome{ExitCode::IoFailure, QStringLiteral("无法移开已安装的\"%1\"（扩展可能正在运行）。")
                                                .arg(QDir::toNativeSeparators(live))};
    const auto restore = [&] {
        if (swapped)
            platform::exchangePaths(staging, live);
        else if (upgrade)
            dir.rename(backup, live);
    };
    if (!swapped && !dir.rename(staging, live)) {
        restore();
        return Outcome{ExitCode::IoFailure,
                       QStringLiteral("无法把解压的文件移到\"%1\"。").arg(QDir::toNativeSeparators(live))};
    }

    const ListChange lists = m_lists.add(info.id, info.roles);
    if (!lists.ok) {
        if (!swapped)
            m_folders.removeFolder(live, info.id);
        restore(); // a swapped-back new version is deleted with the staging folder
        return Outcome{ExitCode::IoFailure, lists.error};
    }
    if (upgrade)
        ExtensionFolders::deleteTree(swapped ? staging : backup); // what is left is removed by the next run

    const QString name = QString::fromUtf8(info.name);
    QString message = upgrade ? QStringLiteral("已更新扩展\"%1\"（标识%2）。")
                              : QStringLiteral("已安装扩展\"%1\"（标识%2）。");
    message = message.arg(name, QString::fromLatin1(info.id));
    if (info.roles.isEmpty())
        message += QStringLiteral("\n它不在任何启动列表中。");
    else
        message += QStringLiteral("\n启动列表：") + roleList(info.roles) + QStringLiteral("。");
    return Outcome{ExitCode::Success, message};
}

} // namespace packsetup
