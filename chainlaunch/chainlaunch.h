#pragma once

#include <QMainWindow>
#include <QProcess>
#include <memory>

// Runs one program to its end, then starts a second one and ends the process.
// All the work happens in the constructor; the window is shown only when the
// first program could not be started.
class chainlaunch : public QMainWindow
{
    Q_OBJECT

public:
    // A run keeps going this long after each program start.
    static constexpr int kPauseAfterStartMs = 1000;

    chainlaunch(int argc, char* argv[], QWidget* parent = nullptr);
    ~chainlaunch() override;

private:
    std::unique_ptr<QProcess> m_firstProgram;
};
