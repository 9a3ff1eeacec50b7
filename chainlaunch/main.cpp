#include "chainlaunch.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    chainlaunch window(argc, argv);
    window.show();
    return app.exec();
}
