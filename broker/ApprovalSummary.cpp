#include "ApprovalSummary.h"

ApprovalSummary ApprovalSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<ApprovalSummary>(reader);
}
