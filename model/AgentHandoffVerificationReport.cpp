#include "AgentHandoffVerificationReport.h"

#include <algorithm>

bool AgentHandoffVerificationReport::allPassed() const
{
    return std::all_of(steps.begin(), steps.end(), [](const auto &step) { return step.ok; });
}

QString AgentHandoffVerificationReport::firstFailureDetail() const
{
    const auto failed = std::find_if(steps.begin(), steps.end(), [](const auto &step) { return !step.ok; });
    return failed == steps.end() ? QStringLiteral("All handoff checks passed") : failed->detail;
}
