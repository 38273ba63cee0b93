#include "LocalServiceControlError.h"

LocalServiceControlError::LocalServiceControlError(Kind kind, QString payload)
    : m_kind(kind), m_payload(std::move(payload)), m_what(description().toUtf8())
{
}

LocalServiceControlError LocalServiceControlError::invalidStatus(const QString &output)
{
    return {Kind::invalidStatus, output};
}

LocalServiceControlError LocalServiceControlError::timedOut(const QString &argumentWord)
{
    return {Kind::timedOut, argumentWord};
}

LocalServiceControlError LocalServiceControlError::missingServiceBundle()
{
    return {Kind::missingServiceBundle, {}};
}

LocalServiceControlError LocalServiceControlError::missingNode()
{
    return {Kind::missingNode, {}};
}

LocalServiceControlError LocalServiceControlError::commandFailed()
{
    return {Kind::commandFailed, {}};
}

LocalServiceControlError LocalServiceControlError::launchFailed(const QString &platformError)
{
    return {Kind::launchFailed, platformError};
}

LocalServiceControlError LocalServiceControlError::fileOperationFailed(const QString &platformError)
{
    return {Kind::fileOperationFailed, platformError};
}

QString LocalServiceControlError::description() const
{
    switch (m_kind) {
    case Kind::invalidStatus:
        return QStringLiteral("TVN service returned an unreadable status. Try Check Again, or open the local service logs for details.");
    case Kind::timedOut:
        return QStringLiteral("Torvane's local service took too long to respond and was stopped so the app stays responsive. Try Repair & Restart, open the logs, or quit and reopen Torvane.");
    case Kind::missingServiceBundle:
        return QStringLiteral("This app bundle does not include the TVN local service. Install the full Torvane package or run from the Torvane development repo.");
    case Kind::missingNode:
        return QStringLiteral("Node.js was not found. Install the full Torvane package with the bundled service runtime.");
    case Kind::commandFailed:
        return QStringLiteral("TVN service command failed. Open the local service logs or copy redacted debug info for support.");
    case Kind::launchFailed:
    case Kind::fileOperationFailed:
        break;
    }
    return m_payload;
}
