#pragma once

// The installer's own copy of a pack, in a staging folder under Extensions/:
// what is checked, shown to the user and unpacked is this one copy, so that
// the pack's file changing meanwhile (it may sit in a folder others can
// write) cannot slip other bytes past the signature and the question. The
// folder goes when the copy does; an interrupted run leaves it to the next
// run's clean-up.

#include "ExtensionFolders.h"
#include "pack/Outcome.h"

#include <QString>

namespace installer {

class PackCopy
{
public:
    explicit PackCopy(const ExtensionFolders& folders) : m_folders(folders) {}
    ~PackCopy();
    PackCopy(const PackCopy&) = delete;
    PackCopy& operator=(const PackCopy&) = delete;

    // Copies the pack; PackUnreadable when it cannot be read (or is no
    // regular file), IoFailure with the system's reason when the copy cannot
    // be written.
    pack::Outcome take(const QString& packPath);
    QString path() const { return m_path; }

private:
    const ExtensionFolders& m_folders;
    QString m_folder;
    QString m_path;
};

} // namespace installer
