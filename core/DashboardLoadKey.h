#pragma once

#include <QString>
#include <QUrl>

// What the dashboard view was loaded for. The session and the first-run flag are re-seeded into
// the page in place; any other difference loads the page again.
struct DashboardLoadKey {
    QUrl brokerURL;
    QString sessionId;
    bool firstRunCompleted = false;
    bool brokerIdentityVerified = false;
    QString vaultStatus;

    friend bool operator==(const DashboardLoadKey &, const DashboardLoadKey &) = default;

    // True when `next` differs from this key in more than the two seeded values.
    bool needsReloadFor(const DashboardLoadKey &next) const
    {
        return brokerURL != next.brokerURL || brokerIdentityVerified != next.brokerIdentityVerified
            || vaultStatus != next.vaultStatus;
    }
};
