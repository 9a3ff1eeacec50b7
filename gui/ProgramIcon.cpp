#include "ProgramIcon.h"

#include <QApplication>
#include <QIcon>

// The icon's resource lives in a static library: it must be named to be kept,
// from the global namespace, where rcc defines its initialiser.
static void initialiseIconResource()
{
    Q_INIT_RESOURCE(orva_icon);
}

namespace gui {

void useProgramIcon()
{
    initialiseIconResource();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/orva/icon/orva-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    // Matches the installed desktop entry, so that a dock groups the windows under it.
    QGuiApplication::setDesktopFileName(QStringLiteral("orva"));
}

} // namespace gui
