// packsetup's whole install path, from the pack's bytes into a workspace that
// holds the five start lists and one installed extension (00000002 "Demo").
// After every input nothing outside the workspace has changed, Extensions/
// holds no staging, backup or lock leftovers, a refused pack changed nothing,
// and an accepted one is complete, runnable, entered into its lists, and
// installs again over itself.

#include "ExtensionInstaller.h"
#include "FuzzSupport.h"
#include "Platform.h"
#include "StartListReader.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>

namespace {

using Snapshot = QMap<QString, QByteArray>;

// Small bounds: one input cannot fill the disk or take long.
const packsetup::ArchiveLimits kLimits{64, 1 << 20};

const QMap<QString, QByteArray> kLists{
    {QStringLiteral("Start/Listener.etl"), "00000002\n"},
    {QStringLiteral("Start/Controller.etl"), "00000002\r\n"},
    {QStringLiteral("Start/Runner.etl"), ""},
    {QStringLiteral("Start/Structure.etl"), "00000002"},
    {QStringLiteral("Start/MainControllerExtension.etl"), " \n"},
};

QString g_base;      // holds only the pack, the sentinel folder and the workspace
QString g_workspace; // the current directory of every install
Snapshot g_fresh;    // the workspace before each install

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

QStringList entryNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

void resetWorkspace()
{
    // The workspace folder itself stays: it is the current directory.
    for (const QString& name : entryNames(g_workspace))
        FUZZ_CHECK(QDir(g_workspace + QLatin1Char('/') + name).removeRecursively());
    FUZZ_CHECK(QDir().mkpath(g_workspace + QStringLiteral("/Start")) &&
               QDir().mkpath(g_workspace + QStringLiteral("/Extensions/00000002")));
    for (auto list = kLists.begin(); list != kLists.end(); ++list)
        write(g_workspace + QLatin1Char('/') + list.key(), list.value());
    const QString demo = g_workspace + QStringLiteral("/Extensions/00000002/");
    write(demo + QStringLiteral("ExtensionName.etn"), "Demo");
    write(demo + QStringLiteral("Demo.control"), "00000002");
    write(demo + QStringLiteral("Demo.exe"), "#!/bin/sh\n");
    FUZZ_CHECK(platform::makeExecutable(demo + QStringLiteral("Demo.exe")));
}

// Every entry below `root`: folders, links with their targets, files with
// their permissions and contents.
Snapshot snapshot(const QString& root)
{
    Snapshot entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray& entry = entries[QDir(root).relativeFilePath(path)];
        if (info.isSymLink()) {
            entry = "link " + info.symLinkTarget().toUtf8();
        } else if (info.isDir()) {
            entry = "dir";
        } else {
            QFile file(path);
            entry = "file " + QByteArray::number(static_cast<int>(info.permissions())) + ' ' +
                    (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable"));
        }
    }
    return entries;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void checkInstalled(const pack::PackInfo& info)
{
    const QString folder = QStringLiteral("Extensions/") + QString::fromLatin1(info.id) + QLatin1Char('/');
    const QString name = QString::fromUtf8(info.name);
    FUZZ_CHECK(readAll(folder + QStringLiteral("ExtensionName.etn")) == info.name);
    FUZZ_CHECK(readAll(folder + name + QStringLiteral(".control")) == info.control);
    const QFileInfo program(folder + name + QStringLiteral(".exe"));
    FUZZ_CHECK(program.isFile() && !program.isSymLink() && program.isExecutable());
    // The id stands once in the lists of its roles; the other lists are as they were.
    for (const pack::Role role : pack::kAllRoles) {
        const QString list = QStringLiteral("Start/") + pack::startListFileName(role);
        const auto tokens = extensions::readStartList(list.toUtf8());
        FUZZ_CHECK(tokens);
        if (info.roles.contains(role))
            FUZZ_CHECK(tokens->count(info.id) == 1);
        else
            FUZZ_CHECK(readAll(list) == kLists.value(list));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    platform::useUtf8Conversions();
    g_base = fuzz::scratchFolder().path();
    g_workspace = g_base + QStringLiteral("/workspace");
    FUZZ_CHECK(QDir().mkpath(g_base + QStringLiteral("/sentinel")));
    resetWorkspace();
    g_fresh = snapshot(g_workspace);
    FUZZ_CHECK(QDir::setCurrent(g_workspace));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    resetWorkspace();
    const QString packPath = fuzz::writeInput(input, QStringLiteral("pack.etipack"));

    const packsetup::Outcome outcome = packsetup::ExtensionInstaller(kLimits).install(packPath);
    FUZZ_CHECK(!outcome.message.isEmpty());
    if (std::getenv("ORVA_FUZZ_VERBOSE")) // what a seed comes to, when seeds are made
        std::fprintf(stderr, "%d %s\n", outcome.exitStatus(), qPrintable(outcome.message));

    // Nothing outside the workspace, and the current directory is restored.
    FUZZ_CHECK(QDir::currentPath() == g_workspace);
    FUZZ_CHECK(entryNames(g_base) == (QStringList{QStringLiteral("pack.etipack"), QStringLiteral("sentinel"),
                                                  QStringLiteral("workspace")}));
    FUZZ_CHECK(entryNames(g_base + QStringLiteral("/sentinel")).isEmpty());
    FUZZ_CHECK(readAll(packPath) == input);

    // Only extension folders: no staging, backup, removal folder or lock.
    for (const QString& name : entryNames(QStringLiteral("Extensions")))
        FUZZ_CHECK(pack::isExtensionId(name.toUtf8()) &&
                   QFileInfo(QStringLiteral("Extensions/") + name).isDir());
    // Every list still holds its old bytes first and only extension ids.
    for (auto list = kLists.begin(); list != kLists.end(); ++list) {
        FUZZ_CHECK(readAll(list.key()).startsWith(list.value()));
        const auto tokens = extensions::readStartList(list.key().toUtf8());
        FUZZ_CHECK(tokens);
        for (const QByteArray& token : *tokens)
            FUZZ_CHECK(pack::isExtensionId(token));
    }

    Snapshot after = snapshot(g_workspace);
    if (!outcome.ok()) {
        FUZZ_CHECK(after == g_fresh);
        return 0;
    }
    const pack::CheckedHeader header = pack::readCheckedHeader(packPath);
    FUZZ_CHECK(header.ok());
    checkInstalled(header.info);
    // Apart from the new folder and the lists, nothing changed.
    Snapshot before = g_fresh;
    for (Snapshot* entries : {&before, &after}) {
        for (auto it = entries->begin(); it != entries->end();) {
            const bool touched =
                it.key().startsWith(QStringLiteral("Start/")) ||
                it.key().startsWith(QStringLiteral("Extensions/") + QString::fromLatin1(header.info.id));
            it = touched ? entries->erase(it) : std::next(it);
        }
    }
    FUZZ_CHECK(after == before);

    // Installing the same pack again is an upgrade that ends where the first
    // install ended.
    const Snapshot installed = snapshot(g_workspace);
    FUZZ_CHECK(packsetup::ExtensionInstaller(kLimits).install(packPath).ok());
    FUZZ_CHECK(snapshot(g_workspace) == installed);
    return 0;
}
