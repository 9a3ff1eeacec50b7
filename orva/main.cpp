#include "ORVA.h"
#include "platform/GuiApplication.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    platform::prepareGuiApplication();
    QApplication app(argc, argv);
    ORVA window;
    window.show();
    return app.exec();
}
