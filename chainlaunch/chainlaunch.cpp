#include "chainlaunch.h"

#include "gui/MessageBox.h"
#include "orva/extensions/ExtensionLayout.h"
#include "orva/extensions/OutputLines.h"
#include "orva/extensions/PairLog.h"
#include "platform/Platform.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QProcess>
#include <optional>

namespace {

// Takes the log ORVA named for this launcher, so that the programs do not inherit it.
std::optional<extensions::PairLog> takePairLog()
{
    const QByteArray listenerId = qgetenv(extensions::PairLog::kListenerVariable);
    qunsetenv(extensions::PairLog::kListenerVariable);
    if (!extensions::isExtensionId(listenerId))
        return std::nullopt;
    return std::make_optional<extensions::PairLog>(listenerId);
}

// Whole lines into the log until the program has ended. The pipe is drained
// as fast as the program fills it, so that the log never slows it down.
void carryOutput(QProcess& program, extensions::PairLog& log)
{
    extensions::OutputLines lines;
    while (program.state() != QProcess::NotRunning) {
        if (!program.waitForReadyRead(-1))
            program.waitForFinished(-1); // it closed its output and runs on
        log.append(lines.take(program.readAll()));
    }
    log.append(lines.take(program.readAll()));
    log.append(lines.rest());
}

void noteEnd(const QProcess& program, qint64 ranMs, extensions::PairLog& log)
{
    const QString ran = QString::number(static_cast<double>(ranMs) / 1000.0, 'f', 1);
    if (program.exitStatus() == QProcess::CrashExit)
        log.note(QStringLiteral("监听程序崩溃：%1，运行了%2秒")
                     .arg(platform::crashDescription(program.exitCode()), ran));
    else
        log.note(QStringLiteral("监听程序结束：退出代码%1，运行了%2秒").arg(program.exitCode()).arg(ran));
}

} // namespace

chainlaunch::FirstProgram chainlaunch::run(int argc, char* argv[])
{
    if (argc < 2)
        platform::exitProcess(1);

    // The whole argument is the program; it gets no arguments. Its input
    // stays an open pipe that nothing writes. Its output goes to the pair's
    // log when ORVA named one, and otherwise where ours does.
    std::optional<extensions::PairLog> log = takePairLog();
    // ORVA writes each run's first line and says once that a log is skipped;
    // a launcher saying it too would repeat it at every restart.
    QLoggingCategory::setFilterRules(QString::fromLatin1(extensions::PairLog::kLoggingCategory) +
                                     QStringLiteral(".warning=false"));
    QProcess first;
    first.setProgram(platform::commandLineArgument(argv, 1));
    first.setProcessChannelMode(log ? QProcess::MergedChannels : QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    first.start(QIODevice::ReadWrite);
    if (log) {
        carryOutput(first, *log);
        if (first.error() == QProcess::FailedToStart)
            return FirstProgram::NeverRan;
        noteEnd(first, clock.elapsed(), *log);
        platform::pause(static_cast<int>(kPauseAfterStartMs - clock.elapsed()));
    } else {
        platform::pause(kPauseAfterStartMs);
        // False only when the program never ran: leave the empty window to the user.
        if (!first.waitForFinished(-1))
            return FirstProgram::NeverRan;
    }

    if (argc == 3) {
        // Detached, so that the second program outlives this launcher, which
        // leaves it nothing to read. Its output goes straight to the log:
        // the size check at the pair's next start bounds it.
        QProcess second;
        second.setProgram(platform::commandLineArgument(argv, 2));
        second.setStandardInputFile(QProcess::nullDevice());
        QString output;
        if (log) {
            log->note(QStringLiteral("启动控制程序：") + second.program());
            output = log->pathForProgram();
        }
        platform::startDetached(second, output);
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
