#include "LocalPosture.h"

LocalPosture LocalPosture::decode(JsonReader &reader)
{
    return decodeRecordFields<LocalPosture>(reader);
}
