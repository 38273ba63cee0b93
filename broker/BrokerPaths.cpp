#include "BrokerPaths.h"

#include <QUrl>

namespace BrokerPaths {

QString encodedSegment(const QString &identifier)
{
    // The URL-path-allowed set minus "/", so an identifier can never add a path segment.
    return QString::fromLatin1(QUrl::toPercentEncoding(identifier, "!$&'()*+,;=:@"));
}

QString connectionHealth(const QString &connector, const QString &account)
{
    return connections + QLatin1Char('/') + encodedSegment(connector) + QLatin1Char('/') + encodedSegment(account)
        + QStringLiteral("/health");
}

QString connectionRevoke(const QString &connector, const QString &account)
{
    return connections + QLatin1Char('/') + connector + QLatin1Char('/') + account + QStringLiteral("/revoke");
}

QString linkCredential(const QString &connector)
{
    return QStringLiteral("/v1/credentials/") + connector;
}

QString masterKeyRevoke(const QString &key)
{
    return masterKeys + QLatin1Char('/') + key + QStringLiteral("/revoke");
}

QString masterKeyRevokeEncoded(const QString &key)
{
    return masterKeyRevoke(encodedSegment(key));
}

QString approve(const QString &approval)
{
    return approvals + QLatin1Char('/') + approval + QStringLiteral("/approve");
}

QString approval(const QString &approval)
{
    return approvals + QLatin1Char('/') + approval;
}

QString deny(const QString &approval)
{
    return approvals + QLatin1Char('/') + approval + QStringLiteral("/deny");
}

QString proxyProfileRevoke(const QString &profile)
{
    return proxyProfiles + QLatin1Char('/') + encodedSegment(profile) + QStringLiteral("/revoke");
}

QString agentConnect(const QString &agent)
{
    return QStringLiteral("/v1/agents/") + agent + QStringLiteral("/connect");
}

} // namespace BrokerPaths
