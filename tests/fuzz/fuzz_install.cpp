// The installer's whole path from a pack's bytes into a workspace where two
// extensions are installed and listed: whatever the bytes, nothing outside
// the workspace changes, a refused pack changes nothing, and an accepted one
// is complete, listed, leaves nothing behind and installs again over itself.

#include "InstallationCheck.h"
#include "platform/Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool utf8 = (platform::useUtf8Conversions(), true);
    Q_UNUSED(utf8);
    const Installation workspace;
    workspace.write(QStringLiteral("../pack"),
                    QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    const auto before = workspace.snapshot();

    const pack::ArchiveLimits limits{64, 1 << 20}; // one input can neither fill the disk nor take long
    const QString pack = workspace.path(QStringLiteral("../pack"));
    const pack::Outcome outcome = installer::ExtensionInstaller(limits).install(pack);
    const QString problem = installationProblem(workspace, pack, limits, outcome, before);
    if (!problem.isEmpty())
        qFatal("%s: %s", qPrintable(problem), qPrintable(outcome.message));
    return 0;
}
