#pragma once

#include "BrokerRecordFields.h"

#include <QString>

#include <optional>

// One linked provider account.
struct ConnectionSummary {
    QString connectorId;
    QString accountId;
    std::optional<QString> alias;
    QString authType;
    std::optional<QString> authModeId;
    QString source;
    QString status;
    QString linkedAt;
    QString updatedAt;
    std::optional<QString> lastUsedAt;
    std::optional<QString> revokedAt;

    static ConnectionSummary decode(JsonReader &reader);
    bool operator==(const ConnectionSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("connectorId", self.connectorId);
        visit("accountId", self.accountId);
        visit("alias", self.alias);
        visit("authType", self.authType);
        visit("authModeId", self.authModeId);
        visit("source", self.source);
        visit("status", self.status);
        visit("linkedAt", self.linkedAt);
        visit("updatedAt", self.updatedAt);
        visit("lastUsedAt", self.lastUsedAt);
        visit("revokedAt", self.revokedAt);
    }
};
