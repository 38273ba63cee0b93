// Whether the listener on the broker port may be trusted with operator secrets.
#include "AppModel.h"

QCoro::Task<bool> AppModel::ensureBrokerIdentityVerified()
{
    // Replaced by the peer verification once it lands; until then nothing is trusted.
    setBrokerIdentityVerified(false);
    co_return false;
}
