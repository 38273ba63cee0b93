#include "ProxyServiceSummary.h"

ProxyCredentialSummary ProxyCredentialSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<ProxyCredentialSummary>(reader);
}

ProxyServiceSummary ProxyServiceSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<ProxyServiceSummary>(reader);
}
