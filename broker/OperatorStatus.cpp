#include "OperatorStatus.h"

OperatorStatus OperatorStatus::decode(JsonReader &reader)
{
    return decodeRecordFields<OperatorStatus>(reader);
}
