#include "PresenceError.h"

PresenceError::PresenceError(Kind kind, QString description)
    : m_kind(kind), m_description(std::move(description)), m_what(m_description.toUtf8())
{
}

PresenceError PresenceError::cancelledByUser()
{
    return {Kind::cancelledByUser, QStringLiteral("Authentication was cancelled.")};
}

PresenceError PresenceError::authenticationFailed()
{
    return {Kind::authenticationFailed,
            QStringLiteral("Authentication failed: the system login did not accept that password.")};
}

PresenceError PresenceError::lockedOut(const QString &userName)
{
    return {Kind::lockedOut,
            QStringLiteral("The account \"%1\" can't log in right now (locked, expired or unknown), so the system "
                           "login can't confirm it's you.")
                .arg(userName)};
}

PresenceError PresenceError::unavailable(const QString &detail)
{
    return {Kind::unavailable, QStringLiteral("The system login can't be asked on this computer: %1").arg(detail)};
}

PresenceError PresenceError::systemError(const QString &detail)
{
    return {Kind::systemError, QStringLiteral("The system login failed: %1").arg(detail)};
}
