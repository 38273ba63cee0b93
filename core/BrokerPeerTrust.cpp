#include "BrokerPeerTrust.h"

QString BrokerPeerTrust::label() const
{
    switch (m_case) {
    case Case::rejected:
        return QStringLiteral("rejected: ") + m_reason;
    case Case::unenforceable:
        return QStringLiteral("unenforceable: ") + m_reason;
    case Case::trusted:
        break;
    }
    return QStringLiteral("trusted");
}
