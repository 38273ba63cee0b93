#include "AuditEvent.h"

AuditEvent AuditEvent::decode(JsonReader &reader)
{
    return decodeRecordFields<AuditEvent>(reader);
}
