#include "BrokerHealth.h"

BrokerHealth BrokerHealth::decode(JsonReader &reader)
{
    return decodeRecordFields<BrokerHealth>(reader);
}
