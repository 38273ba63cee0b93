#include "VaultUnlock.h"

#include "BrokerErrorPresentation.h"
#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "LocalServiceController.h"
#include "ModelContext.h"
#include "OperatorBootstrapFiles.h"
#include "OperatorSession.h"
#include "SealedVault.h"
#include "SealedVaultError.h"
#include "ServiceSupervision.h"
#include "TVNVaultPasswordCopy.h"
#include "VaultUnlockAuth.h"

#include <QCoroFuture>
#include <QDir>
#include <QScopeGuard>
#include <QTextBoundaryFinder>
#include <QtConcurrent>

const QString VaultUnlock::sealedEnabledKey = QStringLiteral("tvn.operatorSealedEnabled");
const QString VaultUnlock::vaultModeChosenKey = QStringLiteral("tvn.operatorVaultModeChosen");

namespace {
BrokerFailure badRequest(const QString &message)
{
    return BrokerClientError::requestFailed(400, message);
}

// Built outside the coroutines: GCC 12 mishandles initializer lists inside a co_await.
QJsonObject passphraseBody(const QString &passphrase)
{
    QJsonObject body;
    body.insert(QStringLiteral("passphrase"), passphrase);
    return body;
}

// Seals the secret, then proves the sealed copy opens to the same secret under a fresh owner
// approval. The error text, or none on success. Plain function: it runs on a worker thread.
std::optional<QString> sealAndVerifyBlocking(QString stateDirectory, QString secret,
                                             std::shared_ptr<OwnerAuthentication> owner,
                                             std::shared_ptr<HardwareKeyProvider> provider)
{
    try {
        OperatorBootstrapFiles::writeSealed(stateDirectory, secret, provider);
        const std::optional<QString> opened = OperatorBootstrapFiles::openSealed(
            stateDirectory, *owner, provider,
            QStringLiteral("Confirm your identity so Torvane can verify the sealed unlock secret"));
        if (opened != secret)
            throw SealedVaultError::userAuthenticationFailed(
                QStringLiteral("Sealed unlock verification did not match the original secret. The plaintext copy was kept."));
        return std::nullopt;
    } catch (const std::exception &failure) {
        return QString::fromUtf8(failure.what());
    }
}

// Removes a file; the error text, or none.
std::optional<QString> removeBlocking(QString path)
{
    try {
        OperatorBootstrapFiles::removeIfPresent(path);
        return std::nullopt;
    } catch (const std::exception &failure) {
        return QString::fromUtf8(failure.what());
    }
}

std::optional<QString> readLocalSecretBlocking(QString stateDirectory)
{
    try {
        return OperatorBootstrapFiles::readLocal(stateDirectory);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}
} // namespace

VaultUnlock::VaultUnlock(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                         OperatorSession &operatorSession, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_snapshot(snapshot)
    , m_supervision(supervision)
    , m_operatorSession(operatorSession)
{
}

void VaultUnlock::setSecureEnclaveUnlockFeedback(const QString &text, bool isError)
{
    m_feedback = text;
    m_feedbackIsError = isError;
    emit secureEnclaveUnlockChanged();
}

void VaultUnlock::setInProgress(bool inProgress)
{
    m_inProgress = inProgress;
    emit secureEnclaveUnlockChanged();
}

void VaultUnlock::setShouldOfferTouchIDSetup(bool offer)
{
    if (m_shouldOfferSetup == offer)
        return;
    m_shouldOfferSetup = offer;
    emit shouldOfferTouchIDSetupChanged();
}

bool VaultUnlock::operatorSealedEnabled() const
{
    return m_context.userDefaults().boolValue(sealedEnabledKey);
}

VaultUnlockMethod VaultUnlock::availableMethod() const
{
    return VaultUnlockAuth::availableMethod(m_operatorSession.ownerAuthentication(),
                                            OperatorBootstrapFiles::unlockContext());
}

int VaultUnlock::perceivedLength(const QString &text)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (graphemes.toNextBoundary() > 0)
        ++count;
    return count;
}

QString VaultUnlock::passwordMessage(const BrokerFailure &failure)
{
    if (const std::optional<BrokerClientError> refusal = failure.requestFailure())
        return TVNVaultPasswordCopy::message(refusal->status(), refusal->message());
    return TVNVaultPasswordCopy::message(std::nullopt, failure.description());
}

QCoro::Task<BrokerResult<bool>> VaultUnlock::setupVaultPassphrase(QString passphrase, QString confirm)
{
    if (perceivedLength(passphrase) < 8)
        co_return badRequest(QStringLiteral("Vault passphrase must be at least 8 characters"));
    if (passphrase != confirm)
        co_return badRequest(QStringLiteral("Vault passphrases do not match"));
    m_context.status().setStatusMessage(QStringLiteral("Setting up your encrypted vault"));

    const BrokerResult<OperatorStatus> status =
        co_await m_context.client().get<OperatorStatus>(m_context.brokerURL(), BrokerPaths::operatorStatus);
    if (!status)
        co_return status.failure();
    const BrokerResult<BrokerHeaders> headers = co_await m_operatorSession.firstRunVaultSetupHeaders(*status);
    if (!headers)
        co_return headers.failure();
    const QJsonObject body = passphraseBody(passphrase);
    const BrokerResult<QByteArray> setUp =
        co_await m_context.client().postJSON(m_context.brokerURL(), BrokerPaths::vaultSetup, body, *headers);
    if (!setUp)
        co_return setUp.failure();
    const BrokerResult<OperatorSessionResponse> session =
        co_await m_operatorSession.mintOperatorSessionWithPassphrase(passphrase, QStringLiteral("mac-app-vault-setup"));
    if (!session)
        co_return session.failure();

    m_context.setOperatorSessionID(session->sessionId);
    m_snapshot.setVaultStatus(QStringLiteral("unlocked"));
    m_context.status().setStatusMessage(QStringLiteral("Vault encrypted and unlocked"));
    co_await m_context.refreshAfterChange();
    offerSealedUnlockAfterSetup();
    co_return true;
}

void VaultUnlock::offerSealedUnlockAfterSetup()
{
    // Offered once, right after the vault first exists, and only when it could work here.
    if (m_context.userDefaults().boolValue(vaultModeChosenKey))
        return;
    if (!VaultUnlockMethods::canAuthenticate(availableMethod()))
        return;
    setShouldOfferTouchIDSetup(true);
}

QCoro::Task<BrokerResult<bool>> VaultUnlock::unlockVaultPassphrase(QString passphrase)
{
    if (passphrase.isEmpty())
        co_return badRequest(QStringLiteral("Enter your TVN password to unlock"));
    m_context.status().setStatusMessage(QStringLiteral("Unlocking your encrypted vault"));
    const BrokerResult<OperatorSessionResponse> session =
        co_await m_operatorSession.mintOperatorSessionWithPassphrase(passphrase, QStringLiteral("mac-app-vault-unlock"));
    if (!session)
        co_return session.failure();
    const QJsonObject body = passphraseBody(passphrase);
    const BrokerHeaders headers = operatorHeaders(session->sessionId);
    const BrokerResult<QByteArray> unlocked =
        co_await m_context.client().postJSON(m_context.brokerURL(), BrokerPaths::vaultUnlock, body, headers);
    if (!unlocked)
        co_return unlocked.failure();
    m_context.setOperatorSessionID(session->sessionId);
    m_operatorSession.setOperatorPassphraseRequired(false);
    m_snapshot.setVaultStatus(QStringLiteral("unlocked"));
    m_context.status().setStatusMessage(QStringLiteral("Vault unlocked"));
    co_await m_context.refreshAfterChange();
    co_return true;
}

void VaultUnlock::reportSealingError(const QString &message)
{
    setSecureEnclaveUnlockFeedback(message, true);
    m_context.status().fail(message);
}

QCoro::Task<> VaultUnlock::enableSecureEnclaveUnlock()
{
    setInProgress(true);
    const auto clearInProgress = qScopeGuard([this] { setInProgress(false); });
    setSecureEnclaveUnlockFeedback(QStringLiteral("Checking local unlock secret…"), false);

    const bool supported = co_await QtConcurrent::run(&SealedVault::isSupported);
    if (!supported) {
        reportSealingError(SealedVaultError::secureEnclaveUnavailable().errorDescription());
        co_return;
    }
    const VaultUnlockMethod method = availableMethod();
    if (method == VaultUnlockMethod::unavailable) {
        reportSealingError(QStringLiteral("Linux can't show an unlock prompt on this computer right now (no fingerprint "
                                          "and no usable login password). Set a login password in system settings, "
                                          "then try again."));
        co_return;
    }
    const QString stateDirectory = m_supervision.stateDirectory();
    const std::optional<QString> secret = co_await QtConcurrent::run(&readLocalSecretBlocking, stateDirectory);
    if (!secret) {
        reportSealingError(QStringLiteral("No local unlock secret to seal yet. Turn on the service first."));
        co_return;
    }
    std::optional<QString> failure = co_await QtConcurrent::run(
        &sealAndVerifyBlocking, stateDirectory, *secret, m_operatorSession.ownerAuthenticationShared(),
        m_operatorSession.hardwareKeys());
    if (!failure)
        failure = co_await QtConcurrent::run(&removeBlocking, OperatorBootstrapFiles::localPath(stateDirectory));
    if (failure) {
        // Whatever went wrong, the plaintext copy stays the way in; a half-made sealed copy goes.
        co_await QtConcurrent::run(&removeBlocking, OperatorBootstrapFiles::sealedPath(stateDirectory));
        reportSealingError(friendlyErrorMessage(*failure));
        co_return;
    }
    m_context.userDefaults().setBool(sealedEnabledKey, true);
    setSecureEnclaveUnlockFeedback(VaultUnlockMethods::featureName(method)
                                       + QStringLiteral(" enabled. Restarting the local service to apply…"),
                                   false);
    co_await m_supervision.restartLocalService();
}

QCoro::Task<> VaultUnlock::disableSecureEnclaveUnlock()
{
    setInProgress(true);
    const auto clearInProgress = qScopeGuard([this] { setInProgress(false); });
    const QString featureName = VaultUnlockMethods::featureName(availableMethod());
    setSecureEnclaveUnlockFeedback(QStringLiteral("Disabling ") + featureName, false);

    const QString stateDirectory = m_supervision.stateDirectory();
    const std::optional<QString> failure =
        co_await QtConcurrent::run(&removeBlocking, OperatorBootstrapFiles::sealedPath(stateDirectory));
    if (failure) {
        reportSealingError(friendlyErrorMessage(*failure));
        co_return;
    }
    const SealedVault vault(stateDirectory, SealedVault::Configuration::operatorBootstrap(),
                            m_operatorSession.hardwareKeys());
    co_await QtConcurrent::run(&removeBlocking, vault.handlePath());
    m_context.userDefaults().setBool(sealedEnabledKey, false);
    setSecureEnclaveUnlockFeedback(
        featureName
            + QStringLiteral(" disabled. Restart the service to apply — TVN will return to the owner-only local vault."),
        false);
}

QCoro::Task<> VaultUnlock::enableTouchIDFromFirstRunPrompt()
{
    m_context.userDefaults().setBool(vaultModeChosenKey, true);
    setShouldOfferTouchIDSetup(false);
    const QString featureName = VaultUnlockMethods::featureName(availableMethod());
    co_await enableSecureEnclaveUnlock();
    if (!operatorSealedEnabled())
        m_context.status().setStatusMessage(QStringLiteral("Couldn't enable ") + featureName
                                            + QStringLiteral(" — you can try again in Settings → Security"));
}

void VaultUnlock::declineTouchIDFromFirstRunPrompt()
{
    m_context.userDefaults().setBool(vaultModeChosenKey, true);
    setShouldOfferTouchIDSetup(false);
}

void VaultUnlock::migrateFirstRunVaultModeForExistingUsers()
{
    UserDefaults &defaults = m_context.userDefaults();
    if (!defaults.boolValue(vaultModeChosenKey) && defaults.storedBool(sealedEnabledKey).has_value())
        defaults.setBool(vaultModeChosenKey, true);
}

void VaultUnlock::closeRefreshCycle()
{
    migrateFirstRunVaultModeForExistingUsers();
    setShouldOfferTouchIDSetup(false);
}

QCoro::Task<BrokerResult<bool>> VaultUnlock::resetLocalVaultForForgottenPassword()
{
    static const QString actionKey = QStringLiteral("resetLocalVault");
    if (!m_context.actions().begin(actionKey))
        co_return true;
    const auto endAction = qScopeGuard([this] { m_context.actions().end(actionKey); });
    m_context.status().setStatusMessage(QStringLiteral("Resetting local TVN vault"));

    m_context.setOperatorSessionID({});
    m_operatorSession.setOperatorPassphraseRequired(false);
    m_snapshot.setBrokerIdentityVerified(false);
    m_snapshot.setConnectors({});
    m_context.lockOperatorSurfaces(QStringLiteral("Resetting local TVN vault"));
    emit operatorStateForgotten();
    m_context.userDefaults().remove(vaultModeChosenKey);
    m_context.userDefaults().remove(sealedEnabledKey);

    try {
        co_await m_supervision.controller().resetLocalVaultState();
    } catch (const std::exception &failure) {
        const QString message = friendlyErrorMessage(QString::fromUtf8(failure.what()));
        m_context.status().fail(message);
        co_return BrokerFailure::local(message);
    }
    m_snapshot.setVaultStatus(QStringLiteral("unconfigured"));
    m_context.status().setStatusMessage(
        QStringLiteral("Local TVN vault reset. Create a new TVN password to continue."));
    co_await m_context.refreshAfterChange();
    co_return true;
}
