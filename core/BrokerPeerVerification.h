#pragma once

#include "BrokerPeerSigningInfo.h"
#include "BrokerPeerTrust.h"

#include <QtGlobal>

#include <optional>

// The verdict together with what it was based on.
struct BrokerPeerVerification {
    BrokerPeerTrust trust;
    std::optional<qint32> peerPID;
    std::optional<BrokerPeerSigningInfo> peer;
    BrokerPeerSigningInfo selfInfo;

    bool operator==(const BrokerPeerVerification &) const = default;
};
