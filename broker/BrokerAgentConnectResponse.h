#pragma once

#include "BrokerRecordFields.h"

#include <QString>

#include <optional>

// Answer of asking the broker to write an agent application's MCP entry.
struct BrokerAgentConnectResponse {
    QString action;
    std::optional<QString> configPath;
    QString profile;
    std::optional<QString> keyId;
    bool brokerAccepted = false;

    static BrokerAgentConnectResponse decode(JsonReader &reader);
    bool operator==(const BrokerAgentConnectResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("action", self.action);
        visit("configPath", self.configPath);
        visit("profile", self.profile);
        visit("keyId", self.keyId);
        visit("brokerAccepted", self.brokerAccepted);
    }
};
