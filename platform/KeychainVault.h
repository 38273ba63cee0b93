#pragma once

#include "SecretStore.h"
#include "TVNRuntimeIdentity.h"

#include <QString>

#include <memory>
#include <optional>

// The legacy keyring items of this installation: the root key item (service = the identity's vault
// service, account "root-key") and the operator bootstrap item (account "operator-bootstrap").
// A value type: copies share the store, so a copy can do the blocking read on a worker thread.
class KeychainVault
{
public:
    KeychainVault(TVNRuntimeIdentity runtimeIdentity, std::shared_ptr<SecretStore> store);

    const TVNRuntimeIdentity &runtimeIdentity() const { return m_runtimeIdentity; }
    QString service() const { return m_service; }
    QString account() const { return m_account; }
    QString operatorAccount() const { return m_operatorAccount; }

    // The operator bootstrap secret under the broker-reported service (resolved by the identity),
    // trimmed; none when there is no such item or its secret is not UTF-8 text. Never prompts: a
    // locked keyring throws KeychainVaultError::loadFailed(userInteractionNotAllowed), any other
    // failure of the store loadFailed with its code. Blocks on D-Bus (bounded): not on the GUI thread.
    std::optional<QString> loadOperatorBootstrapSecret(const std::optional<QString> &service) const;

private:
    TVNRuntimeIdentity m_runtimeIdentity;
    QString m_service;
    QString m_account;
    QString m_operatorAccount;
    std::shared_ptr<SecretStore> m_store;
};
