// Stand-in for an extension program or the installer in tests, on Linux and
// on Windows. Appends the tab-separated line
// "<pid> <file name> start <working folder> <arguments>" to $ORVA_TEST_LOG
// when it starts and "<pid> <file name> end" when it ends. In between it does
// the lines of "<its path as started>.does": "sleep <seconds>", "print <text>",
// "read" (a line of standard input), "crash", "exit <code>", "flood <bytes>"
// or "stubborn" (SIGTERM is ignored from then on; on Windows a program
// without windows is never asked).
// For the benchmarks, it also appends "listener-start <pid> <seconds since the
// epoch> <file name>" to $ORVA_BENCH_LOG when it starts, and "listener-end"
// alike when it ends.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string processId()
{
#ifdef _WIN32
    return std::to_string(GetCurrentProcessId());
#else
    return std::to_string(getpid());
#endif
}

void append(const char* variable, const std::string& line)
{
    if (const char* file = std::getenv(variable)) // one write per line
        std::ofstream(file, std::ios::app | std::ios::binary) << line + '\n' << std::flush;
}

void log(const std::string& line)
{
    append("ORVA_TEST_LOG", processId() + '\t' + line);
}

// Microseconds are plenty against the benchmarks' periods of seconds.
std::string secondsSinceEpoch()
{
    using Seconds = std::chrono::duration<double>;
    return std::to_string(Seconds(std::chrono::system_clock::now().time_since_epoch()).count());
}

[[noreturn]] void crash()
{
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 0xC0000005); // the status of an access violation
#endif
    std::abort();
}

template <typename Char> int run(int argc, Char** argv)
{
    const fs::path self = argv[0]; // as started: relative to the working folder
    const std::string name = self.filename().u8string();
    std::string arguments;
    for (int i = 1; i < argc; ++i)
        arguments += (i > 1 ? " " : "") + fs::path(argv[i]).u8string();
    append("ORVA_BENCH_LOG", "listener-start " + processId() + ' ' + secondsSinceEpoch() + ' ' + name);
    log(name + "\tstart\t" + fs::current_path().u8string() + '\t' + arguments);
    std::ifstream does(fs::path(self) += ".does");
    for (std::string step; std::getline(does, step);) {
        const std::string word = step.substr(0, step.find(' '));
        const std::string rest = step.substr(std::min(step.size(), word.size() + 1));
        if (word == "sleep")
            std::this_thread::sleep_for(std::chrono::duration<double>(std::stod(rest)));
        else if (word == "print")
            std::cout << rest << std::endl;
        else if (word == "read")
            std::getline(std::cin, step);
        else if (word == "crash")
            crash();
        else if (word == "exit")
            std::exit(std::stoi(rest));
        else if (word == "flood") // that many bytes of lines, as fast as it can
            for (long long left = std::stoll(rest); left > 0; left -= 100)
                std::cout << std::string(99, 'x') << '\n';
#ifndef _WIN32
        else if (word == "stubborn")
            std::signal(SIGTERM, SIG_IGN);
#endif
    }
    log(name + "\tend");
    append("ORVA_BENCH_LOG", "listener-end " + processId() + ' ' + secondsSinceEpoch() + ' ' + name);
    return 0;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
#else
int main(int argc, char** argv)
#endif
{
    return run(argc, argv);
}
