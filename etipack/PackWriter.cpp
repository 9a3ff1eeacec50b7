#include "PackWriter.h"

#include "orva/extensions/ExtensionLayout.h"
#include "pack/EntryRules.h"
#include "pack/HeaderWriter.h"
#include "pack/PackCheck.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <archive.h>
#include <archive_entry.h>
#include <memory>
#include <nlohmann/json.hpp>

namespace etipack {
namespace {

using pack::ArchiveProblem;
using pack::ArchiveProblemCode;
using pack::ExitCode;
using pack::Outcome;

struct FolderEntry
{
    QString filePath; // on disk
    QByteArray path;  // in the archive
    bool directory = false;
    bool executable = false;
    qint64 size = 0;
};

Outcome failure(ExitCode code, const QString& reason)
{
    return Outcome{code, QStringLiteral("无法创建安装包：") + reason};
}

Outcome refusedEntry(ArchiveProblemCode code, const QByteArray& entry, const QString& detail = QString())
{
    ArchiveProblem problem;
    problem.code = code;
    problem.entry = entry;
    problem.detail = detail;
    return failure(ExitCode::ArchiveRefused, pack::archiveProblemMessage(problem));
}

// Lists the folder without following links; every entry is checked by the
// same rules packsetup applies to an archive.
Outcome listFolder(const QString& folder, const pack::PackInfo& info, const pack::ArchiveLimits& limits,
                   QList<FolderEntry>& entries)
{
    const QDir root(QFileInfo(folder).absoluteFilePath());
    QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    qint64 total = 0;
    while (it.hasNext()) {
        it.next();
        const QFileInfo file = it.fileInfo();
        FolderEntry entry;
        entry.filePath = file.filePath();
        const QByteArray path = root.relativeFilePath(file.filePath()).toUtf8();
        if (file.isSymLink())
            return refusedEntry(ArchiveProblemCode::EntryType, path, QStringLiteral("符号链接"));
        if (!file.isDir() && !file.isFile())
            return refusedEntry(ArchiveProblemCode::EntryType, path, QStringLiteral("特殊文件"));
        ArchiveProblem problem = pack::checkEntryPath(path, entry.path);
        if (problem.code != ArchiveProblemCode::None)
            return failure(ExitCode::ArchiveRefused, pack::archiveProblemMessage(problem));
        entry.directory = file.isDir();
        entry.size = entry.directory ? 0 : file.size();
        entry.executable =
            !entry.directory && (file.isExecutable() || entry.path == info.name + extensions::kProgramSuffix);
        total += entry.size;
        entries.append(entry);
        if (entries.size() > limits.maxEntries)
            return refusedEntry(ArchiveProblemCode::TooManyEntries, {}, QString::number(limits.maxEntries));
        if (total > limits.maxBytes)
            return refusedEntry(ArchiveProblemCode::TooLarge, {}, QString::number(limits.maxBytes));
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.path < b.path; });

    QList<pack::ArchiveEntry> listed;
    for (const FolderEntry& entry : entries)
        listed.append(pack::ArchiveEntry{entry.path, entry.directory, entry.size});
    const ArchiveProblem contents = pack::checkPackContents(listed, info.name);
    if (contents.code != ArchiveProblemCode::None)
        return failure(ExitCode::ArchiveRefused, pack::archiveProblemMessage(contents));
    return {};
}

struct WriteArchiveFree
{
    void operator()(archive* writer) const { archive_write_free(writer); }
};
struct EntryFree
{
    void operator()(archive_entry* entry) const { archive_entry_free(entry); }
};

la_ssize_t writeToFile(archive* writer, void* data, const void* buffer, size_t length)
{
    auto* file = static_cast<QSaveFile*>(data);
    const qint64 written = file->write(static_cast<const char*>(buffer), static_cast<qint64>(length));
    if (written != static_cast<qint64>(length)) {
        archive_set_error(writer, EIO, "%s", "write failed");
        return -1;
    }
    return static_cast<la_ssize_t>(written);
}

QString writerError(archive* writer, QSaveFile& file)
{
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    const char* text = archive_error_string(writer);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

// The body: a pax tar (UTF-8 names) compressed with gzip.
bool writeBody(QSaveFile& file, const QList<FolderEntry>& entries, QString& error)
{
    std::unique_ptr<archive, WriteArchiveFree> writer(archive_write_new());
    archive_write_set_format_pax_restricted(writer.get());
    archive_write_add_filter_gzip(writer.get());
    // No padding of the compressed stream to a whole 10 KiB block.
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    if (archive_write_open(writer.get(), &file, nullptr, writeToFile, nullptr) != ARCHIVE_OK) {
        error = writerError(writer.get(), file);
        return false;
    }
    constexpr int bufferBytes = 64 * 1024;
    QByteArray buffer(bufferBytes, Qt::Uninitialized);
    for (const FolderEntry& source : entries) {
        std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
        archive_entry_set_pathname_utf8(entry.get(), source.path.constData());
        archive_entry_set_filetype(entry.get(), source.directory ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry.get(), source.directory || source.executable ? 0755 : 0644);
        archive_entry_set_size(entry.get(), source.size);
        archive_entry_set_mtime(entry.get(), QFileInfo(source.filePath).lastModified().toSecsSinceEpoch(), 0);
        if (archive_write_header(writer.get(), entry.get()) < ARCHIVE_WARN) {
            error = writerError(writer.get(), file);
            return false;
        }
        if (source.directory)
            continue;
        QFile input(source.filePath);
        if (!input.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("无法读取\"%1\"：%2")
                        .arg(QDir::toNativeSeparators(source.filePath), input.errorString());
            return false;
        }
        qint64 copied = 0;
        for (;;) {
            const qint64 read = input.read(buffer.data(), buffer.size());
            if (read < 0) {
                error = QStringLiteral("无法读取\"%1\"：%2")
                            .arg(QDir::toNativeSeparators(source.filePath), input.errorString());
                return false;
            }
            if (read == 0)
                break;
            copied += read;
            if (copied > source.size)
                break;
            if (archive_write_data(writer.get(), buffer.constData(), static_cast<size_t>(read)) != read) {
                error = writerError(writer.get(), file);
                return false;
            }
        }
        // A file that grew or shrank while it was packed would not match its header.
        if (copied != source.size) {
            error = QStringLiteral("\"%1\"在打包时被修改了").arg(QDir::toNativeSeparators(source.filePath));
            return false;
        }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
        error = writerError(writer.get(), file);
        return false;
    }
    return true;
}

bool isInside(const QString& path, const QString& folder)
{
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QString parent = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    return !canonicalFolder.isEmpty() && !parent.isEmpty() &&
           (parent == canonicalFolder || parent.startsWith(canonicalFolder + QLatin1Char('/')));
}

} // namespace

pack::CheckedHeader checkFields(const HeaderFields& fields)
{
    nlohmann::ordered_json header;
    header["name"] = fields.name.toStdString();
    header["id"] = fields.id.toStdString();
    nlohmann::ordered_json roles = nlohmann::ordered_json::array();
    for (const QString& role : fields.roles)
        roles.push_back(role.toStdString());
    header["roles"] = roles;
    if (fields.control)
        header["control"] = fields.control->toStdString();
    if (fields.version)
        header["version"] = fields.version->toStdString();
    if (fields.description)
        header["description"] = fields.description->toStdString();
    if (fields.author)
        header["author"] = fields.author->toStdString();
    const std::string json = header.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return pack::checkHeader(QByteArray(json.data(), static_cast<int>(json.size())));
}

Outcome PackWriter::create(const QString& folder, const HeaderFields& fields, const QString& output,
                           const std::optional<pack::SigningKey>& key) const
{
    const pack::CheckedHeader checked = checkFields(fields);
    if (!checked.ok())
        return failure(pack::exitCodeFor(checked.problem), pack::headerProblemMessage(checked.problem));
    const pack::PackInfo& info = checked.info;

    if (!QFileInfo(folder).isDir())
        return failure(ExitCode::PackUnreadable,
                       QStringLiteral("\"%1\"不是文件夹。").arg(QDir::toNativeSeparators(folder)));
    if (isInside(output, folder))
        return failure(ExitCode::Usage, QStringLiteral("输出文件不能放在要打包的文件夹里。"));

    QList<FolderEntry> entries;
    Outcome listed = listFolder(folder, info, m_limits, entries);
    if (!listed.ok())
        return listed;

    const QByteArray header = pack::headerJson(info, true);
    QSaveFile file(output);
    QString error;
    if (!file.open(QIODevice::WriteOnly) || file.write(header + "\n~") != header.size() + 2 ||
        !writeBody(file, entries, error) || !file.commit()) {
        file.cancelWriting();
        if (error.isEmpty())
            error = file.errorString();
        return failure(ExitCode::IoFailure,
                       QStringLiteral("无法写入\"%1\"：%2。").arg(QDir::toNativeSeparators(output), error));
    }
    if (key && !pack::signPack(output, *key, output, error)) {
        QFile::remove(output);
        return failure(ExitCode::IoFailure, error);
    }

    // Read back as packsetup reads it: what etipack writes must install.
    const pack::PackCheck written = pack::checkPack(output, m_limits);
    if (!written.verdict.ok() || pack::headerJson(written.header.info, true) != header ||
        (key && written.signature.signer != key->author())) {
        QFile::remove(output);
        return failure(ExitCode::IoFailure,
                       QStringLiteral("写出的安装包读回时不一致：%1").arg(written.verdict.message));
    }
    QString message =
        QStringLiteral("已写入\"%1\"：扩展\"%2\"（标识%3），%4个条目，解压后共%5字节。")
            .arg(QDir::toNativeSeparators(output), QString::fromUtf8(info.name), QString::fromLatin1(info.id))
            .arg(written.archive.entries.size())
            .arg(written.archive.totalBytes);
    if (key)
        message += QStringLiteral("\n已用作者密钥%1签名。").arg(key->author().fingerprint());
    return Outcome{ExitCode::Success, message};
}

} // namespace etipack
