// Feeds arbitrary bytes to every broker record decoder and to the error-body readers, as a
// hostile or broken broker would. The first byte picks the decoder. Besides "never crash", it
// checks what must hold for any input: encoding a decoded value and decoding it again gives the
// same value.
#include "ApprovalsResponse.h"
#include "AuditResponse.h"
#include "BrokerAgentConnectResponse.h"
#include "BrokerErrorPresentation.h"
#include "BrokerHealth.h"
#include "BrokerRecordDecoding.h"
#include "ConnectionHealth.h"
#include "ConnectionsResponse.h"
#include "ConnectorsResponse.h"
#include "CreatedMasterKeyResponse.h"
#include "KeychainTrustStatusResponse.h"
#include "LatestProofResponse.h"
#include "LocalPosture.h"
#include "MasterKeysResponse.h"
#include "OperatorSessionResponse.h"
#include "OperatorStatus.h"
#include "ProxyProfilesResponse.h"
#include "ProxyServicesResponse.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdlib>

namespace {

template <typename T>
void decode(const QByteArray &body)
{
    (void)decodeBrokerRecord<T>(body);
}

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void keychainStatusRoundTrips(const QByteArray &body)
{
    const auto decoded = decodeBrokerRecord<KeychainTrustStatusResponse>(body);
    if (!decoded)
        return;
    const auto again = decodeBrokerRecord<KeychainTrustStatusResponse>(QJsonDocument(decoded->toJson()).toJson());
    require(again && again.value() == decoded.value());
}

void jsonValueRoundTrips(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue json = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    const BrokerJSONValue value = BrokerJSONValue::decode(json);
    (void)value.debugString();
    require(BrokerJSONValue::decode(value.toJson()) == value);
    require(qHash(BrokerJSONValue::decode(value.toJson())) == qHash(value));
}

using Decoder = void (*)(const QByteArray &);
constexpr Decoder kDecoders[] = {
    decode<BrokerHealth>,          decode<LocalPosture>,          decode<OperatorStatus>,
    decode<OperatorSessionResponse>, decode<ConnectorsResponse>, decode<ConnectionsResponse>,
    decode<ConnectionHealth>,      decode<MasterKeysResponse>,    decode<CreatedMasterKeyResponse>,
    decode<ApprovalsResponse>,     decode<AuditResponse>,         decode<ProxyProfilesResponse>,
    decode<ProxyServicesResponse>, decode<LatestProofResponse>,   decode<BrokerAgentConnectResponse>,
    keychainStatusRoundTrips,      jsonValueRoundTrips,
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray body(reinterpret_cast<const char *>(data) + 1, static_cast<qsizetype>(size - 1));
    kDecoders[data[0] % std::size(kDecoders)](body);
    const QString message = brokerErrorMessage(body);
    require(!message.isEmpty());
    (void)brokerErrorMessage(QString::fromUtf8(body));
    (void)friendlyErrorMessage(BrokerClientError::requestFailed(data[0] + 300, message));
    return 0;
}
