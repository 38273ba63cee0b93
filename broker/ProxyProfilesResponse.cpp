#include "ProxyProfilesResponse.h"

ProxyProfilesResponse ProxyProfilesResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<ProxyProfilesResponse>(reader);
}
