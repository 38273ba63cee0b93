#include "AwaitTask.h"
#include "CannedBrokerAnswers.h"
#include "ModelTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>

// The dashboard handoff against a broker stand-in on the development port: the gate, the attach
// and its one-at-a-time rule, the development lane's identity lock, and the web first-run flag.
// A canned listener stands in for the broker because it must answer as another checkout's broker
// and hold a request open, which the real one will not do.
using namespace CannedBroker;
using Kind = LocalServiceStartPhase::Kind;


namespace {
LocalServiceStatus status(const QString &word, const QString &broker, std::optional<bool> matches = std::nullopt)
{
    LocalServiceStatus status;
    status.status = word;
    status.launchAgent = QStringLiteral("loaded");
    status.broker = broker;
    status.brokerMatchesInstall = matches;
    return status;
}
} // namespace

class TestDashboardHandoff : public QObject
{
    Q_OBJECT
private slots:
    void gate_data()
    {
        QTest::addColumn<LocalServiceStatus>("serviceStatus");
        QTest::addColumn<LocalServiceStartPhase>("phase");
        QTest::addColumn<bool>("actionInProgress");
        QTest::addColumn<bool>("allowed");
        const LocalServiceStatus installed = status(QStringLiteral("installed"), QStringLiteral("not_listening"));
        QTest::newRow("starting") << installed << LocalServiceStartPhase(Kind::starting) << false << true;
        QTest::newRow("checking keychain") << installed << LocalServiceStartPhase(Kind::checkingKeychain) << false << true;
        QTest::newRow("idle, no action") << installed << LocalServiceStartPhase(Kind::idle) << false << false;
        QTest::newRow("ready, no action") << installed << LocalServiceStartPhase(Kind::ready) << false << false;
        QTest::newRow("idle during an action") << installed << LocalServiceStartPhase(Kind::idle) << true << true;
        QTest::newRow("status port conflict")
            << status(QStringLiteral("port_conflict"), QStringLiteral("not_listening"))
            << LocalServiceStartPhase(Kind::starting) << true << false;
        QTest::newRow("broker port conflict")
            << status(QStringLiteral("installed"), QStringLiteral("port_conflict"))
            << LocalServiceStartPhase(Kind::waitingForBroker) << true << false;
        QTest::newRow("stale broker") << status(QStringLiteral("stale_broker"), QStringLiteral("listening"))
                                      << LocalServiceStartPhase(Kind::starting) << true << false;
        QTest::newRow("broker mismatch") << status(QStringLiteral("ready"), QStringLiteral("mismatch"))
                                         << LocalServiceStartPhase(Kind::starting) << true << false;
        QTest::newRow("match flag false") << status(QStringLiteral("ready"), QStringLiteral("listening"), false)
                                          << LocalServiceStartPhase(Kind::starting) << true << false;
        QTest::newRow("match flag true") << status(QStringLiteral("ready"), QStringLiteral("listening"), true)
                                         << LocalServiceStartPhase(Kind::starting) << true << true;
        QTest::newRow("broker start failed") << status(QStringLiteral("installed"), QStringLiteral("start_failed"))
                                             << LocalServiceStartPhase(Kind::starting) << true << false;
    }
    void gate()
    {
        QFETCH(LocalServiceStatus, serviceStatus);
        QFETCH(LocalServiceStartPhase, phase);
        QFETCH(bool, actionInProgress);
        QFETCH(bool, allowed);
        QCOMPARE(DashboardHandoff::handoffGateAllows(serviceStatus, phase, actionInProgress), allowed);
    }

    void init()
    {
        QCOMPARE(m_canned.start(), QString());
        m_script = m_canned.script.get();
        m_broker = m_canned.broker.get();
        m_model = m_canned.model.get();
        QCoro::waitFor(m_model->supervision()->refreshLocalServiceStatus());
        m_model->supervision()->setStartPhase(Kind::starting);
        m_broker->clearRequests();
    }

    void cleanup()
    {
        QVERIFY(waitUntil([this] { return !m_model->dashboardHandoff()->brokerAttachInProgress(); }, 15000));
        m_canned.stop();
    }

    void listenerObservedAttachesAndSwapsTheSplashForTheDashboard()
    {
        QSignalSpy forward(m_model->dashboardHandoff(), &DashboardHandoff::mainWindowActivationRequested);
        emit m_model->supervision()->brokerListenerObserved();
        QCOMPARE(forward.size(), 1);
        QCOMPARE(m_model->supervision()->localServiceMessage(), QStringLiteral("Local service is running"));
        QVERIFY(waitUntil([this] { return m_model->supervision()->localServiceStartPhase().kind() == Kind::ready; }, 10000));
        QCOMPARE(m_model->statusMessage(), QStringLiteral("Torvane is on"));
        QVERIFY(m_model->brokerIdentityVerified());
        QCOMPARE(m_model->snapshot()->vaultStatus(), QStringLiteral("unlocked"));
        // The plaintext secret is left to the refresh cycle: the attach asks nobody for anything.
        QVERIFY(!m_broker->requestedPaths().contains("/v1/operator/session"));
        // The direct probe, then the three reads that run at once (in any order).
        QList<QByteArray> paths = m_broker->requestedPaths();
        QCOMPARE(paths.takeFirst(), QByteArray("/health"));
        std::sort(paths.begin(), paths.end());
        QCOMPARE(paths, (QList<QByteArray>{"/health", "/v1/local-posture", "/v1/operator/status"}));
        // Once ready, a later attach has nothing to do.
        m_broker->clearRequests();
        QCoro::waitFor(m_model->attachToObservedBrokerForDashboardHandoff());
        QVERIFY(m_broker->requestedPaths().isEmpty());
    }

    void portConflictBringsNothingForward()
    {
        QVERIFY(m_script->answer(QStringLiteral("status"), {{QStringLiteral("status"), QStringLiteral("port_conflict")},
                                                            {QStringLiteral("broker"), QStringLiteral("port_conflict")}}));
        QCoro::waitFor(m_model->supervision()->refreshLocalServiceStatus());
        m_broker->clearRequests();
        QSignalSpy forward(m_model->dashboardHandoff(), &DashboardHandoff::mainWindowActivationRequested);
        emit m_model->supervision()->brokerListenerObserved();
        QTest::qWait(300);
        QCOMPARE(forward.size(), 0);
        QVERIFY(m_broker->requestedPaths().isEmpty());
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::starting);
    }

    void aSecondObservationDuringAnAttachStartsNoSecondOne()
    {
        m_broker->setAnswer("/health", Answer{200, {}, {}, {}, true});
        emit m_model->supervision()->brokerListenerObserved();
        QVERIFY(waitUntil([this] { return m_broker->requestedPaths().contains("/health"); }, 5000));
        QVERIFY(m_model->dashboardHandoff()->brokerAttachInProgress());
        emit m_model->supervision()->brokerListenerObserved();
        QCoro::waitFor(m_model->attachToObservedBrokerForDashboardHandoff());
        QTest::qWait(300);
        QCOMPARE(m_broker->requestedPaths().count("/health"), 1);
    }

    void aBrokerOfAnotherCheckoutLocksTheSurfaces()
    {
        QJsonObject posture = developmentPosture(m_model->identity());
        posture.insert(QStringLiteral("stateDir"), QStringLiteral("/another/checkout/state"));
        m_broker->setAnswer("/v1/local-posture", json(posture));
        QCoro::waitFor(m_model->attachToObservedBrokerForDashboardHandoff());
        QCOMPARE(m_model->statusMessage(),
                 QStringLiteral("Verify the development broker identity before loading the dashboard."));
        QVERIFY(!m_model->brokerIdentityVerified());
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::starting);
    }

    void webFirstRunFlag()
    {
        UserDefaults &defaults = m_model->context()->userDefaults();
        QSignalSpy changed(m_model->dashboardHandoff(), &DashboardHandoff::webFirstRunCompletedChanged);
        m_model->markWebFirstRunCompleted();
        QVERIFY(m_model->webFirstRunCompleted());
        QCOMPARE(defaults.storedBool(DashboardHandoff::webFirstRunCompletedKey), true);
        m_model->markWebFirstRunCompleted();
        QCOMPARE(changed.size(), 1);

        m_model->clearWebFirstRunCompleted();
        QVERIFY(!m_model->webFirstRunCompleted());
        QCOMPARE(defaults.storedBool(DashboardHandoff::webFirstRunCompletedKey), std::nullopt);

        // A vault that is not set up yet has no finished first run to remember.
        m_model->snapshot()->setVaultStatus(QStringLiteral(" Unconfigured "));
        m_model->markWebFirstRunCompleted();
        QVERIFY(!m_model->webFirstRunCompleted());
        QCOMPARE(defaults.storedBool(DashboardHandoff::webFirstRunCompletedKey), std::nullopt);
    }

    void anUnconfiguredVaultStartsTheWebFirstRunOver_data()
    {
        QTest::addColumn<bool>("throughTheRefresh");
        QTest::newRow("attach") << false;
        QTest::newRow("refresh cycle") << true;
    }
    void anUnconfiguredVaultStartsTheWebFirstRunOver()
    {
        QFETCH(bool, throughTheRefresh);
        m_model->markWebFirstRunCompleted();
        QVERIFY(m_model->webFirstRunCompleted());
        m_broker->setAnswer("/health", health(QStringLiteral("unconfigured")));
        QCoro::waitFor(throughTheRefresh ? m_model->refresh() : m_model->attachToObservedBrokerForDashboardHandoff());
        QVERIFY(!m_model->webFirstRunCompleted());
        QCOMPARE(m_model->context()->userDefaults().storedBool(DashboardHandoff::webFirstRunCompletedKey), std::nullopt);
    }

    void theForgottenPasswordResetStartsTheWebFirstRunOver()
    {
        m_model->markWebFirstRunCompleted();
        // The stand-in script cannot reinstall; the operator state is forgotten before that step.
        awaitTask(m_model->resetLocalVaultForForgottenPassword());
        QVERIFY(!m_model->webFirstRunCompleted());
        QCOMPARE(m_model->context()->userDefaults().storedBool(DashboardHandoff::webFirstRunCompletedKey), std::nullopt);
    }

    void theFlagOutlivesTheProcess()
    {
        m_model->markWebFirstRunCompleted();
        m_canned.model = std::make_unique<AppModel>(modelDependencies(
            m_script->context(), std::make_shared<VirtualClock>(), std::make_shared<RecordingClipboard>()));
        m_model = m_canned.model.get();
        QVERIFY(m_model->webFirstRunCompleted());
    }

private:
    CannedBroker::Model m_canned;
    FakeControlScript *m_script = nullptr;
    CannedHttpServer *m_broker = nullptr;
    AppModel *m_model = nullptr;
};

QTEST_GUILESS_MAIN(TestDashboardHandoff)
#include "tst_DashboardHandoff.moc"
