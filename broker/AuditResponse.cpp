#include "AuditResponse.h"

AuditResponse AuditResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<AuditResponse>(reader);
}
