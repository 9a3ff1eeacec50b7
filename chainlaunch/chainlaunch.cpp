#include "chainlaunch.h"

#include "Platform.h"

#include <QMessageBox>
#include <QProcess>

namespace {

// Extension programs get nothing on their standard input, so one that reads
// it sees its end instead of waiting forever.
void configureProgram(QProcess& process, const QString& program)
{
    process.setProgram(program);
    process.setArguments({});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedChannels);
}

} // namespace

chainlaunch::FirstProgram chainlaunch::run(int argc, char* argv[])
{
    if (argc < 2)
        platform::exitProcess(1);

    QProcess first;
    configureProgram(first, platform::commandLineArgument(argv, 1));
    first.start(QIODevice::ReadWrite);
    platform::pause(kPauseAfterStartMs);

    // False only when the program never ran: leave the empty window to the user.
    if (!first.waitForFinished(-1))
        return FirstProgram::NeverRan;

    if (argc == 3) {
        // Detached, so that the second program outlives this launcher.
        QProcess second;
        configureProgram(second, platform::commandLineArgument(argv, 2));
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
    box.exec();
    platform::exitProcess(0);
}

chainlaunch::chainlaunch(QWidget* parent) : QMainWindow(parent) {}

chainlaunch::~chainlaunch() = default;
