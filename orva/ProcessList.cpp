#include "ProcessList.h"

QList<LauncherProcess*>& processList()
{
    // Deliberately never destroyed: deleting a QProcess kills its child, and
    // launchers must outlive an exit through a start-up error box.
    static auto* const list = new QList<LauncherProcess*>;
    return *list;
}
