#pragma once

#include "BrokerRecordFields.h"

#include <QString>
#include <QStringList>

#include <optional>

// One proxy profile: an agent key bound to proxy services.
struct ProxyProfileSummary {
    QString id;
    QString name;
    QString agentId;
    QString masterKeyId;
    QStringList serviceIds;
    QString createdAt;
    std::optional<QString> revokedAt;

    static ProxyProfileSummary decode(JsonReader &reader);
    bool operator==(const ProxyProfileSummary &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("name", self.name);
        visit("agentId", self.agentId);
        visit("masterKeyId", self.masterKeyId);
        visit("serviceIds", self.serviceIds);
        visit("createdAt", self.createdAt);
        visit("revokedAt", self.revokedAt);
    }
};
