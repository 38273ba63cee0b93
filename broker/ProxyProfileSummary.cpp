#include "ProxyProfileSummary.h"

ProxyProfileSummary ProxyProfileSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<ProxyProfileSummary>(reader);
}
