#include "ExtensionFolders.h"

#include "orva/extensions/ExtensionLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace installer {
namespace {

const QString kStagingPrefix = QStringLiteral(".packsetup-staging-");
const QString kBackupPrefix = QStringLiteral(".packsetup-backup-");
const QString kRemovalPrefix = QStringLiteral(".packsetup-removing-");

QString randomSuffix()
{
    return QString::number(QRandomGenerator::global()->generate64(), 16);
}

} // namespace

QString ExtensionFolders::extensionFolder(const QByteArray& id) const
{
    return QDir(m_root).filePath(QString::fromLatin1(id));
}

QString ExtensionFolders::backupFolder(const QByteArray& id) const
{
    return QDir(m_root).filePath(kBackupPrefix + QString::fromLatin1(id));
}

QString ExtensionFolders::newStagingFolder(const QByteArray& id) const
{
    return QDir(m_root).filePath(kStagingPrefix + QString::fromLatin1(id) + QLatin1Char('-') +
                                 randomSuffix());
}

QString ExtensionFolders::newRemovalFolder(const QByteArray& id) const
{
    return QDir(m_root).filePath(kRemovalPrefix + QString::fromLatin1(id) + QLatin1Char('-') +
                                 randomSuffix());
}

std::unique_ptr<platform::ExclusiveFileLock> ExtensionFolders::lock() const
{
    if (!QDir().mkpath(m_root))
        return nullptr;
    auto lock = std::make_unique<platform::ExclusiveFileLock>(
        QDir(m_root).filePath(QStringLiteral(".packsetup.lock")));
    return lock->isLocked() ? std::move(lock) : nullptr;
}

QString ExtensionFolders::busyMessage()
{
    return QStringLiteral("另一个安装程序正在安装或删除扩展，请等它结束后再试。");
}

void ExtensionFolders::cleanLeftovers() const
{
    QDir root(m_root);
    const QStringList names = root.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& name : names) {
        const QString path = root.filePath(name);
        if (name.startsWith(kStagingPrefix) || name.startsWith(kRemovalPrefix)) {
            deleteTree(path);
        } else if (name.startsWith(kBackupPrefix)) {
            const QByteArray id = name.mid(kBackupPrefix.size()).toLatin1();
            const QString live = extensionFolder(id);
            if (!extensions::isExtensionId(id) || QFileInfo::exists(live) ||
                !root.rename(name, QString::fromLatin1(id)))
                deleteTree(path);
        }
    }
    // The temporary file of a notice for ORVA whose writing was cut short.
    const QString notice = QLatin1String(extensions::kChangeNoticeFileName) + QStringLiteral(".*");
    for (const QString& name : root.entryList({notice}, QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(root.filePath(name));
}

bool ExtensionFolders::removeFolder(const QString& folder, const QByteArray& id) const
{
    const QString removal = newRemovalFolder(id);
    if (!QDir().rename(folder, removal))
        return false;
    // What cannot be deleted now is deleted by the next run's clean-up.
    deleteTree(removal);
    return true;
}

void ExtensionFolders::deleteTree(const QString& path)
{
    if (QFileInfo(path).isSymLink())
        QFile::remove(path);
    else
        QDir(path).removeRecursively();
}

} // namespace installer
