#pragma once

// The workspace the installer is tested in, and what must hold after it has
// run on a pack, for the unit tests and the install fuzzer alike: a refused
// pack changed nothing; an accepted one stands complete in its folder, once
// in the lists of its roles and in no other list, with no leftovers, and
// installs again over itself.

#include "Workspace.h"
#include "installer/ExtensionInstaller.h"
#include "orva/extensions/StartListReader.h"

// Extensions 00000003 "Logger" and 00000004 "Old" installed and listed.
struct Installation : Workspace
{
    Installation()
    {
        write(QStringLiteral("Start/Listener.etl"), "00000003\n");
        write(QStringLiteral("Start/Controller.etl"), "00000003\r\n");
        write(QStringLiteral("Start/Runner.etl"), "00000004");
        addExtension("00000003", "Logger", "00000003");
        addExtension("00000004", "Old", "00000004");
        write(QStringLiteral("Extensions/00000009/ExtensionName.etn"), "NoProgram"); // no control to run
    }
};

inline QString installationProblem(const Workspace& workspace, const QString& pack,
                                   const pack::ArchiveLimits& limits, const pack::Outcome& outcome,
                                   const Workspace::Snapshot& before)
{
    Workspace::Snapshot after = workspace.snapshot();
    Workspace::Snapshot earlier = before;
    if (outcome.message.isEmpty() || !outcome.ok())
        return after == before && !outcome.message.isEmpty() ? QString()
                                                             : QStringLiteral("refused, but changed");
    const pack::PackInfo info = pack::readCheckedHeader(pack).info;
    const QString folder = QStringLiteral("Extensions/") + QString::fromLatin1(info.id) + QLatin1Char('/');
    const QFileInfo program(folder + QString::fromUtf8(info.name + ".exe"));
    if (workspace.read(folder + QStringLiteral("ExtensionName.etn")) != info.name ||
        workspace.read(folder + QString::fromUtf8(info.name + ".control")) != info.control ||
        !program.isExecutable() || program.isSymLink())
        return QStringLiteral("incomplete extension folder");
    for (const extensions::Role role : extensions::kAllRoles) {
        const QString list = QString::fromLatin1("Start/" + extensions::startListFileName(role));
        const bool listed =
            extensions::readStartList(list.toUtf8()).value_or(QList<QByteArray>()).count(info.id) == 1;
        if (info.roles.contains(role) ? !listed : after.value(list) != before.value(list))
            return QStringLiteral("wrong in ") + list;
    }
#ifndef Q_OS_WIN // no permission bits there
    // Files keep only whether they run: 0755 or 0644, nothing more for others.
    const QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                        QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions runnable =
        readable | QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
    for (auto entry = after.begin(); entry != after.end(); ++entry) {
        const QByteArray mode = entry.value().left(entry.value().indexOf(' '));
        if (entry.key().startsWith(folder) && entry.value() != "folder" &&
            mode != QByteArray::number(static_cast<int>(readable)) &&
            mode != QByteArray::number(static_cast<int>(runnable)))
            return QStringLiteral("wrong permissions for ") + entry.key();
    }
#endif
    // Apart from the new folder, the lists and the note for ORVA that what ran
    // from the folder was ended, nothing changed: no leftovers.
    for (Workspace::Snapshot* entries : {&earlier, &after}) {
        for (auto entry = entries->begin(); entry != entries->end();) {
            const bool touched = entry.key().startsWith(QStringLiteral("Start")) ||
                                 entry.key().startsWith(folder.chopped(1)) ||
                                 entry.key() == QLatin1String("Extensions/.packsetup-changing");
            entry = touched ? entries->erase(entry) : std::next(entry);
        }
    }
    if (after != earlier)
        return QStringLiteral("changed beside the extension and its lists");
    Workspace::Snapshot installed = workspace.snapshot();
    const bool again = installer::ExtensionInstaller(limits).install(pack).ok();
    Workspace::Snapshot reinstalled = workspace.snapshot();
    for (Workspace::Snapshot* entries : {&installed, &reinstalled}) // the notice of each change
        entries->remove(QStringLiteral("Extensions/.packsetup-changing"));
    if (!again || reinstalled != installed)
        return QStringLiteral("installing again changed it");
    return {};
}
