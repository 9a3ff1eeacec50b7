// packsetup: installs an extension install pack into the working directory's
// Extensions/ and Start/, or removes an extension again.

#include "CommandLine.h"
#include "RequestRunner.h"
#include "SetupWindows.h"
#include "platform/GuiApplication.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char** argv)
{
    // --quiet and --help must work without a display: no GUI application then.
    if (packsetup::runsWithoutWindows(argc, argv)) {
        QCoreApplication app(argc, argv);
        platform::useUtf8Conversions();
        return packsetup::runQuietly(packsetup::parseCommandLine(QCoreApplication::arguments().mid(1)));
    }
    platform::prepareGuiApplication();
    QApplication app(argc, argv);
    platform::useUtf8Conversions();
    return packsetup::runWithWindows(packsetup::parseCommandLine(QCoreApplication::arguments().mid(1)));
}
