#pragma once

// Installs an install pack into Extensions/<id>/ of the working directory and
// enters the id into the start lists of its roles. The pack is read once:
// its header is checked, then its body is unpacked, entry by entry under the
// archive's rules and bounds, into a staging folder, and the signature is
// verified over the same bytes. Only then is the user asked; the extension
// folder appears at once, complete, by a rename, and an upgrade puts the old
// folder back if anything fails. What runs from an upgraded extension's
// folder is ended first. On any refusal the staging folder goes.

#include "ExtensionFolders.h"
#include "InstallPlan.h"
#include "RunningExtension.h"
#include "StartListEditor.h"
#include "pack/Outcome.h"
#include "pack/PackArchive.h"

#include <functional>

namespace installer {

enum class InstallStage { Reading, EndingRunning };

// Reading: `done` and `total` are bytes of the pack file; `name` is empty
// until the header has been read.
using InstallProgress =
    std::function<void(InstallStage stage, const QString& name, qint64 done, qint64 total)>;
// Asked once everything is checked and unpacked into staging, before the
// extension folder or a start list changes; false cancels the install.
using InstallConfirmation = std::function<bool(const InstallPlan& plan)>;

class ExtensionInstaller
{
public:
    explicit ExtensionInstaller(const pack::ArchiveLimits& limits = {});

    void setProgress(InstallProgress progress) { m_progress = std::move(progress); }
    void setConfirmation(InstallConfirmation confirm) { m_confirm = std::move(confirm); }
    void setStopRunning(StopRunning stop) { m_stop = std::move(stop); }

    pack::Outcome install(const QString& packPath) const;

private:
    // Where the pack's extension goes, before its body is read: a refusal
    // when its id belongs to another extension or its control is missing.
    pack::Outcome checkPlace(const pack::PackInfo& info, bool& upgrade) const;
    // The files the installer writes itself, next to the unpacked ones.
    static pack::Outcome completeStaging(const InstallPlan& plan, const QString& staging);
    pack::Outcome putInPlace(const pack::PackInfo& info, const QString& staging, bool upgrade) const;
    // The folder swap and the lists, once nothing runs from the old folder.
    pack::Outcome swapIn(const pack::PackInfo& info, const QString& staging, bool upgrade,
                         const RunningExtension& stopped) const;
    static QString doneMessage(const pack::PackInfo& info, bool upgrade, const RunningExtension& stopped);

    pack::ArchiveLimits m_limits;
    InstallProgress m_progress;
    InstallConfirmation m_confirm;
    StopRunning m_stop = &RunningExtension::stop;
    ExtensionFolders m_folders;
    StartListEditor m_lists;
};

} // namespace installer
