#include "VaultUnlockAuth.h"

namespace VaultUnlockAuth {

VaultUnlockMethod availableMethod(OwnerAuthentication &authentication, const AuthenticationContext &context)
{
    const bool owner = authentication.canEvaluateOwnerAuthentication();
    const bool biometrics = authentication.canEvaluateBiometrics()
        && authentication.biometryType(context) != OwnerAuthentication::BiometryType::none;
    return VaultUnlockMethods::resolve(owner, biometrics);
}

} // namespace VaultUnlockAuth
