#pragma once

#include "BrokerRecordFields.h"

#include <QString>
#include <QStringList>

#include <optional>

// One agent key ("master key" is the broker's word for it); never holds the secret.
struct MasterKeySummary {
    QString id;
    QString name;
    QString agentId;
    QStringList scopes;
    QString createdAt;
    std::optional<QString> lastUsedAt;
    std::optional<QString> revokedAt;
    QString status;

    static MasterKeySummary decode(JsonReader &reader);
    bool operator==(const MasterKeySummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("name", self.name);
        visit("agentId", self.agentId);
        visit("scopes", self.scopes);
        visit("createdAt", self.createdAt);
        visit("lastUsedAt", self.lastUsedAt);
        visit("revokedAt", self.revokedAt);
        visit("status", self.status);
    }
};
