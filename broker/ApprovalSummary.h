#pragma once

#include "BrokerRecordFields.h"

#include <QString>

#include <optional>

// One pending approval request.
struct ApprovalSummary {
    QString id;
    QString agentId;
    QString connectorId;
    QString toolId;
    QString risk;
    QString expiresAt;
    std::optional<BrokerJSONValue::Object> displayInput;
    std::optional<QString> requestDigest;

    static ApprovalSummary decode(JsonReader &reader);
    bool operator==(const ApprovalSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("agentId", self.agentId);
        visit("connectorId", self.connectorId);
        visit("toolId", self.toolId);
        visit("risk", self.risk);
        visit("expiresAt", self.expiresAt);
        visit("displayInput", self.displayInput);
        visit("requestDigest", self.requestDigest);
    }
};
