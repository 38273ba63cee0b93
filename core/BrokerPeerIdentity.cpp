#include "BrokerPeerIdentity.h"

namespace {

const QString kHostUnsigned = QStringLiteral("host app is not Developer ID signed");
const QString kNoPeer = QStringLiteral("no identifiable process owns the broker port");

} // namespace

BrokerPeerVerification BrokerPeerIdentity::verifyBroker(qint64 port, const BrokerPeerSigningInfo &selfInfo,
                                                        const PIDResolver &resolvePID, const SigningInfoReader &peerInfo)
{
    // An unsigned host cannot hold anyone to a signature: no process lookup at all.
    if (!selfInfo.isDeveloperIdentitySigned())
        return {BrokerPeerTrust::unenforceable(kHostUnsigned), std::nullopt, std::nullopt, selfInfo};
    const std::optional<qint32> peerPID = resolvePID(port);
    if (!peerPID)
        return {BrokerPeerTrust::rejected(kNoPeer), std::nullopt, std::nullopt, selfInfo};
    const std::optional<BrokerPeerSigningInfo> peer = peerInfo(*peerPID);
    return {decide(selfInfo, peer), peerPID, peer, selfInfo};
}

BrokerPeerTrust BrokerPeerIdentity::decide(const BrokerPeerSigningInfo &selfInfo,
                                           const std::optional<BrokerPeerSigningInfo> &peer)
{
    if (!selfInfo.isDeveloperIdentitySigned())
        return BrokerPeerTrust::unenforceable(kHostUnsigned);
    if (!peer)
        return BrokerPeerTrust::rejected(kNoPeer);
    if (!peer->isSigned)
        return BrokerPeerTrust::rejected(QStringLiteral("broker process is unsigned"));
    if (!peer->isAppleAnchored)
        return BrokerPeerTrust::rejected(QStringLiteral("broker signature is not Apple-anchored"));
    if (!peer->teamID || peer->teamID->isEmpty())
        return BrokerPeerTrust::rejected(QStringLiteral("broker process has no team identifier"));
    if (*peer->teamID == *selfInfo.teamID)
        return BrokerPeerTrust::trusted();
    return BrokerPeerTrust::rejected(QStringLiteral("broker team %1 does not match host team %2")
                                         .arg(*peer->teamID, *selfInfo.teamID));
}
