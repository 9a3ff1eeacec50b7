#pragma once

// Installs an install pack into Extensions/<id>/ of the working directory and
// enters the id into the start lists of its roles. The header and the whole
// body are checked before anything is written; the extension folder appears
// at once, complete, by a rename, and an upgrade puts the old folder back if
// anything fails.

#include "ExtensionFolders.h"
#include "Outcome.h"
#include "PackArchive.h"
#include "StartListEditor.h"

#include <functional>

namespace packsetup {

enum class InstallStage { Checking, Unpacking };

// `done` and `total` are unpacked bytes; total is 0 while it is not known.
using InstallProgress =
    std::function<void(InstallStage stage, const QString& name, qint64 done, qint64 total)>;

class ExtensionInstaller
{
public:
    explicit ExtensionInstaller(const ArchiveLimits& limits = {});

    void setProgress(InstallProgress progress) { m_progress = std::move(progress); }

    Outcome install(const QString& packPath) const;

private:
    // The steps after the lock is held and the pack is known to be good.
    Outcome installChecked(const QString& packPath, const pack::PackInfo& info, qint64 bodyOffset,
                           qint64 totalBytes) const;
    Outcome unpack(const QString& packPath, const pack::PackInfo& info, qint64 bodyOffset, qint64 totalBytes,
                   const QString& staging) const;
    Outcome putInPlace(const pack::PackInfo& info, const QString& staging, bool upgrade) const;

    ArchiveLimits m_limits;
    InstallProgress m_progress;
    ExtensionFolders m_folders;
    StartListEditor m_lists;
};

// The exit code for a problem: the pack's fault, the file's or the disk's.
ExitCode exitCodeFor(const pack::HeaderProblem& problem);
ExitCode exitCodeFor(const ArchiveProblem& problem);

} // namespace packsetup
