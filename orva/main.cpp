#include "ORVA.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    ORVA window;
    window.show();
    return app.exec();
}
