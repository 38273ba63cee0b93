#pragma once

#include "BrokerSnapshot.h"
#include "ModelContext.h"
#include "OperatorSession.h"
#include "PresencePrompt.h"
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
    Q_PROPERTY(PresencePrompt *presencePrompt READ presencePrompt CONSTANT)

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
    PresencePrompt *presencePrompt() const { return m_presencePrompt.get(); }

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

Q_SIGNALS:
    // Any published field of any concern changed; views that show a summary re-read on it.
    void changed();

private:
    void forwardChanges(QObject *concern);

    std::unique_ptr<ModelContext> m_context;
    std::unique_ptr<BrokerSnapshot> m_snapshot;
    std::unique_ptr<PresencePrompt> m_presencePrompt;
    std::unique_ptr<ServiceSupervision> m_supervision;
    std::unique_ptr<OperatorSession> m_operatorSession;
    std::unique_ptr<VaultUnlock> m_vaultUnlock;
    std::unique_ptr<RefreshCycle> m_refreshCycle;
};
