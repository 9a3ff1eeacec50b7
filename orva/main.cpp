#include "ORVA.h"
#include "gui/ProgramIcon.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    gui::useProgramIcon();
    ORVA window;
    window.show();
    return app.exec();
}
