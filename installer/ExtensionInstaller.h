#pragma once

// Installs an install pack into Extensions/<id>/ of the working directory and
// enters the id into the start lists of its roles. The pack is copied into a
// staging folder first, and only that copy is read: its header, signature and
// whole body are checked before anything else is written, the user is asked
// about it, and it is unpacked. The extension folder appears at once,
// complete, by a rename, and an upgrade puts the old folder back if anything
// fails. What runs from an upgraded extension's folder is ended first.

#include "ExtensionFolders.h"
#include "InstallPlan.h"
#include "RunningExtension.h"
#include "StartListEditor.h"
#include "pack/Outcome.h"
#include "pack/PackCheck.h"

#include <functional>

namespace installer {

enum class InstallStage { Checking, Unpacking, EndingRunning };

// `done` and `total` are unpacked bytes; total is 0 while it is not known.
using InstallProgress =
    std::function<void(InstallStage stage, const QString& name, qint64 done, qint64 total)>;
// Asked once everything is checked and before anything is written; false
// cancels the install.
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
    // The steps after the lock is held and the pack is known to be good.
    // `checkedCopy` is the installer's copy of the pack at `packPath`.
    pack::Outcome installChecked(const QString& packPath, const QString& checkedCopy,
                                 const pack::PackCheck& check) const;
    pack::Outcome unpack(const QString& checkedCopy, const InstallPlan& plan, qint64 bodyOffset,
                         qint64 totalBytes, const QString& staging) const;
    pack::Outcome putInPlace(const pack::PackInfo& info, const QString& staging, bool upgrade) const;
    static QString doneMessage(const pack::PackInfo& info, bool upgrade, const RunningExtension& stopped);

    pack::ArchiveLimits m_limits;
    InstallProgress m_progress;
    InstallConfirmation m_confirm;
    StopRunning m_stop = &RunningExtension::stop;
    ExtensionFolders m_folders;
    StartListEditor m_lists;
};

} // namespace installer
