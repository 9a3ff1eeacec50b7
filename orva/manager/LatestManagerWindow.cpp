#include "LatestManagerWindow.h"

#include "Addonsmanager.h"

QPointer<Addonsmanager>& managerWindow()
{
    static QPointer<Addonsmanager> window;
    return window;
}
