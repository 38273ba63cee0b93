#pragma once

#include "SecretStore.h"

#include <chrono>

// The Secret Service on the session bus (gnome-keyring, KWallet's bridge, KeePassXC …) through
// libsecret. Items are matched by two string attributes alone, "service" and "account", whatever
// schema stored them (so `secret-tool store service S account A` items are found too). A lookup never
// unlocks anything: a match in a locked collection reads as `locked`. Every D-Bus wait, from
// connecting to reading the secret, shares one time limit, so a missing or stuck service is an
// error within that time rather than a hang. Each lookup opens its own connection to the service;
// lookups may run on several threads at once.
class LibsecretSecretStore : public SecretStore
{
public:
    explicit LibsecretSecretStore(std::chrono::milliseconds timeLimit = std::chrono::seconds(5));

    Lookup lookup(const QString &service, const QString &account) override;

private:
    std::chrono::milliseconds m_timeLimit;
};
