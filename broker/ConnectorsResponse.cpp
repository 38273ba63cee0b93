#include "ConnectorsResponse.h"

ConnectorsResponse ConnectorsResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectorsResponse>(reader);
}
