#pragma once

// A fresh working directory for one test (the on-disk layout is resolved
// against the current directory), what tests write into it, and a snapshot
// to tell whether anything changed. The working directory is "work" inside
// a temporary folder that also holds the file "outside", where the stand-in
// programs log: the snapshot covers both, so that a write that escapes the
// workspace shows too.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

// The current data row's value of a column, as an expression.
#define ROW(Type, column) (*static_cast<Type*>(QTest::qData(#column, ::qMetaTypeId<Type>())))

class Workspace
{
public:
    Workspace() : m_previous(QDir::currentPath())
    {
        QDir(m_dir.path()).mkdir(QStringLiteral("work"));
        QFile outside(m_dir.filePath(QStringLiteral("outside")));
        outside.open(QIODevice::WriteOnly);
        QDir::setCurrent(path());
        qputenv("ORVA_TEST_LOG", QFile::encodeName(m_dir.filePath(QStringLiteral("outside"))));
    }
    ~Workspace() { QDir::setCurrent(m_previous); }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    QString path(const QString& relative = QString()) const
    {
        return m_dir.filePath(QStringLiteral("work/") + relative);
    }

    // Writes a file below the workspace, creating its folders.
    void write(const QString& relative, const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
    }

    QByteArray read(const QString& relative) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // What the stand-in programs wrote (tests/support/standin.cpp), in lines.
    QStringList log() const
    {
        return QString::fromUtf8(read(QStringLiteral("../outside"))).split(QLatin1Char('\n'));
    }

    // An installed extension: its name file, control file and program, a
    // copy of the tests' stand-in program.
    void addExtension(const QByteArray& id, const QByteArray& name, const QByteArray& control) const
    {
        const QString folder = QStringLiteral("Extensions/") + QString::fromLatin1(id) + QLatin1Char('/');
        write(folder + QStringLiteral("ExtensionName.etn"), name);
        write(folder + QString::fromUtf8(name) + QStringLiteral(".control"), control);
        QFile::copy(QStringLiteral(ORVA_TEST_STANDIN),
                    path(folder + QString::fromUtf8(name) + QStringLiteral(".exe")));
    }

    // Every entry below the temporary folder with its kind, permissions and
    // content, by its path relative to the working directory.
    using Snapshot = QMap<QString, QByteArray>;
    Snapshot snapshot() const
    {
        const QString root = m_dir.path();
        Snapshot entries;
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            QFile file(info.filePath());
            entries[QDir(path()).relativeFilePath(info.filePath())] =
                info.isSymLink() ? "link " + info.symLinkTarget().toUtf8()
                : info.isDir()   ? QByteArray("folder")
                                 : QByteArray::number(static_cast<int>(info.permissions())) + ' ' +
                                     (file.open(QIODevice::ReadOnly) ? file.readAll() : "unreadable");
        }
        return entries;
    }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};
