#include "ExtensionRemover.h"

#include "RunningExtension.h"
#include "orva/extensions/ExtensionChangeNotice.h"
#include "orva/extensions/ExtensionLayout.h"
#include "orva/extensions/FirstLineReader.h"

#include <QDir>
#include <QFileInfo>

namespace installer {
namespace {

using pack::ExitCode;
using pack::Outcome;

Outcome failure(ExitCode code, const QByteArray& id, const QString& reason)
{
    return Outcome{code, QStringLiteral("无法删除扩展%1：").arg(QString::fromUtf8(id)) + reason};
}

} // namespace

pack::Outcome ExtensionRemover::remove(const QByteArray& id) const
{
    if (!extensions::isExtensionId(id))
        return failure(ExitCode::Usage, id, QStringLiteral("扩展标识必须是8位数字。"));
    if (id == extensions::kInstallerId)
        return failure(ExitCode::Conflict, id, QStringLiteral("它是安装程序本身。"));

    const auto lock = m_folders.lock();
    if (!lock)
        return failure(ExitCode::Busy, id, ExtensionFolders::busyMessage());
    m_folders.cleanLeftovers();

    const QString folder = m_folders.extensionFolder(id);
    const QFileInfo folderInfo(folder);
    const bool installed = folderInfo.exists() || folderInfo.isSymLink();
    if (!installed && !m_lists.isListed(id))
        return failure(ExitCode::Conflict, id, QStringLiteral("没有安装这个扩展。"));
    const std::optional<QByteArray> name = extensions::readFirstLine(extensions::nameFilePath(id));
    RunningExtension stopped;
    if (installed) {
        const Outcome released = releaseFolder(id, folder, &RunningExtension::stop, stopped);
        stopped.noteEndedLaunchers(
            QStringLiteral("安装程序删除扩展%1：已结束启动器").arg(QString::fromUtf8(id)));
        if (!released.ok())
            return failure(released.code, id, released.message);
    }

    const ListChange lists = m_lists.remove(id);
    const bool folderGone = !installed || (lists.ok && m_folders.removeFolder(folder, id));
    // Before packsetup shows its closing message, and once the programs are
    // gone: ORVA no longer waits, and starts the pairs again only if nothing
    // changed.
    if (installed)
        extensions::ExtensionChangeNotice::settle(lists.ok);
    if (!lists.ok)
        return failure(ExitCode::IoFailure, id, lists.error);
    if (!folderGone)
        return failure(ExitCode::IoFailure, id,
                       QStringLiteral("已从启动列表中移除，但无法删除文件夹\"%1\"（扩展可能正在运行）。")
                           .arg(QDir::toNativeSeparators(folder)));

    QString message = name ? QStringLiteral("已删除扩展\"%1\"（标识%2）。")
                                 .arg(QString::fromUtf8(*name), QString::fromLatin1(id))
                           : QStringLiteral("已删除扩展%1。").arg(QString::fromLatin1(id));
    if (!installed)
        message += QStringLiteral("\n它的文件夹已不存在，只从启动列表中移除了。");
    if (!stopped.isEmpty())
        message += QStringLiteral("\n已结束正在运行的%1。").arg(stopped.summary());
    if (stopped.startedByOrva())
        message += QStringLiteral("ORVA不会再启动它们。");
    return Outcome{ExitCode::Success, message};
}

} // namespace installer
