#pragma once

#include "BrokerHeaders.h"
#include "BrokerResult.h"
#include "HardwareKeyProvider.h"
#include "KeychainVault.h"
#include "OperatorSessionResponse.h"
#include "OperatorStatus.h"
#include "OwnerAuthentication.h"

#include <QCoroTask>
#include <QFuture>
#include <QObject>

#include <memory>
#include <optional>

class BrokerSnapshot;
class ModelContext;
class ServiceSupervision;

// The operator session every operator call carries: where its bootstrap secret comes from
// (plaintext file, the TPM-sealed copy behind the owner's password, or the legacy keyring),
// minting and probing it, and locking. The session id lives in the context, in memory only.
// Actions that may fail return the failure as a value; `unlockOperatorSession` reports it itself.
class OperatorSession : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool operatorUnlockInProgress READ operatorUnlockInProgress NOTIFY operatorUnlockInProgressChanged)
    Q_PROPERTY(bool operatorPassphraseRequired READ operatorPassphraseRequired NOTIFY operatorPassphraseRequiredChanged)

public:
    struct Dependencies {
        std::shared_ptr<OwnerAuthentication> ownerAuthentication;
        std::shared_ptr<HardwareKeyProvider> hardwareKeys;
        KeychainVault keychainVault;
    };
    // Success of an action that yields nothing.
    using Outcome = BrokerResult<bool>;

    OperatorSession(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                    Dependencies dependencies, QObject *parent = nullptr);

    bool operatorUnlockInProgress() const { return m_unlockInProgress; }
    bool operatorPassphraseRequired() const { return m_passphraseRequired; }
    void setOperatorPassphraseRequired(bool required);
    OwnerAuthentication &ownerAuthentication() const { return *m_deps.ownerAuthentication; }
    std::shared_ptr<OwnerAuthentication> ownerAuthenticationShared() const { return m_deps.ownerAuthentication; }
    std::shared_ptr<HardwareKeyProvider> hardwareKeys() const { return m_deps.hardwareKeys; }

    QCoro::Task<> unlockOperatorSession();
    QCoro::Task<Outcome> ensureOperatorSession(OperatorStatus status);
    QCoro::Task<Outcome> verifyExistingOperatorSession();
    QCoro::Task<BrokerResult<std::optional<QString>>> operatorBootstrapSecret(OperatorStatus status);
    QCoro::Task<BrokerResult<std::optional<QString>>> readSealedOperatorBootstrap(QString stateDirectory);
    QCoro::Task<BrokerResult<std::optional<QString>>> readLocalOperatorBootstrap(QString stateDirectory);
    QCoro::Task<BrokerResult<BrokerHeaders>> firstRunVaultSetupHeaders(OperatorStatus status);
    QCoro::Task<BrokerResult<OperatorSessionResponse>> mintOperatorSessionWithPassphrase(QString passphrase,
                                                                                         QString label);
    void lockOperatorSession();
    QString operatorUnlockPromptMessage(const OperatorStatus &status) const;
    static bool isOperatorPassphraseRequired(const BrokerFailure &failure);

    // The fixed wording of this concern's local refusals.
    static BrokerFailure identityNotVerified();
    static BrokerFailure localUnlockFileUnreadable();

Q_SIGNALS:
    void operatorUnlockInProgressChanged();
    void operatorPassphraseRequiredChanged();

private:
    struct SealedRead {
        std::optional<QString> secret;
        std::optional<QString> error;
    };
    static SealedRead readSealedBlocking(QString stateDirectory, std::shared_ptr<OwnerAuthentication> owner,
                                         std::shared_ptr<HardwareKeyProvider> provider);
    QCoro::Task<bool> brokerIdentityVerified();
    QCoro::Task<BrokerResult<std::optional<QString>>> legacyKeychainSecret(OperatorStatus status);
    void setUnlockInProgress(bool inProgress);

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    ServiceSupervision &m_supervision;
    Dependencies m_deps;
    bool m_unlockInProgress = false;
    bool m_passphraseRequired = false;
    // The one sealed read in flight; concurrent callers await it, so the owner sees one prompt.
    std::optional<QFuture<SealedRead>> m_sealedBootstrapReadTask;
};
