#pragma once

// What one run of packsetup or etipack came to: the program's exit code and
// the message shown or printed for it.

#include "ArchiveProblem.h"
#include "HeaderProblem.h"

#include <QString>

namespace pack {

// The documented exit codes of packsetup. ORVA ignores them; scripts and
// the manager's "删除" may look at them.
enum class ExitCode {
    Success = 0,
    Usage = 1,            // bad command line
    PackUnreadable = 2,   // the pack file cannot be read
    HeaderRefused = 3,    // the header is no valid install pack header
    ArchiveRefused = 4,   // the body is no acceptable archive
    Conflict = 5,         // reserved or foreign id, missing control, not installed
    IoFailure = 6,        // writing failed, e.g. the disk is full
    Busy = 7,             // another packsetup is installing or removing
    Cancelled = 8,        // the user chose 取消 when asked
    SignatureRefused = 9, // the signature does not hold: changed after signing
    AuthorChanged = 10,   // signed by another key than the installed extension
    InUse = 11,           // a program of the extension runs and cannot be ended
};

struct Outcome
{
    ExitCode code = ExitCode::Success;
    QString message; // Chinese, complete sentences

    bool ok() const { return code == ExitCode::Success; }
    int exitStatus() const { return static_cast<int>(code); }
};

// "无法安装扩展安装包"<path>"：" and the reason.
QString cannotInstallMessage(const QString& packPath, const QString& reason);

// The exit code for a problem: the pack's fault, the file's or the disk's.
ExitCode exitCodeFor(const HeaderProblem& problem);
ExitCode exitCodeFor(const ArchiveProblem& problem);

} // namespace pack
