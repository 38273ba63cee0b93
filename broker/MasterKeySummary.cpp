#include "MasterKeySummary.h"

MasterKeySummary MasterKeySummary::decode(JsonReader &reader)
{
    return decodeRecordFields<MasterKeySummary>(reader);
}
