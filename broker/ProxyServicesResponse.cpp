#include "ProxyServicesResponse.h"

ProxyServicesResponse ProxyServicesResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<ProxyServicesResponse>(reader);
}
