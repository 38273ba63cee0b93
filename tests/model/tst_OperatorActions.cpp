#include "AgentProfileNames.h"
#include "BrokerPaths.h"
#include "UnlockedService.h"
#include "VaultTestSupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>

// The operator's actions through the model, against the real control script and broker of this
// checkout in a temporary home, with the providers replaced by the loopback stand-in through the
// app's environment (TVN_PROVIDER_BASE_URL_<ID>) and agent keys sealed to the TPM simulator of the
// vault tests' fixture. Each test builds on the state the earlier ones left: one service, one vault.
namespace {

const QString backupPassphrase = QStringLiteral("a long backup passphrase");

QStringList filesContaining(const QString &root, const QByteArray &needle)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle))
            found << QDir(root).relativeFilePath(file.fileName());
    }
    return found;
}

// What an agent sees when it calls the broker with its key.
struct AgentAnswer {
    qint64 status = 0;
    QJsonObject body;
};

} // namespace

class TestOperatorActions : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<UnlockedService> m_service;
    AppModel *m_model = nullptr;
    // The one-time keys the agent-key tests created, by agent id.
    QHash<QString, QString> m_agentKeys;
    QStringList m_statusMessages;

    void recordStatusMessages(AppModel *model)
    {
        connect(&model->context()->status(), &StatusReporter::statusMessageChanged, this,
                [this, model] { m_statusMessages << model->statusMessage(); });
    }

    std::optional<MasterKeySummary> activeKeyOf(const QString &agentId) const
    {
        for (const MasterKeySummary &key : m_model->snapshot()->activeMasterKeys()) {
            if (key.agentId == agentId)
                return key;
        }
        return std::nullopt;
    }

    std::optional<ConnectionSummary> connection(const QString &accountId) const
    {
        for (const ConnectionSummary &candidate : m_model->snapshot()->connections()) {
            if (candidate.connectorId == QLatin1StringView("github") && candidate.accountId == accountId)
                return candidate;
        }
        return std::nullopt;
    }

    AgentAnswer agentCall(const QString &agentId, const QByteArray &method, const QString &path, const QJsonObject &body = {})
    {
        const BrokerHeaders headers{{QStringLiteral("authorization"), QStringLiteral("Bearer ") + m_agentKeys.value(agentId)}};
        const BrokerClient client;
        const BrokerResult<QByteArray> answer = method == "GET"
            ? awaitTask(client.getBody(m_model->brokerURL(), path, headers))
            : awaitTask(client.postJSON(m_model->brokerURL(), path, body, headers));
        if (!answer) {
            const std::optional<BrokerClientError> refusal = answer.failure().requestFailure();
            return {refusal ? refusal->status() : -1, {}};
        }
        return {200, QJsonDocument::fromJson(answer.value()).object()};
    }

    // The wrapper agent apps launch, asked for its one-line check as the app asks it.
    QJsonObject wrapperCheck(const QString &profile, const QString &tcti) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_service->homePath());
        environment.insert(QStringLiteral("TVN_BROKER_URL"), m_model->brokerURL().toString());
        environment.insert(QStringLiteral("SWITCHYARD_STATE_DIR"), m_service->stateDirectory());
        environment.insert(QStringLiteral("TVN_RUNTIME_LANE"), QStringLiteral("development"));
        environment.insert(QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH"), QStringLiteral(TVN_SIGNER_PATH));
        environment.insert(QStringLiteral("TVN_TPM_TCTI"), tcti);
        QProcess wrapper;
        wrapper.setProcessEnvironment(environment);
        wrapper.start(QStringLiteral(TVN_SOURCE_DIR "/script/tvn-mcp-launch.sh"),
                      {QStringLiteral("--profile"), profile, QStringLiteral("--check")});
        wrapper.closeWriteChannel();
        if (!wrapper.waitForFinished(15000))
            wrapper.kill();
        return QJsonDocument::fromJson(wrapper.readAllStandardOutput().trimmed()).object();
    }

private slots:
    void initTestCase()
    {
        m_service = std::make_unique<UnlockedService>();
        const QString failure = m_service->start(simulator("tpm-a"));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        m_model = m_service->model();
        recordStatusMessages(m_model);
        QVERIFY(m_model->snapshot()->operatorUnlocked());
        QVERIFY(!m_model->snapshot()->connectors().isEmpty());
    }

    void cleanupTestCase()
    {
        m_service.reset();
        QVERIFY2(!portAcceptsConnections(), "the broker port stayed busy after the test");
    }

    // Rows in order: the provider refuses the first key, then takes the second.
    void linkProviderKey_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("linked");
        QTest::newRow("rejected by the provider") << "wrong-token" << false;
        QTest::newRow("accepted by the provider") << "valid-github-one" << true;
    }
    void linkProviderKey()
    {
        QFETCH(QString, token);
        QFETCH(bool, linked);
        const ConnectorSummary github = *m_model->snapshot()->recommendedUnconnectedConnector();
        QCOMPARE(github.id, QStringLiteral("github"));
        m_model->beginConnect(github);
        m_model->connections()->setConnectSecret(QStringLiteral("  ") + token + QLatin1Char('\n'));
        QCoro::waitFor(m_model->linkSheetAPIKey());

        QVERIFY(m_service->provider().received(QStringLiteral("github"), QStringLiteral("GET"), QStringLiteral("/user")));
        const Connections &connections = *m_model->connections();
        if (!linked) {
            const QString rejected = QStringLiteral(
                "The provider rejected that key. Check that it is active and has the required permissions, then try again.");
            QCOMPARE(m_model->lastActionError(), rejected);
            QCOMPARE(connections.connectError(), rejected);
            QCOMPARE(connections.connectorConnectSheetID(), std::optional<QString>(QStringLiteral("github")));
            QVERIFY2(!connections.connectSecret().isEmpty(), "a failed link keeps the typed key for a retry");
            QVERIFY(!connection(QStringLiteral("default")));
            return;
        }
        QCOMPARE(connections.connectorConnectSheetID(), std::nullopt);
        QCOMPARE(connections.connectSecret(), QString());
        const std::optional<ConnectionSummary> linkedAccount = connection(QStringLiteral("default"));
        QVERIFY(linkedAccount);
        QCOMPARE(linkedAccount->status, QStringLiteral("connected"));
        QCOMPARE(linkedAccount->alias, std::optional<QString>(QStringLiteral("GitHub default")));
        QCOMPARE(linkedAccount->source, QStringLiteral("mac-app"));
        QVERIFY(connections.selectedHealth());
        QCOMPARE(connections.selectedHealth()->status, QStringLiteral("healthy"));
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Health: healthy"));
        QCOMPARE(m_model->context()->actions().keys(), QStringList());
    }

    void checkHealthThenRevokeAConnection()
    {
        const bool linked = QCoro::waitFor(m_model->linkAPIKey(QStringLiteral("spare"), {}, QStringLiteral("valid-spare"), {}));
        QVERIFY2(linked, qPrintable(m_model->lastActionError()));
        QCOMPARE(connection(QStringLiteral("spare"))->alias, std::optional<QString>(QStringLiteral("GitHub spare")));
        QCOMPARE(m_model->connections()->selectedHealth()->accountId, QStringLiteral("spare"));

        QCoro::waitFor(m_model->revoke(*connection(QStringLiteral("spare"))));
        QCOMPARE(connection(QStringLiteral("spare"))->status, QStringLiteral("revoked"));
        QVERIFY(connection(QStringLiteral("spare"))->revokedAt);
        QVERIFY(m_statusMessages.contains(QStringLiteral("Revoking github/spare")));

        // The health of a revoked account is the broker's refusal, in its own words.
        QCoro::waitFor(m_model->checkSelectedHealth(QStringLiteral("spare")));
        QCOMPARE(m_model->lastActionError(),
                 QStringLiteral("Broker request failed with HTTP 409: connection github/spare is revoked"));
        QCOMPARE(m_model->context()->actions().keys(), QStringList());
    }

    // One key per way of keeping it: sealed where a TPM answers, owner-only plaintext where none
    // does. Either way the wrapper an agent launches finds the profile and the broker takes the key.
    void createAgentKey_data()
    {
        QTest::addColumn<QString>("agentId");
        QTest::addColumn<QString>("tcti");
        QTest::addColumn<QString>("fileSuffix");
        QTest::newRow("sealed to the TPM") << "hermes" << simulatorTcti("tpm-a") << ".sealed";
        QTest::newRow("plaintext without a TPM") << "Claude Code" << missingTpmTcti() << ".key";
    }
    void createAgentKey()
    {
        QFETCH(QString, agentId);
        QFETCH(QString, tcti);
        QFETCH(QString, fileSuffix);
        std::unique_ptr<AppModel> model = m_service->makeModel(std::make_shared<TpmKeyProvider>(tcti));
        recordStatusMessages(model.get());
        QCoro::waitFor(model->refresh());
        QVERIFY2(model->snapshot()->operatorUnlocked(), qPrintable(model->statusMessage()));
        AgentKeys &keys = *model->agentKeys();
        model->applyAgentPreset(agentId, agentId);
        QCOMPARE(keys.masterKeyCreateBlocker(), std::nullopt);
        m_statusMessages.clear();

        QCoro::waitFor(model->createMasterKey());
        const QString profile = AgentProfileNames::profileName(agentId);
        QVERIFY2(keys.createdMasterKeyProfileVerified(), qPrintable(m_statusMessages.join(" | ")));
        QCOMPARE(keys.createdMasterKeyProfile(), profile);
        QVERIFY(m_statusMessages.contains(
            QStringLiteral("Created and saved setup profile %1 in the local vault.").arg(profile)));
        QVERIFY(keys.createdMasterKey().startsWith(QLatin1StringView("tvn_")));
        m_agentKeys.insert(agentId, keys.createdMasterKey());

        const QString file = m_service->stateDirectory() + QStringLiteral("/agent-keys/") + profile + fileSuffix;
        QCOMPARE(modeOf(file), 0600);
        const QStringList holding = filesContaining(m_service->homePath(), keys.createdMasterKey().toUtf8());
        QCOMPARE(holding, fileSuffix == QLatin1StringView(".key") ? QStringList{QDir(m_service->homePath()).relativeFilePath(file)}
                                                                  : QStringList());
        const QJsonObject check = wrapperCheck(profile, tcti);
        QCOMPARE(check.value(QStringLiteral("status")).toString(), QStringLiteral("ok"));
        QCOMPARE(check.value(QStringLiteral("brokerAccepted")), QJsonValue(true));

        QCoro::waitFor(model->verifyCreatedMasterKeyProfile());
        QCOMPARE(model->statusMessage(), QStringLiteral("Verified profile %1 in the local vault").arg(profile));

        // The one-time key reaches the clipboard only when asked for, and not once it is cleared.
        const qsizetype copies = m_service->clipboard().texts.size();
        keys.copyCreatedMasterKey();
        QCOMPARE(m_service->clipboard().texts.size(), copies + 1);
        QCOMPARE(m_service->clipboard().texts.last(), m_agentKeys.value(agentId));
        keys.clearCreatedMasterKey();
        keys.copyCreatedMasterKey();
        QCOMPARE(m_service->clipboard().texts.size(), copies + 1);
        QCOMPARE(keys.createdMasterKey(), QString());
    }

    void proxyProfileDefaultsCreateAndRevoke()
    {
        QCoro::waitFor(m_model->refresh());
        const ProxyProfiles &proxies = *m_model->proxyProfiles();
        m_model->applyProxyDefaults();
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Proxy defaults loaded for github/default"));
        QCOMPARE(proxies.proxyMasterKeyID(), activeKeyOf(QStringLiteral("hermes"))->id);
        QCOMPARE(proxies.proxyProfileName(), QStringLiteral("hermes proxy profile"));
        QCOMPARE(proxies.proxyAllowedOrigin(), QStringLiteral("https://api.github.com"));
        QCOMPARE(proxies.proxyAllowedPath(), QStringLiteral("/user"));
        QCOMPARE(proxies.proxyCredentialPlacement(), QStringLiteral("authorization_bearer"));

        // The broker lets a credential go only to its provider's origin: here, the stand-in.
        m_model->proxyProfiles()->setProxyAllowedOrigin(m_service->provider().origin());
        m_model->proxyProfiles()->setProxyAllowedPath(QStringLiteral("github/user"));
        m_model->proxyProfiles()->setProxyAllowedMethods(QStringLiteral("get, ,"));
        QCoro::waitFor(m_model->createProxyProfile());
        QVERIFY2(m_statusMessages.contains(QStringLiteral("Created proxy profile hermes proxy profile")),
                 qPrintable(m_model->lastActionError()));
        QCOMPARE(proxies.activeProxyProfiles().size(), 1);
        const ProxyProfileSummary profile = proxies.activeProxyProfiles().first();
        QCOMPARE(profile.agentId, QStringLiteral("hermes"));
        QVERIFY(profile.serviceIds.first().startsWith(QLatin1StringView("svc_github_")));
        const ProxyServiceSummary service = m_model->snapshot()->proxyServices().first();
        QCOMPARE(service.allowedMethods, QStringList{QStringLiteral("GET")});
        QCOMPARE(service.allowedPathPrefixes, QStringList{QStringLiteral("/github/user")});

        // The copied command is a request an agent can send as it is, once its key is filled in.
        m_model->copyProxyRunCommand(profile);
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Proxy request command copied"));
        const QString command = m_service->clipboard().texts.last();
        const QRegularExpression shape(QStringLiteral(
            "^curl -sS -X POST '(http://127\\.0\\.0\\.1:47382/v1/proxy/request)' -H 'authorization: Bearer <TVN_API_KEY>' "
            "-H 'content-type: application/json' --data '(\\{.*\\})'$"));
        const QRegularExpressionMatch parts = shape.match(command);
        QVERIFY2(parts.hasMatch(), qPrintable(command));
        const QJsonObject request = QJsonDocument::fromJson(parts.captured(2).toUtf8()).object();
        QCOMPARE(request.value(QStringLiteral("serviceId")).toString(), profile.serviceIds.first());
        const AgentAnswer proxied = agentCall(QStringLiteral("hermes"), "POST", QStringLiteral("/v1/proxy/request"), request);
        QCOMPARE(proxied.status, 200);
        QVERIFY(m_service->provider().received(QStringLiteral("github"), QStringLiteral("GET"), QStringLiteral("/user")));

        QCoro::waitFor(m_model->revoke(profile));
        QVERIFY(proxies.activeProxyProfiles().isEmpty());
        QVERIFY(m_model->snapshot()->proxyProfiles().first().revokedAt);
        QCOMPARE(agentCall(QStringLiteral("hermes"), "POST", QStringLiteral("/v1/proxy/request"), request).status, 403);
    }

    void protectedWriteApprovedAndDenied()
    {
        m_model->snapshot()->setSelectedConnectorID(QStringLiteral("github"));
        QCoro::waitFor(m_model->requestProtectedWrite());
        QCOMPARE(m_model->snapshot()->approvals().size(), 1);
        const ApprovalSummary smokeTest = m_model->snapshot()->approvals().first();
        QCOMPARE(smokeTest.agentId, QStringLiteral("codex"));
        QCOMPARE(smokeTest.toolId, QStringLiteral("github.issue.create"));
        QCOMPARE(smokeTest.displayInput->value(QStringLiteral("text")).string(), QStringLiteral("Linux approval smoke test"));

        QCoro::waitFor(m_model->deny(smokeTest));
        QVERIFY(m_model->snapshot()->approvals().isEmpty());
        const QList<AuditEvent> audit = m_model->snapshot()->auditEvents();
        QVERIFY(std::any_of(audit.begin(), audit.end(), [](const AuditEvent &event) {
            return event.action == QLatin1StringView("approval.deny") && event.decision == QLatin1StringView("denied");
        }));

        // An agent's own request, approved: the broker then runs it against the provider.
        const QJsonObject input{{"owner", "octo"}, {"repo", "demo"}, {"title", "Ship it"}};
        const AgentAnswer asked = agentCall(QStringLiteral("hermes"), "POST", QStringLiteral("/v1/execute"),
                                            {{"connectorId", "github"}, {"toolId", "github.issue.create"}, {"input", input}});
        QCOMPARE(asked.status, 200);
        QCOMPARE(asked.body.value(QStringLiteral("status")).toString(), QStringLiteral("pending_approval"));
        QCoro::waitFor(m_model->refresh());
        QCOMPARE(m_model->snapshot()->approvals().size(), 1);
        QCOMPARE(m_model->snapshot()->approvals().first().agentId, QStringLiteral("hermes"));

        QCoro::waitFor(m_model->approve(m_model->snapshot()->approvals().first()));
        QVERIFY2(m_model->snapshot()->approvals().isEmpty(), qPrintable(m_model->lastActionError()));
        QVERIFY(m_service->provider().received(QStringLiteral("github"), QStringLiteral("POST"), QStringLiteral("/repos/octo/demo/issues")));
        QVERIFY(m_statusMessages.contains(QStringLiteral("Approving github.issue.create")));
        QCOMPARE(m_model->context()->actions().keys(), QStringList());
    }

    void aRequestShownCutIsApprovedOnlyOnceReadWhole()
    {
        const QString longBody = QStringLiteral("word ").repeated(1000);
        const QJsonObject input{{"owner", "octo"}, {"repo", "long"}, {"title", "Long"}, {"body", longBody}};
        QCOMPARE(agentCall(QStringLiteral("hermes"), "POST", QStringLiteral("/v1/execute"),
                           {{"connectorId", "github"}, {"toolId", "github.issue.create"}, {"input", input}})
                     .status,
                 200);
        QCoro::waitFor(m_model->refresh());
        const ApprovalSummary listed = m_model->snapshot()->approvals().first();
        QVERIFY(listed.isDisplayTruncated());
        QVERIFY(listed.displayInput->value(QStringLiteral("body")).string().size() < longBody.size());

        QCoro::waitFor(m_model->approve(listed));
        QCOMPARE(m_model->lastActionError(), Approvals::wholeRequestNeededText);
        QCOMPARE(m_model->snapshot()->approvals().size(), 1);

        QCoro::waitFor(m_model->approvals()->loadWholeRequest(listed));
        const ApprovalSummary whole = m_model->approvals()->reviewable(listed);
        QCOMPARE(whole.displayInput->value(QStringLiteral("body")).string(), longBody);
        QVERIFY(!m_model->approvals()->needsWholeRequest(listed));

        QCoro::waitFor(m_model->approve(listed));
        QVERIFY2(m_model->snapshot()->approvals().isEmpty(), qPrintable(m_model->lastActionError()));
        QVERIFY(m_service->provider().received(QStringLiteral("github"), QStringLiteral("POST"), QStringLiteral("/repos/octo/long/issues")));
    }

    void exportThenRestoreABackup()
    {
        Backups &backups = *m_model->backups();
        backups.setBackupPassphrase(backupPassphrase);
        QCoro::waitFor(m_model->exportBackup());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Encrypted backup exported"));
        const QString exported = backups.backupPayload();
        const QJsonObject document = QJsonDocument::fromJson(exported.toUtf8()).object();
        QVERIFY(document.contains(QStringLiteral("ciphertext")));
        QVERIFY2(exported.contains(QStringLiteral("\n    \"ciphertext\": ")), "the backup is kept indented");
        QVERIFY(!exported.contains(backupPassphrase));

        QVERIFY(QCoro::waitFor(m_model->linkAPIKey(QStringLiteral("later"), {}, QStringLiteral("valid-later"), {})));
        const QList<ConnectionSummary> withLater = m_model->snapshot()->connections();

        // A changed backup is refused, and the vault stays as it is.
        QJsonObject tampered = document;
        QByteArray ciphertext = QByteArray::fromBase64(tampered.value(QStringLiteral("ciphertext")).toString().toLatin1());
        ciphertext[0] = char(ciphertext[0] ^ 0x01);
        tampered.insert(QStringLiteral("ciphertext"), QString::fromLatin1(ciphertext.toBase64()));
        backups.setBackupPayload(QString::fromUtf8(QJsonDocument(tampered).toJson()));
        QCoro::waitFor(m_model->restoreBackup());
        QVERIFY2(m_model->lastActionError().startsWith(QLatin1StringView("Broker request failed with HTTP 400: backup could "
                                                                         "not be decrypted")),
                 qPrintable(m_model->lastActionError()));
        QCoro::waitFor(m_model->refresh());
        QCOMPARE(m_model->snapshot()->connections(), withLater);

        backups.setBackupPayload(exported);
        QCoro::waitFor(m_model->restoreBackup());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Local service checked"));
        QVERIFY(!connection(QStringLiteral("later")));
        QVERIFY(connection(QStringLiteral("default")));
        QCOMPARE(m_model->context()->actions().keys(), QStringList());
    }

    void revokeOneAgentKey()
    {
        const MasterKeySummary key = *activeKeyOf(QStringLiteral("Claude Code"));
        QCoro::waitFor(m_model->revoke(key));
        QVERIFY(!activeKeyOf(QStringLiteral("Claude Code")));
        QCOMPARE(agentCall(QStringLiteral("Claude Code"), "GET", QStringLiteral("/v1/agent/tools")).status, 401);
        // Once more: the broker says why, in its own words.
        QCoro::waitFor(m_model->revoke(key));
        QCOMPARE(m_model->lastActionError(), QStringLiteral("Broker request failed with HTTP 409: already revoked"));
    }

    void killSwitchOnAndOff()
    {
        QCOMPARE(agentCall(QStringLiteral("hermes"), "GET", QStringLiteral("/v1/agent/tools")).status, 200);
        QCoro::waitFor(m_model->setKillSwitch(true));
        QVERIFY(m_model->killSwitch()->killSwitchActive());
        QVERIFY(m_statusMessages.contains(QStringLiteral("Enabling kill switch")));
        QCOMPARE(agentCall(QStringLiteral("hermes"), "GET", QStringLiteral("/v1/agent/tools")).status, 403);

        // Another window of the app learns the switch is on from the broker.
        std::unique_ptr<AppModel> other = m_service->makeModel(simulator("tpm-a"));
        QCoro::waitFor(other->refresh());
        QVERIFY(waitUntil([&] { return other->killSwitch()->killSwitchActive(); }, 5000));

        QCoro::waitFor(m_model->setKillSwitch(false));
        QVERIFY(!m_model->killSwitch()->killSwitchActive());
        QCOMPARE(agentCall(QStringLiteral("hermes"), "GET", QStringLiteral("/v1/agent/tools")).status, 200);
    }

    // One of the keys is revoked behind the model's back, so the broker refuses to revoke it again.
    void emergencyRevokeWithOneFailingKey()
    {
        for (const QString &agent : {QStringLiteral("one"), QStringLiteral("two")}) {
            m_model->applyAgentPreset(agent, agent);
            QCoro::waitFor(m_model->createMasterKey());
            QVERIFY2(activeKeyOf(agent), qPrintable(m_model->lastActionError()));
        }
        const QString twoID = activeKeyOf(QStringLiteral("two"))->id;
        const QJsonObject empty;
        QVERIFY(awaitTask(BrokerClient().postJSON(m_model->brokerURL(), BrokerPaths::masterKeyRevoke(twoID), empty,
                                                  m_model->context()->operatorHeaders())));
        QCOMPARE(m_model->snapshot()->activeMasterKeysCount(), 3);

        m_statusMessages.clear();
        QCoro::waitFor(m_model->emergencyRevokeAllAgentKeys());
        QCOMPARE(m_statusMessages.first(), QStringLiteral("Revoking 3 agent keys"));
        QCOMPARE(m_model->lastActionError(),
                 QStringLiteral("Kill switch engaged, but 1 agent key could not be revoked: two-keel-tvn"));
        QVERIFY(m_model->killSwitch()->killSwitchActive());
        QCOMPARE(m_model->snapshot()->activeMasterKeysCount(), 0);

        QCoro::waitFor(m_model->emergencyRevokeAllAgentKeys());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Kill switch engaged. No active agent keys needed revoking."));
        QCOMPARE(m_model->context()->actions().keys(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestOperatorActions)
#include "tst_OperatorActions.moc"
