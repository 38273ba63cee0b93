#pragma once

#include "BrokerHealth.h"
#include "BrokerResult.h"
#include "LocalPosture.h"
#include "OperatorStatus.h"

#include <QCoroTask>

#include <optional>

class ModelContext;

// The three reads that tell who is on the broker port and how it is set up: "/health",
// "/v1/local-posture" and "/v1/operator/status", sent at once without operator headers and
// awaited in that order.
struct BrokerStateReads {
    BrokerResult<BrokerHealth> health;
    BrokerResult<LocalPosture> posture;
    BrokerResult<OperatorStatus> operatorStatus;

    static QCoro::Task<BrokerStateReads> read(const ModelContext &context);
    // The first failure in that order, if any.
    std::optional<BrokerFailure> firstFailure() const;
};
