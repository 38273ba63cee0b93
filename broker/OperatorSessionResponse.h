#pragma once

#include "BrokerRecordFields.h"

#include <QString>

// A freshly minted operator session. `sessionId` is a secret: never log it.
struct OperatorSessionResponse {
    QString sessionId;
    QString expiresAt;

    static OperatorSessionResponse decode(JsonReader &reader);
    bool operator==(const OperatorSessionResponse &) const = default;

    template <typename Self, typename Visitor>
    static void fields(Self &self, Visitor &visit)
    {
        visit("sessionId", self.sessionId);
        visit("expiresAt", self.expiresAt);
    }
};
