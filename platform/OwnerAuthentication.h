#pragma once

#include "AuthenticationContext.h"

#include <QString>

// Proof that the person at the keyboard is this computer's owner (the system login, through PAM).
// `canEvaluate…` answer quickly and never prompt. `evaluateOwner` blocks until the user answered
// (a fingerprint reader may wait long): never call it on the GUI thread. It approves the context
// on success and throws PresenceError otherwise.
class OwnerAuthentication
{
public:
    enum class BiometryType { none, fingerprint };

    virtual ~OwnerAuthentication() = default;

    // Owner authentication can be asked for: a usable login (fingerprint or password).
    virtual bool canEvaluateOwnerAuthentication() = 0;
    // The login stack reaches a fingerprint module.
    virtual bool canEvaluateBiometrics() = 0;
    virtual BiometryType biometryType(const AuthenticationContext &context) = 0;

    virtual void evaluateOwner(AuthenticationContext &context, const QString &reason) = 0;
};
