#pragma once

#include <QByteArray>

// A P-256 key-agreement key that lives in hardware, loaded for the duration of one operation.
// The private key never leaves the device; `handle()` is the opaque blob that only the device
// that created it can load again.
class HardwareKey
{
public:
    virtual ~HardwareKey() = default;

    virtual QByteArray handle() const = 0;
    // Raw P-256 point: X then Y, 32 bytes each.
    virtual QByteArray publicKey() const = 0;
    // ECDH with a raw P-256 point; the 32-byte X coordinate of the shared point. Throws
    // HardwareKeyError (authenticationFailed when user presence is required and not approved).
    virtual QByteArray sharedSecret(const QByteArray &peerPublicKey) = 0;
};
