#pragma once

#include <QObject>
#include <memory>

class QWidget;

namespace platform {
class ExclusiveFileLock;
class InstanceChannel;
} // namespace platform

// One ORVA per app folder: a second start in the folder would start every
// listener again, so it starts nothing and brings the running ORVA forward.
// The mark is a lock file in the working directory that the system lets go
// however ORVA ends (a killed ORVA keeps no later start out); the running
// ORVA is reached through a channel named after the folder and the user.
class RunningOrva : public QObject
{
    Q_OBJECT

public:
    // Ends the process when another ORVA runs in the working directory: with
    // status 0 once that one has brought its window forward, with status 1
    // after a box when it does not answer in time. Otherwise this ORVA is the
    // folder's for as long as this child of `mainWindow` lives, and answers
    // later starts. Where the mark cannot be made (a read-only folder), ORVA
    // starts without it, as before.
    explicit RunningOrva(QWidget* mainWindow);
    ~RunningOrva() override;

private:
    void bringForward();

    QWidget* m_mainWindow;
    std::unique_ptr<platform::ExclusiveFileLock> m_mark;
    std::unique_ptr<platform::InstanceChannel> m_channel;
};
