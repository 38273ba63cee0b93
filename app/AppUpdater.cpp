#include "AppUpdater.h"

AppUpdater::AppUpdater(TVNRuntimeLane lane, std::optional<QString> updateMode)
    : m_lane(lane), m_mode(updateMode.value_or(QStringLiteral("manual")))
{
}

bool AppUpdater::isEnabled() const
{
    return m_lane == TVNRuntimeLane::production && m_mode == QLatin1StringView("sparkle");
}

QString AppUpdater::checkForUpdates()
{
    start();
    if (!m_started)
        return {};
    return QStringLiteral("Torvane updates come with your system's package updates. Update the torvane package "
                          "with your package manager to get the newest version.");
}

QString AppUpdater::statusDisplay() const
{
    if (m_lane == TVNRuntimeLane::production && m_mode == QLatin1StringView("app-store"))
        return QStringLiteral("Managed by your package manager");
    if (isEnabled())
        return automaticallyChecksForUpdates() ? QStringLiteral("Automatic — installs ask first") : QStringLiteral("On demand");
    return QStringLiteral("Updates disabled for this build");
}
