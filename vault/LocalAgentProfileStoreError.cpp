#include "LocalAgentProfileStoreError.h"

LocalAgentProfileStoreError::LocalAgentProfileStoreError(Case errorCase, QString payload)
    : m_case(errorCase), m_payload(std::move(payload)), m_what(errorDescription().toUtf8())
{
}

LocalAgentProfileStoreError LocalAgentProfileStoreError::rejectedStorage(const QString &reason)
{
    return {Case::rejectedStorage, reason};
}

LocalAgentProfileStoreError LocalAgentProfileStoreError::unavailable(const QString &path)
{
    return {Case::unavailable, path};
}

LocalAgentProfileStoreError LocalAgentProfileStoreError::invalidAgentProfile()
{
    return {Case::invalidAgentProfile, {}};
}

LocalAgentProfileStoreError LocalAgentProfileStoreError::invalidKeyMaterial()
{
    return {Case::invalidKeyMaterial, {}};
}

QString LocalAgentProfileStoreError::errorDescription() const
{
    switch (m_case) {
    case Case::rejectedStorage:
        return QStringLiteral("Local setup profile rejected: ") + m_payload;
    case Case::unavailable:
        return QStringLiteral("Local setup profile unavailable at ") + m_payload;
    case Case::invalidAgentProfile:
        return QStringLiteral("Agent profile must be 1-64 characters using letters, numbers, dot, underscore, colon, "
                              "or dash");
    case Case::invalidKeyMaterial:
        return QStringLiteral("Agent key material must be a single non-empty token");
    }
    return {};
}
