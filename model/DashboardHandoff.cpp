#include "DashboardHandoff.h"

#include "BrokerProbes.h"
#include "BrokerSnapshot.h"
#include "BrokerStateReads.h"
#include "FirstRunBreadcrumbs.h"
#include "LocalServiceStatusWords.h"
#include "ModelContext.h"
#include "OperatorSession.h"
#include "ServiceSupervision.h"
#include "VaultUnlock.h"

#include <QScopeGuard>

using namespace LocalServiceStatusWords;

const QString DashboardHandoff::webFirstRunCompletedKey = QStringLiteral("tvn.webFirstRunCompleted");

DashboardHandoff::DashboardHandoff(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                                   OperatorSession &operatorSession, VaultUnlock &vaultUnlock, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_snapshot(snapshot)
    , m_supervision(supervision)
    , m_operatorSession(operatorSession)
    , m_vaultUnlock(vaultUnlock)
    , m_webFirstRunCompleted(context.userDefaults().boolValue(webFirstRunCompletedKey))
{
}

bool DashboardHandoff::handoffGateAllows(const LocalServiceStatus &status, const LocalServiceStartPhase &phase,
                                         bool serviceActionInProgress)
{
    if (!serviceActionInProgress && !phase.isInProgress())
        return false;
    // The stale test covers "stale_broker", "mismatch" and a false match flag.
    return !showsPortConflict(status) && !showsStaleBroker(status) && !showsStartFailed(status);
}

bool DashboardHandoff::gateAllows() const
{
    return handoffGateAllows(m_supervision.localServiceStatus(), m_supervision.localServiceStartPhase(),
                             m_supervision.localServiceActionInProgress());
}

void DashboardHandoff::handleBrokerListeningObservedForDashboardHandoff()
{
    if (!gateAllows()) {
        FirstRunBreadcrumbs::record(QStringLiteral("handoff: listener observed, gate closed"),
                                    m_supervision.localServiceStartPhase().name());
        return;
    }
    m_supervision.setLocalServiceMessage(QStringLiteral("Local service is running"));
    bringMainWindowForwardForDashboardHandoff();
    attachToObservedBrokerForDashboardHandoff();
}

void DashboardHandoff::bringMainWindowForwardForDashboardHandoff()
{
    FirstRunBreadcrumbs::record(QStringLiteral("window-activate (dashboard-handoff driver)"));
    emit mainWindowActivationRequested();
}

QCoro::Task<> DashboardHandoff::attachToObservedBrokerForDashboardHandoff()
{
    if (m_attachInProgress || m_supervision.brokerReadyAndVerified())
        co_return;
    if (!gateAllows())
        co_return;
    m_attachInProgress = true;
    const auto clearMark = qScopeGuard([this] { m_attachInProgress = false; });
    co_await attachWhileMarked();
}

QCoro::Task<> DashboardHandoff::attachWhileMarked()
{
    // Awaited into named values throughout: GCC 12 mishandles co_await inside conditions.
    const bool healthy = co_await m_supervision.probeBrokerHealthDirect();
    if (!healthy) {
        settleAfterFailedProbe();
        co_return;
    }
    const BrokerStateReads reads = co_await BrokerStateReads::read(m_context);
    if (reads.firstFailure())
        co_return;
    const BrokerResult<BrokerHealth> &health = reads.health;
    const BrokerResult<LocalPosture> &posture = reads.posture;
    const BrokerResult<OperatorStatus> &operatorStatus = reads.operatorStatus;
    m_snapshot.setHealth(*health);
    m_snapshot.setLocalPosture(*posture);
    m_snapshot.setOperatorStatus(*operatorStatus);
    if (health->service != BrokerProbes::genuineServiceName)
        co_return;

    m_snapshot.setVaultStatusFromHealth(*health);
    if (BrokerSnapshot::reportsUnconfiguredVault(*health))
        clearWebFirstRunCompleted();

    if (m_context.identity().lane() == TVNRuntimeLane::development
        && !m_supervision.developmentBrokerMatchesRuntime(*posture)) {
        m_snapshot.setBrokerIdentityVerified(false);
        m_context.lockOperatorSurfaces(QStringLiteral("Verify the development broker identity before loading the dashboard."));
        co_return;
    }
    const bool verified = co_await m_supervision.ensureBrokerIdentityVerified();
    if (!verified) {
        m_context.lockOperatorSurfaces(QStringLiteral("Verify the local broker before loading the dashboard."));
        co_return;
    }
    // The plaintext secret is the refresh cycle's to use; every other way asks the owner now.
    if (operatorStatus->enabled && m_context.operatorSessionID().isEmpty()
        && operatorStatus->unlockMethod != QLatin1StringView("local-file"))
        co_await m_operatorSession.ensureOperatorSession(*operatorStatus);

    m_context.status().setStatusMessage(QStringLiteral("Local service is running"));
    if (!m_supervision.needsMacOSApproval()) {
        FirstRunBreadcrumbs::record(
            QStringLiteral("handoff-attach: localServiceStartPhase = .ready (splash->dashboard root swap)"));
        m_supervision.setStartPhase(LocalServiceStartPhase::Kind::ready);
    }
}

void DashboardHandoff::settleAfterFailedProbe()
{
    m_supervision.reconcileStartPhase();
    m_vaultUnlock.migrateFirstRunVaultModeForExistingUsers();
    m_vaultUnlock.setShouldOfferTouchIDSetup(false);
}

void DashboardHandoff::markWebFirstRunCompleted()
{
    if (BrokerSnapshot::isUnconfiguredVaultWord(m_snapshot.vaultStatus())) {
        clearWebFirstRunCompleted();
        return;
    }
    m_context.userDefaults().setBool(webFirstRunCompletedKey, true);
    setWebFirstRunCompleted(true);
    m_vaultUnlock.migrateFirstRunVaultModeForExistingUsers();
    m_vaultUnlock.setShouldOfferTouchIDSetup(false);
}

void DashboardHandoff::clearWebFirstRunCompleted()
{
    m_context.userDefaults().remove(webFirstRunCompletedKey);
    setWebFirstRunCompleted(false);
    m_vaultUnlock.migrateFirstRunVaultModeForExistingUsers();
}

void DashboardHandoff::setWebFirstRunCompleted(bool completed)
{
    if (m_webFirstRunCompleted == completed)
        return;
    m_webFirstRunCompleted = completed;
    emit webFirstRunCompletedChanged();
}
