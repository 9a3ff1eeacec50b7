#include "Outcome.h"

#include <QDir>

namespace pack {

QString cannotInstallMessage(const QString& packPath, const QString& reason)
{
    return QStringLiteral("无法安装扩展安装包\"%1\"：").arg(QDir::toNativeSeparators(packPath)) + reason;
}

ExitCode exitCodeFor(const HeaderProblem& problem)
{
    switch (problem.code) {
    case HeaderProblemCode::None:
        return ExitCode::Success;
    case HeaderProblemCode::CannotOpen:
        return ExitCode::PackUnreadable;
    case HeaderProblemCode::ReservedId:
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
    case ArchiveProblemCode::DiskFull:
        return ExitCode::IoFailure;
    default:
        return ExitCode::ArchiveRefused;
    }
}

} // namespace pack
