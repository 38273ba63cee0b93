#pragma once

#include "BrokerPeerSigningInfo.h"
#include "BrokerPeerTrust.h"
#include "BrokerPeerVerification.h"

#include <functional>
#include <optional>

// Whether the process listening on the broker port is this app's own broker, judged by the two
// code signatures. The process table and the signature reader are parameters (the platform layer
// supplies the real ones), so the verdict logic runs without real processes.
class BrokerPeerIdentity
{
public:
    using PIDResolver = std::function<std::optional<qint32>(qint64 port)>;
    using SigningInfoReader = std::function<std::optional<BrokerPeerSigningInfo>(qint32 pid)>;

    // Synchronous and may walk the whole process table: run it off the GUI thread.
    static BrokerPeerVerification verifyBroker(qint64 port, const BrokerPeerSigningInfo &selfInfo,
                                               const PIDResolver &resolvePID, const SigningInfoReader &peerInfo);
    static BrokerPeerTrust decide(const BrokerPeerSigningInfo &selfInfo, const std::optional<BrokerPeerSigningInfo> &peer);
};
