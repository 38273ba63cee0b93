#include "AgentClientSetupResult.h"

AgentClientSetupResult AgentClientSetupResult::failure(const QString &message)
{
    AgentClientSetupResult result;
    result.message = message;
    result.isError = true;
    return result;
}
