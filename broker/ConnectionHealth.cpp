#include "ConnectionHealth.h"

ConnectionHealth ConnectionHealth::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectionHealth>(reader);
}
