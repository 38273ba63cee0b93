#pragma once

#include "BrokerRecordFields.h"

#include <QString>
#include <QStringList>

#include <optional>

// Where the stored credential goes in a proxied request.
struct ProxyCredentialSummary {
    QString placement;
    std::optional<QString> headerName;
    std::optional<QString> queryParam;
    std::optional<QString> valuePrefix;

    static ProxyCredentialSummary decode(JsonReader &reader);
    bool operator==(const ProxyCredentialSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("placement", self.placement);
        visit("headerName", self.headerName);
        visit("queryParam", self.queryParam);
        visit("valuePrefix", self.valuePrefix);
    }
};

// One proxy service and where its stored credential is placed.
struct ProxyServiceSummary {
    QString id;
    QString displayName;
    QString connectorId;
    QString accountId;
    QStringList allowedOrigins;
    QStringList allowedMethods;
    QStringList allowedPathPrefixes;
    QString risk;
    ProxyCredentialSummary credential;
    QString createdAt;
    std::optional<QString> disabledAt;

    static ProxyServiceSummary decode(JsonReader &reader);
    bool operator==(const ProxyServiceSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("displayName", self.displayName);
        visit("connectorId", self.connectorId);
        visit("accountId", self.accountId);
        visit("allowedOrigins", self.allowedOrigins);
        visit("allowedMethods", self.allowedMethods);
        visit("allowedPathPrefixes", self.allowedPathPrefixes);
        visit("risk", self.risk);
        visit("credential", self.credential);
        visit("createdAt", self.createdAt);
        visit("disabledAt", self.disabledAt);
    }
};
