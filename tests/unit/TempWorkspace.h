#pragma once

// A fresh, empty working directory for one test: the on-disk layout is
// resolved against the current directory, so each test runs inside its own.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

class TempWorkspace
{
public:
    TempWorkspace() : m_previous(QDir::currentPath())
    {
        m_entered = m_dir.isValid() && QDir::setCurrent(m_dir.path());
    }
    ~TempWorkspace() { QDir::setCurrent(m_previous); }

    TempWorkspace(const TempWorkspace&) = delete;
    TempWorkspace& operator=(const TempWorkspace&) = delete;

    bool isValid() const { return m_entered; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& relative) const { return m_dir.filePath(relative); }

    // Writes `bytes` to a file given relative to the workspace, creating the
    // folders above it.
    bool writeFile(const QString& relative, const QByteArray& bytes,
                   QFileDevice::Permissions extra = QFileDevice::Permissions()) const
    {
        const QString full = filePath(relative);
        if (!QDir().mkpath(QFileInfo(full).absolutePath()))
            return false;
        QFile file(full);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const bool written = file.write(bytes) == bytes.size();
        file.close();
        if (extra)
            file.setPermissions(file.permissions() | extra);
        return written;
    }

    // Writes an executable shell script.
    bool writeScript(const QString& relative, const QByteArray& body) const
    {
        return writeFile(relative, QByteArrayLiteral("#!/bin/sh\n") + body,
                         QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    }

    bool makeDir(const QString& relative) const { return QDir().mkpath(filePath(relative)); }

    bool exists(const QString& relative) const { return QFileInfo::exists(filePath(relative)); }

    QByteArray readFile(const QString& relative) const
    {
        QFile file(filePath(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QString m_previous;
    QTemporaryDir m_dir;
    bool m_entered = false;
};
