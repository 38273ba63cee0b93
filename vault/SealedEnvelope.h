#pragma once

#include <QByteArray>

// The "TVN1" envelope: magic, version 0x01, big-endian 16-bit length K of the one-time public
// key, the key (K bytes), then the AES-GCM combined box. 99 + P bytes for a P-byte plaintext.
struct SealedEnvelope
{
    static const QByteArray magic;
    static constexpr char version = 0x01;

    QByteArray oneTimePublicKey;
    QByteArray box;

    QByteArray encoded() const;
    // Checks only the layout (the box may be empty here; the cipher judges it). Throws
    // SealedVaultError::malformedEnvelope.
    static SealedEnvelope decode(const QByteArray &envelope);
};
