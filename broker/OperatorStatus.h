#pragma once

#include "BrokerRecordFields.h"

#include <QString>

#include <optional>

// Whether operator sessions are enforced and how the broker unlocks its vault.
struct OperatorStatus {
    bool enabled = false;
    qint64 activeSessions = 0;
    qint64 sessionTtlSeconds = 0;
    QString unlockMethod;
    std::optional<QString> keychainService;

    static OperatorStatus decode(JsonReader &reader);
    bool operator==(const OperatorStatus &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("enabled", self.enabled);
        visit("activeSessions", self.activeSessions);
        visit("sessionTtlSeconds", self.sessionTtlSeconds);
        visit("unlockMethod", self.unlockMethod);
        visit("keychainService", self.keychainService);
    }
};
