#pragma once

#include "AuthenticationContext.h"
#include "OwnerAuthentication.h"
#include "VaultUnlockMethod.h"

namespace VaultUnlockAuth {

// Which prompt the owner check can show now. Starts PAM to find out but never asks anything, so
// it may run on the GUI thread; `context` is a fresh one.
VaultUnlockMethod availableMethod(OwnerAuthentication &authentication, const AuthenticationContext &context);

} // namespace VaultUnlockAuth
