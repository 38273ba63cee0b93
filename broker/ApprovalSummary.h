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
    // The list cuts long strings, long arrays and deep nesting for display; then only the whole
    // request (`input`, sent by the view of one approval) may be approved.
    std::optional<bool> displayTruncated;
    std::optional<BrokerJSONValue::Object> input;

    bool isDisplayTruncated() const { return displayTruncated.value_or(false); }
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
        visit("displayTruncated", self.displayTruncated);
        visit("input", self.input);
    }
};
