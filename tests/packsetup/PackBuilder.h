#pragma once

// Builds install packs in memory for the tests: any archive entry a hostile
// author could write (links, devices, paths leaving the folder), in the
// formats and filters packsetup reads, plus sizes that lie.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

class PackBuilder
{
public:
    enum class Format { Pax, Ustar, Gnu, Zip };
    enum class Filter { None, Gzip, Bzip2, Xz };

    PackBuilder& file(const QByteArray& path, const QByteArray& data = "data", int perm = 0644);
    PackBuilder& dir(const QByteArray& path);
    PackBuilder& symlink(const QByteArray& path, const QByteArray& target);
    PackBuilder& hardlink(const QByteArray& path, const QByteArray& target);
    PackBuilder& charDevice(const QByteArray& path);
    PackBuilder& fifo(const QByteArray& path);

    // The archive's bytes.
    QByteArray body(Format format = Format::Pax, Filter filter = Filter::Gzip) const;

private:
    struct Entry
    {
        unsigned int type;
        QByteArray path;
        QByteArray data;
        QByteArray target;
        bool hardlink = false;
        int perm = 0644;
    };
    QList<Entry> m_entries;
};

// A header of the given members (values written as they are, JSON) and a body.
QByteArray packBytes(const QByteArray& headerJson, const QByteArray& body);
// {"name": name, "id": id} plus extra JSON members ("\"roles\":[...]").
QByteArray simpleHeader(const QByteArray& name, const QByteArray& id, const QByteArray& extraMembers = {});

// A plain ustar archive holding one file whose header declares `declaredSize`
// bytes while `data` follows.
QByteArray tarWithDeclaredSize(const QByteArray& path, const QByteArray& data, qint64 declaredSize);
// A zip holding one deflated file whose headers declare `declaredSize` bytes.
QByteArray zipWithDeclaredSize(const QByteArray& path, const QByteArray& data, quint32 declaredSize);

// A gzip stream of tarWithDeclaredSize(path, "", declaredSize) followed by
// that many zeros in gzip members of 8 MiB: a few MB that unpack to GiBs.
QByteArray gzipBomb(const QByteArray& path, qint64 declaredSize);

// Every file, folder and link below `root`, with file contents, links'
// targets and permissions: equal snapshots mean nothing changed.
QMap<QString, QByteArray> snapshot(const QString& root);

bool writeBytes(const QString& path, const QByteArray& bytes);
