#pragma once

#include <QString>
#include <QUrl>

// Which navigations the embedded dashboard may make: frames inside the page, "about:" pages and
// the broker's own origin. Everything else is cancelled and reported, so no other site ever opens
// inside the view.
class DashboardNavigationPolicy
{
public:
    struct Decision {
        bool allowed = false;
        // Why a navigation was refused, for the load failure report; names no path or query.
        QString refusalReason;
    };

    static Decision decide(const QUrl &url, bool isMainFrame, const QUrl &expectedBrokerURL, qint64 brokerPort);
    // The messages of a page are heard only while it shows the broker's own origin.
    static bool admitsMessagesFrom(const QUrl &pageURL, const QUrl &expectedBrokerURL, qint64 brokerPort);
};
