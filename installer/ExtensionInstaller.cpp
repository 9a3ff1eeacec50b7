#include "ExtensionInstaller.h"

#include "AuthorPin.h"
#include "orva/extensions/ExtensionChangeNotice.h"
#include "orva/extensions/ExtensionLayout.h"
#include "orva/extensions/FirstLineReader.h"
#include "pack/HeaderWriter.h"
#include "pack/PackReader.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>

namespace installer {
namespace {

using pack::ArchiveProblem;
using pack::ArchiveProblemCode;
using pack::ExitCode;
using pack::Outcome;

Outcome failure(ExitCode code, const QString& packPath, const QString& reason)
{
    return Outcome{code, pack::cannotInstallMessage(packPath, reason)};
}

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString& error)
{
    if (platform::saveWholeFile(path, bytes, error))
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

// The version the installed extension's manifest names, if any.
std::optional<QByteArray> installedVersion(const QString& folder)
{
    return pack::readCheckedHeader(QDir(folder).filePath(QLatin1String(extensions::kManifestFileName)))
        .info.version;
}

// The staging folder of one install: whatever it still holds when the
// install ends (all of it after a refusal, the old version after a swap) goes.
class StagingFolder
{
public:
    explicit StagingFolder(QString path) : m_path(std::move(path)) {}
    ~StagingFolder() { ExtensionFolders::deleteTree(m_path); }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

QString roleList(const QList<extensions::Role>& roles)
{
    QStringList names;
    for (const extensions::Role role : roles)
        names.append(QString::fromLatin1(extensions::roleName(role)));
    return names.join(QStringLiteral("、"));
}

} // namespace

ExtensionInstaller::ExtensionInstaller(const pack::ArchiveLimits& limits) : m_limits(limits) {}

pack::Outcome ExtensionInstaller::install(const QString& packPath) const
{
    const auto lock = m_folders.lock();
    if (!lock)
        return failure(ExitCode::Busy, packPath, ExtensionFolders::busyMessage());
    m_folders.cleanLeftovers();

    pack::PackReader reader(packPath, m_limits);
    QString name;
    if (m_progress)
        reader.setProgress([this, &name](qint64 read, qint64 total) {
            m_progress(InstallStage::Reading, name, read, total);
        });
    if (!reader.readHeader())
        return failure(reader.check().verdict.code, packPath, reader.check().verdict.message);
    const pack::PackInfo& info = reader.check().header.info;
    name = QString::fromUtf8(info.name);
    bool upgrade = false;
    const Outcome place = checkPlace(info, upgrade);
    if (!place.ok())
        return failure(place.code, packPath, place.message);

    const StagingFolder staging(m_folders.newStagingFolder(info.id));
    if (!QDir().mkdir(staging.path()))
        return failure(
            ExitCode::IoFailure, packPath,
            QStringLiteral("无法创建文件夹\"%1\"。").arg(QDir::toNativeSeparators(staging.path())));
    reader.readBody(&staging.path());
    const pack::PackCheck& check = reader.check();
    if (!check.verdict.ok())
        return failure(check.verdict.code, packPath, check.verdict.message);

    InstallPlan plan{info, upgrade, std::nullopt, check.signature.signer, false, QString()};
    const QString live = m_folders.extensionFolder(info.id);
    if (upgrade) {
        const AuthorPin pin = AuthorPin::read(live);
        const Outcome admitted = pin.admits(plan.signer, info.name, info.id);
        if (!admitted.ok())
            return failure(admitted.code, packPath, admitted.message);
        plan.signerPinned = pin.state == AuthorPin::State::Pinned;
        plan.installedVersion = installedVersion(live);
        const RunningExtension running = RunningExtension::find(live);
        const Outcome endable = running.checkEndable();
        if (!endable.ok())
            return failure(endable.code, packPath, endable.message);
        plan.running = running.summary();
    }
    Outcome outcome = completeStaging(plan, staging.path());
    if (outcome.ok() && m_confirm && !m_confirm(plan))
        return Outcome{ExitCode::Cancelled,
                       QStringLiteral("没有安装扩展\"%1\"：安装已取消，没有做任何更改。").arg(name)};
    if (outcome.ok())
        outcome = putInPlace(info, staging.path(), upgrade);
    if (!outcome.ok())
        outcome = failure(outcome.code, packPath, outcome.message);
    return outcome;
}

pack::Outcome ExtensionInstaller::checkPlace(const pack::PackInfo& info, bool& upgrade) const
{
    const QString name = QString::fromUtf8(info.name);
    const QString live = m_folders.extensionFolder(info.id);
    const QFileInfo liveInfo(live);
    if (liveInfo.exists() || liveInfo.isSymLink()) {
        const std::optional<QByteArray> installed = liveInfo.isDir() ? installedName(info.id) : std::nullopt;
        if (!installed)
            return Outcome{
                ExitCode::Conflict,
                QStringLiteral("\"%1\"已存在，但不是已安装的扩展（没有可读的%2）。")
                    .arg(QDir::toNativeSeparators(live), QLatin1String(extensions::kNameFileName))};
        if (*installed != info.name)
            return Outcome{ExitCode::Conflict,
                           QStringLiteral("标识%1已被扩展\"%2\"使用；安装包中的扩展是\"%3\"。")
                               .arg(QString::fromLatin1(info.id), QString::fromUtf8(*installed), name)};
        upgrade = true;
    }
    // ORVA cannot start a listener whose control extension is missing.
    if (info.roles.contains(extensions::Role::Listener) && info.control != info.id &&
        !isRunnable(info.control))
        return Outcome{ExitCode::Conflict, QStringLiteral("监听扩展的控制扩展%1尚未安装；请先安装它。")
                                               .arg(QString::fromLatin1(info.control))};
    return {};
}

pack::Outcome ExtensionInstaller::completeStaging(const InstallPlan& plan, const QString& staging)
{
    const pack::PackInfo& info = plan.info;
    const QDir folder(staging);
    const QFileInfo program(folder.filePath(QString::fromUtf8(info.name + extensions::kProgramSuffix)));
    if (!program.isFile() || program.isSymLink()) {
        ArchiveProblem missing;
        missing.code = ArchiveProblemCode::ProgramMissing;
        missing.entry = info.name + extensions::kProgramSuffix;
        return Outcome{ExitCode::ArchiveRefused, pack::archiveProblemMessage(missing)};
    }

    QString error;
    if (!writeWholeFile(folder.filePath(QString::fromLatin1(extensions::kNameFileName)), info.name, error) ||
        !writeWholeFile(folder.filePath(QString::fromUtf8(info.name + extensions::kControlSuffix)),
                        info.control, error) ||
        !writeWholeFile(folder.filePath(QString::fromLatin1(extensions::kManifestFileName)),
                        pack::headerJson(info, true) + '\n', error) ||
        (plan.signer && !writeWholeFile(folder.filePath(QLatin1String(extensions::kAuthorKeyFileName)),
                                        AuthorPin::fileContent(*plan.signer), error)))
        return Outcome{ExitCode::IoFailure, error + QStringLiteral("。")};
    if (!platform::makeExecutable(program.filePath()))
        return Outcome{
            ExitCode::IoFailure,
            QStringLiteral("无法把\"%1\"设为可执行。").arg(QDir::toNativeSeparators(program.filePath()))};
    return {};
}

pack::Outcome ExtensionInstaller::putInPlace(const pack::PackInfo& info, const QString& staging,
                                             bool upgrade) const
{
    const QString live = m_folders.extensionFolder(info.id);
    RunningExtension stopped;
    if (!upgrade)
        return swapIn(info, staging, upgrade, stopped);
    if (m_progress)
        m_progress(InstallStage::EndingRunning, QString::fromUtf8(info.name), 0, 0);
    Outcome released = releaseFolder(info.id, live, m_stop, stopped);
    stopped.noteEndedLaunchers(
        QStringLiteral("安装程序更新扩展%1：已结束启动器").arg(QString::fromUtf8(info.id)));
    if (!released.ok())
        return released;
    Outcome outcome = swapIn(info, staging, upgrade, stopped);
    // Before packsetup shows its closing message: ORVA starts the pairs again
    // now, the new version or the old one put back.
    extensions::ExtensionChangeNotice::settle(outcome.ok());
    return outcome;
}

pack::Outcome ExtensionInstaller::swapIn(const pack::PackInfo& info, const QString& staging, bool upgrade,
                                         const RunningExtension& stopped) const
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
        restore(); // a new version swapped back goes with the staging folder
        return Outcome{ExitCode::IoFailure, lists.error};
    }
    // The old version goes with the staging folder after a swap; what cannot be
    // deleted now is removed by the next run.
    if (upgrade && !swapped)
        ExtensionFolders::deleteTree(backup);

    return Outcome{ExitCode::Success, doneMessage(info, upgrade, stopped)};
}

QString ExtensionInstaller::doneMessage(const pack::PackInfo& info, bool upgrade,
                                        const RunningExtension& stopped)
{
    QString message = upgrade ? QStringLiteral("已更新扩展\"%1\"（标识%2）。")
                              : QStringLiteral("已安装扩展\"%1\"（标识%2）。");
    message = message.arg(QString::fromUtf8(info.name), QString::fromLatin1(info.id));
    if (info.roles.isEmpty())
        message += QStringLiteral("\n它不在任何启动列表中。");
    else
        message += QStringLiteral("\n启动列表：") + roleList(info.roles) + QStringLiteral("。");
    if (!stopped.isEmpty())
        message += QStringLiteral("\n已结束正在运行的%1。").arg(stopped.summary());
    if (stopped.startedByOrva())
        message += QStringLiteral("ORVA会立即重新启动它们，使用新版本。");
    return message;
}

} // namespace installer
