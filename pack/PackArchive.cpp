#include "PackArchive.h"

#include "platform/Platform.h"

#include <QDir>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>

namespace pack {
namespace {

struct ReadArchiveFree
{
    void operator()(archive* reader) const { archive_read_free(reader); }
};
struct WriteArchiveFree
{
    void operator()(archive* writer) const { archive_write_free(writer); }
};
using ReadArchive = std::unique_ptr<archive, ReadArchiveFree>;
using WriteArchive = std::unique_ptr<archive, WriteArchiveFree>;

// The archive reader asks the stream; with no seek or skip callback it reads
// every byte through here, in order.
struct StreamSource
{
    BodyStream* body = nullptr;
    bool readFailed = false;
};

la_ssize_t readStream(archive* reader, void* data, const void** block)
{
    auto* source = static_cast<StreamSource*>(data);
    const char* bytes = nullptr;
    const qint64 size = source->body->next(&bytes);
    if (size < 0) {
        source->readFailed = true;
        archive_set_error(reader, EIO, "%s", "cannot read the pack file");
        return -1;
    }
    *block = bytes;
    return static_cast<la_ssize_t>(size);
}

// Filters that libarchive would run as an external program when it lacks the
// library are left out: a pack never starts a program.
void supportBuiltInFilter(archive* reader, int (*support)(archive*))
{
    archive* probe = archive_read_new();
    const bool builtIn = support(probe) == ARCHIVE_OK;
    archive_read_free(probe);
    if (builtIn)
        support(reader);
}

// Entries are written relative to the staging folder, so that libarchive's
// refusal of absolute paths applies; the previous directory comes back on
// every way out.
class CurrentDirectoryGuard
{
public:
    explicit CurrentDirectoryGuard(const QString& folder) : m_previous(QDir::currentPath())
    {
        m_entered = QDir::setCurrent(folder);
    }
    ~CurrentDirectoryGuard() { QDir::setCurrent(m_previous); }
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

    bool entered() const { return m_entered; }

private:
    QString m_previous;
    bool m_entered = false;
};

QString libraryError(archive* handle)
{
    const char* text = archive_error_string(handle);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

// The disk writer's error with the system's reason ("No space left on
// device"), which its own text leaves out.
QString diskError(archive* disk)
{
    QString detail = libraryError(disk);
    const int code = archive_errno(disk);
    if (code > 0)
        detail += QStringLiteral(" (") + qt_error_string(code) + QStringLiteral(")");
    return detail;
}

QString entryTypeName(unsigned int type)
{
    switch (type) {
    case AE_IFLNK:
        return QStringLiteral("符号链接");
    case AE_IFCHR:
        return QStringLiteral("字符设备");
    case AE_IFBLK:
        return QStringLiteral("块设备");
    case AE_IFIFO:
        return QStringLiteral("命名管道（FIFO）");
    case AE_IFSOCK:
        return QStringLiteral("套接字");
    default:
        return QStringLiteral("未知类型的条目");
    }
}

ArchiveProblem problemOf(ArchiveProblemCode code, const QByteArray& entry = QByteArray(),
                         const QString& detail = QString())
{
    ArchiveProblem problem;
    problem.code = code;
    problem.entry = entry;
    problem.detail = detail;
    return problem;
}

// Only what the entry rules allow and what the installer wants restored is
// handed on to the disk writer: no owner, ACL, extended attributes or flags,
// permissions reduced to 0755 or 0644, and no declared size (which would let
// the writer extend the file beyond the data really read).
void reduceForDisk(archive_entry* entry, const QByteArray& path)
{
#ifdef Q_OS_WIN
    // The disk writer takes the wide name, which libarchive would otherwise
    // make of the UTF-8 one through the C runtime's locale.
    archive_entry_copy_pathname_w(entry, QString::fromUtf8(path).toStdWString().c_str());
#else
    archive_entry_set_pathname_utf8(entry, path.constData());
#endif
    const bool directory = archive_entry_filetype(entry) == AE_IFDIR;
    const bool executable = (archive_entry_perm(entry) & 0111) != 0;
    archive_entry_set_perm(entry, directory || executable ? 0755 : 0644);
    archive_entry_acl_clear(entry);
    archive_entry_xattr_clear(entry);
    archive_entry_set_fflags(entry, 0, 0);
    archive_entry_unset_size(entry);
}

// An entry's name as UTF-8, or nothing when it is not valid UTF-8. On Windows
// libarchive keeps names as UTF-16 and would make UTF-8 of them through the C
// runtime's locale, which holds no CJK character: they are taken wide there.
std::optional<QByteArray> entryPathUtf8(archive_entry* entry)
{
#ifdef Q_OS_WIN
    if (const wchar_t* wide = archive_entry_pathname_w(entry))
        return QString::fromWCharArray(wide).toUtf8();
    return std::nullopt;
#else
    if (const char* utf8 = archive_entry_pathname_utf8(entry))
        return QByteArray(utf8);
    return std::nullopt;
#endif
}

// The room on the staging folder's disk, kept above the limits' minimum free
// bytes, asked of the system only when the bytes counted since it last
// answered could have used up half of what it said: a pack of many small
// files costs a handful of questions, not one per file. A disk that tells
// nothing is left to the writes themselves.
class DiskRoom
{
public:
    DiskRoom(QString folder, const ArchiveLimits& limits) : m_folder(std::move(folder)), m_limits(limits) {}

    // Whether `bytes` more can be written.
    bool fits(qint64 bytes)
    {
        if (bytes <= 0 || m_folder.isEmpty())
            return true;
        m_counted += bytes;
        if (!m_asked || (m_room && m_counted > *m_room / 2)) {
            m_asked = true;
            const std::optional<platform::DiskSpace> disk = platform::diskSpace(m_folder);
            m_minFree = m_limits.minFreeOn(disk ? disk->total : 0);
            m_room = disk ? std::optional<qint64>(disk->available - m_minFree) : std::nullopt;
            m_counted = bytes;
        }
        return !m_room || m_counted <= *m_room;
    }

    // What must stay free, as reckoned when the system was last asked.
    qint64 minFree() const { return m_minFree; }

private:
    QString m_folder;
    const ArchiveLimits& m_limits;
    bool m_asked = false;
    qint64 m_minFree = 0;
    std::optional<qint64> m_room; // what may be written beyond the minimum free, when asked
    qint64 m_counted = 0;         // since m_room was asked, these bytes included
};

// Reading: anything but OK and WARN is a failure; damaged tar headers come
// back as RETRY, which lies above WARN.
bool failed(la_ssize_t status)
{
    return status != ARCHIVE_OK && status != ARCHIVE_WARN;
}

// Writing: the disk writer reports a failed write (a full disk) as WARN, so
// only OK counts.
bool diskFailed(la_ssize_t status)
{
    return status != ARCHIVE_OK;
}

} // namespace

PackArchive::PackArchive(BodyStream& body, const ArchiveLimits& limits) : m_body(body), m_limits(limits) {}

ArchiveResult PackArchive::scan()
{
    return run(nullptr);
}

ArchiveResult PackArchive::extractTo(const QString& folder)
{
    return run(&folder);
}

ArchiveResult PackArchive::run(const QString* folder)
{
    ArchiveResult result;
    const auto refuse = [&result](ArchiveProblem problem) {
        result.problem = std::move(problem);
        return result;
    };
    StreamSource source{&m_body};
    ReadArchive reader(archive_read_new());
    archive_read_support_format_tar(reader.get());
    archive_read_support_format_zip(reader.get());
    supportBuiltInFilter(reader.get(), archive_read_support_filter_gzip);
    supportBuiltInFilter(reader.get(), archive_read_support_filter_bzip2);
    supportBuiltInFilter(reader.get(), archive_read_support_filter_xz);
    supportBuiltInFilter(reader.get(), archive_read_support_filter_zstd);
#ifdef Q_OS_WIN
    // Names are decoded as UTF-8, never through the process's code page.
    archive_read_set_options(reader.get(), "hdrcharset=UTF-8");
#endif
    archive_read_set_callback_data(reader.get(), &source);
    archive_read_set_read_callback(reader.get(), readStream);

    const auto readFailure = [&](ArchiveProblemCode code) {
        if (source.readFailed)
            return problemOf(ArchiveProblemCode::CannotRead, {}, m_body.readError());
        return problemOf(code, {}, libraryError(reader.get()));
    };
    if (archive_read_open1(reader.get()) != ARCHIVE_OK)
        return refuse(readFailure(ArchiveProblemCode::NotAnArchive));

    // Declared before the writer, so that the writer's final fix-ups (folder
    // times) still run inside the staging folder.
    std::unique_ptr<CurrentDirectoryGuard> directory;
    WriteArchive writer;
    QString disk; // the staging folder, absolute: the writer works inside it
    if (folder) {
        const QString absolute = QDir(*folder).absolutePath();
        disk = absolute;
        directory = std::make_unique<CurrentDirectoryGuard>(absolute);
        if (!directory->entered())
            return refuse(
                problemOf(ArchiveProblemCode::WriteFailed, {},
                          QStringLiteral("cannot enter %1").arg(QDir::toNativeSeparators(absolute))));
        writer.reset(archive_write_disk_new());
        archive_write_disk_set_options(
            writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS |
                              ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_TIME);
    }

    DiskRoom room(disk, m_limits);
    qint64 entryCount = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (failed(status)) {
            // Nothing recognised at all: not an archive; later: a damaged one.
            const bool recognised = entryCount > 0 || archive_format(reader.get()) != 0;
            return refuse(
                readFailure(recognised ? ArchiveProblemCode::Damaged : ArchiveProblemCode::NotAnArchive));
        }
        if (++entryCount > m_limits.maxEntries)
            return refuse(
                problemOf(ArchiveProblemCode::TooManyEntries, {}, QString::number(m_limits.maxEntries)));

        const std::optional<QByteArray> utf8 = entryPathUtf8(entry);
        if (!utf8) {
            const char* raw = archive_entry_pathname(entry);
            return refuse(problemOf(ArchiveProblemCode::NotUtf8Path, raw ? QByteArray(raw) : QByteArray()));
        }
        const QByteArray& path = *utf8;
        if (archive_entry_hardlink(entry) != nullptr)
            return refuse(problemOf(ArchiveProblemCode::HardLink, path));
        const unsigned int type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR)
            return refuse(problemOf(ArchiveProblemCode::EntryType, path, entryTypeName(type)));
        QByteArray normalized;
        ArchiveProblem pathProblem = checkEntryPath(path, normalized);
        if (pathProblem.code != ArchiveProblemCode::None)
            return refuse(pathProblem);
        if (normalized.isEmpty() && type != AE_IFDIR) {
            ArchiveProblem empty = problemOf(ArchiveProblemCode::BadPathPart, path);
            empty.part.issue = FileNameIssue::Empty;
            return refuse(empty);
        }

        // A size the entry declares that cannot fit is refused before any of
        // it is written; the bound itself counts the data really read, as does
        // the room beyond the declared size (none for a streamed entry).
        const qint64 declared = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
        const auto noRoom = [&] {
            return refuse(problemOf(ArchiveProblemCode::DiskFull, path, QString::number(room.minFree())));
        };
        if (writer && !room.fits(declared))
            return noRoom();
        if (declared > m_limits.maxBytes - result.totalBytes)
            return refuse(problemOf(ArchiveProblemCode::TooLarge, {}, QString::number(m_limits.maxBytes)));

        // "." is the staging folder itself: it is neither listed nor written.
        const bool write = writer && !normalized.isEmpty();
        if (write) {
            reduceForDisk(entry, normalized);
            if (diskFailed(archive_write_header(writer.get(), entry)))
                return refuse(problemOf(ArchiveProblemCode::WriteFailed, path, diskError(writer.get())));
        }

        // The bound counts the file as it ends up on disk: up to the end of
        // the furthest block really read, whatever the header declared.
        qint64 extent = 0;
        for (;;) {
            const void* block = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            const int read = archive_read_data_block(reader.get(), &block, &size, &offset);
            if (read == ARCHIVE_EOF)
                break;
            // Data comes back with WARN when its checksum is wrong: damaged.
            if (read != ARCHIVE_OK)
                return refuse(readFailure(ArchiveProblemCode::Damaged));
            if (offset < 0 || static_cast<quint64>(size) > quint64(m_limits.maxBytes))
                return refuse(
                    problemOf(ArchiveProblemCode::TooLarge, {}, QString::number(m_limits.maxBytes)));
            const qint64 counted = qMax(extent, declared);
            extent = qMax(extent, qint64(offset) + qint64(size));
            if (result.totalBytes + extent > m_limits.maxBytes)
                return refuse(
                    problemOf(ArchiveProblemCode::TooLarge, {}, QString::number(m_limits.maxBytes)));
            if (write && !room.fits(extent - counted))
                return noRoom();
            if (write && type == AE_IFREG && size > 0 &&
                diskFailed(archive_write_data_block(writer.get(), block, size, offset)))
                return refuse(problemOf(ArchiveProblemCode::WriteFailed, path, diskError(writer.get())));
        }
        if (write && diskFailed(archive_write_finish_entry(writer.get())))
            return refuse(problemOf(ArchiveProblemCode::WriteFailed, path, diskError(writer.get())));

        result.totalBytes += extent;
        if (!normalized.isEmpty())
            result.entries.append(ArchiveEntry{normalized, type == AE_IFDIR, extent});
    }
    if (writer && diskFailed(archive_write_close(writer.get())))
        return refuse(problemOf(ArchiveProblemCode::WriteFailed, {}, diskError(writer.get())));
    return result;
}

} // namespace pack
