#pragma once

// The installer's places under Extensions/ in the working directory. Work in
// progress lives in dot-named folders next to the extension folders, so that
// a rename puts a finished folder into place at once and an interrupted run
// leaves nothing that looks like an installed extension.

#include "orva/extensions/ExtensionLayout.h"
#include "platform/ExclusiveFileLock.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace installer {

class ExtensionFolders
{
public:
    QString extensionFolder(const QByteArray& id) const;
    // Where an installed extension waits while its upgrade is put into place.
    QString backupFolder(const QByteArray& id) const;
    // A fresh name for unpacking a pack into, and for a folder being deleted.
    QString newStagingFolder(const QByteArray& id) const;
    QString newRemovalFolder(const QByteArray& id) const;

    // Creates Extensions/ if needed and takes the lock that keeps a second
    // packsetup out; nullptr when another one holds it or it cannot be made.
    std::unique_ptr<platform::ExclusiveFileLock> lock() const;
    // What to say when lock() finds another packsetup at work.
    static QString busyMessage();

    // Finishes what an interrupted run left: staging and removal folders and
    // a half-written change notice are deleted; a backup is put back where
    // its extension folder is missing and deleted where the new folder made
    // it into place. Call with the lock held.
    void cleanLeftovers() const;

    // Renames a folder to a removal name and deletes it there, so that an
    // interruption never leaves a half-deleted folder under the old name.
    // False when not even the rename worked.
    bool removeFolder(const QString& folder, const QByteArray& id) const;

    // Deletes a folder with everything in it; a symbolic link is deleted
    // itself, never what it points to. What cannot be deleted stays.
    static void deleteTree(const QString& path);

private:
    // The layout's .\Extensions, relative to the working directory as ORVA's.
    QString m_root = QString::fromLatin1(extensions::kExtensionsFolderName);
};

} // namespace installer
