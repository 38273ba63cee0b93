#include "SealedVault.h"

#include "HardwareKeyError.h"
#include "SealedEnvelope.h"
#include "SealedVaultError.h"
#include "SecureFiles.h"
#include "VaultCrypto.h"

#include <QDir>

namespace {
constexpr mode_t sealDirectoryMode = 0700;
constexpr mode_t handleFileMode = 0600;
constexpr int derivedKeySize = 32;
} // namespace

const SealedVault::Configuration &SealedVault::Configuration::operatorBootstrap()
{
    static const Configuration configuration{QStringLiteral("se-keyagreement.bin"), true,
                                             QByteArrayLiteral("torvane/at-rest")};
    return configuration;
}

const SealedVault::Configuration &SealedVault::Configuration::agentKeys()
{
    static const Configuration configuration{QStringLiteral("se-agentkeys.bin"), false,
                                             QByteArrayLiteral("torvane/agent-keys")};
    return configuration;
}

SealedVault::SealedVault(QString stateDirectory, Configuration configuration,
                         std::shared_ptr<HardwareKeyProvider> provider)
    : m_stateDirectory(std::move(stateDirectory)), m_configuration(std::move(configuration)), m_provider(std::move(provider))
{
}

bool SealedVault::isSupported()
{
    return HardwareKeyProvider::systemDefault()->availability().isAvailable();
}

QString SealedVault::handlePath() const
{
    return QDir(m_stateDirectory).filePath(QStringLiteral("seal/") + m_configuration.handleFileName);
}

// A TPM that is there but refused to this user is reported as such, not as "no TPM".
void SealedVault::requireHardware() const
{
    const HardwareKeyAvailability availability = m_provider->availability();
    if (availability.state == HardwareKeyAvailability::State::inaccessible && availability.reason)
        availability.reason->raise();
    if (!availability.isAvailable())
        throw SealedVaultError::secureEnclaveUnavailable();
}

std::unique_ptr<HardwareKey> SealedVault::createKey() const
{
    try {
        return m_provider->createKeyAgreementKey(m_configuration.requireUserPresence);
    } catch (const HardwareKeyError &error) {
        if (error.kind() != HardwareKeyError::Kind::accessControlFailed)
            throw;
        const QString reason = error.description().trimmed();
        throw SealedVaultError::accessControlCreationFailed(reason.isEmpty() ? QStringLiteral("unknown") : reason);
    }
}

std::unique_ptr<HardwareKey> SealedVault::loadKey(const AuthenticationContext *context) const
{
    return m_provider->loadKeyAgreementKey(SecureFiles::readAll(handlePath()), m_configuration.requireUserPresence,
                                           context);
}

// When another process publishes its handle first, that key wins and ours is dropped, so no
// envelope is ever sealed to a key whose handle was lost.
std::unique_ptr<HardwareKey> SealedVault::loadOrCreateKey() const
{
    requireHardware();
    SecureFiles::createDirectories(QDir(m_stateDirectory).filePath(QStringLiteral("seal")), sealDirectoryMode);
    if (SecureFiles::itemExists(handlePath()))
        return loadKey(nullptr);
    auto key = createKey();
    if (!SecureFiles::createExclusively(handlePath(), key->handle(), handleFileMode))
        return loadKey(nullptr);
    SecureFiles::setMode(handlePath(), handleFileMode);
    return key;
}

QByteArray SealedVault::derivedKey(QByteArray &sharedSecret) const
{
    QByteArray key = VaultCrypto::hkdfSha256(sharedSecret, QByteArray(hkdfSalt.data(), qsizetype(hkdfSalt.size())), m_configuration.hkdfInfo, derivedKeySize);
    VaultCrypto::wipe(sharedSecret);
    return key;
}

QByteArray SealedVault::seal(const QByteArray &plaintext) const
{
    const auto hardwareKey = loadOrCreateKey();
    VaultCrypto::OneTimeAgreement agreement = VaultCrypto::agreeWithFreshKey(hardwareKey->publicKey());
    QByteArray key = derivedKey(agreement.sharedSecret);
    const QByteArray box = VaultCrypto::aesGcmSeal(key, plaintext);
    VaultCrypto::wipe(key);
    return SealedEnvelope{agreement.publicKey, box}.encoded();
}

QByteArray SealedVault::open(const QByteArray &envelope, const AuthenticationContext *context) const
{
    const SealedEnvelope decoded = SealedEnvelope::decode(envelope);
    requireHardware();
    if (!SecureFiles::itemExists(handlePath()))
        throw SealedVaultError::secureEnclaveKeyHandleMissing();
    const auto hardwareKey = loadKey(context);
    VaultCrypto::requireValidPublicKey(decoded.oneTimePublicKey);
    QByteArray sharedSecret;
    try {
        sharedSecret = hardwareKey->sharedSecret(decoded.oneTimePublicKey);
    } catch (const HardwareKeyError &error) {
        throw SealedVaultError::userAuthenticationFailed(error.description());
    }
    QByteArray key = derivedKey(sharedSecret);
    try {
        QByteArray plaintext = VaultCrypto::aesGcmOpen(key, decoded.box);
        VaultCrypto::wipe(key);
        return plaintext;
    } catch (...) {
        VaultCrypto::wipe(key);
        throw;
    }
}
