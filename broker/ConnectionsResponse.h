#pragma once

#include "ConnectionSummary.h"
#include "BrokerRecordFields.h"

#include <QList>
#include <QString>

// The broker's list of `ConnectionSummary` records, in its order.
struct ConnectionsResponse {
    QList<ConnectionSummary> connections;

    static ConnectionsResponse decode(JsonReader &reader);
    bool operator==(const ConnectionsResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("connections", self.connections);
    }
};
