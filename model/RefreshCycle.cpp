#include "RefreshCycle.h"

#include "ApprovalsResponse.h"
#include "AuditResponse.h"
#include "BrokerPaths.h"
#include "BrokerProbes.h"
#include "BrokerSnapshot.h"
#include "BrokerStateReads.h"
#include "ConnectionsResponse.h"
#include "ConnectorsResponse.h"
#include "DashboardHandoff.h"
#include "LocalServiceStatusWords.h"
#include "MasterKeysResponse.h"
#include "ModelContext.h"
#include "OperatorSession.h"
#include "ProxyProfilesResponse.h"
#include "ProxyServicesResponse.h"
#include "ServiceSupervision.h"

#include <QCoroSignal>
#include <QScopeGuard>

using namespace LocalServiceStatusWords;

namespace {
const QString operatorSessionLocked = QStringLiteral("Operator session locked");

// The first failure among results awaited in their fixed order, if any.
template <typename... Results>
std::optional<BrokerFailure> firstFailure(const Results &...results)
{
    std::optional<BrokerFailure> failure;
    ((failure = failure ? failure : (results ? std::nullopt : std::optional<BrokerFailure>(results.failure()))), ...);
    return failure;
}
} // namespace

RefreshCycle::RefreshCycle(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                           OperatorSession &operatorSession, DashboardHandoff &dashboardHandoff, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_snapshot(snapshot)
    , m_supervision(supervision)
    , m_operatorSession(operatorSession)
    , m_dashboardHandoff(dashboardHandoff)
{
}

void RefreshCycle::setRefreshing(bool refreshing)
{
    if (m_isRefreshing == refreshing)
        return;
    m_isRefreshing = refreshing;
    emit isRefreshingChanged();
}

QCoro::Task<> RefreshCycle::refreshWhenIdle()
{
    while (m_isRefreshing)
        co_await qCoro(this, &RefreshCycle::isRefreshingChanged);
    co_await refresh();
}

QCoro::Task<> RefreshCycle::refresh()
{
    if (m_isRefreshing)
        co_return;
    setRefreshing(true);
    const auto closing = qScopeGuard([this] {
        setRefreshing(false);
        emit cycleClosed();
    });

    m_context.status().setStatusMessage(QStringLiteral("Checking TVN"));
    co_await m_supervision.refreshLocalServiceStatus();

    const LocalServiceStatus &status = m_supervision.localServiceStatus();
    if (m_supervision.brokerNeedsRepair() && !showsPortConflict(status)
        && !m_supervision.localServiceReconcileInProgress()) {
        // The reconcile refreshes on its own; it must not find this cycle in the way.
        setRefreshing(false);
        const bool reconciled = co_await m_supervision.reconcileServiceOnLaunch();
        setRefreshing(true);
        if (reconciled)
            co_await m_supervision.refreshLocalServiceStatus();
    }

    if (stopsAtServiceGate()) {
        stopAtServiceGate();
        co_return;
    }
    co_await loadBrokerState();
}

bool RefreshCycle::stopsAtServiceGate() const
{
    const LocalServiceStatus &status = m_supervision.localServiceStatus();
    return showsPortConflict(status) || m_supervision.brokerNeedsRepair() || showsStartFailed(status)
        || (isUnavailable(status) && !m_supervision.localServiceBrokerListeningObserved());
}

void RefreshCycle::stopAtServiceGate()
{
    BrokerHealth stopped;
    stopped.error = m_supervision.localServiceStatusDetail();
    stopped.vault = m_snapshot.health().vault;
    m_snapshot.setHealth(stopped);
    m_snapshot.setLocalPosture({});
    m_snapshot.setBrokerIdentityVerified(false);
    lockAndStop(m_supervision.brokerNeedsRepair() ? QStringLiteral("Different TVN service needs repair")
                                                  : m_supervision.localServiceStatusTitle());
}

void RefreshCycle::lockAndStop(const QString &message)
{
    m_context.lockOperatorSurfaces(message);
    m_supervision.reconcileStartPhase();
}

QCoro::Task<> RefreshCycle::loadBrokerState()
{
    const QUrl url = m_context.brokerURL();
    const BrokerStateReads reads = co_await BrokerStateReads::read(m_context);
    if (const std::optional<BrokerFailure> failure = reads.firstFailure()) {
        finishWithFailure(*failure);
        co_return;
    }
    const BrokerResult<BrokerHealth> &health = reads.health;
    const BrokerResult<LocalPosture> &posture = reads.posture;
    const BrokerResult<OperatorStatus> &operatorStatus = reads.operatorStatus;
    m_snapshot.setHealth(*health);
    m_snapshot.setLocalPosture(*posture);

    if (health->service != BrokerProbes::genuineServiceName) {
        BrokerHealth unexpected = *health;
        unexpected.error = QStringLiteral("Unexpected local service");
        m_snapshot.setHealth(unexpected);
        m_snapshot.setBrokerIdentityVerified(false);
        lockAndStop(QStringLiteral("Unexpected local service on TVN port"));
        co_return;
    }
    m_snapshot.setVaultStatusFromHealth(*health);
    // A vault that is new again (first run, or reset) starts the dashboard's guide over.
    if (BrokerSnapshot::reportsUnconfiguredVault(*health))
        m_dashboardHandoff.clearWebFirstRunCompleted();
    m_snapshot.setOperatorStatus(*operatorStatus);

    const TVNRuntimeIdentity &identity = m_context.identity();
    if (identity.lane() == TVNRuntimeLane::development && !m_supervision.developmentBrokerMatchesRuntime(*posture)) {
        m_context.setOperatorSessionID({});
        m_snapshot.setBrokerIdentityVerified(false);
        m_context.status().setStatusMessage(QStringLiteral(
            "The local broker does not match this development lane. Repair & Restart to use the isolated dev service."));
        lockAndStop(QStringLiteral("Verify the development broker identity before loading the dashboard."));
        co_return;
    }
    // Awaited into named values throughout: GCC 12 mishandles co_await inside conditions.
    const bool verified = co_await m_supervision.ensureBrokerIdentityVerified();
    if (!verified) {
        m_context.setOperatorSessionID({});
        lockAndStop(QStringLiteral("Local broker identity could not be verified at %1. Close any other service on that "
                                   "address, then try Repair & Restart.")
                        .arg(url.toString()));
        co_return;
    }
    const bool sessionHeld = co_await holdOperatorSession();
    if (!sessionHeld)
        co_return;
    co_await loadOperatorRecords();
}

QCoro::Task<bool> RefreshCycle::holdOperatorSession()
{
    const OperatorStatus status = m_snapshot.operatorStatus();
    if (status.enabled && m_context.operatorSessionID().isEmpty()) {
        // Only the plaintext secret unlocks without the user; every other way waits for their unlock.
        if (status.unlockMethod == QLatin1StringView("local-file"))
            co_await m_operatorSession.ensureOperatorSession(status);
        if (m_context.operatorSessionID().isEmpty()) {
            lockAndStop(operatorSessionLocked);
            co_return false;
        }
    }
    const OperatorSession::Outcome ensured = co_await m_operatorSession.ensureOperatorSession(status);
    if (!ensured) {
        lockAndStop(m_operatorSession.operatorPassphraseRequired()
                        ? QStringLiteral("This computer's vault needs your TVN password to finish unlocking.")
                        : ensured.failure().description());
        co_return false;
    }
    co_return true;
}

QCoro::Task<> RefreshCycle::loadOperatorRecords()
{
    const BrokerClient &client = m_context.client();
    const QUrl url = m_context.brokerURL();
    const BrokerHeaders headers = m_context.operatorHeaders();
    auto connectorsCall = client.get<ConnectorsResponse>(url, BrokerPaths::connectors, headers);
    auto approvalsCall = client.get<ApprovalsResponse>(url, BrokerPaths::approvals, headers);
    auto connectionsCall = client.get<ConnectionsResponse>(url, BrokerPaths::connections, headers);
    auto keysCall = client.get<MasterKeysResponse>(url, BrokerPaths::masterKeys, headers);
    auto profilesCall = client.get<ProxyProfilesResponse>(url, BrokerPaths::proxyProfiles, headers);
    auto servicesCall = client.get<ProxyServicesResponse>(url, BrokerPaths::proxyServices, headers);
    auto auditCall = client.get<AuditResponse>(url, BrokerPaths::audit, headers);
    const BrokerResult<ConnectorsResponse> connectors = co_await std::move(connectorsCall);
    const BrokerResult<ApprovalsResponse> approvals = co_await std::move(approvalsCall);
    const BrokerResult<ConnectionsResponse> connections = co_await std::move(connectionsCall);
    const BrokerResult<MasterKeysResponse> keys = co_await std::move(keysCall);
    const BrokerResult<ProxyProfilesResponse> profiles = co_await std::move(profilesCall);
    const BrokerResult<ProxyServicesResponse> services = co_await std::move(servicesCall);
    const BrokerResult<AuditResponse> audit = co_await std::move(auditCall);
    if (const std::optional<BrokerFailure> failure =
            firstFailure(connectors, approvals, connections, keys, profiles, services, audit)) {
        finishWithFailure(*failure);
        co_return;
    }

    m_snapshot.setConnectors(connectors->connectors);
    if (!m_snapshot.selectedConnectorID() && !connectors->connectors.isEmpty())
        m_snapshot.setSelectedConnectorID(connectors->connectors.first().id);
    m_snapshot.setApprovals(approvals->approvals);
    m_snapshot.setConnections(connections->connections);
    m_snapshot.setMasterKeys(keys->keys);
    m_snapshot.setProxyProfiles(profiles->profiles);
    m_snapshot.setProxyServices(services->services);
    m_snapshot.setAuditEvents(audit->events);

    // A proof that cannot be read is not a refresh failure.
    const BrokerResult<LatestProofResponse> proof = co_await client.get<LatestProofResponse>(url, BrokerPaths::latestProof, headers);
    m_snapshot.setLatestProof(proof ? std::optional<LatestProofResponse>(*proof) : std::nullopt);
    m_context.status().setStatusMessage(QStringLiteral("Local service checked"));
    m_supervision.reconcileStartPhase();
}

void RefreshCycle::finishWithFailure(const BrokerFailure &failure)
{
    // Nothing answered and the script does not see a broker either: an earlier answer no longer
    // describes the service (it was stopped), so it must not keep the surface saying "on".
    if (!showsBrokerListening(m_supervision.localServiceStatus())) {
        BrokerHealth unavailable;
        unavailable.error = failure.description();
        m_snapshot.setHealth(unavailable);
        m_snapshot.setBrokerIdentityVerified(false);
        m_context.status().fail(QStringLiteral("TVN service unavailable"));
    } else {
        m_context.status().setStatusMessage(QStringLiteral("TVN service is on; some data could not refresh"));
    }
    m_supervision.reconcileStartPhase();
}
