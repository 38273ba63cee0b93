#pragma once

#include "ProxyServiceSummary.h"
#include "BrokerRecordFields.h"

#include <QList>
#include <QString>

// The broker's list of `ProxyServiceSummary` records, in its order.
struct ProxyServicesResponse {
    QList<ProxyServiceSummary> services;

    static ProxyServicesResponse decode(JsonReader &reader);
    bool operator==(const ProxyServicesResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("services", self.services);
    }
};
