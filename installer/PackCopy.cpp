#include "PackCopy.h"

#include "pack/ArchiveProblem.h"
#include "pack/HeaderProblem.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace installer {

using pack::ExitCode;
using pack::Outcome;

PackCopy::~PackCopy()
{
    if (!m_folder.isEmpty())
        ExtensionFolders::deleteTree(m_folder);
}

Outcome PackCopy::take(const QString& packPath)
{
    QFile source(packPath);
    // A FIFO would block the installer; a folder has no bytes.
    if (!QFileInfo(packPath).isFile() || !source.open(QIODevice::ReadOnly)) {
        pack::HeaderProblem problem;
        problem.code = pack::HeaderProblemCode::CannotOpen;
        return Outcome{ExitCode::PackUnreadable, pack::headerProblemMessage(problem)};
    }
    const QString folder = m_folders.newStagingFolder("pack");
    if (!QDir().mkdir(folder))
        return Outcome{ExitCode::IoFailure,
                       QStringLiteral("无法创建文件夹\"%1\"。").arg(QDir::toNativeSeparators(folder))};
    m_folder = folder;
    m_path = QDir(m_folder).filePath(QStringLiteral("pack.etipack"));
    QString error;
    switch (platform::copyFile(source, m_path, error)) {
    case platform::CopyResult::Copied:
        return {};
    case platform::CopyResult::ReadFailed: {
        pack::ArchiveProblem problem;
        problem.code = pack::ArchiveProblemCode::CannotRead;
        problem.detail = error;
        return Outcome{ExitCode::PackUnreadable, pack::archiveProblemMessage(problem)};
    }
    case platform::CopyResult::WriteFailed:
        break;
    }
    return Outcome{ExitCode::IoFailure,
                   QStringLiteral("无法写入\"%1\"：%2。").arg(QDir::toNativeSeparators(m_path), error)};
}

} // namespace installer
