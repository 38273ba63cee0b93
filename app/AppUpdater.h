#pragma once

#include "TVNRuntimeLane.h"

#include <QString>

#include <optional>

// Updates of the app. Linux packages come with no in-app updater: updates arrive through the
// system's package manager, so this reports disabled unless the production lane and the update
// mode "sparkle" ask for it, and even then only points the user to the package manager.
class AppUpdater
{
public:
    AppUpdater(TVNRuntimeLane lane, std::optional<QString> updateMode);

    bool isEnabled() const;
    void start() { m_started = isEnabled(); }
    // What to tell the user after "Check for Updates..."; empty when nothing may be shown.
    QString checkForUpdates();
    bool automaticallyChecksForUpdates() const { return false; }
    QString statusDisplay() const;

private:
    TVNRuntimeLane m_lane;
    QString m_mode;
    bool m_started = false;
};
