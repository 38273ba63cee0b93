#include "KeychainVault.h"

#include "KeychainVaultError.h"
#include "StrictUtf8.h"

KeychainVault::KeychainVault(TVNRuntimeIdentity runtimeIdentity, std::shared_ptr<SecretStore> store)
    : m_runtimeIdentity(std::move(runtimeIdentity)),
      m_service(m_runtimeIdentity.keychainVaultService()),
      m_account(QStringLiteral("root-key")),
      m_operatorAccount(QStringLiteral("operator-bootstrap")),
      m_store(std::move(store))
{
}

std::optional<QString> KeychainVault::loadOperatorBootstrapSecret(const std::optional<QString> &service) const
{
    const SecretStore::Lookup lookup =
        m_store->lookup(m_runtimeIdentity.resolvedOperatorKeychainService(service), m_operatorAccount);
    switch (lookup.outcome) {
    case SecretStore::Lookup::Outcome::missing:
        return std::nullopt;
    case SecretStore::Lookup::Outcome::locked:
        throw KeychainVaultError::loadFailed(KeychainVaultError::userInteractionNotAllowed);
    case SecretStore::Lookup::Outcome::failed:
        throw KeychainVaultError::loadFailed(lookup.code, lookup.text);
    case SecretStore::Lookup::Outcome::found:
        break;
    }
    const std::optional<QString> text = strictUtf8(lookup.secret);
    if (!text)
        return std::nullopt;
    return text->trimmed();
}
