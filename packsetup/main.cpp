// packsetup: installs an extension install pack into its app folder's
// Extensions/ and Start/, or removes an extension again.

#include "AppFolder.h"
#include "CommandLine.h"
#include "RequestRunner.h"
#include "SetupWindows.h"
#include "gui/ProgramIcon.h"
#include "platform/GuiApplication.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QCoreApplication>

namespace {

packsetup::Request request()
{
    packsetup::Request request = packsetup::parseCommandLine(QCoreApplication::arguments().mid(1));
    packsetup::enterAppFolder(request);
    return request;
}

} // namespace

int main(int argc, char** argv)
{
    // --quiet and --help must work without a display: no GUI application then.
    if (packsetup::runsWithoutWindows(argc, argv)) {
        QCoreApplication app(argc, argv);
        platform::useUtf8Conversions();
        return packsetup::runQuietly(request());
    }
    platform::prepareGuiApplication();
    QApplication app(argc, argv);
    platform::useUtf8Conversions();
    gui::useProgramIcon();
    return packsetup::runWithWindows(request());
}
