#pragma once

#include "BrokerRecordFields.h"

#include <QString>

#include <optional>

// Health of one linked account, as last checked by the broker.
struct ConnectionHealth {
    QString tenantId;
    QString providerId;
    QString accountId;
    QString status;
    QString checkedAt;
    qint64 consecutiveFailures = 0;
    std::optional<QString> lastErrorCode;

    static ConnectionHealth decode(JsonReader &reader);
    bool operator==(const ConnectionHealth &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("tenantId", self.tenantId);
        visit("providerId", self.providerId);
        visit("accountId", self.accountId);
        visit("status", self.status);
        visit("checkedAt", self.checkedAt);
        visit("consecutiveFailures", self.consecutiveFailures);
        visit("lastErrorCode", self.lastErrorCode);
    }
};
