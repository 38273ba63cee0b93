#pragma once

#include <QString>

#include <cstdint>

// Which owner prompt this computer can show before the sealed unlock secret opens: the system
// login with a fingerprint reader in its stack, the login password alone, or none at all.
enum class VaultUnlockMethod : std::uint8_t {
    biometricsWithPasswordFallback = 0,
    passwordOnly = 1,
    unavailable = 2,
};

namespace VaultUnlockMethods {

VaultUnlockMethod resolve(bool ownerAuthenticationAvailable, bool biometricsAvailable);

bool canAuthenticate(VaultUnlockMethod method);
QString offerTitle(VaultUnlockMethod method);
QString methodPhrase(VaultUnlockMethod method);
QString featureName(VaultUnlockMethod method);
// Icon names shared with the other platform's screens.
QString symbolName(VaultUnlockMethod method);
QString approvalInstruction(VaultUnlockMethod method);
// The first-run offer's one sentence; empty for `unavailable`, which is never offered.
QString firstRunOfferSentence(VaultUnlockMethod method);

} // namespace VaultUnlockMethods
