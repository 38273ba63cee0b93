#pragma once

#include <QByteArray>

// The software half of sealing, on OpenSSL 3: one-time P-256 key agreement, HKDF-SHA256 and
// AES-256-GCM in the combined form (12-byte nonce, ciphertext, 16-byte tag). Failures throw
// VaultCryptoError. Public keys are raw P-256 points: X then Y, 32 bytes each.
class VaultCrypto
{
public:
    struct OneTimeAgreement
    {
        QByteArray publicKey;
        QByteArray sharedSecret;
    };

    static constexpr int nonceSize = 12;
    static constexpr int tagSize = 16;

    // A fresh key pair agrees a secret with `peerPublicKey`; the private half is discarded.
    static OneTimeAgreement agreeWithFreshKey(const QByteArray &peerPublicKey);
    static void requireValidPublicKey(const QByteArray &publicKey);
    static QByteArray hkdfSha256(const QByteArray &secret, const QByteArray &salt, const QByteArray &info, int length);
    static QByteArray aesGcmSeal(const QByteArray &key, const QByteArray &plaintext);
    static QByteArray aesGcmOpen(const QByteArray &key, const QByteArray &box);
    // Overwrites secret bytes before they are released.
    static void wipe(QByteArray &secret);
};
