// Stand-in for an extension program or the installer in tests, on Linux and
// on Windows. Appends the tab-separated line
// "<pid> <file name> start <working folder> <arguments>" to $ORVA_TEST_LOG
// when it starts and "<pid> <file name> end" when it ends. In between it does
// the lines of "<its path as started>.does": "sleep <seconds>", "print <text>",
// "read" (a line of standard input), "crash" or "stubborn" (SIGTERM is
// ignored from then on; on Windows a program without windows is never asked).

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

void log(const std::string& line)
{
#ifdef _WIN32
    const auto id = static_cast<unsigned long>(GetCurrentProcessId());
#else
    const auto id = static_cast<unsigned long>(getpid());
#endif
    if (const char* file = std::getenv("ORVA_TEST_LOG")) // one write per line
        std::ofstream(file, std::ios::app | std::ios::binary) << std::to_string(id) + '\t' + line + '\n'
                                                              << std::flush;
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
#ifndef _WIN32
        else if (word == "stubborn")
            std::signal(SIGTERM, SIG_IGN);
#endif
    }
    log(name + "\tend");
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
