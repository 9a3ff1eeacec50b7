#pragma once

#include <QString>

namespace platform {

// An exclusive lock held through a file, which the system lets go when the
// process ends, however it ends: a killed process leaves nothing that keeps
// the next one out (a lock file that merely exists would, if the process was
// killed before it wrote its id into it).
class ExclusiveFileLock
{
public:
    // Tries once, without waiting; the file is created if need be.
    explicit ExclusiveFileLock(const QString& path);
    // Removes the file and lets go.
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

    bool isLocked() const;
    // Not locked because another holder has it, rather than because the file
    // cannot be made or opened (a read-only folder).
    bool isHeldElsewhere() const;

private:
    QString m_path;
    bool m_heldElsewhere = false;
#ifdef Q_OS_WIN
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

} // namespace platform
