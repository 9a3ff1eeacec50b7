#include "PackCheck.h"

namespace pack {

PackCheck checkPack(const QString& path, const ArchiveLimits& limits, const CheckProgress& progress)
{
    PackCheck check;
    check.header = readCheckedHeader(path);
    if (!check.header.ok()) {
        check.verdict =
            Outcome{exitCodeFor(check.header.problem), headerProblemMessage(check.header.problem)};
        return check;
    }
    check.signature = readSignature(path, check.header.bytes, check.header.info);
    if (!check.signature.ok()) {
        check.verdict =
            Outcome{check.signature.problem == SignatureProblemCode::CannotRead ? ExitCode::PackUnreadable
                                                                                : ExitCode::SignatureRefused,
                    signatureProblemMessage(check.signature.problem)};
        return check;
    }
    PackArchive archive(path, check.header.bodyOffset, limits);
    if (progress) {
        progress(check.header.info, 0);
        archive.setProgress([&](qint64 bytes) { progress(check.header.info, bytes); });
    }
    check.archive = archive.scan();
    if (check.archive.ok())
        check.archive.problem = checkPackContents(check.archive.entries, check.header.info.name);
    if (!check.archive.ok())
        check.verdict =
            Outcome{exitCodeFor(check.archive.problem), archiveProblemMessage(check.archive.problem)};
    return check;
}

} // namespace pack
