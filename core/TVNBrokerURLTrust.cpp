#include "TVNBrokerURLTrust.h"

QString TVNBrokerURLTrust::normalizedHost(const std::optional<QString> &host)
{
    QString normalized = host.value_or(QString()).trimmed().toLower();
    if (normalized.size() >= 2 && normalized.startsWith(QLatin1Char('[')) && normalized.endsWith(QLatin1Char(']')))
        normalized = normalized.mid(1, normalized.size() - 2);
    return normalized;
}

QString TVNBrokerURLTrust::normalizedScheme(const QString &scheme)
{
    return scheme.trimmed().toLower();
}

bool TVNBrokerURLTrust::isTrustedLoopbackComponents(const QString &scheme, const std::optional<QString> &host,
                                                    std::optional<qint64> port, qint64 brokerPort)
{
    const QString normalized = normalizedHost(host);
    const bool loopbackHost = normalized == QLatin1String("127.0.0.1") || normalized == QLatin1String("localhost")
        || normalized == QLatin1String("::1");
    return normalizedScheme(scheme) == QLatin1String("http") && loopbackHost && port && *port == brokerPort;
}

std::optional<QString> TVNBrokerURLTrust::hostOf(const QUrl &url)
{
    return url.host().isEmpty() ? std::nullopt : std::optional<QString>(url.host());
}

std::optional<qint64> TVNBrokerURLTrust::portOf(const QUrl &url)
{
    return url.port() < 0 ? std::nullopt : std::optional<qint64>(url.port());
}

bool TVNBrokerURLTrust::isTrustedLoopbackURL(const QUrl &url, qint64 brokerPort)
{
    return url.isValid() && isTrustedLoopbackComponents(url.scheme(), hostOf(url), portOf(url), brokerPort);
}

bool TVNBrokerURLTrust::isSameTrustedOrigin(const QUrl &url, const QUrl &other, qint64 brokerPort)
{
    return isTrustedLoopbackURL(url, brokerPort) && other.isValid()
        && normalizedScheme(other.scheme()) == normalizedScheme(url.scheme())
        && normalizedHost(hostOf(other)) == normalizedHost(hostOf(url)) && portOf(other) == portOf(url);
}
