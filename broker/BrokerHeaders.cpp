#include "BrokerHeaders.h"

BrokerHeaders operatorHeaders(const QString &operatorSessionID)
{
    if (operatorSessionID.isEmpty())
        return {};
    return {{QStringLiteral("x-tvn-operator-session"), operatorSessionID}};
}

BrokerHeaders bootstrapHeaders(const QString &bootstrapSecret)
{
    return {{QStringLiteral("x-tvn-operator-bootstrap"), bootstrapSecret}};
}
