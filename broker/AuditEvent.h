#pragma once

#include "BrokerRecordFields.h"

#include <QString>

#include <optional>

// One entry of the broker's hash-chained audit log.
struct AuditEvent {
    QString id;
    qint64 sequence = 0;
    QString timestamp;
    QString actor;
    QString action;
    std::optional<QString> connectorId;
    QString decision;
    QString correlationId;
    QString previousHash;
    QString hash;

    static AuditEvent decode(JsonReader &reader);
    bool operator==(const AuditEvent &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("sequence", self.sequence);
        visit("timestamp", self.timestamp);
        visit("actor", self.actor);
        visit("action", self.action);
        visit("connectorId", self.connectorId);
        visit("decision", self.decision);
        visit("correlationId", self.correlationId);
        visit("previousHash", self.previousHash);
        visit("hash", self.hash);
    }
};
