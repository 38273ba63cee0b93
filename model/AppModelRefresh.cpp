// The refresh cycle: service status, repair gate, then the broker's health and identity.
#include "AppModel.h"

#include "BrokerPaths.h"
#include "BrokerProbes.h"
#include "LocalPosture.h"
#include "LocalServiceStatusWords.h"

#include <QCoroFuture>
#include <QScopeGuard>

using namespace LocalServiceStatusWords;

bool AppModel::brokerNeedsRepair() const
{
    return showsStaleBroker(m_localServiceStatus);
}

QCoro::Task<> AppModel::refresh()
{
    if (m_isRefreshing)
        co_return;
    setRefreshing(true);
    const auto closing = qScopeGuard([this] { setRefreshing(false); });

    setStatusMessage(QStringLiteral("Checking TVN"));
    co_await refreshLocalServiceStatus();

    if (brokerNeedsRepair() && !showsPortConflict(m_localServiceStatus) && !m_reconcileInProgress) {
        // The reconcile refreshes on its own; it must not find this cycle in the way.
        setRefreshing(false);
        const bool reconciled = co_await reconcileServiceOnLaunch();
        setRefreshing(true);
        if (reconciled)
            co_await refreshLocalServiceStatus();
    }

    if (refreshStopsAtServiceGate()) {
        stopRefreshAtServiceGate();
        co_return;
    }
    co_await refreshBrokerState();
}

bool AppModel::refreshStopsAtServiceGate()
{
    const LocalServiceStatus &status = m_localServiceStatus;
    return showsPortConflict(status) || brokerNeedsRepair() || showsStartFailed(status)
        || (isUnavailable(status) && !m_brokerListeningObserved);
}

void AppModel::stopRefreshAtServiceGate()
{
    BrokerHealth stopped;
    stopped.error = localServiceStatusDetail();
    stopped.vault = m_health.vault;
    setHealth(stopped);
    setBrokerIdentityVerified(false);
    lockOperatorSurfaces(brokerNeedsRepair() ? QStringLiteral("Different TVN service needs repair")
                                             : localServiceStatusTitle());
    reconcileStartPhase();
}

QCoro::Task<> AppModel::refreshBrokerState()
{
    auto healthCall = m_client.get<BrokerHealth>(m_brokerURL, BrokerPaths::health);
    auto postureCall = m_client.get<LocalPosture>(m_brokerURL, BrokerPaths::localPosture);
    const BrokerResult<BrokerHealth> health = co_await std::move(healthCall);
    const BrokerResult<LocalPosture> posture = co_await std::move(postureCall);
    if (!health) {
        finishRefreshWithFailure(health.failure());
        co_return;
    }
    if (!posture) {
        finishRefreshWithFailure(posture.failure());
        co_return;
    }
    setHealth(*health);

    if (health->service != BrokerProbes::genuineServiceName) {
        BrokerHealth unexpected = *health;
        unexpected.error = QStringLiteral("Unexpected local service");
        setHealth(unexpected);
        setBrokerIdentityVerified(false);
        lockOperatorSurfaces(QStringLiteral("Unexpected local service on TVN port"));
        reconcileStartPhase();
        co_return;
    }
    if (m_deps.identity.lane() == TVNRuntimeLane::development && !developmentBrokerMatchesRuntime(*posture)) {
        setBrokerIdentityVerified(false);
        setStatusMessage(QStringLiteral("The local broker does not match this development lane. Repair & Restart to "
                                        "use the isolated dev service."));
        lockOperatorSurfaces(QStringLiteral("Verify the development broker identity before loading the dashboard."));
        reconcileStartPhase();
        co_return;
    }
    // Awaited into named values throughout: GCC 12 mishandles co_await inside conditions.
    const bool verified = co_await ensureBrokerIdentityVerified();
    if (!verified) {
        lockOperatorSurfaces(QStringLiteral("Local broker identity could not be verified at %1. Close any other service "
                                            "on that address, then try Repair & Restart.")
                                 .arg(m_brokerURL.toString()));
        reconcileStartPhase();
        co_return;
    }
    // The operator session and the broker's lists load here once the full cycle exists.
    setStatusMessage(QStringLiteral("Local service checked"));
    reconcileStartPhase();
}

void AppModel::finishRefreshWithFailure(const BrokerFailure &failure)
{
    // Nothing answered and the script does not see a broker either: an earlier answer no longer
    // describes the service (it was stopped), so it must not keep the surface saying "on".
    if (!showsBrokerListening(m_localServiceStatus)) {
        BrokerHealth unavailable;
        unavailable.error = failure.description();
        setHealth(unavailable);
        setBrokerIdentityVerified(false);
        fail(QStringLiteral("TVN service unavailable"));
    } else {
        setStatusMessage(QStringLiteral("TVN service is on; some data could not refresh"));
    }
    reconcileStartPhase();
}
