#include "ORVA.h"
#include "gui/ProgramIcon.h"
#include "platform/GuiApplication.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    platform::prepareGuiApplication();
    QApplication app(argc, argv);
    gui::useProgramIcon();
    ORVA window;
    window.show();
    return app.exec();
}
