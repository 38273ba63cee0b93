#include "LatestProofResponse.h"

LocalProofResult LocalProofResult::decode(JsonReader &reader)
{
    return decodeRecordFields<LocalProofResult>(reader);
}

LocalProofSummary LocalProofSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<LocalProofSummary>(reader);
}

LatestProofResponse LatestProofResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<LatestProofResponse>(reader);
}
