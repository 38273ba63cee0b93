#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

// Failures of the software cryptography (P-256, HKDF, AES-GCM). The text never carries key
// material or plaintext.
class VaultCryptoError : public QException
{
public:
    enum class Kind {
        // The AES-GCM tag did not verify: the data was changed or sealed under another key.
        authenticationFailure,
        // The combined box is shorter than nonce + tag.
        incorrectParameterSize,
        // The one-time public key is not a P-256 point.
        invalidPublicKey,
        // The library itself failed.
        underlyingFailure,
    };

    static VaultCryptoError authenticationFailure();
    static VaultCryptoError incorrectParameterSize();
    static VaultCryptoError invalidPublicKey();
    static VaultCryptoError underlyingFailure(const QString &operation);

    Kind kind() const { return m_kind; }
    QString description() const { return m_description; }

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    VaultCryptoError *clone() const override { return new VaultCryptoError(*this); }

private:
    VaultCryptoError(Kind kind, QString description);

    Kind m_kind;
    QString m_description;
    QByteArray m_what;
};
