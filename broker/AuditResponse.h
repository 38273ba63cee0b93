#pragma once

#include "AuditEvent.h"
#include "BrokerRecordFields.h"

#include <QList>
#include <QString>

// The broker's list of `AuditEvent` records, in its order.
struct AuditResponse {
    QList<AuditEvent> events;

    static AuditResponse decode(JsonReader &reader);
    bool operator==(const AuditResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("events", self.events);
    }
};
