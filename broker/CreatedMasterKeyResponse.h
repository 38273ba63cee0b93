#pragma once

#include "BrokerRecordFields.h"

#include <QString>
#include <QStringList>

// The stored record of the new key.
struct CreatedMasterKeyRecord {
    QString id;
    QString name;
    QString agentId;
    QStringList scopes;
    QString createdAt;

    static CreatedMasterKeyRecord decode(JsonReader &reader);
    bool operator==(const CreatedMasterKeyRecord &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("id", self.id);
        visit("name", self.name);
        visit("agentId", self.agentId);
        visit("scopes", self.scopes);
        visit("createdAt", self.createdAt);
    }
};

// Answer of creating an agent key. `key` is the secret, shown once: never log it.
struct CreatedMasterKeyResponse {
    QString key;
    CreatedMasterKeyRecord record;

    static CreatedMasterKeyResponse decode(JsonReader &reader);
    bool operator==(const CreatedMasterKeyResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("key", self.key);
        visit("record", self.record);
    }
};
