#include "PackArchive.h"

#include <QDir>
#include <QFile>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>

namespace pack {
namespace {

constexpr qint64 kReadBlockBytes = qint64{64} * 1024;
constexpr qint64 kProgressStepBytes = qint64{1024} * 1024;

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

// The body as libarchive sees it: the pack file from the body's first byte,
// through QFile so that any path the platform can name opens.
struct BodySource
{
    QFile file;
    qint64 bodyOffset = 0;
    QByteArray buffer;
    QString readError; // set when the file itself could not be read
};

la_ssize_t readBody(archive* reader, void* data, const void** block)
{
    auto* source = static_cast<BodySource*>(data);
    const qint64 read = source->file.read(source->buffer.data(), source->buffer.size());
    if (read < 0) {
        source->readError = source->file.errorString();
        archive_set_error(reader, EIO, "%s", "cannot read the pack file");
        return -1;
    }
    *block = source->buffer.constData();
    return static_cast<la_ssize_t>(read);
}

la_int64_t seekBody(archive*, void* data, la_int64_t offset, int whence)
{
    auto* source = static_cast<BodySource*>(data);
    qint64 base = source->bodyOffset;
    if (whence == SEEK_CUR)
        base = source->file.pos();
    else if (whence == SEEK_END)
        base = source->file.size();
    const qint64 target = base + offset;
    if (target < source->bodyOffset || !source->file.seek(target))
        return ARCHIVE_FATAL;
    return target - source->bodyOffset;
}

la_int64_t skipBody(archive*, void* data, la_int64_t request)
{
    auto* source = static_cast<BodySource*>(data);
    const qint64 from = source->file.pos();
    const qint64 target = qMin(from + qMax<qint64>(request, 0), source->file.size());
    if (!source->file.seek(target))
        return 0;
    return target - from;
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

PackArchive::PackArchive(const QString& packPath, qint64 bodyOffset, const ArchiveLimits& limits)
    : m_packPath(packPath), m_bodyOffset(bodyOffset), m_limits(limits)
{}

ArchiveResult PackArchive::scan() const
{
    return run(nullptr);
}

ArchiveResult PackArchive::extractTo(const QString& folder) const
{
    return run(&folder);
}

ArchiveResult PackArchive::run(const QString* folder) const
{
    ArchiveResult result;
    const auto refuse = [&result](ArchiveProblem problem) {
        result.problem = std::move(problem);
        return result;
    };
    if (m_bodyOffset < 0)
        return refuse(problemOf(ArchiveProblemCode::NoBody));

    BodySource source;
    source.file.setFileName(m_packPath);
    source.bodyOffset = m_bodyOffset;
    source.buffer.resize(static_cast<int>(kReadBlockBytes));
    if (!source.file.open(QIODevice::ReadOnly) || !source.file.seek(m_bodyOffset))
        return refuse(problemOf(ArchiveProblemCode::CannotRead, {}, source.file.errorString()));

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
    archive_read_set_read_callback(reader.get(), readBody);
    archive_read_set_seek_callback(reader.get(), seekBody);
    archive_read_set_skip_callback(reader.get(), skipBody);

    const auto readFailure = [&](ArchiveProblemCode code) {
        if (!source.readError.isEmpty())
            return problemOf(ArchiveProblemCode::CannotRead, {}, source.readError);
        return problemOf(code, {}, libraryError(reader.get()));
    };
    if (archive_read_open1(reader.get()) != ARCHIVE_OK)
        return refuse(readFailure(ArchiveProblemCode::NotAnArchive));

    // Declared before the writer, so that the writer's final fix-ups (folder
    // times) still run inside the staging folder.
    std::unique_ptr<CurrentDirectoryGuard> directory;
    WriteArchive disk;
    if (folder) {
        const QString absolute = QDir(*folder).absolutePath();
        directory = std::make_unique<CurrentDirectoryGuard>(absolute);
        if (!directory->entered())
            return refuse(
                problemOf(ArchiveProblemCode::WriteFailed, {},
                          QStringLiteral("cannot enter %1").arg(QDir::toNativeSeparators(absolute))));
        disk.reset(archive_write_disk_new());
        archive_write_disk_set_options(
            disk.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS |
                            ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_TIME);
    }

    qint64 entryCount = 0;
    qint64 lastReported = 0;
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

        // "." is the staging folder itself: it is neither listed nor written.
        const bool write = disk && !normalized.isEmpty();
        if (write) {
            reduceForDisk(entry, normalized);
            if (diskFailed(archive_write_header(disk.get(), entry)))
                return refuse(problemOf(ArchiveProblemCode::WriteFailed, path, diskError(disk.get())));
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
            extent = qMax(extent, qint64(offset) + qint64(size));
            if (result.totalBytes + extent > m_limits.maxBytes)
                return refuse(
                    problemOf(ArchiveProblemCode::TooLarge, {}, QString::number(m_limits.maxBytes)));
            if (write && type == AE_IFREG && size > 0 &&
                diskFailed(archive_write_data_block(disk.get(), block, size, offset)))
                return refuse(problemOf(ArchiveProblemCode::WriteFailed, path, diskError(disk.get())));
            if (m_progress && result.totalBytes + extent - lastReported >= kProgressStepBytes) {
                lastReported = result.totalBytes + extent;
                m_progress(lastReported);
            }
        }
        if (write && diskFailed(archive_write_finish_entry(disk.get())))
            return refuse(problemOf(ArchiveProblemCode::WriteFailed, path, diskError(disk.get())));

        result.totalBytes += extent;
        if (!normalized.isEmpty())
            result.entries.append(ArchiveEntry{normalized, type == AE_IFDIR, extent});
    }
    if (disk && diskFailed(archive_write_close(disk.get())))
        return refuse(problemOf(ArchiveProblemCode::WriteFailed, {}, diskError(disk.get())));
    if (m_progress)
        m_progress(result.totalBytes);
    return result;
}

} // namespace pack
