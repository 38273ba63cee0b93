#include "SealedEnvelope.h"

#include "SealedVaultError.h"

#include <QtEndian>


namespace {
constexpr qsizetype headerSize = 7;
}

QByteArray SealedEnvelope::encoded() const
{
    QByteArray out(magic.data(), qsizetype(magic.size()));
    out.append(version);
    const auto length = quint16(oneTimePublicKey.size());
    out.append(char(length >> 8));
    out.append(char(length & 0xff));
    out.append(oneTimePublicKey);
    out.append(box);
    return out;
}

SealedEnvelope SealedEnvelope::decode(const QByteArray &envelope)
{
    if (envelope.size() < headerSize + 1 || !envelope.startsWith(QByteArrayView(magic.data(), qsizetype(magic.size()))) || envelope.at(4) != version)
        throw SealedVaultError::malformedEnvelope();
    const qsizetype keyLength = qFromBigEndian<quint16>(envelope.constData() + 5);
    if (envelope.size() < headerSize + keyLength)
        throw SealedVaultError::malformedEnvelope();
    return {envelope.mid(headerSize, keyLength), envelope.mid(headerSize + keyLength)};
}
