#include "SealedVaultError.h"

SealedVaultError::SealedVaultError(Case errorCase, QString payload)
    : m_case(errorCase), m_payload(std::move(payload)), m_what(errorDescription().toUtf8())
{
}

SealedVaultError SealedVaultError::accessControlCreationFailed(const QString &reason)
{
    return {Case::accessControlCreationFailed, reason};
}

SealedVaultError SealedVaultError::userAuthenticationFailed(const QString &reason)
{
    return {Case::userAuthenticationFailed, reason};
}

SealedVaultError SealedVaultError::secureEnclaveUnavailable()
{
    return {Case::secureEnclaveUnavailable, {}};
}

SealedVaultError SealedVaultError::secureEnclaveKeyHandleMissing()
{
    return {Case::secureEnclaveKeyHandleMissing, {}};
}

SealedVaultError SealedVaultError::malformedEnvelope()
{
    return {Case::malformedEnvelope, {}};
}

QString SealedVaultError::errorDescription() const
{
    switch (m_case) {
    case Case::accessControlCreationFailed:
        return QStringLiteral("Could not create the unlock policy: ") + m_payload;
    case Case::userAuthenticationFailed:
        return QStringLiteral("Linux unlock failed: ") + m_payload;
    case Case::secureEnclaveUnavailable:
        return QStringLiteral("This computer has no TPM, so keys can't be hardware-sealed.");
    case Case::secureEnclaveKeyHandleMissing:
        return QStringLiteral("The TPM key for this vault is missing on this computer, so the sealed data can't "
                              "be opened here. If you moved or restored this machine, disable hardware-sealed unlock "
                              "in Settings > Security to reset it.");
    case Case::malformedEnvelope:
        return QStringLiteral("The sealed key file is corrupt or has an unexpected format.");
    }
    return {};
}
