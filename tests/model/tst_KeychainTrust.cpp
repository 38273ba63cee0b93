#include "CannedHttpServer.h"
#include "ModelTestSupport.h"

#include <QJsonArray>

// Keyring trust through the model: the guards (which send nothing), the summaries and messages
// for the broker's answers, one repair at a time, and the redacted diagnostics copy. The broker
// is a canned listener on the development port so each answer can be exactly the case at hand;
// its "linux" answer has the shape the real service gives (no keyring items at all).
namespace {
CannedHttpServer::Answer json(const QJsonObject &object, int status = 200)
{
    return {status, QJsonDocument(object).toJson(QJsonDocument::Compact), {}, {}, false};
}

QJsonObject item(const QString &id, bool present, const QString &status)
{
    return {{"id", id}, {"label", id}, {"service", "Torvane Dev Operator Unlock"}, {"account", id},
            {"present", present}, {"repairable", true}, {"status", status}};
}

QJsonObject trustStatus(bool ok, const QJsonArray &items, const std::optional<QJsonArray> &repairResults = std::nullopt)
{
    QJsonObject status{{"ok", ok}, {"platform", "linux"}, {"keychainEnabled", false},
                       {"trustedAppPaths", QJsonArray{"/usr/bin/torvane"}},
                       {"trustedAppPathStatus", QJsonArray{QJsonObject{{"path", "/usr/bin/torvane"}, {"exists", true}, {"trustedForRepair", false}}}},
                       {"items", items}};
    if (repairResults) {
        status.insert("repairResults", *repairResults);
        status.insert("repairedAt", "2026-01-01T00:00:00Z");
    }
    return status;
}

QJsonObject repairResult(const QString &id, const QString &status)
{
    return {{"id", id}, {"label", id}, {"service", ""}, {"account", id}, {"status", status}};
}

class LegacyMode
{
public:
    explicit LegacyMode(bool on)
    {
        qunsetenv("SWITCHYARD_ALLOW_LEGACY_KEYCHAIN_UI");
        qputenv("TVN_ENABLE_LEGACY_KEYCHAIN", on ? "1" : "0");
    }
    ~LegacyMode() { qunsetenv("TVN_ENABLE_LEGACY_KEYCHAIN"); }
};
} // namespace

class TestKeychainTrust : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::optional<CannedHttpServer> m_broker;
    std::shared_ptr<RecordingClipboard> m_clipboard = std::make_shared<RecordingClipboard>();
    std::unique_ptr<AppModel> m_model;

    KeychainTrust &trust() { return *m_model->keychainTrust(); }

    // Health and identity as a finished refresh leaves them.
    void setBroker(bool healthy, bool verified)
    {
        BrokerHealth health;
        health.ok = healthy;
        if (healthy)
            health.service = QStringLiteral("switchyard-broker");
        m_model->snapshot()->setHealth(health);
        m_model->snapshot()->setBrokerIdentityVerified(verified);
    }

    void setOperator(bool enabled, const QString &unlockMethod)
    {
        OperatorStatus status;
        status.enabled = enabled;
        status.unlockMethod = unlockMethod;
        m_model->snapshot()->setOperatorStatus(status);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(waitUntil([] { return !portAcceptsConnections(); }, 60000), "another process holds port 47382");
        m_broker.emplace(nullptr, developmentPort);
        QVERIFY(m_broker->isListening());
    }

    void init()
    {
        m_broker->clearRequests();
        m_clipboard->texts.clear();
        const LocalServiceContext context = modelServiceContext(m_home.path(), QStringLiteral(TVN_BINARY_DIR));
        m_model = std::make_unique<AppModel>(modelDependencies(context, std::make_shared<VirtualClock>(), m_clipboard));
    }

    void guardsSendNothing_data()
    {
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<bool>("healthy");
        QTest::addColumn<bool>("verified");
        QTest::addColumn<bool>("repair");
        QTest::addColumn<QString>("message");
        QTest::newRow("legacy off, check") << false << true << true << false
                                           << "Legacy unlock is disabled in this build. TVN uses the local vault.";
        QTest::newRow("legacy off, repair") << false << true << true << true
                                            << "Legacy unlock repair is disabled. Use Repair & Restart to restore the local vault path.";
        QTest::newRow("service off, check") << true << false << false << false << "Turn on Torvane before checking legacy unlock status";
        QTest::newRow("service off, repair") << true << false << false << true << "Turn on Torvane before repairing legacy unlock trust";
        QTest::newRow("identity not verified") << true << true << false << false << "";
    }
    void guardsSendNothing()
    {
        QFETCH(bool, legacy);
        QFETCH(bool, healthy);
        QFETCH(bool, verified);
        QFETCH(bool, repair);
        const LegacyMode mode(legacy);
        setBroker(healthy, verified);
        QCoro::waitFor(repair ? m_model->repairOperatorKeychainTrust() : m_model->refreshKeychainTrustStatus());
        QTEST(trust().keychainTrustMessage(), "message");
        QCOMPARE(m_broker->requestedPaths(), QList<QByteArray>());
        QVERIFY(!trust().keychainTrustStatus());
    }

    void summaryOfTheStatus_data()
    {
        QTest::addColumn<QJsonObject>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("summary");
        const QJsonObject unavailable = item("a", true, "unavailable");
        QTest::newRow("this computer: no keyring items") << trustStatus(true, {}) << "Legacy unlock trust looks ready"
            << "No TVN legacy unlock items found yet. They will appear after setup creates the local vault.";
        QTest::newRow("three need attention") << trustStatus(false, {unavailable, unavailable, unavailable})
            << "Legacy unlock trust needs attention" << "3 legacy unlock item needs attention. Repair access, then unlock the vault again.";
        QTest::newRow("one present") << trustStatus(true, {item("operator-bootstrap", true, "trusted"), item("b", false, "missing")})
            << "Legacy unlock trust looks ready"
            << "1 TVN legacy unlock item found. The app and helper are trusted for the current install.";
        QTest::newRow("two present") << trustStatus(true, {item("a", true, "trusted"), item("b", true, "trusted")})
            << "Legacy unlock trust looks ready"
            << "2 TVN legacy unlock items found. The app and helper are trusted for the current install.";
    }
    void summaryOfTheStatus()
    {
        QFETCH(QJsonObject, status);
        const LegacyMode mode(true);
        setBroker(true, true);
        QCOMPARE(trust().keychainTrustSummary(), QStringLiteral("Legacy unlock trust will appear after the local service is running."));
        m_broker->setAnswer("/v1/local/keychain/trust-status", json(status));
        QCoro::waitFor(m_model->refreshKeychainTrustStatus());
        QTEST(trust().keychainTrustMessage(), "message");
        QTEST(trust().keychainTrustSummary(), "summary");
        QCOMPARE(m_broker->requestedPaths(), QList<QByteArray>{"/v1/local/keychain/trust-status"});
        QCOMPARE(m_model->context()->actions().keys(), QStringList());
    }

    void operatorItemRepair_data()
    {
        QTest::addColumn<QJsonObject>("answer");
        QTest::addColumn<QString>("message");
        QTest::newRow("repaired") << trustStatus(true, {}, QJsonArray{repairResult("operator-bootstrap", "repaired")})
                                  << "Unlock trust repaired. Choose Always Allow if Linux asks once more.";
        // The service's answer on this computer: nothing to repair, and not ok overall.
        QTest::newRow("missing, not ok") << trustStatus(false, {}, QJsonArray{repairResult("operator-bootstrap", "missing")})
                                         << "No unlock item to repair yet. It appears after you first unlock the vault.";
        QTest::newRow("failed") << trustStatus(false, {}, QJsonArray{repairResult("operator-bootstrap", "failed")})
                                << "Unlock trust repair needs attention. Try unlocking the vault again.";
        QTest::newRow("no result of its own") << trustStatus(true, {}, QJsonArray{repairResult("vault-root", "repaired")})
                                              << "Legacy unlock trust looks ready";
        QTest::newRow("broker refuses") << QJsonObject{{"error", "repair is busy"}} << "";
    }
    void operatorItemRepair()
    {
        QFETCH(QJsonObject, answer);
        QFETCH(QString, message);
        const LegacyMode mode(true);
        setBroker(true, true);
        const bool refused = answer.contains(QStringLiteral("error"));
        m_broker->setAnswer("/v1/local/keychain/repair-trust", json(answer, refused ? 409 : 200));
        QCoro::waitFor(m_model->repairOperatorKeychainTrust());
        const QList<CannedHttpServer::Request> requests = m_broker->requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(QJsonDocument::fromJson(requests.first().body).object(),
                 QJsonObject({{"targets", QJsonArray{"operator-bootstrap"}}}));
        QVERIFY(!trust().keychainTrustRepairInProgress());
        if (refused) {
            QVERIFY(!trust().keychainTrustStatus());
            QVERIFY(trust().keychainTrustMessage().contains(QStringLiteral("repair is busy")));
        } else {
            QCOMPARE(trust().keychainTrustMessage(), message);
        }
    }

    void oneRepairAtATime()
    {
        const LegacyMode mode(true);
        setBroker(true, true);
        m_broker->setAnswer("/v1/local/keychain/repair-trust", CannedHttpServer::Answer{200, {}, {}, {}, true});
        QCoro::Task<> first = m_model->repairKeychainTrust();
        QVERIFY(trust().keychainTrustRepairInProgress());
        QCOMPARE(trust().keychainTrustMessage(), QStringLiteral("Repairing legacy unlock trust from the recovery action"));
        QCoro::waitFor(m_model->repairOperatorKeychainTrust());
        QVERIFY(waitUntil([this] { return !m_broker->requests().isEmpty(); }, 5000));
        QCOMPARE(QJsonDocument::fromJson(m_broker->requests().first().body).object(), QJsonObject({{"repairAll", true}}));
        QCoro::waitFor(std::move(first));
        QCOMPARE(m_broker->requests().size(), 1);
        QVERIFY(!trust().keychainTrustRepairInProgress());
    }

    void diagnosticsCopy()
    {
        {
            const LegacyMode mode(false);
            m_model->copyKeychainDiagnostics();
            QCOMPARE(m_model->statusMessage(),
                     QStringLiteral("Legacy unlock diagnostics are hidden because TVN is using the local vault"));
        }
        const LegacyMode mode(true);
        m_model->copyKeychainDiagnostics();
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Check legacy unlock status before copying diagnostics"));
        QCOMPARE(m_clipboard->texts, QStringList());

        setBroker(true, true);
        m_broker->setAnswer("/v1/local/keychain/trust-status", json(trustStatus(true, {item("operator-bootstrap", true, "trusted")})));
        QCoro::waitFor(m_model->refreshKeychainTrustStatus());
        m_model->copyKeychainDiagnostics();
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Redacted legacy unlock diagnostics copied"));
        QCOMPARE(m_clipboard->texts.size(), 1);
        const QString copied = m_clipboard->texts.first();
        QVERIFY(copied.contains(QStringLiteral("\n    \"items\": [")));
        QVERIFY(copied.indexOf(QStringLiteral("\"items\"")) < copied.indexOf(QStringLiteral("\"keychainEnabled\"")));
        QCOMPARE(QJsonDocument::fromJson(copied.toUtf8()).object().value("items").toArray().first().toObject().value("id"),
                 QJsonValue("operator-bootstrap"));
    }

    void texts_data()
    {
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<bool>("sessionsEnabled");
        QTest::addColumn<QString>("unlockMethod");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("guidance");
        QTest::addColumn<QString>("localVault");
        const QString noPrompt = QStringLiteral("TVN is using its owner-only local vault. No Linux credential prompt is needed.");
        const QString fileGuidance = QStringLiteral("Unlock the vault from the local owner-only file. No Linux password prompt is expected.");
        const QString stillLegacy = QStringLiteral("This install is still reporting the legacy Linux unlock backend. Repair & Restart "
                                                   "migrates the local service back to TVN's owner-only local vault.");
        QTest::newRow("local file") << false << true << "local-file"
                                    << "TVN is using the owner-only local vault. Legacy unlock repair controls are hidden."
                                    << fileGuidance << "Local vault is ready for unlock from TVN's owner-only state file.";
        QTest::newRow("keyring reported, legacy off") << false << true << "mac-keychain"
            << "Legacy Linux unlock is disabled. Repair & Restart the local service to use TVN's local vault." << stillLegacy
            << "Legacy Linux unlock is disabled; use Repair & Restart to return to the local vault.";
        QTest::newRow("keyring, legacy on") << true << true << "mac-keychain"
            << "Legacy unlock trust will appear after the local service is running."
            << "The first time, Linux may ask for your login password. Choose Always Allow so Torvane won't ask again."
            << "Legacy Linux unlock is enabled for this environment.";
        QTest::newRow("sealed to the TPM") << false << true << "secure-enclave"
            << "TVN is using the owner-only local vault. Legacy unlock repair controls are hidden." << stillLegacy
            << "Your operator unlock secret is sealed in this computer's TPM and released with your computer password";
        QTest::newRow("sessions off") << false << false << "local-file"
            << "TVN is using the owner-only local vault. Legacy unlock repair controls are hidden." << stillLegacy << noPrompt;
    }
    void texts()
    {
        QFETCH(bool, legacy);
        QFETCH(bool, sessionsEnabled);
        QFETCH(QString, unlockMethod);
        const LegacyMode mode(legacy);
        setOperator(sessionsEnabled, unlockMethod);
        QTEST(trust().keychainTrustSummary(), "summary");
        QTEST(trust().keychainApprovalGuidance(), "guidance");
        if (unlockMethod == QLatin1StringView("secure-enclave")) {
            QFETCH(QString, localVault);
            QVERIFY2(trust().localVaultSummary().startsWith(localVault.left(localVault.indexOf(QStringLiteral(" released with")))),
                     qPrintable(trust().localVaultSummary()));
        } else {
            QTEST(trust().localVaultSummary(), "localVault");
        }
    }
};

QTEST_GUILESS_MAIN(TestKeychainTrust)
#include "tst_KeychainTrust.moc"
