#include "AgentProfileNames.h"
#include "ConnectorAuthModes.h"
#include "ModelTestSupport.h"
#include "ProxyConnectorDefaults.h"

// The rules of the operator forms that need no broker: names, checks, defaults and the texts
// they lead to. The model's control script is a stand-in and nothing listens where the broker
// would, so any broker call would end in a transport failure that these tests would see.
namespace {

const QString genuineService = QStringLiteral("switchyard-broker");

ConnectorSummary connector(const QString &id, const QString &displayName)
{
    ConnectorSummary summary;
    summary.id = id;
    summary.displayName = displayName;
    summary.status = QStringLiteral("available");
    summary.authType = QStringLiteral("api_key");
    return summary;
}

ConnectorAuthOptionSummary authOption(const QString &id, const QString &label, const QString &type)
{
    ConnectorAuthOptionSummary option;
    option.id = id;
    option.label = label;
    option.type = type;
    return option;
}

ConnectionSummary connection(const QString &connectorId, const QString &accountId, const QString &status = QStringLiteral("connected"))
{
    ConnectionSummary summary;
    summary.connectorId = connectorId;
    summary.accountId = accountId;
    summary.authType = QStringLiteral("api_key");
    summary.source = QStringLiteral("mac-app");
    summary.status = status;
    return summary;
}

MasterKeySummary agentKey(const QString &id, const QString &name, const QString &agentId, const QStringList &scopes = {},
                          const QString &status = QStringLiteral("active"))
{
    MasterKeySummary key;
    key.id = id;
    key.name = name;
    key.agentId = agentId;
    key.scopes = scopes;
    key.status = status;
    return key;
}

} // namespace

class TestOperatorActionForms : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeControlScript> m_script;
    std::shared_ptr<RecordingClipboard> m_clipboard;
    std::unique_ptr<AppModel> m_model;
    QStringList m_statusMessages;

    BrokerSnapshot &snapshot() { return *m_model->snapshot(); }

    // A verified broker with the operator unlocked, as after a good refresh.
    void brokerReady()
    {
        BrokerHealth health;
        health.ok = true;
        health.service = genuineService;
        snapshot().setHealth(health);
        snapshot().setBrokerIdentityVerified(true);
    }

private slots:
    void init()
    {
        m_script = std::make_unique<FakeControlScript>();
        QVERIFY(m_script->isReady());
        m_clipboard = std::make_shared<RecordingClipboard>();
        m_model = std::make_unique<AppModel>(modelDependencies(m_script->context(), std::make_shared<SupervisionClock>(), m_clipboard));
        m_statusMessages.clear();
        connect(&m_model->context()->status(), &StatusReporter::statusMessageChanged, this,
                [this] { m_statusMessages << m_model->statusMessage(); });
    }

    void cleanup()
    {
        m_model.reset();
        m_script.reset();
    }

    void profileNames_data()
    {
        QTest::addColumn<QString>("agentId");
        QTest::addColumn<QString>("safe");
        QTest::addColumn<QString>("profile");
        QTest::newRow("space") << "Claude Code" << "Claude_Code" << "Claude_Code-keel-tvn";
        QTest::newRow("space and exclamation mark") << "my agent!" << "my_agent" << "my_agent-keel-tvn";
        QTest::newRow("two underscores") << "__" << "profile" << "profile-keel-tvn";
        QTest::newRow("empty") << "" << "profile" << "profile-keel-tvn";
        QTest::newRow("slash between letters") << "a/b" << "a_b" << "a_b-keel-tvn";
        QTest::newRow("already suffixed") << "codex-keel-tvn" << "codex-keel-tvn" << "codex-keel-tvn";
        QTest::newRow("letters of any script, case kept") << "Agent_Été-2" << "Agent_Été-2" << "Agent_Été-2-keel-tvn";
        QTest::newRow("dashes and underscores trimmed") << "-_x_-" << "x" << "x-keel-tvn";
    }
    void profileNames()
    {
        QFETCH(QString, agentId);
        QFETCH(QString, safe);
        QFETCH(QString, profile);
        QCOMPARE(AgentProfileNames::safeIdentifier(agentId), safe);
        QCOMPARE(AgentProfileNames::profileName(agentId), profile);
    }

    void connectorWithoutOptionsTakesAnAPIKey()
    {
        ConnectorSummary github = connector(QStringLiteral("github"), QStringLiteral("GitHub"));
        snapshot().setConnectors({github});
        QCOMPARE(ConnectorAuthModes::defaultAuthMode(github).id, QStringLiteral("api-key"));
        QCOMPARE(ConnectorAuthModes::defaultAuthMode(github).type, QStringLiteral("api_key"));
        QCOMPARE(ConnectorAuthModes::authMode(github, QStringLiteral("nope")).id, QStringLiteral("api-key"));
        QCOMPARE(ConnectorAuthModes::authDisplayLabel(github), QStringLiteral("API key"));

        m_model->beginConnect(github);
        const Connections &connections = *m_model->connections();
        QCOMPARE(connections.connectAuthModeID(), QStringLiteral("api-key"));
        QCOMPARE(connections.connectAccountID(), QStringLiteral("default"));
        QCOMPARE(connections.connectAlias(), QStringLiteral("GitHub default"));
        QCOMPARE(connections.apiKeyAlias(), QStringLiteral("GitHub default"));
        QCOMPARE(connections.connectFormTitle(), QStringLiteral("Add your GitHub key"));
        QCOMPARE(snapshot().selectedConnectorID(), std::optional<QString>(QStringLiteral("github")));
    }

    void connectorWithSeveralOptions()
    {
        ConnectorSummary local = connector(QStringLiteral("claude"), QStringLiteral("Claude"));
        local.authOptions = QList<ConnectorAuthOptionSummary>{authOption("local", "Local", "adapter"),
                                                              authOption("api-key", "API key", "api_key")};
        snapshot().setConnectors({local});
        QCOMPARE(ConnectorAuthModes::authDisplayLabel(local), QStringLiteral("Local + API key"));
        QCOMPARE(ConnectorAuthModes::authSearchText(local), QStringLiteral("local local api-key api key"));
        QCOMPARE(ConnectorAuthModes::authMode(local, QStringLiteral("api-key")).type, QStringLiteral("api_key"));

        m_model->beginConnect(local);
        QCOMPARE(m_model->connections()->connectFormTitle(), QStringLiteral("Connect Claude"));
        m_model->connections()->setConnectAuthModeID(QStringLiteral("api-key"));
        QCOMPARE(m_model->connections()->connectFormTitle(), QStringLiteral("Add your Claude key"));
    }

    void sheetSecretNeverOutlivesTheSheet()
    {
        const ConnectorSummary github = connector(QStringLiteral("github"), QStringLiteral("GitHub"));
        snapshot().setConnectors({github});
        m_model->beginConnect(github);
        m_model->connections()->setConnectSecret(QStringLiteral("ghp_secret"));
        m_model->closeConnectSheet();
        QCOMPARE(m_model->connections()->connectSecret(), QString());
        QCOMPARE(m_model->connections()->connectorConnectSheetID(), std::nullopt);

        ConnectionSummary linked = connection(QStringLiteral("github"), QStringLiteral("work"));
        linked.alias = QStringLiteral("Work account");
        linked.authModeId = QStringLiteral("api-key");
        m_model->rotateKey(linked);
        QCOMPARE(m_model->connections()->connectorConnectSheetID(), std::optional<QString>(QStringLiteral("github")));
        QCOMPARE(m_model->connections()->connectAccountID(), QStringLiteral("work"));
        QCOMPARE(m_model->connections()->connectAlias(), QStringLiteral("Work account"));
    }

    void linkingWithoutAConnectorOrATokenIsASilentNo()
    {
        QVERIFY(!QCoro::waitFor(m_model->linkAPIKey({}, {}, QStringLiteral("valid-x"), {})));
        snapshot().setConnectors({connector(QStringLiteral("github"), QStringLiteral("GitHub"))});
        snapshot().setSelectedConnectorID(QStringLiteral("github"));
        QVERIFY(!QCoro::waitFor(m_model->linkAPIKey({}, {}, QStringLiteral(" \n\t"), {})));
        QCOMPARE(m_statusMessages, QStringList());
    }

    void agentKeyConnectorFields()
    {
        snapshot().setConnections({connection("slack", "a"), connection("github", "a"), connection("slack", "b"),
                                   connection("github", "b"), connection("notion", "a", "revoked")});
        AgentKeys &keys = *m_model->agentKeys();
        keys.setNewMasterKeyConnectorIDs(QStringLiteral(" github , ,slack,notion "));
        QCOMPARE(keys.requestedMasterKeyConnectorIDs(), (QStringList{"github", "slack", "notion"}));
        QCOMPARE(keys.suggestedMasterKeyConnectorIDs(), QStringLiteral("github,slack"));
        QCOMPARE(keys.unconnectedMasterKeyConnectorIDs(), QStringList{"notion"});

        m_model->useSuggestedConnectorsForMasterKey();
        QCOMPARE(keys.newMasterKeyConnectorIDs(), QStringLiteral("github,slack"));
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Using connected apps"));
        snapshot().setConnections({});
        m_model->useSuggestedConnectorsForMasterKey();
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Connect an app first"));
    }

    // Rows: what holds, then the reason creating is refused (empty: it is allowed).
    void createBlocker_data()
    {
        QTest::addColumn<bool>("ready");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QString>("blocker");
        QTest::newRow("service not ready") << false << false << true << "" << "Turn on or repair Torvane before creating an agent key.";
        QTest::newRow("vault locked") << true << true << true << "" << "Unlock the vault before creating an agent key.";
        QTest::newRow("nothing connected") << true << false << false << "" << "Connect an app before granting it to an agent.";
        QTest::newRow("a requested app is not connected")
            << true << false << true << "github, notion,x" << "Connect notion, x before granting it to an agent.";
        QTest::newRow("ready") << true << false << true << "github" << "";
    }
    void createBlocker()
    {
        QFETCH(bool, ready);
        QFETCH(bool, locked);
        QFETCH(bool, connected);
        QFETCH(QString, requested);
        QFETCH(QString, blocker);
        if (ready)
            brokerReady();
        OperatorStatus status;
        status.enabled = locked;
        snapshot().setOperatorStatus(status);
        if (connected)
            snapshot().setConnections({connection("github", "default")});
        m_model->agentKeys()->setNewMasterKeyConnectorIDs(requested);

        const std::optional<QString> found = m_model->agentKeys()->masterKeyCreateBlocker();
        QCOMPARE(found.value_or(QString()), blocker);
        QCOMPARE(m_model->agentKeys()->canCreateMasterKey(), blocker.isEmpty());
        if (blocker.isEmpty())
            return;
        QCoro::waitFor(m_model->createMasterKey());
        QCOMPARE(m_model->lastActionError(), blocker);
        QCOMPARE(m_statusMessages, QStringList{blocker});
        QVERIFY(!m_model->agentKeys()->isCreatingMasterKey());
    }

    void replacementTemplate()
    {
        snapshot().setConnections({connection("slack", "a"), connection("github", "a")});
        const MasterKeySummary stale = agentKey(
            "mk_1", "codex-keel-tvn", "codex",
            {" connector:slack ", "connector:github", "connector:github", "connector:notion", "tools:read"});
        m_model->useAgentKeyAsReplacementTemplate(stale);
        const AgentKeys &keys = *m_model->agentKeys();
        QCOMPARE(keys.newMasterKeyAgentID(), QStringLiteral("codex"));
        QCOMPARE(keys.newMasterKeyName(), QStringLiteral("codex-keel-tvn"));
        QCOMPARE(keys.newMasterKeyConnectorIDs(), QStringLiteral("github,slack"));
        QCOMPARE(keys.createdMasterKeyProfile(), QStringLiteral("codex-keel-tvn"));
        QVERIFY(!keys.createdMasterKeyProfileVerified());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Loaded codex-keel-tvn as a replacement template. Make a new agent "
                                                          "key, verify setup, then revoke the stale key."));
    }

    void savingOrVerifyingWithoutAKeyOrProfile()
    {
        QCoro::waitFor(m_model->storeCreatedMasterKeyProfile());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Create a Master Key first"));
        QCoro::waitFor(m_model->verifyCreatedMasterKeyProfile());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Name the setup profile before verifying it"));
        m_model->agentKeys()->copyCreatedMasterKey();
        QCOMPARE(m_clipboard->texts, QStringList());
    }

    void proxyPathsAndMethods_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("normalized");
        QTest::addColumn<QString>("methods");
        QTest::addColumn<QStringList>("parsed");
        QTest::newRow("no leading slash") << "  user " << "/user" << "get, post,," << QStringList{"GET", "POST"};
        QTest::newRow("empty path") << "" << "/" << " ,, " << QStringList{};
        QTest::newRow("kept as typed") << "/api/0/" << "/api/0/" << "Patch" << QStringList{"PATCH"};
    }
    void proxyPathsAndMethods()
    {
        QFETCH(QString, path);
        QFETCH(QString, normalized);
        QFETCH(QString, methods);
        QFETCH(QStringList, parsed);
        QCOMPARE(ProxyProfiles::normalizedProxyPath(path), normalized);
        QCOMPARE(ProxyProfiles::proxyMethods(methods), parsed);
    }

    void proxyDefaultsPerConnector_data()
    {
        QTest::addColumn<QString>("connectorId");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("label");
        QTest::newRow("github") << "github" << "https://api.github.com" << "/user" << "Proven proxy mode";
        QTest::newRow("sentry") << "sentry" << "https://sentry.io" << "/api/0/organizations/" << "Bearer token proxy";
        QTest::newRow("vercel") << "vercel" << "https://api.vercel.com" << "/v2/user" << "Bearer token proxy";
        QTest::newRow("render") << "render" << "https://api.render.com" << "/v1/services" << "Bearer token proxy";
        QTest::newRow("posthog") << "posthog" << "https://us.posthog.com" << "/api/users/@me/" << "Bearer token proxy";
        QTest::newRow("no default") << "slack" << "" << "" << "";
    }
    void proxyDefaultsPerConnector()
    {
        QFETCH(QString, connectorId);
        QFETCH(QString, origin);
        QFETCH(QString, path);
        QFETCH(QString, label);
        const std::optional<ProxyConnectorDefaults> defaults = ProxyConnectorDefaults::proxyDefault(connectorId);
        QCOMPARE(defaults.has_value(), !origin.isEmpty());
        if (!defaults)
            return;
        QCOMPARE(defaults->origin, origin);
        QCOMPARE(defaults->path, path);
        QCOMPARE(defaults->methods, QStringLiteral("GET"));
        QCOMPARE(defaults->placement, QStringLiteral("authorization_bearer"));
        QCOMPARE(defaults->label, label);
    }

    void proxyDefaultsPreferHermesAndGitHub()
    {
        snapshot().setMasterKeys({agentKey("mk_a", "cursor-keel-tvn", "cursor"), agentKey("mk_b", "my-hermes", "hermes-2"),
                                  agentKey("mk_c", "hermes-keel-tvn", "hermes", {}, "revoked"),
                                  agentKey("mk_d", "hermes-keel-tvn", "hermes")});
        snapshot().setConnections({connection("slack", "a"), connection("sentry", "org"), connection("github", "old", "revoked"),
                                   connection("github", "me")});
        m_model->applyProxyDefaults();
        const ProxyProfiles &proxies = *m_model->proxyProfiles();
        QCOMPARE(proxies.proxyMasterKeyID(), QStringLiteral("mk_d"));
        QCOMPARE(proxies.proxyAgentID(), QStringLiteral("hermes"));
        QCOMPARE(proxies.proxyProfileName(), QStringLiteral("hermes proxy profile"));
        QCOMPARE(proxies.proxyConnectorID(), QStringLiteral("github"));
        QCOMPARE(proxies.proxyAccountID(), QStringLiteral("me"));
        QCOMPARE(proxies.proxyAllowedMethods(), QStringLiteral("GET"));
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Proxy defaults loaded for github/me"));

        snapshot().setMasterKeys({agentKey("mk_a", "cursor-keel-tvn", "cursor"), agentKey("mk_b", "my-hermes", "hermes-2")});
        m_model->applyProxyDefaults();
        QCOMPARE(proxies.proxyMasterKeyID(), QStringLiteral("mk_b"));
    }

    void proxyDefaultsWithoutAProxyReadyConnection()
    {
        snapshot().setConnections({connection("slack", "a"), connection("github", "old", "revoked")});
        m_model->proxyProfiles()->setProxyAllowedOrigin(QStringLiteral("typed by hand"));
        m_model->applyProxyDefaults();
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Connect GitHub to enable the proven proxy loop"));
        QCOMPARE(m_model->proxyProfiles()->proxyAllowedOrigin(), QStringLiteral("typed by hand"));
        QCOMPARE(m_model->proxyProfiles()->proxyConnectorID(), QString());
    }

    void proxyProfileNeedsAnActiveKeyBeforeAnyCall()
    {
        snapshot().setMasterKeys({agentKey("mk_gone", "old", "hermes", {}, "revoked")});
        ProxyProfiles &proxies = *m_model->proxyProfiles();
        proxies.setProxyMasterKeyID(QStringLiteral("mk_gone"));
        proxies.setProxyConnectorID(QStringLiteral("github"));
        proxies.setProxyAccountID(QStringLiteral("me"));
        proxies.setProxyAllowedOrigin(QStringLiteral("https://api.github.com"));
        proxies.setProxyAllowedMethods(QStringLiteral("GET"));
        QCoro::waitFor(m_model->createProxyProfile());
        const QString refusal = QStringLiteral("Choose a Master Key, connection, origin, path, and method first");
        QCOMPARE(m_model->lastActionError(), refusal);
        QCOMPARE(m_statusMessages, QStringList{refusal});
        QCOMPARE(m_model->runningActions(), QStringList());
    }

    void proxyRequestCommand()
    {
        ProxyProfileSummary profile;
        profile.id = QStringLiteral("pp_it's");
        m_model->copyProxyRunCommand(profile);
        QCOMPARE(m_clipboard->texts.size(), 1);
        QCOMPARE(m_clipboard->texts.first(),
                 QStringLiteral("curl -sS -X POST 'http://127.0.0.1:47382/v1/proxy/request' -H 'authorization: Bearer "
                                "<TVN_API_KEY>' -H 'content-type: application/json' --data "
                                "'{\"method\":\"GET\",\"path\":\"/user\",\"profileId\":\"pp_it'\\''s\",\"serviceId\":\"<service_id>\"}'"));
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Proxy request command copied"));
    }

    void restoringTextThatIsNotJSONMakesNoCall_data()
    {
        QTest::addColumn<QString>("payload");
        QTest::newRow("empty") << "";
        QTest::newRow("cut short") << "{\"format\": \"tvn-backup\",";
        QTest::newRow("two values") << "{} {}";
    }
    void restoringTextThatIsNotJSONMakesNoCall()
    {
        QFETCH(QString, payload);
        m_model->backups()->setBackupPayload(payload);
        QCoro::waitFor(m_model->restoreBackup());
        QVERIFY2(m_model->lastActionError().startsWith(QLatin1StringView("The backup text is not valid JSON: ")),
                 qPrintable(m_model->lastActionError()));
        QCOMPARE(m_statusMessages.size(), 2);
        QCOMPARE(m_statusMessages.first(), QStringLiteral("Restoring encrypted backup"));
        QCOMPARE(m_model->backups()->backupPayload(), payload);
        QCOMPARE(m_model->runningActions(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestOperatorActionForms)
#include "tst_OperatorActionForms.moc"
