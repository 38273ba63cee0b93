#include "AwaitTask.h"
#include "FakeProvider.h"
#include "ModelTestSupport.h"
#include "VaultTestSupport.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>

Q_DECLARE_METATYPE(AgentHandoffVerificationStep::Kind)

namespace {
const QString profile = QStringLiteral("claude-code-keel-tvn");
const QString vaultPassword = QStringLiteral("correct horse battery staple");
using Kind = AgentHandoffVerificationStep::Kind;

// A copy of this checkout's service, so a test may take the wrapper's executable bit away
// without touching the checkout; its build/ is the app's prefix and holds the signer.
bool copyService(const QString &root)
{
    const QDir source(QStringLiteral(TVN_SOURCE_DIR));
    for (const char *part : {"script", "scripts", "server"}) {
        QProcess copy;
        copy.start(QStringLiteral("cp"), {QStringLiteral("-R"), source.filePath(QLatin1String(part)), root});
        if (!copy.waitForFinished(60000) || copy.exitCode() != 0)
            return false;
    }
    const QString bin = root + QStringLiteral("/build/share/torvane/bin");
    return QFile::copy(source.filePath(QStringLiteral("package.json")), root + QStringLiteral("/package.json"))
        && QFile::copy(source.filePath(QStringLiteral("tvn-build.json")), root + QStringLiteral("/tvn-build.json"))
        && QFile::link(source.filePath(QStringLiteral("node_modules")), root + QStringLiteral("/node_modules"))
        && QDir().mkpath(bin) && QFile::copy(QStringLiteral(TVN_SIGNER_PATH), bin + QStringLiteral("/tvn-pop-signer"));
}

std::optional<AgentHandoffVerificationStep> stepOf(const AgentHandoffVerificationReport &report, Kind kind)
{
    for (const AgentHandoffVerificationStep &step : report.steps) {
        if (step.kind == kind)
            return step;
    }
    return std::nullopt;
}

QJsonObject claudeCodeEntry(const QString &home)
{
    QFile file(home + QStringLiteral("/.claude.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value("mcpServers").toObject().value("tvn").toObject();
}
} // namespace

// The app's handoff end to end, with real parts only: the control script and broker of a copy of
// this checkout on the development port, agent keys sealed to the TPM simulator, the signer, the
// wrapper run with --check and as an MCP server, a provider stand-in for GitHub. A key for
// Claude Code is created, Claude Code is set up in the temporary home and verified; then each
// link is broken in turn and the step that names it fails with its own text, and nothing is copied.
class TestAgentHandoffJourney : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    FakeProvider m_provider;
    std::optional<LocalServiceContext> m_context;
    std::shared_ptr<RecordingClipboard> m_clipboard = std::make_shared<RecordingClipboard>();
    std::unique_ptr<AppModel> m_model;

    QString home() const { return m_root.filePath(QStringLiteral("home")); }
    QString checkout() const { return m_root.filePath(QStringLiteral("checkout")); }
    QString wrapper() const { return checkout() + QStringLiteral("/script/tvn-mcp-launch.sh"); }
    QString sealedProfile() const
    {
        return m_context->identity.stateDirectoryPath() + QStringLiteral("/agent-keys/") + profile + QStringLiteral(".sealed");
    }

    QCoro::Task<> runService(LocalServiceCommand command)
    {
        LocalServiceController controller(*m_context);
        co_await controller.run(command);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(home()) && QDir().mkpath(checkout()));
        QVERIFY2(copyService(checkout()), "the service copy failed");
        QVERIFY2(waitUntil([] { return !portAcceptsConnections(); }, 60000), "another process holds port 47382");
        QVERIFY2(m_provider.start(), "the provider stand-in did not start");
        // The wrapper inherits the app's environment, and with it the simulator the signer opens.
        qputenv("TVN_TPM_TCTI", simulatorTcti("tpm-a").toUtf8());
        m_context.emplace(modelServiceContext(home(), checkout() + QStringLiteral("/build")));
        m_context->resourcesDirectory = checkout() + QStringLiteral("/build/share/torvane");
        m_context->environment.insert(m_provider.environment());
        AppModel::Dependencies deps = modelDependencies(*m_context, std::make_shared<SupervisionClock>(), m_clipboard);
        deps.hardwareKeys = simulator("tpm-a");
        m_model = std::make_unique<AppModel>(std::move(deps));

        QCoro::waitFor(m_model->installOrStartLocalService());
        QVERIFY2(m_model->supervision()->brokerReadyAndVerified(), qPrintable(m_model->statusMessage()));
        const BrokerResult<bool> setUp = awaitTask(m_model->setupVaultPassphrase(vaultPassword, vaultPassword));
        QVERIFY2(setUp, setUp ? "" : qPrintable(setUp.failure().description()));
        QCoro::waitFor(m_model->refresh());
        m_model->beginConnect(*m_model->snapshot()->recommendedUnconnectedConnector());
        m_model->connections()->setConnectSecret(QStringLiteral("valid-github"));
        QCoro::waitFor(m_model->linkSheetAPIKey());
        QCOMPARE(m_model->snapshot()->connectedAccountsCount(), 1);
        m_model->applyAgentPreset(QStringLiteral("claude-code"), QStringLiteral("Claude Code"));
        m_model->agentKeys()->setNewMasterKeyConnectorIDs(QStringLiteral("github"));
        QCoro::waitFor(m_model->createMasterKey());
        QVERIFY2(m_model->agentKeys()->createdMasterKeyProfileVerified(), qPrintable(m_model->statusMessage()));
        QVERIFY(QFile::exists(sealedProfile()));
    }

    void cleanupTestCase()
    {
        if (m_context)
            QCoro::waitFor(runService(LocalServiceCommand::stop));
        m_model.reset();
        qunsetenv("TVN_TPM_TCTI");
        QVERIFY2(waitUntil([] { return !portAcceptsConnections(); }, 10000), "the broker port stayed busy");
    }

    void setUpClaudeCodeVerifies()
    {
        QCOMPARE(m_model->activeAgentHandoffProfile(), profile);
        QVERIFY(m_model->agentHandoffBaseReady());
        QCOMPARE(m_model->setupSteps().constLast().detail, QStringLiteral("Verify wrapper and broker"));

        const AgentClientDescriptor claudeCode = *AgentClientDescriptor::find(QStringLiteral("claude-code"));
        const std::optional<AgentClientSetupResult> result = awaitTask(m_model->agentHandoff()->setUpAgentApp(claudeCode));
        QVERIFY(result && result->verification);
        const AgentHandoffVerificationReport &report = *result->verification;
        QVERIFY2(!result->isError, qPrintable(report.firstFailureDetail()));
        QCOMPARE(result->message, QStringLiteral("Caller-bound profile created and verified"));
        QList<Kind> kinds;
        for (const AgentHandoffVerificationStep &step : report.steps)
            kinds << step.kind;
        QCOMPARE(kinds, (QList<Kind>{Kind::profilePresent, Kind::wrapperExecutable, Kind::configWritten, Kind::brokerHealth,
                                     Kind::readOnlySmoke, Kind::mcpSession}));
        const QString configPath = home() + QStringLiteral("/.claude.json");
        QCOMPARE(result->configPath, std::optional<QString>(configPath));
        QCOMPARE(report.wrapperCommand, wrapper());
        QCOMPARE(report.profilePath, sealedProfile());
        QCOMPARE(m_model->statusMessage(),
                 QStringLiteral("Wrote TVN config for Claude Code (CLI) (%1) and verified the handoff").arg(configPath));

        // The entry Claude Code reads: its own transport field, and the signer by absolute path.
        const QJsonObject entry = claudeCodeEntry(home());
        QCOMPARE(entry.value("type").toString(), QStringLiteral("stdio"));
        QCOMPARE(entry.value("command").toString(), wrapper());
        QCOMPARE(entry.value("env").toObject().value("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH").toString(),
                 checkout() + QStringLiteral("/build/share/torvane/bin/tvn-pop-signer"));

        QVERIFY(m_model->agentHandoffVerified());
        QCOMPARE(m_model->setupSteps().constLast().detail, QStringLiteral("Handoff verified"));
        QCOMPARE(m_model->setupSteps().constLast().state, SetupStepSummary::State::done);
    }

    void copiesFollowAPassingVerification()
    {
        QVERIFY(awaitTask(m_model->copyAgentHandoffConfigIfVerified(profile)));
        const QString copied = m_clipboard->text();
        QCOMPARE(copied, m_model->agentHandoff()->makeAgentHandoffConfig(profile).clipboardText());
        QVERIFY(copied.contains(QStringLiteral("tvn-pop-signer")));
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Agent handoff copied for %1 (%2 bytes): local wrapper, local broker, "
                                                          "no provider credentials copied")
                                               .arg(profile)
                                               .arg(copied.toUtf8().size()));

        const AgentClientDescriptor codex = *AgentClientDescriptor::find(QStringLiteral("codex"));
        QVERIFY(awaitTask(m_model->agentHandoff()->copyAgentSnippetIfVerified(codex)));
        QVERIFY(m_clipboard->text().startsWith(QStringLiteral("[mcp_servers.tvn]\ncommand = \"")));
        QCOMPARE(m_model->agentHandoff()->agentSetupCopySeq(), 2);
    }

    // Rows in order, each undone before the next; the last one (the revoked key) is not.
    void brokenLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<Kind>("failing");
        QTest::addColumn<QString>("detail"); // a pattern
        QTest::newRow("profile readable by others") << "profile mode" << Kind::profilePresent << "^Local setup profile rejected: .*";
        QTest::newRow("wrapper not executable") << "wrapper bit" << Kind::wrapperExecutable
                                                << "^Wrapper found but is not executable: .*/script/tvn-mcp-launch\\.sh$";
        QTest::newRow("broker down") << "broker down" << Kind::brokerHealth << "^GET /health failed at http://127\\.0\\.0\\.1:47382: ";
        QTest::newRow("vault locked") << "vault locked" << Kind::readOnlySmoke
                                      << "^wrapper --check did not pass \\(status=vault_locked\\): The Torvane vault at .* is locked";
        QTest::newRow("kill switch on") << "kill switch" << Kind::readOnlySmoke
                                        << "^wrapper --check did not pass \\(status=access_paused\\): The broker refused agent "
                                           "access: Kill switch is on";
        QTest::newRow("key revoked") << "key revoked" << Kind::readOnlySmoke
                                     << "^wrapper --check did not pass \\(status=key_rejected\\): The broker did not accept this "
                                        "profile's agent key";
    }
    void brokenLinks()
    {
        QFETCH(QString, link);
        QFETCH(Kind, failing);
        QFETCH(QString, detail);
        const QFileDevice::Permissions profileMode = QFile::permissions(sealedProfile());
        const QFileDevice::Permissions wrapperMode = QFile::permissions(wrapper());
        if (link == QLatin1StringView("profile mode"))
            QVERIFY(QFile::setPermissions(sealedProfile(), profileMode | QFile::ReadOther));
        else if (link == QLatin1StringView("wrapper bit"))
            QVERIFY(QFile::setPermissions(wrapper(), wrapperMode & ~(QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther)));
        else if (link == QLatin1StringView("broker down"))
            QCoro::waitFor(m_model->stopLocalService());
        else if (link == QLatin1StringView("vault locked")) {
            // Restarted without the app: nobody opened the vault.
            QCoro::waitFor(runService(LocalServiceCommand::stop));
            QCoro::waitFor(runService(LocalServiceCommand::start));
        }
        else if (link == QLatin1StringView("kill switch"))
            QCoro::waitFor(m_model->setKillSwitch(true));
        else if (link == QLatin1StringView("key revoked"))
            QCoro::waitFor(m_model->revoke(m_model->snapshot()->activeMasterKeys().constFirst()));

        const int copiesBefore = m_clipboard->texts.size();
        QVERIFY(!awaitTask(m_model->copyAgentHandoffConfigIfVerified(profile)));
        const AgentHandoffVerificationReport report = *m_model->lastAgentHandoffVerification();
        const QString stated = report.firstFailureDetail();
        QCOMPARE(stepOf(report, failing)->detail, stated);
        QVERIFY2(QRegularExpression(detail).match(stated).hasMatch(), qPrintable(stated));
        QCOMPARE(m_model->lastActionError(), QStringLiteral("Agent handoff not copied for %1: %2").arg(profile, stated));
        QCOMPARE(m_clipboard->texts.size(), copiesBefore);
        QVERIFY(!m_model->agentHandoffVerified());
        if (failing != Kind::mcpSession)
            QVERIFY(!stepOf(report, Kind::mcpSession)->ok);

        QVERIFY(QFile::setPermissions(sealedProfile(), profileMode));
        QVERIFY(QFile::setPermissions(wrapper(), wrapperMode));
        if (link == QLatin1StringView("broker down"))
            QCoro::waitFor(m_model->installOrStartLocalService());
        else if (link == QLatin1StringView("vault locked"))
            QCoro::waitFor(m_model->refresh()); // the app's own refresh opens the vault again
        else if (link == QLatin1StringView("kill switch"))
            QCoro::waitFor(m_model->setKillSwitch(false));
    }

    void lockingClearsTheReceipt()
    {
        QVERIFY(m_model->lastAgentHandoffVerification());
        m_model->lockOperatorSurfaces(QStringLiteral("Operator session locked"));
        QVERIFY(!m_model->lastAgentHandoffVerification());
    }
};

QTEST_GUILESS_MAIN(TestAgentHandoffJourney)
#include "tst_AgentHandoffJourney.moc"
