#include "AgentHandoffVerifier.h"
#include "AwaitTask.h"
#include "BrokerClient.h"
#include "BrokerPaths.h"
#include "CannedHttpServer.h"
#include "CreatedMasterKeyResponse.h"
#include "IdentityTestSupport.h"
#include "OperatorSessionResponse.h"
#include "RealBroker.h"
#include "WrapperMcpSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using std::chrono::milliseconds;

namespace {
const QString profile = QStringLiteral("claude-code-keel-tvn");

bool writeScript(const QString &path, const QByteArray &body, QFile::Permissions permissions)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    return file.setPermissions(permissions);
}

constexpr QFile::Permissions executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner;

WrapperInvocation invocationOf(const QString &command, const QString &brokerURL = QStringLiteral("http://127.0.0.1:9"))
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SWITCHYARD_API_KEY"), QStringLiteral("must-not-reach-the-wrapper"));
    return {command, profile, brokerURL, QStringLiteral("/home/ada/.torvane-dev/state"), QStringLiteral("development"),
            QStringLiteral("/opt/torvane/bin/tvn-pop-signer"), environment};
}
} // namespace

// The verifier's checks one by one, against files, stand-in wrappers and listeners made here,
// and the real wrapper against the real broker on an ephemeral port.
class TestAgentHandoffVerifier : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString script(const QString &name, const QByteArray &body, QFile::Permissions permissions = executable)
    {
        const QString path = m_dir.filePath(name);
        return writeScript(path, body, permissions) ? path : QString();
    }

private slots:
    void initTestCase()
    {
        // Profiles stay plaintext here: no TPM.
        qunsetenv("TVN_TPM_TCTI");
        QVERIFY(m_dir.isValid());
    }

    // The "--check" contract: stand-in wrappers print what real ones might.
    void wrapperCheckJudgement_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("detail");
        const QString accepted = QStringLiteral("wrapper --check reached the broker and the broker accepted profile ") + profile;
        const QString unparseable = QStringLiteral("wrapper --check did not print parseable JSON");
        QTest::newRow("one object between blank lines")
            << QByteArray("printf '\\n\\n  {\"present\":true,\"brokerAccepted\":true,\"status\":\"ok\",\"extra\":1}\\n\\n'") << true << accepted;
        QTest::newRow("two objects") << QByteArray("echo '{\"present\":true,\"brokerAccepted\":true}'; echo '{}'") << false << unparseable;
        QTest::newRow("a log line first") << QByteArray("echo starting; echo '{\"present\":true,\"brokerAccepted\":true}'") << false << unparseable;
        QTest::newRow("not UTF-8") << QByteArray("printf '\\377{\"present\":true,\"brokerAccepted\":true}'") << false << unparseable;
        QTest::newRow("a key of the wrong type") << QByteArray("echo '{\"present\":\"yes\",\"brokerAccepted\":true}'") << false << unparseable;
        QTest::newRow("present, nothing else")
            << QByteArray("echo '{\"present\":true}'") << false << QStringLiteral("wrapper --check did not pass (status=unknown)");
        QTest::newRow("reason before hint")
            << QByteArray("echo '{\"present\":true,\"brokerAccepted\":false,\"status\":\"key_rejected\",\"reason\":\"R.\",\"hint\":\"H.\"}'")
            << false << QStringLiteral("wrapper --check did not pass (status=key_rejected): R.");
        QTest::newRow("hint without reason")
            << QByteArray("echo '{\"status\":\"vault_locked\",\"reason\":\"\",\"hint\":\"Unlock.\"}'") << false
            << QStringLiteral("wrapper --check did not pass (status=vault_locked): Unlock.");
        QTest::newRow("standard error without reason or hint")
            << QByteArray("echo oops >&2; echo '{\"status\":\"odd\"}'") << false << QStringLiteral("wrapper --check did not pass (status=odd): oops");
        QTest::newRow("nothing printed, an error said")
            << QByteArray("echo 'tvn-mcp: boom' >&2; exit 1") << false << unparseable + QStringLiteral(": tvn-mcp: boom");
        QTest::newRow("printed, then hung past the budget")
            << QByteArray("echo '{\"present\":true,\"brokerAccepted\":true}'; exec sleep 30") << true << accepted;
        QTest::newRow("hung past the budget without a word")
            << QByteArray("exec sleep 30") << false << QStringLiteral("wrapper --check timed out without printing parseable JSON");
    }
    void wrapperCheckJudgement()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, ok);
        QFETCH(QString, detail);
        const QString wrapper = script(QStringLiteral("judged/") + QTest::currentDataTag(), body);
        QElapsedTimer clock;
        clock.start();
        const WrapperExecutionResult result = AgentHandoffVerifier::executeWrapperCheck(invocationOf(wrapper), milliseconds(1500));
        QVERIFY2(clock.elapsed() < 15000, "a wrapper past its budget is stopped");
        const AgentHandoffVerificationStep step = AgentHandoffVerifier::judgeWrapperCheck(result, profile);
        QCOMPARE(step.kind, AgentHandoffVerificationStep::Kind::readOnlySmoke);
        QCOMPARE(step.title, QStringLiteral("Read-only smoke"));
        QCOMPARE(step.detail, detail);
        QCOMPARE(step.ok, ok);
    }

    // The wrapper gets the entry's environment over the app's own, without the app's API key, and
    // a bare command is looked up on PATH.
    void environmentAndArguments_data()
    {
        QTest::addColumn<bool>("bare");
        QTest::newRow("path") << false;
        QTest::newRow("bare name on PATH") << true;
    }
    void environmentAndArguments()
    {
        QFETCH(bool, bare);
        const QString wrapper = script(QStringLiteral("env/tvn-env-wrapper.sh"),
                                       "printf '{\"status\":\"echo\",\"reason\":\"%s|%s|%s|%s|%s|%s\"}' \"$*\" "
                                       "\"$TVN_BROKER_URL\" \"$SWITCHYARD_STATE_DIR\" \"$TVN_RUNTIME_LANE\" "
                                       "\"${SWITCHYARD_API_KEY-unset}\" \"$SWITCHYARD_BOUND_PROFILE_SIGNER_PATH\"");
        WrapperInvocation invocation = invocationOf(bare ? QStringLiteral("tvn-env-wrapper.sh") : wrapper);
        invocation.baseEnvironment.insert(QStringLiteral("PATH"), QFileInfo(wrapper).absolutePath() + QStringLiteral(":/usr/bin:/bin"));
        const WrapperExecutionResult result = AgentHandoffVerifier::executeWrapperCheck(invocation);
        QVERIFY2(result.payload, qPrintable(result.standardError));
        QCOMPARE(result.payload->reason.value_or(QString()),
                 QStringLiteral("--profile claude-code-keel-tvn --check|http://127.0.0.1:9|/home/ada/.torvane-dev/state|"
                                "development|unset|/opt/torvane/bin/tvn-pop-signer"));
    }

    void launchFailure()
    {
        const WrapperExecutionResult result = AgentHandoffVerifier::executeWrapperCheck(invocationOf(m_dir.filePath("absent/x.sh")));
        QVERIFY(!result.payload);
        QVERIFY(!result.timedOut);
        QVERIFY(!result.standardError.isEmpty());
    }

    void wrapperFile_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<QString>("detail"); // "{path}" is the command
        QTest::newRow("executable") << script("w/run.sh", "true") << true << true << "Executable wrapper at {path}";
        QTest::newRow("not executable") << script("w/plain.sh", "true", readable) << false << false
                                        << "Wrapper found but is not executable: {path}";
        QTest::newRow("missing") << m_dir.filePath("w/missing.sh") << false << false << "Wrapper not readable at {path}";
        QTest::newRow("bare name") << "tvn-mcp-launch.sh" << true << true
                                   << "Using PATH wrapper command {path}; the read-only smoke will prove whether it launches.";
    }
    void wrapperFile()
    {
        QFETCH(QString, command);
        QFETCH(bool, ok);
        QFETCH(bool, usable);
        QFETCH(QString, detail);
        const AgentHandoffVerifier::WrapperInspection inspected = AgentHandoffVerifier::inspectWrapper(command);
        QCOMPARE(inspected.step.detail, QString(detail).replace(QStringLiteral("{path}"), command));
        QCOMPARE(inspected.step.ok, ok);
        QCOMPARE(inspected.usable, usable);
        QCOMPARE(inspected.step.title, QStringLiteral("Wrapper"));
    }

    void configFile()
    {
        const QString present = script("config/.claude.json", "{}", readable);
        const QString absent = m_dir.filePath("config/none.json");
        QCOMPARE(AgentHandoffVerifier::inspectConfig(present),
                 AgentHandoffVerificationStep::make(AgentHandoffVerificationStep::Kind::configWritten, true,
                                                    QStringLiteral("TVN MCP config is present at ") + present));
        QCOMPARE(AgentHandoffVerifier::inspectConfig(absent).detail, QStringLiteral("Config file was not found at ") + absent);
        QCOMPARE(AgentHandoffVerifier::inspectConfig(absent).title, QStringLiteral("Config file"));
    }

    void profileFile()
    {
        const QString state = m_dir.filePath(QStringLiteral("state"));
        const LocalAgentProfileStore store(state);
        store.storeTorvane(QStringLiteral("tvn_") + QString(43, QLatin1Char('k')), profile);
        const QString keyFile = state + QStringLiteral("/agent-keys/") + profile + QStringLiteral(".key");

        const auto present = awaitTask(AgentHandoffVerifier::inspectProfile(profile, store));
        QCOMPARE(present.step.detail, QStringLiteral("Owner-only setup profile exists at ") + keyFile);
        QVERIFY(present.step.ok);
        QCOMPARE(present.profilePath, keyFile);

        const auto absent = awaitTask(AgentHandoffVerifier::inspectProfile(QStringLiteral("cursor-keel-tvn"), store));
        QVERIFY(!absent.step.ok);
        QVERIFY(absent.step.detail.startsWith(QStringLiteral("No local setup profile found at ")));

        // An unsafe file is an error of the store, with the path still named.
        QVERIFY(QFile::setPermissions(keyFile, readable | QFile::ReadGroup | QFile::ReadOther));
        const auto unsafe = awaitTask(AgentHandoffVerifier::inspectProfile(profile, store));
        QVERIFY(!unsafe.step.ok);
        QVERIFY2(!unsafe.step.detail.isEmpty() && !unsafe.step.detail.startsWith(QStringLiteral("Owner-only")), qPrintable(unsafe.step.detail));
        QCOMPARE(unsafe.profilePath, state + QStringLiteral("/agent-keys/") + profile + QStringLiteral(".key"));
    }

    void brokerHealth()
    {
        const auto remote = awaitTask(AgentHandoffVerifier::inspectBrokerHealth(QUrl(QStringLiteral("http://192.0.2.1:47382"))));
        QCOMPARE(remote.detail,
                 QStringLiteral("Broker health check only runs against loopback URLs; current URL is http://192.0.2.1:47382"));

        CannedHttpServer genuine;
        genuine.setAnswer({200, "{\"ok\":true,\"service\":\"switchyard-broker\",\"vault\":\"unlocked\"}"});
        const auto passed = awaitTask(AgentHandoffVerifier::inspectBrokerHealth(QUrl(genuine.baseURL())));
        QCOMPARE(passed.detail, QStringLiteral("GET /health responded as Torvane at ") + genuine.baseURL());
        QVERIFY(passed.ok);
        QCOMPARE(genuine.requestedPaths(), QList<QByteArray>{"/health"});

        CannedHttpServer other;
        other.setAnswer({200, "{\"ok\":true,\"service\":\"something-else\"}"});
        const auto foreign = awaitTask(AgentHandoffVerifier::inspectBrokerHealth(QUrl(other.baseURL())));
        QCOMPARE(foreign.detail, QStringLiteral("GET /health responded but did not report the Torvane broker"));

        const QString closed = QStringLiteral("http://127.0.0.1:1");
        const auto down = awaitTask(AgentHandoffVerifier::inspectBrokerHealth(QUrl(closed)));
        QVERIFY2(down.detail.startsWith(QStringLiteral("GET /health failed at http://127.0.0.1:1: ")), qPrintable(down.detail));
        QVERIFY(!down.ok);
    }

    void loopbackHosts_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("loopback");
        QTest::newRow("IPv4") << "http://127.0.0.1:47382" << true;
        QTest::newRow("localhost, upper case") << "http://LOCALHOST:1" << true;
        QTest::newRow("IPv6") << "http://[::1]:47382" << true;
        QTest::newRow("other 127 address") << "http://127.0.0.2:47382" << false;
        QTest::newRow("remote") << "http://example.com" << false;
    }
    void loopbackHosts()
    {
        QFETCH(QString, url);
        QFETCH(bool, loopback);
        QCOMPARE(AgentHandoffVerifier::isLoopback(QUrl(url)), loopback);
    }

    // Where the app looks for the wrapper: a checkout around the prefix only in development.
    void wrapperResolution()
    {
        const QString root = m_dir.filePath(QStringLiteral("resolve"));
        const QString home = root + QStringLiteral("/home");
        const QString prefix = root + QStringLiteral("/checkout/build");
        QVERIFY(QDir().mkpath(prefix) && QDir().mkpath(home));
        QVERIFY(writeScript(root + QStringLiteral("/checkout/package.json"), "", readable));
        const QString checkout = root + QStringLiteral("/checkout/script/tvn-mcp-launch.sh");
        QVERIFY(writeScript(checkout, "true", executable));
        const QString resources = prefix + QStringLiteral("/share/torvane/Service/script/tvn-mcp-launch.sh");
        QVERIFY(writeScript(resources, "true", executable));
        const TVNRuntimeIdentity development = TVNRuntimeIdentity::resolve({}, home);
        const TVNRuntimeIdentity production = TVNRuntimeIdentity::resolve(shippingInfo(), home);

        QCOMPARE(AgentHandoffVerifier::resolveWrapperCommand(development, prefix), checkout);
        QCOMPARE(AgentHandoffVerifier::resolveWrapperCommand(production, prefix), resources);
        QVERIFY(QFile::setPermissions(checkout, readable));
        QCOMPARE(AgentHandoffVerifier::resolveWrapperCommand(development, prefix), resources);
        QVERIFY(QFile::remove(resources));
        const QString installed = production.serviceRootPath() + QStringLiteral("/script/tvn-mcp-launch.sh");
        QVERIFY(writeScript(installed, "true", executable));
        QCOMPARE(AgentHandoffVerifier::resolveWrapperCommand(production, prefix), installed);
        QVERIFY(QFile::remove(installed));
        if (!QFile::exists(QStringLiteral("/usr/share/torvane/Service/script/tvn-mcp-launch.sh"))
            && !QFile::exists(QStringLiteral("/usr/local/share/torvane/Service/script/tvn-mcp-launch.sh")))
            QCOMPARE(AgentHandoffVerifier::resolveWrapperCommand(production, prefix), QStringLiteral("tvn-mcp-launch.sh"));
    }

    void signerResolution()
    {
        const QString resources = m_dir.filePath(QStringLiteral("signer/share/torvane"));
        const QString bundled = resources + QStringLiteral("/bin/tvn-pop-signer");
        const QString named = script(QStringLiteral("signer/elsewhere/tvn-pop-signer"), "true");
        const QProcessEnvironment environment = environmentFrom({QStringLiteral("SWITCHYARD_BOUND_PROFILE_SIGNER_PATH=") + named});
        QCOMPARE(AgentHandoffVerifier::resolveSignerPath(resources, environment), std::optional<QString>(named));
        QVERIFY(writeScript(bundled, "true", executable));
        QCOMPARE(AgentHandoffVerifier::resolveSignerPath(resources, environment), std::optional<QString>(bundled));
        QVERIFY(QFile::setPermissions(bundled, readable));
        QCOMPARE(AgentHandoffVerifier::resolveSignerPath(resources, environmentFrom({"SWITCHYARD_BOUND_PROFILE_SIGNER_PATH=bin/x"})),
                 std::nullopt);
    }

    // The real wrapper: without a profile it still opens an MCP session, and the step says why
    // it serves no tools; with a key the broker accepts, --check and the session both pass.
    void realWrapper()
    {
        RealBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.error()));
        const QString state = broker.homePath() + QStringLiteral("/state");
        const QString wrapper = QStringLiteral(TVN_SOURCE_DIR "/script/tvn-mcp-launch.sh");
        WrapperInvocation invocation = invocationOf(wrapper, broker.baseURL());
        invocation.stateDirectory = state;
        invocation.signerPath.reset();

        const AgentHandoffVerificationStep missing = WrapperMcpSession::probe(invocation, milliseconds(8000));
        QVERIFY(!missing.ok);
        QVERIFY2(missing.detail.startsWith(QStringLiteral("MCP tools/list showed an agent app none of Torvane's tools for "
                                                          "profile claude-code-keel-tvn: No local setup profile found at ")),
                 qPrintable(missing.detail));

        QFile bootstrapFile(state + QStringLiteral("/operator-bootstrap.local"));
        QVERIFY(bootstrapFile.open(QIODevice::ReadOnly));
        const BrokerHeaders bootstrap = bootstrapHeaders(QString::fromUtf8(bootstrapFile.readAll()).trimmed());
        const QUrl url(broker.baseURL());
        QVERIFY(awaitTask(BrokerClient().postJSON(url, BrokerPaths::vaultSetup, {{"passphrase", "correct horse battery staple"}}, bootstrap)));
        const auto minted = awaitTask(BrokerClient().postJSON(url, BrokerPaths::operatorSession, {{"label", "verifier"}}, bootstrap));
        QVERIFY(minted);
        const auto session = decodeBrokerRecord<OperatorSessionResponse>(minted.value());
        const QJsonObject request{{"agentId", "claude-code"}, {"name", profile}, {"connectorIds", QJsonArray{"github"}}, {"maxRisk", "low"}};
        const auto created = awaitTask(BrokerClient().postJSON(url, BrokerPaths::masterKeys, request, operatorHeaders(session->sessionId)));
        QVERIFY(created);
        LocalAgentProfileStore(state).storeTorvane(decodeBrokerRecord<CreatedMasterKeyResponse>(created.value())->key, profile);

        const AgentHandoffVerificationStep smoke = awaitTask(AgentHandoffVerifier::runWrapperCheck(invocation, true));
        QVERIFY2(smoke.ok, qPrintable(smoke.detail));
        const AgentHandoffVerificationStep mcp = awaitTask(AgentHandoffVerifier::inspectMcpSession(invocation, true));
        QVERIFY2(mcp.ok, qPrintable(mcp.detail));
        QVERIFY2(mcp.detail.startsWith(QStringLiteral("MCP initialize and tools/list answered as an agent app sees them: ")),
                 qPrintable(mcp.detail));
        QCOMPARE(awaitTask(AgentHandoffVerifier::inspectMcpSession(invocation, false)).detail,
                 QStringLiteral("Skipped until the read-only smoke passes"));
        QCOMPARE(awaitTask(AgentHandoffVerifier::runWrapperCheck(invocation, false)).detail,
                 QStringLiteral("Skipped until the local profile and wrapper are available"));
    }
};

QTEST_GUILESS_MAIN(TestAgentHandoffVerifier)
#include "tst_AgentHandoffVerifier.moc"
