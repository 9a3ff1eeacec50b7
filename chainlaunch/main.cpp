#include "chainlaunch.h"
#include "gui/ProgramIcon.h"
#include "platform/GuiApplication.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char* argv[])
{
    // ORVA starts a launcher every two seconds for each listener, always with
    // two programs: that run needs no display connection, which keeps every
    // launcher's start-up time and memory small. The GUI comes up only for
    // the empty window, or for the end message of a one-program run.
    platform::prepareGuiApplication();
    if (argc == 3) {
        {
            QCoreApplication core(argc, argv);
            chainlaunch::run(argc, argv); // returns only when the first program never ran
        }
        QApplication app(argc, argv);
        gui::useProgramIcon();
        chainlaunch window;
        window.show();
        return app.exec();
    }
    QApplication app(argc, argv);
    gui::useProgramIcon();
    chainlaunch window(argc, argv);
    window.show();
    return app.exec();
}
