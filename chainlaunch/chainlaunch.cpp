#include "chainlaunch.h"

#include "gui/MessageBox.h"
#include "platform/Platform.h"

#include <QMessageBox>
#include <QProcess>

chainlaunch::FirstProgram chainlaunch::run(int argc, char* argv[])
{
    if (argc < 2)
        platform::exitProcess(1);

    // The whole argument is the program; it gets no arguments. Its input
    // stays an open pipe that nothing writes; its output goes where ours does.
    QProcess first;
    first.setProgram(platform::commandLineArgument(argv, 1));
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(QIODevice::ReadWrite);
    platform::pause(kPauseAfterStartMs);

    // False only when the program never ran: leave the empty window to the user.
    if (!first.waitForFinished(-1))
        return FirstProgram::NeverRan;

    if (argc == 3) {
        // Detached, so that the second program outlives this launcher, which
        // leaves it nothing to read.
        QProcess second;
        second.setProgram(platform::commandLineArgument(argv, 2));
        second.setStandardInputFile(QProcess::nullDevice());
        platform::startDetached(second);
        platform::pause(kPauseAfterStartMs);
        platform::exitProcess(0);
    }
    return FirstProgram::Ended;
}

chainlaunch::chainlaunch(int argc, char* argv[], QWidget* parent) : QMainWindow(parent)
{
    if (run(argc, argv) == FirstProgram::NeverRan)
        return;

    QMessageBox box;
    box.setText(QStringLiteral("程序运行已结束"));
    gui::MessageBox::exec(box);
    platform::exitProcess(0);
}

chainlaunch::chainlaunch(QWidget* parent) : QMainWindow(parent) {}

chainlaunch::~chainlaunch() = default;
