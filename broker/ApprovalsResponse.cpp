#include "ApprovalsResponse.h"

ApprovalsResponse ApprovalsResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<ApprovalsResponse>(reader);
}
