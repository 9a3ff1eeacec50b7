#include "PackBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <archive.h>
#include <archive_entry.h>

namespace {

la_ssize_t appendTo(archive*, void* data, const void* buffer, size_t length)
{
    static_cast<QByteArray*>(data)->append(static_cast<const char*>(buffer), static_cast<int>(length));
    return static_cast<la_ssize_t>(length);
}

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data) {
        crc ^= static_cast<unsigned char>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putLe(QByteArray& out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

PackBuilder& PackBuilder::file(const QByteArray& path, const QByteArray& data, int perm)
{
    m_entries.append({AE_IFREG, path, data, {}, false, perm});
    return *this;
}

PackBuilder& PackBuilder::dir(const QByteArray& path)
{
    m_entries.append({AE_IFDIR, path, {}, {}, false, 0755});
    return *this;
}

PackBuilder& PackBuilder::symlink(const QByteArray& path, const QByteArray& target)
{
    m_entries.append({AE_IFLNK, path, {}, target, false, 0777});
    return *this;
}

PackBuilder& PackBuilder::hardlink(const QByteArray& path, const QByteArray& target)
{
    m_entries.append({AE_IFREG, path, {}, target, true, 0644});
    return *this;
}

PackBuilder& PackBuilder::charDevice(const QByteArray& path)
{
    m_entries.append({AE_IFCHR, path, {}, {}, false, 0666});
    return *this;
}

PackBuilder& PackBuilder::fifo(const QByteArray& path)
{
    m_entries.append({AE_IFIFO, path, {}, {}, false, 0644});
    return *this;
}

QByteArray PackBuilder::body(Format format, Filter filter) const
{
    QByteArray out;
    archive* writer = archive_write_new();
    switch (format) {
    case Format::Pax:
        archive_write_set_format_pax_restricted(writer);
        break;
    case Format::Ustar:
        archive_write_set_format_ustar(writer);
        break;
    case Format::Gnu:
        archive_write_set_format_gnutar(writer);
        break;
    case Format::Zip:
        archive_write_set_format_zip(writer);
        break;
    }
    if (filter == Filter::Gzip)
        archive_write_add_filter_gzip(writer);
    else if (filter == Filter::Bzip2)
        archive_write_add_filter_bzip2(writer);
    else if (filter == Filter::Xz)
        archive_write_add_filter_xz(writer);
    archive_write_open(writer, &out, nullptr, appendTo, nullptr);
    for (const Entry& item : m_entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_copy_pathname(entry, item.path.constData());
        archive_entry_set_filetype(entry, item.type);
        archive_entry_set_perm(entry, static_cast<decltype(archive_entry_perm(entry))>(item.perm));
        archive_entry_set_mtime(entry, 1700000000, 0);
        if (item.type == AE_IFLNK)
            archive_entry_copy_symlink(entry, item.target.constData());
        if (item.hardlink)
            archive_entry_copy_hardlink(entry, item.target.constData());
        if (item.type == AE_IFCHR)
            archive_entry_set_rdev(entry, 0x0103); // what /dev/null is on Linux
        archive_entry_set_size(entry, item.type == AE_IFREG && !item.hardlink ? item.data.size() : 0);
        archive_write_header(writer, entry);
        if (!item.data.isEmpty())
            archive_write_data(writer, item.data.constData(), static_cast<size_t>(item.data.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return out;
}

QByteArray packBytes(const QByteArray& headerJson, const QByteArray& body)
{
    return headerJson + '~' + body;
}

QByteArray simpleHeader(const QByteArray& name, const QByteArray& id, const QByteArray& extraMembers)
{
    QByteArray header = "{\"name\":\"" + name + "\",\"id\":\"" + id + "\"";
    if (!extraMembers.isEmpty())
        header += ',' + extraMembers;
    return header + '}';
}

QByteArray tarWithDeclaredSize(const QByteArray& path, const QByteArray& data, qint64 declaredSize)
{
    QByteArray tar =
        PackBuilder().file(path, data).body(PackBuilder::Format::Ustar, PackBuilder::Filter::None);
    // ustar: size at 124 (12 octal bytes), checksum at 148 (8 bytes).
    const QByteArray size = QByteArray::number(declaredSize, 8).rightJustified(11, '0') + '\0';
    tar.replace(124, 12, size);
    tar.replace(148, 8, QByteArray(8, ' '));
    unsigned int sum = 0;
    for (int i = 0; i < 512; ++i)
        sum += static_cast<unsigned char>(tar.at(i));
    tar.replace(148, 8, QByteArray::number(sum, 8).rightJustified(6, '0') + '\0' + ' ');
    return tar;
}

namespace {

QByteArray gzipped(const QByteArray& data)
{
    QByteArray out;
    archive* writer = archive_write_new();
    archive_write_set_format_raw(writer);
    archive_write_add_filter_gzip(writer);
    archive_write_set_bytes_in_last_block(writer, 1); // no padding: members are concatenated
    archive_write_open(writer, &out, nullptr, appendTo, nullptr);
    archive_entry* entry = archive_entry_new();
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_size(entry, data.size());
    archive_write_header(writer, entry);
    archive_write_data(writer, data.constData(), static_cast<size_t>(data.size()));
    archive_entry_free(entry);
    archive_write_close(writer);
    archive_write_free(writer);
    return out;
}

} // namespace

QByteArray gzipBomb(const QByteArray& path, qint64 declaredSize)
{
    constexpr qint64 kMemberBytes = 8 << 20;
    // The tar's own closing blocks are zeros too: they become the file's data.
    QByteArray bomb = gzipped(tarWithDeclaredSize(path, QByteArray(), declaredSize));
    const QByteArray member = gzipped(QByteArray(kMemberBytes, '\0'));
    for (qint64 written = 0; written < declaredSize; written += kMemberBytes)
        bomb += member;
    return bomb;
}

QByteArray zipWithDeclaredSize(const QByteArray& path, const QByteArray& data, quint32 declaredSize)
{
    const QByteArray zlib = qCompress(data, 9);
    const QByteArray deflated = zlib.mid(6, zlib.size() - 10); // raw deflate: no zlib header or checksum
    const quint32 crc = crc32(data);
    QByteArray zip;
    putLe(zip, 0x04034b50, 4);
    putLe(zip, 20, 2); // version needed
    putLe(zip, 0, 2);  // flags
    putLe(zip, 8, 2);  // deflate
    putLe(zip, 0, 2);
    putLe(zip, 0x21, 2);
    putLe(zip, crc, 4);
    putLe(zip, static_cast<quint32>(deflated.size()), 4);
    putLe(zip, declaredSize, 4);
    putLe(zip, static_cast<quint32>(path.size()), 2);
    putLe(zip, 0, 2);
    zip += path + deflated;
    const quint32 central = static_cast<quint32>(zip.size());
    putLe(zip, 0x02014b50, 4);
    putLe(zip, 0x031E, 2); // made by Unix
    putLe(zip, 20, 2);
    putLe(zip, 0, 2);
    putLe(zip, 8, 2);
    putLe(zip, 0, 2);
    putLe(zip, 0x21, 2);
    putLe(zip, crc, 4);
    putLe(zip, static_cast<quint32>(deflated.size()), 4);
    putLe(zip, declaredSize, 4);
    putLe(zip, static_cast<quint32>(path.size()), 2);
    putLe(zip, 0, 2);
    putLe(zip, 0, 2);
    putLe(zip, 0, 2);
    putLe(zip, 0, 2);
    putLe(zip, 0100755u << 16, 4);
    putLe(zip, 0, 4);
    zip += path;
    const quint32 centralSize = static_cast<quint32>(zip.size()) - central;
    putLe(zip, 0x06054b50, 4);
    putLe(zip, 0, 4);
    putLe(zip, 1, 2);
    putLe(zip, 1, 2);
    putLe(zip, centralSize, 4);
    putLe(zip, central, 4);
    putLe(zip, 0, 2);
    return zip;
}

QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> tree;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray value = QByteArray::number(static_cast<int>(info.permissions()), 16) + ' ';
        if (info.isSymLink()) {
            value += "link " + info.symLinkTarget().toUtf8();
        } else if (info.isDir()) {
            value += "dir";
        } else {
            QFile file(info.filePath());
            value += file.open(QIODevice::ReadOnly) ? "file " + file.readAll() : QByteArray("unreadable");
        }
        tree.insert(base.relativeFilePath(info.filePath()), value);
    }
    return tree;
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
