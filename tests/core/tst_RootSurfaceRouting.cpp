#include "OnboardingStateMachine.h"
#include "RootSurfaceRouting.h"

#include <QTest>

#include <functional>

using Phase = RootSurfaceStartupPhase;
using Facts = RootSurfaceRouting::Facts;
using HandoffFacts = RootSurfaceRouting::HandoffFacts;

Q_DECLARE_METATYPE(RootSurface)
Q_DECLARE_METATYPE(RootSurfaceRouting::Facts)
Q_DECLARE_METATYPE(RootSurfaceRouting::HandoffFacts)
Q_DECLARE_METATYPE(OnboardingStep)

namespace {
// A loaded service whose broker is not listening yet, `seconds` into a start.
Facts startingOffline(int seconds)
{
    Facts facts;
    facts.localServicePhase = Phase::starting;
    facts.serviceInstalled = true;
    facts.serviceLaunchAgentLoaded = true;
    facts.startupElapsedSeconds = seconds;
    return facts;
}

Facts with(Facts facts, const std::function<void(Facts &)> &change)
{
    change(facts);
    return facts;
}
} // namespace

class TestRootSurfaceRouting : public QObject
{
    Q_OBJECT
private slots:
    void select_data()
    {
        QTest::addColumn<Facts>("facts");
        QTest::addColumn<RootSurface>("surface");
        const Facts ready = with({}, [](Facts &f) { f.brokerReady = true; f.localServicePhase = Phase::ready; });

        QTest::newRow("nothing installed, idle") << Facts{} << RootSurface::firstRunWelcome;
        QTest::newRow("installing") << with({}, [](Facts &f) { f.localServicePhase = Phase::installing; })
                                    << RootSurface::splash;
        QTest::newRow("checking keychain") << with({}, [](Facts &f) { f.localServicePhase = Phase::checkingKeychain; })
                                           << RootSurface::splash;
        QTest::newRow("ready broker") << ready << RootSurface::dashboard;
        QTest::newRow("ready broker, web view failed")
            << with(ready, [](Facts &f) { f.webViewLoadFailed = true; }) << RootSurface::webFallback;
        QTest::newRow("web view failed before the broker is ready")
            << with({}, [](Facts &f) { f.webViewLoadFailed = true; }) << RootSurface::webFallback;
        QTest::newRow("failure phase wins over a ready broker")
            << with(ready, [](Facts &f) { f.localServicePhase = Phase::staleBroker; }) << RootSurface::nativeShell;
        QTest::newRow("timed out") << with({}, [](Facts &f) { f.localServicePhase = Phase::timedOut; })
                                   << RootSurface::nativeShell;
        QTest::newRow("failed") << with({}, [](Facts &f) { f.localServicePhase = Phase::failed; })
                                << RootSurface::nativeShell;
        QTest::newRow("repair required on an installed service")
            << with(ready, [](Facts &f) { f.localServiceRepairRequired = true; f.serviceInstalled = true; })
            << RootSurface::nativeShell;
        QTest::newRow("repair required, nothing installed")
            << with({}, [](Facts &f) { f.localServiceRepairRequired = true; }) << RootSurface::firstRunWelcome;
        QTest::newRow("needs approval") << with({}, [](Facts &f) { f.localServicePhase = Phase::needsApproval; })
                                        << RootSurface::firstRunWelcome;
        QTest::newRow("listening broker before it is verified")
            << with(startingOffline(1), [](Facts &f) { f.serviceBrokerListening = true; }) << RootSurface::dashboard;
        QTest::newRow("starting offline, 4 s") << startingOffline(4) << RootSurface::splash;
        QTest::newRow("starting offline, 5 s") << startingOffline(5) << RootSurface::nativeShell;
        QTest::newRow("waiting for broker offline, 9 s")
            << with(startingOffline(9), [](Facts &f) { f.localServicePhase = Phase::waitingForBroker; })
            << RootSurface::nativeShell;
        QTest::newRow("installing offline, 9 s: still the splash")
            << with(startingOffline(9), [](Facts &f) { f.localServicePhase = Phase::installing; }) << RootSurface::splash;
        QTest::newRow("starting, agent not loaded, 9 s")
            << with(startingOffline(9), [](Facts &f) { f.serviceLaunchAgentLoaded = false; }) << RootSurface::splash;
    }
    void select()
    {
        QFETCH(Facts, facts);
        QFETCH(RootSurface, surface);
        QCOMPARE(RootSurfaces::name(RootSurfaceRouting::select(facts)), RootSurfaces::name(surface));
    }

    void handoff_data()
    {
        QTest::addColumn<HandoffFacts>("facts");
        QTest::addColumn<bool>("ready");
        const auto facts = [](const std::function<void(HandoffFacts &)> &change) {
            HandoffFacts f;
            change(f);
            return f;
        };
        QTest::newRow("listening") << facts([](HandoffFacts &f) { f.statusListening = true; }) << true;
        QTest::newRow("port conflict, listener seen")
            << facts([](HandoffFacts &f) { f.statusIsPortConflict = true; f.brokerListeningObserved = true; }) << false;
        QTest::newRow("stale broker while listening")
            << facts([](HandoffFacts &f) { f.statusIsStaleBroker = true; f.statusListening = true; }) << false;
        QTest::newRow("start failed") << facts([](HandoffFacts &f) { f.statusIsStartFailed = true; }) << false;
        QTest::newRow("unavailable, nothing seen") << facts([](HandoffFacts &f) { f.statusIsUnavailable = true; }) << false;
        QTest::newRow("unavailable, listener seen")
            << facts([](HandoffFacts &f) { f.statusIsUnavailable = true; f.brokerListeningObserved = true; }) << true;
        QTest::newRow("installed, listener seen")
            << facts([](HandoffFacts &f) { f.brokerListeningObserved = true; }) << true;
        QTest::newRow("installed, nothing seen, working")
            << facts([](HandoffFacts &f) { f.actionInProgress = true; f.startPhaseIsWorking = true; }) << false;
    }
    void handoff()
    {
        QFETCH(HandoffFacts, facts);
        QFETCH(bool, ready);
        QCOMPARE(RootSurfaceRouting::serviceReadyForDashboardHandoff(facts), ready);
    }

    void phaseGroups()
    {
        QList<Phase> working, failures;
        for (int value = int(Phase::idle); value <= int(Phase::failed); ++value) {
            if (RootSurfaceStartupPhases::isWorking(Phase(value)))
                working << Phase(value);
            if (RootSurfaceStartupPhases::isFailure(Phase(value)))
                failures << Phase(value);
        }
        QCOMPARE(working, (QList<Phase>{Phase::installing, Phase::starting, Phase::waitingForBroker, Phase::checkingKeychain}));
        QCOMPARE(failures,
                 (QList<Phase>{Phase::portConflict, Phase::staleBroker, Phase::startFailed, Phase::timedOut, Phase::failed}));
    }

    void nextStep_data()
    {
        QTest::addColumn<OnboardingStep>("current");
        QTest::addColumn<bool>("brokerReady");
        QTest::addColumn<bool>("hasConnection");
        QTest::addColumn<OnboardingStep>("next");
        QTest::newRow("welcome, nothing ready") << OnboardingStep::welcome << false << false << OnboardingStep::turnOn;
        QTest::newRow("welcome, everything ready") << OnboardingStep::welcome << true << true << OnboardingStep::turnOn;
        QTest::newRow("turn on, broker off") << OnboardingStep::turnOn << false << true << OnboardingStep::turnOn;
        QTest::newRow("turn on, broker ready") << OnboardingStep::turnOn << true << false << OnboardingStep::connect;
        QTest::newRow("connect, none yet") << OnboardingStep::connect << true << false << OnboardingStep::connect;
        QTest::newRow("connect, connected") << OnboardingStep::connect << true << true << OnboardingStep::key;
        QTest::newRow("key stays") << OnboardingStep::key << false << false << OnboardingStep::key;
    }
    void nextStep()
    {
        QFETCH(OnboardingStep, current);
        QFETCH(bool, brokerReady);
        QFETCH(bool, hasConnection);
        QFETCH(OnboardingStep, next);
        for (const bool hasKey : {false, true})
            QCOMPARE(OnboardingStateMachine::nextStep(brokerReady, hasConnection, hasKey, current), next);
    }

    void stepRawValues()
    {
        QStringList raw;
        for (const OnboardingStep step : OnboardingSteps::allCases()) {
            raw << OnboardingSteps::rawValue(step);
            QCOMPARE(OnboardingSteps::fromRawValue(raw.last()), step);
        }
        QCOMPARE(raw, (QStringList{"welcome", "turnOn", "connect", "key"}));
        QCOMPARE(OnboardingSteps::fromRawValue(QStringLiteral("TurnOn")), std::nullopt);
        QCOMPARE(OnboardingSteps::fromRawValue(QString()), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestRootSurfaceRouting)
#include "tst_RootSurfaceRouting.moc"
