#include "BrokerAgentConnectResponse.h"

BrokerAgentConnectResponse BrokerAgentConnectResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<BrokerAgentConnectResponse>(reader);
}
