#include "ProxyConnectorDefaults.h"

#include <QHash>

std::optional<ProxyConnectorDefaults> ProxyConnectorDefaults::proxyDefault(const QString &connectorId)
{
    const QString get = QStringLiteral("GET");
    const QString bearer = QStringLiteral("authorization_bearer");
    const QString bearerProxy = QStringLiteral("Bearer token proxy");
    static const QHash<QString, ProxyConnectorDefaults> defaults{
        {QStringLiteral("github"),
         {QStringLiteral("https://api.github.com"), QStringLiteral("/user"), get, bearer,
          QStringLiteral("Proven proxy mode")}},
        {QStringLiteral("sentry"),
         {QStringLiteral("https://sentry.io"), QStringLiteral("/api/0/organizations/"), get, bearer, bearerProxy}},
        {QStringLiteral("vercel"), {QStringLiteral("https://api.vercel.com"), QStringLiteral("/v2/user"), get, bearer, bearerProxy}},
        {QStringLiteral("render"),
         {QStringLiteral("https://api.render.com"), QStringLiteral("/v1/services"), get, bearer, bearerProxy}},
        {QStringLiteral("posthog"),
         {QStringLiteral("https://us.posthog.com"), QStringLiteral("/api/users/@me/"), get, bearer, bearerProxy}},
    };
    const auto found = defaults.constFind(connectorId);
    if (found == defaults.constEnd())
        return std::nullopt;
    return found.value();
}
