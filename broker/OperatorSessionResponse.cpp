#include "OperatorSessionResponse.h"

OperatorSessionResponse OperatorSessionResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<OperatorSessionResponse>(reader);
}
