#include "OperatorSession.h"

#include "BrokerErrorPresentation.h"
#include "BrokerPaths.h"
#include "BrokerSnapshot.h"
#include "ConnectorsResponse.h"
#include "LegacyKeychainPolicy.h"
#include "ModelContext.h"
#include "OperatorBootstrapFiles.h"
#include "SealedVaultError.h"
#include "ServiceSupervision.h"
#include "VaultUnlockAuth.h"

#include <QCoroFuture>
#include <QFileInfo>
#include <QScopeGuard>
#include <QtConcurrent>

namespace {
const QString localFileMethod = QStringLiteral("local-file");
const QString sealedMethod = QStringLiteral("secure-enclave");

BrokerFailure unauthorized(const QString &message)
{
    return BrokerClientError::requestFailed(401, message);
}

BrokerFailure legacyItemUnreadable()
{
    return unauthorized(QStringLiteral(
        "Could not read the legacy operator unlock item. Use legacy unlock repair only in explicit legacy mode."));
}

QJsonObject labelBody(const QString &label)
{
    QJsonObject body;
    body.insert(QStringLiteral("label"), label);
    return body;
}

// Plain functions rather than lambdas inside coroutines: GCC 12 mishandles lambdas that capture
// coroutine locals when they run on another thread.
std::optional<QString> readLocalBlocking(QString stateDirectory, QString *error)
{
    try {
        return OperatorBootstrapFiles::readLocal(stateDirectory);
    } catch (const std::exception &failure) {
        *error = QString::fromUtf8(failure.what());
        return std::nullopt;
    }
}

std::optional<QString> loadKeychainSecretBlocking(KeychainVault vault, std::optional<QString> service, QString *error)
{
    try {
        return vault.loadOperatorBootstrapSecret(service);
    } catch (const std::exception &failure) {
        *error = QString::fromUtf8(failure.what());
        return std::nullopt;
    }
}
} // namespace

OperatorSession::OperatorSession(ModelContext &context, BrokerSnapshot &snapshot, ServiceSupervision &supervision,
                                 Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_snapshot(snapshot)
    , m_supervision(supervision)
    , m_deps(std::move(dependencies))
{
    Q_ASSERT(m_deps.ownerAuthentication && m_deps.hardwareKeys);
}

BrokerFailure OperatorSession::identityNotVerified()
{
    return unauthorized(QStringLiteral("Local broker identity could not be verified"));
}

BrokerFailure OperatorSession::localUnlockFileUnreadable()
{
    return unauthorized(QStringLiteral(
        "Could not read the local operator unlock file. Try Repair & Restart, or open the logs from Advanced."));
}

void OperatorSession::setOperatorPassphraseRequired(bool required)
{
    if (m_passphraseRequired == required)
        return;
    m_passphraseRequired = required;
    emit operatorPassphraseRequiredChanged();
}

void OperatorSession::setUnlockInProgress(bool inProgress)
{
    if (m_unlockInProgress == inProgress)
        return;
    m_unlockInProgress = inProgress;
    emit operatorUnlockInProgressChanged();
}

QCoro::Task<> OperatorSession::unlockOperatorSession()
{
    if (m_unlockInProgress)
        co_return;
    if (!m_supervision.brokerHealthReady()) {
        co_await m_supervision.installOrStartLocalService();
        co_return;
    }
    setUnlockInProgress(true);
    const auto clearInProgress = qScopeGuard([this] { setUnlockInProgress(false); });
    m_context.status().setStatusMessage(QStringLiteral("Checking Torvane unlock"));

    const BrokerResult<OperatorStatus> status =
        co_await m_context.client().get<OperatorStatus>(m_context.brokerURL(), BrokerPaths::operatorStatus);
    if (!status) {
        m_context.status().fail(friendlyErrorMessage(status.failure(), LegacyKeychainPolicy::isEnabled()));
        co_return;
    }
    m_snapshot.setOperatorStatus(*status);
    if (!status->enabled) {
        m_context.status().setStatusMessage(QStringLiteral("TVN unlock is not required on this computer"));
        co_return;
    }
    m_context.status().setStatusMessage(operatorUnlockPromptMessage(*status));
    const Outcome ensured = co_await ensureOperatorSession(*status);
    if (ensured) {
        co_await m_context.refreshAfterChange();
        co_return;
    }
    if (isOperatorPassphraseRequired(ensured.failure())) {
        setOperatorPassphraseRequired(true);
        m_context.status().setStatusMessage(
            QStringLiteral("This computer's vault needs your TVN password to finish unlocking."));
        co_return;
    }
    m_context.status().fail(friendlyErrorMessage(ensured.failure(), LegacyKeychainPolicy::isEnabled()));
}

QString OperatorSession::operatorUnlockPromptMessage(const OperatorStatus &status) const
{
    if (status.unlockMethod == sealedMethod) {
        const VaultUnlockMethod method =
            VaultUnlockAuth::availableMethod(*m_deps.ownerAuthentication, OperatorBootstrapFiles::unlockContext());
        return method == VaultUnlockMethod::biometricsWithPasswordFallback
            ? QStringLiteral("Approve your fingerprint or your computer password to unlock TVN")
            : QStringLiteral("Enter your computer login password to unlock TVN");
    }
    if (status.unlockMethod == localFileMethod)
        return QStringLiteral("Unlocking local TVN vault");
    return QStringLiteral("Opening Torvane unlock");
}

QCoro::Task<bool> OperatorSession::brokerIdentityVerified()
{
    const bool verified = co_await m_supervision.ensureBrokerIdentityVerified();
    co_return verified;
}

QCoro::Task<OperatorSession::Outcome> OperatorSession::ensureOperatorSession(OperatorStatus status)
{
    if (!status.enabled)
        co_return true;
    const bool verified = co_await brokerIdentityVerified();
    if (!verified)
        co_return identityNotVerified();
    if (!m_context.operatorSessionID().isEmpty()) {
        const Outcome probed = co_await verifyExistingOperatorSession();
        if (!probed)
            co_return probed.failure();
        if (probed.value())
            co_return true;
    }
    const BrokerResult<std::optional<QString>> secret = co_await operatorBootstrapSecret(status);
    if (!secret)
        co_return secret.failure();
    if (!secret.value() || secret.value()->isEmpty())
        co_return status.unlockMethod == localFileMethod ? localUnlockFileUnreadable() : legacyItemUnreadable();

    // Named values rather than temporaries in the co_await: GCC 12 mishandles initializer lists there.
    const QJsonObject body = labelBody(QStringLiteral("mac-app"));
    const BrokerHeaders headers = bootstrapHeaders(*secret.value());
    const BrokerResult<QByteArray> minted =
        co_await m_context.client().postJSON(m_context.brokerURL(), BrokerPaths::operatorSession, body, headers);
    if (!minted) {
        if (isOperatorPassphraseRequired(minted.failure()))
            setOperatorPassphraseRequired(true);
        co_return minted.failure();
    }
    const BrokerResult<OperatorSessionResponse> session = decodeBrokerRecord<OperatorSessionResponse>(minted.value());
    if (!session)
        co_return session.failure();
    m_context.setOperatorSessionID(session->sessionId);
    setOperatorPassphraseRequired(false);
    // A session minted with the bootstrap secret also opens a configured vault: the word read
    // from "/health" before the mint no longer holds.
    if (m_snapshot.vaultStatus() == QLatin1StringView("locked"))
        m_snapshot.setVaultStatus(QStringLiteral("unlocked"));
    m_context.status().setStatusMessage(QStringLiteral("Operator session unlocked"));
    co_return true;
}

QCoro::Task<OperatorSession::Outcome> OperatorSession::verifyExistingOperatorSession()
{
    if (m_context.operatorSessionID().isEmpty())
        co_return false;
    const BrokerResult<ConnectorsResponse> probe = co_await m_context.client().get<ConnectorsResponse>(
        m_context.brokerURL(), BrokerPaths::connectors, m_context.operatorHeaders());
    if (probe)
        co_return true;
    if (isInvalidOrExpiredOperatorSession(probe.failure())) {
        m_context.setOperatorSessionID({});
        m_context.lockOperatorSurfaces(QStringLiteral("Refreshing local operator session"));
        co_return false;
    }
    co_return probe.failure();
}

QCoro::Task<BrokerResult<std::optional<QString>>> OperatorSession::operatorBootstrapSecret(OperatorStatus status)
{
    const QString stateDirectory = m_supervision.stateDirectory();
    if (status.unlockMethod == sealedMethod) {
        BrokerResult<std::optional<QString>> sealed = co_await readSealedOperatorBootstrap(stateDirectory);
        co_return sealed;
    }
    if (status.unlockMethod == localFileMethod) {
        // A sealed copy that cannot be read gives way to the plaintext one.
        const BrokerResult<std::optional<QString>> sealed = co_await readSealedOperatorBootstrap(stateDirectory);
        if (sealed && sealed.value())
            co_return sealed;
        BrokerResult<std::optional<QString>> local = co_await readLocalOperatorBootstrap(stateDirectory);
        co_return local;
    }
    BrokerResult<std::optional<QString>> legacy = co_await legacyKeychainSecret(status);
    co_return legacy;
}

QCoro::Task<BrokerResult<std::optional<QString>>> OperatorSession::legacyKeychainSecret(OperatorStatus status)
{
    if (!LegacyKeychainPolicy::isEnabled())
        co_return unauthorized(
            QStringLiteral("Legacy Linux unlock is disabled. Use Repair & Restart to migrate TVN back to the local vault."));
    QString error;
    const std::optional<QString> secret =
        co_await QtConcurrent::run(&loadKeychainSecretBlocking, m_deps.keychainVault, status.keychainService, &error);
    if (!error.isEmpty())
        co_return BrokerFailure::local(error);
    co_return secret;
}

QCoro::Task<BrokerResult<std::optional<QString>>> OperatorSession::readLocalOperatorBootstrap(QString stateDirectory)
{
    QString error;
    const std::optional<QString> secret = co_await QtConcurrent::run(&readLocalBlocking, stateDirectory, &error);
    if (!error.isEmpty())
        co_return BrokerFailure::local(error);
    co_return secret;
}

OperatorSession::SealedRead OperatorSession::readSealedBlocking(QString stateDirectory,
                                                                std::shared_ptr<OwnerAuthentication> owner,
                                                                std::shared_ptr<HardwareKeyProvider> provider)
{
    try {
        return {OperatorBootstrapFiles::openSealed(stateDirectory, *owner, std::move(provider),
                                                   QStringLiteral("Unlock Torvane to let your agents connect")),
                std::nullopt};
    } catch (const std::exception &failure) {
        return {std::nullopt, QString::fromUtf8(failure.what())};
    }
}

QCoro::Task<BrokerResult<std::optional<QString>>> OperatorSession::readSealedOperatorBootstrap(QString stateDirectory)
{
    if (!m_sealedBootstrapReadTask) {
        if (!QFileInfo::exists(OperatorBootstrapFiles::sealedPath(stateDirectory)))
            co_return std::optional<QString>();
        const VaultUnlockMethod method =
            VaultUnlockAuth::availableMethod(*m_deps.ownerAuthentication, OperatorBootstrapFiles::unlockContext());
        if (method == VaultUnlockMethod::unavailable)
            co_return BrokerFailure::local(
                SealedVaultError::userAuthenticationFailed(
                    QStringLiteral("Linux can't show an unlock prompt on this computer right now (no fingerprint and no "
                                   "usable login password). Set a login password in system settings, then try again."))
                    .errorDescription());
        m_sealedBootstrapReadTask = QtConcurrent::run(&OperatorSession::readSealedBlocking, stateDirectory,
                                                      m_deps.ownerAuthentication, m_deps.hardwareKeys);
    }
    const QFuture<SealedRead> shared = *m_sealedBootstrapReadTask;
    const SealedRead read = co_await shared;
    m_sealedBootstrapReadTask.reset();
    if (read.error)
        co_return BrokerFailure::local(*read.error);
    co_return read.secret;
}

QCoro::Task<BrokerResult<BrokerHeaders>> OperatorSession::firstRunVaultSetupHeaders(OperatorStatus status)
{
    if (!m_context.operatorSessionID().isEmpty())
        co_return m_context.operatorHeaders();
    if (!status.enabled)
        co_return BrokerHeaders{};
    const bool verified = co_await brokerIdentityVerified();
    if (!verified)
        co_return identityNotVerified();
    const BrokerResult<std::optional<QString>> secret = co_await operatorBootstrapSecret(status);
    if (!secret || !secret.value() || secret.value()->isEmpty())
        co_return localUnlockFileUnreadable();
    co_return bootstrapHeaders(*secret.value());
}

QCoro::Task<BrokerResult<OperatorSessionResponse>> OperatorSession::mintOperatorSessionWithPassphrase(QString passphrase,
                                                                                                      QString label)
{
    const bool verified = co_await brokerIdentityVerified();
    if (!verified)
        co_return identityNotVerified();
    QJsonObject body = labelBody(label);
    body.insert(QStringLiteral("passphrase"), passphrase);
    const BrokerResult<QByteArray> minted =
        co_await m_context.client().postJSON(m_context.brokerURL(), BrokerPaths::operatorSession, body);
    if (!minted)
        co_return minted.failure();
    co_return decodeBrokerRecord<OperatorSessionResponse>(minted.value());
}

void OperatorSession::lockOperatorSession()
{
    m_context.setOperatorSessionID({});
    m_context.lockOperatorSurfaces(QStringLiteral("Operator session locked"));
}

bool OperatorSession::isOperatorPassphraseRequired(const BrokerFailure &failure)
{
    const std::optional<BrokerClientError> refusal = failure.requestFailure();
    return refusal && refusal->status() == 401
        && refusal->message().contains(QLatin1StringView("Operator passphrase is required"), Qt::CaseInsensitive);
}
