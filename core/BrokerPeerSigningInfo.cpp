#include "BrokerPeerSigningInfo.h"

bool BrokerPeerSigningInfo::isDeveloperIdentitySigned() const
{
    return isSigned && isAppleAnchored && !isAdHoc && teamID && !teamID->isEmpty();
}
