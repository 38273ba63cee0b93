#include "BrokerStateReads.h"

#include "BrokerPaths.h"
#include "ModelContext.h"

QCoro::Task<BrokerStateReads> BrokerStateReads::read(const ModelContext &context)
{
    const BrokerClient &client = context.client();
    const QUrl url = context.brokerURL();
    auto healthCall = client.get<BrokerHealth>(url, BrokerPaths::health);
    auto postureCall = client.get<LocalPosture>(url, BrokerPaths::localPosture);
    auto operatorCall = client.get<OperatorStatus>(url, BrokerPaths::operatorStatus);
    BrokerResult<BrokerHealth> health = co_await std::move(healthCall);
    BrokerResult<LocalPosture> posture = co_await std::move(postureCall);
    BrokerResult<OperatorStatus> operatorStatus = co_await std::move(operatorCall);
    co_return BrokerStateReads{std::move(health), std::move(posture), std::move(operatorStatus)};
}

std::optional<BrokerFailure> BrokerStateReads::firstFailure() const
{
    if (!health)
        return health.failure();
    if (!posture)
        return posture.failure();
    if (!operatorStatus)
        return operatorStatus.failure();
    return std::nullopt;
}
