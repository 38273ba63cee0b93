#include "CreatedMasterKeyResponse.h"

CreatedMasterKeyRecord CreatedMasterKeyRecord::decode(JsonReader &reader)
{
    return decodeRecordFields<CreatedMasterKeyRecord>(reader);
}

CreatedMasterKeyResponse CreatedMasterKeyResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<CreatedMasterKeyResponse>(reader);
}
