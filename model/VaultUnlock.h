#pragma once

#include "BrokerResult.h"
#include "VaultUnlockMethod.h"

#include <QCoroTask>
#include <QObject>

#include <optional>

class BrokerSnapshot;
class ModelContext;
class OperatorSession;
class ServiceSupervision;

// The vault passphrase (the "TVN password"): first setup, unlock, the forgotten-password reset,
// and the unlock sealed to this computer's TPM behind the system login that replaces typing it.
class VaultUnlock : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool secureEnclaveUnlockInProgress READ secureEnclaveUnlockInProgress NOTIFY secureEnclaveUnlockChanged)
    Q_PROPERTY(QString secureEnclaveUnlockFeedback READ secureEnclaveUnlockFeedbackText NOTIFY secureEnclaveUnlockChanged)
    Q_PROPERTY(bool secureEnclaveUnlockFeedbackIsError READ secureEnclaveUnlockFeedbackIsError NOTIFY
                   secureEnclaveUnlockChanged)
    Q_PROPERTY(bool shouldOfferTouchIDSetup READ shouldOfferTouchIDSetup NOTIFY shouldOfferTouchIDSetupChanged)

public:
    static const QString sealedEnabledKey;
    static const QString vaultModeChosenKey;

    VaultUnlock(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                OperatorSession &operatorSession, QObject *parent = nullptr);

    bool secureEnclaveUnlockInProgress() const { return m_inProgress; }
    std::optional<QString> secureEnclaveUnlockFeedback() const { return m_feedback; }
    QString secureEnclaveUnlockFeedbackText() const { return m_feedback.value_or(QString()); }
    bool secureEnclaveUnlockFeedbackIsError() const { return m_feedbackIsError; }
    void setSecureEnclaveUnlockFeedback(const QString &text, bool isError);
    bool shouldOfferTouchIDSetup() const { return m_shouldOfferSetup; }
    void setShouldOfferTouchIDSetup(bool offer);
    bool operatorSealedEnabled() const;

    // The method the system login offers right now (asks PAM; quick, never prompts).
    VaultUnlockMethod availableMethod() const;

    QCoro::Task<BrokerResult<bool>> setupVaultPassphrase(QString passphrase, QString confirm);
    QCoro::Task<BrokerResult<bool>> unlockVaultPassphrase(QString passphrase);
    QCoro::Task<> enableSecureEnclaveUnlock();
    QCoro::Task<> disableSecureEnclaveUnlock();
    QCoro::Task<> enableTouchIDFromFirstRunPrompt();
    // "Not now", and dismissing the first-run sheet.
    void declineTouchIDFromFirstRunPrompt();
    QCoro::Task<BrokerResult<bool>> resetLocalVaultForForgottenPassword();
    void migrateFirstRunVaultModeForExistingUsers();
    // The refresh cycle's closing step: record an earlier choice, and lower the first-run offer.
    void closeRefreshCycle();

    // The user's wording for a setup or unlock failure.
    static QString passwordMessage(const BrokerFailure &failure);
    // User-perceived characters, as the passphrase length rule counts them.
    static int perceivedLength(const QString &text);

Q_SIGNALS:
    void secureEnclaveUnlockChanged();
    void shouldOfferTouchIDSetupChanged();
    // The forgotten-password reset dropped the operator state; the web first run starts over.
    void operatorStateForgotten();

private:
    void reportSealingError(const QString &message);
    void offerSealedUnlockAfterSetup();
    void setInProgress(bool inProgress);

    ModelContext &m_context;
    BrokerSnapshot &m_snapshot;
    ServiceSupervision &m_supervision;
    OperatorSession &m_operatorSession;
    bool m_inProgress = false;
    std::optional<QString> m_feedback;
    bool m_feedbackIsError = false;
    bool m_shouldOfferSetup = false;
};
