#include "VaultCryptoError.h"

VaultCryptoError::VaultCryptoError(Kind kind, QString description)
    : m_kind(kind), m_description(std::move(description)), m_what(m_description.toUtf8())
{
}

VaultCryptoError VaultCryptoError::authenticationFailure()
{
    return {Kind::authenticationFailure,
            QStringLiteral("The sealed data failed its integrity check: it was changed or sealed under another key.")};
}

VaultCryptoError VaultCryptoError::incorrectParameterSize()
{
    return {Kind::incorrectParameterSize, QStringLiteral("The sealed data is too short to hold an encrypted box.")};
}

VaultCryptoError VaultCryptoError::invalidPublicKey()
{
    return {Kind::invalidPublicKey, QStringLiteral("The sealed data's one-time public key is not a valid P-256 point.")};
}

VaultCryptoError VaultCryptoError::underlyingFailure(const QString &operation)
{
    return {Kind::underlyingFailure, QStringLiteral("Cryptographic operation failed: %1").arg(operation)};
}
