#pragma once

#include <QString>

#include <optional>

// What the proxy form starts with for a connector whose API the proxy has been tried against:
// the provider's public API origin, a harmless read path, the method, where the credential goes,
// and how the form labels it.
struct ProxyConnectorDefaults {
    QString origin;
    QString path;
    QString methods;
    QString placement;
    QString label;

    // None for a connector without proven defaults.
    static std::optional<ProxyConnectorDefaults> proxyDefault(const QString &connectorId);
    bool operator==(const ProxyConnectorDefaults &) const = default;
};
