#include "AwaitTask.h"
#include "CannedBrokerAnswers.h"
#include "CannedHttpServer.h"
#include "ModelTestSupport.h"

#include <QJsonArray>
#include <QTest>

// The refresh cycle against a broker stand-in on the development port: which calls it makes, in
// which order, what it stores and what it says, for each gate. The real broker cannot be made to
// answer with another service's name or fail one call of a wave, so a canned listener does.
namespace {
using namespace CannedBroker;

// How one row changes the healthy broker before the cycle runs.
using Setup = std::function<void(CannedHttpServer &, const TVNRuntimeIdentity &)>;
} // namespace

Q_DECLARE_METATYPE(Setup)

class TestRefreshCycle : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QCOMPARE(m_canned.start(), QString());
        m_script = m_canned.script.get();
        m_broker = m_canned.broker.get();
        m_model = m_canned.model.get();
        // Already on, so the cycle's own words are the last ones (the first turn-on says "Torvane is on").
        m_model->supervision()->setStartPhase(LocalServiceStartPhase::Kind::ready);
        QVERIFY(m_canned.writeBootstrapSecret());
    }

    void cleanup()
    {
        m_canned.stop();
    }

    void outcomes_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QList<QByteArray>>("paths");
        QTest::addColumn<int>("connections");
        QTest::addColumn<QString>("vaultStatus");

        const QList<QByteArray> firstWave = {"/health", "/v1/local-posture", "/v1/operator/status"};
        const QList<QByteArray> secondWave = {"/v1/connectors",     "/v1/approvals",        "/v1/connections",
                                              "/v1/master-keys",    "/v1/proxy/profiles",   "/v1/proxy/services",
                                              "/v1/audit"};
        // The first mint's probe is skipped: no session is held yet.
        const QList<QByteArray> everything = firstWave + QList<QByteArray>{"/v1/operator/session", "/v1/connectors"}
            + secondWave + QList<QByteArray>{"/v1/proof/latest"};

        QTest::newRow("healthy broker, plaintext secret")
            << Setup() << "Local service checked" << everything << 1 << "unlocked";
        QTest::newRow("another service on the port")
            << Setup([](CannedHttpServer &broker, const TVNRuntimeIdentity &) {
                   broker.setAnswer("/health", json({{QStringLiteral("ok"), true},
                                                     {QStringLiteral("service"), QStringLiteral("something-else")}}));
               })
            << "Unexpected local service on TVN port" << firstWave << 0 << "";
        QTest::newRow("health without vault, not ok")
            << Setup([](CannedHttpServer &broker, const TVNRuntimeIdentity &) {
                   broker.setAnswer("/health", json({{QStringLiteral("ok"), false},
                                                     {QStringLiteral("service"), QStringLiteral("switchyard-broker")}}));
               })
            << "Local service checked" << everything << 1 << "Locked";
        QTest::newRow("sealed unlock waits for the user")
            << Setup([](CannedHttpServer &broker, const TVNRuntimeIdentity &) {
                   broker.setAnswer("/v1/operator/status", operatorStatus(QStringLiteral("secure-enclave")));
               })
            << "Operator session locked" << firstWave << 0 << "unlocked";
        QTest::newRow("bootstrap no longer opens the vault")
            << Setup([](CannedHttpServer &broker, const TVNRuntimeIdentity &) {
                   broker.setAnswer("/v1/operator/session", error(401, QStringLiteral("Operator passphrase is required")));
               })
            << "Operator session locked" << firstWave + QList<QByteArray>{"/v1/operator/session"} << 0 << "unlocked";
        QTest::newRow("audit fails: nothing of the wave is stored")
            << Setup([](CannedHttpServer &broker, const TVNRuntimeIdentity &) {
                   broker.setAnswer("/v1/audit", error(500, QStringLiteral("disk full")));
               })
            << "TVN service is on; some data could not refresh"
            << firstWave + QList<QByteArray>{"/v1/operator/session", "/v1/connectors"} + secondWave << 0 << "unlocked";
        QTest::newRow("proof fails: still checked")
            << Setup([](CannedHttpServer &broker, const TVNRuntimeIdentity &) {
                   broker.setAnswer("/v1/proof/latest", error(500, QStringLiteral("no proof")));
               })
            << "Local service checked" << everything << 1 << "unlocked";
        QTest::newRow("development broker of another lane")
            << Setup([](CannedHttpServer &broker, const TVNRuntimeIdentity &identity) {
                   QJsonObject posture = developmentPosture(identity);
                   posture.insert(QStringLiteral("stateDir"), QStringLiteral("/elsewhere"));
                   broker.setAnswer("/v1/local-posture", json(posture));
               })
            << "Verify the development broker identity before loading the dashboard." << firstWave << 0 << "unlocked";
    }

    void outcomes()
    {
        QFETCH(Setup, setup);
        if (setup)
            setup(*m_broker, m_model->identity());
        QCoro::waitFor(m_model->refresh());

        QTEST(m_model->statusMessage(), "message");
        QTEST(cycleCalls(), "paths");
        QTEST(static_cast<int>(m_model->snapshot()->connections().size()), "connections");
        QTEST(m_model->snapshot()->vaultStatus(), "vaultStatus");
        QVERIFY(!m_model->isRefreshing());
    }

    void mintsWithTheTrimmedSecretAndKeepsTheSession()
    {
        QCoro::waitFor(m_model->refresh());
        const CannedHttpServer::Request mint = m_broker->requests().value(3);
        QCOMPARE(mint.target, QByteArray("/v1/operator/session"));
        QCOMPARE(mint.headers.value("x-tvn-operator-bootstrap"), QByteArray("bootstrap-secret"));
        QCOMPARE(QJsonDocument::fromJson(mint.body).object().value(QStringLiteral("label")).toString(),
                 QStringLiteral("mac-app"));
        QCOMPARE(m_model->operatorSessionID(), QStringLiteral("session-1"));
        QCOMPARE(m_model->snapshot()->selectedConnectorID(), std::optional<QString>(QStringLiteral("github")));

        // The next cycle probes the session it holds and mints nothing.
        m_broker->clearRequests();
        QCoro::waitFor(m_model->refresh());
        QVERIFY(!m_broker->requestedPaths().contains("/v1/operator/session"));
        QCOMPARE(m_broker->requests().last().headers.value("x-tvn-operator-session"), QByteArray("session-1"));
    }

    void aFailedWaveKeepsWhatAnEarlierCycleLoaded()
    {
        QCoro::waitFor(m_model->refresh());
        QCOMPARE(m_model->snapshot()->connections().size(), 1);
        m_broker->setAnswer("/v1/approvals", error(500, QStringLiteral("busy")));
        QCoro::waitFor(m_model->refresh());
        QCOMPARE(m_model->statusMessage(), QStringLiteral("TVN service is on; some data could not refresh"));
        QCOMPARE(m_model->snapshot()->connections().size(), 1);
    }

    void anExpiredSessionIsMintedAgainInTheSameCycle()
    {
        QCoro::waitFor(m_model->refresh());
        m_broker->setAnswer("/v1/connectors", error(401, QStringLiteral("Invalid or expired local operator session")));
        m_broker->setAnswer("/v1/operator/session", json({{QStringLiteral("sessionId"), QStringLiteral("session-2")},
                                                          {QStringLiteral("expiresAt"), QStringLiteral("later")}}));
        m_broker->clearRequests();
        QCoro::waitFor(m_model->refresh());
        QCOMPARE(m_model->operatorSessionID(), QStringLiteral("session-2"));
        QVERIFY(m_broker->requestedPaths().contains("/v1/operator/session"));
    }

    void aSecondRefreshDuringACycleReturnsAtOnce()
    {
        QCoro::Task<> first = m_model->refresh();
        QVERIFY(m_model->isRefreshing());
        const QString during = m_model->statusMessage();
        QCoro::waitFor(m_model->refresh());
        QCOMPARE(m_model->statusMessage(), during);
        QCoro::waitFor(std::move(first));
        QCOMPARE(m_broker->requestedPaths().count("/health"), 1);
    }

    void theServiceGateStopsBeforeTheBroker_data()
    {
        QTest::addColumn<QVariantMap>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("port conflict") << QVariantMap{{QStringLiteral("status"), QStringLiteral("port_conflict")},
                                                      {QStringLiteral("broker"), QStringLiteral("port_conflict")}}
                                       << "Another local service is already running";
        QTest::newRow("start failed") << QVariantMap{{QStringLiteral("status"), QStringLiteral("start_failed")},
                                                     {QStringLiteral("broker"), QStringLiteral("start_failed")}}
                                      << "Torvane could not start";
    }

    void theServiceGateStopsBeforeTheBroker()
    {
        QFETCH(QVariantMap, status);
        QVERIFY(m_script->answer(QStringLiteral("status"), status));
        QCoro::waitFor(m_model->refresh());
        QTEST(m_model->statusMessage(), "message");
        QVERIFY(!m_model->health().ok);
        QCOMPARE(m_model->health().error, std::optional<QString>(m_model->supervision()->localServiceStatusDetail()));
        QVERIFY(!m_model->brokerIdentityVerified());
        QVERIFY(cycleCalls().isEmpty());
    }

    void bootstrapSecretSources_data()
    {
        QTest::addColumn<QString>("unlockMethod");
        QTest::addColumn<QByteArray>("plaintext"); // empty: no file
        QTest::addColumn<QString>("legacyVariable");
        QTest::addColumn<QString>("error");
        QTest::newRow("plaintext missing")
            << "local-file" << QByteArray() << ""
            << "Could not read the local operator unlock file. Try Repair & Restart, or open the logs from Advanced.";
        QTest::newRow("plaintext blank")
            << "local-file" << QByteArray(" \n\t ") << ""
            << "Could not read the local operator unlock file. Try Repair & Restart, or open the logs from Advanced.";
        QTest::newRow("legacy method, policy off")
            << "mac-keychain" << QByteArray("s") << ""
            << "Legacy Linux unlock is disabled. Use Repair & Restart to migrate TVN back to the local vault.";
        QTest::newRow("legacy method, policy on, nothing stored")
            << "mac-keychain" << QByteArray("s") << " Yes "
            << "Could not read the legacy operator unlock item. Use legacy unlock repair only in explicit legacy mode.";
    }

    void bootstrapSecretSources()
    {
        QFETCH(QString, unlockMethod);
        QFETCH(QByteArray, plaintext);
        QFETCH(QString, legacyVariable);
        const QString file = m_model->supervision()->stateDirectory() + QStringLiteral("/operator-bootstrap.local");
        QVERIFY(plaintext.isEmpty() ? QFile::remove(file) : writeFile(file, plaintext));
        if (!legacyVariable.isEmpty())
            qputenv("TVN_ENABLE_LEGACY_KEYCHAIN", legacyVariable.toUtf8());
        const auto restore = qScopeGuard([] { qunsetenv("TVN_ENABLE_LEGACY_KEYCHAIN"); });

        OperatorStatus status;
        status.enabled = true;
        status.unlockMethod = unlockMethod;
        const OperatorSession::Outcome outcome = awaitTask(m_model->operatorSession()->ensureOperatorSession(status));
        QVERIFY(!outcome);
        QCOMPARE(outcome.failure().requestFailure()->status(), 401);
        QTEST(outcome.failure().requestFailure()->message(), "error");
        QVERIFY(!m_broker->requestedPaths().contains("/v1/operator/session"));
    }

    void unlockReportsPassphraseNeedAndLockClearsOperatorData()
    {
        QCoro::waitFor(m_model->refresh());
        QVERIFY(!m_model->snapshot()->connectors().isEmpty());
        m_model->lockOperatorSession();
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Operator session locked"));
        QVERIFY(m_model->operatorSessionID().isEmpty());
        QVERIFY(m_model->snapshot()->connections().isEmpty());
        // The catalog stays so the overview can still explain things.
        QVERIFY(!m_model->snapshot()->connectors().isEmpty());

        m_broker->setAnswer("/v1/operator/session", error(401, QStringLiteral("operator passphrase is REQUIRED")));
        QCoro::waitFor(m_model->unlockOperatorSession());
        QVERIFY(m_model->operatorSession()->operatorPassphraseRequired());
        QCOMPARE(m_model->statusMessage(),
                 QStringLiteral("This computer's vault needs your TVN password to finish unlocking."));
        QVERIFY(!m_model->operatorSession()->operatorUnlockInProgress());
    }

private:
    // The cycle's own calls: the event stream opens by itself once a session is held, and the
    // kill switch reads its state on its own schedule (when that lands depends on the machine's load).
    QList<QByteArray> cycleCalls() const
    {
        QList<QByteArray> paths = m_broker->requestedPaths();
        paths.removeAll("/v1/events");
        paths.removeAll("/v1/killswitch");
        return paths;
    }

    CannedBroker::Model m_canned;
    FakeControlScript *m_script = nullptr;
    CannedHttpServer *m_broker = nullptr;
    AppModel *m_model = nullptr;
};

QTEST_GUILESS_MAIN(TestRefreshCycle)
#include "tst_RefreshCycle.moc"
