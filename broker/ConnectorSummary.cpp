#include "ConnectorSummary.h"

ConnectorAuthOptionSummary ConnectorAuthOptionSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectorAuthOptionSummary>(reader);
}

ConnectorRuntimeSummary ConnectorRuntimeSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectorRuntimeSummary>(reader);
}

ConnectorSetupGuide ConnectorSetupGuide::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectorSetupGuide>(reader);
}

ConnectorScopeSummary ConnectorScopeSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectorScopeSummary>(reader);
}

ConnectorToolPreview ConnectorToolPreview::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectorToolPreview>(reader);
}

ConnectorSummary ConnectorSummary::decode(JsonReader &reader)
{
    return decodeRecordFields<ConnectorSummary>(reader);
}
