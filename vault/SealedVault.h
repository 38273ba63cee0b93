#pragma once

#include "AuthenticationContext.h"
#include "HardwareKeyAvailability.h"
#include "HardwareKeyProvider.h"
#include "SealedEnvelope.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <string_view>

// Protects a small secret at rest so that only this machine's TPM can open it again: a one-time
// P-256 key agrees a secret with a long-lived hardware key, HKDF-SHA256 turns it into an
// AES-256-GCM key, and the "TVN1" envelope keeps the one-time public key with the box. Only the
// hardware key's handle is on disk, in <stateDirectory>/seal/<handleFileName>.
//
// A plain value; every call re-reads the handle and blocks on the TPM, so run it off the GUI
// thread (QtConcurrent). Calls for one configuration must not overlap while its first key is
// being created. Failures throw SealedVaultError, HardwareKeyError (the platform's error),
// VaultFileError or VaultCryptoError.
class SealedVault
{
public:
    struct Configuration
    {
        QString handleFileName;
        bool requireUserPresence = false;
        QByteArray hkdfInfo;

        // The operator bootstrap secret: every open needs an approved AuthenticationContext.
        static const Configuration &operatorBootstrap();
        // Agent key material: never prompts.
        static const Configuration &agentKeys();
    };

    static constexpr std::string_view hkdfSalt = "box.sealed-store.v1";
    static constexpr std::string_view envelopeMagic = SealedEnvelope::magic;

    // Touches no file. The provider defaults to the machine's TPM as configured now.
    SealedVault(QString stateDirectory, Configuration configuration,
                std::shared_ptr<HardwareKeyProvider> provider = HardwareKeyProvider::systemDefault());

    // Whether this machine's TPM answers (TVN_TPM_TCTI, else /dev/tpmrm0). Talks to the TPM:
    // off the GUI thread, like everything here.
    static bool isSupported();
    HardwareKeyAvailability availability() const { return m_provider->availability(); }

    QString stateDirectory() const { return m_stateDirectory; }
    const Configuration &configuration() const { return m_configuration; }
    QString handlePath() const;

    // Creates the hardware key (and the seal directory) on first use. Never prompts.
    QByteArray seal(const QByteArray &plaintext) const;
    // Never creates a key. Under operatorBootstrap `context` must carry an approved user presence.
    QByteArray open(const QByteArray &envelope, const AuthenticationContext *context = nullptr) const;

private:
    void requireHardware() const;
    std::unique_ptr<HardwareKey> loadOrCreateKey() const;
    std::unique_ptr<HardwareKey> createKey() const;
    std::unique_ptr<HardwareKey> loadKey(const AuthenticationContext *context) const;
    QByteArray derivedKey(QByteArray &sharedSecret) const;

    QString m_stateDirectory;
    Configuration m_configuration;
    std::shared_ptr<HardwareKeyProvider> m_provider;
};
