#pragma once

#include "ProxyProfileSummary.h"
#include "BrokerRecordFields.h"

#include <QList>
#include <QString>

// The broker's list of `ProxyProfileSummary` records, in its order.
struct ProxyProfilesResponse {
    QList<ProxyProfileSummary> profiles;

    static ProxyProfilesResponse decode(JsonReader &reader);
    bool operator==(const ProxyProfilesResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("profiles", self.profiles);
    }
};
