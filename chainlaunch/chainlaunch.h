#pragma once

#include <QMainWindow>

// Runs one program to its end, then starts a second one and ends the process.
class chainlaunch : public QMainWindow
{
    Q_OBJECT

public:
    // A run keeps going this long after each program start.
    static constexpr int kPauseAfterStartMs = 1000;

    enum class FirstProgram { NeverRan, Ended };

    // The run without any window, for which a QCoreApplication is enough.
    // With no program it ends the process with status 1; with two, once the
    // first one has ended, it starts the second and ends the process.
    // Otherwise it returns what became of the first program.
    static FirstProgram run(int argc, char* argv[]);

    // run(), then the end message when the first program ended. The window
    // is to be shown only when the first program could not be started.
    chainlaunch(int argc, char* argv[], QWidget* parent = nullptr);
    // The empty window, after run() found that the first program never ran.
    explicit chainlaunch(QWidget* parent = nullptr);
    ~chainlaunch() override;
};
