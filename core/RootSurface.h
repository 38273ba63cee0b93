#pragma once

#include <QString>

// What the main window shows: the broker's dashboard, the native screen that stands in when the
// dashboard does not load, the first-run welcome, the native shell, or the splash while the
// service starts.
enum class RootSurface { dashboard, webFallback, firstRunWelcome, nativeShell, splash };

namespace RootSurfaces {
// The case name ("firstRunWelcome"), as automation and breadcrumbs report it.
QString name(RootSurface surface);
} // namespace RootSurfaces
