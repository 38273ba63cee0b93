#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// The loopback-only rule for the broker URL, shared by the probes, the handoff configuration and
// the dashboard: plain HTTP to 127.0.0.1, localhost or ::1 on the identity's broker port.
class TVNBrokerURLTrust
{
public:
    // Trimmed, lower-cased, brackets of an IPv6 literal removed; absent is empty.
    static QString normalizedHost(const std::optional<QString> &host);

    static bool isTrustedLoopbackComponents(const QString &scheme, const std::optional<QString> &host,
                                            std::optional<qint64> port, qint64 brokerPort);
    static bool isTrustedLoopbackURL(const QUrl &url, qint64 brokerPort);

    // `url` is trusted and `other` has the same scheme, host and port (both absent or equal).
    static bool isSameTrustedOrigin(const QUrl &url, const QUrl &other, qint64 brokerPort);

private:
    static std::optional<QString> hostOf(const QUrl &url);
    static std::optional<qint64> portOf(const QUrl &url);
    static QString normalizedScheme(const QString &scheme);
};
