#include "LocalServiceControlError.h"
#include "ModelTestSupport.h"
#include "ServiceEnvironment.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

// Faults the real control script cannot be made to produce: a status command that keeps failing,
// an install that never returns, a stale status whose broker is in fact this installation's. A
// stand-in script plays them; the broker on the port, where one is needed, is the real one.
namespace {

using Kind = LocalServiceStartPhase::Kind;

} // namespace

class TestAppModelSupervisionFaults : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_script = std::make_unique<FakeControlScript>();
        QVERIFY(m_script->isReady());
        m_clock = std::make_shared<VirtualClock>();
    }

    void cleanup()
    {
        m_model.reset();
        if (m_broker) {
            m_broker->kill();
            m_broker->waitForFinished(5000);
            m_broker.reset();
        }
    }

    void statusThatKeepsFailingEndsTheWaitAfterThirtySeconds()
    {
        createModel(m_script->context());
        QVERIFY(m_script->answer(QStringLiteral("install"), {{QStringLiteral("launchAgent"), QStringLiteral("loaded")}}));

        QCoro::waitFor(m_model->installOrStartLocalService());

        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::timedOut);
        QCOMPARE(m_model->supervision()->localServiceMessage(), LocalServiceStartPhase(Kind::timedOut).detail());
        // The closing status read failed as well.
        QCOMPARE(m_model->statusMessage(), QStringLiteral("TVN status unavailable"));
        // Twenty polls 1.5 s apart fill the 30 s; the closing status read is the 21st.
        QCOMPARE(m_script->commands().count(QStringLiteral("status")), 21);
        QCOMPARE(m_script->commands().count(QStringLiteral("install")), 1);
        QVERIFY(m_clock->elapsed() >= std::chrono::seconds(30));
        QVERIFY(m_clock->elapsed() < std::chrono::seconds(32));
        QCOMPARE(m_model->supervision()->localServiceStatus().status, QStringLiteral("unavailable"));
        QVERIFY(m_model->supervision()->localServiceUnavailableNeedsManualCheck());
        QCOMPARE(m_model->supervision()->primaryServiceActionTitle(), QStringLiteral("Turn on Torvane"));
        QVERIFY(!m_model->supervision()->localServiceActionInProgress());
    }

    void installThatReturnsEarlyWaitsForTheBroker()
    {
        QVERIFY2(!portAcceptsConnections(), "port 47382 is busy");
        createModel(m_script->context());
        QVERIFY(m_script->answer(QStringLiteral("install"), {}));
        QVERIFY(m_script->answer(QStringLiteral("status"), {{QStringLiteral("status"), QStringLiteral("ready")},
                                                            {QStringLiteral("broker"), QStringLiteral("listening")}}));
        QList<Kind> phases;
        connect(m_model->supervision(), &ServiceSupervision::localServiceStartPhaseChanged, this,
                [this, &phases] { phases.append(m_model->supervision()->localServiceStartPhase().kind()); });

        QCoro::waitFor(m_model->installOrStartLocalService());

        // The script says "listening" but no broker answers /health: the start cannot end ready.
        QCOMPARE(phases, (QList<Kind>{Kind::installing, Kind::waitingForBroker, Kind::checkingKeychain, Kind::startFailed}));
        QCOMPARE(m_script->commands(),
                 (QStringList{QStringLiteral("install"), QStringLiteral("status"), QStringLiteral("status")}));
        QCOMPARE(m_clock->elapsed(), std::chrono::milliseconds(0));
        QVERIFY(!m_model->brokerIdentityVerified());
    }

    void installThatNeverReturnsTimesOutAndRefusesASecondStart()
    {
        QVERIFY2(!portAcceptsConnections(), "port 47382 is busy; the watchdog would observe a listener");
        LocalServiceContext context = m_script->context();
        // The shortest install time-out the override allows.
        context.environment.insert(QStringLiteral("TVN_SERVICE_START_TIMEOUT_SECONDS"), QStringLiteral("30"));
        createModel(context);
        QVERIFY(m_script->answer(QStringLiteral("status"), {{QStringLiteral("launchAgent"), QStringLiteral("loaded")}}));
        QVERIFY(m_script->hang(QStringLiteral("install")));
        QCoro::waitFor(m_model->supervision()->refreshLocalServiceStatus());

        QCoro::Task<> start = m_model->installOrStartLocalService();
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::starting);
        QVERIFY(m_model->installOrStartLocalService().isReady());
        QVERIFY(m_model->stopLocalService().isReady());

        QVERIFY(waitUntil([this] { return m_model->supervision()->localServiceStartElapsedSeconds() >= 2; }, 5000));
        QVERIFY2(!m_model->supervision()->localServiceBrokerOfflineGraceElapsed(), "the grace lasts the first 4 s of a start");
        QVERIFY(waitUntil([this] { return m_model->supervision()->localServiceStartElapsedSeconds() >= 5; }, 5000));
        QVERIFY(m_model->supervision()->localServiceBrokerOfflineGraceElapsed());

        QCoro::waitFor(std::move(start));
        QCOMPARE(m_model->supervision()->localServiceStartPhase().kind(), Kind::timedOut);
        QVERIFY(!m_model->supervision()->localServiceBrokerOfflineGraceElapsed());
        QCOMPARE(m_script->commands(),
                 (QStringList{QStringLiteral("status"), QStringLiteral("install"), QStringLiteral("status")}));
    }

    void staleStatusIsReconciledOnlyWhenTheBrokerIsNotOurs_data()
    {
        QTest::addColumn<QString>("brokerBuildId");
        QTest::addColumn<bool>("reconciled");
        QTest::addColumn<bool>("stopIssued");
        QTest::newRow("same build, channel and root") << "development" << true << false;
        QTest::newRow("another build") << "0.9.0+older" << false << true;
    }

    void staleStatusIsReconciledOnlyWhenTheBrokerIsNotOurs()
    {
        QFETCH(QString, brokerBuildId);
        QVERIFY2(!portAcceptsConnections(), "port 47382 is busy");
        const LocalServiceContext context = m_script->context();
        createModel(context);
        QVERIFY(startBroker(context, brokerBuildId));

        // The stand-in insists on a stale broker whatever runs: only the posture can tell.
        const QVariantMap stale{{QStringLiteral("status"), QStringLiteral("stale_broker")},
                                {QStringLiteral("broker"), QStringLiteral("mismatch")},
                                {QStringLiteral("buildId"), QStringLiteral("development")},
                                {QStringLiteral("buildChannel"), QStringLiteral("development")},
                                {QStringLiteral("serviceRoot"), QDir::cleanPath(QStringLiteral(TVN_SOURCE_DIR))}};
        for (const QString &command : {QStringLiteral("status"), QStringLiteral("stop"), QStringLiteral("install")})
            QVERIFY(m_script->answer(command, stale));
        QCoro::waitFor(m_model->supervision()->refreshLocalServiceStatus());

        QTEST(QCoro::waitFor(m_model->supervision()->reconcileServiceOnLaunch()), "reconciled");
        QTEST(m_script->commands().contains(QStringLiteral("stop")), "stopIssued");
        QCOMPARE(m_broker->state(), QProcess::Running);
        QVERIFY(!m_model->supervision()->localServiceReconcileInProgress());
    }

private:
    void createModel(const LocalServiceContext &context)
    {
        AppModel::Dependencies deps = modelDependencies(context, m_clock, std::make_shared<RecordingClipboard>());
        deps.supervision.takeoverWaitSeconds = 1;
        m_model = std::make_unique<AppModel>(std::move(deps));
    }

    bool startBroker(const LocalServiceContext &context, const QString &buildId)
    {
        QProcessEnvironment environment = ServiceEnvironment::build(context.identity, context.environment, {});
        environment.insert(QStringLiteral("SWITCHYARD_BUILD_ID"), buildId);
        m_broker = std::make_unique<QProcess>();
        m_broker->setProcessEnvironment(environment);
        m_broker->setWorkingDirectory(QStringLiteral(TVN_SOURCE_DIR));
        m_broker->start(QStringLiteral("node"), {QStringLiteral("server/main.mjs")});
        return m_broker->waitForStarted(5000) && waitUntil(portAcceptsConnections, 15000);
    }

    std::unique_ptr<FakeControlScript> m_script;
    std::shared_ptr<VirtualClock> m_clock;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<QProcess> m_broker;
};

QTEST_GUILESS_MAIN(TestAppModelSupervisionFaults)
#include "tst_AppModelSupervisionFaults.moc"
