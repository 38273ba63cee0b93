#pragma once

#include "ApprovalSummary.h"
#include "BrokerRecordFields.h"

#include <QList>
#include <QString>

// The broker's list of `ApprovalSummary` records, in its order.
struct ApprovalsResponse {
    QList<ApprovalSummary> approvals;

    static ApprovalsResponse decode(JsonReader &reader);
    bool operator==(const ApprovalsResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("approvals", self.approvals);
    }
};
