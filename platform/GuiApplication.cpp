#include "GuiApplication.h"

#include <QGuiApplication>

namespace platform {

void prepareGuiApplication()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#ifdef Q_OS_WIN
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
}

void leaveSessionEndToSessionManager()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QGuiApplication::setFallbackSessionManagementEnabled(false);
#endif
}

bool sessionEndClosesWindows()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    return QGuiApplication::isFallbackSessionManagementEnabled();
#else
    return false;
#endif
}

} // namespace platform
