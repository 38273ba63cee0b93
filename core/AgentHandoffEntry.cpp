#include "AgentHandoffEntry.h"

QList<QPair<QString, QString>> AgentHandoffEntry::environment() const
{
    QList<QPair<QString, QString>> variables{
        {QStringLiteral("TVN_BROKER_URL"), brokerURL},
        {QStringLiteral("TVN_RUNTIME_LANE"), TVNRuntimeLanes::rawValue(lane)},
        {QStringLiteral("SWITCHYARD_STATE_DIR"), stateDirectory},
    };
    if (signerPath)
        variables.append({QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH"), *signerPath});
    return variables;
}
