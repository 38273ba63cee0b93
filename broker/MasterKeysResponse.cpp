#include "MasterKeysResponse.h"

MasterKeysResponse MasterKeysResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<MasterKeysResponse>(reader);
}
