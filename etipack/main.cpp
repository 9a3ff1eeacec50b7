// etipack: the extension authors' tool that writes and checks install packs.

#include "EtipackCommand.h"
#include "platform/Platform.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    platform::useUtf8Conversions();
    return etipack::runCommand(QCoreApplication::arguments().mid(1));
}
