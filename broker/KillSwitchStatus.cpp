#include "KillSwitchStatus.h"

KillSwitchStatus KillSwitchStatus::decode(JsonReader &reader)
{
    return decodeRecordFields<KillSwitchStatus>(reader);
}
