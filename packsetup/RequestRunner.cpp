#include "RequestRunner.h"

#include "installer/ExtensionRemover.h"

#include <cstdio>

namespace packsetup {

using pack::ExitCode;
using pack::Outcome;

Outcome runRequest(const Request& request, const installer::InstallProgress& progress,
                   const installer::InstallConfirmation& confirm)
{
    switch (request.mode) {
    case Request::Mode::Install: {
        installer::ExtensionInstaller installer;
        installer.setProgress(progress);
        installer.setConfirmation(confirm);
        return installer.install(request.packPath);
    }
    case Request::Mode::Remove:
        return installer::ExtensionRemover().remove(request.id);
    case Request::Mode::Help:
        return Outcome{ExitCode::Success, usageText()};
    case Request::Mode::Invalid:
        break;
    }
    return Outcome{ExitCode::Usage, request.error + QStringLiteral("\n\n") + usageText()};
}

int runQuietly(const Request& request)
{
    const Outcome outcome = runRequest(request);
    std::FILE* stream = outcome.ok() ? stdout : stderr;
    QByteArray text = outcome.message.toUtf8();
    if (!text.endsWith('\n'))
        text.append('\n');
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
    std::fflush(stream);
    return outcome.exitStatus();
}

} // namespace packsetup
