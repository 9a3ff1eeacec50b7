#include "chainlaunch.h"

#include "Platform.h"

#include <QMessageBox>

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

chainlaunch::chainlaunch(int argc, char* argv[], QWidget* parent)
    : QMainWindow(parent), m_firstProgram(std::make_unique<QProcess>())
{
    if (argc < 2)
        platform::exitProcess(1);

    configureProgram(*m_firstProgram, platform::commandLineArgument(argv, 1));
    m_firstProgram->start(QIODevice::ReadWrite);
    platform::pause(kPauseAfterStartMs);

    // False only when the program never ran: leave the empty window to the user.
    if (!m_firstProgram->waitForFinished(-1))
        return;

    if (argc == 3) {
        // Detached, so that the second program outlives this launcher.
        QProcess second;
        configureProgram(second, platform::commandLineArgument(argv, 2));
        platform::startDetached(second);
        platform::pause(kPauseAfterStartMs);
        platform::exitProcess(0);
    }

    QMessageBox box;
    box.setText(QStringLiteral("程序运行已结束"));
    box.exec();
    platform::exitProcess(0);
}

chainlaunch::~chainlaunch() = default;
