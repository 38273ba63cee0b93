#pragma once

#include "MasterKeySummary.h"
#include "BrokerRecordFields.h"

#include <QList>
#include <QString>

// The broker's list of `MasterKeySummary` records, in its order.
struct MasterKeysResponse {
    QList<MasterKeySummary> keys;

    static MasterKeysResponse decode(JsonReader &reader);
    bool operator==(const MasterKeysResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("keys", self.keys);
    }
};
