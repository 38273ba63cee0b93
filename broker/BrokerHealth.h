#pragma once

#include "BrokerRecordFields.h"

#include <QString>

#include <optional>

// Answer of GET "/health"; the genuine broker names itself "switchyard-broker".
struct BrokerHealth {
    bool ok = false;
    std::optional<QString> service;
    std::optional<QString> error;
    std::optional<QString> vault;

    static BrokerHealth decode(JsonReader &reader);
    bool operator==(const BrokerHealth &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("ok", self.ok);
        visit("service", self.service);
        visit("error", self.error);
        visit("vault", self.vault);
    }
};
