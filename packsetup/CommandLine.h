#pragma once

// packsetup's command line:
//   packsetup [--quiet] <pack>          install a pack (all ORVA passes is the path)
//   packsetup [--quiet] --remove <id>   uninstall an extension
//   packsetup --help

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace packsetup {

struct Request
{
    enum class Mode { Install, Remove, Help, Invalid };
    Mode mode = Mode::Invalid;
    bool quiet = false;
    QString packPath; // Install
    QByteArray id;    // Remove, as given
    QString error;    // Invalid: what is wrong, in Chinese
};

// Parses the arguments after the program name.
Request parseCommandLine(const QStringList& arguments);

// True when the raw arguments ask for --quiet or --help, decided before any
// Qt application object exists (a GUI one needs a display).
bool runsWithoutWindows(int argc, char** argv);

// The usage text, in Chinese, with the exit codes.
QString usageText();

} // namespace packsetup
