#include "ProgramIcon.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
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
    // Every size the build rendered (icon/CMakeLists.txt names them).
    QIcon icon;
    for (const QFileInfo& size : QDir(QStringLiteral(":/orva/icon")).entryInfoList(QDir::Files))
        icon.addFile(size.filePath());
    QApplication::setWindowIcon(icon);
    // Matches the installed desktop entry, so that a dock groups the windows under it.
    QGuiApplication::setDesktopFileName(QStringLiteral("orva"));
}

} // namespace gui
