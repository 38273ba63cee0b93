#include "KeychainVaultError.h"

KeychainVaultError::KeychainVaultError(Kind kind, qint32 code, QString description)
    : m_kind(kind), m_code(code), m_description(std::move(description)), m_what(m_description.toUtf8())
{
}

KeychainVaultError KeychainVaultError::randomGenerationFailed(qint32 code)
{
    return {Kind::randomGenerationFailed, code, QStringLiteral("Unable to generate local root key: %1").arg(code)};
}

KeychainVaultError KeychainVaultError::loadFailed(qint32 code, const QString &reason)
{
    if (code == userInteractionNotAllowed)
        return {Kind::loadFailed, code, QStringLiteral("Legacy unlock permission required")};
    QString description = QStringLiteral("Unable to load local root key from the legacy Linux store: %1").arg(code);
    if (!reason.isEmpty())
        description += QStringLiteral(" (%1)").arg(reason);
    return {Kind::loadFailed, code, description};
}

KeychainVaultError KeychainVaultError::storeFailed(qint32 code)
{
    return {Kind::storeFailed, code, QStringLiteral("Unable to store local legacy unlock item: %1").arg(code)};
}
