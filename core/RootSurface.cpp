#include "RootSurface.h"

QString RootSurfaces::name(RootSurface surface)
{
    switch (surface) {
    case RootSurface::dashboard:
        return QStringLiteral("dashboard");
    case RootSurface::webFallback:
        return QStringLiteral("webFallback");
    case RootSurface::firstRunWelcome:
        return QStringLiteral("firstRunWelcome");
    case RootSurface::nativeShell:
        return QStringLiteral("nativeShell");
    case RootSurface::splash:
        return QStringLiteral("splash");
    }
    return {};
}
