#pragma once

#include "AuthenticationContext.h"
#include "HardwareKey.h"
#include "HardwareKeyAvailability.h"

#include <memory>

// The key operations the sealed vault needs from hardware. Every call blocks on the device:
// never call it on the GUI thread. Failures throw HardwareKeyError.
class HardwareKeyProvider
{
public:
    virtual ~HardwareKeyProvider() = default;

    virtual HardwareKeyAvailability availability() = 0;
    // A new key; `requireUserPresence` makes every later agreement need an approved context.
    // Building that access rule may fail with HardwareKeyError::accessControlFailed.
    virtual std::unique_ptr<HardwareKey> createKeyAgreementKey(bool requireUserPresence) = 0;
    // Loads a key from its handle; fails when the handle was made by another device.
    virtual std::unique_ptr<HardwareKey> loadKeyAgreementKey(const QByteArray &handle, bool requireUserPresence,
                                                             const AuthenticationContext *context) = 0;

    // The machine's TPM (see TpmKeyProvider) as configured in the environment right now.
    static std::shared_ptr<HardwareKeyProvider> systemDefault();
};
