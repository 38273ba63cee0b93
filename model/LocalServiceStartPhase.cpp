#include "LocalServiceStartPhase.h"

LocalServiceStartPhase::LocalServiceStartPhase(Kind kind)
    : m_kind(kind)
{
}

LocalServiceStartPhase LocalServiceStartPhase::failedWith(const QString &message)
{
    LocalServiceStartPhase phase(Kind::failed);
    phase.m_message = message;
    return phase;
}

QString LocalServiceStartPhase::title() const
{
    switch (m_kind) {
    case Kind::idle:
        return {};
    case Kind::installing:
        return QStringLiteral("Installing local service…");
    case Kind::starting:
        return QStringLiteral("Starting local service…");
    case Kind::waitingForBroker:
        return QStringLiteral("Waiting for the local service…");
    case Kind::checkingKeychain:
        return QStringLiteral("Checking local vault access...");
    case Kind::ready:
        return QStringLiteral("Torvane is on");
    case Kind::needsApproval:
        return QStringLiteral("Needs Linux approval");
    case Kind::portConflict:
        return QStringLiteral("Something else is using TVN's port");
    case Kind::staleBroker:
        return QStringLiteral("A different local service is running");
    case Kind::startFailed:
    case Kind::failed:
        return QStringLiteral("Torvane could not start");
    case Kind::timedOut:
        return QStringLiteral("Startup is taking longer than expected");
    }
    return {};
}

QString LocalServiceStartPhase::detail() const
{
    switch (m_kind) {
    case Kind::idle:
        return {};
    case Kind::installing:
        return QStringLiteral("First run can take about a minute while Torvane sets up its private local service.");
    case Kind::starting:
        return QStringLiteral("Bringing the local service back up on this computer.");
    case Kind::waitingForBroker:
        return QStringLiteral("The helper is starting and should answer shortly.");
    case Kind::checkingKeychain:
        return QStringLiteral("Confirming Torvane can unlock from the owner-only local state file.");
    case Kind::ready:
        return QStringLiteral("Apps can connect now. Your real app keys stay encrypted on this computer.");
    case Kind::needsApproval:
        return QStringLiteral("Unlock the vault before connecting apps or creating agent keys.");
    case Kind::portConflict:
        return QStringLiteral("Close the other local service using this app's broker address, then Check Again.");
    case Kind::staleBroker:
        return QStringLiteral("Another local service is on TVN's port. Repair & Restart to use this app's service.");
    case Kind::startFailed:
        return QStringLiteral("Try Repair & Restart, open the logs, or quit and reopen Torvane.");
    case Kind::timedOut:
        return QStringLiteral("It was stopped so the app stays responsive. Try Repair & Restart, open the logs, or quit "
                              "and reopen Torvane.");
    case Kind::failed:
        return m_message;
    }
    return {};
}

QString LocalServiceStartPhase::name() const
{
    switch (m_kind) {
    case Kind::idle:
        return QStringLiteral("idle");
    case Kind::installing:
        return QStringLiteral("installing");
    case Kind::starting:
        return QStringLiteral("starting");
    case Kind::waitingForBroker:
        return QStringLiteral("waitingForBroker");
    case Kind::checkingKeychain:
        return QStringLiteral("checkingKeychain");
    case Kind::ready:
        return QStringLiteral("ready");
    case Kind::needsApproval:
        return QStringLiteral("needsApproval");
    case Kind::portConflict:
        return QStringLiteral("portConflict");
    case Kind::staleBroker:
        return QStringLiteral("staleBroker");
    case Kind::startFailed:
        return QStringLiteral("startFailed");
    case Kind::timedOut:
        return QStringLiteral("timedOut");
    case Kind::failed:
        return QStringLiteral("failed");
    }
    return {};
}

bool LocalServiceStartPhase::isFailure() const
{
    return m_kind >= Kind::portConflict;
}

bool LocalServiceStartPhase::isInProgress() const
{
    return m_kind >= Kind::installing && m_kind <= Kind::checkingKeychain;
}
