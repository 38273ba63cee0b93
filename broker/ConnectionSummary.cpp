#include "ConnectionSummary.h"

ConnectionSummary ConnectionSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectionSummary>(reader);
}
