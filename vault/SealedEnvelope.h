#pragma once

#include <QByteArray>

#include <string_view>

// The "TVN1" envelope: magic, version 0x01, big-endian 16-bit length K of the one-time public
// key, the key (K bytes), then the AES-GCM combined box. 99 + P bytes for a P-byte plaintext.
struct SealedEnvelope
{
    // Constant expressions: a constant built from another file's at start-up may read empty.
    static constexpr std::string_view magic = "TVN1";
    static constexpr char version = 0x01;

    QByteArray oneTimePublicKey;
    QByteArray box;

    QByteArray encoded() const;
    // Checks only the layout (the box may be empty here; the cipher judges it). Throws
    // SealedVaultError::malformedEnvelope.
    static SealedEnvelope decode(const QByteArray &envelope);
};
