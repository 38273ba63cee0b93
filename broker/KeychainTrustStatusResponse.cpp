#include "KeychainTrustStatusResponse.h"

KeychainTrustedAppPathStatus KeychainTrustedAppPathStatus::decode(JsonReader &reader)
{
    return decodeRecordFields<KeychainTrustedAppPathStatus>(reader);
}

QJsonObject KeychainTrustedAppPathStatus::toJson() const
{
    return encodeRecordFields(*this);
}

KeychainTrustItemStatus KeychainTrustItemStatus::decode(JsonReader &reader)
{
    return decodeRecordFields<KeychainTrustItemStatus>(reader);
}

QJsonObject KeychainTrustItemStatus::toJson() const
{
    return encodeRecordFields(*this);
}

KeychainTrustRepairItemResult KeychainTrustRepairItemResult::decode(JsonReader &reader)
{
    return decodeRecordFields<KeychainTrustRepairItemResult>(reader);
}

QJsonObject KeychainTrustRepairItemResult::toJson() const
{
    return encodeRecordFields(*this);
}

KeychainTrustStatusResponse KeychainTrustStatusResponse::decode(JsonReader &reader)
{
    return decodeRecordFields<KeychainTrustStatusResponse>(reader);
}

QJsonObject KeychainTrustStatusResponse::toJson() const
{
    return encodeRecordFields(*this);
}
