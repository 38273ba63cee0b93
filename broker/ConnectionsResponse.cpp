#include "ConnectionsResponse.h"

ConnectionsResponse ConnectionsResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectionsResponse>(reader);
}
