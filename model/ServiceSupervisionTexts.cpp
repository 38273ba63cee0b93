// Predicates and user-facing texts of the local service supervision.
#include "ServiceSupervision.h"

#include "BrokerSnapshot.h"
#include "HomeRelativePath.h"
#include "LegacyKeychainPolicy.h"
#include "ModelContext.h"

#include "BrokerProbes.h"
#include "LocalServiceStatusWords.h"

using namespace LocalServiceStatusWords;

namespace {

bool isBlank(const std::optional<QString> &value)
{
    return !value || value->trimmed().isEmpty();
}

} // namespace

bool ServiceSupervision::localServiceRepairRequired() const
{
    const LocalServiceStatus &status = m_localServiceStatus;
    return showsPortConflict(status) || showsStaleBroker(status) || showsStartFailed(status)
        || localServiceUnavailableNeedsManualCheck();
}

bool ServiceSupervision::localServiceUnavailableNeedsManualCheck() const
{
    return isUnavailable(m_localServiceStatus) && m_startPhase.isFailure();
}

bool ServiceSupervision::localServiceBrokerOfflineGraceElapsed() const
{
    using Kind = LocalServiceStartPhase::Kind;
    const bool starting = m_startPhase.kind() == Kind::starting || m_startPhase.kind() == Kind::waitingForBroker;
    return showsServiceKnown(m_localServiceStatus) && m_localServiceStatus.launchAgent == QLatin1StringView("loaded")
        && !brokerReadyAndVerified() && !m_brokerListeningObserved && starting && m_startElapsedSeconds > 4;
}

bool ServiceSupervision::brokerHealthReady() const
{
    return m_snapshot.health().service == BrokerProbes::genuineServiceName && !localServiceRepairRequired();
}

bool ServiceSupervision::brokerReadyAndVerified() const
{
    return brokerHealthReady() && m_snapshot.brokerIdentityVerified();
}

bool ServiceSupervision::brokerNeedsRepair() const
{
    return showsStaleBroker(m_localServiceStatus);
}

bool ServiceSupervision::needsMacOSApproval() const
{
    const OperatorStatus &status = m_snapshot.operatorStatus();
    return brokerHealthReady() && m_snapshot.brokerIdentityVerified() && status.enabled
        && m_context.operatorSessionID().isEmpty() && status.unlockMethod == QLatin1StringView("mac-keychain")
        && LegacyKeychainPolicy::isEnabled();
}

QString ServiceSupervision::localServiceStatusTitle() const
{
    const LocalServiceStatus &status = m_localServiceStatus;
    if (isUnavailable(status))
        return QStringLiteral("Torvane status unavailable");
    if (showsPortConflict(status))
        return QStringLiteral("Another local service is already running");
    if (showsStartFailed(status))
        return QStringLiteral("Torvane could not start");
    if (showsStaleBroker(status))
        return QStringLiteral("Different Torvane service is running");
    if (brokerReadyAndVerified())
        return QStringLiteral("Torvane is on");
    if (showsServiceKnown(status))
        return QStringLiteral("Torvane is ready to turn on");
    return QStringLiteral("Torvane is off");
}

QString ServiceSupervision::localServiceStatusDetail() const
{
    const LocalServiceStatus &status = m_localServiceStatus;
    if (isUnavailable(status))
        return QStringLiteral("TVN could not read the local service status. Check again, or use Repair & Restart if it "
                              "keeps failing.");
    if (showsPortConflict(status))
        return QStringLiteral("Something else is already using the Torvane local port. Close the other TVN/dev "
                              "service, then check again.");
    if (showsStartFailed(status)) {
        if (status.lastErrorSummary && !status.lastErrorSummary->isEmpty())
            return QStringLiteral("Startup needs attention: ") + *status.lastErrorSummary;
        return QStringLiteral("Startup needs attention. Try Repair & Restart, or open the logs from Security & "
                              "recovery.");
    }
    if (showsStaleBroker(status)) {
        QString detail = QStringLiteral("A different local service");
        if (!isBlank(status.brokerServiceRoot))
            detail += QStringLiteral(" (%1)").arg(HomeRelativePath::display(*status.brokerServiceRoot, m_context.identity().homeDirectoryPath()));
        return detail + QStringLiteral(" is on TVN's port. Repair & Restart to run this app's local-vault service and "
                                       "refresh the agent handoff path.");
    }
    if (brokerReadyAndVerified()) {
        // Agents are refused while the vault is closed: saying they can connect would be wrong.
        const QString vault = m_snapshot.vaultStatus().trimmed().toLower();
        if (vault == QLatin1StringView("unconfigured"))
            return QStringLiteral("Torvane is on. Create your TVN password so apps can connect.");
        if (vault == QLatin1StringView("locked") || m_snapshot.operatorLocked())
            return QStringLiteral("Torvane is on. Unlock the vault so apps can connect.");
        return QStringLiteral("Apps can connect now. Your connected app keys stay on this computer.");
    }
    if (showsServiceKnown(status))
        return QStringLiteral("Turn on Torvane, then your apps will appear with simple Connect buttons.");
    return QStringLiteral("Turn on Torvane once. It only listens on this computer and keeps your app keys in the local "
                          "vault.");
}

QString ServiceSupervision::primaryServiceActionTitle() const
{
    const LocalServiceStatus &status = m_localServiceStatus;
    if (showsPortConflict(status))
        return QStringLiteral("Check Again");
    if (showsStartFailed(status) || showsStaleBroker(status))
        return QStringLiteral("Repair & Restart");
    if (brokerReadyAndVerified())
        return QStringLiteral("Continue");
    return QStringLiteral("Turn on Torvane");
}

QString ServiceSupervision::serviceConfirmationTitle() const
{
    const LocalServiceStatus &status = m_localServiceStatus;
    if (showsPortConflict(status))
        return QStringLiteral("Another local service is already running");
    if (showsStartFailed(status))
        return QStringLiteral("Repair and restart Torvane?");
    if (showsStaleBroker(status))
        return QStringLiteral("Fix Torvane on this computer?");
    return QStringLiteral("Turn on Torvane on this computer?");
}

QString ServiceSupervision::serviceConfirmationMessage() const
{
    const LocalServiceStatus &status = m_localServiceStatus;
    const QString address = m_context.brokerURL().toString();
    if (showsPortConflict(status))
        return QStringLiteral("Torvane will not replace an unknown local process automatically. Close the other service "
                              "using %1, then click Check Again.")
            .arg(address);
    if (showsStartFailed(status))
        return QStringLiteral("Torvane will reinstall its private local helper and restart it. Your connected app "
                              "credentials stay in the local vault; this only repairs the local service.");
    if (showsStaleBroker(status))
        return QStringLiteral("Torvane found another local service on %1. Fixing this stops the old local process and "
                              "starts this app's Torvane service, so you know exactly which app your agents are "
                              "talking to.")
            .arg(address);
    return QStringLiteral("Torvane will turn on a private helper on this computer so your apps can connect. It only accepts "
                          "connections from this computer, keeps your real app keys here, and gives agents only limited "
                          "keys.");
}

QString ServiceSupervision::serviceConfirmationButtonTitle() const
{
    const LocalServiceStatus &status = m_localServiceStatus;
    if (showsStartFailed(status) || showsStaleBroker(status))
        return QStringLiteral("Repair & Restart");
    return QStringLiteral("Turn On");
}
