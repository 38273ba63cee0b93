#pragma once

#include "AgentHandoff.h"
#include "AgentKeys.h"
#include "Approvals.h"
#include "Backups.h"
#include "BrokerEventStream.h"
#include "BrokerSnapshot.h"
#include "Connections.h"
#include "DashboardHandoff.h"
#include "KeychainTrust.h"
#include "KillSwitch.h"
#include "ModelContext.h"
#include "OperatorSession.h"
#include "PresencePrompt.h"
#include "ProxyProfiles.h"
#include "RefreshCycle.h"
#include "ServiceSupervision.h"
#include "SetupStepSummary.h"
#include "VaultUnlock.h"

#include <QObject>

#include <functional>
#include <memory>

// The single observable model of the app, composed of one object per concern (service
// supervision, the broker snapshot the refresh cycle fills, the operator session, vault unlock,
// the presence prompt) that share one narrow context. It lives on the GUI thread for the whole
// process; long operations are coroutines, and re-entry is refused by the in-progress flags and
// the running actions, never by locks. The methods below keep the names views and the shell call.
class AppModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(ModelContext *context READ context CONSTANT)
    Q_PROPERTY(BrokerSnapshot *snapshot READ snapshot CONSTANT)
    Q_PROPERTY(ServiceSupervision *supervision READ supervision CONSTANT)
    Q_PROPERTY(OperatorSession *operatorSession READ operatorSession CONSTANT)
    Q_PROPERTY(VaultUnlock *vaultUnlock READ vaultUnlock CONSTANT)
    Q_PROPERTY(RefreshCycle *refreshCycle READ refreshCycle CONSTANT)
    Q_PROPERTY(DashboardHandoff *dashboardHandoff READ dashboardHandoff CONSTANT)
    Q_PROPERTY(BrokerEventStream *brokerEvents READ brokerEvents CONSTANT)
    Q_PROPERTY(PresencePrompt *presencePrompt READ presencePrompt CONSTANT)
    Q_PROPERTY(Connections *connections READ connections CONSTANT)
    Q_PROPERTY(AgentKeys *agentKeys READ agentKeys CONSTANT)
    Q_PROPERTY(AgentHandoff *agentHandoff READ agentHandoff CONSTANT)
    Q_PROPERTY(KillSwitch *killSwitch READ killSwitch CONSTANT)
    Q_PROPERTY(KeychainTrust *keychainTrust READ keychainTrust CONSTANT)
    Q_PROPERTY(ProxyProfiles *proxyProfiles READ proxyProfiles CONSTANT)
    Q_PROPERTY(Approvals *approvals READ approvals CONSTANT)
    Q_PROPERTY(Backups *backups READ backups CONSTANT)

public:
    // Everything the model talks to, so tests can put their own in place.
    struct Dependencies {
        TVNRuntimeIdentity identity;
        AppMetadata metadata;
        ServiceSupervision::Dependencies supervision;
        UserDefaults userDefaults;
        // Builds the system login check around the app's own password prompt.
        std::function<std::shared_ptr<OwnerAuthentication>(PasswordPrompter *)> ownerAuthentication;
        std::shared_ptr<HardwareKeyProvider> hardwareKeys;
        std::shared_ptr<SecretStore> secretStore;
    };
    // The running app's identity, metadata, controller, settings and platform facilities; the
    // clipboard comes from the window.
    static Dependencies defaultDependencies(std::shared_ptr<TextClipboard> clipboard);

    explicit AppModel(Dependencies dependencies, QObject *parent = nullptr);
    ~AppModel() override;

    ModelContext *context() const { return m_context.get(); }
    BrokerSnapshot *snapshot() const { return m_snapshot.get(); }
    ServiceSupervision *supervision() const { return m_supervision.get(); }
    OperatorSession *operatorSession() const { return m_operatorSession.get(); }
    VaultUnlock *vaultUnlock() const { return m_vaultUnlock.get(); }
    RefreshCycle *refreshCycle() const { return m_refreshCycle.get(); }
    DashboardHandoff *dashboardHandoff() const { return m_dashboardHandoff.get(); }
    BrokerEventStream *brokerEvents() const { return m_brokerEvents.get(); }
    PresencePrompt *presencePrompt() const { return m_presencePrompt.get(); }
    Connections *connections() const { return m_connections.get(); }
    AgentKeys *agentKeys() const { return m_agentKeys.get(); }
    AgentHandoff *agentHandoff() const { return m_agentHandoff.get(); }
    KillSwitch *killSwitch() const { return m_killSwitch.get(); }
    KeychainTrust *keychainTrust() const { return m_keychainTrust.get(); }
    ProxyProfiles *proxyProfiles() const { return m_proxyProfiles.get(); }
    Approvals *approvals() const { return m_approvals.get(); }
    Backups *backups() const { return m_backups.get(); }

    const TVNRuntimeIdentity &identity() const { return m_context->identity(); }
    QUrl brokerURL() const { return m_context->brokerURL(); }
    qint64 brokerPort() const { return m_context->brokerPort(); }

    // Status line and banner.
    QString statusMessage() const { return m_context->status().statusMessage(); }
    void setStatusMessage(const QString &message) { m_context->status().setStatusMessage(message); }
    StatusBanner statusBanner() const { return m_context->status().statusBanner(); }
    QString lastActionError() const { return m_context->status().lastActionError(); }
    void fail(const QString &message) { m_context->status().fail(message); }
    static StatusBanner::Kind classifyStatus(const QString &message) { return StatusReporter::classifyStatus(message); }
    QStringList runningActions() const { return m_context->actions().keys(); }
    void lockOperatorSurfaces(const QString &message) { m_context->lockOperatorSurfaces(message); }

    // The refresh cycle.
    bool isRefreshing() const { return m_refreshCycle->isRefreshing(); }
    QCoro::Task<> refresh() { return m_refreshCycle->refresh(); }

    // Broker state.
    BrokerHealth health() const { return m_snapshot->health(); }
    bool brokerIdentityVerified() const { return m_snapshot->brokerIdentityVerified(); }
    QString operatorSessionID() const { return m_context->operatorSessionID(); }
    bool needsMacOSApproval() const { return m_supervision->needsMacOSApproval(); }
    QList<SetupStepSummary> setupSteps() const;
    std::optional<SetupStepSummary> nextSetupStep() const { return SetupStepSummary::nextStep(setupSteps()); }

    // Service actions.
    QCoro::Task<> installOrStartLocalService() { return m_supervision->installOrStartLocalService(); }
    QCoro::Task<> confirmLocalServiceStartOrRepair() { return m_supervision->confirmLocalServiceStartOrRepair(); }
    QCoro::Task<> stopLocalService() { return m_supervision->stopLocalService(); }
    void copyServiceDebugInfo() { m_supervision->copyServiceDebugInfo(); }
    void copyRecoveryChecklist() { m_supervision->copyRecoveryChecklist(); }

    // Operator session and vault.
    QCoro::Task<> unlockOperatorSession() { return m_operatorSession->unlockOperatorSession(); }
    void lockOperatorSession() { m_operatorSession->lockOperatorSession(); }
    QCoro::Task<BrokerResult<bool>> setupVaultPassphrase(QString passphrase, QString confirm)
    {
        return m_vaultUnlock->setupVaultPassphrase(std::move(passphrase), std::move(confirm));
    }
    QCoro::Task<BrokerResult<bool>> unlockVaultPassphrase(QString passphrase)
    {
        return m_vaultUnlock->unlockVaultPassphrase(std::move(passphrase));
    }
    QCoro::Task<> enableSecureEnclaveUnlock() { return m_vaultUnlock->enableSecureEnclaveUnlock(); }
    QCoro::Task<> disableSecureEnclaveUnlock() { return m_vaultUnlock->disableSecureEnclaveUnlock(); }
    QCoro::Task<BrokerResult<bool>> resetLocalVaultForForgottenPassword()
    {
        return m_vaultUnlock->resetLocalVaultForForgottenPassword();
    }

    // The dashboard handoff and the web first-run flag.
    bool webFirstRunCompleted() const { return m_dashboardHandoff->webFirstRunCompleted(); }
    void markWebFirstRunCompleted() { m_dashboardHandoff->markWebFirstRunCompleted(); }
    void clearWebFirstRunCompleted() { m_dashboardHandoff->clearWebFirstRunCompleted(); }
    QCoro::Task<> attachToObservedBrokerForDashboardHandoff()
    {
        return m_dashboardHandoff->attachToObservedBrokerForDashboardHandoff();
    }

    // Connections and provider accounts.
    void beginConnect(const ConnectorSummary &connector) { m_connections->beginConnect(connector); }
    void closeConnectSheet() { m_connections->closeConnectSheet(); }
    QCoro::Task<bool> linkAPIKey(QString accountId, QString alias, QString token, QString authModeId)
    {
        return m_connections->linkAPIKey(std::move(accountId), std::move(alias), std::move(token), std::move(authModeId));
    }
    QCoro::Task<> linkSheetAPIKey() { return m_connections->linkSheetAPIKey(); }
    QCoro::Task<> checkSelectedHealth(QString accountId) { return m_connections->checkSelectedHealth(std::move(accountId)); }
    QCoro::Task<> revoke(ConnectionSummary connection) { return m_connections->revoke(std::move(connection)); }
    void rotateKey(const ConnectionSummary &connection) { m_connections->rotateKey(connection); }

    // Agent keys and the kill switch.
    void useSuggestedConnectorsForMasterKey() { m_agentKeys->useSuggestedConnectorsForMasterKey(); }
    void applyAgentPreset(const QString &id, const QString &label) { m_agentKeys->applyAgentPreset(id, label); }
    QCoro::Task<> createMasterKey() { return m_agentKeys->createMasterKey(); }
    QCoro::Task<> storeCreatedMasterKeyProfile() { return m_agentKeys->storeCreatedMasterKeyProfile(); }
    QCoro::Task<> verifyCreatedMasterKeyProfile() { return m_agentKeys->verifyCreatedMasterKeyProfile(); }
    QCoro::Task<> revoke(MasterKeySummary key) { return m_agentKeys->revoke(std::move(key)); }
    void useAgentKeyAsReplacementTemplate(const MasterKeySummary &key) { m_agentKeys->useAgentKeyAsReplacementTemplate(key); }
    QCoro::Task<> emergencyRevokeAllAgentKeys() { return m_killSwitch->emergencyRevokeAllAgentKeys(); }

    // Agent handoff.
    QString activeAgentHandoffProfile() const { return m_agentHandoff->activeAgentHandoffProfile(); }
    bool agentHandoffBaseReady() const { return m_agentHandoff->agentHandoffBaseReady(); }
    bool agentHandoffVerified() const { return m_agentHandoff->agentHandoffVerified(); }
    std::optional<AgentHandoffVerificationReport> lastAgentHandoffVerification() const
    {
        return m_agentHandoff->lastAgentHandoffVerification();
    }
    QCoro::Task<AgentClientSetupResult> connectAgentApp(AgentClientDescriptor client)
    {
        return m_agentHandoff->connectAgentApp(std::move(client));
    }
    QCoro::Task<AgentHandoffVerificationReport> verifyAgentHandoff(QString profile, std::optional<QString> configPath)
    {
        return m_agentHandoff->verifyAgentHandoff(std::move(profile), std::move(configPath));
    }
    QCoro::Task<> verifyActiveAgentHandoff() { return m_agentHandoff->verifyActiveAgentHandoff(); }
    bool copyAgentHandoffConfig(const QString &profile) { return m_agentHandoff->copyAgentHandoffConfig(profile); }
    QCoro::Task<bool> copyAgentHandoffConfigIfVerified(QString profile)
    {
        return m_agentHandoff->copyAgentHandoffConfigIfVerified(std::move(profile));
    }
    QCoro::Task<bool> copyActiveAgentHandoffConfigIfVerified()
    {
        return m_agentHandoff->copyActiveAgentHandoffConfigIfVerified();
    }
    QCoro::Task<> copyAgentHandoffConfig(MasterKeySummary key) { return m_agentHandoff->copyAgentHandoffConfig(std::move(key)); }
    QCoro::Task<> copyCreatedAgentHandoffConfig() { return m_agentHandoff->copyCreatedAgentHandoffConfig(); }
    QCoro::Task<> setKillSwitch(bool enabled) { return m_killSwitch->setKillSwitch(enabled); }

    // Legacy keyring trust.
    QCoro::Task<> refreshKeychainTrustStatus() { return m_keychainTrust->refreshKeychainTrustStatus(); }
    QCoro::Task<> repairKeychainTrust() { return m_keychainTrust->repairKeychainTrust(); }
    QCoro::Task<> repairOperatorKeychainTrust() { return m_keychainTrust->repairOperatorKeychainTrust(); }
    void copyKeychainDiagnostics() { m_keychainTrust->copyKeychainDiagnostics(); }

    // Proxy profiles, approvals and backups.
    void applyProxyDefaults() { m_proxyProfiles->applyProxyDefaults(); }
    QCoro::Task<> createProxyProfile() { return m_proxyProfiles->createProxyProfile(); }
    QCoro::Task<> revoke(ProxyProfileSummary profile) { return m_proxyProfiles->revoke(std::move(profile)); }
    void copyProxyRunCommand(const ProxyProfileSummary &profile) { m_proxyProfiles->copyProxyRunCommand(profile); }
    QCoro::Task<> approve(ApprovalSummary approval) { return m_approvals->approve(std::move(approval)); }
    QCoro::Task<> deny(ApprovalSummary approval) { return m_approvals->deny(std::move(approval)); }
    QCoro::Task<> requestProtectedWrite() { return m_approvals->requestProtectedWrite(); }
    QCoro::Task<> exportBackup() { return m_backups->exportBackup(); }
    QCoro::Task<> restoreBackup() { return m_backups->restoreBackup(); }

Q_SIGNALS:
    // Any published field of any concern changed; views that show a summary re-read on it.
    void changed();

private:
    void forwardChanges(QObject *concern);

    std::unique_ptr<ModelContext> m_context;
    std::unique_ptr<BrokerSnapshot> m_snapshot;
    std::unique_ptr<PresencePrompt> m_presencePrompt;
    // Shared by the concerns that copy text for the user; taken before supervision takes its own.
    std::shared_ptr<TextClipboard> m_clipboard;
    std::unique_ptr<ServiceSupervision> m_supervision;
    std::unique_ptr<OperatorSession> m_operatorSession;
    std::unique_ptr<VaultUnlock> m_vaultUnlock;
    std::unique_ptr<DashboardHandoff> m_dashboardHandoff;
    std::unique_ptr<BrokerEventStream> m_brokerEvents;
    std::unique_ptr<RefreshCycle> m_refreshCycle;
    std::unique_ptr<Connections> m_connections;
    std::unique_ptr<AgentKeys> m_agentKeys;
    std::unique_ptr<AgentHandoff> m_agentHandoff;
    std::unique_ptr<KillSwitch> m_killSwitch;
    std::unique_ptr<KeychainTrust> m_keychainTrust;
    std::unique_ptr<ProxyProfiles> m_proxyProfiles;
    std::unique_ptr<Approvals> m_approvals;
    std::unique_ptr<Backups> m_backups;
};
