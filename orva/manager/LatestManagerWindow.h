#pragma once

#include <QPointer>

class Addonsmanager;

// managerWindow(): the most recently opened extension manager window, or
// null. Guarded: a window that is destroyed clears it, so it never dangles.
QPointer<Addonsmanager>& managerWindow();
