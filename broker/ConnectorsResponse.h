#pragma once

#include "ConnectorSummary.h"
#include "BrokerRecordFields.h"

#include <QList>
#include <QString>

// The broker's list of `ConnectorSummary` records, in its order.
struct ConnectorsResponse {
    QList<ConnectorSummary> connectors;

    static ConnectorsResponse decode(JsonReader &reader);
    bool operator==(const ConnectorsResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("connectors", self.connectors);
    }
};
