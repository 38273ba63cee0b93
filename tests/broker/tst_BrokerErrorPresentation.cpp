#include "BrokerErrorPresentation.h"
#include "BrokerHeaders.h"

#include <QtTest>

namespace {

const QString kProviderRejected = QStringLiteral(
    "The provider rejected that key. Check that it is active and has the required permissions, then try again.");
const QString kUnlock = QStringLiteral("Unlock Torvane on this computer, then try again.");
const QString kUnauthorized =
    QStringLiteral("Torvane could not authorize that request. Check the key or unlock the local vault, then try again.");
const QString kUnreachable = QStringLiteral("Torvane local service is not reachable. Turn it on or use Repair & Restart.");
const QString kVaultUnlock =
    QStringLiteral("TVN could not unlock the local vault. Use Repair & Restart or open the logs from Advanced.");
const QString kLegacyPermission = QStringLiteral(
    "Legacy unlock permission required. Try unlocking the vault again and approve only if Linux says Torvane.");

BrokerFailure refused(qint64 status, const QString &message)
{
    return BrokerClientError::requestFailed(status, message);
}

} // namespace

class TestBrokerErrorPresentation : public QObject
{
    Q_OBJECT

private slots:
    void messageOfErrorBody_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("error member trimmed") << QByteArray("{\"error\":\"  already revoked \\n\"}") << "already revoked";
        QTest::newRow("empty error member gives raw body") << QByteArray(" {\"error\":\"\"}\n") << "{\"error\":\"\"}";
        QTest::newRow("other keys only") << QByteArray("{\"message\":\"m\"}") << "{\"message\":\"m\"}";
        QTest::newRow("error member not a string") << QByteArray("{\"error\":5}") << "{\"error\":5}";
        QTest::newRow("plain text") << QByteArray("\tService Unavailable\r\n") << "Service Unavailable";
        QTest::newRow("empty") << QByteArray() << "Broker request failed";
        QTest::newRow("white space") << QByteArray(" \n\t ") << "Broker request failed";
        QTest::newRow("invalid UTF-8") << QByteArray("bad \xc3\x28 text") << "Broker request failed";
    }

    void messageOfErrorBody()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        QCOMPARE(brokerErrorMessage(body), message);
    }

    void messageOfErrorText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("plain") << " nope \n" << "nope";
        QTest::newRow("error member") << R"({"error":"gone","message":"m"})" << "gone";
        QTest::newRow("message member") << R"( {"message":"m"} )" << "m";
        QTest::newRow("message not a string") << R"({"message":3})" << R"({"message":3})";
        QTest::newRow("neither") << "{}" << "{}";
        QTest::newRow("array") << "[1]" << "[1]";
    }

    void messageOfErrorText()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        QCOMPARE(brokerErrorMessage(text), message);
    }

    void friendlySentence_data()
    {
        QTest::addColumn<BrokerFailure>("error");
        QTest::addColumn<bool>("legacyPolicy");
        QTest::addColumn<QString>("sentence");
        QTest::newRow("message phrase before status")
            << refused(401, "Invalid credentials for account") << false << kProviderRejected;
        QTest::newRow("phrase inside JSON message") << refused(400, R"({"error":"Bad Credentials"})") << false << kProviderRejected;
        QTest::newRow("session required") << refused(401, "local operator session required") << false << kUnlock;
        QTest::newRow("session expired") << refused(401, "Invalid or expired local operator session") << false << kUnlock;
        QTest::newRow("403 with empty object") << refused(403, "{}") << false << kUnauthorized;
        QTest::newRow("plain broker message") << refused(409, "already revoked") << false << "already revoked";
        QTest::newRow("500 object without members falls through")
            << refused(500, R"({"detail":"x"})") << false << R"(Broker request failed with HTTP 500: {"detail":"x"})";
        QTest::newRow("500 empty message falls through to phrases")
            << refused(503, "") << false << "Broker request failed with HTTP 503: ";
        QTest::newRow("transport could not connect") << BrokerFailure::transport("Could not connect to the server.") << false
                                                     << kUnreachable;
        QTest::newRow("time-out shown as is") << BrokerFailure::transport("The request timed out.") << false
                                              << "The request timed out.";
        QTest::newRow("legacy disabled")
            << BrokerFailure::transport("Legacy keychain unlock is disabled in this build") << false
            << "Legacy Linux unlock is disabled. Use Repair & Restart to migrate TVN back to the local vault.";
        QTest::newRow("authorization, policy off") << BrokerFailure::decoding("Authorization was denied") << false << kVaultUnlock;
        QTest::newRow("authorization, policy on") << BrokerFailure::decoding("operator bootstrap unreadable") << true
                                                  << kLegacyPermission;
        QTest::newRow("precondition 400 reads like the broker")
            << refused(400, "Choose at least one app") << false << "Choose at least one app";
    }

    void friendlySentence()
    {
        QFETCH(BrokerFailure, error);
        QFETCH(bool, legacyPolicy);
        QFETCH(QString, sentence);
        QCOMPARE(friendlyErrorMessage(error, legacyPolicy), sentence);
    }

    void rejectedSessionIsOnly401WithThatMessage_data()
    {
        QTest::addColumn<BrokerFailure>("error");
        QTest::addColumn<bool>("rejected");
        QTest::newRow("401 exact") << refused(401, "Invalid or expired local operator session") << true;
        QTest::newRow("401 other case") << refused(401, "invalid OR EXPIRED local operator session.") << true;
        QTest::newRow("403 same message") << refused(403, "Invalid or expired local operator session") << false;
        QTest::newRow("401 session required") << refused(401, "local operator session required") << false;
        QTest::newRow("transport") << BrokerFailure::transport("Invalid or expired local operator session") << false;
    }

    void rejectedSessionIsOnly401WithThatMessage()
    {
        QFETCH(BrokerFailure, error);
        QFETCH(bool, rejected);
        QCOMPARE(isInvalidOrExpiredOperatorSession(error), rejected);
    }

    void operatorHeadersOnlyWithASession()
    {
        QVERIFY(operatorHeaders(QString()).isEmpty());
        QCOMPARE(operatorHeaders("s-1"), (BrokerHeaders{{"x-tvn-operator-session", "s-1"}}));
    }
};

QTEST_GUILESS_MAIN(TestBrokerErrorPresentation)
#include "tst_BrokerErrorPresentation.moc"
