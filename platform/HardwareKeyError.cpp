#include "HardwareKeyError.h"

HardwareKeyError::HardwareKeyError(Kind kind, QString description)
    : m_kind(kind), m_description(std::move(description)), m_what(m_description.toUtf8())
{
}

HardwareKeyError HardwareKeyError::unavailable(const QString &detail)
{
    return {Kind::unavailable, QStringLiteral("No TPM 2.0 is available: %1").arg(detail)};
}

HardwareKeyError HardwareKeyError::permissionDenied(const QString &devicePath)
{
    return {Kind::permissionDenied,
            QStringLiteral("The TPM at %1 can't be opened: permission denied. Add your user to the group \"tss\" "
                           "and log in again.")
                .arg(devicePath)};
}

HardwareKeyError HardwareKeyError::accessControlFailed(const QString &detail)
{
    return {Kind::accessControlFailed, detail};
}

HardwareKeyError HardwareKeyError::malformedHandle()
{
    return {Kind::malformedHandle, QStringLiteral("The TPM key handle is damaged or has an unknown format.")};
}

HardwareKeyError HardwareKeyError::keyNotLoadable(const QString &detail)
{
    return {Kind::keyNotLoadable,
            QStringLiteral("This machine's TPM can't load the key handle: it was made by another TPM or is damaged (%1).")
                .arg(detail)};
}

HardwareKeyError HardwareKeyError::authenticationFailed(const QString &detail)
{
    return {Kind::authenticationFailed, detail};
}

HardwareKeyError HardwareKeyError::operationFailed(const QString &operation, const QString &detail)
{
    return {Kind::operationFailed, QStringLiteral("TPM %1 failed: %2").arg(operation, detail)};
}
