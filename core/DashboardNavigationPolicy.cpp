#include "DashboardNavigationPolicy.h"

#include "TVNBrokerURLTrust.h"

DashboardNavigationPolicy::Decision DashboardNavigationPolicy::decide(const QUrl &url, bool isMainFrame,
                                                                      const QUrl &expectedBrokerURL, qint64 brokerPort)
{
    if (!isMainFrame)
        return {true, {}};
    if (url.isEmpty())
        return {false, QStringLiteral("navigation without a URL")};
    if (url.scheme().toLower() == QLatin1StringView("about"))
        return {true, {}};
    if (TVNBrokerURLTrust::isSameTrustedOrigin(expectedBrokerURL, url, brokerPort))
        return {true, {}};
    const QString host = url.host().isEmpty() ? QStringLiteral("(no host)") : url.host();
    return {false, QStringLiteral("navigation to %1://%2 blocked").arg(url.scheme(), host)};
}

bool DashboardNavigationPolicy::admitsMessagesFrom(const QUrl &pageURL, const QUrl &expectedBrokerURL, qint64 brokerPort)
{
    // A missing port fails: the trust rule needs the broker port on both sides.
    return pageURL.port() >= 0 && TVNBrokerURLTrust::isSameTrustedOrigin(expectedBrokerURL, pageURL, brokerPort);
}
