#pragma once

#include "BrokerRecordFields.h"

// The kill switch as the broker holds it (GET "/v1/killswitch"): on, every agent call is refused.
struct KillSwitchStatus {
    bool enabled = false;

    static KillSwitchStatus decode(JsonReader &reader);
    bool operator==(const KillSwitchStatus &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("enabled", self.enabled);
    }
};
