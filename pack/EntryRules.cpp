#include "EntryRules.h"

#include "orva/extensions/ExtensionLayout.h"

#include <QString>

namespace pack {
namespace {

ArchiveProblem problemAt(ArchiveProblemCode code, const QByteArray& entry)
{
    ArchiveProblem problem;
    problem.code = code;
    problem.entry = entry;
    return problem;
}

bool isAsciiLetter(char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// Absolute on some platform: "/x", "\x", "\\server\share\x", "C:\x", and
// "C:x" (relative to drive C's current folder, so outside ours as well).
bool isAbsoluteAnywhere(const QByteArray& path)
{
    if (path.startsWith('/') || path.startsWith('\\'))
        return true;
    return path.size() >= 2 && isAsciiLetter(path.at(0)) && path.at(1) == ':';
}

bool sameFileName(const QByteArray& a, const QByteArray& b)
{
    // Windows and macOS compare names without case.
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

} // namespace

ArchiveProblem checkEntryPath(const QByteArray& path, QByteArray& normalized)
{
    normalized.clear();
    if (isAbsoluteAnywhere(path))
        return problemAt(ArchiveProblemCode::AbsolutePath, path);
    if (path.size() > kMaxEntryPathBytes) {
        ArchiveProblem problem = problemAt(ArchiveProblemCode::PathTooLong, path);
        problem.detail = QString::number(kMaxEntryPathBytes);
        return problem;
    }

    QByteArray rest = path;
    while (rest.startsWith("./"))
        rest.remove(0, 2);
    if (rest == ".")
        rest.clear();
    if (rest.endsWith('/'))
        rest.chop(1);
    if (rest.isEmpty())
        return {}; // the folder itself

    for (const QByteArray& part : rest.split('/')) {
        if (part == "..")
            return problemAt(ArchiveProblemCode::ParentFolder, path);
        const FileNameCheck check = checkPortableFileName(part);
        if (check.issue == FileNameIssue::NotUtf8)
            return problemAt(ArchiveProblemCode::NotUtf8Path, path);
        if (check.issue != FileNameIssue::None) {
            ArchiveProblem problem = problemAt(ArchiveProblemCode::BadPathPart, path);
            problem.part = check;
            problem.detail = QString::fromUtf8(part);
            return problem;
        }
    }
    normalized = rest;
    return {};
}

ArchiveProblem checkPackContents(const QList<ArchiveEntry>& entries, const QByteArray& name)
{
    const QByteArray reserved[] = {extensions::kNameFileName, extensions::kManifestFileName,
                                   extensions::kAuthorKeyFileName, name + extensions::kControlSuffix};
    const QByteArray program = name + extensions::kProgramSuffix;
    bool programFound = false;
    bool programIsFolder = false;
    for (const ArchiveEntry& entry : entries) {
        const QByteArray top =
            entry.path.left(entry.path.indexOf('/') < 0 ? entry.path.size() : entry.path.indexOf('/'));
        for (const QByteArray& own : reserved) {
            if (sameFileName(top, own))
                return problemAt(ArchiveProblemCode::ReservedFile, entry.path);
        }
        if (top == program) {
            if (entry.path == program && !entry.directory)
                programFound = true;
            else
                programIsFolder = true;
        }
    }
    if (programFound && !programIsFolder)
        return {};
    ArchiveProblem problem = problemAt(ArchiveProblemCode::ProgramMissing, program);
    if (programIsFolder)
        problem.detail = QStringLiteral("folder");
    return problem;
}

} // namespace pack
