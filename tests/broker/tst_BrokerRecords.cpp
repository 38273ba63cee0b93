#include "ApprovalsResponse.h"
#include "AuditResponse.h"
#include "BrokerAgentConnectResponse.h"
#include "BrokerHealth.h"
#include "BrokerRecordDecoding.h"
#include "BrokerRecordFixtures.h"
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

#include <QJsonDocument>
#include <QtTest>

#include <functional>

namespace {

// Decodes a body as the named record; the empty string when it decodes, else the failure text.
using Decoder = std::function<QString(const QByteArray &)>;

template <typename T>
Decoder decoderFor()
{
    return [](const QByteArray &body) {
        const BrokerResult<T> result = decodeBrokerRecord<T>(body);
        return result ? QString() : result.failure().description();
    };
}

const QMap<QString, Decoder> &decoders()
{
    static const QMap<QString, Decoder> table{
        {"BrokerHealth", decoderFor<BrokerHealth>()},
        {"LocalPosture", decoderFor<LocalPosture>()},
        {"OperatorStatus", decoderFor<OperatorStatus>()},
        {"OperatorSessionResponse", decoderFor<OperatorSessionResponse>()},
        {"ConnectorsResponse", decoderFor<ConnectorsResponse>()},
        {"ConnectionsResponse", decoderFor<ConnectionsResponse>()},
        {"ConnectionHealth", decoderFor<ConnectionHealth>()},
        {"MasterKeysResponse", decoderFor<MasterKeysResponse>()},
        {"CreatedMasterKeyResponse", decoderFor<CreatedMasterKeyResponse>()},
        {"AuditResponse", decoderFor<AuditResponse>()},
        {"ProxyProfilesResponse", decoderFor<ProxyProfilesResponse>()},
        {"ProxyServicesResponse", decoderFor<ProxyServicesResponse>()},
        {"LatestProofResponse", decoderFor<LatestProofResponse>()},
        {"KeychainTrustStatusResponse", decoderFor<KeychainTrustStatusResponse>()},
        {"BrokerAgentConnectResponse", decoderFor<BrokerAgentConnectResponse>()},
    };
    return table;
}

} // namespace

class TestBrokerRecords : public QObject
{
    Q_OBJECT

private slots:
    void decodingIsAllOrNothing_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("failedKey"); // empty: decodes

        QTest::newRow("health minimal") << "BrokerHealth" << QByteArray(R"({"ok":false})") << "";
        QTest::newRow("health optional null") << "BrokerHealth" << QByteArray(R"({"ok":true,"service":null})") << "";
        QTest::newRow("health optional mistyped") << "BrokerHealth" << QByteArray(R"({"ok":true,"service":7})") << "service";
        QTest::newRow("posture only loopbackOnly") << "LocalPosture" << QByteArray(R"({"loopbackOnly":true})") << "";
        QTest::newRow("posture empty") << "LocalPosture" << QByteArray("{}") << "loopbackOnly";
        QTest::newRow("posture fractional port") << "LocalPosture" << QByteArray(R"({"loopbackOnly":true,"brokerPort":1.5})")
                                                 << "brokerPort";
        QTest::newRow("operator status integer as string")
            << "OperatorStatus" << QByteArray(R"({"enabled":true,"activeSessions":"1","sessionTtlSeconds":60,"unlockMethod":"local-file"})")
            << "activeSessions";
        QTest::newRow("session missing expiry") << "OperatorSessionResponse" << QByteArray(R"({"sessionId":"s"})") << "expiresAt";
        QTest::newRow("connector without optional parts") << "ConnectorsResponse" << "{\"connectors\":[" + kConnector + "]}" << "";
        QTest::newRow("connector without tools")
            << "ConnectorsResponse" << QByteArray(R"({"connectors":[{"id":"g","displayName":"G","status":"s","authType":"a"}]})")
            << "connectors[0].tools";
        QTest::newRow("nested part missing key")
            << "ConnectorsResponse"
            << QByteArray(R"({"connectors":[{"id":"g","displayName":"G","status":"s","tools":1,"authType":"a",
                 "runtime":{"status":"up","healthCheck":true,"liveTools":[]}}]})")
            << "connectors[0].runtime.missingTools";
        QTest::newRow("list element not an object") << "ConnectionsResponse" << QByteArray(R"({"connections":[1]})")
                                                   << "connections[0]";
        QTest::newRow("master keys under the wrong key") << "MasterKeysResponse" << QByteArray(R"({"masterKeys":[]})") << "keys";
        QTest::newRow("scopes with a number")
            << "MasterKeysResponse"
            << QByteArray(R"({"keys":[{"id":"k","name":"n","agentId":"a","scopes":["x",1],"createdAt":"t","status":"active"}]})")
            << "keys[0].scopes";
        QTest::newRow("created key nested record")
            << "CreatedMasterKeyResponse" << QByteArray(R"({"key":"tvn_x","record":{"id":"k","name":"n","agentId":"a","scopes":[]}})")
            << "record.createdAt";
        QTest::newRow("audit sequence too large")
            << "AuditResponse"
            << QByteArray(R"({"events":[{"id":"e","sequence":1e300,"timestamp":"t","actor":"a","action":"x","decision":"d",
                 "correlationId":"c","previousHash":"p","hash":"h"}]})")
            << "events[0].sequence";
        QTest::newRow("profiles key") << "ProxyProfilesResponse" << QByteArray(R"({"profiles":[]})") << "";
        QTest::newRow("services key") << "ProxyServicesResponse" << "{\"services\":[" + kService + "]}" << "";
        QTest::newRow("service credential missing")
            << "ProxyServicesResponse" << QByteArray(kService).replace(R"("credential":{"placement":"authorization_bearer"},)", "")
                                                .prepend("{\"services\":[").append("]}")
            << "services[0].credential";
        QTest::newRow("proof result mistyped")
            << "LatestProofResponse" << QByteArray(R"({"available":true,"artifact":"a","proof":{"ok":true,"results":[{"name":"n","status":false}]}})")
            << "proof.results[0].status";
        QTest::newRow("connection health") << "ConnectionHealth"
                                           << QByteArray(R"({"tenantId":"t","providerId":"p","accountId":"a","status":"ok",
                                                 "checkedAt":"c","consecutiveFailures":0,"lastErrorCode":null})")
                                           << "";
        QTest::newRow("agent connect") << "BrokerAgentConnectResponse"
                                       << QByteArray(R"({"action":"updated","profile":"p","brokerAccepted":"yes"})") << "brokerAccepted";
        QTest::newRow("keychain items required")
            << "KeychainTrustStatusResponse"
            << QByteArray(R"({"ok":true,"platform":"linux","keychainEnabled":false,"trustedAppPaths":[],"trustedAppPathStatus":[]})")
            << "items";
    }

    void decodingIsAllOrNothing()
    {
        QFETCH(QString, record);
        QFETCH(QByteArray, body);
        QFETCH(QString, failedKey);
        QVERIFY(decoders().contains(record));
        const QString failure = decoders().value(record)(body);
        if (failedKey.isEmpty())
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        else
            QCOMPARE(failure, QStringLiteral("The broker's response could not be read: missing or invalid key \"%1\"").arg(failedKey));
    }

    void valuesAndOrderSurviveDecoding()
    {
        const auto connectors = decodeBrokerRecord<ConnectorsResponse>(
            R"({"connectors":[{"id":"b","displayName":"B","status":"s","tools":2,"authType":"a","authReady":null,
                 "scopes":[{"id":"s2","risk":"high","description":"d"},{"id":"s1","risk":"low","description":"d"}]},
               {"id":"a","displayName":"A","status":"s","tools":0,"authType":"a","extra":{"ignored":true}}]})");
        QVERIFY(connectors);
        QCOMPARE(connectors->connectors.size(), 2);
        const ConnectorSummary &first = connectors->connectors[0];
        QCOMPARE(first.id, "b");
        QCOMPARE(first.tools, 2);
        QVERIFY(!first.authReady);
        QVERIFY(!first.authOptions && !first.runtime && !first.setupGuide && !first.toolPreview);
        QCOMPARE(first.scopes->size(), 2);
        QCOMPARE(first.scopes->at(0).id, "s2");
        QCOMPARE(connectors->connectors[1].id, "a");
    }

    void approvalDisplayInputTakesAnyJson()
    {
        const auto approvals = decodeBrokerRecord<ApprovalsResponse>(
            R"({"approvals":[{"id":"ap","agentId":"a","connectorId":"c","toolId":"t","risk":"high","expiresAt":"e",
                 "displayInput":{"n":1,"s":"x","z":null,"list":[true,{"deep":[]}],"o":{"b":2.5}}}]})");
        QVERIFY(approvals);
        const auto input = approvals->approvals.value(0).displayInput;
        QVERIFY(input);
        QCOMPARE(BrokerJSONValue::fromObject(*input).debugString(), "{list: [true, {deep: []}], n: 1.0, o: {b: 2.5}, s: x, z: null}");
    }

    void keychainStatusRoundTripsWithTheSameKeys()
    {
        const QByteArray body = R"({"ok":false,"platform":"linux","keychainEnabled":true,"trustedAppPaths":["/opt/torvane"],
            "trustedAppPathStatus":[{"path":"/opt/torvane","exists":true,"trustedForRepair":false}],
            "items":[{"id":"operator-bootstrap","label":"L","service":"S","account":"A","present":true,"repairable":true,
                      "status":"needs_repair","reason":null}],
            "repairResults":[{"id":"operator-bootstrap","label":"L","service":"S","account":"A","status":"repaired"}]})";
        const auto decoded = decodeBrokerRecord<KeychainTrustStatusResponse>(body);
        QVERIFY(decoded);
        const QJsonObject encoded = decoded->toJson();
        QVERIFY(!encoded.contains("repairedAt"));
        QVERIFY(!encoded["items"].toArray()[0].toObject().contains("reason"));
        QCOMPARE(encoded["trustedAppPathStatus"].toArray()[0].toObject()["trustedForRepair"], QJsonValue(false));
        const auto again = decodeBrokerRecord<KeychainTrustStatusResponse>(QJsonDocument(encoded).toJson());
        QVERIFY(again);
        QCOMPARE(again.value(), decoded.value());
    }
};

QTEST_GUILESS_MAIN(TestBrokerRecords)
#include "tst_BrokerRecords.moc"
